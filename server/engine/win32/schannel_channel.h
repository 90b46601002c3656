// One TLS client connection over a connected socket, through the system's
// secure channel (SSPI/Schannel, secur32) with the certificate checks of
// crypt32: the secure channel beneath the Win32 platform's seam.
//
// Its results keep the seam's meaning: a read that completes no record says
// "would block" (WSAEWOULDBLOCK), the peer's close reads as 0 (with or without
// a close-notify), and a failure is given as the SSPI, certificate or socket
// error number (WSAETIMEDOUT for a handshake that runs out of time).
#pragma once

#ifndef SECURITY_WIN32
#define SECURITY_WIN32
#endif
#include <winsock.h>
// winsock.h brings windows.h; the security headers need both.
#include <schannel.h>
#include <security.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace wex {

class SchannelChannel {
 public:
  // Runs the handshake on the blocking socket within timeoutMs, with
  // hostName as the server name (SNI), then checks the server's chain
  // against the trusted roots and its name against hostName. Null on
  // failure, with the reason in `error`.
  static std::unique_ptr<SchannelChannel> Establish(SOCKET socket, const std::string& hostName,
                                                    int32_t timeoutMs, int32_t& error);
  ~SchannelChannel();
  SchannelChannel(const SchannelChannel&) = delete;
  SchannelChannel& operator=(const SchannelChannel&) = delete;

  // Plain bytes read (1..length), 0 at the peer's close, or -1 with `error`.
  int32_t Read(SOCKET socket, uint8_t* buffer, int32_t length, int32_t& error);
  // Plain bytes taken (one record's worth at most), sent whole, or -1 with `error`.
  int32_t Write(SOCKET socket, const uint8_t* bytes, int32_t count, int32_t& error);
  // Plain bytes, or raw bytes that may hold a record, that the socket will
  // not tell of again.
  bool HasBuffered() const { return plainAt_ < plain_.size() || rawUsed_ > 0; }

 private:
  SchannelChannel() = default;
  int32_t Handshake(SOCKET socket, int32_t timeoutMs);
  int32_t VerifyServer();
  // Decrypts the first record of the raw bytes into plain_. 1 when it did,
  // 0 when the record is incomplete, -1 with `error` on failure; the peer's
  // close-notify sets ended_.
  int Decrypt(int32_t& error);
  void KeepExtra(const SecBuffer* extra);

  std::wstring hostName_;
  CredHandle credentials_{};
  CtxtHandle context_{};
  bool haveCredentials_ = false;
  bool haveContext_ = false;
  SecPkgContext_StreamSizes sizes_{};
  std::vector<char> raw_;  // received, not yet decrypted
  size_t rawUsed_ = 0;
  std::vector<uint8_t> plain_;  // decrypted, not yet read
  size_t plainAt_ = 0;
  bool ended_ = false;
};

}  // namespace wex
