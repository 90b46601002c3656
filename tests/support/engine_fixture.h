// The engine's unit-test fixture: a fake platform, a started engine, its event
// log, and small steps of a transfer.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/ustring.h"
#include "server/engine/http_uc.h"
#include "tests/support/event_log.h"
#include "tests/support/fake_platform.h"

namespace wex {

// An engine whose socket library is started, as a script starts it first.
inline std::shared_ptr<httpUC> StartedEngine(std::shared_ptr<Platform> platform) {
  auto engine = httpUC::Create(std::move(platform));
  ustring error;
  engine->StartUp1(error);
  return engine;
}

class EngineTest : public ::testing::Test {
 protected:
  // The log outlives the engine: destroying the engine may still raise.
  EventLog log;
  std::shared_ptr<FakePlatform> fake;
  std::shared_ptr<httpUC> engine;

  EngineTest() { Fresh(); }

  // A fresh platform, scripted by `script`, under a fresh started engine and an empty log.
  void Fresh(const std::function<void(FakePlatform&)>& script = nullptr) {
    fake = std::make_shared<FakePlatform>();
    if (script) script(*fake);
    engine = StartedEngine(fake);
    engine->Subscribe(&log);
    log.events.clear();
  }
  // RequestFile1 with UTF-8 arguments; the changed path lands in `file`.
  int32_t Request(const std::string& server = "fileserver", const std::string& path = "/a") {
    ustring s = FromUtf8(server);
    ustring f = FromUtf8(path);
    int32_t result = engine->RequestFile1(s, f);
    file = ToUtf8(f);
    return result;
  }
  // One read notification that receives `bytes`.
  void Receive(const std::string& bytes) {
    fake->ReceiveData(bytes);
    fake->NotifyRead();
    fake->DeliverAll();
  }
  // The peer closes: a close notification whose drain ends at once.
  void PeerCloses() {
    fake->ReceiveEnd();
    fake->NotifyClose();
    fake->DeliverAll();
  }
  // The body as the chunks hold it.
  std::string Body() const {
    std::string body;
    for (const Chunk& chunk : *engine->CurFileBytes1()) body.append(chunk.begin(), chunk.end());
    return body;
  }
  std::string Text() const { return ToUtf8(engine->CurFileString1()); }
  std::string RequestBytes() const { return fake->sent[fake->lastSocket]; }

  std::string file;
};

}  // namespace wex
