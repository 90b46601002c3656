// Owners of a certificate context and of a certificate chain, freed exactly
// once on every path.
#pragma once

#include <windows.h>

#include <wincrypt.h>

#include "common/win32/unique_resource.h"

namespace wex {

struct CertificateTraits {
  using Type = PCCERT_CONTEXT;
  static PCCERT_CONTEXT None() { return nullptr; }
  static void Close(PCCERT_CONTEXT context) { CertFreeCertificateContext(context); }
};
using UniqueCertificate = UniqueResource<CertificateTraits>;

struct CertificateChainTraits {
  using Type = PCCERT_CHAIN_CONTEXT;
  static PCCERT_CHAIN_CONTEXT None() { return nullptr; }
  static void Close(PCCERT_CHAIN_CONTEXT chain) { CertFreeCertificateChain(chain); }
};
using UniqueCertificateChain = UniqueResource<CertificateChainTraits>;

}  // namespace wex
