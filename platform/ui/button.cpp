#include "platform/ui/button.h"

#include <algorithm>

namespace platform {

Button::Button(Type type, const Rect& frame) : Control(frame), type_(type) {
  titleLabel_.setFont(Font::systemFont(15));
  titleLabel_.setTextAlignment(TextAlignment::Center);
  setDrawsContent(true);
}

template <typename T>
const T* Button::lookup(const std::map<unsigned, T>& m, unsigned state) {
  if (auto it = m.find(state); it != m.end()) return &it->second;
  if (auto it = m.find(ControlState::Normal); it != m.end()) return &it->second;
  return nullptr;
}

void Button::setTitle(const std::string& title, unsigned state) {
  titles_[state] = title;
  setNeedsDisplay();
}
std::string Button::titleForState(unsigned state) const {
  const std::string* t = lookup(titles_, state);
  return t ? *t : std::string();
}
void Button::setTitleColor(const Color& c, unsigned state) {
  titleColors_[state] = c;
  setNeedsDisplay();
}
Color Button::titleColorForState(unsigned state) const {
  const Color* c = lookup(titleColors_, state);
  if (c) return *c;
  return type_ == Type::System ? tint_ : Color::whiteColor();
}
void Button::setImage(ImagePtr image, unsigned state) {
  images_[state] = std::move(image);
  setNeedsDisplay();
}
ImagePtr Button::imageForState(unsigned state) const {
  const ImagePtr* i = lookup(images_, state);
  return i ? *i : nullptr;
}
void Button::setBackgroundImage(ImagePtr image, unsigned state) {
  backgrounds_[state] = std::move(image);
  setNeedsDisplay();
}
ImagePtr Button::backgroundImageForState(unsigned state) const {
  const ImagePtr* i = lookup(backgrounds_, state);
  return i ? *i : nullptr;
}
void Button::setEnabled(bool e) {
  if (e == isEnabled()) return;
  Control::setEnabled(e);
  setNeedsDisplay();
}
void Button::setSelected(bool s) {
  if (s == isSelected()) return;
  Control::setSelected(s);
  setNeedsDisplay();
}
void Button::setHighlighted(bool h) {
  if (h == isHighlighted()) return;
  Control::setHighlighted(h);
  setNeedsDisplay();
}
void Button::setTintColor(const Color& c) {
  tint_ = c;
  setNeedsDisplay();
}

Size Button::sizeThatFits(Size) const {
  TextStyle st;
  st.font = const_cast<Button*>(this)->titleLabel_.font();
  Size text = measureText(currentTitle(), st, 0);
  ImagePtr img = currentImage();
  ImagePtr bg = currentBackgroundImage();
  Size s{text.width + (img ? img->size().width : 0), std::max(text.height, img ? img->size().height : 0.0)};
  if (bg) s = {std::max(s.width, bg->size().width), std::max(s.height, bg->size().height)};
  return {s.width, std::max(s.height, 1.0)};
}

void Button::drawRect(const Rect&) {
  GraphicsContext* ctx = currentGraphicsContext();
  const Rect b = bounds();
  const unsigned st = state();
  const bool highlighted = isHighlighted();
  // Darkened while pressed unless the pressed state has its own pictures.
  const bool darken = type_ == Type::Custom && highlighted && adjustsHighlighted_ && !backgrounds_.count(st) &&
                      !images_.count(st);
  const double alpha = isEnabled() ? 1.0 : 0.5;

  ctx->saveGState();
  ctx->setAlpha(alpha);
  ctx->beginTransparencyLayer();
  if (ImagePtr bg = currentBackgroundImage()) ctx->drawImage(*bg, b);

  ImagePtr img = currentImage();
  const std::string title = currentTitle();
  TextStyle ts;
  ts.font = titleLabel_.font();
  ts.lineBreak = titleLabel_.lineBreakMode();
  ts.numberOfLines = titleLabel_.numberOfLines();
  ts.color = titleColorForState(st);
  if (type_ == Type::System && highlighted) ts.color = ts.color.withAlpha(ts.color.alpha() * 0.2);
  const Size textSize = title.empty() ? Size{} : measureText(title, ts, b.size.width);
  const Size imgSize = img ? img->size() : Size{};
  const double total = imgSize.width + textSize.width;
  double x = b.origin.x + (b.size.width - total) / 2;
  if (img) {
    ctx->drawImage(*img, {x, b.origin.y + (b.size.height - imgSize.height) / 2, imgSize.width, imgSize.height});
    x += imgSize.width;
  }
  if (!title.empty()) {
    ts.alignment = img ? TextAlignment::Left : titleLabel_.textAlignment();
    const Rect tr = img ? Rect(x, b.origin.y + (b.size.height - textSize.height) / 2, textSize.width + 1, textSize.height)
                        : Rect(b.origin.x, b.origin.y + (b.size.height - textSize.height) / 2, b.size.width, textSize.height);
    drawText(*ctx, title, tr, ts);
  }
  if (darken) {
    // The pressed look: everything drawn so far, darker.
    ctx->setBlendMode(BlendMode::SourceAtop);
    ctx->setFillColor(Color::black().withAlpha(0.3));
    ctx->fillRect(b);
  }
  ctx->endTransparencyLayer();
  ctx->restoreGState();
}

}  // namespace platform
