// The floor of any client of the platform's security package under Wine: one
// GET over TLS on a blocking socket, then receives of 65536 bytes, each
// decrypted in place with DecryptMessage and thrown away, until the server
// closes. The handshake asks for what Wexlo.exe asks for; the server's
// certificate is not checked (that costs the same to every client).
// Prints "tls_floor SECONDS BYTES" (plain bytes, the response head included).
//   tls_floor.exe PORT PATH
#define SECURITY_WIN32
#include <winsock2.h>
// winsock2.h brings windows.h; the security headers need both.
#include <schannel.h>
#include <security.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr DWORD kFlags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                         ISC_REQ_EXTENDED_ERROR | ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM |
                         ISC_REQ_MANUAL_CRED_VALIDATION;
constexpr size_t kBlock = 65536;

bool SendAll(SOCKET s, const char* bytes, size_t count) {
  while (count > 0) {
    int n = send(s, bytes, static_cast<int>(count), 0);
    if (n <= 0) return false;
    bytes += n;
    count -= static_cast<size_t>(n);
  }
  return true;
}

// Sends the token InitializeSecurityContext allocated and frees it.
bool SendToken(SOCKET s, SecBuffer& token) {
  bool sent = token.pvBuffer == nullptr ||
              SendAll(s, static_cast<const char*>(token.pvBuffer), token.cbBuffer);
  if (token.pvBuffer != nullptr) FreeContextBuffer(token.pvBuffer);
  token.pvBuffer = nullptr;
  token.cbBuffer = 0;
  return sent;
}

// The handshake; bytes of the first records that came with its last message
// stay at the front of `raw`.
bool Handshake(SOCKET s, CredHandle& credentials, CtxtHandle& context, std::vector<char>& raw) {
  wchar_t host[] = L"localhost";
  SecBuffer out{0, SECBUFFER_TOKEN, nullptr};
  SecBufferDesc outDesc{SECBUFFER_VERSION, 1, &out};
  ULONG attributes = 0;
  SECURITY_STATUS status =
      InitializeSecurityContextW(&credentials, nullptr, host, kFlags, 0, 0, nullptr, 0, &context,
                                 &outDesc, &attributes, nullptr);
  if (!SendToken(s, out)) return false;
  raw.clear();
  bool needMore = true;
  while (status == SEC_I_CONTINUE_NEEDED || status == SEC_E_INCOMPLETE_MESSAGE) {
    if (needMore) {
      char chunk[16384];
      int n = recv(s, chunk, sizeof chunk, 0);
      if (n <= 0) return false;
      raw.insert(raw.end(), chunk, chunk + n);
    }
    SecBuffer in[2] = {{static_cast<ULONG>(raw.size()), SECBUFFER_TOKEN, raw.data()},
                       {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc inDesc{SECBUFFER_VERSION, 2, in};
    out = SecBuffer{0, SECBUFFER_TOKEN, nullptr};
    status = InitializeSecurityContextW(&credentials, &context, host, kFlags, 0, 0, &inDesc, 0,
                                        nullptr, &outDesc, &attributes, nullptr);
    if (status == SEC_E_INCOMPLETE_MESSAGE) {
      needMore = true;
      continue;
    }
    if (!SendToken(s, out)) return false;
    if (in[1].BufferType == SECBUFFER_EXTRA && in[1].cbBuffer > 0) {
      raw.erase(raw.begin(), raw.end() - in[1].cbBuffer);
      needMore = false;
    } else {
      raw.clear();
      needMore = true;
    }
  }
  return status == SEC_E_OK;
}

bool SendRequest(SOCKET s, CtxtHandle& context, const std::string& request) {
  SecPkgContext_StreamSizes sizes{};
  if (QueryContextAttributesW(&context, SECPKG_ATTR_STREAM_SIZES, &sizes) != SEC_E_OK) return false;
  std::vector<char> record(sizes.cbHeader + request.size() + sizes.cbTrailer);
  std::memcpy(record.data() + sizes.cbHeader, request.data(), request.size());
  SecBuffer parts[4] = {
      {sizes.cbHeader, SECBUFFER_STREAM_HEADER, record.data()},
      {static_cast<ULONG>(request.size()), SECBUFFER_DATA, record.data() + sizes.cbHeader},
      {sizes.cbTrailer, SECBUFFER_STREAM_TRAILER, record.data() + sizes.cbHeader + request.size()},
      {0, SECBUFFER_EMPTY, nullptr}};
  SecBufferDesc desc{SECBUFFER_VERSION, 4, parts};
  if (EncryptMessage(&context, 0, &desc, 0) != SEC_E_OK) return false;
  return SendAll(s, record.data(), parts[0].cbBuffer + parts[1].cbBuffer + parts[2].cbBuffer);
}

// Receives and decrypts until the peer closes; plain bytes, or -1.
long long ReceiveAll(SOCKET s, CtxtHandle& context, std::vector<char> raw) {
  size_t have = raw.size();
  raw.resize(have + kBlock + 32768);  // room for a partial record before the block
  long long total = 0;
  for (;;) {
    while (have > 0) {
      SecBuffer parts[4] = {{static_cast<ULONG>(have), SECBUFFER_DATA, raw.data()},
                            {0, SECBUFFER_EMPTY, nullptr},
                            {0, SECBUFFER_EMPTY, nullptr},
                            {0, SECBUFFER_EMPTY, nullptr}};
      SecBufferDesc desc{SECBUFFER_VERSION, 4, parts};
      SECURITY_STATUS status = DecryptMessage(&context, &desc, 0, nullptr);
      if (status == SEC_E_INCOMPLETE_MESSAGE) break;
      if (status == SEC_I_CONTEXT_EXPIRED) return total;
      if (status != SEC_E_OK && status != SEC_I_RENEGOTIATE) return -1;
      size_t extra = 0;
      for (SecBuffer& part : parts) {
        if (part.BufferType == SECBUFFER_DATA) total += part.cbBuffer;
        if (part.BufferType == SECBUFFER_EXTRA) extra = part.cbBuffer;
      }
      std::memmove(raw.data(), raw.data() + have - extra, extra);
      have = extra;
      if (status == SEC_I_RENEGOTIATE) return -1;  // not expected from this server
    }
    if (raw.size() - have < kBlock) raw.resize(have + kBlock);
    int n = recv(s, raw.data() + have, static_cast<int>(kBlock), 0);
    if (n < 0) return -1;
    if (n == 0) return total;
    have += static_cast<size_t>(n);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return 1;
  SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<u_short>(std::atoi(argv[1])));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  SCHANNEL_CRED settings{};
  settings.dwVersion = SCHANNEL_CRED_VERSION;
  settings.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS;
  CredHandle credentials;
  CtxtHandle context;
  TimeStamp expiry;
  const auto start = std::chrono::steady_clock::now();
  if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return 1;
  if (AcquireCredentialsHandleW(nullptr, const_cast<wchar_t*>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND,
                                nullptr, &settings, nullptr, nullptr, &credentials,
                                &expiry) != SEC_E_OK)
    return 1;
  std::vector<char> raw;
  if (!Handshake(s, credentials, context, raw)) return 1;
  std::string request = std::string("GET ") + argv[2] + " HTTP/1.0\r\nHost: localhost\r\n\r\n";
  if (!SendRequest(s, context, request)) return 1;
  const long long total = ReceiveAll(s, context, std::move(raw));
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (total < 0) return 1;
  std::printf("tls_floor %.4f %lld\n", seconds, total);
  DeleteSecurityContext(&context);
  FreeCredentialsHandle(&credentials);
  closesocket(s);
  WSACleanup();
  return 0;
}
