// CleanText with and without markup reduction on any value. First byte:
// bit 0 chooses two-byte code units; the rest is the value.
#include <cstdlib>

#include "fuzz/fuzz_input.h"
#include "server/rss/mod_rss.h"

namespace {

// The six replacements one after another, each in a fresh string: the
// plain reading that the in-place, partly fused cleanup must equal.
wex::ustring Replaced(wex::ustring value) {
  const char16_t* const steps[][2] = {{u"<![CDATA[", u""}, {u"]]>", u""},     {u"&gt;", u">"},
                                      {u"&lt;", u"<"},     {u"&apos;", u"'"}, {u"&amp;", u"&"}};
  for (const auto& step : steps) {
    const wex::ustring_view find = step[0];
    wex::ustring out;
    size_t read = 0;
    for (size_t hit = value.find(find); hit != wex::ustring::npos; hit = value.find(find, read)) {
      out.append(value, read, hit - read);
      out.append(step[1]);
      read = hit + find.size();
    }
    out.append(value, read, wex::ustring::npos);
    value = out;
  }
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const wex::ustring value = wex::FuzzText(data + 1, size - 1, data[0] & 1);

  wex::ustring replaced = value;
  wex::CleanText(replaced, false);
  if (replaced != Replaced(value)) std::abort();

  // Reduction works on the replaced value and never lengthens it; its
  // result ends at the first NUL, so it holds none.
  wex::ustring reduced = value;
  wex::CleanText(reduced, true);
  if (reduced.size() > replaced.size()) std::abort();
  if (reduced.find(u'\0') != wex::ustring::npos) std::abort();
  return 0;
}
