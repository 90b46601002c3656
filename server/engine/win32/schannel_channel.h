// One TLS client connection over a connected socket, through the system's
// secure channel (SSPI/Schannel, secur32) with the certificate checks of
// crypt32: the secure channel beneath the Win32 platform's seam.
//
// The state machine (handshake, later handshake messages, records, the end
// of the stream) is the portable SspiChannel (server/engine/sspi_channel.h);
// this class gives it the real security and socket calls and checks the
// server's certificate.
#pragma once

#ifndef SECURITY_WIN32
#define SECURITY_WIN32
#endif
#include <winsock2.h>
// winsock.h brings windows.h; the security headers need both.
#include <schannel.h>
#include <security.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "server/engine/sspi_channel.h"

namespace wex {

class SchannelChannel : private SspiCalls {
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
  int32_t Read(uint8_t* buffer, int32_t length, int32_t& error) {
    return core_.Read(buffer, length, error);
  }
  // Plain bytes taken (one record's worth at most), sent whole, or -1 with `error`.
  int32_t Write(const uint8_t* bytes, int32_t count, int32_t& error) {
    return core_.Write(bytes, count, error);
  }
  // Plain bytes, or raw bytes that may hold a record, that the socket will
  // not tell of again.
  bool HasBuffered() const { return core_.HasBuffered(); }

 private:
  SchannelChannel(SOCKET socket, const std::string& hostName);
  int32_t AcquireCredentials();
  int32_t VerifyServer();

  // SspiCalls
  Result Initialize(const uint8_t* input, size_t size) override;
  Result Decrypt(uint8_t* input, size_t size) override;
  int32_t Encrypt(const uint8_t* bytes, size_t count, std::vector<uint8_t>& record) override;
  int32_t StreamSizes(size_t& maxMessage, size_t& maxRecord) override;
  int32_t Receive(uint8_t* buffer, size_t size, int32_t& error) override;
  int32_t WaitReadable(int32_t timeoutMs) override;
  int32_t SendAll(const uint8_t* bytes, size_t count, int32_t timeoutMs) override;
  uint64_t NowMs() override;

  SOCKET socket_;
  std::wstring hostName_;
  CredHandle credentials_{};
  CtxtHandle context_{};
  bool haveCredentials_ = false;
  bool haveContext_ = false;
  SecPkgContext_StreamSizes sizes_{};
  std::vector<uint8_t> token_;  // the last output token, until the next call
  SspiChannel core_{*this};
};

}  // namespace wex
