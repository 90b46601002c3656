// The dispatcher: the end of a transfer, failed receives, late and held
// notifications, handlers that call back, and blocks that cannot be stored.
#include <gtest/gtest.h>

#include "tests/support/engine_fixture.h"
#include "tests/support/engine_test_access.h"

namespace wex {
namespace {

using EngineDispatch = EngineTest;

const std::vector<std::string> kFinished200 = {"connect fileserver", "disconnect", "finish 200 OK"};

TEST_F(EngineDispatch, DisconnectComesBeforeFinishWithTheSocketGone) {
  ASSERT_EQ(Request(), 0);
  SocketHandle socket = fake->lastSocket;
  Receive("HTTP/1.0 200 OK\r\n\r\nabc");
  log.onDisconnect = log.onFinish = [&] {
    EXPECT_EQ(fake->closedSockets, std::vector<SocketHandle>{socket});
    EXPECT_FALSE(fake->IsRegistered(socket));
  };
  PeerCloses();
  EXPECT_EQ(log.events, kFinished200);
}

TEST_F(EngineDispatch, AnEmptyReadEndsTheTransferToo) {
  ASSERT_EQ(Request(), 0);
  Receive("HTTP/1.0 200 OK\r\n\r\nabc");
  fake->ReceiveEnd();
  fake->NotifyRead();
  fake->DeliverAll();
  EXPECT_EQ(log.events, kFinished200);
  EXPECT_EQ(Body(), "abc");
}

TEST_F(EngineDispatch, AFailedReceiveFinishesWithMinusOneAndTheErrorNumber) {
  // Through a read notification, and through the close notification's drain.
  for (int32_t code : {kNotifyRead, kNotifyClose}) {
    log.events.clear();
    ASSERT_EQ(Request(), 0);
    Receive("HTTP/1.0 200 OK\r\n\r\nkept");
    fake->ReceiveError(10054);
    fake->Notify(code);
    fake->DeliverAll();
    EXPECT_EQ(log.events,
              (std::vector<std::string>{"connect fileserver", "disconnect", "finish -1 10054"}));
    EXPECT_EQ(Body(), "kept");
  }
}

TEST_F(EngineDispatch, WouldBlockIsNotAFailure) {
  ASSERT_EQ(Request(), 0);
  fake->ReceiveError(10035);
  fake->NotifyRead();
  fake->DeliverAll();
  EXPECT_EQ(log.events.size(), 1u);
  Receive("HTTP/1.0 200 OK\r\n\r\nabc");
  // A close whose drain meets "would block" has simply ended.
  fake->ReceiveError(10035);
  fake->NotifyClose();
  fake->DeliverAll();
  EXPECT_EQ(log.events, kFinished200);
}

TEST_F(EngineDispatch, OtherCodesAreIgnored) {
  ASSERT_EQ(Request(), 0);
  for (int32_t code : {0, -1, 2, 8, 16, 33}) fake->Notify(code);
  fake->DeliverAll();
  EXPECT_EQ(fake->CallCount("Receive("), 0);
  EXPECT_EQ(log.events.size(), 1u);
}

TEST_F(EngineDispatch, LateNotificationsAreDropped) {
  ASSERT_EQ(Request(), 0);
  SocketHandle socket = fake->lastSocket;
  fake->ReceiveData("HTTP/1.0 200 OK\r\n\r\nabc");
  fake->NotifyRead();
  fake->NotifyRead();  // both posted before the close
  fake->NotifyClose();
  fake->ReceiveEnd();
  fake->Deliver();
  fake->Deliver();
  EXPECT_EQ(log.events, kFinished200);
  const int receives = fake->CallCount("Receive(");
  fake->DeliverAll();  // the close notification, now late
  // Delivered straight to the engine, as an odd platform might.
  engine->OnSocketNotification(socket, kNotifyRead, 0);
  engine->OnSocketNotification(socket + 1000, kNotifyClose, 0);
  EXPECT_EQ(fake->CallCount("Receive("), receives);
  EXPECT_EQ(log.events, kFinished200);
}

TEST_F(EngineDispatch, NotificationsDuringAnOperationArePostedAgainInOrder) {
  // The platform delivers while the engine is sending, as a modal loop would.
  fake->onSend = [&] {
    fake->ReceiveData("HTTP/1.0 200 OK\r\n\r\nab");
    fake->ReceiveData("c");
    fake->NotifyRead();
    fake->NotifyRead();
    fake->DeliverAll();
    EXPECT_EQ(fake->CallCount("Receive("), 0);
  };
  ASSERT_EQ(Request(), 0);
  fake->onSend = nullptr;
  // Nothing is handled at the end of the request: both wait in the queue.
  EXPECT_EQ(fake->CallCount("Receive("), 0);
  EXPECT_EQ(fake->postedAgain, 2);
  fake->DeliverAll();
  EXPECT_EQ(fake->CallCount("Receive("), 2);
  EXPECT_EQ(Body(), "abc");
  PeerCloses();
  EXPECT_EQ(log.events, kFinished200);
}

TEST_F(EngineDispatch, HeldNotificationsOfAClosedSocketAreDropped) {
  ustring sErr;
  engine->StartUp1(sErr);
  log.onConnect = [&] {
    fake->NotifyRead();
    fake->DeliverAll();  // held: the engine is inside RequestFile1
    engine->CloseDown();
  };
  EXPECT_EQ(Request(), 99);
  EXPECT_EQ(fake->CallCount("Receive("), 0);
  EXPECT_EQ(log.events, (std::vector<std::string>{"connect fileserver", "disconnect"}));
}

TEST_F(EngineDispatch, AHandlerMayStartTheNextRequestFromOnFinish) {
  int32_t next = -1;
  log.onFinish = [&] {
    log.onFinish = nullptr;
    next = Request("fileserver", "/next");
  };
  ASSERT_EQ(Request(), 0);
  SocketHandle first = fake->lastSocket;
  Receive("HTTP/1.0 200 OK\r\n\r\nfirst");
  PeerCloses();
  EXPECT_EQ(next, 0);
  EXPECT_NE(fake->lastSocket, first);
  EXPECT_EQ(RequestBytes().substr(0, 10), "GET /next ");
  EXPECT_EQ(engine->CurSize1(), 0);
  Receive("HTTP/1.0 404 Not Found\r\n\r\nsecond");
  PeerCloses();
  EXPECT_EQ(Body(), "second");
  EXPECT_EQ(log.events,
            (std::vector<std::string>{"connect fileserver", "disconnect", "finish 200 OK",
                                      "connect fileserver", "disconnect", "finish 404 Not Found"}));
}

TEST_F(EngineDispatch, AHandlerMayDropTheLastOwner) {
  // During OnFinish1, and during OnDisconnect1 (OnFinish1 still follows).
  for (bool inFinish : {true, false}) {
    EventLog events;
    auto platform = std::make_shared<FakePlatform>();
    auto uc = httpUC::Create(platform);
    uc->Subscribe(&events);
    ustring sErr, server = u"fileserver", path = u"/";
    uc->StartUp1(sErr);
    ASSERT_EQ(uc->RequestFile1(server, path), 0);
    (inFinish ? events.onFinish : events.onDisconnect) = [&] { uc.reset(); };
    platform->ReceiveData("HTTP/1.0 200 OK\r\n\r\nabc");
    platform->ReceiveEnd();
    platform->NotifyClose();
    platform->DeliverAll();
    EXPECT_EQ(uc, nullptr);
    EXPECT_EQ(events.events,
              (std::vector<std::string>{"connect fileserver", "disconnect", "finish 200 OK"}));
    EXPECT_EQ(platform->cleanupCalls, 1);
  }
}

TEST_F(EngineDispatch, UnsubscribingDuringARaiseTakesEffectAtOnce) {
  EventLog second, third;
  engine->Subscribe(&second);
  engine->Subscribe(&third);
  log.onFinish = [&] { engine->Unsubscribe(&second); };
  third.onFinish = [&] { engine->Unsubscribe(&third); };
  ASSERT_EQ(Request(), 0);
  Receive("HTTP/1.0 200 OK\r\n\r\n");
  PeerCloses();
  EXPECT_EQ(log.events, kFinished200);
  EXPECT_EQ(second.events, (std::vector<std::string>{"connect fileserver", "disconnect"}));
  EXPECT_EQ(third.events, kFinished200);
  ASSERT_EQ(Request(), 0);
  EXPECT_EQ(third.events.size(), 3u);
}

TEST_F(EngineDispatch, ABlockThatCannotBeStoredEndsTheTransfer) {
  httpUCTestAccess::SetBodyLimit(*engine, 10);
  ASSERT_EQ(Request(), 0);
  Receive("HTTP/1.0 200 OK\r\n\r\n12345678");
  Receive("9");
  Receive("ab");  // would pass the limit
  EXPECT_EQ(log.events,
            (std::vector<std::string>{"connect fileserver", "disconnect", "finish -1 10055"}));
  EXPECT_EQ(Body(), "123456789");
  EXPECT_EQ(engine->CurSize1(), 9);

  // In the close path, and for a head that never completed.
  log.events.clear();
  ASSERT_EQ(Request(), 0);
  fake->ReceiveData("no head, just text");
  fake->ReceiveEnd();
  fake->NotifyClose();
  fake->DeliverAll();
  EXPECT_EQ(log.events,
            (std::vector<std::string>{"connect fileserver", "disconnect", "finish -1 10055"}));
}

}  // namespace
}  // namespace wex
