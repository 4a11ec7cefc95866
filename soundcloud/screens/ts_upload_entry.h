#pragma once
// The way into a new upload from any screen: it opens the track
// information editor for an audio file (for example a bounced pattern) on
// top of a presenter, signing in first when no account is signed in yet.
//
// - The sharing layer did not start (its client keys are missing): an
//   "Error" alert with the reason; nothing opens.
// - Signed in: the editor opens at once, full screen, in its navigation
//   controller.
// - Not signed in: the login screen is asked for (the facade's login
//   presenter); after a sign-in the editor opens; a cancelled sign-in opens
//   nothing, and so does a failed one (the login screen reports its own
//   errors); with no login screen at all, an "Error" alert says so.
// The presenter is held weakly: one gone before the sign-in ends gets
// nothing.
//
// Main thread only.

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "platform/ui/view_controller.h"
#include "soundcloud/screens/soundcloud_info_edit_view_controller.h"

namespace tssc {

class TSUploadEntry {
 public:
  // What opened (nullptr when nothing did), told once the editor is up.
  using Opened = std::function<void(std::shared_ptr<SoundCloudInfoEditViewController> editor)>;

  static void presentUploadEditor(platform::ViewController& presenter, const std::filesystem::path& audioFile,
                                  std::optional<double> tempo, Opened opened = nullptr);
};

}  // namespace tssc
