// The program: the groovebox in a desktop window. The application delegate
// brings the instrument up when the window back end launches it; closing
// the window (or Ctrl-C, or SIGTERM) sends it to the background, where it saves, and
// terminates it.
//
// The panel is 736 × 414 points; it is drawn at two pixels per point when
// the desktop is wide enough, else at one. "--scale N" or $IGROOVEBIX_SCALE
// choose another factor.
#include <SDL2/SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "app/desktop_environment.h"
#include "platform/ui/sdl/sdl_backend.h"

namespace {

double pixelsPerPoint(int argc, char** argv) {
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--scale") == 0) return std::atof(argv[i + 1]);
  }
  if (const char* env = std::getenv("IGROOVEBIX_SCALE"); env && *env) return std::atof(env);
  double scale = 1.0;
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) {
    SDL_Rect usable;
    if (SDL_GetDisplayUsableBounds(0, &usable) == 0 && usable.w >= 2 * 736 + 64 && usable.h >= 2 * 414 + 64) {
      scale = 2.0;
    }
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
  }
  return scale;
}

}  // namespace

int main(int argc, char** argv) {
  // Before anything starts a thread.
  platform::SdlBackend::closeOnTerminationSignals();
  platform::SdlBackend::Options options;
  options.pixelsPerPoint = pixelsPerPoint(argc, argv);
  if (!(options.pixelsPerPoint > 0.0 && options.pixelsPerPoint <= 4.0)) options.pixelsPerPoint = 1.0;
  platform::SdlBackend backend(options);
  std::string error;
  if (!backend.open(&error)) {
    std::fprintf(stderr, "igroovebix: cannot open the window: %s\n", error.c_str());
    return 1;
  }
  // Every service of the program, and the screens above the main screen.
  return backend.run(std::make_shared<iGroovebixRAppDelegate>(makeDesktopEnvironment()));
}
