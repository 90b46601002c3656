// Wexlo.Downloader at its edges, driven from a C++ client: arguments that are
// objects whose default value is themselves, text arguments passed by value,
// saves beside strangers' files, with names near the length limit and onto
// read-only files, the text of a script engine's own error code, and a
// server whose client never asks for an object.
#include <winsock2.h>

#include <windows.h>

#include <objbase.h>
#include <oleauto.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/win32/com_ptr.h"
#include "server/downloader/win32/guarded.h"
#include "tests/wine/support/message_pump.h"
#include "tests/wine/support/wine_paths.h"
#include "wexlo.h"

namespace wex {
namespace {

constexpr DISPID kPort = 0x68030004, kCurSize = 0x68030001, kBusy = 0x68030005,
                 kStartUp = 0x60030006, kRequestFile = 0x60030007, kWriteTextFile = 0x60030008,
                 kWriteBinaryFile = 0x60030009, kFormatCurRSS = 0x6003000A;

// An owned VARIANT.
struct Var {
  VARIANT v;
  Var() { VariantInit(&v); }
  Var(const wchar_t* text) : Var() {
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = SysAllocString(text);
  }
  Var(const std::wstring& text) : Var() {
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  }
  Var(int32_t n) : Var() {
    V_VT(&v) = VT_I4;
    V_I4(&v) = n;
  }
  explicit Var(IDispatch* object) : Var() {
    object->AddRef();
    V_VT(&v) = VT_DISPATCH;
    V_DISPATCH(&v) = object;
  }
  static Var Bool(bool b) {
    Var r;
    V_VT(&r.v) = VT_BOOL;
    V_BOOL(&r.v) = b ? VARIANT_TRUE : VARIANT_FALSE;
    return r;
  }
  Var(Var&& other) noexcept : v(other.v) { VariantInit(&other.v); }
  Var(const Var&) = delete;
  Var& operator=(const Var&) = delete;
  ~Var() { VariantClear(&v); }

  std::wstring Text() const {
    if (V_VT(&v) != VT_BSTR) return L"<not a string>";
    return std::wstring(V_BSTR(&v), SysStringLen(V_BSTR(&v)));
  }
  int32_t Int() const { return V_VT(&v) == VT_I4 ? V_I4(&v) : INT32_MIN; }
};

// How an argument travels: as a script variable (VT_BYREF|VT_VARIANT, what
// VBScript does), or by value (what JScript does).
enum class Passing { kByReference, kByValue };

std::wstring EnvText(const wchar_t* name) {
  wchar_t buffer[512] = {};
  DWORD n = GetEnvironmentVariableW(name, buffer, 512);
  return n > 0 && n < 512 ? std::wstring(buffer, n) : std::wstring();
}

std::string ReadFile(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::wstring& path, const std::string& bytes) {
  std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
  out << bytes;
}

// A script object whose default value is itself: the VBScript class whose
// Default Property Get returns Me. It counts how often it is asked.
class SelfValued final : public IDispatch {
 public:
  static ComPtr<SelfValued> Make() { return ComPtr<SelfValued>::Adopt(new SelfValued()); }
  long asked = 0;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    *object = nullptr;
    if (riid != IID_IUnknown && riid != IID_IDispatch) return E_NOINTERFACE;
    *object = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG refs = --refs_;
    if (refs == 0) delete this;
    return refs;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result,
                                   EXCEPINFO*, UINT*) override {
    if (id != DISPID_VALUE || result == nullptr) return DISP_E_MEMBERNOTFOUND;
    ++asked;
    AddRef();
    V_VT(result) = VT_DISPATCH;
    V_DISPATCH(result) = this;
    return S_OK;
  }

 private:
  SelfValued() = default;
  ~SelfValued() = default;
  ULONG refs_ = 1;
};

std::set<DWORD> ServerProcessIds() {
  std::set<DWORD> found;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return found;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more;
       more = Process32NextW(snapshot, &entry)) {
    if (lstrcmpiW(entry.szExeFile, L"Wexlo.exe") == 0) found.insert(entry.th32ProcessID);
  }
  CloseHandle(snapshot);
  return found;
}

// Waits for a process to end while serving calls made to this thread.
bool WaitForExit(HANDLE process, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    DWORD spent = GetTickCount() - start;
    if (spent >= timeoutMs) return false;
    DWORD r = MsgWaitForMultipleObjectsEx(1, &process, timeoutMs - spent, QS_ALLINPUT,
                                          MWMO_INPUTAVAILABLE);
    if (r == WAIT_OBJECT_0) return true;
    if (r != WAIT_OBJECT_0 + 1) return false;
    PumpQueued();
  }
}

class WexloEdges : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
  static void TearDownTestSuite() { CoUninitialize(); }

  void SetUp() override {
    ASSERT_EQ(CoCreateInstance(CLSID_Downloader, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                               object_.putVoid()),
              S_OK);
    Var error;
    ASSERT_EQ(Call(kStartUp, {&error.v}).Int(), 0);
    Var port(static_cast<int32_t>(_wtoi(EnvText(L"WEX_HTTP_PORT").c_str())));
    ASSERT_EQ(Put(kPort, &port.v), S_OK);
  }

  // A member called through IDispatch::Invoke; the arguments travel as
  // `passing` says. Fails the test on an automation error unless `hr` takes it.
  Var Call(DISPID id, std::vector<VARIANT*> args, HRESULT* hr = nullptr,
           Passing passing = Passing::kByReference, EXCEPINFO* exception = nullptr) {
    std::vector<VARIANT> rgvarg(args.size());
    for (size_t i = 0; i < args.size(); ++i) {
      VARIANT* arg = args[args.size() - 1 - i];
      if (passing == Passing::kByValue) {
        rgvarg[i] = *arg;  // borrowed: the caller keeps ownership
      } else {
        V_VT(&rgvarg[i]) = VT_BYREF | VT_VARIANT;
        V_VARIANTREF(&rgvarg[i]) = arg;
      }
    }
    DISPPARAMS params = {rgvarg.empty() ? nullptr : rgvarg.data(), nullptr,
                         static_cast<UINT>(rgvarg.size()), 0};
    Var result;
    EXCEPINFO ignored = {};
    UINT argError = 0;
    HRESULT got = object_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                                  &result.v, exception ? exception : &ignored, &argError);
    if (passing == Passing::kByValue) {
      // What the call left in a by-value slot is the caller's again.
      for (size_t i = 0; i < args.size(); ++i) *args[args.size() - 1 - i] = rgvarg[i];
    }
    if (!exception) {
      SysFreeString(ignored.bstrSource);
      SysFreeString(ignored.bstrDescription);
      SysFreeString(ignored.bstrHelpFile);
    }
    if (hr != nullptr)
      *hr = got;
    else
      EXPECT_EQ(got, S_OK) << "member " << std::hex << id;
    return result;
  }

  HRESULT Put(DISPID id, VARIANT* value) {
    VARIANT ref;
    V_VT(&ref) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&ref) = value;
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params = {&ref, &named, 1, 1};
    return object_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params,
                           nullptr, nullptr, nullptr);
  }

  bool Download(const wchar_t* path) {
    Var server(L"127.0.0.1"), file(path);
    if (Call(kRequestFile, {&server.v, &file.v}).Int() != 0) return false;
    return PumpMessagesUntil(
        [&] {
          Var busy;
          DISPPARAMS none = {nullptr, nullptr, 0, 0};
          object_->Invoke(kBusy, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none,
                          &busy.v, nullptr, nullptr);
          return V_VT(&busy.v) == VT_BOOL && busy.v.boolVal == VARIANT_FALSE;
        },
        20000);
  }

  int32_t CurSize() {
    Var size;
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    object_->Invoke(kCurSize, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &size.v,
                    nullptr, nullptr);
    return size.Int();
  }

  int32_t Save(DISPID which, const std::wstring& path, bool replace) {
    Var file(path), ifDelete = Var::Bool(replace);
    return Call(which, {&file.v, &ifDelete.v}).Int();
  }

  ComPtr<IDispatch> object_;
};

// In every converted position, twice in a row: each call ends after a few
// questions to the object, with the member's result for an argument that does
// not convert; the same server then downloads as usual.
TEST_F(WexloEdges, AnObjectThatIsItsOwnDefaultValueNeverHangsTheServer) {
  ComPtr<SelfValued> self = SelfValued::Make();
  for (int round = 0; round < 2; ++round) {
    Var a(self.get()), b(self.get()), path(L"/x"), server(L"127.0.0.1"), yes = Var::Bool(true);
    HRESULT hr = S_OK;
    Call(kRequestFile, {&a.v, &path.v}, &hr);
    EXPECT_TRUE(FAILED(hr)) << "Server";
    Call(kRequestFile, {&server.v, &b.v}, &hr);
    EXPECT_TRUE(FAILED(hr)) << "FilePath";
    // Nothing downloaded yet: an unconverted path is empty, and there is nothing to save.
    EXPECT_EQ(Call(kWriteTextFile, {&a.v, &yes.v}).Int(), 2);
    EXPECT_EQ(Call(kWriteBinaryFile, {&a.v, &yes.v}).Int(), 2);
    Var text(ScratchDir() + L"\\wexlo-edges-self.txt");
    EXPECT_EQ(Call(kWriteTextFile, {&text.v, &b.v}).Int(), 2);
    EXPECT_EQ(Call(kFormatCurRSS, {&a.v, &b.v}).Text(), L"");
    EXPECT_EQ(Put(kPort, &a.v), S_OK);  // changes nothing
  }
  EXPECT_GT(self->asked, 0);
  EXPECT_LE(self->asked, 2 * 9 * 8 * 2);

  ASSERT_TRUE(Download(L"/garden.xml"));
  EXPECT_GT(CurSize(), 0);
  Var a(self.get()), b(self.get()), yes = Var::Bool(true);
  // With a body: the empty path cannot be written, no item is rendered.
  EXPECT_EQ(Call(kWriteBinaryFile, {&a.v, &yes.v}).Int(), 3);
  EXPECT_EQ(Call(kFormatCurRSS, {&a.v, &b.v}).Text(), L"<H2>Garden Notes</H2>");
}

// A text argument passed by value as a number keeps the member's number; a
// by-value string and a reference to a number do too, and the number stays.
TEST_F(WexloEdges, TextArgumentsPassedByValueKeepTheResult) {
  {
    Var zero(0);
    EXPECT_EQ(Call(kStartUp, {&zero.v}, nullptr, Passing::kByValue).Int(), 0);
  }
  {
    Var empty(L""), five(5);
    EXPECT_EQ(Call(kRequestFile, {&empty.v, &five.v}, nullptr, Passing::kByValue).Int(), 113);
  }
  {
    Var empty(L""), text(L"/x");
    EXPECT_EQ(Call(kRequestFile, {&empty.v, &text.v}, nullptr, Passing::kByValue).Int(), 113);
  }
  {
    LONG number = 5;
    Var empty(L""), reference;
    V_VT(&reference.v) = VT_BYREF | VT_I4;
    V_I4REF(&reference.v) = &number;
    EXPECT_EQ(Call(kRequestFile, {&empty.v, &reference.v}, nullptr, Passing::kByValue).Int(), 113);
    EXPECT_EQ(number, 5);
    V_VT(&reference.v) = VT_EMPTY;
  }
  // By reference the text arrives, as before.
  Var empty(L""), five(5);
  EXPECT_EQ(Call(kRequestFile, {&empty.v, &five.v}).Int(), 113);
  EXPECT_EQ(five.Text(), L"Server address is missing.");
}

// Saves beside a file of the name the old temporary file had, with names of
// 246 to 255 characters, and onto a read-only file.
TEST_F(WexloEdges, SavesReplaceOnlyTheirTargetWhateverItsName) {
  ASSERT_TRUE(Download(L"/bytes/70000"));
  ASSERT_EQ(CurSize(), 70000);
  // A short folder, so that the whole path stays within MAX_PATH for names up to 255.
  const std::wstring folder = L"C:\\wxe";
  CreateDirectoryW(folder.c_str(), nullptr);

  const std::wstring target = folder + L"\\news.bin";
  const std::wstring stranger = target + L".wexlo-tmp";
  WriteFile(target, "old");
  WriteFile(stranger, "a stranger's file");
  EXPECT_EQ(Save(kWriteBinaryFile, target, true), 0);
  EXPECT_EQ(ReadFile(target).size(), 70000u);
  EXPECT_EQ(ReadFile(stranger), "a stranger's file");
  DeleteFileW(stranger.c_str());
  DeleteFileW(target.c_str());

  for (size_t length : {246u, 250u, 255u}) {
    const std::wstring name = folder + L"\\" + std::wstring(length - 4, L'n') + L".txt";
    EXPECT_EQ(Save(kWriteBinaryFile, name, true), 0) << length;  // a new file
    EXPECT_EQ(Save(kWriteTextFile, name, false), 1) << length;
    EXPECT_EQ(Save(kWriteTextFile, name, true), 0) << length;  // replaced
    EXPECT_GE(ReadFile(name).size(), 70000u) << length;
    EXPECT_TRUE(DeleteFileW(name.c_str())) << length;
  }

  const std::wstring readOnly = folder + L"\\kept.txt";
  WriteFile(readOnly, "old");
  ASSERT_TRUE(SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(Save(kWriteBinaryFile, readOnly, true), 3);
  EXPECT_EQ(Save(kWriteTextFile, readOnly, true), 3);
  EXPECT_EQ(ReadFile(readOnly), "old");
  EXPECT_NE(GetFileAttributesW(readOnly.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
  SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileW(readOnly.c_str());

  // Nothing else was left in the folder.
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  std::vector<std::wstring> left;
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = found.cFileName;
      if (name != L"." && name != L"..") left.push_back(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  EXPECT_TRUE(left.empty()) << left.size() << " files left beside the targets";
  EXPECT_TRUE(RemoveDirectoryW(folder.c_str()));
}

// A script engine's own code carries no description of the server's, so the
// engine shows its own text ("Object variable or With block variable not
// set" for 0x800A005B).
TEST(WexloErrors, AScriptEngineCodeComesWithoutADescription) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  {
    // Two objects of one server process: the first one's end takes the
    // shared engine, and the second one's calls then fail with 0x800A005B.
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
    EXPECT_EQ(second->StartUp(&error.v, &result.v), static_cast<HRESULT>(0x800A005B));
    // Through the dual interface the code arrives bare; Wine does not carry
    // the error info across processes there, Windows does.
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.put()) == S_OK) {
      BSTR description = nullptr;
      EXPECT_EQ(info->GetDescription(&description), S_OK);
      EXPECT_EQ(SysStringLen(description), 0u);
      SysFreeString(description);
    }

    // Late bound, as a script calls: the exception carries the code alone.
    ComPtr<IDispatch> dispatch;
    ASSERT_EQ(second->QueryInterface(IID_IDispatch, dispatch.putVoid()), S_OK);
    VARIANT ref;
    V_VT(&ref) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&ref) = &error.v;
    DISPPARAMS params = {&ref, nullptr, 1, 0};
    EXCEPINFO exception = {};
    Var late;
    EXPECT_EQ(dispatch->Invoke(kStartUp, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                               &late.v, &exception, nullptr),
              DISP_E_EXCEPTION);
    EXPECT_EQ(exception.scode, static_cast<SCODE>(0x800A005B));
    EXPECT_EQ(SysStringLen(exception.bstrDescription), 0u);
    EXPECT_EQ(std::wstring(exception.bstrSource ? exception.bstrSource : L""), L"Wexlo.Downloader");
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
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

// A client that takes the class factory and lets it go, never asking for an
// object (as one killed between the launch and CreateInstance): its server
// ends once the grace period after its start is over. The period is
// shortened here through the server's environment, which COM under Wine
// hands down from this client; the deadline allows for the full 30 s too.
TEST(WexloLifetime, AServerWithoutObjectsEndsAfterItsGracePeriod) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  SetEnvironmentVariableW(L"WEXLO_START_GRACE_MS", L"2000");
  // Servers already running are held open, so that none of their ids can be
  // handed to the new one should they end meanwhile.
  const std::set<DWORD> before = ServerProcessIds();
  std::vector<HANDLE> held;
  for (DWORD id : before) {
    if (HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, id)) held.push_back(process);
  }
  {
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(CoGetClassObject(CLSID_Downloader, CLSCTX_LOCAL_SERVER, nullptr, IID_IClassFactory,
                               factory.putVoid()),
              S_OK);
  }
  SetEnvironmentVariableW(L"WEXLO_START_GRACE_MS", nullptr);
  std::vector<HANDLE> started;
  for (DWORD id : ServerProcessIds()) {
    if (before.count(id) != 0) continue;
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    if (process != nullptr) started.push_back(process);
  }
  EXPECT_EQ(started.size(), 1u);
  for (HANDLE process : started) {
    EXPECT_TRUE(WaitForExit(process, 30000 + 15000)) << "Wexlo.exe still running";
    // COM releases the class object it handed out only at the end: a
    // server whose class object is gone by then crashes there.
    DWORD code = 1;
    EXPECT_TRUE(GetExitCodeProcess(process, &code) && code == 0)
        << "exit code " << std::hex << code;
    CloseHandle(process);
  }
  for (HANDLE process : held) CloseHandle(process);
  CoUninitialize();
}

}  // namespace
}  // namespace wex
