#include "audio/audio_file_recorder.h"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <locale>
#include <sstream>
#include <string_view>
#include <vector>

#include "audio/documents.h"

// The open file: our own descriptor under the temporary name, with
// libsndfile writing through it so that every byte passes the write hook
// and a failure is seen, whether in a block or in the header at close.
// `lock` holds the part file's lock from its creation until it has its
// final name or is gone: a part file whose lock nobody holds is stale.
struct AudioFileRecorder::File {
  int fd = -1;
  int lock = -1;
  SNDFILE* sound = nullptr;
  std::filesystem::path tempPath;
  std::function<ssize_t(int, const void*, size_t)> writeBytes;
  uint64_t frames = 0;  // frames libsndfile took without error
  bool failed = false;
  int error = 0;  // errno of the first failure

  ~File() {
    if (lock >= 0) ::close(lock);
  }

  void fail(int err) {
    if (!failed) error = err;
    failed = true;
  }

  static sf_count_t length(void* user) {
    struct stat st{};
    return fstat(static_cast<File*>(user)->fd, &st) == 0 ? st.st_size : -1;
  }
  static sf_count_t seek(sf_count_t offset, int whence, void* user) {
    return lseek(static_cast<File*>(user)->fd, offset, whence);
  }
  static sf_count_t read(void* ptr, sf_count_t count, void* user) {
    const ssize_t n = ::read(static_cast<File*>(user)->fd, ptr, static_cast<size_t>(count));
    return n < 0 ? 0 : n;
  }
  static sf_count_t write(const void* ptr, sf_count_t count, void* user) {
    auto* f = static_cast<File*>(user);
    const auto* p = static_cast<const uint8_t*>(ptr);
    sf_count_t done = 0;
    while (done < count) {
      const ssize_t n = f->writeBytes(f->fd, p + done, static_cast<size_t>(count - done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        f->fail(n < 0 ? errno : EIO);
        break;
      }
      done += n;
    }
    return done;
  }
  static sf_count_t tell(void* user) { return lseek(static_cast<File*>(user)->fd, 0, SEEK_CUR); }
};

namespace {

bool isDiskFull(int err) { return err == ENOSPC || err == EDQUOT || err == EFBIG; }

// A name cut at its 16th byte may end inside a UTF-8 sequence.
void dropIncompleteUtf8Tail(std::string& s) {
  size_t i = s.size();
  size_t continuation = 0;
  while (i > 0 && (static_cast<uint8_t>(s[i - 1]) & 0xC0) == 0x80 && continuation < 3) {
    --i;
    ++continuation;
  }
  if (i == 0) return;
  const uint8_t lead = static_cast<uint8_t>(s[i - 1]);
  size_t need = 0;
  if ((lead & 0xE0) == 0xC0) need = 1;
  else if ((lead & 0xF0) == 0xE0) need = 2;
  else if ((lead & 0xF8) == 0xF0) need = 3;
  else return;
  if (continuation < need) s.erase(i - 1);
}

bool syncDirectory(const std::filesystem::path& dir) {
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::fsync(fd) == 0;
  ::close(fd);
  return ok;
}

bool sameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Part files are ".<name>.wav.part"; nothing else in the folder is touched.
bool isPartFileName(const std::string& name) {
  constexpr std::string_view kEnd = ".wav.part";
  return name.size() > kEnd.size() + 1 && name[0] == '.' && name.ends_with(kEnd);
}

// A recorder holds an exclusive lock on its part file for as long as the
// file is a part file, and the system drops the lock when the process ends
// however it ends. So a part file that can be locked was left by a recorder
// that never finished (a crash, a kill, a power cut): nobody will finish
// it, and it would stay for good and keep its name from later files.
void removeIfStale(const std::filesystem::path& part) {
  const int fd = ::open(part.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return;
  struct stat held{}, named{};
  // The name must still be the file locked: it may have been finished or
  // removed, and another file made under it, since it was opened.
  if (::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
      ::lstat(part.c_str(), &named) == 0 && sameFile(held, named))
    ::unlink(part.c_str());
  ::close(fd);
}

void removeStalePartFiles(const std::filesystem::path& dir) {
  std::error_code ec;
  std::vector<std::filesystem::path> parts;
  for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
    if (isPartFileName(it->path().filename().string())) parts.push_back(it->path());
  for (const auto& part : parts) removeIfStale(part);
}

// Locks a part file just made. Between its creation and the lock another
// recorder may have found it unlocked and removed it: then the descriptor
// is a file without a name, and the caller goes on to another one.
// On a file system without locks no part file is ever found stale, so
// the file is used unlocked there.
bool lockNewPartFile(int fd, const std::filesystem::path& part) {
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) return false;
  struct stat held{}, named{};
  return ::fstat(fd, &held) == 0 && ::lstat(part.c_str(), &named) == 0 && sameFile(held, named);
}

// Renames without ever replacing a file that took the name meanwhile.
int renameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // A file system without the flag: a hard link fails on an existing name.
  if (::link(from.c_str(), to.c_str()) != 0) return errno;
  ::unlink(from.c_str());
  return 0;
}

}  // namespace

AudioFileRecorder::AudioFileRecorder(RecordingSource* synth, int32_t mode, Environment environment)
    : synth_(synth),
      sampleRate_(synth ? synth->sampleRate() : 44100.0f),
      mode_(mode),
      env_(std::move(environment)),
      ring_(mode != 0 ? std::max<size_t>(env_.ringFrames, 1024) : 1) {
  if (env_.documentsDirectory.empty()) env_.documentsDirectory = audio::documentsDirectory();
  if (!env_.freeDiskBytes) env_.freeDiskBytes = &AudioFileRecorder::freeDiskBytes;
  if (!env_.writeBytes) env_.writeBytes = [](int fd, const void* d, size_t n) { return ::write(fd, d, n); };
  if (!env_.syncFile) env_.syncFile = [](int fd) { return ::fsync(fd); };
  if (!env_.now) env_.now = [] { return std::time(nullptr); };
  maxFrames_ = static_cast<uint64_t>(sampleRate_ * static_cast<float>(kMaxSeconds));
  frameLimit_ = maxFrames_;
  interleaveBuffer_.assign(2048, 0);
  std::error_code ec;
  std::filesystem::create_directories(env_.documentsDirectory, ec);
  freeBytes_ = env_.freeDiskBytes(env_.documentsDirectory);
}

AudioFileRecorder::~AudioFileRecorder() {
  close();
  joinWriter();
}

void AudioFileRecorder::setDelegate(std::shared_ptr<AudioFileRecorderDelegate> delegate) {
  std::lock_guard<std::mutex> lock(delegateMutex_);
  delegate_ = std::move(delegate);
}

uint64_t AudioFileRecorder::freeDiskBytes(const std::filesystem::path& directory) {
  struct statfs st{};
  if (::statfs(directory.c_str(), &st) != 0) return 0;
  return static_cast<uint64_t>(st.f_bavail) * static_cast<uint64_t>(st.f_bsize);
}

std::filesystem::path AudioFileRecorder::documentsPathForFileName(const std::string& name) const {
  return env_.documentsDirectory / name;
}

std::string AudioFileRecorder::fileName() const {
  std::lock_guard<std::mutex> lock(resultMutex_);
  return fileName_;
}

std::string AudioFileRecorder::lastSavedPath() const {
  std::lock_guard<std::mutex> lock(resultMutex_);
  return lastSavedPath_;
}

// --- naming ---

std::string AudioFileRecorder::tempoText(int32_t tempoTenths) {
  const float bpm = static_cast<float>(tempoTenths) * 0.1f;
  std::ostringstream out;
  out.imbue(std::locale::classic());
  out << bpm;
  return out.str();
}

std::string AudioFileRecorder::baseName(const PatternRecord& record) {
  const char* raw = record.tagParams.name;
  const size_t length = strnlen(raw, sizeof(record.tagParams.name));
  std::string name(raw, length);
  dropIncompleteUtf8Tail(name);
  std::replace(name.begin(), name.end(), '/', '_');
  std::replace(name.begin(), name.end(), ':', '_');
  if (name.empty()) name = "No Name";
  if (name[0] == '.') name[0] = '_';
  return name + " BPM" + tempoText(record.sequencerParams.tempo);
}

std::string AudioFileRecorder::bounceFileName(const std::string& base, int attempt) {
  if (attempt == 0) return base + ".wav";
  return base + " - " + std::to_string(attempt) + ".wav";
}

std::string AudioFileRecorder::realTimeFileName(std::time_t when, int attempt) {
  std::tm local{};
  localtime_r(&when, &local);
  char date[64];
  std::strftime(date, sizeof(date), "%Y-%m-%d %H.%M.%S", &local);
  if (attempt == 0) return std::string(date) + ".wav";
  return std::string(date) + " " + std::to_string(attempt) + ".wav";
}

std::string AudioFileRecorder::nameForAttempt(int attempt) const {
  return bounceMode_ ? bounceFileName(baseName_, attempt) : realTimeFileName(openedAt_, attempt);
}

// --- open ---

void AudioFileRecorder::open(bool skipLeadingSilence) {
  if (isOpen()) return;
  joinWriter();  // a file that ended at its limit
  skip_.store(skipLeadingSilence);
  frameLimit_ = 0;
  if (freeBytes_ <= kReservedBytes) {
    lastOutcome_.store(Outcome::DiskFull);
    post([](AudioFileRecorderDelegate& d) { d.alertDiskFull(); });
    return;
  }
  frameLimit_ = std::min(maxFrames_, (freeBytes_ - kReservedBytes) / kBytesPerFrame);
  if (frameLimit_ == 0) {
    lastOutcome_.store(Outcome::DiskFull);
    post([](AudioFileRecorderDelegate& d) { d.alertDiskFull(); });
    return;
  }
  const PatternRecord* record = synth_ ? synth_->currentPattern() : nullptr;
  baseName_ = baseName(record ? *record : PatternRecord::zeroed());
  openedAt_ = env_.now();
  if (!createFile()) {
    lastOutcome_.store(Outcome::NotOpened);
    return;
  }
  framesWritten_.store(0);
  overrun_.store(false);
  if (isRealTime()) {
    ring_.reset();
    state_.store(kOpen);
    writer_ = std::thread([this] { writerLoop(); });
  } else {
    state_.store(kOpen);
  }
}

bool AudioFileRecorder::createFile() {
  const std::filesystem::path& dir = env_.documentsDirectory;
  removeStalePartFiles(dir);
  for (int attempt = 0; attempt < kMaxNameAttempts; ++attempt) {
    const std::string name = nameForAttempt(attempt);
    std::error_code ec;
    const bool taken = std::filesystem::exists(dir / name, ec);
    if (ec) return false;  // the folder itself cannot be reached
    if (taken) continue;
    auto file = std::make_unique<File>();
    file->tempPath = dir / ("." + name + ".part");
    file->writeBytes = env_.writeBytes;
    file->fd = ::open(file->tempPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (file->fd < 0) {
      if (errno == EEXIST) continue;  // another recorder is writing that name
      return false;
    }
    if (!lockNewPartFile(file->fd, file->tempPath)) {
      ::close(file->fd);
      continue;
    }
    // The lock belongs to the open file, which this second descriptor keeps
    // open after the first is closed at the end, until the rename.
    file->lock = ::dup(file->fd);
    if (file->lock < 0) {
      ::close(file->fd);
      ::unlink(file->tempPath.c_str());
      return false;
    }
    SF_VIRTUAL_IO io{&File::length, &File::seek, &File::read, &File::write, &File::tell};
    SF_INFO info{};
    info.samplerate = static_cast<int>(sampleRate_);
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    file->sound = sf_open_virtual(&io, SFM_WRITE, &info, file.get());
    if (!file->sound) {
      ::close(file->fd);
      ::unlink(file->tempPath.c_str());
      return false;
    }
    {
      std::lock_guard<std::mutex> lock(resultMutex_);
      fileName_ = name;
    }
    attempt_ = attempt;
    file_ = std::move(file);
    return true;
  }
  return false;
}

// --- write ---

bool AudioFileRecorder::writeToFile(const int16_t* interleaved, size_t frames) {
  File& f = *file_;
  if (f.failed) return false;
  const sf_count_t n = sf_writef_short(f.sound, interleaved, static_cast<sf_count_t>(frames));
  if (n > 0) f.frames += static_cast<uint64_t>(n);
  if (n != static_cast<sf_count_t>(frames) || f.failed) {
    f.fail(f.error ? f.error : EIO);
    return false;
  }
  return true;
}

void AudioFileRecorder::write(const int16_t* left, const int16_t* right, uint32_t frames) {
  if (frames == 0 || !left || !right) return;
  if (!isRealTime()) {
    if (state_.load() != kOpen || !file_) return;
    uint32_t first = 0;
    if (skip_.load()) {
      while (first < frames && left[first] == 0 && right[first] == 0) ++first;
      if (first == frames) return;
      skip_.store(false);
    }
    const uint32_t n = frames - first;
    if (interleaveBuffer_.size() < size_t{n} * 2) interleaveBuffer_.resize(size_t{n} * 2, 0);
    for (uint32_t i = 0; i < n; ++i) {
      interleaveBuffer_[size_t{i} * 2] = left[first + i];
      interleaveBuffer_[size_t{i} * 2 + 1] = right[first + i];
    }
    if (writeToFile(interleaveBuffer_.data(), n)) framesWritten_.fetch_add(n);
    if (framesWritten_.load() > frameLimit_) close();
    return;
  }

  // Render thread: copy into the ring and go.
  inWrite_.store(true);
  if (state_.load() != kOpen) {
    inWrite_.store(false);
    return;
  }
  uint32_t first = 0;
  if (skip_.load(std::memory_order_relaxed)) {
    while (first < frames && left[first] == 0 && right[first] == 0) ++first;
    if (first == frames) {
      inWrite_.store(false);
      return;
    }
    skip_.store(false, std::memory_order_relaxed);
  }
  const size_t n = frames - first;
  const size_t put = ring_.put(left + first, right + first, n);
  if (put < n) overrun_.store(true, std::memory_order_relaxed);
  const uint64_t total = framesWritten_.fetch_add(put) + put;
  if (total > frameLimit_) state_.store(kLimitReached);
  inWrite_.store(false);
}

void AudioFileRecorder::writerLoop() {
  using namespace std::chrono_literals;
  constexpr size_t kChunk = 4096;
  std::vector<int16_t> chunk(kChunk * 2);
  for (;;) {
    const size_t n = ring_.take(chunk.data(), kChunk);
    if (n > 0) {
      writeToFile(chunk.data(), n);
      continue;
    }
    const int s = state_.load();
    if (s == kClosing || (s == kLimitReached && !inWrite_.load())) {
      while (const size_t rest = ring_.take(chunk.data(), kChunk)) writeToFile(chunk.data(), rest);
      break;
    }
    std::this_thread::sleep_for(5ms);
  }
  finish();
}

void AudioFileRecorder::joinWriter() {
  if (writer_.joinable()) writer_.join();
}

// --- close ---

void AudioFileRecorder::close() {
  if (!isRealTime()) {
    if (state_.load() == kOpen) finish();
    return;
  }
  int expected = kOpen;
  state_.compare_exchange_strong(expected, kClosing);
  // The render thread may be inside write(): it sees the new state on its
  // next call, and this one ends in a moment.
  while (inWrite_.load()) std::this_thread::yield();
  joinWriter();
}

void AudioFileRecorder::finish() {
  std::unique_ptr<File> file = std::move(file_);
  const uint64_t accepted = framesWritten_.load();
  bool ok = file != nullptr;
  int error = 0;
  if (file) {
    if (overrun_.load()) {
      // The disk fell so far behind that frames were dropped.
      file->fail(0);
    }
    if (sf_close(file->sound) != 0) file->fail(file->error ? file->error : EIO);
    file->sound = nullptr;
    if (!file->failed && env_.syncFile(file->fd) != 0) file->fail(errno);
    if (::close(file->fd) != 0) file->fail(errno);
    file->fd = -1;
    ok = !file->failed;
    error = file->error;
  }
  const std::filesystem::path dir = env_.documentsDirectory;
  std::string name;
  {
    std::lock_guard<std::mutex> lock(resultMutex_);
    name = fileName_;
  }

  if (ok && accepted == 0) {
    // Nothing was recorded: the file goes, with no message.
    ::unlink(file->tempPath.c_str());
    lastOutcome_.store(Outcome::Removed);
  } else {
    if (ok) {
      // Read it back: the header libsndfile wrote at close must tell all
      // the frames we gave it.
      SF_INFO info{};
      SNDFILE* check = sf_open(file->tempPath.c_str(), SFM_READ, &info);
      ok = check && info.frames == static_cast<sf_count_t>(file->frames) && file->frames == accepted &&
           info.channels == 2 && info.samplerate == static_cast<int>(sampleRate_) &&
           info.format == (SF_FORMAT_WAV | SF_FORMAT_PCM_16);
      if (check) sf_close(check);
    }
    std::filesystem::path finalPath = dir / name;
    if (ok) {
      int err = renameNoReplace(file->tempPath, finalPath);
      for (int attempt = attempt_ + 1; err == EEXIST && attempt < kMaxNameAttempts; ++attempt) {
        name = nameForAttempt(attempt);
        finalPath = dir / name;
        err = renameNoReplace(file->tempPath, finalPath);
      }
      if (err != 0) {
        ok = false;
        error = err;
      } else if (!syncDirectory(dir)) {
        ok = false;
        error = errno;
        ::unlink(finalPath.c_str());
      }
    }
    if (ok) {
      {
        std::lock_guard<std::mutex> lock(resultMutex_);
        fileName_ = name;
        lastSavedPath_ = finalPath.string();
      }
      lastOutcome_.store(Outcome::Saved);
      const std::string path = finalPath.string();
      if (bounceMode_) {
        post([path](AudioFileRecorderDelegate& d) { d.bounceFileSaved(path); });
      } else {
        post([path](AudioFileRecorderDelegate& d) { d.realTimeRecAudioFileSaved(path); });
      }
    } else {
      if (file) ::unlink(file->tempPath.c_str());
      const std::string path = finalPath.string();
      if (isDiskFull(error)) {
        lastOutcome_.store(Outcome::DiskFull);
        post([](AudioFileRecorderDelegate& d) { d.alertDiskFull(); });
      } else {
        lastOutcome_.store(Outcome::Failed);
        post([path](AudioFileRecorderDelegate& d) { d.audioFileSaveFailed(path); });
      }
    }
  }
  framesWritten_.store(0);
  state_.store(kClosed);
}

void AudioFileRecorder::post(std::function<void(AudioFileRecorderDelegate&)> message) {
  std::shared_ptr<AudioFileRecorderDelegate> delegate;
  {
    std::lock_guard<std::mutex> lock(delegateMutex_);
    delegate = delegate_;
  }
  if (!delegate) return;
  auto deliver = [delegate, message = std::move(message)] { message(*delegate); };
  if (env_.mainQueue) {
    env_.mainQueue(std::move(deliver));
  } else {
    deliver();
  }
}
