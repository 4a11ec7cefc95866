#pragma once
// A single-producer, single-consumer ring of interleaved stereo 16-bit
// frames: the render thread puts, the file writer takes. Neither side ever
// waits, locks or allocates; the ring is sized once.

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

class StereoFrameRing {
 public:
  // Capacity rounded up to a power of two frames.
  explicit StereoFrameRing(size_t minimumFrames) {
    size_t cap = 1;
    while (cap < minimumFrames) cap <<= 1;
    capacity_ = cap;
    mask_ = cap - 1;
    samples_ = std::make_unique<int16_t[]>(cap * 2);
  }

  size_t capacity() const { return capacity_; }

  // Producer side. Puts as many of the frames as fit; returns how many.
  size_t put(const int16_t* left, const int16_t* right, size_t frames) {
    const size_t w = head_.load(std::memory_order_relaxed);
    const size_t r = tail_.load(std::memory_order_acquire);
    const size_t n = std::min(frames, capacity_ - (w - r));
    for (size_t i = 0; i < n; ++i) {
      const size_t at = ((w + i) & mask_) * 2;
      samples_[at] = left[i];
      samples_[at + 1] = right[i];
    }
    head_.store(w + n, std::memory_order_release);
    return n;
  }

  // Consumer side. Takes up to `maxFrames` interleaved frames into `out`.
  size_t take(int16_t* out, size_t maxFrames) {
    const size_t r = tail_.load(std::memory_order_relaxed);
    const size_t w = head_.load(std::memory_order_acquire);
    const size_t n = std::min(maxFrames, w - r);
    for (size_t i = 0; i < n; ++i) {
      const size_t at = ((r + i) & mask_) * 2;
      out[i * 2] = samples_[at];
      out[i * 2 + 1] = samples_[at + 1];
    }
    tail_.store(r + n, std::memory_order_release);
    return n;
  }

  size_t available() const { return head_.load(std::memory_order_acquire) - tail_.load(std::memory_order_acquire); }

  // Only while neither side runs.
  void reset() {
    head_.store(0);
    tail_.store(0);
  }

 private:
  size_t capacity_ = 0;
  size_t mask_ = 0;
  std::unique_ptr<int16_t[]> samples_;
  alignas(64) std::atomic<size_t> head_{0};
  alignas(64) std::atomic<size_t> tail_{0};
};
