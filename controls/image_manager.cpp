#include "controls/image_manager.h"

#include <malloc.h>

#include <map>
#include <thread>

#include "platform/foundation/bundle.h"
#include "platform/gfx/graphics_context.h"

ImageManager* ImageManager::instance() {
  // A function-local static: the first caller (the preload thread) builds and
  // loads it; any other thread asking meanwhile waits instead of seeing a
  // half-made manager.
  static ImageManager* manager = new ImageManager(platform::Bundle::mainBundle().resourcePath(),
                                                  static_cast<int>(std::thread::hardware_concurrency()));
  return manager;
}

ImageManager::ImageManager(std::filesystem::path bundlePath, int threadCount)
    : bundlePath_(std::move(bundlePath)),
      images_(image_table::kCount),
      mutex_(std::make_shared<std::mutex>()),
      pool_(std::make_shared<Pool>(threadCount)) {
  loadAll();
}

platform::ImagePtr ImageManager::uiimage(ImageId index) const {
  if (index < 0 || index >= image_table::kCount) return nullptr;
  return images_[static_cast<size_t>(index)];
}

void ImageManager::loadAll() {
  pool_->start();
  // One task per file: the slots that share a file get one image.
  std::map<std::string, std::vector<ImageId>> byName;
  std::vector<std::string> order;
  for (ImageId i = 0; i < image_table::kCount; ++i) {
    std::string name(image_table::nameOf(i));
    auto [it, inserted] = byName.try_emplace(name);
    if (inserted) order.push_back(name);
    it->second.push_back(i);
  }
  for (const std::string& name : order) loadShared(byName[name], name);
  pool_->waitAll();
  // Each worker decoded into scratch copies on a heap of its own; freed,
  // they would stay with the process for good.
  malloc_trim(0);
}

void ImageManager::loadImage(ImageId index, const std::string& name) {
  if (index < 0 || index >= image_table::kCount) return;
  loadShared({index}, name);
}

void ImageManager::loadShared(std::vector<ImageId> indices, const std::string& name) {
  pool_->enqueue([this, indices = std::move(indices), name] {
    const std::filesystem::path path = bundlePath_ / (name + ".png");
    // Decoding runs in parallel on the workers.
    platform::ImagePtr loaded = platform::Image::fromPNG(path, platform::kBundleImageScale);
    if (!loaded) return;
    std::lock_guard<std::mutex> lock(*mutex_);
    // Drawn once into a bitmap context of its own, so the stored image is a
    // plain bitmap that drawing never has to convert again.
    platform::beginImageContext(loaded->size(), false, loaded->scale());
    if (platform::GraphicsContext* context = platform::currentGraphicsContext())
      context->drawImage(*loaded, platform::Rect{{0, 0}, loaded->size()});
    platform::ImagePtr drawn = platform::imageFromCurrentImageContext();
    platform::endImageContext();
    const platform::ImagePtr image = drawn ? drawn : loaded;
    for (ImageId i : indices) images_[static_cast<size_t>(i)] = image;
  });
}
