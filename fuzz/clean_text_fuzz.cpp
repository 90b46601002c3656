// CleanText with and without markup reduction on any value. First byte:
// bit 0 chooses two-byte code units; the rest is the value.
#include <cstdlib>

#include "fuzz/fuzz_input.h"
#include "server/rss/mod_rss.h"
#include "server/rss/text_search.h"

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

// Markup reduction read plainly: one character at a time, plain searches.
wex::ustring Reduced(const wex::ustring& value) {
  const size_t L = value.size();
  wex::ustring out;
  size_t i = 0;
  while (i < L) {
    if (value[i] == u'<' && i + 3 < L) {
      const char16_t t1 = wex::UpperChar(value[i + 1]);
      const char16_t t2 = wex::UpperChar(value[i + 2]);
      if (t1 == u'A' && (t2 == u' ' || t2 == u'\r')) {
        size_t end = wex::ustring::npos;
        for (size_t k = i; k + 4 <= L && end == wex::ustring::npos; ++k) {
          if (value[k] == u'<' && value[k + 1] == u'/' && wex::UpperChar(value[k + 2]) == u'A' &&
              value[k + 3] == u'>')
            end = k;
        }
        i = end != wex::ustring::npos ? end + 4 : i + 1;
      } else if (t1 == u'/' && t2 == u'H') {
        out += u"<BR>";
        i += 5;
      } else {
        const size_t end = value.find(u'>', i);
        i = end != wex::ustring::npos ? end + 1 : L;
      }
      continue;
    }
    out += value[i++];
  }
  return out.substr(0, out.find(u'\0'));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const wex::ustring value = wex::FuzzText(data + 1, size - 1, data[0] & 1);

  wex::ustring replaced = value;
  wex::CleanText(replaced, false);
  if (replaced != Replaced(value)) std::abort();

  // Reduction works on the replaced value.
  wex::ustring reduced = value;
  wex::CleanText(reduced, true);
  if (reduced != Reduced(replaced)) std::abort();
  return 0;
}
