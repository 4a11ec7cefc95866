#pragma once
// The player of an audio file of the documents folder, outside the
// instrument's own audio path: its own output unit (and audio session)
// plays the decoded file with a smoothed volume.
//
// The file (WAV of the formats that wav_decoder.h reads, or MPEG audio)
// is decoded in pieces on a thread of its own as it plays (decoded_stream.h),
// so the render thread only copies decoded blocks: it allocates nothing,
// takes no lock and does no I/O. A frame not decoded yet plays as silence
// and the position waits for it. The gain follows its
// target with a one-pole smoothing of 31,783 / 32,768 per frame (volume
// changes never step; it settles just below the target through
// truncation). Frames after the end of the file stay silent.
//
// The end of the file is noticed on the render thread and acted on by the
// main thread (a short timer while playing): stop, which rewinds and tells
// the delegate. Position and length are the file's, in milliseconds; a
// seek moves the read position at once, also while playing.
//
// Main thread, except audioProcess (the render thread).

#include <atomic>
#include <filesystem>
#include <memory>
#include <vector>

#include "platform/audio/audio_output_unit.h"
#include "platform/audio/audio_session.h"
#include "platform/runloop/run_loop.h"
#include "soundcloud/screens/list_browser_track.h"
#include "soundcloud/screens/decoded_stream.h"

namespace tssc {

class AudioFilePlayer : public ListBrowserPlayer {
 public:
  static constexpr uint32_t kChunkFrames = 1024;
  static constexpr int32_t kUnityGain = 32768;
  // How often the main thread looks for the end of the file while playing.
  static constexpr double kEndPollInterval = 0.02;

  // `drivers`: the sound devices to try (the null device comes last anyway).
  explicit AudioFilePlayer(std::shared_ptr<ListBrowserTrack> track,
                           std::vector<platform::AudioDriver> drivers = platform::configuredAudioDrivers());
  ~AudioFilePlayer() override;

  // Detaches any file, starts decoding the new one and rewinds; false (and
  // no file) when it cannot be read or is neither WAV nor MPEG audio (told
  // by its header or first frame, waited for). Done while stopped.
  bool attach(const std::filesystem::path& url);
  // As attach, with audio decoded from elsewhere (a stream as it arrives).
  void attachStream(std::shared_ptr<DecodedStream> stream);
  // Moves the read position to a time in seconds (held to the file).
  void seekToSeconds(double seconds);
  void detach();
  bool hasFile() const { return static_cast<bool>(stream_); }

  void play() override;
  void pause() override;
  void stop() override;
  void seekTo(float position, bool startPlaying) override;
  bool isPlaying() const override { return playing_; }
  uint64_t position() const override;
  uint64_t totalLength() const override;
  // Volume 0 to 127 (values outside are held to it): target gain
  // (v × v × 65) >> 5.
  void setParameter(int32_t index, int32_t value) override;
  int32_t parameter(int32_t index) const override { return index == kListBrowserPlayerParameterVolume ? volume_ : 0; }
  std::optional<ListBrowserPlayerParameterDescription> parameterDescription(int32_t index) const override;
  bool canControl(int32_t code) const override {
    return code >= kListBrowserPlayerControlFirst && code <= kListBrowserPlayerControlLast;
  }
  void doAction(int32_t /*code*/) {}

  // The render work: `frames` interleaved stereo frames into `out` (which
  // arrives zeroed). Render thread.
  void audioProcess(uint32_t bus, uint32_t frames, int16_t* out);

  // ---- figures for the owner and tests
  int32_t currentGain() const { return current_.load(std::memory_order_relaxed); }
  int32_t targetGain() const { return target_.load(std::memory_order_relaxed); }
  size_t readFrame() const { return readPos_.load(); }
  // The file's length: exact once decoding reached its end, the header's
  // word before.
  size_t fileFrames() const { return stream_ ? stream_->length() : 0; }
  // Frames decoded ahead of the read position.
  size_t bufferedFrames() const { return stream_ ? stream_->bufferedFrames() : 0; }
  DecodedStream* stream() const { return stream_.get(); }
  // Frames taken from the file since it was attached.
  uint64_t framesPlayed() const { return played_.load(); }
  platform::AudioDriver driver() const { return unit_.driver(); }
  bool unitRunning() const { return unit_.isRunning(); }

 private:
  static int32_t render(void* context, const platform::AudioTimeStamp* stamp, uint32_t frames, int16_t* data);
  void checkForEnd();

  platform::AudioSession session_;
  platform::AudioOutputUnit unit_;
  void moveTo(size_t frame);

  std::shared_ptr<DecodedStream> stream_;
  std::vector<int16_t> buffer_ = std::vector<int16_t>(2 * kChunkFrames);
  std::atomic<size_t> readPos_{0};
  std::atomic<uint64_t> played_{0};
  std::atomic<int32_t> target_{0};
  std::atomic<int32_t> current_{0};  // written by the render thread only while the unit runs
  std::atomic<bool> endReached_{false};
  int32_t volume_ = 0;
  bool playing_ = false;
  std::shared_ptr<platform::Timer> endTimer_;
};

}  // namespace tssc
