#pragma once
// The folders in which the sharing layer keeps its files: the documents
// folder (the same rule as the rest of the program: $IGROOVEBIX_HOME, else
// $XDG_DATA_HOME/igroovebix/Documents, else ~/.local/share/igroovebix/
// Documents) and its hidden ".misc" folder, where the activity feed lives.
//
// Computed on every call, so a test that points $IGROOVEBIX_HOME elsewhere
// gets the new folder. Thread-safe.

#include <filesystem>
#include <optional>

namespace tssc {

inline constexpr const char* kActivitiesFileName = "dravelund_activities.plist";

class TSSoundCloudPath {
 public:
  // Empty when no environment names a home.
  static std::optional<std::filesystem::path> applicationDocumentsDirectory();
  // The documents folder plus ".misc", created with its parents when
  // missing (a failure to create it is left to the writer to find).
  static std::optional<std::filesystem::path> applicationMiscItemsDirectory();
  static std::optional<std::filesystem::path> myActivityDirectory() { return applicationMiscItemsDirectory(); }
  // The activity feed's file.
  static std::optional<std::filesystem::path> activitiesFile();
};

}  // namespace tssc
