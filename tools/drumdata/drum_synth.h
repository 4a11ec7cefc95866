#pragma once
// Our own drum sounds for the drum sample memory: closed and open hi-hats,
// cymbals, claps and snares, synthesised from noise, square-wave metal,
// sine partials, filters and envelopes. Every row is made at its recorded
// rate and exact length from the drum sample table, with zero gap samples
// between rows. The output depends on nothing but this code: each row has
// its own fixed random seed.

#include <cstdint>
#include <vector>

namespace drumgen {

// The samples of row `row` (0-15) of the drum sample table: exactly its
// length, peak about -1 dBFS, fading to 0 at its end. Empty for other rows.
std::vector<int16_t> generateRow(uint32_t row);

// The whole memory: every row at its start index, zeros in between; one
// sample past the last row's end long.
std::vector<int16_t> generateDrumData();

// Headerless big-endian signed 16-bit, as the "drumdata" resource is stored.
std::vector<uint8_t> encodeBigEndian(const std::vector<int16_t>& samples);

}  // namespace drumgen
