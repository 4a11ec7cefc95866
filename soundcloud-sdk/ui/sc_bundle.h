#pragma once
// The SDK's resource bundle, "SoundCloud.bundle" inside the main bundle:
// its images (PNG by name) and its texts ("Localizable.strings", a
// property-list dictionary of key to text; a key without a text reads as
// itself).
//
// The bundle is found once per process (thread-safe). A program without it
// is built wrongly: bundle() stops the program with "Please move the
// SoundCloud.bundle into the Resource Directory of your Application!".
// Tests that move the main bundle call forgetForTesting().

#include <filesystem>
#include <string>

#include "platform/gfx/image.h"

namespace scui {

class SCBundle {
 public:
  static const std::filesystem::path& bundle();
  // nullptr when the bundle has no such image.
  static platform::ImagePtr imageWithName(const std::string& name);
  static std::string localizedString(const std::string& key);
  static void forgetForTesting();
};

// The localised text of a key (the key itself when there is none).
inline std::string SCLocalizedString(const std::string& key) { return SCBundle::localizedString(key); }

}  // namespace scui
