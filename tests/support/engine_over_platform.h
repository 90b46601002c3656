// An engine over a real platform, started, with the event log subscribed:
// the one fixture of the end-to-end engine tests, plain and secure, native
// and under Wine. Each suite pumps its platform its own way.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "common/ustring.h"
#include "server/engine/http_uc.h"
#include "tests/support/event_log.h"

namespace wex {

class EngineOverPlatform : public ::testing::Test {
 protected:
  explicit EngineOverPlatform(std::shared_ptr<Platform> platform)
      : engine(httpUC::Create(std::move(platform))) {
    engine->Subscribe(&events);
    ustring error;
    EXPECT_EQ(engine->StartUp1(error), 0);
  }
  ~EngineOverPlatform() override {
    engine->Unsubscribe(&events);
    engine->CloseDown();
  }

  // RequestFile1 on `port` with a fresh log; the changed path (a failure's
  // message) lands in `message`.
  int32_t Request(uint16_t port, const std::string& server, const std::string& path,
                  std::string* message = nullptr) {
    events = EventLog();
    engine->Port(port);
    ustring sServer = FromUtf8(server), sFile = FromUtf8(path);
    const int32_t result = engine->RequestFile1(sServer, sFile);
    if (message != nullptr) *message = ToUtf8(sFile);
    return result;
  }
  // The body as the chunks hold it.
  std::string Body() const {
    std::string body;
    for (const Chunk& chunk : *engine->CurFileBytes1()) body.append(chunk.begin(), chunk.end());
    return body;
  }

  std::shared_ptr<httpUC> engine;
  EventLog events;
};

}  // namespace wex
