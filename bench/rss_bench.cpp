// Feed rendering and value cleanup on generated feeds. FormatRSS should cost
// the same per megabyte at every size (linear time); the goal is at least
// 100 MB/s on a 10 MB feed. Sizes and rates count the feed as it arrives,
// one byte per character (the UTF-16 text in memory is twice as large).
#include <benchmark/benchmark.h>

#include "server/rss/mod_rss.h"

namespace {

using wex::ustring;

// An item of about 500 characters with every element the renderer takes,
// markup in the description and entities in the title.
ustring Item(int n) {
  const ustring k = wex::DecimalText(n);
  return u"<item>\r\n<title>Item " + k + u" &amp; more</title>\r\n<link>http://127.0.0.1/item/" +
         k +
         u".html</link>\r\n<description><![CDATA[<p>Plant <b>early</b> and water "
         u"daily.</p><a href=\"tips.html\">More tips</a> Cover the beds tonight; check again "
         u"at dawn.</h3>The frost should lift by noon.<br/>Weekly notes from the garden, with "
         u"pictures and a list of the seeds sown this week.]]></description>\r\n"
         u"<pubDate>Mon, 06 Jun 2005 08:00:00 GMT</pubDate>\r\n<author>editor@example.org "
         u"(The Editor)</author>\r\n<guid>http://127.0.0.1/item/" +
         k + u"</guid>\r\n</item>\r\n";
}

// A feed of about `bytes` characters, about 500 per item.
ustring Feed(size_t bytes) {
  ustring feed =
      u"<?xml version=\"1.0\"?>\r\n<rss version=\"2.0\">\r\n<channel>\r\n<title>Garden "
      u"Notes</title>\r\n<link>index.html</link>\r\n";
  for (int n = 0; feed.size() < bytes; ++n) feed += Item(n);
  feed += u"</channel>\r\n</rss>\r\n";
  return feed;
}

void BM_FormatRSS(benchmark::State& state) {
  wex::InitFragments();
  const ustring feed = Feed(static_cast<size_t>(state.range(0)));
  double items = 0;
  for (size_t at = feed.find(u"<item>"); at != ustring::npos; at = feed.find(u"<item>", at + 1)) {
    ++items;
  }
  size_t out = 0;
  for (auto _ : state) {
    ustring html = wex::FormatRSS(feed, INT32_MAX, true);
    out = html.size();
    benchmark::DoNotOptimize(html);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(feed.size()));
  state.counters["items"] = double(items);
  state.counters["chars_out"] = double(out);
}
BENCHMARK(BM_FormatRSS)->Arg(100 << 10)->Arg(1 << 20)->Arg(10 << 20)->Unit(benchmark::kMillisecond);

void BM_CleanTextDescription(benchmark::State& state) {
  ustring description;
  while (description.size() < (1u << 20)) {
    description +=
        u"<![CDATA[Plant <b>early</b>.<a href=\"tips.html\">More</a> Water daily. "
        u"&lt;p&gt;Cover beds&lt;/p&gt; tonight.</h3>Check &amp; again.]]>";
  }
  for (auto _ : state) {
    ustring value = description;
    wex::CleanText(value, state.range(0) != 0);
    benchmark::DoNotOptimize(value);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(description.size()));
}
BENCHMARK(BM_CleanTextDescription)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// Anchors that are never closed: each asks for the next "</A>", and the
// answer (none) must not be searched for again, or this turns quadratic.
void BM_CleanTextUnclosedAnchors(benchmark::State& state) {
  ustring description;
  while (description.size() < (1u << 20)) description += u"x <a href=y>z ";
  for (auto _ : state) {
    ustring value = description;
    wex::CleanText(value, true);
    benchmark::DoNotOptimize(value);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(description.size()));
}
BENCHMARK(BM_CleanTextUnclosedAnchors)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
