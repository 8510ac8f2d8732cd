// object!: a value owning a context of named fields. The object cell holds
// the context node in payload word 1, the class id in word 2 and in word 3
// the node of its change-handler record (0 when it has no handler). The
// context (object kind, with `self`) keeps a copy of the object cell as its
// owner. Objects made from the same prototype without new fields share a
// class id; run-time ids count up from CLASS_BASE.
//
// The change-handler record is a series of two pair! cells, the first for
// on-change*, the second for on-deep-change*: payload word 1 the handler's
// slot << 16 | its local word count (slot 0xFFFF: no such handler), word 2
// the node of the handler's spec when the count was taken.
//
// Handlers are functions run by the interpreter: every call goes through
// the `call_handler` hook, which the interpreter installs.
#pragma once
#include <cstdint>
#include <initializer_list>

#include "runtime/datatypes/context.hpp"
#include "runtime/memory/cell.hpp"

namespace ixo::object {

constexpr int32_t CLASS_BASE = 1000000;
constexpr uint32_t NO_HANDLER = 0xFFFF;

extern int32_t class_counter;

// Runs a handler function: `handler` the field's function value, `name` the
// frame's word (on-change* or on-deep-change*), `arguments` the `count`
// argument cells (on the value stack), `locals` the handler's local words.
using handler_caller = void (*)(const cell* handler, const cell* name, const cell* arguments, int32_t count,
                                int32_t locals);
extern handler_caller call_handler;
// Evaluates the body of make object! once its words are collected and
// bound; the result is dropped.
using block_evaluator = void (*)(cell* block);
extern block_evaluator eval_block;

int32_t next_class_id();

// Readers.
int32_t find_word(const cell* obj, const cell* word);
cell* select_word(const cell* obj, const cell* word);
cell* value_at(uint32_t ctx, int32_t index);
cell* first_word(const cell* obj);
cell* get_values(const cell* obj);
int32_t count_words(const cell* obj);
// A path step's field position, found as eval_path finds it (the word's
// own slot when it is bound to the object, else its spelling in any letter
// case), nothing allocated; -1 when the object lacks it.
inline int32_t field_index(const cell* obj, const cell* word) {
  int32_t index = static_cast<int32_t>(word->data3);
  if (word->data1 == obj->data1 && index >= 0) return index;
  return context::find_word_kept(obj->data1, static_cast<int32_t>(word->data2));
}
// That field's value cell, or nullptr when the object lacks it.
inline cell* field_of(const cell* obj, const cell* word) {
  int32_t index = field_index(obj, word);
  if (index < 0) return nullptr;
  return memory::head_of<cell>(memory::buffer_of(context::context_cell(obj->data1)->data2)) + index;
}
// A path's store into that field when the object has no change handlers
// to hear of it: the field marked stored into, the value written, its cell
// answered; nullptr (nothing done) when the field is absent or handlers
// must run.
cell* store_field(const cell* obj, const cell* word, const cell& value);
// The value reached from the system object through fields taken by
// position (system/locale/currencies/list is {10, 6, 0}); null before the
// system object exists, or when a value on the way is no object or has
// too few fields. Valid until the next allocation.
const cell* system_field(std::initializer_list<int32_t> positions);

// Constructors: each writes the object cell into its context's owner.
cell* make_empty_at(cell* target, int32_t words);
uint32_t make_events(uint32_t change_spec, uint32_t deep_spec, int32_t change_index, int32_t change_locals,
                     int32_t deep_index, int32_t deep_locals);
// The record of the context's handler fields, or 0; a handler field that
// is not a function raises script/bad-field-set.
uint32_t scan_events(uint32_t ctx);
bool has_deep_handler_q(const cell* obj);
void attach_events(uint32_t ctx, cell* target);
cell* construct(cell* spec, cell* proto, bool only, cell* result);
void set_values(cell* obj, cell* value, bool any, bool only, bool some);
cell* copy_into(cell* source, cell* target, bool deep, cell* types, bool rebuild);
// make object! from a block, with an object prototype or none.
cell* make_from_block(cell* proto, cell* spec, cell* result);

// Change handlers.
void call_on_change(const cell* obj, const cell* word, const cell* old_value, const cell* new_value);
void call_on_deep_change(const cell* owner, const cell* word, const cell* target, const cell* action,
                         const cell* new_value, int32_t index, int32_t part);

// The field writer shared by form and mold of objects and errors.
int32_t mold_fields(cell* obj, cell* buffer, int32_t only, int32_t all, int32_t flat, cell* arg, int32_t part,
                    bool indent, int32_t level, bool mold);

// The actions error! inherits or calls.
cell* reflect(cell* obj, cell* field);
cell* eval_path(cell* obj, cell* element, cell* data, cell* path, cell*, cell*, int32_t, int32_t, int32_t get,
                int32_t last, int32_t);
int32_t compare(const cell* obj1, const cell* obj2, int32_t op);
cell* copy(cell* obj, cell* result, cell* part, int32_t deep, cell* types);
cell* select(cell* obj, cell* key, cell*, int32_t, int32_t, int32_t, int32_t, cell*, cell*, int32_t, int32_t);

void init();

}  // namespace ixo::object
