#include "platform/ui/alert_view.h"

#include <algorithm>
#include <deque>

#include "platform/runloop/run_loop.h"
#include "platform/ui/application.h"
#include "platform/ui/window.h"

namespace platform {

namespace {

constexpr double kPanelWidth = 270.0;
constexpr double kButtonHeight = 44.0;

std::deque<std::shared_ptr<AlertView>>& queue() {
  static std::deque<std::shared_ptr<AlertView>> q;
  return q;
}

class AlertPanel : public View {
 public:
  explicit AlertPanel(const Rect& f) : View(f) { setDrawsContent(true); }
  void drawRect(const Rect&) override {
    GraphicsContext* c = currentGraphicsContext();
    c->setFillColor(Color::white(0.96));
    c->addPath(Path::roundedRect(bounds(), 13));
    c->fillPath();
  }
};

}  // namespace

AlertView::AlertView(std::string title, std::string message, AlertViewDelegate* delegate,
                     std::optional<std::string> cancelButtonTitle, std::vector<std::string> otherButtonTitles)
    : title_(std::move(title)), message_(std::move(message)), delegate_(delegate) {
  if (cancelButtonTitle) {
    buttons_.push_back(*cancelButtonTitle);
    cancelIndex_ = 0;
  }
  for (auto& t : otherButtonTitles) buttons_.push_back(std::move(t));
  setBackgroundColor(Color::black().withAlpha(0.4));
}

int AlertView::addButtonWithTitle(const std::string& title) {
  buttons_.push_back(title);
  return static_cast<int>(buttons_.size()) - 1;
}

std::string AlertView::buttonTitleAtIndex(int index) const {
  if (index < 0 || index >= numberOfButtons()) return {};
  return buttons_[static_cast<size_t>(index)];
}

int AlertView::firstOtherButtonIndex() const {
  for (int i = 0; i < numberOfButtons(); ++i)
    if (i != cancelIndex_) return i;
  return -1;
}

AlertView* AlertView::visibleAlert() {
  for (auto& a : queue())
    if (a->visible_) return a.get();
  return nullptr;
}

size_t AlertView::pendingAlertCount() { return queue().size(); }

void AlertView::show() {
  if (visible_ || queued_) return;
  queued_ = true;
  queue().push_back(std::static_pointer_cast<AlertView>(shared_from_this()));
  if (!visibleAlert() && queue().front().get() == this) present();
}

void AlertView::present() {
  Window* w = Application::sharedApplication().keyWindow();
  if (!w) return;
  setFrame(w->bounds());
  setAutoresizingMask(Autoresizing::FlexibleWidth | Autoresizing::FlexibleHeight);
  buildPanel();
  visible_ = true;
  w->addSubview(shared_from_this());
}

void AlertView::buildPanel() {
  if (panel_) panel_->removeFromSuperview();
  auto panel = std::make_shared<AlertPanel>(Rect(0, 0, kPanelWidth, 100));
  double y = 18;
  if (!title_.empty()) {
    auto t = std::make_shared<Label>(Rect(16, y, kPanelWidth - 32, 22));
    t->setText(title_);
    t->setFont(Font::boldSystemFont(17));
    t->setTextAlignment(TextAlignment::Center);
    t->setNumberOfLines(0);
    t->setLineBreakMode(LineBreakMode::WordWrap);
    const Size s = t->sizeThatFits({kPanelWidth - 32, 0});
    t->setFrame({16, y, kPanelWidth - 32, std::max(22.0, s.height)});
    panel->addSubview(t);
    y += t->frame().size.height + 4;
  }
  if (!message_.empty()) {
    auto m = std::make_shared<Label>(Rect(16, y, kPanelWidth - 32, 20));
    m->setText(message_);
    m->setFont(Font::systemFont(13));
    m->setTextAlignment(TextAlignment::Center);
    m->setNumberOfLines(0);
    m->setLineBreakMode(LineBreakMode::WordWrap);
    const Size s = m->sizeThatFits({kPanelWidth - 32, 0});
    m->setFrame({16, y, kPanelWidth - 32, std::max(20.0, s.height)});
    panel->addSubview(m);
    y += m->frame().size.height;
  }
  y += 16;
  const int n = numberOfButtons();
  const bool sideBySide = n == 2;
  const auto addButton = [&](int index, const Rect& f) {
    auto b = std::make_shared<Button>(Button::Type::System, f);
    b->setTitle(buttons_[static_cast<size_t>(index)], ControlState::Normal);
    b->titleLabel().setFont(index == cancelIndex_ ? Font::boldSystemFont(17) : Font::systemFont(17));
    b->setTag(index);
    std::weak_ptr<View> weak = weak_from_this();
    b->addTarget(this, "buttonTapped:", [weak, index](Control&) {
      if (auto self = std::static_pointer_cast<AlertView>(weak.lock())) self->dismissWithClickedButtonIndex(index, true);
    }, ControlEvents::TouchUpInside);
    panel->addSubview(b);
  };
  if (sideBySide) {
    addButton(0, {0, y, kPanelWidth / 2, kButtonHeight});
    addButton(1, {kPanelWidth / 2, y, kPanelWidth / 2, kButtonHeight});
    y += kButtonHeight;
  } else {
    for (int i = 0; i < n; ++i) {
      addButton(i, {0, y, kPanelWidth, kButtonHeight});
      y += kButtonHeight;
    }
  }
  panel->setFrame({0, 0, kPanelWidth, y});
  panel_ = panel;
  addSubview(panel);
  setNeedsLayout();
}

void AlertView::layoutSubviews() {
  if (panel_) panel_->setCenter({bounds().midX(), bounds().midY()});
}

void AlertView::dismissWithClickedButtonIndex(int index, bool) {
  if (!visible_) return;
  auto self = std::static_pointer_cast<AlertView>(shared_from_this());
  if (delegate_) delegate_->clickedButtonAtIndex(*this, index);
  if (delegate_) delegate_->willDismissWithButtonIndex(*this, index);
  visible_ = false;
  queued_ = false;
  removeFromSuperview();
  auto& q = queue();
  q.erase(std::remove(q.begin(), q.end(), self), q.end());
  if (delegate_) delegate_->didDismissWithButtonIndex(*this, index);
  // The next waiting alert shows after this one's handlers are done.
  if (!q.empty()) {
    std::weak_ptr<AlertView> next = q.front();
    RunLoop::main().perform([next] {
      if (auto a = next.lock(); a && !a->visible_ && !AlertView::visibleAlert()) a->present();
    });
  }
}

}  // namespace platform
