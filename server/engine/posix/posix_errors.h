// Translation of POSIX error numbers into the Windows Sockets numbers the
// engine reports, so that its messages read the same on every platform.
#pragma once

#include <cstdint>

namespace wex {

// Winsock numbers that only the POSIX platform produces itself.
constexpr int32_t kWSAHOST_NOT_FOUND = 11001;
constexpr int32_t kWSATRY_AGAIN = 11002;
constexpr int32_t kWSANO_RECOVERY = 11003;
constexpr int32_t kWSANO_DATA = 11004;
// What an errno without a Winsock counterpart becomes.
constexpr int32_t kWSASYSCALLFAILURE = 10107;

// The Winsock number for an errno value of a socket call.
int32_t WinsockErrorFromErrno(int error);

// The Winsock number for a getaddrinfo result (EAI_...).
int32_t WinsockErrorFromLookup(int result);

}  // namespace wex
