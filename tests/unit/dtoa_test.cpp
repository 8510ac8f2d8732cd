#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "startup/system/dtoa.hpp"

namespace ixo::dtoa {
namespace {

std::filesystem::path corpora() {
  const char* env = std::getenv("IXO_CORPORA");
  return env ? env : IXO_CORPORA;
}

uint64_t bits_of(double v) { return std::bit_cast<uint64_t>(v); }

struct parsed {
  double value;
  int32_t unconsumed;
};

// Parses from a heap copy of exactly the text's size, so that a read past
// the end shows under AddressSanitizer.
parsed parse(const std::string& text, int32_t extra = 0) {
  std::unique_ptr<char[]> copy(new char[text.size()]);
  std::memcpy(copy.get(), text.data(), text.size());
  parsed r{};
  r.value = parse_float(copy.get(), copy.get() + text.size(), extra, r.unconsumed);
  return r;
}

// Digits and point of the C++ library's shortest form, or of the value
// correctly rounded to `precision` digits.
struct digits_point {
  std::string digits;
  int32_t point;
  bool operator==(const digits_point&) const = default;
};

digits_point library_digits(double v, int32_t precision) {
  char buf[64];
  auto r = precision > 0 ? std::to_chars(buf, buf + sizeof buf, std::fabs(v), std::chars_format::scientific,
                                         precision - 1)
                         : std::to_chars(buf, buf + sizeof buf, std::fabs(v), std::chars_format::scientific);
  std::string text(buf, r.ptr);
  size_t e = text.find('e');
  digits_point d{text.substr(0, 1) + (e > 2 ? text.substr(2, e - 2) : ""), std::stoi(text.substr(e + 1)) + 1};
  while (d.digits.size() > 1 && d.digits.back() == '0') d.digits.pop_back();
  return d;
}

// What a capped format must give: the shortest digits when they fit, else
// the value correctly rounded to the cap.
digits_point expected_digits(double v, int32_t precision) {
  digits_point shortest = library_digits(v, 0);
  if (precision <= 0 || static_cast<int32_t>(shortest.digits.size()) <= precision) return shortest;
  return library_digits(v, precision);
}

digits_point our_digits(double v, int32_t precision) {
  int32_t point, sign, count;
  const char* digits = form_digits(v, precision, point, sign, count, true);
  return {std::string(digits, static_cast<size_t>(count)), point};
}

// The library leaves results beyond the range of doubles to strtod, which
// answers them as infinity or zero.
double library_parse(const std::string& text) {
  double v = 0;
  const char* first = text.data();
  if (*first == '+') ++first;
  if (std::from_chars(first, text.data() + text.size(), v).ec == std::errc::result_out_of_range) {
    v = std::strtod(text.c_str(), nullptr);
  }
  return v;
}

// --- Formatting ------------------------------------------------------------

TEST(float_text, plain_and_exponent_forms_by_point_and_add_zero) {
  struct row {
    double value;
    int32_t precision;
    bool add_zero;
    const char* text;
  } rows[] = {
      {1.0, 0, true, "1.0"},
      {100.0, 0, true, "100.0"},
      {100.0, 0, false, "100"},
      {0.5, 0, true, "0.5"},
      {1e16, 0, true, "10000000000000000.0"},
      {1e17, 0, true, "1.0e17"},
      {1e17, 0, false, "1e17"},
      {1.5e20, 0, true, "1.5e20"},
      {1.5e20, 0, false, "1.5e20"},
      {1e-7, 0, true, "0.0000001"},
      {1e-7, 0, false, "0.0000001"},
      {1e-8, 0, true, "1.0e-8"},
      {-1e-8, 0, false, "-1e-8"},
      {-2.5, 0, true, "-2.5"},
      {123.456, 0, true, "123.456"},
      {1.25e-5, 0, true, "0.0000125"},
      {0.1 + 0.2, 0, true, "0.30000000000000004"},
      {5e-324, 0, true, "5.0e-324"},
      {1.7976931348623157e308, 0, true, "1.7976931348623157e308"},
      {2.2250738585072014e-308, 0, true, "2.2250738585072014e-308"},
      {9007199254740993.0, 0, true, "9007199254740992.0"},
      {1e22, 0, false, "1e22"},
      {1e23, 0, true, "1.0e23"},
      // Capped: correctly rounded to the cap, ties to even, zeros up to the point.
      {1234567.0, 6, false, "1234570"},
      {1234567.0, 6, true, "1234570.0"},
      {0.1 + 0.2, 16, true, "0.3"},
      {0.1 + 0.2, 22, true, "0.30000000000000004"},
      {2.5, 1, false, "2"},
      {3.5, 1, false, "4"},
      {0.15, 1, true, "0.1"},   // 0.1499999999999999944...
      {0.25, 1, true, "0.2"},   // an exact tie
      {0.35, 1, true, "0.3"},   // 0.34999999999999997779...
      {999999.5, 6, false, "1000000"},
      {9.5, 1, true, "10.0"},
      {123.456, 6, true, "123.456"},
      {1.0 / 3.0, 6, true, "0.333333"},
      {-2.0 / 3.0, 6, false, "-0.666667"},
  };
  for (const row& r : rows) {
    EXPECT_STREQ(form_float(r.value, r.precision, r.add_zero), r.text)
        << r.value << " precision " << r.precision << " add-zero " << r.add_zero;
  }
}

TEST(float_text, zero_infinities_and_nan_have_their_own_forms) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct row {
    double value;
    bool add_zero;
    const char* text;
    int32_t point;
    int32_t sign;
  } rows[] = {
      {0.0, true, "0.0", POINT_ZERO, 0},   {-0.0, true, "-0.0", POINT_ZERO, 1},
      {0.0, false, "0", POINT_ZERO, 0},    {-0.0, false, "-0", POINT_ZERO, 1},
      {inf, true, "1.#INF", POINT_SPECIAL, 0}, {-inf, false, "-1.#INF", POINT_SPECIAL, 1},
      {nan, true, "1.#NaN", POINT_SPECIAL, 0}, {-nan, false, "1.#NaN", POINT_SPECIAL, 0},
  };
  for (const row& r : rows) {
    EXPECT_STREQ(form_float(r.value, 0, r.add_zero), r.text);
    int32_t point, sign, count;
    EXPECT_STREQ(form_digits(r.value, 6, point, sign, count, r.add_zero), r.text);
    EXPECT_EQ(point, r.point) << r.text;
    EXPECT_EQ(sign, r.sign) << r.text;
    EXPECT_EQ(count, static_cast<int32_t>(std::strlen(r.text)));
  }
}

TEST(float_text, digits_come_with_point_sign_and_count) {
  struct row {
    double value;
    int32_t precision;
    const char* digits;
    int32_t point, sign, count;
  } rows[] = {
      {123.45, 0, "12345", 3, 0, 5},
      {-0.001, 0, "1", -2, 1, 1},
      {1e300, 0, "1", 301, 0, 1},
      {-99.96, 3, "1", 3, 1, 1},  // a round-up carried out of the first digit
  };
  for (const row& r : rows) {
    int32_t point, sign, count;
    EXPECT_STREQ(form_digits(r.value, r.precision, point, sign, count, false), r.digits);
    EXPECT_EQ(point, r.point) << r.value;
    EXPECT_EQ(sign, r.sign) << r.value;
    EXPECT_EQ(count, r.count) << r.value;
  }
}

// --- Parsing ---------------------------------------------------------------

TEST(float_parse, signs_zeros_specials_and_saturated_exponents) {
  const double inf = std::numeric_limits<double>::infinity();
  struct row {
    const char* text;
    int32_t extra;
    double value;
    int32_t unconsumed;
  } rows[] = {
      {"1.#INF", 0, inf, 0},
      {"-1.#INF", 0, -inf, 0},
      {"+1.#inf", 0, inf, 0},
      {"-0", 0, 0.0, 0},  // the sign is not applied to a bare zero
      {"-000", 0, 0.0, 0},
      {"-0.0", 0, -0.0, 0},
      {"-.0", 0, -0.0, 0},
      {"-0e5", 0, -0.0, 0},
      {"", 0, 0.0, 0},
      {"-", 0, 0.0, 0},
      {"1e400", 0, inf, 0},
      {"-1e400", 0, -inf, 0},
      {"1e-400", 0, 0.0, 0},
      {"-1e-400", 0, -0.0, 0},
      {"1e4294967297", 0, inf, 0},
      {"1e-4294967297", 0, 0.0, 0},
      {"1e99999999999999999999999999", 0, inf, 0},
      {"0.000000000000000000000000000001e4294967297", 0, inf, 0},
      {"1e2147483647", -2147483647 - 1, 0.1, 0},
      {"125", -2, 1.25, 0},
      {"1.5", 3, 1500.0, 0},
      {"1.5e-2", 2, 1.5, 0},
      {"007.50", 0, 7.5, 0},
      {"0.000123", 0, 0.000123, 0},
      {"1.7976931348623157e308", 0, 1.7976931348623157e308, 0},
      {"1.7976931348623158e308", 0, 1.7976931348623157e308, 0},  // below the halfway point
      {"1.797693134862315808e308", 0, inf, 0},                  // above it
      {"4.9406564584124654e-324", 0, 5e-324, 0},
      {"2.4703282292062327e-324", 0, 0.0, 0},  // below half the smallest subnormal
      {"2.4703282292062328e-324", 0, 5e-324, 0},
      {"9007199254740993", 0, 9007199254740992.0, 0},  // a tie goes to the even neighbour
      {"9007199254740993.000000000000000000001", 0, 9007199254740994.0, 0},
      {"3.1415926535897932384626433832795028841971693993751", 0, 3.141592653589793, 0},
      // The caller learns of stray bytes from the unconsumed count.
      {"1.5.3", 0, 1.5, 2},
      {"1e", 0, 1.0, 1},
      {"1.#", 0, 1.0, 1},
      {"1.#X", 0, 1.0, 2},
      {"11.#INF", 0, 11.0, 4},
      {"0.#INF", 0, 0.0, 4},
      {"2.5e3x", 0, 2500.0, 1},
      {"12abc", 0, 12.0, 3},
  };
  for (const row& r : rows) {
    parsed p = parse(r.text, r.extra);
    EXPECT_EQ(bits_of(p.value), bits_of(r.value)) << r.text << " gave " << p.value;
    EXPECT_EQ(p.unconsumed, r.unconsumed) << r.text;
  }
  parsed nan = parse("1.#NaN");
  EXPECT_EQ(bits_of(nan.value), bits_of(std::numeric_limits<double>::quiet_NaN()));
  EXPECT_EQ(bits_of(parse("-1.#nan").value), bits_of(std::numeric_limits<double>::quiet_NaN()));
}

TEST(float_parse, stops_at_the_end_it_is_given) {
  // Every prefix is parsed from a buffer of exactly its size.
  const double inf = std::numeric_limits<double>::infinity();
  struct row {
    const char* text;
    double value;
    int32_t unconsumed;
  } rows[] = {
      {"", 0.0, 0},          {"-", 0.0, 0},          {"-1", -1.0, 0},       {"-12", -12.0, 0},
      {"-12.", -12.0, 0},    {"-12.5", -12.5, 0},    {"-12.5e", -12.5, 1},  {"-12.5e+", -12.5, 0},
      {"-12.5e+3", -12500.0, 0}, {"-1.", -1.0, 0},   {"-1.#", -1.0, 1},     {"-1.#I", -inf, 0},
      {"-1.#IN", -inf, 0},   {"-1.#INF", -inf, 0},
  };
  for (const row& r : rows) {
    parsed p = parse(r.text);
    EXPECT_EQ(bits_of(p.value), bits_of(r.value)) << '"' << r.text << '"';
    EXPECT_EQ(p.unconsumed, r.unconsumed) << '"' << r.text << '"';
  }
}

// --- Corpora ---------------------------------------------------------------

// Rows: bits, shortest digits, point, repr, then digits:point with caps of
// 1, 2, 6, 15 and 16 significant digits.
TEST(float_corpus, shortest_and_capped_digits_of_every_row) {
  std::ifstream in(corpora() / "float-format" / "float-format.tsv");
  if (!in) GTEST_SKIP() << "float-format corpus not found";
  const int32_t caps[] = {1, 2, 6, 15, 16};
  std::string line;
  int32_t rows = 0;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#' || line.starts_with("bits")) continue;
    std::vector<std::string> cols;
    for (size_t at = 0;;) {
      size_t tab = line.find('\t', at);
      cols.push_back(line.substr(at, tab - at));
      if (tab == std::string::npos) break;
      at = tab + 1;
    }
    ASSERT_EQ(cols.size(), 9u) << line;
    double v = std::bit_cast<double>(std::stoull(cols[0], nullptr, 16));
    EXPECT_EQ(our_digits(v, 0), (digits_point{cols[1], std::stoi(cols[2])})) << line;
    for (int32_t i = 0; i < 5; ++i) {
      size_t colon = cols[4 + i].find(':');
      digits_point want{cols[4 + i].substr(0, colon), std::stoi(cols[4 + i].substr(colon + 1))};
      EXPECT_EQ(our_digits(v, caps[i]), want) << line << " cap " << caps[i];
    }
    EXPECT_EQ(bits_of(parse(form_float(v, 0, true)).value), bits_of(v)) << line;
    ++rows;
  }
  EXPECT_EQ(rows, 12000);
}

// Lines: float16, float32 and float64 bits in hexadecimal, then the text.
TEST(float_corpus, every_decimal_text_parses_to_its_binary64) {
  std::filesystem::path folder = corpora() / "parse-number-fxx" / "data";
  if (!std::filesystem::is_directory(folder)) GTEST_SKIP() << "parse-number-fxx corpus not found";
  int32_t lines = 0;
  for (const auto& file : std::filesystem::directory_iterator(folder)) {
    std::ifstream in(file.path());
    std::string line;
    while (std::getline(in, line)) {
      if (line.size() < 32) continue;
      uint64_t want = std::stoull(line.substr(14, 16), nullptr, 16);
      std::string text = line.substr(31);
      parsed p = parse(text);
      EXPECT_EQ(bits_of(p.value), want) << file.path().filename() << ": " << text;
      EXPECT_EQ(p.unconsumed, 0) << text;
      ++lines;
    }
  }
  EXPECT_GT(lines, 50000);
}

// --- Against the C++ library -------------------------------------------------

double random_finite(std::mt19937_64& rng) {
  for (;;) {
    double v = std::bit_cast<double>(rng());
    if (std::isfinite(v) && v != 0) return v;
  }
}

TEST(float_library, random_values_round_trip_and_match_the_library) {
  std::mt19937_64 rng(20240611);
  for (int32_t i = 0; i < 100000; ++i) {
    double v = random_finite(rng);
    std::string text = form_float(v, 0, true);
    parsed back = parse(text);
    ASSERT_EQ(bits_of(back.value), bits_of(v)) << text;
    ASSERT_EQ(back.unconsumed, 0) << text;
    ASSERT_EQ(our_digits(v, 0), library_digits(v, 0)) << text;
    int32_t precision = 1 + static_cast<int32_t>(rng() % 17);
    ASSERT_EQ(our_digits(v, precision), expected_digits(v, precision)) << text << " cap " << precision;
  }
}

TEST(float_library, short_integers_and_fractions_match_the_library) {
  // Values the integer and power-of-ten paths see: whole numbers, short
  // decimal fractions, powers of two and ten.
  std::vector<double> values;
  for (int32_t i = 1; i < 2000; ++i) {
    values.push_back(i);
    values.push_back(i / 1000.0);
    values.push_back(i * 1e15);
  }
  for (int32_t e = -1074; e <= 1023; ++e) values.push_back(std::ldexp(1.0, e));
  for (int32_t e = -323; e <= 308; ++e) values.push_back(library_parse("1e" + std::to_string(e)));
  for (double v : values) {
    for (int32_t precision : {0, 1, 3, 6, 15, 16, 17}) {
      ASSERT_EQ(our_digits(v, precision), expected_digits(v, precision)) << v << " cap " << precision;
    }
    ASSERT_EQ(bits_of(parse(form_float(v, 0, false)).value), bits_of(v)) << v;
  }
}

TEST(float_library, random_decimal_texts_parse_as_the_library_does) {
  std::mt19937_64 rng(77);
  for (int32_t i = 0; i < 100000; ++i) {
    int32_t digits = 1 + static_cast<int32_t>(rng() % 30);
    std::string text = rng() % 2 ? "-" : "";
    for (int32_t d = 0; d < digits; ++d) text += static_cast<char>('0' + rng() % 10);
    if (rng() % 2) text.insert(text.size() - static_cast<size_t>(rng() % digits), ".");
    text += "e" + std::to_string(static_cast<int32_t>(rng() % 700) - 350);
    ASSERT_EQ(bits_of(parse(text).value), bits_of(library_parse(text))) << text;
  }
}

// Texts at, just below and just above the exact halfway point between two
// neighbouring doubles (written out in full from an 80-bit long double,
// which holds it exactly) need every digit to round right, even one past
// the 800th.
TEST(float_library, texts_near_halfway_points_round_as_the_library_does) {
  std::mt19937_64 rng(4242);
  char buf[1200];
  for (int32_t i = 0; i < 2000; ++i) {
    double v = std::fabs(random_finite(rng));
    if (i % 4 == 0) v = std::ldexp(static_cast<double>(rng() >> 11), -1074);  // subnormal range
    double next = std::nextafter(v, std::numeric_limits<double>::infinity());
    long double halfway = (static_cast<long double>(v) + static_cast<long double>(next)) / 2;
    auto r = std::to_chars(buf, buf + sizeof buf, halfway, std::chars_format::scientific, 780);
    std::string exact(buf, r.ptr);
    size_t e = exact.find('e');
    std::string mantissa = exact.substr(0, e), exponent = exact.substr(e);
    size_t last = mantissa.find_last_not_of('0');
    std::string trimmed = mantissa.substr(0, last + 1);
    if (trimmed.find('.') == std::string::npos) trimmed += '.';
    std::string above = trimmed + "000000001" + exponent;
    std::string far_above = trimmed + std::string(100, '0') + "1" + exponent;  // beyond 800 digits
    std::string at = trimmed + exponent;
    std::string below = trimmed;
    below[below.find_last_of("123456789")] -= 1;
    below += "9999" + exponent;
    for (const std::string& text : {above, far_above, at, below}) {
      ASSERT_EQ(bits_of(parse(text).value), bits_of(library_parse(text))) << text;
    }
  }
}

}  // namespace
}  // namespace ixo::dtoa
