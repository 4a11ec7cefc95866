#pragma once
// The upload of one bounced pattern: first the audio as a new track
// ("tracks.json" with the information record's parameters), then, when the
// user shares the pattern data too, 0.3 s later the data file as the new
// track's attachment. Each stage, the send progress (0 to 1 per request)
// and the result go to the delegate; the service's answer about the new
// track (link, image, title, ids) stays here for the sharing screen.
//
// Delegate order: start-audio, progress..., uploaded-audio, and with data
// start-data, progress..., uploaded-data; or failed, which ends the upload.
// A reply that is not a track record (not JSON, no "id") is a failure
// ("TSSoundCloudErrorDomain" -1): without the id there is nothing to
// attach to or link.
//
// The audio file is the user's own (a bounced WAV in the documents folder)
// and stays; only a temporary copy made for this upload (the constructor's
// flag) is deleted once the track exists. cancel() stops the running
// request and also the pending attachment during the 0.3 s pause.
//
// Main thread. Made shared (requests hold it weakly); the delegate is not
// owned.

#include <memory>
#include <optional>
#include <string>

#include "oauth2/nxoauth2_parameters.h"
#include "platform/runloop/run_loop.h"
#include "soundcloud/soundcloud_information_object.h"
#include "soundcloud/ts_soundcloud_executor.h"

namespace tssc {

inline constexpr const char* TSSoundCloudErrorDomain = "TSSoundCloudErrorDomain";

class TSSoundCloudUploader;

class SoundCloudUploaderDelegate {
 public:
  virtual ~SoundCloudUploaderDelegate() = default;
  virtual void soundCloudUploaderStartToUploadAudio(TSSoundCloudUploader& uploader) = 0;
  virtual void soundCloudUploaderUploadedAudio(TSSoundCloudUploader& uploader) = 0;
  virtual void soundCloudUploaderStartToUploadData(TSSoundCloudUploader& uploader) = 0;
  virtual void soundCloudUploaderUploadedData(TSSoundCloudUploader& uploader) = 0;
  virtual void soundCloudUploaderDidSendBytes(TSSoundCloudUploader& uploader, float status) = 0;
  virtual void soundCloudUploaderDidFailed(TSSoundCloudUploader& uploader, const platform::Error& error) = 0;
  virtual void soundCloudUploaderUpdatedTrack(TSSoundCloudUploader& uploader) = 0;
};

class TSSoundCloudUploader : public TSSoundCloudAPIConnectionDelegate,
                             public std::enable_shared_from_this<TSSoundCloudUploader> {
 public:
  static constexpr double kAttachmentPause = 0.3;

  static std::shared_ptr<TSSoundCloudUploader> make(nxoauth2::NXOAuth2Parameters audioParameter,
                                                    std::optional<nxoauth2::NXOAuth2Parameters> dataParameter,
                                                    bool audioFileIsTemporary = false);
  // The upload of a track's information: its form parameters, and its
  // picture as the attachment when the track is shared and has one.
  static std::shared_ptr<TSSoundCloudUploader> makeFor(const SoundCloudInformationObject& information);
  ~TSSoundCloudUploader() override;

  void upload();
  void cancel();
  bool hasDataParam() const { return dataParam_.has_value(); }

  SoundCloudUploaderDelegate* delegate() const { return delegate_; }
  void setDelegate(SoundCloudUploaderDelegate* delegate) { delegate_ = delegate; }
  const TSRequestHandle& connectionId() const { return connectionId_; }
  // Whether the attachment is waiting for its pause to end.
  bool isPausing() const { return timer_ && timer_->isValid(); }

  const std::string& uploadedTrackLink() const { return uploadedTrackLink_; }
  const std::string& uploadedTrackImage() const { return uploadedTrackImage_; }
  const std::string& uploadedTrackTitle() const { return uploadedTrackTitle_; }
  std::optional<int64_t> uploadedTrackId() const { return uploadedTrackId_; }
  std::optional<int64_t> uploadedTrackUserId() const { return uploadedTrackUserId_; }
  const nxoauth2::NXOAuth2Parameters& audioParam() const { return audioParam_; }
  const std::optional<nxoauth2::NXOAuth2Parameters>& dataParam() const { return dataParam_; }

  // TSSoundCloudAPIConnectionDelegate
  void soundCloudAPIDidFinishWithData(const platform::Data& data, const platform::Dictionary& userInfo) override;
  void soundCloudAPIDidFailWithError(const platform::Error& error, const platform::Dictionary& userInfo) override;
  void soundCloudAPIDidSendBytes(uint64_t bytesSent, uint64_t bytesTotal, const platform::Dictionary& userInfo) override;

 private:
  TSSoundCloudUploader(nxoauth2::NXOAuth2Parameters audio, std::optional<nxoauth2::NXOAuth2Parameters> data,
                       bool temporary)
      : audioParam_(std::move(audio)), dataParam_(std::move(data)), audioFileIsTemporary_(temporary) {}
  void trackArrived(const platform::Data& data);
  void postAttachment(int64_t trackId);
  void fail(const platform::Error& error);

  TSRequestHandle connectionId_;
  SoundCloudUploaderDelegate* delegate_ = nullptr;
  std::string uploadedTrackLink_;
  std::string uploadedTrackImage_;
  std::string uploadedTrackTitle_;
  std::optional<int64_t> uploadedTrackId_;
  std::optional<int64_t> uploadedTrackUserId_;
  nxoauth2::NXOAuth2Parameters audioParam_;
  std::optional<nxoauth2::NXOAuth2Parameters> dataParam_;
  bool audioFileIsTemporary_;
  std::shared_ptr<platform::Timer> timer_;
};

// Deletes the temporary upload files of an information record.
class TSSoundCloudSharingHelper {
 public:
  static void removeAudioFile(const SoundCloudInformationObject& information);
  static void removeSongDataFile(const SoundCloudInformationObject& information);
};

}  // namespace tssc
