// The body as text, as CurFileString1 hands it out: the stored blocks
// converted from the ANSI code page and joined, every LF turned into CR LF
// (so a CR LF in the body comes out as CR CR LF).
#pragma once

#include "common/ustring.h"
#include "server/engine/http_uc.h"

namespace wex {

// Allocates the result once, at its final size. Throws std::bad_alloc when
// that much memory cannot be had.
ustring BodyText(const ChunkList& chunks);

}  // namespace wex
