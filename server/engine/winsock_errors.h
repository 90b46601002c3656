// The Windows Sockets error numbers, one table for the whole engine: the
// engine reports them, every platform leaves them for LastError() (the
// POSIX platform translates errno into them), and the tests name them.
#pragma once

#include <cstdint>

namespace wex {

constexpr int32_t kWSAEINTR = 10004;            // a blocking call was interrupted
constexpr int32_t kWSAEACCES = 10013;           // permission denied
constexpr int32_t kWSAEFAULT = 10014;           // a bad address or argument buffer
constexpr int32_t kWSAEINVAL = 10022;           // an invalid argument
constexpr int32_t kWSAEMFILE = 10024;           // too many open sockets
constexpr int32_t kWSAEWOULDBLOCK = 10035;      // the call would block (nothing to read yet)
constexpr int32_t kWSAEINPROGRESS = 10036;      // a blocking operation is in progress
constexpr int32_t kWSAEALREADY = 10037;         // an operation is already in progress
constexpr int32_t kWSAENOTSOCK = 10038;         // not a socket
constexpr int32_t kWSAEDESTADDRREQ = 10039;     // a destination address is required
constexpr int32_t kWSAEMSGSIZE = 10040;         // message too long
constexpr int32_t kWSAEPROTOTYPE = 10041;       // wrong protocol type for the socket
constexpr int32_t kWSAENOPROTOOPT = 10042;      // bad protocol option
constexpr int32_t kWSAEPROTONOSUPPORT = 10043;  // protocol not supported
constexpr int32_t kWSAESOCKTNOSUPPORT = 10044;  // socket type not supported
constexpr int32_t kWSAEOPNOTSUPP = 10045;       // operation not supported
constexpr int32_t kWSAEPFNOSUPPORT = 10046;     // protocol family not supported
constexpr int32_t kWSAEAFNOSUPPORT = 10047;     // address family not supported
constexpr int32_t kWSAEADDRINUSE = 10048;       // address already in use
constexpr int32_t kWSAEADDRNOTAVAIL = 10049;    // address not available
constexpr int32_t kWSAENETDOWN = 10050;         // the network is down
constexpr int32_t kWSAENETUNREACH = 10051;      // the network is unreachable
constexpr int32_t kWSAENETRESET = 10052;        // the connection was reset by the network
constexpr int32_t kWSAECONNABORTED = 10053;     // the connection was aborted
constexpr int32_t kWSAECONNRESET = 10054;       // the connection was reset by the peer
constexpr int32_t kWSAENOBUFS = 10055;          // no buffer space (no memory)
constexpr int32_t kWSAEISCONN = 10056;          // already connected
constexpr int32_t kWSAENOTCONN = 10057;         // not connected
constexpr int32_t kWSAESHUTDOWN = 10058;        // the socket was shut down
constexpr int32_t kWSAETOOMANYREFS = 10059;     // too many references
constexpr int32_t kWSAETIMEDOUT = 10060;        // the connection timed out
constexpr int32_t kWSAECONNREFUSED = 10061;     // the connection was refused
constexpr int32_t kWSAELOOP = 10062;            // too many levels of symbolic links
constexpr int32_t kWSAENAMETOOLONG = 10063;     // name too long
constexpr int32_t kWSAEHOSTDOWN = 10064;        // the host is down
constexpr int32_t kWSAEHOSTUNREACH = 10065;     // no route to the host
constexpr int32_t kWSAEPROCLIM = 10067;         // too many processes use the library
constexpr int32_t kWSASYSNOTREADY = 10091;      // the network subsystem is not ready
constexpr int32_t kWSAVERNOTSUPPORTED = 10092;  // the version asked for is not supported
constexpr int32_t kWSANOTINITIALISED = 10093;   // the socket library was not started
constexpr int32_t kWSASYSCALLFAILURE =
    10107;  // a system call failed (an error without a Winsock counterpart)
constexpr int32_t kWSAHOST_NOT_FOUND = 11001;  // the name has no address
constexpr int32_t kWSATRY_AGAIN = 11002;       // the name server did not answer; try again
constexpr int32_t kWSANO_RECOVERY = 11003;     // the name server failed
constexpr int32_t kWSANO_DATA = 11004;         // the name has no address of the kind asked for

}  // namespace wex
