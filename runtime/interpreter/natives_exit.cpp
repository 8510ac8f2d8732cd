// Non-local exits, try, catch, extend and apply. The exits leave through
// stack::throw_break, throw_return and throw_value, which position both
// stacks for the frame that takes the code before throwing it (or, on a
// path that checks for it, leaving it as status: see pending_exit). try and
// catch open a frame of their kind over their block and take back what
// reaches them; everything else passes on.
#include "runtime/interpreter/natives_exit.hpp"

#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/error.hpp"
#include "runtime/datatypes/map.hpp"
#include "runtime/datatypes/op.hpp"
#include "runtime/datatypes/series.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/datatypes/unset.hpp"
#include "runtime/datatypes/word.hpp"
#include "runtime/datatypes/words.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/interpreter.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/roots.hpp"
#include "startup/system/catch.hpp"

namespace ixo::natives {

using memory::root_guard;

namespace {

using block::rs_abs_at;
using series::rs_abs_length_q;

bool same_name_q(const cell* a, const cell* b) {
  return symbol::resolve(static_cast<int32_t>(a->data2)) == symbol::resolve(static_cast<int32_t>(b->data2));
}

// Whether catch/name takes a throw named `name` (any value, none for an
// unnamed throw): `names` is a word, or a block of words of which one
// must match.
bool named_q(const cell* names, const cell* name) {
  if (TYPE_OF(names) == TYPE_BLOCK) {
    for (int32_t i = static_cast<int32_t>(names->data1); i < rs_abs_length_q(names); ++i)
      if (TYPE_OF(rs_abs_at(names, i)) != TYPE_WORD) fire(err::script_invalid_refine_arg, {*words::word_name, *names});
  }
  if (TYPE_OF(name) != TYPE_WORD) return false;
  if (TYPE_OF(names) == TYPE_WORD) return same_name_q(names, name);
  for (int32_t i = static_cast<int32_t>(names->data1); i < rs_abs_length_q(names); ++i)
    if (same_name_q(rs_abs_at(names, i), name)) return true;
  return false;
}

// The live pairs of a map as a block of keys and values.
cell* pairs_of(const cell* m) {
  cell held = *m;
  root_guard keep_map(&held);
  cell* pairs = block::push_only(8);
  cell storage{TYPE_BLOCK, 0, held.data2, 0};
  for (int32_t i = 0; i + 1 < rs_abs_length_q(&storage); i += 2) {
    if (rs_abs_at(&storage, i + 1)->header == 0) continue;  // a removed pair
    block::rs_append(pairs, rs_abs_at(&storage, i));
    block::rs_append(pairs, rs_abs_at(&storage, i + 1));
  }
  return pairs;
}

}  // namespace

void try_(const int32_t* refinements) {
  bool all = refinements[0] >= 0, keep = refinements[1] >= 0;
  stack::top = stack::arguments + 1;
  cell* block = stack::arguments;
  stack::call_frame* frame = stack::frame_top;
  stack::mark(words::word_try, all ? stack::FRAME_TRY_ALL : stack::FRAME_TRY);
  cell* base = stack::arguments;
  uint32_t code = catch_site(FILTER_FUNCTION, [&] { interpreter::eval_block(block, true); });
  // Inside try/all every exit that would cross the frame became an error:
  // only errors stop here, the other codes are on their way elsewhere.
  if (code != 0 && code != THROW_ERROR) system::throw_to_catch();
  if (code == THROW_ERROR) {
    system::clear_thrown();
    stack::frame_top = frame + 1;
    stack::arguments = base;
    if (stack::top < base) stack::top = base;
    stack::set_last_if_error();
    if (keep && TYPE_OF(stack::arguments) == TYPE_ERROR) error::make_stack_trace(stack::arguments);
  }
  stack::unwind_last();
}

void break_(const int32_t* refinements) { stack::throw_break(refinements[0] >= 0, false); }

void continue_(const int32_t*) { stack::throw_break(false, true); }

void exit_(const int32_t*) { stack::throw_return(false, false); }

void return_(const int32_t*) { stack::throw_return(true, false); }

void throw_(const int32_t* refinements) {
  if (refinements[0] < 0) {
    stack::top = stack::arguments + 1;
    stack::push(unset::unset_value);  // no name
  }
  interpreter::traced(interpreter::EVENT_THROW, nullptr, -1, nullptr, stack::arguments);
  stack::throw_value(THROW_THROW);
}

void catch_(const int32_t* refinements) {
  int32_t names_at = refinements[0];
  stack::top = stack::arguments + (names_at >= 0 ? 2 : 1);
  cell* block = stack::arguments;
  stack::call_frame* frame = stack::frame_top;
  stack::mark(words::word_body, stack::FRAME_CATCH);
  uint32_t code = catch_site(FILTER_CATCH, [&] { interpreter::eval_block(block, true); });
  if (code == 0) return stack::unwind_last();
  // Only a throw has positioned the stacks at this frame.
  if (code != THROW_THROW || stack::frame_top != frame + 1) system::throw_to_catch();
  system::clear_thrown();
  // The thrown value and name lie from this frame's base.
  cell value = stack::arguments[0], name = stack::arguments[1];
  root_guard keep_value(&value), keep_name(&name);
  stack::unroll();
  if (names_at >= 0 && !named_q(stack::arguments + names_at, &name)) {
    stack::arguments[0] = value;
    stack::arguments[1] = name;
    stack::top = stack::arguments + 2;
    stack::throw_value(THROW_THROW);
  }
  stack::caught_throw();
  stack::set_result(value);
  interpreter::traced(interpreter::EVENT_CATCH, nullptr, -1, nullptr, stack::arguments);
}

void extend(const int32_t* refinements) {
  if (TYPE_OF(stack::arguments) == TYPE_OBJECT) fire(err::internal_not_done);
  stack::top = stack::arguments + 2;
  cell* spec = stack::arguments + 1;
  if (TYPE_OF(spec) == TYPE_MAP) *spec = *pairs_of(spec);
  map::extend(stack::arguments, spec, refinements[0] >= 0);
  stack::keep();
}

void apply(const int32_t* refinements) {
  uint32_t mode = refinements[0] >= 0 ? interpreter::APPLY_LOGIC : interpreter::APPLY_REFINEMENTS;
  if (refinements[1] >= 0) mode |= interpreter::APPLY_SAFER;
  cell given = stack::arguments[0], args = stack::arguments[1], function = given, name = *words::word_applied;
  root_guard keep_given(&given), keep_args(&args), keep_function(&function), keep_name(&name);
  const cell* path = nullptr;
  int32_t refinement_at = 0;
  if (TYPE_OF(&given) == TYPE_WORD) {
    name = given;
    function = *word::get_value(&given);
  } else if (TYPE_OF(&given) == TYPE_PATH) {
    int32_t first = static_cast<int32_t>(given.data1);
    if (first >= rs_abs_length_q(&given) || TYPE_OF(rs_abs_at(&given, first)) != TYPE_WORD) fire(err::script_invalid_arg, {given});
    name = *rs_abs_at(&given, first);
    function = *word::get_value(&name);
    path = &given;
    refinement_at = first + 1;
  }
  switch (TYPE_OF(&function)) {
    case TYPE_OP:
      function.header = op::wrapped_type(&function);
      break;
    case TYPE_FUNCTION:
    case TYPE_ACTION:
    case TYPE_NATIVE:
    case TYPE_ROUTINE:
      break;
    default:
      fire(err::script_invalid_arg, {given});
  }
  stack::top = stack::arguments + 2;
  interpreter::call_function(&function, &args, static_cast<int32_t>(args.data1), rs_abs_length_q(&args),
                             interpreter::EVAL_RESULT, path, refinement_at, &name, mode);
  stack::keep();
}

}  // namespace ixo::natives
