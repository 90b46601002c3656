// The Downloader's members one by one: results, write-backs, conversions.
#include "server/downloader/member_errors.h"
#include "server/resources/message_table.h"
#include "tests/support/downloader_fixture.h"

namespace wex {
namespace {

uint16_t NetworkPort(uint16_t port) { return static_cast<uint16_t>((port >> 8) | (port << 8)); }

TEST_F(DownloaderTest, StartUpTwiceSucceedsAndEmptiesErrStringEachTime) {
  auto d = Make();
  for (int i = 0; i < 2; ++i) {
    Arg err("left over");
    int32_t result = -1;
    EXPECT_EQ(d->StartUp(err, result), kS_OK);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(err.Text(), "");
  }
  EXPECT_EQ(fake->CallCount("Startup("), 1);
}

TEST_F(DownloaderTest, AFailedStartUpReturnsTheMessageNumberAndItsText) {
  auto d = Make();
  fake->startupResults.push_back(10091);
  Arg err("");
  int32_t result = -1;
  EXPECT_EQ(d->StartUp(err, result), kS_OK);
  EXPECT_EQ(result, 101);
  EXPECT_EQ(err.Text(), "System not ready for network communication.");
}

TEST_F(DownloaderTest, PortTakesNumericValuesByTheAutomationRules) {
  struct Case {
    const char* name;
    Variant value;
    uint16_t port;
  };
  const Case cases[] = {
      {"string 81", Variant::String(u"81"), 81},
      {"not a number", Variant::String(u"abc"), 80},  // ignored: the port stays as it was
      {"1E+20", Variant::R8(1e20), 0},
      {"80.5", Variant::R8(80.5), 80},
      {"81.5", Variant::R8(81.5), 82},
      {"Null", Variant::Null(), 80},
      {"65616", Variant::I4(65616), 80},  // only the low 16 bits reach the connection
  };
  for (const Case& c : cases) {
    auto d = Make();
    StartUp(*d);
    Arg port(c.value);
    d->Port(port);
    ASSERT_EQ(Request(*d), 0) << c.name;
    EXPECT_EQ(fake->connectAddresses.back().port, NetworkPort(c.port)) << c.name;
    d->ShutDown();
  }
}

TEST_F(DownloaderTest, OnlineAndProxyAreAskedAfreshOnEveryRead) {
  auto d = Make();
  bool value = false;
  EXPECT_EQ(d->Online(value), kS_OK);
  EXPECT_TRUE(value);
  fake->online = false;
  fake->connectionFlags = 0x04;
  EXPECT_EQ(d->Online(value), kS_OK);
  EXPECT_FALSE(value);
  EXPECT_EQ(d->ProxyConnection(value), kS_OK);
  EXPECT_TRUE(value);  // answered from the flags even when offline
}

// Every refusal: the result, what FilePath holds, no event, busy unchanged.
TEST_F(DownloaderTest, RefusedRequestsWriteTheMessageIntoFilePath) {
  struct Case {
    const char* name;
    const char* server;
    const char* path;
    std::function<void(FakePlatform&)> script;
    int32_t result;
    std::string filePath;
  };
  auto text = [](int32_t n) { return ToUtf8(MessageText(n)); };
  const Case cases[] = {
      {"empty server", "", "/a", nullptr, 113, text(113)},
      {"both empty", "", "", nullptr, 113, text(113)},
      {"only a prefix", "http://", "/a", nullptr, 113, text(113)},
      {"empty path", "fileserver", "", nullptr, 114, text(114)},
      {"offline", "fileserver", "/a", [](FakePlatform& f) { f.online = false; }, 106, text(106)},
      {"proxy", "fileserver", "/a", [](FakePlatform& f) { f.connectionFlags = 0x14; }, 107,
       text(107)},
      {"no socket", "fileserver", "/a",
       [](FakePlatform& f) {
         f.createSocketResults.push_back({-1, 10093});
       },
       109, text(109) + "10093"},
      {"unknown host", "no-such-host", "/a",
       [](FakePlatform& f) { f.resolveResults.push_back(std::nullopt); }, 112, text(112)},
      {"refused", "fileserver", "/a",
       [](FakePlatform& f) {
         f.connectResults.push_back({-1, 10061});
       },
       110, text(110) + "10061"},
      {"no notifications", "fileserver", "/a",
       [](FakePlatform& f) {
         f.asyncSelectResults.push_back({-1, 10022});
       },
       111, text(111) + "10022"},
  };
  for (const Case& c : cases) {
    auto fresh = std::make_shared<FakePlatform>();
    fake = fresh;
    if (c.script) c.script(*fake);
    DownloaderLog quiet;
    auto d = Make(&quiet);
    StartUp(*d);
    EXPECT_EQ(Request(*d, c.server, c.path), c.result) << c.name;
    EXPECT_EQ(filePath, c.filePath) << c.name;
    EXPECT_TRUE(quiet.events.empty()) << c.name;
    EXPECT_FALSE(d->Busy()) << c.name;
  }
}

TEST_F(DownloaderTest, AFailedSendGivesNinetyNineWithTheErrorNumberAfterOnConnect) {
  auto d = Make();
  StartUp(*d);
  fake->SendFails(10054);
  EXPECT_EQ(Request(*d), 99);
  EXPECT_EQ(filePath, "10054");
  EXPECT_EQ(log.events, std::vector<std::string>{"connect fileserver"});
  EXPECT_FALSE(d->Busy());
}

TEST_F(DownloaderTest, ArgumentsThatDoNotConvertAreAnAutomationErrorAndNothingElse) {
  auto d = Make();
  StartUp(*d);
  Arg server(Variant::Null());
  Arg path("/a");
  int32_t result = 12345;
  EXPECT_EQ(d->RequestFile(server, path, result), kDISP_E_TYPEMISMATCH);
  Arg server2("fileserver");
  Arg path2(Variant::Array());
  EXPECT_TRUE(Failed(d->RequestFile(server2, path2, result)));
  EXPECT_EQ(result, 12345);
  EXPECT_EQ(fake->CallCount("CreateSocket("), 0);
  EXPECT_TRUE(log.events.empty());
  EXPECT_FALSE(d->Busy());
}

TEST_F(DownloaderTest, EveryRequestThatReachesTheEngineDiscardsThePreviousDownload) {
  auto d = Make();
  StartUp(*d);
  ASSERT_EQ(Request(*d), 0);
  Respond("HTTP/1.0 200 OK\r\n\r\nbody");
  int32_t size = -1;
  d->CurSize(size);
  ASSERT_EQ(size, 4);
  EXPECT_EQ(Request(*d, "fileserver", ""), 114);
  d->CurSize(size);
  EXPECT_EQ(size, 0);
  ustring text = u"x";
  d->CurFileAsString(text);
  EXPECT_EQ(text, u"");
}

TEST_F(DownloaderTest, OutputMembersFallBackWhenTheirArgumentsDoNotConvert) {
  auto d = Make();
  StartUp(*d);
  ASSERT_EQ(Request(*d), 0);
  Respond("HTTP/1.0 200 OK\r\n\r\n<title>T</title><item><title>I</title></item>");
  Arg items("many");                     // not a number: no items
  Arg withDescription(Variant::Null());  // not a Boolean: False
  EXPECT_EQ(d->FormatCurRSS(items, withDescription), u"<H2>T</H2>");

  Arg nullPath(Variant::Null());  // not a string: the empty path
  Arg replace(Variant::Boolean(true));
  fake->uncreatable.insert(u"");
  EXPECT_EQ(d->WriteTextFile(nullPath, replace), 3);

  Arg path("/out/a.txt");
  Arg keep(Variant::String(u"maybe"));  // not a Boolean: False
  EXPECT_EQ(d->WriteTextFile(path, keep), 0);
  EXPECT_EQ(d->WriteTextFile(path, keep), 1);  // exists, and may not be replaced
}

TEST_F(DownloaderTest, FormatCurRSSOfAnEmptyBodyIsEmpty) {
  auto d = Make();
  Arg items(Variant::I4(10));
  Arg withDescription(Variant::Boolean(true));
  EXPECT_EQ(d->FormatCurRSS(items, withDescription), u"");
}

TEST_F(DownloaderTest, AfterAnotherObjectWasDestroyedMembersFailWithoutHarm) {
  auto survivor = Make();
  StartUp(*survivor);
  auto first = Host::Current();
  Make().reset();  // its destruction unloads the shared host
  EXPECT_EQ(Host::Current(), nullptr);

  bool flag = false;
  int32_t number = 0;
  ustring text;
  Arg err("");
  EXPECT_EQ(survivor->Online(flag), kObjectNotSet);
  EXPECT_EQ(survivor->ProxyConnection(flag), kObjectNotSet);
  EXPECT_EQ(survivor->CurSize(number), kObjectNotSet);
  EXPECT_EQ(survivor->CurFileAsString(text), kObjectNotSet);
  EXPECT_EQ(survivor->StartUp(err, number), kObjectNotSet);
  EXPECT_EQ(survivor->ShutDown(), kObjectNotSet);
  Arg s("fileserver");
  Arg f("/a");
  EXPECT_EQ(survivor->RequestFile(s, f, number), kObjectNotSet);
  EXPECT_FALSE(survivor->Busy());
  Arg port(Variant::I4(81));
  survivor->Port(port);
  Arg path("/out/x");
  Arg replace(Variant::Boolean(true));
  EXPECT_EQ(survivor->WriteBinaryFile(path, replace), 0);
  EXPECT_EQ(survivor->FormatCurRSS(port, replace), u"");

  auto next = Make();  // a new construction creates a fresh host
  ASSERT_NE(Host::Current(), nullptr);
  EXPECT_NE(Host::Current(), first);
  EXPECT_EQ(StartUp(*next), 0);
}

}  // namespace
}  // namespace wex
