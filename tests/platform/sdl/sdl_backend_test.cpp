// The window back end's event handling, on SDL's dummy video driver (no
// display needed): SDL events in, touches, text and lifecycle steps out.
#include "platform/ui/sdl/sdl_backend.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/notify/notification_center.h"
#include "platform/ui/control.h"
#include "platform/ui/screen.h"
#include "platform/ui/view_controller.h"

using namespace platform;

namespace {

class LoggingDelegate : public ApplicationDelegate {
 public:
  explicit LoggingDelegate(std::vector<std::string>* log) : log_(log) {}
  bool didFinishLaunching(Application&, const Dictionary&) override {
    log_->push_back("didFinishLaunching");
    window = std::make_shared<Window>(Screen::mainScreen().bounds());
    root = std::make_shared<ViewController>();
    window->setRootViewController(root);
    window->makeKeyAndVisible();
    return true;
  }
  void willResignActive(Application&) override { log_->push_back("willResignActive"); }
  void didEnterBackground(Application&) override { log_->push_back("didEnterBackground"); }
  void willEnterForeground(Application&) override { log_->push_back("willEnterForeground"); }
  void didBecomeActive(Application&) override { log_->push_back("didBecomeActive"); }
  void willTerminate(Application&) override { log_->push_back("willTerminate"); }
  std::shared_ptr<ViewController> root;

 private:
  std::vector<std::string>* log_;
};

class RecordingControl : public Control {
 public:
  using Control::Control;
  void touchesBegan(const TouchSet& t, const Event* e) override {
    log.push_back("began " + toString(t.front()->locationInView(this)));
    Control::touchesBegan(t, e);
  }
  void touchesMoved(const TouchSet& t, const Event* e) override {
    log.push_back("moved " + toString(t.front()->locationInView(this)));
    Control::touchesMoved(t, e);
  }
  void touchesEnded(const TouchSet& t, const Event* e) override {
    log.push_back("ended " + toString(t.front()->locationInView(this)));
    Control::touchesEnded(t, e);
  }
  void touchesCancelled(const TouchSet& t, const Event* e) override {
    log.push_back("cancelled");
    Control::touchesCancelled(t, e);
  }
  std::vector<std::string> log;
};

class TypingView : public View, public TextInput {
 public:
  using View::View;
  void insertText(const std::string& s) override { text += s; }
  void deleteBackward() override {
    if (!text.empty()) text.pop_back();
  }
  void returnKey() override { returns++; }
  std::string text;
  int returns = 0;
};

class SdlBackendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("SDL_VIDEODRIVER", "dummy", 1);
    RunLoop::main().reset();
    RunLoop::main().setClock(nullptr);
    Application::sharedApplication().reset();
    SdlBackend::Options o;
    o.pixelsPerPoint = 2.0;
    backend = std::make_unique<SdlBackend>(o);
    std::string error;
    ASSERT_TRUE(backend->open(&error)) << error;
    delegate = std::make_shared<LoggingDelegate>(&log);
    ASSERT_TRUE(backend->launch(delegate));
    RunLoop::main().runOnce(0);
  }
  void TearDown() override {
    backend.reset();
    Application::sharedApplication().reset();
    RunLoop::main().reset();
  }

  void push(SDL_Event e) {
    ASSERT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError();
    RunLoop::main().runOnce(0);
  }
  static SDL_Event mouse(uint32_t type, int x, int y) {
    SDL_Event e;
    std::memset(&e, 0, sizeof e);
    e.type = type;
    if (type == SDL_MOUSEMOTION) {
      e.motion.x = x;
      e.motion.y = y;
      e.motion.state = SDL_BUTTON_LMASK;
    } else {
      e.button.x = x;
      e.button.y = y;
      e.button.button = SDL_BUTTON_LEFT;
    }
    return e;
  }
  static SDL_Event finger(uint32_t type, SDL_FingerID id, float x, float y) {
    SDL_Event e;
    std::memset(&e, 0, sizeof e);
    e.type = type;
    e.tfinger.fingerId = id;
    e.tfinger.x = x;
    e.tfinger.y = y;
    return e;
  }
  static SDL_Event windowEvent(uint8_t what) {
    SDL_Event e;
    std::memset(&e, 0, sizeof e);
    e.type = SDL_WINDOWEVENT;
    e.window.event = what;
    return e;
  }

  std::unique_ptr<SdlBackend> backend;
  std::shared_ptr<LoggingDelegate> delegate;
  std::vector<std::string> log;
};

TEST_F(SdlBackendTest, TheMouseIsOneTouchInPoints) {
  auto c = std::make_shared<RecordingControl>(Rect(100, 100, 60, 40));
  delegate->root->view()->addSubview(c);
  int ups = 0;
  c->addTarget(nullptr, "up", [&](Control&) { ++ups; }, ControlEvents::TouchUpInside);
  // Two pixels per point: (220, 220) is (110, 110), 10 points into the control.
  push(mouse(SDL_MOUSEBUTTONDOWN, 220, 220));
  push(mouse(SDL_MOUSEMOTION, 240, 230));
  push(mouse(SDL_MOUSEBUTTONUP, 240, 230));
  EXPECT_EQ(c->log, (std::vector<std::string>{"began {10, 10}", "moved {20, 15}", "ended {20, 15}"}));
  EXPECT_EQ(ups, 1);
  // Motion without the button down, and the other buttons, are no touches.
  push(mouse(SDL_MOUSEMOTION, 230, 230));
  SDL_Event right = mouse(SDL_MOUSEBUTTONDOWN, 220, 220);
  right.button.button = SDL_BUTTON_RIGHT;
  push(right);
  EXPECT_EQ(c->log.size(), 3u);
}

TEST_F(SdlBackendTest, FingersAreTouchesOfTheirOwn) {
  auto left = std::make_shared<RecordingControl>(Rect(0, 0, 368, 414));
  auto right = std::make_shared<RecordingControl>(Rect(368, 0, 368, 414));
  delegate->root->view()->addSubview(left);
  delegate->root->view()->addSubview(right);
  push(finger(SDL_FINGERDOWN, 7, 0.25f, 0.5f));
  push(finger(SDL_FINGERDOWN, 8, 0.75f, 0.5f));
  push(finger(SDL_FINGERMOTION, 8, 0.80f, 0.5f));
  push(finger(SDL_FINGERUP, 7, 0.25f, 0.5f));
  push(finger(SDL_FINGERUP, 8, 0.80f, 0.5f));
  EXPECT_EQ(left->log, (std::vector<std::string>{"began {184, 207}", "ended {184, 207}"}));
  ASSERT_EQ(right->log.size(), 3u);
  EXPECT_EQ(right->log[0], "began {184, 207}");
  EXPECT_EQ(right->log[2].substr(0, 10), "ended {220");
}

TEST_F(SdlBackendTest, MinimiseAndRestoreAreBackgroundAndForeground) {
  auto c = std::make_shared<RecordingControl>(Rect(0, 0, 100, 100));
  delegate->root->view()->addSubview(c);
  log.clear();
  push(mouse(SDL_MOUSEBUTTONDOWN, 20, 20));
  push(windowEvent(SDL_WINDOWEVENT_MINIMIZED));
  push(windowEvent(SDL_WINDOWEVENT_MINIMIZED));  // once only
  EXPECT_EQ(Application::sharedApplication().applicationState(), Application::State::Background);
  EXPECT_EQ(c->log.back(), "cancelled");  // a touch in progress is cancelled
  push(windowEvent(SDL_WINDOWEVENT_RESTORED));
  push(windowEvent(SDL_WINDOWEVENT_RESTORED));
  EXPECT_EQ(log, (std::vector<std::string>{"willResignActive", "didEnterBackground", "willEnterForeground",
                                           "didBecomeActive"}));
  EXPECT_EQ(Application::sharedApplication().applicationState(), Application::State::Active);
}

TEST_F(SdlBackendTest, ClosingGoesToTheBackgroundThenTerminatesAndEndsTheLoop) {
  log.clear();
  std::vector<std::string> notes;
  int owner;
  for (const char* n : {kApplicationDidEnterBackgroundNotification, kApplicationWillTerminateNotification})
    NotificationCenter::defaultCenter().addObserver(&owner, n, [&](const Notification& x) { notes.push_back(x.name); });
  SDL_Event quit;
  std::memset(&quit, 0, sizeof quit);
  quit.type = SDL_QUIT;
  SDL_PushEvent(&quit);
  RunLoop::main().run();  // returns once the close is handled
  NotificationCenter::defaultCenter().removeObserver(&owner);
  EXPECT_EQ(log, (std::vector<std::string>{"willResignActive", "didEnterBackground", "willTerminate"}));
  EXPECT_EQ(notes, (std::vector<std::string>{kApplicationDidEnterBackgroundNotification,
                                             kApplicationWillTerminateNotification}));
  EXPECT_TRUE(Application::sharedApplication().isTerminated());
}

TEST_F(SdlBackendTest, WorkPostedFromAnotherThreadWakesTheEventWait) {
  bool ran = false;
  std::thread poster([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    RunLoop::main().perform([&] {
      ran = true;
      RunLoop::main().stop();
    });
  });
  RunLoop::main().run();  // blocked in SDL's wait until woken
  poster.join();
  EXPECT_TRUE(ran);
}

TEST_F(SdlBackendTest, KeyboardGoesToTheFirstResponder) {
  auto field = std::make_shared<TypingView>(Rect(0, 0, 100, 30));
  delegate->root->view()->addSubview(field);
  backend->interfaceWindow()->makeFirstResponder(field.get());
  SDL_Event text;
  std::memset(&text, 0, sizeof text);
  text.type = SDL_TEXTINPUT;
  std::strcpy(text.text.text, "12");
  push(text);
  std::strcpy(text.text.text, "0.5");
  push(text);
  SDL_Event key;
  std::memset(&key, 0, sizeof key);
  key.type = SDL_KEYDOWN;
  key.key.keysym.sym = SDLK_BACKSPACE;
  push(key);
  key.key.keysym.sym = SDLK_RETURN;
  push(key);
  EXPECT_EQ(field->text, "120.");
  EXPECT_EQ(field->returns, 1);
}

TEST_F(SdlBackendTest, RedrawsWhenTheTreeChangesAndOnlyThen) {
  auto v = std::make_shared<View>(Rect(10, 10, 50, 50));
  v->setBackgroundColor(Color::rgba(0, 0, 1));
  delegate->root->view()->addSubview(v);
  RunLoop::main().runOnce(0);
  const int frames = backend->framesPresented();
  ASSERT_TRUE(backend->lastFrame());
  EXPECT_EQ(backend->lastFrame()->pixel(60, 60), (Image::RGBA{0, 0, 255, 255}));  // 30 points in, 2 px per point
  RunLoop::main().runOnce(0);
  RunLoop::main().runOnce(0);
  EXPECT_EQ(backend->framesPresented(), frames);
  v->setBackgroundColor(Color::rgba(1, 0, 0));
  RunLoop::main().runOnce(0);
  EXPECT_EQ(backend->framesPresented(), frames + 1);
  EXPECT_EQ(backend->lastFrame()->pixel(60, 60), (Image::RGBA{255, 0, 0, 255}));
}

}  // namespace
