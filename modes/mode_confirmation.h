#pragma once
// The question a clear or copy mode asks before it changes the pattern: a
// modal alert with an upper-case title, a message, "Cancel" and "OK". The
// answer comes back to the mode that asked, through the function it gave.
//
// A question still open when its mode is left (another function button, a
// pattern change that returns to the layer's base mode) is answered Cancel
// at that moment: an answer arriving later would act on a panel that
// belongs to another mode.
//
// Main thread only.

#include <functional>
#include <memory>
#include <string>

#include "platform/ui/alert_view.h"

class ModeConfirmation : public platform::AlertViewDelegate {
 public:
  // `ok` is true for OK, false for Cancel.
  using Answer = std::function<void(bool ok)>;

  ModeConfirmation() = default;
  ~ModeConfirmation() override;
  ModeConfirmation(const ModeConfirmation&) = delete;
  ModeConfirmation& operator=(const ModeConfirmation&) = delete;

  // Shows the alert; a question already open is answered Cancel first.
  void ask(const std::string& title, const std::string& message, Answer answer);
  // Whether a question is open (shown, or waiting behind another alert).
  bool isOpen() const { return alert_ != nullptr; }
  // The open alert, or nullptr.
  platform::AlertView* alert() const { return alert_.get(); }
  // Answers an open question Cancel and takes its alert away.
  void cancel();

  void didDismissWithButtonIndex(platform::AlertView& alert, int index) override;

 private:
  void finish(bool ok);

  std::shared_ptr<platform::AlertView> alert_;
  Answer answer_;
};
