// The members that save or format a download: WriteTextFile, WriteBinaryFile,
// FormatCurRSS. None looks at the busy flag: during a transfer they work on
// what has arrived so far. Each skips a failing step and goes on.
#include <new>

#include "server/downloader/downloader.h"
#include "server/rss/mod_rss.h"

namespace wex {
namespace {

ustring StringOrEmpty(const AutomationArg& arg) {
  ustring value;
  if (Failed(arg.ToString(value))) value.clear();
  return value;
}

bool BoolOrFalse(const AutomationArg& arg) {
  bool value = false;
  if (Failed(arg.ToBool(value))) value = false;
  return value;
}

int32_t Int32OrZero(const AutomationArg& arg) {
  int32_t value = 0;
  if (Failed(arg.ToInt32(value))) value = 0;
  return value;
}

}  // namespace

// The two saves differ only in the engine member they call.
int32_t Downloader::Save(int32_t (httpUC::*save)(const ustring&, bool), const AutomationArg& sPath,
                         const AutomationArg& IfDelete) {
  const ustring p = StringOrEmpty(sPath);
  const bool d = BoolOrFalse(IfDelete);
  auto engine = Engine();
  if (!engine) return 0;
  try {
    return ((*engine).*save)(p, d);
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

int32_t Downloader::WriteTextFile(const AutomationArg& sPath, const AutomationArg& IfDelete) {
  return Save(&httpUC::WriteTextFile1, sPath, IfDelete);
}

int32_t Downloader::WriteBinaryFile(const AutomationArg& sPath, const AutomationArg& IfDelete) {
  return Save(&httpUC::WriteBinaryFile1, sPath, IfDelete);
}

ustring Downloader::FormatCurRSS(const AutomationArg& NumberItems,
                                 const AutomationArg& IfDescription) {
  const int32_t n = Int32OrZero(NumberItems);
  const bool b = BoolOrFalse(IfDescription);
  auto engine = Engine();
  if (!engine) return ustring();
  try {
    const ustring t = engine->CurFileString1();
    if (t.empty()) return ustring();
    return FormatRSS(t, n, b);
  } catch (const std::bad_alloc&) {
    return ustring();
  }
}

}  // namespace wex
