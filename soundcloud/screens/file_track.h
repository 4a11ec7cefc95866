#pragma once
// The list-browser track of one audio file in the documents folder (a
// bounced pattern, say): it plays through the file player, deletes the file,
// answers the rename popover, and answers the upload editor with the file,
// its name as the title and a tempo read from the name ("... BPM128.wav").
//
// The entry and the list are the documents-folder lister's. The track hears
// the list's "file_updated" announcements and tells its delegate
// listBrowserTrackUpdated when its own entry's URL changed (a rename).
//
// Also here: the rename popover (FileEditViewController) and the small
// volume popover (VolumeEditViewController) that a list screen shows.
//
// Main thread only.

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "library/backup/file_in_documents.h"
#include "platform/audio/audio_output_unit.h"
#include "platform/ui/slider.h"
#include "platform/ui/text_field.h"
#include "platform/ui/view_controller.h"
#include "soundcloud/screens/list_browser_track.h"
#include "soundcloud/soundcloud_information_object.h"

namespace tssc {

class FileTrack : public ListBrowserTrack, private FileInDocumentsObserver {
 public:
  // Makes the screen that uploads a track (the information editor in a
  // navigation controller by default).
  using UploadEditorFactory =
      std::function<platform::ViewControllerPtr(std::shared_ptr<SoundCloudInformationObject> information)>;

  // `datasource` is not owned and must outlive the track.
  static std::shared_ptr<FileTrack> trackWithTrackInfo(std::shared_ptr<FileInDocuments> trackInfo,
                                                       FileInDocumentsManagedContext* datasource);
  FileTrack(std::shared_ptr<FileInDocuments> trackInfo, FileInDocumentsManagedContext* datasource);
  ~FileTrack() override;

  const std::shared_ptr<FileInDocuments>& trackInfo() const { return trackInfo_; }
  void setTrackInfo(std::shared_ptr<FileInDocuments> trackInfo);
  FileInDocumentsManagedContext* datasource() const { return datasource_; }

  // 0 the file name, 1 the file's path, 2 the entry's name.
  std::optional<platform::Value> information(int32_t key) const override;
  bool canPerform(int32_t action) const override { return listBrowserActionIn(kActions, action); }
  // 1 deletes a listed file; 3 answers the rename popover for a listed
  // file; 4 answers the upload editor; anything else answers none.
  platform::ViewControllerPtr perform(int32_t action) override;
  // A file player with the file attached, ready and stopped.
  std::shared_ptr<ListBrowserPlayer> createPlayerWithDelegate(
      std::weak_ptr<ListBrowserPlayerDelegate> delegate) override;

  static constexpr ListBrowserActionSet kActions = listBrowserActions({1, 3, 4, 9, 11});

  // The tempo in a file name: the leading number after its first "BPM"
  // (0 when none follows); none when the name holds no "BPM".
  static std::optional<double> tempoInName(const std::string& name);

  void setUploadEditorFactory(UploadEditorFactory f) { uploadEditorFactory_ = std::move(f); }
  // The sound devices its players try (the program's configured ones).
  void setPlayerDrivers(std::vector<platform::AudioDriver> d) { drivers_ = std::move(d); }

 private:
  void fileInDocumentsFileWasUpdated(const platform::Notification& notification) override;
  void fileInDocumentsFileWasRemoved(const platform::Notification&) override {}

  std::shared_ptr<FileInDocuments> trackInfo_;
  FileInDocumentsManagedContext* datasource_;
  std::filesystem::path seenURL_;
  UploadEditorFactory uploadEditorFactory_;
  std::vector<platform::AudioDriver> drivers_ = platform::configuredAudioDrivers();
};

// The rename popover: the name without its extension in a field, Save and
// Cancel. Save renames a listed file to the typed name with the old
// extension; both close the screen.
class FileEditViewController : public platform::ViewController {
 public:
  FileEditViewController(std::shared_ptr<FileInDocuments> context, FileInDocumentsManagedContext* persistentStore);

  void loadView() override;
  void viewDidLoad() override;
  platform::Size preferredContentSize() const override { return {460, 114}; }
  // The two landscape orientations.
  unsigned supportedInterfaceOrientations() const override { return 24; }

  void saveButtonPushed();
  void cancelButtonPushed() { close(); }
  void close();

  const std::shared_ptr<FileInDocuments>& context() const { return context_; }
  void setContext(std::shared_ptr<FileInDocuments> c) { context_ = std::move(c); }
  FileInDocumentsManagedContext* persistentStore() const { return store_; }
  void setPersistentStore(FileInDocumentsManagedContext* s) { store_ = s; }
  platform::TextField* nameField() const { return nameField_.get(); }
  platform::View* saveButton() const { return save_.get(); }
  platform::View* cancelButton() const { return cancel_.get(); }

 private:
  std::shared_ptr<FileInDocuments> context_;
  FileInDocumentsManagedContext* store_;
  std::shared_ptr<platform::TextField> nameField_;
  platform::ViewPtr save_;
  platform::ViewPtr cancel_;
};

// One volume slider for its owner, who sets its range, value and action.
class VolumeEditViewController : public platform::ViewController {
 public:
  void loadView() override;
  platform::Size preferredContentSize() const override { return {260, 40}; }
  unsigned supportedInterfaceOrientations() const override { return 30; }
  platform::Slider* volumeSlider() const { return slider_.get(); }
  void setVolumeSlider(std::shared_ptr<platform::Slider> s) { slider_ = std::move(s); }

 private:
  std::shared_ptr<platform::Slider> slider_;
};

}  // namespace tssc
