#pragma once
// Audio decoded in pieces on a thread of its own, for the players: the
// encoded bytes (a file read as it plays, or a network body as it
// arrives) are kept, and of the decoded audio only a window of blocks
// around the play position, so a long file costs a few seconds of decoded
// audio, not all of it. WAV and MPEG audio (MP3) are told apart by their
// first bytes.
//
// The render thread reads decoded frames without locks or allocation:
// each block is published through an atomic pointer, and a block that
// leaves the window is freed only once no render read that could have
// seen it is still running (reads bracket themselves with a counter that
// is odd while one runs). A frame not decoded yet reads as nothing (the
// player renders silence and holds its position).
//
// Threads: read() on the render thread (one at a time); the rest on any
// thread.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "soundcloud/screens/wav_decoder.h"

namespace tssc {

// The encoded bytes of a stream as they arrive. Any thread.
class EncodedBody {
 public:
  void append(std::span<const uint8_t> bytes);
  // No more bytes will come.
  void finish();
  size_t size() const;
  bool complete() const;
  // Up to `n` bytes from `offset` into `out`; answers how many.
  size_t copy(uint64_t offset, uint8_t* out, size_t n) const;
  // Runs `f(bytes, complete)` with the bytes held still.
  template <class F>
  auto with(F&& f) const {
    std::lock_guard lock(mutex_);
    return f(std::span<const uint8_t>(bytes_), complete_);
  }

 private:
  mutable std::mutex mutex_;
  std::vector<uint8_t> bytes_;
  bool complete_ = false;
};

// Decoded audio at the players' format from a position on. Decoder thread.
class PcmSource {
 public:
  enum class Status { Ok, NeedMore, End, Error };
  struct Result {
    size_t frames = 0;
    Status status = Status::Ok;
  };
  virtual ~PcmSource() = default;
  virtual Result read(int16_t* out, size_t frames) = 0;
  // False when it cannot move there (yet); then the position stays.
  virtual bool seek(size_t frame) = 0;
  // Frames of the whole stream as far as can be told.
  virtual std::optional<size_t> length() const = 0;
  virtual bool formatKnown() const = 0;
  virtual std::string error() const = 0;
};

class DecodedStream {
 public:
  enum class State { Decoding, Ended, Failed };
  static constexpr size_t kBlockFrames = 16384;
  // Blocks decoded ahead of the play position (about 2.2 s), and one kept
  // behind it.
  static constexpr size_t kBlocksAhead = 6;
  static constexpr size_t kMaxBlocks = kMaxDecodedFrames / kBlockFrames + 1;
  // A file is read into the body this much at a time, as decoding needs it.
  static constexpr size_t kFileReadBytes = 256 * 1024;

  // Decodes a body that arrives from elsewhere (append and finish it).
  explicit DecodedStream(std::shared_ptr<EncodedBody> body);
  // Decodes a file, reading it as decoding goes.
  explicit DecodedStream(const std::filesystem::path& file);
  ~DecodedStream();
  DecodedStream(const DecodedStream&) = delete;
  DecodedStream& operator=(const DecodedStream&) = delete;

  // Render thread: copies up to `frames` decoded frames from `frame` on
  // into `out`; answers how many (fewer where the decoded audio stops).
  size_t read(size_t frame, int16_t* out, size_t frames) noexcept;

  // Where playing is: the window of decoded blocks follows it.
  void setPlayhead(size_t frame);
  // More bytes arrived, or the body finished.
  void wake();
  // Called on the decoder thread after each decoded block, at the end and
  // on a failure. Set before bytes arrive; it must not block.
  void setProgressHandler(std::function<void()> handler);

  State state() const { return state_.load(); }
  std::string error() const;
  // True once the header or first frame was read (or decoding ended).
  bool formatKnown() const { return formatKnown_.load(); }
  // Waits up to `seconds` for formatKnown() or a failure; answers formatKnown().
  bool waitForFormat(double seconds);
  // The stream's end in frames once decoding reached it.
  std::optional<size_t> endFrame() const;
  // Frames of the whole stream: exact at the end, estimated before.
  size_t length() const;
  // Frames decoded from the play position on without a gap.
  size_t bufferedFrames() const;
  // Decoded blocks held in memory (a figure for tests).
  size_t residentBlocks() const { return resident_.load(); }

 private:
  struct Block {
    size_t frames = 0;
    int16_t samples[kBlockFrames * 2];
  };
  void start();
  void run();
  bool makeSource();
  bool readMoreOfFile();
  void retire(size_t index);
  void publishBuffered(size_t head);
  void setFailed(const std::string& why);
  void waitAWhile();
  void progress();

  std::shared_ptr<EncodedBody> body_;
  std::filesystem::path file_;
  bool fromFile_ = false;
  uint64_t fileOffset_ = 0;
  std::unique_ptr<PcmSource> source_;

  std::unique_ptr<std::atomic<Block*>[]> slots_;
  std::vector<size_t> residentList_;  // decoder thread only
  std::atomic<size_t> resident_{0};
  std::atomic<uint64_t> readers_{0};
  std::atomic<size_t> playhead_{0};
  std::atomic<size_t> end_{SIZE_MAX};
  std::atomic<size_t> length_{0};
  // Decoded without a gap from bufferedFrom_ to bufferedUntil_, as last
  // measured by the decoder thread.
  std::atomic<size_t> bufferedFrom_{0};
  std::atomic<size_t> bufferedUntil_{0};
  std::atomic<State> state_{State::Decoding};
  std::atomic<bool> formatKnown_{false};
  std::atomic<bool> quit_{false};
  bool woken_ = false;
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  std::string error_;
  std::function<void()> progress_;
  std::thread thread_;
};

}  // namespace tssc
