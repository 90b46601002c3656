// The Windows tests as automation clients.
#pragma once

#include <windows.h>

#include <oleauto.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "common/win32/com_object.h"
#include "common/win32/com_ptr.h"
#include "common/win32/unique_bstr.h"
#include "common/win32/unique_excepinfo.h"
#include "common/win32/unique_handle.h"
#include "common/win32/unique_variant.h"

namespace wex {

// One apartment for each test of a fixture.
class ComApartment : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  }
  void TearDown() override { CoUninitialize(); }
};

// Wine may spell a name or a path in another letter case than the test.
std::wstring Lower(std::wstring text);
// Text of one byte a character (ASCII, UTF-16) as a wide string.
template <typename Text>
std::wstring Wide(const Text& text) {
  return std::wstring(text.begin(), text.end());
}

// An owned VARIANT, the variable a script passes.
class Var : public UniqueVariant {
 public:
  Var() = default;
  Var(const wchar_t* text) : Var(std::wstring(text)) {}
  Var(const std::wstring& text) {
    Typed(VT_BSTR)->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  }
  Var(int32_t n) { Typed(VT_I4)->lVal = n; }
  explicit Var(IDispatch* object) { (Typed(VT_DISPATCH)->pdispVal = object)->AddRef(); }
  static Var OfType(VARTYPE vt) {
    Var v;
    v.Typed(vt);
    return v;
  }
  VARIANT* operator&() { return get(); }
  VARIANT* Typed(VARTYPE vt) { return V_VT(get()) = vt, get(); }

  std::wstring Text() const {  // "<not a string>" unless a BSTR
    return V_VT(get()) != VT_BSTR ? L"<not a string>"
                                  : std::wstring(V_BSTR(get()), SysStringLen(V_BSTR(get())));
  }
  int32_t Int() const { return V_VT(get()) == VT_I4 ? V_I4(get()) : INT32_MIN; }
  bool IsTrue() const { return V_VT(get()) == VT_BOOL && V_BOOL(get()) == VARIANT_TRUE; }
};

// Calls member id through IDispatch::Invoke. The arguments go by reference
// (VT_BYREF|VT_VARIANT, as VBScript passes variables) or by value (as JScript
// does); a property put names its value as DISPID_PROPERTYPUT.
HRESULT Invoke(IDispatch* object, DISPID id, WORD flags, std::vector<VARIANT*> args,
               VARIANT* result, EXCEPINFO* exception = nullptr, bool byValue = false);
// The id of a member by its name, as a late-bound caller asks.
HRESULT IdOfName(IDispatch* object, std::wstring name, DISPID* id);
// The member's name, then its parameters' names.
std::vector<std::wstring> NamesOf(ITypeInfo* info, MEMBERID id);

// One call a FakeDispatch received as an event. With type information it
// has the event's name and each argument by name, as text.
struct Event {
  DISPID id = 0;
  bool allByReference = true;
  std::wstring name;
  std::vector<std::pair<std::wstring, std::wstring>> args;
};

// A script object whose default value is `value`, or `next`, or itself (a
// VBScript class returning Me), counting the questions; every other call is
// recorded as an event of `source`, handled, failed or scribbled over.
class FakeDispatch final : public IDispatch {
 public:
  static ComPtr<FakeDispatch> Make() { return ComPtr<FakeDispatch>::Adopt(new FakeDispatch()); }

  const wchar_t* value = nullptr;
  IDispatch* next = nullptr;
  int asked = 0;

  IID source = IID_NULL;
  ComPtr<ITypeInfo> names;
  std::vector<Event> events;
  std::function<void(const Event&)> handler;
  HRESULT result = S_OK;
  bool scribble = false;
  DWORD cookie = 0;

  size_t Count(DISPID id) const;
  std::vector<DISPID> Order() const;
  ULONG References() const { return refs_; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    return QueryInterfaceTable({{IID_IUnknown, this}, {IID_IDispatch, this}, {source, this}}, riid,
                               object);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs_ == 0 ? (delete this, 0) : refs_; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override { return *count = 0, S_OK; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO*, UINT*) override;

 private:
  FakeDispatch() = default;
  ~FakeDispatch() = default;
  void Name(Event& e, const DISPPARAMS& params);
  ULONG refs_ = 1;
};

// Every running Wexlo.exe, opened for SYNCHRONIZE and exit codes.
std::vector<UniqueHandle> ServerProcesses();
// Waits for a process to end while serving calls made to this thread.
bool WaitForExit(HANDLE process, DWORD timeoutMs = 10000);

}  // namespace wex
