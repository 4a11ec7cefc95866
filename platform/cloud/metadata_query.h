#pragma once
// A live query over the documents of the cloud container: every file whose
// name ends in a given suffix, sorted by content change date, oldest first
// (ties by name, so the order is the same on every scan).
//
// As on the platform, starting the query posts "did start gathering" and,
// once the first scan is in, "did finish gathering"; after that every scan
// that finds a different set of items (added, removed, renamed, resized,
// touched) posts "did update". Scans run on the run loop's thread: the first
// on the pass after startQuery(), then every updateInterval() seconds, or at
// once through update(). Each notification goes to the notification centre
// with the query (a MetadataQuery*) as its object.
//
// Loop thread only. A query that is destroyed stops; blocks it left on the
// loop then do nothing.

#include <memory>
#include <string>
#include <vector>

#include "platform/cloud/cloud_container.h"

namespace platform {

class NotificationCenter;
class RunLoop;

inline constexpr const char* kMetadataQueryDidStartGatheringNotification =
    "NSMetadataQueryDidStartGatheringNotification";
inline constexpr const char* kMetadataQueryDidFinishGatheringNotification =
    "NSMetadataQueryDidFinishGatheringNotification";
inline constexpr const char* kMetadataQueryDidUpdateNotification = "NSMetadataQueryDidUpdateNotification";

class MetadataQuery {
 public:
  MetadataQuery(std::shared_ptr<CloudContainer> container, std::string nameSuffix);
  MetadataQuery(std::shared_ptr<CloudContainer> container, std::string nameSuffix, NotificationCenter& center,
                RunLoop& loop);
  ~MetadataQuery();
  MetadataQuery(const MetadataQuery&) = delete;
  MetadataQuery& operator=(const MetadataQuery&) = delete;

  const std::string& nameSuffix() const;
  // Seconds between rescans once gathering is done (2 s unless set; set it
  // before starting).
  void setUpdateInterval(double seconds);
  double updateInterval() const;

  // False when already started.
  bool startQuery();
  void stopQuery();
  bool isStarted() const;
  bool isGathering() const;
  bool isStopped() const;

  // The items of the last scan.
  const std::vector<MetadataItem>& results() const;
  size_t resultCount() const { return results().size(); }

  // Rescans now (after gathering); posts "did update" when anything changed.
  void update();

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace platform
