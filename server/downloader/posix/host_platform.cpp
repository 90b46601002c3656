// Natively the engine runs on BSD sockets.
#include "server/engine/posix/posix_platform.h"

namespace wex {

std::shared_ptr<Platform> MakeDefaultPlatform() { return std::make_shared<PosixPlatform>(); }

}  // namespace wex
