// Velmora.Browser as a client sees it, short of showing a dialog.
#include <gtest/gtest.h>

#include "tests/wine/support/automation.h"
#include "tests/wine/support/wine_paths.h"
#include "velmora.h"

namespace wex {
namespace {

constexpr DISPID kBrowser = 0x40030000;

class ComApartment : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
  void TearDown() override { CoUninitialize(); }
};

using BrowserTypes = ComApartment;

TEST_F(BrowserTypes, LibraryInterfaceAndClassCarryTheirAttributes) {
  ComPtr<ITypeLib> lib;
  ASSERT_EQ(LoadRegTypeLib(LIBID_Velmora, 1, 0, 0, lib.put()), S_OK);
  UniqueBstr name;
  ASSERT_EQ(lib->GetDocumentation(-1, name.put(), nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(BstrText(name.get()), u"Velmora");

  ComPtr<ITypeInfo> iface, vtable, coclass;
  ASSERT_EQ(lib->GetTypeInfoOfGuid(IID__Browser, iface.put()), S_OK);
  HREFTYPE ref = 0;
  ASSERT_EQ(iface->GetRefTypeOfImplType(-1, &ref), S_OK);
  ASSERT_EQ(iface->GetRefTypeInfo(ref, vtable.put()), S_OK);
  ASSERT_EQ(lib->GetTypeInfoOfGuid(CLSID_Browser, coclass.put()), S_OK);
  const WORD kDual = TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE;
  const struct {
    ITypeInfo* info;
    TYPEKIND kind;
    WORD flags;
  } types[] = {{iface.get(), TKIND_DISPATCH, kDual | TYPEFLAG_FDISPATCHABLE},
               // Automation compatibility is a property of the vtable view behind it.
               {vtable.get(), TKIND_INTERFACE, TYPEFLAG_FHIDDEN | TYPEFLAG_FOLEAUTOMATION},
               {coclass.get(), TKIND_COCLASS, TYPEFLAG_FCANCREATE}};
  for (const auto& t : types) {
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(t.info->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->typekind, t.kind);
    EXPECT_EQ(attr->wTypeFlags & t.flags, t.flags) << t.kind;
    // The class: one interface, the default one, and no event source.
    if (t.kind == TKIND_COCLASS) {
      EXPECT_EQ(attr->cImplTypes, 1);
    }
    t.info->ReleaseTypeAttr(attr);
  }
  INT implFlags = 0;
  ASSERT_EQ(coclass->GetImplTypeFlags(0, &implFlags), S_OK);
  EXPECT_EQ(implFlags, IMPLTYPEFLAG_FDEFAULT);
}

// The dispatch view against the member table, and each name found by
// GetIDsOfNames on an object, in any letter case.
TEST_F(BrowserTypes, MembersMatchTheTableAndTheirNamesGiveTheirDispids) {
  const struct {
    const wchar_t* name;
    MEMBERID id;
    INVOKEKIND kind;
    VARTYPE result;
    SHORT params;
  } table[] = {
      {L"Browser", kBrowser, INVOKE_PROPERTYGET, VT_BSTR, 0},
      {L"Browser", kBrowser, INVOKE_PROPERTYPUT, VT_VOID, 1},
      {L"OpenBox", 0x60030000, INVOKE_FUNC, VT_VARIANT, 0},
      {L"SaveBox", 0x60030001, INVOKE_FUNC, VT_VARIANT, 0},
      {L"ColorBoxRGB", 0x60030002, INVOKE_FUNC, VT_VARIANT, 0},
      {L"ColorBoxHex", 0x60030003, INVOKE_FUNC, VT_VARIANT, 0},
  };
  ComPtr<ITypeLib> lib;
  ASSERT_EQ(LoadRegTypeLib(LIBID_Velmora, 1, 0, 0, lib.put()), S_OK);
  ComPtr<ITypeInfo> iface;
  ASSERT_EQ(lib->GetTypeInfoOfGuid(IID__Browser, iface.put()), S_OK);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(iface->GetTypeAttr(&attr), S_OK);
  const UINT inherited = 7;  // IUnknown's and IDispatch's methods come first
  EXPECT_EQ(attr->cFuncs, inherited + std::size(table));
  iface->ReleaseTypeAttr(attr);

  CLSID clsid{};
  ASSERT_EQ(CLSIDFromProgID(L"Velmora.Browser", &clsid), S_OK);
  EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_Browser));
  ComPtr<IDispatch> object;
  ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.putVoid()),
            S_OK);
  for (UINT i = 0; i < std::size(table); ++i) {
    const auto& m = table[i];
    SCOPED_TRACE(testing::Message() << i);
    FUNCDESC* f = nullptr;
    ASSERT_EQ(iface->GetFuncDesc(inherited + i, &f), S_OK);
    EXPECT_EQ(f->memid, m.id);
    EXPECT_EQ(f->invkind, m.kind);
    EXPECT_EQ(f->cParams, m.params);
    EXPECT_EQ(f->elemdescFunc.tdesc.vt, m.result);
    if (m.kind == INVOKE_PROPERTYPUT) {
      EXPECT_EQ(f->lprgelemdescParam[0].tdesc.vt, VT_BSTR);
    }
    iface->ReleaseFuncDesc(f);
    UniqueBstr name, help;
    ASSERT_EQ(iface->GetDocumentation(m.id, name.put(), help.put(), nullptr, nullptr), S_OK);
    EXPECT_EQ(BstrText(name.get()), reinterpret_cast<const char16_t*>(m.name));
    EXPECT_EQ(SysStringLen(help.get()), 0u) << "a help string";

    std::wstring lower = m.name;
    for (wchar_t& c : lower) c = towlower(c);
    for (std::wstring spelling : {std::wstring(m.name), lower}) {
      LPOLESTR names[] = {&spelling[0]};
      DISPID id = 0;
      EXPECT_EQ(object->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
      EXPECT_EQ(id, m.id);
    }
  }
  std::wstring unknown = L"Events";
  LPOLESTR names[] = {&unknown[0]};
  DISPID id = 0;
  EXPECT_EQ(object->GetIDsOfNames(IID_NULL, names, 1, 0, &id), DISP_E_UNKNOWNNAME);
  // No events: the object offers no connection points.
  ComPtr<IUnknown> points;
  EXPECT_EQ(object->QueryInterface(IID_IConnectionPointContainer, points.putVoid()), E_NOINTERFACE);
}

// Browser starts empty and keeps what is written, embedded nulls too; a
// number written is converted to its text by the automation rules.
TEST_F(ComApartment, BrowserStringStartsEmptyAndKeepsWhatIsWritten) {
  ComPtr<IDispatch> d;
  ASSERT_EQ(
      CoCreateInstance(CLSID_Browser, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, d.putVoid()),
      S_OK);
  Var out;
  ASSERT_EQ(Invoke(d.get(), kBrowser, DISPATCH_PROPERTYGET, {}, out.put()), S_OK);
  EXPECT_EQ(out.Text(), L"");
  struct {
    Var in;
    std::wstring text;
  } cases[] = {{Var(L"abc"), L"abc"},
               {Var(std::wstring(L"a\0b", 3)), std::wstring(L"a\0b", 3)},
               {Var(L""), L""},
               {Var(42), L"42"}};
  for (auto& c : cases) {
    ASSERT_EQ(Invoke(d.get(), kBrowser, DISPATCH_PROPERTYPUT, {&c.in}, nullptr, nullptr, true),
              S_OK);
    ASSERT_EQ(Invoke(d.get(), kBrowser, DISPATCH_PROPERTYGET, {}, out.put()), S_OK);
    EXPECT_EQ(out.Text(), c.text);
  }
}

// The exports called directly, as the platform's COM runtime calls them.
class LibraryExports : public ComApartment {
 protected:
  void SetUp() override {
    ComApartment::SetUp();
    module_ = LoadLibraryW(BinaryPath(L"Velmora.dll").c_str());
    ASSERT_NE(module_, nullptr);
    getClass_ = reinterpret_cast<HRESULT(WINAPI*)(REFCLSID, REFIID, void**)>(
        reinterpret_cast<void*>(GetProcAddress(module_, "DllGetClassObject")));
    canUnload_ = reinterpret_cast<HRESULT(WINAPI*)()>(
        reinterpret_cast<void*>(GetProcAddress(module_, "DllCanUnloadNow")));
    ASSERT_NE(getClass_, nullptr);
    ASSERT_NE(canUnload_, nullptr);
  }
  void TearDown() override {
    if (module_) FreeLibrary(module_);
    ComApartment::TearDown();
  }
  ComPtr<IClassFactory> Factory() {
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(getClass_(CLSID_Browser, IID_IClassFactory, factory.putVoid()), S_OK);
    return factory;
  }

  HMODULE module_ = nullptr;
  HRESULT(WINAPI* getClass_)(REFCLSID, REFIID, void**) = nullptr;
  HRESULT(WINAPI* canUnload_)() = nullptr;
};

TEST_F(LibraryExports, CanUnloadOnlyWithNoObjectAndNoLockLeft) {
  ASSERT_EQ(canUnload_(), S_OK);
  ComPtr<IClassFactory> factory = Factory();
  ASSERT_TRUE(factory);
  EXPECT_EQ(canUnload_(), S_FALSE);  // the factory itself is held
  ASSERT_EQ(factory->LockServer(TRUE), S_OK);
  ComPtr<IDispatch> object;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, object.putVoid()), S_OK);
  factory.reset();
  EXPECT_EQ(canUnload_(), S_FALSE);  // an object and a lock
  object.reset();
  EXPECT_EQ(canUnload_(), S_FALSE);               // the lock alone
  ASSERT_EQ(Factory()->LockServer(FALSE), S_OK);  // which needs a factory again
  EXPECT_EQ(canUnload_(), S_OK);
}

TEST_F(LibraryExports, RefusesOtherClassesAndAggregation) {
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(getClass_(IID__Browser, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(out, nullptr);
  ComPtr<IClassFactory> factory = Factory();
  ASSERT_TRUE(factory);
  // Any outer object is refused before it is used; the factory stands in.
  out = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->CreateInstance(factory.get(), IID_IUnknown, &out), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(out, nullptr);
  factory.reset();
  EXPECT_EQ(canUnload_(), S_OK);
}

}  // namespace
}  // namespace wex
