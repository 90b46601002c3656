// Velmora.Browser as a client sees it: the registered type library against
// the member table, IDispatch through it, and the library's unload count.
// No test here shows a dialog.
#include <windows.h>

#include <oleauto.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/wine/support/wine_paths.h"
#include "velmora.h"

namespace wex {
namespace {

class ComApartment : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
  void TearDown() override { CoUninitialize(); }
};

template <typename T>
struct Ref {
  T* p = nullptr;
  ~Ref() {
    if (p) p->Release();
  }
  T* operator->() const { return p; }
};

struct TypeAttr {
  ITypeInfo* info;
  TYPEATTR* attr = nullptr;
  explicit TypeAttr(ITypeInfo* i) : info(i) { info->GetTypeAttr(&attr); }
  ~TypeAttr() {
    if (attr) info->ReleaseTypeAttr(attr);
  }
};

std::string Narrow(BSTR s) {
  std::string out;
  for (UINT i = 0; i < SysStringLen(s); ++i) out += static_cast<char>(s[i]);
  return out;
}

using ComTypeLib = ComApartment;

TEST_F(ComTypeLib, LibraryInterfaceAndClassCarryTheirAttributes) {
  Ref<ITypeLib> lib;
  ASSERT_EQ(LoadRegTypeLib(LIBID_Velmora, 1, 0, 0, &lib.p), S_OK);
  BSTR name = nullptr;
  ASSERT_EQ(lib->GetDocumentation(-1, &name, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(Narrow(name), "Velmora");
  SysFreeString(name);

  Ref<ITypeInfo> iface;
  ASSERT_EQ(lib->GetTypeInfoOfGuid(IID__Browser, &iface.p), S_OK);
  TypeAttr ia(iface.p);
  ASSERT_NE(ia.attr, nullptr);
  EXPECT_EQ(ia.attr->typekind, TKIND_DISPATCH);
  const WORD wanted =
      TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FDISPATCHABLE;
  EXPECT_EQ(ia.attr->wTypeFlags & wanted, wanted);
  // Automation compatibility is a property of the vtable view behind it.
  HREFTYPE vtable_ref = 0;
  ASSERT_EQ(iface->GetRefTypeOfImplType(-1, &vtable_ref), S_OK);
  Ref<ITypeInfo> vtable;
  ASSERT_EQ(iface->GetRefTypeInfo(vtable_ref, &vtable.p), S_OK);
  TypeAttr va(vtable.p);
  ASSERT_NE(va.attr, nullptr);
  EXPECT_EQ(va.attr->typekind, TKIND_INTERFACE);
  EXPECT_TRUE(va.attr->wTypeFlags & TYPEFLAG_FOLEAUTOMATION);
  EXPECT_TRUE(va.attr->wTypeFlags & TYPEFLAG_FHIDDEN);

  Ref<ITypeInfo> coclass;
  ASSERT_EQ(lib->GetTypeInfoOfGuid(CLSID_Browser, &coclass.p), S_OK);
  TypeAttr ca(coclass.p);
  ASSERT_NE(ca.attr, nullptr);
  EXPECT_EQ(ca.attr->typekind, TKIND_COCLASS);
  EXPECT_TRUE(ca.attr->wTypeFlags & TYPEFLAG_FCANCREATE);
  // One interface, the default one, and no event source.
  ASSERT_EQ(ca.attr->cImplTypes, 1);
  INT impl_flags = 0;
  ASSERT_EQ(coclass->GetImplTypeFlags(0, &impl_flags), S_OK);
  EXPECT_EQ(impl_flags, IMPLTYPEFLAG_FDEFAULT);
}

TEST_F(ComTypeLib, MembersMatchTheTable) {
  struct Member {
    const char* name;
    MEMBERID id;
    INVOKEKIND kind;
    VARTYPE result;  // VT_EMPTY: no result (the property put)
    SHORT params;
  };
  const Member table[] = {
      {"Browser", 0x40030000, INVOKE_PROPERTYGET, VT_BSTR, 0},
      {"Browser", 0x40030000, INVOKE_PROPERTYPUT, VT_VOID, 1},
      {"OpenBox", 0x60030000, INVOKE_FUNC, VT_VARIANT, 0},
      {"SaveBox", 0x60030001, INVOKE_FUNC, VT_VARIANT, 0},
      {"ColorBoxRGB", 0x60030002, INVOKE_FUNC, VT_VARIANT, 0},
      {"ColorBoxHex", 0x60030003, INVOKE_FUNC, VT_VARIANT, 0},
  };
  Ref<ITypeLib> lib;
  ASSERT_EQ(LoadRegTypeLib(LIBID_Velmora, 1, 0, 0, &lib.p), S_OK);
  Ref<ITypeInfo> iface;
  ASSERT_EQ(lib->GetTypeInfoOfGuid(IID__Browser, &iface.p), S_OK);
  TypeAttr attr(iface.p);
  ASSERT_NE(attr.attr, nullptr);

  // The dispatch view lists IUnknown's and IDispatch's seven methods first.
  const UINT inherited = 7;
  ASSERT_EQ(attr.attr->cFuncs, inherited + sizeof table / sizeof table[0]);
  for (UINT i = 0; i < sizeof table / sizeof table[0]; ++i) {
    const Member& m = table[i];
    FUNCDESC* f = nullptr;
    ASSERT_EQ(iface->GetFuncDesc(inherited + i, &f), S_OK);
    EXPECT_EQ(f->memid, m.id) << m.name;
    EXPECT_EQ(f->invkind, m.kind) << m.name;
    EXPECT_EQ(f->cParams, m.params) << m.name;
    EXPECT_EQ(f->elemdescFunc.tdesc.vt, m.result) << m.name;
    if (m.kind == INVOKE_PROPERTYPUT) {
      EXPECT_EQ(f->lprgelemdescParam[0].tdesc.vt, VT_BSTR);
    }
    iface->ReleaseFuncDesc(f);

    BSTR name = nullptr, help = nullptr;
    ASSERT_EQ(iface->GetDocumentation(m.id, &name, &help, nullptr, nullptr), S_OK);
    EXPECT_EQ(Narrow(name), m.name);
    EXPECT_EQ(SysStringLen(help), 0u) << m.name << " has a help string";
    SysFreeString(name);
    SysFreeString(help);
  }
}

using BrowserDispatch = ComApartment;

HRESULT Call(IDispatch* d, DISPID id, WORD flags, VARIANT* arg, VARIANT* result) {
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS params{arg, arg && flags == DISPATCH_PROPERTYPUT ? &put : nullptr, arg ? 1u : 0u,
                    arg && flags == DISPATCH_PROPERTYPUT ? 1u : 0u};
  return d->Invoke(id, IID_NULL, 0, flags, &params, result, nullptr, nullptr);
}

TEST_F(BrowserDispatch, NamesGiveTheTableDispids) {
  CLSID clsid{};
  ASSERT_EQ(CLSIDFromProgID(L"Velmora.Browser", &clsid), S_OK);
  EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_Browser));
  Ref<IDispatch> d;
  ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                             reinterpret_cast<void**>(&d.p)),
            S_OK);
  struct Name {
    const wchar_t* name;
    DISPID id;
  };
  const Name names[] = {{L"Browser", 0x40030000},     {L"OpenBox", 0x60030000},
                        {L"SaveBox", 0x60030001},     {L"ColorBoxRGB", 0x60030002},
                        {L"ColorBoxHex", 0x60030003}, {L"colorboxhex", 0x60030003}};
  for (const Name& n : names) {
    LPOLESTR s = const_cast<LPOLESTR>(n.name);
    DISPID id = 0;
    EXPECT_EQ(d->GetIDsOfNames(IID_NULL, &s, 1, 0, &id), S_OK);
    EXPECT_EQ(id, n.id);
  }
  LPOLESTR unknown = const_cast<LPOLESTR>(L"Events");
  DISPID id = 0;
  EXPECT_EQ(d->GetIDsOfNames(IID_NULL, &unknown, 1, 0, &id), DISP_E_UNKNOWNNAME);

  // No events: the object offers no connection points.
  Ref<IUnknown> points;
  EXPECT_EQ(d->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&points.p)),
            E_NOINTERFACE);
}

TEST_F(BrowserDispatch, BrowserStringStartsEmptyAndKeepsWhatIsWritten) {
  Ref<IDispatch> d;
  ASSERT_EQ(CoCreateInstance(CLSID_Browser, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                             reinterpret_cast<void**>(&d.p)),
            S_OK);
  VARIANT out;
  VariantInit(&out);
  ASSERT_EQ(Call(d.p, 0x40030000, DISPATCH_PROPERTYGET, nullptr, &out), S_OK);
  ASSERT_EQ(V_VT(&out), VT_BSTR);
  EXPECT_EQ(SysStringLen(V_BSTR(&out)), 0u);
  VariantClear(&out);

  const std::wstring texts[] = {L"abc", std::wstring(L"a\0b", 3), L""};
  for (const std::wstring& text : texts) {
    VARIANT in;
    V_VT(&in) = VT_BSTR;
    V_BSTR(&in) = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    ASSERT_EQ(Call(d.p, 0x40030000, DISPATCH_PROPERTYPUT, &in, nullptr), S_OK);
    VariantClear(&in);
    ASSERT_EQ(Call(d.p, 0x40030000, DISPATCH_PROPERTYGET, nullptr, &out), S_OK);
    ASSERT_EQ(V_VT(&out), VT_BSTR);
    EXPECT_EQ(std::wstring(V_BSTR(&out), SysStringLen(V_BSTR(&out))), text);
    VariantClear(&out);
  }

  // A number written is converted to its text, by the automation rules.
  VARIANT number;
  V_VT(&number) = VT_I4;
  V_I4(&number) = 42;
  ASSERT_EQ(Call(d.p, 0x40030000, DISPATCH_PROPERTYPUT, &number, nullptr), S_OK);
  ASSERT_EQ(Call(d.p, 0x40030000, DISPATCH_PROPERTYGET, nullptr, &out), S_OK);
  EXPECT_EQ(std::wstring(V_BSTR(&out), SysStringLen(V_BSTR(&out))), L"42");
  VariantClear(&out);
}

// The exports called directly, as the platform's COM runtime calls them.
class LibraryExports : public ComApartment {
 protected:
  void SetUp() override {
    ComApartment::SetUp();
    module_ = LoadLibraryW(BinaryPath(L"Velmora.dll").c_str());
    ASSERT_NE(module_, nullptr);
    get_class_ = reinterpret_cast<GetClassObjectFn>(
        reinterpret_cast<void*>(GetProcAddress(module_, "DllGetClassObject")));
    can_unload_ = reinterpret_cast<CanUnloadFn>(
        reinterpret_cast<void*>(GetProcAddress(module_, "DllCanUnloadNow")));
    ASSERT_NE(get_class_, nullptr);
    ASSERT_NE(can_unload_, nullptr);
  }
  void TearDown() override {
    if (module_) FreeLibrary(module_);
    ComApartment::TearDown();
  }

  using GetClassObjectFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
  using CanUnloadFn = HRESULT(WINAPI*)();
  HMODULE module_ = nullptr;
  GetClassObjectFn get_class_ = nullptr;
  CanUnloadFn can_unload_ = nullptr;
};

TEST_F(LibraryExports, CanUnloadOnlyWithNoObjectAndNoLockLeft) {
  ASSERT_EQ(can_unload_(), S_OK);
  Ref<IClassFactory> factory;
  ASSERT_EQ(get_class_(CLSID_Browser, IID_IClassFactory, reinterpret_cast<void**>(&factory.p)),
            S_OK);
  EXPECT_EQ(can_unload_(), S_FALSE);  // the factory itself is held

  ASSERT_EQ(factory->LockServer(TRUE), S_OK);
  IDispatch* object = nullptr;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&object)),
            S_OK);
  factory->Release();
  factory.p = nullptr;
  EXPECT_EQ(can_unload_(), S_FALSE);  // an object and a lock

  object->Release();
  EXPECT_EQ(can_unload_(), S_FALSE);  // the lock alone
  // LockServer(FALSE) needs a factory again.
  ASSERT_EQ(get_class_(CLSID_Browser, IID_IClassFactory, reinterpret_cast<void**>(&factory.p)),
            S_OK);
  ASSERT_EQ(factory->LockServer(FALSE), S_OK);
  factory->Release();
  factory.p = nullptr;
  EXPECT_EQ(can_unload_(), S_OK);
}

TEST_F(LibraryExports, RefusesOtherClassesAndAggregation) {
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(get_class_(IID__Browser, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(out, nullptr);
  Ref<IClassFactory> factory;
  ASSERT_EQ(get_class_(CLSID_Browser, IID_IClassFactory, reinterpret_cast<void**>(&factory.p)),
            S_OK);
  // Any outer object is refused before it is used; the factory stands in.
  out = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->CreateInstance(factory.p, IID_IUnknown, &out), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(out, nullptr);
  factory->Release();
  factory.p = nullptr;
  EXPECT_EQ(can_unload_(), S_OK);
}

}  // namespace
}  // namespace wex
