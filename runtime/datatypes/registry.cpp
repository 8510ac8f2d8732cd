// The datatype registry's tables and registration.
#include "runtime/datatypes/registry.hpp"

#include <cstring>

#include "runtime/datatypes/word.hpp"
#include "startup/system/heap.hpp"

namespace ixo::datatype {

type_name_entry* type_name_table = nullptr;
action_entry* action_table = nullptr;
uint32_t max_type_id = 0;
bool type_words_made = false;

namespace {

void inherit_marker() {}

uint32_t type_word(const char* name) { return word::load(name)->data2; }

}  // namespace

action_entry inherit_mark() { return &inherit_marker; }

void alloc_tables() {
  type_name_table = static_cast<type_name_entry*>(
      heap::alloc_zeroed(static_cast<int32_t>(sizeof(type_name_entry)) * TYPE_ROWS));
  action_table = static_cast<action_entry*>(
      heap::alloc_tracked(static_cast<int32_t>(sizeof(action_entry)) * TYPE_ROWS * ACTION_STRIDE));
  type_words_made = false;
}

void register_type(const datatype_registration& r) {
  if (r.type > max_type_id) max_type_id = r.type;
  type_name_entry& e = type_name_table[r.type];
  e.name = r.name;
  e.length = static_cast<int32_t>(std::strlen(r.name)) - 1;
  e.word = type_words_made ? type_word(r.name) : 0;
  for (int32_t i = 1; i <= ACTION_COUNT; ++i) {
    action_entry given = r.actions[i - 1];
    bool inherited = r.parent != 0 && given == inherit_mark();
    action_table[r.type * ACTION_STRIDE + i - 1] = inherited ? entry_of(r.parent, i) : given;
  }
}

void build_words() {
  for (uint32_t type = 1; type <= max_type_id; ++type) {
    type_name_entry& e = type_name_table[type];
    if (e.name) e.word = type_word(e.name);
  }
  type_words_made = true;
}

}  // namespace ixo::datatype
