// The registry form of a GUID: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
#pragma once

#include <windows.h>

#include <string>

#include "common/ustring.h"

namespace wex {

std::wstring GuidText(REFGUID guid);
ustring GuidUText(REFGUID guid);

}  // namespace wex
