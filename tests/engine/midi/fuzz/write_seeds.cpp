// Writes the seed corpus of the MIDI fuzz target: for each kind of device,
// byte streams of what sources send (clock and transport, notes, control
// changes, program and bank changes, SysEx, running status, real-time bytes
// inside messages, the supported controllers' layout and scene buttons).
// An input is the device kind, then packets: a length byte (length - 1 in
// its low four bits) and that many bytes.
// Usage: write_seeds FOLDER (makes FOLDER/fuzz_midi_parser/...)

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/fuzz/fuzz_support.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

// The input for a device kind and a list of packets.
Bytes input(uint8_t kind, const std::vector<Bytes>& packets) {
  Bytes out{kind};
  for (const Bytes& p : packets) {
    for (size_t at = 0; at < p.size(); at += 16) {
      const size_t n = std::min<size_t>(16, p.size() - at);
      out.push_back(static_cast<uint8_t>(n - 1));
      out.insert(out.end(), p.begin() + static_cast<long>(at), p.begin() + static_cast<long>(at + n));
    }
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: write_seeds FOLDER\n");
    return 1;
  }
  const fs::path out = fs::path(argv[1]) / "fuzz_midi_parser";
  fs::create_directories(out);

  std::vector<Bytes> clock{{0xFA}};
  for (int i = 0; i < 24; ++i) clock.push_back({0xF8});
  clock.push_back({0xFC});
  const std::vector<Bytes> notes{{0x99, 36, 100}, {0x99, 38, 0}, {0x89, 40, 64}, {0x90, 36, 127}, {0x99, 42, 90, 0x99}};
  std::vector<Bytes> controls;
  for (uint8_t cc = 0; cc < 128; cc += 3) controls.push_back({static_cast<uint8_t>(0xB0 | (cc % 16)), cc, static_cast<uint8_t>(cc ^ 0x55)});
  const std::vector<Bytes> programs{{0xB9, 0, 0}, {0xB9, 32, 1}, {0xC9, 5}, {0xB9, 0, 1}, {0xC9, 127}, {0xC0, 3}};
  Bytes sysex{0xF0, 0x47, 0x7F, 0x43};
  for (int i = 0; i < 40; ++i) sysex.push_back(static_cast<uint8_t>(i));
  sysex.push_back(0xF7);
  const std::vector<Bytes> mixed{{0x99, 0xF8, 36, 0xFE, 100}, {0xF7}, {40, 50}, {0xF0, 1, 2, 0xB9, 7, 100}, {0xF2, 1, 2}};
  std::vector<Bytes> controller;
  for (uint8_t cc : {57, 58, 59, 0, 16, 24, 32, 41, 42, 43, 44, 45, 46, 64, 65, 71})
    controller.push_back({0xBF, cc, 127}), controller.push_back({0xBF, cc, 0});
  const std::vector<Bytes> pads{{0x90, 36, 100}, {0x80, 36, 0}, {0xBF, 57, 127}, {0x99, 44, 80}, {0xB0, 7, 100}};

  const struct {
    const char* name;
    const std::vector<Bytes>& packets;
  } streams[] = {{"clock", clock}, {"notes", notes}, {"controls", controls}, {"programs", programs},
                 {"sysex", {sysex}}, {"mixed", mixed}, {"controller", controller}, {"pads", pads}};
  for (uint8_t kind = 0; kind < 3; ++kind)
    for (const auto& s : streams)
      igbfuzz::writeAll(out / (std::string(s.name) + "-" + std::to_string(kind)), input(kind, s.packets));
  return 0;
}
