// Reaches limits of the engine that tests cannot wait for or fill: the body
// limit without gigabytes of data, the handshake time-out without 30 s.
#pragma once

#include "server/engine/http_uc.h"

namespace wex {

class httpUCTestAccess {
 public:
  static void SetBodyLimit(httpUC& engine, int32_t limit) { engine.bodyLimit_ = limit; }
  static void SetHandshakeTimeout(httpUC& engine, int32_t ms) { engine.handshakeTimeoutMs_ = ms; }
};

}  // namespace wex
