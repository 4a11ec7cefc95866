#include "controls/image_manager.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>
#include <fstream>
#include <map>
#include <set>

#include "controls/image_table.h"
#include "kit_test_bundle.h"

namespace fs = std::filesystem;

namespace {

// A fresh bundle of the whole table per test, so that a test may remove or
// spoil files.
class ImageManagerTest : public ::testing::Test {
 protected:
  fs::path dir() const { return bundle.dir(); }
  platform::Image::RGBA colour(std::string_view name) const { return bundle.colour(std::string(name)); }

  controls_test::KitTestBundle bundle;
};

TEST_F(ImageManagerTest, TableHas393IndicesOver388Files) {
  EXPECT_EQ(image_table::names().size(), 393u);
  EXPECT_EQ(bundle.fileCount(), 388u);
  // Spot checks of the binding rules.
  EXPECT_EQ(image_table::nameOf(0), "Encoder");
  EXPECT_EQ(image_table::nameOf(1 + 3 * 4 + 1), "partHHClosedActive");
  EXPECT_EQ(image_table::nameOf(25 + 7), "partSDClapActive_Highlighted");
  EXPECT_EQ(image_table::nameOf(41 + 3 * 63 + 2), "seq64Selected");
  EXPECT_EQ(image_table::nameOf(232 + 1), "seq1Active_Highlighted");
  EXPECT_EQ(image_table::nameOf(296), "seq64Active_Highlighted");
  EXPECT_EQ(image_table::nameOf(305), "lcdFont");
  EXPECT_EQ(image_table::nameOf(324 + 3 * 4 + 2), "tapButtonActive_Highlighted");
  EXPECT_EQ(image_table::nameOf(359 + 4 * 2 + 3), "sourceStep33-48Active_Highlighted");
  EXPECT_EQ(image_table::nameOf(375 + 4 * 3), "destStep49-64Normal");
  EXPECT_EQ(image_table::nameOf(392), "knob_gesture_rotary");
  EXPECT_EQ(image_table::nameOf(393), "");
  EXPECT_EQ(image_table::nameOf(-1), "");
  EXPECT_EQ(image_table::indexOf("ledGreen"), 298);
  EXPECT_EQ(image_table::indexOf("muteButtonActive"), 34);
  EXPECT_FALSE(image_table::indexOf("nothing"));
}

TEST_F(ImageManagerTest, EveryIndexLoadsItsOwnFile) {
  ImageManager manager(dir(), 4);
  for (ImageId i = 0; i < image_table::kCount; ++i) {
    platform::ImagePtr image = manager.uiimage(i);
    ASSERT_TRUE(image) << i;
    EXPECT_EQ(image->scale(), platform::kBundleImageScale) << i;
    EXPECT_EQ(image->size().width, 2.0) << i;
    EXPECT_EQ(image->pixel(1, 1), colour(image_table::nameOf(i))) << i;
  }
}

TEST_F(ImageManagerTest, IndicesSharingAFileShareOneImage) {
  ImageManager manager(dir(), 3);
  const std::pair<ImageId, ImageId> shared[] = {{34, 35}, {37, 38}, {307, 308}, {310, 311}, {313, 314}};
  for (auto [a, b] : shared) {
    ASSERT_TRUE(manager.uiimage(a)) << a;
    EXPECT_EQ(manager.uiimage(a), manager.uiimage(b)) << a << "/" << b;
    auto file = platform::Image::fromPNG(dir() / (std::string(image_table::nameOf(a)) + ".png"), 2.0);
    ASSERT_TRUE(file);
    EXPECT_TRUE(manager.uiimage(a)->samePixels(*file));
  }
  // And no other two indices share an image.
  std::set<platform::Image*> distinct;
  for (ImageId i = 0; i < image_table::kCount; ++i) distinct.insert(manager.uiimage(i).get());
  EXPECT_EQ(distinct.size(), 388u);
}

TEST_F(ImageManagerTest, AMissingFileGivesNilAndTheRestStillLoads) {
  fs::remove(dir() / "ledGreen.png");
  fs::remove(dir() / "muteButtonActive.png");
  // An unreadable file counts as missing too.
  { std::ofstream(dir() / "seq7Normal.png") << "not a png"; }
  ImageManager manager(dir(), 2);
  const std::set<ImageId> missing = {298, 34, 35, 41 + 3 * 6};
  for (ImageId i = 0; i < image_table::kCount; ++i) {
    if (missing.count(i)) {
      EXPECT_FALSE(manager.uiimage(i)) << i;
    } else {
      EXPECT_TRUE(manager.uiimage(i)) << i;
    }
  }
}

TEST_F(ImageManagerTest, IndicesOutsideTheTableGiveNil) {
  ImageManager manager(dir(), 1);
  for (ImageId i : {-1, -393, 393, 394, 100000}) EXPECT_FALSE(manager.uiimage(i)) << i;
}

TEST_F(ImageManagerTest, ZeroReportedCoresStillLoadsEverything) {
  ImageManager manager(dir(), 0);
  EXPECT_EQ(manager.pool().threadCount(), 1);
  for (ImageId i = 0; i < image_table::kCount; ++i) EXPECT_TRUE(manager.uiimage(i)) << i;
}

TEST_F(ImageManagerTest, WorkersStayIdleAfterLoading) {
  ImageManager manager(dir(), 3);
  EXPECT_EQ(manager.pool().workerCount(), 3u);
  auto& pool = const_cast<ImageManager::Pool&>(manager.pool());
  EXPECT_EQ(pool.dispatcher().queuedCount(), 0u);
  // Workers that found the queue already empty go back to sleep.
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (pool.dispatcher().busyCount() != 0 && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(pool.dispatcher().busyCount(), 0);
  EXPECT_TRUE(pool.dispatcher().isRunning());
}

TEST_F(ImageManagerTest, EmptyBundleLoadsNothingAndReturns) {
  char tmpl[] = "/tmp/igb-imagemanager-empty-XXXXXX";
  ASSERT_NE(::mkdtemp(tmpl), nullptr);
  ImageManager manager(tmpl, 2);
  for (ImageId i = 0; i < image_table::kCount; ++i) EXPECT_FALSE(manager.uiimage(i)) << i;
  fs::remove_all(tmpl);
}

// The bundle the build generates: every index has its picture.
TEST(GeneratedBundleTest, EveryIndexResolvesToAGeneratedImage) {
  ImageManager manager(IGB_BUNDLE_DIR, 4);
  for (ImageId i = 0; i < image_table::kCount; ++i) {
    platform::ImagePtr image = manager.uiimage(i);
    ASSERT_TRUE(image) << i << " " << image_table::nameOf(i);
    EXPECT_GT(image->pixelWidth(), 0);
  }
  EXPECT_EQ(manager.uiimage(34), manager.uiimage(35));
  EXPECT_EQ(manager.uiimage(313), manager.uiimage(314));
}

}  // namespace
