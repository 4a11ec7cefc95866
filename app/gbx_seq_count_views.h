#pragma once
// The Link count-in overlay and the Link beat counter.
//
// Link time counts in ticks of 1/24 beat. While the sequencer counts in to
// the next Link quantum boundary, the overlay shows the beats still to go as
// a large number over a ring that fills once per beat ("beat": the count-in
// length in ticks; "count": the current count-in tick, negative, rising to
// -1 on the last tick). The beat counter is a small disc shown while Link
// sync is on: a wedge grows with the position in the quantum, and the disc
// blinks while no peer is connected. Both ignore touches. Main thread only.

#include <cstdint>
#include <memory>

#include "platform/ui/view.h"

namespace platform {
class Label;
}

// The count-in ring.
class GBXCountDownIndicator : public platform::View {
 public:
  explicit GBXCountDownIndicator(const platform::Rect& frame = {});
  // Ticks still to go, and ticks per turn of the ring (below 1: nothing drawn).
  int32_t progress() const { return progress_; }
  void setProgress(int32_t p) { progress_ = p; }
  int32_t unit() const { return unit_; }
  void setUnit(int32_t u) { unit_ = u; }
  // The fraction of the current beat already gone (1 at a beat boundary).
  double fraction() const;
  void draw(platform::GraphicsContext& c);
  void drawRect(const platform::Rect& rect) override;

 private:
  int32_t progress_ = 0;
  int32_t unit_ = 0;
};

class GBXSeqPreCountView : public platform::View {
 public:
  explicit GBXSeqPreCountView(const platform::Rect& frame = {});

  void setBeat(int32_t beat);
  void setCount(int32_t count);
  // Cleared at once, without animation.
  void stop();
  void updateLabel(bool startingAgain);
  void setLabel(int64_t n);
  void hideIndicatorAnimated();

  int32_t beat() const { return beat_; }
  int32_t count() const { return count_; }
  platform::Label* countLabel() const { return countLabel_.get(); }
  GBXCountDownIndicator* indicator() const { return indicator_.get(); }
  bool labelVisible() const { return labelVisible_; }
  void setLabelVisible(bool v) { labelVisible_ = v; }

 private:
  std::shared_ptr<platform::Label> countLabel_;
  std::shared_ptr<GBXCountDownIndicator> indicator_;
  bool labelVisible_ = false;
  int32_t beat_ = 0;
  int32_t count_ = 0;
};

class GBXSeqCountViewIndicator : public platform::View {
 public:
  explicit GBXSeqCountViewIndicator(const platform::Rect& frame = {});

  void setProgress(float p);
  void setEnabled(bool e);
  void setConnected(bool c);
  void updateProgress();
  void stopAnimation();
  void resetAnimation();
  void draw(platform::GraphicsContext& c);
  void drawRect(const platform::Rect& rect) override;

  float progress() const { return progress_; }
  bool enabled() const { return enabled_; }
  bool connected() const { return connected_; }
  // What is drawn: the progress while connected, 0 while not.
  float value() const { return value_; }
  void setValue(float v) { value_ = v; }

 private:
  float progress_ = 0.0f;
  bool enabled_ = true;
  bool connected_ = true;
  float value_ = 0.0f;
};

class GBXSeqCountView : public platform::View {
 public:
  explicit GBXSeqCountView(const platform::Rect& frame = {});

  void setProgress(float p);
  void setConnected(bool c);
  void setEnabled(bool e);
  void resetAnimation();

  float progress() const { return progress_; }
  bool connected() const { return connected_; }
  bool enabled() const { return enabled_; }
  GBXSeqCountViewIndicator* indicator() const { return indicator_.get(); }
  void setIndicator(std::shared_ptr<GBXSeqCountViewIndicator> i) { indicator_ = std::move(i); }

 private:
  std::shared_ptr<GBXSeqCountViewIndicator> indicator_;
  float progress_ = 0.0f;
  bool connected_ = false;
  bool enabled_ = false;
};
