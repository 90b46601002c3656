#include "server/engine/win32/schannel_channel.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "server/engine/platform.h"
#include "server/engine/win32/security_calls.h"

// The portable state machine knows the SSPI results by their values.
static_assert(SEC_E_OK == wex::kSecEOk, "SEC_E_OK");
static_assert(SEC_I_CONTINUE_NEEDED == wex::kSecIContinueNeeded, "SEC_I_CONTINUE_NEEDED");
static_assert(SEC_I_CONTEXT_EXPIRED == wex::kSecIContextExpired, "SEC_I_CONTEXT_EXPIRED");
static_assert(SEC_I_INCOMPLETE_CREDENTIALS == wex::kSecIIncompleteCredentials,
              "SEC_I_INCOMPLETE_CREDENTIALS");
static_assert(SEC_I_RENEGOTIATE == wex::kSecIRenegotiate, "SEC_I_RENEGOTIATE");
static_assert(SEC_E_INCOMPLETE_MESSAGE == wex::kSecEIncompleteMessage, "SEC_E_INCOMPLETE_MESSAGE");
static_assert(SEC_E_ILLEGAL_MESSAGE == wex::kSecEIllegalMessage, "SEC_E_ILLEGAL_MESSAGE");

namespace wex {
namespace {

using Clock = std::chrono::steady_clock;

constexpr DWORD kContextFlags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT |
                                ISC_REQ_CONFIDENTIALITY | ISC_REQ_EXTENDED_ERROR |
                                ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM |
                                ISC_REQ_MANUAL_CRED_VALIDATION;

// Milliseconds left until the deadline, at least 0.
int32_t MillisecondsLeft(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int32_t>(left.count()) : 0;
}

// Waits for the socket to be readable (or writable); false on time-out or
// failure, with the Winsock error set.
bool WaitFor(SOCKET socket, bool write, int32_t timeoutMs) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(socket, &set);
  timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  int n = select(0, write ? nullptr : &set, write ? &set : nullptr, nullptr, &limit);
  if (n == SOCKET_ERROR) return false;
  if (n == 0) {
    WSASetLastError(WSAETIMEDOUT);
    return false;
  }
  return true;
}

// Sends every byte, waiting while the socket would block, until the deadline.
// 0, or the Winsock error.
int32_t SendAllBy(SOCKET socket, const char* bytes, size_t count, Clock::time_point deadline) {
  while (count > 0) {
    int n = send(socket, bytes, static_cast<int>(count), 0);
    if (n > 0) {
      bytes += n;
      count -= static_cast<size_t>(n);
      continue;
    }
    int error = WSAGetLastError();
    if (n == SOCKET_ERROR && error != WSAEWOULDBLOCK) return error;
    if (!WaitFor(socket, true, MillisecondsLeft(deadline))) return WSAGetLastError();
  }
  return 0;
}

// An output token of InitializeSecurityContext, freed with the buffer.
class OutputToken {
 public:
  OutputToken() {
    buffer_.BufferType = SECBUFFER_TOKEN;
    description_.ulVersion = SECBUFFER_VERSION;
    description_.cBuffers = 1;
    description_.pBuffers = &buffer_;
  }
  ~OutputToken() {
    if (buffer_.pvBuffer != nullptr) SecurityCalls()->FreeContextBuffer(buffer_.pvBuffer);
  }
  OutputToken(const OutputToken&) = delete;
  OutputToken& operator=(const OutputToken&) = delete;

  SecBufferDesc* Description() { return &description_; }
  const char* Bytes() const { return static_cast<const char*>(buffer_.pvBuffer); }
  size_t Size() const { return buffer_.pvBuffer != nullptr ? buffer_.cbBuffer : 0; }

 private:
  SecBuffer buffer_{0, SECBUFFER_TOKEN, nullptr};
  SecBufferDesc description_{};
};

std::wstring WideName(const std::string& name) {
  int n = MultiByteToWideChar(CP_ACP, 0, name.c_str(), static_cast<int>(name.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) {
    MultiByteToWideChar(CP_ACP, 0, name.c_str(), static_cast<int>(name.size()), &wide[0], n);
  }
  return wide;
}

}  // namespace

std::unique_ptr<SchannelChannel> SchannelChannel::Establish(SOCKET socket,
                                                            const std::string& hostName,
                                                            int32_t timeoutMs, int32_t& error) {
  // Loaded here, at the first secure connection, not at the program's start.
  if (SecurityCalls() == nullptr || ChainCalls() == nullptr) {
    error = static_cast<int32_t>(SEC_E_SECPKG_NOT_FOUND);
    return nullptr;
  }
  std::unique_ptr<SchannelChannel> channel(new SchannelChannel(socket, hostName));
  error = channel->AcquireCredentials();
  if (error == 0) error = channel->core_.Handshake(timeoutMs);
  if (error == 0) error = channel->VerifyServer();
  if (error != 0) return nullptr;
  return channel;
}

SchannelChannel::SchannelChannel(SOCKET socket, const std::string& hostName)
    : socket_(socket), hostName_(WideName(hostName)) {}

SchannelChannel::~SchannelChannel() {
  if (haveContext_) SecurityCalls()->DeleteSecurityContext(&context_);
  if (haveCredentials_) SecurityCalls()->FreeCredentialsHandle(&credentials_);
}

// Client credentials without a certificate of our own; the server's
// certificate is checked afterwards (manual validation), by VerifyServer.
int32_t SchannelChannel::AcquireCredentials() {
  SCHANNEL_CRED settings{};
  settings.dwVersion = SCHANNEL_CRED_VERSION;
  settings.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS;
  TimeStamp expiry;
  SECURITY_STATUS status = SecurityCalls()->AcquireCredentialsHandleW(
      nullptr, const_cast<wchar_t*>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND, nullptr, &settings,
      nullptr, nullptr, &credentials_, &expiry);
  if (status != SEC_E_OK) return status;
  haveCredentials_ = true;
  return 0;
}

// The certificate the server presented: its chain must end at a trusted root
// and it must be valid now for the server name, as the platform's own HTTP
// objects require. There is no way to skip the check.
int32_t SchannelChannel::VerifyServer() {
  PCCERT_CONTEXT certificate = nullptr;
  SECURITY_STATUS status = SecurityCalls()->QueryContextAttributesW(
      &context_, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &certificate);
  if (status != SEC_E_OK || certificate == nullptr) return kCertEUntrustedRoot;

  LPSTR serverAuth = const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH);
  CERT_CHAIN_PARA chainParameters{};
  chainParameters.cbSize = sizeof chainParameters;
  chainParameters.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
  chainParameters.RequestedUsage.Usage.cUsageIdentifier = 1;
  chainParameters.RequestedUsage.Usage.rgpszUsageIdentifier = &serverAuth;
  const CertificateCalls& crypt = *ChainCalls();
  const LoadedCertificate owned(certificate);
  LoadedCertificateChain chain;
  const BOOL built = crypt.getChain(nullptr, certificate, nullptr, certificate->hCertStore,
                                    &chainParameters, 0, nullptr, chain.put());
  if (!built || !chain) return kCertEChaining;
  // A chain that ends at no root this machine has is untrusted, whatever the
  // policy check below makes of it (Wine's passes a partial chain).
  if (chain.get()->TrustStatus.dwErrorStatus &
      (CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN))
    return kCertEUntrustedRoot;

  SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
  ssl.cbSize = sizeof ssl;
  ssl.dwAuthType = AUTHTYPE_SERVER;
  ssl.pwszServerName = const_cast<wchar_t*>(hostName_.c_str());
  CERT_CHAIN_POLICY_PARA policy{};
  policy.cbSize = sizeof policy;
  policy.pvExtraPolicyPara = &ssl;
  CERT_CHAIN_POLICY_STATUS result{};
  result.cbSize = sizeof result;
  if (!crypt.verifyPolicy(CERT_CHAIN_POLICY_SSL, chain.get(), &policy, &result))
    return kCertEChaining;
  return static_cast<int32_t>(result.dwError);
}

SspiCalls::Result SchannelChannel::Initialize(const uint8_t* input, size_t size) {
  // The first call creates the context and has no input; a later call
  // without bytes (a handshake message that left none) has none either.
  const bool first = !haveContext_;
  SecBuffer buffers[2] = {{static_cast<ULONG>(size), SECBUFFER_TOKEN, const_cast<uint8_t*>(input)},
                          {0, SECBUFFER_EMPTY, nullptr}};
  SecBufferDesc description{SECBUFFER_VERSION, 2, buffers};
  OutputToken output;
  ULONG attributes = 0;
  TimeStamp expiry;
  SECURITY_STATUS status = SecurityCalls()->InitializeSecurityContextW(
      &credentials_, first ? nullptr : &context_, const_cast<wchar_t*>(hostName_.c_str()),
      kContextFlags, 0, 0, first || size == 0 ? nullptr : &description, 0,
      first ? &context_ : nullptr, output.Description(), &attributes, &expiry);
  if (first && (status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED)) haveContext_ = true;
  const auto* token = reinterpret_cast<const uint8_t*>(output.Bytes());
  token_.assign(token, token + output.Size());
  Result result;
  result.status = status;
  result.bytes = token_.data();
  result.size = token_.size();
  if (buffers[1].BufferType == SECBUFFER_EXTRA) result.extra = buffers[1].cbBuffer;
  return result;
}

SspiCalls::Result SchannelChannel::Decrypt(uint8_t* input, size_t size) {
  SecBuffer buffers[4] = {{static_cast<ULONG>(size), SECBUFFER_DATA, input},
                          {0, SECBUFFER_EMPTY, nullptr},
                          {0, SECBUFFER_EMPTY, nullptr},
                          {0, SECBUFFER_EMPTY, nullptr}};
  SecBufferDesc description{SECBUFFER_VERSION, 4, buffers};
  Result result;
  result.status = SecurityCalls()->DecryptMessage(&context_, &description, 0, nullptr);
  if (result.status == SEC_E_INCOMPLETE_MESSAGE) return result;
  bool haveData = false, haveExtra = false;
  for (const SecBuffer& buffer : buffers) {
    if (buffer.BufferType == SECBUFFER_DATA && !haveData) {
      haveData = true;
      result.bytes = static_cast<const uint8_t*>(buffer.pvBuffer);
      result.size = buffer.pvBuffer != nullptr ? buffer.cbBuffer : 0;
    }
    if (buffer.BufferType == SECBUFFER_EXTRA && !haveExtra) {
      haveExtra = true;
      result.extra = buffer.cbBuffer;
    }
  }
  return result;
}

int32_t SchannelChannel::Encrypt(const uint8_t* bytes, size_t count, std::vector<uint8_t>& record) {
  record.resize(sizes_.cbHeader + count + sizes_.cbTrailer);
  std::memcpy(record.data() + sizes_.cbHeader, bytes, count);
  SecBuffer buffers[4] = {
      {sizes_.cbHeader, SECBUFFER_STREAM_HEADER, record.data()},
      {static_cast<ULONG>(count), SECBUFFER_DATA, record.data() + sizes_.cbHeader},
      {sizes_.cbTrailer, SECBUFFER_STREAM_TRAILER, record.data() + sizes_.cbHeader + count},
      {0, SECBUFFER_EMPTY, nullptr}};
  SecBufferDesc description{SECBUFFER_VERSION, 4, buffers};
  SECURITY_STATUS status = SecurityCalls()->EncryptMessage(&context_, 0, &description, 0);
  if (status != SEC_E_OK) return status;
  record.resize(buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer);
  return 0;
}

int32_t SchannelChannel::StreamSizes(size_t& maxMessage, size_t& maxRecord) {
  SECURITY_STATUS status =
      SecurityCalls()->QueryContextAttributesW(&context_, SECPKG_ATTR_STREAM_SIZES, &sizes_);
  if (status != SEC_E_OK) return status;
  maxMessage = sizes_.cbMaximumMessage;
  maxRecord = static_cast<size_t>(sizes_.cbHeader) + sizes_.cbMaximumMessage + sizes_.cbTrailer;
  return 0;
}

int32_t SchannelChannel::Receive(uint8_t* buffer, size_t size, int32_t& error) {
  int n = recv(socket_, reinterpret_cast<char*>(buffer), static_cast<int>(size), 0);
  if (n < 0) error = WSAGetLastError();
  return n;
}

int32_t SchannelChannel::WaitReadable(int32_t timeoutMs) {
  return WaitFor(socket_, false, timeoutMs) ? 0 : WSAGetLastError();
}

int32_t SchannelChannel::SendAll(const uint8_t* bytes, size_t count, int32_t timeoutMs) {
  return SendAllBy(socket_, reinterpret_cast<const char*>(bytes), count,
                   Clock::now() + std::chrono::milliseconds(timeoutMs));
}

uint64_t SchannelChannel::NowMs() {
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
          .count());
}

}  // namespace wex
