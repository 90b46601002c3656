// The engine's events as short lines ("connect fileserver", "finish 200 OK",
// "disconnect"), with an optional action in each and a flag for the finish:
// the one subscriber of every engine test, native and under Wine.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "common/ustring.h"
#include "server/engine/http_uc.h"

namespace wex {

class EventLog : public httpUCEvents {
 public:
  std::vector<std::string> events;
  bool finished = false;
  std::function<void()> onConnect, onFinish, onDisconnect;

  void OnConnect1(const ustring& sURL) override {
    events.push_back("connect " + ToUtf8(sURL));
    if (onConnect) onConnect();
  }
  void OnFinish1(int32_t LErrCode, const ustring& sErrStr) override {
    events.push_back("finish " + std::to_string(LErrCode) + " " + ToUtf8(sErrStr));
    finished = true;
    if (onFinish) onFinish();
  }
  void OnDisconnect1() override {
    events.push_back("disconnect");
    if (onDisconnect) onDisconnect();
  }
};

}  // namespace wex
