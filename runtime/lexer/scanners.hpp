// Numeric text scanners: the conversions of text to integer, float and
// money that `to` uses on strings, reading characters of any unit width
// (1, 2 or 4 bytes) and reporting failure through an out-parameter instead
// of raising. The float syntax check and the money text check are shared
// with the lexer, so that text converts as source text loads (except that
// a "," reads as a decimal point in a float here and not in money).
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::tokenizer {

// An optional sign, then digits; "'" is skipped anywhere after the sign.
// error: 0, -1 on a character that is not a digit or "'" (or no digit at
// all), -2 when the value leaves 32 bits ("-2147483648" converts).
int32_t scan_integer(const uint8_t* start, int32_t count, uint32_t unit, int32_t& error);

// Float syntax ("," read as "."), "'" separators dropped, then the
// correctly rounded conversion. error -1 and a quiet NaN on failure.
double scan_float(const uint8_t* start, int32_t count, uint32_t unit, int32_t& error);

// [sign] [code "$" | "$"] digits ["." digits]: c becomes the money value,
// or error is -1 (an unknown currency or more than 17 integer digits fail
// too). Only "." is a decimal point here; decimals past the fifth are
// dropped.
cell* scan_money(const uint8_t* start, int32_t count, uint32_t unit, int32_t& error, cell* c);

// "A"-"Z" or "a"-"z".
inline bool letter_q(uint32_t cp) { return (cp | 0x20) >= 'a' && (cp | 0x20) <= 'z'; }

// ---- Shared with the lexer ---------------------------------------------------

// The float syntax of source text over bytes: [sign] digits with single
// "'" between digits, ["." digits], [e|E [sign] digits]; at least one
// mantissa digit ("1." and ".5" pass).
bool float_syntax_q(const char* start, const char* end);

// The correctly rounded value of text of any length that passed
// float_syntax_q ("'" dropped).
double convert_float(const char* start, const char* end);

// Money text over bytes, "," or "." as the decimal point: c becomes the
// value and true is answered, or false for text that is not money.
bool money_text(const char* start, const char* end, cell* c);

}  // namespace ixo::tokenizer
