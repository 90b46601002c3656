// What Wexlo.exe and Velmora.dll carry. Their type libraries row by row, and
// the names the objects answer: what scripts and the typelib marshaler read
// from them is the public contract. The string table, manifests and version
// block (Windows must not virtualize Wexlo's writes; Velmora's dialogs need
// common controls 6).
#include <windows.h>

#include <oleauto.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/ustring.h"
#include "common/win32/com_ptr.h"
#include "common/win32/unique_bstr.h"
#include "server/resources/message_table.h"
#include "tests/wine/support/automation.h"
#include "tests/wine/support/suite.h"
#include "velmora.h"
#include "wexlo.h"

namespace wex {
namespace {

struct Member {
  const wchar_t* name;
  MEMBERID id;
  INVOKEKIND kind;
  const wchar_t* args;  // the [in, out] VARIANT* ones, each followed by a comma
  VARTYPE last;         // the parameter after them: T | VT_BYREF an [out, retval] T*, T an [in] T
  const wchar_t* help;
};

constexpr VARTYPE kRetval = VT_BYREF | VT_VARIANT;

const std::vector<Member> kDownloader = {
    {L"Busy", 0x68030005, INVOKE_PROPERTYGET, L"", kRetval, L""},
    {L"Port", 0x68030004, INVOKE_PROPERTYPUT, L"PortNumber,", VT_EMPTY,
     L"Port number. Defaults to 80. Write-only."},
    {L"Online", 0x68030003, INVOKE_PROPERTYGET, L"", kRetval,
     L"Boolean. Is system online? Read-only."},
    {L"ProxyConnection", 0x68030002, INVOKE_PROPERTYGET, L"", kRetval,
     L"Boolean. Is connection through a proxy? Read-only."},
    {L"CurSize", 0x68030001, INVOKE_PROPERTYGET, L"", kRetval,
     L"Size in bytes of currently downloaded file."},
    {L"CurFileAsString", 0x68030000, INVOKE_PROPERTYGET, L"", kRetval,
     L"Returns currently downloaded file as string."},
    {L"StartUp", 0x60030006, INVOKE_FUNC, L"ErrString,", kRetval,
     L"Initialize Winsock for Internet communication."},
    {L"RequestFile", 0x60030007, INVOKE_FUNC, L"Server,FilePath,", kRetval, L""},
    {L"WriteTextFile", 0x60030008, INVOKE_FUNC, L"sPath,IfDelete,", kRetval, L""},
    {L"WriteBinaryFile", 0x60030009, INVOKE_FUNC, L"sPath,IfDelete,", kRetval, L""},
    {L"FormatCurRSS", 0x6003000A, INVOKE_FUNC, L"NumberItems,IfDescription,", kRetval, L""},
    {L"ShutDown", 0x6003000B, INVOKE_FUNC, L"", VT_EMPTY, L"Close down Winsock."},
};

const std::vector<Member> kDownloaderEvents = {
    {L"OnConnect", 1, INVOKE_FUNC, L"ServerURL,", VT_EMPTY,
     L"Occurs when connection has been successfully made to server."},
    {L"OnDownloadFinish", 2, INVOKE_FUNC, L"ResponseCode,ResponseString,", VT_EMPTY,
     L"Occurs when a file download attempt is finished - whether it was successful or not."},
    {L"OnDisconnect", 3, INVOKE_FUNC, L"", VT_EMPTY, L"Occurs when server connection is broken."},
};

const std::vector<Member> kBrowser = {
    {L"Browser", 0x40030000, INVOKE_PROPERTYGET, L"", VT_BYREF | VT_BSTR, L""},
    {L"Browser", 0x40030000, INVOKE_PROPERTYPUT, L"", VT_BSTR, L""},
    {L"OpenBox", 0x60030000, INVOKE_FUNC, L"", kRetval, L""},
    {L"SaveBox", 0x60030001, INVOKE_FUNC, L"", kRetval, L""},
    {L"ColorBoxRGB", 0x60030002, INVOKE_FUNC, L"", kRetval, L""},
    {L"ColorBoxHex", 0x60030003, INVOKE_FUNC, L"", kRetval, L""},
};

constexpr WORD kDual = TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE;

// A dual interface is checked through its vtable half, which only a dual
// dispatch half (hidden, dispatchable, nonextensible) has behind it.
struct Type {
  const GUID* guid;
  const wchar_t* name;
  TYPEKIND kind;
  WORD required, forbidden;
  int implTypes;                       // -1: not counted
  const std::vector<Member>* members;  // in order, or null
};

struct Library {
  const char* name;
  const wchar_t* file;
  const GUID* libid;
  UINT typeCount;
  std::vector<Type> types;
  // The coclass's interfaces with their flags, in order.
  std::vector<std::pair<const GUID*, INT>> implemented;
};

const std::vector<Library> kLibraries = {
    {"Wexlo",
     L"Wexlo.exe",
     &LIBID_Wexlo,
     3,
     // Automation compatible: what lets the typelib marshaler carry it between processes.
     {{&IID__Downloader, L"_Downloader", TKIND_INTERFACE, kDual | TYPEFLAG_FOLEAUTOMATION, 0, 1,
       &kDownloader},
      {&DIID___Downloader, L"__Downloader", TKIND_DISPATCH, TYPEFLAG_FHIDDEN, TYPEFLAG_FDUAL, -1,
       &kDownloaderEvents},
      {&CLSID_Downloader, L"Downloader", TKIND_COCLASS, TYPEFLAG_FCANCREATE, 0, 2, nullptr}},
     // The dual interface by default, and the events of the default source interface.
     {{&IID__Downloader, IMPLTYPEFLAG_FDEFAULT},
      {&DIID___Downloader, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE}}},
    {"Velmora",
     L"Velmora.dll",
     &LIBID_Velmora,
     2,
     {{&IID__Browser, L"_Browser", TKIND_INTERFACE, kDual | TYPEFLAG_FOLEAUTOMATION, 0, 1,
       &kBrowser},
      {&CLSID_Browser, L"Browser", TKIND_COCLASS, TYPEFLAG_FCANCREATE, 0, 1, nullptr}},
     // No event source.
     {{&IID__Browser, IMPLTYPEFLAG_FDEFAULT}}},
};

std::wstring Text(BSTR text) { return std::wstring(text ? text : L"", SysStringLen(text)); }

class TypeLibrary : public ComApartment, public ::testing::WithParamInterface<Library> {
 protected:
  void SetUp() override {
    ComApartment::SetUp();
    ASSERT_EQ(LoadTypeLibEx(BinaryPath(GetParam().file).c_str(), REGKIND_NONE, library_.put()),
              S_OK);
  }

  ComPtr<ITypeInfo> Info(const Type& type) {
    ComPtr<ITypeInfo> info;
    EXPECT_EQ(library_->GetTypeInfoOfGuid(*type.guid, info.put()), S_OK);
    return info && type.kind == TKIND_INTERFACE ? Referenced(info.get(), static_cast<UINT>(-1))
                                                : info;
  }

  static ComPtr<ITypeInfo> Referenced(ITypeInfo* info, UINT index) {
    HREFTYPE ref = 0;
    ComPtr<ITypeInfo> out;
    EXPECT_EQ(info->GetRefTypeOfImplType(index, &ref), S_OK);
    EXPECT_EQ(info->GetRefTypeInfo(ref, out.put()), S_OK);
    return out;
  }

  // Every row of a member table against the functions of info, in order: a
  // vtable interface's members return HRESULT, an event interface's nothing.
  static void ExpectMembers(ITypeInfo* info, const std::vector<Member>& table, TYPEKIND kind) {
    const bool vtable = kind == TKIND_INTERFACE;
    short lastSlot = -1;
    for (UINT i = 0; i < table.size(); ++i) {
      const Member& row = table[i];
      SCOPED_TRACE(testing::Message() << row.name << " " << row.kind);
      std::vector<std::wstring> args;
      for (const wchar_t* a = row.args; *a != 0; a = wcschr(a, L',') + 1)
        args.emplace_back(a, wcschr(a, L',') - a);
      FUNCDESC* f = nullptr;
      ASSERT_EQ(info->GetFuncDesc(i, &f), S_OK);
      EXPECT_EQ(f->memid, row.id);
      EXPECT_EQ(f->invkind, row.kind);
      EXPECT_EQ(f->funckind, vtable ? FUNC_PUREVIRTUAL : FUNC_DISPATCH);
      EXPECT_EQ(f->elemdescFunc.tdesc.vt, vtable ? VT_HRESULT : VT_VOID);
      EXPECT_EQ(f->cParamsOpt, 0);
      if (vtable) {
        EXPECT_GT(f->oVft, lastSlot) << "dispatch order is vtable order";
        lastSlot = f->oVft;
      }
      ASSERT_EQ(static_cast<size_t>(f->cParams), args.size() + (row.last != VT_EMPTY ? 1 : 0));
      for (size_t p = 0; p < static_cast<size_t>(f->cParams); ++p) {
        const TYPEDESC& t = f->lprgelemdescParam[p].tdesc;
        const USHORT flags = f->lprgelemdescParam[p].paramdesc.wParamFlags & ~PARAMFLAG_FHASDEFAULT;
        if (p < args.size() || (row.last & VT_BYREF) != 0) {
          const VARTYPE pointee = p < args.size() ? VT_VARIANT : row.last & ~VT_BYREF;
          EXPECT_TRUE(t.vt == VT_PTR && t.lptdesc->vt == pointee) << p;
          EXPECT_EQ(flags, p < args.size() ? (PARAMFLAG_FIN | PARAMFLAG_FOUT)
                                           : (PARAMFLAG_FOUT | PARAMFLAG_FRETVAL))
              << p;
        } else {
          EXPECT_EQ(t.vt, row.last);
          EXPECT_EQ(flags, PARAMFLAG_FIN);
        }
      }
      std::vector<std::wstring> got = NamesOf(info, f->memid);
      // A property put does not name its value argument: it is implied.
      std::vector<std::wstring> expected = {row.name};
      if (row.kind != INVOKE_PROPERTYPUT) expected.insert(expected.end(), args.begin(), args.end());
      got.resize(std::min(got.size(), expected.size()));
      EXPECT_EQ(got, expected);
      UniqueBstr doc;
      ASSERT_EQ(info->GetDocumentation(f->memid, nullptr, doc.put(), nullptr, nullptr), S_OK);
      EXPECT_EQ(Text(doc.get()), row.help);
      info->ReleaseFuncDesc(f);
    }
  }

  ComPtr<ITypeLib> library_;
};

TEST_P(TypeLibrary, LibraryAndEachTypeCarryTheirAttributesMembersAndInterfaces) {
  const Library& l = GetParam();
  TLIBATTR* lib = nullptr;
  ASSERT_EQ(library_->GetLibAttr(&lib), S_OK);
  EXPECT_TRUE(IsEqualGUID(lib->guid, *l.libid));
  EXPECT_EQ(lib->wMajorVerNum, 1);
  EXPECT_EQ(lib->wMinorVerNum, 0);
  library_->ReleaseTLibAttr(lib);
  UniqueBstr name;
  ASSERT_EQ(library_->GetDocumentation(-1, name.put(), nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(Text(name.get()), std::wstring(l.name, l.name + strlen(l.name)));
  EXPECT_EQ(library_->GetTypeInfoCount(), l.typeCount);

  for (const Type& t : l.types) {
    SCOPED_TRACE(testing::Message() << t.name);
    ComPtr<ITypeInfo> info = Info(t);
    ASSERT_TRUE(info);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->typekind, t.kind);
    EXPECT_EQ(attr->wTypeFlags & (t.required | t.forbidden), t.required) << attr->wTypeFlags;
    if (t.implTypes >= 0) {
      EXPECT_EQ(attr->cImplTypes, t.implTypes);
    }
    EXPECT_EQ(attr->cVars, 0);
    if (t.members) {
      EXPECT_EQ(attr->cFuncs, t.members->size());
    }
    info->ReleaseTypeAttr(attr);
    UniqueBstr typeName;
    ASSERT_EQ(info->GetDocumentation(MEMBERID_NIL, typeName.put(), nullptr, nullptr, nullptr),
              S_OK);
    EXPECT_EQ(Text(typeName.get()), t.name);
    if (t.members) ExpectMembers(info.get(), *t.members, t.kind);
    for (UINT i = 0; t.kind == TKIND_COCLASS && i < l.implemented.size(); ++i) {
      INT flags = 0;
      ASSERT_EQ(info->GetImplTypeFlags(i, &flags), S_OK);
      EXPECT_EQ(flags, l.implemented[i].second) << i;
      ComPtr<ITypeInfo> impl = Referenced(info.get(), i);
      ASSERT_EQ(impl->GetTypeAttr(&attr), S_OK);
      EXPECT_TRUE(IsEqualGUID(attr->guid, *l.implemented[i].first)) << i;
      impl->ReleaseTypeAttr(attr);
    }
  }
}

// Late-bound callers find each member through the object by its name, in
// any letter case, and nothing by another name.
TEST_P(TypeLibrary, TheObjectFindsEachMemberByNameInAnyCase) {
  ComPtr<IDispatch> object;
  ASSERT_EQ(CoCreateInstance(*GetParam().types.back().guid, nullptr, CLSCTX_ALL, IID_IDispatch,
                             object.putVoid()),
            S_OK);
  // Each table's coclass closes it, and its first type is the dual interface.
  for (const Member& row : *GetParam().types[0].members) {
    for (const std::wstring& name : {std::wstring(row.name), Lower(row.name)}) {
      DISPID id = 0;
      EXPECT_EQ(IdOfName(object.get(), name, &id), S_OK) << name;
      EXPECT_EQ(id, row.id) << name;
    }
  }
  DISPID id = 0;
  EXPECT_EQ(IdOfName(object.get(), L"Events", &id), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(id, DISPID_UNKNOWN);
}

INSTANTIATE_TEST_SUITE_P(Libraries, TypeLibrary, ::testing::ValuesIn(kLibraries),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MessageTable, ResourceOfWexloExeMatchesThePortableList) {
  HMODULE module =
      LoadLibraryExW(BinaryPath(L"Wexlo.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr) << "cannot load Wexlo.exe as data";
  for (int32_t n = kFirstMessage - 1; n <= kLastMessage + 1; ++n) {
    wchar_t buffer[256] = {};
    int len = LoadStringW(module, static_cast<UINT>(n), buffer, 256);
    ustring resource(reinterpret_cast<const char16_t*>(buffer), static_cast<size_t>(len));
    EXPECT_EQ(ToUtf8(resource), ToUtf8(PortableMessageText(n))) << "message " << n;
  }
  FreeLibrary(module);
}

// Each manifest, and the version block that marks Velmora.dll as
// self-registering (regsvr32 looks for that, a UTF-16 name in its table).
TEST(Manifests, EachDeliverableDeclaresWhatItNeeds) {
  const struct {
    const wchar_t* file;
    WORD type, id;
    std::vector<std::string> parts;
  } cases[] = {
      {L"Wexlo.exe",
       24,
       1,
       {"level=\"asInvoker\"", "name=\"Quarnet.Wexlo\"",
        "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",    // Windows 7
        "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",    // Windows 8
        "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",    // Windows 8.1
        "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}},  // Windows 10 and 11
      {L"Velmora.dll", 24, 2, {"name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""}},
      {L"Velmora.dll",
       16,
       VS_VERSION_INFO,
       {std::string(reinterpret_cast<const char*>(L"OLESelfRegister"), 30)}},
  };
  for (const auto& c : cases) {
    HMODULE module = LoadLibraryExW(BinaryPath(c.file).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    std::string resource;
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(c.id), MAKEINTRESOURCEW(c.type));
    if (found != nullptr)
      resource.assign(static_cast<const char*>(LockResource(LoadResource(module, found))),
                      SizeofResource(module, found));
    FreeLibrary(module);
    for (const std::string& part : c.parts)
      EXPECT_NE(resource.find(part), std::string::npos) << c.type << " of " << c.id;
  }
}

}  // namespace
}  // namespace wex
