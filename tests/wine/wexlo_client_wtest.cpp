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
#include "tests/wine/support/suite.h"
#include "wexlo.h"

namespace wex {
namespace {

constexpr DISPID kBusy = 0x68030005, kPort = 0x68030004, kCurSize = 0x68030001,
                 kStartUp = 0x60030006, kRequestFile = 0x60030007;
constexpr DISPID kOnConnect = 1, kOnDownloadFinish = 2, kOnDisconnect = 3;
const std::vector<DISPID> kOneTransfer = {kOnConnect, kOnDisconnect, kOnDownloadFinish};
using Args = std::vector<std::pair<std::wstring, std::wstring>>;
const Args kFinishedOk = {{L"ResponseCode", L"200"}, {L"ResponseString", L"OK"}};

// tests/wine/site/lines.txt: its size, and its text with each LF as CR LF.
constexpr int32_t kLinesSize = 34;
const std::wstring kLinesText = L"first line\r\nsecond line\r\n\r\nlast line\r\n";

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
    recorder_ = AdviseAsScriptHost();
    ASSERT_TRUE(recorder_);
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

  // Binds a sink as the script host does for WScript.CreateObject with a
  // prefix: the source IID from the class information, and the names from
  // the type information of the coclass's default source interface (so a
  // script's dl_OnConnect and the others are found by the names of the
  // DISPIDs the server invokes).
  ComPtr<FakeDispatch> AdviseAsScriptHost() {
    ComPtr<IProvideClassInfo2> classInfo;
    ComPtr<ITypeInfo> coclass;
    ComPtr<ITypeLib> library;
    ComPtr<FakeDispatch> sink = FakeDispatch::Make();
    UINT index = 0;
    TYPEATTR* attr = nullptr;
    if (object_->QueryInterface(IID_IProvideClassInfo2, classInfo.putVoid()) != S_OK ||
        classInfo->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &sink->source) != S_OK ||
        classInfo->GetClassInfo(coclass.put()) != S_OK || coclass->GetTypeAttr(&attr) != S_OK)
      return nullptr;
    // The type library test holds the coclass's default source to be the
    // events: the class info must be that coclass, and GetGUID name them.
    EXPECT_TRUE(attr->typekind == TKIND_COCLASS && IsEqualGUID(attr->guid, CLSID_Downloader));
    coclass->ReleaseTypeAttr(attr);
    EXPECT_TRUE(IsEqualGUID(sink->source, DIID___Downloader)) << "GetGUID and the class differ";
    if (coclass->GetContainingTypeLib(library.put(), &index) != S_OK ||
        library->GetTypeInfoOfGuid(sink->source, sink->names.put()) != S_OK ||
        point_->Advise(static_cast<IDispatch*>(sink.get()), &sink->cookie) != S_OK)
      return nullptr;
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
  ComPtr<FakeDispatch> failing = AdviseAsScriptHost();
  failing->result = E_FAIL;
  failing->scribble = true;
  ComPtr<FakeDispatch> leaving = AdviseAsScriptHost();
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
  EXPECT_EQ(recorder_->events[0].name, L"OnConnect") << "OnConnect inside RequestFile";
  EXPECT_EQ(recorder_->events[0].args, (Args{{L"ServerURL", L"127.0.0.1"}}));
  if (!Busy()) {
    EXPECT_EQ(recorder_->Count(kOnDownloadFinish), 1u) << "idle before the finish";
  }
  const std::wstring early = CurFileAsString();
  if (!early.empty()) {
    EXPECT_EQ(recorder_->Count(kOnDownloadFinish), 1u) << "text handed out before the finish";
    EXPECT_EQ(early, kLinesText);
  }

  ASSERT_TRUE(WaitForFinishes(1));
  ASSERT_EQ(recorder_->Order(), kOneTransfer);
  for (const Event& e : recorder_->events) EXPECT_TRUE(e.allByReference);
  EXPECT_EQ(recorder_->events[1].name, L"OnDisconnect");
  EXPECT_EQ(recorder_->events[1].args, Args{});
  EXPECT_EQ(recorder_->events[2].name, L"OnDownloadFinish");
  EXPECT_EQ(recorder_->events[2].args, kFinishedOk);
  EXPECT_TRUE(busyInside);
  EXPECT_EQ(fileInside, L"");
  EXPECT_EQ(sizeInside, kLinesSize);
  EXPECT_TRUE(WaitUntilIdle()) << "Busy turns False once the handlers have returned";
  EXPECT_EQ(CurSize(), kLinesSize);
  EXPECT_EQ(CurFileAsString(), kLinesText);
  EXPECT_EQ(failing->Order(), recorder_->Order());
  EXPECT_EQ(leaving->Order(), std::vector<DISPID>{kOnConnect});
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
  Peer peer;
  SetPort(ntohs(peer.Address().sin_port));
  recorder_->handler = [&](const Event& e) {
    if (e.id != kOnConnect) return;
    peer.Accept();  // connected before OnConnect
    EXPECT_TRUE(peer.Send("HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nhello"));
    peer.EndSending();  // the request may still come in: no reset
  };
  EXPECT_EQ(Request(L"/early"), 0);
  ASSERT_TRUE(WaitForFinishes(1));
  ASSERT_EQ(recorder_->Order(), kOneTransfer);
  EXPECT_EQ(recorder_->events[2].args, kFinishedOk);
  EXPECT_TRUE(WaitUntilIdle()) << "Busy left set";
  EXPECT_EQ(CurFileAsString(), L"hello");
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
