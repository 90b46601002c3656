#include "common/automation/date_text.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

namespace wex {
namespace {

struct CivilDate {
  int64_t year;
  int month;  // 1 to 12
  int day;    // 1 to 31
};

// The proleptic Gregorian date of a day count from 1 March of the year 0
// (Howard Hinnant's CivilFromDays).
CivilDate CivilFromDays(int64_t days) {
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t doe = days - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  return {yoe + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

// Days from 1 March 0 to 30 December 1899, the OLE day zero.
constexpr int64_t kOleDayZero = 693899;

}  // namespace

hresult DateText(double oleDate, ustring& out) {
  if (!(oleDate > kFirstDate - 1.0 && oleDate < kLastDate + 1.0)) return kE_INVALIDARG;

  // 1. The day is the integer part; the time of day is the fraction, taken
  //    as positive also before day zero (-1.25 is 29 December, 6:00 AM).
  const double dayPart = std::trunc(oleDate);
  double time = std::fabs(oleDate - dayPart);
  const bool hasTime = time != 0.0;
  // The same small allowance as the platform, so that times computed in
  // floating point (2.5 seconds as a fraction of a day) round up.
  time += 1e-11;
  if (time >= 1.0) time -= 1e-11;

  // 2. Hours, minutes and seconds, rounding the rest to the nearest second;
  //    a time that rounds to midnight moves to the next day.
  int64_t day = static_cast<int64_t>(dayPart);
  time *= 24.0;
  int hour = static_cast<int>(time);
  time = (time - hour) * 60.0;
  int minute = static_cast<int>(time);
  time = (time - minute) * 60.0;
  int second = static_cast<int>(time);
  if (time - second > 0.5 && ++second == 60) {
    second = 0;
    if (++minute == 60) {
      minute = 0;
      if (++hour == 24) {
        hour = 0;
        ++day;
      }
    }
  }
  if (day > static_cast<int64_t>(kLastDate)) return kE_INVALIDARG;

  // 3. The text: the time alone on day zero, the date alone without a time.
  char dateText[32];
  char timeText[32];
  const CivilDate date = CivilFromDays(kOleDayZero + day);
  std::snprintf(dateText, sizeof dateText, "%d/%d/%lld", date.month, date.day,
                static_cast<long long>(date.year));
  std::snprintf(timeText, sizeof timeText, "%d:%02d:%02d %s", hour % 12 == 0 ? 12 : hour % 12,
                minute, second, hour < 12 ? "AM" : "PM");
  if (dayPart == 0.0) {
    out = FromAscii(timeText);
  } else if (!hasTime) {
    out = FromAscii(dateText);
  } else {
    out = FromAscii(std::string(dateText) + " " + timeText);
  }
  return kS_OK;
}

}  // namespace wex
