#include "server/resources/message_table.h"

namespace wex {
namespace {

struct Entry {
  int32_t number;
  const char16_t* text;
};

constexpr Entry kMessages[] = {
#define WEX_MESSAGE(number, name, text) {number, u"" text},
#include "server/resources/messages.inc"
#undef WEX_MESSAGE
};

}  // namespace

ustring PortableMessageText(int32_t number) {
  for (const Entry& e : kMessages) {
    if (e.number == number) return e.text;
  }
  return ustring();
}

#ifndef _WIN32
ustring MessageText(int32_t number) { return PortableMessageText(number); }
#endif

}  // namespace wex
