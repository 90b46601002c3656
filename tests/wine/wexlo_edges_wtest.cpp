// Wexlo.Downloader at its edges, from a C++ client.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <stdexcept>

#include "server/downloader/win32/guarded.h"
#include "tests/wine/support/automation.h"
#include "tests/wine/support/message_pump.h"
#include "tests/wine/support/wine_paths.h"
#include "wexlo.h"

namespace wex {
namespace {

constexpr DISPID kPort = 0x68030004, kCurSize = 0x68030001, kBusy = 0x68030005,
                 kStartUp = 0x60030006, kRequestFile = 0x60030007, kWriteTextFile = 0x60030008,
                 kWriteBinaryFile = 0x60030009, kFormatCurRSS = 0x6003000A;

void WriteFile(const std::wstring& path, const std::string& bytes) {
  std::ofstream(path.c_str(), std::ios::binary | std::ios::trunc) << bytes;
}

class WexloEdges : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
  static void TearDownTestSuite() { CoUninitialize(); }

  void SetUp() override {
    ASSERT_EQ(CoCreateInstance(CLSID_Downloader, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                               object_.putVoid()),
              S_OK);
    Var error, port(static_cast<int32_t>(PortOf(L"WEX_HTTP_PORT")));
    ASSERT_EQ(Call(kStartUp, {&error}).Int(), 0);
    ASSERT_EQ(Invoke(object_.get(), kPort, DISPATCH_PROPERTYPUT, {&port}, nullptr), S_OK);
  }

  // A method call; fails the test on an automation error unless hr takes it.
  Var Call(DISPID id, std::vector<VARIANT*> args, HRESULT* hr = nullptr, bool byValue = false) {
    Var result;
    HRESULT got = Invoke(object_.get(), id, DISPATCH_METHOD, args, &result, nullptr, byValue);
    if (hr != nullptr)
      *hr = got;
    else
      EXPECT_EQ(got, S_OK) << "member " << std::hex << id;
    return result;
  }
  Var Get(DISPID id) { return wex::Get(object_.get(), id); }

  bool Download(const wchar_t* path) {
    Var server(L"127.0.0.1"), file(path);
    return Call(kRequestFile, {&server, &file}).Int() == 0 &&
           PumpMessagesUntil([&] { return !Get(kBusy).IsTrue(); }, 20000);
  }

  int32_t Save(DISPID which, const std::wstring& path, bool replace) {
    Var file(path), ifDelete = Var::Bool(replace);
    return Call(which, {&file, &ifDelete}).Int();
  }

  ComPtr<IDispatch> object_;
};

// In every converted position, twice; the server then downloads as usual.
TEST_F(WexloEdges, AnObjectThatIsItsOwnDefaultValueNeverHangsTheServer) {
  ComPtr<FakeDispatch> self = FakeDispatch::Make();
  for (int round = 0; round < 2; ++round) {
    Var a(self.get()), b(self.get()), path(L"/x"), server(L"127.0.0.1"), yes = Var::Bool(true);
    HRESULT hr = S_OK;
    Call(kRequestFile, {&a, &path}, &hr);
    EXPECT_TRUE(FAILED(hr)) << "Server";
    Call(kRequestFile, {&server, &b}, &hr);
    EXPECT_TRUE(FAILED(hr)) << "FilePath";
    // Nothing downloaded yet: an unconverted path is empty, and nothing is saved.
    EXPECT_EQ(Call(kWriteTextFile, {&a, &yes}).Int(), 2);
    EXPECT_EQ(Call(kWriteBinaryFile, {&a, &yes}).Int(), 2);
    Var text(ScratchDir() + L"\\wexlo-edges-self.txt");
    EXPECT_EQ(Call(kWriteTextFile, {&text, &b}).Int(), 2);
    EXPECT_EQ(Call(kFormatCurRSS, {&a, &b}).Text(), L"");
    EXPECT_EQ(Invoke(object_.get(), kPort, DISPATCH_PROPERTYPUT, {&a}, nullptr), S_OK);
  }
  EXPECT_GT(self->asked, 0);
  EXPECT_LE(self->asked, 2 * 9 * 8 * 2);

  ASSERT_TRUE(Download(L"/garden.xml"));
  EXPECT_GT(Get(kCurSize).Int(), 0);
  Var a(self.get()), b(self.get()), yes = Var::Bool(true);
  // With a body: the empty path cannot be written, no item is rendered.
  EXPECT_EQ(Call(kWriteBinaryFile, {&a, &yes}).Int(), 3);
  EXPECT_EQ(Call(kFormatCurRSS, {&a, &b}).Text(), L"<H2>Garden Notes</H2>");
}

// By value the member's number stays and so does the argument; by reference the text arrives.
TEST_F(WexloEdges, TextArgumentsPassedByValueKeepTheResult) {
  Var zero(0);
  EXPECT_EQ(Call(kStartUp, {&zero}, nullptr, true).Int(), 0);
  LONG number = 5;
  Var reference = Var::OfType(VT_BYREF | VT_I4);
  V_I4REF(&reference) = &number;
  Var five(5), text(L"/x");
  for (VARIANT* path : {&five, &text, &reference}) {
    Var empty(L"");
    EXPECT_EQ(Call(kRequestFile, {&empty, path}, nullptr, true).Int(), 113);
  }
  EXPECT_EQ(number, 5);
  EXPECT_EQ(five.Int(), 5);
  Var empty(L"");
  EXPECT_EQ(Call(kRequestFile, {&empty, &five}).Int(), 113);
  EXPECT_EQ(five.Text(), L"Server address is missing.");
}

// Saves beside a file named as the old temporary file was, with names of 246
// to 255 characters, and onto a read-only file; nothing else is left behind.
TEST_F(WexloEdges, SavesReplaceOnlyTheirTargetWhateverItsName) {
  ASSERT_TRUE(Download(L"/bytes/70000"));
  ASSERT_EQ(Get(kCurSize).Int(), 70000);
  const std::wstring folder = L"C:\\wxe";  // short: names up to 255 stay within MAX_PATH
  CreateDirectoryW(folder.c_str(), nullptr);

  const std::wstring target = folder + L"\\news.bin", stranger = target + L".wexlo-tmp";
  WriteFile(target, "old");
  WriteFile(stranger, "a stranger's file");
  EXPECT_EQ(Save(kWriteBinaryFile, target, true), 0);
  EXPECT_EQ(ReadWholeFile(target).size(), 70000u);
  EXPECT_EQ(ReadWholeFile(stranger), "a stranger's file");
  DeleteFileW(stranger.c_str());
  DeleteFileW(target.c_str());

  for (size_t length : {246u, 250u, 255u}) {
    const std::wstring name = folder + L"\\" + std::wstring(length - 4, L'n') + L".txt";
    EXPECT_EQ(Save(kWriteBinaryFile, name, true), 0) << length;  // a new file
    EXPECT_EQ(Save(kWriteTextFile, name, false), 1) << length;
    EXPECT_EQ(Save(kWriteTextFile, name, true), 0) << length;  // replaced
    EXPECT_GE(ReadWholeFile(name).size(), 70000u) << length;
    EXPECT_TRUE(DeleteFileW(name.c_str())) << length;
  }

  const std::wstring readOnly = folder + L"\\kept.txt";
  WriteFile(readOnly, "old");
  ASSERT_TRUE(SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(Save(kWriteBinaryFile, readOnly, true), 3);
  EXPECT_EQ(Save(kWriteTextFile, readOnly, true), 3);
  EXPECT_EQ(ReadWholeFile(readOnly), "old");
  EXPECT_NE(GetFileAttributesW(readOnly.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
  SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileW(readOnly.c_str());
  EXPECT_TRUE(RemoveDirectoryW(folder.c_str())) << "files left beside the targets";
}

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
