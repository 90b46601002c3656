// The system's own text for a failure code, one line without its line end;
// empty when the system has none.
#pragma once

#include <windows.h>

#include <string>

namespace wex {

std::wstring SystemMessageText(HRESULT code);

}  // namespace wex
