// typeset!: the makers used by function specs and the boot image, the
// walks over the types of a set, the bitwise actions, find, compare, form
// and mold, and the registration row of typeset!.
#include "runtime/datatypes/typeset.hpp"

#include "runtime/datatypes/action_types.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/logic.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/datatypes/word.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/roots.hpp"
#include "runtime/memory/series_buffer.hpp"

namespace ixo::typeset {

using namespace memory;

namespace {

enum set_op { OP_OR = 5, OP_AND = 6, OP_XOR = 7, OP_UNIQUE = 8, OP_UNION = 9, OP_INTERSECT = 10, OP_EXCLUDE = 11,
              OP_DIFFERENCE = 12 };

void set_bit(cell* ts, uint32_t type) {
  reinterpret_cast<uint8_t*>(&ts->data1)[type >> 3] |= static_cast<uint8_t>(0x80 >> (type & 7));
}

// While the runtime starts, ids below the highest registered one may not
// be registered yet: they have no name to write.
bool named_q(uint32_t type) { return datatype::type_name_table[type].name != nullptr; }

cell empty() { return cell{TYPE_TYPESET, 0, 0, 0}; }

// A word stands for its value; the value is left on the stack.
const cell* resolved(const cell* value) { return TYPE_OF(value) == TYPE_WORD ? word::get(value) : value; }

cell* make(cell*, cell* spec, int32_t) {
  if (TYPE_OF(spec) == TYPE_TYPESET) return spec;
  if (TYPE_OF(spec) != TYPE_BLOCK) fire(err::script_bad_to_arg, {datatype::make_cell(TYPE_TYPESET), *spec});
  cell* ts = stack::push(empty());
  int32_t count = block::rs_length_q(spec);
  for (int32_t i = 0; i < count; ++i) {
    cell item = block::rs_head(spec)[i];
    add_value(ts, &item);
  }
  return ts;
}

// form and mold: the prefix, the type names in id order each with a space
// after it, the last space turned into "]"; with `only`, the names alone.
int32_t form_mold(const cell* ts, cell* buffer, bool only, bool part_given, int32_t part) {
  if (!only) part = datatype::append_text(buffer, "make typeset! [", part);
  bool written = false;
  for (uint32_t t = 1; t <= datatype::max_type_id; ++t) {
    if (!has_q(ts, t) || !named_q(t)) continue;
    if (part_given && part < 0) return part;
    part = datatype::append_text(buffer, datatype::type_name_table[t].name, part);
    part = datatype::append_text(buffer, " ", part);
    written = true;
  }
  if (written) {  // the space after the last name
    string::truncate_at(GET_BUFFER(buffer), string::rs_abs_length_q(buffer) - 1);
    part += 1;
  }
  if (!only) part = datatype::append_text(buffer, "]", part);
  return part;
}

int32_t form(cell* value, cell* buffer, cell* arg, int32_t part) {
  return form_mold(value, buffer, false, stack::given_q(arg), part);
}

int32_t mold(cell* value, cell* buffer, int32_t only, int32_t, int32_t, cell* arg, int32_t part, int32_t) {
  return form_mold(value, buffer, only != 0, stack::given_q(arg), part);
}

int32_t compare(const cell* a, const cell* b, int32_t op) {
  if (TYPE_OF(b) != TYPE_TYPESET) return COMPARE_NONE;
  switch (op) {
    case COMP_EQUAL: case COMP_NOT_EQUAL: case COMP_STRICT_EQUAL: case COMP_SAME: case COMP_FIND:
      return a->data1 == b->data1 && a->data2 == b->data2 && a->data3 == b->data3 ? 0 : 1;
    case COMP_SORT: case COMP_CASE_SORT: {
      int32_t x = count_types(a), y = count_types(b);
      return x < y ? -1 : x > y ? 1 : 0;
    }
    default:
      return COMPARE_NONE;
  }
}

void and_t() { do_bitwise(OP_AND); }
void or_t() { do_bitwise(OP_OR); }
void xor_t() { do_bitwise(OP_XOR); }

cell* complement(cell* ts) {
  cell* inverted = push(ts);
  inverted->data1 = ~inverted->data1;
  inverted->data2 = ~inverted->data2;
  inverted->data3 = ~inverted->data3;
  return inverted;
}

cell* find(cell* ts, cell* value, cell*, int32_t, int32_t, int32_t, int32_t, cell*, cell*, int32_t, int32_t, int32_t,
           int32_t) {
  if (TYPE_OF(value) != TYPE_DATATYPE) fire(err::script_invalid_arg, {*value});
  return has_q(ts, value->data1) ? &logic::true_value : &logic::false_value;
}

}  // namespace

void clear(cell* ts) { ts->data1 = ts->data2 = ts->data3 = 0; }

cell* push(const cell* ts) { return stack::push(*ts); }

cell* make_in(cell* blk, uint32_t word1, uint32_t word2, uint32_t word3) {
  cell ts{TYPE_TYPESET, word1, word2, word3};
  return block::rs_append(blk, &ts);
}

cell* make_default_in(cell* blk) {
  cell ts{TYPE_TYPESET, ~0u, ~0u, ~0u};
  reinterpret_cast<uint8_t*>(&ts.data1)[TYPE_UNSET >> 3] &= static_cast<uint8_t>(~(0x80 >> (TYPE_UNSET & 7)));
  return block::rs_append(blk, &ts);
}

cell* make_from_spec_in(cell* blk, const cell* spec) {
  cell ts = empty();
  cell types = *spec;
  root_guard keep(&types);
  cell* saved_top = stack::top;
  for (int32_t i = 0; i < block::rs_length_q(&types); ++i) {
    cell item = block::rs_head(&types)[i];
    const cell* value = resolved(&item);
    switch (TYPE_OF(value)) {
      case TYPE_DATATYPE: set_bit(&ts, value->data1); break;
      case TYPE_TYPESET: ts.data1 |= value->data1; ts.data2 |= value->data2; ts.data3 |= value->data3; break;
      case TYPE_WORD: set_bit(&ts, TYPE_OBJECT); break;
      case TYPE_BLOCK: break;
      default: fire(err::script_invalid_type_spec, {*value});
    }
    stack::top = saved_top;
  }
  return block::rs_append(blk, &ts);
}

void add_value(cell* ts, const cell* value) {
  cell* saved_top = stack::top;
  const cell* v = resolved(value);
  if (TYPE_OF(v) == TYPE_TYPESET) {
    ts->data1 |= v->data1;
    ts->data2 |= v->data2;
    ts->data3 |= v->data3;
  } else if (TYPE_OF(v) == TYPE_DATATYPE) {
    set_bit(ts, v->data1);
  } else {
    fire(err::script_invalid_arg, {*value});
  }
  stack::top = saved_top;
}

int32_t count_types(const cell* ts) {
  int32_t n = 0;
  for (uint32_t t = 1; t <= datatype::max_type_id; ++t) n += has_q(ts, t);
  return n;
}

cell* to_block(const cell* ts, cell* blk) {
  cell set = *ts;
  block::make_at(blk, 4);
  for (uint32_t t = 1; t <= datatype::max_type_id; ++t)
    if (has_q(&set, t) && named_q(t)) word::make_in(static_cast<int32_t>(datatype::type_name_table[t].word), blk->data2);
  return blk;
}

void do_bitwise(int32_t op) {
  cell* a = stack::arguments;
  cell* b = a + 1;
  if (TYPE_OF(b) != TYPE_TYPESET && TYPE_OF(b) != TYPE_DATATYPE) fire(err::script_invalid_arg, {*b});
  if (op == OP_UNIQUE) return;
  cell other = *b;
  if (TYPE_OF(b) == TYPE_DATATYPE) {
    other = empty();
    set_bit(&other, b->data1);
  }
  uint32_t* x = &a->data1;
  const uint32_t* y = &other.data1;
  for (int i = 0; i < 3; ++i) {
    switch (op) {
      case OP_OR: case OP_UNION: x[i] |= y[i]; break;
      case OP_AND: case OP_INTERSECT: x[i] &= y[i]; break;
      case OP_XOR: case OP_DIFFERENCE: x[i] ^= y[i]; break;
      case OP_EXCLUDE: x[i] &= ~y[i]; break;
    }
  }
}

void init() {
  // clang-format off
  datatype::register_type(datatype_registration(TYPE_TYPESET, 0, "typeset!",
    /* make .. set-path */     make, unsupported, unsupported, make, form, mold, unsupported, unsupported,
    /* compare .. remainder */ compare, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* round .. xor~ */        unsupported, unsupported, unsupported, unsupported, and_t, complement, or_t, xor_t,
    /* append .. head */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, find, unsupported,
    /* head? .. poke */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* put .. tail */          unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* tail? .. open */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* open? .. write */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported));
  // clang-format on
}

}  // namespace ixo::typeset
