// Reading the registry back as text, so that tests compare what was really
// written with a literal list: every key and every value under a key, one
// line each, in a given root and view.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace wex {

// "path" for a key, "path|name=value" for a value ("@" names the default;
// values of other types than REG_SZ read "<type N>"), depth first, paths
// relative to the classes key of root, all in lower case: the registry and
// the file system ignore case, and Wine may spell a path differently from the
// way the test does.
std::vector<std::wstring> ClassesTree(HKEY root, REGSAM view, const std::wstring& path);

// Lines sorted, as one text (for a readable comparison in a failure).
std::string SortedText(std::vector<std::wstring> lines);
std::wstring Lower(std::wstring text);

// Runs a command line and waits for it; its exit code, or -1. The program's
// standard output and error go to *output when output is not null.
long RunCommand(const std::wstring& command, std::string* output = nullptr);

}  // namespace wex
