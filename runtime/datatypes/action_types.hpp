// What an action implementation is: the operator codes of compare with
// the answer of a type's compare, and the signature of each action's
// implementation. Datatypes write their actions to these and need nothing
// else of the dispatcher (runtime/interpreter/actions.hpp), which calls them.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo {

// Operator codes of the compare action.
enum compare_op : int32_t {
  COMP_EQUAL = 0,
  COMP_NOT_EQUAL = 1,
  COMP_STRICT_EQUAL = 2,
  COMP_LESSER = 3,
  COMP_LESSER_EQUAL = 4,
  COMP_GREATER = 5,
  COMP_GREATER_EQUAL = 6,
  COMP_SORT = 7,
  COMP_CASE_SORT = 8,
  COMP_SAME = 9,
  COMP_EQUAL_10 = 10,  // further equality codes: block-like types let
  COMP_EQUAL_11 = 11,  // path! and lit-path! match, words ignore their type
  COMP_FIND = 12,      // the default of find, select, put and key lookups
};

// The answer of a type's compare: 0 equal, negative less, positive greater,
// COMPARE_NONE not comparable.
constexpr int32_t COMPARE_NONE = -2;

// The signatures of the action implementations. Mandatory arguments come
// as cells, then one parameter per refinement in spec order: a refinement
// with an argument passes its argument cell's address (present when above
// the argument base), one without passes a flag. Implementations answer
// the cell the dispatcher copies into the result slot.
using make_fn = cell* (*)(cell* proto, cell* spec, int32_t type);  // make and to
using random_fn = cell* (*)(cell* value, int32_t seed, int32_t secure, int32_t only);
using form_fn = int32_t (*)(cell* value, cell* buffer, cell* arg, int32_t part);
using mold_fn = int32_t (*)(cell* value, cell* buffer, int32_t only, int32_t all, int32_t flat,
                            cell* arg, int32_t part, int32_t indent);
using compare_fn = int32_t (*)(const cell* value1, const cell* value2, int32_t op);
// `field` is the word naming what to reflect (spec, body, words...).
using reflect_fn = cell* (*)(cell* value, cell* field);
using negate_fn = cell* (*)(cell* value);
using round_fn = cell* (*)(cell* value, cell* scale, int32_t even, int32_t down,
                           int32_t half_down, int32_t floor, int32_t ceiling, int32_t half_ceiling);
using even_q_fn = bool (*)(cell* value);
using odd_q_fn = bool (*)(cell* value);
using complement_fn = cell* (*)(cell* value);
using clear_fn = cell* (*)(cell* value);
using find_fn = cell* (*)(cell* series, cell* value, cell* part, int32_t only, int32_t case_,
                          int32_t same, int32_t any, cell* with, cell* skip, int32_t last,
                          int32_t reverse, int32_t tail, int32_t match);
using select_fn = cell* (*)(cell* series, cell* value, cell* part, int32_t only, int32_t case_,
                            int32_t same, int32_t any, cell* with, cell* skip, int32_t last,
                            int32_t reverse);
// The element count from the index, or -1 for none.
using length_q_fn = int32_t (*)(cell* value);
using remove_fn = cell* (*)(cell* series, cell* part, cell* key);
using reverse_fn = cell* (*)(cell* series, cell* part, cell* skip);
using take_fn = cell* (*)(cell* series, cell* part, int32_t deep, int32_t last);
// One step of a path: `data` is the value to store, nullptr for a read;
// `previous` the path's element before this one, `element_index` this
// element's position in the path.
using eval_path_fn = cell* (*)(cell* value, cell* element, cell* data, cell* path, cell* parent,
                               cell* previous, int32_t element_index, int32_t case_, int32_t get,
                               int32_t last, int32_t notify);
// append and insert: the dispatcher turns /part into a count (-1 without
// it) and /dup into a count (1 without it); `append` is 1 for append.
using insert_fn = cell* (*)(cell* series, cell* value, int32_t part, int32_t only, int32_t dup,
                            int32_t append);
using change_fn = cell* (*)(cell* series, cell* value, int32_t part, int32_t only, int32_t dup);
// copy writes the copy into `result` (which may be the series cell itself).
using copy_fn = cell* (*)(cell* series, cell* result, cell* part, int32_t deep, cell* types);
using move_fn = cell* (*)(cell* origin, cell* target, cell* part);
// pick and poke: `index` is the position argument as the dispatcher reads
// it (integer! and char! their value, true 1, false 2, anything else 0);
// `boxed` is the argument cell itself.
using pick_fn = cell* (*)(cell* series, int32_t index, cell* boxed);
using poke_fn = cell* (*)(cell* series, int32_t index, cell* data, cell* boxed);
using put_fn = cell* (*)(cell* series, cell* key, cell* value, int32_t case_);
using sort_fn = cell* (*)(cell* series, int32_t case_, cell* skip, cell* comparator, cell* part,
                          int32_t all, int32_t reverse, int32_t stable);
using swap_fn = cell* (*)(cell* series1, cell* series2);
using trim_fn = cell* (*)(cell* series, int32_t head, int32_t tail, int32_t auto_, int32_t lines,
                          int32_t all, cell* with);
// The file and port actions. Refinements of read: /part length, /seek
// index, /binary, /lines, /info, /as encoding; of write: /binary, /lines,
// /info, /append, /part length, /seek index, /allow access, /as encoding.
using delete_fn = cell* (*)(cell* target);
using query_fn = cell* (*)(cell* target);
using read_fn = cell* (*)(cell* source, cell* part, cell* seek, int32_t binary, int32_t lines,
                          int32_t info, cell* as);
using rename_fn = cell* (*)(cell* from, cell* to);
using write_fn = cell* (*)(cell* destination, cell* data, int32_t binary, int32_t lines, int32_t info,
                           int32_t append, cell* part, cell* seek, cell* allow, cell* as);
// The arithmetic, bitwise and navigation actions read their arguments at
// the argument base and leave their result in the result slot.
using stack_action_fn = void (*)();
// The port actions. `modify` changes one field of the target.
using modify_fn = cell* (*)(cell* target, cell* field, cell* value, int32_t case_);
using port_fn = cell* (*)(cell* port);  // create, close, delete, open?, query, update
using open_fn = cell* (*)(cell* port, int32_t new_, int32_t read, int32_t write, int32_t seek,
                          cell* allow);

}  // namespace ixo
