#include "dialogs/win32/registration.h"

#include <olectl.h>

#include "common/registration/component_identities.h"
#include "common/registration/win32/component_registration.h"
#include "common/win32/module_path.h"
#include "dialogs/win32/module_state.h"

namespace wex {
namespace {

ModuleFile LibraryFile() {
  std::wstring path = ModulePath(ModuleInstance());
  return {ustring(path.begin(), path.end()), sizeof(void*) == 8};
}

}  // namespace

HRESULT RegisterServer(RegistryRoot root) {
  ModuleFile file = LibraryFile();
  if (file.path.empty()) return SELFREG_E_CLASS;
  RegistrationOutcome outcome = RegisterComponent(BrowserIdentity(), root, {OwnView()}, file);
  return SUCCEEDED(outcome.result) ? S_OK : SELFREG_E_CLASS;
}

// A class registered to another Velmora.dll (another copy) is left whole and
// that is success: regsvr32 shows its own message either way.
HRESULT UnregisterServer(RegistryRoot root) {
  UnregistrationOutcome outcome =
      UnregisterComponent(BrowserIdentity(), root, {OwnView()}, LibraryFile());
  return SUCCEEDED(outcome.result) ? S_OK : SELFREG_E_CLASS;
}

}  // namespace wex
