// Entry point of Wexlo.exe.
//
// Registration switches (/RegServer, /UnregServer, also with "-" and in any
// letter case) do their work silently and end with exit code 0 or 1. Started
// by COM (-Embedding) the program runs one apartment thread: it registers the
// class object for a single activation, runs the message loop (which also
// delivers the engine's socket notifications) and ends when the last object
// and lock are gone, or when no object came within the grace period after
// its start.
#include <windows.h>

#include <objbase.h>

#include <string>

#include "server/downloader/com/class_factory.h"
#include "server/downloader/com/registration.h"
#include "server/downloader/com/server_lifetime.h"
#include "server/downloader/com/type_library.h"
#include "wexlo.h"

namespace wex {
namespace {

enum class Mode { kServe, kRegister, kUnregister, kNothing, kUnknown };

// The first switch decides; "/" and "-" both start one.
Mode ModeOf(const wchar_t* commandLine) {
  int count = 0;
  LPWSTR* args = CommandLineToArgvW(commandLine, &count);
  if (args == nullptr) return Mode::kUnknown;
  Mode mode = Mode::kNothing;
  // CommandLineToArgvW of GetCommandLineW starts with the program's own name.
  for (int i = 1; i < count; ++i) {
    const wchar_t* arg = args[i];
    if (arg[0] != L'/' && arg[0] != L'-') {
      mode = Mode::kUnknown;
      break;
    }
    ++arg;
    if (lstrcmpiW(arg, L"RegServer") == 0)
      mode = Mode::kRegister;
    else if (lstrcmpiW(arg, L"UnregServer") == 0)
      mode = Mode::kUnregister;
    else if (lstrcmpiW(arg, L"Embedding") == 0 || lstrcmpiW(arg, L"Automation") == 0)
      mode = Mode::kServe;
    else
      mode = Mode::kUnknown;
    break;
  }
  LocalFree(args);
  return mode;
}

int Register(bool install) {
  HRESULT hr = install ? RegisterServer() : UnregisterServer();
  return SUCCEEDED(hr) ? 0 : 1;
}

int Serve() {
  DownloaderFactory factory;
  DWORD cookie = 0;
  ServerSetMainThread(GetCurrentThreadId());
  HRESULT hr = CoRegisterClassObject(CLSID_Downloader, &factory, CLSCTX_LOCAL_SERVER,
                                     REGCLS_SINGLEUSE, &cookie);
  if (FAILED(hr)) return 1;
  ServerStartGracePeriod();

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  CoRevokeClassObject(cookie);
  return 0;
}

}  // namespace
}  // namespace wex

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  wex::Mode mode = wex::ModeOf(GetCommandLineW());
  if (mode == wex::Mode::kNothing) return 0;
  if (mode == wex::Mode::kUnknown) return 1;
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  int rc = 0;
  if (mode == wex::Mode::kServe)
    rc = wex::Serve();
  else
    rc = wex::Register(mode == wex::Mode::kRegister);
  wex::ReleaseServerTypeLib();
  CoUninitialize();
  return rc;
}
