#pragma once
// Measuring tools for the effect tests: stereo buffers run through an
// effect in slices, signal makers, RMS and a power spectrum.

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>
#include <vector>

#include "engine/effects/effector.h"

namespace fxtest {

inline constexpr double kRate = 44100.0;

struct Stereo {
  Stereo() = default;
  explicit Stereo(size_t frames) : left(frames, 0), right(frames, 0) {}
  Stereo(std::vector<int16_t> l, std::vector<int16_t> r) : left(std::move(l)), right(std::move(r)) {}
  static Stereo mono(const std::vector<int16_t>& v) { return Stereo(v, v); }
  size_t size() const { return left.size(); }
  std::vector<int16_t> left;
  std::vector<int16_t> right;
};

// Runs `in` through `process(int16_t* const*, int32_t)` in slices of
// `slice` frames and returns the result.
template <typename Processor>
Stereo run(Processor& p, Stereo in, size_t slice = 256) {
  for (size_t pos = 0; pos < in.size(); pos += slice) {
    const size_t n = std::min(slice, in.size() - pos);
    int16_t* ch[2] = {in.left.data() + pos, in.right.data() + pos};
    p.process(ch, static_cast<int32_t>(n));
  }
  return in;
}

inline std::vector<int16_t> silence(size_t n) { return std::vector<int16_t>(n, 0); }

inline std::vector<int16_t> impulse(size_t n, size_t at, int16_t amplitude) {
  std::vector<int16_t> v(n, 0);
  v[at] = amplitude;
  return v;
}

inline std::vector<int16_t> sine(size_t n, double hz, double amplitude, double phase = 0.0) {
  std::vector<int16_t> v(n);
  for (size_t i = 0; i < n; ++i)
    v[i] = static_cast<int16_t>(std::lround(amplitude * std::sin(2.0 * std::numbers::pi * hz * static_cast<double>(i) / kRate + phase)));
  return v;
}

// Uniform white noise in -amplitude..amplitude from a fixed LCG.
inline std::vector<int16_t> noise(size_t n, int32_t amplitude, uint32_t seed = 12345) {
  std::vector<int16_t> v(n);
  uint32_t s = seed;
  for (size_t i = 0; i < n; ++i) {
    s = s * 1664525u + 1013904223u;
    const double u = static_cast<double>(s >> 8) / static_cast<double>(1u << 24);  // 0..1
    v[i] = static_cast<int16_t>(std::lround((2.0 * u - 1.0) * amplitude));
  }
  return v;
}

inline double rms(const std::vector<int16_t>& v, size_t from = 0, size_t to = SIZE_MAX) {
  to = std::min(to, v.size());
  if (to <= from) return 0.0;
  double s = 0.0;
  for (size_t i = from; i < to; ++i) s += static_cast<double>(v[i]) * v[i];
  return std::sqrt(s / static_cast<double>(to - from));
}

inline int32_t peakAbs(const std::vector<int16_t>& v, size_t from = 0, size_t to = SIZE_MAX) {
  to = std::min(to, v.size());
  int32_t p = 0;
  for (size_t i = from; i < to; ++i) p = std::max(p, std::abs(int32_t{v[i]}));
  return p;
}

// Amplitude of the component at `hz` over v[from, from + n) by correlation
// with a sine and a cosine (n should span whole periods or be long).
inline double amplitudeAt(const std::vector<int16_t>& v, double hz, size_t from, size_t n) {
  double c = 0.0, s = 0.0;
  for (size_t i = 0; i < n; ++i) {
    const double a = 2.0 * std::numbers::pi * hz * static_cast<double>(i) / kRate;
    c += v[from + i] * std::cos(a);
    s += v[from + i] * std::sin(a);
  }
  return 2.0 * std::hypot(c, s) / static_cast<double>(n);
}

// Power spectrum of v[from, from + n) with a Hann window; n a power of two.
// Bin k is k × kRate / n Hz.
inline std::vector<double> powerSpectrum(const std::vector<int16_t>& v, size_t from, size_t n) {
  std::vector<std::complex<double>> x(n);
  for (size_t i = 0; i < n; ++i) {
    const double w = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * static_cast<double>(i) / static_cast<double>(n));
    x[i] = w * v[from + i];
  }
  for (size_t i = 1, j = 0; i < n; ++i) {
    size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(x[i], x[j]);
  }
  for (size_t len = 2; len <= n; len <<= 1) {
    const double ang = -2.0 * std::numbers::pi / static_cast<double>(len);
    const std::complex<double> wl(std::cos(ang), std::sin(ang));
    for (size_t i = 0; i < n; i += len) {
      std::complex<double> w(1.0);
      for (size_t k = 0; k < len / 2; ++k) {
        const auto a = x[i + k];
        const auto b = x[i + k + len / 2] * w;
        x[i + k] = a + b;
        x[i + k + len / 2] = a - b;
        w *= wl;
      }
    }
  }
  std::vector<double> p(n / 2);
  for (size_t k = 0; k < n / 2; ++k) p[k] = std::norm(x[k]);
  return p;
}

// Power spectrum averaged over consecutive windows of n from `from`.
inline std::vector<double> averagedSpectrum(const std::vector<int16_t>& v, size_t from, size_t n, size_t windows) {
  std::vector<double> sum(n / 2, 0.0);
  for (size_t w = 0; w < windows; ++w) {
    const auto p = powerSpectrum(v, from + w * n, n);
    for (size_t k = 0; k < sum.size(); ++k) sum[k] += p[k];
  }
  return sum;
}

inline double binHz(size_t bin, size_t n) { return static_cast<double>(bin) * kRate / static_cast<double>(n); }

// Index of the largest value in p[lo, hi].
inline size_t argmax(const std::vector<double>& p, size_t lo, size_t hi) {
  hi = std::min(hi, p.size() - 1);
  size_t best = lo;
  for (size_t k = lo; k <= hi; ++k)
    if (p[k] > p[best]) best = k;
  return best;
}

inline double db(double ratio) { return 10.0 * std::log10(ratio); }

// The frequency a state-variable filter coefficient f (Q15, f = 2 sin(π fc /
// fs)) tunes to.
inline double svfFrequency(double fQ15) { return kRate / std::numbers::pi * std::asin(fQ15 / 65536.0); }

}  // namespace fxtest
