// Series ownership (ownership.hpp): owning walks blocks and objects under
// the cycles stack, so a value that contains itself is owned once.
#include "runtime/core/ownership.hpp"

#include "runtime/core/cycles.hpp"
#include "runtime/core/hashtable.hpp"
#include "runtime/core/record_table.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/context.hpp"
#include "runtime/datatypes/none.hpp"
#include "runtime/datatypes/object.hpp"
#include "runtime/datatypes/series.hpp"
#include "runtime/datatypes/type_classes.hpp"
#include "runtime/datatypes/unset.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/memory/collector.hpp"
#include "runtime/memory/roots.hpp"
#include "runtime/memory/series_buffer.hpp"

namespace ixo::ownership {

using namespace memory;

namespace {

constexpr uint32_t IMAGE_OWNED = 0x10000;  // on an image! cell's header

bool owned_series_q(uint32_t type) {
  switch (type) {
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_PATH: case TYPE_LIT_PATH: case TYPE_SET_PATH: case TYPE_GET_PATH:
    case TYPE_HASH: case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL: case TYPE_REF:
    case TYPE_BINARY: case TYPE_VECTOR: case TYPE_IMAGE: case TYPE_BITSET:
      return true;
    default:
      return false;
  }
}

bool owned_q(const cell* value) {
  if (TYPE_OF(value) == TYPE_IMAGE) return (value->header & IMAGE_OWNED) != 0;
  return (GET_BUFFER(value)->flags & SERIES_OWNED) != 0;
}

void set_owned(cell* value, bool on) {
  if (TYPE_OF(value) == TYPE_IMAGE) {
    value->header = on ? value->header | IMAGE_OWNED : value->header & ~IMAGE_OWNED;
    return;
  }
  series_buffer* b = GET_BUFFER(value);
  b->flags = on ? b->flags | SERIES_OWNED : b->flags & ~SERIES_OWNED;
}

// The cell i of the block, read again after anything that allocates.
cell cell_at(const cell* blk, int32_t i) { return head_of<cell>(GET_BUFFER(blk))[i]; }
int32_t cells_of(const cell* blk) {
  series_buffer* b = GET_BUFFER(blk);
  return static_cast<int32_t>((b->tail - b->head) / sizeof(cell));
}

}  // namespace

void init() {
  collector::ownership_table = hashtable::init(TABLE_KEYS, nullptr, hashtable::KIND_OWNERSHIP, 3);
}

void set_owner(const cell* value_, const cell* owner_, const cell* word_) {
  cell value = *value_, owner = *owner_, word = word_ ? *word_ : none::none_value;
  root_guard keep_value(&value), keep_owner(&owner), keep_word(&word);
  uint32_t type = TYPE_OF(&value);
  if (owned_series_q(type)) {
    if (!owned_q(&value)) {
      set_owned(&value, true);
      cell* record = hashtable::put_node(collector::ownership_table, value.data2);
      record[0] = value;
      record[1] = owner;
      record[2] = word;
    }
    if (!any_block_q(type) || cycles::find_q(value.data2)) return;
    cycles::walk walk(value.data2);
    for (int32_t i = static_cast<int32_t>(value.data1); i < cells_of(&value); ++i) {
      cell item = cell_at(&value, i);
      set_owner(&item, &owner, &word);
    }
    return;
  }
  if (type != TYPE_OBJECT) return;
  uint32_t ctx = value.data1;
  if ((context::context_cell(ctx)->header & context::FLAG_OWNER) || cycles::find_q(ctx)) return;
  cycles::walk walk(ctx);
  for (int32_t i = 0; i < object::count_words(&value); ++i) {
    cell item = object::get_values(&value)[i];
    if (TYPE_OF(&item) == TYPE_OBJECT && item.data1 == owner.data1) continue;
    cell field = *object::value_at(ctx, i);
    set_owner(&item, &owner, &field);
  }
}

void bind(const cell* value, const cell* owner, const cell* word) {
  set_owner(value, owner, word);
  context::context_cell(owner->data1)->header |= context::FLAG_OWNER;
}

void unbind(const cell* value_) {
  cell value = *value_;
  root_guard keep(&value);
  uint32_t type = TYPE_OF(&value);
  if (owned_series_q(type)) {
    set_owned(&value, false);
    cell* record = hashtable::get_node(collector::ownership_table, value.data2);
    if (!record) return;
    for (int32_t i = 0; i < 3; ++i) record[i] = unset::unset_value;
    hashtable::delete_node(collector::ownership_table, value.data2);
    if (!any_block_q(type)) return;
    for (int32_t i = static_cast<int32_t>(value.data1); i < cells_of(&value); ++i) {
      cell item = cell_at(&value, i);
      unbind(&item);
    }
    return;
  }
  if (type != TYPE_OBJECT) return;
  uint32_t ctx = value.data1;
  if ((context::context_cell(ctx)->header & context::FLAG_OWNER) || cycles::find_q(ctx)) return;
  cycles::walk walk(ctx);
  for (int32_t i = 0; i < object::count_words(&value); ++i) {
    cell item = object::get_values(&value)[i];
    unbind(&item);
  }
}

void modify_owned(const cell* value_, const cell* spec_) {
  if (TYPE_OF(spec_) == TYPE_NONE) {
    unbind(value_);
    return;
  }
  cell spec = *spec_;
  if (TYPE_OF(&spec) != TYPE_BLOCK || block::rs_length_q(&spec) < 2) return;
  cell value = *value_, owner = block::rs_head(&spec)[0], word = block::rs_head(&spec)[1];
  root_guard keep_value(&value), keep_owner(&owner), keep_word(&word);
  if (TYPE_OF(&owner) != TYPE_OBJECT) fire(err::script_invalid_arg, {owner});
  bind(&value, &owner, &word);
}

cell* get_owner(uint32_t node) {
  cell* record = hashtable::get_node(collector::ownership_table, node);
  return record ? record + 1 : nullptr;
}

bool check(const cell* value, const cell* action, const cell* new_value, int32_t index, int32_t count) {
  if (!collector::ownership_table || !owned_series_q(TYPE_OF(value)) || !owned_q(value)) return false;
  cell* record = hashtable::get_node(collector::ownership_table, value->data2);
  if (!record || record[1].data3 == 0) return false;
  cell owner = record[1], word = record[2], target = *value, act = *action;
  cell fresh = new_value ? *new_value : none::none_value;
  root_guard keep_owner(&owner), keep_word(&word), keep_target(&target), keep_act(&act), keep_new(&fresh);
  object::call_on_deep_change(&owner, &word, &target, &act, &fresh, index, count);
  return true;
}

}  // namespace ixo::ownership
