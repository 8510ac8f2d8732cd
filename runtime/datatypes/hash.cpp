// hash!: make, to and copy, which give the new block its table, mold, and
// the registration row of hash!. Everything else is block!'s.
#include "runtime/datatypes/hash.hpp"

#include <algorithm>

#include "runtime/core/hashtable.hpp"
#include "runtime/datatypes/action_types.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/conversions.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/datatypes/series.hpp"
#include "runtime/interpreter/stack.hpp"

namespace ixo::hash_ {

namespace {

// The block on the stack becomes a hash! with a table for `size` keys (at
// least 1) indexing its values.
cell* hashed(cell* blk, int32_t size) {
  set_type(blk, TYPE_HASH);
  blk->data3 = 0;
  blk->data3 = hashtable::init(std::max(size, 1), blk, hashtable::KIND_BLOCK, 1);
  return blk;
}

cell* block_action(int32_t action, cell* proto, cell* spec) {
  return datatype::action_of<make_fn>(TYPE_BLOCK, action)(proto, spec, TYPE_BLOCK);
}

cell* copy(cell* h, cell* result, cell* part, int32_t deep, cell* types) {
  if (h->data1 != 0 || stack::given_q(part) || deep || stack::given_q(types))
    return datatype::action_of<copy_fn>(TYPE_BLOCK, ACT_COPY)(h, result, part, deep, types);
  // The whole block: its table is copied as it stands, not rebuilt.
  uint32_t table = h->data3;
  series::copy(h, result, part, 0, types);
  result->data3 = 0;
  result->data3 = hashtable::copy(table, result->data2);
  return result;
}

cell* make(cell* proto, cell* spec, int32_t) {
  switch (TYPE_OF(spec)) {
    case TYPE_INTEGER: case TYPE_FLOAT: {
      cell* made = block_action(ACT_MAKE, proto, spec);  // refuses a negative size
      int32_t size = TYPE_OF(spec) == TYPE_INTEGER ? static_cast<int32_t>(spec->data2)
                                                   : conversions::float_to_integer(spec);
      return hashed(made, size);
    }
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_PATH: case TYPE_LIT_PATH: case TYPE_SET_PATH: case TYPE_GET_PATH: {
      cell* made = block_action(ACT_MAKE, proto, spec);
      return hashed(made, block::rs_length_q(made));
    }
    case TYPE_HASH:
      return copy(spec, stack::push(*spec), nullptr, 0, nullptr);
    default: {
      cell* made = block_action(ACT_TO, proto, spec);
      return hashed(made, block::rs_length_q(made));
    }
  }
}

cell* to(cell* proto, cell* spec, int32_t) {
  if (TYPE_OF(spec) == TYPE_HASH) return copy(spec, stack::push(*spec), nullptr, 0, nullptr);
  cell* made = block_action(ACT_TO, proto, spec);
  return hashed(made, block::rs_length_q(made));
}

int32_t mold(cell* value, cell* buffer, int32_t only, int32_t all, int32_t flat, cell* arg, int32_t part,
             int32_t indent) {
  if (!only) part = datatype::append_text(buffer, "make hash! ", part);
  return datatype::action_of<mold_fn>(TYPE_BLOCK, ACT_MOLD)(value, buffer, only, all, flat, arg, part, indent);
}

}  // namespace

void init() {
  // clang-format off
  datatype::register_type(datatype_registration(TYPE_HASH, TYPE_BLOCK, "hash!",
    /* make .. set-path */     make, unsupported, inherit, to, inherit, mold, inherit, unsupported,
    /* compare .. remainder */ inherit, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* round .. xor~ */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* append .. head */       inherit, inherit, inherit, inherit, inherit, copy, inherit, inherit,
    /* head? .. poke */        inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit,
    /* put .. tail */          inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit,
    /* tail? .. open */        inherit, inherit, inherit, unsupported, unsupported, unsupported, inherit, unsupported,
    /* open? .. write */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported));
  // clang-format on
}

}  // namespace ixo::hash_
