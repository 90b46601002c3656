// Large pages on Windows need a privilege that a script's server does not
// hold, so there is no advice to give.
#include "common/large_buffer.h"

namespace wex {

void AdviseLargeWrite(void*, size_t) {}

}  // namespace wex
