#pragma once
// A front-panel lamp: off, green or red, drawn by a sub-layer sized to the
// view. Unlike the buttons' image layer, the lamp's layer keeps its implicit
// animations, so a lamp change fades.
//
// LedMediator groups a row of lamps of which at most one is lit; the panel
// lights a lamp of a row by its index.
//
// Main thread only.

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/gfx/image.h"
#include "platform/ui/layer.h"
#include "platform/ui/view.h"

class TILedView : public platform::View {
 public:
  static constexpr int64_t kOff = 0;
  static constexpr int64_t kGreen = 1;
  static constexpr int64_t kRed = 2;

  explicit TILedView(const platform::Rect& frame = {});

  int64_t ledState() const { return ledState_; }
  // Any state other than green or red shows nothing.
  void setLedState(int64_t state);
  const platform::ImagePtr& greenImage() const { return greenImage_; }
  void setGreenImage(platform::ImagePtr image);
  const platform::ImagePtr& redImage() const { return redImage_; }
  void setRedImage(platform::ImagePtr image);
  const platform::LayerPtr& imageLayer() const { return imageLayer_; }

  void updateImage();
  void layoutSubviews() override;

 private:
  void myInit();

  int64_t ledState_ = kOff;
  platform::ImagePtr greenImage_;
  platform::ImagePtr redImage_;
  platform::LayerPtr imageLayer_;
};

class LedMediator {
 public:
  // No lamp lit yet.
  static constexpr uint64_t kNone = ~uint64_t{0};

  LedMediator() = default;

  void appendLed(std::shared_ptr<TILedView> led);
  // Lights lamp `index` in `color` and turns the others off. A repeat of the
  // lit index changes nothing, even with another colour; an index outside the
  // row (such as -1) turns every lamp off and is remembered as the lit one.
  void setLed(int32_t index, int64_t color);
  uint64_t lightOn() const { return lightOn_; }
  const std::vector<std::shared_ptr<TILedView>>& leds() const { return leds_; }

 private:
  std::vector<std::shared_ptr<TILedView>> leds_;
  uint64_t lightOn_ = kNone;
};
