// render: plays a pattern through the engine off line, as the bounce does,
// and writes it to a 16-bit stereo 44,100 Hz WAV file.
//
//   render [--file PATH | --number N | --dense] [--loops N] [--effect T]
//          [--cross M] [--tube-gain V] [--bundle DIR] OUTPUT.wav
//
// --file     a pattern record file (29,320 bytes, or the older 29,312)
// --number   pattern N of the factory library in the bundle
// --dense    the built-in dense test pattern (the default); --effect picks
//            its effect type (0-7) and --cross its cross/ring mode (0-2)
// --loops    how many times the pattern plays (default 1)
// --tube-gain the master "Tube Gain" (0-127, default 0)
// --bundle   the bundle folder (default $IGB_BUNDLE_DIR, else the build's)
//
// The file is written block by block as it renders, through the program's
// WAV recorder (a hidden part file in OUTPUT's folder, renamed over OUTPUT
// once it is complete), so a bounce of any length holds one block of audio
// in memory; the recorder's two-hour limit ends a longer one.
//
// Exit status 0 when the file was written, 1 on failure, 2 on bad usage.

#include <sndfile.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#include "audio/audio_file_recorder.h"
#include "audio/bounce.h"
#include "engine/provider/memory_data_provider.h"
#include "engine/synth/synth.h"
#include "engine/voices/drum_data.h"
#include "tools/render/dense_pattern.h"
#include "tools/render/offline_render.h"

namespace {

int usage(const char* why) {
  std::fprintf(stderr,
               "render: %s\n"
               "usage: render [--file PATH | --number N | --dense] [--loops N] [--effect T] [--cross M]\n"
               "              [--tube-gain V] [--bundle DIR] OUTPUT.wav\n",
               why);
  return 2;
}

// Frames in the WAV file at `path`, -1 when it cannot be read.
long long wavFrames(const std::string& path) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (!file) return -1;
  sf_close(file);
  return static_cast<long long>(info.frames);
}

bool parseInt(const char* text, long min, long max, long* out) {
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (!end || *end != '\0' || end == text || v < min || v > max) return false;
  *out = v;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  enum class Source { kDense, kFile, kNumber } source = Source::kDense;
  std::string file;
  long number = 0;
  long loops = 1;
  long effect = 3;
  long cross = 1;
  long tubeGain = 0;
  std::string bundle;
  if (const char* env = std::getenv("IGB_BUNDLE_DIR"); env && *env) bundle = env;
#ifdef IGB_DEFAULT_BUNDLE_DIR
  if (bundle.empty()) bundle = IGB_DEFAULT_BUNDLE_DIR;
#endif
  std::string output;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    if (arg == "--dense") {
      source = Source::kDense;
    } else if (arg == "--file") {
      const char* v = value();
      if (!v) return usage("--file needs a path");
      source = Source::kFile;
      file = v;
    } else if (arg == "--number") {
      const char* v = value();
      if (!v || !parseInt(v, 0, 65535, &number)) return usage("--number needs a pattern number");
      source = Source::kNumber;
    } else if (arg == "--loops") {
      const char* v = value();
      if (!v || !parseInt(v, 1, 1000, &loops)) return usage("--loops needs a count of 1-1000");
    } else if (arg == "--effect") {
      const char* v = value();
      if (!v || !parseInt(v, 0, 7, &effect)) return usage("--effect needs a type of 0-7");
    } else if (arg == "--cross") {
      const char* v = value();
      if (!v || !parseInt(v, 0, 2, &cross)) return usage("--cross needs a mode of 0-2");
    } else if (arg == "--tube-gain") {
      const char* v = value();
      if (!v || !parseInt(v, 0, 127, &tubeGain)) return usage("--tube-gain needs a value of 0-127");
    } else if (arg == "--bundle") {
      const char* v = value();
      if (!v) return usage("--bundle needs a folder");
      bundle = v;
    } else if (!arg.empty() && arg[0] == '-') {
      return usage(("unknown option " + arg).c_str());
    } else if (output.empty()) {
      output = arg;
    } else {
      return usage("more than one output file");
    }
  }
  if (output.empty()) return usage("no output file");

  std::string error;
  std::optional<PatternRecord> record;
  switch (source) {
    case Source::kDense:
      record = makeDensePattern(
          DensePatternOptions{1200, static_cast<int32_t>(effect), static_cast<int32_t>(cross)});
      break;
    case Source::kFile: record = readPatternFile(file, &error); break;
    case Source::kNumber: record = factoryPattern(static_cast<int32_t>(number), bundle, &error); break;
  }
  if (!record) {
    std::fprintf(stderr, "render: %s\n", error.c_str());
    return 1;
  }

  // The recorder makes its part file next to the output, so that the
  // finished file is renamed, never copied, onto it.
  namespace fs = std::filesystem;
  const fs::path target(output);
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) {
    std::fprintf(stderr, "render: cannot create %s: no such folder\n", output.c_str());
    return 1;
  }

  createDrumData(bundle);
  MemoryDataProvider provider;
  Synth* synth = Synth::getInstance(44100.0f);
  synth->setDataProvider(&provider);
  synth->setMasterParameter(1, static_cast<int32_t>(tubeGain));
  synth->setPatternRecord(&*record);
  AudioFileRecorder::Environment environment;
  environment.documentsDirectory = folder;
  BounceResult result;
  AudioFileRecorder::Outcome outcome;
  std::string saved;
  {
    AudioFileRecorder recorder(synth, 0, environment);
    recorder.setBounceMode(true);
    result = bounceCurrentPattern(*synth, recorder, static_cast<uint32_t>(loops));
    outcome = recorder.lastOutcome();
    saved = recorder.lastSavedPath();
  }
  Synth::destroyInstance();
  destroyDrumData();
  if (result == BounceResult::Refused) {
    std::fprintf(stderr, "render: the engine would not leave the live output\n");
    return 1;
  }
  if (result == BounceResult::Empty) {
    std::fprintf(stderr, "render: the pattern has no frames\n");
    return 1;
  }
  if (outcome != AudioFileRecorder::Outcome::Saved) {
    std::fprintf(stderr, "render: cannot write %s%s\n", output.c_str(),
                 outcome == AudioFileRecorder::Outcome::DiskFull ? ": the disk is full" : "");
    return 1;
  }
  fs::rename(saved, target, ec);
  if (ec) {
    std::fprintf(stderr, "render: cannot write %s: %s\n", output.c_str(), ec.message().c_str());
    fs::remove(saved, ec);
    return 1;
  }
  std::printf("%lld frames\n", wavFrames(output));
  return 0;
}
