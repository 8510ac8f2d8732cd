// money!: the digit primitives, the constructors and conversions, form and
// mold, paths, the exact arithmetic, comparison, round and random.
//
// Arithmetic reads the 22-digit coefficient into a 128-bit integer (10^22
// < 2^74, and the widest intermediate, a product of at most 28 digits or a
// dividend widened by 5 decimals, stays below 10^28) and writes the result
// back as digits, so every result is exact and truncated where a digit-by-
// digit long operation would truncate.
#include "runtime/datatypes/money.hpp"

#include <cmath>
#include <cstring>

#include "runtime/core/random.hpp"
#include "runtime/datatypes/action_types.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/currency.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/float.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/none.hpp"
#include "runtime/datatypes/object.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/datatypes/type_classes.hpp"
#include "runtime/datatypes/unset.hpp"
#include "runtime/datatypes/word.hpp"
#include "runtime/datatypes/words.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/lexer/scanners.hpp"
#include "runtime/memory/series_buffer.hpp"
#include "startup/system/dtoa.hpp"

namespace ixo::money {

namespace {

using u128 = unsigned __int128;

constexpr int32_t AMOUNT_BYTES = 11;
constexpr u128 TEN5 = 100000;
constexpr double TOO_BIG = 1e17;
constexpr double TOO_SMALL = 1e-05;

u128 power_of_ten(int32_t n) {
  u128 p = 1;
  while (n-- > 0) p *= 10;
  return p;
}
const u128 LIMIT = power_of_ten(DIGITS);  // one past the largest coefficient

uint8_t* amount_of(cell* c) { return reinterpret_cast<uint8_t*>(&c->data1) + 1; }
const uint8_t* amount_of(const cell* c) { return reinterpret_cast<const uint8_t*>(&c->data1) + 1; }

u128 coefficient(const cell* c) {
  u128 v = 0;
  for (int32_t p = 1; p <= DIGITS; ++p) v = v * 10 + static_cast<uint32_t>(get_digit(c, p));
  return v;
}

// Writes a coefficient below 10^22 as digits.
void store(cell* c, u128 v) {
  uint8_t* a = amount_of(c);
  for (int32_t i = AMOUNT_BYTES - 1; i >= 0; --i) {
    uint8_t low = static_cast<uint8_t>(v % 10);
    v /= 10;
    uint8_t high = static_cast<uint8_t>(v % 10);
    v /= 10;
    a[i] = static_cast<uint8_t>(high << 4 | low);
  }
}

cell blank(bool negative, int32_t currency) {
  cell c{TYPE_MONEY, 0, 0, 0};
  set_sign(&c, negative);
  set_currency(&c, currency);
  return c;
}

[[noreturn]] void fire_type_limit() { fire(err::script_type_limit, {datatype::make_cell(TYPE_MONEY)}); }

// system/options/money-digits: the decimals that form and mold show; 2
// when it is no integer (or before the system object exists).
int32_t money_digits() {
  constexpr int32_t SYSTEM_OPTIONS = 11, OPTIONS_MONEY_DIGITS = 13;
  const cell* digits = object::system_field({SYSTEM_OPTIONS, OPTIONS_MONEY_DIGITS});
  return digits && TYPE_OF(digits) == TYPE_INTEGER ? integer::get(digits) : 2;
}

}  // namespace

int32_t get_digit(const cell* c, int32_t position) {
  uint8_t byte = amount_of(c)[(position - 1) / 2];
  return position % 2 ? byte >> 4 : byte & 0x0F;
}

int32_t count_digits(const cell* c) {
  for (int32_t p = 1; p <= DIGITS; ++p) {
    if (get_digit(c, p) != 0) return DIGITS - p + 1;
  }
  return 1;
}

int32_t sign_q(const cell* c) {
  const uint8_t* a = amount_of(c);
  for (int32_t i = 0; i < AMOUNT_BYTES; ++i) {
    if (a[i]) return get_sign(c) ? -1 : 1;
  }
  return 0;
}

// ---- Constructors and conversions -------------------------------------------------

cell* make_at(cell* c, bool negative, const cell* currency, const char* start, const char* dot,
              const char* end) {
  int32_t index = 0;
  if (currency) {
    index = currency::get_index(currency);
    if (index < 0) return nullptr;
  }
  cell m = blank(negative, index);
  uint8_t digits[DIGITS + 1] = {};  // 1-based
  const char* integer_end = dot ? dot : end;
  int32_t p = INTEGER_DIGITS;
  for (const char* s = integer_end; s > start;) {
    char ch = *--s;
    if (ch == '\'') continue;
    if (p == 0) return nullptr;
    digits[p--] = static_cast<uint8_t>(ch - '0');
  }
  if (dot) {
    p = INTEGER_DIGITS + 1;
    for (const char* s = dot + 1; s < end && p <= DIGITS; ++s) {
      if (*s != '\'') digits[p++] = static_cast<uint8_t>(*s - '0');
    }
  }
  uint8_t* a = amount_of(&m);
  for (int32_t i = 0; i < AMOUNT_BYTES; ++i) a[i] = static_cast<uint8_t>(digits[2 * i + 1] << 4 | digits[2 * i + 2]);
  *c = m;
  return c;
}

cell from_integer(int32_t n) {
  cell m = blank(n < 0, 0);
  int64_t magnitude = n < 0 ? -static_cast<int64_t>(n) : n;
  store(&m, static_cast<u128>(magnitude) * TEN5);
  return m;
}

bool float_too_big_q(double x) { return std::fabs(x) >= TOO_BIG; }
bool float_too_small_q(double x) { return x != 0.0 && std::fabs(x) < TOO_SMALL; }

cell from_float(double x, bool strict) {
  // NaN fails every comparison, so it is caught with the infinities here.
  if (!(std::fabs(x) < TOO_BIG) || float_too_small_q(x)) {
    fire(err::script_bad_make_arg, {datatype::make_cell(TYPE_MONEY), float_::make_cell(x)});
  }
  // Below 1e17 and from 1e-5 the text is plain, never with an exponent.
  const char* text = dtoa::form_float(x, 22, true);
  const char* start = text;
  bool negative = *start == '-';
  if (negative) ++start;
  const char* end = start + std::strlen(start);
  const char* dot = std::strchr(start, '.');
  if (strict && end - dot - 1 > DECIMALS) {
    fire(err::script_bad_make_arg, {datatype::make_cell(TYPE_MONEY), float_::make_cell(x)});
  }
  cell m;
  make_at(&m, negative, nullptr, start, dot, end);
  return m;
}

int32_t to_integer(const cell* c) {
  u128 whole = coefficient(c) / TEN5;
  bool negative = sign_q(c) < 0;
  if (whole > (negative ? u128{2147483648u} : u128{2147483647u})) {
    fire(err::script_type_limit, {datatype::make_cell(TYPE_INTEGER)});
  }
  int64_t v = static_cast<int64_t>(whole);
  return static_cast<int32_t>(negative ? -v : v);
}

// The amount's digits with all five decimals, read as a float.
double to_float(const cell* c) {
  char text[DIGITS + 2];
  char* out = text;
  int32_t first = count_digits(c) > DECIMALS ? DIGITS - count_digits(c) + 1 : INTEGER_DIGITS;
  for (int32_t p = first; p <= DIGITS; ++p) {
    if (p == INTEGER_DIGITS + 1) *out++ = '.';
    *out++ = static_cast<char>('0' + get_digit(c, p));
  }
  int32_t unconsumed;
  double d = dtoa::parse_float(text, out, 0, unconsumed);
  return sign_q(c) < 0 ? -d : d;
}

// ---- Text ---------------------------------------------------------------------------

namespace {

// The one writer of form and mold: sign, currency code and "$", the integer
// digits, then the decimals that money-digits asks for (five with `all`),
// cut and never rounded. With `grouped`, "'" after digits 2, 5, 8, 11, 14
// and 20.
int32_t write(const cell* value, cell* buffer, int32_t part, bool all, bool grouped) {
  if (sign_q(value) < 0) part = datatype::append_text(buffer, "-", part);
  if (int32_t index = get_currency(value)) {
    cell code{};
    word::make_at(currency::symbol_at(index), &code);
    part = word::form(&code, buffer, nullptr, part);
  }
  char text[64];
  char* out = text;
  *out++ = '$';
  auto digit = [&](int32_t p) {
    *out++ = static_cast<char>('0' + get_digit(value, p));
    if (grouped && p != INTEGER_DIGITS && p != DIGITS && (p + 1) % 3 == 0) *out++ = '\'';
  };
  int32_t count = count_digits(value);
  if (count > DECIMALS) {
    for (int32_t p = DIGITS - count + 1; p <= INTEGER_DIGITS; ++p) digit(p);
  } else {
    *out++ = '0';
  }
  int32_t decimals = money_digits();
  if (all || decimals > DECIMALS) decimals = DECIMALS;
  if (decimals >= 1) {
    *out++ = '.';
    for (int32_t p = INTEGER_DIGITS + 1; p <= INTEGER_DIGITS + decimals; ++p) digit(p);
  }
  // A group mark after the last digit written is not shown.
  if (out[-1] == '\'') --out;
  *out = 0;
  return datatype::append_text(buffer, text, part);
}

int32_t form(cell* value, cell* buffer, cell*, int32_t part) { return write(value, buffer, part, false, true); }

int32_t mold(cell* value, cell* buffer, int32_t, int32_t all, int32_t, cell*, int32_t part, int32_t) {
  return write(value, buffer, part, all != 0, false);
}

// ---- make and to ----------------------------------------------------------------------


[[noreturn]] void fire_make(const cell& value) {
  fire(err::script_bad_make_arg, {datatype::make_cell(TYPE_MONEY), value});
}

int32_t currency_of_word(const cell* word) {
  int32_t index = currency::get_index(word);
  if (index < 0) fire_make(*word);
  return index;
}

cell to_money(cell* spec) {
  switch (TYPE_OF(spec)) {
    case TYPE_MONEY: return *spec;
    case TYPE_INTEGER: return from_integer(integer::get(spec));
    case TYPE_FLOAT: return from_float(get_float(spec), true);
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL: case TYPE_REF: {
      cell m{};
      int32_t error;
      tokenizer::scan_money(string::rs_head(spec), string::rs_length_q(spec),
                            memory::GET_UNIT(memory::GET_BUFFER(spec)), error, &m);
      if (error) fire(err::script_bad_to_arg, {datatype::make_cell(TYPE_MONEY), *spec});
      return m;
    }
    default: fire(err::script_bad_to_arg, {datatype::make_cell(TYPE_MONEY), *spec});
  }
}

cell* to(cell* proto, cell* spec, int32_t) {
  *proto = to_money(spec);
  return proto;
}

// [currency amount fraction]: the currency word is optional; the fraction,
// units of 10^-5 from 0 to 100000, only follows an integer amount.
cell from_block(const cell* spec) {
  int32_t count;
  const cell* v = block::values_of(spec, count);
  if (count < 1 || count > 3) fire_make(*spec);
  int32_t i = 0, index = 0;
  if (any_word_q(TYPE_OF(&v[0]))) {
    if (count < 2) fire_make(v[0]);
    index = currency_of_word(&v[0]);
    i = 1;
  }
  cell m;
  switch (TYPE_OF(&v[i])) {
    case TYPE_INTEGER: m = from_integer(integer::get(&v[i])); break;
    case TYPE_FLOAT:
      if (i + 1 < count) fire_make(v[i + 1]);
      m = from_float(get_float(&v[i]), true);
      break;
    default: fire_make(v[i]);
  }
  if (++i < count) {
    const cell* fraction = &v[i];
    if (TYPE_OF(fraction) != TYPE_INTEGER || integer::get(fraction) < 0 || integer::get(fraction) > 100000) {
      fire_make(*fraction);
    }
    if (++i < count) fire_make(v[i]);
    u128 n = coefficient(&m) + static_cast<u128>(integer::get(fraction));
    if (n >= LIMIT) fire_type_limit();
    store(&m, n);
  }
  set_currency(&m, index);
  return m;
}

cell* make(cell* proto, cell* spec, int32_t type) {
  if (any_word_q(TYPE_OF(spec))) {
    *proto = blank(false, currency_of_word(spec));
    return proto;
  }
  switch (TYPE_OF(spec)) {
    case TYPE_BLOCK:
    case TYPE_PAREN:
    case TYPE_HASH:
      *proto = from_block(spec);
      return proto;
    default:
      return to(proto, spec, type);
  }
}

// ---- Paths ------------------------------------------------------------------------

// 1 for `code` or 1, 2 for `amount` or 2, else 0.
int32_t accessor_of(const cell* element) {
  if (TYPE_OF(element) == TYPE_INTEGER) {
    int32_t n = integer::get(element);
    return n == 1 || n == 2 ? n : 0;
  }
  if (!any_word_q(TYPE_OF(element))) return 0;
  if (symbol::EQUAL_WORDS_q(element, words::sym_code)) return 1;
  if (symbol::EQUAL_WORDS_q(element, words::sym_amount)) return 2;
  return 0;
}

cell* push_accessor(const cell* value, int32_t accessor) {
  if (accessor == 1) {
    int32_t index = get_currency(value);
    return index ? word::push_symbol(currency::symbol_at(index)) : none::push();
  }
  cell amount = *value;
  set_currency(&amount, 0);
  return stack::push(amount);
}

cell* pick(cell* value, int32_t, cell* index) {
  int32_t accessor = accessor_of(index);
  if (!accessor) fire(err::script_out_of_range, {*index});
  return push_accessor(value, accessor);
}

cell* eval_path(cell* parent, cell* element, cell* value, cell* path, cell*, cell*, int32_t, int32_t,
                int32_t, int32_t, int32_t) {
  int32_t accessor = accessor_of(element);
  if (!accessor) fire(err::script_invalid_path, {*path, *element});
  if (value) fire(err::script_bad_path_set, {*path, *element});
  return push_accessor(parent, accessor);
}

// ---- Arithmetic -------------------------------------------------------------------

// Signed amounts as 128-bit integers; a zero is never negative.
__int128 signed_amount(const cell* c) {
  __int128 v = static_cast<__int128>(coefficient(c));
  return get_sign(c) ? -v : v;
}

void store_signed(cell* c, __int128 v) {
  u128 magnitude = static_cast<u128>(v < 0 ? -v : v);
  if (magnitude >= LIMIT) fire_type_limit();
  set_sign(c, v < 0);
  store(c, magnitude);
}

// a op b into a, currencies untouched.
void do_op(cell* a, const cell* b, int32_t op) {
  switch (op) {
    case integer::OP_ADD: store_signed(a, signed_amount(a) + signed_amount(b)); return;
    case integer::OP_SUBTRACT: store_signed(a, signed_amount(a) - signed_amount(b)); return;
    case integer::OP_MULTIPLY: {
      if (sign_q(a) == 0 || sign_q(b) == 0) {
        store_signed(a, 0);
        return;
      }
      if (count_digits(a) + count_digits(b) > 28) fire_type_limit();
      u128 product = coefficient(a) * coefficient(b) / TEN5;
      if (product >= LIMIT) fire_type_limit();
      set_sign(a, get_sign(a) != get_sign(b));
      store(a, product);
      return;
    }
    case integer::OP_DIVIDE:
    case integer::OP_REMAINDER: {
      if (sign_q(b) == 0) fire(err::math_zero_divide);
      if (sign_q(a) == 0) return;
      if (DIGITS < count_digits(a) - count_digits(b) + 6) fire_type_limit();
      if (op == integer::OP_REMAINDER) {
        store(a, coefficient(a) % coefficient(b));  // the sign stays a's
        return;
      }
      u128 quotient = coefficient(a) * TEN5 / coefficient(b);
      if (quotient >= LIMIT) fire_type_limit();
      set_sign(a, get_sign(a) != get_sign(b));
      store(a, quotient);
      return;
    }
    default:
      fire(err::script_invalid_type, {datatype::make_cell(TYPE_OF(a))});
  }
}

cell as_money(const cell* c) {
  switch (TYPE_OF(c)) {
    case TYPE_MONEY: return *c;
    case TYPE_INTEGER: return from_integer(integer::get(c));
    case TYPE_FLOAT:
    case TYPE_PERCENT: return from_float(get_float(c), false);
    default: fire(err::script_invalid_type, {datatype::make_cell(TYPE_OF(c))});
  }
}

}  // namespace

void do_math(int32_t op) {
  cell* left = stack::arguments;
  cell* right = left + 1;
  bool left_money = TYPE_OF(left) == TYPE_MONEY, right_money = TYPE_OF(right) == TYPE_MONEY;
  if ((op == integer::OP_MULTIPLY && left_money && right_money) ||
      ((op == integer::OP_DIVIDE || op == integer::OP_REMAINDER) && !left_money && right_money)) {
    fire(err::script_invalid_type, {datatype::make_cell(TYPE_OF(left))});
  }
  cell a = as_money(left), b = as_money(right);
  int32_t ca = get_currency(&a), cb = get_currency(&b);
  if (ca && cb && ca != cb) fire(err::script_wrong_denom, {*left, *right});
  do_op(&a, &b, op);
  set_currency(&a, cb ? cb : ca);
  if (op == integer::OP_DIVIDE && left_money && right_money) {
    float_::make_at(left, to_float(&a));
    return;
  }
  *left = a;
}

// ---- Comparison ---------------------------------------------------------------------

int32_t compare_signed(const cell* a, const cell* b) {
  int32_t sa = sign_q(a), sb = sign_q(b);
  if (sa != sb) return sa < sb ? -1 : 1;
  int32_t order = std::memcmp(amount_of(a), amount_of(b), AMOUNT_BYTES);
  order = order < 0 ? -1 : order > 0 ? 1 : 0;
  return sa < 0 ? -order : order;
}

namespace {

// No currency sorts before any; codes sort by their spelling.
int32_t compare_full(const cell* a, const cell* b) {
  int32_t ca = get_currency(a), cb = get_currency(b);
  if (ca != cb) {
    if (!ca || !cb) return ca ? 1 : -1;
    return currency::compare_codes(ca, cb) < 0 ? -1 : 1;
  }
  return compare_signed(a, b);
}

}  // namespace

int32_t compare(const cell* value1, const cell* value2, int32_t op) {
  uint32_t type = TYPE_OF(value2);
  if ((op == COMP_STRICT_EQUAL || op == COMP_SAME || op == COMP_FIND) && type != TYPE_MONEY) return 1;
  switch (type) {
    case TYPE_MONEY: {
      int32_t ca = get_currency(value1), cb = get_currency(value2);
      switch (op) {
        case COMP_LESSER:
        case COMP_LESSER_EQUAL:
        case COMP_GREATER:
        case COMP_GREATER_EQUAL:
          if (ca && cb && ca != cb) fire(err::script_wrong_denom, {*value1, *value2});
          break;
        case COMP_SORT:
        case COMP_CASE_SORT:
          return compare_full(value1, value2);
        case COMP_FIND:
          if (cb && ca != cb) return 1;
          break;
        case COMP_STRICT_EQUAL:
        case COMP_SAME:
          if (ca != cb) return 1;
          break;
        default:
          if (ca && cb && ca != cb) return 1;
          break;
      }
      return compare_signed(value1, value2);
    }
    case TYPE_INTEGER: {
      cell m = from_integer(integer::get(value2));
      return compare_signed(value1, &m);
    }
    case TYPE_FLOAT: {
      double x = get_float(value2);
      // A float beyond the amounts is greater (or less) than any of them;
      // one too small to be an amount is beside zero.
      if (float_too_big_q(x)) return x > 0 ? -1 : 1;
      if (float_too_small_q(x)) return sign_q(value1) != 0 ? sign_q(value1) : x > 0 ? -1 : 1;
      cell m = from_float(x, true);
      return compare_signed(value1, &m);
    }
    default:
      return COMPARE_NONE;
  }
}

namespace {

// ---- round and random ---------------------------------------------------------------

cell* round(cell* value, cell* scale, int32_t even, int32_t down, int32_t half_down, int32_t floor,
            int32_t ceiling, int32_t half_ceiling) {
  if (sign_q(value) == 0) return value;
  u128 s = TEN5;
  if (scale > stack::arguments) {
    cell m;
    switch (TYPE_OF(scale)) {
      case TYPE_MONEY: m = *scale; break;
      case TYPE_INTEGER: m = from_integer(integer::get(scale)); break;
      case TYPE_FLOAT: m = from_float(get_float(scale), true); break;
      default: fire(err::script_not_related, {error_word("round"), datatype::make_cell(TYPE_OF(scale))});
    }
    s = coefficient(&m);
  }
  if (s == 0) return value;
  u128 n = coefficient(value);
  u128 r = n % s;
  if (r == 0) return value;  // already a multiple: every mode keeps it
  bool negative = get_sign(value);
  u128 lower = n - r, upper = n + (s - r);
  bool tie = 2 * r == s;
  bool nearest_up = r >= s - r;
  u128 result;
  if (down) result = lower;
  else if (floor) result = negative ? upper : lower;
  else if (ceiling) result = negative ? lower : upper;
  else if (even && tie) result = (n / s) % 2 == 0 ? lower : upper;
  else if (half_down && tie) result = lower;
  else if (half_ceiling && tie) result = negative ? lower : upper;
  else result = nearest_up ? upper : lower;
  if (result >= LIMIT) fire_type_limit();
  store(value, result);
  return value;
}

// Each digit from the most significant one down is redrawn no larger than
// it; once a smaller digit is kept the rest are free, so the result lies
// between zero and the value. Keeping the digit itself needs two further
// draws to agree, which keeps the value from being drawn too often.
cell* random_action(cell* value, int32_t seed, int32_t, int32_t) {
  if (seed) {
    random::seed(static_cast<int32_t>(value->data1 ^ value->data2 ^ value->data3 ^ (value->header & SIGN_FLAG)));
    return &unset::unset_value;
  }
  u128 digits = 0;
  bool free = false;
  for (int32_t p = DIGITS - count_digits(value) + 1; p <= DIGITS; ++p) {
    int32_t current = get_digit(value, p);
    int32_t g;
    if (free) {
      g = random::next() % 10;
    } else {
      for (;;) {
        g = random::next() % (current + 1);
        if (g != current) break;
        if (random::next() % 1000 == random::next() % 1000) break;
      }
      free = g < current;
    }
    digits = digits * 10 + static_cast<uint32_t>(g);
  }
  store(value, digits);
  return value;
}

void absolute() { set_sign(stack::arguments, false); }

cell* negate(cell* value) {
  set_sign(value, !get_sign(value));
  return value;
}

bool even_q(cell* value) { return get_digit(value, INTEGER_DIGITS) % 2 == 0; }
bool odd_q(cell* value) { return get_digit(value, INTEGER_DIGITS) % 2 != 0; }

template <int32_t OP>
void math() {
  do_math(OP);
}

}  // namespace

void init() {
  // clang-format off
  datatype::register_type(datatype_registration(TYPE_MONEY, 0, "money!",
    /* make .. set-path */     make, random_action, unsupported, to, form, mold, eval_path, unsupported,
    /* compare .. remainder */ compare, absolute, math<integer::OP_ADD>, math<integer::OP_DIVIDE>, math<integer::OP_MULTIPLY>, negate, unsupported, math<integer::OP_REMAINDER>,
    /* round .. xor~ */        round, math<integer::OP_SUBTRACT>, even_q, odd_q, unsupported, unsupported, unsupported, unsupported,
    /* append .. head */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* head? .. poke */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, pick, unsupported,
    /* put .. tail */          unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* tail? .. open */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* open? .. write */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported));
  // clang-format on
}

}  // namespace ixo::money
