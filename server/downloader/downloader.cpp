// Construction, destruction and the relaying of the engine's events.
#include "server/downloader/downloader.h"

#include "server/downloader/host.h"
#include "server/rss/mod_rss.h"

namespace wex {

std::shared_ptr<Downloader> Downloader::Create() {
  return std::shared_ptr<Downloader>(new Downloader());
}

// Each step is skipped when it fails; an object without a host answers the
// members that ask the engine with an automation error.
Downloader::Downloader() {
  busy_ = false;
  try {
    host_ = Host::Acquire();
  } catch (const std::exception&) {
    host_.reset();
  }
  if (auto engine = Engine()) {
    engine->Subscribe(this);
    subscribedTo_ = engine;
  }
  InitFragments();
}

// The order matters: the object stops listening before the engine is closed,
// so the OnDisconnect1 that closing may raise no longer reaches it. The
// subscription is ended on the engine it was made with even when another
// object already unloaded the host, since a raise in progress may keep that
// engine alive a little longer.
Downloader::~Downloader() {
  if (auto engine = subscribedTo_.lock()) engine->Unsubscribe(this);
  subscribedTo_.reset();
  if (auto engine = Engine()) engine->CloseDown();
  if (host_) host_->Unload();
  host_.reset();
}

void Downloader::SetListener(DownloaderEvents* listener) { listener_ = listener; }

std::shared_ptr<httpUC> Downloader::Engine() const { return host_ ? host_->Engine() : nullptr; }

// Every relay holds the object (and its host) alive across the raise: a
// handler may release the last reference to it.
void Downloader::OnConnect1(const ustring& sURL) {
  auto self = weak_from_this().lock();
  if (!self || !listener_) return;
  const ustring ServerURL = sURL;
  listener_->OnConnect(ServerURL);
}

void Downloader::OnDisconnect1() {
  auto self = weak_from_this().lock();
  if (!self || !listener_) return;
  listener_->OnDisconnect();
}

// The busy flag is cleared once every handler has returned, unless a handler
// of this finish or of the OnDisconnect before it started the next transfer:
// that transfer is running now and its own finish will clear the flag.
void Downloader::OnFinish1(int32_t LErrCode, const ustring& sErrStr) {
  auto self = weak_from_this().lock();
  if (!self) return;
  std::shared_ptr<Host> host = host_;
  if (listener_) {
    const int32_t ResponseCode = LErrCode;
    const ustring ResponseString = sErrStr;
    listener_->OnDownloadFinish(ResponseCode, ResponseString);
  }
  if (!host || !host->TransferStartedSinceEndBegan()) busy_ = false;
}

}  // namespace wex
