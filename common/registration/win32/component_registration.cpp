#include "common/registration/win32/component_registration.h"

#include "common/com/module_path.h"
#include "common/com/system_message.h"
#include "common/registration/win32/registry_transaction.h"

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

HRESULT UnregisterComponent(const ComponentIdentity& component, RegistryRoot root,
                            const std::vector<RegistryView>& views, const ModuleFile& module) {
  HRESULT result = S_OK;
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
      return result;
  }
  for (RegistryView view : every) {
    for (const ustring& key : PlanRegistration(component, root, view, module).sharedTrees)
      remove(view, key);
  }
  return result;
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
