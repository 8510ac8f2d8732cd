// The datatype registry: every datatype module ends by registering its type
// id, its parent, its name and one entry per action. The registry keeps the
// type-name table and the action table, a flat array of 256 entries per
// type indexed by type × 256 + action − 1, so that dispatch is one load.
// Inheritance is resolved at registration: a slot marked `inherit` gets a
// copy of the parent's entry as it stands then.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo {

// The 62 actions in slot order.
enum action_index : int32_t {
  ACT_MAKE = 1, ACT_RANDOM, ACT_REFLECT, ACT_TO, ACT_FORM, ACT_MOLD, ACT_EVAL_PATH,
  ACT_SET_PATH, ACT_COMPARE, ACT_ABSOLUTE, ACT_ADD, ACT_DIVIDE, ACT_MULTIPLY, ACT_NEGATE,
  ACT_POWER, ACT_REMAINDER, ACT_ROUND, ACT_SUBTRACT, ACT_EVEN_Q, ACT_ODD_Q, ACT_AND_T,
  ACT_COMPLEMENT, ACT_OR_T, ACT_XOR_T, ACT_APPEND, ACT_AT, ACT_BACK, ACT_CHANGE, ACT_CLEAR,
  ACT_COPY, ACT_FIND, ACT_HEAD, ACT_HEAD_Q, ACT_INDEX_Q, ACT_INSERT, ACT_LENGTH_Q, ACT_MOVE,
  ACT_NEXT, ACT_PICK, ACT_POKE, ACT_PUT, ACT_REMOVE, ACT_REVERSE, ACT_SELECT, ACT_SORT,
  ACT_SKIP, ACT_SWAP, ACT_TAIL, ACT_TAIL_Q, ACT_TAKE, ACT_TRIM, ACT_CREATE, ACT_CLOSE,
  ACT_DELETE, ACT_MODIFY, ACT_OPEN, ACT_OPEN_Q, ACT_QUERY, ACT_READ, ACT_RENAME, ACT_UPDATE,
  ACT_WRITE,
};
constexpr int32_t ACTION_COUNT = 62;
constexpr int32_t TYPE_ROWS = 57;   // type ids 0 to 56
// A row of the action table: the actions rounded up to a power of two, so
// that the rows the registered types fill share pages.
constexpr int32_t ACTION_STRIDE = 64;
static_assert(ACTION_STRIDE >= ACTION_COUNT, "a row holds every action");

// An action entry as stored: each action has its own signature (see the
// action's typedef), so entries are kept as one generic function pointer
// and cast back by `datatype::action_of`.
using action_entry = void (*)();

// The slot marks of a registration: `unsupported` (0) and `inherit` (−1).
struct inherit_t {};
constexpr inherit_t inherit{};
constexpr std::nullptr_t unsupported = nullptr;

namespace datatype {

// The stored mark of an inherited slot whose type has no parent.
action_entry inherit_mark();

inline action_entry to_entry(std::nullptr_t) { return nullptr; }
inline action_entry to_entry(inherit_t) { return inherit_mark(); }
template <class R, class... A>
action_entry to_entry(R (*f)(A...)) {
  return reinterpret_cast<action_entry>(f);
}

}  // namespace datatype

// A type's registration: id, parent id (0 = none), name with its final "!"
// and exactly 62 slot entries, each an action function, `unsupported` or
// `inherit`. A wrong count does not compile.
struct datatype_registration {
  uint32_t type;
  uint32_t parent;
  const char* name;
  std::array<action_entry, ACTION_COUNT> actions;

  template <class... E>
  datatype_registration(uint32_t type_, uint32_t parent_, const char* name_, E... entries)
      : type(type_), parent(parent_), name(name_), actions{datatype::to_entry(entries)...} {
    static_assert(sizeof...(E) == ACTION_COUNT, "a datatype registers exactly 62 action slots");
  }
};

namespace datatype {

struct type_name_entry {
  const char* name;  // with its final "!"
  int32_t length;    // of the name without "!"
  uint32_t word;     // symbol id of the type's global word; 0 until words exist
};

extern type_name_entry* type_name_table;  // TYPE_ROWS entries
extern action_entry* action_table;        // TYPE_ROWS × ACTION_STRIDE entries
extern uint32_t max_type_id;
// Set by build_words, cleared by alloc_tables: from then on a registration
// makes its type's word at once.
extern bool type_words_made;

// Allocates both tables from the tracked heap. The action table is not
// cleared (only registered rows are read); the type-name table is, so that
// a row never registered has no name.
void alloc_tables();

// Registers one type. Once the type words exist (build_words has run), the
// type's word is made at once.
void register_type(const datatype_registration& r);

// Makes the global word of every registered type's name (block! ...) and
// keeps its symbol in the type-name table.
void build_words();

inline action_entry entry_of(uint32_t type, int32_t index) {
  return action_table[type * ACTION_STRIDE + index - 1];
}

// The entry of an action, cast to the action's own signature.
template <class F>
F action_of(uint32_t type, int32_t index) {
  return reinterpret_cast<F>(entry_of(type, index));
}

}  // namespace datatype
}  // namespace ixo
