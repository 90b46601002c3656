// The arguments of a command line after the program's name, split as
// CommandLineToArgvW splits them.
#pragma once

#include <string>
#include <vector>

namespace wex {

// False when the line cannot be split (CommandLineToArgvW failed).
bool ArgumentsOf(const wchar_t* commandLine, std::vector<std::wstring>& arguments);

}  // namespace wex
