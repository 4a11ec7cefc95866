// The render path under RealtimeSanitizer: the output's render and the
// real-time recorder's write neither allocate nor lock nor wait. Any such
// call inside a real-time section aborts the process with the call named.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <vector>

#include "audio/audio_file_recorder.h"
#include "audio/fakes.h"
#include "audio/gbv_audio_session.h"
#include "audio/iphone_audio_io.h"

extern "C" {
void __rtsan_init();
void __rtsan_realtime_enter();
void __rtsan_realtime_exit();
}

namespace fs = std::filesystem;

namespace {

struct RealTimeSection {
  RealTimeSection() { __rtsan_realtime_enter(); }
  ~RealTimeSection() { __rtsan_realtime_exit(); }
};

class RealTimeTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { __rtsan_init(); }
};

}  // namespace

TEST_F(RealTimeTest, TheSanitizerCatchesAnAllocation) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        RealTimeSection rt;
        auto v = std::make_unique<std::vector<int>>(1000);
        (*v)[1] = 2;
      },
      "malloc");
}

TEST_F(RealTimeTest, RenderAllocatesAndLocksNothing) {
  platform::AudioSession audioSession;
  MemoryUserDefaults defaults;
  GBVAudioSession::Environment env;
  env.session = &audioSession;
  env.drivers = std::vector<platform::AudioDriver>{platform::AudioDriver::Null};
  env.userDefaults = &defaults;
  auto session = std::make_shared<GBVAudioSession>(44100.0f, env);
  IPhoneAudioIO io(session);
  session->setIo(&io);
  auto listener = std::make_unique<audiotest::PatternListener>();
  io.setListener(listener.get());
  std::vector<int16_t> buffer(5000 * 2);
  platform::AudioTimeStamp stamped;
  stamped.hostTime = 123456789;
  stamped.hostTimeValid = true;
  {
    RealTimeSection rt;
    // Past a second of frames, so the latency refresh is asked for too.
    for (int i = 0; i < 12; ++i) session->Render(&stamped, 0, 5000, buffer.data());
    session->Render(nullptr, 0, 512, buffer.data());
    session->Render(nullptr, 0, 0, buffer.data());
  }
  EXPECT_EQ(listener->calls.load(), 12 * 5 + 1);
}

TEST_F(RealTimeTest, RealTimeRecorderWriteAllocatesAndLocksNothing) {
  char tmpl[] = "/tmp/igb-rtsan-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const fs::path dir = tmpl;
  audiotest::FakeRecordingSource source;
  AudioFileRecorder::Environment env;
  env.documentsDirectory = dir;
  env.freeDiskBytes = [](const fs::path&) { return uint64_t{32} * 1024 * 1024 + 4 * 30000; };
  {
    AudioFileRecorder recorder(&source, 1, env);
    recorder.open(true);
    ASSERT_TRUE(recorder.isOpen());
    std::vector<int16_t> zero(256, 0);
    std::vector<int16_t> left(1024), right(1024);
    for (int i = 0; i < 1024; ++i) {
      left[static_cast<size_t>(i)] = audiotest::TestPattern::left(static_cast<uint64_t>(i) + 1);
      right[static_cast<size_t>(i)] = audiotest::TestPattern::right(static_cast<uint64_t>(i) + 1);
    }
    {
      RealTimeSection rt;
      recorder.write(zero.data(), zero.data(), 256);  // skipped silence
      // Up to and past the frame limit, and on after it.
      for (int i = 0; i < 32; ++i) recorder.write(left.data(), right.data(), 1024);
    }
    recorder.close();
    EXPECT_EQ(recorder.lastOutcome(), AudioFileRecorder::Outcome::Saved);
  }
  std::error_code ec;
  fs::remove_all(dir, ec);
}
