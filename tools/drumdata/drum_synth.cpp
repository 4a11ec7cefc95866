#include "tools/drumdata/drum_synth.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

#include "engine/record/drum_sample_info.h"

namespace drumgen {
namespace {

constexpr double kPi = std::numbers::pi;

// splitmix64: small, fast and fully determined by its seed.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Uniform in [0, 1).
  double unit() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }
  // Uniform in [-1, 1).
  double bipolar() { return unit() * 2.0 - 1.0; }

 private:
  uint64_t state_;
};

// Second-order sections after the well-known audio-EQ cookbook formulas.
class Biquad {
 public:
  static Biquad lowpass(double fs, double f, double q) { return make(fs, f, q, Kind::kLow); }
  static Biquad highpass(double fs, double f, double q) { return make(fs, f, q, Kind::kHigh); }
  static Biquad bandpass(double fs, double f, double q) { return make(fs, f, q, Kind::kBand); }

  double process(double x) {
    const double y = b0_ * x + b1_ * x1_ + b2_ * x2_ - a1_ * y1_ - a2_ * y2_;
    x2_ = x1_;
    x1_ = x;
    y2_ = y1_;
    y1_ = y;
    return y;
  }

 private:
  enum class Kind { kLow, kHigh, kBand };
  static Biquad make(double fs, double f, double q, Kind kind) {
    f = std::min(f, fs * 0.45);
    const double w = 2.0 * kPi * f / fs;
    const double cw = std::cos(w);
    const double alpha = std::sin(w) / (2.0 * q);
    const double a0 = 1.0 + alpha;
    Biquad b;
    switch (kind) {
      case Kind::kLow:
        b.b0_ = (1.0 - cw) / 2.0;
        b.b1_ = 1.0 - cw;
        b.b2_ = (1.0 - cw) / 2.0;
        break;
      case Kind::kHigh:
        b.b0_ = (1.0 + cw) / 2.0;
        b.b1_ = -(1.0 + cw);
        b.b2_ = (1.0 + cw) / 2.0;
        break;
      case Kind::kBand:
        b.b0_ = alpha;
        b.b1_ = 0.0;
        b.b2_ = -alpha;
        break;
    }
    b.b0_ /= a0;
    b.b1_ /= a0;
    b.b2_ /= a0;
    b.a1_ = -2.0 * cw / a0;
    b.a2_ = (1.0 - alpha) / a0;
    return b;
  }

  double b0_ = 1, b1_ = 0, b2_ = 0, a1_ = 0, a2_ = 0;
  double x1_ = 0, x2_ = 0, y1_ = 0, y2_ = 0;
};

// A square wave with its edges smoothed by polynomial band-limited steps, so
// the metal partials do not alias.
class Square {
 public:
  Square(double freq, double fs, double phase) : dt_(freq / fs), t_(phase) {}
  double next() {
    double v = t_ < 0.5 ? 1.0 : -1.0;
    v += blep(t_);
    v -= blep(std::fmod(t_ + 0.5, 1.0));
    t_ += dt_;
    if (t_ >= 1.0) t_ -= 1.0;
    return v;
  }

 private:
  double blep(double t) const {
    if (t < dt_) {
      t /= dt_;
      return t + t - t * t - 1.0;
    }
    if (t > 1.0 - dt_) {
      t = (t - 1.0) / dt_;
      return t * t + t + t + 1.0;
    }
    return 0.0;
  }
  double dt_;
  double t_;
};

// Fast attack, exponential decay with time constant `tau` (seconds).
double attackDecay(double t, double attack, double tau) {
  const double a = attack > 0.0 ? std::min(1.0, t / attack) : 1.0;
  return a * std::exp(-t / tau);
}

struct HatVoice {
  double metalScale;  // multiplies the base frequencies of the square bank
  double tau;         // decay time constant in seconds
  double highpass;    // Hz
  double noiseMix;    // 0 = all metal, 1 = all noise
  double bandCentre;  // Hz, emphasis of the sizzle
};

// The classic six-oscillator metal: inharmonic square waves, summed.
constexpr double kMetal[6] = {205.3, 304.4, 369.6, 522.7, 540.0, 800.0};

std::vector<double> hiHat(const HatVoice& v, double fs, size_t n, Random& rng) {
  std::vector<Square> bank;
  for (double f : kMetal) bank.emplace_back(f * v.metalScale, fs, rng.unit());
  Biquad hp1 = Biquad::highpass(fs, v.highpass, 0.707);
  Biquad hp2 = Biquad::highpass(fs, v.highpass, 0.707);
  Biquad hp3 = Biquad::highpass(fs, v.highpass * 0.9, 0.707);
  Biquad band = Biquad::bandpass(fs, v.bandCentre, 0.9);
  std::vector<double> out(n);
  for (size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / fs;
    double metal = 0.0;
    for (Square& sq : bank) metal += sq.next();
    metal /= 6.0;
    const double x = (1.0 - v.noiseMix) * metal + v.noiseMix * rng.bipolar();
    double y = hp3.process(hp2.process(hp1.process(x)));
    y = 0.6 * y + 0.8 * band.process(y);
    out[i] = y * attackDecay(t, 0.0005, v.tau);
  }
  return out;
}

struct CymbalVoice {
  double tau;       // body decay in seconds
  double lowest;    // lowest partial, Hz
  double highest;   // highest partial, Hz
  double highpass;  // noise high-pass, Hz
  double metalScale;
};

std::vector<double> cymbal(const CymbalVoice& v, double fs, size_t n, Random& rng) {
  // A dense field of inharmonic partials between `lowest` and `highest`,
  // spread on a log scale with random jitter; the higher ones ring a little
  // shorter. Each partial is a rotating phasor, so no sine is evaluated per
  // sample.
  constexpr int kPartials = 160;
  struct Partial {
    std::complex<double> z;
    std::complex<double> rotation;  // includes the per-sample decay
  };
  std::vector<Partial> partials;
  const double top = std::min(v.highest, fs * 0.45);
  for (int k = 0; k < kPartials; ++k) {
    const double pos = std::clamp((k + rng.unit()) / kPartials, 0.0, 1.0);
    const double f = v.lowest * std::pow(top / v.lowest, pos);
    const double tau = v.tau * (1.2 - 0.6 * pos) * (0.7 + 0.6 * rng.unit());
    const double amp = 0.4 + 0.6 * rng.unit();
    partials.push_back({std::polar(amp, 2.0 * kPi * rng.unit()),
                        std::polar(std::exp(-1.0 / (tau * fs)), 2.0 * kPi * f / fs)});
  }
  std::vector<Square> bankA;
  std::vector<Square> bankB;
  for (int k = 0; k < 3; ++k) bankA.emplace_back(kMetal[k] * v.metalScale * 2.0, fs, rng.unit());
  for (int k = 3; k < 6; ++k) bankB.emplace_back(kMetal[k] * v.metalScale * 2.0, fs, rng.unit());
  Biquad hp1 = Biquad::highpass(fs, v.highpass, 0.707);
  Biquad hp2 = Biquad::highpass(fs, v.highpass, 0.707);
  Biquad hpMetal1 = Biquad::highpass(fs, v.highpass, 0.707);
  Biquad hpMetal2 = Biquad::highpass(fs, v.highpass, 0.707);
  const double norm = 1.0 / std::sqrt(static_cast<double>(kPartials));
  std::vector<double> out(n);
  for (size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / fs;
    double shimmer = 0.0;
    for (Partial& p : partials) {
      shimmer += p.z.imag();
      p.z *= p.rotation;
    }
    shimmer *= norm;
    double a = 0.0;
    double b = 0.0;
    for (Square& sq : bankA) a += sq.next();
    for (Square& sq : bankB) b += sq.next();
    const double metal = hpMetal2.process(hpMetal1.process(a * b / 9.0)) * std::exp(-t / (v.tau * 0.8));
    const double noise = hp2.process(hp1.process(rng.bipolar()));
    const double wash = noise * (0.7 * std::exp(-t / (v.tau * 0.9)) + 0.6 * std::exp(-t / 0.012));
    out[i] = (0.45 * shimmer + 0.3 * metal + wash) * std::min(1.0, t / 0.001);
  }
  return out;
}

struct ClapVoice {
  double burstTimes[4];  // seconds
  int bursts;
  double burstTau;  // decay of each burst
  double tailTau;   // decay of the room after the last burst
  double centre;    // band-pass centre, Hz
};

std::vector<double> clap(const ClapVoice& v, double fs, size_t n, Random& rng) {
  Biquad band1 = Biquad::bandpass(fs, v.centre, 1.6);
  Biquad band2 = Biquad::bandpass(fs, v.centre * 1.15, 1.2);
  Biquad hp = Biquad::highpass(fs, 600.0, 0.707);
  Biquad tailBand = Biquad::bandpass(fs, v.centre * 0.9, 0.8);
  const double last = v.burstTimes[v.bursts - 1];
  std::vector<double> out(n);
  for (size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / fs;
    double env = 0.0;
    for (int b = 0; b < v.bursts; ++b) {
      const double dt = t - v.burstTimes[b];
      if (dt >= 0.0) env += attackDecay(dt, 0.0004, v.burstTau) * (b == v.bursts - 1 ? 1.0 : 0.85);
    }
    const double noise = rng.bipolar();
    const double hand = band2.process(band1.process(noise)) * 3.0;
    const double room = t >= last ? 0.45 * std::exp(-(t - last) / v.tailTau) : 0.0;
    out[i] = hp.process(hand * env + tailBand.process(noise) * room);
  }
  return out;
}

struct SnareVoice {
  double body1;  // Hz, the drum's lowest mode
  double body2;  // Hz, a second mode
  double bodyTau;
  double noiseTau;
  double noiseLow;   // high-pass of the snare wires
  double noiseHigh;  // low-pass of the snare wires
  double bodyMix;
  double noiseMix;
};

std::vector<double> snare(const SnareVoice& v, double fs, size_t n, Random& rng) {
  Biquad hp1 = Biquad::highpass(fs, v.noiseLow, 0.707);
  Biquad hp2 = Biquad::highpass(fs, v.noiseLow, 0.707);
  Biquad lp = Biquad::lowpass(fs, v.noiseHigh, 0.707);
  double p1 = 0.0;
  double p2 = 0.0;
  std::vector<double> out(n);
  for (size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / fs;
    // The head is tuned a little higher at the strike and settles.
    const double bend = 1.0 + 0.35 * std::exp(-t / 0.012);
    p1 += 2.0 * kPi * v.body1 * bend / fs;
    p2 += 2.0 * kPi * v.body2 * bend / fs;
    const double body = (std::sin(p1) + 0.45 * std::sin(p2)) * attackDecay(t, 0.0003, v.bodyTau);
    const double wires = lp.process(hp2.process(hp1.process(rng.bipolar()))) *
                         attackDecay(t, 0.0005, v.noiseTau);
    out[i] = v.bodyMix * body + v.noiseMix * wires * 2.2;
  }
  return out;
}

std::vector<double> synthesise(uint32_t row, double fs, size_t n) {
  Random rng(0xD5A7A000u + row * 7919u);
  switch (row) {
    case 0: return hiHat({1.00, 0.022, 7000.0, 0.35, 10000.0}, fs, n, rng);
    case 1: return hiHat({1.12, 0.032, 6500.0, 0.55, 9000.0}, fs, n, rng);
    case 2: return hiHat({0.93, 0.016, 8000.0, 0.30, 11500.0}, fs, n, rng);
    case 3: return hiHat({1.05, 0.034, 6000.0, 0.45, 8500.0}, fs, n, rng);
    case 4: return hiHat({1.00, 0.536 / 6.0, 6500.0, 0.40, 9500.0}, fs, n, rng);
    case 5: return hiHat({1.10, 0.281 / 5.5, 7000.0, 0.50, 10500.0}, fs, n, rng);
    case 6: return hiHat({0.95, 0.274 / 5.5, 7500.0, 0.35, 9000.0}, fs, n, rng);
    case 7: return hiHat({1.04, 0.673 / 6.0, 6000.0, 0.55, 8000.0}, fs, n, rng);
    case 8: return cymbal({1.17 / 5.0, 3000.0, 15000.0, 4000.0, 1.00}, fs, n, rng);
    case 9: return cymbal({1.08 / 5.0, 3300.0, 13000.0, 4000.0, 1.08}, fs, n, rng);
    case 10: return cymbal({0.90 / 5.0, 3500.0, 16000.0, 4500.0, 0.95}, fs, n, rng);
    case 11: return cymbal({0.81 / 5.0, 2800.0, 14000.0, 3800.0, 1.03}, fs, n, rng);
    case 12: return clap({{0.0, 0.011, 0.021, 0.032}, 4, 0.0035, 0.110, 1150.0}, fs, n, rng);
    case 13: return clap({{0.0, 0.009, 0.019, 0.0}, 3, 0.0030, 0.075, 1400.0}, fs, n, rng);
    case 14: return snare({185.0, 330.0, 0.055, 0.060, 1800.0, 9500.0, 0.75, 0.55}, fs, n, rng);
    case 15: return snare({160.0, 287.0, 0.085, 0.110, 1500.0, 8000.0, 0.70, 0.60}, fs, n, rng);
    default: return {};
  }
}

}  // namespace

std::vector<int16_t> generateRow(uint32_t row) {
  const DrumSampleInfo info = drumSampleInfo(row);
  if (!info.valid) return {};
  const size_t n = info.end - info.start + 1;
  const double fs = info.rate;
  std::vector<double> x = synthesise(row, fs, n);

  // Every sound ends in silence: a short cosine fade over the last 3 ms.
  const size_t fade = std::min(n, static_cast<size_t>(0.003 * fs));
  for (size_t i = 0; i < fade; ++i) {
    const double g = 0.5 - 0.5 * std::cos(kPi * static_cast<double>(i) / static_cast<double>(fade));
    x[n - 1 - i] *= g;
  }
  double peak = 0.0;
  for (double v : x) peak = std::max(peak, std::abs(v));
  const double scale = peak > 0.0 ? 0.89 * 32767.0 / peak : 0.0;
  std::vector<int16_t> out(n);
  for (size_t i = 0; i < n; ++i) {
    const double v = std::round(x[i] * scale);
    out[i] = static_cast<int16_t>(std::clamp(v, -32767.0, 32767.0));
  }
  return out;
}

std::vector<int16_t> generateDrumData() {
  size_t total = 0;
  for (uint32_t row = 0; row < kNumDrumSamples; ++row) {
    total = std::max<size_t>(total, drumSampleInfo(row).end + 1u);
  }
  std::vector<int16_t> memory(total, 0);
  for (uint32_t row = 0; row < kNumDrumSamples; ++row) {
    const std::vector<int16_t> samples = generateRow(row);
    std::copy(samples.begin(), samples.end(), memory.begin() + drumSampleInfo(row).start);
  }
  return memory;
}

std::vector<uint8_t> encodeBigEndian(const std::vector<int16_t>& samples) {
  std::vector<uint8_t> bytes(samples.size() * 2);
  for (size_t i = 0; i < samples.size(); ++i) {
    const uint16_t w = static_cast<uint16_t>(samples[i]);
    bytes[2 * i] = static_cast<uint8_t>(w >> 8);
    bytes[2 * i + 1] = static_cast<uint8_t>(w & 0xFF);
  }
  return bytes;
}

}  // namespace drumgen
