// The one class factory of the library, which makes Browser objects.
#pragma once

#include <windows.h>

#include <unknwn.h>

namespace wex {

// The factory handed out as iid; its references keep the library loaded.
HRESULT GetBrowserFactory(REFIID iid, void** out);

}  // namespace wex
