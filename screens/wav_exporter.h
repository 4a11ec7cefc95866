#pragma once
// The bounce to WAV as the main screen runs it: the current pattern is
// rendered off line into a WAV file in the documents folder, the user is
// told the file's name in the notification banner, and the file is then
// offered through the Open-In menu; it is removed from the documents folder
// once that menu closes.
//
// On the desktop the Open-In menu offers to save a copy in the user's folder
// for such files (Downloads, or $IGB_EXPORT_DIR) or to open a copy with the
// desktop's default program for WAV files; the copy is complete before the
// menu reports that it closed, so removing the original loses nothing.
//
// The bounce runs on the main thread and blocks it while it renders. The
// engine's begin-bounce waits only for a live render already under way, and
// only half a second; when it gives up, nothing is rendered and the user is
// told so. A full disk, a failed write and a failed begin each end in an
// alert; none shows a banner or a menu.
//
// Main thread only.

#include <filesystem>
#include <memory>
#include <string>

#include "audio/audio_file_recorder.h"
#include "platform/ui/document_interaction.h"
#include "platform/ui/view.h"

class RecordingSource;

// What the bounce asks of the main screen.
class WavExporterHost {
 public:
  virtual ~WavExporterHost() = default;
  // Closes whatever screen the main screen presents.
  virtual void disposeAllPopover(bool flag) = 0;
  // Stops the sequencer and resets the panel's transport state.
  virtual void prepareToBounce() = 0;
  // The panel redrawn from the engine, the play button reset, the menu closed.
  virtual void bounceDidFinish() = 0;
  virtual void sendNotificationMessage(const std::string& text, uint64_t displayTimeIndex) = 0;
  // Where the Open-In menu hangs (the menu bar's export button); nullptr
  // when there is none.
  virtual platform::View* openInMenuAnchor() = 0;
};

class WavExporter : public platform::DocumentInteractionControllerDelegate,
                    public std::enable_shared_from_this<WavExporter> {
 public:
  static constexpr uint64_t kBannerTime = 8;
  static constexpr double kOpenInDelay = 0.03;
  static constexpr const char* kBounceFailedTitle = "Bounce Error";
  static constexpr const char* kBounceFailedMessage =
      "The sound output did not release the engine, so the pattern was not bounced. Please try again.";

  // `engine` and `host` outlive the exporter. The recorder environment is
  // for tests (documents folder, free space); its main queue is always the
  // main run loop's.
  WavExporter(RecordingSource* engine, WavExporterHost* host, AudioFileRecorderEnvironment environment = {});
  ~WavExporter() override;

  void setEngine(RecordingSource* engine) { engine_ = engine; }

  void bounceCurrentPattern();
  void bounce();
  // ---- the recorder's reports, on the main thread
  void bounceFileSaved(const std::string& path);
  void realTimeRecAudioFileSaved(const std::string& path);
  void sendAudioFileSavedNofificationMessage(const std::string& fileName, uint64_t displayTimeIndex);
  void alertDiskFull();
  void alertAudioRecWriteError();
  void alertBounceFailed();

  void documentInteractionControllerDidDismissOpenInMenu(platform::DocumentInteractionController& c) override;
  // The Open-In controller of the last saved bounce (kept while its menu is up,
  // replaced by the next bounce).
  platform::DocumentInteractionController* interactionViewController() const { return interaction_.get(); }
  // What the last bounce did (tests ask).
  AudioFileRecorder::Outcome lastOutcome() const { return lastOutcome_; }
  bool lastBeginFailed() const { return beginFailed_; }

 private:
  class RecorderDelegate;
  void presentOpenInMenu(const std::filesystem::path& file);

  RecordingSource* engine_;
  WavExporterHost* host_;
  AudioFileRecorderEnvironment environment_;
  std::shared_ptr<RecorderDelegate> delegate_;
  std::shared_ptr<platform::DocumentInteractionController> interaction_;
  AudioFileRecorder::Outcome lastOutcome_ = AudioFileRecorder::Outcome::None;
  bool beginFailed_ = false;
};
