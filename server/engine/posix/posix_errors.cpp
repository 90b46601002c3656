#include "server/engine/posix/posix_errors.h"

#include <netdb.h>

#include <cerrno>

namespace wex {

int32_t WinsockErrorFromErrno(int error) {
  switch (error) {
    case EINTR:
      return 10004;
    // Winsock has no file descriptors: a handle that is not an open socket
    // is "not a socket" there.
    case EBADF:
      return 10038;
    case EACCES:
      return 10013;
    case EFAULT:
      return 10014;
    case EINVAL:
      return 10022;
    case EMFILE:
    case ENFILE:
      return 10024;
    case EWOULDBLOCK:
      return 10035;
#if EAGAIN != EWOULDBLOCK
    case EAGAIN:
      return 10035;
#endif
    case EINPROGRESS:
      return 10036;
    case EALREADY:
      return 10037;
    case ENOTSOCK:
      return 10038;
    case EDESTADDRREQ:
      return 10039;
    case EMSGSIZE:
      return 10040;
    case EPROTOTYPE:
      return 10041;
    case ENOPROTOOPT:
      return 10042;
    case EPROTONOSUPPORT:
      return 10043;
    case ESOCKTNOSUPPORT:
      return 10044;
    case EOPNOTSUPP:
      return 10045;
    case EPFNOSUPPORT:
      return 10046;
    case EAFNOSUPPORT:
      return 10047;
    case EADDRINUSE:
      return 10048;
    case EADDRNOTAVAIL:
      return 10049;
    case ENETDOWN:
      return 10050;
    case ENETUNREACH:
      return 10051;
    case ENETRESET:
      return 10052;
    case ECONNABORTED:
      return 10053;
    case ECONNRESET:
      return 10054;
    // Sending on a connection the peer has torn down: Winsock says reset.
    case EPIPE:
      return 10054;
    case ENOBUFS:
    case ENOMEM:
      return 10055;
    case EISCONN:
      return 10056;
    case ENOTCONN:
      return 10057;
    case ESHUTDOWN:
      return 10058;
    case ETOOMANYREFS:
      return 10059;
    case ETIMEDOUT:
      return 10060;
    case ECONNREFUSED:
      return 10061;
    case ELOOP:
      return 10062;
    case ENAMETOOLONG:
      return 10063;
    case EHOSTDOWN:
      return 10064;
    case EHOSTUNREACH:
      return 10065;
    default:
      return kWSASYSCALLFAILURE;
  }
}

int32_t WinsockErrorFromLookup(int result) {
  switch (result) {
    case EAI_AGAIN:
      return kWSATRY_AGAIN;
    case EAI_FAIL:
      return kWSANO_RECOVERY;
#ifdef EAI_NODATA
    case EAI_NODATA:
      return kWSANO_DATA;
#endif
    case EAI_MEMORY:
      return 10055;
    case EAI_SYSTEM:
      return WinsockErrorFromErrno(errno);
    default:
      return kWSAHOST_NOT_FOUND;
  }
}

}  // namespace wex
