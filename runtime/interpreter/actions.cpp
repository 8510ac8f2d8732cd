// Action dispatch: the lookup of a type's implementation, the typed
// entries that runtime code calls with cells and integers, the compare
// dispatcher, and the stack-facing dispatchers that action! values call
// with their arguments on the value stack.
//
// A dispatcher reads its argument cells from the argument base and turns
// each refinement integer into what the implementations take: for a
// refinement with an argument the address of that argument's cell (for an
// absent one the cell just below the argument base, which stack::given_q
// reads as not given), for one without a flag. The implementation's answer
// is copied into the result slot.
#include "runtime/interpreter/actions.hpp"

#include <algorithm>

#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/context.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/logic.hpp"
#include "runtime/datatypes/none.hpp"
#include "runtime/datatypes/port.hpp"
#include "runtime/datatypes/series.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/datatypes/words.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/roots.hpp"
#include "runtime/memory/series_buffer.hpp"
#include "startup/system/runtime_error.hpp"

namespace ixo::actions {

action_dispatcher dispatchers[ACTION_COUNT + 1] = {};

namespace {

// The word of the innermost call and the first argument word of its
// function's spec (none when the word holds no function), for the error of
// an unsupported action.
void call_and_argument(cell* call, cell* argument) {
  stack::find_call_frame(call);
  *argument = cell{TYPE_NONE, 0, 0, 0};
  if (TYPE_OF(call) != TYPE_WORD || call->data1 == 0) return;
  const cell* value = context::get_in(static_cast<int32_t>(call->data2), call->data1);
  if (!value) return;
  uint32_t t = TYPE_OF(value);
  if (t != TYPE_NATIVE && t != TYPE_ACTION && t != TYPE_FUNCTION && t != TYPE_ROUTINE) return;
  cell spec{TYPE_BLOCK, 0, value->data2, 0};
  for (int32_t i = 0; i < series::rs_abs_length_q(&spec); ++i) {
    const cell* c = block::rs_abs_at(&spec, i);
    if (TYPE_OF(c) == TYPE_WORD || TYPE_OF(c) == TYPE_LIT_WORD || TYPE_OF(c) == TYPE_GET_WORD) {
      *argument = *c;
      argument->header = TYPE_WORD;
      return;
    }
  }
}

}  // namespace

action_entry get_action(uint32_t type, int32_t index) {
  action_entry e = datatype::entry_of(type, index);
  if (!e) {
    cell call{}, argument{};
    memory::root_guard keep_call(&call), keep_argument(&argument);
    if (stack::bottom) call_and_argument(&call, &argument);
    else call = argument = cell{TYPE_NONE, 0, 0, 0};
    fire(err::script_expect_arg, {call, cell{TYPE_DATATYPE, type, 0, 0}, argument});
  }
  return e;
}

action_entry get_action(const cell* value, int32_t index) {
  if (TYPE_OF(value) == TYPE_PORT && index >= ACT_APPEND) {
    if (action_entry e = port::native_action(value, index)) return e;
  }
  return get_action(TYPE_OF(value), index);
}

int32_t get_index_arg(const cell* index) {
  switch (TYPE_OF(index)) {
    case TYPE_LOGIC: return index->data1 ? 1 : 2;
    case TYPE_INTEGER:
    case TYPE_CHAR: return static_cast<int32_t>(index->data2);
    default: return 0;
  }
}

namespace {

// The implementation of action `index` for the type of `value`.
template <class F>
F action_for(const cell* value, int32_t index) {
  return reinterpret_cast<F>(get_action(value, index));
}

// The type make and to build: the one a datatype! proto names.
uint32_t target_type(const cell* proto) {
  return TYPE_OF(proto) == TYPE_DATATYPE ? proto->data1 : TYPE_OF(proto);
}

}  // namespace

// ---- Typed entries --------------------------------------------------------------

cell* make(cell* proto, cell* spec) {
  uint32_t type = target_type(proto);
  return reinterpret_cast<make_fn>(get_action(type, ACT_MAKE))(proto, spec, static_cast<int32_t>(type));
}

cell* to(cell* proto, cell* spec) {
  uint32_t type = target_type(proto);
  return reinterpret_cast<make_fn>(get_action(type, ACT_TO))(proto, spec, static_cast<int32_t>(type));
}

cell* random(cell* value, int32_t seed, int32_t secure, int32_t only) {
  return action_for<random_fn>(value, ACT_RANDOM)(value, seed, secure, only);
}

cell* reflect(cell* value, cell* field) { return action_for<reflect_fn>(value, ACT_REFLECT)(value, field); }

int32_t form(cell* value, cell* buffer, cell* arg, int32_t part) {
  return action_for<form_fn>(value, ACT_FORM)(value, buffer, arg, part);
}

int32_t mold(cell* value, cell* buffer, int32_t only, int32_t all, int32_t flat, cell* arg,
             int32_t part, int32_t indent) {
  return action_for<mold_fn>(value, ACT_MOLD)(value, buffer, only, all, flat, arg, part, indent);
}

cell* eval_path(cell* parent, cell* element, cell* value, cell* path, cell* grand_parent,
                cell* previous, int32_t index, int32_t case_, int32_t get, int32_t last,
                int32_t notify) {
  auto f = action_for<eval_path_fn>(parent, ACT_EVAL_PATH);
  return f(parent, element, value, path, grand_parent, previous, index, case_, get, last, notify);
}

cell* negate(cell* value) { return action_for<negate_fn>(value, ACT_NEGATE)(value); }

cell* round(cell* value, cell* scale, int32_t even, int32_t down, int32_t half_down,
            int32_t floor, int32_t ceiling, int32_t half_ceiling) {
  auto f = action_for<round_fn>(value, ACT_ROUND);
  return f(value, scale, even, down, half_down, floor, ceiling, half_ceiling);
}

bool even_q(cell* value) { return action_for<even_q_fn>(value, ACT_EVEN_Q)(value); }
bool odd_q(cell* value) { return action_for<odd_q_fn>(value, ACT_ODD_Q)(value); }
cell* complement(cell* value) { return action_for<complement_fn>(value, ACT_COMPLEMENT)(value); }

cell* append(cell* series, cell* value, int32_t part, int32_t only, int32_t dup) {
  return action_for<insert_fn>(series, ACT_APPEND)(series, value, part, only, dup, 1);
}

cell* insert(cell* series, cell* value, int32_t part, int32_t only, int32_t dup) {
  return action_for<insert_fn>(series, ACT_INSERT)(series, value, part, only, dup, 0);
}

cell* change(cell* series, cell* value, int32_t part, int32_t only, int32_t dup) {
  return action_for<change_fn>(series, ACT_CHANGE)(series, value, part, only, dup);
}

cell* clear(cell* series) { return action_for<clear_fn>(series, ACT_CLEAR)(series); }

cell* copy(cell* series, cell* result, cell* part, int32_t deep, cell* types) {
  return action_for<copy_fn>(series, ACT_COPY)(series, result, part, deep, types);
}

cell* find(cell* series, cell* value, cell* part, int32_t only, int32_t case_, int32_t same,
           int32_t any, cell* with, cell* skip, int32_t last, int32_t reverse, int32_t tail,
           int32_t match) {
  auto f = action_for<find_fn>(series, ACT_FIND);
  return f(series, value, part, only, case_, same, any, with, skip, last, reverse, tail, match);
}

int32_t length_q(cell* value) { return action_for<length_q_fn>(value, ACT_LENGTH_Q)(value); }

cell* move(cell* origin, cell* target, cell* part) {
  return action_for<move_fn>(origin, ACT_MOVE)(origin, target, part);
}

cell* pick(cell* series, cell* index) {
  return action_for<pick_fn>(series, ACT_PICK)(series, get_index_arg(index), index);
}

cell* poke(cell* series, cell* index, cell* value) {
  return action_for<poke_fn>(series, ACT_POKE)(series, get_index_arg(index), value, index);
}

cell* put(cell* series, cell* key, cell* value, int32_t case_) {
  return action_for<put_fn>(series, ACT_PUT)(series, key, value, case_);
}

cell* remove(cell* series, cell* part, cell* key) {
  return action_for<remove_fn>(series, ACT_REMOVE)(series, part, key);
}

cell* reverse(cell* series, cell* part, cell* skip) {
  return action_for<reverse_fn>(series, ACT_REVERSE)(series, part, skip);
}

cell* select(cell* series, cell* value, cell* part, int32_t only, int32_t case_, int32_t same,
             int32_t any, cell* with, cell* skip, int32_t last, int32_t reverse) {
  auto f = action_for<select_fn>(series, ACT_SELECT);
  return f(series, value, part, only, case_, same, any, with, skip, last, reverse);
}

cell* sort(cell* series, int32_t case_, cell* skip, cell* comparator, cell* part, int32_t all,
           int32_t reverse, int32_t stable) {
  auto f = action_for<sort_fn>(series, ACT_SORT);
  return f(series, case_, skip, comparator, part, all, reverse, stable);
}

cell* swap(cell* series1, cell* series2) { return action_for<swap_fn>(series1, ACT_SWAP)(series1, series2); }

cell* take(cell* series, cell* part, int32_t deep, int32_t last) {
  return action_for<take_fn>(series, ACT_TAKE)(series, part, deep, last);
}

cell* trim(cell* series, int32_t head, int32_t tail, int32_t auto_, int32_t lines, int32_t all,
           cell* with) {
  return action_for<trim_fn>(series, ACT_TRIM)(series, head, tail, auto_, lines, all, with);
}

cell* create(cell* port) { return action_for<port_fn>(port, ACT_CREATE)(port); }
cell* close(cell* port) { return action_for<port_fn>(port, ACT_CLOSE)(port); }
cell* delete_(cell* port) { return action_for<port_fn>(port, ACT_DELETE)(port); }

cell* modify(cell* target, cell* field, cell* value, int32_t case_) {
  return action_for<modify_fn>(target, ACT_MODIFY)(target, field, value, case_);
}

cell* open(cell* port, int32_t new_, int32_t read, int32_t write, int32_t seek, cell* allow) {
  return action_for<open_fn>(port, ACT_OPEN)(port, new_, read, write, seek, allow);
}

cell* open_q(cell* port) { return action_for<port_fn>(port, ACT_OPEN_Q)(port); }
cell* query(cell* port) { return action_for<port_fn>(port, ACT_QUERY)(port); }

cell* read(cell* source, cell* part, cell* seek, int32_t binary, int32_t lines, int32_t info,
           cell* as) {
  return action_for<read_fn>(source, ACT_READ)(source, part, seek, binary, lines, info, as);
}

cell* rename(cell* from, cell* to) { return action_for<rename_fn>(from, ACT_RENAME)(from, to); }
cell* update(cell* port) { return action_for<port_fn>(port, ACT_UPDATE)(port); }

cell* write(cell* destination, cell* data, int32_t binary, int32_t lines, int32_t info,
            int32_t append, cell* part, cell* seek, cell* allow, cell* as) {
  auto f = action_for<write_fn>(destination, ACT_WRITE);
  return f(destination, data, binary, lines, info, append, part, seek, allow, as);
}

// ---- Comparison ---------------------------------------------------------------

int32_t compare_raw(const cell* value1, const cell* value2, int32_t op) {
  return action_for<compare_fn>(value1, ACT_COMPARE)(value1, value2, op);
}

bool compare(const cell* value1, const cell* value2, int32_t op) {
  int32_t answer = compare_raw(value1, value2, op);
  switch (op) {
    case COMP_EQUAL:
    case COMP_STRICT_EQUAL:
    case COMP_SAME:
    case COMP_EQUAL_10:
    case COMP_EQUAL_11:
    case COMP_FIND:
      return answer == 0;
    case COMP_NOT_EQUAL:
      return answer != 0;
    default:
      break;
  }
  if (answer == COMPARE_NONE) fire(err::script_invalid_compare, {*value1, *value2});
  switch (op) {
    case COMP_LESSER: return answer < 0;
    case COMP_LESSER_EQUAL: return answer <= 0;
    case COMP_GREATER: return answer > 0;
    case COMP_GREATER_EQUAL: return answer >= 0;
    default:
      NO_SWITCH_MATCH();
  }
}

void compare_args(int32_t op) {
  bool answer = compare(stack::arguments, stack::arguments + 1, op);
  stack::set_last(logic::make_cell(answer));
}

// ---- Stack-facing dispatchers ---------------------------------------------------

namespace {

// Argument k from the argument base.
inline cell* arg(int32_t k) { return stack::arguments + k; }
// A refinement with an argument: its argument cell, or the cell below the
// argument base when the refinement was not used.
inline cell* ref(const int32_t* refinements, int32_t r) { return stack::arguments + refinements[r]; }
// A refinement without argument.
inline int32_t flag(const int32_t* refinements, int32_t r) { return refinements[r] >= 0 ? 1 : 0; }

inline void answer(const cell* result) { stack::set_last(*result); }

// The series types whose values keep a buffer that a /part limit can count
// in: any block or path, hash!, any string, binary!, vector!, image!, map!.
bool buffer_series_q(uint32_t type) {
  switch (type) {
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_PATH: case TYPE_LIT_PATH: case TYPE_SET_PATH:
    case TYPE_GET_PATH: case TYPE_HASH: case TYPE_STRING: case TYPE_FILE: case TYPE_URL:
    case TYPE_TAG: case TYPE_EMAIL: case TYPE_REF: case TYPE_BINARY: case TYPE_VECTOR:
    case TYPE_IMAGE: case TYPE_MAP:
      return true;
    default:
      return false;
  }
}

// A /part limit as a length from the index of `series`; a limit before the
// index is an empty range.
int32_t part_length(const cell* series, const cell* limit) {
  int64_t length = series::part_length(series, static_cast<int32_t>(series->data1), limit);
  return static_cast<int32_t>(std::clamp<int64_t>(length, 0, INT32_MAX));
}

// The /part of append and insert limits the value inserted, which must then
// be a series with a buffer; its index is first brought back to its tail.
int32_t insert_part(cell* value, const cell* limit) {
  if (!buffer_series_q(TYPE_OF(value))) fire(err::script_invalid_part, {*limit});
  uint32_t tail = static_cast<uint32_t>(series::rs_abs_length_q(value));
  if (value->data1 > tail) value->data1 = tail;
  return part_length(value, limit);
}

// append, insert: series value /part length /only /dup count.
template <int32_t Action>
void insert_dispatch(const int32_t* refinements) {
  cell* series = arg(0);
  cell* value = arg(1);
  int32_t part = refinements[0] >= 0 ? insert_part(value, ref(refinements, 0)) : -1;
  int32_t dup = refinements[2] >= 0 ? integer::get(ref(refinements, 2)) : 1;
  auto f = action_for<insert_fn>(series, Action);
  answer(f(series, value, part, flag(refinements, 1), dup, Action == ACT_APPEND ? 1 : 0));
}

// change: series value /part range /only /dup count; the range counts the
// elements of the series replaced.
void change_dispatch(const int32_t* refinements) {
  cell* series = arg(0);
  int32_t part = refinements[0] >= 0 ? part_length(series, ref(refinements, 0)) : -1;
  int32_t dup = refinements[2] >= 0 ? integer::get(ref(refinements, 2)) : 1;
  answer(change(series, arg(1), part, flag(refinements, 1), dup));
}

// copy: value /part range /deep /types kind.
void copy_dispatch(const int32_t* refinements) {
  cell* types = ref(refinements, 2);
  if (refinements[2] >= 0 && TYPE_OF(types) != TYPE_DATATYPE && TYPE_OF(types) != TYPE_TYPESET) {
    cell word = error_word("copy");
    cell argument = error_word("kind");
    fire(err::script_expect_arg, {word, datatype::make_cell(TYPE_OF(types)), argument});
  }
  cell* series = arg(0);
  answer(copy(series, series, ref(refinements, 0), flag(refinements, 1), types));
}

// form and mold into a new string pushed above the result slot. With /part
// the text is cut to the limit; a limit below 1 gives "" without forming.
template <bool Mold>
void form_dispatch(const int32_t* refinements) {
  int32_t part_ref = Mold ? 3 : 0;
  bool limited = refinements[part_ref] >= 0;
  cell* limit_arg = ref(refinements, part_ref);
  int32_t limit = limited ? integer::get(limit_arg) : INT32_MAX;
  cell* buffer = stack::push_slot();
  string::rs_make_at(buffer, 16);
  if (limit >= 1) {
    if (Mold) {
      mold(arg(0), buffer, flag(refinements, 0), flag(refinements, 1), flag(refinements, 2), limit_arg,
           limit, 0);
    } else {
      form(arg(0), buffer, limit_arg, limit);
    }
    if (limited) string::truncate_at(memory::GET_BUFFER(buffer), limit);
  }
  answer(buffer);
}

// The arithmetic, bitwise and navigation actions: the implementation reads
// its arguments and writes its result itself.
template <int32_t Action>
void stack_dispatch(const int32_t*) {
  action_for<stack_action_fn>(arg(0), Action)();
}

void make_dispatch(const int32_t*) { answer(make(arg(0), arg(1))); }
void to_dispatch(const int32_t*) { answer(to(arg(0), arg(1))); }

void random_dispatch(const int32_t* r) {
  answer(random(arg(0), flag(r, 0), flag(r, 1), flag(r, 2)));
}

void reflect_dispatch(const int32_t*) { answer(reflect(arg(0), arg(1))); }

// eval-path: parent element /set value; one path step outside any path.
void eval_path_dispatch(const int32_t* r) {
  cell* none = &none::none_value;
  cell* value = r[0] >= 0 ? ref(r, 0) : nullptr;
  answer(eval_path(arg(0), arg(1), value, none, none, none, 0, 0, 0, 1, 0));
}

// compare: value1 value2 code, the code an integer!.
void compare_dispatch(const int32_t*) { compare_args(integer::get(arg(2))); }

void negate_dispatch(const int32_t*) { answer(negate(arg(0))); }

void round_dispatch(const int32_t* r) {
  answer(round(arg(0), ref(r, 0), flag(r, 1), flag(r, 2), flag(r, 3), flag(r, 4), flag(r, 5), flag(r, 6)));
}

void even_q_dispatch(const int32_t*) { stack::set_last(logic::make_cell(even_q(arg(0)))); }
void odd_q_dispatch(const int32_t*) { stack::set_last(logic::make_cell(odd_q(arg(0)))); }
void complement_dispatch(const int32_t*) { answer(complement(arg(0))); }
void clear_dispatch(const int32_t*) { answer(clear(arg(0))); }

// find: series value /part /only /case /same /any /with /skip /last
// /reverse /tail /match.
void find_dispatch(const int32_t* r) {
  answer(find(arg(0), arg(1), ref(r, 0), flag(r, 1), flag(r, 2), flag(r, 3), flag(r, 4), ref(r, 5),
              ref(r, 6), flag(r, 7), flag(r, 8), flag(r, 9), flag(r, 10)));
}

void length_q_dispatch(const int32_t*) {
  int32_t n = length_q(arg(0));
  stack::set_last(n == -1 ? none::none_value : integer::make_cell(n));
}

void move_dispatch(const int32_t* r) { answer(move(arg(0), arg(1), ref(r, 0))); }
void pick_dispatch(const int32_t*) { answer(pick(arg(0), arg(1))); }
void poke_dispatch(const int32_t*) { answer(poke(arg(0), arg(1), arg(2))); }
void put_dispatch(const int32_t* r) { answer(put(arg(0), arg(1), arg(2), flag(r, 0))); }
void remove_dispatch(const int32_t* r) { answer(remove(arg(0), ref(r, 0), ref(r, 1))); }
void reverse_dispatch(const int32_t* r) { answer(reverse(arg(0), ref(r, 0), ref(r, 1))); }

// select: series value /part /only /case /same /any /with /skip /last /reverse.
void select_dispatch(const int32_t* r) {
  answer(select(arg(0), arg(1), ref(r, 0), flag(r, 1), flag(r, 2), flag(r, 3), flag(r, 4), ref(r, 5),
                ref(r, 6), flag(r, 7), flag(r, 8)));
}

// sort: series /case /skip size /compare comparator /part length /all
// /reverse /stable.
void sort_dispatch(const int32_t* r) {
  answer(sort(arg(0), flag(r, 0), ref(r, 1), ref(r, 2), ref(r, 3), flag(r, 4), flag(r, 5), flag(r, 6)));
}

void swap_dispatch(const int32_t*) { answer(swap(arg(0), arg(1))); }
void take_dispatch(const int32_t* r) { answer(take(arg(0), ref(r, 0), flag(r, 1), flag(r, 2))); }

// trim: series /head /tail /auto /lines /all /with str.
void trim_dispatch(const int32_t* r) {
  answer(trim(arg(0), flag(r, 0), flag(r, 1), flag(r, 2), flag(r, 3), flag(r, 4), ref(r, 5)));
}

void create_dispatch(const int32_t*) { answer(create(arg(0))); }
void close_dispatch(const int32_t*) { answer(close(arg(0))); }
void delete_dispatch(const int32_t*) { answer(delete_(arg(0))); }
void modify_dispatch(const int32_t* r) { answer(modify(arg(0), arg(1), arg(2), flag(r, 0))); }

// open: port /new /read /write /seek /allow access.
void open_dispatch(const int32_t* r) {
  answer(open(arg(0), flag(r, 0), flag(r, 1), flag(r, 2), flag(r, 3), ref(r, 4)));
}

void open_q_dispatch(const int32_t*) { answer(open_q(arg(0))); }
void query_dispatch(const int32_t*) { answer(query(arg(0))); }

// read: source /part length /seek index /binary /lines /info /as encoding.
void read_dispatch(const int32_t* r) {
  answer(read(arg(0), ref(r, 0), ref(r, 1), flag(r, 2), flag(r, 3), flag(r, 4), ref(r, 5)));
}

void rename_dispatch(const int32_t*) { answer(rename(arg(0), arg(1))); }
void update_dispatch(const int32_t*) { answer(update(arg(0))); }

// write: destination data /binary /lines /info /append /part length /seek
// index /allow access /as encoding.
void write_dispatch(const int32_t* r) {
  answer(write(arg(0), arg(1), flag(r, 0), flag(r, 1), flag(r, 2), flag(r, 3), ref(r, 4), ref(r, 5),
               ref(r, 6), ref(r, 7)));
}

}  // namespace

void init() {
  const action_dispatcher table[ACTION_COUNT] = {
      make_dispatch, random_dispatch, reflect_dispatch, to_dispatch, form_dispatch<false>,
      form_dispatch<true>, eval_path_dispatch, nullptr /* set-path */, compare_dispatch,
      stack_dispatch<ACT_ABSOLUTE>, stack_dispatch<ACT_ADD>, stack_dispatch<ACT_DIVIDE>,
      stack_dispatch<ACT_MULTIPLY>, negate_dispatch, stack_dispatch<ACT_POWER>,
      stack_dispatch<ACT_REMAINDER>, round_dispatch, stack_dispatch<ACT_SUBTRACT>, even_q_dispatch,
      odd_q_dispatch, stack_dispatch<ACT_AND_T>, complement_dispatch, stack_dispatch<ACT_OR_T>,
      stack_dispatch<ACT_XOR_T>, insert_dispatch<ACT_APPEND>, stack_dispatch<ACT_AT>,
      stack_dispatch<ACT_BACK>, change_dispatch, clear_dispatch, copy_dispatch, find_dispatch,
      stack_dispatch<ACT_HEAD>, stack_dispatch<ACT_HEAD_Q>, stack_dispatch<ACT_INDEX_Q>,
      insert_dispatch<ACT_INSERT>, length_q_dispatch, move_dispatch, stack_dispatch<ACT_NEXT>,
      pick_dispatch, poke_dispatch, put_dispatch, remove_dispatch, reverse_dispatch,
      select_dispatch, sort_dispatch, stack_dispatch<ACT_SKIP>, swap_dispatch,
      stack_dispatch<ACT_TAIL>, stack_dispatch<ACT_TAIL_Q>, take_dispatch, trim_dispatch,
      create_dispatch, close_dispatch, delete_dispatch, modify_dispatch, open_dispatch,
      open_q_dispatch, query_dispatch, read_dispatch, rename_dispatch, update_dispatch,
      write_dispatch,
  };
  for (int32_t i = 0; i < ACTION_COUNT; ++i) dispatchers[i + 1] = table[i];
}

}  // namespace ixo::actions
