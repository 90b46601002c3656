// The dispatcher: ends of transfers, stray notifications, re-entrant handlers.
#include <gtest/gtest.h>

#include "tests/support/engine_fixture.h"
#include "tests/support/engine_test_access.h"

namespace wex {
namespace {

using EngineDispatch = EngineTest;

const std::vector<std::string> kFinished200 = {"connect fileserver", "disconnect", "finish 200 OK"};

// The socket is gone before either event, and the bytes received are kept.
TEST_F(EngineDispatch, HowATransferEnds) {
  enum End { kReadEmpty, kClose, kReadFails, kCloseDrainFails };
  struct Case {
    std::string head;
    std::string body;
    End end;
    int32_t error;  // of the close notification or of the failing receive
    std::string finish;
  } cases[] = {
      {"200 OK\r\nContent-Length: 10", "0123456789", kClose, 0, "200 OK"},
      {"200 OK\r\nContent-Length: 10", "0123", kClose, 0, "-1 10054"},
      {"200 OK\r\nContent-Length: 10", "0123", kReadEmpty, 0, "-1 10054"},
      {"200 OK\r\nContent-Length: 10", "", kClose, 0, "-1 10054"},
      {"200 OK\r\nContent-Length: 4", "012345", kClose, 0, "200 OK"},
      {"200 OK", "0123", kClose, 0, "200 OK"},
      {"200 OK", "0123", kReadEmpty, 0, "200 OK"},
      {"204 No Content\r\nContent-Length: 10", "", kClose, 0, "204 No Content"},
      {"200 OK\r\nContent-Length: 10", "0123", kClose, 10053, "-1 10053"},
      {"200 OK", "0123", kClose, 10054, "-1 10054"},
      {"200 OK\r\nContent-Length: 4", "0123", kClose, 10054, "200 OK"},
      {"200 OK", "kept", kReadFails, 10054, "-1 10054"},
      {"200 OK", "kept", kReadFails, kSecEDecryptFailure, "-1 -2146893008"},
      {"200 OK", "kept", kCloseDrainFails, 10054, "-1 10054"},
      {"200 OK", "abc", kCloseDrainFails, 10035, "200 OK"},  // would block: simply ended
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.head + " " + c.finish);
    log.events.clear();
    ASSERT_EQ(Request(), 0);
    const SocketHandle socket = fake->lastSocket;
    log.onDisconnect = log.onFinish = [&] {
      EXPECT_EQ(fake->closedSockets.back(), socket);
      EXPECT_FALSE(fake->IsRegistered(socket));
    };
    // Would block, and codes that are neither read nor close, are no end.
    const int receives = fake->CallCount("Receive(");
    fake->ReceiveError(10035);
    for (int32_t code : {0, -1, 2, 8, 16, 33, kNotifyRead}) fake->Notify(code);
    fake->DeliverAll();
    EXPECT_EQ(fake->CallCount("Receive("), receives + 1);
    EXPECT_EQ(log.events.size(), 1u);
    Receive("HTTP/1.0 " + c.head + "\r\n\r\n" + c.body);
    if (c.end == kReadFails || c.end == kCloseDrainFails) {
      fake->ReceiveError(c.error);
    } else {
      fake->ReceiveEnd();
    }
    fake->Notify(c.end == kReadEmpty || c.end == kReadFails ? kNotifyRead : kNotifyClose, 0,
                 c.end == kClose ? c.error : 0);
    fake->DeliverAll();
    EXPECT_EQ(log.events,
              (std::vector<std::string>{"connect fileserver", "disconnect", "finish " + c.finish}));
    EXPECT_EQ(Body(), c.body);
  }
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
  EXPECT_EQ(fake->CallCount("Receive("), 0);
  EXPECT_EQ(fake->postedAgain, 2);
  fake->DeliverAll();
  EXPECT_EQ(fake->CallCount("Receive("), 2);
  EXPECT_EQ(Body(), "abc");
  PeerCloses();
  EXPECT_EQ(log.events, kFinished200);
}

TEST_F(EngineDispatch, AHandlerMayDropTheLastOwner) {
  // During OnFinish1, and during OnDisconnect1 (OnFinish1 still follows).
  for (bool inFinish : {true, false}) {
    Fresh();
    ASSERT_EQ(Request(), 0);
    (inFinish ? log.onFinish : log.onDisconnect) = [&] { engine.reset(); };
    fake->ReceiveData("HTTP/1.0 200 OK\r\n\r\nabc");
    fake->ReceiveEnd();
    fake->NotifyClose();
    fake->DeliverAll();
    EXPECT_EQ(engine, nullptr);
    EXPECT_EQ(log.events, kFinished200);
    EXPECT_EQ(fake->cleanupCalls, 1);
    log.onFinish = log.onDisconnect = nullptr;
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
