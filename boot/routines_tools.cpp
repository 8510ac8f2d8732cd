// The evaluation tools' routines: `profile-event`, the profiler's work on
// one event of the tracing hook; `collect-event`, the tracer's collector
// on one event; `mold-text`, the tracer's cut mold (mold-part). Each keeps
// the tools' blocks and fields exactly as the algorithms written in the
// language kept them (the same values in the same places, dates from
// now/precise, the block pool, the inspector called at the same moments
// with the same arguments), without an evaluation step per value.
#include "boot/routines.hpp"
#include "boot/routine_cells.hpp"

#include <algorithm>
#include <string>
#include <vector>

#include "runtime/datatypes/bitset.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/char.hpp"
#include "runtime/datatypes/context.hpp"
#include "runtime/datatypes/date.hpp"
#include "runtime/datatypes/logic.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/none.hpp"
#include "runtime/datatypes/object.hpp"
#include "runtime/datatypes/pair.hpp"
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
#include "runtime/interpreter/interpreter.hpp"
#include "runtime/interpreter/natives_compare.hpp"
#include "runtime/interpreter/natives_system.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/roots.hpp"
#include "runtime/memory/series_buffer.hpp"

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

// The arguments of the handler whose body calls the routine: the tracing
// hook's event, code, offset, value, ref and frame. The routine's frame
// keeps the handler's argument base; when the evaluator opened a frame for
// the statement that makes the call (the general route does, the frameless
// shortcut doesn't), that frame keeps it instead.
cell* handler_arguments() {
  stack::call_frame* above = stack::frame_top - 1;
  if (above - 1 >= stack::frame_bottom && stack::frame_kind_of(above - 1) == stack::FRAME_EVAL) --above;
  constexpr uint32_t flags = stack::FRAME_INTERP_FLAG | stack::FRAME_BODY_FLAG;
  if (above - 1 < stack::frame_bottom || (stack::frame_kind_of(above - 1) & ~flags) != stack::FRAME_FUNCTION)
    fire(err::internal_not_done);
  return memory::address<cell>(above->arguments);
}

bool event_q(const cell* event, const cell* word) { return symbol::EQUAL_WORDS_q(event, static_cast<int32_t>(word->data2)); }

// Sameness as find/same tests it; names are mostly words, the same when
// spelled exactly alike and bound to the same context.
bool same_name_q(const cell* a, const cell* b) {
  if (TYPE_OF(a) == TYPE_WORD && TYPE_OF(b) == TYPE_WORD) return a->data1 == b->data1 && a->data2 == b->data2;
  return actions::compare(a, b, COMP_SAME);
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
      if (same_name_q(rs_abs_at(blk, p), name)) return p;
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


// ---- The tracer ---------------------------------------------------------------

// The names of the collector's and the tracers' fields, and of the events.
struct trace_symbols {
  int32_t inspect, debug, event_filter, scope_filter, sub_exprs, func_depth, expr_depth, path, fetched, fetched_text,
      pushed, pushed_text, subexprs, stack, saved, stack_period, free, list, mold_size, opening, closing;
  int32_t events[16];
} tsyms{};

const char* const event_spellings[16] = {"init", "end",  "prolog", "epilog", "enter", "exit",  "open",  "return",
                                         "fetch", "push", "set",    "call",   "error", "throw", "catch", "expr"};
enum trace_event { INIT, END, PROLOG, EPILOG, ENTER, EXIT, OPEN, RETURN, FETCH, PUSH, SET, CALL, ERROR, THROW, CATCH, EXPR };

void intern_trace_symbols() {
  if (tsyms.inspect) return;
  trace_symbols t{};
  t.debug = symbol::make("debug?");
  t.event_filter = symbol::make("event-filter");
  t.scope_filter = symbol::make("scope-filter");
  t.sub_exprs = symbol::make("inspect-sub-exprs?");
  t.func_depth = symbol::make("func-depth");
  t.expr_depth = symbol::make("expr-depth");
  t.path = symbol::make("path");
  t.fetched = symbol::make("fetched");
  t.fetched_text = symbol::make("fetched'");
  t.pushed = symbol::make("pushed");
  t.pushed_text = symbol::make("pushed'");
  t.subexprs = symbol::make("subexprs");
  t.stack = symbol::make("stack");
  t.saved = symbol::make("saved");
  t.stack_period = symbol::make("stack-period");
  t.free = symbol::make("free");
  t.list = symbol::make("list");
  t.mold_size = symbol::make("mold-size");
  t.opening = symbol::make("opening-marker");
  t.closing = symbol::make("closing-markers");
  for (int32_t e = 0; e < 16; ++e) t.events[e] = symbol::make(event_spellings[e]);
  t.inspect = symbol::make("inspect");
  tsyms = t;
}

int32_t event_of(const cell* event) {
  for (int32_t e = 0; e < 16; ++e)
    if (symbol::EQUAL_WORDS_q(event, tsyms.events[e])) return e;
  return -1;
}

bool truthy(const cell* c) { return logic::value_true_q(c, false, nullptr); }

// A field that must be there: its absence is the error a path would raise.
cell* must(const cell* obj, int32_t symbol) {
  cell* c = field(obj, symbol);
  if (!c) fire(err::script_invalid_arg, {*obj});
  return c;
}

cell* must_block(const cell* obj, int32_t symbol) {
  cell* c = must(obj, symbol);
  if (TYPE_OF(c) != TYPE_BLOCK && TYPE_OF(c) != TYPE_HASH) fire(err::script_invalid_arg, {*c});
  return c;
}

int32_t must_integer(const cell* c) {
  if (TYPE_OF(c) != TYPE_INTEGER) fire(err::script_invalid_arg, {*c});
  return integer::get(c);
}

int32_t length_from_index(const cell* blk) { return std::max(0, rs_abs_cells(blk) - index_of(blk)); }

// Whether the code point is in the bitset, as find tests it.
bool marker_q(const cell* markers, uint32_t cp) {
  if (TYPE_OF(markers) != TYPE_BITSET) fire(err::script_invalid_arg, {*markers});
  cell c{TYPE_CHAR, 0, cp, 0};
  return bitset::process(&c, const_cast<cell*>(markers), bitset::OP_TEST, false, bitset::MODE_OTHER) != 0;
}

// mold-part: the value molded flat (without its outer brackets with
// `only`) and cut to at most `part` characters; a cut text keeps, after
// "...", the closer of the first opening marker met before its last five
// characters. The new string is left on the value stack.
cell* mold_part(const cell* value, int32_t part, bool only, const cell* opening, const cell* closing) {
  cell held = *value;
  root_guard keep(&held);
  cell* text = stack::push_slot();
  string::rs_make_at(text, 16);
  if (part == INT32_MAX) fire(err::math_overflow);
  int32_t limit = part + 1;
  if (limit >= 1) {
    cell limit_cell = integer::make_cell(limit);
    actions::mold(&held, text, only, 0, 1, &limit_cell, limit, 0);
    string::truncate_at(memory::GET_BUFFER(text), limit);
  }
  int32_t length = string::rs_length_q(text);
  if (part >= length) return text;
  int32_t marker = -1;
  for (int32_t i = 0; i < length && marker < 0; ++i)
    if (marker_q(opening, string::rs_abs_at(text, i))) marker = i;
  if (marker >= 0 && marker + 1 <= length - 5 && part >= 4) {
    if (!any_string_q(TYPE_OF(closing))) fire(err::script_invalid_arg, {*closing});
    uint32_t open = string::rs_abs_at(text, marker);
    int32_t at = string::find_char(closing, open);
    bool found = at >= 0 && index_of(closing) + at + 1 < string::rs_abs_length_q(closing);
    uint32_t closer = found ? string::rs_abs_at(closing, index_of(closing) + at + 1) : 0;
    memory::series_buffer* b = string::truncate_at(memory::GET_BUFFER(text), part - 4);
    b = string::concatenate_literal(b, "...");
    if (found) string::append_char(b, closer);
    else string::concatenate_literal(b, "none");
  } else if (part >= 3) {
    string::concatenate_literal(string::truncate_at(memory::GET_BUFFER(text), part - 3), "...");
  } else {
    string::truncate_at(memory::GET_BUFFER(text), std::max(0, part));
  }
  return text;
}

// Appends a value to the block held in a field of the object.
void append_to(const cell* obj, int32_t symbol, const cell* value) {
  cell blk = *must_block(obj, symbol);
  root_guard keep(&blk);
  block::rs_append(&blk, value);
}

// Appends the value and its cut mold (mold-size wide) to a block and its
// text block, both fields of the collector's data.
void push_with_text(const cell* data, const cell* tracers, int32_t values, int32_t texts, const cell* value) {
  int32_t size = must_integer(must(tracers, tsyms.mold_size));
  cell* opening = stack::push(*must(tracers, tsyms.opening));
  stack::push(*must(tracers, tsyms.closing));
  cell* text = mold_part(value, size, false, opening, opening + 1);
  append_to(data, values, value);
  append_to(data, texts, text);
  stack::top = opening;
}

// The pool's free/get: the last kept block, or a new one.
cell pool_get(const cell* tracers) {
  cell list = *must_block(must(tracers, tsyms.free), tsyms.list);
  root_guard keep(&list);
  int32_t length = rs_abs_cells(&list);
  if (index_of(&list) < length) {
    cell taken = *rs_abs_at(&list, length - 1);
    block::rs_truncate(&list, length - 1);
    return taken;
  }
  cell made{};
  root_guard keep_made(&made);
  block::make_at(&made, 10);
  return made;
}

// The pool's free/put: the block is emptied from its head and kept when
// it held fewer than 100 values.
void pool_put(const cell* tracers, const cell* blk) {
  cell head = *blk;
  head.data1 = 0;
  root_guard keep(&head);
  bool keep_it = rs_abs_cells(&head) < 100;
  block::rs_clear(&head);
  if (!keep_it) return;
  cell free = *must(tracers, tsyms.free);
  root_guard keep_free(&free);
  append_to(&free, tsyms.list, &head);
}

// The words of `saved`, in order, as symbols; the list is reused, as
// neither of its users runs code of the language meanwhile.
const std::vector<int32_t>& saved_words(const cell* data) {
  static std::vector<int32_t> words;
  words.clear();
  const cell* saved = must_block(data, tsyms.saved);
  for (int32_t i = index_of(saved); i < rs_abs_cells(saved); ++i) {
    const cell* w = rs_abs_at(saved, i);
    if (!any_word_q(TYPE_OF(w))) fire(err::script_invalid_arg, {*w});
    words.push_back(static_cast<int32_t>(w->data2));
  }
  return words;
}

// save-level: the frame, the length of path and each saved value go onto
// stack; a block is replaced by one from the pool, a number by 0.
void save_level(const cell* data, const cell* tracers, const cell* frame) {
  append_to(data, tsyms.stack, frame);
  cell length = integer::make_cell(length_from_index(must_block(data, tsyms.path)));
  append_to(data, tsyms.stack, &length);
  for (int32_t word : saved_words(data)) {
    cell v = *must(data, word);
    root_guard keep(&v);
    append_to(data, tsyms.stack, &v);
    cell next = TYPE_OF(&v) == TYPE_BLOCK ? pool_get(tracers) : integer::make_cell(0);
    *must(data, word) = next;
  }
}

// unroll-level: the saved blocks go back to the pool, the saved values
// come back from the last level of stack, path is cut back to its saved
// length and the level leaves stack.
void unroll_level(const cell* data, const cell* tracers) {
  const std::vector<int32_t>& words = saved_words(data);
  int32_t period = must_integer(must(data, tsyms.stack_period));
  for (int32_t word : words) {
    cell v = *must(data, word);
    if (TYPE_OF(&v) == TYPE_BLOCK) pool_put(tracers, &v);
  }
  cell stack = *must_block(data, tsyms.stack);
  root_guard keep(&stack);
  int32_t level = std::max(0, rs_abs_cells(&stack) - period);
  for (size_t i = 0; i < words.size(); ++i) *must(data, words[i]) = cell_at(&stack, level + 2 + static_cast<int32_t>(i));
  cell saved_length = cell_at(&stack, level + 1);
  cell* path = must_block(data, tsyms.path);
  int64_t cut = static_cast<int64_t>(index_of(path)) + must_integer(&saved_length);
  block::rs_truncate(path, static_cast<int32_t>(std::clamp<int64_t>(cut, 0, rs_abs_cells(path))));
  block::rs_truncate(&stack, level);
}

// The inspector's call: inspect data event code offset value ref.
void call_inspect(const cell* data, const cell* args) {
  cell* base = stack::top;
  cell* inspect = stack::push(*must(data, tsyms.inspect));
  stack::push(*data);
  for (int32_t i = 0; i < 5; ++i) stack::push(args[i]);
  // The frame is named by the object's own word, as a call in its code
  // would name it (error reports list the calls by it).
  cell name{TYPE_WORD, data->data1, static_cast<uint32_t>(tsyms.inspect), 0xFFFFFFFFu};
  name.data3 = static_cast<uint32_t>(object::field_index(data, &name));
  interpreter::call_value(inspect, &name, 6, interpreter::CALLBACK_NONE);
  stack::top = base;
}

bool found_q(const cell* blk, const cell* value, int32_t op) {
  if (!any_block_q(TYPE_OF(blk))) fire(err::script_invalid_arg, {*blk});
  cell b = *blk;
  return block::find_value(&b, value, op, 1) >= 0;
}

// find of the event word in the event filter: a word! of the filter is the
// event when spelled alike, as find compares words; other values compare
// as find compares them.
bool event_wanted_q(const cell* filter, const cell* event) {
  if (TYPE_OF(filter) != TYPE_BLOCK) return found_q(filter, event, COMP_FIND);
  for (int32_t i = index_of(filter); i < rs_abs_cells(filter); ++i) {
    const cell* c = rs_abs_at(filter, i);
    if (TYPE_OF(c) == TYPE_WORD ? symbol::EQUAL_WORDS_q(c, static_cast<int32_t>(event->data2))
                                : actions::compare(c, event, COMP_FIND))
      return true;
  }
  return false;
}

// Whether the collector hands the event to the inspector.
bool report_q(const cell* data, int32_t e, const cell* event, const cell* code) {
  const cell* filter = must(data, tsyms.event_filter);
  if (TYPE_OF(filter) != TYPE_NONE && !event_wanted_q(filter, event)) return false;
  const cell* scope = must(data, tsyms.scope_filter);
  if (TYPE_OF(scope) != TYPE_NONE && TYPE_OF(code) != TYPE_NONE) {
    cell head = *code;
    head.data1 = 0;
    if (!found_q(scope, &head, COMP_SAME)) return false;
  }
  if (truthy(must(data, tsyms.sub_exprs)) || e == ERROR || e == THROW) return true;
  const cell* depth = must(data, tsyms.expr_depth);
  if (TYPE_OF(depth) != TYPE_INTEGER) return false;
  return integer::get(depth) == 0 || (integer::get(depth) == 1 && (e == CALL || e == RETURN));
}

void add_to(const cell* data, int32_t symbol, int32_t n) {
  cell* c = must(data, symbol);
  int32_t v = must_integer(c);
  if ((n > 0 && v == INT32_MAX) || (n < 0 && v == INT32_MIN)) fire(err::math_overflow);
  *c = integer::make_cell(v + n);
}

// A word whose value is an operator, or an operator.
bool infix_q(const cell* value) {
  if (TYPE_OF(value) == TYPE_OP) return true;
  if (TYPE_OF(value) != TYPE_WORD) return false;
  const cell* v = context::peek(value);
  return v && TYPE_OF(v) == TYPE_OP;
}

// The collector's update of its model for one event.
void collect_update(const cell* data, const cell* tracers, int32_t e, const cell* code, const cell* value,
                    const cell* ref, const cell* frame, const cell* anon) {
  bool sub = truthy(must(data, tsyms.sub_exprs));
  switch (e) {
    case PROLOG: add_to(data, tsyms.func_depth, 1); break;
    case EPILOG: add_to(data, tsyms.func_depth, -1); break;
    case FETCH:
      if (sub || TYPE_OF(code) != TYPE_PATH) push_with_text(data, tracers, tsyms.fetched, tsyms.fetched_text, value);
      break;
    case PUSH:
      if (sub || TYPE_OF(code) != TYPE_PATH) push_with_text(data, tracers, tsyms.pushed, tsyms.pushed_text, value);
      break;
    case OPEN: {
      bool infix = infix_q(value);
      cell* pushed = must_block(data, tsyms.pushed);
      cell at = integer::make_cell(index_of(pushed) + 1);
      append_to(data, tsyms.subexprs, &at);
      for (int32_t symbol : {tsyms.pushed, tsyms.pushed_text}) {
        cell* blk = must_block(data, symbol);
        int32_t length = rs_abs_cells(blk);
        blk->data1 = static_cast<uint32_t>(infix ? std::max(0, length - 1) : length);
      }
      push_with_text(data, tracers, tsyms.pushed, tsyms.pushed_text, value);
      add_to(data, tsyms.expr_depth, 1);
      break;
    }
    case CALL: {
      cell name = TYPE_OF(ref) == TYPE_PATH ? cell_at(ref, index_of(ref)) : truthy(ref) ? *ref : *anon;
      append_to(data, tsyms.path, &name);
      break;
    }
    case RETURN: {
      cell* path = must_block(data, tsyms.path);
      if (length_from_index(path) > 0) block::rs_remove_last(path);
      add_to(data, tsyms.expr_depth, -1);
      block::rs_clear(must_block(data, tsyms.pushed));
      block::rs_clear(must_block(data, tsyms.pushed_text));
      cell* subexprs = must_block(data, tsyms.subexprs);
      cell last = length_from_index(subexprs) > 0 ? *rs_abs_at(subexprs, rs_abs_cells(subexprs) - 1) : none::none_value;
      if (rs_abs_cells(subexprs) > 0) block::rs_remove_last(subexprs);
      int64_t at = truthy(&last) ? must_integer(&last) : 1;
      for (int32_t symbol : {tsyms.pushed, tsyms.pushed_text}) {
        cell* blk = must_block(data, symbol);
        blk->data1 = static_cast<uint32_t>(std::clamp<int64_t>(at - 1, 0, rs_abs_cells(blk)));
      }
      push_with_text(data, tracers, tsyms.pushed, tsyms.pushed_text, value);
      break;
    }
    case ENTER:
      if (TYPE_OF(code) != TYPE_PATH) save_level(data, tracers, frame);
      break;
    case EXIT:
      if (TYPE_OF(code) != TYPE_PATH) {
        unroll_level(data, tracers);
        if (TYPE_OF(code) == TYPE_PAREN) push_with_text(data, tracers, tsyms.pushed, tsyms.pushed_text, value);
      }
      break;
    case EXPR:
      for (int32_t symbol : {tsyms.fetched, tsyms.fetched_text, tsyms.pushed, tsyms.pushed_text}) {
        cell* blk = must_block(data, symbol);
        blk->data1 = 0;
        block::rs_clear(blk);
      }
      break;
    default:
      break;
  }
}
}  // namespace

// profile-event tools counter: the profiler's bookkeeping for the event
// its handler was called with, over the tools object's profiling and
// fun-stk; counter is the handler's block holding the last anonymous
// number.
void profile_event() {
  cell* a = stack::arguments;
  cell* hook = handler_arguments();
  symbol_of(symbols.profiling, "profiling");
  symbol_of(symbols.fun_stk, "fun-stk");
  symbol_of(symbols.options, "options");
  symbol_of(symbols.profile, "profile");
  symbol_of(symbols.types, "types");
  cell* event = hook;
  cell* tools = a;
  if (event_q(event, words::word_call)) {
    profile_call(tools, hook + 3, hook + 4, a + 1);
  } else if (event_q(event, words::word_prolog)) {
    stamp_running_call(tools, 2);
  } else if (event_q(event, words::word_epilog)) {
    stamp_running_call(tools, 1);
  } else if (event_q(event, words::word_return)) {
    profile_return(tools, hook + 4);
  } else if (event_q(event, words::word_init)) {
    block::rs_clear(field(tools, symbols.profiling));
    block::rs_clear(field(tools, symbols.fun_stk));
  }
  stack::set_last(unset::unset_value);
}

// mold-text value part only opening closing: mold-part's text, the
// opening markers a bitset and the closers a string of opener-closer pairs.
void mold_text() {
  intern_trace_symbols();
  cell* a = stack::arguments;
  cell* text = mold_part(a, integer::get(a + 1), truthy(a + 2), a + 3, a + 4);
  stack::set_last(*text);
  stack::top = a + 1;
}

// collect-event state debug-line: the collector's work on the event its
// handler was called with, state being the block of the collector's data
// object, the tracers object and the tag that names an anonymous call; the
// debug-line block is evaluated last when data/debug? is set.
void collect_event() {
  intern_trace_symbols();
  cell* a = stack::arguments;
  cell* hook = handler_arguments();
  const cell* state = a;
  cell* event = hook;
  cell* code = hook + 1;
  cell* frame = hook + 5;
  if (length_from_index(state) < 3) fire(err::script_invalid_arg, {*state});
  cell* data = stack::push(*rs_abs_at(state, index_of(state)));
  cell* tracers = stack::push(*rs_abs_at(state, index_of(state) + 1));
  cell* anon = stack::push(*rs_abs_at(state, index_of(state) + 2));
  int32_t e = event_of(event);
  bool report = report_q(data, e, event, code);
  if (e == RETURN || e == CATCH) {
    int32_t x = pair::x_of(frame);
    for (;;) {
      cell* stack = must_block(data, tsyms.stack);
      if (length_from_index(stack) == 0) break;
      int32_t period = must_integer(must(data, tsyms.stack_period));
      const cell* level = rs_abs_at(stack, std::max(0, rs_abs_cells(stack) - period));
      if (TYPE_OF(level) != TYPE_PAIR) fire(err::script_invalid_arg, {*level});
      if (pair::x_of(level) <= x) break;
      unroll_level(data, tracers);
    }
  }
  bool early = e == RETURN || e == EPILOG || e == EXIT || e == EXPR || e == ERROR || e == THROW;
  if (report && early && TYPE_OF(must(data, tsyms.inspect)) == TYPE_FUNCTION) call_inspect(data, event);
  collect_update(data, tracers, e, code, hook + 3, hook + 4, frame, anon);
  if (report && !early && TYPE_OF(must(data, tsyms.inspect)) == TYPE_FUNCTION) call_inspect(data, event);
  if (truthy(must(data, tsyms.debug))) {
    cell* top = stack::top;
    interpreter::eval_block(a + 1, false);
    stack::top = top;
  }
  stack::top = a + 1;
  stack::set_last(unset::unset_value);
}

void init_tools_routines() {
  symbols = field_symbols{};
  tsyms = trace_symbols{};
  routine::register_entry("profile-event", profile_event);
  routine::register_entry("mold-text", mold_text);
  routine::register_entry("collect-event", collect_event);
}

}  // namespace ixo::boot
