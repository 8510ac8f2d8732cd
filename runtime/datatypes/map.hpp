// map!: the associative array. A map cell holds its index in payload word
// 1, in word 2 the node of its storage (a cell series of key/value pairs,
// each key at an even position) and in word 3 its hashtable (map kind),
// which indexes the storage. A removed pair stays in the storage with its
// value cell's header cleared to 0; the table's size counts live pairs, and
// every walk skips removed ones. Word keys are stored as set-words, string
// keys as copies.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::map {

bool valid_key_type_q(uint32_t type);
// Stores the key form of `key` into it: series keys copied, word keys
// retyped set-word!. Another type raises script/invalid-path with the path
// (none when there is none) and the key's datatype.
void prepare_key(cell* key, const cell* path);
// `c` becomes a map! over the storage block (a new block with room for
// `size` cells when none is given), flags kept.
cell* make_at(cell* c, const cell* storage, int32_t size);
// Adds or replaces the pairs of the block; an odd count raises
// script/invalid-arg.
cell* extend(cell* m, cell* block, int32_t case_);
// Live pairs.
int32_t count_of(const cell* m);
// One step of foreach: the first `count` words of the block `words` (from
// its index; each a word!, set-word!, lit-word! or get-word!, else
// script/invalid-arg) take key, value, key ... from the map's index on,
// removed pairs skipped (the index moves past them) and set-word! keys
// given as word!; words left when the map runs out take none. Answers
// whether any word took a pair's key or value. The caller moves the index
// past the words it filled. Both cells must be rooted.
bool foreach_next(const cell* words, cell* m, int32_t count);

void init();

}  // namespace ixo::map
