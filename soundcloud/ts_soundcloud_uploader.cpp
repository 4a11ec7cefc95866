#include "soundcloud/ts_soundcloud_uploader.h"

#include <filesystem>

#include "soundcloud/ts_json.h"

namespace tssc {
namespace {

void removeFileAt(const std::optional<platform::URL>& url) {
  if (!url || !url->isFileURL()) return;
  std::error_code ec;
  std::filesystem::remove(url->filePath(), ec);
}

}  // namespace

std::shared_ptr<TSSoundCloudUploader> TSSoundCloudUploader::make(nxoauth2::NXOAuth2Parameters audioParameter,
                                                                 std::optional<nxoauth2::NXOAuth2Parameters> dataParameter,
                                                                 bool audioFileIsTemporary) {
  return std::shared_ptr<TSSoundCloudUploader>(
      new TSSoundCloudUploader(std::move(audioParameter), std::move(dataParameter), audioFileIsTemporary));
}

std::shared_ptr<TSSoundCloudUploader> TSSoundCloudUploader::makeFor(const SoundCloudInformationObject& information) {
  std::optional<nxoauth2::NXOAuth2Parameters> data;
  if (information.sharing && information.dataURL)
    data = nxoauth2::NXOAuth2Parameters{{"attachment[asset_data]", *information.dataURL}};
  return make(information.output(), std::move(data));
}

TSSoundCloudUploader::~TSSoundCloudUploader() {
  if (timer_) timer_->invalidate();
  if (connectionId_) connectionId_->cancel();
}

void TSSoundCloudUploader::upload() {
  if (delegate_) delegate_->soundCloudUploaderStartToUploadAudio(*this);
  connectionId_ = TSSoundCloudExecutor::postTrack(audioParam_, weak_from_this());
}

void TSSoundCloudUploader::cancel() {
  if (timer_) timer_->invalidate();
  timer_.reset();
  if (connectionId_) connectionId_->cancel();
  connectionId_.reset();
}

void TSSoundCloudUploader::soundCloudAPIDidFinishWithData(const platform::Data& data,
                                                          const platform::Dictionary& userInfo) {
  connectionId_.reset();
  auto it = userInfo.find(kTSName);
  const std::string name = it != userInfo.end() ? it->second.stringValue() : std::string();
  if (name == kTSPostTrack) {
    trackArrived(data);
  } else if (name == kTSPutTrack) {
    if (delegate_) delegate_->soundCloudUploaderUpdatedTrack(*this);
  } else {
    if (delegate_) delegate_->soundCloudUploaderUploadedData(*this);
  }
}

void TSSoundCloudUploader::trackArrived(const platform::Data& data) {
  const std::optional<platform::Value> json = tsParseJSON(data);
  const std::optional<int64_t> id = json ? tsInteger(*json, "id") : std::nullopt;
  if (!json || !json->isDictionary() || !id) {
    fail(platform::Error::make(TSSoundCloudErrorDomain, -1, "The service's reply could not be read."));
    return;
  }
  uploadedTrackLink_ = tsString(*json, "permalink_url").value_or("");
  const platform::Value* artwork = json->find("artwork_url");
  if (artwork && artwork->isNull()) {
    const platform::Value* user = json->find("user");
    uploadedTrackImage_ = user ? tsString(*user, "avatar_url").value_or("") : "";
  } else {
    uploadedTrackImage_ = tsString(*json, "artwork_url").value_or("");
  }
  uploadedTrackTitle_ = tsString(*json, "title").value_or("");
  uploadedTrackId_ = id;
  uploadedTrackUserId_ = tsInteger(*json, "user_id");

  std::shared_ptr<TSSoundCloudUploader> keep = shared_from_this();
  if (dataParam_) {
    const int64_t trackId = *id;
    std::weak_ptr<TSSoundCloudUploader> weak = keep;
    timer_ = platform::RunLoop::main().scheduleTimer(kAttachmentPause, false, [weak, trackId](platform::Timer&) {
      if (auto self = weak.lock()) self->postAttachment(trackId);
    });
    if (audioFileIsTemporary_)
      if (const auto* asset = audioParam_.find("track[asset_data]"); asset && asset->url()) removeFileAt(*asset->url());
    if (delegate_) delegate_->soundCloudUploaderUploadedAudio(*this);
    if (delegate_) delegate_->soundCloudUploaderStartToUploadData(*this);
  } else {
    if (delegate_) delegate_->soundCloudUploaderUploadedAudio(*this);
  }
}

void TSSoundCloudUploader::postAttachment(int64_t trackId) {
  if (timer_) timer_->invalidate();
  timer_.reset();
  connectionId_ = TSSoundCloudExecutor::postAttachment(*dataParam_, trackId, weak_from_this());
}

void TSSoundCloudUploader::fail(const platform::Error& error) {
  connectionId_.reset();
  if (delegate_) delegate_->soundCloudUploaderDidFailed(*this, error);
}

void TSSoundCloudUploader::soundCloudAPIDidFailWithError(const platform::Error& error, const platform::Dictionary&) {
  fail(error);
}

void TSSoundCloudUploader::soundCloudAPIDidSendBytes(uint64_t bytesSent, uint64_t bytesTotal,
                                                     const platform::Dictionary&) {
  if (!delegate_) return;
  const float status = bytesTotal == 0 ? 0.0f : static_cast<float>(bytesSent) / static_cast<float>(bytesTotal);
  delegate_->soundCloudUploaderDidSendBytes(*this, status);
}

void TSSoundCloudSharingHelper::removeAudioFile(const SoundCloudInformationObject& information) {
  removeFileAt(information.fileURL);
}

void TSSoundCloudSharingHelper::removeSongDataFile(const SoundCloudInformationObject& information) {
  removeFileAt(information.dataURL);
}

}  // namespace tssc
