#pragma once
// Writing the user's files so that a crash or a full disk never leaves a
// half-written file under the real name: the bytes go to a temporary file in
// the same folder, are flushed to disk, and only then renamed over the old
// file; the folder is flushed too so the rename itself survives a power cut.
//
// Thread-safe (no shared state). Not real-time-safe: file I/O.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace platform {

// The mode of an ordinary user data file, whatever the umask.
inline constexpr unsigned kUserFileMode = 0644;

// Writes `bytes` to `path` atomically. On failure the old file (if any) is
// untouched, no temporary file is left behind, and `error` (when given)
// receives a short reason. The file gets exactly `mode` (the umask does not
// apply), and the temporary file has it before it holds a single byte, so
// a secret written with 0600 is never readable by others on the way.
bool writeFileAtomically(const std::filesystem::path& path, std::span<const uint8_t> bytes,
                         std::string* error = nullptr, unsigned mode = kUserFileMode);
bool writeFileAtomically(const std::filesystem::path& path, const std::string& text,
                         std::string* error = nullptr, unsigned mode = kUserFileMode);

// How the name of every temporary file writeFileAtomically makes for `path`
// begins (it is in the same folder), so that one a crash left behind can be
// told apart from the user's files.
std::string temporaryNamePrefix(const std::filesystem::path& path);

// Tests only: called with the temporary file's path when it is complete,
// just before it is renamed into place (nullptr: none). Any thread.
using AtomicWriteObserver = void (*)(const std::filesystem::path& temporary);
void setAtomicWriteObserverForTesting(AtomicWriteObserver observer);

// Writes all `size` bytes to `fd`, going on after short writes and
// interrupted calls; false on the first error (errno says which).
bool writeAll(int fd, const void* data, size_t size);

// Flushes a folder's entries to disk, so that a file renamed or created in it
// survives a power cut. Best effort: a folder that cannot be opened is left.
void syncDirectory(const std::filesystem::path& dir);

// Reads a whole file; empty optional when it cannot be opened or read.
std::optional<std::vector<uint8_t>> readFile(const std::filesystem::path& path);

}  // namespace platform
