// Wexlo.Downloader driven the way a compiled automation client drives it: the
// object is created by ProgID in its own server process, members are called
// by DISPID, by name and through the dual interface with arguments passed by
// reference, and events arrive through the connection point (also bound by
// the class information, as a script host binds them) while the test pumps
// its messages. Downloads come from the runner's local HTTP fixture.
#include <winsock2.h>

#include <windows.h>

#include <objbase.h>
#include <oleauto.h>
#include <olectl.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "common/ustring.h"
#include "common/win32/com_ptr.h"
#include "server/resources/message_table.h"
#include "tests/wine/support/message_pump.h"
#include "tests/wine/support/wine_paths.h"
#include "wexlo.h"

namespace wex {
namespace {

constexpr DISPID kBusy = 0x68030005, kPort = 0x68030004, kCurSize = 0x68030001,
                 kCurFileAsString = 0x68030000, kRequestFile = 0x60030007,
                 kWriteTextFile = 0x60030008, kWriteBinaryFile = 0x60030009,
                 kFormatCurRSS = 0x6003000A, kShutDown = 0x6003000B;
constexpr DISPID kOnConnect = 1, kOnDownloadFinish = 2, kOnDisconnect = 3;

// An owned VARIANT, the variable a script would pass by reference.
struct Var {
  VARIANT v;
  Var() { VariantInit(&v); }
  Var(const wchar_t* text) : Var() {
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = SysAllocString(text);
  }
  Var(const std::wstring& text) : Var(text.c_str()) {}
  Var(int32_t n) : Var() {
    V_VT(&v) = VT_I4;
    V_I4(&v) = n;
  }
  static Var Bool(bool b) {
    Var r;
    V_VT(&r.v) = VT_BOOL;
    V_BOOL(&r.v) = b ? VARIANT_TRUE : VARIANT_FALSE;
    return r;
  }
  static Var Null() {
    Var r;
    V_VT(&r.v) = VT_NULL;
    return r;
  }
  Var(Var&& other) noexcept : v(other.v) { VariantInit(&other.v); }
  Var(const Var&) = delete;
  Var& operator=(const Var&) = delete;
  ~Var() { VariantClear(&v); }
  VARIANT* operator&() { return &v; }

  std::wstring Text() const {
    if (V_VT(&v) != VT_BSTR) return L"<not a string>";
    return std::wstring(V_BSTR(&v), SysStringLen(V_BSTR(&v)));
  }
  int32_t Int() const { return V_VT(&v) == VT_I4 ? V_I4(&v) : INT32_MIN; }
  bool IsTrue() const { return V_VT(&v) == VT_BOOL && V_BOOL(&v) == VARIANT_TRUE; }
};

std::wstring Wide(const ustring& s) { return std::wstring(s.begin(), s.end()); }

std::wstring EnvText(const wchar_t* name) {
  wchar_t buffer[512] = {};
  DWORD n = GetEnvironmentVariableW(name, buffer, 512);
  return n > 0 && n < 512 ? std::wstring(buffer, n) : std::wstring();
}

int32_t HttpPort() { return static_cast<int32_t>(_wtoi(EnvText(L"WEX_HTTP_PORT").c_str())); }
int32_t PortOf(const wchar_t* variable) {
  return static_cast<int32_t>(_wtoi(EnvText(variable).c_str()));
}

std::string ReadFile(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string SiteFile(const char* name) {
  return ReadFile(L"" WEX_SOURCE_DIR L"/tests/wine/site/" +
                  std::wstring(name, name + strlen(name)));
}

std::wstring WidenAscii(const std::string& s) { return std::wstring(s.begin(), s.end()); }

std::string WithCrLf(const std::string& lf) {
  std::string out;
  for (char c : lf) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

// Asks the server until done(), as a polling script does; false after the
// deadline.
bool PollUntil(const std::function<bool()>& done, DWORD timeoutMs = 20000) {
  DWORD start = GetTickCount();
  for (;;) {
    PumpQueued();
    if (done()) return true;
    if (GetTickCount() - start >= timeoutMs) return false;
  }
}

// Waits for a process to end while still serving calls made to this thread
// (a server releasing its event sinks calls back here).
bool WaitForExit(HANDLE process, DWORD timeoutMs = 10000) {
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

// One event as a sink saw it. A sink that has type information also tells
// the event's name and each argument by name, as text.
struct Event {
  DISPID id = 0;
  bool allByReference = true;
  int32_t code = 0;
  std::wstring text;
  std::wstring name;
  std::vector<std::pair<std::wstring, std::wstring>> args;
};

std::wstring TextOf(VARIANT* value) {
  Var direct, text;
  if (FAILED(VariantCopyInd(&direct, value)) ||
      FAILED(VariantChangeType(&text, &direct, 0, VT_BSTR)))
    return L"<no text>";
  return text.Text();
}

// An event sink for __Downloader. Each one records what it receives; a test
// may give it a handler, make it fail, or make it scribble over its
// by-reference arguments (which must not reach the other sinks). Bound as a
// script host binds one, it answers to the source interface the object
// named and learns the names from the type information it was given.
class Sink final : public IDispatch {
 public:
  std::vector<Event> events;
  std::function<void(const Event&)> handler;
  HRESULT result = S_OK;
  bool scribble = false;
  DWORD cookie = 0;
  IID source = DIID___Downloader;
  ComPtr<ITypeInfo> names;

  static ComPtr<Sink> Make() { return ComPtr<Sink>::Adopt(new Sink()); }

  size_t Count(DISPID id) const {
    size_t n = 0;
    for (const Event& e : events) n += e.id == id;
    return n;
  }
  std::vector<DISPID> Order() const {
    std::vector<DISPID> ids;
    for (const Event& e : events) ids.push_back(e.id);
    return ids;
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    *object = nullptr;
    if (riid != IID_IUnknown && riid != IID_IDispatch && riid != source) return E_NOINTERFACE;
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
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                   EXCEPINFO*, UINT*) override {
    Event e;
    e.id = id;
    if (names) Name(e, *params);
    for (UINT i = 0; i < params->cArgs; ++i) {
      VARIANT* arg = &params->rgvarg[i];
      if (V_VT(arg) != (VT_BYREF | VT_VARIANT)) {
        e.allByReference = false;
        continue;
      }
      VARIANT* value = V_VARIANTREF(arg);
      if (V_VT(value) == VT_BSTR)
        e.text.assign(V_BSTR(value), SysStringLen(V_BSTR(value)));
      else if (V_VT(value) == VT_I4)
        e.code = V_I4(value);
      if (scribble) {
        VariantClear(value);
        V_VT(value) = VT_BSTR;
        V_BSTR(value) = SysAllocString(L"scribbled");
      }
    }
    events.push_back(e);
    if (handler) handler(e);
    return result;
  }

 private:
  Sink() = default;
  ~Sink() = default;

  // GetNames gives the event's name, then its parameters in declaration
  // order; rgvarg holds the arguments last first.
  void Name(Event& e, const DISPPARAMS& params) {
    BSTR found[8] = {};
    UINT count = 0;
    if (FAILED(names->GetNames(e.id, found, 8, &count)) || count == 0) return;
    e.name.assign(found[0], SysStringLen(found[0]));
    for (UINT n = 1; n < count; ++n) {
      const std::wstring name(found[n], SysStringLen(found[n]));
      e.args.emplace_back(
          name, n <= params.cArgs ? TextOf(&params.rgvarg[params.cArgs - n]) : L"<not passed>");
    }
    if (params.cArgs + 1 > count) e.args.emplace_back(L"<unnamed>", std::to_wstring(params.cArgs));
    for (UINT n = 0; n < count; ++n) SysFreeString(found[n]);
  }

  ULONG refs_ = 1;
};

// Every running Wexlo.exe, to see that each server ends with its last object.
std::vector<HANDLE> ServerProcesses() {
  std::vector<HANDLE> found;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return found;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more;
       more = Process32NextW(snapshot, &entry)) {
    if (lstrcmpiW(entry.szExeFile, L"Wexlo.exe") != 0) continue;
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID);
    if (process != nullptr) found.push_back(process);
  }
  CloseHandle(snapshot);
  return found;
}

class WexloClient : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    WSADATA data;
    WSAStartup(MAKEWORD(1, 1), &data);
  }
  static void TearDownTestSuite() {
    WSACleanup();
    CoUninitialize();
  }

  void SetUp() override {
    CLSID clsid;
    ASSERT_EQ(CLSIDFromProgID(L"Wexlo.Downloader", &clsid), S_OK);
    ASSERT_TRUE(IsEqualCLSID(clsid, CLSID_Downloader));
    ASSERT_EQ(
        CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch, object_.putVoid()),
        S_OK);
    ASSERT_EQ(object_->QueryInterface(IID__Downloader, dual_.putVoid()), S_OK);
    servers_ = ServerProcesses();
    ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(object_->QueryInterface(IID_IConnectionPointContainer, container.putVoid()), S_OK);
    ASSERT_EQ(container->FindConnectionPoint(DIID___Downloader, point_.put()), S_OK);
    recorder_ = Advise();
    Var error, result;
    ASSERT_EQ(dual_->StartUp(&error, &result), S_OK);
    ASSERT_EQ(result.Int(), 0);
    Var port(HttpPort());
    ASSERT_EQ(dual_->put_Port(&port), S_OK);
  }

  void TearDown() override {
    for (ComPtr<Sink>& sink : sinks_) {
      if (point_ && sink->cookie != 0) point_->Unadvise(sink->cookie);
      CoDisconnectObject(static_cast<IDispatch*>(sink.get()), 0);
    }
    ReleaseObject();
    sinks_.clear();
    // The server ends once its last object is gone.
    for (HANDLE process : servers_) {
      EXPECT_TRUE(WaitForExit(process)) << "Wexlo.exe still running";
      CloseHandle(process);
    }
  }

  ComPtr<Sink> Advise() {
    ComPtr<Sink> sink = Sink::Make();
    EXPECT_EQ(point_->Advise(static_cast<IDispatch*>(sink.get()), &sink->cookie), S_OK);
    sinks_.push_back(sink);
    return sink;
  }

  // Binds a sink as the Windows script host does for WScript.CreateObject
  // with a prefix: the source interface from the object's class information,
  // its connection point found by that IID, and the type information of the
  // coclass's default source interface to name each event.
  ComPtr<Sink> AdviseAsScriptHost() {
    ComPtr<IProvideClassInfo2> classInfo;
    ComPtr<ITypeInfo> coclass;
    ComPtr<Sink> sink = Sink::Make();
    if (object_->QueryInterface(IID_IProvideClassInfo2, classInfo.putVoid()) != S_OK ||
        classInfo->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &sink->source) != S_OK ||
        classInfo->GetClassInfo(coclass.put()) != S_OK)
      return nullptr;
    sink->names = DefaultSource(coclass.get());
    TYPEATTR* attr = nullptr;
    if (!sink->names || sink->names->GetTypeAttr(&attr) != S_OK) return nullptr;
    const bool same = IsEqualGUID(attr->guid, sink->source);
    sink->names->ReleaseTypeAttr(attr);
    EXPECT_TRUE(same) << "GetGUID and the class information name different source interfaces";
    ComPtr<IConnectionPointContainer> container;
    ComPtr<IConnectionPoint> point;
    if (!same ||
        object_->QueryInterface(IID_IConnectionPointContainer, container.putVoid()) != S_OK ||
        container->FindConnectionPoint(sink->source, point.put()) != S_OK ||
        point->Advise(static_cast<IDispatch*>(sink.get()), &sink->cookie) != S_OK)
      return nullptr;
    sinks_.push_back(sink);  // the object has one connection point: point_ unadvises it
    return sink;
  }

  static ComPtr<ITypeInfo> DefaultSource(ITypeInfo* coclass) {
    TYPEATTR* attr = nullptr;
    if (coclass->GetTypeAttr(&attr) != S_OK) return nullptr;
    const UINT count = attr->cImplTypes;
    coclass->ReleaseTypeAttr(attr);
    for (UINT i = 0; i < count; ++i) {
      INT flags = 0;
      HREFTYPE ref = 0;
      ComPtr<ITypeInfo> info;
      if (coclass->GetImplTypeFlags(i, &flags) == S_OK &&
          (flags & (IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE)) ==
              (IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE) &&
          coclass->GetRefTypeOfImplType(i, &ref) == S_OK &&
          coclass->GetRefTypeInfo(ref, info.put()) == S_OK)
        return info;
    }
    return nullptr;
  }

  void ReleaseObject() {
    point_.reset();
    dual_.reset();
    object_.reset();
  }

  // A call through IDispatch::Invoke; every argument goes by reference.
  HRESULT Call(DISPID id, WORD flags, std::vector<VARIANT*> args, VARIANT* result,
               EXCEPINFO* exception = nullptr) {
    if (!object_) return E_POINTER;
    std::vector<VARIANT> refs(args.size());
    for (size_t i = 0; i < args.size(); ++i) {
      VariantInit(&refs[i]);
      V_VT(&refs[i]) = VT_BYREF | VT_VARIANT;
      V_VARIANTREF(&refs[i]) = args[args.size() - 1 - i];
    }
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params = {refs.empty() ? nullptr : refs.data(), nullptr,
                         static_cast<UINT>(refs.size()), 0};
    if (flags == DISPATCH_PROPERTYPUT) {
      params.rgdispidNamedArgs = &named;
      params.cNamedArgs = 1;
    }
    EXCEPINFO ignored = {};
    UINT argError = 0;
    HRESULT hr = object_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result,
                                 exception ? exception : &ignored, &argError);
    if (!exception) {
      SysFreeString(ignored.bstrSource);
      SysFreeString(ignored.bstrDescription);
      SysFreeString(ignored.bstrHelpFile);
    }
    return hr;
  }

  // The same by name, as a late-bound script does.
  HRESULT CallByName(const wchar_t* name, WORD flags, std::vector<VARIANT*> args, VARIANT* result) {
    if (!object_) return E_POINTER;
    std::wstring copy(name);
    LPOLESTR names[] = {&copy[0]};
    DISPID id = 0;
    HRESULT hr = object_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return hr;
    return Call(id, flags, std::move(args), result);
  }

  bool Busy() {
    Var result;
    EXPECT_EQ(Call(kBusy, DISPATCH_PROPERTYGET, {}, &result), S_OK);
    return result.IsTrue();
  }
  int32_t CurSize() {
    Var result;
    EXPECT_EQ(Call(kCurSize, DISPATCH_PROPERTYGET, {}, &result), S_OK);
    return result.Int();
  }
  std::wstring CurFileAsString() {
    Var result;
    EXPECT_EQ(CallByName(L"CurFileAsString", DISPATCH_PROPERTYGET, {}, &result), S_OK);
    return result.Text();
  }
  int32_t RequestFile(Var& server, Var& path) {
    Var result;
    EXPECT_EQ(Call(kRequestFile, DISPATCH_METHOD, {&server, &path}, &result), S_OK);
    return result.Int();
  }
  int32_t Request(const wchar_t* path) {
    Var server(L"127.0.0.1"), file(path);
    return RequestFile(server, file);
  }
  int32_t Save(DISPID which, const std::wstring& path, bool replace) {
    Var file(path), ifDelete = Var::Bool(replace), result;
    EXPECT_EQ(Call(which, DISPATCH_METHOD, {&file, &ifDelete}, &result), S_OK);
    return result.Int();
  }
  // Waits until every advised sink has seen n finish events, and then until
  // the server has left that raise (Busy reads False after it).
  bool WaitForFinishes(size_t n) {
    return PumpMessagesUntil(
        [&] {
          for (const ComPtr<Sink>& sink : sinks_)
            if (sink->cookie != 0 && sink->Count(kOnDownloadFinish) < n) return false;
          return true;
        },
        20000);
  }
  bool WaitUntilIdle() {
    return PollUntil([&] { return !Busy(); });
  }
  const Event& LastFinish() {
    for (auto it = recorder_->events.rbegin(); it != recorder_->events.rend(); ++it)
      if (it->id == kOnDownloadFinish) return *it;
    static Event none;
    return none;
  }

  ComPtr<IDispatch> object_;
  ComPtr<_Downloader> dual_;
  ComPtr<IConnectionPoint> point_;
  ComPtr<Sink> recorder_;
  std::vector<ComPtr<Sink>> sinks_;
  std::vector<HANDLE> servers_;
};

TEST_F(WexloClient, FullDownloadRaisesConnectDisconnectFinishInOrder) {
  // Two more sinks ahead of the recorder in no particular place: one fails
  // every event and scribbles on its arguments, one leaves after its first.
  ComPtr<Sink> failing = Advise();
  failing->result = E_FAIL;
  failing->scribble = true;
  ComPtr<Sink> leaving = Advise();
  leaving->handler = [&](const Event&) {
    EXPECT_EQ(point_->Unadvise(leaving->cookie), S_OK);
    leaving->cookie = 0;
  };

  bool busyInside = false;
  std::wstring fileInside = L"<unread>";
  int32_t sizeInside = -1;
  recorder_->handler = [&](const Event& e) {
    if (e.id != kOnDownloadFinish) return;
    busyInside = Busy();
    fileInside = CurFileAsString();
    sizeInside = CurSize();
  };

  Var server(L"http://127.0.0.1"), path(L"lines.txt");
  Var result;
  ASSERT_EQ(CallByName(L"RequestFile", DISPATCH_METHOD, {&server, &path}, &result), S_OK);
  EXPECT_EQ(result.Int(), 0);
  EXPECT_EQ(path.Text(), L"lines.txt") << "FilePath keeps what was passed";
  // OnConnect came inside the call. The server may already have raised the
  // later events, which this thread can take before it sees the reply, and
  // the finish may also be delivered here inside either of the two reads
  // below. What holds whatever the order: Busy reads False only once the
  // finish has been delivered, and the text is either empty or, after the
  // finish, the whole body.
  ASSERT_FALSE(recorder_->events.empty());
  EXPECT_EQ(recorder_->events[0].id, kOnConnect) << "OnConnect inside RequestFile";
  EXPECT_EQ(recorder_->events[0].text, L"127.0.0.1");
  if (!Busy()) {
    EXPECT_EQ(recorder_->Count(kOnDownloadFinish), 1u) << "Busy False before the finish";
  }
  const std::wstring early = CurFileAsString();
  if (!early.empty()) {
    EXPECT_EQ(recorder_->Count(kOnDownloadFinish), 1u) << "text handed out before the finish";
    EXPECT_EQ(early, WidenAscii(WithCrLf(SiteFile("lines.txt"))));
  }

  ASSERT_TRUE(WaitForFinishes(1));
  EXPECT_EQ(recorder_->Order(),
            (std::vector<DISPID>{kOnConnect, kOnDisconnect, kOnDownloadFinish}));
  for (const Event& e : recorder_->events) EXPECT_TRUE(e.allByReference);
  EXPECT_EQ(LastFinish().code, 200);
  EXPECT_EQ(LastFinish().text, L"OK");
  EXPECT_TRUE(busyInside);
  EXPECT_EQ(fileInside, L"");
  std::string body = SiteFile("lines.txt");
  EXPECT_EQ(sizeInside, static_cast<int32_t>(body.size()));

  EXPECT_TRUE(WaitUntilIdle()) << "Busy turns False once the handlers have returned";
  EXPECT_EQ(CurSize(), static_cast<int32_t>(body.size()));
  EXPECT_EQ(CurFileAsString(), WidenAscii(WithCrLf(body)));
  EXPECT_EQ(failing->Order(), recorder_->Order());
  EXPECT_EQ(leaving->Order(), std::vector<DISPID>{kOnConnect});
}

// A script's dl_OnConnect, dl_OnDisconnect and dl_OnDownloadFinish are found
// by the names the type information gives the DISPIDs the server invokes.
TEST_F(WexloClient, EventsBoundAsTheScriptHostBindsThemArriveByTheirTypeInfoNames) {
  using Args = std::vector<std::pair<std::wstring, std::wstring>>;
  struct Case {
    const wchar_t* path;
    const wchar_t* code;
    const wchar_t* status;
  } cases[] = {{L"/lines.txt", L"200", L"OK"}, {L"/status/404", L"404", L"Not Found"}};
  ComPtr<Sink> host = AdviseAsScriptHost();
  ASSERT_TRUE(host);
  for (size_t n = 0; n < std::size(cases); ++n) {
    const Case& c = cases[n];
    SCOPED_TRACE(c.path);
    ASSERT_EQ(Request(c.path), 0);
    ASSERT_TRUE(WaitForFinishes(n + 1));
    ASSERT_EQ(host->events.size(), 3 * (n + 1));
    const Event* e = &host->events[3 * n];
    EXPECT_EQ(e[0].name, L"OnConnect");
    EXPECT_EQ(e[0].args, (Args{{L"ServerURL", L"127.0.0.1"}}));
    EXPECT_EQ(e[1].name, L"OnDisconnect");
    EXPECT_EQ(e[1].args, Args{});
    EXPECT_EQ(e[2].name, L"OnDownloadFinish");
    EXPECT_EQ(e[2].args, (Args{{L"ResponseCode", c.code}, {L"ResponseString", c.status}}));
    EXPECT_TRUE(WaitUntilIdle());
  }
}

TEST_F(WexloClient, SavesTextWithCrLfAndBinaryByteForByteWithTheirCodes) {
  std::wstring scratch = ScratchDir();
  std::wstring text = scratch + L"\\wexlo-lines.txt";
  std::wstring binary = scratch + L"\\wexlo-bytes.bin";
  DeleteFileW(text.c_str());
  DeleteFileW(binary.c_str());
  EXPECT_EQ(Save(kWriteBinaryFile, binary, true), 2) << "nothing received yet";

  ASSERT_EQ(Request(L"/lines.txt"), 0);
  ASSERT_TRUE(WaitForFinishes(1));
  EXPECT_EQ(Save(kWriteTextFile, text, true), 0);
  std::string expected = WithCrLf(SiteFile("lines.txt"));
  std::string written = ReadFile(text);
  EXPECT_TRUE(written == expected || written == expected + "\r\n") << written;
  EXPECT_EQ(Save(kWriteTextFile, text, false), 1) << "exists, not to be replaced";
  EXPECT_EQ(Save(kWriteTextFile, scratch + L"\\no-such-folder\\x.txt", true), 3);

  constexpr int32_t kSize = 4 * 1024 * 1024;
  ASSERT_EQ(Request(L"/bytes/4194304"), 0);
  ASSERT_TRUE(WaitForFinishes(2));
  EXPECT_EQ(CurSize(), kSize);
  EXPECT_EQ(Save(kWriteBinaryFile, binary, true), 0);
  std::string bytes = ReadFile(binary);
  ASSERT_EQ(bytes.size(), static_cast<size_t>(kSize));
  size_t firstDifference = bytes.size();
  for (size_t i = 0; i < bytes.size() && firstDifference == bytes.size(); ++i)
    if (static_cast<uint8_t>(bytes[i]) != i % 256) firstDifference = i;
  EXPECT_EQ(firstDifference, bytes.size()) << "first differing byte";
  EXPECT_EQ(Save(kWriteBinaryFile, binary, false), 1);
  DeleteFileW(text.c_str());
  DeleteFileW(binary.c_str());
}

TEST_F(WexloClient, NotFoundAndRedirectFinishWithTheirStatus) {
  ASSERT_EQ(Request(L"/status/404"), 0);
  ASSERT_TRUE(WaitForFinishes(1));
  EXPECT_EQ(LastFinish().code, 404);
  EXPECT_EQ(LastFinish().text, L"Not Found");
  EXPECT_EQ(CurFileAsString(), L"<html><body>404</body></html>");

  ASSERT_EQ(Request(L"/redirect/302"), 0);
  ASSERT_TRUE(WaitForFinishes(2));
  EXPECT_EQ(LastFinish().code, 302);
  EXPECT_EQ(LastFinish().text, L"FoundLocation: /moved.html");
  EXPECT_EQ(recorder_->Order(),
            (std::vector<DISPID>{kOnConnect, kOnDisconnect, kOnDownloadFinish, kOnConnect,
                                 kOnDisconnect, kOnDownloadFinish}));
}

// A port on 127.0.0.1 that nothing listens on.
int32_t ClosedPort() {
  SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
  int length = sizeof address;
  getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
  closesocket(s);
  return ntohs(address.sin_port);
}

TEST_F(WexloClient, RefusedRequestsPutTheMessageIntoFilePathAndRaiseNothing) {
  struct Case {
    const wchar_t* server;
    const wchar_t* path;
    int32_t port;  // 0: the fixture's
    int32_t code;
    std::wstring filePath;
  } cases[] = {
      {L"", L"/x", 0, 113, Wide(PortableMessageText(113))},
      {L"", L"", 0, 113, Wide(PortableMessageText(113))},
      {L"http://", L"/x", 0, 113, Wide(PortableMessageText(113))},
      {L"127.0.0.1", L"", 0, 114, Wide(PortableMessageText(114))},
      {L"127.0.0.1", L"/x", ClosedPort(), 110, Wide(PortableMessageText(110)) + L"10061"},
      {L"no-such-host.invalid", L"/x", 0, 112, Wide(PortableMessageText(112))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::wstring(c.server) + L" " + c.path);
    Var port(c.port != 0 ? c.port : HttpPort());
    ASSERT_EQ(Call(kPort, DISPATCH_PROPERTYPUT, {&port}, nullptr), S_OK);
    Var server(c.server), path(c.path);
    EXPECT_EQ(RequestFile(server, path), c.code);
    EXPECT_EQ(path.Text(), c.filePath);
    EXPECT_FALSE(Busy());
  }
  EXPECT_TRUE(recorder_->events.empty());

  // An argument that does not convert to a string is an automation error
  // carrying the object's error info, and nothing else happens.
  Var null = Var::Null(), path(L"/x"), result;
  EXCEPINFO exception = {};
  EXPECT_EQ(Call(kRequestFile, DISPATCH_METHOD, {&null, &path}, &result, &exception),
            DISP_E_EXCEPTION);
  EXPECT_EQ(exception.scode, DISP_E_TYPEMISMATCH);
  EXPECT_EQ(std::wstring(exception.bstrSource ? exception.bstrSource : L""), L"Wexlo.Downloader");
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrHelpFile);

  EXPECT_EQ(dual_->RequestFile(&null, &path, &result), DISP_E_TYPEMISMATCH);
  // Wine's channel does not carry the error info of a vtable call back to
  // the client; where it arrives, it names the object.
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.put()) == S_OK) {
    BSTR source = nullptr;
    ASSERT_EQ(info->GetSource(&source), S_OK);
    EXPECT_EQ(std::wstring(source ? source : L""), L"Wexlo.Downloader");
    SysFreeString(source);
  }
  EXPECT_EQ(path.Text(), L"/x");
  EXPECT_TRUE(recorder_->events.empty());
  EXPECT_FALSE(Busy());
}

// Over HTTPS (the test CA is trusted by the suite's prefix): the same events
// in the same order, Busy as for plain requests, the same rendering.
TEST_F(WexloClient, SecureDownloadRaisesTheSameEventsAndRendersTheFeed) {
  Var port(PortOf(L"WEX_HTTPS_PORT"));
  ASSERT_EQ(Call(kPort, DISPATCH_PROPERTYPUT, {&port}, nullptr), S_OK);
  Var server(L"https://localhost"), path(L"/garden.xml");
  ASSERT_EQ(RequestFile(server, path), 0);
  ASSERT_FALSE(recorder_->events.empty());
  EXPECT_EQ(recorder_->events[0].id, kOnConnect);
  EXPECT_EQ(recorder_->events[0].text, L"localhost");
  ASSERT_TRUE(WaitForFinishes(1));
  EXPECT_EQ(recorder_->Order(),
            (std::vector<DISPID>{kOnConnect, kOnDisconnect, kOnDownloadFinish}));
  EXPECT_EQ(LastFinish().code, 200);
  EXPECT_TRUE(WaitUntilIdle());
  Var items(10), descriptions = Var::Bool(true), html;
  ASSERT_EQ(Call(kFormatCurRSS, DISPATCH_METHOD, {&items, &descriptions}, &html), S_OK);
  EXPECT_EQ(html.Text(), WidenAscii(SiteFile("garden.expected.html")));
}

TEST_F(WexloClient, RefusedSecureRequestsGive116AndRaiseNothing) {
  struct Case {
    const wchar_t* server;
    const wchar_t* port;
    int32_t code;
    std::wstring filePath;
  } cases[] = {
      {L"https://localhost", L"WEX_HTTPS_UNTRUSTED_PORT", 116,
       Wide(PortableMessageText(116)) + L"-2146762487"},
      {L"https://localhost", L"WEX_HTTPS_EXPIRED_PORT", 116,
       Wide(PortableMessageText(116)) + L"-2146762495"},
      {L"https://localhost", L"WEX_HTTPS_WRONGNAME_PORT", 116,
       Wide(PortableMessageText(116)) + L"-2146762481"},
      {L"HTTPS://localhost", L"WEX_HTTPS_PORT", 112, Wide(PortableMessageText(112))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::wstring(c.server) + L" " + c.port);
    Var port(PortOf(c.port));
    ASSERT_EQ(Call(kPort, DISPATCH_PROPERTYPUT, {&port}, nullptr), S_OK);
    Var server(c.server), path(L"/garden.xml");
    EXPECT_EQ(RequestFile(server, path), c.code);
    EXPECT_EQ(path.Text(), c.filePath);
    EXPECT_FALSE(Busy());
  }
  EXPECT_TRUE(recorder_->events.empty());
}

TEST_F(WexloClient, FormatCurRSSRendersTheServedFeed) {
  Var items(10), descriptions = Var::Bool(true), result;
  ASSERT_EQ(Call(kFormatCurRSS, DISPATCH_METHOD, {&items, &descriptions}, &result), S_OK);
  EXPECT_EQ(result.Text(), L"") << "nothing downloaded yet";

  ASSERT_EQ(Request(L"/garden.xml"), 0);
  ASSERT_TRUE(WaitForFinishes(1));
  Var html;
  ASSERT_EQ(Call(kFormatCurRSS, DISPATCH_METHOD, {&items, &descriptions}, &html), S_OK);
  EXPECT_EQ(html.Text(), WidenAscii(SiteFile("garden.expected.html")));

  Var notANumber(L"ten"), titleOnly;
  ASSERT_EQ(Call(kFormatCurRSS, DISPATCH_METHOD, {&notANumber, &descriptions}, &titleOnly), S_OK);
  EXPECT_EQ(titleOnly.Text(), L"<H2>Garden Notes</H2>");
}

TEST_F(WexloClient, ShutDownMidTransferDisconnectsAndNeverFinishes) {
  ASSERT_EQ(Request(L"/hold/1000"), 0);
  ASSERT_EQ(dual_->ShutDown(), S_OK);
  EXPECT_EQ(recorder_->Order(), (std::vector<DISPID>{kOnConnect, kOnDisconnect}))
      << "OnDisconnect before ShutDown returns";
  EXPECT_TRUE(Busy()) << "the cut transfer never finished";

  // A later transfer finishes once, and only its finish arrives.
  Var error, result;
  ASSERT_EQ(dual_->StartUp(&error, &result), S_OK);
  ASSERT_EQ(Request(L"/lines.txt"), 0);
  ASSERT_TRUE(WaitForFinishes(1));
  EXPECT_EQ(recorder_->Order(), (std::vector<DISPID>{kOnConnect, kOnDisconnect, kOnConnect,
                                                     kOnDisconnect, kOnDownloadFinish}));
  EXPECT_TRUE(WaitUntilIdle());
}

TEST_F(WexloClient, HandlerStartsTheNextRequest) {
  int32_t nested = -1;
  bool busyDuringSecond = false;
  recorder_->handler = [&](const Event& e) {
    if (e.id == kOnDownloadFinish && recorder_->Count(kOnDownloadFinish) == 1)
      nested = Request(L"/lines.txt");
    // The second transfer's disconnect comes after the first finish was
    // fully relayed: the flag must still tell that a transfer runs.
    if (e.id == kOnDisconnect && recorder_->Count(kOnDisconnect) == 2) busyDuringSecond = Busy();
  };
  ASSERT_EQ(Request(L"/status/404"), 0);
  ASSERT_TRUE(WaitForFinishes(2));
  EXPECT_EQ(nested, 0);
  EXPECT_TRUE(busyDuringSecond) << "the first finish cleared the flag of the running transfer";
  EXPECT_EQ(recorder_->Order(),
            (std::vector<DISPID>{kOnConnect, kOnDisconnect, kOnDownloadFinish, kOnConnect,
                                 kOnDisconnect, kOnDownloadFinish}));
  EXPECT_EQ(LastFinish().code, 200);
  EXPECT_TRUE(WaitUntilIdle());
  EXPECT_EQ(CurFileAsString(), WidenAscii(WithCrLf(SiteFile("lines.txt"))));
}

// One plain HTTP/1.0 GET to the runner's fixture, for a test's own use (to
// open a gate); true when a response came back.
bool FetchFromFixture(const char* path) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<u_short>(HttpPort()));
  bool ok = connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  std::string request = std::string("GET ") + path + " HTTP/1.0\r\n\r\n";
  ok = ok && send(s, request.data(), static_cast<int>(request.size()), 0) ==
                 static_cast<int>(request.size());
  char buffer[512];
  int total = 0;
  for (int n; ok && (n = recv(s, buffer, sizeof buffer, 0)) > 0;) total += n;
  closesocket(s);
  return ok && total > 0;
}

TEST_F(WexloClient, ARefusedRequestLeavesTheRunningTransferToFinish) {
  const std::string gate = "client" + std::to_string(GetTickCount());
  ASSERT_EQ(Request(WidenAscii("/gate/" + gate + "/1000").c_str()), 0);
  Var empty(L""), path(L"/x");
  EXPECT_EQ(RequestFile(empty, path), 113);
  Var server(L"127.0.0.1"), noPath(L"");
  EXPECT_EQ(RequestFile(server, noPath), 114);
  EXPECT_TRUE(Busy());
  ASSERT_TRUE(FetchFromFixture(("/release/" + gate).c_str()));
  ASSERT_TRUE(WaitForFinishes(1));
  EXPECT_EQ(recorder_->Order(),
            (std::vector<DISPID>{kOnConnect, kOnDisconnect, kOnDownloadFinish}));
  EXPECT_EQ(LastFinish().code, 200);
  EXPECT_TRUE(WaitUntilIdle());
  EXPECT_EQ(CurSize(), 2000);
}

TEST_F(WexloClient, ABodyCutShortOfItsLengthFinishesAsAReset) {
  ASSERT_EQ(Request(L"/short/1000000/200000"), 0);
  ASSERT_TRUE(WaitForFinishes(1));
  EXPECT_EQ(LastFinish().code, -1);
  EXPECT_EQ(LastFinish().text, L"10054");
  EXPECT_TRUE(WaitUntilIdle());
  EXPECT_EQ(CurSize(), 200000) << "what arrived is kept";
}

// A server that answers at once, before the request: the whole response
// reaches the Downloader's socket while its OnConnect is being raised here.
// However the server's modal loop treats the notifications meanwhile, the
// transfer finishes after RequestFile and Busy turns False.
TEST_F(WexloClient, AResponseArrivingDuringOnConnectFinishesAfterRequestFile) {
  SOCKET listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 1), 0);
  int length = sizeof address;
  getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
  Var port(static_cast<int32_t>(ntohs(address.sin_port)));
  ASSERT_EQ(Call(kPort, DISPATCH_PROPERTYPUT, {&port}, nullptr), S_OK);

  SOCKET accepted = INVALID_SOCKET;
  recorder_->handler = [&](const Event& e) {
    if (e.id != kOnConnect) return;
    // The server connected before raising OnConnect: accept does not wait.
    accepted = accept(listener, nullptr, nullptr);
    const char response[] = "HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nhello";
    send(accepted, response, sizeof response - 1, 0);
    shutdown(accepted, SD_SEND);  // the request may still come in: no reset
  };
  EXPECT_EQ(Request(L"/early"), 0);
  ASSERT_TRUE(WaitForFinishes(1));
  EXPECT_EQ(recorder_->Order(),
            (std::vector<DISPID>{kOnConnect, kOnDisconnect, kOnDownloadFinish}));
  EXPECT_EQ(LastFinish().code, 200);
  EXPECT_TRUE(WaitUntilIdle()) << "Busy left set";
  EXPECT_EQ(CurFileAsString(), L"hello");
  closesocket(accepted);
  closesocket(listener);
}

TEST_F(WexloClient, ReleasingTheObjectInsideAHandlerEndsTheServer) {
  recorder_->handler = [&](const Event& e) {
    if (e.id == kOnDownloadFinish) ReleaseObject();
  };
  ASSERT_EQ(Request(L"/lines.txt"), 0);
  ASSERT_TRUE(WaitForFinishes(1));
  EXPECT_FALSE(object_);
  // TearDown sees the server process end.
}

}  // namespace
}  // namespace wex
