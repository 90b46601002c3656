// Registering and unregistering a component in one root and a set of views,
// each as a unit: registration writes every view or, on any failure, nothing;
// unregistration removes what the registration wrote, and the parts Windows
// shares between views once no view registers the class any more, but only
// when the class is this module's: another copy's registration stays whole.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "common/registration/registration_plan.h"

namespace wex {

// The view this process sees by default.
RegistryView OwnView();
// Every view of this Windows: the own view first, then the other one on
// 64-bit Windows.
std::vector<RegistryView> MachineViews();

struct RegistrationOutcome {
  HRESULT result = S_OK;
  std::wstring failedKey;  // where a failed registration was refused
};

RegistrationOutcome RegisterComponent(const ComponentIdentity& component, RegistryRoot root,
                                      const std::vector<RegistryView>& views,
                                      const ModuleFile& module);
struct UnregistrationOutcome {
  HRESULT result = S_OK;
  // Not empty when a view registers the class to this other file: then
  // nothing was removed, which is no failure.
  std::wstring otherServer;
};

// Keys already gone are no failure; everything that can be removed is.
UnregistrationOutcome UnregisterComponent(const ComponentIdentity& component, RegistryRoot root,
                                          const std::vector<RegistryView>& views,
                                          const ModuleFile& module);

// The text of a failure for a message ("Access is denied."), one line.
std::wstring FailureText(HRESULT result);

}  // namespace wex
