// The one owner of every handle-like resource: closed exactly once, by its
// traits' Close, and spelled as the platform's own libraries spell owners:
// get, put (for out parameters), reset, release (give up ownership).
//
// Traits: `Type` (the handle), `None()` (the value that owns nothing) and
// `Close(Type)`.
#pragma once

#include <utility>

namespace wex {

template <typename Traits>
class UniqueResource {
 public:
  using Type = typename Traits::Type;

  UniqueResource() = default;
  explicit UniqueResource(Type owned) : value_(owned) {}
  UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;
  ~UniqueResource() { reset(); }

  Type get() const { return value_; }
  explicit operator bool() const { return value_ != Traits::None(); }
  // For out parameters: closes what is owned and hands out the slot.
  Type* put() {
    reset();
    return &value_;
  }
  void reset(Type owned = Traits::None()) {
    const Type old = std::exchange(value_, owned);
    if (old != Traits::None()) Traits::Close(old);
  }
  Type release() { return std::exchange(value_, Traits::None()); }

 private:
  Type value_ = Traits::None();
};

}  // namespace wex
