// Set operations on blocks: unique, union, intersect, exclude and
// difference build a new block of distinct records (of `skip` cells, only
// the first cell compared) in one walk per argument. Hashtables answer both
// questions of each step, whether the other argument holds the value and
// whether the result already does, so every operation is linear; nested
// blocks, which hash by node, are looked for by a scan instead.
#include <algorithm>

#include "runtime/core/hashtable.hpp"
#include "runtime/datatypes/action_types.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/series.hpp"
#include "runtime/datatypes/type_classes.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/roots.hpp"

namespace ixo::block {

using namespace memory;

namespace {

enum set_op : int32_t { OP_UNIQUE = 8, OP_UNION = 9, OP_INTERSECT = 10, OP_EXCLUDE = 11, OP_DIFFERENCE = 12 };

using series::rs_abs_length_q;

void clamp_index(cell* b) { b->data1 = static_cast<uint32_t>(std::min(static_cast<int32_t>(b->data1), rs_abs_length_q(b))); }

// Whether `key` is in the records of `b` from its index, through its table
// or, for a block-like key, a scan.
bool holds_q(cell* b, uint32_t table, const cell* key, int32_t size, bool case_sensitive) {
  if (any_block_q(TYPE_OF(key)))
    return find_value(b, key, case_sensitive ? COMP_STRICT_EQUAL : COMP_FIND, size) >= 0;
  int32_t mode = case_sensitive ? COMP_STRICT_EQUAL : COMP_EQUAL;
  return hashtable::get(table, key, static_cast<int32_t>(b->data1), size, mode, false, false) != nullptr;
}

}  // namespace

void do_set_op(int32_t case_sensitive, cell* skip, int32_t op) {
  cell* first = stack::arguments;
  cell* second = stack::arguments + 1;
  int32_t size = 1;
  if (stack::given_q(skip)) {
    if (TYPE_OF(skip) != TYPE_INTEGER || static_cast<int32_t>(skip->data2) < 1)
      fire(err::script_invalid_refine_arg, {series::refinement_value("skip"), *skip});
    size = static_cast<int32_t>(skip->data2);
  }
  clamp_index(first);
  if (op != OP_UNIQUE) clamp_index(second);
  bool sensitive = case_sensitive != 0;

  int64_t room = rs_abs_length_q(first) - static_cast<int32_t>(first->data1);
  if (op == OP_UNION) room += rs_abs_length_q(second) - static_cast<int32_t>(second->data1);
  cell* saved_top = stack::top;
  // Typed hash! while it fills, so that its table stays with it.
  cell* result = push_only(static_cast<int32_t>(std::clamp<int64_t>(room, 1, INT32_MAX / 16)));
  set_type(result, TYPE_HASH);
  result->data3 = hashtable::init(static_cast<int32_t>(std::max<int64_t>(room, 1)), result, hashtable::KIND_BLOCK, 1);
  bool hash_result = TYPE_OF(first) == TYPE_HASH || (op != OP_UNIQUE && TYPE_OF(second) == TYPE_HASH);

  cell key{};
  uint32_t members = 0;
  root_guard keep_key(&key), keep_members(&members);
  bool membership = op >= OP_INTERSECT;
  int32_t passes = op == OP_UNION || op == OP_DIFFERENCE ? 2 : 1;
  for (int32_t pass = 0; pass < passes; ++pass) {
    cell* walked = pass == 0 ? first : second;
    cell* other = pass == 0 ? second : first;
    if (membership) {
      members = TYPE_OF(other) == TYPE_HASH
                    ? other->data3
                    : hashtable::init(std::max(rs_abs_length_q(other) - static_cast<int32_t>(other->data1), 1), other,
                                      hashtable::KIND_BLOCK, 1);
    }
    for (int64_t p = walked->data1; p < rs_abs_length_q(walked); p += size) {
      key = *rs_abs_at(walked, static_cast<int32_t>(p));
      if (membership) {
        bool found = holds_q(other, members, &key, size, sensitive);
        if (found == (op != OP_INTERSECT)) continue;
      }
      if (holds_q(result, result->data3, &key, size, sensitive)) continue;
      // Every cell of the record enters the table; lookups step by whole
      // records, so only first cells are ever answered.
      rs_append(result, &key);
      for (int32_t k = 1; k < size && p + k < rs_abs_length_q(walked); ++k)
        rs_append(result, rs_abs_at(walked, static_cast<int32_t>(p + k)));
    }
  }
  uint32_t type = hash_result ? TYPE_HASH : TYPE_OF(first);
  *first = cell{type, 0, result->data2, hash_result ? result->data3 : 0};
  stack::top = saved_top;
}

}  // namespace ixo::block
