#pragma once
// A temporary root for one test of the program: the documents folder
// ($IGROOVEBIX_HOME) and the XDG folders point into a fresh directory, the
// user defaults live there too, and the audio output plays to the null
// device. Everything is removed afterwards.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "platform/foundation/user_defaults.h"
#include "platform/runloop/run_loop.h"

class AppRootTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/igb-app-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    root = tmpl;
    docs = root / "Documents";
    std::filesystem::create_directories(docs);
    ::setenv("IGROOVEBIX_HOME", docs.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (root / "share").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (root / "cache").c_str(), 1);
    defaults = std::make_unique<platform::UserDefaults>(root / "config" / "igroovebix" / "UserDefaults.plist");
    // The generated bundle, also when the binary runs outside ctest.
    ::setenv("IGB_BUNDLE_DIR", IGB_BUNDLE_DIR, 0);
  }
  void TearDown() override {
    // Whatever the engine observer still holds is posted now, not into the
    // next test.
    runFor(0.02);
    ::unsetenv("IGROOVEBIX_HOME");
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
  }

  std::filesystem::path data() const { return docs / ".igroovebix.d"; }

  // Runs the main loop until `condition` holds or `seconds` pass.
  static bool runUntil(const std::function<bool()>& condition, double seconds = 5.0) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!condition()) {
      if (std::chrono::steady_clock::now() > end) return false;
      platform::RunLoop::main().runOnce(0.005);
    }
    return true;
  }
  static void runFor(double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) platform::RunLoop::main().runOnce(0.005);
  }

  std::filesystem::path root;
  std::filesystem::path docs;
  std::unique_ptr<platform::UserDefaults> defaults;
};
