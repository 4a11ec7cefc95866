#pragma once
// The function modes' tests: the panel host of the mode tests over a
// headless window (the confirmations are real alerts on it), with global
// settings in a scratch folder.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "controls/image_manager.h"
#include "engine/settings/global_settings.h"
#include "modes/panel_host.h"
#include "platform/ui/alert_view.h"
#include "platform/ui/headless/headless_backend.h"

// The panel host, with the image manager a test may give it.
class FunctionPanelHost : public PanelHost {
 public:
  ImageManager* imageManager() const override { return images; }
  void sendNotificationMessage(const std::string& text, uint64_t) override { banners.push_back(text); }
  // As the main view controller does: starts the sequencer unless it plays
  // and the caller waits for the pattern's end.
  void playButWaitUntilCurrentPatternFinished(bool wait) override {
    ++playRequests;
    if (!(synth()->isPlaying() && wait)) synth()->startSequencer(0);
  }

  ImageManager* images = nullptr;
  std::vector<std::string> banners;
  int playRequests = 0;
};

class FunctionModeTest : public ::testing::Test {
 protected:
  static constexpr int kCancel = 0;
  static constexpr int kOk = 1;

  FunctionModeTest() : window(backend.makeWindow()) {}

  void SetUp() override {
    char tmpl[] = "/tmp/igb-modes2-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir = tmpl;
    createGlobalSettings(dir, dir);
  }
  void TearDown() override {
    // An alert left up by a failing test must not reach the next one.
    while (platform::AlertView::visibleAlert()) backend.answerAlert(kCancel);
    destroyGlobalSettings();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }

  Synth& synth() { return *host.synth(); }
  const PatternRecord& rec() { return *host.synth()->currentPattern(); }
  RadioButtonMediator& parts() { return *host.partButtonMediator(); }
  TIButton& part(int64_t key) { return *parts().button(key); }
  void enter(UiStateIndex index) { host.stateMediator().changeState(&host, index); }
  UiStateIndex current() { return host.stateMediator().currentStateIndex(); }
  template <typename T>
  T& modeAs() {
    T* m = dynamic_cast<T*>(&host.mode());
    EXPECT_NE(m, nullptr);
    return *m;
  }

  platform::HeadlessBackend backend;
  std::shared_ptr<platform::Window> window;
  std::filesystem::path dir;
  FunctionPanelHost host;
};
