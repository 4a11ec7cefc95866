#include "soundcloud-sdk/ui/sc_recording_views.h"

#include <algorithm>
#include <cmath>

#include "platform/notify/notification_center.h"
#include "platform/ui/application.h"
#include "soundcloud-sdk/ui/sc_bundle.h"
#include "soundcloud-sdk/ui/sc_colors.h"
#include "soundcloud-sdk/ui/sc_ui_utils.h"

namespace scui {

using platform::Color;
using platform::Font;
using platform::Rect;
using platform::Size;
namespace AR = platform::Autoresizing;
namespace CS = platform::ControlState;

namespace {

constexpr double kSystemFontSize = 14;
constexpr double kSmallSystemFontSize = 12;

// An image scaled to `size`, or as it is when there is no size yet.
platform::ImagePtr scaled(const platform::ImagePtr& image, Size size) {
  if (!image) return nullptr;
  if (size.width < 1 || size.height < 1) return image;
  return scImageByResizing(*image, size, true);
}

Size textSize(const std::string& text, const Font& font, double maxWidth) {
  platform::TextStyle st;
  st.font = font;
  st.numberOfLines = maxWidth > 0 ? 0 : 1;
  st.lineBreak = platform::LineBreakMode::WordWrap;
  return platform::measureText(text, st, maxWidth);
}

void fillVerticalGradient(platform::GraphicsContext& c, const Rect& r, const std::vector<Color>& colors) {
  if (colors.empty()) return;
  if (colors.size() == 1) {
    c.setFillColor(colors[0]);
    c.fillRect(r);
    return;
  }
  cairo_pattern_t* g = cairo_pattern_create_linear(0, r.minY(), 0, r.maxY());
  for (size_t i = 0; i < colors.size(); ++i)
    cairo_pattern_add_color_stop_rgba(g, static_cast<double>(i) / static_cast<double>(colors.size() - 1), colors[i].red(),
                                      colors[i].green(), colors[i].blue(), colors[i].alpha());
  cairo_t* cr = c.cairo();
  cairo_save(cr);
  cairo_rectangle(cr, r.origin.x, r.origin.y, r.size.width, r.size.height);
  cairo_set_source(cr, g);
  cairo_fill(cr);
  cairo_restore(cr);
  cairo_pattern_destroy(g);
}

}  // namespace

// ---- header

SCRecordingSaveViewControllerHeaderView::SCRecordingSaveViewControllerHeaderView(const Rect& frame)
    : platform::View(frame) {
  setDrawsContent(true);
  setBackgroundColor(Color::clear());
  firstHR_ = std::make_shared<SCHorizontalLineView>();
  secondHR_ = std::make_shared<SCHorizontalLineView>();
  avatar_ = std::make_shared<platform::ImageView>(Rect{0, 0, 20, 20});
  name_ = std::make_shared<platform::Label>();
  name_->setBackgroundColor(Color::clear());
  name_->setTextColor(Color::white(1.0));
  name_->setFont(Font::systemFont(15));
  separator_ = std::make_shared<platform::View>(Rect{0, 0, 1, 16});
  separator_->setBackgroundColor(Color::black());
  logout_ = std::make_shared<SCUnderlinedButton>();
  logout_->setBackgroundColor(Color::clear());
  logout_->titleLabel().setFont(Font::systemFont(15));
  logout_->setTitleColor(Color::white(1.0), CS::Normal);
  logout_->setTitle(SCLocalizedString("record_save_logout"), CS::Normal);
  logout_->sizeToFit();
  cover_ = std::make_shared<SCCoverImageButton>();
  cover_->titleLabel().setLineBreakMode(platform::LineBreakMode::WordWrap);
  cover_->titleLabel().setNumberOfLines(0);
  cover_->titleLabel().setTextAlignment(platform::TextAlignment::Center);
  cover_->titleLabel().setFont(Font::systemFont(kSmallSystemFontSize));
  auto field = [this](const std::string& placeholderKey) {
    auto f = std::make_shared<SCTextField>();
    f->setTextAlignment(platform::TextAlignment::Left);
    f->setTextColor(Color::white(1.0));
    f->setFont(Font::systemFont(15));
    f->setPlaceholder(SCLocalizedString(placeholderKey));
    f->setDelegate(this);
    return f;
  };
  what_ = field("record_save_what");
  where_ = field("record_save_where");
  disclosure_ = std::make_shared<platform::Button>(platform::Button::Type::Custom);
  disclosure_->setImage(SCBundle::imageWithName("DisclosureIndicator"), CS::Normal);
  disclosure_->setAdjustsImageWhenHighlighted(false);
  disclosure_->sizeToFit();
  switch_ = std::make_shared<SCSwitch>();
  switch_->setOnText(SCLocalizedString("sc_upload_public"));
  switch_->setOffText(SCLocalizedString("sc_upload_private"));
  for (platform::ViewPtr v : std::initializer_list<platform::ViewPtr>{firstHR_, secondHR_, avatar_, name_, separator_, logout_,
                                                                    cover_, what_, where_, disclosure_, switch_})
    addSubview(v);
  setUserName(std::nullopt);
  setAvatarImage(nullptr);
  setCoverImage(nullptr);
}

void SCRecordingSaveViewControllerHeaderView::setAvatarImage(platform::ImagePtr image) {
  if (!image) image = SCBundle::imageWithName("default-avatar");
  avatar_->setImage(scaled(image, avatar_->bounds().size));
}

void SCRecordingSaveViewControllerHeaderView::setUserName(const std::optional<std::string>& name) {
  hasName_ = name.has_value();
  name_->setText(name.value_or(""));
  setNeedsLayout();
  layoutIfNeeded();
}

void SCRecordingSaveViewControllerHeaderView::setCoverImage(platform::ImagePtr image) {
  if (!image) {
    cover_->setTitle(SCLocalizedString("record_save_add_cover_artwork"), CS::Normal);
    cover_->setImage(nullptr, CS::Normal);
  } else {
    cover_->setTitle("", CS::Normal);
    cover_->setImage(scaled(image, cover_->bounds().size), CS::Normal);
  }
}

float SCRecordingSaveViewControllerHeaderView::margin() const { return SCDevice::isIPad() ? 30.0f : 9.0f; }

Rect SCRecordingSaveViewControllerHeaderView::textRect() const {
  const Rect c = cover_->frame();
  const double x = c.maxX() + 11;
  return {x, c.minY(), bounds().size.width - margin() - x, c.size.height};
}

void SCRecordingSaveViewControllerHeaderView::layoutSubviews() {
  const double m = margin();
  const double W = bounds().size.width;
  avatar_->setFrame({m + 3, 10, 20, 20});
  const std::string title = logout_->titleForState(CS::Normal);
  const Size logoutSize = title.empty() ? Size{} : textSize(title, logout_->titleLabel().font(), 0);
  const double room = W - 2 * m - 30 - avatar_->bounds().size.width - separator_->bounds().size.width - logoutSize.width;
  Size nameSize = hasName_ && !name_->text().empty() ? textSize(name_->text(), name_->font(), 0) : Size{};
  nameSize.width = std::min(nameSize.width, std::max(0.0, room));
  name_->setFrame({avatar_->frame().maxX() + 10, 10, nameSize.width, nameSize.height});
  const Rect anchor = hasName_ ? name_->frame() : avatar_->frame();
  separator_->setFrame({anchor.maxX() + 10, anchor.midY() - 8, 1, 16});
  logout_->setFrame(title.empty() ? Rect{} : Rect{separator_->frame().maxX() + 10, 10, logoutSize.width, logoutSize.height});
  firstHR_->setFrame({0, avatar_->frame().maxY() + 10, W, 2});
  cover_->setFrame({m, firstHR_->frame().maxY() + 13, 82, 82});
  const Rect t = textRect();
  const double half = t.size.height / 2;
  what_->setFrame(Rect{t.origin.x, t.origin.y, t.size.width, half}.insetBy(10, 0));
  Rect lower = Rect{t.origin.x, t.origin.y + half, t.size.width, t.size.height - half}.insetBy(10, 0);
  lower.size.width -= disclosure_->bounds().size.width / 2 + 10;
  where_->setFrame(lower);
  disclosure_->setCenter({where_->frame().maxX() + 10, where_->frame().midY()});
  switch_->setFrame({m, cover_->frame().maxY() + 15, W - 2 * m, 30});
  secondHR_->setFrame({0, switch_->frame().maxY() + 15, W, 2});
  setBounds({0, 0, W, secondHR_->frame().maxY()});
  setNeedsDisplay();
}

void SCRecordingSaveViewControllerHeaderView::drawRect(const Rect&) {
  platform::GraphicsContext* c = platform::currentGraphicsContext();
  const Rect t = textRect().insetBy(0.5, 0.5);
  c->setLineWidth(1);
  c->setStrokeColor(Color::black());
  c->setFillColor(SCColors::transparentBlack());
  SCAddRoundedRectToContext(*c, t, 7);
  c->fillPath();
  SCAddRoundedRectToContext(*c, t, 7);
  const Rect whole = textRect();
  c->moveTo(whole.minX(), whole.midY() + 0.5);
  c->addLineTo(whole.maxX(), whole.midY() + 0.5);
  c->strokePath();
}

// ---- gradient view

SCGradientView::SCGradientView(const Rect& frame) : platform::View(frame) { setDrawsContent(true); }

void SCGradientView::setColors(std::vector<Color> colors) {
  colors_ = std::move(colors);
  setNeedsDisplay();
}

void SCGradientView::drawRect(const Rect&) { fillVerticalGradient(*platform::currentGraphicsContext(), bounds(), colors_); }

// ---- upload card

SCRecordingUploadProgressView::SCRecordingUploadProgressView(const Rect& frame) : platform::ScrollView(frame) {
  setAutoresizingMask(AR::FlexibleWidth | AR::FlexibleHeight);
  setBackgroundColor(Color::clear());
  setAlwaysBounceVertical(false);
  setBounces(false);
  inset_ = SCDevice::isIPad() ? platform::EdgeInsets{48, 44, 64, 44} : platform::EdgeInsets{24, 22, 32, 22};
  platform::NotificationCenter::defaultCenter().addObserver(
      this, platform::kApplicationWillEnterForegroundNotification, [this](const platform::Notification&) { setNeedsLayout(); });
}

SCRecordingUploadProgressView::~SCRecordingUploadProgressView() {
  platform::NotificationCenter::defaultCenter().removeObserver(this);
}

template <typename T>
T& SCRecordingUploadProgressView::part(std::shared_ptr<T>& slot, const std::function<std::shared_ptr<T>()>& make) {
  if (!slot) {
    slot = make();
    contentView().addSubview(slot);
  }
  return *slot;
}

SCGradientView& SCRecordingUploadProgressView::contentView() {
  if (!content_) {
    content_ = std::make_shared<SCGradientView>();
    content_->setBackgroundColor(Color::white(1.0));
    content_->layer().setShadowOffset({3, 5});
    content_->layer().setShadowRadius(5);
    content_->layer().setShadowOpacity(0.8);
    content_->layer().setCornerRadius(8);
    content_->setColors({Color::white(1.0), Color::white(0.95)});
    addSubview(content_);
  }
  return *content_;
}

platform::ImageView& SCRecordingUploadProgressView::artworkView() {
  return part<platform::ImageView>(artwork_, [] {
    const double side = SCDevice::isIPad() ? 80 : 40;
    return std::make_shared<platform::ImageView>(Rect{0, 0, side, side});
  });
}

platform::Label& SCRecordingUploadProgressView::title() {
  return part<platform::Label>(title_, [] {
    auto l = std::make_shared<platform::Label>();
    l->setBackgroundColor(Color::clear());
    l->setNumberOfLines(2);
    l->setLineBreakMode(platform::LineBreakMode::WordWrap);
    l->setFont(Font::boldSystemFont(kSystemFontSize));
    return l;
  });
}

platform::ProgressView& SCRecordingUploadProgressView::progress() {
  return part<platform::ProgressView>(progress_, [] {
    auto p = std::make_shared<platform::ProgressView>(platform::ProgressView::Style::Default);
    p->setBackgroundColor(Color::clear());
    return p;
  });
}

platform::Label& SCRecordingUploadProgressView::progressLabel() {
  return part<platform::Label>(progressLabel_, [] {
    auto l = std::make_shared<platform::Label>();
    l->setFont(Font::systemFont(kSmallSystemFontSize));
    l->setBackgroundColor(Color::clear());
    l->setText(SCLocalizedString("record_save_uploading"));
    return l;
  });
}

platform::View& SCRecordingUploadProgressView::firstSeparator() {
  return part<platform::View>(first_, [] {
    auto v = std::make_shared<platform::View>();
    v->setBackgroundColor(Color::white(0.9));
    return v;
  });
}

platform::View& SCRecordingUploadProgressView::secondSeparator() {
  return part<platform::View>(second_, [] {
    auto v = std::make_shared<platform::View>();
    v->setBackgroundColor(Color::white(0.9));
    return v;
  });
}

platform::ImageView& SCRecordingUploadProgressView::resultImage() {
  return part<platform::ImageView>(result_, [] { return std::make_shared<platform::ImageView>(); });
}

OHAttributedLabel& SCRecordingUploadProgressView::resultText() {
  return part<OHAttributedLabel>(resultText_, [] {
    auto l = std::make_shared<OHAttributedLabel>();
    l->setBackgroundColor(Color::clear());
    l->setNumberOfLines(0);
    l->setFont(Font::systemFont(15));
    return l;
  });
}

platform::Button& SCRecordingUploadProgressView::openAppButton() {
  return part<platform::Button>(openApp_, [this] {
    auto b = std::make_shared<SCGradientButton>();
    b->layer().setBorderWidth(0);
    b->layer().setCornerRadius(0);
    b->setBackgroundColor(Color::clear());
    b->setBackgroundImage(SCBundle::imageWithName("open-bg"), CS::Normal);
    b->setTitle(SCLocalizedString("open_soundcloud"), CS::Normal);
    b->setTitleColor(Color::black(), CS::Normal);
    b->titleLabel().setFont(Font::systemFont(kSmallSystemFontSize));
    b->setTitleEdgeInsets({0, 10, 0, 10});
    b->addTarget(this, "openApp:", [this](platform::Control&) { openApp(); }, platform::ControlEvents::TouchUpInside);
    const Size s = textSize(b->titleForState(CS::Normal), b->titleLabel().font(), 0);
    const Size bg = b->backgroundImageForState(CS::Normal) ? b->backgroundImageForState(CS::Normal)->size() : Size{};
    b->setFrame({0, 0, std::max(s.width, bg.width) + 20, std::max(s.height, bg.height)});
    return std::static_pointer_cast<platform::Button>(b);
  });
}

platform::Button& SCRecordingUploadProgressView::openAppStoreButton() {
  return part<platform::Button>(openAppStore_, [this] {
    auto b = std::make_shared<platform::Button>(platform::Button::Type::Custom);
    b->setBackgroundColor(Color::clear());
    b->setImage(SCBundle::imageWithName("appstore"), CS::Normal);
    b->addTarget(this, "openAppStore:", [this](platform::Control&) { openAppStore(); },
                 platform::ControlEvents::TouchUpInside);
    b->sizeToFit();
    return b;
  });
}

void SCRecordingUploadProgressView::setArtwork(platform::ImagePtr image) {
  artworkView().setImage(scaled(image, artworkView().frame().size));
}

std::optional<std::string> SCRecordingUploadProgressView::appURL() const {
  platform::Application& app = platform::Application::sharedApplication();
  std::string id;
  if (auto it = trackInfo_.find("id"); it != trackInfo_.end()) {
    if (it->second.isString()) id = it->second.stringValue();
    else if (it->second.isNumber()) id = std::to_string(it->second.integerValue());
  }
  const std::string track = "soundcloud:tracks:" + id;
  if (app.canOpenURL(track)) return track;
  if (app.canOpenURL("x-soundcloud:")) return std::string("x-soundcloud:");
  return std::nullopt;
}

void SCRecordingUploadProgressView::openApp() {
  if (auto url = appURL()) platform::Application::sharedApplication().openURL(*url);
}

void SCRecordingUploadProgressView::openAppStore() { platform::Application::sharedApplication().openURL(kAppStoreURL); }

void SCRecordingUploadProgressView::layoutSubviews() {
  const bool pad = SCDevice::isIPad();
  const double p = pad ? 24 : 12, t = pad ? 24 : 16;
  const double I = bounds().size.width - inset_.left - inset_.right;
  const double C = I - 2 * p;
  double x = p, cursor = p;
  platform::ImageView& art = artworkView();
  const bool hasArt = art.image() != nullptr;
  if (hasArt) {
    art.setFrame({p, t, art.frame().size.width, art.frame().size.height});
    cursor = p + (pad ? 18 : 10) + art.frame().size.width;
  }
  double y;
  platform::Label& ttl = title();
  if (!ttl.text().empty()) {
    const Size s = textSize(ttl.text(), ttl.font(), C - cursor);
    ttl.setFrame({cursor, t, s.width, s.height});
    y = (hasArt ? art.frame().maxY() : ttl.frame().maxY()) + 12;
  } else {
    x = cursor;
    y = t;
  }
  firstSeparator().setFrame({x, y, C, 1});
  y += 1;
  platform::Label& status = progressLabel();
  auto statusLine = [&](const std::string& key) {
    status.setText(SCLocalizedString(key));
    const Size s = textSize(status.text(), status.font(), 0);
    status.setFrame({x, y, C, s.height});
  };
  double bottom = 0;
  if (state_ == Succeeded) {
    progress().setHidden(true);
    secondSeparator().setHidden(false);
    resultImage().setHidden(false);
    y += 12;
    statusLine("record_save_upload_success");
    y += status.frame().size.height + 18;
    secondSeparator().setFrame({x, y, C, 1});
    y += 1;
    platform::ImageView& img = resultImage();
    if (pad) {
      y += 16;
      img.setImage(SCBundle::imageWithName("ipad"));
      x -= 15;
      img.setFrame({x, y, 180, 144});
    } else {
      y += 8;
      img.setImage(SCBundle::imageWithName("iphone"));
      img.setFrame({x, y, 70, 151});
    }
    img.setClipsToBounds(true);
    img.setContentMode(platform::ContentMode::TopLeft);
    const double g = pad ? 28 : 10;
    const double width = C - 3 - img.frame().size.width - g;
    OHAttributedLabel& text = resultText();
    platform::Button* shown = nullptr;
    if (appURL()) {
      openAppButton().setHidden(false);
      openAppStoreButton().setHidden(true);
      text.setText(SCLocalizedString("record_save_upload_success_message_app"));
      const Size s = text.sizeThatFits({width, 1e9});
      text.setFrame({img.frame().maxX() + g, img.frame().minY() + 6, s.width, s.height});
      const Rect b = openAppButton().frame();
      openAppButton().setFrame({img.frame().maxX() + g, text.frame().maxY() + 20, b.size.width, b.size.height});
      shown = &openAppButton();
    } else {
      openAppButton().setHidden(true);
      openAppStoreButton().setHidden(false);
      const std::string format = SCLocalizedString("record_save_upload_success_message_appstore");
      const std::string insert = SCLocalizedString("record_save_upload_success_message_appstore_substring");
      std::string message = format;
      const size_t at = format.find("%@");
      if (at != std::string::npos) message.replace(at, 2, insert);
      OHAttributedString styled(message);
      styled.setFont(text.font());
      styled.setTextColor(text.textColor());
      if (at != std::string::npos) {
        const size_t from = styled.unitIndex(at), to = styled.unitIndex(at + insert.size());
        styled.setTextColor(Color::rgba(1.0, 0.5, 0.0, 1.0), {from, to - from});
      }
      text.setAttributedText(styled);
      const Size s = text.sizeThatFits({width, 1e9});
      text.setFrame({img.frame().maxX() + g, img.frame().minY() + 6, s.width, s.height});
      const Rect b = openAppStoreButton().frame();
      openAppStoreButton().setFrame({img.frame().maxX() + g, text.frame().maxY() + 10, b.size.width, b.size.height});
      shown = &openAppStoreButton();
    }
    bottom = std::max(static_cast<float>(shown->frame().maxY()), static_cast<float>(img.frame().maxY()));
    if (!pad) bottom -= 8;
  } else if (state_ == Failed) {
    progress().setHidden(true);
    openAppButton().setHidden(true);
    openAppStoreButton().setHidden(true);
    secondSeparator().setHidden(false);
    resultImage().setHidden(false);
    y += 12;
    statusLine("record_save_upload_fail");
    y += status.frame().size.height + 18;
    secondSeparator().setFrame({x, y, C, 1});
    y += 1 + (pad ? 16 : 8);
    platform::ImageView& img = resultImage();
    img.setImage(SCBundle::imageWithName("fail"));
    const Size s = img.image() ? img.image()->size() : Size{};
    img.setFrame({I / 2 - s.width / 2, y, s.width, s.height});
    bottom = y + s.height;
  } else {
    openAppButton().setHidden(true);
    openAppStoreButton().setHidden(true);
    secondSeparator().setHidden(true);
    resultImage().setHidden(true);
    progress().setHidden(false);
    y += 12;
    statusLine("record_save_uploading");
    y += status.frame().size.height + 6;
    const Size ps = progress().sizeThatFits({C, 0});
    progress().setFrame({x, y, C, ps.height});
    bottom = y + ps.height;
  }
  setContentSize({I, bottom + t});
  contentView().setFrame({0, 0, I, bottom + t});
}

// ---- share title bar

SCShareToSoundCloudTitleView::SCShareToSoundCloudTitleView(const Rect& frame) : platform::View(frame) {
  setDrawsContent(true);
  setBackgroundColor(Color::black());
  setAutoresizingMask(AR::FlexibleWidth);
  for (auto [name, x] : {std::pair<const char*, double>{"cloud", 9}, {"sharetosc", 43}}) {
    auto v = std::make_shared<platform::ImageView>(SCBundle::imageWithName(name));
    v->setFrame({x, 7, v->frame().size.width, v->frame().size.height});
    v->setAutoresizingMask(AR::FlexibleRightMargin | AR::FlexibleBottomMargin);
    addSubview(v);
  }
}

void SCShareToSoundCloudTitleView::drawRect(const Rect&) {
  const Rect b = bounds();
  fillVerticalGradient(*platform::currentGraphicsContext(), {b.origin.x, b.origin.y, b.size.width, b.size.height - 1},
                       {Color::rgba(1.0, 0.4, 0.0, 1.0), Color::rgba(1.0, 0.21, 0.0, 1.0)});
}

}  // namespace scui
