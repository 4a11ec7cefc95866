// libFuzzer target for the JPEG decoder. The input is the file. Besides
// crashes, sanitizer reports and escaped exceptions, the run stops on a
// result that breaks the decoder's promises: a refusal without a reason,
// or pixels that do not match the size the decoder reports.
//
// With IGB_JPEG_SEEDS set to a folder, the seeds are written there before
// the run starts (baseline and progressive, colour and grey, subsampled):
// the encoder is the library's own, so the script needs no other tool.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include <turbojpeg.h>

#include "platform/gfx/jpeg_decoder.h"

namespace {

[[noreturn]] void broken(const char* what, const std::string& detail) {
  std::fprintf(stderr, "%s (%s)\n", what, detail.c_str());
  std::abort();
}

void writeSeed(const std::string& dir, const std::string& name, int w, int h, int pixelFormat, int subsampling,
               int flags) {
  std::vector<uint8_t> pixels(static_cast<size_t>(w) * h * 4);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>((i * 37) ^ (i >> 5));
  tjhandle h2 = tjInitCompress();
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  if (tjCompress2(h2, pixels.data(), w, 0, h, pixelFormat, &buffer, &size, subsampling, 75, flags) == 0) {
    std::ofstream(dir + "/" + name, std::ios::binary).write(reinterpret_cast<const char*>(buffer), static_cast<std::streamsize>(size));
  }
  tjFree(buffer);
  tjDestroy(h2);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (const char* dir = std::getenv("IGB_JPEG_SEEDS")) {
    writeSeed(dir, "rgb444.jpg", 16, 16, TJPF_BGRA, TJSAMP_444, 0);
    writeSeed(dir, "rgb420.jpg", 33, 17, TJPF_BGRA, TJSAMP_420, 0);
    writeSeed(dir, "grey.jpg", 8, 24, TJPF_GRAY, TJSAMP_GRAY, 0);
    writeSeed(dir, "progressive.jpg", 24, 24, TJPF_BGRA, TJSAMP_422, TJFLAG_PROGRESSIVE);
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string why;
  const auto decoded = platform::decodeJPEG(std::span<const uint8_t>(data, size), &why);
  if (!decoded) {
    if (why.empty()) broken("refused without a reason", "");
    return 0;
  }
  if (decoded->width < 1 || decoded->height < 1) broken("accepted without pixels", "");
  if (static_cast<int64_t>(decoded->width) * decoded->height > platform::kMaxJPEGPixels) broken("larger than the bound", "");
  if (decoded->bgra.size() != static_cast<size_t>(decoded->width) * decoded->height * 4)
    broken("pixels do not match the size", std::to_string(decoded->bgra.size()));
  for (size_t i = 3; i < decoded->bgra.size(); i += 4)
    if (decoded->bgra[i] != 255) broken("a JPEG pixel that is not opaque", std::to_string(i));
  return 0;
}
