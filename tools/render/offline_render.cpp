#include "tools/render/offline_render.h"

#include <stdlib.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "engine/synth/synth.h"
#include "library/pattern_file.h"
#include "library/pattern_store.h"
#include "library/utilities.h"

namespace fs = std::filesystem;

bool bouncePattern(Synth& synth, uint32_t loops, StereoBuffer* out, int32_t block) {
  block = std::clamp<int32_t>(block, 1, Synth::kBusFrames);
  if (!synth.beginBounce()) return false;
  synth.startForBounce(0);
  const size_t total = static_cast<size_t>(synth.bounceLength()) * loops;
  out->left.assign(total, 0);
  out->right.assign(total, 0);
  for (size_t done = 0; done < total;) {
    const int32_t n = static_cast<int32_t>(std::min<size_t>(static_cast<size_t>(block), total - done));
    int16_t* channels[2] = {out->left.data() + done, out->right.data() + done};
    synth.renderBlock(nullptr, channels, n);
    done += static_cast<size_t>(n);
  }
  synth.stopPlayback(0);
  // The stop runs in the next block; the frame it renders is not the
  // pattern's.
  int16_t l = 0;
  int16_t r = 0;
  int16_t* tail[2] = {&l, &r};
  synth.renderBlock(nullptr, tail, 1);
  synth.endBounce();
  return true;
}

std::optional<PatternRecord> readPatternFile(const std::string& path, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (error) *error = "cannot open " + path;
    return std::nullopt;
  }
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  PatternRecord record = PatternRecord::zeroed();
  if (readPatternRecord(bytes, &record) == kPatternFileUnusable) {
    if (error) {
      *error = path + ": " + std::to_string(bytes.size()) + " bytes is not a pattern record (" +
               std::to_string(PatternRecord::kSize) + " or " + std::to_string(PatternRecord::kBodySize) + ")";
    }
    return std::nullopt;
  }
  clampPatternRecord(&record);
  return record;
}

namespace {

// Points the library at a temporary documents folder for its lifetime and
// puts back what was there before.
class TemporaryLibraryRoot {
 public:
  explicit TemporaryLibraryRoot(const std::string& bundleDir) {
    char tmpl[] = "/tmp/igb-render-XXXXXX";
    if (!::mkdtemp(tmpl)) return;
    root_ = tmpl;
    const fs::path docs = root_ / "Documents";
    std::error_code ec;
    fs::create_directories(docs, ec);
    if (const char* old = std::getenv("IGROOVEBIX_HOME")) oldHome_ = old;
    ::setenv("IGROOVEBIX_HOME", docs.c_str(), 1);
    Utilities::setBundleResourcePath(fs::path(bundleDir));
    ok_ = !ec;
  }
  ~TemporaryLibraryRoot() {
    Utilities::setBundleResourcePath(std::nullopt);
    if (oldHome_) ::setenv("IGROOVEBIX_HOME", oldHome_->c_str(), 1);
    else ::unsetenv("IGROOVEBIX_HOME");
    if (!root_.empty()) {
      std::error_code ec;
      fs::remove_all(root_, ec);
    }
  }
  bool ok() const { return ok_; }

 private:
  fs::path root_;
  std::optional<std::string> oldHome_;
  bool ok_ = false;
};

}  // namespace

std::optional<PatternRecord> factoryPattern(int32_t number, const std::string& bundleDir, std::string* error) {
  TemporaryLibraryRoot root(bundleDir);
  if (!root.ok()) {
    if (error) *error = "cannot make a temporary library folder";
    return std::nullopt;
  }
  Z31647PatternStore store;
  std::vector<std::string> problems;
  store.setReporter([&](const std::string& p) { problems.push_back(p); });
  store.load();
  const int32_t count = store.numberOfPatterns();
  if (count == 0) {
    if (error) {
      *error = "no factory library in " + bundleDir;
      if (!problems.empty()) *error += ": " + problems.front();
    }
    return std::nullopt;
  }
  if (number < 0 || number >= count) {
    if (error) *error = "pattern number " + std::to_string(number) + " is not 0-" + std::to_string(count - 1);
    return std::nullopt;
  }
  return store.patternAt(number);
}
