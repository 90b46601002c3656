// The server's COM pointer is the shared one.
#pragma once

#include "common/com/com_ptr.h"
