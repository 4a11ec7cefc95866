#pragma once
// MPEG audio (MP3, and MPEG-1/2 layers I and II) decoded into the players'
// one format, interleaved stereo signed 16-bit at 44,100 Hz, over
// libmpg123's feed interface: the bytes are handed over as they arrive
// (a network body, or a file read piece by piece), and as much audio as
// they hold comes out. Mono is copied to both sides; other rates are
// resampled by libmpg123. The encoder's delay and padding named in a
// LAME/Xing header are dropped (gapless), so a file made from N frames
// decodes to N frames.
//
// The input is untrusted: what is not an MPEG audio frame is skipped up to
// a bounded distance, after which the stream is refused with a reason; a
// damaged frame inside a stream is skipped as libmpg123 resynchronises;
// nothing throws.
//
// One decoder belongs to one thread at a time (not the render thread: it
// allocates).

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "soundcloud/screens/wav_decoder.h"

struct mpg123_handle_struct;

namespace tssc {

// How far into a stream the first MPEG audio frame may lie (an ID3 tag
// before it is skipped whole, whatever its size).
inline constexpr long kMp3ResyncLimit = 64 * 1024;

class Mp3Decoder {
 public:
  enum class Status {
    Ok,        // `frames` frames came out and more may follow at once
    NeedMore,  // everything fed so far is decoded: feed more, or it is the end
    Error,     // refused; error() says why, and the decoder is done
  };
  struct Result {
    size_t frames = 0;
    Status status = Status::Ok;
  };

  Mp3Decoder();
  ~Mp3Decoder();
  Mp3Decoder(const Mp3Decoder&) = delete;
  Mp3Decoder& operator=(const Mp3Decoder&) = delete;

  // False (with error() set) when the decoder refused the bytes.
  bool feed(std::span<const uint8_t> bytes);
  // The whole input's size when known: lets length() estimate streams
  // without a LAME/Xing header.
  void setInputSize(uint64_t bytes);
  // Up to `frames` stereo frames into `out` (2 × frames samples).
  Result read(int16_t* out, size_t frames);
  // The first frame has been read: the stream is MPEG audio.
  bool formatKnown() const { return formatKnown_; }
  // Output frames of the whole stream as far as can be told: exact with a
  // LAME/Xing header, estimated from the input size otherwise; nullopt
  // before the first frame.
  std::optional<size_t> length() const;
  // Moves the output to `frame`; answers the input offset from which bytes
  // must be fed next (the bytes fed before are dropped), or nullopt when
  // it cannot seek (then nothing changed).
  std::optional<uint64_t> seek(size_t frame);
  const std::string& error() const { return error_; }
  bool failed() const { return !error_.empty(); }

 private:
  Result fail(const std::string& why);
  // Opens the library's decoder: at the stream's own rate with the encoder
  // delay and padding trimmed, or resampled to the players' rate without
  // that trim (libmpg123 can hang trimming a damaged header while it
  // resamples).
  bool open(bool resample);

  mpg123_handle_struct* handle_ = nullptr;
  bool formatKnown_ = false;
  bool resampling_ = false;
  std::optional<uint64_t> inputSize_;
  // What was fed before the first frame, to feed again should the stream
  // turn out to need resampling.
  std::vector<uint8_t> head_;
  bool headLost_ = false;
  std::string error_;
};

// A whole MPEG audio stream at once; `maxFrames` bounds the output. The
// reason names what is wrong: no MPEG audio in it, no complete frame, too
// long, or what libmpg123 said of a damaged stream.
std::optional<DecodedAudio> decodeMp3(std::span<const uint8_t> bytes, std::string* why = nullptr,
                                      size_t maxFrames = kMaxDecodedFrames) noexcept;

// True when the bytes start like a RIFF/WAVE file (anything else is tried
// as MPEG audio).
bool looksLikeWav(std::span<const uint8_t> bytes);

}  // namespace tssc
