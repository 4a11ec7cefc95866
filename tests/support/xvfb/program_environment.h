#pragma once
// The environment the real program starts in under a test's own X server:
// the caller's environment without what would point it at the user's
// display, data, settings or sound, plus a private data folder under `root`
// and the null sound device.

#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

extern char** environ;

namespace igbtest {

inline std::vector<std::string> programEnvironment(const std::string& display, const std::filesystem::path& root,
                                                   int scale, std::initializer_list<const char*> alsoDrop = {}) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    const std::string kv = *e;
    bool keep = true;
    for (const char* drop : {"DISPLAY=", "WAYLAND_DISPLAY=", "IGROOVEBIX_", "XDG_", "SDL_"})
      if (kv.rfind(drop, 0) == 0) keep = false;
    for (const char* drop : alsoDrop)
      if (kv.rfind(drop, 0) == 0) keep = false;
    if (keep) env.push_back(kv);
  }
  env.push_back("DISPLAY=" + display);
  env.push_back("SDL_VIDEODRIVER=x11");
  env.push_back("IGROOVEBIX_HOME=" + (root / "Documents").string());
  env.push_back("XDG_CONFIG_HOME=" + (root / "config").string());
  env.push_back("XDG_DATA_HOME=" + (root / "share").string());
  env.push_back("XDG_CACHE_HOME=" + (root / "cache").string());
  env.push_back("IGROOVEBIX_AUDIO_DRIVERS=null");
  env.push_back("IGROOVEBIX_SCALE=" + std::to_string(scale));
  return env;
}

}  // namespace igbtest
