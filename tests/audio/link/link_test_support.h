#pragma once
// What the Link kit's tests share: a private loopback network for real Link
// peers, a temporary folder with its own user defaults and bundle, and
// bounded waits that turn the main run loop (where the kit delivers).
//
// Network. This file is compiled into each Link test binary and replaces
// getifaddrs() there so that Link sees only loopback interfaces: whatever the
// machine's network, peers talk over 127.0.0.1 only. Integration binaries
// also call enterLoopbackNetwork() (through LoopbackEnvironment): the process
// moves into a network namespace of its own with only "lo" up, so test
// processes running side by side never join each other's sessions. Where
// the namespace cannot be made (no privilege), the process instead takes a
// host-wide turn (an abstract socket name held for its lifetime), so Link
// test processes run one at a time.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "audio/link/abl_link.h"
#include "platform/foundation/bundle.h"
#include "platform/foundation/user_defaults.h"

namespace linktest {

// Namespace or host-wide turn; fails the process when neither can be had
// within two minutes. Call before any Link object exists.
void enterLoopbackNetwork();

// A gtest environment that calls enterLoopbackNetwork() once per process.
class LoopbackEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { enterLoopbackNetwork(); }
};

// A folder under /tmp made with mkdtemp, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// User defaults and a bundle of the test's own, with an Info.plist when asked.
class KitPlace {
 public:
  KitPlace();
  platform::UserDefaults& defaults() { return *defaults_; }
  const platform::Bundle& bundle() const { return *bundle_; }
  // Writes Info.plist with "ABLLinkStartStopSyncSupported".
  void setStartStopSyncSupported(bool supported);
  // Reads the defaults file afresh, as the next launch would.
  std::unique_ptr<platform::UserDefaults> reopenDefaults() const;
  ABLLinkEnvironment environment();
  const std::filesystem::path& dir() const { return dir_.path(); }

 private:
  TempDir dir_;
  std::unique_ptr<platform::UserDefaults> defaults_;
  std::unique_ptr<platform::Bundle> bundle_;
};

// Turns the main run loop until `done` answers true or `seconds` pass;
// returns whether it did.
bool runMainUntil(const std::function<bool()>& done, double seconds);
// Turns the main run loop for `seconds`.
void runMainFor(double seconds);

}  // namespace linktest
