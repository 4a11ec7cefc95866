#pragma once
// A fresh engine for each screen test (global settings in a temporary
// folder, the drum sample memory from the bundle, an in-memory library and
// a Link session that tests switch on and off), the headless back end with
// a window whose root controller presents the screens as popovers from a
// button, as the main screen does.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>

#include "engine/provider/memory_data_provider.h"
#include "engine/record/init_pattern.h"
#include "engine/seq/seq_fakes.h"
#include "engine/settings/global_settings.h"
#include "engine/synth/synth.h"
#include "engine/voices/drum_data.h"
#include "platform/notify/notification_center.h"
#include "platform/ui/button.h"
#include "platform/ui/headless/headless_backend.h"
#include "platform/ui/view_controller.h"

namespace screentest {

// The presenter of the screens: a full-window controller with a button at
// the top that popovers hang from; it keeps popovers popovers on the
// compact headless screen, as the main screen does.
class Host : public platform::ViewController, public platform::PopoverPresentationControllerDelegate {
 public:
  void viewDidLoad() override {
    anchor = std::make_shared<platform::Button>(platform::Button::Type::System, platform::Rect{300, 0, 40, 28});
    view()->addSubview(anchor);
  }
  platform::ModalPresentationStyle adaptivePresentationStyle(platform::PopoverPresentationController&) override {
    return platform::ModalPresentationStyle::None;
  }
  void presentAsPopover(std::shared_ptr<platform::ViewController> vc, platform::Size size) {
    vc->setPreferredContentSize(size);
    vc->setModalPresentationStyle(platform::ModalPresentationStyle::Popover);
    platform::PopoverPresentationController* p = vc->popoverPresentationController();
    p->setDelegate(this);
    p->setPermittedArrowDirections(platform::PopoverArrowDirection::Up);
    p->setSourceView(anchor.get());
    p->setSourceRect(anchor->bounds());
    presentViewController(std::move(vc), false, {});
  }
  std::shared_ptr<platform::Button> anchor;
};

class ScreenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/igb-screens-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir = tmpl;
    ::setenv("IGROOVEBIX_HOME", (dir / "Documents").c_str(), 1);
    // The generated bundle, also when the binary runs outside ctest.
    ::setenv("IGB_BUNDLE_DIR", IGB_BUNDLE_DIR, 0);
    std::filesystem::create_directories(dir / "Documents");
    createGlobalSettings(dir, dir);
    createDrumData(IGB_BUNDLE_DIR);
    ASSERT_NE(drumData(), nullptr);
    SeqServices services;
    services.makeLink = [this](double tempo) {
      auto l = std::make_unique<seqtest::FakeLink>(tempo);
      link = l.get();
      return l;
    };
    synth = Synth::getInstance(44100.0f, services);
    synth->setDataProvider(&provider);
    PatternRecord r = makeInitPattern();
    r.sequencerParams.tempo = 1205;
    r.sequencerParams.swing = 58;
    r.sequencerParams.length = 2;
    r.sequencerParams.lastStep = 12;
    synth->setPatternRecord(&r);
    window = backend.makeWindow();
    host = std::make_shared<Host>();
    window->setRootViewController(host);
    backend.runPass();
  }
  void TearDown() override {
    host.reset();
    window.reset();
    Synth::destroyInstance();
    destroyDrumData();
    destroyGlobalSettings();
    ::unsetenv("IGROOVEBIX_HOME");
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }

  GlobalSettings& settings() { return *globalSettings(); }
  std::filesystem::path documents() const { return dir / "Documents"; }

  // The centre of a view in window points.
  static platform::Point centreOf(const platform::View& v) { return v.convertPointTo(v.bounds().center(), nullptr); }
  void tap(const platform::View& v) { backend.tap(centreOf(v), 0.02); }
  void post(const std::string& name, platform::Dictionary info = {}) {
    platform::NotificationCenter::defaultCenter().post(name, {}, std::move(info));
  }

  std::filesystem::path dir;
  MemoryDataProvider provider{4};
  Synth* synth = nullptr;
  seqtest::FakeLink* link = nullptr;
  platform::HeadlessBackend backend;
  std::shared_ptr<platform::Window> window;
  std::shared_ptr<Host> host;
};

}  // namespace screentest
