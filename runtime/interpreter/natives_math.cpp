// The math natives. Results replace the first argument in the result slot;
// a float result makes it a float!. Every float that becomes a 32-bit
// integer is range-checked first, and every double that becomes a point
// coordinate saturates to an infinity outside the float32 range.
#include "runtime/interpreter/natives_math.hpp"

#include <cfloat>
#include <cmath>
#include <numbers>
#include <utility>

#include "platform/posix/bindings.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/float.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/logic.hpp"
#include "runtime/datatypes/money.hpp"
#include "runtime/datatypes/pair.hpp"
#include "runtime/datatypes/point2d.hpp"
#include "runtime/datatypes/point3d.hpp"
#include "runtime/datatypes/tuple.hpp"
#include "runtime/interpreter/actions.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"

namespace ixo::natives {

namespace {

constexpr double PI = std::numbers::pi;
// Sines and cosines below this magnitude are the rounding noise of a zero.
constexpr double EPSILON = 2.220446049250313e-16;

bool float_like_q(uint32_t type) { return type == TYPE_FLOAT || type == TYPE_PERCENT || type == TYPE_TIME; }

[[noreturn]] void bad_number(const char* name, const cell* value) {
  cell function = error_word(name);
  cell argument = error_word("number");
  fire(err::script_expect_arg, {function, datatype::make_cell(TYPE_OF(value)), argument});
}

// -1, 0 or 1 for the sign tests; NaN answers `nan`.
int32_t sign_of(const char* name, int32_t nan) {
  const cell* v = stack::arguments;
  uint32_t type = TYPE_OF(v);
  if (type == TYPE_INTEGER) {
    int32_t n = integer::get(v);
    return n > 0 ? 1 : n < 0 ? -1 : 0;
  }
  if (float_like_q(type)) {
    double d = get_float(v);
    return d > 0.0 ? 1 : d < 0.0 ? -1 : d == 0.0 ? 0 : nan;
  }
  if (type == TYPE_MONEY) return money::sign_q(v);
  bad_number(name, v);
}

// The first argument as a float!: an integer converted, a percent retyped.
double get_float_arg() {
  cell* v = stack::arguments;
  if (TYPE_OF(v) == TYPE_INTEGER) float_::make_at(v, static_cast<double>(integer::get(v)));
  else set_type(v, TYPE_FLOAT);
  return get_float(v);
}

double to_radians(int32_t radians, int32_t mode) {
  double d = get_float_arg();
  return radians >= 0 ? d : math::degrees_to_radians(d, mode);
}

double scalar_to_float(const cell* c) {
  return TYPE_OF(c) == TYPE_INTEGER ? static_cast<double>(integer::get(c)) : get_float(c);
}

// A float truncated toward zero, when the result fits 32 bits.
bool truncate_fits_q(double d, int32_t& n) {
  double t = std::trunc(d);
  if (integer::overflow_q(t)) return false;
  n = static_cast<int32_t>(t);
  return true;
}

int32_t scalar_to_int(const cell* c) {
  if (TYPE_OF(c) == TYPE_INTEGER) return integer::get(c);
  int32_t n;
  if (!truncate_fits_q(get_float(c), n)) fire(err::script_type_limit, {datatype::make_cell(TYPE_INTEGER)});
  return n;
}

// A double as a point coordinate; beyond the float32 range an infinity of
// its sign (the conversion itself would be undefined there).
float to_float32(double d) {
  if (d > FLT_MAX) return INFINITY;
  if (d < -FLT_MAX) return -INFINITY;
  return static_cast<float>(d);
}

// The greater (max) or lesser of two components; a NaN other is taken.
template <class T>
T pick_component(T own, T other, bool max) {
  if (std::isnan(static_cast<double>(other))) return other;
  return max ? (other > own ? other : own) : (other < own ? other : own);
}

int32_t pick_int(int32_t own, int32_t other, bool max) {
  return max ? std::max(own, other) : std::min(own, other);
}

// point2D! or point3D! in `a` against a scalar, a pair! (point2D only) or
// a point of the same kind, component by component in float32.
void max_min_points(cell* a, const cell* b, bool max) {
  int32_t n = TYPE_OF(a) == TYPE_POINT3D ? 3 : 2;
  for (int32_t i = 0; i < n; ++i) {
    float other;
    switch (TYPE_OF(b)) {
      case TYPE_INTEGER:
      case TYPE_FLOAT:
        other = to_float32(scalar_to_float(b));
        break;
      case TYPE_PAIR:
        other = static_cast<float>(i == 0 ? pair::x_of(b) : pair::y_of(b));
        break;
      default:
        other = point2D::coordinate(b, i);
        break;
    }
    point2D::set_coordinate(a, i, pick_component(point2D::coordinate(a, i), other, max));
  }
}

void max_min(bool max) {
  cell* a = stack::arguments;
  cell* b = a + 1;
  auto numeric = [](uint32_t t) { return t == TYPE_INTEGER || t == TYPE_FLOAT || t == TYPE_PERCENT; };
  auto nan_q = [](const cell* c) {
    return (TYPE_OF(c) == TYPE_FLOAT || TYPE_OF(c) == TYPE_PERCENT) && std::isnan(get_float(c));
  };
  // A NaN wins against any number.
  if (nan_q(a) && numeric(TYPE_OF(b))) return;
  if (nan_q(b) && numeric(TYPE_OF(a))) {
    *a = *b;
    return;
  }
  uint32_t ta = TYPE_OF(a), tb = TYPE_OF(b);
  if ((ta == TYPE_INTEGER || ta == TYPE_FLOAT) &&
      (tb == TYPE_PAIR || tb == TYPE_POINT2D || tb == TYPE_POINT3D || tb == TYPE_TUPLE)) {
    std::swap(*a, *b);
    std::swap(ta, tb);
  }
  // A pair against a point compares as two points, component by component.
  if (ta == TYPE_PAIR && tb == TYPE_POINT2D) {
    *a = point2D::make_cell(static_cast<float>(pair::x_of(a)), static_cast<float>(pair::y_of(a)));
    max_min_points(a, b, max);
    return;
  }
  if (ta == TYPE_PAIR) {
    int32_t x = pair::x_of(b), y = x;
    bool handled = true;
    if (tb == TYPE_INTEGER) {
      x = y = integer::get(b);
    } else if (tb == TYPE_FLOAT) {
      if (!truncate_fits_q(get_float(b), x)) {
        // Out of the integers' reach: compare as points.
        float f = to_float32(get_float(b));
        *a = point2D::make_cell(static_cast<float>(pair::x_of(a)), static_cast<float>(pair::y_of(a)));
        *b = point2D::make_cell(f, f);
        max_min_points(a, b, max);
        return;
      }
      y = x;
    } else if (tb == TYPE_PAIR) {
      y = pair::y_of(b);
    } else {
      handled = false;
    }
    if (handled) {
      *a = pair::make_cell(pick_int(pair::x_of(a), x, max), pick_int(pair::y_of(a), y, max));
      return;
    }
  }
  if ((ta == TYPE_POINT2D && (tb == TYPE_INTEGER || tb == TYPE_FLOAT || tb == TYPE_PAIR || tb == TYPE_POINT2D)) ||
      (ta == TYPE_POINT3D && (tb == TYPE_INTEGER || tb == TYPE_FLOAT || tb == TYPE_POINT3D))) {
    max_min_points(a, b, max);
    return;
  }
  if (ta == TYPE_TUPLE && (tb == TYPE_INTEGER || tb == TYPE_FLOAT)) {
    int32_t n = scalar_to_int(b);
    uint8_t byte = static_cast<uint8_t>(n < 0 ? 0 : n > 255 ? 255 : n);
    uint8_t* bytes = tuple::bytes_of(a);
    for (int32_t i = 0; i < tuple::length_of(a); ++i) bytes[i] = max ? std::max(bytes[i], byte) : std::min(bytes[i], byte);
    return;
  }
  if (ta == TYPE_TUPLE && tb == TYPE_TUPLE && tuple::length_of(a) == tuple::length_of(b)) {
    uint8_t* bytes = tuple::bytes_of(a);
    const uint8_t* other = tuple::bytes_of(b);
    for (int32_t i = 0; i < tuple::length_of(a); ++i)
      bytes[i] = max ? std::max(bytes[i], other[i]) : std::min(bytes[i], other[i]);
    return;
  }
  bool lesser = actions::compare(a, b, COMP_LESSER);
  if (lesser == max) *a = *b;
}

void set_float_result(double d) { float_::box(d); }

}  // namespace

void negative_q(const int32_t*) { logic::box(sign_of("negative?", 0) < 0); }
void positive_q(const int32_t*) { logic::box(sign_of("positive?", 0) > 0); }

// A NaN has no sign to multiply by: it is refused rather than answered 0.
void sign_q(const int32_t*) {
  constexpr int32_t NOT_A_SIGN = 2;
  int32_t s = sign_of("sign?", NOT_A_SIGN);
  if (s == NOT_A_SIGN) fire(err::script_invalid_arg, {*stack::arguments});
  integer::box(s);
}

void zero_q(const int32_t*) {
  const cell* v = stack::arguments;
  bool zero;
  switch (TYPE_OF(v)) {
    case TYPE_CHAR:
    case TYPE_INTEGER:
      zero = v->data2 == 0;
      break;
    case TYPE_FLOAT:
    case TYPE_PERCENT:
    case TYPE_TIME:
      zero = get_float(v) == 0.0;
      break;
    case TYPE_PAIR:
      zero = pair::x_of(v) == 0 && pair::y_of(v) == 0;
      break;
    case TYPE_TUPLE:
      zero = tuple::zero_q(v);
      break;
    case TYPE_MONEY:
      zero = money::sign_q(v) == 0;
      break;
    case TYPE_POINT2D:
      zero = point2D::coordinate(v, 0) == 0.0f && point2D::coordinate(v, 1) == 0.0f;
      break;
    case TYPE_POINT3D:
      zero = point2D::coordinate(v, 0) == 0.0f && point2D::coordinate(v, 1) == 0.0f &&
             point2D::coordinate(v, 2) == 0.0f;
      break;
    default:
      zero = false;
      break;
  }
  logic::box(zero);
}

void NaN_q(const int32_t*) {
  const cell* v = stack::arguments;
  logic::box((TYPE_OF(v) == TYPE_FLOAT || TYPE_OF(v) == TYPE_PERCENT) && std::isnan(get_float(v)));
}

void max(const int32_t*) { max_min(true); }
void min(const int32_t*) { max_min(false); }

void shift(const int32_t* refinements) {
  int32_t data = integer::get(stack::arguments);
  int32_t bits = std::max(integer::get(stack::arguments + 1), 0);
  uint32_t u = static_cast<uint32_t>(data);
  int32_t result;
  if (refinements[0] >= 0) {
    result = bits >= 32 ? 0 : static_cast<int32_t>(u << bits);
  } else if (refinements[1] >= 0) {
    result = bits >= 32 ? 0 : static_cast<int32_t>(u >> bits);
  } else {
    result = bits >= 32 ? (data < 0 ? -1 : 0) : data >> bits;
  }
  integer::box(result);
}

void sine(const int32_t* refinements) {
  double r = std::sin(to_radians(refinements[0], 2));
  set_float_result(std::fabs(r) < EPSILON ? 0.0 : r);
}

void cosine(const int32_t* refinements) {
  double r = std::cos(to_radians(refinements[0], 1));
  set_float_result(std::fabs(r) < EPSILON ? 0.0 : r);
}

void tangent(const int32_t* refinements) {
  double r = to_radians(refinements[0], 0);
  set_float_result(r == PI / 2.0 ? INFINITY : r == PI / -2.0 ? -INFINITY : std::tan(r));
}

namespace {

enum arc_selector : int32_t { ARC_TANGENT = 0, ARC_COSINE = 1, ARC_SINE = 2 };

void arc_trig(int32_t radians, arc_selector selector) {
  double d = get_float_arg();
  double r = selector == ARC_SINE ? std::asin(d) : selector == ARC_COSINE ? std::acos(d) : std::atan(d);
  set_float_result(radians >= 0 ? r : r * 180.0 / PI);
}

}  // namespace

void arcsine(const int32_t* refinements) { arc_trig(refinements[0], ARC_SINE); }
void arccosine(const int32_t* refinements) { arc_trig(refinements[0], ARC_COSINE); }
void arctangent(const int32_t* refinements) { arc_trig(refinements[0], ARC_TANGENT); }

void arctangent2(const int32_t* refinements) {
  double y = scalar_to_float(stack::arguments);
  double x = scalar_to_float(stack::arguments + 1);
  double r = std::atan2(y, x);
  set_float_result(refinements[0] >= 0 ? r : r * (180.0 / PI));
}

void log_2(const int32_t*) { set_float_result(std::log(get_float_arg()) / 0.6931471805599453); }
void log_10(const int32_t*) { set_float_result(std::log10(get_float_arg())); }
void log_e(const int32_t*) { set_float_result(std::log(get_float_arg())); }
void exp(const int32_t*) { set_float_result(std::pow(2.718281828459045, get_float_arg())); }
void square_root(const int32_t*) { set_float_result(std::sqrt(get_float_arg())); }

}  // namespace ixo::natives
