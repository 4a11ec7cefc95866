// A screen of the panel's buttons and knobs, laid out on the design canvas
// with the generated artwork, rendered headless to PNG and checked at a few
// places against the pixels the artwork and the control rules predict.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>

#include "controls/ti_button.h"
#include "controls/ui_slider_button.h"
#include "platform/foundation/bundle.h"
#include "platform/ui/headless/headless_backend.h"
#include "platform/ui/image_view.h"

using namespace platform;

namespace {

constexpr double kPi = 3.14159265358979323846;

class PanelRenderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Bundle::setMainBundlePath(std::filesystem::path(IGB_BUNDLE_DIR));
    Image::clearNamedCache();
    char tmpl[] = "/tmp/igb-panel-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir = tmpl;
    window = hb.makeWindow();

    // The canvas: scaled to the screen width with its anchor at the top left.
    canvas = std::make_shared<ImageView>(Image::named("Background_Main_iPhone"));
    ASSERT_TRUE(canvas->image()) << "the bundle has no panel background";
    canvas->layer().setAnchorPoint({0, 0});
    canvas->setUserInteractionEnabled(true);
    canvas->setClipsToBounds(true);
    const double W = window->bounds().size.width;
    canvas->setTransform(AffineTransform::makeScale(W / 736, W / 736));
    canvas->setFrame({0, std::trunc(window->bounds().midY() - 0.28125 * W), W, 0.5625 * W});
    window->addSubview(canvas);

    play = button<TIButton>({168, 212.5, 62.5, 48.5}, "playButton", "playButtonActive", "playButtonActive_Highlighted");
    mute = button<TIButton>({23, 152, 62.5, 48}, "muteButton", "muteButtonActive", "muteButtonActive_Highlighted");
    part = button<TIButton>({341.5, 278, 46, 57}, "part2Normal", "part2Active", "part2Active_Highlighted",
                            "part2Selected");
    record = button<TIToggleButton>({23.5, 212.5, 62.5, 48.5}, "recButtonNormal", "recButtonActive",
                                    "recButtonActive_Highlighted");
    step = button<TIButton>({24.5, 342, 34.5, 62}, "seq1Normal", "seq1Active", "seq1Active_Highlighted", "seq1Selected");

    pitch = knob({336.5, 32, 53, 53}, "Pitch_Knob");
    decay = knob({581, 32, 53, 53}, "Decay_Knob");
    level = knob({657.5, 32, 53, 53}, "Level_Knob");
    dial = std::make_shared<UISliderButton>(Rect(240.5, 54.5, 66, 66));
    dial->setMaxValue(415);
    dial->setMinValue(0);
    dial->setBaseImage(Image::named("Encoder"));
    dial->setBaseImageActive(Image::named("Encoder"));
    dial->setRotateResolution(24);
    dial->setEncoderMode(true);
    dial->setSensitivity(0.27);
    canvas->addSubview(dial);

    auto socket = std::make_shared<ImageView>(Image::named("led_Off"));
    socket->setFrame({328.5, 97.5, 17, 17});
    canvas->addSubview(socket);
    lamp = std::make_shared<ImageView>(Image::named("ledRed"));
    lamp->setFrame({328.5, 97.5, 17, 17});
    canvas->addSubview(lamp);
  }
  void TearDown() override {
    Bundle::setMainBundlePath(std::nullopt);
    Image::clearNamedCache();
    std::filesystem::remove_all(dir);
  }

  template <typename T>
  std::shared_ptr<T> button(const Rect& frame, const char* normal, const char* active, const char* pressed,
                            const char* selected = nullptr) {
    auto b = std::make_shared<T>(frame);
    b->setImage(Image::named(normal), 0);
    b->setImage(Image::named(active), 1);
    b->setImage(Image::named(selected ? selected : active), 2);
    b->setHighlightedImage(Image::named(pressed));
    canvas->addSubview(b);
    return b;
  }

  std::shared_ptr<UISliderButton> knob(const Rect& frame, const std::string& name) {
    auto k = std::make_shared<UISliderButton>(frame);
    k->setMaxValue(127);
    k->setMinValue(0);
    k->setBaseImage(Image::named(name));
    k->setBaseImageActive(Image::named(name + "_Active"));
    k->setRotateResolution(128);
    k->setKnobMode(1);
    canvas->addSubview(k);
    return k;
  }

  // The rendered pixel at a canvas point.
  Image::RGBA shown(const Image& shot, Point canvasPoint) const {
    return shot.pixelAt(canvas->convertPointTo(canvasPoint, nullptr));
  }
  // The artwork's own pixel at a point of an image placed at `origin`.
  static Image::RGBA art(const char* name, Point origin, Point canvasPoint) {
    return Image::named(name)->pixelAt({canvasPoint.x - origin.x, canvasPoint.y - origin.y});
  }
  static bool close(Image::RGBA a, Image::RGBA b, int tol = 2) {
    return std::abs(a.r - b.r) <= tol && std::abs(a.g - b.g) <= tol && std::abs(a.b - b.b) <= tol &&
           std::abs(a.a - b.a) <= tol;
  }
  // A point `radius` from a knob's centre, `degrees` clockwise from up.
  static Point onKnob(const UISliderButton& k, double radius, double degrees) {
    const Rect f = k.frame();
    const double r = degrees * kPi / 180.0;
    return {f.midX() + radius * std::sin(r), f.midY() - radius * std::cos(r)};
  }
  static bool pointerWhite(Image::RGBA p) { return p.r > 210 && p.g > 210 && p.b > 210; }

  HeadlessBackend hb{{736, 414}, 2.0};
  std::filesystem::path dir;
  std::shared_ptr<Window> window;
  std::shared_ptr<ImageView> canvas;
  std::shared_ptr<TIButton> play, mute, part, step;
  std::shared_ptr<TIToggleButton> record;
  std::shared_ptr<UISliderButton> pitch, decay, level, dial;
  std::shared_ptr<ImageView> lamp;
};

TEST_F(PanelRenderTest, TheRenderedPanelShowsEachControlsPictureForItsState) {
  play->setButtonState(1);
  part->setButtonPossibilityState(1);
  mute->setDim(true);
  pitch->setValue(0);
  decay->setValue(64);
  level->setValue(127);
  // Dimming fades the image layer (its opacity is the one change it animates).
  hb.advance(0.3);
  ASSERT_TRUE(hb.renderToPNG(dir / "panel.png"));
  auto shot = Image::fromPNG(dir / "panel.png", 2.0);
  ASSERT_TRUE(shot);
  ASSERT_EQ(shot->pixelWidth(), 1472);
  ASSERT_EQ(shot->pixelHeight(), 828);

  // Bare panel: the background artwork one to one.
  for (Point p : {Point{300, 250}, Point{730, 300}, Point{20, 20}})
    EXPECT_TRUE(close(shown(*shot, p), art("Background_Main_iPhone", {0, 0}, p))) << toString(p);
  // Play is on: its lit lamp bar; the stop-less record key shows its normal face.
  const Point playLamp{168 + 31.25, 212.5 + 6.7};
  EXPECT_TRUE(close(shown(*shot, playLamp), art("playButtonActive", {168, 212.5}, playLamp)));
  EXPECT_GT(shown(*shot, playLamp).g, 200);
  const Point recLamp{23.5 + 31.25, 212.5 + 6.7};
  EXPECT_TRUE(close(shown(*shot, recLamp), art("recButtonNormal", {23.5, 212.5}, recLamp)));
  // The selected part shows its selected face (green pad), not the active one.
  const Point padSpot{341.5 + 5, 278 + 50};
  EXPECT_TRUE(close(shown(*shot, padSpot), art("part2Selected", {341.5, 278}, padSpot)));
  EXPECT_FALSE(close(shown(*shot, padSpot), art("part2Active", {341.5, 278}, padSpot), 10));
  // The dimmed mute key: three quarters of its face over the panel.
  const Point muteSpot{23 + 31.25, 152 + 30};
  const Image::RGBA face = art("muteButton", {23, 152}, muteSpot);
  const Image::RGBA under = art("Background_Main_iPhone", {0, 0}, muteSpot);
  const auto blend = [](uint8_t f, uint8_t b) { return static_cast<uint8_t>(std::lround(0.75 * f + 0.25 * b)); };
  EXPECT_TRUE(close(shown(*shot, muteSpot), {blend(face.r, under.r), blend(face.g, under.g), blend(face.b, under.b), 255}, 3));
  // Knob pointers where the values put them: 0 at -150, 64 up, 127 at +150 degrees.
  EXPECT_TRUE(pointerWhite(shown(*shot, onKnob(*pitch, 12, -150))));
  EXPECT_FALSE(pointerWhite(shown(*shot, onKnob(*pitch, 12, 150))));
  EXPECT_TRUE(pointerWhite(shown(*shot, onKnob(*decay, 12, -150 + 300.0 * 64 / 127))));
  EXPECT_FALSE(pointerWhite(shown(*shot, onKnob(*decay, 12, -150))));
  EXPECT_TRUE(pointerWhite(shown(*shot, onKnob(*level, 12, 150))));
  // The red lamp over its socket.
  const Image::RGBA lampCentre = shown(*shot, {328.5 + 10.5, 97.5 + 10.5});
  EXPECT_GT(lampCentre.r, 200);
  EXPECT_LT(lampCentre.g, 150);
  // The dial at 0 shows its first frame: the marker straight down.
  const Rect d = dial->frame();
  const Image::RGBA marker = shown(*shot, {d.midX(), d.midY() + 28.5});
  EXPECT_GT(marker.r, 200);
  EXPECT_GT(marker.g, 120);
  EXPECT_LT(marker.b, 100);
}

TEST_F(PanelRenderTest, TouchesChangeWhatIsDrawn) {
  const Point recCentre = canvas->convertPointTo({23.5 + 31.25, 212.5 + 24}, nullptr);
  const Point recLamp{23.5 + 31.25, 212.5 + 6.7};
  // Held down: the pressed face; released: the toggled-on face.
  hb.touchDown(recCentre);
  auto held = hb.render();
  EXPECT_TRUE(close(shown(*held, recLamp), art("recButtonActive_Highlighted", {23.5, 212.5}, recLamp)));
  hb.touchUp(recCentre);
  auto released = hb.render();
  EXPECT_TRUE(record->isOn());
  EXPECT_TRUE(close(shown(*released, recLamp), art("recButtonActive", {23.5, 212.5}, recLamp)));

  // Turning the pitch knob by the rotary gesture to straight up: the touched
  // strip shows while the finger is on it, then the released one at 64.
  const auto toWindow = [&](Point p) { return canvas->convertPointTo(p, nullptr); };
  hb.touchDown(toWindow(onKnob(*pitch, 20, -90)));
  hb.advance(0.2);
  hb.touchMove(toWindow(onKnob(*pitch, 20, 0)));
  hb.advance(0.02);
  hb.touchMove(toWindow(onKnob(*pitch, 20, 0)));
  hb.advance(0.02);
  hb.touchMove(toWindow(onKnob(*pitch, 20, 0)));
  EXPECT_EQ(pitch->value(), 64);
  auto turning = hb.render();
  const Image::RGBA lit = shown(*turning, onKnob(*pitch, 12, -150 + 300.0 * 64 / 127));
  EXPECT_GT(lit.r, 200);
  EXPECT_LT(lit.b, 120);  // the amber pointer of the touched strip
  hb.touchUp(toWindow(onKnob(*pitch, 20, 0)));
  auto after = hb.render();
  EXPECT_TRUE(pointerWhite(shown(*after, onKnob(*pitch, 12, -150 + 300.0 * 64 / 127))));
}

TEST(PanelScaleTest, APanelWiderThanTheCanvasScalesTheSamePicture) {
  // The panel on a wider 2x screen: every canvas point lands scaled.
  Bundle::setMainBundlePath(std::filesystem::path(IGB_BUNDLE_DIR));
  Image::clearNamedCache();
  HeadlessBackend wide({1024, 768}, 2.0);
  auto w = wide.makeWindow();
  auto c = std::make_shared<ImageView>(Image::named("Background_Main_iPhone"));
  c->layer().setAnchorPoint({0, 0});
  c->setTransform(AffineTransform::makeScale(1024.0 / 736, 1024.0 / 736));
  c->setFrame({0, std::trunc(384 - 0.28125 * 1024), 1024, 0.5625 * 1024});
  w->addSubview(c);
  auto shot = wide.render();
  ASSERT_TRUE(shot);
  EXPECT_NEAR(c->bounds().size.width, 736, 1e-9);
  // The LCD bezel (dark) and the panel around it (lighter) keep their places.
  const Image::RGBA inLcd = shot->pixelAt(c->convertPointTo({150, 80}, nullptr));
  const Image::RGBA panel = shot->pixelAt(c->convertPointTo({150, 130}, nullptr));
  EXPECT_LT(inLcd.r + inLcd.g + inLcd.b, panel.r + panel.g + panel.b);
  // Above and below the panel the window is empty.
  EXPECT_EQ(shot->pixelAt({512, 10}).a, 0);
  EXPECT_EQ(shot->pixelAt({512, 760}).a, 0);
  Bundle::setMainBundlePath(std::nullopt);
}

}  // namespace
