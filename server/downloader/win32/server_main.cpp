// Entry point of Wexlo.exe.
//
// Registration switches (/RegServer, /UnregServer machine-wide,
// /RegServerPerUser, /UnregServerPerUser for the current user; also with "-"
// and in any letter case) end with exit code 0 or 1. A failure is told in one
// line on the console the program was started from, and so is a registration
// of another copy that unregistering leaves alone; success says nothing
// unless /Verbose follows the switch. Started
// by COM (-Embedding) the program runs one apartment thread: it registers the
// class object for a single activation, runs the message loop (which also
// delivers the engine's socket notifications) and ends when the last object
// and lock are gone, or when no object came within the grace period after
// its start.
#include <windows.h>

#include <objbase.h>

#include <string>
#include <vector>

#include "server/downloader/win32/class_factory.h"
#include "server/downloader/win32/command_line.h"
#include "server/downloader/win32/console_line.h"
#include "server/downloader/win32/message_loop.h"
#include "server/downloader/win32/registration.h"
#include "server/downloader/win32/server_lifetime.h"
#include "server/downloader/win32/type_library.h"
#include "wexlo.h"

namespace wex {
namespace {

enum class Mode { kServe, kRegister, kUnregister, kNothing, kUnknown };

struct Command {
  Mode mode = Mode::kNothing;
  RegistryRoot root = RegistryRoot::kMachine;
  bool verbose = false;
};

bool IsSwitch(const wchar_t* arg, const wchar_t* name) {
  return (arg[0] == L'/' || arg[0] == L'-') && lstrcmpiW(arg + 1, name) == 0;
}

// The first switch decides; "/" and "-" both start one. /Verbose may follow.
Command CommandOf(const wchar_t* commandLine) {
  Command command;
  std::vector<std::wstring> args;
  if (!ArgumentsOf(commandLine, args)) {
    command.mode = Mode::kUnknown;
    return command;
  }
  Mode& mode = command.mode;
  for (size_t i = 0; i < args.size(); ++i) {
    const wchar_t* arg = args[i].c_str();
    if (arg[0] != L'/' && arg[0] != L'-') {
      mode = Mode::kUnknown;
      break;
    }
    ++arg;
    if (lstrcmpiW(arg, L"RegServer") == 0) {
      mode = Mode::kRegister;
    } else if (lstrcmpiW(arg, L"UnregServer") == 0) {
      mode = Mode::kUnregister;
    } else if (lstrcmpiW(arg, L"RegServerPerUser") == 0) {
      mode = Mode::kRegister;
      command.root = RegistryRoot::kUser;
    } else if (lstrcmpiW(arg, L"UnregServerPerUser") == 0) {
      mode = Mode::kUnregister;
      command.root = RegistryRoot::kUser;
    } else if (lstrcmpiW(arg, L"Embedding") == 0 || lstrcmpiW(arg, L"Automation") == 0)
      mode = Mode::kServe;
    else
      mode = Mode::kUnknown;
    for (size_t j = i + 1; j < args.size(); ++j)
      if (IsSwitch(args[j].c_str(), L"Verbose")) command.verbose = true;
    break;
  }
  return command;
}

std::wstring Where(RegistryRoot root) {
  return root == RegistryRoot::kMachine ? L"for all users" : L"for the current user";
}

int Register(const Command& command) {
  const bool machine = command.root == RegistryRoot::kMachine;
  RegistrationOutcome outcome;
  if (command.mode == Mode::kRegister) {
    outcome = RegisterServer(command.root);
  } else {
    UnregistrationOutcome removal = UnregisterServer(command.root);
    // Another copy's registration is not this program's to remove. Nothing
    // failed: this program is not registered afterwards, as asked, so the
    // exit code is 0 and an uninstaller goes on; the line says what stays.
    if (!removal.otherServer.empty()) {
      ConsoleLine(L"Wexlo.Downloader is registered " + Where(command.root) + L" to " +
                  removal.otherServer + L", not to this program: left as it is.");
      return 0;
    }
    outcome.result = removal.result;
  }
  if (SUCCEEDED(outcome.result)) {
    if (command.verbose)
      ConsoleLine(std::wstring(L"Wexlo.Downloader ") +
                  (command.mode == Mode::kRegister ? L"registered " : L"unregistered ") +
                  Where(command.root) + L".");
    return 0;
  }
  std::wstring line = command.mode == Mode::kRegister
                          ? L"Wexlo.exe could not register Wexlo.Downloader " + Where(command.root)
                          : L"Wexlo.exe could not remove Wexlo.Downloader " + Where(command.root);
  if (!outcome.failedKey.empty()) line += L" (" + outcome.failedKey + L")";
  line += L": " + FailureText(outcome.result);
  if (outcome.result == E_ACCESSDENIED && machine) {
    line += command.mode == Mode::kRegister
                ? L" Run it from an administrator prompt, or use /RegServerPerUser to register "
                  L"it for the current user only."
                : L" Run it from an administrator prompt.";
  }
  if (command.mode == Mode::kRegister) line += L" Nothing was registered.";
  ConsoleLine(line);
  return 1;
}

int Serve() {
  // COM keeps the class object until CoUninitialize, after this returns: the
  // stub it made for a client may release it only then.
  static DownloaderFactory factory;
  DWORD cookie = 0;
  ServerSetMainThread(GetCurrentThreadId());
  HRESULT hr = CoRegisterClassObject(CLSID_Downloader, &factory, CLSCTX_LOCAL_SERVER,
                                     REGCLS_SINGLEUSE, &cookie);
  if (FAILED(hr)) return 1;
  ServerStartGracePeriod();

  RunMessageLoop();
  CoRevokeClassObject(cookie);
  return 0;
}

}  // namespace
}  // namespace wex

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  wex::Command command = wex::CommandOf(GetCommandLineW());
  wex::Mode mode = command.mode;
  if (mode == wex::Mode::kNothing) return 0;
  if (mode == wex::Mode::kUnknown) {
    wex::ConsoleLine(
        L"Wexlo.exe: unknown switch. Use /RegServer, /UnregServer, /RegServerPerUser or "
        L"/UnregServerPerUser.");
    return 1;
  }
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  int rc = 0;
  if (mode == wex::Mode::kServe)
    rc = wex::Serve();
  else
    rc = wex::Register(command);
  wex::ReleaseServerTypeLib();
  CoUninitialize();
  return rc;
}
