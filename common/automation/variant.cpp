#include "common/automation/variant.h"

namespace wex {

Variant Variant::R4(float value) {
  Variant v(VariantKind::kR4);
  v.single_ = value;
  return v;
}

Variant Variant::String(ustring value) {
  Variant v(VariantKind::kString);
  v.string_ = std::move(value);
  return v;
}

Variant Variant::Signed(VariantKind kind, int64_t value) {
  Variant v(kind);
  v.signed_ = value;
  return v;
}

Variant Variant::Unsigned(VariantKind kind, uint64_t value) {
  Variant v(kind);
  v.unsigned_ = value;
  return v;
}

Variant Variant::Real(VariantKind kind, double value) {
  Variant v(kind);
  v.real_ = value;
  return v;
}

}  // namespace wex
