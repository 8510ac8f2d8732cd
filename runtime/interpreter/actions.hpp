// Action dispatch: finding a type's implementation of an action, and the
// compare dispatcher through which every comparison of values goes. What an
// implementation is (compare codes, the `<action>_fn` signatures) is the
// datatypes' own: runtime/datatypes/action_types.hpp.
#pragma once
#include <cstdint>

#include "runtime/datatypes/action_types.hpp"
#include "runtime/datatypes/float.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/logic.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/memory/cell.hpp"

namespace ixo {

namespace actions {

// The stack-facing entry of an action, the one an action! value calls: the
// arguments lie from the argument base, and `refinements` holds one
// integer per refinement of the action's spec, in spec order: -1 when the
// refinement was not used, else the argument index where its arguments
// begin. The result is left in the result slot.
using action_dispatcher = void (*)(const int32_t* refinements);

// The dispatchers by action number (1..62); number 8 (set-path) has none.
extern action_dispatcher dispatchers[ACTION_COUNT + 1];

// Fills `dispatchers`; start-up calls it once the datatypes are registered.
void init();

// The implementation of an action for a type; an unsupported action raises
// script/expect-arg.
action_entry get_action(uint32_t type, int32_t index);
// The implementation for a value. A port! whose actor is a handle! takes
// the actions from append on from the handle's entry table, where a
// missing one raises access/no-port-action.
action_entry get_action(const cell* value, int32_t index);

// The position argument of pick and poke: true 1, false 2, an integer! or
// char! its value, anything else 0.
int32_t get_index_arg(const cell* index);

// ---- Typed entries --------------------------------------------------------
// For runtime code: the implementation of the first cell's type, called
// with cells and plain integers. Refinements come in spec order: a cell
// address for one with an argument (nullptr when not used), a flag for one
// without. The answer is the implementation's result cell, which may lie
// on the value stack above the arguments.

// make and to: the type is the one a datatype! proto names, else the
// proto's own.
cell* make(cell* proto, cell* spec);
cell* to(cell* proto, cell* spec);
cell* random(cell* value, int32_t seed, int32_t secure, int32_t only);
cell* reflect(cell* value, cell* field);

// The form and mold of a value by its type's action, appended to the string
// `buffer`; they answer the part budget left (negative when the text ran
// past it). A type without the action raises script/expect-arg.
int32_t form(cell* value, cell* buffer, cell* arg, int32_t part);
int32_t mold(cell* value, cell* buffer, int32_t only, int32_t all, int32_t flat, cell* arg,
             int32_t part, int32_t indent);

cell* eval_path(cell* parent, cell* element, cell* value, cell* path, cell* grand_parent,
                cell* previous, int32_t index, int32_t case_, int32_t get, int32_t last,
                int32_t notify);
cell* negate(cell* value);
cell* round(cell* value, cell* scale, int32_t even, int32_t down, int32_t half_down,
            int32_t floor, int32_t ceiling, int32_t half_ceiling);
bool even_q(cell* value);
bool odd_q(cell* value);
cell* complement(cell* value);

// append and insert take counts: `part` -1 without /part, `dup` 1 without
// /dup; change's `part` counts the elements replaced.
cell* append(cell* series, cell* value, int32_t part, int32_t only, int32_t dup);
cell* insert(cell* series, cell* value, int32_t part, int32_t only, int32_t dup);
cell* change(cell* series, cell* value, int32_t part, int32_t only, int32_t dup);
cell* clear(cell* series);
// The copy is written into `result`, which may be the series cell.
cell* copy(cell* series, cell* result, cell* part, int32_t deep, cell* types);
cell* find(cell* series, cell* value, cell* part, int32_t only, int32_t case_, int32_t same,
           int32_t any, cell* with, cell* skip, int32_t last, int32_t reverse, int32_t tail,
           int32_t match);
// The element count from the index, or -1 for none.
int32_t length_q(cell* value);
cell* move(cell* origin, cell* target, cell* part);
cell* pick(cell* series, cell* index);
cell* poke(cell* series, cell* index, cell* value);
cell* put(cell* series, cell* key, cell* value, int32_t case_);
cell* remove(cell* series, cell* part, cell* key);
cell* reverse(cell* series, cell* part, cell* skip);
cell* select(cell* series, cell* value, cell* part, int32_t only, int32_t case_, int32_t same,
             int32_t any, cell* with, cell* skip, int32_t last, int32_t reverse);
cell* sort(cell* series, int32_t case_, cell* skip, cell* comparator, cell* part, int32_t all,
           int32_t reverse, int32_t stable);
cell* swap(cell* series1, cell* series2);
cell* take(cell* series, cell* part, int32_t deep, int32_t last);
cell* trim(cell* series, int32_t head, int32_t tail, int32_t auto_, int32_t lines, int32_t all,
           cell* with);
cell* create(cell* port);
cell* close(cell* port);
cell* delete_(cell* port);
cell* modify(cell* target, cell* field, cell* value, int32_t case_);
cell* open(cell* port, int32_t new_, int32_t read, int32_t write, int32_t seek, cell* allow);
cell* open_q(cell* port);
cell* query(cell* port);
cell* read(cell* source, cell* part, cell* seek, int32_t binary, int32_t lines, int32_t info,
           cell* as);
cell* rename(cell* from, cell* to);
cell* update(cell* port);
cell* write(cell* destination, cell* data, int32_t binary, int32_t lines, int32_t info,
            int32_t append, cell* part, cell* seek, cell* allow, cell* as);

// ---- Comparison -------------------------------------------------------------

// The raw answer of value1's compare implementation, without checks.
int32_t compare_raw(const cell* value1, const cell* value2, int32_t op);

// The logic answer of a comparison. Not comparable counts as "not equal"
// for the equality codes and raises script/invalid-compare for the others.
bool compare(const cell* value1, const cell* value2, int32_t op);

// Compares the first two argument cells and leaves the logic! answer in
// the result slot (the comparison natives).
void compare_args(int32_t op);

// ---- Shortcuts of the infix operators -----------------------------------------
// Each answers the same as the full call of the action. The common cases
// are done inline; the others go through the dispatcher in a native frame
// named by `word`, so that errors name the operator. The result is pushed.

static_assert(TYPE_FLOAT == TYPE_INTEGER + 1, "number_op reads the float flag off the type code");

// The ordering `code` (lesser, lesser or equal, greater, greater or equal)
// of a and b into `answer`; false for any other code. With a NaN every
// ordering is false.
template <class T>
inline bool ordered(int32_t code, T a, T b, bool& answer) {
  switch (code) {
    case COMP_LESSER: answer = a < b; return true;
    case COMP_LESSER_EQUAL: answer = a <= b; return true;
    case COMP_GREATER: answer = a > b; return true;
    case COMP_GREATER_EQUAL: answer = a >= b; return true;
    default: return false;
  }
}

// left op right into *out, as the action or native computes it, for the
// integer! and float! cases that cannot raise. With `math`, `code` is a
// math code of the integer core: integer add, subtract and multiply (past
// 32 bits: the float of the operation, as a new cell), divide (a float, as
// a new cell, when it does not come out whole) and remainder but by zero
// or of the lowest integer by -1, or, and, xor; float or mixed add,
// subtract, multiply, divide and remainder (a float made from the left
// operand, its flag bits kept). Else `code` is a compare code: integer
// comparisons and float orderings (IEEE: false with a NaN). False for
// anything else.
inline bool number_op(int32_t code, bool math, const cell* left, const cell* right, cell* out) {
  // 0 for an integer!, 1 for a float!, anything else larger.
  uint32_t l = TYPE_OF(left) - TYPE_INTEGER, r = TYPE_OF(right) - TYPE_INTEGER;
  if ((l | r) > 1) return false;
  if (math) {
    if ((l | r) == 0) {
      int32_t n;
      double f;
      switch (integer::math_core(integer::get(left), integer::get(right), code, false, n, f)) {
        case integer::math_outcome::whole:
          *out = *left;
          out->data2 = static_cast<uint32_t>(n);
          return true;
        case integer::math_outcome::floating: *out = float_::make_cell(f); return true;
        default: return false;  // the full call raises, or the code is no math code
      }
    }
    double result;
    if (!float_::math_core(code, l ? get_float(left) : integer::get(left), r ? get_float(right) : integer::get(right),
                           result))
      return false;
    *out = *left;
    set_type(out, TYPE_FLOAT);
    set_float(out, result);
    return true;
  }
  bool answer;
  if ((l | r) == 0) {
    int32_t a = integer::get(left), b = integer::get(right);
    switch (code) {
      case COMP_EQUAL:
      case COMP_STRICT_EQUAL: answer = a == b; break;
      case COMP_NOT_EQUAL: answer = a != b; break;
      default:
        if (!ordered(code, a, b, answer)) return false;
    }
  } else if (!(l & r) || !ordered(code, get_float(left), get_float(right), answer)) {
    // Mixed pairs and the tolerant equality of floats: the native decides.
    return false;
  }
  *out = logic::make_cell(answer);
  return true;
}

}  // namespace actions
}  // namespace ixo
