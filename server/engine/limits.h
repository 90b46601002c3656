// The engine's limits and waits, each named once with the reason for it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace wex {

// The most a receive takes at once. Each receive, and the read notification
// before it, is a round trip through the platform (wineserver calls under
// Wine, which hands up to 93 KiB of a loopback socket at once), so the
// classic 8 KiB would cost eight times as many of them for the same bytes,
// and 64 KiB a third more; only block boundaries, which no caller sees,
// differ. A secure channel's receive takes as much raw, so that the records
// one socket receive brings go to the engine in one read.
constexpr size_t kReceiveBlockBytes = 256 * 1024;

// A response head longer than this is not looked for any further: what was
// collected is body. Real heads are a few hundred bytes.
constexpr size_t kMaxHeadBytes = 64 * 1024;

// How long a request may wait in total for the socket to take its bytes, so
// that a server that never reads cannot hang the script.
constexpr int32_t kSendTimeoutMs = 30000;

// How long a secure handshake may take, for the same reason.
constexpr int32_t kHandshakeTimeoutMs = 30000;

// How long an answer that the machine is online without a proxy is taken
// again instead of asking (the question takes 10 ms and more).
constexpr uint64_t kDirectAnswerMs = 1000;

}  // namespace wex
