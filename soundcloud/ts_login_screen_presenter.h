#pragma once
// Puts the SDK's login screen behind the facade's login presenter: a
// sign-in that needs the screen presents it over the topmost controller
// of the host (by default the key window's root view controller) and hands
// the screen's outcome to the sign-in's completion. With nothing to
// present over, the sign-in completes at once with TSSoundCloudErrorDomain
// -2, as it does with no presenter at all.
//
// Main thread only.

#include <functional>

#include "platform/ui/view_controller.h"

namespace tssc {

using TSLoginScreenHost = std::function<platform::ViewController*()>;

// An empty host means the key window's root view controller.
void installSoundCloudLoginScreen(TSLoginScreenHost host = nullptr);

}  // namespace tssc
