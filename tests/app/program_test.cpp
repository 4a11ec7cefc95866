// The program as main() runs it: the desktop environment (every service
// filled, the menu bar's screens and the tutorial registered) on the
// headless back end with a virtual clock, MIDI devices on the in-process
// loopback. Each test drives it from the outside, by touches, menus and
// MIDI, and looks at what the user would see or find on disk.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "app/desktop_environment.h"
#include "app/gbx_menu_bar_view_controller.h"
#include "app/gbx_seq_count_views.h"
#include "app/headless_app.h"
#include "app/tutorial_services.h"
#include "audio/link/abl_link_kit.h"
#include "audio/link/screens/abl_settings_view_controller.h"
#include "controls/ti_button.h"
#include "controls/ti_notification_view_controller.h"
#include "controls/ti_seq_view.h"
#include "controls/ui_lcd_view.h"
#include "controls/ui_slider_with_text_value.h"
#include "library/backup/backup_archive.h"
#include "library/backup/icloud_manager.h"
#include "library/backup/zip_archive.h"
#include "library/pattern_set_store.h"
#include "library/pattern_store.h"
#include "library/screens/backup_item_table_view_controller.h"
#include "library/utilities.h"
#include "platform/midi/loopback_midi.h"
#include "platform/ui/label.h"
#include "platform/ui/navigation_controller.h"
#include "platform/ui/widgets.h"
#include "platform/ui/window.h"
#include "screens/export_wav_screen_controller.h"
#include "screens/setting_screen_controller.h"

namespace fs = std::filesystem;

namespace {

class ProgramTest : public HeadlessAppTest {
 protected:
  void SetUp() override {
    HeadlessAppTest::SetUp();
    ::setenv("IGB_EXPORT_DIR", (root / "export").c_str(), 1);
    // A returning user: the tutorial, tested on its own, stays away. Nothing
    // else of a first run is set up.
    defaults->setBool(true, kAppLaunchedKey);
  }
  void TearDown() override {
    if (ctl()) ctl()->dismissViewControllerAnimated(false, {});
    pump(1.0);
    HeadlessAppTest::TearDown();
    ::unsetenv("IGB_EXPORT_DIR");
  }

  AppEnvironment environment() override {
    DesktopEnvironmentOptions options;
    options.midiSystem = &midi;
    AppEnvironment env = makeDesktopEnvironment(options);
    AppEnvironment probe = HeadlessAppTest::environment();
    env.userDefaults = probe.userDefaults;
    env.audioDrivers = probe.audioDrivers;
    env.stepObserver = probe.stepObserver;
    return env;
  }

  // The folder that stands for the cloud container (it exists: the cloud is on).
  fs::path cloud() const { return root / "share" / "igroovebix" / "iCloud"; }
  fs::path cloudDocuments() const { return cloud() / "Documents"; }
  static std::vector<fs::path> filesWithExtension(const fs::path& dir, const std::string& ext) {
    std::vector<fs::path> out;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir, ec))
      if (e.path().extension() == ext) out.push_back(e.path());
    return out;
  }

  static platform::Point centreOf(const platform::View& v) { return v.convertPointTo(v.bounds().center(), nullptr); }
  void tapView(const platform::View& v) {
    tap(centreOf(v));
    pump(0.05);
  }
  void openMenuBar() {
    tapView(*ctl()->menuButton());
    pump(0.3);
  }
  GBXMenuBarViewController& bar() { return *ctl()->menuBarViewController(); }
  template <typename T>
  T* presented() {
    return dynamic_cast<T*>(ctl()->presentedViewController());
  }
  // The backup list, opened from the menu bar's file button.
  BackupItemTableViewController* openBackupList() {
    tapView(*bar().fileButton());
    pump(0.5);
    auto* nav = presented<platform::NavigationController>();
    return nav ? dynamic_cast<BackupItemTableViewController*>(nav->topViewController()) : nullptr;
  }

  // The program's Link handle with Link's network kept off (the kit sees the
  // program as inactive), so no peer on the host can join; null without one.
  ABLLink* linkWithoutNetwork() {
    ABLLink* handle = ABLLinkHandleOf(synth()->linkHandle());
    if (handle) ABLLinkSetAppActive(handle, false);
    return handle;
  }
  // Arms Rec and presses the part's button: the part gains a trigger on
  // `step` and nowhere else. Rec stays armed.
  void expectRecordedPress(int part, int step) {
    std::vector<bool> before;
    for (int s = 0; s < 64; ++s) before.push_back(synth()->step(part, s));
    tapView(*ctl()->recordButton());
    ASSERT_TRUE(ctl()->recordButton()->isOn());
    tap(partButton(part));
    pump(0.1);
    EXPECT_TRUE(synth()->step(part, step)) << "the trigger lands on step " << step;
    for (int s = 0; s < 64; ++s) {
      if (s != step) {
        EXPECT_EQ(synth()->step(part, s), before[static_cast<size_t>(s)]) << s;
      }
    }
  }
  // A MIDI device on the loopback with one port each way, both named `port`.
  platform::LoopbackMidiSystem::Plugged plugDevice(const std::string& maker, const std::string& model,
                                                   const std::string& port) {
    platform::LoopbackMidiSystem::Device device;
    device.manufacturer = maker;
    device.model = model;
    device.sources = {port};
    device.destinations = {port};
    return midi.plug(device);
  }
  // The Link settings screen, opened from the menu bar.
  ABLSettingsViewController* openLinkScreen() {
    openMenuBar();
    tapView(*bar().abletonLinkButton());
    pump(0.5);
    return presented<ABLSettingsViewController>();
  }
  // The settings popover, opened from the menu bar.
  SettingScreenController* openSettings() {
    openMenuBar();
    tapView(*bar().settingButton());
    pump(0.5);
    return presented<SettingScreenController>();
  }

  // Pixels of the banner's frame on screen that differ between two renders.
  static int changedPixels(const platform::Image& a, const platform::Image& b, const platform::Rect& frame) {
    int changed = 0;
    for (double y = frame.minY(); y < frame.maxY(); y += 1)
      for (double x = frame.minX(); x < frame.maxX(); x += 1)
        if (!(a.pixelAt({x, y}) == b.pixelAt({x, y}))) ++changed;
    return changed;
  }
  // Pixels of a frame of a render (sampled every half point) that are near
  // black (the banner's text) and light grey (its balloon).
  struct Tally {
    int dark = 0;
    int balloon = 0;
    int all = 0;
  };
  static Tally tally(const platform::Image& image, const platform::Rect& frame) {
    Tally t;
    for (double y = frame.minY(); y < frame.maxY(); y += 0.5)
      for (double x = frame.minX(); x < frame.maxX(); x += 0.5) {
        const platform::Image::RGBA p = image.pixelAt({x, y});
        ++t.all;
        if (p.r < 60 && p.g < 60 && p.b < 60) ++t.dark;
        if (p.r > 150 && p.g > 150 && p.b > 150 && std::abs(p.r - p.b) < 24) ++t.balloon;
      }
    return t;
  }

  // The banner shows `text`: in the view tree, in front on the main view,
  // opaque, and drawn on screen where nothing was drawn before.
  void expectBanner(const std::string& text, const platform::Image& before) {
    TINotificationViewController* banner = ctl()->notificationController();
    ASSERT_NE(banner, nullptr) << "the main screen has a banner";
    platform::View* v = banner->view();
    ASSERT_EQ(v->superview(), ctl()->view());
    EXPECT_FALSE(v->isHidden());
    EXPECT_DOUBLE_EQ(v->alpha(), 1.0);
    EXPECT_EQ(banner->content()->text(), text);
    const std::vector<platform::View*> labels = headlessBackend().findViews([&](platform::View& view) {
      auto* l = dynamic_cast<platform::Label*>(&view);
      return l && l->text() == text;
    });
    EXPECT_EQ(labels.size(), 1u) << "the text is in the window's view tree";
    const platform::Rect frame = v->convertRectTo(v->bounds(), nullptr);
    EXPECT_DOUBLE_EQ(frame.width(), 324);
    EXPECT_DOUBLE_EQ(frame.maxX(), 736);
    const platform::ImagePtr after = headlessBackend().render();
    EXPECT_GT(changedPixels(before, *after, frame), 5000) << "the balloon is drawn";
    const platform::Rect label = banner->content()->convertRectTo(banner->content()->bounds(), nullptr);
    const Tally shown = tally(*after, label);
    EXPECT_GT(shown.balloon, shown.all / 2) << "the grey balloon lies behind the text";
    EXPECT_GT(shown.dark, 50) << "the text is drawn in black";
    EXPECT_LT(tally(before, label).balloon, shown.all / 4) << "no balloon before";
  }

  platform::LoopbackMidiSystem midi;
};

}  // namespace

// ---- the banner --------------------------------------------------------------------------------

TEST_F(ProgramTest, ABounceShowsWhereTheFileWasSavedOnTheBanner) {
  start();
  openMenuBar();
  const platform::ImagePtr before = headlessBackend().render();
  tapView(*bar().exportButton());
  ExportWavScreenController* screen = presented<ExportWavScreenController>();
  ASSERT_NE(screen, nullptr);
  tapView(*screen->bounceButton());
  ASSERT_TRUE(pumpUntil([&] { return !filesWithExtension(docs, ".wav").empty(); }));
  pump(1.0);
  const std::vector<fs::path> wavs = filesWithExtension(docs, ".wav");
  ASSERT_EQ(wavs.size(), 1u);
  // The Open-In menu is up over the export button; the banner is elsewhere.
  ASSERT_NO_FATAL_FAILURE(expectBanner("Saved as " + wavs[0].filename().string() + ".", *before));
  // It goes by itself: 4.5 to 5 s for the default time.
  pump(5.5);
  EXPECT_DOUBLE_EQ(ctl()->notificationController()->view()->alpha(), 0.0);
}

TEST_F(ProgramTest, NotesFromAMidiKeyboardDuringABounceAreNotInTheFile) {
  const platform::LoopbackMidiSystem::Plugged box = plugDevice("Maker", "Box", "Box");
  start();
  // The factory pattern bounced, read back whole; with a keyboard playing
  // every drum part (channel 10, notes 36 on) from before the bounce to
  // after it, if asked.
  auto bounce = [&](bool keysDown) {
    ctl()->dismissViewControllerAnimated(false, {});
    pump(0.5);
    for (const fs::path& f : filesWithExtension(docs, ".wav")) fs::remove(f);
    openMenuBar();
    tapView(*bar().exportButton());
    ExportWavScreenController* screen = presented<ExportWavScreenController>();
    EXPECT_NE(screen, nullptr);
    if (!screen) return std::string();
    std::atomic<bool> playing{keysDown};
    std::thread keyboard([&] {
      for (uint8_t n = 0; playing.load(); ++n) {
        midi.deliver(box.sources[0], {0x99, static_cast<uint8_t>(36 + n % 8), 127});
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
    });
    if (keysDown) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    tapView(*screen->bounceButton());
    playing.store(false);
    keyboard.join();
    midi.waitForDelivery();
    EXPECT_TRUE(pumpUntil([&] { return filesWithExtension(docs, ".wav").size() == 1; }));
    const std::vector<fs::path> wavs = filesWithExtension(docs, ".wav");
    if (wavs.size() != 1) return std::string();
    std::ifstream in(wavs[0], std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  const std::string quiet = bounce(false);
  const std::string played = bounce(true);
  ASSERT_GT(quiet.size(), 44u);
  ASSERT_EQ(played.size(), quiet.size());
  size_t differing = 0;
  for (size_t i = 0; i < quiet.size(); ++i)
    if (played[i] != quiet[i]) ++differing;
  EXPECT_EQ(differing, 0u) << "the notes played during the bounce are not in the file";
}

TEST_F(ProgramTest, APatternAssignedInPatternSetModeIsAnnouncedOnTheBanner) {
  start();
  const platform::ImagePtr before = headlessBackend().render();
  tap(centre(240.5, 152, 62.5, 48));  // pattern set
  pump(0.1);
  tap(stepButton(3));  // slot 4 of page 1: its pattern loads
  pump(0.5);
  const int32_t next = synth()->currentPatternIndex() + 1;
  tapView(*ctl()->programIncButton());
  ASSERT_TRUE(pumpUntil([&] { return synth()->currentPatternIndex() == next; }));
  pump(1.0);
  const std::string name = Z31647PatternStore::getInstance().columnText(next, 1);
  ASSERT_NO_FATAL_FAILURE(expectBanner("Pattern \"" + name + "\" has been assigned to button 4.", *before));
}

// ---- cloud backups ---------------------------------------------------------------------------------

namespace {

class ProgramCloudTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    // The cloud is on: its folder exists.
    fs::create_directories(cloud());
  }
  void onStep(const std::string& s) override {
    ProgramTest::onStep(s);
    if (s == "backupUploadScheduled") uploadScheduledAt = headlessBackend().now();
  }
  static std::string extension() { return "." + BackupFileNameCreator::dataExtension(); }
  // Opens the list and presses "Create Backup"; the new archive in the
  // cloud, or nothing.
  std::optional<fs::path> createCloudBackup() {
    openMenuBar();
    BackupItemTableViewController* list = openBackupList();
    if (!list) return std::nullopt;
    const platform::BarButtonItemPtr& create = list->navigationItem().rightBarButtonItem();
    if (!create || create->title() != "Create Backup") return std::nullopt;
    create->trigger();
    pump(0.5);
    const std::vector<fs::path> made = filesWithExtension(cloudDocuments(), extension());
    if (made.size() != 1) return std::nullopt;
    return made[0];
  }
  // The archive unpacked into a fresh folder.
  fs::path unpack(const fs::path& archive) {
    const fs::path out = root / "unpacked";
    fs::create_directories(out);
    ZipArchive zip;
    EXPECT_TRUE(zip.UnzipOpenFile(archive, Utilities::createDataPassword()));
    EXPECT_TRUE(zip.UnzipFileTo(out, true));
    zip.UnzipCloseFile();
    return out;
  }
  static std::string contents(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  double uploadScheduledAt = -1;
};

}  // namespace

TEST_F(ProgramCloudTest, TheCloudIsKnownAtStartAndTakesLocalBackupsHalfAMinuteLater) {
  const fs::path local = docs / ("Older backup" + extension());
  const fs::path other = docs / "notes.txt";
  std::ofstream(local) << "an older backup";
  std::ofstream(other) << "not a backup";
  start();
  ASSERT_GE(uploadScheduledAt, 0);
  headlessBackend().advance(uploadScheduledAt + 29.9 - headlessBackend().now());
  EXPECT_TRUE(fs::exists(local)) << "not before 30 s";
  headlessBackend().advance(0.2);
  EXPECT_FALSE(fs::exists(local));
  EXPECT_EQ(contents(cloudDocuments() / local.filename()), "an older backup");
  EXPECT_TRUE(fs::exists(other)) << "only backups move";

  // The first time the list opens it offers a backup, and lists the moved one.
  openMenuBar();
  BackupItemTableViewController* list = openBackupList();
  ASSERT_NE(list, nullptr);
  const platform::BarButtonItemPtr& create = list->navigationItem().rightBarButtonItem();
  ASSERT_NE(create, nullptr) << "\"Create Backup\" is there the first time";
  EXPECT_EQ(create->title(), "Create Backup");
  ASSERT_TRUE(pumpUntil([&] { return list->tableView()->numberOfRowsInSection(0) == 1; }));
  EXPECT_FALSE(headlessBackend().alertVisible());
}

TEST_F(ProgramCloudTest, ABackupInTheFirstRunHoldsThePatternSetsAsTheyAreNow) {
  start();
  const fs::path sets = data() / "iGROOVEBIX_patternSet.plist";
  ASSERT_FALSE(fs::exists(sets)) << "a first run: nothing saved yet";
  // A pattern-set edit of this run.
  tap(centre(240.5, 152, 62.5, 48));  // pattern set
  pump(0.1);
  tap(stepButton(5));
  pump(0.5);
  const int32_t assigned = synth()->currentPatternIndex() + 1;
  tapView(*ctl()->programIncButton());
  ASSERT_TRUE(pumpUntil([&] { return synth()->currentPatternIndex() == assigned; }));
  pump(0.2);
  ASSERT_EQ(PatternSetStore::sharedInstance().patternIndex(5, 0),
            static_cast<uint32_t>(assigned));
  tap(centre(240.5, 152, 62.5, 48));  // back to normal
  pump(0.1);

  const std::optional<fs::path> backup = createCloudBackup();
  ASSERT_TRUE(backup) << "a backup was made";
  EXPECT_FALSE(headlessBackend().alertVisible());
  const fs::path unpacked = unpack(*backup);
  ASSERT_TRUE(fs::exists(unpacked / "iGROOVEBIX_patternSet.plist"));
  // The state was saved first: the archived sets are the ones in memory.
  ASSERT_TRUE(fs::exists(sets));
  EXPECT_EQ(contents(unpacked / "iGROOVEBIX_patternSet.plist"), contents(sets));
  EXPECT_EQ(contents(unpacked / "patternIndicesTable.plist"), contents(data() / "patternIndicesTable.plist"));
}

TEST_F(ProgramCloudTest, ABackupThatCannotBeMadeSaysSo) {
  start();
  // The pattern folder is gone: the library cannot be archived.
  fs::rename(data() / "patterns", root / "patterns-away");
  EXPECT_FALSE(createCloudBackup());
  EXPECT_TRUE(filesWithExtension(cloudDocuments(), extension()).empty());
  EXPECT_TRUE(filesWithExtension(docs, extension()).empty());
  ASSERT_TRUE(headlessBackend().alertVisible()) << "the screen says so";
  EXPECT_EQ(headlessBackend().alertTitle(), "Error");
  EXPECT_EQ(headlessBackend().alertMessage(), "The backup could not be made. Please try again.");
  headlessBackend().answerAlert(0);
  fs::rename(root / "patterns-away", data() / "patterns");
}

// ---- recording ----------------------------------------------------------------------------------------

TEST_F(ProgramTest, APartPressWithRecArmedWhileStoppedRecordsATrigger) {
  start();
  ASSERT_FALSE(synth()->isPlaying());
  ASSERT_EQ(ctl()->currentStepTwice(), 0u) << "at rest the play position is the first step";
  int part = -1;
  for (int p = 0; p < 8 && part < 0; ++p)
    if (!synth()->step(p, 0)) part = p;
  ASSERT_GE(part, 0) << "a part with no trigger on the first step";
  ASSERT_NO_FATAL_FAILURE(expectRecordedPress(part, 0));
  EXPECT_TRUE(ctl()->seqView()->getButton(0)->isActive()) << "and its step button lights";

  // Without Rec a press records nothing.
  tapView(*ctl()->recordButton());
  ASSERT_FALSE(ctl()->recordButton()->isOn());
  int other = -1;
  for (int p = 0; p < 8 && other < 0; ++p)
    if (!synth()->step(p, 0)) other = p;
  ASSERT_GE(other, 0) << "a part with no trigger on the first step";
  tap(partButton(other));
  pump(0.1);
  EXPECT_FALSE(synth()->step(other, 0));
}

TEST_F(ProgramTest, APartPressWithRecArmedAfterAStopOnAnOddHalfStepRecordsOnTheNextStep) {
  start();
  // Play and stop until the transport rests between two steps, past the first.
  uint32_t pos = 0;
  for (int attempt = 0; attempt < 20 && (pos % 2 == 0 || pos < 3); ++attempt) {
    tapView(*ctl()->playButton());
    ASSERT_TRUE(pumpUntil([&] { return synth()->isPlaying() && ctl()->currentStepTwice() >= 3; }));
    tapView(*ctl()->stopButton());
    ASSERT_TRUE(pumpUntil([&] { return !synth()->isPlaying(); }));
    pump(0.1);
    pos = ctl()->currentStepTwice();
  }
  ASSERT_EQ(pos % 2, 1u) << "the transport stopped on a half step";
  ASSERT_GE(pos, 3u);
  const int rounded = static_cast<int>(pos + 1) / 2;
  ASSERT_LT(rounded, synth()->lastStep()) << "the rounded step is inside the pattern";
  int part = -1;
  for (int p = 0; p < 8 && part < 0; ++p)
    if (!synth()->step(p, rounded) && !synth()->step(p, rounded - 1)) part = p;
  ASSERT_GE(part, 0) << "a part with no trigger on either neighbouring step";
  SCOPED_TRACE("stopped on half step " + std::to_string(pos));
  ASSERT_NO_FATAL_FAILURE(expectRecordedPress(part, rounded));
  tapView(*ctl()->recordButton());
}

// ---- the settings popover --------------------------------------------------------------------------

TEST_F(ProgramTest, SwingLengthAndLastStepShowTheValueTheSliderSentNotTheEnginesClampedOne) {
  start();
  SettingScreenController* s = openSettings();
  ASSERT_NE(s, nullptr);
  const struct {
    UISliderWithTextValue* slider;
    float value;
    const char* title;
    const char* shown;
    int32_t (Synth::*engine)() const;
    int32_t kept;
  } cases[] = {{s->swingSlider(), 90.0f, "Swing", "090", &Synth::swing, 75},
               {s->swingSlider(), 12.7f, "Swing", "012", &Synth::swing, 50},
               {s->lengthSlider(), 7.0f, "Length", "007", &Synth::patternLength, 4},
               {s->lastStepSlider(), 0.0f, "Last Step", "000", &Synth::lastStep, 1},
               {s->lastStepSlider(), 40.5f, "Last Step", "040", &Synth::lastStep, 16},
               {s->lastStepSlider(), 9.0f, "Last Step", "009", &Synth::lastStep, 9}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.title) + " " + std::to_string(c.value));
    c.slider->setValue(c.value);
    c.slider->sendActionsForControlEvents(platform::ControlEvents::ValueChanged);
    pump(0.06);
    EXPECT_EQ(ctl()->lcdView()->title(), c.title);
    EXPECT_EQ(ctl()->lcdView()->value(), c.shown);
    EXPECT_EQ((synth()->*c.engine)(), c.kept) << "the engine clamps";
  }
}

// ---- the fader controller's lamps ------------------------------------------------------------------

TEST_F(ProgramTest, EveryLayoutPressRestartsTheControllersBlinkEvenTwoBetweenLampRefreshes) {
  const platform::LoopbackMidiSystem::Plugged fader = plugDevice("TESK INC.", "quillaCONTROL2", "quillaCONTROL2 _ CTRL");
  start();
  // The solo row's first lamp (control 32 on channel 16), sampled every
  // 5 ms of virtual time.
  int lamp = -1;
  auto sample = [&] {
    for (const std::vector<uint8_t>& b : midi.sent(fader.destinations[0]))
      if (b.size() == 3 && b[0] == 0xBF && b[1] == 32) lamp = b[2];
    midi.takeSent();
    return lamp == 127;
  };
  auto press = [&] {
    midi.deliver(fader.sources[0], {0xBF, 59, 127, 0xBF, 59, 0});
    midi.waitForDelivery();
  };
  ASSERT_TRUE(pumpUntil([&] { sample(); return lamp >= 0; })) << "the lamps are driven";

  // Into the current-part layout: its blink announces the solo row.
  press();
  pump(0.4);
  sample();
  // Two presses before the next refresh: back to the mixer layout and into
  // the current-part layout again. The blink starts over.
  press();
  press();
  std::string seen;
  for (int i = 0; i < 300; ++i) {
    pump(0.005);
    seen += sample() ? '#' : '.';
  }
  // Lit runs and when the last one ends, in 5 ms samples.
  int runs = 0;
  for (size_t i = 0; i < seen.size(); ++i)
    if (seen[i] == '#' && (i == 0 || seen[i - 1] != '#')) ++runs;
  const size_t end = seen.find_last_of('#');
  EXPECT_EQ(runs, 3) << seen << "\nthe whole blink: lit on refreshes 2, 5-6 and 8-9";
  ASSERT_NE(end, std::string::npos) << seen;
  EXPECT_GE(end, 160u) << seen << "\nit lasts ten refreshes from the second press";
  EXPECT_LE(end, 200u) << seen;
}

// ---- the Link beat counter ----------------------------------------------------------------------------

TEST_F(ProgramTest, TheLinkCounterBlinksAfreshWhenTheMainViewAppearsAndInTheForeground) {
  start();
  Z31647ViewController& c = *ctl();
  // Alone, the counter blinks unconnected.
  ABLLink* handle = linkWithoutNetwork();
  ASSERT_NE(handle, nullptr);
  ASSERT_TRUE(ABLLinkUserSetEnabled(handle, true));
  platform::Layer& layer = c.linkCounterView()->indicator()->layer();
  ASSERT_TRUE(pumpUntil([&] { return layer.animationForKey("blink") != nullptr; }));
  ASSERT_FALSE(c.isAbletonLinkSyncConnected());
  const auto opacity = [&] { return layer.presentedOpacity(headlessBackend().now()); };

  // The blink runs from 0.5 to 0 and back each second; a quarter of the way
  // down, then half a second more, it would stand at a quarter again.
  const auto restartsOn = [&](const char* what, const std::function<void()>& away, const std::function<void()>& back) {
    SCOPED_TRACE(what);
    pump(0.25);
    const double before = opacity();
    ASSERT_GT(before, 0.05);
    ASSERT_LT(before, 0.45);
    away();
    pump(0.5);
    back();
    ASSERT_NE(layer.animationForKey("blink"), nullptr);
    EXPECT_NEAR(opacity(), 0.5, 0.02) << "the blink starts over";
  };
  restartsOn("foreground", [] { headlessBackend().enterBackground(); }, [] { headlessBackend().enterForeground(); });
  auto other = std::make_shared<platform::ViewController>();
  restartsOn(
      "main view appears",
      [&] { c.navigationController()->pushViewController(other, false); },
      [&] { c.navigationController()->popViewControllerAnimated(false); });
  ABLLinkUserSetEnabled(handle, false);
}

// ---- the Link settings screen ------------------------------------------------------------------------

TEST_F(ProgramTest, TheLinkScreenShowsWhereToLearnMoreFadesItsSectionsAndFollowsTheMargins) {
  start();
  ABLLink* handle = linkWithoutNetwork();
  ASSERT_NE(handle, nullptr);
  ABLSettingsViewController* screen = openLinkScreen();
  ASSERT_NE(screen, nullptr);
  platform::TableView& table = *screen->tableView();

  // "Learn more at " and the page's address, at the foot of the screen; the
  // address opens the page.
  ASSERT_NE(screen->moreInfoLabel(), nullptr);
  EXPECT_EQ(screen->moreInfoLabel()->text(), "Learn more at ");
  EXPECT_EQ(screen->moreInfoLinkButton()->currentTitle(), "ableton.com/link");
  platform::View* line = screen->moreInfoLinkTextView();
  EXPECT_EQ(line->superview(), &table);
  const platform::Rect shown = table.convertRectTo(table.bounds(), nullptr);
  const platform::Rect at = line->convertRectTo(line->bounds(), nullptr);
  EXPECT_DOUBLE_EQ(at.maxY(), shown.maxY());
  EXPECT_GE(at.minX(), shown.minX());
  const platform::Rect text = screen->moreInfoLabel()->convertRectTo(screen->moreInfoLabel()->bounds(), nullptr);
  const platform::Rect address = screen->moreInfoLinkButton()->convertRectTo(screen->moreInfoLinkButton()->bounds(), nullptr);
  EXPECT_DOUBLE_EQ(text.maxX(), address.minX()) << "one line: the text, then the address";
  EXPECT_LE(address.maxX(), shown.maxX());
  tapView(*screen->moreInfoLinkButton());
  ASSERT_FALSE(headlessBackend().openedURLs().empty());
  EXPECT_EQ(headlessBackend().openedURLs().back(), "https://www.ableton.com/link/");

  // Link on: the two sections fade in.
  const auto opacity = [&](platform::View& v) { return v.layer().presentedOpacity(headlessBackend().now()); };
  tap(centreOf(*screen->linkSwitch()));
  ASSERT_EQ(table.numberOfSections(), 3);
  platform::TableViewCell* status = table.cellForRowAtIndexPath({2, 0});
  ASSERT_NE(status, nullptr);
  pump(0.15);
  EXPECT_GT(opacity(*status), 0.1);
  EXPECT_LT(opacity(*status), 0.9) << "fading in";
  pump(0.3);
  EXPECT_DOUBLE_EQ(opacity(*status), 1.0);
  // Off: they fade out where they were, then leave.
  tap(centreOf(*screen->linkSwitch()));
  ASSERT_EQ(table.numberOfSections(), 1);
  pump(0.15);
  EXPECT_EQ(status->superview(), &table);
  EXPECT_GT(opacity(*status), 0.1);
  EXPECT_LT(opacity(*status), 0.9) << "fading out";
  pump(0.3);
  EXPECT_EQ(status->superview(), nullptr);
  EXPECT_FALSE(ABLLinkEnabled(handle));

  // The window's safe area comes to overlap the screen by 30 points on the
  // right: the margins grow and the cells and footers are made again.
  platform::Switch* before = screen->linkSwitch();
  ASSERT_NE(before, nullptr);
  platform::Window* window = headlessBackend().window();
  window->setWindowSafeAreaInsets({0, 0, 0, window->bounds().maxX() - shown.maxX() + 30});
  table.setNeedsLayout();
  pump(0.05);
  EXPECT_DOUBLE_EQ(screen->layoutMargins().right, 46);
  ASSERT_NE(screen->linkSwitch(), nullptr);
  EXPECT_NE(screen->linkSwitch(), before) << "made again";
  const platform::TableViewCell* cell = table.cellForRowAtIndexPath({0, 0});
  ASSERT_NE(cell, nullptr);
  EXPECT_DOUBLE_EQ(screen->linkSwitch()->frame().maxX(), cell->bounds().maxX() - 46);
  ASSERT_NE(screen->descriptionLabel(), nullptr);
  EXPECT_DOUBLE_EQ(screen->descriptionLabel()->frame().minX(), 16);
  window->setWindowSafeAreaInsets({});
}

TEST_F(ProgramTest, TheLinkScreenKeepsItsBrowsingFooterWhenLinkComesBackOnDuringTheFadeOut) {
  start();
  ABLLink* handle = linkWithoutNetwork();
  ASSERT_NE(handle, nullptr);
  ABLSettingsViewController* screen = openLinkScreen();
  ASSERT_NE(screen, nullptr);
  platform::TableView& table = *screen->tableView();
  const auto opacity = [&](platform::View& v) { return v.layer().presentedOpacity(headlessBackend().now()); };

  tap(centreOf(*screen->linkSwitch()));
  pump(0.5);
  ASSERT_EQ(table.numberOfSections(), 3);
  platform::View* footer = screen->browsingFooter();
  ASSERT_NE(footer, nullptr);
  ASSERT_EQ(footer->superview(), &table);

  // Off, and on again while the sections still fade out: the late end of
  // that fade leaves the footer where it belongs.
  tap(centreOf(*screen->linkSwitch()));
  ASSERT_EQ(table.numberOfSections(), 1);
  pump(0.1);
  tap(centreOf(*screen->linkSwitch()));
  ASSERT_EQ(table.numberOfSections(), 3);
  pump(0.6);
  ASSERT_EQ(screen->browsingFooter(), footer);
  EXPECT_EQ(footer->superview(), &table);
  EXPECT_FALSE(footer->isHidden());
  EXPECT_DOUBLE_EQ(opacity(*footer), 1.0);
  const platform::Rect shown = table.convertRectTo(table.bounds(), nullptr);
  const platform::Rect at = footer->convertRectTo(footer->bounds(), nullptr);
  EXPECT_TRUE(shown.intersects(at)) << "the footer lies within the table";
  ABLLinkUserSetEnabled(handle, false);
}

// ---- switches ----------------------------------------------------------------------------------------

namespace {

// The track's colour on screen: left of the knob when on, right of it when off.
platform::Image::RGBA trackColour(platform::Switch& s) {
  const platform::Rect b = s.convertRectTo(s.bounds(), nullptr);
  const platform::Point p = s.isOn() ? platform::Point{b.minX() + 7, b.midY()} : platform::Point{b.maxX() - 7, b.midY()};
  return headlessBackend().render()->pixelAt(p);
}

bool green(const platform::Image::RGBA& c) { return c.g > c.r + 60 && c.g > c.b + 40; }
bool grey202(const platform::Image::RGBA& c) {
  return std::abs(c.r - 202) <= 6 && std::abs(c.g - 202) <= 6 && std::abs(c.b - 202) <= 6;
}

}  // namespace

TEST_F(ProgramTest, SwitchesAreGreyWhenOffAndTheirOwnColourWhenOn) {
  start();
  SettingScreenController* s = openSettings();
  ASSERT_NE(s, nullptr);
  ASSERT_FALSE(s->tempoLockSwitch()->isOn());
  tapView(*s->tempoLockSwitch());
  ASSERT_TRUE(s->tempoLockSwitch()->isOn());
  ASSERT_FALSE(s->backgroundAudioSwitch()->isOn());
  const platform::Image::RGBA on = trackColour(*s->tempoLockSwitch());
  const platform::Image::RGBA off = trackColour(*s->backgroundAudioSwitch());
  EXPECT_TRUE(green(on)) << "Tempo Lock on: " << int(on.r) << "," << int(on.g) << "," << int(on.b);
  EXPECT_TRUE(grey202(off)) << "Background Audio off: " << int(off.r) << "," << int(off.g) << "," << int(off.b);
  tapView(*s->tempoLockSwitch());
  ctl()->dismissViewControllerAnimated(false, {});
  pump(0.5);

  // A switch made later elsewhere: the Link screen's, on.
  ABLLink* handle = linkWithoutNetwork();
  ASSERT_NE(handle, nullptr);
  ASSERT_TRUE(ABLLinkUserSetEnabled(handle, true));
  tapView(*bar().abletonLinkButton());
  pump(0.5);
  ABLSettingsViewController* link = presented<ABLSettingsViewController>();
  ASSERT_NE(link, nullptr);
  ASSERT_TRUE(link->linkSwitch()->isOn());
  const platform::Image::RGBA linkOn = trackColour(*link->linkSwitch());
  EXPECT_TRUE(green(linkOn)) << "Link on: " << int(linkOn.r) << "," << int(linkOn.g) << "," << int(linkOn.b);
  ABLLinkUserSetEnabled(handle, false);
}

TEST_F(ProgramTest, NoSettingsRowTitleRunsUnderItsControl) {
  start();
  SettingScreenController* s = openSettings();
  ASSERT_NE(s, nullptr);
  const struct {
    platform::Label* label;
    platform::View* control;
    platform::Rect frame;
  } rows[] = {{s->tempoLabel(), s->tempoSlider(), {20, 10, 90, 28}},
              {s->swingLabel(), s->swingSlider(), {20, 54, 90, 28}},
              {s->lengthLabel(), s->lengthSlider(), {20, 98, 90, 28}},
              {s->lastStepLabel(), s->lastStepSlider(), {20, 142, 90, 28}},
              {s->knobModeLabel(), s->knobModeButton(), {20, 186, 100, 28}},
              {s->gridModeLabel(), s->gridModeButton(), {20, 230, 150, 28}},
              {s->tempoLockLabel(), s->tempoLockSwitch(), {20, 274, 90, 28}},
              {s->backgroundAudioLabel(), s->backgroundAudioSwitch(), {20, 318, 150, 28}}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.label->text());
    EXPECT_EQ(r.label->frame(), r.frame) << "the layout stays";
    EXPECT_LE(r.label->font().pointSize, 14.0);
    EXPECT_GE(r.label->font().pointSize, 10.0) << "still readable";
    // The whole title, drawn as the label draws it, ends before the control.
    const double width = r.label->sizeThatFits({1e6, r.frame.height()}).width;
    EXPECT_LE(r.frame.minX() + width, std::min(r.frame.maxX(), r.control->frame().minX()));
  }
  EXPECT_EQ(s->gridModeLabel()->text(), "Pattern Change Grid");
  // Titles that fit keep the layout's size.
  EXPECT_DOUBLE_EQ(s->tempoLabel()->font().pointSize, 14.0);
}
