// The calls of secur32 and crypt32 that the secure channel makes, found at
// the first secure connection; a plain download never loads either DLL.
#pragma once

#ifndef SECURITY_WIN32
#define SECURITY_WIN32
#endif
#include <winsock2.h>
// winsock.h brings windows.h; the security headers need both.
#include <schannel.h>
#include <security.h>
#include <wincrypt.h>

namespace wex {

// secur32's table of SSPI calls, or nullptr when it cannot be loaded.
const SecurityFunctionTableW* SecurityCalls();

struct CertificateCalls {
  decltype(&CertGetCertificateChain) getChain;
  decltype(&CertVerifyCertificateChainPolicy) verifyPolicy;
  decltype(&CertFreeCertificateChain) freeChain;
  decltype(&CertFreeCertificateContext) freeContext;
};

// crypt32's chain calls, or nullptr when any is missing.
const CertificateCalls* ChainCalls();

}  // namespace wex
