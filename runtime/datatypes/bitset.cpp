// bitset!: the spec dialect worker, make and to, the text form, compare,
// the bitwise operations and the membership actions, and the registration.
//
// Every change that a spec asks for is checked first by measuring the spec,
// which raises every error the spec holds, so an error changes nothing.
// Bytes past the tail are never relied on: a growing bitset fills the bytes
// it takes in with 00h, or FFh when complemented.
#include "runtime/datatypes/bitset.hpp"

#include <algorithm>
#include <climits>

#include "runtime/core/ownership.hpp"
#include "runtime/datatypes/action_types.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/conversions.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/logic.hpp"
#include "runtime/datatypes/none.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/datatypes/words.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/roots.hpp"

namespace ixo::bitset {

using namespace memory;

namespace {

bool complemented_q(const cell* bits) { return (GET_BUFFER(bits)->flags & COMPLEMENTED) != 0; }
uint8_t fill_of(const cell* bits) { return complemented_q(bits) ? 0xFF : 0x00; }
int64_t used_bytes(const cell* bits) {
  series_buffer* b = GET_BUFFER(bits);
  return b->tail - b->head;
}
int64_t used_bits(const cell* bits) { return used_bytes(bits) * 8; }

// length? answers the bits in 32 bits: no bitset holds more bytes than this.
constexpr int64_t MAX_BYTES = INT32_MAX / 8;
void check_bytes(int64_t bytes, const cell& given) {
  if (bytes > MAX_BYTES) fire(err::script_out_of_range, {given});
}

// Makes the used part cover the byte of bit n, growing the buffer when
// needed; the bytes taken in get the fill value.
void ensure_bit(const cell* bits, int64_t n) {
  int64_t needed = (n >> 3) + 1;
  series_buffer* b = GET_BUFFER(bits);
  int64_t used = b->tail - b->head;
  if (needed <= used) return;
  check_bytes(needed, integer::make_cell(static_cast<int32_t>(n)));
  uint8_t fill = fill_of(bits);
  if (head_of(b) + needed > data_end(b)) b = expand_series_filled(b, static_cast<int32_t>(needed), fill);
  memory::fill(head_of(b) + used, head_of(b) + needed, fill);
  b->tail = b->head + static_cast<uint32_t>(needed);
}

bool bit_q(const cell* bits, int64_t n) { return (head_of(GET_BUFFER(bits))[n >> 3] & (0x80 >> (n & 7))) != 0; }
void set_bit(const cell* bits, int64_t n, bool on) {
  uint8_t& byte = head_of(GET_BUFFER(bits))[n >> 3];
  uint8_t mask = static_cast<uint8_t>(0x80 >> (n & 7));
  byte = on ? byte | mask : byte & ~mask;
}

// One number: a member beyond the stored bits of a complemented set needs
// no bit to be set, and a plain set needs none to be cleared there.
bool process_number(cell* bits, int64_t n, int32_t op) {
  bool beyond = n >= used_bits(bits);
  bool complemented = complemented_q(bits);
  switch (op) {
    case OP_SET:
      if (beyond && complemented) return true;
      ensure_bit(bits, n);
      set_bit(bits, n, true);
      return true;
    case OP_TEST:
      return beyond ? complemented : bit_q(bits, n);
    case OP_CLEAR:
      if (beyond && !complemented) return false;
      ensure_bit(bits, n);
      set_bit(bits, n, false);
      return true;
    default:
      return true;
  }
}

// The bits low to high, each as process_number treats it.
bool process_range(cell* bits, int64_t low, int64_t high, int32_t op) {
  bool complemented = complemented_q(bits);
  if ((op == OP_SET && !complemented) || (op == OP_CLEAR && complemented)) ensure_bit(bits, high);
  int64_t stored = used_bits(bits);
  for (int64_t n = low; n <= high; ++n) {
    if (n >= stored) return op == OP_TEST ? complemented : op == OP_SET;
    if (op == OP_TEST) {
      if (!bit_q(bits, n)) return false;
    } else {
      set_bit(bits, n, op == OP_SET);
    }
  }
  return true;
}

// The number a char!, integer! or float! stands for; a negative one raises
// script/out-of-range unless `test` (a test answers false for it).
int64_t number_of(const cell* v, bool test, bool& negative) {
  int64_t n = TYPE_OF(v) == TYPE_CHAR ? static_cast<int64_t>(v->data2)
              : TYPE_OF(v) == TYPE_FLOAT ? conversions::float_to_integer(v)
                                         : static_cast<int32_t>(v->data2);
  negative = n < 0;
  if (negative && !test) fire(err::script_out_of_range, {*v});
  return n;
}

bool minus_q(const cell* v) { return TYPE_OF(v) == TYPE_WORD && symbol::EQUAL_WORDS_q(v, words::sym_minus); }

// The walk behind process: answers the highest number met (-1 for none)
// and leaves a test's answer in `result`.
int64_t walk(const cell* spec_, cell* bits, int32_t op, int32_t mode, bool& result) {
  cell spec = *spec_;
  root_guard keep(&spec);
  bool test = op == OP_TEST;
  result = true;
  switch (TYPE_OF(&spec)) {
    case TYPE_CHAR: case TYPE_INTEGER: case TYPE_FLOAT: {
      bool negative;
      int64_t n = number_of(&spec, test, negative);
      if (negative) result = false;
      else if (bits) result = process_number(bits, n, op);
      return n;
    }
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL: case TYPE_REF: {
      int32_t length = string::rs_length_q(&spec);
      int32_t start = string::rs_abs_length_q(&spec) - length;
      int64_t highest = -1;
      for (int32_t i = start; i < start + length; ++i) {
        uint32_t cp = string::rs_abs_at(&spec, i);
        highest = std::max<int64_t>(highest, cp);
        if (bits && !process_number(bits, cp, op) && test) {
          result = false;
          break;
        }
      }
      return highest;
    }
    case TYPE_BLOCK: {
      int32_t count = block::rs_length_q(&spec);
      int64_t highest = -1;
      for (int32_t i = 0; i < count; ++i) {
        cell v = block::rs_head(&spec)[i];
        root_guard keep_v(&v);
        bool r = true;
        if ((TYPE_OF(&v) == TYPE_CHAR || TYPE_OF(&v) == TYPE_INTEGER) && i + 1 < count &&
            minus_q(block::rs_head(&spec) + i + 1)) {
          if (i + 2 >= count) fire(err::script_past_end);
          cell high_value = block::rs_head(&spec)[i + 2];
          if (TYPE_OF(&high_value) != TYPE_OF(&v)) fire(err::script_invalid_arg, {high_value});
          bool negative_low, negative_high;
          int64_t low = number_of(&v, test, negative_low);
          int64_t high = number_of(&high_value, test, negative_high);
          if (high < low) fire(err::script_past_end);
          highest = std::max(highest, high);
          if (negative_low) r = false;
          else if (bits) r = process_range(bits, low, high, op);
          i += 2;
        } else {
          highest = std::max(highest, walk(&v, bits, op, mode, r));
        }
        if (test && !r) {
          result = false;
          break;
        }
      }
      return highest;
    }
    case TYPE_BINARY:
      fire(err::internal_not_done);
    default:
      if (mode == MODE_MAKE) fire(err::script_bad_make_arg, {datatype::make_cell(TYPE_BITSET), spec});
      if (mode == MODE_TO) fire(err::script_bad_to_arg, {datatype::make_cell(TYPE_BITSET), spec});
      fire(err::script_invalid_arg, {spec});
  }
}

}  // namespace

int32_t process(const cell* spec, cell* bits, int32_t op, bool nested, int32_t mode) {
  bool result;
  int64_t highest = walk(spec, bits, op, mode, result);
  if (op == OP_TEST) return result;
  if (nested || (op != OP_MEASURE && op != OP_SET)) return result;
  int64_t bytes = std::max<int64_t>((highest + 8) >> 3, 1);
  check_bytes(bytes, integer::make_cell(static_cast<int32_t>(highest)));
  if (op == OP_SET) ensure_bit(bits, bytes * 8 - 1);
  return static_cast<int32_t>(bytes);
}

// ---- make and to -------------------------------------------------------------

namespace {

// A new bitset of `bytes` bytes, all `fill`, written into c.
cell* new_bitset(cell* c, int32_t bytes, bool complemented) {
  uint32_t node = alloc_filled_bytes(bytes, complemented ? 0xFF : 0x00);
  series_buffer* b = buffer_of(node);
  b->tail = b->head + static_cast<uint32_t>(bytes);
  if (complemented) b->flags |= COMPLEMENTED;
  *c = cell{TYPE_BITSET, 0, node, 0};
  return c;
}

}  // namespace

cell* make_from(cell* proto, cell* spec_, int32_t mode) {
  cell spec = *spec_;
  root_guard keep(&spec);
  bool complemented = false;
  if (TYPE_OF(&spec) == TYPE_BLOCK && block::rs_length_q(&spec) > 0) {
    cell* first = block::rs_head(&spec);
    if (TYPE_OF(first) == TYPE_WORD && symbol::EQUAL_WORDS_q(first, words::sym_not)) {
      complemented = true;
      if (block::rs_length_q(&spec) > 1 && TYPE_OF(first + 1) == TYPE_BINARY) spec = first[1];
      else ++spec.data1;
    }
  }
  switch (TYPE_OF(&spec)) {
    case TYPE_BITSET:
      *proto = cell{TYPE_BITSET, 0, copy_series(GET_BUFFER(&spec)), 0};
      return proto;
    case TYPE_INTEGER: case TYPE_FLOAT: {
      if (mode == MODE_TO) fire(err::script_bad_to_arg, {datatype::make_cell(TYPE_BITSET), spec});
      int32_t size = TYPE_OF(&spec) == TYPE_FLOAT ? conversions::float_to_integer(&spec)
                                                  : static_cast<int32_t>(spec.data2);
      if (size < 0) fire(err::script_out_of_range, {spec});
      check_bytes((static_cast<int64_t>(size) + 7) >> 3, spec);
      return new_bitset(proto, static_cast<int32_t>((static_cast<int64_t>(size) + 7) >> 3), false);
    }
    case TYPE_BINARY: {
      series_buffer* source = GET_BUFFER(&spec);
      int32_t length = static_cast<int32_t>(source->tail - source->head);
      int32_t index = std::min(static_cast<int32_t>(spec.data1), length);
      check_bytes(length - index, integer::make_cell(length - index));
      new_bitset(proto, length - index, complemented);
      uint8_t* to = head_of(GET_BUFFER(proto));
      const uint8_t* from = head_of(GET_BUFFER(&spec)) + index;
      for (int32_t i = 0; i < length - index; ++i) to[i] = complemented ? static_cast<uint8_t>(~from[i]) : from[i];
      return proto;
    }
    default: {
      int32_t bytes = process(&spec, nullptr, OP_MEASURE, false, mode);
      cell made;
      new_bitset(&made, bytes, complemented);
      root_guard keep_made(&made);
      process(&spec, &made, complemented ? OP_CLEAR : OP_SET, false, mode);
      *proto = made;
      return proto;
    }
  }
}

namespace {

cell* make(cell* proto, cell* spec, int32_t) { return make_from(proto, spec, MODE_MAKE); }
cell* to(cell* proto, cell* spec, int32_t) { return make_from(proto, spec, MODE_TO); }

// ---- form and mold ---------------------------------------------------------------

// "make bitset! " ["[not "] "#{" hex digits "}" ["]"]; a complemented set
// shows the bits of the set it is the complement of.
int32_t form(cell* value, cell* buffer, cell* arg, int32_t part) {
  cell v = *value;
  root_guard keep(&v);
  bool complemented = complemented_q(&v);
  part = datatype::append_text(buffer, complemented ? "make bitset! [not #{" : "make bitset! #{", part);
  int64_t bytes = used_bytes(&v);
  for (int64_t i = 0; i < bytes; ++i) {
    if (stack::given_q(arg) && part < 0) break;
    uint8_t byte = head_of(GET_BUFFER(&v))[i];
    part = datatype::append_text(buffer, string::byte_to_hex(complemented ? static_cast<uint8_t>(~byte) : byte), part);
  }
  return datatype::append_text(buffer, complemented ? "}]" : "}", part);
}

int32_t mold(cell* value, cell* buffer, int32_t, int32_t, int32_t, cell* arg, int32_t part, int32_t) {
  return form(value, buffer, arg, part);
}

// ---- compare -----------------------------------------------------------------------

int32_t compare(const cell* a, const cell* b, int32_t op) {
  if (TYPE_OF(b) != TYPE_BITSET) return COMPARE_NONE;
  if (op == COMP_SAME) return a->data2 == b->data2 ? 0 : 1;
  int64_t na = used_bytes(a), nb = used_bytes(b);
  if (na != nb) return na < nb ? -1 : 1;
  if (na == 0) return 0;
  bool ca = complemented_q(a), cb = complemented_q(b);
  if (ca != cb) return ca ? 1 : -1;
  const uint8_t* pa = head_of(GET_BUFFER(a));
  const uint8_t* pb = head_of(GET_BUFFER(b));
  for (int64_t i = na - 1; i >= 0; --i)
    if (pa[i] != pb[i]) return pa[i] < pb[i] ? -1 : 1;
  return 0;
}

}  // namespace

// ---- Bitwise operations -------------------------------------------------------------

void do_bitwise(int32_t op) {
  cell a = stack::arguments[0], b = stack::arguments[1];
  if (op == 8) return;  // unique of one bitset is itself
  if (TYPE_OF(&b) != TYPE_BITSET) fire(err::script_invalid_type, {datatype::make_cell(TYPE_OF(&b))});
  root_guard keep_a(&a), keep_b(&b);
  int32_t la = static_cast<int32_t>(used_bytes(&a)), lb = static_cast<int32_t>(used_bytes(&b));
  int32_t shorter = std::min(la, lb), longer = std::max(la, lb);
  cell result;
  new_bitset(&result, longer, false);
  series_buffer* r = GET_BUFFER(&result);
  if (complemented_q(&a) != complemented_q(&b)) r->flags |= COMPLEMENTED;
  uint8_t* out = head_of(r);
  const uint8_t* pa = head_of(GET_BUFFER(&a));
  const uint8_t* pb = head_of(GET_BUFFER(&b));
  for (int32_t i = 0; i < shorter; ++i) {
    switch (op) {
      case 5: case 9: out[i] = pa[i] | pb[i]; break;
      case 6: case 10: out[i] = pa[i] & pb[i]; break;
      case 7: case 12: out[i] = pa[i] ^ pb[i]; break;
      case 11: out[i] = pa[i] & static_cast<uint8_t>(~pb[i]); break;
      default: break;
    }
  }
  const uint8_t* rest = la > lb ? pa : pb;
  bool copy_rest = op == 5 || op == 9 || op == 7 || op == 12 || (op == 11 && la > lb);
  if (copy_rest) std::copy(rest + shorter, rest + longer, out + shorter);
  if (op == 6) r->tail = r->head + static_cast<uint32_t>(shorter);
  stack::set_result(result);
}

namespace {

void and_t() { do_bitwise(6); }
void or_t() { do_bitwise(5); }
void xor_t() { do_bitwise(7); }

// complement and negate: the flag toggled and every stored byte inverted,
// so the members become the non-members.
cell* complement(cell* value) {
  cell* c = stack::push(cell{TYPE_BITSET, 0, copy_series(GET_BUFFER(value)), 0});
  series_buffer* b = GET_BUFFER(c);
  b->flags ^= COMPLEMENTED;
  for (uint8_t* p = head_of(b); p < tail_of(b); ++p) *p = static_cast<uint8_t>(~*p);
  return c;
}

// ---- Membership actions --------------------------------------------------------------

// Checks the spec, tells the owner, applies it and tells the owner again.
void change_members(cell* bits, cell* spec, int32_t op, const cell* before, const cell* after) {
  process(spec, nullptr, OP_MEASURE, false, MODE_OTHER);
  ownership::check(bits, before, spec, 0, 0);
  process(spec, bits, op, false, MODE_OTHER);
  ownership::check(bits, after, spec, 0, 0);
}

cell* pick(cell* bits, int32_t, cell* key) {
  return process(key, bits, OP_TEST, false, MODE_OTHER) ? &logic::true_value : &logic::false_value;
}

cell* find(cell* bits, cell* key, cell*, int32_t, int32_t, int32_t, int32_t, cell*, cell*, int32_t, int32_t,
           int32_t, int32_t) {
  return process(key, bits, OP_TEST, false, MODE_OTHER) ? &logic::true_value : &none::none_value;
}

bool clears_q(const cell* v) {
  switch (TYPE_OF(v)) {
    case TYPE_NONE: return true;
    case TYPE_LOGIC: return v->data1 == 0;
    case TYPE_INTEGER: return v->data2 == 0;
    case TYPE_FLOAT: return get_float(v) == 0.0;
    default: return false;
  }
}

cell* poke(cell* bits, int32_t, cell* data, cell* key) {
  change_members(bits, key, clears_q(data) ? OP_CLEAR : OP_SET, words::word_poke, words::word_poked);
  return data;
}

cell* insert(cell* bits, cell* value, int32_t, int32_t, int32_t, int32_t append) {
  cell insert_word{TYPE_WORD, 0, static_cast<uint32_t>(words::sym_insert), 0xFFFFFFFF};
  change_members(bits, value, OP_SET, append ? words::word_append : &insert_word,
                 append ? words::word_appended : words::word_inserted);
  return bits;
}

// The key's members leave the set, complemented or not.
cell* remove(cell* bits, cell*, cell* key) {
  if (!stack::given_q(key)) fire(err::script_missing_arg);
  cell remove_word{TYPE_WORD, 0, static_cast<uint32_t>(words::sym_remove), 0xFFFFFFFF};
  change_members(bits, key, OP_CLEAR, &remove_word, words::word_removed);
  return bits;
}

cell* clear(cell* bits) {
  ownership::check(bits, words::word_clear, nullptr, 0, 0);
  series_buffer* b = GET_BUFFER(bits);
  memory::fill(head_of(b), tail_of(b), fill_of(bits));
  ownership::check(bits, words::word_cleared, nullptr, 0, 0);
  return bits;
}

cell* copy(cell* bits, cell* result, cell*, int32_t, cell*) {
  *result = cell{TYPE_BITSET, 0, copy_series(GET_BUFFER(bits)), 0};
  return result;
}

int32_t length_q(cell* bits) { return static_cast<int32_t>(used_bits(bits)); }

cell* eval_path(cell* bits, cell* element, cell* data, cell*, cell*, cell*, int32_t, int32_t, int32_t, int32_t,
                int32_t) {
  if (TYPE_OF(element) != TYPE_INTEGER && TYPE_OF(element) != TYPE_CHAR)
    fire(err::script_invalid_type, {datatype::make_cell(TYPE_OF(element))});
  if (data) return poke(bits, 0, data, element);
  return pick(bits, 0, element);
}

cell* reflect(cell* bits, cell* field) {
  if (!symbol::EQUAL_WORDS_q(field, words::sym_owned)) fire(err::internal_not_done);
  cell* owner = ownership::get_owner(bits->data2);
  return owner ? owner : &none::none_value;
}

cell* modify(cell* bits, cell* field, cell* value, int32_t) {
  if (symbol::EQUAL_WORDS_q(field, words::sym_owned)) ownership::modify_owned(bits, value);
  return value;
}

}  // namespace

void init() {
  // clang-format off
  datatype::register_type(datatype_registration(TYPE_BITSET, 0, "bitset!",
    /* make .. set-path */     make, unsupported, reflect, to, form, mold, eval_path, unsupported,
    /* compare .. remainder */ compare, unsupported, unsupported, unsupported, unsupported, complement, unsupported, unsupported,
    /* round .. xor~ */        unsupported, unsupported, unsupported, unsupported, and_t, complement, or_t, xor_t,
    /* append .. head */       insert, unsupported, unsupported, unsupported, clear, copy, find, unsupported,
    /* head? .. poke */        unsupported, unsupported, insert, length_q, unsupported, unsupported, pick, poke,
    /* put .. tail */          unsupported, remove, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* tail? .. open */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, modify, unsupported,
    /* open? .. write */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported));
  // clang-format on
}

}  // namespace ixo::bitset
