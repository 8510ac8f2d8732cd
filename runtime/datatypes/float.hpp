// float!: the IEEE-754 double. The module holds the float constructors,
// the text former shared with percent!, time!, vector! and the point
// types, the float arithmetic core, the tolerant equality and round.
//
// Cell: payload words 2 and 3 hold the double (low half first); word 1 is
// not used. percent! and time! keep their double in the same place, so the
// math here reads all three alike.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::float_ {

// What form_float is forming: it picks the digits and the decorations.
enum form_kind : int32_t {
  FORM_FLOAT32 = 0,     // a 32-bit vector element
  FORM_FLOAT = 1,
  FORM_PERCENT32 = 2,   // a 32-bit percent vector element
  FORM_PERCENT = 3,
  FORM_SECONDS = 4,     // the seconds of a time!
  FORM_COORDINATE = 5,  // a point coordinate
};

// system/options/float/pretty?: formed floats hide representation noise
// and show magnitudes below 2.220446049250313e-16 as zero.
extern bool pretty_q;

inline cell make_cell(double d) {
  cell c{TYPE_FLOAT, 0, 0, 0};
  set_float(&c, d);
  return c;
}

void box(double d);
cell* make_at(cell* c, double d);
// A new float from the two halves of its bit pattern at the tail of the
// block; the answer is valid until the next allocation.
cell* make_in(cell* block, uint32_t low, uint32_t high);
cell* push64(uint32_t low, uint32_t high);
cell* push(double d);

// Equal when exactly equal, less than 2.220446049250313e-16 apart, or at
// most 10 units in the last place apart; a NaN equals nothing.
bool almost_equal_q(double a, double b);
// The same for 32-bit floats, where the two zeros are equal and values at
// or beyond the largest finite float32 of one sign are all equal.
bool almost_equal32_q(float a, float b);

// The text of a number (a static buffer the next call overwrites).
const char* form_float(double value, int32_t kind);

// x modulo y: fmod, x itself by an infinity, NaN by a NaN.
double remainder_of(double x, double y);
// The core without raising: x op y into `out` for the math codes add,
// subtract, multiply, divide and remainder (divide by zero gives an
// infinity or NaN); false for any other code.
[[gnu::always_inline]] inline bool math_core(int32_t op, double x, double y, double& out) {
  switch (op) {
    case 0: out = x + y; return true;  // the codes of integer::math_op
    case 1: out = x - y; return true;
    case 2: out = x * y; return true;
    case 3: out = x / y; return true;
    case 4: out = remainder_of(x, y); return true;
    default: return false;
  }
}
// x op y, as math_core; or, and, xor raise script/cannot-use.
double do_math_op(int32_t op, double x, double y);
// The action: the two argument cells, the result in the first.
void do_math(int32_t op);
// The power action on the argument cells (the base a float).
void power();
// round with its refinements; the result takes the type of a /to scale. A
// money!, pair!, point2D! or point3D! scale raises script/not-related.
cell* round(cell* value, cell* scale, int32_t even, int32_t down, int32_t half_down, int32_t floor,
            int32_t ceiling, int32_t half_ceiling);
// A random float between 0 and x.
double random(double x, bool secure);

void init();

}  // namespace ixo::float_
