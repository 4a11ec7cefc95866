// MP3 through both players: files made at test time by lame from a
// generated tone, played from a documents folder and streamed from the
// loopback server in pieces; the sound checked in numbers.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "platform/net/url_connection.h"
#include "soundcloud/screens/audio_file_player.h"
#include "soundcloud/screens/audio_streaming_player.h"
#include "soundcloud/screens/mp3_decoder.h"
#include "tests/soundcloud/screens/players_test_support.h"

using namespace tssc;

namespace {

constexpr double kToneHz = 440.0;
constexpr double kToneAmplitude = 0.5;

std::vector<uint8_t> readAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A mono tone of `seconds` at 44,100 Hz encoded by lame at 128 kbit/s.
std::filesystem::path makeToneMp3(const std::filesystem::path& folder, const std::string& name, double seconds) {
  const size_t frames = static_cast<size_t>(seconds * 44100);
  std::vector<int16_t> samples(frames);
  for (size_t i = 0; i < frames; ++i)
    samples[i] = static_cast<int16_t>(std::lround(kToneAmplitude * 32767 * std::sin(2 * M_PI * kToneHz * i / 44100.0)));
  const auto wav = igbtest::writeBytes(folder / (name + ".wav"), encodeWav16(samples, 1, 44100));
  const auto mp3 = folder / (name + ".mp3");
  const std::string command = "lame --quiet -b 128 '" + wav.string() + "' '" + mp3.string() + "'";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  std::filesystem::remove(wav);
  return mp3;
}

struct ToneFigures {
  double hz = 0;
  double rms = 0;
};

// Frequency from the rising zero crossings (interpolated) and the RMS of
// the left side, over the frames given.
ToneFigures measure(const std::vector<int16_t>& stereo, size_t from, size_t to) {
  double first = -1, last = -1, sum = 0;
  int rises = 0;
  for (size_t i = from; i < to; ++i) {
    const double a = stereo[2 * i], b = stereo[2 * (i + 1)];
    sum += a * a;
    if (a < 0 && b >= 0) {
      const double at = static_cast<double>(i) + a / (a - b);
      if (first < 0) first = at;
      last = at;
      ++rises;
    }
  }
  ToneFigures f;
  if (rises > 1) f.hz = (rises - 1) * 44100.0 / (last - first);
  f.rms = std::sqrt(sum / static_cast<double>(to - from));
  return f;
}

// The gain a player settles at for volume 127 (just below unity).
constexpr double kSettledGain = 32696.0 / 32768.0;
// The tone's level as generated; the encoder takes about 0.45 dB off it.
const double kToneRms = kToneAmplitude * 32767 / std::sqrt(2.0);

// The level the encoder's own decoder gets from the file: the reference
// for ours.
double referenceRms(const std::filesystem::path& mp3) {
  const auto wav = mp3.parent_path() / (mp3.stem().string() + "-reference.wav");
  const std::string command = "lame --quiet --decode '" + mp3.string() + "' '" + wav.string() + "'";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  const auto d = decodeWavFile(wav);
  EXPECT_TRUE(d.has_value());
  if (!d) return 0;
  return measure(d->samples, 4410, d->frames() - 4410).rms;
}

void expectTone(const std::vector<int16_t>& stereo, size_t frames, double reference) {
  // Past the fade-in of the gain; both sides carry the mono tone.
  const auto f = measure(stereo, 4410, frames - 4410);
  EXPECT_NEAR(f.hz, kToneHz, 0.5);
  EXPECT_NEAR(f.rms, reference * kSettledGain, reference * 0.01);
  EXPECT_NEAR(f.rms, kToneRms, kToneRms * 0.08);
  for (size_t i = 4410; i < frames; i += 997) ASSERT_EQ(stereo[2 * i], stereo[2 * i + 1]) << i;
}

// Renders a stopped player by hand to its end, waiting for the decoder
// whenever it is behind; answers the frames rendered.
std::vector<int16_t> renderToEnd(AudioFilePlayer& p) {
  std::vector<int16_t> all;
  std::vector<int16_t> block(2 * 4096);
  while (true) {
    const size_t before = p.framesPlayed();
    const bool ended = p.stream()->endFrame() && p.readFrame() >= *p.stream()->endFrame();
    if (ended) break;
    if (!igbtest::pumpMainLoopUntil([&] { return p.bufferedFrames() > 0 || p.stream()->endFrame(); }, 5.0)) break;
    std::fill(block.begin(), block.end(), 0);
    p.audioProcess(0, 4096, block.data());
    const size_t got = p.framesPlayed() - before;
    all.insert(all.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(2 * got));
  }
  return all;
}

class Mp3Test : public igbtest::PlayerTest {
 protected:
  std::unique_ptr<AudioFilePlayer> filePlayer() {
    auto p = std::make_unique<AudioFilePlayer>(std::make_shared<ListBrowserTrack>(),
                                               std::vector<platform::AudioDriver>{platform::AudioDriver::Null});
    p->setDelegate(delegate);
    p->setParameter(kListBrowserPlayerParameterVolume, 127);
    return p;
  }
};

}  // namespace

TEST_F(Mp3Test, TheFilePlayerPlaysAnMp3OfTheDocumentsFolderWithItsDurationAndTone) {
  const auto mp3 = makeToneMp3(folder.path(), "tone", 2.0);
  auto p = filePlayer();
  ASSERT_TRUE(p->attach(mp3));
  // lame's header gives the length without the encoder's padding.
  EXPECT_EQ(p->fileFrames(), 88200u);
  EXPECT_EQ(p->totalLength(), 2000u);
  const auto heard = renderToEnd(*p);
  ASSERT_EQ(heard.size(), 2u * 88200);
  expectTone(heard, 88200, referenceRms(mp3));
  // And through the device from the start: the whole file, stop at its end.
  p->seekTo(0, false);
  delegate->told.clear();
  p->play();
  ASSERT_TRUE(igbtest::pumpMainLoopUntil([&] { return !p->isPlaying(); }, 10.0));
  EXPECT_EQ(p->framesPlayed(), 2u * 88200);
  EXPECT_EQ(delegate->told, (std::vector<std::string>{"start", "stop"}));
  EXPECT_EQ(p->readFrame(), 0u);
}

TEST_F(Mp3Test, ALongFileIsDecodedInPiecesAroundThePlayPosition) {
  const auto mp3 = makeToneMp3(folder.path(), "long", 60.0);
  auto p = filePlayer();
  ASSERT_TRUE(p->attach(mp3));
  EXPECT_EQ(p->totalLength(), 60000u);
  ASSERT_TRUE(igbtest::pumpMainLoopUntil(
      [&] { return p->bufferedFrames() >= DecodedStream::kBlocksAhead * DecodedStream::kBlockFrames; }, 5.0));
  // About 2 s decoded of 60: the window, not the file.
  EXPECT_LE(p->stream()->residentBlocks(), DecodedStream::kBlocksAhead + 2);
  // A seek far ahead moves the window there and the tone goes on.
  p->seekTo(0.75f, false);
  EXPECT_EQ(p->readFrame(), 1984500u);
  ASSERT_TRUE(igbtest::pumpMainLoopUntil([&] { return p->bufferedFrames() >= 44100; }, 5.0));
  EXPECT_LE(p->stream()->residentBlocks(), DecodedStream::kBlocksAhead + 2);
  std::vector<int16_t> out(2 * 44100);
  p->audioProcess(0, 44100, out.data());
  EXPECT_EQ(p->readFrame(), 1984500u + 44100);
  const auto f = measure(out, 11025, 44000);
  EXPECT_NEAR(f.hz, kToneHz, 0.5);
  EXPECT_NEAR(f.rms, kToneRms, kToneRms * 0.08);
}

TEST_F(Mp3Test, AFileThatIsNeitherWavNorMpegIsNotAttached) {
  std::vector<uint8_t> noise(20000);
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>((i * 7919) >> 3);
  auto p = filePlayer();
  EXPECT_FALSE(p->attach(igbtest::writeBytes(folder.path() / "noise.mp3", noise)));
  EXPECT_FALSE(p->hasFile());
}

namespace {

class Mp3StreamTest : public Mp3Test {
 protected:
  Mp3StreamTest()
      : server([this](const igbtest::HttpRequest&) {
          igbtest::HttpResponse r;
          r.headers = {{"Content-Type", "audio/mpeg"}};
          r.body = body;
          // Pieces of 2 KB, 50 ms apart: about 0.8 s for the whole body.
          for (size_t at = 0; at < body.size(); at += 2048) r.pieces.push_back(body.substr(at, 2048));
          r.pause = std::chrono::milliseconds(50);
          return r;
        }) {}
  void SetUp() override {
    Mp3Test::SetUp();
    const auto mp3 = makeToneMp3(folder.path(), "stream", 2.0);
    const auto bytes = readAll(mp3);
    body.assign(bytes.begin(), bytes.end());
    reference = referenceRms(mp3);
  }
  void TearDown() override {
    player.reset();
    EXPECT_TRUE(igbtest::pumpMainLoopUntil([] { return platform::URLConnection::activeConnectionCount() == 0; }, 5.0));
    Mp3Test::TearDown();
  }
  void attach() {
    player = std::make_unique<AudioStreamingPlayer>(std::make_shared<ListBrowserTrack>(),
                                                    std::vector<platform::AudioDriver>{platform::AudioDriver::Null});
    player->setDelegate(delegate);
    player->setParameter(kListBrowserPlayerParameterVolume, 127);
    player->attach(*platform::URL::withString(server.url("/tracks/1/stream")), 2000);
  }

  std::string body;
  double reference = 0;
  igbtest::TestHttpServer server;
  std::unique_ptr<AudioStreamingPlayer> player;
};

}  // namespace

TEST_F(Mp3StreamTest, PlaysBeforeTheBodyHasAllArrivedAndThenToItsEnd) {
  attach();
  player->play();
  ASSERT_TRUE(igbtest::pumpMainLoopUntil([&] { return player->isPlaying(); }, 10.0));
  // Half a second decoded is enough: the sound starts with part of the body.
  EXPECT_EQ(player->status(), AudioStreamingPlayer::Status::ReadyToPlay);
  EXPECT_LT(player->bytesWhenReady(), body.size());
  EXPECT_LT(player->bytesReceived(), body.size());
  ASSERT_TRUE(igbtest::pumpMainLoopUntil([&] { return delegate->count("pause") == 1; }, 15.0));
  EXPECT_EQ(player->bytesReceived(), body.size());
  EXPECT_EQ(player->mediaPlayer()->framesPlayed(), 88200u);
  EXPECT_FLOAT_EQ(player->locator(), 1.0f);
  EXPECT_EQ(delegate->count("failed"), 0u);
  EXPECT_EQ(delegate->told, (std::vector<std::string>{"finished", "accepted", "accepted", "start", "pause"}));
}

TEST_F(Mp3StreamTest, TheStreamDecodesAsItArrivesIntoTheTone) {
  attach();
  ASSERT_TRUE(igbtest::pumpMainLoopUntil([&] { return player->status() != AudioStreamingPlayer::Status::Unknown; }, 10.0));
  ASSERT_EQ(player->status(), AudioStreamingPlayer::Status::ReadyToPlay);
  EXPECT_LT(player->bytesWhenReady(), body.size());
  // Rendered by hand as the pieces come: what is heard is the tone, whole.
  const auto heard = renderToEnd(*player->mediaPlayer());
  ASSERT_EQ(heard.size(), 2u * 88200);
  expectTone(heard, 88200, reference);
}

TEST(Mp3Decoder, MalformedInputsAreRefusedWithTheirReason) {
  igbtest::TempFolder folder;
  const auto good = readAll(makeToneMp3(folder.path(), "good", 0.5));
  ASSERT_GT(good.size(), 2000u);
  std::string why;
  ASSERT_TRUE(decodeMp3(good, &why).has_value()) << why;
  auto cut = [&](size_t n) { return std::vector<uint8_t>(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n)); };
  std::vector<uint8_t> garbage(good.size());
  for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
  // A tag that says its body is far longer than the input.
  std::vector<uint8_t> tagOnly = {'I', 'D', '3', 3, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F};
  tagOnly.resize(4000, 0);
  // Frame headers that are all wrong: a reserved sample rate index.
  std::vector<uint8_t> badHeaders;
  for (int i = 0; i < 200; ++i) badHeaders.insert(badHeaders.end(), {0xFF, 0xFB, 0x9C, 0x64, 0, 0, 0, 0});
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    size_t maxFrames;
    const char* reason;
  } cases[] = {
      {"empty", {}, kMaxDecodedFrames, "empty input"},
      {"garbage", garbage, kMaxDecodedFrames, "not MPEG audio (no frame found)"},
      {"tag without audio", tagOnly, kMaxDecodedFrames, "not MPEG audio (no frame found)"},
      {"wrong frame headers", badHeaders, kMaxDecodedFrames, "not MPEG audio (no frame found)"},
      {"cut in the first frame", cut(300), kMaxDecodedFrames, "not MPEG audio (no frame found)"},
      {"a wave file", encodeWav16(std::vector<int16_t>(4000, 1000), 2, 44100), kMaxDecodedFrames,
       "not MPEG audio (no frame found)"},
      {"longer than allowed", good, 1000, "too long to play"},
  };
  for (const auto& c : cases) {
    why.clear();
    EXPECT_FALSE(decodeMp3(c.bytes, &why, c.maxFrames).has_value()) << c.name;
    EXPECT_EQ(why, c.reason) << c.name;
  }
  // A frame cut short at the end, and damage inside: what is whole plays.
  auto damaged = good;
  for (size_t i = damaged.size() / 2; i < damaged.size() / 2 + 300; ++i) damaged[i] = 0x55;
  for (const auto& bytes : {cut(good.size() - 100), damaged}) {
    auto d = decodeMp3(bytes, &why);
    ASSERT_TRUE(d.has_value()) << why;
    EXPECT_GT(d->frames(), 11025u);
    EXPECT_LE(d->frames(), 22050u + 1152u);
  }
}

// A stream at another rate comes out resampled to the players' rate; its
// encoder header is then not trusted, so a header that claims billions of
// frames (it once hung the library's resampler) only ends the stream.
TEST(Mp3Decoder, AStreamAtAnotherRateIsResampledAndADamagedHeaderEndsIt) {
  igbtest::TempFolder folder;
  const auto source = makeToneMp3(folder.path(), "source", 0.5);
  const auto low = folder.path() / "low.mp3";
  const std::string command = "lame --quiet --mp3input --resample 22.05 -b 64 '" + source.string() + "' '" + low.string() + "'";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  const auto bytes = readAll(low);
  std::string why;
  const auto decoded = decodeMp3(bytes, &why);
  ASSERT_TRUE(decoded.has_value()) << why;
  EXPECT_GE(decoded->frames(), 22050u);
  EXPECT_LE(decoded->frames(), 22050u + 3 * 1152u);
  EXPECT_NEAR(measure(decoded->samples, 4000, 18000).hz, kToneHz, 1.0);

  // The encoder header's frame count, just after "Xing" or "Info" and its
  // flags, set to the largest there is.
  auto damaged = bytes;
  size_t at = 0;
  for (size_t i = 0; i + 12 <= damaged.size() && at == 0; ++i)
    if (std::memcmp(&damaged[i], "Xing", 4) == 0 || std::memcmp(&damaged[i], "Info", 4) == 0) at = i + 8;
  ASSERT_NE(at, 0u) << "no encoder header";
  for (size_t i = 0; i < 4; ++i) damaged[at + i] = 0xFF;
  const auto again = decodeMp3(damaged, &why);
  ASSERT_TRUE(again.has_value()) << why;
  EXPECT_GE(again->frames(), 22050u);
}

TEST_F(Mp3StreamTest, AStreamThatIsNotAudioFailsOnce) {
  body = std::string(30000, '\x55');
  attach();
  player->play();
  ASSERT_TRUE(igbtest::pumpMainLoopUntil([&] { return delegate->count("failed") > 0; }, 10.0));
  igbtest::pumpMainLoopUntil([] { return false; }, 0.2);
  EXPECT_EQ(delegate->count("failed"), 1u);
  EXPECT_EQ(delegate->count("start"), 0u);
  EXPECT_EQ(player->mediaPlayer()->stream()->error(), "not MPEG audio (no frame found)");
}
