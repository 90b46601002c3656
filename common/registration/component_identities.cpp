#include "common/registration/component_identities.h"

namespace wex {

ComponentIdentity DownloaderIdentity() {
  ComponentIdentity component;
  component.kind = ServerKind::kLocalServer;
  component.progId = u"Wexlo.Downloader";
  component.versionedProgId = u"Wexlo.Downloader.1";
  component.className = u"Downloader";
  component.clsid = u"{1C4A0703-3322-411B-B0BD-9C243419E8B4}";
  component.libid = u"{93DAEA03-F1E6-4995-A27B-BE7C45BA9B1F}";
  component.libraryName = u"Wexlo";
  component.libraryVersion = u"1.0";
  component.interfaces = {
      {u"{089B92EB-6C25-41FF-B059-1F5E17D8FF02}", u"_Downloader", kTypeLibraryMarshaller},
      {u"{01B34C61-6D15-4267-B651-E1D95C5DEF57}", u"__Downloader", kDispatchMarshaller}};
  return component;
}

ComponentIdentity BrowserIdentity() {
  ComponentIdentity component;
  component.kind = ServerKind::kInprocServer;
  component.progId = u"Velmora.Browser";
  component.className = u"Velmora.Browser";
  component.clsid = u"{744A22E9-367A-4D88-88F7-23B0ABC821AA}";
  component.libid = u"{37F198A4-0F47-4532-B860-E5E925A3BE0D}";
  component.libraryName = u"Velmora";
  component.libraryVersion = u"1.0";
  component.interfaces = {
      {u"{E9D04E82-C40F-4FF2-8B7C-16B0A6486F32}", u"_Browser", kTypeLibraryMarshaller}};
  return component;
}

}  // namespace wex
