// The engine's limits and waits, each named once with the reason for it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace wex {

// The most a receive takes at once. Each receive is a round trip through the
// platform (a wineserver call under Wine), so the classic 8 KiB would cost
// eight times as many of them for the same bytes; only block boundaries,
// which no caller sees, differ.
constexpr size_t kReceiveBlockBytes = 64 * 1024;

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
