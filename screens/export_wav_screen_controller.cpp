#include "screens/export_wav_screen_controller.h"

ExportWavScreenController::ExportWavScreenController(std::weak_ptr<ExportWavScreenParent> parent)
    : parent_(std::move(parent)) {
  setTitle("Export");
}

ExportWavScreenController::~ExportWavScreenController() = default;

void ExportWavScreenController::viewDidLoad() {
  ViewController::viewDidLoad();
  baseView_ = std::make_shared<platform::View>(view()->bounds());
  view()->addSubview(baseView_);
  titleLabel_ = std::make_shared<platform::Label>();
  // The font name carries a trailing blank; the platform looks it up without it.
  titleLabel_->setFont(platform::Font::named("HelveticaNeue-Medium ", 17));
  titleLabel_->setText("Export Audio File");
  baseView_->addSubview(titleLabel_);
  auto button = std::make_shared<platform::Button>(platform::Button::Type::Custom);
  button->layer().setBorderWidth(0);
  button->layer().setCornerRadius(10);
  button->setBackgroundColor(platform::Color::white(1.0, 0.3));
  button->setTitleColor(platform::Color::white(0.0, 0.8), platform::ControlState::Normal);
  button->setTitleColor(platform::Color::white(0.0, 0.4), platform::ControlState::Highlighted);
  button->addTarget(this, "bouncePatternButtonPushed:", [this](platform::Control&) { bouncePatternButtonPushed(); },
                    platform::ControlEvents::TouchUpInside);
  button->setTitle("Bounce Pattern", platform::ControlState::Normal);
  baseView_->addSubview(button);
  bounceButton_ = std::move(button);
}

platform::Rect ExportWavScreenController::safeAreaBounds() {
  const platform::Rect b = view()->bounds();
  const platform::EdgeInsets in = view()->safeAreaInsets();
  return {b.origin.x + in.left, b.origin.y + in.top, b.size.width - (in.left + in.right),
          b.size.height - (in.top + in.bottom)};
}

void ExportWavScreenController::viewWillLayoutSubviews() {
  ViewController::viewWillLayoutSubviews();
  if (!baseView_) return;
  baseView_->setFrame(safeAreaBounds());
  const platform::Rect base = baseView_->bounds();
  const double x = base.minX() + 20;
  titleLabel_->setFrame({x, 20, base.maxX() - 20 - x, 20});
  const platform::Rect t = titleLabel_->frame();
  bounceButton_->setFrame({20, t.maxY() + 10, t.size.width, 40});
}

void ExportWavScreenController::bouncePatternButtonPushed() {
  if (std::shared_ptr<ExportWavScreenParent> p = parent_.lock()) p->bounceCurrentPattern();
}
