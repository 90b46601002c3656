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

#include "common/win32/unique_resource.h"

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

// Owners of a certificate context and of a chain, freed through the loaded
// calls (only once those are known to be there).
struct LoadedCertificateTraits {
  using Type = PCCERT_CONTEXT;
  static PCCERT_CONTEXT None() { return nullptr; }
  static void Close(PCCERT_CONTEXT context) { ChainCalls()->freeContext(context); }
};
using LoadedCertificate = UniqueResource<LoadedCertificateTraits>;

struct LoadedCertificateChainTraits {
  using Type = PCCERT_CHAIN_CONTEXT;
  static PCCERT_CHAIN_CONTEXT None() { return nullptr; }
  static void Close(PCCERT_CHAIN_CONTEXT chain) { ChainCalls()->freeChain(chain); }
};
using LoadedCertificateChain = UniqueResource<LoadedCertificateChainTraits>;

}  // namespace wex
