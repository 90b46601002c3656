#include "server/engine/sspi_channel.h"

#include <algorithm>
#include <cstring>

#include "server/engine/limits.h"
#include "server/engine/platform.h"

namespace wex {
namespace {

// Room for the largest handshake message or record the handshake receives:
// the bound on the bytes a handshake may take before it completes a message.
constexpr size_t kHandshakeBuffer = 64 * 1024;

// TLS frames every record with five bytes: its type, its version and the
// length of what follows.
constexpr size_t kRecordHeader = 5;

}  // namespace

int32_t SspiChannel::MillisecondsLeft(uint64_t deadline) {
  uint64_t now = calls_.NowMs();
  if (now >= deadline) return 0;
  return static_cast<int32_t>(std::min<uint64_t>(deadline - now, INT32_MAX));
}

int32_t SspiChannel::Handshake(int32_t timeoutMs) {
  timeoutMs_ = timeoutMs;
  raw_.assign(kHandshakeBuffer, 0);
  rawAt_ = rawUsed_ = 0;
  rawIncomplete_ = false;
  int32_t error = Negotiate(true, calls_.NowMs() + static_cast<uint64_t>(std::max(timeoutMs, 0)));
  if (error != 0) return error;
  int32_t status = calls_.StreamSizes(maxMessage_, maxRecord_);
  if (status != kSecEOk) return status;
  // A receive after the handshake may take as much as a plain one beside a
  // partial record left from the one before.
  raw_.resize(std::max(raw_.size(), kReceiveBlockBytes + maxRecord_));
  return 0;
}

// The token exchange of InitializeSecurityContext, over the blocking socket:
// every output token goes out whole, and whenever the context needs more of
// the server's messages the socket is read, until SEC_E_OK. It is bounded by
// the deadline and by the buffer (a message larger than it is illegal), not
// by the number of reads: a server may send its messages in pieces of any
// size. The handshake and every handshake message after it (a renegotiation,
// a key update, a session ticket) run it alike.
int32_t SspiChannel::Negotiate(bool first, uint64_t deadline) {
  bool needData = false;
  for (;;) {
    if (needData) {
      if (rawUsed_ == raw_.size()) return kSecEIllegalMessage;
      int32_t waited = calls_.WaitReadable(MillisecondsLeft(deadline));
      if (waited != 0) return waited;
      int32_t error = 0;
      int32_t n = calls_.Receive(raw_.data() + rawUsed_, raw_.size() - rawUsed_, error);
      if (n == 0) return kWSAECONNRESET;  // the server ended the connection
      if (n < 0 && error == kWSAEWOULDBLOCK) continue;
      if (n < 0) return error;
      rawUsed_ += static_cast<size_t>(n);
    } else if (!first && MillisecondsLeft(deadline) == 0) {
      return kWSAETIMEDOUT;  // rounds without a read still end in time
    }
    SspiCalls::Result step = calls_.Initialize(first ? nullptr : raw_.data(), first ? 0 : rawUsed_);
    first = false;
    if (step.status == kSecEIncompleteMessage) {
      needData = true;
      continue;
    }
    // The token goes out on success and, as an alert, on most failures.
    bool going = step.status == kSecEOk || step.status == kSecIContinueNeeded;
    if (step.size > 0) {
      int32_t sent = calls_.SendAll(step.bytes, step.size, MillisecondsLeft(deadline));
      if (sent != 0 && going) return sent;
    }
    if (!going && step.status != kSecIIncompleteCredentials) return step.status;
    if (step.extra > 0) {
      KeepExtra(step.extra);
    } else if (step.status != kSecIIncompleteCredentials) {
      rawUsed_ = 0;
    }
    if (step.status == kSecEOk) return 0;
    // More from the server unless it already sent what comes next.
    needData = rawUsed_ == 0;
  }
}

void SspiChannel::KeepExtra(size_t extra) {
  // The extra bytes are the last `extra` bytes of what was handed in.
  extra = std::min(extra, rawUsed_);
  std::memmove(raw_.data(), raw_.data() + rawUsed_ - extra, extra);
  rawUsed_ = extra;
}

// Moves the raw bytes not yet decrypted to the front, once the plain bytes
// that may lie before them are read or kept.
void SspiChannel::Compact() {
  if (rawAt_ == 0) return;
  std::memmove(raw_.data(), raw_.data() + rawAt_, rawUsed_ - rawAt_);
  rawUsed_ -= rawAt_;
  rawAt_ = 0;
}

// Copies the plain bytes not yet read out of the buffer they lie in, before
// that buffer is written again.
void SspiChannel::KeepPlain() {
  if (plainBytes_ == plain_.data()) return;
  plain_.assign(plainBytes_ + plainAt_, plainBytes_ + plainSize_);
  plainBytes_ = plain_.data();
  plainSize_ = plain_.size();
  plainAt_ = 0;
}

// The bytes of the first record not yet decrypted, once they have all
// arrived; 0 before. A record longer than any the context makes goes to the
// security package with every byte held, for it to judge.
size_t SspiChannel::FirstRecord() const {
  const size_t held = rawUsed_ - rawAt_;
  if (held < kRecordHeader) return 0;
  const uint8_t* header = raw_.data() + rawAt_;
  const size_t record = kRecordHeader + (size_t{header[3]} << 8 | header[4]);
  if (record > maxRecord_) return held;
  return record <= held ? record : 0;
}

// Decrypts the first record of the raw bytes not yet decrypted, handing the
// security package that record alone: it copies what it is given, so the
// records after it would be copied again for each one before them. 1 when
// it did, 0 when the record is incomplete, -1 with `error` on failure; the
// peer's close-notify sets ended_.
int SspiChannel::Decrypt(int32_t& error) {
  const size_t held = rawUsed_ - rawAt_;
  const size_t record = FirstRecord();
  rawIncomplete_ = record == 0;
  if (rawIncomplete_) return 0;
  SspiCalls::Result opened = calls_.Decrypt(raw_.data() + rawAt_, record);
  rawIncomplete_ = opened.status == kSecEIncompleteMessage;
  if (rawIncomplete_) return 0;
  if (opened.status != kSecEOk && opened.status != kSecIContextExpired &&
      opened.status != kSecIRenegotiate) {
    error = opened.status;
    return -1;
  }
  // The plain bytes are read where they lie (inside raw_, decrypted in
  // place): the extra bytes after them move only before the next receive,
  // when every plain byte has been read, so each record is copied once.
  plainBytes_ = opened.size > 0 ? opened.bytes : nullptr;
  plainSize_ = opened.size;
  plainAt_ = 0;
  const size_t unread = std::min(opened.extra, record) + (held - record);
  if (unread > 0) {
    rawAt_ = rawUsed_ - unread;
  } else {
    rawAt_ = rawUsed_ = 0;
  }
  if (opened.status == kSecIContextExpired) ended_ = true;
  if (opened.status == kSecIRenegotiate) {
    // A message of the handshake protocol after the handshake (a
    // renegotiation, a key update, a session ticket), held in the extra
    // bytes: the security context answers it as it answered the handshake,
    // and the server waits for that answer before it goes on.
    KeepPlain();
    Compact();
    int32_t failed = Negotiate(false, calls_.NowMs() + static_cast<uint64_t>(timeoutMs_));
    if (failed != 0) {
      error = failed;
      return -1;
    }
  }
  return 1;
}

int32_t SspiChannel::Read(uint8_t* buffer, int32_t length, int32_t& error) {
  if (length <= 0) return 0;
  if (failure_ != 0) {
    error = failure_;
    return kSocketError;
  }
  size_t wanted = static_cast<size_t>(length);
  size_t taken = 0;
  for (;;) {
    if (plainAt_ < plainSize_) {
      size_t n = std::min(wanted - taken, plainSize_ - plainAt_);
      std::memcpy(buffer + taken, plainBytes_ + plainAt_, n);
      plainAt_ += n;
      taken += n;
      if (taken == wanted) break;
      continue;
    }
    if (ended_) break;
    // Every complete record already held is decrypted before the socket is
    // asked for more; once something is taken, the socket is not asked.
    if (rawUsed_ > rawAt_ && !rawIncomplete_) {
      int decrypted = Decrypt(error);
      if (decrypted < 0) {
        // The bytes taken go to the caller now; the failure comes next.
        failure_ = error;
        return taken > 0 ? static_cast<int32_t>(taken) : kSocketError;
      }
      if (decrypted > 0) continue;
    }
    if (taken > 0) break;
    Compact();
    if (rawUsed_ == raw_.size()) {
      failure_ = error = kSecEIllegalMessage;  // a record larger than any the channel allows
      return kSocketError;
    }
    int32_t n = calls_.Receive(raw_.data() + rawUsed_, raw_.size() - rawUsed_, error);
    if (n > 0) {
      rawUsed_ += static_cast<size_t>(n);
      rawIncomplete_ = false;
      continue;
    }
    if (n < 0) return kSocketError;
    if (rawUsed_ > 0) {
      // The stream ended inside a record: what it held is lost, and the
      // transfer must not pass for complete.
      failure_ = error = kSecEIncompleteMessage;
      return kSocketError;
    }
    // The end of the stream at a record boundary, with or without a
    // close-notify: the end of the body.
    ended_ = true;
    break;
  }
  return static_cast<int32_t>(taken);
}

int32_t SspiChannel::Write(const uint8_t* bytes, int32_t count, int32_t& error) {
  if (count <= 0) return 0;
  size_t take = std::min(static_cast<size_t>(count), maxMessage_);
  // Plain bytes not yet read may lie in a buffer of the calls' own.
  if (plainAt_ < plainSize_) KeepPlain();
  std::vector<uint8_t> record;
  int32_t status = calls_.Encrypt(bytes, take, record);
  if (status != kSecEOk) {
    error = status;
    return kSocketError;
  }
  // The record goes out whole: half a record cannot be taken back.
  int32_t sent = calls_.SendAll(record.data(), record.size(), kSendTimeoutMs);
  if (sent != 0) {
    error = sent;
    return kSocketError;
  }
  return static_cast<int32_t>(take);
}

}  // namespace wex
