// routine!: the table of C++ entries registered by name, the making of
// routine values over them, and form, mold and comparison; reflect is
// function!'s.
#include "runtime/datatypes/routine.hpp"

#include <string>
#include <vector>

#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/context.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/function.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/datatypes/series.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/datatypes/unset.hpp"
#include "runtime/interpreter/actions.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/roots.hpp"

namespace ixo::routine {

using memory::root_guard;

namespace {

struct routine_record {
  std::string name;
  routine_entry entry;
};

// Index n names element n - 1. Entries live for the whole process, across
// runtime restarts.
std::vector<routine_record> routine_table;

}  // namespace

int32_t register_entry(const char* name, routine_entry entry) {
  for (size_t i = 0; i < routine_table.size(); ++i) {
    if (routine_table[i].name == name) {
      routine_table[i].entry = entry;
      return static_cast<int32_t>(i + 1);
    }
  }
  routine_table.push_back({name, entry});
  return static_cast<int32_t>(routine_table.size());
}

routine_entry entry_of(int32_t index) {
  if (index < 1 || index > static_cast<int32_t>(routine_table.size())) return nullptr;
  return routine_table[static_cast<size_t>(index - 1)].entry;
}

const char* name_of(int32_t index) {
  if (index < 1 || index > static_cast<int32_t>(routine_table.size())) return nullptr;
  return routine_table[static_cast<size_t>(index - 1)].name.c_str();
}

int32_t find_entry(const char* name) {
  for (size_t i = 0; i < routine_table.size(); ++i)
    if (routine_table[i].name == name) return static_cast<int32_t>(i + 1);
  return 0;
}

cell* push(const char* name, const cell* given_spec, routine_entry entry) {
  int32_t index = register_entry(name, entry);
  cell spec = *given_spec, more{}, body{};
  uint32_t ctx = 0;
  root_guard keep_spec(&spec), keep_more(&more), keep_body(&body), keep_ctx(&ctx);
  uint32_t arity = 0;
  for (int32_t i = 0; i < series::rs_abs_length_q(&spec); ++i) arity += TYPE_OF(block::rs_abs_at(&spec, i)) == TYPE_WORD;

  std::string text = std::string("built in: ") + name;
  string::load_at(reinterpret_cast<const uint8_t*>(text.data()), static_cast<int32_t>(text.size()), &body,
                  string::LOAD_UTF8);
  block::make_at(&more, 5);
  ctx = context::make_from_spec(&spec, true, false, context::KIND_FUNCTION);
  block::rs_append(&more, &body);
  block::rs_append(&more, &unset::unset_value);
  cell entry_index{TYPE_INTEGER, 0, static_cast<uint32_t>(index), 0};
  block::rs_append(&more, &entry_index);
  block::rs_append(&more, &unset::unset_value);
  block::rs_append(&more, &unset::unset_value);
  uint32_t header = TYPE_ROUTINE | FLAG_CELLS | (arity & 31) << ARITY_SHIFT;
  return stack::push(cell{header, ctx, spec.data2, more.data2});
}

namespace {

int32_t form(cell*, cell* buffer, cell*, int32_t part) { return datatype::append_text(buffer, "?routine?", part); }

int32_t mold(cell* value, cell* buffer, int32_t only, int32_t all, int32_t flat, cell* arg, int32_t part,
             int32_t indent) {
  cell spec{TYPE_BLOCK, 0, value->data2, 0};
  cell more{TYPE_BLOCK, 0, value->data3, 0};
  root_guard keep_more(&more);
  part = datatype::append_text(buffer, "routine ", part);
  part = actions::mold(&spec, buffer, only, all, flat, arg, part, indent);
  cell body = *block::rs_abs_at(&more, 0);
  if (TYPE_OF(&body) != TYPE_BLOCK) part = datatype::append_text(buffer, " ", part);
  return actions::mold(&body, buffer, only, all, flat, arg, part, indent);
}

}  // namespace

void init() {
  // clang-format off
  datatype::register_type(datatype_registration(TYPE_ROUTINE, TYPE_FUNCTION, "routine!",
    /* make .. set-path */     unsupported, unsupported, inherit, unsupported, form, mold, unsupported, unsupported,
    /* compare .. remainder */ function::compare, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* round .. xor~ */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* append .. head */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* head? .. poke */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* put .. tail */          unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* tail? .. open */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* open? .. write */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported));
  // clang-format on
}

}  // namespace ixo::routine
