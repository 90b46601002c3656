// The per-process host of the engine (the hidden form F1): it owns the one
// engine UC1 and, through the platform, its notification window T1. Created
// by the first Downloader of the process (or the first after it was
// destroyed), shared by every Downloader, unloaded by the destruction of any.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

#include "server/engine/http_uc.h"
#include "server/engine/platform.h"

namespace wex {

class Host final : private httpUCEvents {
 public:
  using PlatformFactory = std::function<std::shared_ptr<Platform>()>;

  // The process's host, created (and loaded) when there is none.
  static std::shared_ptr<Host> Acquire();
  // The process's host if there is one, without creating it.
  static std::shared_ptr<Host> Current();
  // Which platform new hosts use (tests install the fake); null restores the
  // platform of the build (POSIX natively, Win32 on Windows).
  static void SetPlatformFactory(PlatformFactory factory);

  ~Host();

  // UC1 while loaded, else null.
  std::shared_ptr<httpUC> Engine() const { return engine_; }
  bool Loaded() const { return engine_ != nullptr; }

  // Destroys UC1 (after the caller's CloseDown) and makes the process forget
  // this host, so that the next construction creates a new one.
  void Unload();

  // Counts transfers started by any Downloader of the process, so that a
  // finish relay can tell whether a handler started the next transfer since
  // the finishing one began to end (its OnDisconnect1, which always comes
  // first): the flag then belongs to that newer transfer.
  void NoteTransferStarted() { ++transfersStarted_; }
  bool TransferStartedSinceEndBegan() const { return transfersStarted_ != endingAt_; }

  // Natively: handles the platform's pending notifications, waiting at most
  // timeoutMs for one; on Windows the message loop does this. Returns how
  // many were delivered.
  int Pump(int timeoutMs);
  // Pumps until done() is true or the deadline passes; returns done().
  bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds deadline);

 private:
  Host();

  // Subscribed first, before any Downloader: marks where each transfer
  // begins to end. A finish always follows its transfer's OnDisconnect1
  // directly, so requests started by handlers of either event count.
  void OnConnect1(const ustring&) override {}
  void OnFinish1(int32_t, const ustring&) override {}
  void OnDisconnect1() override { endingAt_ = transfersStarted_; }

  std::shared_ptr<Platform> platform_;
  std::shared_ptr<httpUC> engine_;
  uint64_t transfersStarted_ = 0;
  uint64_t endingAt_ = 0;
};

}  // namespace wex
