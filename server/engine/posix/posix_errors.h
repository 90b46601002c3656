// Translation of POSIX error numbers into the Windows Sockets numbers the
// engine reports, so that its messages read the same on every platform.
#pragma once

#include <cstdint>

#include "server/engine/winsock_errors.h"

namespace wex {

// The Winsock number for an errno value of a socket call.
int32_t WinsockErrorFromErrno(int error);

// The Winsock number for a getaddrinfo result (EAI_...).
int32_t WinsockErrorFromLookup(int result);

}  // namespace wex
