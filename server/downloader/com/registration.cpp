#include "server/downloader/com/registration.h"

#include "common/com/guid_text.h"
#include "common/com/module_path.h"
#include "wexlo.h"

namespace wex {
namespace {

ComponentIdentity DownloaderIdentity() {
  ComponentIdentity component;
  component.kind = ServerKind::kLocalServer;
  component.progId = u"Wexlo.Downloader";
  component.versionedProgId = u"Wexlo.Downloader.1";
  component.className = u"Downloader";
  component.clsid = GuidUText(CLSID_Downloader);
  component.libid = GuidUText(LIBID_Wexlo);
  component.libraryName = u"Wexlo";
  component.libraryVersion = u"1.0";
  component.interfaces = {{GuidUText(IID__Downloader), u"_Downloader", kTypeLibraryMarshaller},
                          {GuidUText(DIID___Downloader), u"__Downloader", kDispatchMarshaller}};
  return component;
}

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
