#pragma once
// Decoding of one UTF-8 sequence, shared by the decoder and the serializer.

#include <cstdint>

namespace jk {

enum JKConversionResult : int {
  JKConversionOK = 0,
  JKConversionSourceExhausted = 1,  // the sequence runs past the end of the input
  JKConversionSourceIllegal = 3,
};

// Decodes the sequence starting at `sourceStart` (a byte of 0x80 or more;
// ASCII decodes as itself). A valid sequence sets `*nextUTF8` just past it
// and `*convertedCodePoint` to its code point. A structural fault, or a code
// point that is 0, a surrogate, U+FDD0 to U+FDEF or ends in 0xFFFE / 0xFFFF,
// gives U+FFFD; after a structural fault `*nextUTF8` skips the lead byte and
// the continuation bytes that follow it up to the expected length. Never
// reads at or past `sourceEnd`.
int ConvertSingleCodePointInUTF8(const unsigned char* sourceStart, const unsigned char* sourceEnd,
                                 const unsigned char** nextUTF8, uint32_t* convertedCodePoint);

// The length of the well-formed UTF-8 sequence at `p` (1 to 4), or 0 when the
// bytes there are not well formed. Unlike the conversion above, this accepts
// noncharacters: it is the test of whether bytes are UTF-8 at all.
int jk_utf8_wellFormedLength(const unsigned char* p, const unsigned char* end);

// Appends the UTF-8 form of `codePoint` (at most U+10FFFF) to `out`; answers
// the number of bytes written (1 to 4).
int jk_utf8_encode(uint32_t codePoint, unsigned char* out);

}  // namespace jk
