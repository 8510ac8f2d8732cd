// The parse engine: the state loop (fetch a rule, complete a result,
// end), the commands that keywords push on the rule stack and their
// completion, and the matching of one rule value against the input.
//
// Every language value the engine holds across an allocation lives in
// its entries (rule blocks, collections: marked by mark_engines), on the
// series stack (inputs) or in one of the engine's rooted scratch cells;
// positions are kept as absolute indexes and the cells are read again
// after anything that may allocate.
#include "runtime/parse/parse.hpp"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <vector>

#include "runtime/core/unicode.hpp"
#include "runtime/datatypes/binary.hpp"
#include "runtime/datatypes/bitset.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/char.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/logic.hpp"
#include "runtime/datatypes/none.hpp"
#include "runtime/datatypes/series.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/datatypes/string_compare.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/datatypes/type_classes.hpp"
#include "runtime/datatypes/typeset.hpp"
#include "runtime/datatypes/word.hpp"
#include "runtime/datatypes/words.hpp"
#include "runtime/interpreter/actions.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/interpreter.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/lexer/lexer.hpp"
#include "runtime/memory/collector.hpp"
#include "runtime/memory/root_block.hpp"
#include "runtime/memory/roots.hpp"
#include "runtime/memory/series_buffer.hpp"

namespace ixo::parse {

namespace {

// Cells of the root block holding the series stack and the rule-stack
// block traces see.
cell* series_stack = nullptr;
cell* rule_stack = nullptr;
// The word `end`, the last trace event.
cell* word_end = nullptr;
// The words the engine gives a meaning of its own, by code. A word's code
// is decoded once per symbol id and kept in `word_codes` (a spelling's
// canonical symbol never changes), so matching a keyword is one table
// look-up and a switch, not a comparison by name with each keyword.
// The codes up to KW_CHANGE are the keywords `keyword` handles; the others
// only mean something after one of them.
enum keyword_code : uint8_t {
  KW_UNKNOWN,  // not decoded yet
  KW_OTHER,    // a word naming a rule or a value
  KW_BAR, KW_SKIP, KW_ANY, KW_SOME, KW_OPT, KW_WHILE, KW_TO, KW_THRU, KW_COPY, KW_SET, KW_END,
  KW_BREAK, KW_REJECT, KW_FAIL, KW_NONE, KW_NOT, KW_AHEAD, KW_INTO, KW_COLLECT, KW_KEEP, KW_QUOTE,
  KW_IF, KW_CASE, KW_REMOVE, KW_INSERT, KW_CHANGE,
  KW_PICK, KW_ONLY, KW_AFTER,
};
// Codes by canonical symbol id, and by any symbol id as met.
std::vector<uint8_t> canonical_codes;
std::vector<uint8_t> word_codes;

// The first look-up of a symbol id.
[[gnu::noinline]] keyword_code decode_symbol(int32_t id) {
  if (id < 0) return KW_OTHER;
  if (static_cast<size_t>(id) >= word_codes.size()) word_codes.resize(id + 1024, KW_UNKNOWN);
  uint8_t& code = word_codes[id];
  auto canonical = static_cast<size_t>(symbol::resolve(id));
  code = canonical < canonical_codes.size() ? canonical_codes[canonical] : static_cast<uint8_t>(KW_UNKNOWN);
  if (code == KW_UNKNOWN) code = KW_OTHER;
  return static_cast<keyword_code>(code);
}

keyword_code code_of_symbol(int32_t id) {
  // A negative id wraps past the table's end.
  auto n = static_cast<uint32_t>(id);
  if (n < word_codes.size() && word_codes[n] != KW_UNKNOWN) return static_cast<keyword_code>(word_codes[n]);
  return decode_symbol(id);
}

// The code of a rule value: KW_OTHER for anything but a special word.
keyword_code code_of(const cell* v) {
  return TYPE_OF(v) == TYPE_WORD ? code_of_symbol(static_cast<int32_t>(v->data2)) : KW_OTHER;
}

bool command_keyword_q(keyword_code code) { return code >= KW_BAR && code <= KW_CHANGE; }

// Rule-stack entry codes: 0 an open rule block, negative a command.
enum entry_code : int32_t {
  OPEN_BLOCK = 0,
  CMD_REPEAT = -1,
  CMD_TO = -2,
  CMD_THRU = -3,
  CMD_COPY = -4,
  CMD_SET = -5,
  CMD_NOT = -6,
  CMD_INTO = -7,
  CMD_REMOVE = -9,
  CMD_WHILE = -11,
  CMD_COLLECT = -12,
  CMD_KEEP = -13,
  CMD_AHEAD = -16,
  CMD_CHANGE = -17,
  CMD_CHANGE_ONLY = -18,
  CMD_CASE = -19,
};

// Where a collection goes when it ends.
enum collect_mode : int32_t { COLLECT_PLAIN, COLLECT_SET, COLLECT_INTO, COLLECT_AFTER };

// Trace events, by bit, and their words.
enum trace_bit : uint32_t {
  TRACE_PUSH = 1, TRACE_POP = 2, TRACE_FETCH = 4, TRACE_MATCH = 8,
  TRACE_ITERATE = 16, TRACE_PAREN = 32, TRACE_END = 64, TRACE_ALL = 127,
};

cell* trace_word(uint32_t bit) {
  switch (bit) {
    case TRACE_PUSH: return words::word_push;
    case TRACE_POP: return words::word_pop;
    case TRACE_FETCH: return words::word_fetch;
    case TRACE_MATCH: return words::word_match;
    case TRACE_ITERATE: return words::word_iterate;
    case TRACE_PAREN: return words::word_paren;
    default: return word_end;
  }
}

// The events a trace function asks for: the words of the block that
// begins its body, or all of them.
uint32_t events_of(const cell* callback) {
  if (TYPE_OF(callback) != TYPE_FUNCTION && TYPE_OF(callback) != TYPE_ROUTINE) return TRACE_ALL;
  cell* more = memory::head_of<cell>(memory::buffer_of(callback->data3));
  if (TYPE_OF(more) != TYPE_BLOCK) return TRACE_ALL;
  int32_t count;
  const cell* body = block::values_of(more, count);
  if (count == 0 || TYPE_OF(&body[0]) != TYPE_BLOCK) return TRACE_ALL;
  int32_t n;
  const cell* names = block::values_of(&body[0], n);
  uint32_t mask = 0;
  for (int32_t i = 0; i < n; ++i) {
    if (TYPE_OF(&names[i]) != TYPE_WORD) continue;
    for (uint32_t bit = TRACE_PUSH; bit <= TRACE_END; bit <<= 1)
      if (symbol::EQUAL_WORDS_q(&names[i], static_cast<int32_t>(trace_word(bit)->data2))) mask |= bit;
  }
  return mask;
}

// Read at every step of the engine, so kept here where it inlines.
int32_t abs_length(const cell* s) {
  const memory::series_buffer* b = memory::GET_BUFFER(s);
  return static_cast<int32_t>((b->tail - b->head) >> series::unit_shift(memory::GET_UNIT(b)));
}
cell* cell_at(const cell* blk, int32_t n) { return memory::head_of<cell>(memory::GET_BUFFER(blk)) + n; }

bool series_value_q(uint32_t t) {
  return any_block_q(t) || any_string_q(t) || t == TYPE_BINARY;
}

enum input_kind { INPUT_BLOCK, INPUT_STRING, INPUT_BINARY };

input_kind kind_of(const cell* s) {
  uint32_t t = TYPE_OF(s);
  if (t == TYPE_BINARY) return INPUT_BINARY;
  return any_string_q(t) ? INPUT_STRING : INPUT_BLOCK;
}

// Whether a series of type `target` may take what a series of type
// `input` yields: the same type, or both of the string or block family.
bool compatible_q(uint32_t target, uint32_t input) {
  if (target == input) return true;
  if (any_string_q(target) && any_string_q(input)) return true;
  return any_block_q(target) && any_block_q(input);
}

bool in_bitset(const cell* bits, uint32_t n) {
  memory::series_buffer* b = memory::GET_BUFFER(bits);
  uint32_t bytes = b->tail - b->head;
  // A complemented bitset keeps its stored bytes inverted already; the
  // flag says that every number beyond them is a member too.
  if ((n >> 3) >= bytes) return (b->flags & bitset::COMPLEMENTED) != 0;
  return (memory::head_of<uint8_t>(b)[n >> 3] & (0x80u >> (n & 7))) != 0;
}

// Restores both engine stacks to their length at a parse's start, also
// when an error or another exit leaves the parse.
struct stack_restore {
  int32_t series_length = abs_length(series_stack);
  int32_t rules_length = abs_length(rule_stack);
  ~stack_restore() {
    block::rs_truncate(series_stack, series_length);
    block::rs_truncate(rule_stack, rules_length);
  }
};

struct entry {
  int32_t code = OPEN_BLOCK;
  int32_t cell_at = 0;  // its first cell on the rule stack
  int32_t pos = 0;      // block: the next rule once another is current; command: where its rule starts
  int32_t start = 0;    // input index at entry
  int32_t min = 0, max = 0, count = 0;
  int32_t iteration = 0;  // input index where the current iteration began
  int32_t length = 0;     // input length then
  int32_t aux = 0;        // word position, saved case, pick flag, collect mode
  int32_t insert_at = 0;  // collect into: where the next value goes
  int32_t outer = -1;     // block: the open block it was entered from; collect: the collect it is in
  cell held{TYPE_NONE, 0, 0, 0};  // block: the rule block; collect: the collection
};

enum state { FETCH, RESULT, END };

struct engine;
// The parses running now, the innermost first (a parse started from a
// paren or a trace function runs inside another).
engine* running = nullptr;
// Whether a trace function has been given the rule-stack block: from then
// on code may look at it, so it is written before code runs.
bool rule_stack_shown = false;

struct engine {
  engine* outer_engine = running;
  engine() { running = this; }
  ~engine() { running = outer_engine; }
  engine(const engine&) = delete;
  engine& operator=(const engine&) = delete;

  // Rooted scratch cells: the rule value being worked on, a value made
  // from it, the callback and the collected result.
  cell rule{TYPE_NONE, 0, 0, 0};
  cell value{TYPE_NONE, 0, 0, 0};
  cell work{TYPE_NONE, 0, 0, 0};
  cell callback{TYPE_NONE, 0, 0, 0};
  cell collected{TYPE_NONE, 0, 0, 0};
  cell top_rules{TYPE_NONE, 0, 0, 0};
  cell name{TYPE_NONE, 0, 0, 0};
  // The input at work, the series-stack top, with the input position as
  // its index; and the node of the innermost open block. Rooted, so that
  // a collection that moves their nodes updates them.
  cell in{TYPE_NONE, 0, 0, 0};
  uint32_t rules_node = 0;
  memory::root_guard guard_rule{&rule}, guard_value{&value}, guard_work{&work}, guard_callback{&callback},
      guard_collected{&collected}, guard_top_rules{&top_rules}, guard_name{&name}, guard_in{&in},
      guard_rules_node{&rules_node};

  std::vector<entry> entries;
  int32_t current = -1;  // the innermost open block among the entries
  int32_t collect_top = -1;  // the innermost collect among them
  int32_t rule_pos = 0;  // its next rule
  int32_t series_base;   // the series-stack index of this parse's input
  int32_t rule_base;
  int32_t stack_cells;   // the rule-stack length the entries stand for
  int32_t part_limit;
  int32_t in_limit;      // part_limit for this parse's own input, else -1
  bool in_string;        // whether the input is of a string type
  int32_t case_op;
  bool match = true;
  bool breaking = false;
  bool stopped = false;
  bool has_result = false;
  uint32_t events = 0;

  // ---- Stacks ------------------------------------------------------------
  //
  // The input position and the current block's next rule live in the
  // engine (`in`, `rule_pos`): the series-stack cells keep the index each
  // input was entered at. The entries are the rule stack: the rule blocks
  // and collections they hold are marked through the running engines
  // (mark_engines), and `stack_cells` counts the cells the rule-stack
  // block would hold for them, which it is given (write_rule_stack) only
  // when code that may look at it runs under a trace.

  cell* input() { return &in; }
  int32_t ipos() { return static_cast<int32_t>(in.data1); }
  void set_ipos(int32_t n) { in.data1 = static_cast<uint32_t>(n); }
  int32_t limit() {
    int32_t tail = abs_length(&in);
    return in_limit >= 0 ? std::min(in_limit, tail) : tail;
  }
  cell* unit_at(int32_t n) { return block::rs_abs_at(&in, n); }
  // The character at `n` of a string input.
  uint32_t unit_of(int32_t n) {
    const memory::series_buffer* text = memory::GET_BUFFER(&in);
    uint32_t unit = memory::GET_UNIT(text);
    const uint8_t* head = memory::head_of<uint8_t>(text);
    return unit == 1 ? head[n] : string::get_char(head + static_cast<int64_t>(n) * unit, unit);
  }

  cell* current_block() { return &entries[current].held; }
  int32_t block_length() {
    const memory::series_buffer* b = memory::buffer_of(rules_node);
    return static_cast<int32_t>((b->tail - b->head) / sizeof(cell));
  }
  cell* rule_at(int32_t p) { return memory::head_of<cell>(memory::buffer_of(rules_node)) + p; }
  int32_t pos() { return rule_pos; }
  void set_pos(int32_t p) { rule_pos = p; }
  // Makes entry `n`, an open block, the current one.
  void enter_block(int32_t n) {
    current = n;
    if (n < 0) return;
    rules_node = entries[n].held.data2;
    rule_pos = entries[n].pos;
  }
  // Makes the series-stack top the input at work, at the index it was
  // entered at.
  void enter_input() {
    int32_t top = abs_length(series_stack) - 1;
    in = *cell_at(series_stack, top);
    in_limit = top == series_base ? part_limit : -1;
    in_string = kind_of(&in) == INPUT_STRING;
  }
  // Takes `n` rule-stack cells, each within the limit.
  void claim_cells(int32_t n) {
    for (; n > 0; --n) {
      if (stack_cells - rule_base >= STACK_LIMIT) fire(err::script_parse_stack);
      ++stack_cells;
    }
  }
  // Fills the rule-stack block above this parse's base with the cells of
  // the entries: a block and its marker (code, next rule, input index at
  // entry) for a rule block, a collection and its marker for a collect, a
  // marker (code, counts) for another command. The parses this one runs
  // inside are written first: their cells stand below its base.
  void write_rule_stack() {
    if (outer_engine) outer_engine->write_rule_stack();
    block::rs_truncate(rule_stack, rule_base);
    for (size_t i = 0; i < entries.size(); ++i) {
      const entry& e = entries[i];
      cell held = e.held, mark = marker(e.code, e.min, e.max);
      if (e.code == OPEN_BLOCK) {
        int32_t next = static_cast<int32_t>(i) == current ? rule_pos : e.pos;
        mark = marker(OPEN_BLOCK, next, e.start);
      }
      if (e.code == OPEN_BLOCK || e.code == CMD_COLLECT) block::rs_append(rule_stack, &held);
      block::rs_append(rule_stack, &mark);
    }
  }
  void push_series(const cell& s) {
    if (abs_length(series_stack) - series_base >= STACK_LIMIT) fire(err::script_parse_stack);
    cell copy = s;
    block::rs_append(series_stack, &copy);
  }
  static cell marker(int32_t code, int32_t a, int32_t b) {
    return cell{TYPE_TRIPLE, static_cast<uint32_t>(code), static_cast<uint32_t>(a), static_cast<uint32_t>(b)};
  }

  state push_block(const cell& blk) {
    if (current >= 0) entries[current].pos = rule_pos;
    int32_t at = stack_cells;
    claim_cells(2);
    entry& e = entries.emplace_back();
    e.code = OPEN_BLOCK;
    e.cell_at = at;
    e.start = ipos();
    e.outer = current;
    e.held = blk;
    current = static_cast<int32_t>(entries.size()) - 1;
    rules_node = blk.data2;
    rule_pos = static_cast<int32_t>(blk.data1);
    trace(TRACE_PUSH);
    return FETCH;
  }

  // Pops the innermost block, which ends with the match flag; a failed
  // block puts the input back where it was entered.
  state pop_block() {
    trace(TRACE_POP);
    entry b = entries.back();
    if (!match) set_ipos(b.start);
    stack_cells = b.cell_at;
    entries.pop_back();
    enter_block(b.outer);
    return entries.empty() ? END : RESULT;
  }

  entry& push_command(int32_t code, int32_t min = 0, int32_t max = 0, int32_t aux = 0) {
    entry e{code, stack_cells, pos(), ipos(), min, max};
    e.iteration = e.start;
    e.length = abs_length(input());
    e.aux = aux;
    claim_cells(1);
    entries.push_back(e);
    return entries.back();
  }
  entry pop_command() {
    entry t = entries.back();
    stack_cells = t.cell_at;
    entries.pop_back();
    return t;
  }

  // ---- Trace and parens ----------------------------------------------------

  void trace(uint32_t bit) {
    if ((events & bit) && !stopped) call_trace(bit);
  }
  void call_trace(uint32_t bit) {
    write_rule_stack();
    rule_stack_shown = true;
    cell* saved = stack::top;
    stack::push(*trace_word(bit));
    stack::push(logic::make_cell(match));
    cell at_rule = current >= 0 ? *current_block() : top_rules;
    if (current >= 0) at_rule.data1 = static_cast<uint32_t>(pos());
    stack::push(at_rule);
    stack::push(*input());
    cell rules = *rule_stack;
    rules.data1 = static_cast<uint32_t>(rule_base);
    stack::push(rules);
    interpreter::call_value(&callback, words::word_parse_callback, 5, interpreter::CALLBACK_PARSE);
    bool go = logic::value_true_q(stack::top - 1, false, nullptr);
    stack::top = saved;
    if (!go) stopped = true;
  }

  // Evaluates a paren into `value`. The paren may change the input and
  // the rules: a shortened input moves the position back.
  void eval_paren(const cell& paren) {
    cell* saved = stack::top;
    cell* code = stack::push(paren);  // rooted before the rule stack is written, which may collect
    if (rule_stack_shown) write_rule_stack();
    interpreter::eval_block(code, false);
    value = stack::top[-1];
    stack::top = saved;
    if (ipos() > abs_length(input())) set_ipos(abs_length(input()));
    trace(TRACE_PAREN);
  }

  // The value an insert or change puts in: a paren's result, a word's
  // value or the literal, into `value`.
  void operand(const cell& v) {
    uint32_t t = TYPE_OF(&v);
    if (t == TYPE_PAREN) {
      eval_paren(v);
    } else if (t == TYPE_WORD) {
      cell w = v;
      value = *word::get_value(&w);
      if (TYPE_OF(&value) == TYPE_UNSET) fire(err::script_no_value, {w});
    } else if (any_path_q(t)) {
      fire(err::script_parse_rule, {v});
    } else {
      value = v;
    }
  }

  // ---- Fetching rules -------------------------------------------------------

  static bool keyword_q(const cell* v, keyword_code code) { return code_of(v) == code; }

  // Raises parse-end with the keyword when no value follows it.
  void need_rule(const cell& keyword) {
    if (pos() >= block_length()) fire(err::script_parse_end, {keyword});
  }
  // Whether `v` is a word whose value is the input series; its index then
  // goes to `at`.
  bool position_word_q(const cell* v, int32_t& at) {
    if (TYPE_OF(v) != TYPE_WORD && TYPE_OF(v) != TYPE_GET_WORD) return false;
    cell w = *v;
    const cell* held = word::get_value(&w);
    if (TYPE_OF(held) != TYPE_OF(input()) || held->data2 != input()->data2) return false;
    at = static_cast<int32_t>(held->data1);
    return true;
  }

  // The position after the rule at `p` without matching it (a count of 0).
  int32_t skip_rule(int32_t p) {
    int32_t values_after = 0;  // the values of pending change keywords
    int32_t length = block_length();
    while (p < length) {
      const cell* v = rule_at(p++);
      uint32_t t = TYPE_OF(v);
      if (t == TYPE_INTEGER) {
        if (p < length && TYPE_OF(rule_at(p)) == TYPE_INTEGER) ++p;
        continue;
      }
      if (t != TYPE_WORD) break;
      keyword_code s = code_of(v);
      auto is = [&](keyword_code k) { return s == k; };
      auto next_is = [&](keyword_code k) { return p < length && keyword_q(rule_at(p), k); };
      if (is(KW_ANY) || is(KW_SOME) || is(KW_OPT) || is(KW_WHILE) ||
          is(KW_NOT) || is(KW_AHEAD) || is(KW_TO) || is(KW_THRU) ||
          is(KW_REMOVE))
        continue;
      if (is(KW_COPY) || is(KW_SET) || is(KW_CASE)) { ++p; continue; }
      if (is(KW_COLLECT)) {
        if (next_is(KW_SET) || next_is(KW_INTO) || next_is(KW_AFTER)) p += 2;
        continue;
      }
      if (is(KW_KEEP)) {
        if (next_is(KW_PICK)) ++p;
        continue;
      }
      if (is(KW_CHANGE)) {
        if (next_is(KW_ONLY)) ++p;
        ++values_after;
        continue;
      }
      if (is(KW_INTO) || is(KW_QUOTE) || is(KW_IF)) { ++p; break; }
      if (is(KW_INSERT)) {
        if (next_is(KW_ONLY)) ++p;
        int32_t at;
        if (p + 1 < length && position_word_q(rule_at(p), at)) ++p;
        ++p;
        break;
      }
      break;
    }
    return std::min(p + values_after, length);
  }

  state fetch() {
    if (rule_pos >= block_length()) {
      match = true;
      return pop_block();
    }
    if (events & TRACE_FETCH) {
      // The trace function may have shortened the rules.
      trace(TRACE_FETCH);
      if (stopped) return RESULT;
      if (rule_pos >= block_length()) return FETCH;
    }
    rule = *rule_at(rule_pos);
    ++rule_pos;
    if (TYPE_OF(&rule) == TYPE_WORD) {
      keyword_code code = code_of_symbol(static_cast<int32_t>(rule.data2));
      if (command_keyword_q(code)) return keyword(code);
      value = *word::get_value(&rule);
      uint32_t t = TYPE_OF(&value);
      if (t == TYPE_UNSET || all_word_q(t)) fire(err::script_parse_rule, {rule});
      rule = value;
    }
    return terminal();
  }

  // A rule value that is not a keyword.
  state terminal() {
    switch (TYPE_OF(&rule)) {
      case TYPE_BLOCK:
        if (fails_at_once(rule)) {
          match = false;
          return RESULT;
        }
        return push_block(rule);
      case TYPE_PAREN:
        eval_paren(rule);
        return RESULT;
      case TYPE_SET_WORD: {
        value = *input();
        if (rule_stack_shown) write_rule_stack();
        word::set(&rule, value);
        match = true;
        return RESULT;
      }
      case TYPE_GET_WORD: {
        value = *word::get_value(&rule);
        if (TYPE_OF(&value) != TYPE_OF(input()) || value.data2 != input()->data2)
          fire(err::script_parse_invalid_ref);
        set_ipos(std::min(static_cast<int32_t>(value.data1), abs_length(input())));
        match = true;
        return RESULT;
      }
      case TYPE_INTEGER:
        return counts();
      case TYPE_DATATYPE:
      case TYPE_TYPESET:
        match = match_type(rule);
        trace(TRACE_MATCH);
        return RESULT;
      case TYPE_PATH: case TYPE_LIT_PATH: case TYPE_SET_PATH: case TYPE_GET_PATH:
        fire(err::script_parse_rule, {rule});
      default:
        match = match_literal(rule);
        trace(TRACE_MATCH);
        return RESULT;
    }
  }

  // An integer, or two: the counts of the following rule.
  state counts() {
    int32_t min = integer::get(&rule), max = min;
    if (pos() < block_length() && TYPE_OF(rule_at(pos())) == TYPE_INTEGER) {
      max = integer::get(rule_at(pos()));
      set_pos(pos() + 1);
    }
    if (min < 0 || max < 0) fire(err::script_out_of_range, {integer::make_cell(min < 0 ? min : max)});
    if (max < min || pos() >= block_length()) fire(err::script_parse_rule, {rule});
    if (max == 0) {
      set_pos(skip_rule(pos()));
      match = true;
      return RESULT;
    }
    if (unit_run(min, max)) return RESULT;
    push_command(CMD_REPEAT, min, max);
    return FETCH;
  }

  // Handles the keyword `s`, the word in `rule`.
  state keyword(keyword_code s) {
    state next = RESULT;
    auto next_value = [&]() { return rule_at(pos()); };
    auto take = [&]() {
      cell v = *rule_at(pos());
      set_pos(pos() + 1);
      return v;
    };
    cell keyword_word = rule;
    switch (s) {
      case KW_BAR:
        if (pos() >= block_length()) fire(err::script_parse_end, {keyword_word});
        match = true;
        next = pop_block();
        break;
      case KW_SKIP:
        match = ipos() < limit();
        if (match) set_ipos(ipos() + 1);
        trace(TRACE_MATCH);
        next = RESULT;
        break;
      case KW_ANY:
      case KW_SOME:
      case KW_OPT:
      case KW_WHILE: {
        need_rule(keyword_word);
        int32_t min = s == KW_SOME ? 1 : 0, max = s == KW_OPT ? 1 : INT32_MAX;
        if (unit_run(min, max)) {
          next = RESULT;
        } else if (block_fails_at_once(rule_at(pos()))) {
          // No iteration: the outcome of a repeat whose first one fails.
          set_pos(pos() + 1);
          match = min == 0;
          next = RESULT;
        } else {
          push_command(s == KW_WHILE ? CMD_WHILE : CMD_REPEAT, min, max);
          next = FETCH;
        }
        break;
      }
      case KW_TO:
      case KW_THRU:
        need_rule(keyword_word);
        if (keyword_q(next_value(), KW_END)) {
          set_pos(pos() + 1);
          set_ipos(limit());
          match = true;
          trace(TRACE_MATCH);
          next = RESULT;
        } else {
          push_command(s == KW_TO ? CMD_TO : CMD_THRU);
          next = FETCH;
        }
        break;
      case KW_COPY:
      case KW_SET: {
        need_rule(keyword_word);
        if (TYPE_OF(next_value()) != TYPE_WORD) fire(err::script_parse_end, {keyword_word});
        int32_t word_at = pos();
        set_pos(pos() + 1);
        need_rule(keyword_word);
        push_command(s == KW_COPY ? CMD_COPY : CMD_SET, 0, 0, word_at);
        next = FETCH;
        break;
      }
      case KW_END:
        match = ipos() >= limit();
        trace(TRACE_MATCH);
        next = RESULT;
        break;
      case KW_BREAK:
      case KW_REJECT:
        match = s == KW_BREAK;
        breaking = true;
        next = RESULT;
        break;
      case KW_FAIL:
      case KW_NONE:
        match = s == KW_NONE;
        next = RESULT;
        break;
      case KW_NOT:
      case KW_AHEAD:
        need_rule(keyword_word);
        push_command(s == KW_NOT ? CMD_NOT : CMD_AHEAD);
        next = FETCH;
        break;
      case KW_INTO:
        next = into(keyword_word);
        break;
      case KW_COLLECT:
        next = collect(keyword_word);
        break;
      case KW_KEEP: {
        if (collect_top < 0) fire(err::script_parse_keep);
        need_rule(keyword_word);
        bool pick = false;
        if (keyword_q(next_value(), KW_PICK)) {
          pick = true;
          set_pos(pos() + 1);
          need_rule(keyword_word);
        }
        if (TYPE_OF(next_value()) == TYPE_PAREN) {
          eval_paren(take());
          keep_value(collect_top, pick);
          next = RESULT;
        } else {
          push_command(CMD_KEEP, 0, 0, pick);
          next = FETCH;
        }
        break;
      }
      case KW_QUOTE:
        need_rule(keyword_word);
        rule = take();
        match = match_literal(rule);
        trace(TRACE_MATCH);
        next = RESULT;
        break;
      case KW_IF:
        if (pos() >= block_length() || TYPE_OF(next_value()) != TYPE_PAREN) fire(err::script_parse_end, {keyword_word});
        eval_paren(take());
        match = logic::value_true_q(&value, false, nullptr);
        next = RESULT;
        break;
      case KW_CASE: {
        need_rule(keyword_word);
        if (TYPE_OF(next_value()) != TYPE_WORD) fire(err::script_parse_end, {keyword_word});
        cell w = take();
        bool strict = logic::value_true_q(word::get_value(&w), false, nullptr);
        need_rule(keyword_word);
        push_command(CMD_CASE, 0, 0, case_op);
        case_op = strict ? CASE_STRICT : CASE_INSENSITIVE;
        next = FETCH;
        break;
      }
      case KW_REMOVE: {
        need_rule(keyword_word);
        int32_t at;
        if (position_word_q(next_value(), at)) {
          set_pos(pos() + 1);
          int32_t from = std::min(at, ipos()), count = std::abs(at - ipos());
          remove_part(from, count);
          set_ipos(from);
          match = true;
          next = RESULT;
        } else {
          push_command(CMD_REMOVE);
          next = FETCH;
        }
        break;
      }
      case KW_INSERT:
        next = insert();
        break;
      case KW_CHANGE: {
        bool only = false;
        if (pos() < block_length() && keyword_q(next_value(), KW_ONLY)) {
          only = true;
          set_pos(pos() + 1);
        }
        need_rule(keyword_word);
        int32_t at;
        if (pos() + 1 < block_length() && position_word_q(next_value(), at)) {
          set_pos(pos() + 1);
          cell v = take();
          operand(v);
          int32_t from = std::min(at, ipos());
          change_part(from, std::abs(at - ipos()), only);
          match = true;
          next = RESULT;
        } else {
          push_command(only ? CMD_CHANGE_ONLY : CMD_CHANGE);
          next = FETCH;
        }
        break;
      }
      default:  // not a command keyword: fetch does not pass one
        break;
    }
    return next;
  }

  state into(const cell& keyword_word) {
    if (kind_of(input()) != INPUT_BLOCK) fire(err::script_parse_block, {*input()});
    need_rule(keyword_word);
    rule = *rule_at(pos());
    if (TYPE_OF(&rule) == TYPE_WORD) rule = *word::get_value(&rule);
    if (TYPE_OF(&rule) != TYPE_BLOCK) fire(err::script_parse_end, {keyword_word});
    set_pos(pos() + 1);
    if (ipos() >= limit() || !series_value_q(TYPE_OF(unit_at(ipos())))) {
      match = false;
      return RESULT;
    }
    uint32_t t = TYPE_OF(unit_at(ipos()));
    if (t == TYPE_VECTOR || t == TYPE_IMAGE) {
      match = false;
      return RESULT;
    }
    push_command(CMD_INTO);
    push_series(*unit_at(ipos()));
    enter_input();
    return push_block(rule);
  }

  state collect(const cell& keyword_word) {
    need_rule(keyword_word);
    int32_t mode = COLLECT_PLAIN, word_at = 0;
    const cell* v = rule_at(pos());
    if (keyword_q(v, KW_SET) || keyword_q(v, KW_INTO) || keyword_q(v, KW_AFTER)) {
      mode = keyword_q(v, KW_SET) ? COLLECT_SET : keyword_q(v, KW_INTO) ? COLLECT_INTO : COLLECT_AFTER;
      set_pos(pos() + 1);
      need_rule(keyword_word);
      if (TYPE_OF(rule_at(pos())) != TYPE_WORD) fire(err::script_parse_end, {keyword_word});
      word_at = pos();
      set_pos(pos() + 1);
      need_rule(keyword_word);
    }
    if (mode == COLLECT_INTO || mode == COLLECT_AFTER) {
      cell w = *rule_at(word_at);
      work = *word::get_value(&w);
      uint32_t t = TYPE_OF(&work);
      if (!series_value_q(t) || t == TYPE_VECTOR || t == TYPE_IMAGE || !compatible_q(t, TYPE_OF(input())))
        fire(err::script_parse_into_type);
      if (work.data2 == input()->data2) fire(err::script_parse_into_bad);
    } else {
      block::make_at(&work, 8);
    }
    int32_t at = stack_cells;
    claim_cells(1);
    entry& e = push_command(CMD_COLLECT, word_at, 0, mode);
    e.cell_at = at;
    e.held = work;
    e.outer = collect_top;
    collect_top = static_cast<int32_t>(entries.size()) - 1;
    e.insert_at = static_cast<int32_t>(work.data1);
    return FETCH;
  }

  state insert() {
    bool only = false;
    if (pos() < block_length() && keyword_q(rule_at(pos()), KW_ONLY)) {
      only = true;
      set_pos(pos() + 1);
    }
    int32_t at = ipos();
    if (pos() + 1 < block_length() && position_word_q(rule_at(pos()), at)) set_pos(pos() + 1);
    if (pos() >= block_length()) fire(err::script_parse_rule, {rule});
    cell v = *rule_at(pos());
    set_pos(pos() + 1);
    operand(v);
    work = *input();
    work.data1 = static_cast<uint32_t>(std::min(at, abs_length(input())));
    int32_t before = abs_length(input());
    actions::insert(&work, &value, -1, only, 1);
    int32_t added = abs_length(input()) - before;
    if (at <= ipos()) set_ipos(ipos() + added);
    match = true;
    return RESULT;
  }

  // ---- Editing the input ------------------------------------------------------

  void remove_part(int32_t from, int32_t count) {
    work = *input();
    work.data1 = static_cast<uint32_t>(from);
    // An action takes a /part cell as given only when it lies above the
    // argument base: it goes on the value stack for the call.
    cell* part = stack::push(integer::make_cell(count));
    actions::remove(&work, part, nullptr);
    stack::top = part;
  }

  // Replaces `count` units from `from` with `value`; the input moves past
  // what was put in.
  void change_part(int32_t from, int32_t count, bool only) {
    work = *input();
    work.data1 = static_cast<uint32_t>(from);
    int32_t before = abs_length(input());
    actions::change(&work, &value, count, only, 1);
    set_ipos(from + count + abs_length(input()) - before);
  }

  // ---- Collections ----------------------------------------------------------------

  // Adds `value` to the collection of entry `c`: one value, or the values
  // of a block one by one with `pick`.
  void add_to_collection(int32_t c, bool pick) {
    work = entries[c].held;
    bool only = !pick && any_block_q(TYPE_OF(&work));
    int32_t before = abs_length(&work);
    if (entries[c].aux == COLLECT_INTO) {
      work.data1 = static_cast<uint32_t>(entries[c].insert_at);
      actions::insert(&work, &value, -1, only, 1);
      entries[c].insert_at += abs_length(&entries[c].held) - before;
    } else {
      actions::append(&work, &value, -1, only, 1);
    }
  }

  // keep of a paren's value.
  void keep_value(int32_t c, bool pick) {
    add_to_collection(c, pick && any_block_q(TYPE_OF(&value)));
  }

  // The unit at `n` as a value: an integer for a byte, a char for a
  // character, the value itself in a block.
  void unit_value(int32_t n) {
    switch (kind_of(input())) {
      case INPUT_BINARY: value = integer::make_cell(binary::rs_abs_at(input(), n)); break;
      case INPUT_STRING: value = char_::make_cell(string::rs_abs_at(input(), n)); break;
      default: value = *unit_at(n); break;
    }
  }

  // keep of a matched part [start, ipos).
  void keep_part(int32_t start, bool pick) {
    int32_t c = collect_top;
    int32_t count = ipos() - start;
    if (count <= 0) return;
    uint32_t target = TYPE_OF(&entries[c].held);
    input_kind k = kind_of(input());
    bool same_kind = (k == INPUT_STRING && any_string_q(target)) || (k == INPUT_BINARY && target == TYPE_BINARY);
    if (same_kind) {
      value = *input();
      value.data1 = static_cast<uint32_t>(start);
      work = entries[c].held;
      int32_t before = abs_length(&work);
      if (entries[c].aux == COLLECT_INTO) {
        work.data1 = static_cast<uint32_t>(entries[c].insert_at);
        actions::insert(&work, &value, count, 0, 1);
        entries[c].insert_at += abs_length(&entries[c].held) - before;
      } else {
        actions::append(&work, &value, count, 0, 1);
      }
      return;
    }
    if (count == 1 || pick) {
      for (int32_t n = start; n < start + count; ++n) {
        unit_value(n);
        add_to_collection(c, false);
      }
      return;
    }
    copy_part(start, count);
    add_to_collection(c, false);
  }

  // A copy of `count` units of the input from `start`, into `value`.
  void copy_part(int32_t start, int32_t count) {
    work = *input();
    work.data1 = static_cast<uint32_t>(start);
    cell* part = stack::push(integer::make_cell(count));
    actions::copy(&work, &value, part, 0, nullptr);
    stack::top = part;
  }

  void set_word_at(int32_t word_at) {
    name = *rule_at(word_at);
    if (rule_stack_shown) write_rule_stack();
    word::set(&name, value);
  }

  // ---- Results ---------------------------------------------------------------------

  state result() {
    entry& t = entries.back();
    if (t.code == OPEN_BLOCK) {
      // A block whose rule matched goes on in run(): here its rule failed.
      if (breaking) return pop_block();
      // Resume after the next alternative, from where the block began.
      int32_t length = block_length();
      int32_t p = rule_pos;
      const cell* rules = rule_at(0);
      while (p < length && !keyword_q(&rules[p], KW_BAR)) ++p;
      if (p >= length) return pop_block();
      if (p == length - 1) fire(err::script_parse_end, {*rule_at(p)});
      set_pos(p + 1);
      set_ipos(t.start);
      match = true;
      return FETCH;
    }
    switch (t.code) {
      case CMD_REPEAT:
      case CMD_WHILE:
        return repeat();
      case CMD_TO:
      case CMD_THRU: {
        if (match) {
          if (t.code == CMD_TO) set_ipos(t.iteration);
          pop_command();
          return RESULT;
        }
        if (t.iteration >= limit()) {
          set_ipos(t.start);
          pop_command();
          return RESULT;
        }
        ++t.iteration;
        set_ipos(t.iteration);
        set_pos(t.pos);
        match = true;
        trace(TRACE_ITERATE);
        return FETCH;
      }
      case CMD_COPY:
      case CMD_SET: {
        entry e = pop_command();
        if (match) {
          int32_t count = ipos() - e.start;
          if (e.code == CMD_COPY) {
            copy_part(e.start, count);
          } else if (count > 0) {
            unit_value(e.start);
          } else {
            value = none::none_value;
          }
          set_word_at(e.aux);
        }
        return RESULT;
      }
      case CMD_NOT:
      case CMD_AHEAD: {
        entry e = pop_command();
        set_ipos(e.start);
        if (e.code == CMD_NOT) match = !match;
        return RESULT;
      }
      case CMD_INTO: {
        bool reached = ipos() >= abs_length(input());
        block::rs_truncate(series_stack, abs_length(series_stack) - 1);
        enter_input();
        entry e = pop_command();
        match = match && reached;
        set_ipos(match ? e.start + 1 : e.start);
        return RESULT;
      }
      case CMD_REMOVE: {
        entry e = pop_command();
        if (match) {
          remove_part(e.start, ipos() - e.start);
          set_ipos(e.start);
        }
        return RESULT;
      }
      case CMD_COLLECT:
        return end_collect();
      case CMD_KEEP: {
        if (match) keep_part(t.start, t.aux != 0);
        pop_command();
        return RESULT;
      }
      case CMD_CASE:
        case_op = t.aux;
        pop_command();
        return RESULT;
      case CMD_CHANGE:
      case CMD_CHANGE_ONLY: {
        entry e = pop_command();
        if (pos() >= block_length() || any_path_q(TYPE_OF(rule_at(pos()))))
          fire(err::script_parse_rule, {pos() < block_length() ? *rule_at(pos()) : *words::word_change});
        cell v = *rule_at(pos());
        set_pos(pos() + 1);
        if (match) {
          operand(v);
          change_part(e.start, ipos() - e.start, e.code == CMD_CHANGE_ONLY);
        }
        return RESULT;
      }
      default:
        return RESULT;
    }
  }

  state repeat() {
    entry& t = entries.back();
    if (breaking) {
      breaking = false;
      if (!match) set_ipos(t.start);
      pop_command();
      return RESULT;
    }
    if (match) {
      ++t.count;
      bool advanced = ipos() != t.iteration || abs_length(input()) < t.length;
      if (t.count < t.max && (t.code == CMD_WHILE || advanced)) {
        t.iteration = ipos();
        t.length = abs_length(input());
        set_pos(t.pos);
        trace(TRACE_ITERATE);
        return FETCH;
      }
    } else {
      set_ipos(std::min(t.iteration, abs_length(input())));
    }
    match = t.count >= t.min;
    if (!match) set_ipos(std::min(t.start, abs_length(input())));
    pop_command();
    return RESULT;
  }

  // The value a rule stands for, looked at without running anything: a
  // word that is no keyword stands for the value it holds; nullptr for a
  // keyword or a word without a value.
  static const cell* rule_value(const cell* r) {
    if (TYPE_OF(r) != TYPE_WORD) return r;
    return code_of(r) == KW_OTHER ? context::peek(r) : nullptr;
  }

  // Whether the block `blk` would fail where the input is, told without
  // opening it: its first rule is a character (case strict) or a bitset,
  // or a word holding one, that the next unit of a string input does not
  // match, and no alternative follows. Untraced only (a trace sees the
  // block open), and only when the block, above `pending` more cells,
  // would fit on the rule stack.
  bool fails_at_once(const cell& blk, int32_t pending = 0) {
    if (events != 0 || !in_string) return false;
    const memory::series_buffer* b = memory::GET_BUFFER(&blk);
    const cell* rules = memory::head_of<cell>(b);
    int32_t index = static_cast<int32_t>(blk.data1), length = static_cast<int32_t>((b->tail - b->head) / sizeof(cell));
    if (index >= length) return false;
    const cell* first = rule_value(&rules[index]);
    if (!first) return false;
    int32_t n = ipos();
    bool more = n < limit();
    if (TYPE_OF(first) == TYPE_CHAR && case_op == CASE_STRICT) {
      if (more && unit_of(n) == first->data2) return false;
    } else if (TYPE_OF(first) == TYPE_BITSET) {
      if (more && in_bitset(first, unit_of(n))) return false;
    } else {
      return false;
    }
    for (int32_t p = index + 1; p < length; ++p)
      if (keyword_q(&rules[p], KW_BAR)) return false;
    return stack_cells - rule_base + pending + 1 < STACK_LIMIT;
  }
  // The same for the rule of a repeat, a block or a word holding one,
  // whose command would take a cell.
  bool block_fails_at_once(const cell* v) {
    if (events != 0 || !in_string || !(v = rule_value(v))) return false;
    return TYPE_OF(v) == TYPE_BLOCK && fails_at_once(*v, 1);
  }

  // A repetition of a bitset over a string, or of a character when case
  // matters, untraced, is matched here in one loop over the units, with
  // the outcome the iterations of the repeat command would reach: at least
  // `min` and at most `max` units that match, the input left after them,
  // or at the start when fewer than `min` matched. Answers false, having
  // done nothing, for any other repetition; on true the rule is consumed
  // and the match flag set.
  bool unit_run(int32_t min, int32_t max) {
    if (events != 0 || !in_string) return false;
    const cell* r = rule_value(rule_at(rule_pos));
    if (!r) return false;
    if (TYPE_OF(r) == TYPE_BITSET) {
      const memory::series_buffer* bits = memory::GET_BUFFER(r);
      const uint8_t* members = memory::head_of<uint8_t>(bits);
      uint32_t bytes = bits->tail - bits->head;
      bool beyond = (bits->flags & bitset::COMPLEMENTED) != 0;
      return run_of_units(min, max, [&](uint32_t n) {
        return (n >> 3) >= bytes ? beyond : (members[n >> 3] & (0x80u >> (n & 7))) != 0;
      });
    }
    if (TYPE_OF(r) == TYPE_CHAR && case_op == CASE_STRICT) {
      uint32_t wanted = r->data2;
      return run_of_units(min, max, [&](uint32_t n) { return n == wanted; });
    }
    return false;
  }

  template <class Member>
  bool run_of_units(int32_t min, int32_t max, Member member) {
    cell* s = input();
    int32_t start = static_cast<int32_t>(s->data1), end = limit();
    int32_t stop = static_cast<int64_t>(end) - start > max ? start + max : end;
    const memory::series_buffer* text = memory::GET_BUFFER(s);
    uint32_t unit = memory::GET_UNIT(text);
    const uint8_t* head = memory::head_of<uint8_t>(text);
    int32_t n = start;
    if (unit == 1) {
      while (n < stop && member(head[n])) ++n;
    } else {
      while (n < stop && member(string::get_char(head + static_cast<int64_t>(n) * unit, unit))) ++n;
    }
    set_pos(pos() + 1);
    match = n - start >= min;
    s->data1 = static_cast<uint32_t>(match ? n : start);
    return true;
  }

  state end_collect() {
    entry e = entries.back();
    value = e.held;
    int32_t word_at = e.min;
    pop_command();
    collect_top = e.outer;
    if (e.aux == COLLECT_SET) {
      set_word_at(word_at);
    } else if (e.aux == COLLECT_PLAIN) {
      int32_t outer = collect_top;
      if (outer >= 0) {
        add_to_collection(outer, false);
      } else {
        collected = value;
        has_result = true;
      }
    }
    return RESULT;
  }

  // ---- Matching one value -------------------------------------------------------

  // A datatype or typeset rule at the input position.
  bool match_type(const cell& type) {
    auto fits = [&](uint32_t t) {
      return TYPE_OF(&type) == TYPE_DATATYPE ? type.data1 == t : typeset::has_q(&type, t);
    };
    int32_t n = ipos(), end = limit();
    switch (kind_of(input())) {
      case INPUT_STRING:
        fire(err::script_parse_unsupported);
      case INPUT_BLOCK:
        if (n >= end || !fits(TYPE_OF(unit_at(n)))) return false;
        set_ipos(n + 1);
        return true;
      case INPUT_BINARY: {
        if (n >= end) return false;
        // The lexer reads text outside the arena: values it makes move buffers.
        const uint8_t* head = memory::head_of<uint8_t>(memory::GET_BUFFER(input()));
        std::vector<uint8_t> text(head + n, head + end);
        lexer::scan_mode mode;
        mode.one = true;
        mode.store = false;
        int32_t consumed = 0;
        int32_t t = lexer::scan(&work, text.data(), static_cast<int32_t>(text.size()), mode, &consumed, nullptr,
                                nullptr, nullptr);
        if (t < 0) t = TYPE_ERROR;
        if (t == 0 || consumed <= 0 || !fits(static_cast<uint32_t>(t))) return false;
        set_ipos(n + std::min(consumed, end - n));
        return true;
      }
    }
    return false;
  }

  bool match_literal(const cell& v) {
    int32_t n = ipos(), end = limit();
    uint32_t t = TYPE_OF(&v);
    switch (kind_of(input())) {
      case INPUT_BLOCK: {
        if (n >= end) return false;
        cell here = *unit_at(n);
        if (!actions::compare(&here, &v, case_op)) return false;
        set_ipos(n + 1);
        return true;
      }
      case INPUT_STRING: {
        if (t == TYPE_BITSET) {
          if (n >= end || !in_bitset(&v, unit_of(n))) return false;
          set_ipos(n + 1);
          return true;
        }
        int32_t length;
        if (t == TYPE_CHAR && case_op == CASE_STRICT) {
          if (n >= end || unit_of(n) != v.data2) return false;
          set_ipos(n + 1);
          return true;
        }
        if (t == TYPE_CHAR) length = 1;
        else if (t == TYPE_TAG) length = string::rs_length_q(&v) + 2;
        else if (any_string_q(t)) length = string::rs_length_q(&v);
        else return false;
        if (n + length > end) return false;
        cell here = *input();
        here.data1 = static_cast<uint32_t>(n);
        if (length > 0 && !string::match_value_q(&here, &v, case_op)) return false;
        set_ipos(n + length);
        return true;
      }
      case INPUT_BINARY:
        return match_bytes(v, n, end);
    }
    return false;
  }

  // A literal on binary input: a bitset tests one byte; a binary, a
  // string (as UTF-8, ASCII letters folded unless strict), a char (as
  // UTF-8) or an integer 0-255 match their bytes.
  bool match_bytes(const cell& v, int32_t n, int32_t end) {
    uint32_t t = TYPE_OF(&v);
    if (t == TYPE_BITSET) {
      if (n >= end || !in_bitset(&v, binary::rs_abs_at(input(), n))) return false;
      set_ipos(n + 1);
      return true;
    }
    std::vector<uint8_t> wanted;
    bool fold = false;
    if (t == TYPE_BINARY) {
      cell b = v;
      wanted.assign(binary::rs_head(&b), binary::rs_tail(&b));
    } else if (any_string_q(t)) {
      work = v;
      int32_t length = -1;
      const char* text = unicode::to_utf8(&work, length);
      wanted.assign(text, text + length);
      if (t == TYPE_TAG) {
        wanted.insert(wanted.begin(), '<');
        wanted.push_back('>');
      }
      fold = case_op != CASE_STRICT;
    } else if (t == TYPE_CHAR) {
      uint8_t bytes[4];
      int32_t length = unicode::cp_to_utf8(v.data2, bytes);
      wanted.assign(bytes, bytes + length);
    } else if (t == TYPE_INTEGER && v.data2 <= 255) {
      wanted.push_back(static_cast<uint8_t>(v.data2));
    } else {
      return false;
    }
    int32_t length = static_cast<int32_t>(wanted.size());
    if (n + length > end) return false;
    const uint8_t* here = memory::head_of<uint8_t>(memory::GET_BUFFER(input())) + n;
    auto lower = [](uint8_t c) { return c >= 'A' && c <= 'Z' ? static_cast<uint8_t>(c + 32) : c; };
    for (int32_t i = 0; i < length; ++i)
      if (fold ? lower(here[i]) != lower(wanted[i]) : here[i] != wanted[i]) return false;
    set_ipos(n + length);
    return true;
  }

  // ---- The loop --------------------------------------------------------------------

  void run() {
    state s = push_block(top_rules);
    while (!stopped) {
      if (s == FETCH) {
        s = fetch();
      } else if (s == RESULT) {
        // A rule of an open block matched: the block goes on.
        bool next_rule = match && !breaking && entries.back().code == OPEN_BLOCK;
        s = next_rule ? FETCH : result();
      } else {
        if (match && ipos() < limit()) match = false;
        trace(TRACE_END);
        return;
      }
    }
  }
};

// The collector's root callback: the rule blocks and collections the
// running parses hold.
void mark_engines() {
  for (engine* e = running; e; e = e->outer_engine)
    for (entry& x : e->entries)
      if (x.code == OPEN_BLOCK || x.code == CMD_COLLECT) collector::mark_values(&x.held, &x.held + 1);
}

}  // namespace

void process(cell* result, const cell* input, const cell* rules, int32_t case_, int32_t limit,
             const cell* callback) {
  stack_restore restore;
  engine e;
  e.case_op = case_;
  e.part_limit = limit;
  e.series_base = abs_length(series_stack);
  // The rule stack of a parse running inside another starts above the
  // cells the outer one stands for, written or not.
  e.rule_base = e.outer_engine ? e.outer_engine->stack_cells : abs_length(rule_stack);
  e.stack_cells = e.rule_base;
  if (callback && TYPE_OF(callback) != TYPE_NONE) {
    e.callback = *callback;
    e.events = events_of(callback);
  }
  e.top_rules = *rules;
  e.value = *input;
  e.push_series(e.value);
  e.enter_input();
  e.run();
  *result = e.has_result && !e.stopped ? e.collected : logic::make_cell(e.match);
}

void init() {
  static bool registered = false;
  if (!registered) {
    collector::register_root(mark_engines);
    registered = true;
  }
  running = nullptr;
  rule_stack_shown = false;
  cell c{TYPE_NONE, 0, 0, 0};
  block::make_at(&c, 8);
  series_stack = root::append(c);
  block::make_at(&c, 100);
  rule_stack = root::append(c);
  word::make_at(words::sym_end, &c);
  word_end = root::append(c);
  canonical_codes.clear();
  word_codes.clear();
  const std::pair<int32_t, keyword_code> keywords[] = {
      {words::sym_bar, KW_BAR},         {words::sym_skip, KW_SKIP},     {words::sym_any, KW_ANY},
      {words::sym_some, KW_SOME},       {words::sym_opt, KW_OPT},       {words::sym_while, KW_WHILE},
      {words::sym_to, KW_TO},           {words::sym_thru, KW_THRU},     {words::sym_copy, KW_COPY},
      {words::sym_set, KW_SET},         {words::sym_end, KW_END},       {words::sym_break, KW_BREAK},
      {words::sym_reject, KW_REJECT},   {words::sym_fail, KW_FAIL},     {words::sym_none, KW_NONE},
      {words::sym_not, KW_NOT},         {words::sym_ahead, KW_AHEAD},   {words::sym_into, KW_INTO},
      {words::sym_collect, KW_COLLECT}, {words::sym_keep, KW_KEEP},     {words::sym_quote, KW_QUOTE},
      {words::sym_if, KW_IF},           {words::sym_case, KW_CASE},     {words::sym_remove, KW_REMOVE},
      {words::sym_insert, KW_INSERT},   {static_cast<int32_t>(words::word_change->data2), KW_CHANGE},
      {words::sym_pick, KW_PICK},       {words::sym_only, KW_ONLY},     {words::sym_after, KW_AFTER},
  };
  for (auto [sym, code] : keywords) {
    auto canonical = static_cast<size_t>(symbol::resolve(sym));
    if (canonical >= canonical_codes.size()) canonical_codes.resize(canonical + 1, KW_UNKNOWN);
    canonical_codes[canonical] = code;
  }
}

}  // namespace ixo::parse
