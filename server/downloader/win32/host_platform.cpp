// On Windows the engine runs on Winsock 1.1 with its notification window.
#include "server/engine/win32/win32_platform.h"

namespace wex {

std::shared_ptr<Platform> MakeDefaultPlatform() { return std::make_shared<Win32Platform>(); }

}  // namespace wex
