#pragma once
// The release-note screen: a white 500 × 600 page with a close button, a
// header line and a read-only body, whose texts its creator fills after
// presenting it. The close button shows the bundle's "icon_close.png"; when
// that file is missing it reads "Close", so the screen can always be closed.
//
// Main thread only.

#include <memory>

#include "platform/ui/button.h"
#include "platform/ui/label.h"
#include "platform/ui/view_controller.h"

class ReleaseNoteViewController : public platform::ViewController {
 public:
  static constexpr platform::Size kSize{500, 600};

  void loadView() override;
  void closeButtonPushed();
  bool shouldAutorotateToInterfaceOrientation(int) const { return true; }

  platform::Label* header() const { return header_.get(); }
  platform::Label* body() const { return body_.get(); }
  platform::Button* closeButton() const { return closeButton_.get(); }

 private:
  std::shared_ptr<platform::Label> header_;
  std::shared_ptr<platform::Label> body_;
  std::shared_ptr<platform::Button> closeButton_;
};
