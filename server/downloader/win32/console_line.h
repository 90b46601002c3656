// One line of text for whoever started the program from a console. Wexlo.exe
// is a windowed program, so it has no console of its own: the line goes to
// the standard error it was handed (a file or pipe), else to the console of
// the parent, else nowhere (started by COM or from the desktop).
#pragma once

#include <string>

namespace wex {

void ConsoleLine(const std::wstring& text);

}  // namespace wex
