// FormatRSS on any document. Bytes 0-3: NumberItems (little-endian, signed);
// byte 4: bit 0 IfDescription, bit 1 two-byte code units; the rest is the
// document.
#include <cstdlib>
#include <cstring>

#include "fuzz/fuzz_input.h"
#include "server/rss/mod_rss.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 5) return 0;
  uint32_t bits = 0;
  for (int k = 0; k < 4; ++k) bits |= uint32_t(data[k]) << (8 * k);
  int32_t numberItems;
  std::memcpy(&numberItems, &bits, sizeof numberItems);
  const bool ifDescription = data[4] & 1;
  const wex::ustring text = wex::FuzzText(data + 5, size - 5, data[4] & 2);

  const wex::ustring html = wex::FormatRSS(text, numberItems, ifDescription);

  // One more item only appends lines: the shorter rendering is a prefix.
  if (numberItems < 1000) {
    const wex::ustring more = wex::FormatRSS(text, numberItems + 1, ifDescription);
    if (more.compare(0, html.size(), html) != 0) std::abort();
  }
  return 0;
}
