#include "platform/notify/notification_center.h"

#include <algorithm>

#include "platform/runloop/run_loop.h"

namespace platform {

namespace {
// The queue posts before the interface lays out and draws at the end of a pass.
constexpr int kQueuePassOrder = -100;
}  // namespace

NotificationCenter& NotificationCenter::defaultCenter() {
  // Never destroyed: objects that other statics own (the application's
  // delegate and its controllers) remove themselves in their destructors,
  // which may run at exit after this would have been destroyed.
  static NotificationCenter* const center = new NotificationCenter;
  return *center;
}

NotificationCenter::Token NotificationCenter::addObserver(const void* owner, const std::string& name,
                                                          Observer observer) {
  std::lock_guard<std::mutex> lock(mutex_);
  const Token token = nextToken_++;
  entries_.push_back(
      {token, owner, name, std::make_shared<Observer>(std::move(observer)), std::make_shared<bool>(true)});
  return token;
}

void NotificationCenter::removeObserver(Token token) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::erase_if(entries_, [token](const Entry& e) {
    if (e.token != token) return false;
    *e.alive = false;
    return true;
  });
}

void NotificationCenter::removeObserver(const void* owner) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::erase_if(entries_, [owner](const Entry& e) {
    if (e.owner != owner) return false;
    *e.alive = false;
    return true;
  });
}

void NotificationCenter::removeObserver(const void* owner, const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::erase_if(entries_, [&](const Entry& e) {
    if (e.owner != owner || e.name != name) return false;
    *e.alive = false;
    return true;
  });
}

void NotificationCenter::post(const Notification& n) {
  std::vector<Entry> matching;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const Entry& e : entries_)
      if (e.name.empty() || e.name == n.name) matching.push_back(e);
  }
  for (const Entry& e : matching) {
    // Removed by an earlier observer of this post: no longer called.
    bool alive;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      alive = *e.alive;
    }
    if (alive) (*e.observer)(n);
  }
}

void NotificationCenter::post(const std::string& name, std::any object, Dictionary userInfo) {
  post(Notification{name, std::move(object), std::move(userInfo)});
}

size_t NotificationCenter::observerCount(const std::string& name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<size_t>(
      std::count_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.name.empty() || e.name == name; }));
}

NotificationQueue& NotificationQueue::defaultQueue() {
  // Never destroyed, for the same reason as the default centre.
  static NotificationQueue* const queue = new NotificationQueue(NotificationCenter::defaultCenter(), RunLoop::main());
  return *queue;
}

NotificationQueue::NotificationQueue(NotificationCenter& center, RunLoop& loop) : center_(center), loop_(loop) {
  observerId_ = loop_.addPassObserver([this] { flush(); }, kQueuePassOrder);
}

NotificationQueue::~NotificationQueue() { loop_.removePassObserver(observerId_); }

void NotificationQueue::enqueue(Notification n, PostingStyle style) {
  switch (style) {
    case PostingStyle::Now: center_.post(n); break;
    case PostingStyle::ASAP:
      asap_.push_back(std::move(n));
      loop_.wakeUp();
      break;
    case PostingStyle::WhenIdle: idle_.push_back(std::move(n)); break;
  }
}

void NotificationQueue::dequeue(const std::string& name) {
  std::erase_if(asap_, [&](const Notification& n) { return n.name == name; });
  std::erase_if(idle_, [&](const Notification& n) { return n.name == name; });
}

void NotificationQueue::flush() {
  // Those enqueued by an observer of this flush wait for the next pass.
  std::vector<Notification> asap;
  asap.swap(asap_);
  for (const Notification& n : asap) center_.post(n);
  std::vector<Notification> idle;
  idle.swap(idle_);
  for (const Notification& n : idle) center_.post(n);
}

}  // namespace platform
