#include "soundcloud/screens/file_track.h"

#include "controls/file_browser_drawing.h"
#include "platform/notify/notification_center.h"
#include "platform/ui/headless/headless_backend.h"
#include "platform/ui/navigation_controller.h"
#include "soundcloud/screens/audio_file_player.h"
#include "tests/soundcloud/screens/players_test_support.h"

using namespace tssc;
namespace fs = std::filesystem;

namespace {

struct Updates : ListBrowserTrackDelegate {
  int count = 0;
  void listBrowserTrackUpdated(ListBrowserTrack&) override { ++count; }
};

// A documents folder ($IGROOVEBIX_HOME) with WAV files and their list.
class FileTrackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("IGROOVEBIX_HOME", folder.path().c_str(), 1);
    platform::RunLoop::main().setClock(nullptr);
  }
  void TearDown() override {
    tracks.clear();
    list.reset();
    ::unsetenv("IGROOVEBIX_HOME");
    platform::RunLoop::main().drain();
  }
  std::shared_ptr<FileTrack> trackFor(const std::string& name, size_t frames = 441) {
    igbtest::writeRampWav(folder.path() / name, frames);
    list = std::make_unique<FileInDocumentsManagedContext>(std::vector<std::string>{"wav"});
    const int64_t index = list->indexForFileURL(folder.path() / name);
    EXPECT_GE(index, 0);
    auto track = FileTrack::trackWithTrackInfo(list->fileObjectAt(static_cast<size_t>(index)), list.get());
    track->setPlayerDrivers({platform::AudioDriver::Null});
    track->setUploadEditorFactory([this](std::shared_ptr<SoundCloudInformationObject> info) {
      uploads.push_back(info);
      return std::make_shared<platform::NavigationController>(std::make_shared<platform::ViewController>());
    });
    tracks.push_back(track);
    return track;
  }
  igbtest::TempFolder folder;
  std::unique_ptr<FileInDocumentsManagedContext> list;
  std::vector<std::shared_ptr<FileTrack>> tracks;
  std::vector<std::shared_ptr<SoundCloudInformationObject>> uploads;
};

}  // namespace

TEST_F(FileTrackTest, AnswersItsFileAndItsActions) {
  auto track = trackFor("Song.wav");
  EXPECT_EQ(track->information(0)->stringValue(), "Song.wav");
  EXPECT_EQ(track->information(1)->stringValue(), (folder.path() / "Song.wav").string());
  EXPECT_EQ(track->information(2)->stringValue(), "Song.wav");
  for (int32_t key : {3, 13, 14, -1}) EXPECT_FALSE(track->information(key).has_value());
  for (int32_t a = -1; a <= 12; ++a)
    EXPECT_EQ(track->canPerform(a), a == 1 || a == 3 || a == 4 || a == 9 || a == 11) << a;
  EXPECT_EQ(track->perform(9), nullptr);
  EXPECT_EQ(track->perform(11), nullptr);
  EXPECT_EQ(track->picture(), nullptr);
}

TEST_F(FileTrackTest, ItsPlayerHasTheFileAttachedReadyAndStopped) {
  auto track = trackFor("Loop.wav", 441);
  auto delegate = std::make_shared<igbtest::RecordingPlayerDelegate>();
  auto player = track->createPlayerWithDelegate(delegate);
  auto* file = dynamic_cast<AudioFilePlayer*>(player.get());
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(player->track(), track);
  EXPECT_TRUE(file->hasFile());
  EXPECT_EQ(file->fileFrames(), 441u);
  EXPECT_FALSE(player->isPlaying());
  EXPECT_EQ(delegate->told, (std::vector<std::string>{"accepted"}));
  player->play();
  ASSERT_TRUE(igbtest::pumpMainLoopUntil([&] { return !player->isPlaying(); }, 5.0));
  EXPECT_EQ(file->framesPlayed(), 441u);
}

TEST_F(FileTrackTest, DeleteRemovesAListedFileOnly) {
  auto track = trackFor("Gone.wav");
  std::vector<std::string> posted;
  auto token = platform::NotificationCenter::defaultCenter().addObserver(
      this, "file_remove", [&](const platform::Notification& n) { posted.push_back(n.name); });
  EXPECT_EQ(track->perform(1), nullptr);
  EXPECT_FALSE(fs::exists(folder.path() / "Gone.wav"));
  EXPECT_EQ(list->count(), 0u);
  EXPECT_EQ(posted.size(), 1u);
  // No longer listed: a file of that name made again is left alone.
  igbtest::writeRampWav(folder.path() / "Gone.wav", 10);
  EXPECT_EQ(track->perform(1), nullptr);
  EXPECT_TRUE(fs::exists(folder.path() / "Gone.wav"));
  EXPECT_EQ(posted.size(), 1u);
  EXPECT_EQ(track->perform(3), nullptr);  // no rename screen for an unlisted file
  platform::NotificationCenter::defaultCenter().removeObserver(token);
}

TEST_F(FileTrackTest, RenameKeepsTheExtensionAndTellsTheDelegateOnce) {
  platform::HeadlessBackend hb({1024, 768}, 1.0);
  auto window = hb.makeWindow();
  auto root = std::make_shared<platform::ViewController>();
  window->setRootViewController(root);
  hb.runPass();
  auto track = trackFor("Song.wav");
  Updates updates;
  track->setDelegate(&updates);
  auto screen = std::dynamic_pointer_cast<FileEditViewController>(track->perform(3));
  ASSERT_NE(screen, nullptr);
  EXPECT_EQ(screen->context(), track->trackInfo());
  EXPECT_EQ(screen->persistentStore(), list.get());
  EXPECT_EQ(screen->preferredContentSize(), (platform::Size{460, 114}));
  EXPECT_EQ(screen->supportedInterfaceOrientations(), 24u);
  screen->setModalPresentationStyle(platform::ModalPresentationStyle::Popover);
  screen->popoverPresentationController()->setSourceView(root->view());
  root->presentViewController(screen, false, nullptr);
  hb.runPass();
  ASSERT_EQ(screen->nameField()->text(), "Song");
  screen->nameField()->setText("Take2");
  hb.tap(screen->saveButton()->convertPointTo(screen->saveButton()->bounds().center(), nullptr));
  hb.advance(1.0);
  EXPECT_TRUE(fs::exists(folder.path() / "Take2.wav"));
  EXPECT_FALSE(fs::exists(folder.path() / "Song.wav"));
  EXPECT_EQ(track->information(0)->stringValue(), "Take2.wav");
  EXPECT_EQ(updates.count, 1);
  EXPECT_EQ(root->presentedViewController(), nullptr);
}

TEST_F(FileTrackTest, RenameOntoAnExistingNameOrABlankNameKeepsTheFile) {
  igbtest::writeRampWav(folder.path() / "Other.wav", 10);
  auto track = trackFor("Song.wav");
  Updates updates;
  track->setDelegate(&updates);
  for (const char* typed : {"Other", "  ", ""}) {
    auto screen = std::make_shared<FileEditViewController>(track->trackInfo(), list.get());
    screen->view();
    screen->nameField()->setText(typed);
    screen->saveButtonPushed();
    EXPECT_TRUE(fs::exists(folder.path() / "Song.wav")) << typed;
  }
  auto cancelled = std::make_shared<FileEditViewController>(track->trackInfo(), list.get());
  cancelled->view();
  cancelled->nameField()->setText("Else");
  cancelled->cancelButtonPushed();
  EXPECT_TRUE(fs::exists(folder.path() / "Song.wav"));
  EXPECT_TRUE(fs::exists(folder.path() / "Other.wav"));
  EXPECT_EQ(updates.count, 0);
}

TEST_F(FileTrackTest, UploadOpensTheEditorWithTheFileTitleAndTempoFromTheName) {
  struct Case {
    const char* name;
    std::optional<double> tempo;
  } cases[] = {{"Beat BPM128.wav", 128.0}, {"BPMx.wav", 0.0}, {"Plain.wav", std::nullopt},
               {"A BPM96.5 mix.wav", 96.5}, {"BPMinf.wav", 0.0}};
  for (const Case& c : cases) {
    uploads.clear();
    auto track = trackFor(c.name);
    auto screen = track->perform(4);
    auto* nav = dynamic_cast<platform::NavigationController*>(screen.get());
    ASSERT_NE(nav, nullptr) << c.name;
    EXPECT_EQ(nav->navigationBar().backgroundColor(), fileBrowserTintColor()) << c.name;
    ASSERT_EQ(uploads.size(), 1u);
    EXPECT_TRUE(uploads[0]->enabledToTrackUpload());
    EXPECT_FALSE(uploads[0]->enabledToAttach());
    EXPECT_EQ(uploads[0]->title, std::optional<std::string>(c.name));
    ASSERT_TRUE(uploads[0]->fileURL.has_value());
    EXPECT_EQ(uploads[0]->fileURL->filePath(), folder.path() / c.name);
    EXPECT_EQ(uploads[0]->tempo, c.tempo) << c.name;
  }
}

TEST(VolumeEdit, OneSliderWithItsMarginsStretchingWithTheView) {
  platform::HeadlessBackend hb({1024, 768}, 1.0);
  auto vc = std::make_shared<VolumeEditViewController>();
  EXPECT_EQ(vc->preferredContentSize(), (platform::Size{260, 40}));
  EXPECT_EQ(vc->view()->bounds().size, (platform::Size{260, 40}));
  ASSERT_NE(vc->volumeSlider(), nullptr);
  EXPECT_EQ(vc->volumeSlider()->frame(), (platform::Rect{5, 9, 250, 22}));
  vc->view()->setFrame({0, 0, 400, 40});
  EXPECT_EQ(vc->volumeSlider()->frame(), (platform::Rect{5, 9, 390, 22}));
  EXPECT_EQ(vc->volumeSlider()->superview(), vc->view());
}
