#pragma once
// Where the library's files live, and the small helpers that name patterns.
//
// The documents folder is $IGROOVEBIX_HOME when set, else
// $XDG_DATA_HOME/igroovebix/Documents (default ~/.local/share/...). The data
// directory ".igroovebix.d" inside it holds everything the library writes.
// Files an older layout kept directly in the documents folder are moved in on
// first use (not while library writes are refused); a move never replaces
// something already at the destination.
//
// Computed paths are kept for the rest of the run, per documents folder: when
// the folder changes (tests point $IGROOVEBIX_HOME at a fresh directory) the
// paths and their one-time moves are computed again for the new one.
//
// Main thread only (the caches are not locked).

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

class Utilities {
 public:
  // The documents folder; empty when neither $IGROOVEBIX_HOME, $XDG_DATA_HOME
  // nor $HOME names one. Computed on every call.
  static std::optional<std::filesystem::path> applicationiTunesDocumentsDirectory();
  // The data directory, created with its parents when missing.
  static std::optional<std::filesystem::path> applicationDocumentsDirectory();
  // The pattern directory; first computation moves an older "patterns" folder.
  static std::optional<std::filesystem::path> applicationPatternDirectory();
  // The index table; first computation moves an older "patternIndicesTable.plist".
  static std::optional<std::filesystem::path> applicationIndexTablePath();
  // The documents folder (recordings and backups go there).
  static std::optional<std::filesystem::path> applicationSoundDirectory();
  // Always empty.
  static std::optional<std::filesystem::path> applicationStoreTagDirectory();
  static std::optional<std::filesystem::path> editBufferFilePath();
  // The backup archive password; the same text on every call and in every
  // version, so that old backups stay readable.
  static std::string createDataPassword();

  // The application bundle's resource folder: the path given to
  // setBundleResourcePath, else $IGB_BUNDLE_DIR, else "bundle" beside the
  // executable.
  static std::filesystem::path bundleResourcePath();
  static void setBundleResourcePath(std::optional<std::filesystem::path> path);

  // Moves `from` to `to` unless something already exists at `to` (the
  // platform's move fails there; Linux rename would replace it). False when
  // nothing was moved.
  static bool moveWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to);
  // moveWithoutReplacing of an item of the older layout into the data
  // directory, when there is one at `from` and library writes are not
  // refused (see LibraryWrites). Callers that keep the path they found (the
  // pattern folder, the index table) do not try a refused move again this
  // run; the pattern sets' store tries at each load.
  static bool moveOlderLayoutItem(const std::filesystem::path& from, const std::filesystem::path& to);
};

// The platform's SHA-1 class.
class Sha1 {
 public:
  // The 20-byte digest of `data`.
  static std::vector<uint8_t> getHashBytes(std::span<const uint8_t> data);
};

// Every byte in decimal with at least two digits ("%02d"): 00 0A FF gives
// "0010255". Pattern identifiers depend on this exact form.
std::string stringWithHexBytes(std::span<const uint8_t> data);
