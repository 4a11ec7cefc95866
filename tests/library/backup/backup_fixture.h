#pragma once
// A fresh documents folder per test ($IGROOVEBIX_HOME), a bundle with an
// "Info.plist", a small pattern library made through the library's own
// writers, helpers to run the independent tools (unzip, zip, Python's
// zipfile) the archives must work with, and helpers that reach the cipher
// headers of an archive's entries, for wrong passwords on either side of
// the check byte.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <malloc.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "engine/record/pattern_record.h"
#include "library/backup/backup_archive.h"
#include "library/backup/backup_log.h"
#include "library/backup/zip_archive.h"
#include "library/backup/zip_crypto.h"
#include "library/pattern_file.h"
#include "library/pattern_indices_table.h"
#include "library/utilities.h"
#include "platform/foundation/atomic_file.h"
#include "platform/foundation/property_list.h"
#include "platform/runloop/run_loop.h"

namespace backup_test {

namespace fs = std::filesystem;

inline std::vector<uint8_t> readBytes(const fs::path& p) {
  auto b = platform::readFile(p);
  return b ? *b : std::vector<uint8_t>{};
}

inline void writeBytes(const fs::path& p, const std::vector<uint8_t>& bytes) {
  fs::create_directories(p.parent_path());
  ASSERT_TRUE(platform::writeFileAtomically(p, bytes));
}

inline void writeText(const fs::path& p, const std::string& text) {
  writeBytes(p, std::vector<uint8_t>(text.begin(), text.end()));
}

inline void setMtime(const fs::path& p, time_t t) {
  struct timeval tv[2] = {{t, 0}, {t, 0}};
  ASSERT_EQ(::lutimes(p.c_str(), tv), 0) << p;
}

// Every regular file and link below `dir` (relative path -> bytes, or
// "-> target" for a link), for comparing whole trees. The lock file of a
// backup or restore is not part of a library: one a crashed child left goes
// with the next lock taken.
inline std::map<std::string, std::string> snapshot(const fs::path& dir) {
  std::map<std::string, std::string> out;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string rel = it->path().lexically_relative(dir).generic_string();
    if (rel == BackupArchive::lockFileName()) continue;
    const auto st = it->symlink_status();
    if (fs::is_symlink(st)) {
      out[rel] = "-> " + fs::read_symlink(it->path()).string();
    } else if (fs::is_regular_file(st)) {
      const auto b = readBytes(it->path());
      out[rel] = std::string(b.begin(), b.end());
    } else if (fs::is_directory(st)) {
      out[rel + "/"] = "";
    }
  }
  return out;
}

// An enciphered entry of an archive: where its cipher header starts, how
// many bytes it stores from there (header and data) and the check byte a
// password has to decipher at the header's end.
struct CipherEntry {
  std::string name;
  size_t header = 0;
  size_t stored = 0;
  uint8_t checkByte = 0;
};

// The enciphered entries of an archive the wrapper wrote, found through the
// local headers (which hold the sizes: the wrapper writes no data
// descriptors).
inline std::vector<CipherEntry> cipherEntries(const std::vector<uint8_t>& zip) {
  auto u16 = [&](size_t p) { return static_cast<size_t>(zip[p] | zip[p + 1] << 8); };
  auto u32 = [&](size_t p) { return u16(p) | u16(p + 2) << 16; };
  std::vector<CipherEntry> out;
  size_t pos = 0;
  while (pos + 30 <= zip.size() && u32(pos) == 0x04034b50) {
    const size_t flags = u16(pos + 6);
    EXPECT_EQ(flags & 8u, 0u) << "an entry with a data descriptor at " << pos;
    CipherEntry e;
    e.name.assign(reinterpret_cast<const char*>(zip.data() + pos + 30), u16(pos + 26));
    e.header = pos + 30 + u16(pos + 26) + u16(pos + 28);
    e.stored = u32(pos + 18);
    e.checkByte = zip[pos + 17];  // the high byte of the CRC-32
    pos = e.header + e.stored;
    if (flags & 1u) out.push_back(std::move(e));
  }
  return out;
}

inline bool passesCheckByte(const std::vector<uint8_t>& zip, const CipherEntry& entry, const std::string& password) {
  return ZipCrypto(password).decryptHeader(
      std::span<const uint8_t, ZipCrypto::kHeaderSize>(zip.data() + entry.header, ZipCrypto::kHeaderSize),
      entry.checkByte);
}

// The first `count` of the passwords "<stem>0", "<stem>1", ... whose check
// byte for `entry` passes (or fails), so that a test meets both cases on
// every run, whatever random header the archive got.
inline std::vector<std::string> wrongPasswords(const std::vector<uint8_t>& zip, const CipherEntry& entry,
                                               const std::string& stem, bool passing, size_t count) {
  std::vector<std::string> out;
  for (int i = 0; out.size() < count; ++i) {
    const std::string pw = stem + std::to_string(i);
    if (passesCheckByte(zip, entry, pw) == passing) out.push_back(pw);
  }
  return out;
}

// Rewrites the enciphered bytes of `entry` from `from` (counted from the
// start of its cipher header) so that `password` deciphers them to `plain`:
// the archive a wrong password meets when its keystream happens to give
// those bytes.
inline void forceDeciphered(std::vector<uint8_t>& zip, const CipherEntry& entry, const std::string& password,
                            size_t from, const std::vector<uint8_t>& plain) {
  ZipCrypto crypto(password);
  for (size_t i = 0; i < from + plain.size(); ++i) {
    uint8_t& c = zip[entry.header + i];
    if (i >= from) {
      ZipCrypto probe = crypto;
      const uint8_t stream = c ^ probe.decrypt(c);
      c = plain[i - from] ^ stream;
    }
    crypto.decrypt(c);
  }
}

// Makes `password` pass (or fail) the check byte of `entry`.
inline void forceCheckByte(std::vector<uint8_t>& zip, const CipherEntry& entry, const std::string& password,
                           bool passing) {
  const uint8_t want = passing ? entry.checkByte : static_cast<uint8_t>(entry.checkByte ^ 0x01);
  forceDeciphered(zip, entry, password, ZipCrypto::kHeaderSize - 1, {want});
  ASSERT_EQ(passesCheckByte(zip, entry, password), passing);
}

inline PatternRecord record(int seed) {
  PatternRecord r = PatternRecord::zeroed();
  r.versionParams.dataVersion = PatternRecord::kDataVersion;
  auto put = [](char* field, size_t size, const std::string& text) {
    std::memset(field, 0, size);
    std::memcpy(field, text.data(), std::min(text.size(), size));
  };
  put(r.tagParams.name, sizeof r.tagParams.name, "Pattern " + std::to_string(seed));
  put(r.tagParams.author, sizeof r.tagParams.author, "author" + std::to_string(seed));
  r.sequencerParams.tempo = static_cast<int16_t>(900 + seed);
  r.sequencerParams.swing = 50;
  r.sequencerParams.length = 1;
  r.sequencerParams.lastStep = 16;
  for (int s = 0; s < 64; s += 1 + seed % 5) r.sequencerParams.trigger[seed % 8][s] = 1;
  return r;
}

class BackupTest : public ::testing::Test {
 public:
  void SetUp() override {
    char tmpl[] = "/tmp/igb-backup-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    root = tmpl;
    docs = root / "Documents";
    bundle = root / "bundle";
    fs::create_directories(docs);
    fs::create_directories(bundle);
    ::setenv("IGROOVEBIX_HOME", docs.c_str(), 1);
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    Utilities::setBundleResourcePath(bundle);
    setInfo({{"TSBackupFileExtension", platform::Value("gbd")}});
    setBackupLogHandler([this](const std::string& m) { log.push_back(m); });
    BackupFileNameCreator::setDeviceName(std::string("Test Device"));
  }
  void TearDown() override {
    setBackupLogHandler(nullptr);
    BackupFileNameCreator::setDeviceName(std::nullopt);
    BackupFileNameCreator::setClock(nullptr);
    ::unsetenv("IGROOVEBIX_HOME");
    Utilities::setBundleResourcePath(std::nullopt);
    std::error_code ec;
    fs::remove_all(root, ec);
  }

  void setInfo(const platform::Dictionary& info) {
    ASSERT_TRUE(platform::writePropertyList(bundle / "Info.plist", platform::Value(info)));
  }

  fs::path data() const { return docs / ".igroovebix.d"; }

  // A library of `count` patterns in the data directory of `documents`:
  // pattern files named by identifiers, a file in a subfolder of the
  // pattern directory, the index table, the pattern sets, and the two files
  // that never go into a backup.
  void makeLibrary(const fs::path& documents, int count, int seed = 0) {
    const fs::path d = documents / ".igroovebix.d";
    PatternIndicesTable table;
    for (int i = 0; i < count; ++i) {
      const std::string id = std::to_string(1000 + seed * 100 + i) + "0211";
      fs::create_directories(d / "patterns");
      ASSERT_TRUE(writePatternFile(d / "patterns" / id, record(seed + i)));
      table.add(record(seed + i), id);
    }
    ASSERT_TRUE(table.storeTableAt(d / "patternIndicesTable.plist"));
    platform::Array grid;
    for (int i = 0; i < 64; ++i) grid.emplace_back((i * 7 + seed) % count);
    ASSERT_TRUE(platform::writePropertyList(d / "iGROOVEBIX_patternSet.plist", platform::Value(grid)));
    writeText(d / "patterns" / "sub" / "notes.txt", "kept with the patterns " + std::to_string(seed));
    writeText(d / "global.dat", "global settings " + std::to_string(seed));
    writeText(d / "gbx_editBuffer.dat", "edit buffer " + std::to_string(seed));
  }

  // Runs a shell command; its exit status, output in `out`.
  int run(const std::string& command, std::string* out = nullptr) {
    const fs::path o = root / "cmd-out.txt";
    const int rc = std::system((command + " > '" + o.string() + "' 2>&1").c_str());
    std::ifstream in(o);
    std::stringstream ss;
    ss << in.rdbuf();
    if (out) *out = ss.str();
    fs::remove(o);
    return WEXITSTATUS(rc);
  }

  // Runs a Python script; expects exit status 0 and returns its output.
  std::string python(const std::string& script) {
    const fs::path py = root / "check.py";
    std::ofstream(py) << script;
    std::string out;
    const int rc = run("python3 '" + py.string() + "'", &out);
    EXPECT_EQ(rc, 0) << out;
    fs::remove(py);
    return out;
  }

  static std::string quoted(const fs::path& p) { return "'" + p.string() + "'"; }

  // An archive, written by the zip wrapper, of the library in the data
  // directory with `table` in place of its index table.
  fs::path archiveWithTable(const std::vector<uint8_t>& table) {
    const fs::path arch = root / "with-table.gbd";
    const fs::path tableFile = root / "table.plist";
    writeBytes(tableFile, table);
    ZipArchive z;
    EXPECT_TRUE(z.CreateZipFile2(arch, Utilities::createDataPassword()));
    for (const auto& [rel, bytes] : snapshot(data())) {
      if (rel.back() == '/' || !BackupArchive::shouldBackup(rel)) continue;
      EXPECT_TRUE(z.addFileToZip(rel == "patternIndicesTable.plist" ? tableFile : data() / rel, rel));
    }
    EXPECT_TRUE(z.CloseZipFile2());
    return arch;
  }

  fs::path root, docs, bundle;
  std::vector<std::string> log;
};

// The address and thread sanitizers reserve far more address space than
// they use, so a cap on it would stop them rather than the reader.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool kShadowedMemory = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
inline constexpr bool kShadowedMemory = true;
#else
inline constexpr bool kShadowedMemory = false;
#endif
#else
inline constexpr bool kShadowedMemory = false;
#endif


// What the child found wrong, one line per fault; empty when all is well.
using Findings = std::string;

// What is wrong with how `reader` took a file: it should have read it
// (`reason` nullptr) or refused it with `reason` in its error.
inline Findings readOrRefused(const char* reader, bool read, const std::string& error, const char* reason) {
  if (!reason) return read ? Findings() : std::string(reader) + " refused the file: " + error + "\n";
  if (read) return std::string(reader) + " accepted the file\n";
  if (error.find(reason) == std::string::npos)
    return std::string(reader) + " gave \"" + error + "\", not \"" + reason + "\"\n";
  return {};
}

// Runs `work` in a child process under an alarm (and, outside the
// sanitizers, a cap on its address space, so that a runaway allocation
// fails there instead of taking the machine). Returns the child's
// findings, or why it died. Peak memory is the growth of ru_maxrss across
// `work`, so that what the child shares with its parent does not count.
// `maxSeconds` (when not 0) bounds the time `work` may take.
inline Findings inChild(const std::function<Findings()>& work, long maxGrowthKb, double maxSeconds = 0) {
  // Heap the parent freed but still holds would be reused by the child
  // without growing its resident set; handed back first, what `work`
  // allocates is counted.
  ::malloc_trim(0);
  int fds[2];
  if (::pipe(fds) != 0) return "pipe failed";
  const pid_t pid = ::fork();
  if (pid < 0) return "fork failed";
  if (pid == 0) {
    ::close(fds[0]);
    ::alarm(60);
    if (!kShadowedMemory) {
      long pages = 0;
      std::ifstream("/proc/self/statm") >> pages;
      const rlim_t cap = static_cast<rlim_t>(pages) * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + (rlim_t{1} << 30);
      const struct rlimit lim{cap, cap};
      ::setrlimit(RLIMIT_AS, &lim);
    }
    struct rusage before{};
    ::getrusage(RUSAGE_SELF, &before);
    const auto start = std::chrono::steady_clock::now();
    Findings f = work();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    struct rusage after{};
    ::getrusage(RUSAGE_SELF, &after);
    const long growth = after.ru_maxrss - before.ru_maxrss;
    if (growth > maxGrowthKb)
      f += "peak memory grew by " + std::to_string(growth) + " KB (bound " + std::to_string(maxGrowthKb) + " KB)\n";
    if (maxSeconds > 0 && seconds > maxSeconds) f += "took " + std::to_string(seconds) + " s\n";
    const char* p = f.data();
    for (size_t left = f.size(); left > 0;) {
      const ssize_t n = ::write(fds[1], p, left);
      if (n <= 0) break;
      p += n;
      left -= static_cast<size_t>(n);
    }
    ::_exit(0);
  }
  ::close(fds[1]);
  Findings out;
  char buf[4096];
  for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;) out.append(buf, static_cast<size_t>(n));
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (WIFSIGNALED(status)) out += "the child died of signal " + std::to_string(WTERMSIG(status)) + "\n";
  else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) out += "the child exited with " + std::to_string(WEXITSTATUS(status)) + "\n";
  return out;
}

// Runs passes of the main loop until `done` or `seconds` pass.
inline bool runMainUntil(const std::function<bool()>& done, double seconds = 5.0) {
  auto& loop = platform::RunLoop::main();
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    loop.runOnce(0.01);
  }
  return true;
}

}  // namespace backup_test
