// Float and text conversion: the system's own conversion between binary64
// values and decimal text. Text to float is correctly rounded (ties to
// even); float to text gives the shortest digits that read back to the same
// value, optionally capped at a number of significant digits (then
// correctly rounded, ties to even).
//
// The formatters answer text in one static buffer that the next call
// overwrites, or one of the special strings "1.#INF", "-1.#INF", "1.#NaN",
// "0.0", "-0.0", "0", "-0". One thread only.
#pragma once
#include <cstdint>

namespace ixo::dtoa {

// The decimal point position of an infinity or not-a-number, and of zero.
inline constexpr int32_t POINT_SPECIAL = 9999;
inline constexpr int32_t POINT_ZERO = 9998;

// The digits d1..dn of `value`, with `point` p such that |value| = 0.d1..dn
// × 10^p, `sign` 1 for a negative value and `count` n. `precision` > 0 caps
// the digits (a cap above 17 has no effect). Infinities and not-a-number
// answer their special string with p = POINT_SPECIAL; zero answers "0" or
// "-0" ("0.0" or "-0.0" with `add_zero`) with p = POINT_ZERO.
const char* form_digits(double value, int32_t precision, int32_t& point, int32_t& sign,
                        int32_t& count, bool add_zero);

// The text of `value`: plain for decimal points 1..17 and -6..0, else a
// mantissa with "e" and a signed exponent. `add_zero` completes a text that
// would end in "." with "0"; without it the "." goes.
const char* form_float(double value, int32_t precision, bool add_zero);

// The value of the decimal text from `start` up to, not including, `end`
// (nothing at or past `end` is read), times 10^`extra_exponent`. Sign,
// digits, ".", exponent, and the forms "1.#INF", "-1.#INF" and "1.#NaN".
// `unconsumed` is the count of trailing bytes the number did not take.
// Exponents of any size saturate: 1e4294967297 is infinity.
double parse_float(const char* start, const char* end, int32_t extra_exponent,
                   int32_t& unconsumed);

}  // namespace ixo::dtoa
