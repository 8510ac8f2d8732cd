// money!: an exact decimal amount with an optional currency. The amount is
// a coefficient of 22 decimal digits scaled by 10^-5: 17 integer digits and
// 5 decimal places, so the largest amount is 99999999999999999.99999.
//
// Cell: header bit 14 is the sign (a negative zero is zero to every test).
// Payload byte 0 (the low byte of word 1) is the currency's position in the
// currency list, 0 for none; payload bytes 1-11 are the coefficient, two
// digits a byte, most significant first, so that byte order is numeric
// order.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::money {

constexpr uint32_t SIGN_FLAG = 1u << 14;
constexpr int32_t DIGITS = 22;
constexpr int32_t INTEGER_DIGITS = 17;
constexpr int32_t DECIMALS = 5;

inline bool get_sign(const cell* c) { return (c->header & SIGN_FLAG) != 0; }
inline void set_sign(cell* c, bool negative) {
  c->header = negative ? c->header | SIGN_FLAG : c->header & ~SIGN_FLAG;
}
inline int32_t get_currency(const cell* c) { return static_cast<int32_t>(c->data1 & 0xFF); }
inline void set_currency(cell* c, int32_t index) {
  c->data1 = (c->data1 & ~0xFFu) | (static_cast<uint32_t>(index) & 0xFF);
}

// The digit at a position, 1 (most significant) to 22.
int32_t get_digit(const cell* c, int32_t position);
// Significant digits: 22 less the leading zeros, 1 for zero.
int32_t count_digits(const cell* c);
// -1, 0 or 1; 0 whenever the coefficient is zero.
int32_t sign_q(const cell* c);

// The cell becomes money from text: `start` to `end`, "." at `dot` (or
// nullptr), "'" skipped. Integer digits end at digit 17; decimals past the
// fifth are dropped. `currency` is a word or nullptr. Answers nullptr, the
// cell untouched, for a currency not in the list or more than 17 integer
// digits: the caller reports the error.
cell* make_at(cell* c, bool negative, const cell* currency, const char* start, const char* dot,
              const char* end);
cell from_integer(int32_t n);
// Through the float's text. |x| >= 1e17, 0 < |x| < 1e-5, infinities and
// NaN, and (when strict) more than 5 decimals raise script/bad-make-arg.
cell from_float(double x, bool strict);
// Truncated toward zero; outside 32 bits script/type-limit.
int32_t to_integer(const cell* c);
double to_float(const cell* c);
bool float_too_big_q(double x);
bool float_too_small_q(double x);

// The signed amounts compared, currencies ignored: -1, 0 or 1.
int32_t compare_signed(const cell* a, const cell* b);
// The compare action: integer! and float! comparisons with money hand over
// to it.
int32_t compare(const cell* value1, const cell* value2, int32_t op);
// The arithmetic action on the two argument cells, result in the first;
// the integer and float math hand over to it.
void do_math(int32_t op);

void init();

}  // namespace ixo::money
