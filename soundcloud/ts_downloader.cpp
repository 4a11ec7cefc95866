#include "soundcloud/ts_downloader.h"

#include <string>

#include "platform/runloop/run_loop.h"

namespace tssc {

std::shared_ptr<TSDownloader> TSDownloader::downloaderFromURL(const platform::URL& url, TSDownloaderDelegate* delegate,
                                                              platform::Dictionary context) {
  std::shared_ptr<TSDownloader> d(new TSDownloader(delegate, std::move(context)));
  d->me_ = d;
  d->running_ = true;
  d->connection_ = platform::URLConnection::make(platform::URLRequest(url), d.get());
  d->connection_->start();
  return d;
}

TSDownloader::~TSDownloader() {
  if (connection_) connection_->cancel();
}

void TSDownloader::cancel() {
  delegate_ = nullptr;
  if (connection_) connection_->cancel();
  end();
}

void TSDownloader::end() {
  running_ = false;
  connection_.reset();
  // Let go of itself after this pass: the delegate call under way still
  // needs the downloader.
  if (me_) platform::RunLoop::main().perform([me = std::move(me_)] {});
  me_.reset();
}

void TSDownloader::fail(const platform::Error& error) {
  if (connection_) connection_->cancel();
  TSDownloaderDelegate* d = delegate_;
  std::shared_ptr<TSDownloader> keep = shared_from_this();
  end();
  if (d) d->tsDownloaderDownloadFailed(*this, error);
}

void TSDownloader::didReceiveResponse(platform::URLConnection&, const platform::HTTPURLResponse& response) {
  if (response.statusCode >= 400) {
    // An error page is no picture; the caller must still hear that the
    // download is over, or it waits for it for good.
    fail(platform::Error::make(TSDownloaderErrorDomain, response.statusCode,
                               "HTTP Error: " + std::to_string(response.statusCode)));
    return;
  }
  if (response.expectedContentLength > static_cast<int64_t>(kMaxBodyBytes)) {
    fail(platform::Error::make(platform::kNSURLErrorDomain, platform::NSURLErrorDataLengthExceedsMaximum,
                               "The download is too large."));
    return;
  }
  downloadData_.clear();
  if (delegate_) delegate_->tsDownloaderDownloadStarted(*this);
}

void TSDownloader::didReceiveData(platform::URLConnection&, std::span<const uint8_t> data) {
  if (downloadData_.size() + data.size() > kMaxBodyBytes) {
    fail(platform::Error::make(platform::kNSURLErrorDomain, platform::NSURLErrorDataLengthExceedsMaximum,
                               "The download is too large."));
    return;
  }
  downloadData_.insert(downloadData_.end(), data.begin(), data.end());
}

void TSDownloader::didFinishLoading(platform::URLConnection&) {
  TSDownloaderDelegate* d = delegate_;
  std::shared_ptr<TSDownloader> keep = shared_from_this();
  end();
  if (d) d->tsDownloaderDownloadFinished(*this, downloadData_);
}

void TSDownloader::didFailWithError(platform::URLConnection&, const platform::Error& error) {
  TSDownloaderDelegate* d = delegate_;
  std::shared_ptr<TSDownloader> keep = shared_from_this();
  end();
  if (d) d->tsDownloaderDownloadFailed(*this, error);
}

}  // namespace tssc
