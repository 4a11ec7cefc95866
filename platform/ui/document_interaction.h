#pragma once
// The "Open In" stand-in for a file: a small menu under a rectangle of a
// view offering to save a copy of the file in the user's folder for such
// files, to open a copy with the desktop's default application, or to
// cancel. The copy is complete before the menu reports its dismissal, so
// an owner that deletes the file when the menu closes loses nothing.
//
// The folder is $IGB_EXPORT_DIR, else $XDG_DOWNLOAD_DIR, else ~/Downloads;
// a copy never overwrites a file there (" 2", " 3", ... before the
// extension).
//
// Main thread only.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/view.h"

namespace platform {

class DocumentInteractionController;

class DocumentInteractionControllerDelegate {
 public:
  virtual ~DocumentInteractionControllerDelegate() = default;
  virtual void documentInteractionControllerDidDismissOpenInMenu(DocumentInteractionController&) {}
};

class DocumentInteractionController : public std::enable_shared_from_this<DocumentInteractionController> {
 public:
  enum Item { kSaveCopy = 0, kOpen = 1, kCancel = 2 };

  static std::shared_ptr<DocumentInteractionController> interactionControllerWithURL(const std::filesystem::path& file);
  explicit DocumentInteractionController(std::filesystem::path file);

  const std::filesystem::path& url() const { return file_; }
  DocumentInteractionControllerDelegate* delegate() const { return delegate_; }
  // Not owned.
  void setDelegate(DocumentInteractionControllerDelegate* d) { delegate_ = d; }

  // Shows the menu; false (and no menu) when the file or the view's window is missing.
  bool presentOpenInMenuFromRect(const Rect& rect, View* view, bool animated);
  void dismissMenuAnimated(bool animated);
  bool isMenuVisible() const { return static_cast<bool>(menu_); }
  std::vector<std::string> menuItemTitles() const;
  // What a tap on an item does.
  void selectItem(int item);
  // Where the last copy went.
  const std::optional<std::filesystem::path>& lastCopy() const { return lastCopy_; }

  static std::filesystem::path exportDirectory();

 private:
  bool copyOut();
  void finish();

  std::filesystem::path file_;
  DocumentInteractionControllerDelegate* delegate_ = nullptr;
  ViewPtr menu_;
  std::optional<std::filesystem::path> lastCopy_;
};

}  // namespace platform
