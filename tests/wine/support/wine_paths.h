// Where the Wine suite finds the binaries under test, its scratch folder and
// the ports of the runner's fixtures.
#pragma once

#include <cstdint>
#include <string>

namespace wex {

// A file of the folder of Wexlo.exe and Velmora.dll: WEX_BIN_DIR as the
// runner sets it, else the bin folder beside the test program's own folder.
std::wstring BinaryPath(const std::wstring& name);

// A scratch folder for files a test writes (WEX_SCRATCH_DIR, else %TEMP%).
std::wstring ScratchDir();

// The port a runner's variable names (WEX_HTTP_PORT, ...); 0 when unset.
uint16_t PortOf(const wchar_t* variable);

}  // namespace wex
