// integer!: the 32-bit signed integer, its cell constructors, the decimal
// former every type that prints integers uses, and the integer arithmetic
// core, which decides the result type of every mixed operation whose left
// operand is an integer (or a char) and hands the others to the math of the
// right operand's type.
//
// Cell: payload word 2 holds the value (two's complement); words 1 and 3
// are not used. char! keeps its code point in the same place.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::integer {

// Operation codes of the arithmetic cores of every numeric type.
enum math_op : int32_t {
  OP_ADD = 0, OP_SUBTRACT, OP_MULTIPLY, OP_DIVIDE, OP_REMAINDER, OP_OR, OP_AND, OP_XOR,
};

inline cell make_cell(int32_t v) { return cell{TYPE_INTEGER, 0, static_cast<uint32_t>(v), 0}; }
inline int32_t get(const cell* c) { return static_cast<int32_t>(c->data2); }

cell* push(int32_t v);
// The result slot becomes the integer.
void box(int32_t v);
cell* make_at(cell* c, int32_t v);
// A new integer at the tail of the block; the answer is valid until the
// next allocation.
cell* make_in(cell* block, int32_t v);

// |n|; -2147483648 raises math/overflow.
int32_t abs(int32_t n);
// A float above 2147483647.0, below -2147483648.0, or NaN.
bool overflow_q(double f);

// Decimal text in a static buffer that the next call overwrites.
const char* form_signed(int32_t n);
// Appends the decimal text of n, as form writes it, to the string's
// buffer; answers its length.
int32_t append_decimal(const cell* string, int32_t n);

// What the core's left op right comes to.
enum class math_outcome : uint8_t {
  whole,        // a 32-bit integer
  floating,     // a float: past 32 bits, or a divide that is not exact
  zero_divide,  // divide or remainder by 0
  overflow,     // -2147483648 divided by -1, or its remainder
  no_code,      // not a math code
};

// The core without raising: left op right. A whole answer goes to `n`.
// Add, subtract and multiply that overflow 32 bits answer the operation
// done in double precision in `f`, and so does a divide that is not exact
// unless `truncate` (which takes the quotient truncated).
[[gnu::always_inline]] inline math_outcome math_core(int32_t left, int32_t right, int32_t op, bool truncate,
                                                     int32_t& n, double& f) {
  double x = left, y = right;
  switch (op) {
    case OP_ADD:
      if (!__builtin_add_overflow(left, right, &n)) return math_outcome::whole;
      f = x + y;
      return math_outcome::floating;
    case OP_SUBTRACT:
      if (!__builtin_sub_overflow(left, right, &n)) return math_outcome::whole;
      f = x - y;
      return math_outcome::floating;
    case OP_MULTIPLY:
      if (!__builtin_mul_overflow(left, right, &n)) return math_outcome::whole;
      f = x * y;
      return math_outcome::floating;
    case OP_DIVIDE:
    case OP_REMAINDER:
      if (right == 0) return math_outcome::zero_divide;
      if (left == INT32_MIN && right == -1) return math_outcome::overflow;
      if (op == OP_DIVIDE && !truncate && left % right != 0) {
        f = x / y;
        return math_outcome::floating;
      }
      n = op == OP_DIVIDE ? left / right : left % right;
      return math_outcome::whole;
    case OP_OR: n = left | right; return math_outcome::whole;
    case OP_AND: n = left & right; return math_outcome::whole;
    case OP_XOR: n = left ^ right; return math_outcome::whole;
    default: return math_outcome::no_code;
  }
}

// The core: left op right. Add, subtract and multiply that overflow 32
// bits make `result` a float! with the operation done in double precision
// and answer 0; so does a divide that is not exact when `result` is given
// (without it the quotient is truncated). Otherwise the value is stored in
// payload word 2 of `result` (its type untouched) and answered. Divide and
// remainder by 0 raise math/zero-divide, -2147483648 by -1 math/overflow.
// Add, subtract and multiply need a result cell.
int32_t do_math_op(int32_t left, int32_t right, int32_t op, cell* result);
// The action: the two argument cells, the result in the first.
void do_math(int32_t op);

// round with its refinements, for the types that round coordinate by
// coordinate; absent refinement arguments lie at or below the argument base.
cell* round(cell* value, cell* scale, int32_t even, int32_t down, int32_t half_down, int32_t floor,
            int32_t ceiling, int32_t half_ceiling);

void init();

}  // namespace ixo::integer
