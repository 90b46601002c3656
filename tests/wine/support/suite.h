// What the Wine suite's programs share: where they find the binaries under
// test, the scratch folder and the runner's fixtures, and their message loop.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace wex {

// A file of the folder of Wexlo.exe and Velmora.dll: WEX_BIN_DIR as the
// runner sets it, else the bin folder beside the test program's own folder.
std::wstring BinaryPath(const std::wstring& name);

// A scratch folder for files a test writes (WEX_SCRATCH_DIR, else %TEMP%).
std::wstring ScratchDir();

// The port a runner's variable names (WEX_HTTP_PORT, ...); 0 when unset.
uint16_t PortOf(const wchar_t* variable);

// Handles the thread's messages until done() holds, as the server's own loop
// does; false on the time-out. MWMO_INPUTAVAILABLE: a message a nested modal
// loop has seen still wakes it.
bool PumpMessagesUntil(const std::function<bool()>& done, unsigned long timeoutMs = 10000);

// Handles whatever is queued now, without waiting.
void PumpQueued();

}  // namespace wex
