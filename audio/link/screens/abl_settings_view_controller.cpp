// The Link kit's settings screen.

#include "audio/link/screens/abl_settings_view_controller.h"

#include <algorithm>

#include "audio/link/localized_string.h"
#include "platform/ui/application.h"
#include "platform/ui/button.h"
#include "platform/ui/label.h"
#include "platform/ui/widgets.h"

using platform::IndexPath;
using platform::TableViewCell;
using platform::TableViewCellPtr;

namespace {

constexpr const char* kTitle = "Ableton Link";
constexpr int64_t kSectionsOn = 3;
constexpr int64_t kSectionsOff = 1;
const platform::Color kTableColor = platform::Color::white(0.94);
const platform::Color kLinkColor = platform::Color::rgba(0.0, 122.0 / 255.0, 1.0);

}  // namespace

ABLSettingsViewController::ABLSettingsViewController(ABLLink* link, const LinkKitTexts& texts)
    : platform::TableViewController(platform::TableView::Style::Grouped), link_(link), texts_(texts) {
  setTitle(kTitle);
}

ABLSettingsViewController::~ABLSettingsViewController() = default;

void ABLSettingsViewController::deinit() { link_ = nullptr; }

bool ABLSettingsViewController::isEnabled() const { return link_ && ABLLinkEnabled(link_); }

bool ABLSettingsViewController::isStartStopSyncEnabled() const { return link_ && ABLLinkStartStopSyncOn(link_); }

void ABLSettingsViewController::viewDidLoad() {
  platform::TableViewController::viewDidLoad();
  platform::TableView& table = *tableView();
  table.setBackgroundColor(kTableColor);
  table.setAllowsSelection(false);
  table.setDataSource(this);
  table.setTableDelegate(this);
}

// ---- peers ------------------------------------------------------------------------------

void ABLSettingsViewController::setNumberOfPeers(uint64_t count) {
  numberOfPeers_ = count;
  updateConnectedPeersCount(count);
}

std::string ABLSettingsViewController::statusText() const {
  return linkKitPeersConnectedText(texts_, numberOfPeers_);
}

void ABLSettingsViewController::updateConnectedPeersCount(uint64_t) {
  if (statusCell_) statusCell_->textLabel().setText(statusText());
}

// ---- switches ---------------------------------------------------------------------------

void ABLSettingsViewController::enableLink(bool on) {
  if (!link_) return;
  // The kit stores the setting, clears the count when off and, only on a
  // real change, switches Link and tells the app.
  if (!ABLLinkUserSetEnabled(link_, on)) return;
  animatedEnabledChange(on);
}

std::vector<std::shared_ptr<platform::View>> ABLSettingsViewController::switchedSectionViews() const {
  std::vector<std::shared_ptr<platform::View>> views;
  for (const std::shared_ptr<platform::View>& v :
       {std::static_pointer_cast<platform::View>(notificationsCell_), std::static_pointer_cast<platform::View>(syncStartStopCell_),
        std::static_pointer_cast<platform::View>(statusCell_), connectedAppsFooterView_})
    if (v) views.push_back(v);
  return views;
}

void ABLSettingsViewController::animatedEnabledChange(bool on) {
  if (enableDisableCellFooter_) enableDisableCellFooter_->setHidden(on);
  if (!isViewLoaded()) return;
  const uint64_t fade = ++*sectionFades_;
  platform::TableView& table = *tableView();
  // The leaving sections' views, where they stand before the update.
  std::vector<std::pair<std::shared_ptr<platform::View>, platform::Rect>> leaving;
  if (!on) {
    for (const std::shared_ptr<platform::View>& v : switchedSectionViews())
      if (v->superview() == &table) leaving.emplace_back(v, v->frame());
  }
  table.beginUpdates();
  table.endUpdates();
  if (on) {
    // The new sections fade in.
    const std::vector<std::shared_ptr<platform::View>> coming = switchedSectionViews();
    for (const std::shared_ptr<platform::View>& v : coming) v->setAlpha(0.0);
    platform::View::animate(kSectionFade, [coming] {
      for (const std::shared_ptr<platform::View>& v : coming) v->setAlpha(1.0);
    });
    return;
  }
  // The old sections fade out where they were, over the table as it is now;
  // the description fades in.
  std::weak_ptr<platform::View> weakTable = std::static_pointer_cast<platform::View>(table.shared_from_this());
  for (auto& [v, frame] : leaving) {
    table.addSubview(v);
    v->setFrame(frame);
  }
  if (enableDisableCellFooter_) enableDisableCellFooter_->setAlpha(0.0);
  std::shared_ptr<platform::View> description = enableDisableCellFooter_;
  // The completion is kept by the fading views' own layers: it holds them weakly.
  std::vector<std::weak_ptr<platform::View>> fading;
  for (const auto& [v, frame] : leaving) fading.push_back(v);
  platform::View::animate(
      kSectionFade,
      [leaving, description] {
        for (const auto& [v, frame] : leaving) v->setAlpha(0.0);
        if (description) description->setAlpha(1.0);
      },
      [fading, weakTable, fades = sectionFades_, fade](bool) {
        // Link switched on (or off) again since: that change owns the views now.
        if (*fades != fade) return;
        auto t = std::static_pointer_cast<platform::TableView>(weakTable.lock());
        const std::vector<platform::TableViewCell*> shown = t ? t->visibleCells() : std::vector<platform::TableViewCell*>{};
        for (const std::weak_ptr<platform::View>& w : fading) {
          const std::shared_ptr<platform::View> v = w.lock();
          if (!v) continue;
          // Back in the table already (Link switched on again meanwhile): it stays.
          const bool back = std::find(shown.begin(), shown.end(), v.get()) != shown.end();
          if (!back && t && v->superview() == t.get()) v->removeFromSuperview();
          v->setAlpha(1.0);
        }
      });
}

void ABLSettingsViewController::enableNotifications(bool on) {
  if (link_) ABLLinkUserSetNotificationsEnabled(link_, on);
}

void ABLSettingsViewController::enableStartStopSync(bool on) {
  if (link_) ABLLinkUserSetStartStopSyncEnabled(link_, on);
}

// ---- table ------------------------------------------------------------------------------

int64_t ABLSettingsViewController::numberOfSections(platform::TableView&) {
  return isEnabled() ? kSectionsOn : kSectionsOff;
}

int64_t ABLSettingsViewController::numberOfRowsInSection(platform::TableView&, int64_t section) {
  switch (section) {
    case 0: return 1;
    case 1: return link_ && ABLLinkStartStopSyncSupported(link_) ? 2 : 1;
    case 2: return 1;
    default: return 0;
  }
}

TableViewCellPtr ABLSettingsViewController::switchCell(TableViewCell::Style style, const std::string& title,
                                                       const std::string& subtitle, bool on,
                                                       std::shared_ptr<platform::Switch>& slot,
                                                       void (ABLSettingsViewController::*action)(bool)) {
  auto cell = std::make_shared<TableViewCell>(style, "");
  cell->setSelectionStyle(TableViewCell::SelectionStyle::None);
  cell->textLabel().setText(title);
  if (platform::Label* detail = cell->detailTextLabel()) {
    detail->setText(subtitle);
    detail->setTextColor(platform::Color::gray());
  }
  auto sw = std::make_shared<platform::Switch>();
  sw->setOn(on);
  sw->setAutoresizingMask(platform::Autoresizing::FlexibleLeftMargin);
  sw->addTarget(this, "switchChanged:",
                [this, action](platform::Control& c) { (this->*action)(static_cast<platform::Switch&>(c).isOn()); },
                platform::ControlEvents::ValueChanged);
  // The switch stands at the cell's right edge, inside the margin, as an
  // accessory would.
  const platform::Rect b = cell->bounds();
  sw->setFrame({b.maxX() - layoutMargins().right - platform::Switch::kSize.width,
                b.midY() - platform::Switch::kSize.height / 2, platform::Switch::kSize.width,
                platform::Switch::kSize.height});
  cell->contentView().addSubview(sw);
  slot = sw;
  return cell;
}

TableViewCellPtr ABLSettingsViewController::cellForRowAtIndexPath(platform::TableView&, const IndexPath& ip) {
  if (ip.section == 0 && ip.row == 0) {
    if (!enableDisableCell_) {
      enableDisableCell_ = switchCell(TableViewCell::Style::Default, kTitle, "", isEnabled(), linkSwitch_,
                                      &ABLSettingsViewController::enableLink);
    }
    return enableDisableCell_;
  }
  if (ip.section == 1 && ip.row == 0) {
    if (!notificationsCell_) {
      notificationsCell_ = switchCell(TableViewCell::Style::Subtitle, texts_.inAppNotificationTitle,
                                      texts_.inAppNotificationSubtitle, link_ && ABLLinkNotificationsEnabled(link_),
                                      notificationsSwitch_, &ABLSettingsViewController::enableNotifications);
    }
    return notificationsCell_;
  }
  if (ip.section == 1 && ip.row == 1) {
    if (!syncStartStopCell_) {
      syncStartStopCell_ = switchCell(TableViewCell::Style::Subtitle, texts_.syncStartStopTitle,
                                      texts_.syncStartStopSubtitle, isStartStopSyncEnabled(), startStopSyncSwitch_,
                                      &ABLSettingsViewController::enableStartStopSync);
    }
    return syncStartStopCell_;
  }
  if (ip.section == 2 && ip.row == 0) {
    if (!statusCell_) {
      statusCell_ = std::make_shared<TableViewCell>(TableViewCell::Style::Default, "");
      statusCell_->setSelectionStyle(TableViewCell::SelectionStyle::None);
      statusCell_->textLabel().setText(statusText());
    }
    return statusCell_;
  }
  return nullptr;
}

std::optional<std::string> ABLSettingsViewController::titleForHeaderInSection(platform::TableView&, int64_t section) {
  if (section == 2) return texts_.connectedPeersSectionTitle;
  return std::nullopt;
}

std::optional<std::string> ABLSettingsViewController::titleForFooterInSection(int64_t section) const {
  if (section == 0 && !isEnabled()) return texts_.descriptionLong;
  return std::nullopt;
}

std::shared_ptr<platform::View> ABLSettingsViewController::enableDisableCellFooter() {
  if (!enableDisableCellFooter_) {
    auto footer = std::make_shared<platform::View>(platform::Rect{0, 0, 320, 60});
    footer->setBackgroundColor(platform::Color::clear());
    const platform::EdgeInsets m = layoutMargins();
    auto text = std::make_shared<platform::Label>(platform::Rect{m.left, 8, 320 - m.left - m.right, 44});
    text->setFont(platform::Font::systemFont(13.0));
    text->setTextColor(platform::Color::lightGray());
    text->setBackgroundColor(platform::Color::clear());
    text->setNumberOfLines(0);
    text->setText(texts_.descriptionLong);
    text->setAutoresizingMask(platform::Autoresizing::FlexibleWidth | platform::Autoresizing::FlexibleHeight);
    footer->addSubview(text);
    footer->setHidden(isEnabled());
    descriptionLabel_ = text;
    enableDisableCellFooter_ = footer;
  }
  return enableDisableCellFooter_;
}

std::shared_ptr<platform::View> ABLSettingsViewController::connectedAppsFooterView() {
  if (!connectedAppsFooterView_) {
    auto footer = std::make_shared<platform::View>(platform::Rect{0, 0, 320, kBrowsingFooterHeight});
    footer->setBackgroundColor(platform::Color::clear());
    auto label = std::make_shared<platform::Label>();
    label->setFont(platform::Font::systemFont(13.0));
    label->setTextColor(platform::Color::lightGray());
    label->setText(texts_.browsing);
    label->sizeToFit();
    const platform::Size ls = label->bounds().size;
    const double left = layoutMargins().left;
    label->setFrame({left, (kBrowsingFooterHeight - ls.height) / 2, ls.width, ls.height});
    footer->addSubview(label);
    auto spinner = std::make_shared<platform::ActivityIndicatorView>(platform::ActivityIndicatorView::Style::Gray);
    const platform::Size ss = spinner->bounds().size;
    spinner->setFrame({left + ls.width + 8, (kBrowsingFooterHeight - ss.height) / 2, ss.width, ss.height});
    spinner->setTransform(platform::AffineTransform::makeScale(0.8, 0.8));
    spinner->startAnimating();
    footer->addSubview(spinner);
    connectedAppsFooterView_ = footer;
  }
  return connectedAppsFooterView_;
}

std::shared_ptr<platform::View> ABLSettingsViewController::viewForFooterInSection(platform::TableView&, int64_t section) {
  if (section == 0) return enableDisableCellFooter();
  if (section == 2) return connectedAppsFooterView();
  return nullptr;
}

double ABLSettingsViewController::heightForFooterInSection(platform::TableView& table, int64_t section) {
  if (section == 2) return kBrowsingFooterHeight;
  if (section != 0 || isEnabled()) return 0;
  // The description's own height at the table's width, inside the margins.
  enableDisableCellFooter();
  const platform::EdgeInsets m = layoutMargins();
  const double width = std::max(0.0, table.bounds().size.width - m.left - m.right);
  return descriptionLabel_->sizeThatFits({width, 1e6}).height + 2 * 8.0;
}

void ABLSettingsViewController::recreateAllCells() {
  enableDisableCell_.reset();
  notificationsCell_.reset();
  syncStartStopCell_.reset();
  statusCell_.reset();
  enableDisableCellFooter_.reset();
  descriptionLabel_.reset();
  connectedAppsFooterView_.reset();
  if (isViewLoaded()) tableView()->reloadData();
}

// ---- margins and the more-info bar --------------------------------------------------------

platform::EdgeInsets ABLSettingsViewController::layoutMargins() const {
  platform::EdgeInsets m{8, kSideMargin, 8, kSideMargin};
  if (!isViewLoaded()) return m;
  const platform::EdgeInsets safe = const_cast<ABLSettingsViewController*>(this)->view()->safeAreaInsets();
  m.left += safe.left;
  m.right += safe.right;
  return m;
}

platform::View* ABLSettingsViewController::moreInfoLinkTextView() {
  if (!moreInfoLinkTextView_) {
    auto bar = std::make_shared<platform::View>(platform::Rect{0, 0, 320, kToolbarHeight});
    // No bar look: the table's own colour.
    bar->setBackgroundColor(kTableColor);
    auto label = std::make_shared<platform::Label>();
    label->setFont(platform::Font::systemFont(13.0));
    label->setTextColor(platform::Color::lightGray());
    label->setBackgroundColor(platform::Color::clear());
    label->setText(texts_.linkHyperlink);
    label->sizeToFit();
    bar->addSubview(label);
    auto link = std::make_shared<platform::Button>(platform::Button::Type::Custom);
    link->titleLabel().setFont(platform::Font::systemFont(13.0));
    link->setTitle(kLinkPageAddress, platform::ControlState::Normal);
    link->setTitleColor(kLinkColor, platform::ControlState::Normal);
    link->sizeToFit();
    link->addTarget(this, "openLinkPage:",
                    [](platform::Control&) { platform::Application::sharedApplication().openURL(kLinkPageURL); },
                    platform::ControlEvents::TouchUpInside);
    bar->addSubview(link);
    moreInfoLinkTextView_ = bar;
    moreInfoLabel_ = label;
    moreInfoLink_ = link;
  }
  return moreInfoLinkTextView_.get();
}

void ABLSettingsViewController::viewWillAppear(bool animated) {
  platform::TableViewController::viewWillAppear(animated);
  moreInfoLinkTextView();
  tableView()->addSubview(moreInfoLinkTextView_);
  tableView()->setNeedsLayout();
}

void ABLSettingsViewController::viewWillDisappear(bool animated) {
  if (moreInfoLinkTextView_) moreInfoLinkTextView_->removeFromSuperview();
  platform::TableViewController::viewWillDisappear(animated);
}

void ABLSettingsViewController::viewDidLayoutSubviews() {
  platform::TableViewController::viewDidLayoutSubviews();
  const platform::EdgeInsets m = layoutMargins();
  if (appliedMargins_ && !(*appliedMargins_ == m)) {
    appliedMargins_ = m;
    recreateAllCells();
  }
  appliedMargins_ = m;
  if (moreInfoLinkTextView_ && moreInfoLinkTextView_->superview() == tableView()) {
    // The bar stays at the foot of what the table shows, whatever it scrolled.
    platform::TableView& table = *tableView();
    const platform::Rect b = table.bounds();
    moreInfoLinkTextView_->setFrame({b.minX(), b.maxY() - kToolbarHeight, b.width(), kToolbarHeight});
    const platform::Size ls = moreInfoLabel_->bounds().size;
    const platform::Size bs = moreInfoLink_->bounds().size;
    moreInfoLabel_->setFrame({m.left, (kToolbarHeight - ls.height) / 2, ls.width, ls.height});
    moreInfoLink_->setFrame({m.left + ls.width, (kToolbarHeight - bs.height) / 2, bs.width, bs.height});
    table.bringSubviewToFront(moreInfoLinkTextView_.get());
  }
}

// ---- vending ----------------------------------------------------------------------------

std::shared_ptr<ABLSettingsViewController> ABLLinkSettingsViewController::instance(ABLLink* link) {
  auto* screen = dynamic_cast<ABLSettingsViewController*>(ABLLinkSettingsScreenOf(link));
  if (!screen) return nullptr;
  return std::static_pointer_cast<ABLSettingsViewController>(screen->shared_from_this());
}
