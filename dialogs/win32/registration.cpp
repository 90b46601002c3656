#include "dialogs/win32/registration.h"

#include <olectl.h>

#include "common/com/guid_text.h"
#include "common/com/module_path.h"
#include "common/registration/win32/component_registration.h"
#include "dialogs/win32/module_state.h"
#include "velmora.h"  // generated from velmora.idl

namespace wex {
namespace {

ComponentIdentity BrowserIdentity() {
  ComponentIdentity component;
  component.kind = ServerKind::kInprocServer;
  component.progId = u"Velmora.Browser";
  component.className = u"Velmora.Browser";
  component.clsid = GuidUText(CLSID_Browser);
  component.libid = GuidUText(LIBID_Velmora);
  component.libraryName = u"Velmora";
  component.libraryVersion = u"1.0";
  component.interfaces = {{GuidUText(IID__Browser), u"_Browser", kTypeLibraryMarshaller}};
  return component;
}

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
