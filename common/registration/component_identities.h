// The identities of the two components, as registration writes them: the
// one source for the servers' own registration and the installer packages'
// registry entries. The GUIDs are the type libraries' own: the Wine
// registration tests read back the keys named by the compiled GUIDs.
#pragma once

#include "common/registration/registration_plan.h"

namespace wex {

ComponentIdentity DownloaderIdentity();
ComponentIdentity BrowserIdentity();

}  // namespace wex
