// Wexlo.Downloader at its edges: error info, exceptions and the server's lifetime.
#include <gtest/gtest.h>

#include <set>
#include <stdexcept>

#include "server/downloader/win32/guarded.h"
#include "tests/wine/support/automation.h"
#include "wexlo.h"

namespace wex {
namespace {

constexpr DISPID kStartUp = 0x60030006;

// A script engine's own code (0x800A005B) carries no description, so the
// engine shows its own text.
TEST(WexloErrors, AScriptEngineCodeComesWithoutADescription) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  {
    // Two objects of one server: the first one's end takes the shared
    // engine, and the second one's calls then fail with 0x800A005B.
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(CoGetClassObject(CLSID_Downloader, CLSCTX_LOCAL_SERVER, nullptr, IID_IClassFactory,
                               factory.putVoid()),
              S_OK);
    ComPtr<_Downloader> first, second;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID__Downloader, first.putVoid()), S_OK);
    ASSERT_EQ(factory->CreateInstance(nullptr, IID__Downloader, second.putVoid()), S_OK);
    factory.reset();
    first.reset();

    Var error, result;
    EXPECT_EQ(second->StartUp(&error, &result), static_cast<HRESULT>(0x800A005B));
    // Wine does not carry the dual call's error info across processes; Windows does.
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.put()) == S_OK) {
      UniqueBstr description;
      EXPECT_EQ(info->GetDescription(description.put()), S_OK);
      EXPECT_EQ(SysStringLen(description.get()), 0u);
    }
    // Late bound, as a script calls: the exception carries the code alone.
    ComPtr<IDispatch> dispatch;
    ASSERT_EQ(second->QueryInterface(IID_IDispatch, dispatch.putVoid()), S_OK);
    UniqueExcepInfo exception;
    EXPECT_EQ(Invoke(dispatch.get(), kStartUp, DISPATCH_METHOD, {&error}, &result, exception.get()),
              DISP_E_EXCEPTION);
    EXPECT_EQ(exception.get()->scode, static_cast<SCODE>(0x800A005B));
    EXPECT_EQ(SysStringLen(exception.get()->bstrDescription), 0u);
    EXPECT_EQ(BstrText(exception.get()->bstrSource), u"Wexlo.Downloader");
  }
  CoUninitialize();
}

// A text too long for a string is a lack of memory, not an unexpected failure.
TEST(WexloErrors, ATextTooLongForAStringIsOutOfMemory) {
  EXPECT_EQ(Guarded([]() -> HRESULT { throw std::length_error("basic_string::resize"); }),
            E_OUTOFMEMORY);
  EXPECT_EQ(Guarded([]() -> HRESULT { throw std::bad_alloc(); }), E_OUTOFMEMORY);
  EXPECT_EQ(Guarded([]() -> HRESULT { throw 1; }), E_UNEXPECTED);
}

// A server whose client never asks for an object ends after its grace
// period (shortened through the environment COM under Wine hands down).
TEST(WexloLifetime, AServerWithoutObjectsEndsAfterItsGracePeriod) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  SetEnvironmentVariableW(L"WEXLO_START_GRACE_MS", L"2000");
  // Servers already running are held open, so none of their ids is reused meanwhile.
  const std::vector<UniqueHandle> before = ServerProcesses();
  std::set<DWORD> old;
  for (const UniqueHandle& process : before) old.insert(GetProcessId(process.get()));
  {
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(CoGetClassObject(CLSID_Downloader, CLSCTX_LOCAL_SERVER, nullptr, IID_IClassFactory,
                               factory.putVoid()),
              S_OK);
  }
  SetEnvironmentVariableW(L"WEXLO_START_GRACE_MS", nullptr);
  std::vector<UniqueHandle> started;
  for (UniqueHandle& process : ServerProcesses())
    if (old.count(GetProcessId(process.get())) == 0) started.push_back(std::move(process));
  EXPECT_EQ(started.size(), 1u);
  for (const UniqueHandle& process : started) {
    EXPECT_TRUE(WaitForExit(process.get(), 30000 + 15000)) << "Wexlo.exe still running";
    // COM releases the class object only at the end: a server without it crashes there.
    DWORD code = 1;
    EXPECT_TRUE(GetExitCodeProcess(process.get(), &code) && code == 0)
        << "exit code " << std::hex << code;
  }
  CoUninitialize();
}

}  // namespace
}  // namespace wex
