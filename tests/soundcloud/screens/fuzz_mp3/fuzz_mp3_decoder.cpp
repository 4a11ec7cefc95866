// libFuzzer target for the MP3 decoder. The input is the stream. Besides
// crashes, sanitizer reports and escaped exceptions, the run stops on a
// result that breaks the decoder's promises: a refusal without a reason,
// audio beyond its bound, or a stream that decodes differently when it
// arrives in small pieces than when it arrives whole.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "soundcloud/screens/mp3_decoder.h"

namespace {

[[noreturn]] void broken(const char* what, const std::string& detail) {
  std::fprintf(stderr, "%s (%s)\n", what, detail.c_str());
  std::abort();
}

// The stream fed 97 bytes at a time, as a network body comes.
std::vector<int16_t> inPieces(std::span<const uint8_t> bytes, bool& failed) {
  tssc::Mp3Decoder decoder;
  decoder.setInputSize(bytes.size());
  std::vector<int16_t> out, piece(2 * 1152);
  size_t fed = 0;
  for (;;) {
    const auto r = decoder.read(piece.data(), 1152);
    out.insert(out.end(), piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(2 * r.frames));
    if (r.status == tssc::Mp3Decoder::Status::Error) {
      failed = true;
      return out;
    }
    if (out.size() > 2 * tssc::kMaxDecodedFrames) broken("longer than the bound", "");
    if (r.status == tssc::Mp3Decoder::Status::NeedMore) {
      if (fed == bytes.size()) break;
      const size_t n = std::min<size_t>(97, bytes.size() - fed);
      decoder.feed(bytes.subspan(fed, n));
      fed += n;
    }
  }
  failed = false;
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  std::string why;
  const auto decoded = tssc::decodeMp3(bytes, &why);
  if (!decoded) {
    if (why.empty()) broken("refused without a reason", "");
    return 0;
  }
  if (decoded->samples.size() % 2 != 0) broken("odd sample count", std::to_string(decoded->samples.size()));
  if (decoded->frames() == 0) broken("accepted without audio", "");
  // An MPEG frame of at least 24 bytes gives at most 1,152 frames, at
  // most doubled by the resampling to 44,100 Hz from 8,000 (×5.5).
  if (decoded->frames() > (size / 24 + 1) * 1152 * 6) broken("more frames than the input can hold", std::to_string(decoded->frames()));
  bool failed = false;
  const auto pieces = inPieces(bytes, failed);
  if (!failed && pieces != decoded->samples) broken("pieces decode differently from the whole", "");
  return 0;
}
