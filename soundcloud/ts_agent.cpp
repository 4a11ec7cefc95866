#include "soundcloud/ts_agent.h"

namespace tssc {

void TSAgentDelegate::agentTaskProgressUpdated(TSAgent&, TSTask&, float) {}
void TSAgentDelegate::agentTaskDidFinished(TSAgent&, TSTask&) {}
void TSAgentDelegate::agentAllTasksDidFinished(TSAgent&) {}

TSAgent::~TSAgent() {
  if (timer_) timer_->invalidate();
}

void TSAgent::run() {
  // Copies: a task may add to the list while it starts.
  const std::vector<std::shared_ptr<TSTask>> tasks = tasks_;
  for (const auto& t : tasks) t->doTask();
  // A second run replaces the earlier poll instead of polling twice.
  if (timer_) timer_->invalidate();
  timer_ = platform::RunLoop::main().scheduleTimer(kPollInterval, true,
                                                   [this](platform::Timer& t) { timerFired(t); });
  std::shared_ptr<platform::Timer> first = timer_;
  first->fire();
  tryToCancel_ = false;
}

void TSAgent::cancel() {
  const std::vector<std::shared_ptr<TSTask>> tasks = tasks_;
  for (const auto& t : tasks) t->cancel();
  tryToCancel_ = true;
}

void TSAgent::timerFired(platform::Timer& timer) {
  if (tryToCancel_) {
    timer.invalidate();
    tryToCancel_ = false;
    return;
  }
  bool all = true;
  const std::vector<std::shared_ptr<TSTask>> tasks = tasks_;
  for (const auto& t : tasks) {
    const float progress = t->informProgression();
    if (delegate_) delegate_->agentTaskProgressUpdated(*this, *t, progress);
    if (t->finished()) {
      if (delegate_) delegate_->agentTaskDidFinished(*this, *t);
    } else {
      all = false;
    }
  }
  if (all) {
    // Stopped before the report, which may let the agent go.
    timer.invalidate();
    if (delegate_) delegate_->agentAllTasksDidFinished(*this);
  }
}

}  // namespace tssc
