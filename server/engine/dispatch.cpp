// The socket event dispatcher: one receive per read notification, a drain on
// the close notification, the response head collected until its blank line,
// and the end of the transfer (OnDisconnect1, then OnFinish1).
#include <algorithm>
#include <new>

#include "common/codepage.h"
#include "server/engine/http_uc.h"
#include "server/engine/operation.h"

namespace wex {
namespace {

// A response head longer than this is not looked for any further: what was
// collected is body and the status stays 0 and empty.
constexpr size_t kMaxHeadBytes = 64 * 1024;

constexpr size_t kNotFound = static_cast<size_t>(-1);

// Position just after the first CR LF CR LF at or after `from`, or kNotFound.
size_t FindBlankLine(const std::vector<uint8_t>& bytes, size_t from) {
  static const uint8_t kBlankLine[] = {'\r', '\n', '\r', '\n'};
  auto found = std::search(bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.end(),
                           std::begin(kBlankLine), std::end(kBlankLine));
  if (found == bytes.end()) return kNotFound;
  return static_cast<size_t>(found - bytes.begin()) + sizeof kBlankLine;
}

}  // namespace

// While the engine is inside one of its operations (including a raise whose
// handler runs a modal loop), a notification is held and handled, in order,
// when the outermost operation ends.
void httpUC::OnSocketNotification(SocketHandle socket, int32_t code) {
  if (operationDepth_ > 0) {
    try {
      heldNotifications_.emplace_back(socket, code);
    } catch (const std::bad_alloc&) {
      // Nothing can be held without memory; the platform notifies again while
      // data remains.
    }
    return;
  }
  Operation operation(*this);
  Dispatch(socket, code);
}

void httpUC::HandleHeldNotifications() {
  while (!heldNotifications_.empty()) {
    auto [socket, code] = heldNotifications_.front();
    heldNotifications_.pop_front();
    Dispatch(socket, code);
  }
}

void httpUC::DropHeldNotifications(SocketHandle socket) {
  heldNotifications_.erase(
      std::remove_if(heldNotifications_.begin(), heldNotifications_.end(),
                     [socket](const auto& held) { return held.first == socket; }),
      heldNotifications_.end());
}

// A notification for a socket that is not the open connection (one closed
// since, or none open) is late and is dropped: it never finishes a transfer
// a second time.
void httpUC::Dispatch(SocketHandle socket, int32_t code) {
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
    int32_t error = platform_->LastError();
    // Nothing to read after all: the platform notifies again when there is.
    if (error == kWSAEWOULDBLOCK) return;
    FinishTransfer(true, error);
  } else if (code == kNotifyClose) {
    // The peer has closed: everything still buffered is read now.
    for (;;) {
      int32_t n = Receive();
      if (n >= 1) {
        if (!StoreBlock(receiveBuffer_, static_cast<size_t>(n))) {
          FinishTransfer(true, kWSAENOBUFS);
          return;
        }
        continue;
      }
      if (n == 0) {
        FinishTransfer(false, 0);
        return;
      }
      int32_t error = platform_->LastError();
      // A closed socket with nothing left that says "would block" has ended.
      FinishTransfer(error != kWSAEWOULDBLOCK, error);
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
void httpUC::FinishTransfer(bool failed, int32_t errorNumber) {
  if (!FlushPendingHead() && !failed) {
    failed = true;
    errorNumber = kWSAENOBUFS;
  }
  int32_t code = failed ? -1 : LServerCode;
  ustring text = failed ? DecimalText(errorNumber) : sServerString;
  CloseConnection();
  RaiseFinish(code, text);
}

// Stores one received block: into the head while it is incomplete, else as a
// new chunk. False when it cannot be stored (no memory, or the body would
// pass its limit).
bool httpUC::StoreBlock(const uint8_t* bytes, size_t count) {
  if (bHeaderPending) return CollectHead(bytes, count);
  if (count > static_cast<size_t>(bodyLimit_ - LBytes)) return false;
  try {
    return AppendChunk(Chunk(bytes, bytes + count));
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

// Adds a block to the head being collected and looks for the blank line in
// the new bytes only (three earlier bytes are searched again, for a blank line
// split between blocks). Once found, the head is parsed once and the bytes
// after it are the first body chunk.
bool httpUC::CollectHead(const uint8_t* bytes, size_t count) {
  try {
    headBuffer_.insert(headBuffer_.end(), bytes, bytes + count);
    size_t end = FindBlankLine(headBuffer_, headScanned_ >= 3 ? headScanned_ - 3 : 0);
    headScanned_ = headBuffer_.size();
    if (end != kNotFound && end <= kMaxHeadBytes) {
      bHeaderPending = false;
      size_t headLength = static_cast<size_t>(ParseHeader(AnsiToText(headBuffer_.data(), end)));
      Chunk body(headBuffer_.begin() + static_cast<std::ptrdiff_t>(headLength), headBuffer_.end());
      std::vector<uint8_t>().swap(headBuffer_);
      headScanned_ = 0;
      return AppendChunk(std::move(body));
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (headBuffer_.size() >= kMaxHeadBytes) return FlushPendingHead();
  return true;
}

// A head that never completed is body: everything collected becomes one
// chunk and no status is parsed.
bool httpUC::FlushPendingHead() {
  if (!bHeaderPending) return true;
  bHeaderPending = false;
  Chunk collected;
  collected.swap(headBuffer_);
  headScanned_ = 0;
  return AppendChunk(std::move(collected));
}

}  // namespace wex
