// Writes the drum sample memory, the bundle resource "drumdata.bin".
// Usage: drumdata <output path>

#include <cstdio>
#include <string>

#include "platform/foundation/atomic_file.h"
#include "tools/drumdata/drum_synth.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output path>\n", argv[0]);
    return 2;
  }
  const std::vector<uint8_t> bytes = drumgen::encodeBigEndian(drumgen::generateDrumData());
  std::string error;
  if (!platform::writeFileAtomically(argv[1], bytes, &error)) {
    std::fprintf(stderr, "drumdata: cannot write %s: %s\n", argv[1], error.c_str());
    return 1;
  }
  return 0;
}
