#pragma once
// What the fuzz targets and their seed writers share: stopping the run with
// a reason, a temporary folder for the process, whole-file reads and writes,
// and a snapshot of a folder tree to tell whether a reader changed anything.
// Plain C++ and the standard library only, so every fuzz project can use it.

#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <span>
#include <string>
#include <vector>

namespace igbfuzz {

// Ends the run as a finding, with what broke and the detail.
[[noreturn]] inline void stop(const char* target, const std::string& what) {
  std::fprintf(stderr, "%s: %s\n", target, what.c_str());
  std::abort();
}

// A fresh folder for the whole process, in $TMPDIR (the run script points
// it at its own work folder, which it removes whatever way the fuzzer
// ends), else in memory (/dev/shm) where there is one: the system's
// writers sync every file and folder they write, which on a disk would
// cost more than everything else a run does.
inline std::filesystem::path makeTempDir(const char* tag) {
  std::error_code ec;
  const char* env = std::getenv("TMPDIR");
  const std::string base = env && *env ? env : std::filesystem::is_directory("/dev/shm", ec) ? "/dev/shm" : "/tmp";
  std::string tmpl = base + "/igb-fuzz-" + tag + "-XXXXXX";
  if (!::mkdtemp(tmpl.data())) {
    std::perror("mkdtemp");
    std::abort();
  }
  return tmpl;
}

// The file's bytes; empty when it cannot be read.
inline std::vector<uint8_t> readAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return {};
  std::vector<uint8_t> bytes(static_cast<size_t>(in.tellg()));
  in.seekg(0);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

inline void writeAll(const std::filesystem::path& path, std::span<const uint8_t> bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    std::abort();
  }
}

inline void writeAll(const std::filesystem::path& path, const std::string& text) {
  writeAll(path, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

// Every entry below `root` by relative path: a file's bytes, or "/" for a
// folder. Links are listed as links, never followed.
using Tree = std::map<std::string, std::vector<uint8_t>>;

inline Tree snapshot(const std::filesystem::path& root) {
  Tree tree;
  std::error_code ec;
  for (std::filesystem::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string rel = std::filesystem::relative(it->path(), root).string();
    if (it->is_symlink()) tree[rel] = {'@'};
    else if (it->is_directory()) tree[rel] = {'/'};
    else tree[rel] = readAll(it->path());
  }
  return tree;
}

// The first difference between two snapshots, or empty.
inline std::string difference(const Tree& before, const Tree& after) {
  for (const auto& [path, bytes] : before) {
    auto it = after.find(path);
    if (it == after.end()) return path + " is gone";
    if (it->second != bytes) return path + " changed";
  }
  for (const auto& [path, bytes] : after)
    if (!before.count(path)) return path + " appeared";
  return {};
}

}  // namespace igbfuzz
