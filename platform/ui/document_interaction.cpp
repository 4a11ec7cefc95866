#include "platform/ui/document_interaction.h"

#include <cstdlib>

#include "platform/ui/application.h"
#include "platform/ui/button.h"
#include "platform/ui/window.h"

namespace fs = std::filesystem;

namespace platform {

namespace {

class MenuPanel : public View {
 public:
  using View::View;
  void drawRect(const Rect&) override {
    GraphicsContext* c = currentGraphicsContext();
    c->setShadow({0, 2}, 10, Color::black().withAlpha(0.35));
    c->setFillColor(Color::white(0.97));
    c->addPath(Path::roundedRect(bounds().insetBy(6, 6), 10));
    c->fillPath();
  }
  void enableDrawing() { setDrawsContent(true); }
};

// A touch outside the menu cancels it.
class MenuBackdrop : public View {
 public:
  MenuBackdrop(const Rect& f, std::weak_ptr<DocumentInteractionController> owner) : View(f), owner_(std::move(owner)) {}
  void touchesBegan(const TouchSet&, const Event*) override {
    if (auto o = owner_.lock()) o->selectItem(DocumentInteractionController::kCancel);
  }

 private:
  std::weak_ptr<DocumentInteractionController> owner_;
};

}  // namespace

std::shared_ptr<DocumentInteractionController> DocumentInteractionController::interactionControllerWithURL(
    const fs::path& file) {
  return std::make_shared<DocumentInteractionController>(file);
}

DocumentInteractionController::DocumentInteractionController(fs::path file) : file_(std::move(file)) {}

fs::path DocumentInteractionController::exportDirectory() {
  if (const char* d = std::getenv("IGB_EXPORT_DIR"); d && *d) return d;
  if (const char* d = std::getenv("XDG_DOWNLOAD_DIR"); d && *d) return d;
  if (const char* h = std::getenv("HOME"); h && *h) return fs::path(h) / "Downloads";
  return fs::temp_directory_path();
}

std::vector<std::string> DocumentInteractionController::menuItemTitles() const {
  return {"Save a Copy to " + exportDirectory().filename().string(), "Open with the Default Application", "Cancel"};
}

bool DocumentInteractionController::presentOpenInMenuFromRect(const Rect& rect, View* view, bool) {
  std::error_code ec;
  if (menu_ || !view || !view->window() || !fs::is_regular_file(file_, ec)) return false;
  Window* w = view->window();
  const Rect anchor = view->convertRectTo(rect, nullptr);
  auto backdrop = std::make_shared<MenuBackdrop>(w->bounds(), weak_from_this());
  const double width = 300, rowH = 40;
  const auto titles = menuItemTitles();
  const double height = rowH * static_cast<double>(titles.size()) + 12;
  const Rect wb = w->bounds();
  const double x = std::clamp(anchor.midX() - width / 2, 8.0, std::max(8.0, wb.size.width - width - 8));
  double y = anchor.maxY() + 4;
  if (y + height > wb.size.height - 8) y = std::max(8.0, anchor.minY() - height - 4);
  auto panel = std::make_shared<MenuPanel>(Rect(x, y, width, height));
  panel->enableDrawing();
  std::weak_ptr<DocumentInteractionController> weak = weak_from_this();
  for (size_t i = 0; i < titles.size(); ++i) {
    auto b = std::make_shared<Button>(Button::Type::System, Rect(6, 6 + rowH * static_cast<double>(i), width - 12, rowH));
    b->setTitle(titles[i], ControlState::Normal);
    b->setTag(static_cast<int64_t>(i));
    b->addTarget(this, "itemTapped:", [weak, i](Control&) {
      if (auto self = weak.lock()) self->selectItem(static_cast<int>(i));
    }, ControlEvents::TouchUpInside);
    panel->addSubview(b);
  }
  backdrop->addSubview(panel);
  w->addSubview(backdrop);
  menu_ = backdrop;
  return true;
}

bool DocumentInteractionController::copyOut() {
  std::error_code ec;
  const fs::path dir = exportDirectory();
  fs::create_directories(dir, ec);
  const std::string stem = file_.stem().string(), ext = file_.extension().string();
  fs::path target = dir / file_.filename();
  for (int n = 2; fs::exists(target, ec); ++n) target = dir / (stem + " " + std::to_string(n) + ext);
  if (!fs::copy_file(file_, target, ec)) return false;
  lastCopy_ = target;
  return true;
}

void DocumentInteractionController::selectItem(int item) {
  if (!menu_) return;
  auto keep = shared_from_this();
  if (item == kSaveCopy) {
    copyOut();
  } else if (item == kOpen) {
    // The opener gets a copy: the original may be gone once the menu closes.
    if (copyOut()) Application::sharedApplication().openURL("file://" + lastCopy_->string());
  }
  finish();
}

void DocumentInteractionController::dismissMenuAnimated(bool) { finish(); }

void DocumentInteractionController::finish() {
  if (!menu_) return;
  menu_->removeFromSuperview();
  menu_.reset();
  if (delegate_) delegate_->documentInteractionControllerDidDismissOpenInMenu(*this);
}

}  // namespace platform
