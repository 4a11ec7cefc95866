#pragma once
// A restore that a crash stops half-way, for the tests of the start-up that
// meets it: it runs in a child process that ends right after the index
// table's exchange, leaving the journal, the new table in place and the
// rest of both libraries in the staging folder.

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "library/backup/backup_archive.h"
#include "library/utilities.h"

// True when the child stopped there (not elsewhere, and not never).
inline bool restoreDyingAfterTheFirstExchange(const std::filesystem::path& archive,
                                              const std::filesystem::path& dataDir) {
  const pid_t child = ::fork();
  if (child < 0) return false;
  if (child == 0) {
    BackupArchive::setStepHookForTesting([](const std::string& step) {
      if (step == "swapped patternIndicesTable.plist") ::_exit(77);
    });
    BackupArchive::restore(archive, dataDir, Utilities::createDataPassword(), nullptr);
    ::_exit(0);
  }
  int status = 0;
  return ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 77;
}
