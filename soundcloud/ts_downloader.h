#pragma once
// The in-memory download of one URL (avatars, waveform images): the body is
// collected and handed to a delegate when it is complete.
//
// A started download keeps itself alive until it ends, so callers need not
// hold it. The delegate is not owned: an owner that goes away first calls
// cancel() (or setDelegate(nullptr)) on the downloads it started.
//
// Every download ends with exactly one delegate call after it started:
// finished with the body, or failed with an error, which includes an HTTP
// status of 400 or more ("TSDownloaderErrorDomain", code = status) and a
// body larger than kMaxBodyBytes (NSURLErrorDataLengthExceedsMaximum).
// A cancelled download reports nothing.
//
// Main thread only.

#include <cstdint>
#include <memory>
#include <span>

#include "platform/foundation/value.h"
#include "platform/net/error.h"
#include "platform/net/url.h"
#include "platform/net/url_connection.h"

namespace tssc {

inline constexpr const char* TSDownloaderErrorDomain = "TSDownloaderErrorDomain";

class TSDownloader;

class TSDownloaderDelegate {
 public:
  virtual ~TSDownloaderDelegate() = default;
  // The response was accepted; the body is coming.
  virtual void tsDownloaderDownloadStarted(TSDownloader& downloader) = 0;
  virtual void tsDownloaderDownloadFinished(TSDownloader& downloader, const platform::Data& data) = 0;
  virtual void tsDownloaderDownloadFailed(TSDownloader& downloader, const platform::Error& error) = 0;
};

class TSDownloader : public platform::URLConnectionDelegate, public std::enable_shared_from_this<TSDownloader> {
 public:
  // Pictures are small; anything bigger is not one.
  static constexpr size_t kMaxBodyBytes = 4 * 1024 * 1024;

  // Starts a plain GET of `url`. A URL that cannot load fails on the next
  // pass of the run loop, through the delegate, like any other failure.
  static std::shared_ptr<TSDownloader> downloaderFromURL(const platform::URL& url, TSDownloaderDelegate* delegate,
                                                         platform::Dictionary context);
  ~TSDownloader() override;

  const platform::Dictionary& context() const { return context_; }
  TSDownloaderDelegate* delegate() const { return delegate_; }
  void setDelegate(TSDownloaderDelegate* delegate) { delegate_ = delegate; }
  const platform::Data& downloadData() const { return downloadData_; }
  bool isLoading() const { return running_; }
  // Stops the download; the delegate hears nothing more.
  void cancel();

 private:
  TSDownloader(TSDownloaderDelegate* delegate, platform::Dictionary context)
      : context_(std::move(context)), delegate_(delegate) {}
  void fail(const platform::Error& error);
  void end();

  void didReceiveResponse(platform::URLConnection& connection, const platform::HTTPURLResponse& response) override;
  void didReceiveData(platform::URLConnection& connection, std::span<const uint8_t> data) override;
  void didFinishLoading(platform::URLConnection& connection) override;
  void didFailWithError(platform::URLConnection& connection, const platform::Error& error) override;

  platform::Dictionary context_;
  TSDownloaderDelegate* delegate_;
  platform::Data downloadData_;
  std::shared_ptr<platform::URLConnection> connection_;
  std::shared_ptr<TSDownloader> me_;
  bool running_ = false;
};

}  // namespace tssc
