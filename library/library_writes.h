#pragma once
// Whether the program may write the pattern library's own files: the index
// table, the pattern sets and the pattern files (not the edit buffer or the
// global settings, which no restore replaces).
//
// A restore that a crash interrupted, and that start-up could not finish,
// or one that failed half way and could not undo its swap, leaves the
// library half old, half new, with the rest of it in the staging folder. A later start tells the items apart by their identity on disk; a
// save replaces an item by a file it has never seen, after which no start
// can tell any more which library that item belongs to. So until a start
// (or a restore) finishes the recovery, every write is refused, with the
// reason, and the user's files stay where they are.
//
// Thread-safe.

#include <optional>
#include <string>

class LibraryWrites {
 public:
  // From now on every write of the library is refused; `reason` ends the
  // error of each refused write.
  static void refuse(std::string reason);
  // refuse(), for a restore left half done: `why` says what stopped it.
  static void refuseUntilRecovered(const std::string& why);
  static void allow();
  // Nothing while writes are allowed; else why they are not.
  static std::optional<std::string> refusal();
};
