// Subscription and the raising of the three events.
#include <algorithm>

#include "server/engine/http_uc.h"

namespace wex {

void httpUC::Subscribe(httpUCEvents* subscriber) {
  if (subscriber == nullptr) return;
  if (std::find(subscribers_.begin(), subscribers_.end(), subscriber) != subscribers_.end()) return;
  subscribers_.push_back(subscriber);
}

void httpUC::Unsubscribe(httpUCEvents* subscriber) {
  subscribers_.erase(std::remove(subscribers_.begin(), subscribers_.end(), subscriber),
                     subscribers_.end());
}

// Calls every subscriber of the moment of the raise that is still subscribed
// when its turn comes. The engine keeps itself alive meanwhile, since a
// handler may drop its last owner (during destruction there is none to hold).
template <typename Call>
void httpUC::Raise(const Call& call) {
  std::shared_ptr<httpUC> self = weak_from_this().lock();
  const std::vector<httpUCEvents*> snapshot = subscribers_;
  for (httpUCEvents* subscriber : snapshot) {
    if (std::find(subscribers_.begin(), subscribers_.end(), subscriber) == subscribers_.end()) {
      continue;
    }
    call(*subscriber);
  }
}

// The arguments are copied first: a handler may change what they came from.
void httpUC::RaiseConnect(const ustring& sURL) {
  const ustring url = sURL;
  Raise([&url](httpUCEvents& subscriber) { subscriber.OnConnect1(url); });
}

void httpUC::RaiseFinish(int32_t LErrCode, const ustring& sErrStr) {
  const ustring text = sErrStr;
  Raise([LErrCode, &text](httpUCEvents& subscriber) { subscriber.OnFinish1(LErrCode, text); });
}

void httpUC::RaiseDisconnect() {
  Raise([](httpUCEvents& subscriber) { subscriber.OnDisconnect1(); });
}

}  // namespace wex
