#pragma once
// Writes the engine's stereo output into a 16-bit PCM WAV file at the
// engine's rate (44,100 Hz) in the documents folder.
//
// Mode 0 is the off-line bounce: every write goes to the file on the
// caller's thread. Any other mode is the real-time recording: write() runs
// on the render thread and only copies the frames into a lock-free ring;
// a writer thread of the recorder puts them into the file, so the render
// thread never waits for the disk.
//
// The file is named after the pattern and its tempo (bounce) or the date
// and time (real time), is kept within the free space measured at
// construction (32 MiB stay free) and two hours, and never replaces another
// file. Until it is complete it lives under a hidden temporary name in the
// same folder; only a file whose every write, flush and close succeeded is
// renamed to its final name and reported saved. A failed write, a full disk
// or a failed close removes the temporary file and is reported as a failure
// (alertDiskFull for a full disk, audioFileSaveFailed otherwise); nothing is
// then left under the final name. The temporary file is locked (flock) for
// as long as it is one; temporary files that nobody holds locked, left by a
// recorder that ended without finishing, are removed before a new file is
// named.
//
// Threads: construction, open, close and the setters on one thread (the
// main thread); write on that thread in mode 0, on the render thread
// otherwise. Delegate messages go through the main queue (see Environment).

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio/frame_ring.h"
#include "engine/interfaces/recording_source.h"

class AudioFileRecorderDelegate {
 public:
  virtual ~AudioFileRecorderDelegate() = default;
  // Not enough free space for a file, or the disk filled while writing.
  virtual void alertDiskFull() = 0;
  // Full path of the finished file.
  virtual void bounceFileSaved(const std::string& path) = 0;
  virtual void realTimeRecAudioFileSaved(const std::string& path) = 0;
  // The file could not be written completely and was removed; the path is
  // the name it would have had.
  virtual void audioFileSaveFailed(const std::string& path) = 0;
};

// What the recorder takes from the system; empty members use the real
// ones. The write and sync hooks let tests fail the disk on purpose.
struct AudioFileRecorderEnvironment {
  std::filesystem::path documentsDirectory;  // audio::documentsDirectory()
  std::function<uint64_t(const std::filesystem::path&)> freeDiskBytes;  // statfs
  std::function<ssize_t(int fd, const void* data, size_t size)> writeBytes;  // ::write
  std::function<int(int fd)> syncFile;  // ::fsync
  std::function<void(std::function<void()>)> mainQueue;  // inline on the calling thread
  std::function<std::time_t()> now;  // std::time
  size_t ringFrames = size_t{1} << 18;  // about 6 s
};

class AudioFileRecorder {
 public:
  static constexpr uint64_t kReservedBytes = 33554432;  // 32 MiB stay free
  static constexpr uint64_t kBytesPerFrame = 4;
  static constexpr uint32_t kMaxSeconds = 7200;
  static constexpr int kMaxNameAttempts = 10000;

  enum class Outcome {
    None,      // nothing finished yet
    Saved,     // reported saved
    Removed,   // closed with no frames: the file was deleted
    NotOpened, // the file could not be created (no message)
    DiskFull,  // too little free space, or the disk filled while writing
    Failed,    // a write, flush or close failed: reported, nothing kept
  };

  using Environment = AudioFileRecorderEnvironment;

  AudioFileRecorder(RecordingSource* synth, int32_t mode, Environment environment = {});
  ~AudioFileRecorder();
  AudioFileRecorder(const AudioFileRecorder&) = delete;
  AudioFileRecorder& operator=(const AudioFileRecorder&) = delete;

  void setDelegate(std::shared_ptr<AudioFileRecorderDelegate> delegate);
  void setBounceMode(bool on) { bounceMode_ = on; }

  void open(bool skipLeadingSilence);
  void write(const int16_t* left, const int16_t* right, uint32_t frames);
  void close();

  // Available blocks × block size of the file system holding `directory`.
  static uint64_t freeDiskBytes(const std::filesystem::path& directory);
  std::filesystem::path documentsPathForFileName(const std::string& name) const;

  // --- naming ---
  // The record's name (its 16 bytes at most) with "/" and ":" made "_",
  // "No Name" when empty, a leading "." made "_", then " BPM" and the tempo.
  static std::string baseName(const PatternRecord& record);
  // Tenths of BPM × 0.1 in single precision, written as a default stream
  // writes a float: "120", "98.5".
  static std::string tempoText(int32_t tempoTenths);
  static std::string bounceFileName(const std::string& base, int attempt);
  // Local date and time "yyyy-MM-dd HH.mm.ss" (calendar year).
  static std::string realTimeFileName(std::time_t when, int attempt);

  // --- state ---
  int32_t mode() const { return mode_; }
  float sampleRate() const { return sampleRate_; }
  bool bounceMode() const { return bounceMode_; }
  bool isOpen() const { return state_.load() != kClosed; }
  uint64_t maxFrames() const { return maxFrames_; }
  uint64_t frameLimit() const { return frameLimit_; }
  uint64_t freeBytes() const { return freeBytes_; }
  uint64_t framesWritten() const { return framesWritten_.load(); }
  bool skipLeadingSilence() const { return skip_.load(); }
  std::string fileName() const;
  Outcome lastOutcome() const { return lastOutcome_.load(); }
  // Full path of the last file reported saved.
  std::string lastSavedPath() const;
  bool isRealTime() const { return mode_ != 0; }

 private:
  enum State : int { kClosed, kOpen, kLimitReached, kClosing };
  struct File;

  bool createFile();
  bool writeToFile(const int16_t* interleaved, size_t frames);
  void finish();
  void writerLoop();
  void joinWriter();
  void post(std::function<void(AudioFileRecorderDelegate&)> message);
  std::string nameForAttempt(int attempt) const;

  RecordingSource* synth_;
  const float sampleRate_;
  const int32_t mode_;
  Environment env_;
  uint64_t maxFrames_;
  uint64_t frameLimit_;
  uint64_t freeBytes_;
  bool bounceMode_ = false;
  std::string fileName_;
  std::string baseName_;
  std::time_t openedAt_ = 0;
  int attempt_ = 0;
  std::vector<int16_t> interleaveBuffer_;
  std::unique_ptr<File> file_;

  mutable std::mutex delegateMutex_;
  std::shared_ptr<AudioFileRecorderDelegate> delegate_;
  mutable std::mutex resultMutex_;
  std::string lastSavedPath_;
  std::atomic<Outcome> lastOutcome_{Outcome::None};

  // Shared with the render thread (real-time mode).
  std::atomic<int> state_{kClosed};
  std::atomic<bool> inWrite_{false};
  std::atomic<bool> skip_{false};
  std::atomic<bool> overrun_{false};
  std::atomic<uint64_t> framesWritten_{0};
  StereoFrameRing ring_;
  std::thread writer_;
};
