#pragma once
// The shared cache of the front panel's bitmaps: the 393 images of the image
// table (controls/image_table.h), loaded once at start-up from the bundle on
// a priority thread pool, then looked up by index.
//
// The first call of instance() loads the whole table before it returns; the
// program makes that call on its preload thread and joins it before any
// screen exists, so lookups never race the loading. Indices that share a
// file share one image object.
//
// uiimage() may be called from any thread once loading has finished. Not
// real-time-safe.

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "controls/image_table.h"
#include "controls/priority_thread_pool.h"
#include "platform/gfx/image.h"

class ImageManager {
 public:
  using Pool = tesk::alib::core::PriorityThreadPool<unsigned long, std::function<void()>, true>;

  // The process's manager over the main bundle, one worker per core; made
  // (and fully loaded) by the first call, never released.
  static ImageManager* instance();

  // A manager over the PNG files in `bundlePath`, loading on `threadCount`
  // workers (at least one). It loads the table at once, as instance() does.
  ImageManager(std::filesystem::path bundlePath, int threadCount);
  ImageManager(const ImageManager&) = delete;
  ImageManager& operator=(const ImageManager&) = delete;

  // The image of `index`; nullptr when its file is missing or unreadable, and
  // for an index outside the table.
  platform::ImagePtr uiimage(ImageId index) const;

  // Loads the whole table and returns when every slot is filled or known to
  // be missing. Run once by the constructor.
  void loadAll();
  // Queues the loading of one slot from "<bundle>/<name>.png".
  void loadImage(ImageId index, const std::string& name);

  const Pool& pool() const { return *pool_; }
  const std::filesystem::path& bundlePath() const { return bundlePath_; }

 private:
  // Loads `name` once and stores the image into every slot of `indices`.
  void loadShared(std::vector<ImageId> indices, const std::string& name);

  std::filesystem::path bundlePath_;
  std::vector<platform::ImagePtr> images_;
  std::shared_ptr<std::mutex> mutex_;
  std::shared_ptr<Pool> pool_;
};
