// Float and text conversion: binary64 to shortest (or capped) decimal
// digits and text, and decimal text to the correctly rounded binary64.
//
// Both directions work on one table of 128-bit powers of five, computed by
// the compiler, and settle the rare cases that 128 bits cannot decide by an
// exact big-integer comparison (startup/system/bigint.hpp).
//
// Float to text. A finite value v = c × 2^q owns the rounding interval of
// the reals that read back to it: half the gap to each neighbour, bounds
// included when c is even. With k = floor(log10 of the interval's width),
// the interval scaled by 10^-k is at least 1 and less than 10 wide, so the
// shortest decimal in it is either the one multiple of 10 it may hold, or
// the integer next to v·10^-k on either side that lies in it (the nearer
// one when both do, ties to the even one). This is Steele and White's
// shortest digit string, nearest to the value. Each comparison needs the
// scaled bounds only as floor(x) with "x is not an integer" folded into the
// lowest bit; a 192-bit product with the table gives that, and when the
// product falls within its error of an integer the exact comparison decides.
//
// Text to float. Up to 19 significant digits w and the decimal exponent q:
// a single floating multiply or divide when w and 10^q are both exact
// doubles; otherwise w × 5^q from the table, rounded when the product's
// error cannot move the rounding, else corrected one unit in the last place
// at a time by comparing the exact decimal with the halfway point above
// the candidate.
#include "startup/system/dtoa.hpp"

#include <array>
#include <bit>
#include <cstring>

#include "startup/system/bigint.hpp"

namespace ixo::dtoa {
namespace {

using bigint::wide;

constexpr uint64_t SIGN_BIT = uint64_t{1} << 63;
constexpr uint64_t HIDDEN_BIT = uint64_t{1} << 52;
constexpr uint64_t MANTISSA_MASK = HIDDEN_BIT - 1;
constexpr uint64_t INFINITY_BITS = 0x7FF0000000000000;
constexpr uint64_t NAN_BITS = 0x7FF8000000000000;

constexpr std::array<uint64_t, 20> POW10_INT = [] {
  std::array<uint64_t, 20> t{};
  t[0] = 1;
  for (size_t i = 1; i < t.size(); ++i) t[i] = t[i - 1] * 10;
  return t;
}();

// Every power of ten a double holds exactly.
constexpr double EXACT_POW10[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                    1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                    1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// ---------------------------------------------------------------------------
// Powers of five

// 5^j lies in [hi:lo, hi:lo + 1) × 2^shift, hi:lo being its 128 leading bits
// (exact for 0 <= j <= 55).
struct power_of_five {
  uint64_t hi;
  uint64_t lo;
  int32_t shift;
};

// Parsing reaches 10^-342 (19 digits times 10^-342 may still round to the
// smallest subnormal); formatting reaches 10^325 (the scale that brings the
// smallest subnormal to whole digits).
constexpr int32_t POW5_LOWEST = -342;
constexpr int32_t POW5_HIGHEST = 325;
// 2^1024 / 5^342 still has more than 128 bits.
constexpr int32_t RECIPROCAL_SCALE = 1024;

// The 128 leading bits of b / 2^scale.
constexpr power_of_five leading_bits(const bigint::value& b, int32_t scale) {
  int32_t low = bigint::bit_length(b) - 128;
  uint64_t half[2] = {0, 0};
  for (int32_t i = 0; i < 128; ++i) {
    int32_t bit = low + i;
    if (bit >= 0 && ((b.words[bit / 64] >> (bit % 64)) & 1)) half[i / 64] |= uint64_t{1} << (i % 64);
  }
  return {half[1], half[0], low - scale};
}

// Negative powers are floor(2^1024 / 5^-j), one exact division by 5 at a
// time: the floor of a floor quotient is the floor of the whole quotient.
constexpr auto POWERS_OF_FIVE = [] {
  std::array<power_of_five, POW5_HIGHEST - POW5_LOWEST + 1> table{};
  bigint::value p = bigint::from_word(1);
  for (int32_t j = 0; j <= POW5_HIGHEST; ++j) {
    table[j - POW5_LOWEST] = leading_bits(p, 0);
    bigint::multiply_add(p, 5, 0);
  }
  bigint::value r = bigint::from_word(1);
  bigint::shift_left(r, RECIPROCAL_SCALE);
  for (int32_t j = -1; j >= POW5_LOWEST; --j) {
    bigint::divide_word(r, 5);
    table[j - POW5_LOWEST] = leading_bits(r, RECIPROCAL_SCALE);
  }
  return table;
}();

constexpr const power_of_five& pow5(int32_t j) { return POWERS_OF_FIVE[j - POW5_LOWEST]; }
constexpr bool pow5_exact(int32_t j) { return j >= 0 && j <= 55; }
static_assert(pow5(55).shift <= 0 && pow5(56).shift > 0, "5^55 is the last below 2^128");

// ---------------------------------------------------------------------------
// Exact comparison

// Sign of d × 10^e10 − m × 2^e2.
int32_t compare_with_binary(const bigint::value& d, int32_t e10, uint64_t m, int32_t e2) {
  bigint::value left = d;
  bigint::value right = bigint::from_word(m);
  if (e10 >= 0) bigint::multiply_pow5(left, e10); else bigint::multiply_pow5(right, -e10);
  if (e10 > e2) bigint::shift_left(left, e10 - e2); else bigint::shift_left(right, e2 - e10);
  return bigint::compare(left, right);
}

// ---------------------------------------------------------------------------
// Float to digits

// floor(e × log10 2), and the same for 3/4 × 2^e, over the exponents of
// binary64.
constexpr int32_t floor_log10_pow2(int32_t e) { return (e * 315653) >> 20; }
constexpr int32_t floor_log10_three_quarters_pow2(int32_t e) { return (e * 315653 - 131237) >> 20; }

// Both match the real logarithm, which never comes within 1e-9 of an
// integer except at e = 0, so double arithmetic settles the check.
constexpr bool log10_estimates_hold() {
  auto floor_of = [](double x) {
    int32_t f = static_cast<int32_t>(x);
    return f > x ? f - 1 : f;
  };
  auto clear_of_integers = [&](double x) { return x - floor_of(x) > 1e-9 && floor_of(x) + 1 - x > 1e-9; };
  for (int32_t e = -1100; e <= 1100; ++e) {
    double x = e * 0.30102999566398119521;
    double y = x - 0.12493873660829995313;
    if (e != 0 && !clear_of_integers(x)) return false;
    if (!clear_of_integers(y)) return false;
    if (floor_log10_pow2(e) != floor_of(x)) return false;
    if (floor_log10_three_quarters_pow2(e) != floor_of(y)) return false;
  }
  return true;
}
static_assert(log10_estimates_hold());

// For every binary exponent q of a double and its scale k, the integer part
// of x × 2^q × 10^-k starts at bit 124..127 of the product x × pow5(-k).
constexpr bool scales_fit() {
  for (int32_t q = -1074; q <= 971; ++q) {
    for (int32_t k : {floor_log10_pow2(q), floor_log10_three_quarters_pow2(q)}) {
      if (-k < POW5_LOWEST || -k > POW5_HIGHEST) return false;
      int32_t sh = k - q - pow5(-k).shift;
      if (sh < 124 || sh > 127) return false;
    }
  }
  return true;
}
static_assert(scales_fit());

// floor(y), with its lowest bit set when y is not an integer, for
// y = x × 2^q × 10^-k (x < 2^57; y < 2^61). Comparing this with an even
// integer answers as comparing y itself would.
uint64_t scaled_round_to_odd(uint64_t x, int32_t q, int32_t k) {
  const power_of_five& p = pow5(-k);
  wide low = wide{x} * p.lo;
  wide high = wide{x} * p.hi + static_cast<uint64_t>(low >> 64);
  int32_t sh = k - q - p.shift;  // bits of the 192-bit product below the integer part
  int32_t high_sh = sh - 64;
  uint64_t floor = static_cast<uint64_t>(high >> high_sh);
  wide fraction = ((high & ((wide{1} << high_sh) - 1)) << 64) | static_cast<uint64_t>(low);
  if (pow5_exact(-k)) return floor | (fraction != 0);
  // The true y exceeds the product by less than x units of its last bit.
  wide fraction_mask = (wide{1} << sh) - 1;
  if (fraction <= fraction_mask - (x - 1)) return floor | 1;
  uint64_t next = floor + 1;
  int32_t c = compare_with_binary(bigint::from_word(next), k, x, q);
  if (c > 0) return floor | 1;
  if (c == 0) return next;
  return next | 1;
}

// digits × 10^exponent
struct decimal {
  uint64_t digits;
  int32_t exponent;
};

// Eight zeros at a time first: a short decimal comes out of the search
// with up to 17 of them.
decimal without_trailing_zeros(decimal d) {
  if (d.digits % 10 != 0) return d;
  while (d.digits % 100000000 == 0) {
    d.digits /= 100000000;
    d.exponent += 8;
  }
  for (int32_t zeros : {4, 2, 1}) {
    uint64_t unit = POW10_INT[zeros];
    if (d.digits % unit == 0) {
      d.digits /= unit;
      d.exponent += zeros;
    }
  }
  return d;
}

// Decimal digits of n > 0, from its bit length b: (b × 1233) >> 12 is
// floor(b × log10 2) for every b up to 64.
int32_t digit_count(uint64_t n) {
  int32_t at_least = ((64 - std::countl_zero(n)) * 1233) >> 12;
  return at_least + (n >= POW10_INT[at_least]);
}

// The shortest digits of c × 2^q that read back to it, the nearest to it
// when several do. `irregular`: c is a power of two whose lower neighbour is
// half as far as the upper one.
decimal shortest_digits(uint64_t c, int32_t q, bool irregular) {
  // Bounds in units of 2^(q-2); a value with an even mantissa owns the
  // bounds of its rounding interval.
  uint64_t cb = c << 2;
  uint64_t cb_low = irregular ? cb - 1 : cb - 2;
  uint64_t cb_high = cb + 2;
  uint64_t open = c & 1;
  int32_t k = irregular ? floor_log10_three_quarters_pow2(q) : floor_log10_pow2(q);
  uint64_t vb = scaled_round_to_odd(cb, q, k);
  uint64_t vb_low = scaled_round_to_odd(cb_low, q, k);
  uint64_t vb_high = scaled_round_to_odd(cb_high, q, k);

  // One digit fewer: the multiple of 10 below or above the value.
  uint64_t s = vb >> 2;
  uint64_t s10 = s / 10 * 10;
  uint64_t t10 = s10 + 10;
  bool s10_in = vb_low + open <= s10 << 2;
  bool t10_in = (t10 << 2) + open <= vb_high;
  if (s10_in != t10_in) return without_trailing_zeros({s10_in ? s10 : t10, k});

  // The integers on either side of the value.
  uint64_t t = s + 1;
  bool s_in = vb_low + open <= s << 2;
  bool t_in = (t << 2) + open <= vb_high;
  if (s_in != t_in) return without_trailing_zeros({s_in ? s : t, k});
  uint64_t middle = (s << 2) + 2;
  bool take_s = vb < middle || (vb == middle && (s & 1) == 0);
  return without_trailing_zeros({take_s ? s : t, k});
}

// The shortest digits d (n of them, more than `cap`) of c × 2^q rounded to
// `cap` digits as the exact value would be, ties to even. The value and d
// lie on the same side of every shorter rounding boundary, or d would not be
// the shortest nearest digits; only when d is that boundary itself (its
// dropped digits are one 5) does the exact value decide.
decimal round_to_cap(decimal d, int32_t n, int32_t cap, uint64_t c, int32_t q) {
  int32_t dropped = n - cap;
  uint64_t unit = POW10_INT[dropped];
  uint64_t head = d.digits / unit;
  uint64_t rest = d.digits % unit;
  uint64_t half = unit / 2;
  bool up = rest > half;
  if (rest == half) {
    int32_t digits_vs_value = compare_with_binary(bigint::from_word(d.digits), d.exponent, c, q);
    up = digits_vs_value < 0 || (digits_vs_value == 0 && (head & 1));
  }
  return without_trailing_zeros({head + up, d.exponent + dropped});
}

// The digits of a finite non-zero magnitude.
decimal digits_of(uint64_t bits, int32_t precision) {
  uint64_t fraction = bits & MANTISSA_MASK;
  int32_t biased = static_cast<int32_t>(bits >> 52);
  uint64_t c = biased == 0 ? fraction : fraction | HIDDEN_BIT;
  int32_t q = biased == 0 ? -1074 : biased - 1075;
  decimal d = shortest_digits(c, q, fraction == 0 && biased > 1);
  if (precision > 0) {
    int32_t n = digit_count(d.digits);
    if (n > precision) d = round_to_cap(d, n, precision, c, q);
  }
  return d;
}

constexpr std::array<char, 200> DIGIT_PAIRS = [] {
  std::array<char, 200> t{};
  for (int32_t i = 0; i < 100; ++i) {
    t[2 * i] = static_cast<char>('0' + i / 10);
    t[2 * i + 1] = static_cast<char>('0' + i % 10);
  }
  return t;
}();

// "-", then the text of the last conversion; a negative result is answered
// from the "-".
char out_buffer[32] = "-";

// ---------------------------------------------------------------------------
// Text to float

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Exponent digits stop counting here: for any text shorter than this many
// bytes, so large an exponent already makes the result infinity or zero.
constexpr int64_t EXPONENT_LIMIT = 1'000'000'000'000'000;

// The rounding interval of a double ends halfway to the next one, and every
// such halfway point has at most 768 significant digits: digits beyond the
// first 800 only tell whether the text lies above the one they start.
constexpr int64_t EXACT_DIGITS = 800;

// w × 10^q when w and 10^q are exact doubles (one rounding).
bool exact_product(uint64_t w, int32_t q, double& result) {
  constexpr uint64_t EXACT_LIMIT = uint64_t{1} << 53;
  if (w > EXACT_LIMIT) return false;
  double x = static_cast<double>(w);
  if (q >= 0 && q <= 22) {
    result = x * EXACT_POW10[q];
  } else if (q < 0 && q >= -22) {
    result = x / EXACT_POW10[-q];
  } else if (q > 22 && q <= 22 + 15) {  // w × 10^(q-22) still an exact whole number
    uint64_t m = POW10_INT[q - 22];
    if (w > EXACT_LIMIT / m) return false;
    result = static_cast<double>(w * m) * EXACT_POW10[22];
  } else {
    return false;
  }
  return true;
}

// The correctly rounded bits of w × 10^q (w > 0, q within the table). Answers
// false when the 128-bit product cannot decide; `lower` is then a double at
// most two units in the last place below the result.
bool product_bits(uint64_t w, int32_t q, uint64_t& bits, uint64_t& lower) {
  int32_t lz = std::countl_zero(w);
  uint64_t wn = w << lz;
  const power_of_five& p = pow5(q);
  wide low = wide{wn} * p.lo;
  wide high = wide{wn} * p.hi + static_cast<uint64_t>(low >> 64);
  uint64_t z2 = static_cast<uint64_t>(high >> 64);
  uint64_t z1 = static_cast<uint64_t>(high);
  uint64_t z0 = static_cast<uint64_t>(low);
  int32_t bit0 = p.shift + q - lz;  // binary exponent of the product's lowest bit
  int32_t e2 = ((z2 >> 63) ? 191 : 190) + bit0;
  if (e2 >= 1024) {
    bits = lower = INFINITY_BITS;
    return true;
  }
  int32_t lsb = e2 - 52 > -1074 ? e2 - 52 : -1074;  // exponent of the mantissa's last bit
  int32_t cut = lsb - bit0;
  if (cut > 192) {  // below half the smallest subnormal
    bits = lower = 0;
    return true;
  }
  int32_t round_bit = cut - 129;  // position in z2, 9..63
  uint64_t prefix = z2 >> round_bit;
  uint64_t m = prefix >> 1;
  lower = (e2 >= -1022 ? static_cast<uint64_t>(e2 + 1022) << 52 : 0) + m;
  bool exact = pow5_exact(q);
  if (!exact) {
    // The true product exceeds this one by less than wn: undecided when
    // that could carry into the round bit.
    uint64_t u0 = z0 + (wn - 1);
    uint64_t u1 = z1 + (u0 < z0);
    uint64_t u2 = z2 + (u1 < z1);
    if ((u2 >> round_bit) != prefix) return false;
  }
  bool sticky = !exact || (z2 & ((uint64_t{1} << round_bit) - 1)) != 0 || z1 != 0 || z0 != 0;
  bool up = (prefix & 1) && (sticky || (m & 1));
  bits = lower + up;  // a carry runs into the exponent, up to infinity
  return true;
}

// The correctly rounded bits of the nd significant digits from `first`
// (a "." among them is skipped) times 10^e10, starting from `lower`.
uint64_t settle_bits(const char* first, int64_t nd, int64_t e10, uint64_t lower) {
  int64_t used = nd < EXACT_DIGITS ? nd : EXACT_DIGITS;
  bool truncated = nd > used;  // the last of the nd digits is not 0
  bigint::value d;
  uint64_t chunk = 0;
  int32_t in_chunk = 0;
  for (int64_t i = 0; i < used; ++first) {
    if (*first == '.') continue;
    chunk = chunk * 10 + static_cast<uint64_t>(*first - '0');
    ++i;
    if (++in_chunk == 19) {
      bigint::multiply_add(d, POW10_INT[19], chunk);
      chunk = 0;
      in_chunk = 0;
    }
  }
  if (in_chunk > 0) bigint::multiply_add(d, POW10_INT[in_chunk], chunk);
  int32_t exponent = static_cast<int32_t>(e10 + nd - used);

  for (uint64_t b = lower;; ++b) {
    if (b == INFINITY_BITS) return b;
    uint64_t biased = b >> 52;
    uint64_t mantissa = biased == 0 ? b : (b & MANTISSA_MASK) | HIDDEN_BIT;
    int32_t e2 = biased == 0 ? -1075 : static_cast<int32_t>(biased) - 1076;
    int32_t c = compare_with_binary(d, exponent, 2 * mantissa + 1, e2);
    if (c == 0 && truncated) c = 1;
    if (c < 0) return b;
    if (c == 0) return b + (b & 1);
  }
}

double with_sign(uint64_t bits, bool negative) {
  return std::bit_cast<double>(bits | (negative ? SIGN_BIT : 0));
}

}  // namespace

// ---------------------------------------------------------------------------

const char* form_digits(double value, int32_t precision, int32_t& point, int32_t& sign,
                        int32_t& count, bool add_zero) {
  uint64_t bits = std::bit_cast<uint64_t>(value);
  sign = static_cast<int32_t>(bits >> 63);
  bits &= ~SIGN_BIT;
  const char* special = nullptr;
  if (bits >= INFINITY_BITS) {
    point = POINT_SPECIAL;
    if (bits > INFINITY_BITS) sign = 0;
    special = bits > INFINITY_BITS ? "1.#NaN" : sign ? "-1.#INF" : "1.#INF";
  } else if (bits == 0) {
    point = POINT_ZERO;
    special = add_zero ? (sign ? "-0.0" : "0.0") : (sign ? "-0" : "0");
  }
  if (special) {
    count = static_cast<int32_t>(std::strlen(special));
    return special;
  }
  decimal d = digits_of(bits, precision);
  count = digit_count(d.digits);
  point = d.exponent + count;
  char* digits = out_buffer + 1;
  char* last = digits + count;
  *last = 0;
  for (; d.digits >= 10; d.digits /= 100) {
    last -= 2;
    std::memcpy(last, &DIGIT_PAIRS[2 * (d.digits % 100)], 2);
  }
  if (d.digits > 0) *--last = static_cast<char>('0' + d.digits);
  return digits;
}

const char* form_float(double value, int32_t precision, bool add_zero) {
  int32_t point, sign, count;
  const char* text = form_digits(value, precision, point, sign, count, add_zero);
  if (point >= POINT_ZERO) return text;
  char digits[20];
  std::memcpy(digits, text, sizeof digits);  // all 20 (the buffer has them): faster than count
  char* out = out_buffer + 1;
  auto put_digits = [&](int32_t from, int32_t to) {
    for (int32_t i = from; i < to; ++i) *out++ = digits[i];
  };
  auto put_zeros = [&](int32_t n) {
    for (; n > 0; --n) *out++ = '0';
  };
  auto complete_point = [&] {  // a text ending in "."
    if (add_zero) *out++ = '0'; else --out;
  };
  if (point > 17 || point < -6) {
    put_digits(0, 1);
    *out++ = '.';
    put_digits(1, count);
    if (count == 1) complete_point();
    *out++ = 'e';
    int32_t exponent = point - 1;
    if (exponent < 0) {
      *out++ = '-';
      exponent = -exponent;
    }
    char reversed[4];
    int32_t n = 0;
    do {
      reversed[n++] = static_cast<char>('0' + exponent % 10);
      exponent /= 10;
    } while (exponent > 0);
    while (n > 0) *out++ = reversed[--n];
  } else if (point > 0) {
    if (point < count) {
      put_digits(0, point);
      *out++ = '.';
      put_digits(point, count);
    } else {
      put_digits(0, count);
      put_zeros(point - count);
      *out++ = '.';
      complete_point();
    }
  } else {
    *out++ = '0';
    *out++ = '.';
    put_zeros(-point);
    put_digits(0, count);
  }
  *out = 0;
  return sign ? out_buffer : out_buffer + 1;
}

double parse_float(const char* start, const char* end, int32_t extra_exponent,
                   int32_t& unconsumed) {
  unconsumed = 0;
  const char* p = start;
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  while (p < end && *p == '0') ++p;
  if (p == end) return 0.0;

  // The significant digits: the first 19 of them in `leading`, their
  // count, and the count up to the last non-zero one.
  const char* first = p;
  uint64_t leading = 0;
  int64_t total = 0;
  int64_t up_to_nonzero = 0;
  auto take_digits = [&] {
    for (; p < end && is_digit(*p); ++p) {
      if (total < 19) leading = leading * 10 + static_cast<uint64_t>(*p - '0');
      ++total;
      if (*p != '0') up_to_nonzero = total;
    }
  };
  take_digits();
  if (p - first == 1 && end - p >= 3 && p[0] == '.' && p[1] == '#') {
    if (p[2] == 'I' || p[2] == 'i') return with_sign(INFINITY_BITS, negative);
    if (p[2] == 'N' || p[2] == 'n') return std::bit_cast<double>(NAN_BITS);
  }
  int64_t fraction_digits = 0;  // digits after the point, zeros before the first significant one included
  if (p < end && *p == '.') {
    const char* fraction = ++p;
    if (total == 0) {
      while (p < end && *p == '0') ++p;
      first = p;
    }
    take_digits();
    fraction_digits = p - fraction;
  }
  int64_t exponent = 0;
  if (end - p >= 2 && (*p == 'e' || *p == 'E')) {
    ++p;
    bool negative_exponent = false;
    if (*p == '+' || *p == '-') negative_exponent = *p++ == '-';
    for (; p < end && is_digit(*p); ++p) {
      if (exponent < EXPONENT_LIMIT) exponent = exponent * 10 + (*p - '0');
    }
    if (negative_exponent) exponent = -exponent;
  }
  unconsumed = static_cast<int32_t>(end - p);

  // value = (the first nd significant digits) × 10^e10, nd > 0
  int64_t nd = up_to_nonzero;
  if (nd == 0) return with_sign(0, negative);
  int64_t e10 = exponent + extra_exponent - fraction_digits + (total - nd);
  if (e10 + nd > 309) return with_sign(INFINITY_BITS, negative);  // at least 10^309
  if (e10 + nd < -323) return with_sign(0, negative);              // below half of 5e-324
  int32_t kept = static_cast<int32_t>(nd < 19 ? nd : 19);
  int32_t accumulated = static_cast<int32_t>(total < 19 ? total : 19);
  uint64_t w = accumulated == kept ? leading : leading / POW10_INT[accumulated - kept];
  int32_t q = static_cast<int32_t>(e10 + nd - kept);

  double result;  // (a w cut to 19 digits is too long to be exact)
  if (exact_product(w, q, result)) return negative ? -result : result;
  uint64_t bits, lower;
  bool decided = product_bits(w, q, bits, lower);
  if (decided && nd > 19) {
    // The text lies between w and w + 1 units of 10^q: decided when both
    // round alike.
    uint64_t bits_above, lower_above;
    decided = product_bits(w + 1, q, bits_above, lower_above) && bits_above == bits;
  }
  if (!decided) bits = settle_bits(first, nd, e10, lower);
  return with_sign(bits, negative);
}

}  // namespace ixo::dtoa
