// Which file a class's registration names as its server, read from the value
// of its LocalServer32 or InprocServer32 key, so that unregistering can tell
// its own registration from another copy's.
#pragma once

#include "common/registration/registration_plan.h"

namespace wex {

// The path in a server key's value, without quotes and arguments.
// LocalServer32 holds a command line: the program's path, quoted when it has
// blanks, perhaps followed by arguments ("/Automation"); unquoted, the path
// ends after its ".exe", or at the first blank when it names no ".exe".
// InprocServer32 holds the library's path alone, which some registrations
// quote. Surrounding blanks are dropped.
ustring ServerFileOf(const ustring& value, ServerKind kind);

}  // namespace wex
