#include "platform/ui/headless/headless_backend.h"

#include <cmath>
#include <sstream>
#include <typeinfo>

#include <cxxabi.h>

#include "platform/gfx/image.h"
#include "platform/ui/alert_view.h"
#include "platform/ui/screen.h"

namespace platform {

namespace {

std::string className(const View& v) {
  int status = 0;
  char* name = abi::__cxa_demangle(typeid(v).name(), nullptr, nullptr, &status);
  std::string out = status == 0 && name ? name : typeid(v).name();
  std::free(name);
  return out;
}

void collect(View& v, const std::function<bool(View&)>& match, std::vector<View*>& out) {
  if (match(v)) out.push_back(&v);
  for (const auto& s : v.subviews()) collect(*s, match, out);
}

void dump(const View& v, int depth, std::ostringstream& os) {
  const Rect f = v.frame();
  os << std::string(static_cast<size_t>(depth) * 2, ' ') << className(v) << " " << toString(f);
  if (v.tag() != 0) os << " tag=" << v.tag();
  if (v.isHidden()) os << " hidden";
  if (v.alpha() != 1.0) os << " alpha=" << v.alpha();
  os << "\n";
  for (const auto& s : v.subviews()) dump(*s, depth + 1, os);
}

}  // namespace

HeadlessBackend::HeadlessBackend(Size screenSize, double scale) : clock_(std::make_shared<VirtualClock>()) {
  RunLoop& loop = RunLoop::main();
  loop.reset();
  loop.bindToCurrentThread();
  loop.setClock(clock_);
  Screen::mainScreen().configure(screenSize, scale);
  Application& app = Application::sharedApplication();
  app.reset();
  app.setBackend(this);
  // Lay out and draw at the end of each pass, as the display would.
  passObserver_ = loop.addPassObserver([this] {
    if (Window* w = window()) {
      if (compositor_)
        compositor_->update(*w, now());
      else
        w->layoutAndDisplay();
    }
  }, 100);
}

HeadlessBackend::~HeadlessBackend() {
  if (Window* w = window()) w->cancelAllTouches(now());
  RunLoop& loop = RunLoop::main();
  loop.removePassObserver(passObserver_);
  if (window_) window_->setRootViewController(nullptr);
  window_.reset();
  Application::sharedApplication().reset();
  loop.reset();
  loop.setClock(nullptr);
}

void HeadlessBackend::advance(double seconds) { RunLoop::main().advanceBy(seconds); }

void HeadlessBackend::runPass() { RunLoop::main().drain(); }

std::shared_ptr<Window> HeadlessBackend::makeWindow() {
  window_ = std::make_shared<Window>(Screen::mainScreen().bounds());
  window_->makeKeyAndVisible();
  return window_;
}

Window* HeadlessBackend::window() const {
  if (Window* key = Application::sharedApplication().keyWindow()) return key;
  return window_.get();
}

bool HeadlessBackend::launch(std::shared_ptr<ApplicationDelegate> delegate, const Dictionary& options) {
  Application& app = Application::sharedApplication();
  app.setDelegate(delegate);
  const bool ok = app.launch(options);
  if (delegate && delegate->window) window_ = delegate->window;
  runPass();
  return ok;
}

void HeadlessBackend::enterBackground() {
  if (Window* w = window()) w->cancelAllTouches(now());
  Application::sharedApplication().enterBackground();
  runPass();
}

void HeadlessBackend::enterForeground() {
  Application::sharedApplication().enterForeground();
  runPass();
}

void HeadlessBackend::terminate() {
  enterBackground();
  Application::sharedApplication().terminate();
  runPass();
}

void HeadlessBackend::send(Point p, TouchPhase phase, int64_t id, double stamp) {
  Window* w = window();
  if (!w) return;
  w->sendTouches({{id, p, phase}}, stamp);
  runPass();
}

void HeadlessBackend::touchDown(Point p, int64_t id) {
  if (spacing_ > 0) advance(spacing_);
  send(p, TouchPhase::Began, id, now());
}
void HeadlessBackend::touchMove(Point p, int64_t id) {
  if (spacing_ > 0) advance(spacing_);
  send(p, TouchPhase::Moved, id, now());
}
void HeadlessBackend::touchUp(Point p, int64_t id) {
  if (spacing_ > 0) advance(spacing_);
  send(p, TouchPhase::Ended, id, now());
}
void HeadlessBackend::touchCancel(int64_t id) {
  Window* w = window();
  if (!w) return;
  w->sendTouches({{id, {0, 0}, TouchPhase::Cancelled}}, now());
  runPass();
}

void HeadlessBackend::tap(Point p, double hold, int64_t id) {
  send(p, TouchPhase::Began, id, now());
  advance(hold);
  send(p, TouchPhase::Ended, id, now());
}

void HeadlessBackend::drag(Point from, Point to, double seconds, int steps, int64_t id) {
  steps = std::max(1, steps);
  send(from, TouchPhase::Began, id, now());
  for (int i = 1; i <= steps; ++i) {
    advance(seconds / steps);
    const double f = static_cast<double>(i) / steps;
    send({from.x + (to.x - from.x) * f, from.y + (to.y - from.y) * f}, TouchPhase::Moved, id, now());
  }
  send(to, TouchPhase::Ended, id, now());
}

void HeadlessBackend::typeText(const std::string& utf8) {
  if (Window* w = window()) w->insertText(utf8);
  runPass();
}
void HeadlessBackend::pressReturn() {
  if (Window* w = window()) w->returnKey();
  runPass();
}
void HeadlessBackend::pressBackspace() {
  if (Window* w = window()) w->deleteBackward();
  runPass();
}

bool HeadlessBackend::alertVisible() const { return AlertView::visibleAlert() != nullptr; }
std::string HeadlessBackend::alertTitle() const {
  AlertView* a = AlertView::visibleAlert();
  return a ? a->title() : std::string();
}
std::string HeadlessBackend::alertMessage() const {
  AlertView* a = AlertView::visibleAlert();
  return a ? a->message() : std::string();
}
std::vector<std::string> HeadlessBackend::alertButtons() const {
  std::vector<std::string> out;
  if (AlertView* a = AlertView::visibleAlert())
    for (int i = 0; i < a->numberOfButtons(); ++i) out.push_back(a->buttonTitleAtIndex(i));
  return out;
}
bool HeadlessBackend::answerAlert(int buttonIndex) {
  AlertView* a = AlertView::visibleAlert();
  if (!a || buttonIndex < 0 || buttonIndex >= a->numberOfButtons()) return false;
  a->dismissWithClickedButtonIndex(buttonIndex, false);
  runPass();
  return true;
}

ImagePtr HeadlessBackend::render() {
  Window* w = window();
  return w ? w->snapshot(now()) : nullptr;
}

bool HeadlessBackend::renderToPNG(const std::filesystem::path& path) {
  ImagePtr img = render();
  return img && img->writePNG(path);
}

ImagePtr HeadlessBackend::renderView(View& view) {
  if (Window* w = window()) w->layoutAndDisplay();
  view.layoutIfNeeded();
  view.layer().displayTree();
  const double scale = Screen::mainScreen().scale();
  const Rect b = view.bounds();
  auto image = Image::create(static_cast<int>(std::lround(b.size.width * scale)),
                             static_cast<int>(std::lround(b.size.height * scale)), scale);
  if (!image) return nullptr;
  cairo_t* cr = cairo_create(image->surface());
  cairo_scale(cr, scale, scale);
  // Undo the view's own placement so that its bounds fill the image (Cairo
  // applies the last call first: placement, then its undoing, then the
  // bounds origin).
  cairo_translate(cr, -b.origin.x, -b.origin.y);
  const AffineTransform undo = view.layer().transformToSuperlayer().inverted();
  cairo_matrix_t m;
  cairo_matrix_init(&m, undo.a, undo.b, undo.c, undo.d, undo.tx, undo.ty);
  cairo_transform(cr, &m);
  view.layer().render(cr, now(), scale);
  cairo_destroy(cr);
  cairo_surface_flush(image->surface());
  return image;
}

Compositor& HeadlessBackend::startPresenting() {
  if (!compositor_) compositor_ = std::make_unique<Compositor>(Screen::mainScreen().scale());
  return *compositor_;
}

std::vector<View*> HeadlessBackend::findViews(const std::function<bool(View&)>& match) const {
  std::vector<View*> out;
  if (Window* w = window()) collect(*w, match, out);
  return out;
}

std::string HeadlessBackend::dumpTree() const {
  std::ostringstream os;
  if (Window* w = window()) dump(*w, 0, os);
  return os.str();
}

bool HeadlessBackend::openURL(const std::string& url) {
  if (!canOpenURL(url)) return false;
  opened_.push_back(url);
  return true;
}

}  // namespace platform
