// OLE dates as the platform writes them for en-US: "M/d/yyyy h:mm:ss tt",
// the date alone when there is no time of day, the time alone on the day
// zero (30 December 1899). Times are rounded to the second.
#pragma once

#include "common/automation/automation_arg.h"
#include "common/ustring.h"

namespace wex {

// The first and last day an OLE date can hold: 1 January 100 and
// 31 December 9999.
constexpr double kFirstDate = -657434.0;
constexpr double kLastDate = 2958465.0;

// kE_INVALIDARG for a date outside those days.
hresult DateText(double oleDate, ustring& out);

}  // namespace wex
