#include "common/registration/registration_plan.h"

namespace wex {

const char16_t kTypeLibraryMarshaller[] = u"{00020424-0000-0000-C000-000000000046}";
const char16_t kDispatchMarshaller[] = u"{00020420-0000-0000-C000-000000000046}";

namespace {

// Appends entries in writing order, each key after its parent.
class PlanBuilder {
 public:
  explicit PlanBuilder(std::vector<RegistryEntry>& entries) : entries_(entries) {}
  void Key(const ustring& key) { entries_.push_back({key, ustring(), ustring(), false}); }
  void Default(const ustring& key, const ustring& data) { Value(key, ustring(), data); }
  void Value(const ustring& key, const ustring& name, const ustring& data) {
    entries_.push_back({key, name, data, true});
  }

 private:
  std::vector<RegistryEntry>& entries_;
};

void PlanProgId(PlanBuilder& plan, const ustring& progId, const ComponentIdentity& component,
                const ustring& curVer) {
  plan.Default(progId, component.className);
  plan.Default(progId + u"\\CLSID", component.clsid);
  if (!curVer.empty()) plan.Default(progId + u"\\CurVer", curVer);
}

// A program is started by COM with its path quoted, as the path may hold
// spaces; an in-process server's path is a file name and stays bare.
void PlanClass(PlanBuilder& plan, const ustring& classKey, const ComponentIdentity& component,
               const ModuleFile& module) {
  plan.Default(classKey, component.className);
  if (component.kind == ServerKind::kLocalServer) {
    plan.Default(classKey + u"\\LocalServer32", u"\"" + module.path + u"\"");
  } else {
    plan.Default(classKey + u"\\ProgID", component.progId);
    plan.Default(classKey + u"\\InprocServer32", module.path);
    plan.Value(classKey + u"\\InprocServer32", u"ThreadingModel", u"Apartment");
  }
  if (!component.versionedProgId.empty()) {
    plan.Default(classKey + u"\\ProgID", component.versionedProgId);
    plan.Default(classKey + u"\\VersionIndependentProgID", component.progId);
  }
  plan.Default(classKey + u"\\TypeLib", component.libid);
  if (!component.versionedProgId.empty()) {
    plan.Default(classKey + u"\\Version", component.libraryVersion);
    plan.Key(classKey + u"\\Programmable");
  }
}

// The keys the platform's own type library registration writes: the
// library's version with its file, flags and help folder, and each interface
// with its marshaller and library.
void PlanTypeLibrary(PlanBuilder& plan, const ustring& versionKey,
                     const std::vector<ustring>& platformKeys, const ComponentIdentity& component,
                     const ModuleFile& module) {
  plan.Default(versionKey, component.libraryName);
  for (const ustring& key : platformKeys) plan.Default(key, module.path);
  // 8: the library is in a file on disk (LIBFLAG_FHASDISKIMAGE).
  plan.Default(versionKey + u"\\FLAGS", u"8");
  plan.Default(versionKey + u"\\HELPDIR", FolderOf(module.path));
  for (const InterfaceIdentity& item : component.interfaces) {
    ustring key = u"Interface\\" + item.iid;
    plan.Default(key, item.name);
    plan.Default(key + u"\\ProxyStubClsid", item.proxyStub);
    plan.Default(key + u"\\ProxyStubClsid32", item.proxyStub);
    plan.Default(key + u"\\TypeLib", component.libid);
    plan.Value(key + u"\\TypeLib", u"Version", component.libraryVersion);
  }
}

}  // namespace

RegistrationPlan PlanRegistration(const ComponentIdentity& component, RegistryRoot root,
                                  RegistryView view, const ModuleFile& module) {
  RegistrationPlan result;
  result.root = root;
  result.view = view;
  result.classKey = u"CLSID\\" + component.clsid;
  result.serverKey =
      result.classKey +
      (component.kind == ServerKind::kLocalServer ? u"\\LocalServer32" : u"\\InprocServer32");
  const ustring libraryKey = u"TypeLib\\" + component.libid;
  const ustring versionKey = libraryKey + u"\\" + component.libraryVersion;
  // The type library's file (lcid 0) for programs of the file's own kind, and
  // in the other view also for programs of that view's kind: a program serves
  // both, and a client looks first for a library of its own kind.
  const bool viewIs64Bit = view == RegistryView::k64;
  std::vector<ustring> platformKeys = {versionKey +
                                       (module.is64Bit ? u"\\0\\win64" : u"\\0\\win32")};
  if (viewIs64Bit != module.is64Bit)
    platformKeys.push_back(versionKey + (viewIs64Bit ? u"\\0\\win64" : u"\\0\\win32"));

  PlanBuilder plan(result.entries);
  PlanProgId(plan, component.progId, component, component.versionedProgId);
  if (!component.versionedProgId.empty())
    PlanProgId(plan, component.versionedProgId, component, ustring());
  PlanClass(plan, result.classKey, component, module);
  PlanTypeLibrary(plan, versionKey, platformKeys, component, module);

  result.ownTrees.push_back(result.classKey);
  for (const InterfaceIdentity& item : component.interfaces)
    result.ownTrees.push_back(u"Interface\\" + item.iid);
  for (const ustring& key : platformKeys) result.ownTrees.push_back(key);
  result.sharedTrees.push_back(component.progId);
  if (!component.versionedProgId.empty()) result.sharedTrees.push_back(component.versionedProgId);
  result.sharedTrees.push_back(libraryKey);
  return result;
}

ustring RootText(RegistryRoot root) {
  return root == RegistryRoot::kMachine ? u"HKEY_LOCAL_MACHINE\\Software\\Classes"
                                        : u"HKEY_CURRENT_USER\\Software\\Classes";
}

ustring FolderOf(const ustring& path) {
  size_t slash = path.find_last_of(u"\\/");
  if (slash == ustring::npos) return ustring();
  // "C:\file" keeps its root separator: the folder is "C:\".
  if (slash == 2 && path.size() > 1 && path[1] == u':') return path.substr(0, 3);
  return path.substr(0, slash);
}

}  // namespace wex
