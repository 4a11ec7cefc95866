// Writes "SoundCloud.bundle": the SDK screens' images, drawn here at two
// pixels per point, and their texts ("Localizable.strings").
//
//   sc_bundle_generator <bundle folder>

#include <cstdio>
#include <filesystem>
#include <functional>

#include "platform/foundation/property_list.h"
#include "platform/gfx/graphics_context.h"
#include "platform/gfx/text.h"

using namespace platform;

namespace {

bool draw(const std::filesystem::path& dir, const char* name, Size size, const std::function<void(GraphicsContext&)>& fn) {
  beginImageContext(size, false, 2.0);
  fn(*currentGraphicsContext());
  ImagePtr image = imageFromCurrentImageContext();
  endImageContext();
  std::string error;
  if (!image || !image->writePNG(dir / (std::string(name) + ".png"), &error)) {
    std::fprintf(stderr, "sc_bundle_generator: %s: %s\n", name, error.c_str());
    return false;
  }
  return true;
}

void verticalGradient(GraphicsContext& c, const Rect& r, Color top, Color bottom) {
  cairo_pattern_t* g = cairo_pattern_create_linear(0, r.minY(), 0, r.maxY());
  cairo_pattern_add_color_stop_rgba(g, 0, top.red(), top.green(), top.blue(), top.alpha());
  cairo_pattern_add_color_stop_rgba(g, 1, bottom.red(), bottom.green(), bottom.blue(), bottom.alpha());
  cairo_t* cr = c.cairo();
  cairo_save(cr);
  cairo_rectangle(cr, r.origin.x, r.origin.y, r.size.width, r.size.height);
  cairo_set_source(cr, g);
  cairo_fill(cr);
  cairo_restore(cr);
  cairo_pattern_destroy(g);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: sc_bundle_generator <bundle folder>\n");
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  std::filesystem::create_directories(dir);
  bool ok = true;
  // A field's background: white with a soft grey band along the top edge.
  ok &= draw(dir, "input", {8, 48}, [](GraphicsContext& c) {
    c.setFillColor(Color::white(1.0));
    c.fillRect({0, 0, 8, 48});
    verticalGradient(c, {0, 0, 8, 4}, Color::white(0.0, 0.12), Color::white(0.0, 0.0));
  });
  // The Facebook mark: a white lower-case f on a rounded square.
  ok &= draw(dir, "facebook", {30, 30}, [](GraphicsContext& c) {
    c.setFillColor(Color::white(1.0, 0.25));
    c.addPath(Path::roundedRect({0, 0, 30, 30}, 4));
    c.fillPath();
    TextStyle st;
    st.font = Font::boldSystemFont(24);
    st.color = Color::white(1.0);
    st.alignment = TextAlignment::Center;
    drawText(c, "f", {0, 1, 30, 30}, st);
  });
  // A cloud of three bumps.
  ok &= draw(dir, "cloud", {30, 18}, [](GraphicsContext& c) {
    c.setFillColor(Color::white(1.0));
    c.fillEllipseInRect({2, 6, 12, 12});
    c.fillEllipseInRect({8, 1, 14, 14});
    c.fillEllipseInRect({16, 5, 13, 13});
    c.fillRect({8, 11, 15, 7});
  });
  // The login button's light tile and the cancel button's dark one.
  ok &= draw(dir, "continue", {8, 43}, [](GraphicsContext& c) {
    verticalGradient(c, {0, 0, 8, 43}, Color::white(1.0), Color::white(0.9));
  });
  ok &= draw(dir, "cancel", {8, 32}, [](GraphicsContext& c) {
    verticalGradient(c, {0, 0, 8, 32}, Color::white(0.35), Color::white(0.15));
  });
  // The header's logo: an orange panel with the service's name.
  ok &= draw(dir, "orange_header_logo", {150, 44}, [](GraphicsContext& c) {
    verticalGradient(c, {0, 0, 150, 44}, Color::rgba(1.0, 0.45, 0.1), Color::rgba(0.984, 0.388, 0.106));
    TextStyle st;
    st.font = Font::boldSystemFont(17);
    st.color = Color::white(1.0);
    st.alignment = TextAlignment::Center;
    drawText(c, "SoundCloud", {0, 11, 150, 24}, st);
  });

  // The sliding switch: its two halves, handle (at rest and pressed), the
  // overlay that gives the track its depth, and the rounded mask.
  auto track = [](const char* name, Color top, Color bottom) {
    return std::make_pair(name, std::make_pair(top, bottom));
  };
  for (auto [name, colours] : {track("switch_blue", Color::rgba(0.12, 0.48, 0.86), Color::rgba(0.06, 0.36, 0.72)),
                               track("switch_orange", Color::rgba(1.0, 0.45, 0.15), Color::rgba(0.93, 0.33, 0.07))}) {
    const auto [top, bottom] = colours;
    ok &= draw(dir, name, {20, 28}, [top = top, bottom = bottom](GraphicsContext& c) { verticalGradient(c, {0, 0, 20, 28}, top, bottom); });
  }
  ok &= draw(dir, "switch_slider", {47, 28}, [](GraphicsContext& c) {
    c.addPath(Path::roundedRect({0.5, 0.5, 46, 27}, 5));
    c.clip();
    verticalGradient(c, {0, 0, 47, 28}, Color::white(0.98), Color::white(0.82));
  });
  ok &= draw(dir, "switch_slider-down", {47, 28}, [](GraphicsContext& c) {
    c.addPath(Path::roundedRect({0.5, 0.5, 46, 27}, 5));
    c.clip();
    verticalGradient(c, {0, 0, 47, 28}, Color::white(0.8), Color::white(0.65));
  });
  ok &= draw(dir, "switch_filter", {20, 28}, [](GraphicsContext& c) {
    verticalGradient(c, {0, 0, 20, 6}, Color::white(0.0, 0.25), Color::white(0.0, 0.0));
  });
  ok &= draw(dir, "switch_mask", {20, 28}, [](GraphicsContext& c) {
    c.setFillColor(Color::black());
    c.addPath(Path::roundedRect({0, 0, 20, 28}, 5));
    c.fillPath();
  });

  // A dark woven texture behind the connection page.
  ok &= draw(dir, "darkTexturedBackgroundPattern", {8, 8}, [](GraphicsContext& c) {
    c.setFillColor(Color::white(0.16));
    c.fillRect({0, 0, 8, 8});
    c.setFillColor(Color::white(0.2));
    c.fillRect({0, 0, 4, 4});
    c.fillRect({4, 4, 4, 4});
  });

  // The mail picker's address bar.
  ok &= draw(dir, "mailInputBackground", {8, 44}, [](GraphicsContext& c) {
    verticalGradient(c, {0, 0, 8, 44}, Color::white(0.98), Color::white(0.9));
  });

  // The save and upload views.
  ok &= draw(dir, "DisclosureIndicator", {10, 14}, [](GraphicsContext& c) {
    c.setStrokeColor(Color::white(0.85));
    c.setLineWidth(2.5);
    c.beginPath();
    c.moveTo(2, 1.5);
    c.addLineTo(8, 7);
    c.addLineTo(2, 12.5);
    c.strokePath();
  });
  ok &= draw(dir, "default-avatar", {20, 20}, [](GraphicsContext& c) {
    c.setFillColor(Color::white(0.75));
    c.fillRect({0, 0, 20, 20});
    c.setFillColor(Color::white(0.55));
    c.fillEllipseInRect({6, 3, 8, 8});
    c.fillEllipseInRect({3, 12, 14, 12});
  });
  ok &= draw(dir, "open-bg", {40, 30}, [](GraphicsContext& c) {
    c.addPath(Path::roundedRect({0.5, 0.5, 39, 29}, 6));
    c.clip();
    verticalGradient(c, {0, 0, 40, 30}, Color::white(0.98), Color::white(0.86));
  });
  ok &= draw(dir, "appstore", {120, 36}, [](GraphicsContext& c) {
    c.setFillColor(Color::black());
    c.addPath(Path::roundedRect({0, 0, 120, 36}, 6));
    c.fillPath();
    TextStyle st;
    st.font = Font::boldSystemFont(13);
    st.color = Color::white(1.0);
    st.alignment = TextAlignment::Center;
    drawText(c, "Get the app", {0, 9, 120, 20}, st);
  });
  auto device = [](Size size, double radius) {
    return [size, radius](GraphicsContext& c) {
      c.setFillColor(Color::white(0.15));
      c.addPath(Path::roundedRect({0, 0, size.width, size.height}, radius));
      c.fillPath();
      c.setFillColor(Color::rgba(0.984, 0.388, 0.106));
      c.fillRect({size.width * 0.1, size.height * 0.12, size.width * 0.8, size.height * 0.72});
    };
  };
  ok &= draw(dir, "ipad", {180, 144}, device({180, 144}, 10));
  ok &= draw(dir, "iphone", {70, 151}, device({70, 151}, 9));
  ok &= draw(dir, "fail", {44, 44}, [](GraphicsContext& c) {
    c.setFillColor(Color::rgba(0.85, 0.15, 0.1));
    c.fillEllipseInRect({0, 0, 44, 44});
    c.setStrokeColor(Color::white(1.0));
    c.setLineWidth(5);
    c.beginPath();
    c.moveTo(14, 14);
    c.addLineTo(30, 30);
    c.moveTo(30, 14);
    c.addLineTo(14, 30);
    c.strokePath();
  });
  ok &= draw(dir, "sharetosc", {160, 30}, [](GraphicsContext& c) {
    TextStyle st;
    st.font = Font::boldSystemFont(17);
    st.color = Color::white(1.0);
    drawText(c, "Share to SoundCloud", {0, 4, 160, 24}, st);
  });

  Dictionary texts{
      {"credential_title", Value("Connect %@ with your SoundCloud account")},
      {"fb_sign_in", Value("Sign in with Facebook")},
      {"connect_to_sc", Value("Connect")},
      {"sign_in_tos_pp_body", Value("By signing in you agree to the Terms of Use and the Privacy Policy of SoundCloud.")},
      {"terms_of_use_substring", Value("Terms of Use")},
      {"privatcy_policy_substring", Value("Privacy Policy")},
      {"open_in_safari_title", Value("Open in browser?")},
      {"open_in_safari_message", Value("The page opens in your web browser.")},
      {"alert_cancel", Value("Cancel")},
      {"alert_ok", Value("OK")},
      {"credentials_error", Value("Missing sign-in details")},
      {"credentials_error_message", Value("Please enter your user name and your password.")},
      {"auth_error", Value("Sign-in failed")},
      {"auth_error_message", Value("SoundCloud did not accept the sign-in. Please try again.")},
      {"username", Value("E-mail or user name")},
      {"password", Value("Password")},
      {"cancel", Value("Cancel")},
      {"web_sign_in_title", Value("Finish in your browser")},
      {"web_sign_in_message", Value("Sign in on the page your browser opened, then paste the address it ends on here.")},
      {"web_sign_in_placeholder", Value("Address the browser ended on")},
      {"web_sign_in_done", Value("Done")},
      {"connection_faild", Value("Connection failed")},
      {"connection_error_ok", Value("OK")},
      {"shared_to_email_adresses", Value("E-mail addresses")},
      {"shared_to_to", Value("To:")},
      {"record_save_logout", Value("Log out")},
      {"record_save_what", Value("What")},
      {"record_save_where", Value("Where")},
      {"record_save_add_cover_artwork", Value("Add cover artwork")},
      {"sc_upload_public", Value("Public")},
      {"sc_upload_private", Value("Private")},
      {"record_save_uploading", Value("Uploading\u2026")},
      {"record_save_upload_success", Value("Your sound is on SoundCloud.")},
      {"record_save_upload_fail", Value("The upload failed.")},
      {"record_save_upload_success_message_app", Value("Open it in the SoundCloud app to share it further.")},
      {"record_save_upload_success_message_appstore", Value("Get %@ to hear it anywhere.")},
      {"record_save_upload_success_message_appstore_substring", Value("the SoundCloud app")},
      {"open_soundcloud", Value("Open SoundCloud")},
  };
  std::string error;
  if (!writePropertyList(dir / "Localizable.strings", Value(texts), &error)) {
    std::fprintf(stderr, "sc_bundle_generator: texts: %s\n", error.c_str());
    ok = false;
  }
  return ok ? 0 : 1;
}
