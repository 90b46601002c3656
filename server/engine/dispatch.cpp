// The socket event dispatcher: one receive per read notification, a drain on
// the close notification, the response head collected until its blank line,
// and the end of the transfer (OnDisconnect1, then OnFinish1).
#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "server/engine/http_uc.h"
#include "server/engine/operation.h"

namespace wex {

// While the engine is inside one of its operations (including a raise whose
// handler runs a modal loop), a notification is held; the outermost operation
// posts the held ones again when it ends (see operation.h).
void httpUC::OnSocketNotification(SocketHandle socket, int32_t code, int32_t error) {
  if (operationDepth_ > 0) {
    try {
      heldNotifications_.push_back({socket, code, error});
    } catch (const std::bad_alloc&) {
      // Nothing can be held without memory; the platform notifies again while
      // data remains.
    }
    return;
  }
  Operation operation(*this);
  Dispatch(socket, code, error);
}

// Hands the held notifications back to the platform, in order, to arrive
// again through the thread's message loop: this runs at the end of the
// outermost operation, which may itself run inside a script's call (a
// RequestFile whose OnConnect handler let the notifications in), and a
// transfer must never finish inside the call that started it. Notifications
// of a socket that is no longer the open connection are late and dropped.
// One the platform cannot take is handled now: late is better than lost.
void httpUC::PostHeldNotificationsAgain() {
  while (!heldNotifications_.empty()) {
    HeldNotification held = heldNotifications_.front();
    heldNotifications_.pop_front();
    if (LSock <= 0 || held.socket != LSock) continue;
    if (!platform_->PostNotification(this, held.socket, held.code, held.error)) {
      Dispatch(held.socket, held.code, held.error);
    }
  }
}

void httpUC::DropHeldNotifications(SocketHandle socket) {
  heldNotifications_.erase(
      std::remove_if(heldNotifications_.begin(), heldNotifications_.end(),
                     [socket](const HeldNotification& held) { return held.socket == socket; }),
      heldNotifications_.end());
}

// A notification for a socket that is not the open connection (one closed
// since, or none open) is late and is dropped: it never finishes a transfer
// a second time.
void httpUC::Dispatch(SocketHandle socket, int32_t code, int32_t error) {
  if (LSock <= 0 || socket != LSock) return;
  if (code == kNotifyRead) {
    int32_t n = Receive();
    if (n >= 1) {
      if (!StoreBlock(receiveBuffer_, static_cast<size_t>(n))) FinishTransfer(true, kWSAENOBUFS);
      return;
    }
    if (n == 0) {
      FinishTransfer(false, 0);
      return;
    }
    int32_t failure = platform_->LastError();
    // Nothing to read after all: the platform notifies again when there is.
    if (failure == kWSAEWOULDBLOCK) return;
    FinishTransfer(true, failure);
  } else if (code == kNotifyClose) {
    // The peer has closed: everything still buffered is read now. A close
    // that itself reports an error (a reset, an abort) ends the transfer as
    // failed with that error after the drain, unless the drain finds an error
    // of its own or the whole body its head promised has arrived.
    for (;;) {
      int32_t n = Receive();
      if (n >= 1) {
        if (!StoreBlock(receiveBuffer_, static_cast<size_t>(n))) {
          FinishTransfer(true, kWSAENOBUFS);
          return;
        }
        continue;
      }
      int32_t failure = n == 0 ? 0 : platform_->LastError();
      // A closed socket with nothing left that says "would block" has ended.
      if (failure == kWSAEWOULDBLOCK) failure = 0;
      if (failure == 0 && !BodyComplete()) failure = error;
      FinishTransfer(failure != 0, failure);
      return;
    }
  }
}

// One receive into the reused buffer; a count beyond the buffer (which no
// sound platform returns) is not believed past its end.
int32_t httpUC::Receive() {
  int32_t n = platform_->Receive(LSock, receiveBuffer_, sizeof receiveBuffer_, 0);
  return std::min(n, static_cast<int32_t>(sizeof receiveBuffer_));
}

// Ends the transfer: an incomplete head becomes body, the connection is closed
// (OnDisconnect1), then OnFinish1 reports the status, or -1 and the error
// number. The status is taken before the raise, since a handler of
// OnDisconnect1 may already start the next request.
//
// A connection that ends before the body its head promised (Content-Length)
// has arrived was cut off, whatever the platform said about the close: on
// some platforms a reset or a server that died mid-body reads as an ordinary
// close. Such a transfer fails as a reset would, with the bytes kept.
void httpUC::FinishTransfer(bool failed, int32_t errorNumber) {
  if (!FlushPendingHead() && !failed) {
    failed = true;
    errorNumber = kWSAENOBUFS;
  }
  if (!failed && contentLength_ >= 0 && !BodyComplete()) {
    failed = true;
    errorNumber = kWSAECONNRESET;
  }
  int32_t code = failed ? -1 : LServerCode;
  ustring text = failed ? DecimalText(errorNumber) : sServerString;
  CloseConnection();
  RaiseFinish(code, text);
}

// True when the head promised a body length and at least that much arrived.
bool httpUC::BodyComplete() const {
  return contentLength_ != kNoContentLength && LBytes >= contentLength_;
}

// Stores one received block: into the head while it is incomplete, else as a
// new chunk. False when it cannot be stored (no memory, or the body would
// pass its limit).
bool httpUC::StoreBlock(const uint8_t* bytes, size_t count) {
  if (bHeaderPending) return CollectHead(bytes, count);
  if (count > static_cast<size_t>(bodyLimit_ - LBytes)) return false;
  try {
    Chunk chunk(count);
    std::memcpy(chunk.data(), bytes, count);
    return AppendChunk(std::move(chunk));
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool httpUC::AppendChunk(Chunk chunk) {
  if (chunk.empty()) return true;  // a block that was all head adds no entry
  if (!colChunks) return false;
  if (chunk.size() > static_cast<size_t>(bodyLimit_ - LBytes)) return false;
  try {
    colChunks->push_back(std::move(chunk));
  } catch (const std::bad_alloc&) {
    return false;
  }
  LBytes += static_cast<int32_t>(colChunks->back().size());
  return true;
}

// Adds a block to the head being collected. Once its blank line has come,
// the head is parsed once and the bytes after it are the first body chunk.
bool httpUC::CollectHead(const uint8_t* bytes, size_t count) {
  try {
    switch (head_.Add(bytes, count)) {
      case ResponseHead::Progress::kIncomplete:
        return true;
      case ResponseHead::Progress::kTooLong:
        return FlushPendingHead();
      case ResponseHead::Progress::kComplete:
        break;
    }
    bHeaderPending = false;
    ParseHeader(head_);
    const auto& collected = head_.Collected();
    Chunk body(collected.begin() + static_cast<std::ptrdiff_t>(head_.Length()), collected.end());
    head_.Clear();
    return AppendChunk(std::move(body));
  } catch (const std::bad_alloc&) {
    return false;
  }
}

// A head that never completed is body: everything collected becomes one
// chunk and no status is parsed.
bool httpUC::FlushPendingHead() {
  if (!bHeaderPending) return true;
  bHeaderPending = false;
  ResponseHead collected = std::move(head_);
  head_.Clear();
  try {
    return AppendChunk(Chunk(collected.Collected().begin(), collected.Collected().end()));
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace wex
