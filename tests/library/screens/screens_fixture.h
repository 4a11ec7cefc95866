#pragma once
// The library's screens over a real pattern store in a fresh documents
// folder (a 330-pattern factory library: banks 0-9 full, user bank 10
// partly filled), a real engine that plays no audio, a main screen that
// records what the screens ask of it, and a headless window.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/settings/global_settings.h"
#include "engine/synth/synth.h"
#include "library/library_fixture.h"
#include "library/pattern_store.h"
#include "library/screens/library_screen_host.h"
#include "platform/notify/notification_center.h"
#include "platform/ui/headless/headless_backend.h"
#include "platform/ui/navigation_controller.h"
#include "platform/ui/window.h"

// The main screen as the library's screens see it: every call is logged.
class RecordingHost : public LibraryScreenHost {
 public:
  Synth* synth() const override { return synth_; }
  void changePattern(int32_t number) override {
    calls.push_back("changePattern " + std::to_string(number));
  }
  void playButWaitUntilCurrentPatternFinished(bool wait) override {
    calls.push_back(wait ? "play wait" : "play now");
  }
  void currentModePatternChanged() override { calls.push_back("modePatternChanged"); }
  int32_t currentStateIndex() const override { return stateIndex; }
  void changeFunction(int64_t key) override { calls.push_back("changeFunction " + std::to_string(key)); }
  void reloadPattern() override { calls.push_back("reloadPattern"); }
  void initializeAllPattern() override { calls.push_back("initializeAllPattern"); }
  bool storeData() override {
    calls.push_back("storeData");
    return true;
  }

  Synth* synth_ = nullptr;
  int32_t stateIndex = 0;
  std::vector<std::string> calls;
};

class ScreensTest : public LibraryTest {
 protected:
  static constexpr int kPatterns = 330;

  void SetUp() override {
    LibraryTest::SetUp();
    createGlobalSettings(root, root);
    // One factory library for the whole run: making it is the slow part.
    struct SharedBundle {
      std::filesystem::path dir;
      ~SharedBundle() {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
      }
    };
    static SharedBundle shared;
    if (shared.dir.empty()) {
      char tmpl[] = "/tmp/igb-screens-bundle-XXXXXX";
      ASSERT_NE(::mkdtemp(tmpl), nullptr);
      shared.dir = tmpl;
      bundle = shared.dir;
      makeBundle(kPatterns);
      ASSERT_TRUE(platform::writePropertyList(
          bundle / "Info.plist", platform::Value(platform::Dictionary{{"TSBackupFileExtension", platform::Value("gbd")}})));
    }
    bundle = shared.dir;
    Utilities::setBundleResourcePath(bundle);
    store = std::make_unique<Z31647PatternStore>();
    store->setNotificationHandler([this](const std::string& name, const platform::Dictionary& info) {
      storeNotes.push_back(name);
      platform::NotificationCenter::defaultCenter().post(name, {}, info);
    });
    store->load();
    ASSERT_EQ(store->numberOfPatterns(), kPatterns);
    synth = Synth::getInstance(44100.0f);
    synth->setDataProvider(store.get());
    host.synth_ = synth;
    window = hb.makeWindow();
  }
  void TearDown() override {
    // Alerts wait in one queue for the whole process: none may outlive its
    // test. Then what answering them started, and every other transition and
    // fade, comes to its end: an unfinished one holds its screens.
    for (int i = 0; i < 10 && hb.alertVisible(); ++i) hb.answerAlert(0);
    hb.advance(2.0);
    // The screens go first: leaving the window may still reach the store.
    window->setRootViewController(nullptr);
    hb.runPass();
    nav.reset();
    window.reset();
    EXPECT_EQ(platform::NotificationCenter::defaultCenter().observerCount(kPatternStorePatternStored), 0u)
        << "a screen outlived its test";
    Synth::destroyInstance();
    store.reset();
    destroyGlobalSettings();
    LibraryTest::TearDown();
  }

  // Makes `number` the engine's current pattern.
  void selectPattern(int32_t number) {
    synth->changePatternSilently(number);
    render();
  }
  // One block: the sequencer runs its queued commands.
  void render() {
    std::vector<int16_t> l(256), r(256);
    int16_t* ch[2] = {l.data(), r.data()};
    synth->render(nullptr, ch, 256);
    (void)synth->currentPattern();
  }
  std::string nameOf(int32_t number) { return store->columnText(number, 1); }

  std::shared_ptr<platform::NavigationController> show(std::shared_ptr<platform::ViewController> vc) {
    nav = std::make_shared<platform::NavigationController>(vc);
    window->setRootViewController(nav);
    hb.runPass();
    return nav;
  }

  platform::HeadlessBackend hb;
  std::shared_ptr<platform::Window> window;
  std::shared_ptr<platform::NavigationController> nav;
  std::unique_ptr<Z31647PatternStore> store;
  std::vector<std::string> storeNotes;
  Synth* synth = nullptr;
  RecordingHost host;
};
