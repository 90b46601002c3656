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

// The lines and actions, whichever interface raises the events.
struct EventLines {
  std::vector<std::string> events;
  bool finished = false;
  std::function<void()> onConnect, onFinish, onDisconnect;

  void Connected(const ustring& url) {
    events.push_back("connect " + ToUtf8(url));
    if (onConnect) onConnect();
  }
  void Finished(int32_t code, const ustring& text) {
    events.push_back("finish " + std::to_string(code) + " " + ToUtf8(text));
    finished = true;
    if (onFinish) onFinish();
  }
  void Disconnected() {
    events.push_back("disconnect");
    if (onDisconnect) onDisconnect();
  }
};

class EventLog : public httpUCEvents, public EventLines {
 public:
  void OnConnect1(const ustring& sURL) override { Connected(sURL); }
  void OnFinish1(int32_t LErrCode, const ustring& sErrStr) override { Finished(LErrCode, sErrStr); }
  void OnDisconnect1() override { Disconnected(); }
};

}  // namespace wex
