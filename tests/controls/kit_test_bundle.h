#pragma once
// A bundle of tiny PNGs, one per distinct file of the image table, each of
// a colour of its own, in a temporary folder that goes when the bundle goes.

#include <cairo.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>

#include "controls/image_manager.h"
#include "controls/image_table.h"
#include "platform/gfx/image.h"

namespace controls_test {

class KitTestBundle {
 public:
  KitTestBundle() {
    char tmpl[] = "/tmp/igb-kit-bundle-XXXXXX";
    if (!::mkdtemp(tmpl)) throw std::runtime_error("mkdtemp");
    dir_ = tmpl;
    int n = 0;
    for (const std::string& name : image_table::names()) {
      if (colours_.count(name)) continue;
      const platform::Image::RGBA c{static_cast<uint8_t>(n & 0xFF), static_cast<uint8_t>((n >> 8) + 1), 77, 255};
      colours_[name] = c;
      ++n;
      auto image = platform::Image::create(4, 6, platform::kBundleImageScale);
      cairo_t* cr = cairo_create(image->surface());
      cairo_set_source_rgba(cr, c.r / 255.0, c.g / 255.0, c.b / 255.0, 1.0);
      cairo_paint(cr);
      cairo_destroy(cr);
      cairo_surface_mark_dirty(image->surface());
      // Written plainly: the platform's atomic write syncs every file, which
      // costs seconds for a whole table.
      const std::vector<uint8_t> png = image->pngData();
      std::ofstream(dir_ / (name + ".png"), std::ios::binary)
          .write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
    }
  }
  ~KitTestBundle() { std::filesystem::remove_all(dir_); }
  KitTestBundle(const KitTestBundle&) = delete;
  KitTestBundle& operator=(const KitTestBundle&) = delete;

  const std::filesystem::path& dir() const { return dir_; }
  // The colour of the file `name`.
  platform::Image::RGBA colour(const std::string& name) const { return colours_.at(name); }
  size_t fileCount() const { return colours_.size(); }

 private:
  std::filesystem::path dir_;
  std::map<std::string, platform::Image::RGBA> colours_;
};

// One manager over one such bundle for a whole test program.
inline const ImageManager& sharedTestImages() {
  static KitTestBundle bundle;
  static ImageManager manager(bundle.dir(), 2);
  return manager;
}

}  // namespace controls_test
