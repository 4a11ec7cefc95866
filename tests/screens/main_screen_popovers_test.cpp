// The settings, information and export screens opened from the program's
// menu bar on the headless back end: popovers anchored to their buttons,
// one at a time; the settings screen's controls edit the engine and the
// global settings through the main view controller; the export screen's
// bounce writes the WAV file, names it in the banner and offers it.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <cstring>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/gbx_menu_bar_view_controller.h"
#include "app/headless_app.h"
#include "controls/ti_button.h"
#include "controls/ui_lcd_view.h"
#include "controls/ui_slider_with_text_value.h"
#include "engine/settings/global_settings.h"
#include "platform/ui/document_interaction.h"
#include "app/gq_flurry.h"
#include "library/screens/backup_item_table_view_controller.h"
#include "library/screens/browser_table_controller.h"
#include "screens/compose_mail_view_controller.h"
#include "screens/export_wav_screen_controller.h"
#include "screens/gbx_information_view_controller.h"
#include "screens/help_web_view_controller.h"
#include "platform/ui/navigation_controller.h"
#include "screens/setting_screen_controller.h"
#include "screens/z31647_screen_presenter.h"
#include "main_screen_menu_fixture.h"

namespace fs = std::filesystem;
namespace CE = platform::ControlEvents;

namespace {

class MainScreenPopoversTest : public screentest::MainScreenMenuTest {};

TEST_F(MainScreenPopoversTest, EachMenuButtonOpensItsScreenAsAPopoverOneAtATime) {
  const struct {
    platform::Button* button;
    platform::Size size;
  } cases[] = {{bar().settingButton(), {420, 364}},
               {bar().helpButton(), {280, 220}},
               {bar().fileButton(), {420, 220 + platform::NavigationController::kBarHeight}},
               {bar().exportButton(), {280, 110}}};
  bool first = true;
  for (const auto& c : cases) {
    // A touch beside an open popover only closes it, so the later screens
    // are opened the way the buttons' actions do.
    if (first) {
      tapView(*c.button);
    } else if (c.button == bar().helpButton()) {
      ctl()->openHelpMenu(c.button);
    } else if (c.button == bar().fileButton()) {
      ctl()->openRestoreScreen(c.button);
    } else {
      ctl()->openExportScreen(c.button);
    }
    first = false;
    pump(0.05);
    platform::ViewController* shown = ctl()->presentedViewController();
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->modalPresentationStyle(), platform::ModalPresentationStyle::Popover);
    platform::PopoverPresentationController* p = shown->popoverPresentationController();
    EXPECT_EQ(p->sourceView(), c.button);
    EXPECT_EQ(p->sourceRect(), c.button->bounds());
    EXPECT_EQ(p->permittedArrowDirections(), platform::PopoverArrowDirection::Up);
    // A popover on this compact screen too, hanging under its button.
    EXPECT_EQ(p->popoverFrame().size.width, c.size.width);
    EXPECT_GE(p->popoverFrame().minY(), c.button->convertRectTo(c.button->bounds(), nullptr).maxY() - 1);
    EXPECT_TRUE(shown->view()->window());
    // The panel stays on screen under it.
    EXPECT_TRUE(ctl()->view()->window());
  }
  // The last one opened replaced the others.
  EXPECT_NE(presented<ExportWavScreenController>(), nullptr);
  pump(0.5);  // the replaced ones fade out
  size_t popovers = 0;
  for (platform::View* v : headlessBackend().findViews([](platform::View& v) {
         return v.viewController() && v.viewController()->modalPresentationStyle() == platform::ModalPresentationStyle::Popover;
       }))
    popovers += v->window() ? 1 : 0;
  EXPECT_EQ(popovers, 1u);
}

TEST_F(MainScreenPopoversTest, TheSettingsControlsReachTheMainScreensActions) {
  tapView(*bar().settingButton());
  SettingScreenController* s = presented<SettingScreenController>();
  ASSERT_NE(s, nullptr);
  const void* target = ctl();
  const struct {
    platform::Control* control;
    const char* action;
  } wiring[] = {{s->tempoSlider(), "changeTempo:"},       {s->swingSlider(), "changeSwing:"},
                {s->lengthSlider(), "changeLength:"},     {s->lastStepSlider(), "changeLastStep:"},
                {s->knobModeButton(), "changeKnobMode:"}, {s->gridModeButton(), "changeGridMode:"},
                {s->tempoLockSwitch(), "changeTempoLock:"},
                {s->backgroundAudioSwitch(), "changeBackgroundAudioSwitch:"}};
  for (const auto& w : wiring)
    EXPECT_EQ(w.control->actionsForTarget(target, CE::ValueChanged), (std::vector<std::string>{w.action}));
  // What the screen shows is the engine's pattern.
  const seqParams& seq = synth()->currentPattern()->sequencerParams;
  EXPECT_EQ(s->swingSlider()->valueAsInt(), seq.swing);
  EXPECT_EQ(s->lastStepSlider()->valueAsInt(), seq.lastStep);
  // Each control changes the engine or the settings, and the LCD tells.
  typeInto(*s->tempoSlider(), "133.3");
  EXPECT_EQ(synth()->tempo(), 1333);
  typeInto(*s->swingSlider(), "67");
  EXPECT_EQ(synth()->swing(), 67);
  EXPECT_EQ(ctl()->lcdView()->title(), "Swing");
  typeInto(*s->lengthSlider(), "3");
  EXPECT_EQ(synth()->patternLength(), 3);
  typeInto(*s->lastStepSlider(), "9");
  EXPECT_EQ(synth()->lastStep(), 9);
  EXPECT_EQ(ctl()->lcdView()->title(), "Last Step");
  GlobalSettings& g = *globalSettings();
  const struct {
    platform::SegmentedControl* control;
    uint32_t setting;
    int segment;
  } segments[] = {{s->knobModeButton(), GlobalSettings::kKnobMode, 1 - g.get(GlobalSettings::kKnobMode)},
                  {s->gridModeButton(), GlobalSettings::kPatternChangeGrid, 6}};
  for (const auto& c : segments) {
    const platform::Rect b = c.control->bounds();
    const double w = b.size.width / c.control->numberOfSegments();
    tap(c.control->convertPointTo({w * c.segment + w / 2, b.size.height / 2}, nullptr));
    pump(0.02);
    EXPECT_EQ(g.get(static_cast<int32_t>(c.setting)), c.segment);
  }
  EXPECT_EQ(ctl()->lcdView()->value(), "12");
  for (const auto& [sw, setting] : {std::pair{s->tempoLockSwitch(), GlobalSettings::kTempoLock},
                                    std::pair{s->backgroundAudioSwitch(), GlobalSettings::kBackgroundAudioEnabled}}) {
    const int32_t before = g.get(static_cast<int32_t>(setting));
    tapView(*sw);
    EXPECT_EQ(g.get(static_cast<int32_t>(setting)), before == 1 ? 0 : 1);
    EXPECT_EQ(sw->isOn(), before != 1);
  }
  // A touch outside closes it; it stops listening.
  tap({700, 400});
  pump(0.5);
  EXPECT_EQ(ctl()->presentedViewController(), nullptr);
}

TEST_F(MainScreenPopoversTest, TheFileButtonOpensTheBackupListUnderItsBar) {
  tapView(*bar().fileButton());
  auto* nav = presented<platform::NavigationController>();
  ASSERT_NE(nav, nullptr);
  EXPECT_FALSE(nav->isNavigationBarHidden());
  EXPECT_EQ(nav->modalPresentationStyle(), platform::ModalPresentationStyle::Popover);
  auto* list = dynamic_cast<BackupItemTableViewController*>(nav->topViewController());
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->preferredContentSize(), (platform::Size{420, 220}));
  EXPECT_EQ(list->modalPresentationStyle(), platform::ModalPresentationStyle::Popover);
  EXPECT_EQ(list->restorer(), iGROOVEBIXBackupRestorer::sharedInstance());
  EXPECT_EQ(list->creator(), iGROOVEBIXBackupCreator::sharedInstance());
  EXPECT_EQ(list->itemTextColor(), platform::Color::white(0.0, 0.8));
  EXPECT_TRUE(list->view()->window());
}

TEST_F(MainScreenPopoversTest, TheBrowserIsPushedToLoadFromTheMenuAndToSaveFromTheSaveButton) {
  platform::NavigationController* nav = ctl()->navigationController();
  ASSERT_NE(nav, nullptr);
  GQFlurry::sharedInstance().setIsEnabled(true);
  GQFlurry::sharedInstance().setLastEventType("");
  // The menu's browser button: Load mode, on the current pattern.
  tapView(*bar().browserButton());
  pump(0.5);
  auto* browser = dynamic_cast<BrowserTableController*>(nav->topViewController());
  ASSERT_NE(browser, nullptr);
  EXPECT_EQ(browser->mode(), BrowserTableController::kLoad);
  EXPECT_EQ(browser->patternNumber(), synth()->currentPatternIndex());
  EXPECT_TRUE(browser->selectCurrentItem());
  EXPECT_EQ(ctl()->presentedViewController(), nullptr) << "pushed, not presented";
  EXPECT_EQ(GQFlurry::sharedInstance().lastEventType(), "");
  // Picking another pattern reaches the engine through the main screen.
  ASSERT_NE(browser->topController(), nullptr);
  const int32_t before = synth()->currentPatternIndex();
  browser->didSelectRowAtIndexPath(*browser->tableView(), platform::IndexPath{0, before + 2});
  ASSERT_TRUE(pumpUntil([&] { return synth()->pendingPattern() == before + 2; }));
  EXPECT_EQ(browser->topController()->currentStateIndex(), 0);
  nav->popViewControllerAnimated(false);
  pump(0.5);
  ASSERT_EQ(nav->topViewController(), ctl());

  // The panel's save button: Save mode, the edited pattern queued again.
  ctl()->openIPhoneBrowser(ctl()->saveButton());
  pump(0.5);
  browser = dynamic_cast<BrowserTableController*>(nav->topViewController());
  ASSERT_NE(browser, nullptr);
  EXPECT_EQ(browser->mode(), BrowserTableController::kSave);
  EXPECT_EQ(synth()->pendingPattern(), synth()->currentPatternIndex());
  EXPECT_EQ(GQFlurry::sharedInstance().lastEventType(), "Save");
  nav->popViewControllerAnimated(false);
  pump(0.5);
}

TEST_F(MainScreenPopoversTest, TheOfferedExtras) {
  std::shared_ptr<Z31647ScreenPresenter> presenter =
      Z31647ScreenPresenter::install(std::static_pointer_cast<Z31647ViewController>(ctl()->shared_from_this()));
  ASSERT_TRUE(presenter);
  // The pushed settings screen: kept, and only five of its controls wired.
  presenter->openSettingScreen();
  pump(0.5);
  SettingScreenController* pushed = presenter->settingController().get();
  EXPECT_EQ(ctl()->navigationController()->topViewController(), pushed);
  const void* target = ctl();
  for (platform::Control* c : std::initializer_list<platform::Control*>{pushed->tempoSlider(), pushed->swingSlider(),
                                                                        pushed->lengthSlider(), pushed->lastStepSlider(),
                                                                        pushed->knobModeButton()})
    EXPECT_EQ(c->actionsForTarget(target, CE::ValueChanged).size(), 1u);
  for (platform::Control* c : std::initializer_list<platform::Control*>{
           pushed->gridModeButton(), pushed->tempoLockSwitch(), pushed->backgroundAudioSwitch()})
    EXPECT_TRUE(c->actionsForTarget(target, CE::ValueChanged).empty());
  pushed->closeButtonPushed();
  pump(0.5);
  EXPECT_EQ(ctl()->navigationController()->topViewController(), ctl());
  EXPECT_EQ(presenter->settingController().get(), pushed);
  // The mail screen comes up full screen.
  presenter->composeMail();
  pump(0.5);
  EXPECT_NE(presented<ComposeMailViewController>(), nullptr);
  ctl()->dismissViewControllerAnimated(false, {});
  pump(0.05);
  // Duplicating an empty iCloud list succeeds at once.
  presenter->execDuplicate();
  pump(0.05);
  ASSERT_TRUE(headlessBackend().alertVisible());
  EXPECT_EQ(headlessBackend().alertTitle(), "Success");
  EXPECT_EQ(headlessBackend().alertMessage(), "Backup files have been duplicated to the document folder.");
  headlessBackend().answerAlert(0);
}

TEST_F(MainScreenPopoversTest, TheInformationScreenOpensTheHelpPagesInTheBrowser) {
  tapView(*bar().helpButton());
  GBXInformationViewController* info = presented<GBXInformationViewController>();
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->appNameLabel()->text(), "TESK iGROOVEBIX");
  tapView(*info->helpCenterButton());
  pump(0.5);
  auto* nav = dynamic_cast<platform::NavigationController*>(info->presentedViewController());
  ASSERT_NE(nav, nullptr);
  auto* web = dynamic_cast<GBXHelpWebViewController*>(nav->topViewController());
  ASSERT_NE(web, nullptr);
  const size_t before = headlessBackend().openedURLs().size();
  web->navigationItem().leftBarButtonItem()->trigger();
  ASSERT_EQ(headlessBackend().openedURLs().size(), before + 1);
  EXPECT_EQ(headlessBackend().openedURLs().back(), *GBXInformationViewController::helpCenterURL());
  web->navigationItem().rightBarButtonItem()->trigger();
  pump(0.5);
  EXPECT_EQ(info->presentedViewController(), nullptr);
}

TEST_F(MainScreenPopoversTest, BouncingFromTheExportScreenSavesAndOffersTheFile) {
  // Playing and recording before the bounce.
  tapView(*ctl()->recordButton());
  tapView(*ctl()->playButton());
  ASSERT_TRUE(pumpUntil([&] { return synth()->isPlaying(); }));
  std::string banner;
  platform::NotificationCenter::defaultCenter().addObserver(this, "TINotificationMessageArrived",
                                                            [&](const platform::Notification& n) {
                                                              if (const std::string* t = n.objectAs<std::string>()) banner = *t;
                                                            });
  tapView(*bar().exportButton());
  ExportWavScreenController* screen = presented<ExportWavScreenController>();
  ASSERT_NE(screen, nullptr);
  const uint32_t length = synth()->bounceLength();
  tapView(*screen->bounceButton());
  // The popover closed before the bounce; afterwards the transport is at rest.
  EXPECT_EQ(ctl()->presentedViewController(), nullptr);
  EXPECT_FALSE(synth()->isPlaying());
  EXPECT_FALSE(ctl()->recordButton()->isOn());
  EXPECT_EQ(ctl()->recording(), 0u);
  EXPECT_FALSE(ctl()->playButton()->readyToBlink());
  ASSERT_TRUE(pumpUntil([&] { return !banner.empty(); }));
  const std::vector<fs::path> files = wavs(docs);
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(banner, "Saved as " + files[0].filename().string() + ".");
  EXPECT_EQ(fs::file_size(files[0]), 44 + uint64_t{length} * 4);
  // The pattern sounds in it (the export once wrote silence of this length).
  {
    std::ifstream in(files[0], std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    int peak = 0;
    for (size_t i = 44; i + 1 < bytes.size(); i += 2) {
      int16_t v;
      std::memcpy(&v, bytes.data() + i, 2);
      peak = std::max(peak, std::abs(int{v}));
    }
    EXPECT_GT(peak, 3000);
  }
  // The Open-In menu hangs from the export button; saving a copy keeps it.
  ASSERT_TRUE(pumpUntil([&] {
    return headlessBackend().findViews([](platform::View& v) {
             auto* b = dynamic_cast<platform::Button*>(&v);
             return b && b->currentTitle().rfind("Save a Copy", 0) == 0;
           }).size() == 1;
  }));
  platform::View* save = headlessBackend().findViews([](platform::View& v) {
    auto* b = dynamic_cast<platform::Button*>(&v);
    return b && b->currentTitle().rfind("Save a Copy", 0) == 0;
  })[0];
  tapView(*save);
  EXPECT_FALSE(fs::exists(files[0]));
  const std::vector<fs::path> copies = wavs(root / "export");
  ASSERT_EQ(copies.size(), 1u);
  EXPECT_EQ(copies[0].filename(), files[0].filename());
  EXPECT_EQ(fs::file_size(copies[0]), 44 + uint64_t{length} * 4);
  platform::NotificationCenter::defaultCenter().removeObserver(this);
}

}  // namespace
