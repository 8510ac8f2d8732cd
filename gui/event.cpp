// event!: make from a spec block, field reads by path and pick, setting the
// type, form and mold ("event"), comparison (any two events are equal,
// none are ordered), and the routines event?, send-event-os, find-flag?.
#include "gui/event.hpp"

#include <array>
#include <string>

#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/char.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/float.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/logic.hpp"
#include "runtime/datatypes/none.hpp"
#include "runtime/datatypes/pair.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/datatypes/routine.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/datatypes/type_classes.hpp"
#include "runtime/datatypes/word.hpp"
#include "runtime/interpreter/actions.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/roots.hpp"
#include "runtime/memory/series_buffer.hpp"

namespace ixo::gui::event {

namespace {

// The type words, by code - 1.
constexpr std::array<const char*, TYPE_COUNT> TYPE_NAMES = {
    "down",   "up",       "mid-down",  "mid-up",    "alt-down", "alt-up", "aux-down", "aux-up", "click",
    "dbl-click", "wheel", "over",      "key",       "key-down", "key-up", "ime",      "focus",  "unfocus",
    "enter",  "zoom",     "pan",       "rotate",    "two-tap",  "press-tap", "select", "change", "menu",
    "close",  "move",     "resize",    "moving",    "resizing", "time",   "drawing",  "scroll"};

// The fields, by pick index - 1.
enum field : int32_t {
  F_TYPE = 1, F_FACE, F_WINDOW, F_OFFSET, F_KEY, F_PICKED, F_FLAGS, F_AWAY_Q, F_DOWN_Q, F_MID_DOWN_Q,
  F_ALT_DOWN_Q, F_AUX_DOWN_Q, F_CTRL_Q, F_SHIFT_Q, F_ORIENTATION
};
constexpr int32_t FIELD_COUNT = 15;
constexpr std::array<const char*, FIELD_COUNT> FIELD_NAMES = {
    "type",     "face",      "window",    "offset",    "key",   "picked", "flags",      "away?",
    "down?",    "mid-down?", "alt-down?", "aux-down?", "ctrl?", "shift?", "orientation"};
// The flag bits of the logic fields away? to shift?.
constexpr std::array<uint32_t, 7> LOGIC_BITS = {FLAG_AWAY,    FLAG_DOWN,    FLAG_MID_DOWN, FLAG_ALT_DOWN,
                                                FLAG_AUX_DOWN, FLAG_CONTROL, FLAG_SHIFT};

// The words `make` accepts in flags:, in the order they are tested.
struct flag_word {
  const char* name;
  uint32_t bit;
};
constexpr std::array<flag_word, 9> FLAG_WORDS = {{{"control", FLAG_CONTROL},
                                                  {"shift", FLAG_SHIFT},
                                                  {"alt", FLAG_ALT},
                                                  {"command", FLAG_COMMAND},
                                                  {"away", FLAG_AWAY},
                                                  {"down", FLAG_DOWN},
                                                  {"mid-down", FLAG_MID_DOWN},
                                                  {"alt-down", FLAG_ALT_DOWN},
                                                  {"aux-down", FLAG_AUX_DOWN}}};
// The words that `flags` answers, in this order, for the bits set.
constexpr std::array<flag_word, 8> FLAGS_ANSWERED = {{{"away", FLAG_AWAY},
                                                      {"down", FLAG_DOWN},
                                                      {"mid-down", FLAG_MID_DOWN},
                                                      {"alt-down", FLAG_ALT_DOWN},
                                                      {"aux-down", FLAG_AUX_DOWN},
                                                      {"control", FLAG_CONTROL},
                                                      {"shift", FLAG_SHIFT},
                                                      {"alt", FLAG_ALT}}};

std::array<int32_t, TYPE_COUNT> type_symbols{};
std::array<int32_t, FIELD_COUNT> field_symbols{};
std::array<int32_t, FLAG_WORDS.size()> flag_symbols{};
std::array<int32_t, FLAGS_ANSWERED.size()> answered_symbols{};

// The value block's slots.
enum slot : int32_t { S_FACE, S_WINDOW, S_OFFSET, S_PICKED, SLOT_COUNT };

// The 1-based field index of the word, 0 when the word names no field.
int32_t field_index(const cell* word) {
  for (int32_t i = 0; i < FIELD_COUNT; i++)
    if (symbol::EQUAL_WORDS_q(word, field_symbols[i])) return i + 1;
  return 0;
}

int32_t type_of_event(const cell* e) { return static_cast<int32_t>(e->data1 & 0xFF); }

uint32_t key_of(const cell* e) { return (e->data3 & 0xFFFF) | (((e->data1 >> 8) & 0x1F) << 16); }

// The value of slot `s` of the event's block, or nullptr without one.
const cell* slot_of(const cell* e, int32_t s) {
  if (!(e->data3 & FLAG_VALUES) || e->data2 == 0) return nullptr;
  cell blk{TYPE_BLOCK, 0, e->data2, 0};
  if (block::rs_length_q(&blk) <= s) return nullptr;
  return block::rs_abs_at(&blk, s);
}

record_reader read_record = nullptr;

// The key word of a special key code c (an unsigned byte): c - 256 is -20
// up, -21 down, -22 right, -23 left, -24 end, -25 home, -26 insert, -27
// delete, -28 page-up, -29 page-down, -31 F1 to -42 F12.
cell* push_special_key(int32_t c) {
  static const char* const NAMES[] = {"up", "down", "right", "left", "end", "home", "insert", "delete",
                                      "page-up", "page-down"};
  int32_t k = 256 - c;  // 20 for up
  if (k >= 20 && k <= 29) return word::push_symbol(symbol::make(NAMES[k - 20]));
  if (k >= 31 && k <= 42) return word::push_symbol(symbol::make(("F" + std::to_string(k - 30)).c_str()));
  return none::push();
}

// Fields 2 to 6 of an event made by the backend, from its record.
cell* push_backend_field(const cell* e, int32_t n) {
  backend_record r{cell{TYPE_NONE, 0, 0, 0}, 0, 0, 0, 0};
  bool found = read_record && e->data2 != 0 && read_record(e->data2, r);
  switch (n) {
    case F_FACE: return stack::push(found ? r.face : none::none_value);
    case F_WINDOW: return none::push();
    case F_OFFSET: return pair::push(static_cast<int32_t>(r.x), static_cast<int32_t>(r.y));
    case F_KEY:
      if (!found) return none::push();
      if (e->data3 & FLAG_SPECIAL_KEY) return push_special_key(r.value);
      return r.value <= 0 || r.value > 0x10FFFF ? none::push() : char_::push(static_cast<uint32_t>(r.value));
    default:  // F_PICKED
      if (type_of_event(e) == 11) return float_::push(r.wheel);
      return integer::push(r.value);
  }
}

// Pushes the field's value.
cell* push_field(const cell* e, int32_t n) {
  bool backend = !(e->data3 & FLAG_VALUES) && e->data2 != 0;
  if (backend && n >= F_FACE && n <= F_PICKED) return push_backend_field(e, n);
  switch (n) {
    case F_TYPE: {
      int32_t code = type_of_event(e);
      return code == 0 ? none::push() : word::push_symbol(type_symbols[code - 1]);
    }
    case F_FACE:
    case F_WINDOW: {
      const cell* v = slot_of(e, n == F_FACE ? S_FACE : S_WINDOW);
      return v ? stack::push(*v) : none::push();
    }
    case F_OFFSET: {
      const cell* v = slot_of(e, S_OFFSET);
      return v ? stack::push(*v) : pair::push(0, 0);
    }
    case F_KEY: {
      uint32_t key = key_of(e);
      return key == 0 ? none::push() : char_::push(key);
    }
    case F_PICKED: {
      const cell* v = slot_of(e, S_PICKED);
      return v ? stack::push(*v) : integer::push(0);
    }
    case F_FLAGS: {
      // A new block at each read, so a block read earlier never changes.
      uint32_t flags = e->data3;
      cell* blk = block::push_only(static_cast<int32_t>(FLAGS_ANSWERED.size()));
      for (size_t i = 0; i < FLAGS_ANSWERED.size(); i++)
        if (flags & FLAGS_ANSWERED[i].bit) word::make_in(answered_symbols[i], blk->data2);
      return blk;
    }
    case F_ORIENTATION:
      return none::push();
    default:
      return logic::push((e->data3 & LOGIC_BITS[n - F_AWAY_Q]) != 0);
  }
}

// A bound word or get-word in a spec gives the value it refers to; a word
// without a value stays itself.
cell resolve(const cell* v) {
  uint32_t t = TYPE_OF(v);
  if ((t == TYPE_WORD || t == TYPE_GET_WORD) && v->data1 != 0) {
    const cell* value = word::get_value(v);
    if (TYPE_OF(value) != TYPE_UNSET) return *value;
  }
  return *v;
}

// The type code of a word, raising script/not-event-type when it names no
// event type.
int32_t checked_type_code(const cell* word) {
  int32_t code = type_code(word);
  if (code == 0) {
    cell named = *word;
    named.header = (named.header & ~0xFFu) | TYPE_WORD;
    fire(err::script_not_event_type, {named});
  }
  return code;
}

uint32_t flag_bits(const cell* blk) {
  uint32_t bits = 0;
  int32_t count = 0;
  const cell* v = block::values_of(blk, count);
  for (int32_t i = 0; i < count; i++) {
    if (!all_word_q(TYPE_OF(&v[i]))) continue;
    for (size_t j = 0; j < FLAG_WORDS.size(); j++)
      if (symbol::EQUAL_WORDS_q(&v[i], flag_symbols[j])) {
        bits |= FLAG_WORDS[j].bit;
        break;
      }
  }
  return bits;
}

cell* make(cell* proto, cell* spec, int32_t) {
  cell e{TYPE_EVENT, 0, 0, FLAG_VALUES};
  cell values[SLOT_COUNT] = {none::none_value, none::none_value, pair::make_cell(0, 0), integer::make_cell(0)};
  bool any_value = false;
  if (TYPE_OF(spec) == TYPE_BLOCK) {
    int32_t count = 0;
    block::values_of(spec, count);
    for (int32_t i = 0; i + 1 < count; i += 2) {
      // Re-read after each step: nothing here allocates, but stay plain.
      const cell* items = block::values_of(spec, count);
      const cell* key = &items[i];
      if (TYPE_OF(key) != TYPE_SET_WORD) continue;
      cell v = resolve(&items[i + 1]);
      uint32_t t = TYPE_OF(&v);
      switch (field_index(key)) {
        case F_TYPE:
          if (t == TYPE_WORD || t == TYPE_LIT_WORD) e.data1 = (e.data1 & ~0xFFu) | checked_type_code(&v);
          break;
        case F_KEY:
          if (t == TYPE_CHAR) {
            uint32_t cp = v.data2;
            e.data3 |= cp & 0xFFFF;
            e.data1 |= ((cp >> 16) & 0x1F) << 8;
          }
          break;
        case F_FLAGS:
          if (t == TYPE_BLOCK) e.data3 |= flag_bits(&v);
          break;
        case F_FACE:
        case F_WINDOW:
          if (t == TYPE_OBJECT) {
            values[field_index(key) == F_FACE ? S_FACE : S_WINDOW] = v;
            any_value = true;
          }
          break;
        case F_OFFSET:
          if (t == TYPE_PAIR || t == TYPE_POINT2D) {
            values[S_OFFSET] = v;
            any_value = true;
          }
          break;
        case F_PICKED:
          if (t == TYPE_INTEGER) {
            values[S_PICKED] = v;
            any_value = true;
          }
          break;
        default:
          break;
      }
    }
  }
  if (any_value) {
    memory::root_guard keep0(&values[S_FACE]), keep1(&values[S_WINDOW]);
    cell* blk = block::push_only(SLOT_COUNT);
    uint32_t node = blk->data2;
    for (const cell& v : values) block::rs_append(blk, &v);
    e.data2 = node;
    stack::pop(1);
  }
  *proto = e;
  return proto;
}

int32_t form(cell*, cell* buffer, cell*, int32_t part) { return datatype::append_text(buffer, "event", part); }

int32_t mold(cell*, cell* buffer, int32_t, int32_t, int32_t, cell*, int32_t part, int32_t) {
  return datatype::append_text(buffer, "event", part);
}

int32_t compare(const cell*, const cell* other, int32_t op) {
  if (TYPE_OF(other) != TYPE_EVENT) return COMPARE_NONE;
  switch (op) {
    case COMP_EQUAL: case COMP_NOT_EQUAL: case COMP_STRICT_EQUAL: case COMP_SORT: case COMP_CASE_SORT:
    case COMP_SAME: case COMP_FIND:
      return 0;
    default:
      return COMPARE_NONE;
  }
}

cell* eval_path(cell* e, cell* element, cell* data, cell* path, cell*, cell*, int32_t, int32_t, int32_t,
                int32_t, int32_t) {
  int32_t n = all_word_q(TYPE_OF(element)) ? field_index(element) : 0;
  if (n == 0) fire(err::script_invalid_path, {*path, *element});
  if (!data) return push_field(e, n);
  uint32_t t = TYPE_OF(data);
  if (n != F_TYPE || (t != TYPE_WORD && t != TYPE_LIT_WORD)) fire(err::script_bad_path_set, {*path, *element});
  e->data1 = (e->data1 & ~0xFFu) | checked_type_code(data);
  return data;
}

cell* pick(cell* e, int32_t, cell* index) {
  int32_t n = 0;
  if (all_word_q(TYPE_OF(index))) {
    n = field_index(index);
    if (n == 0) fire(err::script_cannot_use, {*index, *e});
  } else {
    if (TYPE_OF(index) == TYPE_INTEGER) n = integer::get(index);
    if (n < 1 || n > FIELD_COUNT) fire(err::script_out_of_range, {*index});
  }
  return push_field(e, n);
}

// ---- Routines ----------------------------------------------------------------

void event_q() { logic::box(TYPE_OF(stack::arguments) == TYPE_EVENT); }

// The terminal backend has nothing to send an event to: it answers false.
void send_event_os() { logic::box(false); }

void find_flag_q() {
  const cell* facet = stack::arguments;
  const cell* flag = stack::arguments + 1;
  bool found = false;
  if (all_word_q(TYPE_OF(flag))) {
    int32_t sym = static_cast<int32_t>(flag->data2);
    if (TYPE_OF(facet) == TYPE_WORD) {
      found = symbol::EQUAL_WORDS_q(facet, sym);
    } else if (TYPE_OF(facet) == TYPE_BLOCK) {
      int32_t count = 0;
      const cell* v = block::values_of(facet, count);
      for (int32_t i = 0; i < count && !found; i++)
        found = (TYPE_OF(&v[i]) == TYPE_WORD || TYPE_OF(&v[i]) == TYPE_LIT_WORD) &&
                symbol::EQUAL_WORDS_q(&v[i], sym);
    }
  }
  logic::box(found);
}

}  // namespace

int32_t type_code(const cell* word) {
  if (!all_word_q(TYPE_OF(word))) return 0;
  for (int32_t i = 0; i < TYPE_COUNT; i++)
    if (symbol::EQUAL_WORDS_q(word, type_symbols[i])) return i + 1;
  return 0;
}

void set_record_reader(record_reader reader) { read_record = reader; }

void build_words() {
  for (int32_t i = 0; i < TYPE_COUNT; i++) type_symbols[i] = symbol::make(TYPE_NAMES[i]);
  for (int32_t i = 0; i < FIELD_COUNT; i++) field_symbols[i] = symbol::make(FIELD_NAMES[i]);
  for (size_t i = 0; i < FLAG_WORDS.size(); i++) flag_symbols[i] = symbol::make(FLAG_WORDS[i].name);
  for (size_t i = 0; i < FLAGS_ANSWERED.size(); i++) answered_symbols[i] = symbol::make(FLAGS_ANSWERED[i].name);
}

void init_routines() {
  routine::register_entry("event?", event_q);
  routine::register_entry("send-event-os", send_event_os);
  routine::register_entry("find-flag?", find_flag_q);
}

void init() {
  // clang-format off
  datatype::register_type(datatype_registration(TYPE_EVENT, 0, "event!",
    /* make .. set-path */     make, unsupported, unsupported, unsupported, form, mold, eval_path, unsupported,
    /* compare .. remainder */ compare, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* round .. xor~ */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* append .. head */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* head? .. poke */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, pick, unsupported,
    /* put .. tail */          unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* tail? .. open */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* open? .. write */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported));
  // clang-format on
}

}  // namespace ixo::gui::event
