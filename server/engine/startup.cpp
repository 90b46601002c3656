// Construction, destruction, the socket library's start and stop, the
// connectivity queries and the simple accessors.
#include "common/ustring.h"
#include "server/engine/http_uc.h"
#include "server/engine/operation.h"
#include "server/resources/message_table.h"

namespace wex {
namespace {

// The User-Agent every request sends unless UserAgent1 changes it.
constexpr char16_t kDefaultUserAgent[] =
    u"Wexlo.EXE v. 1.04 from Quarnet - http://www.quarnet.example/";

// Windows Sockets 1.1, the version the engine asks for.
constexpr uint16_t kSocketVersion = 0x0101;

// LStartCode while the socket library is started.
constexpr int32_t kStarted = 100;

// A failed library start: its message number and failure category.
struct StartFailure {
  int32_t message;
  int32_t category;
};

StartFailure StartFailureFor(int32_t result) {
  switch (result) {
    case kWSASYSNOTREADY:
      return {kMessageSystemNotReady, 1};
    case kWSAVERNOTSUPPORTED:
      return {kMessageVersionNotSupported, 2};
    case kWSAEINPROGRESS:
      return {kMessageBlockingCallInUse, 3};
    case kWSAEPROCLIM:
      return {kMessageTaskLimit, 4};
    case kWSAEFAULT:
      return {kMessageStartParameter, 5};
    default:
      return {kMessageUnknownError, 6};
  }
}

}  // namespace

std::shared_ptr<httpUC> httpUC::Create(std::shared_ptr<Platform> platform) {
  return std::shared_ptr<httpUC>(new httpUC(std::move(platform)));
}

httpUC::httpUC(std::shared_ptr<Platform> platform) : platform_(std::move(platform)) {
  LPort = 80;
  sUserAgent = kDefaultUserAgent;
  ResetTransfer();
}

// Destruction closes an open connection (raising OnDisconnect1) and stops the
// socket library. No owner is left, so notifications are no longer handled:
// the depth keeps anything arriving now among the held ones, which are dropped.
httpUC::~httpUC() {
  ++operationDepth_;
  colChunks.reset();
  StopWinsock();
}

void httpUC::Port(int32_t LPort1) {
  LPort = LPort1;
  bPortWritten = true;
}

int32_t httpUC::ServerCode() const { return LServerCode; }

void httpUC::UserAgent1(const ustring& sAgent) { sUserAgent = sAgent; }

ustring httpUC::ServerString() const { return sServerString; }

bool httpUC::IsOnline() {
  uint32_t flags = 0;
  return platform_->ConnectedState(flags);
}

// Answers from the flags alone, whatever the call itself returns.
bool httpUC::IsConnectionProxy() {
  uint32_t flags = 0;
  platform_->ConnectedState(flags);
  return (flags & kInternetConnectionProxy) != 0;
}

int32_t httpUC::StartUp1(ustring& sErr) {
  Operation operation(*this);
  LErrNum = 0;
  LStartCode = StartWinsock();
  if (LErrNum != 0) sErr = MessageText(LErrNum);
  return LErrNum;
}

void httpUC::CloseDown() {
  Operation operation(*this);
  StopWinsock();
}

// Starts the socket library once; on failure LErrNum gets the message number
// and the category is returned.
int32_t httpUC::StartWinsock() {
  if (LStartCode == kStarted) return kStarted;
  int32_t result = platform_->Startup(kSocketVersion);
  if (result == 0) return kStarted;
  StartFailure failure = StartFailureFor(result);
  LErrNum = failure.message;
  return failure.category;
}

bool httpUC::SocketLibraryStarted() const { return LStartCode == kStarted; }

// Closes an open connection once, then matches a successful start with
// exactly one cleanup. A failed start stays in LStartCode. An OnDisconnect1
// handler may have started the next request meanwhile: it stands (its
// RequestFile1 has returned), but the library stops under it, so its socket
// is released without further events instead of being closed again, which
// would raise OnDisconnect1 again for as long as handlers keep requesting.
void httpUC::StopWinsock() {
  CloseConnection();
  ReleaseConnectionQuietly();
  if (LStartCode == kStarted) {
    platform_->Cleanup();
    LStartCode = 0;
  }
}

}  // namespace wex
