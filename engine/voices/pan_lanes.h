#pragma once
// The pan's products over a run, eight frames at a time: right[j] =
// (q[j] × s[j]) >> 31 and left[j] = ((8388607 - q[j]) × s[j]) >> 31, for
// Q23 samples s and positions 0 <= q <= 8388607 (each result then fits 16
// bits). Built for baseline x86-64 and for AVX2, picked by processor when
// the program starts, and both give the same values.
//
// Pure arithmetic on the caller's buffers: thread-safe and real-time-safe.

#include <cstdint>

// Returns how many frames it wrote: `n` rounded down to a multiple of 8
// (0 where there are no lanes); the caller writes the rest.
uint32_t panLanes(const int32_t* s, const int32_t* q, uint32_t n, int16_t* left, int16_t* right);

// One build on its own, for tests: the baseline, or AVX2 (which writes
// nothing and returns 0 on a processor without it).
uint32_t panLanesWith(bool avx2, const int32_t* s, const int32_t* q, uint32_t n, int16_t* left, int16_t* right);
