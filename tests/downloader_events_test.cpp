// The Downloader's events and busy flag over a transfer, through the fake.
#include "tests/support/downloader_fixture.h"

namespace wex {
namespace {

using Events = std::vector<std::string>;

TEST_F(DownloaderTest, ASuccessfulTransferRaisesConnectDisconnectFinishInOrder) {
  auto d = Make();
  ASSERT_EQ(StartUp(*d), 0);
  EXPECT_FALSE(d->Busy());
  ASSERT_EQ(Request(*d, "http://fileserver", "docs/a.txt"), 0);
  EXPECT_EQ(filePath, "docs/a.txt");  // FilePath keeps what the script passed
  EXPECT_EQ(log.events, Events{"connect fileserver"});
  EXPECT_TRUE(d->Busy());
  ustring text = u"x";
  EXPECT_EQ(d->CurFileAsString(text), kS_OK);
  EXPECT_EQ(text, u"");

  Respond("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nab\ncd");
  EXPECT_EQ(log.events, (Events{"connect fileserver", "disconnect", "finish 200 OK"}));
  EXPECT_FALSE(d->Busy());
  int32_t size = 0;
  EXPECT_EQ(d->CurSize(size), kS_OK);
  EXPECT_EQ(size, 5);
  EXPECT_EQ(d->CurFileAsString(text), kS_OK);
  EXPECT_EQ(text, u"ab\r\ncd");
}

TEST_F(DownloaderTest, InsideTheFinishHandlerBusyIsTrueAndOnlyTheTextIsWithheld) {
  auto d = Make();
  StartUp(*d);
  ASSERT_EQ(Request(*d), 0);
  bool busy = false;
  ustring text = u"x";
  int32_t size = 0;
  int32_t saved = -1;
  ustring html;
  log.onFinish = [&] {
    busy = d->Busy();
    d->CurFileAsString(text);
    d->CurSize(size);
    Arg path("/out/feed.xml");
    Arg replace(Variant::Boolean(true));
    saved = d->WriteBinaryFile(path, replace);
    Arg items(Variant::I4(5));
    Arg withDescription(Variant::Boolean(false));
    html = d->FormatCurRSS(items, withDescription);
  };
  const std::string body = "<rss><title>News</title><item><title>One</title></item></rss>";
  Respond("HTTP/1.0 200 OK\r\n\r\n" + body);
  EXPECT_TRUE(busy);
  EXPECT_EQ(text, u"");
  EXPECT_EQ(size, static_cast<int32_t>(body.size()));
  EXPECT_EQ(saved, 0);
  EXPECT_EQ(fake->files[u"/out/feed.xml"], body);
  EXPECT_EQ(html, u"<H2>News</H2>\r\n<H4>One</H4>");
  EXPECT_FALSE(d->Busy());
}

TEST_F(DownloaderTest, ANotFoundResponseStillFinishesNormally) {
  auto d = Make();
  StartUp(*d);
  ASSERT_EQ(Request(*d), 0);
  Respond("HTTP/1.1 404 Not Found\r\n\r\n<html>gone</html>");
  EXPECT_EQ(log.events, (Events{"connect fileserver", "disconnect", "finish 404 Not Found"}));
  ustring text;
  d->CurFileAsString(text);
  EXPECT_EQ(text, u"<html>gone</html>");
}

TEST_F(DownloaderTest, AFailedReceiveFinishesWithMinusOneAndTheErrorNumber) {
  auto d = Make();
  StartUp(*d);
  ASSERT_EQ(Request(*d), 0);
  fake->ReceiveError(10054);
  fake->NotifyRead();
  fake->DeliverAll();
  EXPECT_EQ(log.events, (Events{"connect fileserver", "disconnect", "finish -1 10054"}));
  EXPECT_FALSE(d->Busy());
}

TEST_F(DownloaderTest, ShutDownMidTransferDisconnectsAtOnceAndLeavesBusySet) {
  auto d = Make();
  StartUp(*d);
  ASSERT_EQ(Request(*d), 0);
  EXPECT_EQ(d->ShutDown(), kS_OK);
  EXPECT_EQ(log.events, (Events{"connect fileserver", "disconnect"}));
  EXPECT_TRUE(d->Busy());
  fake->NotifyClose(fake->lastSocket);  // a notification posted before the cancel
  fake->DeliverAll();
  EXPECT_EQ(log.events, (Events{"connect fileserver", "disconnect"}));
  EXPECT_EQ(fake->cleanupCalls, 1);
}

TEST_F(DownloaderTest, TwoObjectsOfTheProcessBothHearOneRequestsEvents) {
  DownloaderLog second;
  auto a = Make();
  auto b = Make(&second);
  StartUp(*a);
  ASSERT_EQ(Request(*a), 0);
  EXPECT_TRUE(a->Busy());
  EXPECT_FALSE(b->Busy());
  Respond("HTTP/1.0 200 OK\r\n\r\nhello");
  const Events all{"connect fileserver", "disconnect", "finish 200 OK"};
  EXPECT_EQ(log.events, all);
  EXPECT_EQ(second.events, all);
  EXPECT_EQ(Host::Current()->Engine(), Host::Acquire()->Engine());
}

TEST_F(DownloaderTest, AHandlerThatStartsTheNextRequestKeepsBusySetUntilThatOneFinishes) {
  auto d = Make();
  StartUp(*d);
  ASSERT_EQ(Request(*d, "fileserver", "/first"), 0);
  int32_t next = -1;
  bool started = false;
  log.onFinish = [&] {
    if (started) return;
    started = true;
    next = Request(*d, "fileserver", "/second");
  };
  Respond("HTTP/1.0 200 OK\r\n\r\nfirst");
  EXPECT_EQ(next, 0);
  EXPECT_TRUE(d->Busy());  // the second transfer runs
  ustring text = u"x";
  d->CurFileAsString(text);
  EXPECT_EQ(text, u"");
  Respond("HTTP/1.0 200 OK\r\n\r\nsecond");
  EXPECT_FALSE(d->Busy());
  d->CurFileAsString(text);
  EXPECT_EQ(text, u"second");
}

TEST_F(DownloaderTest, EventArgumentsAreCopiesOfTheEnginesValues) {
  auto d = Make();
  StartUp(*d);
  ASSERT_EQ(Request(*d, "ftp://mirror", "/f"), 0);
  EXPECT_EQ(log.events, Events{"connect mirror"});
  Respond("HTTP/1.0 302 Found\r\nLocation: /new.html\r\n\r\n");
  EXPECT_EQ(log.events.back(), "finish 302 FoundLocation: /new.html");
}

}  // namespace
}  // namespace wex
