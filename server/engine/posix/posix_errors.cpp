#include "server/engine/posix/posix_errors.h"

#include <netdb.h>

#include <cerrno>

namespace wex {

int32_t WinsockErrorFromErrno(int error) {
  switch (error) {
    case EINTR:
      return kWSAEINTR;
    // Winsock has no file descriptors: a handle that is not an open socket
    // is "not a socket" there.
    case EBADF:
      return kWSAENOTSOCK;
    case EACCES:
      return kWSAEACCES;
    case EFAULT:
      return kWSAEFAULT;
    case EINVAL:
      return kWSAEINVAL;
    case EMFILE:
    case ENFILE:
      return kWSAEMFILE;
    case EWOULDBLOCK:
      return kWSAEWOULDBLOCK;
#if EAGAIN != EWOULDBLOCK
    case EAGAIN:
      return kWSAEWOULDBLOCK;
#endif
    case EINPROGRESS:
      return kWSAEINPROGRESS;
    case EALREADY:
      return kWSAEALREADY;
    case ENOTSOCK:
      return kWSAENOTSOCK;
    case EDESTADDRREQ:
      return kWSAEDESTADDRREQ;
    case EMSGSIZE:
      return kWSAEMSGSIZE;
    case EPROTOTYPE:
      return kWSAEPROTOTYPE;
    case ENOPROTOOPT:
      return kWSAENOPROTOOPT;
    case EPROTONOSUPPORT:
      return kWSAEPROTONOSUPPORT;
    case ESOCKTNOSUPPORT:
      return kWSAESOCKTNOSUPPORT;
    case EOPNOTSUPP:
      return kWSAEOPNOTSUPP;
    case EPFNOSUPPORT:
      return kWSAEPFNOSUPPORT;
    case EAFNOSUPPORT:
      return kWSAEAFNOSUPPORT;
    case EADDRINUSE:
      return kWSAEADDRINUSE;
    case EADDRNOTAVAIL:
      return kWSAEADDRNOTAVAIL;
    case ENETDOWN:
      return kWSAENETDOWN;
    case ENETUNREACH:
      return kWSAENETUNREACH;
    case ENETRESET:
      return kWSAENETRESET;
    case ECONNABORTED:
      return kWSAECONNABORTED;
    case ECONNRESET:
      return kWSAECONNRESET;
    // Sending on a connection the peer has torn down: Winsock says reset.
    case EPIPE:
      return kWSAECONNRESET;
    case ENOBUFS:
    case ENOMEM:
      return kWSAENOBUFS;
    case EISCONN:
      return kWSAEISCONN;
    case ENOTCONN:
      return kWSAENOTCONN;
    case ESHUTDOWN:
      return kWSAESHUTDOWN;
    case ETOOMANYREFS:
      return kWSAETOOMANYREFS;
    case ETIMEDOUT:
      return kWSAETIMEDOUT;
    case ECONNREFUSED:
      return kWSAECONNREFUSED;
    case ELOOP:
      return kWSAELOOP;
    case ENAMETOOLONG:
      return kWSAENAMETOOLONG;
    case EHOSTDOWN:
      return kWSAEHOSTDOWN;
    case EHOSTUNREACH:
      return kWSAEHOSTUNREACH;
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
      return kWSAENOBUFS;
    case EAI_SYSTEM:
      return WinsockErrorFromErrno(errno);
    default:
      return kWSAHOST_NOT_FOUND;
  }
}

}  // namespace wex
