// The guard every public operation of the engine runs under.
//
// A handler may drop the last owner of the engine during a raise, so the guard
// holds a reference for as long as the operation runs. Notifications that
// arrive meanwhile are held (see OnSocketNotification); the outermost
// operation posts them again, in arrival order, when it ends. They are then
// handled from the thread's message loop, so they never run in the middle of
// another operation, nor inside the script's call that an operation serves
// (RequestFile returns before the transfer it started can finish).
#pragma once

#include <memory>

#include "server/engine/http_uc.h"

namespace wex {

class httpUC::Operation {
 public:
  explicit Operation(httpUC& engine) : engine_(engine), self_(engine.weak_from_this().lock()) {
    ++engine_.operationDepth_;
  }
  ~Operation() {
    // Without an owner the engine is being destroyed: nothing more is handled.
    if (engine_.operationDepth_ == 1 && self_) engine_.PostHeldNotificationsAgain();
    --engine_.operationDepth_;
    // self_ is released after this body and may destroy the engine.
  }
  Operation(const Operation&) = delete;
  Operation& operator=(const Operation&) = delete;

 private:
  httpUC& engine_;
  std::shared_ptr<httpUC> self_;
};

}  // namespace wex
