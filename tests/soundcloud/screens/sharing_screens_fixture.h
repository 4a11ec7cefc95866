#pragma once
// The sharing screens over the loopback stand-in for the service: a
// signed-in account whose profile and connections the facade has loaded, a
// bounced file in the documents folder, a headless window with a root
// screen that presents the editor modally, and scripted replies per
// "METHOD /path".

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/foundation/user_defaults.h"
#include "platform/ui/alert_view.h"
#include "platform/ui/headless/headless_backend.h"
#include "platform/ui/navigation_controller.h"
#include "platform/ui/window.h"
#include "soundcloud/screens/ts_social_accounts.h"
#include "soundcloud/ts_soundcloud_api.h"
#include "soundcloud/ts_soundcloud_user.h"
#include "tests/soundcloud/soundcloud_test_support.h"

class SharingScreensTest : public igbtest::SharingTest {
 protected:
  static constexpr const char* kTrackReply =
      "{\"id\":4294967297,\"permalink_url\":\"https://soundcloud.com/dj/groove\",\"artwork_url\":null,"
      "\"user\":{\"avatar_url\":\"https://i1.sndcdn.com/avatar.jpg\"},\"title\":\"Groove\",\"user_id\":7}";

  void SetUp() override {
    igbtest::SharingTest::SetUp();
    // Before anything is queued: the back end starts the loop afresh.
    hb = std::make_unique<platform::HeadlessBackend>();
    window = hb->makeWindow();
    root = std::make_shared<platform::ViewController>();
    window->setRootViewController(root);
    hb->runPass();
    defaults_ = std::make_unique<platform::UserDefaults>(documents() / "UserDefaults.plist");
    tssc::TSSoundCloudAPI::setUserDefaultsForTesting(defaults_.get());
    audio = documents() / "Groove BPM128.wav";
    std::ofstream(audio, std::ios::binary) << std::string(30000, 'w');
    replies["GET /me.json"] = {200, "{\"id\":7,\"username\":\"dj\",\"avatar_url\":null}"};
    replies["GET /me/connections.json"] = {200, "[]"};
    replies["POST /tracks.json"] = {201, kTrackReply};
    sc_.setScript([this](const igbtest::HttpRequest& r) {
      std::lock_guard<std::mutex> lock(mutex_);
      auto it = replies.find(r.method + " " + r.path);
      if (it == replies.end()) return igbtest::FakeService::reply(404, "{}");
      return igbtest::FakeService::reply(it->second.first, it->second.second);
    });
  }

  void TearDown() override {
    // No alert may outlive its test: they wait in one queue for the process.
    for (int i = 0; i < 10 && hb->alertVisible(); ++i) hb->answerAlert(0);
    hb->advance(2.0);
    igbtest::pumpMainLoopUntil([] { return platform::URLConnection::activeConnectionCount() == 0; }, 5.0);
    window->setRootViewController(nullptr);
    hb->runPass();
    root.reset();
    window.reset();
    tssc::TSSocialAccountStore::setShared(nullptr);
    tssc::TSSoundCloudAPI::cleanup();
    tssc::TSSoundCloudAPI::setUserDefaultsForTesting(nullptr);
    hb.reset();
    igbtest::SharingTest::TearDown();
  }

  // Signs in and waits for the facade to load the profile and connections.
  void signInAndLoad() {
    ASSERT_TRUE(signIn());
    api = tssc::TSSoundCloudAPI::sharedInstance();
    ASSERT_NE(api, nullptr);
    bool connections = false;
    platform::NotificationCenter::defaultCenter().addObserver(
        this, tssc::SCUserConnectionOK, [&connections](const platform::Notification&) { connections = true; });
    ASSERT_TRUE(igbtest::pumpMainLoopUntil([&] { return connections && api->user()->username().has_value(); }));
    platform::NotificationCenter::defaultCenter().removeObserver(this, tssc::SCUserConnectionOK);
    sc_.server().clearRequests();
  }

  void setReply(const std::string& key, int status, const std::string& body) {
    std::lock_guard<std::mutex> lock(mutex_);
    replies[key] = {status, body};
  }

  // Presents `vc` (in a navigation controller when it is none) from the root.
  std::shared_ptr<platform::NavigationController> present(std::shared_ptr<platform::ViewController> vc) {
    auto nav = std::dynamic_pointer_cast<platform::NavigationController>(vc);
    if (!nav) nav = std::make_shared<platform::NavigationController>(vc);
    root->presentViewController(nav, false, nullptr);
    hb->runPass();
    hb->advance(0.5);
    return nav;
  }

  // The requests other than the token's, as "METHOD /path".
  std::vector<std::string> requestLines() const {
    std::vector<std::string> out;
    for (auto& r : sc_.apiRequests()) out.push_back(r.method + " " + r.path);
    return out;
  }
  bool waitForAlert(double seconds = 10.0) {
    return igbtest::pumpMainLoopUntil([&] { return hb->alertVisible(); }, seconds);
  }

  std::unique_ptr<platform::HeadlessBackend> hb;
  std::shared_ptr<platform::Window> window;
  std::shared_ptr<platform::ViewController> root;
  std::unique_ptr<platform::UserDefaults> defaults_;
  tssc::TSSoundCloudAPI* api = nullptr;
  std::filesystem::path audio;
  std::map<std::string, std::pair<int, std::string>> replies;
  std::mutex mutex_;
};
