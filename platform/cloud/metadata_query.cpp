#include "platform/cloud/metadata_query.h"

#include <algorithm>

#include "platform/notify/notification_center.h"
#include "platform/runloop/run_loop.h"

namespace platform {

struct MetadataQuery::State {
  MetadataQuery* owner = nullptr;
  std::shared_ptr<CloudContainer> container;
  std::string suffix;
  NotificationCenter* center = nullptr;
  RunLoop* loop = nullptr;
  double interval = 2.0;
  bool started = false;
  bool gathering = false;
  bool stopped = false;
  std::vector<MetadataItem> results;
  std::shared_ptr<Timer> timer;

  void post(const char* name) {
    if (owner) center->post(name, owner);
  }

  std::vector<MetadataItem> scan() const {
    std::vector<MetadataItem> items = container->documentItems(suffix);
    std::sort(items.begin(), items.end(), [](const MetadataItem& a, const MetadataItem& b) {
      if (a.contentChangeDate.secondsSince1970 != b.contentChangeDate.secondsSince1970)
        return a.contentChangeDate.secondsSince1970 < b.contentChangeDate.secondsSince1970;
      return a.url < b.url;
    });
    return items;
  }
};

MetadataQuery::MetadataQuery(std::shared_ptr<CloudContainer> container, std::string nameSuffix)
    : MetadataQuery(std::move(container), std::move(nameSuffix), NotificationCenter::defaultCenter(), RunLoop::main()) {}

MetadataQuery::MetadataQuery(std::shared_ptr<CloudContainer> container, std::string nameSuffix,
                             NotificationCenter& center, RunLoop& loop)
    : state_(std::make_shared<State>()) {
  state_->owner = this;
  state_->container = std::move(container);
  state_->suffix = std::move(nameSuffix);
  state_->center = &center;
  state_->loop = &loop;
}

MetadataQuery::~MetadataQuery() {
  stopQuery();
  state_->owner = nullptr;
}

const std::string& MetadataQuery::nameSuffix() const { return state_->suffix; }
void MetadataQuery::setUpdateInterval(double seconds) { state_->interval = std::max(0.001, seconds); }
double MetadataQuery::updateInterval() const { return state_->interval; }
bool MetadataQuery::isStarted() const { return state_->started; }
bool MetadataQuery::isGathering() const { return state_->gathering; }
bool MetadataQuery::isStopped() const { return state_->stopped; }
const std::vector<MetadataItem>& MetadataQuery::results() const { return state_->results; }

bool MetadataQuery::startQuery() {
  if (state_->started || !state_->container) return false;
  state_->started = true;
  state_->gathering = true;
  state_->stopped = false;
  state_->post(kMetadataQueryDidStartGatheringNotification);
  std::weak_ptr<State> weak = state_;
  state_->loop->perform([weak] {
    auto s = weak.lock();
    if (!s || s->stopped) return;
    s->results = s->scan();
    s->gathering = false;
    s->post(kMetadataQueryDidFinishGatheringNotification);
    s->timer = s->loop->scheduleTimer(s->interval, true, [weak](Timer&) {
      if (auto st = weak.lock(); st && st->owner) st->owner->update();
    });
  });
  return true;
}

void MetadataQuery::stopQuery() {
  if (!state_->started || state_->stopped) return;
  state_->stopped = true;
  state_->gathering = false;
  if (state_->timer) state_->timer->invalidate();
  state_->timer.reset();
}

void MetadataQuery::update() {
  if (!state_->started || state_->stopped || state_->gathering) return;
  std::vector<MetadataItem> items = state_->scan();
  if (items == state_->results) return;
  state_->results = std::move(items);
  state_->post(kMetadataQueryDidUpdateNotification);
}

}  // namespace platform
