#include "common/registration/win32/component_registration.h"

#include "common/registration/server_file.h"
#include "common/registration/win32/registry_transaction.h"
#include "common/registration/win32/same_file.h"
#include "common/win32/module_path.h"
#include "common/win32/system_message.h"

namespace wex {

RegistryView OwnView() { return sizeof(void*) == 8 ? RegistryView::k64 : RegistryView::k32; }

std::vector<RegistryView> MachineViews() {
  if (OwnView() == RegistryView::k64) return {RegistryView::k64, RegistryView::k32};
  if (RunsUnderWow64()) return {RegistryView::k32, RegistryView::k64};
  return {RegistryView::k32};
}

RegistrationOutcome RegisterComponent(const ComponentIdentity& component, RegistryRoot root,
                                      const std::vector<RegistryView>& views,
                                      const ModuleFile& module) {
  RegistrationOutcome outcome;
  RegistryTransaction transaction;
  for (RegistryView view : views) {
    outcome.result = transaction.Write(PlanRegistration(component, root, view, module));
    if (FAILED(outcome.result)) {
      outcome.failedKey = transaction.FailedKey();
      return outcome;  // the transaction undoes every view written so far
    }
  }
  transaction.Commit();
  return outcome;
}

namespace {

// The file another module registered the class to in one of views, or empty
// when every view that has the class names this module (or none at all).
std::wstring OtherServer(const ComponentIdentity& component, RegistryRoot root,
                         const std::vector<RegistryView>& views, const ModuleFile& module) {
  const std::wstring own(module.path.begin(), module.path.end());
  for (RegistryView view : views) {
    std::wstring value;
    if (!ReadDefaultText(root, view, PlanRegistration(component, root, view, module).serverKey,
                         &value))
      continue;
    ustring file = ServerFileOf(ustring(value.begin(), value.end()), component.kind);
    std::wstring path(file.begin(), file.end());
    if (!path.empty() && !SameFilePath(path, own)) return path;
  }
  return std::wstring();
}

}  // namespace

UnregistrationOutcome UnregisterComponent(const ComponentIdentity& component, RegistryRoot root,
                                          const std::vector<RegistryView>& views,
                                          const ModuleFile& module) {
  UnregistrationOutcome outcome;
  // Another copy of the component (in another folder) registered the class:
  // its ProgIDs, type library and interfaces are the same keys, so nothing
  // here is this module's to remove.
  outcome.otherServer = OtherServer(component, root, views, module);
  if (!outcome.otherServer.empty()) return outcome;
  HRESULT& result = outcome.result;
  auto remove = [&](RegistryView view, const ustring& key) {
    HRESULT hr = RemoveTree(root, view, key);
    if (FAILED(hr) && SUCCEEDED(result)) result = hr;
  };
  for (RegistryView view : views) {
    for (const ustring& key : PlanRegistration(component, root, view, module).ownTrees)
      remove(view, key);
  }
  // The ProgIDs and the type library stay while a view still has the class
  // (the other architecture's library is registered there).
  std::vector<RegistryView> every = MachineViews();
  for (RegistryView view : every) {
    if (KeyExists(root, view, PlanRegistration(component, root, view, module).classKey))
      return outcome;
  }
  for (RegistryView view : every) {
    for (const ustring& key : PlanRegistration(component, root, view, module).sharedTrees)
      remove(view, key);
  }
  return outcome;
}

std::wstring FailureText(HRESULT result) {
  std::wstring message = SystemMessageText(result);
  if (message.empty()) {
    wchar_t code[16];
    wsprintfW(code, L"0x%08lX", static_cast<unsigned long>(result));
    message = L"error " + std::wstring(code);
  }
  return message;
}

}  // namespace wex
