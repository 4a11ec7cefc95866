// libFuzzer target for the WAV decoder. The input is the file. Besides
// crashes, sanitizer reports and escaped exceptions, the run stops on a
// result that breaks the decoder's promises: audio longer than its bound,
// a decode whose length depends on anything but the input, or a bound
// that does not hold at exactly the decoded length.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "soundcloud/screens/wav_decoder.h"

namespace {

[[noreturn]] void broken(const char* what, const std::string& detail) {
  std::fprintf(stderr, "%s (%s)\n", what, detail.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  std::string why;
  const auto decoded = tssc::decodeWav(bytes, &why);
  if (!decoded) {
    if (why.empty()) broken("refused without a reason", "");
    return 0;
  }
  const size_t frames = decoded->frames();
  if (decoded->samples.size() % 2 != 0) broken("odd sample count", std::to_string(decoded->samples.size()));
  if (frames > tssc::kMaxDecodedFrames) broken("longer than the bound", std::to_string(frames));
  // The input's bytes bound the output: at the lowest rate one byte of
  // input (8-bit mono) gives at most 44,100 / 8,000 frames, plus one.
  if (frames > size * 6 + 1) broken("more frames than the input can hold", std::to_string(frames));
  // The bound is exact: the decoded length passes, one frame less does not.
  const auto again = tssc::decodeWav(bytes, &why, frames);
  if (!again || again->samples != decoded->samples) broken("a decode within its bound differs", why);
  if (frames > 0 && tssc::decodeWav(bytes, &why, frames - 1)) broken("a decode beyond its bound passed", "");
  return 0;
}
