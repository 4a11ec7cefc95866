#pragma once
// The small operations the SDK screens share: reply-body and text helpers,
// the device questions, image operations and responder walks over views
// and view controllers.
//
// Texts are UTF-8. Main thread only, except the text and data helpers and
// the image operations, which any thread may call.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "json/json_kit.h"
#include "platform/gfx/color.h"
#include "platform/gfx/image.h"

namespace platform {
class View;
class ViewController;
}  // namespace platform

namespace scui {

// ---- reply bodies and texts
// The body parsed as JSON; nil when it is not JSON.
jk::Value scJSONObject(std::string_view bytes);
// The "error_message" of the first of the "errors" of a validation-failure
// reply; empty for any other shape.
std::optional<std::string> scErrorMessageFrom422Error(std::string_view bytes);

std::string scStringWithUUID();
std::string scStringWithSeconds(double seconds);
// "m.ss" or "h.mm.ss".
std::string scStringWithMilliseconds(uint64_t milliseconds);
// "%d", or "%d+" of the upper bound when the value exceeds it.
std::string scStringWithInteger(int value, int upperRange);
std::vector<std::string> scComponentsSeparatedByWhitespacePreservingQuotations(std::string_view text);
std::string scStringByEscapingXMLEntities(std::string text);
std::string scStringByUnescapingXMLEntities(std::string text);
// Percent-encoding of everything but letters, digits and "-._~".
std::string scStringByAddingURLEncoding(std::string_view text);
// The text as it is: every percent escape is kept.
std::string scStringByRemovingURLEncoding(std::string_view text);
std::string scMD5Value(std::string_view text);
std::map<std::string, std::string> scDictionaryFromQuery(std::string_view query);

// ---- the device
// The desktop reports no interface idiom of its own; the program (or a
// test) says which one the screens should take. Unset: none reported.
enum class SCInterfaceIdiom { Phone, Pad };
struct SCDevice {
  static void setInterfaceIdiom(std::optional<SCInterfaceIdiom> idiom);
  static std::optional<SCInterfaceIdiom> interfaceIdiom();
  static bool isIPad();
  // A phone whose main screen is at least 568 points high.
  static bool isTallIphone();
  // The device's orientation (the desktop's window: landscape when wider
  // than high, unless set).
  enum class Orientation { Portrait, PortraitUpsideDown, LandscapeLeft, LandscapeRight };
  static void setOrientation(std::optional<Orientation> o);
  static Orientation orientation();
  static bool isLandscape() {
    return orientation() == Orientation::LandscapeLeft || orientation() == Orientation::LandscapeRight;
  }
};

// ---- images
// The main bundle's image stretched with caps (caps are kept as given; the
// platform's images carry no cap insets, so callers that stretch draw the
// caps themselves from capInsets()).
struct SCStretchableImage {
  platform::ImagePtr image;
  int leftCapWidth = 0;
  int topCapHeight = 0;
};
std::optional<SCStretchableImage> scImageNamed(const std::string& name, int leftCapWidth, int topCapHeight);
platform::ImagePtr scImageWithColor(const platform::Color& color);
platform::ImagePtr scImageWithColor(const platform::Color& color, platform::Size size);
platform::ImagePtr scImageByResizing(const platform::Image& image, platform::Size size);
// With the flag set and a main screen of scale exactly 2, the copy is
// opaque at scale 2.
platform::ImagePtr scImageByResizing(const platform::Image& image, platform::Size size, bool forRetinaDisplay);
// Orientations 0 up, 1 down, 2 left mirrored, 3 right; others as drawn.
platform::ImagePtr scImageByRotation(const platform::Image& image, int orientation);

// ---- views and controllers
void scResignFirstResponderOfAllSubviews(platform::View& view);
platform::View* scFirstResponderFromSubviews(platform::View& view);
// The nearest ancestor that is a scroll view.
platform::View* scEnclosingScrollView(const platform::View& view);
// Its presenter, or else its parent.
platform::ViewController* scModalPresentingViewController(const platform::ViewController& controller);

}  // namespace scui
