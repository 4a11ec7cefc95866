#pragma once
// The notification centre and the notification queue.
//
// A notification has a name, an object (whatever the poster passes: a text,
// a sender) and a user-info dictionary. Observers register a block for a name
// (an empty name observes every notification) under an owner, so an owner can
// later remove all its observations, or those for one name. Posting calls the
// matching observers synchronously on the posting thread, in the order they
// registered; an observer removed while a post is under way is not called
// afterwards, one added meanwhile does not get the notification in flight.
//
// The queue holds notifications for later: "as soon as possible" posts at the
// end of the current pass of the run loop, that is after the event handler
// that enqueued it has returned; "when idle" posts after those, just before
// the loop waits; "now" posts at once. Notifications post in the order they
// were enqueued. The queue does not coalesce.
//
// Thread-safe: any thread may add, remove and post (observers then run on
// that thread); the queue is used from its run loop's thread.

#include <any>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/foundation/value.h"

namespace platform {

class RunLoop;

struct Notification {
  std::string name;
  std::any object;
  Dictionary userInfo;

  // The object as a T, or nullptr when it holds something else.
  template <typename T>
  const T* objectAs() const {
    return std::any_cast<T>(&object);
  }
  // A user-info entry; nullptr when absent.
  const Value* info(const std::string& key) const {
    auto it = userInfo.find(key);
    return it == userInfo.end() ? nullptr : &it->second;
  }
};

class NotificationCenter {
 public:
  using Observer = std::function<void(const Notification&)>;
  using Token = uint64_t;

  static NotificationCenter& defaultCenter();

  Token addObserver(const void* owner, const std::string& name, Observer observer);
  void removeObserver(Token token);
  // Every observation of `owner`.
  void removeObserver(const void* owner);
  // The observations of `owner` for `name`.
  void removeObserver(const void* owner, const std::string& name);

  void post(const Notification& notification);
  void post(const std::string& name, std::any object = {}, Dictionary userInfo = {});

  // How many observations would receive `name` (tests ask).
  size_t observerCount(const std::string& name) const;

 private:
  struct Entry {
    Token token;
    const void* owner;
    std::string name;
    std::shared_ptr<Observer> observer;
    std::shared_ptr<bool> alive;
  };
  mutable std::mutex mutex_;
  std::vector<Entry> entries_;
  Token nextToken_ = 1;
};

enum class PostingStyle { WhenIdle, ASAP, Now };

class NotificationQueue {
 public:
  // The main thread's queue, posting to the default centre.
  static NotificationQueue& defaultQueue();

  NotificationQueue(NotificationCenter& center, RunLoop& loop);
  ~NotificationQueue();
  NotificationQueue(const NotificationQueue&) = delete;
  NotificationQueue& operator=(const NotificationQueue&) = delete;

  void enqueue(Notification notification, PostingStyle style);
  // Drops queued notifications of that name.
  void dequeue(const std::string& name);
  size_t pendingCount() const { return asap_.size() + idle_.size(); }

 private:
  void flush();

  NotificationCenter& center_;
  RunLoop& loop_;
  int observerId_ = 0;
  std::vector<Notification> asap_;
  std::vector<Notification> idle_;
};

}  // namespace platform
