// The type library embedded in Wexlo.exe, row by row: what scripts and the
// typelib marshaler read from it is the server's public contract.
#include <windows.h>

#include <oleauto.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/win32/com_ptr.h"
#include "tests/wine/support/wine_paths.h"
#include "wexlo.h"

namespace wex {
namespace {

struct Member {
  const wchar_t* name;
  MEMBERID id;
  INVOKEKIND kind;
  std::vector<std::wstring> args;  // all [in, out] VARIANT*
  bool retval;                     // an [out, retval] VARIANT* follows
  const wchar_t* help;             // null: none
};

const std::vector<Member> kDownloaderMembers = {
    {L"Busy", 0x68030005, INVOKE_PROPERTYGET, {}, true, nullptr},
    {L"Port",
     0x68030004,
     INVOKE_PROPERTYPUT,
     {L"PortNumber"},
     false,
     L"Port number. Defaults to 80. Write-only."},
    {L"Online", 0x68030003, INVOKE_PROPERTYGET, {}, true, L"Boolean. Is system online? Read-only."},
    {L"ProxyConnection",
     0x68030002,
     INVOKE_PROPERTYGET,
     {},
     true,
     L"Boolean. Is connection through a proxy? Read-only."},
    {L"CurSize",
     0x68030001,
     INVOKE_PROPERTYGET,
     {},
     true,
     L"Size in bytes of currently downloaded file."},
    {L"CurFileAsString",
     0x68030000,
     INVOKE_PROPERTYGET,
     {},
     true,
     L"Returns currently downloaded file as string."},
    {L"StartUp",
     0x60030006,
     INVOKE_FUNC,
     {L"ErrString"},
     true,
     L"Initialize Winsock for Internet communication."},
    {L"RequestFile", 0x60030007, INVOKE_FUNC, {L"Server", L"FilePath"}, true, nullptr},
    {L"WriteTextFile", 0x60030008, INVOKE_FUNC, {L"sPath", L"IfDelete"}, true, nullptr},
    {L"WriteBinaryFile", 0x60030009, INVOKE_FUNC, {L"sPath", L"IfDelete"}, true, nullptr},
    {L"FormatCurRSS", 0x6003000A, INVOKE_FUNC, {L"NumberItems", L"IfDescription"}, true, nullptr},
    {L"ShutDown", 0x6003000B, INVOKE_FUNC, {}, false, L"Close down Winsock."},
};

const std::vector<Member> kEvents = {
    {L"OnConnect",
     1,
     INVOKE_FUNC,
     {L"ServerURL"},
     false,
     L"Occurs when connection has been successfully made to server."},
    {L"OnDownloadFinish",
     2,
     INVOKE_FUNC,
     {L"ResponseCode", L"ResponseString"},
     false,
     L"Occurs when a file download attempt is finished - whether it was successful or not."},
    {L"OnDisconnect", 3, INVOKE_FUNC, {}, false, L"Occurs when server connection is broken."},
};

std::wstring Text(BSTR b) { return b ? std::wstring(b, SysStringLen(b)) : std::wstring(); }

bool IsVariantPointer(const TYPEDESC& t) {
  return t.vt == VT_PTR && t.lptdesc != nullptr && t.lptdesc->vt == VT_VARIANT;
}

class TypeLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    std::wstring exe = BinaryPath(L"Wexlo.exe");
    ASSERT_EQ(LoadTypeLibEx(exe.c_str(), REGKIND_NONE, library_.put()), S_OK);
  }

  ComPtr<ITypeInfo> Info(REFGUID guid) {
    ComPtr<ITypeInfo> info;
    EXPECT_EQ(library_->GetTypeInfoOfGuid(guid, info.put()), S_OK);
    return info;
  }

  // The vtable half of a dual interface.
  static ComPtr<ITypeInfo> VtableOf(ITypeInfo* dispatch) {
    HREFTYPE ref = 0;
    ComPtr<ITypeInfo> vtable;
    EXPECT_EQ(dispatch->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref), S_OK);
    EXPECT_EQ(dispatch->GetRefTypeInfo(ref, vtable.put()), S_OK);
    return vtable;
  }

  // Every row of a member table against the functions of info, in order.
  void ExpectMembers(ITypeInfo* info, const std::vector<Member>& table, FUNCKIND funcKind,
                     VARTYPE resultType) {
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    ASSERT_EQ(attr->cFuncs, table.size());
    info->ReleaseTypeAttr(attr);
    short lastSlot = -1;
    for (UINT i = 0; i < table.size(); ++i) {
      const Member& row = table[i];
      SCOPED_TRACE(row.name);
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
      size_t params = row.args.size() + (row.retval ? 1 : 0);
      ASSERT_EQ(static_cast<size_t>(f->cParams), params);
      for (size_t p = 0; p < params; ++p) {
        const ELEMDESC& e = f->lprgelemdescParam[p];
        EXPECT_TRUE(IsVariantPointer(e.tdesc)) << "parameter " << p;
        USHORT flags = e.paramdesc.wParamFlags & ~PARAMFLAG_FHASDEFAULT;
        USHORT expected = p < row.args.size() ? (PARAMFLAG_FIN | PARAMFLAG_FOUT)
                                              : (PARAMFLAG_FOUT | PARAMFLAG_FRETVAL);
        EXPECT_EQ(flags, expected) << "parameter " << p;
        EXPECT_EQ(e.paramdesc.wParamFlags & PARAMFLAG_FOPT, 0);
      }

      BSTR names[8] = {};
      UINT count = 0;
      ASSERT_EQ(info->GetNames(f->memid, names, 8, &count), S_OK);
      // A property put does not name its value argument there: it is implied.
      size_t named = row.kind == INVOKE_PROPERTYPUT ? 0 : row.args.size();
      ASSERT_GE(count, 1u + named);
      EXPECT_EQ(Text(names[0]), row.name);
      for (size_t a = 0; a < named; ++a) EXPECT_EQ(Text(names[a + 1]), row.args[a]);
      for (UINT n = 0; n < count; ++n) SysFreeString(names[n]);

      BSTR doc = nullptr;
      ASSERT_EQ(info->GetDocumentation(f->memid, nullptr, &doc, nullptr, nullptr), S_OK);
      EXPECT_EQ(Text(doc), row.help ? row.help : L"");
      SysFreeString(doc);
      info->ReleaseFuncDesc(f);
    }
  }

  ComPtr<ITypeLib> library_;
};

TEST_F(TypeLibrary, IsTheWexloLibraryVersionOne) {
  TLIBATTR* attr = nullptr;
  ASSERT_EQ(library_->GetLibAttr(&attr), S_OK);
  EXPECT_TRUE(IsEqualGUID(attr->guid, LIBID_Wexlo));
  EXPECT_EQ(attr->wMajorVerNum, 1);
  EXPECT_EQ(attr->wMinorVerNum, 0);
  library_->ReleaseTLibAttr(attr);
  BSTR name = nullptr;
  ASSERT_EQ(library_->GetDocumentation(-1, &name, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(Text(name), L"Wexlo");
  SysFreeString(name);
  EXPECT_EQ(library_->GetTypeInfoCount(), 3u);
}

TEST_F(TypeLibrary, DownloaderInterfaceIsAHiddenNonextensibleDual) {
  ComPtr<ITypeInfo> info = Info(IID__Downloader);
  ASSERT_TRUE(info);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
  WORD required =
      TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FDISPATCHABLE;
  EXPECT_EQ(attr->wTypeFlags & required, required);
  info->ReleaseTypeAttr(attr);

  // The vtable half carries the same flags and is automation compatible,
  // which is what lets the typelib marshaler carry it between processes.
  ComPtr<ITypeInfo> vtable = VtableOf(info.get());
  ASSERT_TRUE(vtable);
  ASSERT_EQ(vtable->GetTypeAttr(&attr), S_OK);
  required = TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION;
  EXPECT_EQ(attr->wTypeFlags & required, required) << std::hex << attr->wTypeFlags;
  vtable->ReleaseTypeAttr(attr);
  BSTR name = nullptr;
  ASSERT_EQ(info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(Text(name), L"_Downloader");
  SysFreeString(name);
}

TEST_F(TypeLibrary, DownloaderMembersMatchTheMemberTable) {
  ComPtr<ITypeInfo> dispatch = Info(IID__Downloader);
  ASSERT_TRUE(dispatch);
  ComPtr<ITypeInfo> vtable = VtableOf(dispatch.get());
  ASSERT_TRUE(vtable);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(vtable->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->typekind, TKIND_INTERFACE);
  EXPECT_EQ(attr->cImplTypes, 1);
  vtable->ReleaseTypeAttr(attr);
  ExpectMembers(vtable.get(), kDownloaderMembers, FUNC_PUREVIRTUAL, VT_HRESULT);

  // Late-bound callers find each member by name, in any letter case.
  for (const Member& row : kDownloaderMembers) {
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

TEST_F(TypeLibrary, EventInterfaceIsAHiddenDispinterfaceWithTheEventTable) {
  ComPtr<ITypeInfo> info = Info(DIID___Downloader);
  ASSERT_TRUE(info);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
  EXPECT_NE(attr->wTypeFlags & TYPEFLAG_FHIDDEN, 0);
  EXPECT_EQ(attr->wTypeFlags & TYPEFLAG_FDUAL, 0);
  EXPECT_EQ(attr->cVars, 0);
  info->ReleaseTypeAttr(attr);
  BSTR name = nullptr;
  ASSERT_EQ(info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(Text(name), L"__Downloader");
  SysFreeString(name);
  ExpectMembers(info.get(), kEvents, FUNC_DISPATCH, VT_VOID);
}

TEST_F(TypeLibrary, CoclassIsCreatableWithItsDefaultAndSourceInterfaces) {
  ComPtr<ITypeInfo> info = Info(CLSID_Downloader);
  ASSERT_TRUE(info);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->typekind, TKIND_COCLASS);
  EXPECT_NE(attr->wTypeFlags & TYPEFLAG_FCANCREATE, 0);
  ASSERT_EQ(attr->cImplTypes, 2);
  info->ReleaseTypeAttr(attr);

  struct Impl {
    const GUID* iid;
    INT flags;
  } expected[] = {{&IID__Downloader, IMPLTYPEFLAG_FDEFAULT},
                  {&DIID___Downloader, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE}};
  for (UINT i = 0; i < 2; ++i) {
    INT flags = 0;
    ASSERT_EQ(info->GetImplTypeFlags(i, &flags), S_OK);
    EXPECT_EQ(flags, expected[i].flags) << "implemented type " << i;
    HREFTYPE ref = 0;
    ASSERT_EQ(info->GetRefTypeOfImplType(i, &ref), S_OK);
    ComPtr<ITypeInfo> impl;
    ASSERT_EQ(info->GetRefTypeInfo(ref, impl.put()), S_OK);
    TYPEATTR* implAttr = nullptr;
    ASSERT_EQ(impl->GetTypeAttr(&implAttr), S_OK);
    EXPECT_TRUE(IsEqualGUID(implAttr->guid, *expected[i].iid)) << "implemented type " << i;
    impl->ReleaseTypeAttr(implAttr);
  }
  BSTR name = nullptr;
  ASSERT_EQ(info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(Text(name), L"Downloader");
  SysFreeString(name);
}

}  // namespace
}  // namespace wex
