// Element extraction as a view into the text, so that the renderer can take
// whole items without copying them.
#pragma once

#include <cstdint>

#include "common/ustring.h"

namespace wex {

// GetTagText without the copy: the content as a view into text (empty when
// nothing is found); nextPos, when not null, is set only on a complete element.
ustring_view TagTextView(ustring_view text, ustring_view startTag, ustring_view endTag,
                         int32_t startPos, int32_t* nextPos);

}  // namespace wex
