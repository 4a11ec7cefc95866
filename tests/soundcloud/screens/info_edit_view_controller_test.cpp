// The track information editor: what its three pages show, stepping the
// track type and licence, the action button's title and validity, the
// private upload and the update as the service sees them, and the alerts.

#include "soundcloud/screens/soundcloud_info_edit_view_controller.h"

#include "sharing_screens_fixture.h"
#include "soundcloud/screens/ts_soundcloud_info_sharing_view_controller.h"

using namespace tssc;
using igbtest::formMap;
using igbtest::fieldNames;

namespace {

class InfoEditTest : public SharingScreensTest {
 protected:
  std::shared_ptr<SoundCloudInfoEditViewController> openUpload(std::optional<double> tempo = 128.0) {
    editor = std::make_shared<SoundCloudInfoEditViewController>(audio, tempo);
    nav = present(SoundCloudInfoEditViewController::uploadNavigationController(editor));
    return editor;
  }
  void scrollTo(double x) {
    editor->scrollView().setContentOffset({x, 0});
    hb->runPass();
  }
  double pageWidth() { return editor->scrollView().bounds().size.width; }
  void showAllPages() { scrollTo(2 * pageWidth()); }
  platform::BarButtonItem& action() { return *editor->uploadButtonItem(); }
  void retype(platform::TextField& f, const std::string& text) {
    f.setText(text);
  }

  std::shared_ptr<SoundCloudInfoEditViewController> editor;
  std::shared_ptr<platform::NavigationController> nav;
};

TEST_F(InfoEditTest, AnUploadShowsTheFileAndTheRecordsDefaultsOnThreePages) {
  openUpload();
  EXPECT_TRUE(editor->isUploadMode());
  EXPECT_EQ(action().title(), "Next");
  EXPECT_TRUE(action().isEnabled());
  EXPECT_EQ(editor->navigationItem().leftBarButtonItem()->title(), "Cancel");
  EXPECT_TRUE(editor->titleProgressView().isHidden());
  EXPECT_EQ(editor->pageControl().numberOfPages(), 3);
  EXPECT_EQ(editor->view()->backgroundColor(), platform::Color::whiteColor());
  // The first two pages come with the first appearance, faded in.
  ASSERT_NE(editor->generalPage(), nullptr);
  ASSERT_NE(editor->descPage(), nullptr);
  EXPECT_EQ(editor->othersPage(), nullptr);
  EXPECT_FALSE(editor->firstAnimation());
  EXPECT_DOUBLE_EQ(editor->scrollView().alpha(), 1.0);

  auto& general = *editor->generalPage();
  EXPECT_EQ(general.title().text(), "Groove BPM128.wav");
  EXPECT_EQ(general.desc().text(), "");
  EXPECT_TRUE(general.sharing().isHidden()) << "an upload from the file list offers no attachment";
  EXPECT_TRUE(general.sharingLabel().isHidden());
  EXPECT_EQ(general.sharing().selectedSegmentIndex(), 1);
  auto& desc = *editor->descPage();
  EXPECT_EQ(desc.bpm().text(), "128.0");
  EXPECT_EQ(desc.genre().text(), "");
  EXPECT_EQ(desc.trackType().text(), "");
  EXPECT_EQ(desc.trackTypeControl().selectedSegmentIndex(), platform::SegmentedControl::kNoSegment);
  EXPECT_DOUBLE_EQ(desc.genre().layer().cornerRadius(), 6.0);

  // Half a page on: the indicator shows the second page and the third loads.
  scrollTo(pageWidth() / 2);
  EXPECT_EQ(editor->pageControl().currentPage(), 1);
  ASSERT_NE(editor->othersPage(), nullptr);
  auto& others = *editor->othersPage();
  EXPECT_EQ(others.privacy().selectedSegmentIndex(), 0);
  EXPECT_EQ(others.license().text(), "All Rights Reserved");
  EXPECT_EQ(others.view()->frame().origin.x, 2 * pageWidth());
  // Back to the start: page 0, and page -1 is no page.
  scrollTo(0);
  EXPECT_EQ(editor->pageControl().currentPage(), 0);
}

TEST_F(InfoEditTest, ADragBetweenPagesSettlesOnTheNearestAndLoadsAhead) {
  openUpload();
  const double w = pageWidth();
  // From the lower part of the first page, away from its controls.
  const platform::Point start = editor->scrollView().convertPointTo({w - 40, 330}, nullptr);
  hb->drag(start, {start.x - w * 0.6, start.y}, 0.3);
  hb->advance(1.0);
  EXPECT_DOUBLE_EQ(editor->scrollView().contentOffset().x, w);
  EXPECT_EQ(editor->pageControl().currentPage(), 1);
  EXPECT_NE(editor->othersPage(), nullptr);
  hb->drag(start, {start.x + w * 0.3, start.y}, 0.3);
  hb->advance(1.0);
  EXPECT_DOUBLE_EQ(editor->scrollView().contentOffset().x, w) << "less than half a page springs back";
}

TEST_F(InfoEditTest, ATempolessRecordShowsAnEmptyBpmAndATypeAndLicenceFromTheRecord) {
  auto info = std::make_shared<SoundCloudInformationObject>(true, true);
  info->fileURL = platform::URL::fileURLWithPath(audio);
  info->trackType = 4;
  info->licenseType = 5;
  info->shareType = 1;
  editor = std::make_shared<SoundCloudInfoEditViewController>(info);
  present(editor);
  showAllPages();
  EXPECT_EQ(editor->descPage()->bpm().text(), "");
  EXPECT_EQ(editor->descPage()->trackType().text(), "Loop");
  EXPECT_EQ(editor->othersPage()->license().text(), "Creative Commons Attribution Share Alike");
  EXPECT_EQ(editor->othersPage()->privacy().selectedSegmentIndex(), 1);
  EXPECT_FALSE(editor->generalPage()->sharing().isHidden());
  EXPECT_EQ(editor->generalPage()->sharing().selectedSegmentIndex(), 0);
}

TEST_F(InfoEditTest, TrackTypeAndLicenceStepBothWaysAndWrap) {
  openUpload();
  showAllPages();
  auto& desc = *editor->descPage();
  auto& others = *editor->othersPage();
  struct Case {
    int segment;
    std::string type;
  };
  // From the empty type 0.
  for (const Case& c : std::vector<Case>{{0, "Original"}, {1, ""}, {1, "Other"}, {5, "Other"}, {0, ""}}) {
    desc.trackTypeControl().setSelectedSegmentIndex(c.segment);
    desc.trackTypeSwitchPushed(desc.trackTypeControl());
    EXPECT_EQ(desc.trackType().text(), c.type) << c.segment;
  }
  for (int i = 0; i < 6; ++i) {
    others.licenseControl().setSelectedSegmentIndex(1);
    others.licenseTypeSwitchClicked(others.licenseControl());
  }
  EXPECT_EQ(others.currentLicense(), 7);
  others.licenseControl().setSelectedSegmentIndex(1);
  others.licenseTypeSwitchClicked(others.licenseControl());
  EXPECT_EQ(others.license().text(), "No Rights Reserved");
  others.licenseControl().setSelectedSegmentIndex(0);
  others.licenseTypeSwitchClicked(others.licenseControl());
  EXPECT_EQ(others.currentLicense(), 7);
}

TEST_F(InfoEditTest, PrivacyNamesTheButtonAndAPublicUploadGoesOnToTheSharingScreen) {
  openUpload();
  // The others page never visited: the record's public default leads on.
  action().trigger();
  hb->advance(0.5);
  auto* sharing = dynamic_cast<TSSoundCloudInfoSharingViewController*>(nav->topViewController());
  ASSERT_NE(sharing, nullptr);
  EXPECT_EQ(sharing->information(), editor->information());
  EXPECT_EQ(sharing->title(), "Share");
  EXPECT_TRUE(sc_.apiRequests().empty()) << "nothing is uploaded yet";
  nav->popViewControllerAnimated(false);
  hb->advance(0.5);
  // Back again: the pages are kept and not faded in again.
  EXPECT_DOUBLE_EQ(editor->scrollView().alpha(), 1.0);
  showAllPages();
  auto& privacy = editor->othersPage()->privacy();
  privacy.setSelectedSegmentIndex(1);
  editor->privacyTypeChanged(privacy);
  EXPECT_EQ(action().title(), "Upload");
  privacy.setSelectedSegmentIndex(0);
  editor->privacyTypeChanged(privacy);
  EXPECT_EQ(action().title(), "Next");
}

TEST_F(InfoEditTest, APrivateUploadSendsTheTrackAndItsAlertClosesTheEditor) {
  signInAndLoad();
  openUpload();
  showAllPages();
  editor->generalPage()->title().setText("Night Groove");
  editor->generalPage()->desc().setText("made on the groovebox");
  editor->descPage()->genre().setText("Techno");
  editor->descPage()->tags().setText("acid 303");
  editor->descPage()->bpm().setText("  121.5 BPM");
  auto& privacy = editor->othersPage()->privacy();
  privacy.setSelectedSegmentIndex(1);
  editor->privacyTypeChanged(privacy);
  action().trigger();
  EXPECT_FALSE(action().isEnabled());
  EXPECT_FALSE(editor->titleProgressView().isHidden());
  EXPECT_EQ(editor->prompt(), "Uploading Audio...");
  EXPECT_EQ(editor->information()->username, "dj");
  ASSERT_TRUE(waitForAlert());
  EXPECT_EQ(hb->alertTitle(), "Upload Complete");
  EXPECT_EQ(hb->alertMessage(), SoundCloudInfoEditViewController::kUploadCompleteMessage);
  EXPECT_EQ(hb->alertButtons(), (std::vector<std::string>{"OK"}));
  EXPECT_EQ(editor->prompt(), "Upload Complete");
  EXPECT_FLOAT_EQ(editor->titleProgressView().progressView().progress(), 1.0f);

  const auto reqs = sc_.apiRequests();
  ASSERT_EQ(requestLines(), (std::vector<std::string>{"POST /tracks.json"}));
  EXPECT_EQ(fieldNames(reqs[0]), (std::vector<std::string>{"track[asset_data]", "track[title]", "track[description]",
                                                           "track[genre]", "track[sharing]", "track[bpm]",
                                                           "track[track_type]", "track[license]", "track[tag_list]"}));
  auto form = formMap(reqs[0]);
  EXPECT_EQ(form["track[title]"], "Night Groove");
  EXPECT_EQ(form["track[description]"], "made on the groovebox");
  EXPECT_EQ(form["track[genre]"], "Techno");
  EXPECT_EQ(form["track[sharing]"], "private");
  EXPECT_EQ(form["track[bpm]"], "121.5");
  EXPECT_EQ(form["track[track_type]"], "");
  EXPECT_EQ(form["track[license]"], "all-rights-reserved");
  EXPECT_EQ(form["track[tag_list]"], "acid 303");
  EXPECT_EQ(form["track[asset_data]"], std::string(30000, 'w'));

  ASSERT_EQ(root->presentedViewController(), nav.get());
  hb->answerAlert(0);
  hb->advance(1.0);
  EXPECT_EQ(root->presentedViewController(), nullptr) << "the whole modal stack closes";
  EXPECT_TRUE(std::filesystem::exists(audio)) << "the user's own file stays";
}

TEST_F(InfoEditTest, ATempoTextThatIsNoNumberSendsNoTempo) {
  signInAndLoad();
  for (const std::string text : {"abc", "", "  .", "-"}) {
    sc_.server().clearRequests();
    openUpload();
    showAllPages();
    editor->descPage()->bpm().setText(text);
    editor->othersPage()->privacy().setSelectedSegmentIndex(1);
    action().trigger();
    ASSERT_TRUE(waitForAlert()) << text;
    EXPECT_DOUBLE_EQ(*editor->information()->tempo, 0.0);
    const auto reqs = sc_.apiRequests();
    ASSERT_EQ(reqs.size(), 1u);
    EXPECT_FALSE(formMap(reqs[0]).count("track[bpm]")) << text;
    hb->answerAlert(0);
    hb->advance(1.0);
  }
  EXPECT_FLOAT_EQ(SoundCloudInfoEditViewController::leadingNumber(" 98.5x"), 98.5f);
  EXPECT_FLOAT_EQ(SoundCloudInfoEditViewController::leadingNumber("120"), 120.0f);
  EXPECT_FLOAT_EQ(SoundCloudInfoEditViewController::leadingNumber("0x10"), 0.0f);
  EXPECT_FLOAT_EQ(SoundCloudInfoEditViewController::leadingNumber("inf"), 0.0f);
}

TEST_F(InfoEditTest, AMissingAudioFileKeepsTheActionOff) {
  std::filesystem::remove(audio);
  openUpload();
  EXPECT_FALSE(action().isEnabled());
  editor->uploadButtonPushed();
  hb->advance(0.5);
  EXPECT_EQ(nav->topViewController(), editor.get());
  EXPECT_TRUE(sc_.apiRequests().empty());
  // An upload record still waiting for its audio says so.
  auto waiting = std::make_shared<SoundCloudInformationObject>(true, false);
  auto second = std::make_shared<SoundCloudInfoEditViewController>(waiting);
  root->dismissViewControllerAnimated(false, nullptr);
  hb->advance(0.5);
  present(second);
  EXPECT_FALSE(second->titleProgressView().isHidden());
  EXPECT_EQ(second->prompt(), "Preparing Audio...");
  EXPECT_FALSE(second->uploadButtonItem()->isEnabled());
}

TEST_F(InfoEditTest, AFailedUploadIsShownAndTheEditorCanTryAgain) {
  signInAndLoad();
  setReply("POST /tracks.json", 503, "{}");
  openUpload();
  showAllPages();
  editor->othersPage()->privacy().setSelectedSegmentIndex(1);
  action().trigger();
  ASSERT_TRUE(waitForAlert());
  EXPECT_EQ(hb->alertTitle(), "Cannot Connect to SoundCloud");
  EXPECT_EQ(hb->alertMessage(), "Oops, something went wrong, please try again. (503)");
  EXPECT_TRUE(action().isEnabled());
  EXPECT_TRUE(editor->titleProgressView().isHidden());
  hb->answerAlert(0);
  hb->advance(1.0);
  EXPECT_EQ(root->presentedViewController(), nav.get()) << "the editor stays";
  setReply("POST /tracks.json", 201, kTrackReply);
  action().trigger();
  ASSERT_TRUE(waitForAlert());
  EXPECT_EQ(hb->alertTitle(), "Upload Complete");
  EXPECT_EQ(requestLines(), (std::vector<std::string>{"POST /tracks.json", "POST /tracks.json"}));
}

TEST_F(InfoEditTest, CancelStopsTheUploadAndCloses) {
  signInAndLoad();
  openUpload();
  showAllPages();
  editor->othersPage()->privacy().setSelectedSegmentIndex(1);
  action().trigger();
  ASSERT_TRUE(editor->uploader());
  editor->navigationItem().leftBarButtonItem()->trigger();
  hb->advance(1.0);
  EXPECT_EQ(root->presentedViewController(), nullptr);
  igbtest::pumpMainLoopUntil([] { return false; }, 0.3);
  EXPECT_FALSE(hb->alertVisible()) << "a cancelled upload reports nothing";
}

// A task that prepares the audio: half done on the first poll.
class HalfTask : public TSTask {
 public:
  float informProgression() override { return 0.5f; }
  void cancel() override { cancelled = true; }
  bool cancelled = false;
};

TEST_F(InfoEditTest, ATaskRunnerShowsItsProgressAndCancelStopsIt) {
  openUpload();
  auto task = std::make_shared<HalfTask>();
  auto agent = std::make_shared<TSAgent>(task);
  editor->setAgent(agent);
  EXPECT_EQ(agent->delegate(), editor.get());
  agent->run();
  EXPECT_FLOAT_EQ(editor->titleProgressView().progressView().progress(), 0.5f);
  editor->cancelButtonPushed();
  EXPECT_TRUE(task->cancelled);
  EXPECT_TRUE(agent->tryToCancel());
  hb->advance(1.0);
  EXPECT_EQ(root->presentedViewController(), nullptr);
}

class InfoUpdateTest : public InfoEditTest {
 protected:
  void openEdit(int64_t trackId) {
    auto info = std::make_shared<SoundCloudInformationObject>(false, false);
    info->track_id = static_cast<uint64_t>(trackId);
    info->title = "Old Title";
    info->genre = "House";
    info->tempo = 124.0;
    info->trackType = 13;
    info->licenseType = 2;
    editor = std::make_shared<SoundCloudInfoEditViewController>(info);
    context = SoundCloudFetchedObjectContext::make();
    editor->setFetchedObjectContext(context);
    nav = present(editor);
  }
  std::shared_ptr<SoundCloudFetchedObjectContext> context;
};

TEST_F(InfoUpdateTest, AnUpdatePutsTheChangedInformationAndClosesAtOnce) {
  signInAndLoad();
  const int64_t id = 4294967297LL;  // beyond 32 bits: the right track all the same
  setReply("PUT /tracks/4294967297.json", 200, "{\"id\":4294967297}");
  openEdit(id);
  EXPECT_FALSE(editor->isUploadMode());
  EXPECT_EQ(action().title(), "Update");
  EXPECT_TRUE(action().isEnabled());
  EXPECT_TRUE(editor->generalPage()->sharing().isHidden());
  EXPECT_EQ(editor->descPage()->trackType().text(), "Original");
  editor->generalPage()->title().setText("New Title");
  action().trigger();
  EXPECT_EQ(editor->prompt(), "Updating...");
  EXPECT_FALSE(action().isEnabled());
  hb->advance(1.0);
  EXPECT_EQ(root->presentedViewController(), nullptr) << "the editor does not wait for the reply";
  ASSERT_TRUE(waitForRequests(1));
  const auto reqs = sc_.apiRequests();
  EXPECT_EQ(requestLines(), (std::vector<std::string>{"PUT /tracks/4294967297.json"}));
  auto form = formMap(reqs[0]);
  EXPECT_EQ(fieldNames(reqs[0]), (std::vector<std::string>{"track[title]", "track[description]", "track[genre]",
                                                           "track[sharing]", "track[bpm]", "track[track_type]",
                                                           "track[license]", "track[tag_list]", "track[post_to][]"}));
  EXPECT_EQ(form["track[title]"], "New Title");
  EXPECT_EQ(form["track[genre]"], "House");
  EXPECT_EQ(form["track[bpm]"], "124.0");
  EXPECT_EQ(form["track[track_type]"], "original");
  EXPECT_EQ(form["track[license]"], "cc-by");
  EXPECT_EQ(form["track[post_to][]"], "");
  EXPECT_FALSE(editor->information()->sharing) << "edit mode gathers no attachment";
  igbtest::pumpMainLoopUntil([] { return false; }, 0.3);
  EXPECT_FALSE(hb->alertVisible());
}

TEST_F(InfoUpdateTest, AFailedUpdateIsShownAfterTheEditorClosed) {
  signInAndLoad();
  setReply("PUT /tracks/99.json", 500, "{}");
  openEdit(99);
  action().trigger();
  hb->advance(1.0);
  EXPECT_EQ(root->presentedViewController(), nullptr);
  ASSERT_TRUE(waitForAlert());
  EXPECT_EQ(hb->alertTitle(), "Error");
  EXPECT_EQ(hb->alertMessage(), "Your track info could not be updated.");
}

}  // namespace
