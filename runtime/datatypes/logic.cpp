// logic!: construction, the truth tests, comparison, random and the bitwise
// actions.
#include "runtime/datatypes/logic.hpp"

#include "runtime/core/random.hpp"
#include "runtime/datatypes/action_types.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/datatypes/unset.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"

namespace ixo::logic {

cell true_value{TYPE_LOGIC, 1, 0, 0};
cell false_value{TYPE_LOGIC, 0, 0, 0};

void box(bool v) { stack::set_last(make_cell(v)); }
cell* push(bool v) { return stack::push(make_cell(v)); }

namespace {

bool falsy(const cell* value) {
  uint32_t t = TYPE_OF(value);
  return t == TYPE_NONE || (t == TYPE_LOGIC && value->data1 == 0);
}

}  // namespace

bool value_true_q(const cell* value, bool check, const cell* error_arg) {
  if (check && TYPE_OF(value) == TYPE_UNSET) fire(err::script_no_value, {*error_arg});
  return !falsy(value);
}

bool true_q() {
  if (TYPE_OF(stack::arguments) == TYPE_UNSET) fire(err::script_no_return);
  return !falsy(stack::arguments);
}

bool false_q() { return falsy(stack::arguments); }

bool top_false_q() {
  const cell* last = stack::top == stack::arguments ? stack::top : stack::top_cell();
  return falsy(last);
}

bool top_true_q() { return !top_false_q(); }

namespace {

cell* to(cell*, cell* spec, int32_t) {
  if (TYPE_OF(spec) == TYPE_LOGIC) return spec;
  return TYPE_OF(spec) == TYPE_NONE ? &false_value : &true_value;
}

// make looks at numbers: 0 and 0.0 are false (NaN is true); every other
// value goes through `to`.
cell* make(cell* proto, cell* spec, int32_t type) {
  switch (TYPE_OF(spec)) {
    case TYPE_INTEGER: return spec->data2 == 0 ? &false_value : &true_value;
    case TYPE_FLOAT:
    case TYPE_PERCENT: return get_float(spec) == 0.0 ? &false_value : &true_value;
    default: return to(proto, spec, type);
  }
}

cell* random(cell* value, int32_t seed, int32_t secure, int32_t) {
  if (seed) {
    random::seed(static_cast<int32_t>(value->data1));
    return &unset::unset_value;
  }
  int32_t draw = secure ? random::secure_next() : random::next();
  value->data1 = draw > 1073741823 ? 1 : 0;
  return value;
}

int32_t form(cell* value, cell* buffer, cell*, int32_t part) {
  return datatype::append_text(buffer, value->data1 ? "true" : "false", part);
}

int32_t mold(cell* value, cell* buffer, int32_t, int32_t all, int32_t, cell*, int32_t part, int32_t) {
  const char* text = all ? (value->data1 ? "#(true)" : "#(false)") : (value->data1 ? "true" : "false");
  return datatype::append_text(buffer, text, part);
}

int32_t compare(const cell* value1, const cell* value2, int32_t op) {
  if (TYPE_OF(value2) != TYPE_LOGIC) return COMPARE_NONE;
  switch (op) {
    case COMP_EQUAL: case COMP_NOT_EQUAL: case COMP_STRICT_EQUAL: case COMP_SORT:
    case COMP_CASE_SORT: case COMP_SAME: case COMP_FIND:
      return static_cast<int32_t>(value1->data1) - static_cast<int32_t>(value2->data1);
    default:
      return COMPARE_NONE;
  }
}

cell* complement(cell* value) {
  value->data1 ^= 1;
  return value;
}

uint32_t op_and(uint32_t a, uint32_t b) { return a & b; }
uint32_t op_or(uint32_t a, uint32_t b) { return a | b; }
uint32_t op_xor(uint32_t a, uint32_t b) { return a ^ b; }

// and~, or~ and xor~: both arguments logic, the result in the first. A
// second argument of another type is refused naming the action, its type
// and the argument.
template <uint32_t (*op)(uint32_t, uint32_t)>
void bitwise() {
  cell* value2 = stack::arguments + 1;
  if (TYPE_OF(value2) != TYPE_LOGIC) {
    const char* action = op == op_and ? "and~" : op == op_or ? "or~" : "xor~";
    cell type{TYPE_DATATYPE, TYPE_OF(value2), 0, 0};
    fire(err::script_expect_arg, {error_word(action), type, error_word("value2")});
  }
  stack::arguments->data1 = op(stack::arguments->data1, value2->data1) & 1;
}

}  // namespace

void init() {
  true_value = make_cell(true);
  false_value = make_cell(false);
  // clang-format off
  datatype::register_type(datatype_registration(TYPE_LOGIC, 0, "logic!",
    /* make .. set-path */     make, random, unsupported, to, form, mold, unsupported, unsupported,
    /* compare .. remainder */ compare, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* round .. xor~ */        unsupported, unsupported, unsupported, unsupported, bitwise<op_and>, complement, bitwise<op_or>, bitwise<op_xor>,
    /* append .. head */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* head? .. poke */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* put .. tail */          unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* tail? .. open */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* open? .. write */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported));
  // clang-format on
}

}  // namespace ixo::logic
