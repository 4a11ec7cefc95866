#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/net/url_connection.h"
#include "platform/runloop/run_loop.h"
#include "soundcloud/ts_agent.h"
#include "soundcloud/ts_downloader.h"
#include "tests/platform/net/test_http_server.h"

using igbtest::HttpRequest;
using igbtest::HttpResponse;
using igbtest::pumpMainLoopUntil;
using igbtest::TestHttpServer;
using namespace tssc;

namespace {

struct RecordingDownloaderDelegate : TSDownloaderDelegate {
  std::vector<std::string> events;
  std::string body;
  std::optional<platform::Error> error;
  std::function<void(TSDownloader&)> onFinish;
  void tsDownloaderDownloadStarted(TSDownloader&) override { events.push_back("started"); }
  void tsDownloaderDownloadFinished(TSDownloader& d, const platform::Data& data) override {
    events.push_back("finished");
    body.assign(data.begin(), data.end());
    if (onFinish) onFinish(d);
  }
  void tsDownloaderDownloadFailed(TSDownloader&, const platform::Error& e) override {
    events.push_back("failed");
    error = e;
  }
  bool done() const { return !events.empty() && events.back() != "started"; }
};

class DownloaderTest : public ::testing::Test {
 protected:
  void TearDown() override {
    EXPECT_TRUE(pumpMainLoopUntil([] { return platform::URLConnection::activeConnectionCount() == 0; }, 5.0));
    platform::RunLoop::main().drain();
  }
  static HttpResponse reply(int status, std::string body, igbtest::Fields headers = {}) {
    HttpResponse res;
    res.status = status;
    res.body = std::move(body);
    res.headers = std::move(headers);
    return res;
  }
  TestHttpServer server_{[](const HttpRequest& r) {
    if (r.path == "/avatar.png") return reply(200, "PNGBYTES", {{"Content-Type", "image/png"}});
    if (r.path == "/status") {
      const int status = std::stoi(r.query);
      return reply(status, "page " + r.query);
    }
    if (r.path == "/big") return reply(200, std::string(TSDownloader::kMaxBodyBytes + 1, 'x'));
    if (r.path == "/slow") {
      HttpResponse res = reply(200, "slow body");
      res.delay = std::chrono::milliseconds(300);
      return res;
    }
    return reply(404, "missing");
  }};
};

platform::URL urlOf(const std::string& s) { return *platform::URL::withString(s); }

TEST_F(DownloaderTest, ABodyArrivesWholeWithTheCallersContext) {
  RecordingDownloaderDelegate d;
  std::weak_ptr<TSDownloader> weak;
  {
    auto dl = TSDownloader::downloaderFromURL(urlOf(server_.url("/avatar.png")), &d,
                                              {{"name", platform::Value("userPicture")}, {"user_id", platform::Value(7)}});
    weak = dl;
    d.onFinish = [&](TSDownloader& x) { EXPECT_EQ(x.context().at("user_id").integerValue(), 7); };
  }
  // Kept alive by its own connection while the caller holds nothing.
  ASSERT_TRUE(pumpMainLoopUntil([&] { return d.done(); }));
  EXPECT_EQ(d.events, (std::vector<std::string>{"started", "finished"}));
  EXPECT_EQ(d.body, "PNGBYTES");
  const auto reqs = server_.requests();
  ASSERT_EQ(reqs.size(), 1u);
  EXPECT_EQ(reqs[0].method, "GET");
  EXPECT_EQ(reqs[0].target, "/avatar.png");
  platform::RunLoop::main().drain();
  EXPECT_TRUE(weak.expired());
}

TEST_F(DownloaderTest, StatusesUpTo399AreAcceptedAndFrom400OnFail) {
  const struct {
    int status;
    std::vector<std::string> events;
  } table[] = {
      {200, {"started", "finished"}},
      {204, {"started", "finished"}},
      {399, {"started", "finished"}},
      {400, {"failed"}},
      {404, {"failed"}},
      {503, {"failed"}},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.status);
    RecordingDownloaderDelegate d;
    TSDownloader::downloaderFromURL(urlOf(server_.url("/status?" + std::to_string(row.status))), &d, {});
    ASSERT_TRUE(pumpMainLoopUntil([&] { return d.done(); }));
    EXPECT_EQ(d.events, row.events);
    if (row.status >= 400) {
      ASSERT_TRUE(d.error);
      EXPECT_EQ(d.error->domain, TSDownloaderErrorDomain);
      EXPECT_EQ(d.error->code, row.status);
      EXPECT_TRUE(d.body.empty());
    } else {
      EXPECT_EQ(d.body, row.status == 204 ? "" : "page " + std::to_string(row.status));
    }
  }
}

TEST_F(DownloaderTest, ConnectionFailuresAndOversizedBodiesAreReported) {
  RecordingDownloaderDelegate refused;
  int closedPort = 0;
  {
    TestHttpServer gone([](const HttpRequest&) { return HttpResponse{}; });
    closedPort = gone.port();
  }
  TSDownloader::downloaderFromURL(urlOf("http://127.0.0.1:" + std::to_string(closedPort) + "/x"), &refused, {});
  ASSERT_TRUE(pumpMainLoopUntil([&] { return refused.done(); }));
  EXPECT_EQ(refused.events, (std::vector<std::string>{"failed"}));
  EXPECT_EQ(refused.error->domain, platform::kNSURLErrorDomain);

  RecordingDownloaderDelegate unsupported;
  TSDownloader::downloaderFromURL(urlOf("ftp://127.0.0.1/x"), &unsupported, {});
  ASSERT_TRUE(pumpMainLoopUntil([&] { return unsupported.done(); }));
  EXPECT_EQ(unsupported.error->code, platform::NSURLErrorUnsupportedURL);

  RecordingDownloaderDelegate big;
  TSDownloader::downloaderFromURL(urlOf(server_.url("/big")), &big, {});
  ASSERT_TRUE(pumpMainLoopUntil([&] { return big.done(); }));
  EXPECT_EQ(big.events, (std::vector<std::string>{"failed"}));
  EXPECT_EQ(big.error->code, platform::NSURLErrorDataLengthExceedsMaximum);
}

TEST_F(DownloaderTest, ACancelledDownloadReportsNothing) {
  RecordingDownloaderDelegate d;
  auto dl = TSDownloader::downloaderFromURL(urlOf(server_.url("/slow")), &d, {});
  EXPECT_TRUE(dl->isLoading());
  dl->cancel();
  EXPECT_FALSE(dl->isLoading());
  pumpMainLoopUntil([] { return false; }, 0.6);
  EXPECT_TRUE(d.events.empty());
}

// A task that finishes after a given number of progress questions.
class CountingTask : public TSTask {
 public:
  explicit CountingTask(int ticksToFinish) : ticks_(ticksToFinish) {}
  void doTask() override { ++started; }
  void cancel() override { ++cancelled; }
  float informProgression() override {
    ++asked;
    if (asked >= ticks_) setFinished(true);
    return ticks_ == 0 ? 1.0f : std::min(1.0f, static_cast<float>(asked) / static_cast<float>(ticks_));
  }
  int started = 0, cancelled = 0, asked = 0;

 private:
  int ticks_;
};

struct RecordingAgentDelegate : TSAgentDelegate {
  std::vector<std::string> log;
  void agentTaskProgressUpdated(TSAgent&, TSTask& t, float p) override {
    log.push_back(name(t) + " " + std::to_string(static_cast<int>(p * 100)));
  }
  void agentTaskDidFinished(TSAgent&, TSTask& t) override { log.push_back(name(t) + " done"); }
  void agentAllTasksDidFinished(TSAgent&) override { log.push_back("all"); }
  std::string name(TSTask& t) { return &t == a ? "a" : &t == b ? "b" : "?"; }
  TSTask* a = nullptr;
  TSTask* b = nullptr;
};

class AgentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::RunLoop::main().reset();
    platform::RunLoop::main().setClock(std::make_shared<platform::VirtualClock>());
  }
  void TearDown() override {
    platform::RunLoop::main().reset();
    platform::RunLoop::main().setClock(nullptr);
  }
};

TEST_F(AgentTest, TasksFinishedAtOnceAreReportedInsideRun) {
  auto a = std::make_shared<CountingTask>(1);
  auto b = std::make_shared<CountingTask>(1);
  TSAgent agent(a);
  agent.addTask(b);
  RecordingAgentDelegate d;
  d.a = a.get();
  d.b = b.get();
  agent.setDelegate(&d);
  agent.run();
  EXPECT_EQ(a->started, 1);
  EXPECT_EQ(b->started, 1);
  EXPECT_EQ(d.log, (std::vector<std::string>{"a 100", "a done", "b 100", "b done", "all"}));
  EXPECT_FALSE(agent.isPolling());
  platform::RunLoop::main().advanceBy(1.0);
  EXPECT_EQ(d.log.size(), 5u);
}

TEST_F(AgentTest, PollsEveryQuarterSecondAndRepeatsFinishedTasksUntilAllAre) {
  auto a = std::make_shared<CountingTask>(1);
  auto b = std::make_shared<CountingTask>(3);
  TSAgent agent(a);
  agent.addTask(b);
  RecordingAgentDelegate d;
  d.a = a.get();
  d.b = b.get();
  agent.setDelegate(&d);
  agent.run();
  EXPECT_EQ(d.log, (std::vector<std::string>{"a 100", "a done", "b 33"}));
  platform::RunLoop::main().advanceBy(0.2);
  EXPECT_EQ(d.log.size(), 3u);
  platform::RunLoop::main().advanceBy(0.05);
  EXPECT_EQ(d.log, (std::vector<std::string>{"a 100", "a done", "b 33", "a 100", "a done", "b 66"}));
  platform::RunLoop::main().advanceBy(0.25);
  EXPECT_EQ(d.log.back(), "all");
  EXPECT_EQ(d.log[d.log.size() - 2], "b done");
  EXPECT_FALSE(agent.isPolling());
}

TEST_F(AgentTest, CancelStopsAtTheNextTickAndTheFlagIsClearedForLaterRuns) {
  auto a = std::make_shared<CountingTask>(100);
  TSAgent agent(a);
  RecordingAgentDelegate d;
  d.a = a.get();
  agent.setDelegate(&d);
  agent.run();
  ASSERT_EQ(d.log.size(), 1u);
  agent.cancel();
  EXPECT_EQ(a->cancelled, 1);
  EXPECT_TRUE(agent.tryToCancel());
  platform::RunLoop::main().advanceBy(0.25);
  EXPECT_EQ(d.log.size(), 1u);  // the tick stopped the polling and reported nothing
  EXPECT_FALSE(agent.isPolling());
  EXPECT_FALSE(agent.tryToCancel());

  // Cancelled before run: the first tick of that run stops it, silently.
  auto b = std::make_shared<CountingTask>(1);
  TSAgent idle(b);
  RecordingAgentDelegate e;
  idle.setDelegate(&e);
  idle.cancel();
  idle.run();
  EXPECT_TRUE(e.log.empty());
  EXPECT_FALSE(idle.isPolling());
  EXPECT_FALSE(idle.tryToCancel());
  idle.run();
  EXPECT_EQ(e.log.back(), "all");
}

TEST_F(AgentTest, AnEmptyAgentReportsAllFinishedAtOnceAndABaseTaskIsDone) {
  TSAgent empty;
  RecordingAgentDelegate d;
  empty.setDelegate(&d);
  empty.run();
  EXPECT_EQ(d.log, (std::vector<std::string>{"all"}));

  auto base = std::make_shared<TSTask>();
  EXPECT_FALSE(base->finished());
  EXPECT_EQ(base->informProgression(), 1.0f);
  TSAgent one(base);
  RecordingAgentDelegate e;
  e.a = base.get();
  one.setDelegate(&e);
  one.run();
  EXPECT_EQ(e.log, (std::vector<std::string>{"a 100"}));  // never finishes by itself
  EXPECT_TRUE(one.isPolling());
}

TEST_F(AgentTest, AnAgentGoneWhilePollingLeavesNoTimerBehind) {
  auto a = std::make_shared<CountingTask>(100);
  {
    TSAgent agent(a);
    agent.run();
  }
  const int asked = a->asked;
  platform::RunLoop::main().advanceBy(1.0);
  EXPECT_EQ(a->asked, asked);
}

}  // namespace
