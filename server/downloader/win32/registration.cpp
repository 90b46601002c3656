#include "server/downloader/win32/registration.h"

#include "common/registration/component_identities.h"
#include "common/win32/module_path.h"

namespace wex {
namespace {

ModuleFile ServerFile() {
  std::wstring path = ModulePath(nullptr);
  return {ustring(path.begin(), path.end()), sizeof(void*) == 8};
}

}  // namespace

// A program serves clients of either kind, so it registers in every view.
RegistrationOutcome RegisterServer(RegistryRoot root) {
  ModuleFile file = ServerFile();
  if (file.path.empty()) return {HRESULT_FROM_WIN32(GetLastError()), std::wstring()};
  return RegisterComponent(DownloaderIdentity(), root, MachineViews(), file);
}

UnregistrationOutcome UnregisterServer(RegistryRoot root) {
  return UnregisterComponent(DownloaderIdentity(), root, MachineViews(), ServerFile());
}

}  // namespace wex
