// The type library embedded in Wexlo.exe, row by row: what scripts and the
// typelib marshaler read from it is the server's public contract.
#include <windows.h>

#include <oleauto.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/win32/com_ptr.h"
#include "common/win32/unique_bstr.h"
#include "tests/wine/support/wine_paths.h"
#include "wexlo.h"

namespace wex {
namespace {

struct Member {
  const wchar_t* name;
  MEMBERID id;
  INVOKEKIND kind;
  const wchar_t* args;  // the [in, out] VARIANT* ones, each followed by a comma
  bool retval;          // an [out, retval] VARIANT* follows
  const wchar_t* help;
};

const Member kMembers[] = {
    {L"Busy", 0x68030005, INVOKE_PROPERTYGET, L"", true, L""},
    {L"Port", 0x68030004, INVOKE_PROPERTYPUT, L"PortNumber,", false,
     L"Port number. Defaults to 80. Write-only."},
    {L"Online", 0x68030003, INVOKE_PROPERTYGET, L"", true,
     L"Boolean. Is system online? Read-only."},
    {L"ProxyConnection", 0x68030002, INVOKE_PROPERTYGET, L"", true,
     L"Boolean. Is connection through a proxy? Read-only."},
    {L"CurSize", 0x68030001, INVOKE_PROPERTYGET, L"", true,
     L"Size in bytes of currently downloaded file."},
    {L"CurFileAsString", 0x68030000, INVOKE_PROPERTYGET, L"", true,
     L"Returns currently downloaded file as string."},
    {L"StartUp", 0x60030006, INVOKE_FUNC, L"ErrString,", true,
     L"Initialize Winsock for Internet communication."},
    {L"RequestFile", 0x60030007, INVOKE_FUNC, L"Server,FilePath,", true, L""},
    {L"WriteTextFile", 0x60030008, INVOKE_FUNC, L"sPath,IfDelete,", true, L""},
    {L"WriteBinaryFile", 0x60030009, INVOKE_FUNC, L"sPath,IfDelete,", true, L""},
    {L"FormatCurRSS", 0x6003000A, INVOKE_FUNC, L"NumberItems,IfDescription,", true, L""},
    {L"ShutDown", 0x6003000B, INVOKE_FUNC, L"", false, L"Close down Winsock."},
};

const Member kEvents[] = {
    {L"OnConnect", 1, INVOKE_FUNC, L"ServerURL,", false,
     L"Occurs when connection has been successfully made to server."},
    {L"OnDownloadFinish", 2, INVOKE_FUNC, L"ResponseCode,ResponseString,", false,
     L"Occurs when a file download attempt is finished - whether it was successful or not."},
    {L"OnDisconnect", 3, INVOKE_FUNC, L"", false, L"Occurs when server connection is broken."},
};

class TypeLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(LoadTypeLibEx(BinaryPath(L"Wexlo.exe").c_str(), REGKIND_NONE, library_.put()), S_OK);
  }

  ComPtr<ITypeInfo> Info(REFGUID guid) {
    ComPtr<ITypeInfo> info;
    EXPECT_EQ(library_->GetTypeInfoOfGuid(guid, info.put()), S_OK);
    return info;
  }

  static std::wstring Name(ITypeInfo* info, MEMBERID id = MEMBERID_NIL) {
    UniqueBstr name;
    EXPECT_EQ(info->GetDocumentation(id, name.put(), nullptr, nullptr, nullptr), S_OK);
    return std::wstring(name.get() ? name.get() : L"", SysStringLen(name.get()));
  }

  static ComPtr<ITypeInfo> Referenced(ITypeInfo* info, UINT index) {
    HREFTYPE ref = 0;
    ComPtr<ITypeInfo> out;
    EXPECT_EQ(info->GetRefTypeOfImplType(index, &ref), S_OK);
    EXPECT_EQ(info->GetRefTypeInfo(ref, out.put()), S_OK);
    return out;
  }

  // Every row of a member table against the functions of info, in order.
  template <size_t N>
  static void ExpectMembers(ITypeInfo* info, const Member (&table)[N], FUNCKIND funcKind,
                            VARTYPE resultType) {
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    ASSERT_EQ(attr->cFuncs, N);
    info->ReleaseTypeAttr(attr);
    short lastSlot = -1;
    for (UINT i = 0; i < N; ++i) {
      const Member& row = table[i];
      SCOPED_TRACE(row.name);
      std::vector<std::wstring> args;
      for (const wchar_t* a = row.args; *a != 0; a = wcschr(a, L',') + 1)
        args.emplace_back(a, wcschr(a, L',') - a);
      FUNCDESC* f = nullptr;
      ASSERT_EQ(info->GetFuncDesc(i, &f), S_OK);
      EXPECT_EQ(f->memid, row.id);
      EXPECT_EQ(f->invkind, row.kind);
      EXPECT_EQ(f->funckind, funcKind);
      EXPECT_EQ(f->elemdescFunc.tdesc.vt, resultType);
      EXPECT_EQ(f->cParamsOpt, 0);
      if (funcKind == FUNC_PUREVIRTUAL) {
        EXPECT_GT(f->oVft, lastSlot) << "dispatch order is vtable order";
        lastSlot = f->oVft;
      }
      const size_t params = args.size() + (row.retval ? 1 : 0);
      ASSERT_EQ(static_cast<size_t>(f->cParams), params);
      for (size_t p = 0; p < params; ++p) {
        const ELEMDESC& e = f->lprgelemdescParam[p];
        EXPECT_TRUE(e.tdesc.vt == VT_PTR && e.tdesc.lptdesc->vt == VT_VARIANT) << p;
        EXPECT_EQ(e.paramdesc.wParamFlags & ~PARAMFLAG_FHASDEFAULT,
                  p < args.size() ? (PARAMFLAG_FIN | PARAMFLAG_FOUT)
                                  : (PARAMFLAG_FOUT | PARAMFLAG_FRETVAL))
            << p;
      }
      BSTR names[8] = {};
      UINT count = 0;
      ASSERT_EQ(info->GetNames(f->memid, names, 8, &count), S_OK);
      std::vector<std::wstring> got;
      for (UINT n = 0; n < count; ++n) {
        got.emplace_back(names[n], SysStringLen(names[n]));
        SysFreeString(names[n]);
      }
      // A property put does not name its value argument: it is implied.
      std::vector<std::wstring> expected = {row.name};
      if (row.kind != INVOKE_PROPERTYPUT) expected.insert(expected.end(), args.begin(), args.end());
      got.resize(std::min(got.size(), expected.size()));
      EXPECT_EQ(got, expected);
      UniqueBstr doc;
      ASSERT_EQ(info->GetDocumentation(f->memid, nullptr, doc.put(), nullptr, nullptr), S_OK);
      EXPECT_EQ(std::wstring(doc.get() ? doc.get() : L"", SysStringLen(doc.get())), row.help);
      info->ReleaseFuncDesc(f);
    }
  }

  ComPtr<ITypeLib> library_;
};

TEST_F(TypeLibrary, LibraryAndEachTypeCarryTheirAttributes) {
  TLIBATTR* lib = nullptr;
  ASSERT_EQ(library_->GetLibAttr(&lib), S_OK);
  EXPECT_TRUE(IsEqualGUID(lib->guid, LIBID_Wexlo));
  EXPECT_EQ(lib->wMajorVerNum, 1);
  EXPECT_EQ(lib->wMinorVerNum, 0);
  library_->ReleaseTLibAttr(lib);
  UniqueBstr name;
  ASSERT_EQ(library_->GetDocumentation(-1, name.put(), nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(BstrText(name.get()), u"Wexlo");
  EXPECT_EQ(library_->GetTypeInfoCount(), 3u);

  const WORD kDual = TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE;
  const struct {
    const GUID* guid;
    bool vtableHalf;  // the dual interface's vtable half, behind the dispatch one
    const wchar_t* name;
    TYPEKIND kind;
    WORD required, forbidden;
    int implTypes;  // -1: not counted
  } types[] = {
      {&IID__Downloader, false, L"_Downloader", TKIND_DISPATCH, kDual | TYPEFLAG_FDISPATCHABLE, 0,
       -1},
      // Automation compatible: what lets the typelib marshaler carry it between processes.
      {&IID__Downloader, true, L"_Downloader", TKIND_INTERFACE, kDual | TYPEFLAG_FOLEAUTOMATION, 0,
       1},
      {&DIID___Downloader, false, L"__Downloader", TKIND_DISPATCH, TYPEFLAG_FHIDDEN, TYPEFLAG_FDUAL,
       -1},
      {&CLSID_Downloader, false, L"Downloader", TKIND_COCLASS, TYPEFLAG_FCANCREATE, 0, 2},
  };
  for (const auto& t : types) {
    SCOPED_TRACE(testing::Message() << t.name << (t.vtableHalf ? " (vtable)" : ""));
    ComPtr<ITypeInfo> info = Info(*t.guid);
    ASSERT_TRUE(info);
    if (t.vtableHalf) info = Referenced(info.get(), static_cast<UINT>(-1));
    ASSERT_TRUE(info);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->typekind, t.kind);
    EXPECT_EQ(attr->wTypeFlags & (t.required | t.forbidden), t.required) << attr->wTypeFlags;
    if (t.implTypes >= 0) {
      EXPECT_EQ(attr->cImplTypes, t.implTypes);
    }
    EXPECT_EQ(attr->cVars, 0);
    info->ReleaseTypeAttr(attr);
    EXPECT_EQ(Name(info.get()), t.name);
  }
}

TEST_F(TypeLibrary, MembersAndEventsMatchTheirTables) {
  ComPtr<ITypeInfo> dispatch = Info(IID__Downloader);
  ASSERT_TRUE(dispatch);
  ExpectMembers(Referenced(dispatch.get(), static_cast<UINT>(-1)).get(), kMembers, FUNC_PUREVIRTUAL,
                VT_HRESULT);
  ExpectMembers(Info(DIID___Downloader).get(), kEvents, FUNC_DISPATCH, VT_VOID);
  // Late-bound callers find each member by name, in any letter case.
  for (const Member& row : kMembers) {
    std::wstring lower(row.name);
    for (wchar_t& c : lower) c = towlower(c);
    for (std::wstring name : {std::wstring(row.name), lower}) {
      LPOLESTR names[] = {&name[0]};
      MEMBERID id = 0;
      EXPECT_EQ(dispatch->GetIDsOfNames(names, 1, &id), S_OK) << row.name;
      EXPECT_EQ(id, row.id) << row.name;
    }
  }
}

// The class implements the dual interface by default and raises the events
// of the default source interface.
TEST_F(TypeLibrary, CoclassNamesItsDefaultAndSourceInterfaces) {
  ComPtr<ITypeInfo> coclass = Info(CLSID_Downloader);
  ASSERT_TRUE(coclass);
  const struct {
    const GUID* iid;
    INT flags;
  } expected[] = {{&IID__Downloader, IMPLTYPEFLAG_FDEFAULT},
                  {&DIID___Downloader, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE}};
  for (UINT i = 0; i < 2; ++i) {
    INT flags = 0;
    ASSERT_EQ(coclass->GetImplTypeFlags(i, &flags), S_OK);
    EXPECT_EQ(flags, expected[i].flags) << i;
    ComPtr<ITypeInfo> impl = Referenced(coclass.get(), i);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(impl->GetTypeAttr(&attr), S_OK);
    EXPECT_TRUE(IsEqualGUID(attr->guid, *expected[i].iid)) << i;
    impl->ReleaseTypeAttr(attr);
  }
}

}  // namespace
}  // namespace wex
