#include "engine/record/drum_sample_info.h"

namespace {

constexpr DrumSampleInfo kRows[kNumDrumSamples] = {
    {true, 0, 6039, 44100, "HH Closed 1"},       {true, 6042, 14603, 44100, "HH Closed 2"},
    {true, 14606, 20397, 44100, "HH Closed 3"},  {true, 20400, 29174, 44100, "HH Closed 4"},
    {true, 29177, 52828, 44100, "HH Open 1"},    {true, 52831, 66320, 48000, "HH Open 2"},
    {true, 66323, 78386, 44100, "HH Open 3"},    {true, 78389, 108052, 44100, "HH Open 4"},
    {true, 108055, 159542, 44100, "Cymbal 1"},   {true, 159545, 207119, 44100, "Cymbal 2"},
    {true, 207122, 246745, 44100, "Cymbal 3"},   {true, 246748, 272775, 32000, "Cymbal 4"},
    {true, 272778, 307175, 44100, "Clap 1"},     {true, 307178, 328419, 44100, "Clap 2"},
    {true, 328422, 340166, 44100, "Snare 1"},    {true, 340169, 363335, 48000, "Snare 2"},
};

}  // namespace

DrumSampleInfo drumSampleInfo(uint32_t index) {
  if (index >= kNumDrumSamples) return DrumSampleInfo{false, 0, 0, 44100, ""};
  return kRows[index];
}
