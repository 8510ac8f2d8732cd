// Numeric text scanners (see scanners.hpp). The characters are narrowed to
// bytes first: any character above 7Fh fails every scanner, so a byte
// copy of the text is exact for whatever passes.
#include "runtime/lexer/scanners.hpp"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <iterator>
#include <limits>
#include <string>

#include "runtime/datatypes/money.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "startup/system/dtoa.hpp"

namespace ixo::tokenizer {

namespace {

bool digit_q(char c) { return c >= '0' && c <= '9'; }

// The characters as bytes in `out` (room for count bytes); false when one
// is above 7Fh.
bool narrow(const uint8_t* start, int32_t count, uint32_t unit, char* out) {
  for (int32_t i = 0; i < count; ++i) {
    uint32_t cp = string::get_char(start + static_cast<size_t>(i) * unit, unit);
    if (cp > 0x7F) return false;
    out[i] = static_cast<char>(cp);
  }
  return true;
}

// Money from bytes. `source_text` for the lexer: there the "$" is what
// makes the token money and a "," may stand for the point; the conversion
// scanner lets the "$" be left out and takes only ".".
bool money_bytes(const char* s, const char* end, cell* c, bool source_text) {
  bool negative = false;
  if (s < end && (*s == '+' || *s == '-')) negative = *s++ == '-';
  cell code{TYPE_WORD, 0, 0, 0};
  const cell* currency = nullptr;
  if (s < end && letter_q(static_cast<uint8_t>(*s))) {
    if (end - s < 5) return false;
    for (int32_t i = 0; i < 3; ++i)
      if (!letter_q(static_cast<uint8_t>(s[i]))) return false;
    if (s[3] != '$') return false;
    code.data2 = static_cast<uint32_t>(symbol::make_part(reinterpret_cast<const uint8_t*>(s), 3));
    currency = &code;
    s += 4;
  } else if (s < end && *s == '$') {
    ++s;
  } else if (source_text) {
    return false;
  }
  if (s == end) return false;
  // Digits with single "'" between digits, then at most one point.
  const char* dot = nullptr;
  int32_t decimals = 0;
  for (const char* p = s; p < end; ++p) {
    char ch = *p;
    if (digit_q(ch)) {
      if (dot) ++decimals;
      continue;
    }
    if (ch == '\'') {
      if (dot || p == s || p + 1 == end || !digit_q(p[-1]) || !digit_q(p[1])) return false;
      continue;
    }
    if ((ch == '.' || (ch == ',' && source_text)) && !dot) {
      if (p == s || p + 1 == end || p[-1] == '\'') return false;
      dot = p;
      continue;
    }
    return false;
  }
  // Source text allows five decimals; a conversion keeps the first five and
  // drops the rest, as make_at does.
  if (source_text && decimals > money::DECIMALS) return false;
  // Leading zeros do not count toward the integer digits.
  while (s < end && (*s == '0' || *s == '\'') && s + 1 < end && s + 1 != dot) ++s;
  char text[64];
  if (end - s >= static_cast<std::ptrdiff_t>(sizeof text)) return false;
  std::memcpy(text, s, static_cast<size_t>(end - s));
  char* text_dot = dot ? text + (dot - s) : nullptr;
  if (text_dot) *text_dot = '.';
  return money::make_at(c, negative, currency, text, text_dot, text + (end - s)) != nullptr;
}

}  // namespace

bool float_syntax_q(const char* s, const char* end) {
  if (s < end && (*s == '+' || *s == '-')) ++s;
  int32_t digits = 0;
  auto run = [&](int32_t& count) {
    while (s < end) {
      if (digit_q(*s)) {
        ++count;
      } else if (*s == '\'' && count > 0 && s + 1 < end && digit_q(s[1]) && digit_q(s[-1])) {
        // a separator between two digits
      } else {
        break;
      }
      ++s;
    }
  };
  run(digits);
  if (s < end && *s == '.') {
    ++s;
    int32_t fraction = 0;
    run(fraction);
    digits += fraction;
  }
  if (digits == 0) return false;
  if (s < end && (*s == 'e' || *s == 'E')) {
    ++s;
    if (s < end && (*s == '+' || *s == '-')) ++s;
    int32_t exponent = 0;
    while (s < end && digit_q(*s)) ++s, ++exponent;
    if (exponent == 0) return false;
  }
  return s == end;
}

double convert_float(const char* start, const char* end) {
  std::string text;  // a copy only for text with separators
  if (std::memchr(start, '\'', static_cast<size_t>(end - start))) {
    std::remove_copy(start, end, std::back_inserter(text), '\'');
    start = text.data();
    end = start + text.size();
  }
  int32_t unconsumed;
  return dtoa::parse_float(start, end, 0, unconsumed);
}

bool money_text(const char* start, const char* end, cell* c) { return money_bytes(start, end, c, true); }

int32_t scan_integer(const uint8_t* start, int32_t count, uint32_t unit, int32_t& error) {
  error = 0;
  int32_t i = 0;
  bool negative = false;
  if (count > 0) {
    uint32_t first = string::get_char(start, unit);
    if (first == '+' || first == '-') negative = first == '-', i = 1;
  }
  int64_t value = 0;
  bool any = false;
  for (; i < count; ++i) {
    uint32_t cp = string::get_char(start + static_cast<size_t>(i) * unit, unit);
    if (cp == '\'') continue;
    if (cp < '0' || cp > '9') {
      error = -1;
      return 0;
    }
    any = true;
    value = value * 10 + (cp - '0');
    if (value > 2147483648LL || (value == 2147483648LL && !negative)) {
      error = -2;
      return 0;
    }
  }
  if (!any) {
    error = -1;
    return 0;
  }
  return static_cast<int32_t>(negative ? -value : value);
}

double scan_float(const uint8_t* start, int32_t count, uint32_t unit, int32_t& error) {
  error = -1;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  if (count < 0) return nan;
  std::string text(static_cast<size_t>(count), '\0');
  if (!narrow(start, count, unit, text.data())) return nan;
  for (char& ch : text)
    if (ch == ',') ch = '.';
  const char* end = text.data() + count;
  if (!float_syntax_q(text.data(), end)) return nan;
  error = 0;
  return convert_float(text.data(), end);
}

cell* scan_money(const uint8_t* start, int32_t count, uint32_t unit, int32_t& error, cell* c) {
  error = -1;
  if (count <= 0 || count > 64) return c;
  char text[64];
  if (!narrow(start, count, unit, text)) return c;
  cell m{};
  if (money_bytes(text, text + count, &m, false)) {
    *c = m;
    error = 0;
  }
  return c;
}

}  // namespace ixo::tokenizer
