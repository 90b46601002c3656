// A local TCP server on 127.0.0.1 (or ::1) that plays one script on each
// connection in its own thread; a WaitCue step holds it until the test, having
// seen the client take in what came before, calls Cue(). Its destructor stops it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace wex {

class ScriptedServer {
 public:
  struct Step {
    enum Kind { kCaptureRequest, kSend, kWaitCue, kClose, kReset } kind;
    std::string bytes;
  };
  // Reads until the blank line that ends a request head and keeps the bytes.
  static Step CaptureRequest() { return {Step::kCaptureRequest, {}}; }
  static Step Send(std::string bytes) { return {Step::kSend, std::move(bytes)}; }
  static Step WaitCue() { return {Step::kWaitCue, {}}; }
  // A graceful close (FIN); the end of the script closes this way too.
  static Step Close() { return {Step::kClose, {}}; }
  // A hard close (SO_LINGER 0): the client sees a reset.
  static Step Reset() { return {Step::kReset, {}}; }

  enum class Loopback { kIpv4, kIpv6 };
  explicit ScriptedServer(std::vector<Step> script, Loopback loopback = Loopback::kIpv4);
  ~ScriptedServer();
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  uint16_t Port() const { return port_; }
  // Lets the current connection go past its next WaitCue step.
  void Cue();
  // The request bytes captured on each connection so far.
  std::vector<std::string> Requests() const;

 private:
  void Run();
  void Play(int connection);

  std::vector<Step> script_;
  int listener_ = -1;
  int connection_ = -1;  // the one being played, shut down to stop the thread
  uint16_t port_ = 0;

  mutable std::mutex mutex_;
  std::condition_variable cued_;
  int cues_ = 0;
  bool stopping_ = false;
  std::vector<std::string> requests_;
  std::thread thread_;
};

// A socket listening on 127.0.0.1 (or ::1), its port in `port`; -1 on failure.
int ListenOnLoopback(bool ipv6, uint16_t& port);

// Runs pump(timeoutMs) until done() holds or the limit passes; true if done.
template <typename Pump>
bool PumpUntil(Pump&& pump, const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(10)) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    pump(50);
  }
  return true;
}

}  // namespace wex
