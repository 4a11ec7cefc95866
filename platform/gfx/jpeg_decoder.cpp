#include "platform/gfx/jpeg_decoder.h"

#include <turbojpeg.h>

#include <memory>
#include <new>

namespace platform {

namespace {

struct HandleCloser {
  void operator()(void* h) const {
    if (h) tjDestroy(h);
  }
};
using Handle = std::unique_ptr<void, HandleCloser>;

void say(std::string* why, const std::string& text) {
  if (why) *why = text;
}

std::optional<DecodedPixels> decode(std::span<const uint8_t> bytes, std::string* why, int64_t maxPixels) {
  if (!looksLikeJPEG(bytes)) {
    say(why, "not a JPEG image");
    return std::nullopt;
  }
  Handle handle(tjInitDecompress());
  if (!handle) {
    say(why, "cannot start the JPEG decoder");
    return std::nullopt;
  }
  int width = 0, height = 0, subsampling = 0, colorspace = 0;
  if (tjDecompressHeader3(handle.get(), bytes.data(), static_cast<unsigned long>(bytes.size()), &width, &height,
                          &subsampling, &colorspace) != 0) {
    say(why, std::string("damaged JPEG header: ") + tjGetErrorStr2(handle.get()));
    return std::nullopt;
  }
  if (width < 1 || height < 1) {
    say(why, "damaged JPEG header: no image size");
    return std::nullopt;
  }
  if (static_cast<int64_t>(width) * height > maxPixels) {
    say(why, "JPEG image too large (" + std::to_string(width) + " × " + std::to_string(height) + ")");
    return std::nullopt;
  }
  DecodedPixels out;
  out.width = width;
  out.height = height;
  out.bgra.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
  // A warning leaves grey where the data ran out: a picture shown half
  // drawn is worse than none, so it refuses too. The scan limit keeps a
  // progressive file of thousands of tiny scans from taking minutes.
  if (tjDecompress2(handle.get(), bytes.data(), static_cast<unsigned long>(bytes.size()), out.bgra.data(), width,
                    width * 4, height, TJPF_BGRA, TJFLAG_STOPONWARNING | TJFLAG_LIMITSCANS) != 0) {
    say(why, std::string("damaged JPEG data: ") + tjGetErrorStr2(handle.get()));
    return std::nullopt;
  }
  return out;
}

}  // namespace

bool looksLikeJPEG(std::span<const uint8_t> bytes) {
  return bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF;
}

std::optional<DecodedPixels> decodeJPEG(std::span<const uint8_t> bytes, std::string* why, int64_t maxPixels) noexcept {
  try {
    return decode(bytes, why, maxPixels);
  } catch (const std::bad_alloc&) {
    try {
      say(why, "not enough memory to decode");
    } catch (...) {
    }
  } catch (...) {
    try {
      say(why, "cannot decode");
    } catch (...) {
    }
  }
  return std::nullopt;
}

std::vector<uint8_t> encodeJPEG(const DecodedPixels& pixels, int quality) {
  Handle handle(tjInitCompress());
  if (!handle || pixels.width < 1 || pixels.height < 1) return {};
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  if (tjCompress2(handle.get(), pixels.bgra.data(), pixels.width, pixels.width * 4, pixels.height, TJPF_BGRA, &buffer,
                  &size, TJSAMP_444, quality, 0) != 0) {
    tjFree(buffer);
    return {};
  }
  std::vector<uint8_t> out(buffer, buffer + size);
  tjFree(buffer);
  return out;
}

}  // namespace platform
