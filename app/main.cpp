// For now the program starts the engine with an in-memory library, renders
// one second off line to prove the engine runs, and exits.
#include <cstdio>
#include <vector>

#include "engine/provider/memory_data_provider.h"
#include "engine/synth/synth.h"

int main() {
  MemoryDataProvider provider;
  Synth* synth = Synth::getInstance(44100.0f);
  synth->setDataProvider(&provider);
  std::vector<int16_t> left(Synth::kBusFrames), right(Synth::kBusFrames);
  int16_t* channels[2] = {left.data(), right.data()};
  for (int rendered = 0; rendered < 44100; rendered += Synth::kBusFrames)
    synth->render(nullptr, channels, Synth::kBusFrames);
  std::printf("iGROOVEBIX engine started at %.0f Hz with %d patterns; exiting.\n", synth->sampleRate(),
              provider.numberOfPatterns());
  Synth::destroyInstance();
  return 0;
}
