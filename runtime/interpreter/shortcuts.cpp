// The evaluator's shortcuts out of their callers' line: the operators'
// codes and plans, the steps of number runs and the paren operands (see
// shortcuts.hpp).
#include "runtime/interpreter/shortcuts.hpp"

#include "runtime/datatypes/integer.hpp"
#include "runtime/interpreter/interpreter.hpp"
#include "runtime/interpreter/natives.hpp"
#include "runtime/interpreter/natives_compare.hpp"
#include "runtime/memory/roots.hpp"

namespace ixo::interpreter {

shortcut_misses frame_misses, paren_misses;

namespace {

// The comparison code of a comparison native, by its entry; -1 for any
// other native.
int32_t compare_code(uint32_t slot) {
  natives::native_entry entry = natives::entry_of(static_cast<int32_t>(slot));
  return entry == natives::equal_q              ? COMP_EQUAL
         : entry == natives::not_equal_q        ? COMP_NOT_EQUAL
         : entry == natives::strict_equal_q     ? COMP_STRICT_EQUAL
         : entry == natives::lesser_q           ? COMP_LESSER
         : entry == natives::greater_q          ? COMP_GREATER
         : entry == natives::lesser_or_equal_q  ? COMP_LESSER_EQUAL
         : entry == natives::greater_or_equal_q ? COMP_GREATER_EQUAL
                                                : -1;
}

}  // namespace

int8_t shortcut_code(const cell* function, bool& math) {
  math = TYPE_OF(function) == TYPE_ACTION;
  if (math) {
    switch (function->data1) {
      case ACT_ADD: return integer::OP_ADD;
      case ACT_SUBTRACT: return integer::OP_SUBTRACT;
      case ACT_MULTIPLY: return integer::OP_MULTIPLY;
      case ACT_DIVIDE: return integer::OP_DIVIDE;
      case ACT_REMAINDER: return integer::OP_REMAINDER;
      default: return -1;
    }
  }
  if (TYPE_OF(function) != TYPE_NATIVE) return -1;
  return static_cast<int8_t>(compare_code(function->data1));
}

namespace {

// A paren operand whose run is being computed: where the run it stands in
// goes on, and what its value meets there (the left operand and plan of
// the operator it is the right operand of, or nothing when it is the first
// operand).
struct open_paren {
  const cell* cells;
  int32_t pos;
  int32_t end;
  cell left;
  int8_t code;
  bool math;
  bool first;
  uint8_t fits;
};

// The parens of a run that are being computed, innermost last.
struct open_parens {
  open_paren open[NUMBER_PAREN_DEPTH];
  int32_t count = 0;
};

// Reads the operand at `pos` into *out and moves past it; a paren is
// entered (`cells`, `pos`, `end` then its own) and its first operand read,
// with `o` kept for it in `parens`. False when the operand stands for no
// number, or a paren is too deep.
[[gnu::always_inline]] inline bool enter_operand(run_reader& reader, open_parens& parens, int32_t depth,
                                                 const cell*& cells, int32_t& pos, int32_t& end, cell* out,
                                                 const open_paren& o) {
  const cell* at = cells + pos;
  if (TYPE_OF(at) == TYPE_PAREN) {
    if (depth + parens.count >= NUMBER_PAREN_DEPTH) return false;
    parens.open[parens.count++] = o;
    for (;;) {
      const memory::series_buffer* b = memory::GET_BUFFER(at);
      cells = memory::head_of<cell>(b);
      pos = static_cast<int32_t>(at->data1);
      end = static_cast<int32_t>((b->tail - b->head) / sizeof(cell));
      if (pos >= end) return false;
      at = cells + pos;
      if (TYPE_OF(at) != TYPE_PAREN) break;
      if (depth + parens.count >= NUMBER_PAREN_DEPTH) return false;
      open_paren& first = parens.open[parens.count++];
      first.cells = cells, first.pos = pos + 1, first.end = end, first.first = true;
    }
  }
  const cell* value = plain_operand(reader, at);
  if (!value) return false;
  *out = *value;
  ++pos;
  return true;
}

}  // namespace

[[gnu::noinline]] op_plan make_op_plan(cell* function) {
  // Only a native's or action's operator has a shortcut; their call specs
  // are made from the boot code's specs, which raise nothing.
  if (function->data3 == 0 || (TYPE_OF(function) != TYPE_NATIVE && TYPE_OF(function) != TYPE_ACTION))
    return no_op_plan;
  // Building the call spec pushes: the left operand at the top's position
  // stays below that.
  memory::root_guard keep(function);
  ++stack::top;
  op_plan plan = make_plan(function).op;
  --stack::top;
  return plan;
}

[[gnu::noinline]] op_plan built_op_plan(const cell* op_value) {
  cell function = *op_value;
  function.header = op::wrapped_type(&function);
  if (TYPE_OF(&function) != TYPE_NATIVE && TYPE_OF(&function) != TYPE_ACTION) return no_op_plan;
  const function_plan* p = built_plan(&function);
  return p ? p->op : no_op_plan;
}

// A paren operand: its whole content one number run.
[[gnu::noinline]] bool paren_run(run_reader& reader, const cell* paren, cell* out, int32_t depth) {
  int32_t end = block::rs_abs_cells(paren);
  return run_from(reader, block::rs_abs_at(paren, 0), static_cast<int32_t>(paren->data1), end, out, depth + 1) == end;
}

// paren_run for a paren whose first operand, a word's number, is in *out.
[[gnu::noinline]] bool paren_rest(run_reader& reader, const cell* cells, int32_t pos, int32_t end, cell* out,
                                  int32_t depth) {
  return run_steps<run_start::operator_word>(reader, cells, pos, end, out, depth + 1) == end;
}

// The run's steps from `pos`, in the block's cells, its value in *out: from
// its first operand, or from the operator after it with that operand in
// *out (`op_value` the operator word's value with run_start::op_known).
// The position after the run, or -1. A paren
// operand's run is done in place, its enclosing runs kept open, at most
// NUMBER_PAREN_DEPTH deep counting `depth` parens around the run. An
// operator's plan is copied out before a paren operand is entered (the
// paren's operators may take the plan's table entry), a word's or path's
// number is read where it stands, and the result goes straight into *out,
// which number_op reads before it writes.
template <run_start Start>
[[gnu::flatten]] int32_t run_steps(run_reader& reader, const cell* cells, int32_t pos, int32_t end, cell* out,
                                   int32_t depth, const cell* op_value) {
  open_parens parens;
  if constexpr (Start == run_start::operand) {
    const open_paren o{cells, pos + 1, end, {}, 0, false, true, 0};
    if (!enter_operand(reader, parens, depth, cells, pos, end, out, o)) return -1;
  }
  for (;;) {
    while (pos < end) {
      const cell* op = Start == run_start::op_known ? op_value : nullptr;
      if constexpr (Start == run_start::op_known) op_value = nullptr;  // for the first step only
      if (!op) {
        const cell* name = cells + pos;
        if (TYPE_OF(name) != TYPE_WORD) break;
        op = reader.peek(name);
        if (!op || TYPE_OF(op) != TYPE_OP) break;
      }
      if (pos + 1 >= end) return -1;
      const cell* right = cells + pos + 1;
      switch (TYPE_OF(right)) {
        case TYPE_INTEGER:
        case TYPE_FLOAT: break;
        case TYPE_WORD: right = reader.peek(right); break;
        case TYPE_PATH: right = reader.peek_field(right); break;
        case TYPE_PAREN: {
          const op_plan plan = op_plan_of_op(op);
          const open_paren o{cells, pos + 2, end, *out, plan.code, plan.math, false, plan.fits};
          ++pos;
          if (!enter_operand(reader, parens, depth, cells, pos, end, out, o)) return -1;
          continue;
        }
        default: return -1;
      }
      // The plan is looked up once the operand is known to be a number;
      // number_op answers false for a plan with no shortcut code.
      uint8_t fit = right ? fit_bit(TYPE_OF(out), TYPE_OF(right)) : 0;
      if (!fit) return -1;
      const op_plan plan = op_plan_of_op(op);
      if (!(plan.fits & fit) || !actions::number_op(plan.code, plan.math, out, right, out)) return -1;
      pos += 2;
    }
    // The run ends here: a paren's must end with the paren, whose value
    // then goes on as the operand it stands for.
    if (parens.count == 0) return pos;
    if (pos != end) return -1;
    const open_paren& o = parens.open[--parens.count];
    cells = o.cells, pos = o.pos, end = o.end;
    if (!o.first && (!(o.fits & fit_bit(TYPE_OF(&o.left), TYPE_OF(out))) ||
                     !actions::number_op(o.code, o.math, &o.left, out, out)))
      return -1;
  }
}

template int32_t run_steps<run_start::operand>(run_reader&, const cell*, int32_t, int32_t, cell*, int32_t,
                                                const cell*);
template int32_t run_steps<run_start::operator_word>(run_reader&, const cell*, int32_t, int32_t, cell*, int32_t,
                                                      const cell*);
template int32_t run_steps<run_start::op_known>(run_reader&, const cell*, int32_t, int32_t, cell*, int32_t,
                                                 const cell*);

// infix_shortcut with a number paren for the right operand, out of its line.
[[gnu::noinline]] bool paren_shortcut(const op_plan& plan, const cell* paren) {
  cell right, result;
  cell* left = stack::top;
  if (!number_paren(paren, &right) || !(plan.fits & fit_bit(TYPE_OF(left), TYPE_OF(&right))) ||
      !actions::number_op(plan.code, plan.math, left, &right, &result))
    return false;
  stack::push(result);
  return true;
}

[[gnu::flatten]] int32_t eval_number_run(const cell* block, int32_t pos, int32_t end, cell* out, const cell* op) {
  run_reader reader;
  return run_steps<run_start::op_known>(reader, block::rs_abs_at(block, 0), pos + 1, end, out, 0, op);
}

}  // namespace ixo::interpreter
