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
// Every entry has a bound on what it may unpack to (entrySizeBound): an
// archive with an entry that declares more is refused before anything is
// inflated, and no entry is inflated past its bound whatever its header
// says, so a small hostile archive can neither fill the disk nor make the
// property-list reader take a large file into memory.
//
// A crash during the swap must not leave a library that is half old, half
// new. Before the first exchange a journal (".restore.journal" in the data
// directory) names the staging folder and, for each item, the inode of the
// new one and of the live one it replaces (none where there is none), which
// renames keep (not the device number, which may change across a restart;
// staging folder and data directory are one file system); it is removed only
// when all three are in place (or, the swap undone, the old ones are back)
// and on disk. recoverInterruptedRestore, run at every start-up before the
// library loads, finds such a journal and finishes the swap (or, when a new
// item has gone missing, puts the old library back), and removes staging
// folders that a crash before the journal left behind.
//
// The staging folder, which holds the library not kept, goes only when every
// live item is known to be of the library kept: the new one, or the old one.
// A journal that names no item found anywhere, a live item that is neither
// the old nor the new one (written after the restore stopped), an item that
// cannot be moved, or a staging name that is not a real folder (a link is
// never followed) is reported and leaves the journal and staging folder as
// they are. A journal of the first format, which names only the new items,
// rolls back only as far as it can tell: its staging folder then goes only
// when it holds nothing but new items. A journal whose staging folder is
// gone is stale: it is removed (and logged), whether or not every item is
// in place, as there is nothing left to put one back from; but only when
// the folder and every item are known to be there or not (an lstat that
// fails otherwise than with ENOENT keeps the journal). A journal that
// cannot be removed is reported, never passed over. A restore that finds a
// journal runs the recovery first, and is refused when it fails.
//
// A restore whose swap fails keeps the journal and the staging folder when
// it cannot put the old library wholly back: when an undo fails, or an old
// item moved aside can be moved neither on nor back. A staging folder that
// holds an item moved aside or parked is never removed by a failed restore.
//
// One backup, restore or recovery at a time per data directory: within the
// process by a mutex, between processes by an flock on lockFileName() in the
// data directory (present only while one runs, or after a crash). A second
// one started meanwhile fails at once ("busy") instead of reading a library
// that is being replaced, or finishing a swap that is still running.
//
// Thread-safe (the exclusion above); file I/O.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "library/backup/zip_archive.h"

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
  // above). On failure the library is as it was (or, where `halfSwapped`
  // and `error` say so, half swapped until the next start finishes it, as
  // also when an interrupted restore is pending that cannot be finished) and
  // `error` says why. On success `error` is left alone, unless the journal
  // could not be removed: it then says so (the next start removes the
  // journal, which names no staging folder any more).
  static bool restore(const std::filesystem::path& archive, const std::filesystem::path& dataDir,
                      const std::string& password, std::string* error = nullptr, bool* halfSwapped = nullptr);

  // Whether a backup or restore is running in the process.
  static bool isBusy();
  // The name of the lock file in the data directory.
  static const char* lockFileName();

  // What a restore takes of an archive: at most 10,000 entries, names of
  // at most 1,024 bytes, each entry within entrySizeBound. A backup is held
  // to the same limits, so that every backup made restores: a stray file in
  // the pattern directory past them stays out, anything else fails it.
  static ZipArchiveLimits restoreLimits();

  // The most bytes the file at `relativePath` may hold in an archive: a
  // pattern file (anything below the pattern directory) at most
  // PatternRecord::kSize; the index table kIndexTableSizeBound; the pattern
  // sets kPatternSetSizeBound; any other name no more than a pattern file
  // (it is refused after unpacking anyway).
  static uint64_t entrySizeBound(const std::string& relativePath);
  // The index table names one file per pattern, about 90 bytes an entry in
  // its binary form; 4 MiB holds far more entries than an archive may bring
  // patterns (10,000), in either form, with the longest identifiers.
  static constexpr uint64_t kIndexTableSizeBound = 4ull << 20;
  // 64 pattern numbers are 2,174 bytes in the XML form at their largest;
  // 64 KiB leaves room for another writer's spacing.
  static constexpr uint64_t kPatternSetSizeBound = 64ull << 10;

  // Finishes or rolls back a restore into `dataDir` that a crash
  // interrupted (see above), and removes what a crash before its swap left.
  // True when the library is whole and no journal is left (also when there
  // was nothing to do); false with `error` when the journal cannot be read,
  // an item cannot be moved or told apart, or the journal cannot be removed,
  // leaving it for the next start.
  static bool recoverInterruptedRestore(const std::filesystem::path& dataDir, std::string* error = nullptr);

  // Tests only: called at each step of a restore and of a recovery, by
  // name: "checked", "journal written", "moved aside <item>" (between the
  // two renames where the file system has no exchange), "swapped <item>",
  // "synced staging", "synced data directory" (before and after the journal
  // is unlinked) and "journal removed"; nullptr: none.
  using StepHook = std::function<void(const std::string& step)>;
  static void setStepHookForTesting(StepHook hook);
  // Tests only: acts as if the file system had no atomic exchange, so that
  // a swap moves the old item aside and an undo parks the new one.
  static void setExchangeUnavailableForTesting(bool unavailable);
  // Tests only: every rename of a restore or a recovery that moves an item
  // of this name (one of the three, in place or staged) fails with EIO, as
  // on a file system that cannot move it; nothing: none.
  static void setFailingMoveForTesting(std::optional<std::string> item);
  // Tests only: every look at an item of this name (or at the staging folder
  // of this name) by a restore or a recovery fails with EIO; nothing: none.
  static void setFailingLookupForTesting(std::optional<std::string> name);
};
