#include "server/engine/win32/schannel_channel.h"

#include <wincrypt.h>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "server/engine/platform.h"

namespace wex {
namespace {

using Clock = std::chrono::steady_clock;

constexpr DWORD kContextFlags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT |
                                ISC_REQ_CONFIDENTIALITY | ISC_REQ_EXTENDED_ERROR |
                                ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM |
                                ISC_REQ_MANUAL_CRED_VALIDATION;

// Room for the largest handshake message or record the handshake receives.
constexpr size_t kHandshakeBuffer = 64 * 1024;

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
int32_t SendAll(SOCKET socket, const char* bytes, size_t count, Clock::time_point deadline) {
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
    if (buffer_.pvBuffer != nullptr) FreeContextBuffer(buffer_.pvBuffer);
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
  std::unique_ptr<SchannelChannel> channel(new SchannelChannel());
  channel->hostName_ = WideName(hostName);
  error = channel->Handshake(socket, timeoutMs);
  if (error == 0) error = channel->VerifyServer();
  if (error != 0) return nullptr;
  return channel;
}

SchannelChannel::~SchannelChannel() {
  if (haveContext_) DeleteSecurityContext(&context_);
  if (haveCredentials_) FreeCredentialsHandle(&credentials_);
}

// The token exchange of InitializeSecurityContext, over the blocking socket.
// The certificate is checked afterwards (manual validation), by VerifyServer.
int32_t SchannelChannel::Handshake(SOCKET socket, int32_t timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  SCHANNEL_CRED settings{};
  settings.dwVersion = SCHANNEL_CRED_VERSION;
  settings.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS;
  TimeStamp expiry;
  SECURITY_STATUS status =
      AcquireCredentialsHandleW(nullptr, const_cast<wchar_t*>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND,
                                nullptr, &settings, nullptr, nullptr, &credentials_, &expiry);
  if (status != SEC_E_OK) return status;
  haveCredentials_ = true;

  wchar_t* target = const_cast<wchar_t*>(hostName_.c_str());
  raw_.assign(kHandshakeBuffer, 0);
  rawUsed_ = 0;
  ULONG attributes = 0;
  bool first = true;
  bool needData = false;
  for (int round = 0; round < 64; ++round) {
    if (needData) {
      if (rawUsed_ == raw_.size()) return SEC_E_ILLEGAL_MESSAGE;
      if (!WaitFor(socket, false, MillisecondsLeft(deadline))) return WSAGetLastError();
      int n = recv(socket, raw_.data() + rawUsed_, static_cast<int>(raw_.size() - rawUsed_), 0);
      if (n == 0) return WSAECONNRESET;  // the server ended the connection
      if (n < 0) return WSAGetLastError();
      rawUsed_ += static_cast<size_t>(n);
    }
    SecBuffer input[2] = {{static_cast<ULONG>(rawUsed_), SECBUFFER_TOKEN, raw_.data()},
                          {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc inputDescription{SECBUFFER_VERSION, 2, input};
    OutputToken output;
    status = InitializeSecurityContextW(&credentials_, first ? nullptr : &context_, target,
                                        kContextFlags, 0, 0, first ? nullptr : &inputDescription, 0,
                                        first ? &context_ : nullptr, output.Description(),
                                        &attributes, &expiry);
    if (first && (status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED)) haveContext_ = true;
    first = false;
    if (status == SEC_E_INCOMPLETE_MESSAGE) {
      needData = true;
      continue;
    }
    // The token goes out on success and, as an alert, on most failures.
    if (output.Size() > 0) {
      int32_t sent = SendAll(socket, output.Bytes(), output.Size(), deadline);
      if (sent != 0 && (status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED)) return sent;
    }
    if (status != SEC_E_OK && status != SEC_I_CONTINUE_NEEDED &&
        status != SEC_I_INCOMPLETE_CREDENTIALS) {
      return status;
    }
    if (input[1].BufferType == SECBUFFER_EXTRA && input[1].cbBuffer > 0) {
      KeepExtra(&input[1]);
    } else if (status != SEC_I_INCOMPLETE_CREDENTIALS) {
      rawUsed_ = 0;
    }
    if (status == SEC_E_OK) {
      status = QueryContextAttributesW(&context_, SECPKG_ATTR_STREAM_SIZES, &sizes_);
      if (status != SEC_E_OK) return status;
      raw_.resize(std::max(
          raw_.size(),
          static_cast<size_t>(sizes_.cbHeader + sizes_.cbMaximumMessage + sizes_.cbTrailer)));
      return 0;
    }
    // More from the server unless it already sent what comes next.
    needData = rawUsed_ == 0;
  }
  return SEC_E_INTERNAL_ERROR;
}

// The certificate the server presented: its chain must end at a trusted root
// and it must be valid now for the server name, as the platform's own HTTP
// objects require. There is no way to skip the check.
int32_t SchannelChannel::VerifyServer() {
  PCCERT_CONTEXT certificate = nullptr;
  SECURITY_STATUS status =
      QueryContextAttributesW(&context_, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &certificate);
  if (status != SEC_E_OK || certificate == nullptr) return kCertEUntrustedRoot;

  LPSTR serverAuth = const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH);
  CERT_CHAIN_PARA chainParameters{};
  chainParameters.cbSize = sizeof chainParameters;
  chainParameters.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
  chainParameters.RequestedUsage.Usage.cUsageIdentifier = 1;
  chainParameters.RequestedUsage.Usage.rgpszUsageIdentifier = &serverAuth;
  PCCERT_CHAIN_CONTEXT chain = nullptr;
  BOOL built = CertGetCertificateChain(nullptr, certificate, nullptr, certificate->hCertStore,
                                       &chainParameters, 0, nullptr, &chain);
  CertFreeCertificateContext(certificate);
  if (!built || chain == nullptr) return kCertEChaining;
  // A chain that ends at no root this machine has is untrusted, whatever the
  // policy check below makes of it (Wine's passes a partial chain).
  if (chain->TrustStatus.dwErrorStatus &
      (CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN)) {
    CertFreeCertificateChain(chain);
    return kCertEUntrustedRoot;
  }

  SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
  ssl.cbSize = sizeof ssl;
  ssl.dwAuthType = AUTHTYPE_SERVER;
  ssl.pwszServerName = const_cast<wchar_t*>(hostName_.c_str());
  CERT_CHAIN_POLICY_PARA policy{};
  policy.cbSize = sizeof policy;
  policy.pvExtraPolicyPara = &ssl;
  CERT_CHAIN_POLICY_STATUS result{};
  result.cbSize = sizeof result;
  BOOL checked = CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &result);
  CertFreeCertificateChain(chain);
  if (!checked) return kCertEChaining;
  return static_cast<int32_t>(result.dwError);
}

void SchannelChannel::KeepExtra(const SecBuffer* extra) {
  // The extra bytes are the last cbBuffer bytes of what was handed in.
  std::memmove(raw_.data(), raw_.data() + rawUsed_ - extra->cbBuffer, extra->cbBuffer);
  rawUsed_ = extra->cbBuffer;
}

int SchannelChannel::Decrypt(int32_t& error) {
  SecBuffer buffers[4] = {{static_cast<ULONG>(rawUsed_), SECBUFFER_DATA, raw_.data()},
                          {0, SECBUFFER_EMPTY, nullptr},
                          {0, SECBUFFER_EMPTY, nullptr},
                          {0, SECBUFFER_EMPTY, nullptr}};
  SecBufferDesc description{SECBUFFER_VERSION, 4, buffers};
  SECURITY_STATUS status = DecryptMessage(&context_, &description, 0, nullptr);
  if (status == SEC_E_INCOMPLETE_MESSAGE) return 0;
  if (status != SEC_E_OK && status != SEC_I_CONTEXT_EXPIRED && status != SEC_I_RENEGOTIATE) {
    error = status;
    return -1;
  }
  const SecBuffer* data = nullptr;
  const SecBuffer* extra = nullptr;
  for (const SecBuffer& buffer : buffers) {
    if (buffer.BufferType == SECBUFFER_DATA && data == nullptr) data = &buffer;
    if (buffer.BufferType == SECBUFFER_EXTRA && extra == nullptr) extra = &buffer;
  }
  // The plain bytes lie inside raw_: keep them before the extra bytes move.
  if (data != nullptr && data->cbBuffer > 0) {
    const auto* bytes = static_cast<const uint8_t*>(data->pvBuffer);
    plain_.assign(bytes, bytes + data->cbBuffer);
  } else {
    plain_.clear();
  }
  plainAt_ = 0;
  if (extra != nullptr && extra->cbBuffer > 0) {
    KeepExtra(extra);
  } else {
    rawUsed_ = 0;
  }
  if (status == SEC_I_CONTEXT_EXPIRED) ended_ = true;
  if (status == SEC_I_RENEGOTIATE) {
    // A message of the handshake protocol after the handshake (a TLS 1.3
    // session ticket or key update): it goes back to the security context.
    SecBuffer input[2] = {{static_cast<ULONG>(rawUsed_), SECBUFFER_TOKEN, raw_.data()},
                          {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc inputDescription{SECBUFFER_VERSION, 2, input};
    OutputToken output;
    ULONG attributes = 0;
    TimeStamp expiry;
    status = InitializeSecurityContextW(&credentials_, &context_,
                                        const_cast<wchar_t*>(hostName_.c_str()), kContextFlags, 0,
                                        0, rawUsed_ > 0 ? &inputDescription : nullptr, 0, nullptr,
                                        output.Description(), &attributes, &expiry);
    if (status != SEC_E_OK && status != SEC_I_CONTINUE_NEEDED) {
      error = status;
      return -1;
    }
    if (input[1].BufferType == SECBUFFER_EXTRA && input[1].cbBuffer > 0) {
      KeepExtra(&input[1]);
    } else {
      rawUsed_ = 0;
    }
  }
  return 1;
}

int32_t SchannelChannel::Read(SOCKET socket, uint8_t* buffer, int32_t length, int32_t& error) {
  if (length <= 0) return 0;
  size_t wanted = static_cast<size_t>(length);
  size_t taken = 0;
  for (;;) {
    if (plainAt_ < plain_.size()) {
      size_t n = std::min(wanted - taken, plain_.size() - plainAt_);
      std::memcpy(buffer + taken, plain_.data() + plainAt_, n);
      plainAt_ += n;
      taken += n;
      if (taken == wanted) break;
      continue;
    }
    if (ended_) break;
    // Every complete record already held is decrypted before the socket is
    // asked for more; once something is taken, the socket is not asked.
    if (rawUsed_ > 0) {
      int decrypted = Decrypt(error);
      if (decrypted < 0) return taken > 0 ? static_cast<int32_t>(taken) : kSocketError;
      if (decrypted > 0) continue;
    }
    if (taken > 0) break;
    if (rawUsed_ == raw_.size()) {
      error = SEC_E_ILLEGAL_MESSAGE;  // a record larger than any the channel allows
      return kSocketError;
    }
    int n = recv(socket, raw_.data() + rawUsed_, static_cast<int>(raw_.size() - rawUsed_), 0);
    if (n > 0) {
      rawUsed_ += static_cast<size_t>(n);
      continue;
    }
    if (n == 0) {
      // The end of the stream, with or without a close-notify: the end of the body.
      ended_ = true;
      break;
    }
    error = WSAGetLastError();
    return kSocketError;
  }
  return static_cast<int32_t>(taken);
}

int32_t SchannelChannel::Write(SOCKET socket, const uint8_t* bytes, int32_t count, int32_t& error) {
  if (count <= 0) return 0;
  size_t take = std::min(static_cast<size_t>(count), static_cast<size_t>(sizes_.cbMaximumMessage));
  std::vector<char> record(sizes_.cbHeader + take + sizes_.cbTrailer);
  std::memcpy(record.data() + sizes_.cbHeader, bytes, take);
  SecBuffer buffers[4] = {
      {sizes_.cbHeader, SECBUFFER_STREAM_HEADER, record.data()},
      {static_cast<ULONG>(take), SECBUFFER_DATA, record.data() + sizes_.cbHeader},
      {sizes_.cbTrailer, SECBUFFER_STREAM_TRAILER, record.data() + sizes_.cbHeader + take},
      {0, SECBUFFER_EMPTY, nullptr}};
  SecBufferDesc description{SECBUFFER_VERSION, 4, buffers};
  SECURITY_STATUS status = EncryptMessage(&context_, 0, &description, 0);
  if (status != SEC_E_OK) {
    error = status;
    return kSocketError;
  }
  // The record goes out whole: half a record cannot be taken back.
  size_t size = buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer;
  int32_t sent = SendAll(socket, record.data(), size, Clock::now() + std::chrono::seconds(30));
  if (sent != 0) {
    error = sent;
    return kSocketError;
  }
  return static_cast<int32_t>(take);
}

}  // namespace wex
