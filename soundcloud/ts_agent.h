#pragma once
// A task runner: an agent starts a list of tasks and polls them every
// 0.25 s on the main run loop, reporting each task's progress, each finished
// task and, at the end, that all are finished. The first poll happens at
// once, inside run().
//
// A finished task is reported as finished again on every poll until all
// tasks are. cancel() cancels every task and makes the next poll stop
// polling, reporting nothing. Every report is optional for the delegate (the
// base delegate's operations do nothing).
//
// Main thread only. The delegate is not owned; an agent destroyed while it
// polls stops its timer.

#include <memory>
#include <vector>

#include "platform/runloop/run_loop.h"

namespace tssc {

// The abstract task an agent runs; subclasses do the work.
class TSTask {
 public:
  virtual ~TSTask() = default;
  // Starts the work; the base does nothing.
  virtual void doTask() {}
  virtual void cancel() {}
  // Progress from 0 to 1; the base reports 1.
  virtual float informProgression() { return 1.0f; }
  virtual bool finished() const { return finished_; }

 protected:
  void setFinished(bool finished) { finished_ = finished; }

 private:
  bool finished_ = false;
};

class TSAgent;

class TSAgentDelegate {
 public:
  virtual ~TSAgentDelegate() = default;
  virtual void agentTaskProgressUpdated(TSAgent& agent, TSTask& task, float progress);
  virtual void agentTaskDidFinished(TSAgent& agent, TSTask& task);
  virtual void agentAllTasksDidFinished(TSAgent& agent);
};

class TSAgent {
 public:
  static constexpr double kPollInterval = 0.25;

  TSAgent() = default;
  explicit TSAgent(std::shared_ptr<TSTask> task) { tasks_.push_back(std::move(task)); }
  ~TSAgent();
  TSAgent(const TSAgent&) = delete;
  TSAgent& operator=(const TSAgent&) = delete;

  void addTask(std::shared_ptr<TSTask> task) { tasks_.push_back(std::move(task)); }
  const std::vector<std::shared_ptr<TSTask>>& tasks() const { return tasks_; }
  TSAgentDelegate* delegate() const { return delegate_; }
  void setDelegate(TSAgentDelegate* delegate) { delegate_ = delegate; }
  bool isRunning() const { return true; }
  bool tryToCancel() const { return tryToCancel_; }
  // Whether the poll timer is scheduled.
  bool isPolling() const { return timer_ && timer_->isValid(); }

  void run();
  void cancel();

 private:
  void timerFired(platform::Timer& timer);

  std::vector<std::shared_ptr<TSTask>> tasks_;
  TSAgentDelegate* delegate_ = nullptr;
  bool tryToCancel_ = false;
  std::shared_ptr<platform::Timer> timer_;
};

}  // namespace tssc
