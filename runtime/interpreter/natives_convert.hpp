// The conversion natives: URL hex coding, binary base coding, to-hex, the
// makers of pairs, points and money from numbers, the in-place coercion
// `as`, case conversion, new-line markers, the local form of a file path
// and construct. Each takes its arguments at the argument base and one
// integer per refinement (-1 when not used, else the argument index where
// its arguments begin), and leaves its result in the result slot.
#pragma once
#include <cstdint>

namespace ixo::natives {

void dehex(const int32_t* refinements);          // %xx escapes decoded into a new string
void enhex(const int32_t* refinements);          // bytes escaped as %xx into a new string
void debase(const int32_t* refinements);         // base 64 (/base 2, 16, 58) text to binary, none when malformed
void enbase(const int32_t* refinements);         // binary or UTF-8 of a string as base 64 (/base) text
void to_hex(const int32_t* refinements);         // integer as an issue of 8 hex digits (/size: the last n)
void as_pair(const int32_t* refinements);        // pair of two numbers, floats truncated toward zero
void as_point2D(const int32_t* refinements);     // point2D of two numbers
void as_point3D(const int32_t* refinements);     // point3D of three numbers
void as_money(const int32_t* refinements);       // money of a currency word and an amount
void as(const int32_t* refinements);             // a series retyped within its class, buffer shared
void uppercase(const int32_t* refinements);      // string (in place, /part) or char to upper case
void lowercase(const int32_t* refinements);      // string (in place, /part) or char to lower case
void new_line(const int32_t* refinements);       // sets or clears new-line markers (/all, /skip)
void new_line_q(const int32_t* refinements);     // the new-line marker at a position
void construct(const int32_t* refinements);      // object of an unevaluated spec (/with prototype, /only)

}  // namespace ixo::natives
