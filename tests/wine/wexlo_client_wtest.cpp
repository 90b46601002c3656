// Wexlo.Downloader driven as a compiled automation client drives it, with
// its events taken through the connection point; its error info and its
// server's lifetime.
#include <winsock2.h>

#include <windows.h>

#include <olectl.h>

#include <gtest/gtest.h>

#include <set>
#include <stdexcept>

#include "server/downloader/win32/guarded.h"
#include "tests/wine/support/automation.h"
#include "tests/wine/support/loopback.h"
#include "tests/wine/support/message_pump.h"
#include "tests/wine/support/wine_paths.h"
#include "wexlo.h"

namespace wex {
namespace {

constexpr DISPID kBusy = 0x68030005, kPort = 0x68030004, kCurSize = 0x68030001,
                 kStartUp = 0x60030006, kRequestFile = 0x60030007;
constexpr DISPID kOnConnect = 1, kOnDownloadFinish = 2, kOnDisconnect = 3;
const std::vector<DISPID> kOneTransfer = {kOnConnect, kOnDisconnect, kOnDownloadFinish};

std::string WithCrLf(const std::string& lf) {
  std::string out;
  for (char c : lf) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return out;
}

class WexloClient : public ComApartment {
 protected:
  void SetUp() override {
    ComApartment::SetUp();
    ASSERT_EQ(CoCreateInstance(CLSID_Downloader, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                               object_.putVoid()),
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
    SetPort(PortOf(L"WEX_HTTP_PORT"));
  }

  void TearDown() override {
    for (ComPtr<FakeDispatch>& sink : sinks_) {
      if (point_ && sink->cookie != 0) point_->Unadvise(sink->cookie);
      CoDisconnectObject(static_cast<IDispatch*>(sink.get()), 0);
    }
    ReleaseObject();
    sinks_.clear();
    // The server ends once its last object is gone.
    for (UniqueHandle& process : servers_)
      EXPECT_TRUE(WaitForExit(process.get())) << "Wexlo.exe still running";
    ComApartment::TearDown();
  }

  ComPtr<FakeDispatch> Advise() {
    ComPtr<FakeDispatch> sink = FakeDispatch::Make();
    sink->source = DIID___Downloader;
    EXPECT_EQ(point_->Advise(static_cast<IDispatch*>(sink.get()), &sink->cookie), S_OK);
    sinks_.push_back(sink);
    return sink;
  }

  // Binds a sink as the script host does for WScript.CreateObject with a
  // prefix: the source IID from the class information, and the names from
  // the type information of the coclass's default source interface.
  ComPtr<FakeDispatch> AdviseAsScriptHost() {
    ComPtr<IProvideClassInfo2> classInfo;
    ComPtr<ITypeInfo> coclass;
    ComPtr<FakeDispatch> sink = FakeDispatch::Make();
    TYPEATTR* attr = nullptr;
    if (object_->QueryInterface(IID_IProvideClassInfo2, classInfo.putVoid()) != S_OK ||
        classInfo->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &sink->source) != S_OK ||
        classInfo->GetClassInfo(coclass.put()) != S_OK || coclass->GetTypeAttr(&attr) != S_OK)
      return nullptr;
    const UINT count = attr->cImplTypes;
    coclass->ReleaseTypeAttr(attr);
    for (UINT i = 0; i < count && !sink->names; ++i) {
      INT flags = 0;
      HREFTYPE ref = 0;
      const INT wanted = IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE;
      if (coclass->GetImplTypeFlags(i, &flags) == S_OK && (flags & wanted) == wanted &&
          coclass->GetRefTypeOfImplType(i, &ref) == S_OK)
        coclass->GetRefTypeInfo(ref, sink->names.put());
    }
    if (!sink->names || sink->names->GetTypeAttr(&attr) != S_OK) return nullptr;
    EXPECT_TRUE(IsEqualGUID(attr->guid, sink->source)) << "GetGUID and the class info differ";
    sink->names->ReleaseTypeAttr(attr);
    // The object's one connection point, which point_ is.
    EXPECT_TRUE(IsEqualGUID(sink->source, DIID___Downloader)) << "no connection point for it";
    if (point_->Advise(static_cast<IDispatch*>(sink.get()), &sink->cookie) != S_OK) return nullptr;
    sinks_.push_back(sink);
    return sink;
  }

  void ReleaseObject() {
    point_.reset();
    dual_.reset();
    object_.reset();
  }

  // A call through IDispatch::Invoke with its arguments by reference, or by
  // value as JScript passes them, that the test expects to end so.
  Var Call(DISPID id, WORD flags, std::vector<VARIANT*> args, HRESULT expected = S_OK,
           EXCEPINFO* exception = nullptr, bool byValue = false) {
    Var result;
    EXPECT_EQ(Invoke(object_.get(), id, flags, std::move(args),
                     flags == DISPATCH_PROPERTYPUT ? nullptr : &result, exception, byValue),
              expected)
        << std::hex << id;
    return result;
  }
  void SetPort(int32_t number) {
    Var port(number);
    Call(kPort, DISPATCH_PROPERTYPUT, {&port});
  }
  bool Busy() { return Call(kBusy, DISPATCH_PROPERTYGET, {}).IsTrue(); }
  int32_t CurSize() { return Call(kCurSize, DISPATCH_PROPERTYGET, {}).Int(); }
  // By name, as a late-bound script asks.
  std::wstring CurFileAsString() {
    DISPID id = 0;
    EXPECT_EQ(IdOfName(object_.get(), L"CurFileAsString", &id), S_OK);
    return Call(id, DISPATCH_PROPERTYGET, {}).Text();
  }
  int32_t Request(const std::wstring& path) {
    Var server(L"127.0.0.1"), file(path);
    return Call(kRequestFile, DISPATCH_METHOD, {&server, &file}).Int();
  }
  // Until every advised sink has seen n finish events.
  bool WaitForFinishes(size_t n) {
    return PumpMessagesUntil(
        [&] {
          for (const ComPtr<FakeDispatch>& sink : sinks_)
            if (sink->cookie != 0 && sink->Count(kOnDownloadFinish) < n) return false;
          return true;
        },
        20000);
  }
  // Asks until Busy reads False, as a polling script does.
  bool WaitUntilIdle() {
    const DWORD start = GetTickCount();
    for (;;) {
      PumpQueued();
      if (!Busy()) return true;
      if (GetTickCount() - start >= 20000) return false;
    }
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
  ComPtr<FakeDispatch> recorder_;
  std::vector<ComPtr<FakeDispatch>> sinks_;
  std::vector<UniqueHandle> servers_;
};

TEST_F(WexloClient, FullDownloadRaisesConnectDisconnectFinishInOrder) {
  // Two more sinks: one fails every event and scribbles on its arguments,
  // one leaves after its first.
  ComPtr<FakeDispatch> failing = Advise();
  failing->result = E_FAIL;
  failing->scribble = true;
  ComPtr<FakeDispatch> leaving = Advise();
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
  EXPECT_EQ(Call(kRequestFile, DISPATCH_METHOD, {&server, &path}).Int(), 0);
  EXPECT_EQ(path.Text(), L"lines.txt") << "FilePath keeps what was passed";
  // OnConnect came inside the call; the later events may arrive before its
  // reply or inside the reads below. Whatever the order, Busy reads False
  // and the text is whole only once the finish was delivered.
  ASSERT_FALSE(recorder_->events.empty());
  EXPECT_EQ(recorder_->events[0].id, kOnConnect) << "OnConnect inside RequestFile";
  EXPECT_EQ(recorder_->events[0].text, L"127.0.0.1");
  if (!Busy()) {
    EXPECT_EQ(recorder_->Count(kOnDownloadFinish), 1u) << "idle before the finish";
  }
  const std::wstring early = CurFileAsString();
  const std::string body = SiteFile("lines.txt");
  if (!early.empty()) {
    EXPECT_EQ(recorder_->Count(kOnDownloadFinish), 1u) << "text handed out before the finish";
    EXPECT_EQ(early, Wide(WithCrLf(body)));
  }

  ASSERT_TRUE(WaitForFinishes(1));
  EXPECT_EQ(recorder_->Order(), kOneTransfer);
  for (const Event& e : recorder_->events) EXPECT_TRUE(e.allByReference);
  EXPECT_EQ(LastFinish().code, 200);
  EXPECT_EQ(LastFinish().text, L"OK");
  EXPECT_TRUE(busyInside);
  EXPECT_EQ(fileInside, L"");
  EXPECT_EQ(sizeInside, static_cast<int32_t>(body.size()));
  EXPECT_TRUE(WaitUntilIdle()) << "Busy turns False once the handlers have returned";
  EXPECT_EQ(CurSize(), static_cast<int32_t>(body.size()));
  EXPECT_EQ(CurFileAsString(), Wide(WithCrLf(body)));
  EXPECT_EQ(failing->Order(), recorder_->Order());
  EXPECT_EQ(leaving->Order(), std::vector<DISPID>{kOnConnect});
}

// A script's dl_OnConnect and the others are found by the names the type
// information gives the DISPIDs the server invokes.
TEST_F(WexloClient, EventsBoundAsTheScriptHostBindsThemArriveByTheirTypeInfoNames) {
  using Args = std::vector<std::pair<std::wstring, std::wstring>>;
  ComPtr<FakeDispatch> host = AdviseAsScriptHost();
  ASSERT_TRUE(host);
  ASSERT_EQ(Request(L"/status/404"), 0);
  ASSERT_TRUE(WaitForFinishes(1));
  ASSERT_EQ(host->events.size(), 3u);
  const std::vector<Event>& e = host->events;
  EXPECT_EQ(e[0].name, L"OnConnect");
  EXPECT_EQ(e[0].args, (Args{{L"ServerURL", L"127.0.0.1"}}));
  EXPECT_EQ(e[1].name, L"OnDisconnect");
  EXPECT_EQ(e[1].args, Args{});
  EXPECT_EQ(e[2].name, L"OnDownloadFinish");
  EXPECT_EQ(e[2].args, (Args{{L"ResponseCode", L"404"}, {L"ResponseString", L"Not Found"}}));
  EXPECT_TRUE(WaitUntilIdle());
}

// An argument that does not convert to a string is an automation error
// carrying the object's error info, and nothing else happens (the messages
// refusals write into FilePath are wexlo_download.vbs's).
TEST_F(WexloClient, AnArgumentThatDoesNotConvertIsAnErrorWithTheObjectsErrorInfo) {
  Var null = Var::OfType(VT_NULL), path(L"/x"), result;
  UniqueExcepInfo exception;
  Call(kRequestFile, DISPATCH_METHOD, {&null, &path}, DISP_E_EXCEPTION, exception.get());
  EXPECT_EQ(exception.get()->scode, DISP_E_TYPEMISMATCH);
  EXPECT_EQ(std::wstring(exception.get()->bstrSource ? exception.get()->bstrSource : L""),
            L"Wexlo.Downloader");
  EXPECT_EQ(dual_->RequestFile(&null, &path, &result), DISP_E_TYPEMISMATCH);
  // Wine does not carry a vtable call's error info back; where it arrives, it names the object.
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.put()) == S_OK) {
    UniqueBstr source;
    ASSERT_EQ(info->GetSource(source.put()), S_OK);
    EXPECT_EQ(BstrText(source.get()), u"Wexlo.Downloader");
  }
  EXPECT_EQ(path.Text(), L"/x");
  EXPECT_TRUE(recorder_->events.empty());
  EXPECT_FALSE(Busy());
}

// A response that arrives while OnConnect is raised still finishes after RequestFile.
TEST_F(WexloClient, AResponseArrivingDuringOnConnectFinishesAfterRequestFile) {
  WSADATA data;
  ASSERT_EQ(WSAStartup(MAKEWORD(1, 1), &data), 0);
  sockaddr_in address;
  SOCKET listener = ListenOnLoopback(address, 1);
  SetPort(ntohs(address.sin_port));
  SOCKET accepted = INVALID_SOCKET;
  recorder_->handler = [&](const Event& e) {
    if (e.id != kOnConnect) return;
    accepted = accept(listener, nullptr, nullptr);  // connected before OnConnect
    const char response[] = "HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nhello";
    send(accepted, response, sizeof response - 1, 0);
    shutdown(accepted, SD_SEND);  // the request may still come in: no reset
  };
  EXPECT_EQ(Request(L"/early"), 0);
  ASSERT_TRUE(WaitForFinishes(1));
  EXPECT_EQ(recorder_->Order(), kOneTransfer);
  EXPECT_EQ(LastFinish().code, 200);
  EXPECT_TRUE(WaitUntilIdle()) << "Busy left set";
  EXPECT_EQ(CurFileAsString(), L"hello");
  closesocket(accepted);
  closesocket(listener);
  WSACleanup();
}

TEST_F(WexloClient, ReleasingTheObjectInsideAHandlerEndsTheServer) {
  recorder_->handler = [&](const Event& e) {
    if (e.id == kOnDownloadFinish) ReleaseObject();
  };
  ASSERT_EQ(Request(L"/lines.txt"), 0);
  ASSERT_TRUE(WaitForFinishes(1));
  EXPECT_FALSE(object_);  // TearDown sees the server process end
}

// A number by reference passed by value (as a compiled client passes a typed
// variable) keeps its number; JScript's values are wexlo_edges.js's.
TEST_F(WexloClient, ANumberByReferencePassedByValueKeepsItsNumber) {
  LONG number = 5;
  Var reference = Var::OfType(VT_BYREF | VT_I4), empty(L"");
  V_I4REF(&reference) = &number;
  EXPECT_EQ(Call(kRequestFile, DISPATCH_METHOD, {&empty, &reference}, S_OK, nullptr, true).Int(),
            113);
  EXPECT_EQ(number, 5);
}

// A server of its own for each test, reached through its class object.
class WexloServer : public ComApartment {
 protected:
  ComPtr<IClassFactory> Factory() {
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(CoGetClassObject(CLSID_Downloader, CLSCTX_LOCAL_SERVER, nullptr, IID_IClassFactory,
                               factory.putVoid()),
              S_OK);
    return factory;
  }
};

// A script engine's own code (0x800A005B) carries no description, so the
// engine shows its own text.
TEST_F(WexloServer, AScriptEngineCodeComesWithoutADescription) {
  // Two objects of one server: the first one's end takes the shared
  // engine, and the second one's calls then fail with 0x800A005B.
  ComPtr<IClassFactory> factory = Factory();
  ASSERT_TRUE(factory);
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

// A text too long for a string is a lack of memory, not an unexpected failure.
TEST(WexloErrors, ATextTooLongForAStringIsOutOfMemory) {
  EXPECT_EQ(Guarded([]() -> HRESULT { throw std::length_error("basic_string::resize"); }),
            E_OUTOFMEMORY);
  EXPECT_EQ(Guarded([]() -> HRESULT { throw std::bad_alloc(); }), E_OUTOFMEMORY);
  EXPECT_EQ(Guarded([]() -> HRESULT { throw 1; }), E_UNEXPECTED);
}

// A server whose client never asks for an object ends after its grace
// period (shortened through the environment COM under Wine hands down).
TEST_F(WexloServer, AServerWithoutObjectsEndsAfterItsGracePeriod) {
  SetEnvironmentVariableW(L"WEXLO_START_GRACE_MS", L"2000");
  // Servers already running are held open, so none of their ids is reused meanwhile.
  const std::vector<UniqueHandle> before = ServerProcesses();
  std::set<DWORD> old;
  for (const UniqueHandle& process : before) old.insert(GetProcessId(process.get()));
  EXPECT_TRUE(Factory());
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
}

}  // namespace
}  // namespace wex
