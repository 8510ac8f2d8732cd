// port! (port.hpp): make from a spec and a registered scheme, form and
// mold, and the actions that go to the port's actor. The actor's function
// runs in a function-call frame named by the action's word, on the port
// and the action's arguments pushed in spec order.
#include "runtime/datatypes/port.hpp"

#include <initializer_list>

#include "runtime/core/cycles.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/context.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/function.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/logic.hpp"
#include "runtime/datatypes/none.hpp"
#include "runtime/datatypes/object.hpp"
#include "runtime/datatypes/words.hpp"
#include "runtime/interpreter/actions.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/interpreter.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/handles.hpp"
#include "runtime/memory/roots.hpp"

namespace ixo::port {

using memory::root_guard;

namespace {

// Positions in the system object and its templates.
constexpr int32_t SYSTEM_SCHEMES = 8;
constexpr int32_t SYSTEM_STANDARD = 13;
constexpr int32_t STANDARD_PORT = 1;       // the port template
constexpr int32_t STANDARD_URL_PARTS = 4;  // the template of port specs
constexpr int32_t SCHEME_ACTOR = 3;

// The words of the actions from append to write, naming the actor's
// functions and the frames they run in.
constexpr const char* action_names[NATIVE_ACTIONS] = {
    "append", "at", "back", "change", "clear", "copy", "find", "head", "head?", "index?",
    "insert", "length?", "move", "next", "pick", "poke", "put", "remove", "reverse", "select",
    "sort", "skip", "swap", "tail", "tail?", "take", "trim", "create", "close", "delete",
    "modify", "open", "open?", "query", "read", "rename", "update", "write",
};

// It may allocate: make it before copying any argument.
cell action_word(int32_t index) { return error_word(action_names[index - ACT_APPEND]); }

cell logic_of(bool v) { return logic::make_cell(v); }
cell none_cell() { return none::none_value; }
// A refinement's argument, or none! when the refinement was not used.
cell argument_or_none(const cell* arg) { return stack::given_q(arg) ? *arg : none_cell(); }
cell count_or_none(bool given, int32_t count) { return given ? integer::make_cell(count) : none_cell(); }

// Field `index` of an object, or none! when the value is no object or has
// fewer fields.
cell field_of(const cell* obj, int32_t index) {
  if (TYPE_OF(obj) != TYPE_OBJECT || object::count_words(obj) <= index) return none_cell();
  return object::get_values(obj)[index];
}

// Field `index` of a template in system/standard; none! while the system
// object or the template does not exist.
cell standard_template(int32_t index) {
  const cell* system = context::get_global(words::sym_system);
  if (!system) return none_cell();
  cell standard = field_of(system, SYSTEM_STANDARD);
  return field_of(&standard, index);
}

// The scheme object registered under the word in system/schemes, or none!.
cell find_scheme(const cell* name) {
  const cell* system = context::get_global(words::sym_system);
  if (!system) return none_cell();
  cell schemes = field_of(system, SYSTEM_SCHEMES);
  if (TYPE_OF(&schemes) != TYPE_BLOCK) return none_cell();
  return *block::select_word(&schemes, name, false);
}

// ---- Calling the actor -------------------------------------------------------

// The port's actor object: access/invalid-port when it has none.
const cell* get_actor(const cell* port) {
  if (object::count_words(port) <= FIELD_ACTOR) fire(err::access_invalid_port);
  const cell* actor = object::get_values(port) + FIELD_ACTOR;
  if (TYPE_OF(actor) != TYPE_OBJECT) fire(err::access_invalid_port);
  return actor;
}

// The actor's function for the action word: access/no-port-action with
// the word when the actor has none.
cell actor_function(const cell* actor, const cell* word) {
  const cell* f = object::select_word(actor, word);
  if (TYPE_OF(f) != TYPE_FUNCTION) fire(err::access_no_port_action, {*word});
  return *f;
}

// Makes the frame hold one cell per word of the function's context, as a
// call of the function would: arguments pushed beyond those its spec
// takes are dropped, those it takes and was not given are none!, and its
// locals start as a call starts them. The function reads its words from
// the frame, so none of them may lie above the top.
void fit_frame(const cell* function) {
  int32_t words = context::word_count(function->data1);
  int32_t locals = function::count_locals(function->data2, 0, false);
  cell* end = stack::arguments + (words - locals);
  if (stack::top > end) stack::top = end;
  while (stack::top < end) stack::push(none_cell());
  if (locals > 0) function::init_locals(locals);
}

// Runs the actor's function for the action word on the port and the
// argument cells; answers its result, the last pushed cell.
cell* do_action(const cell* word, const cell* port, std::initializer_list<cell> args = {}) {
  cell function = actor_function(get_actor(port), word);
  root_guard keep(&function);
  stack::mark_func(word, function.data1);
  stack::push(*port);
  for (const cell& a : args) stack::push(a);
  fit_frame(&function);
  interpreter::exec_function(&function, word, interpreter::CALLBACK_PORT);
  stack::unwind();
  return stack::top - 1;
}

// An action that passes nothing but the port.
template <int32_t Action>
cell* unary(cell* port) {
  cell word = action_word(Action);
  return do_action(&word, port);
}

// The navigation actions read their arguments at the argument base and
// leave their result in the result slot; at and skip pass their index on.
template <int32_t Action, bool WithIndex>
void navigate() {
  cell word = action_word(Action);
  cell* port = stack::arguments;
  cell* result = WithIndex ? do_action(&word, port, {port[1]}) : do_action(&word, port);
  stack::set_last(*result);
}

// ---- make, form, mold --------------------------------------------------------

// make port! from a spec object, or from any other spec applied to a copy
// of the port-spec template as make object! applies it. The spec object's
// first field names the scheme.
cell* make(cell*, cell* given_spec, int32_t) {
  cell spec = *given_spec, options{}, proto{}, name{}, actor{}, port{};
  root_guard keep_spec(&spec), keep_options(&options), keep_proto(&proto), keep_name(&name),
      keep_actor(&actor), keep_port(&port);
  if (TYPE_OF(&spec) == TYPE_OBJECT) {
    options = spec;
  } else {
    proto = standard_template(STANDARD_URL_PARTS);
    if (TYPE_OF(&proto) != TYPE_OBJECT) proto = datatype::make_cell(TYPE_OBJECT);
    options = *actions::make(&proto, &spec);
  }
  name = field_of(&options, 0);
  if (TYPE_OF(&name) != TYPE_WORD) fire(err::access_no_scheme, {spec});
  cell scheme = find_scheme(&name);
  if (TYPE_OF(&scheme) != TYPE_OBJECT) fire(err::access_unknown_scheme, {spec});
  actor = field_of(&scheme, SCHEME_ACTOR);
  if (TYPE_OF(&actor) != TYPE_OBJECT && TYPE_OF(&actor) != TYPE_HANDLE)
    fire(err::access_invalid_actor, {spec});

  proto = standard_template(STANDARD_PORT);
  if (TYPE_OF(&proto) != TYPE_OBJECT || object::count_words(&proto) <= FIELD_ACTOR)
    fire(err::access_invalid_port);
  object::copy_into(&proto, &port, false, nullptr, true);
  port.header = TYPE_PORT;  // a new port carries no header flags
  port.data2 = CLASS_PORT;
  *context::owner_cell(port.data1) = port;
  cell* fields = object::get_values(&port);
  fields[FIELD_SPEC] = options;
  fields[FIELD_SCHEME] = name;
  fields[FIELD_ACTOR] = actor;
  return stack::push(port);
}

// "make port! [", the fields as an object's, the indentation, "]".
int32_t mold(cell* port, cell* buffer, int32_t only, int32_t all, int32_t flat, cell* arg, int32_t part,
             int32_t indent) {
  if (cycles::find_q(port->data1)) return datatype::append_text(buffer, "make port! [...]", part);
  part = datatype::append_text(buffer, "make port! [", part);
  part = object::mold_fields(port, buffer, only, all, flat, arg, part, true, indent + 1, true);
  if (!flat && indent >= 1 && object::count_words(port) > 0)
    for (int32_t i = 0; i < indent; ++i) part = datatype::append_text(buffer, "    ", part);
  return datatype::append_text(buffer, "]", part);
}

int32_t form(cell* port, cell* buffer, cell* arg, int32_t part) {
  return mold(port, buffer, 0, 0, 0, arg, part, 0);
}

// ---- Series actions ------------------------------------------------------------

// append and insert: the actor's function of the action's own name.
cell* insert(cell* port, cell* value, int32_t part, int32_t only, int32_t dup, int32_t append) {
  cell word = action_word(append ? ACT_APPEND : ACT_INSERT);
  return do_action(&word, port,
                   {*value, logic_of(part >= 0), count_or_none(part >= 0, part), logic_of(only),
                    logic_of(dup > 1), count_or_none(dup > 1, dup)});
}

cell* change(cell* port, cell* value, int32_t part, int32_t only, int32_t dup) {
  cell word = action_word(ACT_CHANGE);
  return do_action(&word, port,
                   {*value, logic_of(part >= 0), count_or_none(part >= 0, part), logic_of(only),
                    logic_of(dup > 1), count_or_none(dup > 1, dup)});
}

cell* copy_part(cell* port, cell* part, int32_t deep, cell* types) {
  cell word = action_word(ACT_COPY);
  return do_action(&word, port,
                   {logic_of(stack::given_q(part)), argument_or_none(part), logic_of(deep),
                    logic_of(stack::given_q(types)), argument_or_none(types)});
}

cell* copy(cell* port, cell* result, cell* part, int32_t deep, cell* types) {
  *result = *copy_part(port, part, deep, types);
  return result;
}

cell* find(cell* port, cell* value, cell* part, int32_t only, int32_t case_, int32_t same, int32_t any,
           cell* with, cell* skip, int32_t last, int32_t reverse, int32_t tail, int32_t match) {
  cell word = action_word(ACT_FIND);
  return do_action(&word, port,
                   {*value, logic_of(stack::given_q(part)), argument_or_none(part), logic_of(only),
                    logic_of(case_), logic_of(same), logic_of(any), logic_of(stack::given_q(with)),
                    argument_or_none(with), logic_of(stack::given_q(skip)), argument_or_none(skip),
                    logic_of(last), logic_of(reverse), logic_of(tail), logic_of(match)});
}

cell* select(cell* port, cell* value, cell* part, int32_t only, int32_t case_, int32_t same, int32_t any,
             cell* with, cell* skip, int32_t last, int32_t reverse) {
  cell word = action_word(ACT_SELECT);
  return do_action(&word, port,
                   {*value, logic_of(stack::given_q(part)), argument_or_none(part), logic_of(only),
                    logic_of(case_), logic_of(same), logic_of(any), logic_of(stack::given_q(with)),
                    argument_or_none(with), logic_of(stack::given_q(skip)), argument_or_none(skip),
                    logic_of(last), logic_of(reverse)});
}

// The length the actor answers: an integer!, or none! (-1). Any other
// answer has no length to give and is refused.
int32_t length_q(cell* port) {
  cell* answer = unary<ACT_LENGTH_Q>(port);
  if (TYPE_OF(answer) == TYPE_NONE) return -1;
  if (TYPE_OF(answer) != TYPE_INTEGER) fire(err::script_invalid_arg, {*answer});
  return integer::get(answer);
}

cell* move(cell* port, cell* target, cell* part) {
  cell word = action_word(ACT_MOVE);
  return do_action(&word, port, {*target, logic_of(stack::given_q(part)), argument_or_none(part)});
}

cell* pick(cell* port, int32_t, cell* index) {
  cell word = action_word(ACT_PICK);
  return do_action(&word, port, {*index});
}

cell* poke(cell* port, int32_t, cell* data, cell* index) {
  cell word = action_word(ACT_POKE);
  return do_action(&word, port, {*index, *data});
}

// put and modify: the key (or field), the value, /case.
template <int32_t Action>
cell* put(cell* port, cell* key, cell* value, int32_t case_) {
  cell word = action_word(Action);
  return do_action(&word, port, {*key, *value, logic_of(case_)});
}

cell* remove(cell* port, cell* part, cell*) {
  cell word = action_word(ACT_REMOVE);
  return do_action(&word, port, {logic_of(stack::given_q(part)), argument_or_none(part)});
}

cell* reverse(cell* port, cell* part, cell*) {
  cell word = action_word(ACT_REVERSE);
  return do_action(&word, port, {logic_of(stack::given_q(part)), argument_or_none(part)});
}

cell* sort(cell* port, int32_t case_, cell* skip, cell* comparator, cell* part, int32_t all, int32_t reverse,
           int32_t stable) {
  cell word = action_word(ACT_SORT);
  return do_action(&word, port,
                   {logic_of(case_), logic_of(stack::given_q(skip)), argument_or_none(skip),
                    logic_of(stack::given_q(comparator)), argument_or_none(comparator),
                    logic_of(stack::given_q(part)), argument_or_none(part), logic_of(all),
                    logic_of(reverse), logic_of(stable)});
}

cell* swap(cell* port, cell* other) {
  cell word = action_word(ACT_SWAP);
  return do_action(&word, port, {*other});
}

cell* take(cell* port, cell* part, int32_t deep, int32_t last) {
  cell word = action_word(ACT_TAKE);
  return do_action(&word, port,
                   {logic_of(stack::given_q(part)), argument_or_none(part), logic_of(deep), logic_of(last)});
}

cell* trim(cell* port, int32_t head, int32_t tail, int32_t auto_, int32_t lines, int32_t all, cell* with) {
  cell word = action_word(ACT_TRIM);
  return do_action(&word, port,
                   {logic_of(head), logic_of(tail), logic_of(auto_), logic_of(lines), logic_of(all),
                    logic_of(stack::given_q(with)), argument_or_none(with)});
}

// ---- I/O actions ---------------------------------------------------------------

// open: /new /read /write /seek, then /allow and its access block.
cell* open(cell* port, int32_t new_, int32_t read, int32_t write, int32_t seek, cell* allow) {
  cell word = action_word(ACT_OPEN);
  return do_action(&word, port,
                   {logic_of(new_), logic_of(read), logic_of(write), logic_of(seek),
                    logic_of(stack::given_q(allow)), argument_or_none(allow)});
}

cell* rename(cell* port, cell* to) {
  cell word = action_word(ACT_RENAME);
  return do_action(&word, port, {*to});
}

// read: open (passing /seek on), copy with the /part limit, close; the
// copy is the answer. The other refinements are not passed on.
cell* read(cell* port, cell* part, cell* seek, int32_t, int32_t, int32_t, cell*) {
  bool seeking = stack::given_q(seek);
  open(port, 0, 0, 0, seeking, nullptr);
  cell* copied = copy_part(port, part, 0, nullptr);
  unary<ACT_CLOSE>(port);
  return copied;
}

// write: open for writing (passing /seek on), insert the data (with an
// integer! /part limit as its count), copy with the /part limit, close;
// the copy is the answer.
cell* write(cell* port, cell* data, int32_t, int32_t, int32_t, int32_t, cell* part, cell* seek, cell*, cell*) {
  bool seeking = stack::given_q(seek);
  bool counted = stack::given_q(part) && TYPE_OF(part) == TYPE_INTEGER;
  open(port, 0, 0, 1, seeking, nullptr);
  insert(port, data, counted ? integer::get(part) : -1, 0, 1, 0);
  cell* copied = copy_part(port, part, 0, nullptr);
  unary<ACT_CLOSE>(port);
  return copied;
}

}  // namespace

// ---- Native actors ---------------------------------------------------------------

action_entry native_action(const cell* port, int32_t index) {
  if (object::count_words(port) <= FIELD_ACTOR) return nullptr;
  const cell* actor = object::get_values(port) + FIELD_ACTOR;
  if (TYPE_OF(actor) != TYPE_HANDLE) return nullptr;
  // A handle that names no entry in use has no table: every action is
  // missing.
  const handles::handle_table& table = handles::table;
  int32_t h = static_cast<int32_t>(actor->data3);
  const action_entry* entries = nullptr;
  if (h >= 0 && h < table.capacity && !(table.entries[h].type & handles::HANDLE_FREE))
    entries = static_cast<const action_entry*>(table.entries[h].pointer);
  action_entry e = entries ? entries[index - ACT_APPEND] : nullptr;
  if (!e) fire(err::access_no_port_action);
  return e;
}

void init() {
  // clang-format off
  datatype::register_type(datatype_registration(TYPE_PORT, TYPE_OBJECT, "port!",
    /* make .. set-path */     make, unsupported, inherit, unsupported, form, mold, inherit, unsupported,
    /* compare .. remainder */ inherit, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* round .. xor~ */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* append .. head */       insert, navigate<ACT_AT, true>, navigate<ACT_BACK, false>, change, unary<ACT_CLEAR>, copy, find, navigate<ACT_HEAD, false>,
    /* head? .. poke */        navigate<ACT_HEAD_Q, false>, navigate<ACT_INDEX_Q, false>, insert, length_q, move, navigate<ACT_NEXT, false>, pick, poke,
    /* put .. tail */          put<ACT_PUT>, remove, reverse, select, sort, navigate<ACT_SKIP, true>, swap, navigate<ACT_TAIL, false>,
    /* tail? .. open */        navigate<ACT_TAIL_Q, false>, take, trim, unary<ACT_CREATE>, unary<ACT_CLOSE>, unary<ACT_DELETE>, put<ACT_MODIFY>, open,
    /* open? .. write */       unsupported, unary<ACT_QUERY>, read, rename, unary<ACT_UPDATE>, write));
  // clang-format on
}

}  // namespace ixo::port
