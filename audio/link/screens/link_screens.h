#pragma once
// What a Link kit handle needs to show its settings screen and its in-app
// banner: pass the result to makeABLLinkKitFactory (or ABLLinkNewWithEnvironment).

#include "audio/link/abl_link.h"

// `defaults` (null: the standard user defaults) is where the kit keeps its
// settings; the banner reads "ABLNotificationEnabled" there too.
ABLLinkEnvironment linkScreensEnvironment(platform::UserDefaults* defaults = nullptr);
