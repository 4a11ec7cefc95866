#pragma once
// A group of image buttons under integer keys: at most one of them is
// selected (shown with the buttons' possibility state), and group-wide
// operations set their on/off state, dimming, forced-active look and the
// "ready" blinking on one shared blink clock of 0.46 s.
//
// The blink clock is a repeating timer on the main run loop; readying and
// cancelling hop to the main thread for the timer part, so a ready and a
// cancel in one turn of the loop run in order there and leave no timer. A
// second ready without a cancel replaces the running timer (it never leaves
// a second one ticking). The timer does not keep the group alive: a group
// that goes away stops its clock.
//
// Hold the group in a std::shared_ptr (the main-thread hops refer to it
// weakly). The buttons are shared with the views that show them.
//
// Main thread only (the ready calls may come from any thread).

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "controls/ti_button.h"
#include "platform/runloop/run_loop.h"

class RadioButtonMediator : public std::enable_shared_from_this<RadioButtonMediator> {
 public:
  static constexpr uint64_t kNone = ~uint64_t{0};
  static constexpr double kBlinkInterval = 0.46;

  RadioButtonMediator() = default;
  ~RadioButtonMediator();
  RadioButtonMediator(const RadioButtonMediator&) = delete;
  RadioButtonMediator& operator=(const RadioButtonMediator&) = delete;

  // ---- membership
  void appendButton(std::shared_ptr<TIButton> button, int64_t key);
  void removeButtonForKey(int64_t key);
  void removeButtonsForKeys(const std::vector<int64_t>& keys);
  std::shared_ptr<TIButton> button(int64_t key) const;
  const std::map<int64_t, std::shared_ptr<TIButton>>& buttons() const { return buttons_; }

  // ---- selection (possibility state)
  // Selects `key` (and deselects the rest). Selecting the selected key again
  // deselects everything when `switchEnabled`, else does nothing. A key
  // that is not in the group deselects everything.
  void setButtonSelected(int32_t key, bool switchEnabled);
  void deselectButton();
  uint64_t selected() const { return selected_; }

  // ---- on/off state
  void setButtonActive(int64_t key, bool enabled);
  bool isButtonActive(int64_t key) const;
  bool hasActiveButton() const;
  std::vector<std::shared_ptr<TIButton>> activeButtons() const;
  void setButtonActiveAll();
  void setButtonDeactiveAll();

  // ---- dimming
  void setButtonDimmed(int32_t key, bool dim);
  void setButtonDimmedByKey(int64_t key, bool dim);
  void setButtonsUndimmed();

  // ---- forced active
  void setForcedActive(int64_t key, bool forcedActive);
  bool isForcedActive(int64_t key) const;
  void clearForcedActiveAll();

  // ---- ready blinking
  void setButtonsReady();
  void setButtonsReadyCancel();
  // One button's blinking; the group's clock is not touched.
  void setButtonReady(int64_t key, bool enabled);
  // Starts the clock: one blink step at once, then one every 0.46 s.
  void setUpTimer();
  // One blink step of every button.
  void readyForAction();
  void stopTimer();
  // The running blink clock, or nullptr.
  std::shared_ptr<platform::Timer> timer() const;

 private:
  // Runs `f` on this group on the main loop's next pass, if it still exists.
  void onMain(void (RadioButtonMediator::*f)());

  std::map<int64_t, std::shared_ptr<TIButton>> buttons_;
  uint64_t selected_ = kNone;
  std::shared_ptr<platform::Timer> timer_;
};
