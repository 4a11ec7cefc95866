#include "screens/wav_exporter.h"

#include "audio/bounce.h"
#include "engine/interfaces/recording_source.h"
#include "platform/runloop/run_loop.h"
#include "platform/ui/alert_view.h"

// The recorder keeps its delegate alive in the messages it queues; this
// small object lets those outlive the exporter harmlessly.
class WavExporter::RecorderDelegate : public AudioFileRecorderDelegate {
 public:
  explicit RecorderDelegate(std::weak_ptr<WavExporter> owner) : owner_(std::move(owner)) {}
  void alertDiskFull() override {
    if (auto o = owner_.lock()) o->alertDiskFull();
  }
  void bounceFileSaved(const std::string& path) override {
    if (auto o = owner_.lock()) o->bounceFileSaved(path);
  }
  void realTimeRecAudioFileSaved(const std::string& path) override {
    if (auto o = owner_.lock()) o->realTimeRecAudioFileSaved(path);
  }
  void audioFileSaveFailed(const std::string&) override {
    if (auto o = owner_.lock()) o->alertAudioRecWriteError();
  }

 private:
  std::weak_ptr<WavExporter> owner_;
};

namespace {

void showAlert(const std::string& title, const std::string& message) {
  auto alert = std::make_shared<platform::AlertView>(title, message, nullptr, std::string("OK"),
                                                     std::vector<std::string>{});
  alert->show();
}

}  // namespace

WavExporter::WavExporter(RecordingSource* engine, WavExporterHost* host, AudioFileRecorderEnvironment environment)
    : engine_(engine), host_(host), environment_(std::move(environment)) {
  // The saved-file report arrives after the bounce has returned, as the
  // platform's main queue delivers it.
  environment_.mainQueue = [](std::function<void()> block) { platform::dispatchAsyncMain(std::move(block)); };
}

WavExporter::~WavExporter() {
  if (interaction_) interaction_->setDelegate(nullptr);
}

void WavExporter::bounceCurrentPattern() {
  if (host_) {
    host_->disposeAllPopover(true);
    host_->prepareToBounce();
  }
  bounce();
  if (host_) host_->bounceDidFinish();
}

void WavExporter::bounce() {
  lastOutcome_ = AudioFileRecorder::Outcome::None;
  beginFailed_ = false;
  if (!engine_) return;
  if (!delegate_) delegate_ = std::make_shared<RecorderDelegate>(weak_from_this());
  AudioFileRecorder recorder(engine_, 0, environment_);
  recorder.setDelegate(delegate_);
  recorder.setBounceMode(true);
  // An empty pattern makes no file and says nothing; only a refused begin
  // is told to the user.
  beginFailed_ = ::bounceCurrentPattern(*engine_, recorder) == BounceResult::Refused;
  lastOutcome_ = recorder.lastOutcome();
  if (beginFailed_) {
    // The live output still had the engine: nothing was rendered.
    std::weak_ptr<WavExporter> weak = weak_from_this();
    platform::dispatchAsyncMain([weak] {
      if (auto self = weak.lock()) self->alertBounceFailed();
    });
  }
}

void WavExporter::sendAudioFileSavedNofificationMessage(const std::string& fileName, uint64_t displayTimeIndex) {
  if (host_) host_->sendNotificationMessage("Saved as " + fileName + ".", displayTimeIndex);
}

void WavExporter::bounceFileSaved(const std::string& path) {
  const std::filesystem::path file(path);
  sendAudioFileSavedNofificationMessage(file.filename().string(), kBannerTime);
  std::weak_ptr<WavExporter> weak = weak_from_this();
  platform::dispatchAfterMain(kOpenInDelay, [weak, file] {
    if (auto self = weak.lock()) self->presentOpenInMenu(file);
  });
}

void WavExporter::presentOpenInMenu(const std::filesystem::path& file) {
  if (interaction_) {
    // A menu still up from the bounce before closes first (and its file goes).
    auto previous = interaction_;
    previous->dismissMenuAnimated(false);
  }
  interaction_ = platform::DocumentInteractionController::interactionControllerWithURL(file);
  interaction_->setDelegate(this);
  platform::View* anchor = host_ ? host_->openInMenuAnchor() : nullptr;
  if (anchor) interaction_->presentOpenInMenuFromRect(anchor->bounds(), anchor, true);
  // Without a place for the menu the file simply stays in the documents folder.
}

void WavExporter::realTimeRecAudioFileSaved(const std::string& path) {
  sendAudioFileSavedNofificationMessage(std::filesystem::path(path).filename().string(), kBannerTime);
}

void WavExporter::documentInteractionControllerDidDismissOpenInMenu(platform::DocumentInteractionController& c) {
  std::error_code ec;
  if (std::filesystem::exists(c.url(), ec)) std::filesystem::remove(c.url(), ec);
}

void WavExporter::alertDiskFull() { showAlert("Disk Space Warning", "There is not enough free space on the device."); }

void WavExporter::alertAudioRecWriteError() { showAlert("Write Error", "iGROOVEBIX failed to write audio data."); }

void WavExporter::alertBounceFailed() { showAlert(kBounceFailedTitle, kBounceFailedMessage); }
