// Nothing thrown inside a member may cross the COM boundary: the members run
// their bodies through Guarded, which turns what escapes into an HRESULT.
#pragma once

#include <windows.h>

#include <new>
#include <stdexcept>

namespace wex {

template <class F>
HRESULT Guarded(F&& body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (const std::length_error&) {
    return E_OUTOFMEMORY;  // a text longer than a string can hold: memory, as for any size
  } catch (...) {
    return E_UNEXPECTED;
  }
}

}  // namespace wex
