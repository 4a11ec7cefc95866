#pragma once
// The Link kit's settings screen: a grouped table in which the user switches
// Link on and off, switches the in-app notifications and (where the app
// declares support) start/stop sync, and sees how many peers are connected.
//
// One screen is made per kit handle while the handle is built (the kit calls
// the environment's makeSettingsScreen, see linkScreensEnvironment) and
// lives as long as the handle; the main screen presents it as a popover.
// With Link off the table has the Link switch and a description under it;
// with Link on, also the notifications (and start/stop-sync) switches and
// the peer count under "CONNECTED PEERS"; switching Link fades those
// sections in or out.
//
// The insets of the description and browsing footers and of the switches
// follow the table's layout margins (the system's side margin plus the
// part of the window's safe area the table overlaps); when the margins
// change, every cell and footer is made again.
//
// The kit shows "Learn more at " and the Link web page's address (a link)
// in its navigation controller's toolbar. The platform has no toolbars: the
// line stands in a bar at the foot of the screen, in the table's colour,
// while the screen is shown. Main thread only.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "audio/link/abl_link.h"
#include "platform/ui/table_view.h"

namespace platform {
class Button;
class Label;
class Switch;
}  // namespace platform

struct LinkKitTexts;

class ABLSettingsViewController : public platform::TableViewController, public ABLLinkSettingsScreen {
 public:
  // The designated initialiser: the screen of `link`, with the kit's texts.
  ABLSettingsViewController(ABLLink* link, const LinkKitTexts& texts);
  ~ABLSettingsViewController() override;

  // ---- ABLLinkSettingsScreen
  uint64_t numberOfPeers() const override { return numberOfPeers_; }
  void setNumberOfPeers(uint64_t count) override;
  // The handle goes: forget it (the switches then change nothing).
  void deinit() override;

  bool isEnabled() const;
  bool isStartStopSyncEnabled() const;
  ABLLink* link() const { return link_; }

  // ---- the switches' actions
  void enableLink(bool on);
  void enableNotifications(bool on);
  void enableStartStopSync(bool on);

  // ---- table
  void viewDidLoad() override;
  int64_t numberOfSections(platform::TableView&) override;
  // Unknown sections have no rows.
  int64_t numberOfRowsInSection(platform::TableView&, int64_t section) override;
  // Unknown index paths have no cell.
  platform::TableViewCellPtr cellForRowAtIndexPath(platform::TableView&, const platform::IndexPath& ip) override;
  std::optional<std::string> titleForHeaderInSection(platform::TableView&, int64_t section) override;
  // The description under the Link switch while Link is off.
  std::optional<std::string> titleForFooterInSection(int64_t section) const;
  std::shared_ptr<platform::View> viewForFooterInSection(platform::TableView&, int64_t section) override;
  double heightForFooterInSection(platform::TableView&, int64_t section) override;
  // Rows are never highlighted or selected.
  std::optional<platform::IndexPath> willSelectRowAtIndexPath(platform::TableView&, const platform::IndexPath&) override {
    return std::nullopt;
  }
  bool shouldHighlightRowAtIndexPath(const platform::IndexPath&) const { return false; }
  // Drops every cached cell and footer and reloads.
  void recreateAllCells();

  // The cells' switches (made with their cells).
  platform::Switch* linkSwitch() const { return linkSwitch_.get(); }
  platform::Switch* notificationsSwitch() const { return notificationsSwitch_.get(); }
  platform::Switch* startStopSyncSwitch() const { return startStopSyncSwitch_.get(); }
  std::string statusText() const;
  // The description under the Link switch (null until first asked for).
  platform::View* descriptionFooter() const { return enableDisableCellFooter_.get(); }
  platform::Label* descriptionLabel() const { return descriptionLabel_.get(); }
  // The "Browsing" footer under the peer count (null until first asked for).
  platform::View* browsingFooter() const { return connectedAppsFooterView_.get(); }

  // The more-info line ("Learn more at " and the address, which opens the
  // page); made on first use, in the bar at the screen's foot while shown.
  platform::View* moreInfoLinkTextView();
  platform::Label* moreInfoLabel() const { return moreInfoLabel_.get(); }
  platform::Button* moreInfoLinkButton() const { return moreInfoLink_.get(); }
  // The table's layout margins as the footers and switches use them.
  platform::EdgeInsets layoutMargins() const;

  void viewWillAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;
  void viewDidLayoutSubviews() override;

  static constexpr double kBrowsingFooterHeight = 44.0;
  static constexpr double kSideMargin = 16.0;
  static constexpr double kToolbarHeight = 44.0;
  static constexpr double kSectionFade = 0.3;
  static constexpr const char* kLinkPageAddress = "ableton.com/link";
  static constexpr const char* kLinkPageURL = "https://www.ableton.com/link/";

 private:
  void updateConnectedPeersCount(uint64_t count);
  void animatedEnabledChange(bool on);
  // The views of the sections that come and go with Link (those made).
  std::vector<std::shared_ptr<platform::View>> switchedSectionViews() const;
  platform::TableViewCellPtr switchCell(platform::TableViewCell::Style style, const std::string& title,
                                        const std::string& subtitle, bool on,
                                        std::shared_ptr<platform::Switch>& slot, void (ABLSettingsViewController::*action)(bool));
  std::shared_ptr<platform::View> enableDisableCellFooter();
  std::shared_ptr<platform::View> connectedAppsFooterView();

  ABLLink* link_;
  const LinkKitTexts& texts_;
  uint64_t numberOfPeers_ = 0;
  platform::TableViewCellPtr enableDisableCell_;
  platform::TableViewCellPtr notificationsCell_;
  platform::TableViewCellPtr syncStartStopCell_;
  platform::TableViewCellPtr statusCell_;
  std::shared_ptr<platform::View> enableDisableCellFooter_;
  std::shared_ptr<platform::Label> descriptionLabel_;
  std::shared_ptr<platform::View> connectedAppsFooterView_;
  // Counts the switches' fades: a fade-out's late end acts only while no
  // later switch has started one (Link back on meanwhile keeps its views).
  // Shared with the completions, which may outlive the screen.
  std::shared_ptr<uint64_t> sectionFades_ = std::make_shared<uint64_t>(0);
  std::shared_ptr<platform::Switch> linkSwitch_;
  std::shared_ptr<platform::Switch> notificationsSwitch_;
  std::shared_ptr<platform::Switch> startStopSyncSwitch_;
  std::shared_ptr<platform::View> moreInfoLinkTextView_;
  std::shared_ptr<platform::Label> moreInfoLabel_;
  std::shared_ptr<platform::Button> moreInfoLink_;
  // The margins the cells and footers were last made with.
  std::optional<platform::EdgeInsets> appliedMargins_;
};

// The vending class the main screen asks for a handle's screen.
class ABLLinkSettingsViewController {
 public:
  ABLLinkSettingsViewController() = delete;
  // The handle's settings screen; null for a null handle or a handle made
  // without these screens.
  static std::shared_ptr<ABLSettingsViewController> instance(ABLLink* link);
};
