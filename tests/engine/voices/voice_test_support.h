#pragma once
// Small measuring tools for the voice tests: bus sets, frequency by zero
// crossings, RMS, and a power spectrum.

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>
#include <vector>

namespace voicetest {

// The engine's four buses (dry L/R, send L/R) for `frames` frames.
struct Buses {
  explicit Buses(size_t frames) : data(4, std::vector<int16_t>(frames, 0)) { point(0); }
  // Cursors at frame `pos`.
  int16_t* const* at(size_t pos) {
    point(pos);
    return ptr;
  }
  void point(size_t pos) {
    for (int b = 0; b < 4; ++b) ptr[b] = data[b].data() + pos;
  }
  const std::vector<int16_t>& bus(int b) const { return data[b]; }
  void fill(int16_t v) {
    for (auto& d : data) std::fill(d.begin(), d.end(), v);
  }
  std::vector<std::vector<int16_t>> data;
  int16_t* ptr[4];
};

template <typename T>
std::vector<double> toDouble(const std::vector<T>& v, size_t from = 0, size_t to = SIZE_MAX) {
  to = std::min(to, v.size());
  return std::vector<double>(v.begin() + static_cast<std::ptrdiff_t>(from), v.begin() + static_cast<std::ptrdiff_t>(to));
}

inline double rms(const std::vector<double>& v) {
  if (v.empty()) return 0.0;
  double s = 0.0;
  for (double x : v) s += x * x;
  return std::sqrt(s / static_cast<double>(v.size()));
}

inline double peak(const std::vector<double>& v) {
  double p = 0.0;
  for (double x : v) p = std::max(p, std::abs(x));
  return p;
}

// Frequency from the interval between the first and the last upward zero
// crossing (linearly interpolated), with the mean removed first.
inline double zeroCrossingFrequency(std::vector<double> v, double sampleRate) {
  double mean = 0.0;
  for (double x : v) mean += x;
  mean /= static_cast<double>(v.size());
  for (double& x : v) x -= mean;
  double first = -1.0;
  double last = -1.0;
  int count = 0;
  for (size_t i = 1; i < v.size(); ++i) {
    if (v[i - 1] < 0.0 && v[i] >= 0.0) {
      const double t = static_cast<double>(i - 1) + v[i - 1] / (v[i - 1] - v[i]);
      if (first < 0.0) first = t;
      last = t;
      ++count;
    }
  }
  if (count < 2) return 0.0;
  return (count - 1) * sampleRate / (last - first);
}

// Power spectrum of a Hann-windowed block (zero-padded to a power of two):
// bin k is k × sampleRate / size.
struct Spectrum {
  std::vector<double> power;
  double binHz = 0.0;

  double band(double lowHz, double highHz) const {
    double s = 0.0;
    for (size_t k = 0; k < power.size(); ++k) {
      const double f = static_cast<double>(k) * binHz;
      if (f >= lowHz && f < highHz) s += power[k];
    }
    return s;
  }
  double total() const { return band(0.0, 1e12); }
  double peakFrequency(double lowHz, double highHz) const {
    double best = -1.0;
    double f = 0.0;
    for (size_t k = 0; k < power.size(); ++k) {
      const double fk = static_cast<double>(k) * binHz;
      if (fk >= lowHz && fk < highHz && power[k] > best) {
        best = power[k];
        f = fk;
      }
    }
    return f;
  }
};

inline void fft(std::vector<std::complex<double>>& a) {
  const size_t n = a.size();
  for (size_t i = 1, j = 0; i < n; ++i) {
    size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(a[i], a[j]);
  }
  for (size_t len = 2; len <= n; len <<= 1) {
    const double ang = -2.0 * std::numbers::pi / static_cast<double>(len);
    const std::complex<double> wl(std::cos(ang), std::sin(ang));
    for (size_t i = 0; i < n; i += len) {
      std::complex<double> w(1.0, 0.0);
      for (size_t k = 0; k < len / 2; ++k) {
        const std::complex<double> u = a[i + k];
        const std::complex<double> t = w * a[i + k + len / 2];
        a[i + k] = u + t;
        a[i + k + len / 2] = u - t;
        w *= wl;
      }
    }
  }
}

inline Spectrum spectrum(const std::vector<double>& x, double sampleRate) {
  size_t n = 1;
  while (n < x.size()) n <<= 1;
  std::vector<std::complex<double>> a(n);
  const double m = static_cast<double>(x.size());
  for (size_t i = 0; i < x.size(); ++i) {
    const double w = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * static_cast<double>(i) / (m - 1.0));
    a[i] = x[i] * w;
  }
  fft(a);
  Spectrum s;
  s.binHz = sampleRate / static_cast<double>(n);
  s.power.resize(n / 2 + 1);
  for (size_t k = 0; k <= n / 2; ++k) s.power[k] = std::norm(a[k]);
  return s;
}

}  // namespace voicetest
