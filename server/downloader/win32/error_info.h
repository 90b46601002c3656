// Automation errors of the Downloader: the members that let an unexpected
// failure reach the script return its HRESULT and leave an IErrorInfo that
// names the object and describes the failure, so a script host can show it.
#pragma once

#include <windows.h>

namespace wex {

// Sets the thread's error info for hr (source "Wexlo.Downloader", interface
// _Downloader, the system's text for hr; no text for a code of the script
// engines' range 0x800A...., whose text the engine has) and returns hr.
// Success codes pass through and clear any stale error info.
HRESULT ReportAutomationError(HRESULT hr);

}  // namespace wex
