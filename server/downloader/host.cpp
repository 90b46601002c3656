// The per-process host of the engine.
#include "server/downloader/host.h"

#include <algorithm>

namespace wex {

std::shared_ptr<Platform> MakeDefaultPlatform();  // host_platform_*.cpp

namespace {

// The process's reference to its host: dropped by Unload, so that the next
// construction creates a new one.
std::shared_ptr<Host>& CurrentHost() {
  static std::shared_ptr<Host> current;
  return current;
}

Host::PlatformFactory& Factory() {
  static Host::PlatformFactory factory;
  return factory;
}

}  // namespace

std::shared_ptr<Host> Host::Acquire() {
  std::shared_ptr<Host>& current = CurrentHost();
  if (!current) current = std::shared_ptr<Host>(new Host());
  return current;
}

std::shared_ptr<Host> Host::Current() { return CurrentHost(); }

void Host::SetPlatformFactory(PlatformFactory factory) { Factory() = std::move(factory); }

// Loading the form constructs its engine. The host subscribes before any
// Downloader, so that it sees the start of every finish first.
Host::Host() {
  platform_ = Factory() ? Factory()() : MakeDefaultPlatform();
  if (!platform_) return;
  engine_ = httpUC::Create(platform_);
  if (engine_) engine_->Subscribe(this);
}

Host::~Host() { Unload(); }

void Host::Unload() {
  if (engine_) {
    engine_->Unsubscribe(this);
    engine_.reset();  // destroys UC1, unless a raise in progress still holds it
  }
  std::shared_ptr<Host>& current = CurrentHost();
  if (current.get() == this) current.reset();
}

int Host::Pump(int timeoutMs) { return platform_ ? platform_->Pump(timeoutMs) : 0; }

bool Host::PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds deadline) {
  const auto end = std::chrono::steady_clock::now() + deadline;
  while (!done()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    Pump(static_cast<int>(std::min<long long>(left.count(), 100)));
  }
  return done();
}

}  // namespace wex
