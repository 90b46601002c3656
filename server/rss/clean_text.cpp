// Cleanup of one value taken from a feed: CDATA markers and four entities
// always, markup reduction for descriptions.
#include <string>

#include "server/rss/mod_rss.h"
#include "server/rss/text_search.h"

namespace wex {

namespace {

using Traits = std::char_traits<char16_t>;

// Replaces every occurrence of find, scanning from the start, not
// overlapping; the text put in is not examined again. Every replacement here
// is shorter than what it replaces, so the value is rewritten in its own
// storage: the write position never passes the read position.
void ReplaceAll(ustring& value, ustring_view find, ustring_view with) {
  size_t hit = FindText(value, find, 0);
  if (hit == ustring::npos) return;
  char16_t* data = &value[0];
  size_t read = 0;
  size_t write = 0;
  while (hit != ustring::npos) {
    Traits::move(data + write, data + read, hit - read);
    write += hit - read;
    Traits::copy(data + write, with.data(), with.size());
    write += with.size();
    read = hit + find.size();
    hit = FindText(value, find, read);
  }
  Traits::move(data + write, data + read, value.size() - read);
  value.resize(write + value.size() - read);
}

// Decodes "&gt;", "&lt;", "&apos;" and "&amp;" in one pass. This is the
// same as replacing each entity in turn: two of them never overlap (each
// begins with "&" and holds no other), and no character put in occurs in an
// entity decoded after it, so no step can create work for a later one; the
// "&" of "&amp;", decoded last, is not examined again.
void DecodeEntities(ustring& value) {
  struct Entity {
    ustring_view text;
    char16_t ch;
  };
  static constexpr Entity kEntities[] = {
      {u"&gt;", u'>'}, {u"&lt;", u'<'}, {u"&apos;", u'\''}, {u"&amp;", u'&'}};
  size_t hit = FindChar(value, u'&', 0);
  if (hit == ustring::npos) return;
  char16_t* data = &value[0];
  size_t read = 0;
  size_t write = 0;
  while (hit != ustring::npos) {
    Traits::move(data + write, data + read, hit - read);
    write += hit - read;
    read = hit + 1;
    data[write] = u'&';
    const ustring_view rest = ustring_view(value).substr(hit);
    for (const Entity& entity : kEntities) {
      if (rest.substr(0, entity.text.size()) == entity.text) {
        data[write] = entity.ch;
        read = hit + entity.text.size();
        break;
      }
    }
    ++write;
    hit = FindChar(value, u'&', read);
  }
  Traits::move(data + write, data + read, value.size() - read);
  value.resize(write + value.size() - read);
}

// The first "</A>" (any case) at or after a position. A search that found
// nothing, or found a closing tag not yet passed, answers every later
// question too, so a value full of unclosed anchors is still scanned once.
class AnchorEndFinder {
 public:
  explicit AnchorEndFinder(ustring_view value) : value_(value) {}
  size_t From(size_t from) {
    if (!searched_ || (found_ != ustring::npos && found_ < from)) {
      found_ = FindIgnoringCase(value_, u"</A>", from);
      searched_ = true;
    }
    return found_;
  }

 private:
  ustring_view value_;
  bool searched_ = false;
  size_t found_ = ustring::npos;
};

// One left-to-right pass into a buffer of the value's length. Indexes are
// 0-based here; the output index j never passes the input index i.
void ReduceMarkup(ustring& value) {
  const size_t L = value.size();
  ustring buffer(L, u'\0');
  AnchorEndFinder anchorEnd(value);
  size_t i = 0;
  size_t j = 0;
  while (i < L) {
    // Text up to the next "<" is kept as it stands.
    const size_t tag = FindChar(value, u'<', i);
    const size_t text = (tag == ustring::npos ? L : tag) - i;
    Traits::copy(&buffer[j], &value[i], text);
    i += text;
    j += text;
    if (i == L) break;
    // A tag needs at least three characters after its "<"; a shorter one
    // at the very end is kept as text.
    if (i + 3 < L) {
      const char16_t t1 = UpperChar(value[i + 1]);
      const char16_t t2 = UpperChar(value[i + 2]);
      if (t1 == u'A' && (t2 == u' ' || t2 == u'\r')) {
        // An anchor: the start tag, the link text and "</A>" all go. Without
        // a closing tag only the "<" goes.
        const size_t k = anchorEnd.From(i);
        i = (k != ustring::npos) ? k + 4 : i + 1;
      } else if (t1 == u'/' && t2 == u'H') {
        // A heading end tag becomes a line break; its five characters go.
        Traits::copy(&buffer[j], u"<BR>", 4);
        j += 4;
        i += 5;
      } else {
        // Any other tag goes up to its ">", or to the end when unclosed.
        const size_t k = FindChar(value, u'>', i);
        i = (k != ustring::npos) ? k + 1 : L;
      }
      continue;
    }
    buffer[j++] = u'<';
    ++i;
  }
  // Unwritten positions are NUL, so this cuts after the last character
  // written, or at a NUL the value itself held.
  const size_t nul = buffer.find(u'\0');
  if (nul != ustring::npos) buffer.resize(nul);
  value = std::move(buffer);
}

}  // namespace

void CleanText(ustring& value, bool reduceMarkup) {
  ReplaceAll(value, u"<![CDATA[", u"");
  ReplaceAll(value, u"]]>", u"");
  DecodeEntities(value);  // "&gt;", "&lt;", "&apos;", "&amp;", in this order
  if (reduceMarkup) ReduceMarkup(value);
}

}  // namespace wex
