#pragma once
// Player tests: a delegate that records what it is told, WAV fixtures
// written into a fresh folder, and the main run loop on the real clock.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/runloop/run_loop.h"
#include "soundcloud/screens/list_browser_track.h"
#include "soundcloud/screens/wav_decoder.h"
#include "tests/platform/net/test_http_server.h"

namespace igbtest {

struct RecordingPlayerDelegate : tssc::ListBrowserPlayerDelegate {
  std::vector<std::string> told;
  void listBrowserPlayerAcceptedToStart(tssc::ListBrowserPlayer&) override { told.push_back("accepted"); }
  void listBrowserPlayerAboutToStart(tssc::ListBrowserPlayer&) override { told.push_back("start"); }
  void listBrowserPlayerAboutToPause(tssc::ListBrowserPlayer&) override { told.push_back("pause"); }
  void listBrowserPlayerAboutToStop(tssc::ListBrowserPlayer&) override { told.push_back("stop"); }
  void listBrowserPlayerFailedToPlay(tssc::ListBrowserPlayer&) override { told.push_back("failed"); }
  void listBrowserPlayerAcceptedToFinish(tssc::ListBrowserPlayer&) override { told.push_back("finished"); }
  size_t count(const std::string& what) const { return static_cast<size_t>(std::count(told.begin(), told.end(), what)); }
};

// A fresh folder per test, removed afterwards.
class TempFolder {
 public:
  TempFolder() {
    std::string templ = (std::filesystem::temp_directory_path() / "igb-players-XXXXXX").string();
    path_ = ::mkdtemp(templ.data());
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Stereo frames whose left sample is the frame number and right its negative.
inline std::vector<int16_t> rampFrames(size_t frames) {
  std::vector<int16_t> s;
  for (size_t i = 0; i < frames; ++i) {
    s.push_back(static_cast<int16_t>(1000 + i));
    s.push_back(static_cast<int16_t>(-1000 - static_cast<int>(i)));
  }
  return s;
}

inline std::filesystem::path writeBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return path;
}

inline std::filesystem::path writeRampWav(const std::filesystem::path& path, size_t frames) {
  return writeBytes(path, tssc::encodeWav16(rampFrames(frames), 2, 44100));
}

class PlayerTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::RunLoop::main().setClock(nullptr); }
  void TearDown() override { platform::RunLoop::main().drain(); }
  std::shared_ptr<RecordingPlayerDelegate> delegate = std::make_shared<RecordingPlayerDelegate>();
  TempFolder folder;
};

}  // namespace igbtest
