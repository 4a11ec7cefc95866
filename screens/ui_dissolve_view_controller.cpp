#include "screens/ui_dissolve_view_controller.h"

#include <memory>

void UIDissolveViewController::openUp(float duration) {
  platform::View* v = view();
  v->setAlpha(0.0);
  platform::View::animate(static_cast<double>(duration), [v] { v->setAlpha(1.0); });
}

void UIDissolveViewController::dismiss(float duration) {
  platform::View* v = view();
  std::weak_ptr<platform::ViewController> weak = weak_from_this();
  platform::View::animate(static_cast<double>(duration), [v] { v->setAlpha(0.0); }, [weak](bool finished) {
    if (auto self = weak.lock()) static_cast<UIDissolveViewController*>(self.get())->transitionAnimDidStop(finished);
  });
}

void UIDissolveViewController::transitionAnimDidStop(bool finished) {
  if (finished && delegate_) delegate_->dissolveViewControllerDidDismiss(*this);
}
