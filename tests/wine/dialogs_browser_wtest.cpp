// Velmora.Browser as a client sees it, short of showing a dialog.
#include <gtest/gtest.h>

#include "tests/wine/support/automation.h"
#include "tests/wine/support/suite.h"
#include "velmora.h"

namespace wex {
namespace {

constexpr DISPID kBrowser = 0x40030000;

using VelmoraBrowser = ComApartment;

// Browser keeps embedded nulls, and a number written becomes its text by the
// automation rules (the rest of its life is dialogs_browser.js's); no events
// (the names it answers are the type library test's).
TEST_F(VelmoraBrowser, BrowserStringKeepsWhatIsWrittenAndNoEventsAreOffered) {
  ComPtr<IDispatch> d;
  ASSERT_EQ(
      CoCreateInstance(CLSID_Browser, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, d.putVoid()),
      S_OK);
  struct {
    Var in;
    std::wstring text;
  } cases[] = {{Var(std::wstring(L"a\0b", 3)), std::wstring(L"a\0b", 3)}, {Var(42), L"42"}};
  for (auto& c : cases) {
    Var out;
    ASSERT_EQ(Invoke(d.get(), kBrowser, DISPATCH_PROPERTYPUT, {&c.in}, nullptr, nullptr, true),
              S_OK);
    ASSERT_EQ(Invoke(d.get(), kBrowser, DISPATCH_PROPERTYGET, {}, out.put()), S_OK);
    EXPECT_EQ(out.Text(), c.text);
  }
  ComPtr<IUnknown> points;
  EXPECT_EQ(d->QueryInterface(IID_IConnectionPointContainer, points.putVoid()), E_NOINTERFACE);
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
