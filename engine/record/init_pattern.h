#pragma once
#include "engine/record/pattern_record.h"

// A new, empty pattern: no steps, no motion, every part at a neutral sound,
// 120 BPM, one bar of sixteen steps. The pattern store ships its own init
// pattern file; this is what that file is generated from and what stands in
// when no store is present.
PatternRecord makeInitPattern();
