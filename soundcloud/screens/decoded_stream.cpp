#include "soundcloud/screens/decoded_stream.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>

#include "soundcloud/screens/mp3_decoder.h"

namespace tssc {

// ---- EncodedBody

void EncodedBody::append(std::span<const uint8_t> bytes) {
  std::lock_guard lock(mutex_);
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
}

void EncodedBody::finish() {
  std::lock_guard lock(mutex_);
  complete_ = true;
}

size_t EncodedBody::size() const {
  std::lock_guard lock(mutex_);
  return bytes_.size();
}

bool EncodedBody::complete() const {
  std::lock_guard lock(mutex_);
  return complete_;
}

size_t EncodedBody::copy(uint64_t offset, uint8_t* out, size_t n) const {
  std::lock_guard lock(mutex_);
  if (offset >= bytes_.size()) return 0;
  const size_t count = std::min<size_t>(n, bytes_.size() - offset);
  std::memcpy(out, bytes_.data() + offset, count);
  return count;
}

namespace {

// WAV: random access into the samples that have arrived.
class WavSource : public PcmSource {
 public:
  explicit WavSource(std::shared_ptr<EncodedBody> body) : body_(std::move(body)) {}

  Result read(int16_t* out, size_t frames) override {
    if (!error_.empty()) return {0, Status::Error};
    return body_->with([&](std::span<const uint8_t> bytes, bool complete) -> Result {
      if (!layout_) {
        std::string why;
        layout_ = parseWavHeader(bytes, complete, &why);
        if (!layout_) {
          if (complete || !why.empty()) {
            error_ = why.empty() ? "not a RIFF/WAVE file" : why;
            return {0, Status::Error};
          }
          return {0, Status::NeedMore};
        }
      }
      size_t available = layout_->outputFrames(bytes.size());
      // While more arrives, the last frame's neighbour (resampling reads
      // two input frames) may still be missing: it waits for the next piece.
      if (!complete && available > 0 && layout_->rate != static_cast<uint32_t>(kPlayerSampleRate)) --available;
      if (available > kMaxDecodedFrames) {
        error_ = "too long to play";
        return {0, Status::Error};
      }
      if (complete) total_ = available;
      const size_t n = pos_ < available ? std::min(frames, available - pos_) : 0;
      convertWavFrames(*layout_, bytes, bytes.size(), pos_, n, out);
      pos_ += n;
      if (n == frames) return {n, Status::Ok};
      return {n, complete ? Status::End : Status::NeedMore};
    });
  }
  bool seek(size_t frame) override {
    pos_ = frame;
    return true;
  }
  std::optional<size_t> length() const override {
    if (total_) return total_;
    if (!layout_) return std::nullopt;
    return layout_->outputFrames(layout_->dataOffset + layout_->dataSize);
  }
  bool formatKnown() const override { return layout_.has_value(); }
  std::string error() const override { return error_; }

 private:
  std::shared_ptr<EncodedBody> body_;
  std::optional<WavLayout> layout_;
  std::optional<size_t> total_;
  size_t pos_ = 0;
  std::string error_;
};

// MPEG audio: the body is fed to libmpg123 from where it asks for it.
class Mp3Source : public PcmSource {
 public:
  explicit Mp3Source(std::shared_ptr<EncodedBody> body) : body_(std::move(body)), piece_(16 * 1024) {}

  Result read(int16_t* out, size_t frames) override {
    Result result;
    while (result.frames < frames) {
      const auto r = decoder_.read(out + 2 * result.frames, frames - result.frames);
      result.frames += r.frames;
      produced_ += r.frames;
      if (produced_ > kMaxDecodedFrames) {
        error_ = "too long to play";
        return {result.frames, Status::Error};
      }
      if (r.status == Mp3Decoder::Status::Error) return {result.frames, Status::Error};
      if (r.status == Mp3Decoder::Status::Ok) continue;
      const bool complete = body_->complete();
      if (complete && !sizeGiven_) {
        decoder_.setInputSize(body_->size());
        sizeGiven_ = true;
      }
      const size_t n = body_->copy(fed_, piece_.data(), piece_.size());
      if (n > 0) {
        fed_ += n;
        if (!decoder_.feed(std::span<const uint8_t>(piece_.data(), n))) return {result.frames, Status::Error};
        continue;
      }
      if (!complete) {
        result.status = Status::NeedMore;
        return result;
      }
      if (!decoder_.formatKnown()) {
        error_ = "not MPEG audio (no frame found)";
        return {result.frames, Status::Error};
      }
      if (produced_ == 0) {
        error_ = "no complete MPEG audio frame";
        return {result.frames, Status::Error};
      }
      result.status = Status::End;
      return result;
    }
    return result;
  }
  bool seek(size_t frame) override {
    const auto input = decoder_.seek(frame);
    if (!input) return false;
    fed_ = *input;
    return true;
  }
  std::optional<size_t> length() const override { return decoder_.length(); }
  bool formatKnown() const override { return decoder_.formatKnown(); }
  std::string error() const override { return error_.empty() ? decoder_.error() : error_; }

 private:
  std::shared_ptr<EncodedBody> body_;
  Mp3Decoder decoder_;
  std::vector<uint8_t> piece_;
  uint64_t fed_ = 0;
  size_t produced_ = 0;
  bool sizeGiven_ = false;
  std::string error_;
};

}  // namespace

// ---- DecodedStream

DecodedStream::DecodedStream(std::shared_ptr<EncodedBody> body) : body_(std::move(body)) { start(); }

DecodedStream::DecodedStream(const std::filesystem::path& file)
    : body_(std::make_shared<EncodedBody>()), file_(file), fromFile_(true) {
  start();
}

void DecodedStream::start() {
  slots_ = std::make_unique<std::atomic<Block*>[]>(kMaxBlocks);
  for (size_t i = 0; i < kMaxBlocks; ++i) slots_[i].store(nullptr);
  thread_ = std::thread([this] { run(); });
}

DecodedStream::~DecodedStream() {
  quit_ = true;
  wake();
  if (thread_.joinable()) thread_.join();
  for (size_t i : residentList_) delete slots_[i].exchange(nullptr);
}

size_t DecodedStream::read(size_t frame, int16_t* out, size_t frames) noexcept {
  readers_.fetch_add(1);  // odd: a read is running
  size_t done = 0;
  while (done < frames) {
    const size_t at = frame + done;
    const size_t index = at / kBlockFrames;
    if (index >= kMaxBlocks) break;
    const Block* block = slots_[index].load();
    const size_t offset = at % kBlockFrames;
    if (!block || offset >= block->frames) break;
    const size_t n = std::min(frames - done, block->frames - offset);
    std::memcpy(out + 2 * done, block->samples + 2 * offset, n * 4);
    done += n;
    if (block->frames < kBlockFrames) break;
  }
  readers_.fetch_add(1);  // even: none
  return done;
}

void DecodedStream::setPlayhead(size_t frame) {
  playhead_.store(frame);
}

void DecodedStream::wake() {
  {
    std::lock_guard lock(mutex_);
    woken_ = true;
  }
  cv_.notify_all();
}

void DecodedStream::setProgressHandler(std::function<void()> handler) {
  std::lock_guard lock(mutex_);
  progress_ = std::move(handler);
}

void DecodedStream::progress() {
  std::function<void()> handler;
  {
    std::lock_guard lock(mutex_);
    handler = progress_;
  }
  if (handler) handler();
}

std::string DecodedStream::error() const {
  std::lock_guard lock(mutex_);
  return error_;
}

bool DecodedStream::waitForFormat(double seconds) {
  std::unique_lock lock(mutex_);
  cv_.wait_for(lock, std::chrono::duration<double>(seconds),
               [&] { return formatKnown_.load() || state_.load() == State::Failed; });
  return formatKnown_.load();
}

std::optional<size_t> DecodedStream::endFrame() const {
  const size_t e = end_.load();
  if (e == SIZE_MAX) return std::nullopt;
  return e;
}

size_t DecodedStream::length() const {
  const size_t e = end_.load();
  return e != SIZE_MAX ? e : length_.load();
}

size_t DecodedStream::bufferedFrames() const {
  const size_t head = playhead_.load();
  const size_t until = bufferedUntil_.load();
  // A seek back before the decoder has looked again: nothing known there.
  if (head < bufferedFrom_.load()) return 0;
  return until > head ? until - head : 0;
}

void DecodedStream::setFailed(const std::string& why) {
  {
    std::lock_guard lock(mutex_);
    error_ = why.empty() ? "cannot decode" : why;
  }
  state_ = State::Failed;
  cv_.notify_all();
  progress();
}

void DecodedStream::waitAWhile() {
  // The render thread moves the play position without waking anyone (it
  // must not take a lock), so the wait is short.
  std::unique_lock lock(mutex_);
  cv_.wait_for(lock, std::chrono::milliseconds(10), [&] { return woken_ || quit_.load(); });
  woken_ = false;
}

bool DecodedStream::readMoreOfFile() {
  if (!fromFile_ || body_->complete()) return false;
  std::ifstream in(file_, std::ios::binary);
  std::vector<uint8_t> piece(kFileReadBytes);
  if (in) {
    in.seekg(static_cast<std::streamoff>(fileOffset_));
    in.read(reinterpret_cast<char*>(piece.data()), static_cast<std::streamsize>(piece.size()));
  }
  const size_t n = in || in.eof() ? static_cast<size_t>(in.gcount()) : 0;
  fileOffset_ += n;
  body_->append(std::span<const uint8_t>(piece.data(), n));
  if (n < piece.size()) body_->finish();
  return true;
}

bool DecodedStream::makeSource() {
  if (source_) return true;
  if (fromFile_ && body_->size() < 12 && !body_->complete()) readMoreOfFile();
  uint8_t head[12];
  const size_t n = body_->copy(0, head, sizeof head);
  if (n < sizeof head && !body_->complete()) return false;
  if (looksLikeWav(std::span<const uint8_t>(head, n))) source_ = std::make_unique<WavSource>(body_);
  else source_ = std::make_unique<Mp3Source>(body_);
  return true;
}

void DecodedStream::retire(size_t index) {
  Block* old = slots_[index].exchange(nullptr);
  if (!old) return;
  // A render read that began before the exchange may still copy from the
  // block: wait for it to end (a read is a memcpy of one buffer's worth).
  const uint64_t seen = readers_.load();
  if (seen & 1) {
    while (readers_.load() == seen) std::this_thread::yield();
  }
  delete old;
  resident_.fetch_sub(1);
}

void DecodedStream::publishBuffered(size_t head) {
  size_t at = head;
  for (;;) {
    const size_t index = at / kBlockFrames;
    if (index >= kMaxBlocks) break;
    const Block* block = slots_[index].load();  // only this thread frees blocks
    if (!block || at % kBlockFrames >= block->frames) break;
    at = index * kBlockFrames + block->frames;
    if (block->frames < kBlockFrames) break;
  }
  bufferedFrom_.store(0);
  bufferedUntil_.store(at);
  bufferedFrom_.store(head);
}

void DecodedStream::run() {
  std::unique_ptr<Block> pending;
  size_t pendingIndex = SIZE_MAX;
  size_t sourcePos = 0;
  while (!quit_.load()) {
    if (state_.load() == State::Failed) {
      waitAWhile();
      continue;
    }
    if (!makeSource()) {
      waitAWhile();
      continue;
    }
    const size_t head = playhead_.load();
    const size_t first = head / kBlockFrames;
    // Blocks that left the window go.
    for (size_t i = 0; i < residentList_.size();) {
      const size_t index = residentList_[i];
      if (index + 1 < first || index > first + kBlocksAhead) {
        retire(index);
        residentList_[i] = residentList_.back();
        residentList_.pop_back();
      } else {
        ++i;
      }
    }
    publishBuffered(head);
    const size_t end = end_.load();
    size_t want = SIZE_MAX;
    for (size_t index = first; index <= first + kBlocksAhead && index < kMaxBlocks; ++index) {
      if (index * kBlockFrames >= end) break;
      if (!slots_[index].load()) {
        want = index;
        break;
      }
    }
    if (want == SIZE_MAX) {
      waitAWhile();
      continue;
    }
    if (pendingIndex != want) {
      if (sourcePos != want * kBlockFrames) {
        if (source_->seek(want * kBlockFrames)) {
          sourcePos = want * kBlockFrames;
        } else if (sourcePos % kBlockFrames == 0) {
          // Not seekable yet (no frame read so far): decode on from where
          // the source is until it is.
          want = sourcePos / kBlockFrames;
        } else {
          waitAWhile();
          continue;
        }
      }
      pending = std::make_unique<Block>();
      pending->frames = 0;
      pendingIndex = want;
    }
    const auto r = source_->read(pending->samples + 2 * pending->frames, kBlockFrames - pending->frames);
    pending->frames += r.frames;
    sourcePos += r.frames;
    // The length first: whoever waits for the format reads it next.
    if (auto length = source_->length()) length_.store(*length);
    if (source_->formatKnown() && !formatKnown_.load()) {
      std::lock_guard lock(mutex_);
      formatKnown_ = true;
      cv_.notify_all();
    }
    const bool stops = r.status == PcmSource::Status::End || r.status == PcmSource::Status::Error;
    if (pending->frames == kBlockFrames || (stops && pending->frames > 0)) {
      if (stops) end_.store(pendingIndex * kBlockFrames + pending->frames);
      slots_[pendingIndex].store(pending.release());
      residentList_.push_back(pendingIndex);
      resident_.fetch_add(1);
      pendingIndex = SIZE_MAX;
      publishBuffered(playhead_.load());
      if (!stops) progress();
    } else if (stops) {
      end_.store(std::min(end_.load(), pendingIndex * kBlockFrames));
    }
    if (r.status == PcmSource::Status::End) {
      pending.reset();
      pendingIndex = SIZE_MAX;
      if (state_.load() == State::Decoding) {
        std::lock_guard lock(mutex_);
        formatKnown_ = true;
        state_ = State::Ended;
        cv_.notify_all();
      }
      progress();
    } else if (r.status == PcmSource::Status::Error) {
      // What decoded before the damage still plays; the stream ends there.
      setFailed(source_->error());
    } else if (r.status == PcmSource::Status::NeedMore) {
      if (!readMoreOfFile()) waitAWhile();
    }
  }
}

}  // namespace tssc
