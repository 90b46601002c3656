// Where the Wine suite finds the binaries under test and its scratch folder.
#pragma once

#include <string>

namespace wex {

// The folder of Wexlo.exe and Velmora.dll: WEX_BIN_DIR as the runner sets it,
// else the bin folder beside the test program's own folder.
std::wstring BinaryDir();
std::wstring BinaryPath(const std::wstring& name);

// A scratch folder for files a test writes (WEX_SCRATCH_DIR, else %TEMP%).
std::wstring ScratchDir();

}  // namespace wex
