// The engine's message table: sixteen texts keyed 101 to 116.
#pragma once

#include <cstdint>

#include "common/ustring.h"

namespace wex {

// Each message's number by name (kMessageOffline is 106, ...), from the list.
enum MessageNumber : int32_t {
#define WEX_MESSAGE(number, name, text) name = number,
#include "server/resources/messages.inc"
#undef WEX_MESSAGE
};

constexpr int32_t kFirstMessage = 101;
constexpr int32_t kLastMessage = 116;

// The text as the portable list holds it; empty for a number outside the table.
ustring PortableMessageText(int32_t number);

// The text every error report of the engine uses. On Windows it is read from
// the program's string table with LoadStringW; natively it is the portable list.
ustring MessageText(int32_t number);

}  // namespace wex
