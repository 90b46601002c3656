// What registering a COM server writes, as data: the keys and values for one
// registry root and one view, worked out from the component's identity and
// the path of its file. Writing, rolling back and removing them is the
// platform's part (win32/registry_transaction.h); this part is plain data so
// that every key can be checked without a registry.
#pragma once

#include <vector>

#include "common/ustring.h"

namespace wex {

// The classes root a registration goes under: the machine's
// (HKEY_LOCAL_MACHINE\Software\Classes, for every user; administrators only)
// or the current user's (HKEY_CURRENT_USER\Software\Classes).
enum class RegistryRoot { kMachine, kUser };

// The registry view: what 32-bit programs see, or what 64-bit programs see.
// On 32-bit Windows there is only the first.
enum class RegistryView { k32, k64 };

enum class ServerKind { kLocalServer, kInprocServer };

struct InterfaceIdentity {
  ustring iid;        // "{...}"
  ustring name;       // "_Downloader"
  ustring proxyStub;  // the marshaller's CLSID, "{...}"
};

// Everything about a component that is the same wherever it is registered.
struct ComponentIdentity {
  ServerKind kind = ServerKind::kLocalServer;
  ustring progId;           // "Wexlo.Downloader"
  ustring versionedProgId;  // "Wexlo.Downloader.1"; empty when the component has none
  ustring className;        // default value of the class and ProgID keys
  ustring clsid;            // "{...}"
  ustring libid;            // "{...}"
  ustring libraryName;      // default value of the type library's version key
  ustring libraryVersion;   // "1.0", as the library's major.minor in hex
  std::vector<InterfaceIdentity> interfaces;
};

// The file that serves the class and holds the type library.
struct ModuleFile {
  ustring path;          // full path
  bool is64Bit = false;  // a 64-bit file: its type library is a "win64" one
};

// One key to create and, when hasValue, one string value to set in it (an
// empty name is the key's default value).
struct RegistryEntry {
  ustring key;
  ustring name;
  ustring data;
  bool hasValue = true;
};

struct RegistrationPlan {
  RegistryRoot root = RegistryRoot::kMachine;
  RegistryView view = RegistryView::k32;
  // In the order they are written: parents before children.
  std::vector<RegistryEntry> entries;
  // Trees that belong to this view's registration alone; unregistering
  // removes them.
  std::vector<ustring> ownTrees;
  // Trees Windows may share between the two views (ProgIDs, the type
  // library): removed only once no view registers the class any more.
  std::vector<ustring> sharedTrees;
  // The key whose presence says that this view registers the class.
  ustring classKey;
  // The key whose default value names the serving file (LocalServer32 or
  // InprocServer32).
  ustring serverKey;
};

// The registration of component, served by module, under root in view.
RegistrationPlan PlanRegistration(const ComponentIdentity& component, RegistryRoot root,
                                  RegistryView view, const ModuleFile& module);

// "HKEY_LOCAL_MACHINE\Software\Classes" or "HKEY_CURRENT_USER\Software\Classes",
// for messages.
ustring RootText(RegistryRoot root);

// The folder part of a Windows path, without the final separator.
ustring FolderOf(const ustring& path);

// The marshallers of automation interfaces: the type library marshaller for
// dual and oleautomation interfaces, the dispatch marshaller for dispinterfaces.
extern const char16_t kTypeLibraryMarshaller[];
extern const char16_t kDispatchMarshaller[];

}  // namespace wex
