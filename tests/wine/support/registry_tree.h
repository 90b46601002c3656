// The registry read back as text, one line per key and value.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace wex {

// "path" or "path|name=value" ("@": the default), below root's classes key,
// in lower case: Wine may spell a path differently from the test.
std::vector<std::wstring> ClassesTree(HKEY root, REGSAM view, const std::wstring& path);

// Lines sorted, as one text (for a readable comparison in a failure).
std::string SortedText(std::vector<std::wstring> lines);
std::wstring Lower(std::wstring text);

// Runs a command line and waits for it; its exit code, or -1. The program's
// standard output and error go to *output when output is not null.
long RunCommand(const std::wstring& command, std::string* output = nullptr);

}  // namespace wex
