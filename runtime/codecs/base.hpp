// The base 2, 16, 58 and 64 codecs: bytes to text digits and back, over
// plain memory so that they can be fuzzed alone. binary! wraps them into
// series (binary::decode, binary::encode) and the natives enbase and debase
// call those wrappers.
//
// The encoders write one unbroken run of single-byte characters. The
// decoders read text written for people: characters of 1, 2 or 4 bytes
// (a string's unit), blanks between digits and ";" comments up to a line
// feed. No decoder reads past the characters it is given, and a character
// above 127 is never a digit of any base.
#pragma once
#include <cstdint>

namespace ixo::base {

// 2, 16, 58 or 64.
bool known_base_q(int32_t base);

// Characters the encoding of `length` bytes takes; -1 when that count does
// not fit 31 bits.
int32_t encoded_size(int32_t base, int32_t length);

// Writes the digits of `length` bytes at dest (room: encoded_size) and
// answers the address past the last one.
uint8_t* encode_2(uint8_t* dest, const uint8_t* source, int32_t length);
uint8_t* encode_16(uint8_t* dest, const uint8_t* source, int32_t length);
uint8_t* encode_58(uint8_t* dest, const uint8_t* source, int32_t length);
uint8_t* encode_64(uint8_t* dest, const uint8_t* source, int32_t length);
uint8_t* encode(int32_t base, uint8_t* dest, const uint8_t* source, int32_t length);

// Room a decoder needs for a text of `length` characters: length / 8 for
// base 2, length / 2 (1 when empty) for base 16, length for base 58 (one
// byte per digit at most), (length + 3) x 3 / 4 for base 64.
int32_t decoded_capacity(int32_t base, int32_t length);

// Decodes `length` characters of `unit` bytes at text into out (room:
// decoded_capacity) and answers the bytes written, or -1 when the text is
// not valid in that base.
int32_t decode(int32_t base, const uint8_t* text, int32_t length, uint32_t unit, uint8_t* out);

}  // namespace ixo::base
