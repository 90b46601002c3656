// Wexlo.Downloader driven as a compiled automation client drives it, with
// its events taken through the connection point.
#include <winsock2.h>

#include <windows.h>

#include <olectl.h>

#include <gtest/gtest.h>

#include "common/ustring.h"
#include "server/resources/message_table.h"
#include "tests/wine/support/automation.h"
#include "tests/wine/support/message_pump.h"
#include "tests/wine/support/wine_paths.h"
#include "wexlo.h"

namespace wex {
namespace {

constexpr DISPID kBusy = 0x68030005, kPort = 0x68030004, kCurSize = 0x68030001,
                 kRequestFile = 0x60030007, kWriteTextFile = 0x60030008,
                 kWriteBinaryFile = 0x60030009, kFormatCurRSS = 0x6003000A;
constexpr DISPID kOnConnect = 1, kOnDownloadFinish = 2, kOnDisconnect = 3;
const std::vector<DISPID> kOneTransfer = {kOnConnect, kOnDisconnect, kOnDownloadFinish};

std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }
std::wstring Message(int32_t n) {
  ustring text = PortableMessageText(n);
  return std::wstring(text.begin(), text.end());
}

std::string WithCrLf(const std::string& lf) {
  std::string out;
  for (char c : lf) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return out;
}

sockaddr_in Loopback(uint16_t port = 0) {
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  return address;
}

// A socket on 127.0.0.1, listening when asked; *port gets its port.
SOCKET BoundSocket(bool listening, int32_t* port) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = Loopback();
  int length = sizeof address;
  bind(s, reinterpret_cast<sockaddr*>(&address), length);
  if (listening) listen(s, 1);
  getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
  *port = ntohs(address.sin_port);
  return s;
}

// One plain GET to the runner's fixture (to open a gate); true when answered.
bool FetchFromFixture(const std::string& path) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = Loopback(PortOf(L"WEX_HTTP_PORT"));
  std::string request = "GET " + path + " HTTP/1.0\r\n\r\n";
  bool ok = connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            send(s, request.data(), static_cast<int>(request.size()), 0) ==
                static_cast<int>(request.size());
  char buffer[512];
  int total = 0;
  for (int n; ok && (n = recv(s, buffer, sizeof buffer, 0)) > 0;) total += n;
  closesocket(s);
  return ok && total > 0;
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
    ComPtr<IConnectionPointContainer> container;
    ComPtr<IConnectionPoint> point;
    if (object_->QueryInterface(IID_IConnectionPointContainer, container.putVoid()) != S_OK ||
        container->FindConnectionPoint(sink->source, point.put()) != S_OK ||
        point->Advise(static_cast<IDispatch*>(sink.get()), &sink->cookie) != S_OK)
      return nullptr;
    sinks_.push_back(sink);  // one connection point: point_ unadvises it
    return sink;
  }

  void ReleaseObject() {
    point_.reset();
    dual_.reset();
    object_.reset();
  }

  HRESULT Call(DISPID id, WORD flags, std::vector<VARIANT*> args, VARIANT* result,
               EXCEPINFO* exception = nullptr) {
    return Invoke(object_.get(), id, flags, std::move(args), result, exception);
  }
  void SetPort(int32_t number) {
    Var port(number);
    ASSERT_EQ(Call(kPort, DISPATCH_PROPERTYPUT, {&port}, nullptr), S_OK);
  }
  bool Busy() { return Get(object_.get(), kBusy).IsTrue(); }
  int32_t CurSize() { return Get(object_.get(), kCurSize).Int(); }
  // By name, as a late-bound script asks.
  std::wstring CurFileAsString() {
    std::wstring name = L"CurFileAsString";
    LPOLESTR names[] = {&name[0]};
    DISPID id = 0;
    Var result;
    EXPECT_EQ(object_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK);
    EXPECT_EQ(Call(id, DISPATCH_PROPERTYGET, {}, &result), S_OK);
    return result.Text();
  }
  int32_t RequestFile(Var& server, Var& path) {
    return CallMethod(object_.get(), kRequestFile, {&server, &path}).Int();
  }
  int32_t Request(const std::wstring& path) {
    Var server(L"127.0.0.1"), file(path);
    return RequestFile(server, file);
  }
  int32_t Save(DISPID which, const std::wstring& path, bool replace) {
    Var file(path), ifDelete = Var::Bool(replace);
    return CallMethod(object_.get(), which, {&file, &ifDelete}).Int();
  }
  std::wstring FormatCurRSS(Var items) {
    Var descriptions = Var::Bool(true);
    return CallMethod(object_.get(), kFormatCurRSS, {&items, &descriptions}).Text();
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
  EXPECT_EQ(RequestFile(server, path), 0);
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
  const struct {
    const wchar_t* path;
    const wchar_t* code;
    const wchar_t* status;
  } cases[] = {{L"/lines.txt", L"200", L"OK"}, {L"/status/404", L"404", L"Not Found"}};
  ComPtr<FakeDispatch> host = AdviseAsScriptHost();
  ASSERT_TRUE(host);
  for (size_t n = 0; n < std::size(cases); ++n) {
    SCOPED_TRACE(cases[n].path);
    ASSERT_EQ(Request(cases[n].path), 0);
    ASSERT_TRUE(WaitForFinishes(n + 1));
    ASSERT_EQ(host->events.size(), 3 * (n + 1));
    const Event* e = &host->events[3 * n];
    EXPECT_EQ(e[0].name, L"OnConnect");
    EXPECT_EQ(e[0].args, (Args{{L"ServerURL", L"127.0.0.1"}}));
    EXPECT_EQ(e[1].name, L"OnDisconnect");
    EXPECT_EQ(e[1].args, Args{});
    EXPECT_EQ(e[2].name, L"OnDownloadFinish");
    EXPECT_EQ(e[2].args,
              (Args{{L"ResponseCode", cases[n].code}, {L"ResponseString", cases[n].status}}));
    EXPECT_TRUE(WaitUntilIdle());
  }
  EXPECT_EQ(CurFileAsString(), L"<html><body>404</body></html>");
}

TEST_F(WexloClient, SavesTextWithCrLfAndBinaryByteForByteWithTheirCodes) {
  const std::wstring text = ScratchDir() + L"\\wexlo-lines.txt";
  const std::wstring binary = ScratchDir() + L"\\wexlo-bytes.bin";
  DeleteFileW(text.c_str());
  DeleteFileW(binary.c_str());
  EXPECT_EQ(Save(kWriteBinaryFile, binary, true), 2) << "nothing received yet";

  ASSERT_EQ(Request(L"/lines.txt"), 0);
  ASSERT_TRUE(WaitForFinishes(1));
  EXPECT_EQ(Save(kWriteTextFile, text, true), 0);
  const std::string expected = WithCrLf(SiteFile("lines.txt"));
  const std::string written = ReadWholeFile(text);
  EXPECT_TRUE(written == expected || written == expected + "\r\n") << written;
  EXPECT_EQ(Save(kWriteTextFile, text, false), 1) << "exists, not to be replaced";
  EXPECT_EQ(Save(kWriteTextFile, ScratchDir() + L"\\no-such-folder\\x.txt", true), 3);

  constexpr int32_t kSize = 4 * 1024 * 1024;
  ASSERT_EQ(Request(L"/bytes/4194304"), 0);
  ASSERT_TRUE(WaitForFinishes(2));
  EXPECT_EQ(CurSize(), kSize);
  EXPECT_EQ(Save(kWriteBinaryFile, binary, true), 0);
  const std::string bytes = ReadWholeFile(binary);
  ASSERT_EQ(bytes.size(), static_cast<size_t>(kSize));
  size_t firstDifference = bytes.size();
  for (size_t i = 0; i < bytes.size() && firstDifference == bytes.size(); ++i)
    if (static_cast<uint8_t>(bytes[i]) != i % 256) firstDifference = i;
  EXPECT_EQ(firstDifference, bytes.size()) << "first differing byte";
  EXPECT_EQ(Save(kWriteBinaryFile, binary, false), 1);
  DeleteFileW(text.c_str());
  DeleteFileW(binary.c_str());
}

// Refusals put their message into FilePath and raise nothing.
TEST_F(WexloClient, RefusedRequestsPutTheMessageIntoFilePathAndRaiseNothing) {
  int32_t closed = 0;
  closesocket(BoundSocket(false, &closed));
  const struct {
    const wchar_t* server;
    const wchar_t* path;
    int32_t port;
    int32_t code;
    std::wstring filePath;
  } cases[] = {
      {L"", L"/x", PortOf(L"WEX_HTTP_PORT"), 113, Message(113)},
      {L"", L"", PortOf(L"WEX_HTTP_PORT"), 113, Message(113)},
      {L"http://", L"/x", PortOf(L"WEX_HTTP_PORT"), 113, Message(113)},
      {L"127.0.0.1", L"", PortOf(L"WEX_HTTP_PORT"), 114, Message(114)},
      {L"127.0.0.1", L"/x", closed, 110, Message(110) + L"10061"},
      {L"no-such-host.invalid", L"/x", PortOf(L"WEX_HTTP_PORT"), 112, Message(112)},
      {L"HTTPS://localhost", L"/garden.xml", PortOf(L"WEX_HTTPS_PORT"), 112, Message(112)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::wstring(c.server) + L" " + c.path + L" " + std::to_wstring(c.port));
    SetPort(c.port);
    Var server(c.server), path(c.path);
    EXPECT_EQ(RequestFile(server, path), c.code);
    EXPECT_EQ(path.Text(), c.filePath);
    EXPECT_FALSE(Busy());
  }
  EXPECT_TRUE(recorder_->events.empty());

  // An argument that does not convert to a string is an automation error
  // carrying the object's error info, and nothing else happens.
  Var null = Var::OfType(VT_NULL), path(L"/x"), result;
  UniqueExcepInfo exception;
  EXPECT_EQ(Call(kRequestFile, DISPATCH_METHOD, {&null, &path}, &result, exception.get()),
            DISP_E_EXCEPTION);
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

// Over HTTPS (the suite's prefix trusts the test CA): the same events in the
// same order and the same rendering as over plain HTTP.
TEST_F(WexloClient, FormatCurRSSRendersTheFeedFetchedOverHttps) {
  EXPECT_EQ(FormatCurRSS(Var(10)), L"") << "nothing downloaded yet";
  SetPort(PortOf(L"WEX_HTTPS_PORT"));
  Var server(L"https://localhost"), path(L"/garden.xml");
  ASSERT_EQ(RequestFile(server, path), 0);
  ASSERT_FALSE(recorder_->events.empty());
  EXPECT_EQ(recorder_->events[0].text, L"localhost");
  ASSERT_TRUE(WaitForFinishes(1));
  EXPECT_EQ(recorder_->Order(), kOneTransfer);
  EXPECT_EQ(LastFinish().code, 200);
  EXPECT_TRUE(WaitUntilIdle());
  EXPECT_EQ(FormatCurRSS(Var(10)), Wide(SiteFile("garden.expected.html")));
  EXPECT_EQ(FormatCurRSS(Var(L"ten")), L"<H2>Garden Notes</H2>");
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
    // After the first finish was relayed, the flag still tells of the second.
    if (e.id == kOnDisconnect && recorder_->Count(kOnDisconnect) == 2) busyDuringSecond = Busy();
  };
  ASSERT_EQ(Request(L"/status/404"), 0);
  ASSERT_TRUE(WaitForFinishes(2));
  EXPECT_EQ(nested, 0);
  EXPECT_TRUE(busyDuringSecond) << "the first finish cleared the flag of the running transfer";
  std::vector<DISPID> twice = kOneTransfer;
  twice.insert(twice.end(), kOneTransfer.begin(), kOneTransfer.end());
  EXPECT_EQ(recorder_->Order(), twice);
  EXPECT_EQ(LastFinish().code, 200);
  EXPECT_TRUE(WaitUntilIdle());
  EXPECT_EQ(CurFileAsString(), Wide(WithCrLf(SiteFile("lines.txt"))));
}

TEST_F(WexloClient, ARefusedRequestLeavesTheRunningTransferToFinish) {
  const std::string gate = "client" + std::to_string(GetTickCount());
  ASSERT_EQ(Request(Wide("/gate/" + gate + "/1000")), 0);
  Var empty(L""), path(L"/x");
  EXPECT_EQ(RequestFile(empty, path), 113);
  EXPECT_EQ(Request(L""), 114);
  EXPECT_TRUE(Busy());
  ASSERT_TRUE(FetchFromFixture("/release/" + gate));
  ASSERT_TRUE(WaitForFinishes(1));
  EXPECT_EQ(recorder_->Order(), kOneTransfer);
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

// A response that arrives while OnConnect is raised still finishes after RequestFile.
TEST_F(WexloClient, AResponseArrivingDuringOnConnectFinishesAfterRequestFile) {
  int32_t port = 0;
  SOCKET listener = BoundSocket(true, &port);
  SetPort(port);
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
}

TEST_F(WexloClient, ReleasingTheObjectInsideAHandlerEndsTheServer) {
  recorder_->handler = [&](const Event& e) {
    if (e.id == kOnDownloadFinish) ReleaseObject();
  };
  ASSERT_EQ(Request(L"/lines.txt"), 0);
  ASSERT_TRUE(WaitForFinishes(1));
  EXPECT_FALSE(object_);  // TearDown sees the server process end
}

}  // namespace
}  // namespace wex
