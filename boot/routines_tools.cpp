// The evaluation tools' routines: `profile-event`, the profiler's work on
// one event of the tracing hook. It keeps system/tools/profiling and
// fun-stk exactly as the profiler's algorithm has them (the same triples,
// dates from now/precise, durations as time! values), without an
// evaluation step per value.
#include "boot/routines.hpp"

#include <algorithm>
#include <string>

#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/date.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/none.hpp"
#include "runtime/datatypes/object.hpp"
#include "runtime/datatypes/routine.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/datatypes/time.hpp"
#include "runtime/datatypes/type_classes.hpp"
#include "runtime/datatypes/typeset.hpp"
#include "runtime/datatypes/unset.hpp"
#include "runtime/datatypes/words.hpp"
#include "runtime/interpreter/actions.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/natives_compare.hpp"
#include "runtime/interpreter/natives_system.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/roots.hpp"

namespace ixo::boot {

namespace {

using block::rs_abs_at;
using block::rs_abs_cells;
using memory::root_guard;

// The field names the routines read, interned on first use in each runtime.
struct field_symbols {
  int32_t profiling, fun_stk, options, profile, types;
} symbols{};

int32_t symbol_of(int32_t& slot, const char* name) {
  if (!slot) slot = symbol::make(name);
  return slot;
}

// The field of an object named by the symbol, or nullptr; valid until the
// next allocation.
cell* field(const cell* obj, int32_t symbol) {
  if (TYPE_OF(obj) != TYPE_OBJECT) return nullptr;
  cell word{TYPE_WORD, 0, static_cast<uint32_t>(symbol), 0xFFFFFFFFu};
  return object::field_of(obj, &word);
}

bool event_q(const cell* event, const cell* word) { return symbol::EQUAL_WORDS_q(event, static_cast<int32_t>(word->data2)); }

int32_t index_of(const cell* blk) { return static_cast<int32_t>(blk->data1); }

// The cell at position n of a block, none past its tail.
cell cell_at(const cell* blk, int32_t n) {
  return n >= 0 && n < rs_abs_cells(blk) ? *rs_abs_at(blk, n) : none::none_value;
}

// find/same/skip of a name in steps of three from the block's index: the
// position of the match, or -1. A block-like name is looked for as the
// run of its values, each the same, as find does without /only.
int32_t find_name(const cell* blk, const cell* name) {
  int32_t length = rs_abs_cells(blk);
  bool run = any_block_q(TYPE_OF(name));
  int32_t count = run ? rs_abs_cells(name) - index_of(name) : 1;
  if (run && count < 0) count = 0;
  for (int32_t p = index_of(blk); p < length; p += 3) {
    if (!run) {
      if (actions::compare(rs_abs_at(blk, p), name, COMP_SAME)) return p;
      continue;
    }
    if (p + count > length) continue;
    bool all = true;
    for (int32_t i = 0; i < count && all; ++i)
      all = actions::compare(rs_abs_at(blk, p + i), rs_abs_at(name, index_of(name) + i), COMP_SAME);
    if (all) return p;
  }
  return -1;
}

// A call with no name of its own: a function value, none, or the word the
// runtime gives an anonymous call.
bool anonymous_q(const cell* ref) {
  uint32_t t = TYPE_OF(ref);
  return any_function_q(t) || t == TYPE_NONE ||
         (t == TYPE_WORD && symbol::EQUAL_WORDS_q(ref, static_cast<int32_t>(words::word_anon->data2)));
}

// The next anonymous name: the counter in the handler's block goes up by
// one and the tag is "anon" followed by it.
cell next_anonymous_name(cell* counter) {
  cell* n = rs_abs_at(counter, index_of(counter));
  if (index_of(counter) >= rs_abs_cells(counter) || TYPE_OF(n) != TYPE_INTEGER) fire(err::script_invalid_arg, {*counter});
  int32_t next = integer::get(n);
  if (next == INT32_MAX) fire(err::math_overflow);
  *n = integer::make_cell(++next);
  std::string text = "anon" + std::to_string(next);
  cell tag{};
  root_guard keep(&tag);
  string::load_at(reinterpret_cast<const uint8_t*>(text.data()), static_cast<int32_t>(text.size()), &tag,
                  string::LOAD_UTF8);
  set_type(&tag, TYPE_TAG);
  return tag;
}

// call: counts the call under its name and opens its entry in fun-stk,
// when the value's type is one of options/profile/types.
void profile_call(cell* tools, const cell* value, const cell* ref, cell* counter) {
  cell* options = field(tools, symbols.options);
  cell* profile = options ? field(options, symbols.profile) : nullptr;
  cell* types = profile ? field(profile, symbols.types) : nullptr;
  if (!types || TYPE_OF(types) != TYPE_TYPESET || !typeset::has_q(types, TYPE_OF(value))) return;
  cell name = anonymous_q(ref) ? next_anonymous_name(counter) : *ref;
  root_guard keep_name(&name);
  cell profiling = *field(tools, symbols.profiling);
  root_guard keep_profiling(&profiling);
  int32_t p = find_name(&profiling, &name);
  if (p >= 0) {
    cell* count = rs_abs_at(&profiling, p + 1);
    if (TYPE_OF(count) != TYPE_INTEGER) fire(err::script_invalid_arg, {*count});
    if (integer::get(count) == INT32_MAX) fire(err::math_overflow);
    *count = integer::make_cell(integer::get(count) + 1);
  } else {
    block::rs_append(&profiling, &name);
    cell one = integer::make_cell(1), zero = integer::make_cell(0);
    block::rs_append(&profiling, &one);
    block::rs_append(&profiling, &zero);
  }
  cell fun_stk = *field(tools, symbols.fun_stk);
  root_guard keep_fun_stk(&fun_stk);
  cell start = natives::current_date(false, true);
  block::rs_append(&fun_stk, &name);
  block::rs_append(&fun_stk, &start);
  block::rs_append(&fun_stk, &none::none_value);
}

// prolog and epilog: the start (back 2) or end (back 1) time of the last
// running call becomes now. Positions count back from the tail as skip
// does, down to the head.
void stamp_running_call(cell* tools, int32_t back) {
  cell fun_stk = *field(tools, symbols.fun_stk);
  int32_t length = rs_abs_cells(&fun_stk);
  if (index_of(&fun_stk) >= length) return;
  cell now = natives::current_date(false, true);
  *rs_abs_at(&fun_stk, std::max(0, length - back)) = now;
}

// return: the last running call, when it is this one, adds its duration
// to its name's total and leaves fun-stk.
void profile_return(cell* tools, const cell* ref) {
  cell fun_stk = *field(tools, symbols.fun_stk);
  root_guard keep_fun_stk(&fun_stk);
  int32_t length = rs_abs_cells(&fun_stk);
  if (index_of(&fun_stk) >= length) return;
  int32_t entry = std::max(0, length - 3);
  cell name = cell_at(&fun_stk, entry);
  root_guard keep_name(&name);
  if (!natives::same_value_q(&name, ref) && !(TYPE_OF(&name) == TYPE_TAG && anonymous_q(ref))) return;
  cell end = cell_at(&fun_stk, entry + 2);
  if (TYPE_OF(&end) == TYPE_NONE || (TYPE_OF(&end) == TYPE_LOGIC && !end.data1))
    end = natives::current_date(false, true);
  cell start = cell_at(&fun_stk, entry + 1);
  if (TYPE_OF(&end) != TYPE_DATE || TYPE_OF(&start) != TYPE_DATE) fire(err::script_invalid_arg, {start});
  date::difference(&end, &start);
  cell profiling = *field(tools, symbols.profiling);
  int32_t p = find_name(&profiling, &name);
  if (p < 0) fire(err::script_invalid_arg, {name});
  cell* total = rs_abs_at(&profiling, p + 2);
  if (TYPE_OF(total) == TYPE_INTEGER) {
    *total = end;
  } else {
    if (TYPE_OF(total) != TYPE_TIME) fire(err::script_invalid_arg, {*total});
    *total = time::make_cell(get_float(total) + get_float(&end));
  }
  block::rs_truncate(&fun_stk, entry);
}

}  // namespace

// profile-event event value ref tools counter: the profiler's bookkeeping
// for one event, over the tools object's profiling and fun-stk; counter is
// the handler's block holding the last anonymous number.
void profile_event() {
  cell* a = stack::arguments;
  symbol_of(symbols.profiling, "profiling");
  symbol_of(symbols.fun_stk, "fun-stk");
  symbol_of(symbols.options, "options");
  symbol_of(symbols.profile, "profile");
  symbol_of(symbols.types, "types");
  cell* event = a;
  cell* tools = a + 3;
  if (event_q(event, words::word_call)) {
    profile_call(tools, a + 1, a + 2, a + 4);
  } else if (event_q(event, words::word_prolog)) {
    stamp_running_call(tools, 2);
  } else if (event_q(event, words::word_epilog)) {
    stamp_running_call(tools, 1);
  } else if (event_q(event, words::word_return)) {
    profile_return(tools, a + 2);
  } else if (event_q(event, words::word_init)) {
    block::rs_clear(field(tools, symbols.profiling));
    block::rs_clear(field(tools, symbols.fun_stk));
  }
  stack::set_last(unset::unset_value);
}

void init_tools_routines() {
  symbols = field_symbols{};
  routine::register_entry("profile-event", profile_event);
}

}  // namespace ixo::boot
