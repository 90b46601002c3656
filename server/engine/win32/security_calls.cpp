#include "server/engine/win32/security_calls.h"

#include "server/engine/win32/system_library.h"

namespace wex {

// Loaded once, kept until the process ends: credentials and contexts made
// through them may outlive any one channel. Static locals, so the first use
// on any thread loads them once.
const SecurityFunctionTableW* SecurityCalls() {
  static SystemLibrary library(L"secur32.dll");
  static const SecurityFunctionTableW* table = [] {
    auto init = library.Find<INIT_SECURITY_INTERFACE_W>("InitSecurityInterfaceW");
    return init != nullptr ? init() : nullptr;
  }();
  return table;
}

const CertificateCalls* ChainCalls() {
  static SystemLibrary library(L"crypt32.dll");
  static const CertificateCalls calls = {
      library.Find<decltype(&CertGetCertificateChain)>("CertGetCertificateChain"),
      library.Find<decltype(&CertVerifyCertificateChainPolicy)>("CertVerifyCertificateChainPolicy"),
      library.Find<decltype(&CertFreeCertificateChain)>("CertFreeCertificateChain"),
      library.Find<decltype(&CertFreeCertificateContext)>("CertFreeCertificateContext")};
  const bool complete = calls.getChain != nullptr && calls.verifyPolicy != nullptr &&
                        calls.freeChain != nullptr && calls.freeContext != nullptr;
  return complete ? &calls : nullptr;
}

}  // namespace wex
