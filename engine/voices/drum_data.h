#pragma once
// The drum sample memory: every recorded drum sound in one block of signed
// 16-bit samples, loaded from the bundle resource "drumdata" of type "bin"
// (headerless, big-endian, mono; sample count = file size / 2, an odd last
// byte is ignored). The rows of engine/record/drum_sample_info.h say where
// each sound lies.
//
// A missing, unreadable or short file is not an error for the program: the
// memory holds what could be read, every read beyond it gives 0, and the
// drum rows that lie beyond play silence. Loading says so in one log line.
//
// Threads: loadDrumData, createDrumData and destroyDrumData run on the main
// thread at start-up and termination (before the engine is built and after
// it is gone); they allocate and do file I/O, so they are not real-time-safe.
// Once loaded, the memory is read-only: sample() and drumData() are
// thread-safe and real-time-safe.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct DrumData {
  // Samples in host order, stored as their 16-bit patterns.
  std::vector<uint16_t> words;

  size_t count() const { return words.size(); }
  // Sample `index` as a signed value; 0 beyond the memory.
  int32_t sample(size_t index) const {
    return index < words.size() ? static_cast<int16_t>(words[index]) : 0;
  }
};

enum class DrumDataStatus {
  kLoaded,      // every row of the sample table is present
  kShort,       // the file ends before the last row does
  kMissing,     // no such file
  kUnreadable,  // the file exists but could not be read
};

// The number of samples the sample table needs (one past the last row's end).
size_t drumDataRequiredSamples();

// Replaces `data` with the contents of the file at `path`. Writes one line to
// standard error unless every row is present.
DrumDataStatus loadDrumData(DrumData& data, const std::string& path);
// The same for the bundle resource "drumdata" "bin" (bundle_resource.h).
DrumDataStatus loadDrumDataFromBundle(DrumData& data, std::string_view bundleDir = {});

// Builds the global memory from the bundle (`bundleDir` or the default
// bundle folder) and returns it; an existing one is replaced.
DrumData* createDrumData(std::string_view bundleDir = {});
// Frees the global memory; drumData() is null afterwards.
void destroyDrumData();
// The global memory, or null.
const DrumData* drumData();
