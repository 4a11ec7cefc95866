#include "soundcloud/screens/mp3_decoder.h"

#include <mpg123.h>

#include <cstring>
#include <new>
#include <vector>

namespace tssc {

namespace {

// More than this before the first frame (a huge tag) is not kept for a
// second attempt at another rate.
constexpr size_t kMaxHead = 1024 * 1024 + static_cast<size_t>(kMp3ResyncLimit);

}  // namespace

Mp3Decoder::Mp3Decoder() {
  if (!open(false)) error_ = "cannot start the MPEG audio decoder";
}

bool Mp3Decoder::open(bool resample) {
  if (handle_) mpg123_delete(handle_);
  int err = MPG123_OK;
  handle_ = mpg123_new(nullptr, &err);
  if (!handle_) return false;
  resampling_ = resample;
  // Stereo and the players' rate: whatever the stream holds comes out in
  // the one format the players render, so nothing downstream converts.
  long flags = MPG123_QUIET | MPG123_FORCE_STEREO;
  if (!resample) flags |= MPG123_GAPLESS;
  mpg123_param(handle_, MPG123_FLAGS, flags, 0.0);
  if (resample) mpg123_param(handle_, MPG123_FORCE_RATE, static_cast<long>(kPlayerSampleRate), 0.0);
  mpg123_param(handle_, MPG123_RESYNC_LIMIT, kMp3ResyncLimit, 0.0);
  mpg123_format_none(handle_);
  if (mpg123_format(handle_, static_cast<long>(kPlayerSampleRate), MPG123_STEREO, MPG123_ENC_SIGNED_16) != MPG123_OK ||
      mpg123_open_feed(handle_) != MPG123_OK) {
    return false;
  }
  if (inputSize_) mpg123_set_filesize(handle_, static_cast<off_t>(*inputSize_));
  return true;
}

Mp3Decoder::~Mp3Decoder() {
  if (handle_) mpg123_delete(handle_);
}

Mp3Decoder::Result Mp3Decoder::fail(const std::string& why) {
  if (error_.empty()) error_ = why;
  return {0, Status::Error};
}

bool Mp3Decoder::feed(std::span<const uint8_t> bytes) {
  if (failed()) return false;
  if (bytes.empty()) return true;
  if (!formatKnown_ && !resampling_ && !headLost_) {
    if (head_.size() + bytes.size() <= kMaxHead) {
      head_.insert(head_.end(), bytes.begin(), bytes.end());
    } else {
      head_.clear();
      head_.shrink_to_fit();
      headLost_ = true;  // no second attempt without the start
    }
  }
  if (mpg123_feed(handle_, bytes.data(), bytes.size()) != MPG123_OK) {
    fail(std::string("MPEG audio decoder refused the input: ") + mpg123_strerror(handle_));
    return false;
  }
  return true;
}

void Mp3Decoder::setInputSize(uint64_t bytes) {
  inputSize_ = bytes;
  if (!failed()) mpg123_set_filesize(handle_, static_cast<off_t>(bytes));
}

Mp3Decoder::Result Mp3Decoder::read(int16_t* out, size_t frames) {
  if (failed()) return {0, Status::Error};
  Result result;
  while (result.frames < frames) {
    size_t done = 0;
    const int rc = mpg123_read(handle_, reinterpret_cast<unsigned char*>(out + 2 * result.frames),
                               (frames - result.frames) * 4, &done);
    result.frames += done / 4;
    if (rc == MPG123_NEW_FORMAT) {
      long rate = 0;
      int channels = 0, encoding = 0;
      mpg123_getformat(handle_, &rate, &channels, &encoding);
      // Only the one format was allowed; anything else would be misread.
      if (rate != static_cast<long>(kPlayerSampleRate) || channels != 2 || encoding != MPG123_ENC_SIGNED_16)
        return fail("MPEG audio in a format that cannot be converted");
      formatKnown_ = true;
      head_.clear();
      head_.shrink_to_fit();
      continue;
    }
    if (rc == MPG123_OK) continue;
    if (rc == MPG123_NEED_MORE || rc == MPG123_DONE) {
      result.status = Status::NeedMore;
      return result;
    }
    // A stream at another rate than the players' cannot be opened at its
    // own rate: start again from its first byte, resampled.
    if (!formatKnown_ && !resampling_ && !headLost_ && !head_.empty()) {
      std::vector<uint8_t> head;
      head.swap(head_);
      if (!open(true)) return fail("cannot start the MPEG audio decoder");
      if (mpg123_feed(handle_, head.data(), head.size()) != MPG123_OK)
        return fail(std::string("MPEG audio decoder refused the input: ") + mpg123_strerror(handle_));
      continue;
    }
    // Before the first frame every failure means the same to the user: this
    // is not MPEG audio. Past it, libmpg123's words name the damage.
    if (!formatKnown_) return fail("not MPEG audio (no frame found)");
    return fail(std::string("damaged MPEG audio: ") + mpg123_strerror(handle_));
  }
  return result;
}

std::optional<size_t> Mp3Decoder::length() const {
  if (!formatKnown_ || failed()) return std::nullopt;
  const off_t n = mpg123_length(handle_);
  if (n < 0) return std::nullopt;
  return static_cast<size_t>(n);
}

std::optional<uint64_t> Mp3Decoder::seek(size_t frame) {
  if (failed() || !formatKnown_) return std::nullopt;
  off_t input = 0;
  const off_t at = mpg123_feedseek(handle_, static_cast<off_t>(frame), SEEK_SET, &input);
  if (at < 0 || input < 0) return std::nullopt;
  return static_cast<uint64_t>(input);
}

bool looksLikeWav(std::span<const uint8_t> bytes) {
  return bytes.size() >= 12 && std::memcmp(bytes.data(), "RIFF", 4) == 0 && std::memcmp(bytes.data() + 8, "WAVE", 4) == 0;
}

namespace {

std::optional<DecodedAudio> decodeWhole(std::span<const uint8_t> bytes, std::string* why, size_t maxFrames) {
  auto refuse = [&](const std::string& text) -> std::optional<DecodedAudio> {
    if (why) *why = text;
    return std::nullopt;
  };
  if (bytes.empty()) return refuse("empty input");
  Mp3Decoder decoder;
  decoder.setInputSize(bytes.size());
  DecodedAudio out;
  std::vector<int16_t> piece(2 * 4096);
  // Fed in pieces, as a stream arrives: the whole input at once would make
  // libmpg123 copy it.
  constexpr size_t kFeed = 16 * 1024;
  size_t fed = 0;
  for (;;) {
    const auto r = decoder.read(piece.data(), 4096);
    if (r.status == Mp3Decoder::Status::Error) return refuse(decoder.error());
    if (out.frames() + r.frames > maxFrames) return refuse("too long to play");
    out.samples.insert(out.samples.end(), piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(2 * r.frames));
    if (r.status == Mp3Decoder::Status::NeedMore) {
      if (fed == bytes.size()) break;
      const size_t n = std::min(kFeed, bytes.size() - fed);
      if (!decoder.feed(bytes.subspan(fed, n))) return refuse(decoder.error());
      fed += n;
    }
  }
  if (!decoder.formatKnown()) return refuse("not MPEG audio (no frame found)");
  if (out.frames() == 0) return refuse("no complete MPEG audio frame");
  return out;
}

}  // namespace

std::optional<DecodedAudio> decodeMp3(std::span<const uint8_t> bytes, std::string* why, size_t maxFrames) noexcept {
  try {
    return decodeWhole(bytes, why, maxFrames);
  } catch (const std::bad_alloc&) {
    try {
      if (why) *why = "not enough memory to decode";
    } catch (...) {
    }
  } catch (...) {
    try {
      if (why) *why = "cannot decode";
    } catch (...) {
    }
  }
  return std::nullopt;
}

}  // namespace tssc
