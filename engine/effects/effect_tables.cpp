#include "engine/effects/effect_tables.h"

namespace fx {

const std::array<const char*, kNumNotes> kNoteText = {
    "1/64", "1/32", "1/24", "1/16", "1/12", "1/8", "1/6", "3/16", "1/4", "1/3", "3/8", "1/2", "3/4", "1/1"};

}  // namespace fx
