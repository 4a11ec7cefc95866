#pragma once
// The master stages after the mix: the tube-like drive, the fader and the
// fixed soft clipper. All three process the two 16-bit output channels in
// place on the audio thread.

#include <atomic>
#include <cstdint>
#include <memory>

// Drive ("Tube Gain" 0-127). The target pair is written by the main thread
// and read once per block; a torn pair only shapes one block differently,
// so the floats are relaxed atomics rather than a lock.
class MasterDrive {
 public:
  static constexpr float kSmoothing = 0.0031128880f;

  // Not real-time: allocates the shaped-sample memo.
  MasterDrive();
  ~MasterDrive();
  MasterDrive(const MasterDrive&) = delete;
  MasterDrive& operator=(const MasterDrive&) = delete;

  // Main thread.
  void setValue(int32_t v);
  int32_t value() const { return value_.load(std::memory_order_relaxed); }

  // Audio thread; real-time-safe.
  void process(int16_t* left, int16_t* right, int32_t frames);

  float currentDrive() const { return curDrive_; }
  float currentAmount() const { return curAmount_; }

 private:
  std::atomic<int32_t> value_{0};
  std::atomic<float> targetDrive_{0.0f};
  std::atomic<float> targetAmount_{0.0f};
  float curDrive_ = 0.0f;
  float curAmount_ = 0.0f;

  // Once the smoothing has come to rest, each output sample depends on its
  // input sample alone: the shaped value of every input met since is kept,
  // so that a steady drive computes each of the 65,536 inputs once instead
  // of two exponentials per frame. Valid for the drive and amount it was
  // filled with (compared bit for bit).
  struct Memo;
  std::unique_ptr<Memo> memo_;
};

// Fader ("Master Volume" 0-127) with a Q15 gain that ramps to a new value.
// The new gain crosses from the main thread as an atomic word with a pending
// flag: the audio thread takes the latest value at the start of a block and
// never waits (a mutex would make its unlock a possible kernel call).
class MasterFader {
 public:
  MasterFader();

  // v × v × 3.2767, truncated: 52,849 for 127, 32,767 for 100.
  static int32_t gainFor(int32_t v);

  // Main thread.
  void setValue(int32_t v);
  int32_t value() const { return value_.load(std::memory_order_relaxed); }

  // Audio thread; real-time-safe. With frames 0 it only takes a pending gain.
  void process(int16_t* left, int16_t* right, int32_t frames);

  int32_t currentGain() const { return currentGain_; }
  int32_t gainInUse() const { return gainInUse_; }
  bool ramping() const { return ramping_; }

 private:
  std::atomic<int32_t> value_{127};
  int32_t gainInUse_;
  int32_t currentGain_;
  int64_t accumulator_;
  bool ramping_ = true;
  std::atomic<int32_t> newGain_;
  std::atomic<bool> pending_{true};
};

// Clamp to the engine's sample range, -32,767..32,767.
constexpr int16_t saturate16(int32_t x) {
  return static_cast<int16_t>(x > 32767 ? 32767 : (x < -32767 ? -32767 : x));
}

// Fixed soft clip: a plain gain of 40,575/32,768 below 13,848, a cubic bend
// above, full scale 32,767 in gives 32,765 out. Never yields -32,768.
constexpr int16_t softClip(int32_t x) {
  x = saturate16(x);
  const uint32_t ax = static_cast<uint32_t>(x < 0 ? -x : x);
  const uint32_t a = (ax > 13848 ? ax : 13848) - 13848;
  const uint32_t c = (((a * a) >> 15) * a) >> 15;
  const int32_t y = x >= 0 ? x - static_cast<int32_t>(c) : x + static_cast<int32_t>(c);
  return saturate16((y * 40575) >> 15);
}
// The same for a block of samples.
void softClip(int16_t* samples, int32_t count);

// out[i] = saturate16(dry[i] + send[i]) for a block: the dry mix and the
// effect send summed into the output.
void mixSaturated(int16_t* out, const int16_t* dry, const int16_t* send, int32_t count);
