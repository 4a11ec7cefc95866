#pragma once
// The whole program on the headless back end with its menu bar slid in and
// the menu bar's screens registered, for the screens it opens from there;
// the export folder ("Save a Copy") is the test root's.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/gbx_menu_bar_view_controller.h"
#include "app/headless_app.h"
#include "controls/ui_slider_with_text_value.h"
#include "screens/z31647_screen_presenter.h"

namespace screentest {

namespace fs = std::filesystem;

class MainScreenMenuTest : public HeadlessAppTest {
 protected:
  void SetUp() override {
    HeadlessAppTest::SetUp();
    ::setenv("IGB_EXPORT_DIR", (root / "export").c_str(), 1);
    Z31647ScreenPresenter::registerWithMainScreen();
    start();
    ASSERT_NE(ctl()->menuBarViewController(), nullptr);
    // The menu bar slides in.
    tapView(*ctl()->menuButton());
    pump(0.3);
  }
  void TearDown() override {
    // Nothing presented outlives the test (the last program lives on until
    // the process ends, past the notification centre).
    if (ctl()) ctl()->dismissViewControllerAnimated(false, {});
    // Animations under way (a popover fading out) hold their views until
    // they end.
    pump(1.0);
    ::unsetenv("IGB_EXPORT_DIR");
    HeadlessAppTest::TearDown();
    // The application lets go of the program now rather than at exit, when
    // the notification centre its delegate leaves may already be gone.
    platform::Application::sharedApplication().reset();
    delegate.reset();
  }
  GBXMenuBarViewController& bar() { return *ctl()->menuBarViewController(); }
  static platform::Point centreOf(const platform::View& v) { return v.convertPointTo(v.bounds().center(), nullptr); }
  void tapView(const platform::View& v) {
    tap(centreOf(v));
    pump(0.05);
  }
  template <typename T>
  T* presented() {
    return dynamic_cast<T*>(ctl()->presentedViewController());
  }
  void typeInto(UISliderWithTextValue& row, const std::string& text) {
    tapView(*row.textField());
    ASSERT_TRUE(row.textField()->isEditing());
    headlessBackend().typeText(text);
    headlessBackend().pressReturn();
    pump(0.02);
  }
  std::vector<fs::path> wavs(const fs::path& dir) {
    std::vector<fs::path> out;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir, ec))
      if (e.path().extension() == ".wav") out.push_back(e.path());
    return out;
  }
};

}  // namespace screentest
