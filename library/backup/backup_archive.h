#pragma once
// The backup archive: one password-protected zip file holding the whole
// pattern library, and the names it is given. Both backup flows (the cloud
// list and the local screens) write and read it through this class.
//
// Entries are the library's files under their paths relative to the data
// directory, "/" separated: "patternIndicesTable.plist",
// "iGROOVEBIX_patternSet.plist" and "patterns/..." (every regular file at any
// depth below the pattern directory). Nothing else of the data directory
// ("global.dat", the edit buffer) goes in; there are no folder entries and no
// comment. Entries are deflated and enciphered with the traditional PKWARE
// cipher under Utilities::createDataPassword(), in bytewise name order.
//
// Writing goes to a hidden temporary file beside the target that carries no
// backup extension (so neither the cloud upload nor the file lister can pick
// it up half-written) and is renamed to the target, never over an existing
// file, only when every entry was written.
//
// Restoring never writes outside the data directory and never touches the
// library until the whole archive is known good: it unpacks into a fresh
// hidden folder inside the data directory, where every entry's CRC is
// checked, then checks what came out (exactly the three names; an index
// table that decodes and names only plain identifiers; 64 pattern numbers;
// a pattern directory with files, those the table names of a pattern file's
// size), and only then swaps the three items in, each with one atomic
// exchange, undoing the earlier exchanges when a later one fails.
//
// One backup or restore at a time in the process: a second one started
// meanwhile fails at once ("busy") instead of reading a library that is
// being replaced.
//
// Thread-safe (the exclusion above); file I/O.

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The extension of every backup file. It stands in for the information
// property list's "TSBackupFileExtension" when that key is absent.
inline constexpr const char* kBackupFileExtension = "gbd";

class BackupFileNameCreator {
 public:
  using Clock = std::function<std::chrono::system_clock::time_point()>;

  // "%@_%@.%@": device name, date, dataExtension().
  static std::string create();
  // "iGROOVEBIX_%@_DATA.%@": date and "gbd", the local screens' name.
  static std::string createLocal();
  // The device's name as a file-name component (see sanitizedName).
  static std::string dataBasename();
  // "TSBackupFileExtension" of the bundle's "Info.plist". When the key is
  // missing (or not a plain extension) the text "TSBackupFileExtension is
  // not assigned. Please define it at Info.plist" is logged and "gbd" is
  // used, so both flows still meet.
  static std::string dataExtension();
  // "yyyy-MM-dd HH.mm.ss" in local time, with the calendar year.
  static std::string dateText(std::chrono::system_clock::time_point time);

  // The device name: the one set here, else the host name.
  static void setDeviceName(std::optional<std::string> name);
  // The clock of the names (tests fix it); nullptr: the system clock.
  static void setClock(Clock clock);
  // `name` with "/", "\", ":", NUL and control characters replaced by "-",
  // surrounding spaces and leading dots removed, cut to 64 bytes on a
  // character boundary; "iGROOVEBIX" when nothing is left.
  static std::string sanitizedName(std::string_view name);
};

class BackupArchive {
 public:
  // The three top-level names, in the order index table, pattern sets,
  // pattern directory.
  static const std::vector<std::string>& requiredFilesToRestore();
  // Whether a path relative to the data directory belongs in an archive:
  // its first component is one of the three names, exactly.
  static bool shouldBackup(const std::string& relativePath);
  // Every path below `dataDir`, relative to it, in bytewise order; links are
  // not followed. Empty on failure.
  static std::optional<std::vector<std::string>> listDirectory(const std::filesystem::path& dataDir,
                                                               std::string* error = nullptr);

  // `name` in `folder`, or "<stem>-2.<ext>", "-3", ... when taken, so a
  // second backup in the same second keeps the first.
  static std::filesystem::path uniquePath(const std::filesystem::path& folder, const std::string& name);

  // Writes the archive of the library in `dataDir` to `target` (see above).
  // `beforeListing` runs first, inside the exclusion (the application saves
  // its state there). Fails, leaving no file, when the library lacks one of
  // the three items, a file cannot be read or written, or `target` exists.
  static bool write(const std::filesystem::path& dataDir, const std::filesystem::path& target,
                    const std::string& password, const std::function<void()>& beforeListing = {},
                    std::string* error = nullptr);

  // Checks an unpacked archive in `folder` (see above).
  static bool containsFilesToNeed(const std::filesystem::path& folder, std::string* error = nullptr);

  // Replaces the library in `dataDir` by the archive at `archive` (see
  // above). On failure the library is as it was and `error` says why.
  static bool restore(const std::filesystem::path& archive, const std::filesystem::path& dataDir,
                      const std::string& password, std::string* error = nullptr);

  // Whether a backup or restore is running in the process.
  static bool isBusy();
};
