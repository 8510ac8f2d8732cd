// object! (object.hpp): class ids, the change-handler record and the calls
// of on-change* and on-deep-change*, the constructors behind make, copy,
// construct and set, and the actions (make, reflect, form, mold,
// eval-path, compare, copy, put, select, modify).
#include "runtime/datatypes/object.hpp"

#include <optional>

#include "runtime/core/cycles.hpp"
#include "runtime/core/ownership.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/context.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/function.hpp"
#include "runtime/datatypes/logic.hpp"
#include "runtime/datatypes/none.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/datatypes/series.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/datatypes/type_classes.hpp"
#include "runtime/datatypes/unset.hpp"
#include "runtime/datatypes/word.hpp"
#include "runtime/datatypes/words.hpp"
#include "runtime/interpreter/actions.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/roots.hpp"
#include "runtime/memory/series_buffer.hpp"

namespace ixo::object {

using namespace memory;

int32_t class_counter = CLASS_BASE;
handler_caller call_handler = nullptr;
block_evaluator eval_block = nullptr;

namespace {

cell datatype_cell(uint32_t type) { return cell{TYPE_DATATYPE, type, 0, 0}; }

cell* ctx_cell(const cell* obj) { return context::context_cell(obj->data1); }
uint32_t values_node(uint32_t ctx) { return context::context_cell(ctx)->data2; }
int32_t value_count(uint32_t ctx) {
  series_buffer* b = buffer_of(values_node(ctx));
  return static_cast<int32_t>((b->tail - b->head) / sizeof(cell));
}
cell* slot(uint32_t ctx, int32_t i) { return head_of<cell>(buffer_of(values_node(ctx))) + i; }

bool same_symbol(const cell* a, int32_t symbol) { return symbol::EQUAL_WORDS_q(a, symbol); }
int32_t canonical(const cell* word) { return symbol::resolve(static_cast<int32_t>(word->data2)); }

bool handler_field_q(const cell* word) {
  return canonical(word) == canonical(words::word_on_change) || canonical(word) == canonical(words::word_on_deep_change);
}

// The words after /local in a function's spec block.
int32_t count_locals(uint32_t spec) {
  if (!spec) return 0;
  series_buffer* b = buffer_of(spec);
  int32_t count = 0;
  bool locals = false;
  for (cell* c = head_of<cell>(b); c < tail_of<cell>(b); ++c) {
    if (TYPE_OF(c) == TYPE_REFINEMENT) locals = c->data2 == refinements::local->data2;
    else if (locals && TYPE_OF(c) == TYPE_WORD) ++count;
  }
  return count;
}

// The record cell of a handler (0 on-change*, 1 on-deep-change*).
cell* record_cell(uint32_t record, int32_t which) { return head_of<cell>(buffer_of(record)) + which; }
int32_t handler_slot(const cell* rec) {
  uint32_t s = rec->data1 >> 16;
  return s == NO_HANDLER ? -1 : static_cast<int32_t>(s);
}

// Calls the handler of record cell `which` with the arguments, refreshing
// the cached locals count when the handler's spec changed.
void run_handler(const cell* obj, int32_t which, const cell* name, const cell* args, int32_t count) {
  cell* rec = record_cell(obj->data3, which);
  int32_t at = handler_slot(rec);
  cell handler = *slot(obj->data1, at);
  if (rec->data2 != handler.data2) {
    rec = record_cell(obj->data3, which);
    rec->data1 = static_cast<uint32_t>(at) << 16 | static_cast<uint32_t>(count_locals(handler.data2));
    rec->data2 = handler.data2;
  }
  int32_t locals = static_cast<int32_t>(rec->data1 & 0xFFFF);
  if (call_handler) call_handler(&handler, name, args, count, locals);
}

cell* push_integer(int32_t v) { return stack::push(cell{TYPE_INTEGER, 0, static_cast<uint32_t>(v), 0}); }

int32_t append_indent(cell* buffer, int32_t level, int32_t part) {
  for (int32_t i = 0; i < level; ++i) part = datatype::append_text(buffer, "    ", part);
  return part;
}

// Clears the changed marks of the fields.
void clear_changed(const cell* obj) {
  for (int32_t i = 0; i < count_words(obj); ++i) value_at(obj->data1, i)->header &= ~context::WORD_CHANGED;
}

// The function in slot `index` of the object context `ctx`, made again
// for that object: a copy of its body is bound to the object (self
// included) and then to a copy of the function's own context, so that a
// method copied from a prototype reads the new object's fields and still
// its own arguments and locals.
void rebind_function(uint32_t ctx, int32_t index) {
  cell fn = *slot(ctx, index);
  root_guard keep_ctx(&ctx), keep_fn(&fn);
  cell more{TYPE_BLOCK, 0, fn.data3, 0};
  cell body = *block::rs_abs_at(&more, 0);
  root_guard keep_body(&body);
  if (TYPE_OF(&body) != TYPE_BLOCK) fire(err::script_bad_func_def, {fn});
  cell holder = fn;
  root_guard keep_holder(&holder);
  uint32_t own = context::duplicate(&holder, context::KIND_FUNCTION);
  root_guard keep_own(&own);
  cell spec{TYPE_BLOCK, 0, fn.data2, 0};
  root_guard keep_spec(&spec);
  function::push(&spec, &body, own, fn.header & (function::FLAG_NO_TRACE | function::FLAG_TRACE));
  cell made = *(stack::top - 1);
  stack::pop(1);
  root_guard keep_made(&made);
  cell made_more{TYPE_BLOCK, 0, made.data3, 0};
  cell copy = *block::rs_abs_at(&made_more, 0);
  root_guard keep_copy(&copy);
  context::bind(&copy, ctx, true);
  context::bind(&copy, own, false);
  *slot(ctx, index) = made;
}

void rebind_functions(uint32_t ctx) {
  root_guard keep(&ctx);
  for (int32_t i = 0; i < value_count(ctx); ++i) {
    if (TYPE_OF(slot(ctx, i)) == TYPE_FUNCTION) rebind_function(ctx, i);
  }
}

}  // namespace

int32_t next_class_id() { return ++class_counter; }

// ---- Readers ---------------------------------------------------------------

int32_t find_word(const cell* obj, const cell* word) {
  return context::find_word(obj->data1, static_cast<int32_t>(word->data2), true);
}

cell* select_word(const cell* obj, const cell* word) {
  int32_t i = find_word(obj, word);
  return i < 0 ? &none::none_value : slot(obj->data1, i);
}

cell* value_at(uint32_t ctx, int32_t index) { return context::word_at(context::context_cell(ctx), index); }
cell* first_word(const cell* obj) { return value_at(obj->data1, 0); }

cell* store_field(const cell* obj, const cell* word, const cell& value) {
  if (obj->data3) return nullptr;
  int32_t index = field_index(obj, word);
  if (index < 0) return nullptr;
  value_at(obj->data1, index)->header |= context::WORD_CHANGED;
  cell* field = slot(obj->data1, index);
  *field = value;
  return field;
}
cell* get_values(const cell* obj) { return slot(obj->data1, 0); }
int32_t count_words(const cell* obj) { return context::word_count(obj->data1); }

const cell* system_field(std::initializer_list<int32_t> positions) {
  const cell* value = context::get_global(words::sym_system);
  for (int32_t field : positions) {
    if (!value || TYPE_OF(value) != TYPE_OBJECT || count_words(value) <= field) return nullptr;
    value = get_values(value) + field;
  }
  return value;
}

// ---- Constructors ----------------------------------------------------------

cell* make_empty_at(cell* target, int32_t words) {
  uint32_t ctx = context::make(words, false, true, 0, context::KIND_OBJECT);
  *target = cell{TYPE_OBJECT, ctx, 0, 0};
  *context::owner_cell(ctx) = *target;
  return target;
}

uint32_t make_events(uint32_t change_spec, uint32_t deep_spec, int32_t change_index, int32_t change_locals,
                     int32_t deep_index, int32_t deep_locals) {
  uint32_t record = alloc_cells(2);
  series_buffer* b = buffer_of(record);
  cell* c = head_of<cell>(b);
  auto field = [](int32_t index, int32_t locals) {
    return (index < 0 ? NO_HANDLER : static_cast<uint32_t>(index)) << 16 | static_cast<uint32_t>(locals);
  };
  c[0] = cell{TYPE_PAIR, field(change_index, change_locals), change_spec, 0};
  c[1] = cell{TYPE_PAIR, field(deep_index, deep_locals), deep_spec, 0};
  b->tail = b->head + 2 * sizeof(cell);
  return record;
}

uint32_t scan_events(uint32_t ctx) {
  int32_t change = context::find_word(ctx, static_cast<int32_t>(words::word_on_change->data2), true);
  int32_t deep = context::find_word(ctx, static_cast<int32_t>(words::word_on_deep_change->data2), true);
  if (change < 0 && deep < 0) return 0;
  uint32_t specs[2] = {0, 0};
  int32_t locals[2] = {0, 0};
  int32_t at[2] = {change, deep};
  for (int32_t k = 0; k < 2; ++k) {
    if (at[k] < 0) continue;
    cell* v = slot(ctx, at[k]);
    if (!function_or_routine_q(TYPE_OF(v)))
      fire(err::script_bad_field_set, {*value_at(ctx, at[k]), datatype_cell(TYPE_OF(v))});
    specs[k] = v->data2;
    locals[k] = count_locals(v->data2);
  }
  return make_events(specs[0], specs[1], change, locals[0], deep, locals[1]);
}

bool has_deep_handler_q(const cell* obj) {
  return obj->data3 != 0 && handler_slot(record_cell(obj->data3, 1)) >= 0;
}

void attach_events(uint32_t ctx, cell* target) {
  root_guard keep(&ctx);
  target->data3 = scan_events(ctx);
  *context::owner_cell(ctx) = *target;
  if (has_deep_handler_q(target)) {
    cell obj = *target;
    root_guard keep_obj(&obj);
    ownership::bind(&obj, &obj, nullptr);
  }
}

cell* copy_into(cell* source_, cell* target, bool deep, cell* types, bool rebuild) {
  cell source = *source_;
  uint32_t ctx = 0;
  root_guard keep_source(&source), keep_ctx(&ctx);
  bool typed = stack::given_q(types);
  if (deep && typed && cycles::find_q(source.data1)) {
    cycles::reset();
    fire(err::internal_no_cycle);
  }
  int32_t n = count_words(&source);
  ctx = context::make(n, false, true, source.data1, context::KIND_OBJECT);
  for (int32_t i = 0; i < n; ++i) value_at(ctx, i)->data1 = ctx;
  cell result{(source.header & 0xFF) , ctx, source.data2, rebuild ? 0 : source.data3};
  root_guard keep_result(&result);
  *context::owner_cell(ctx) = result;
  cell values{TYPE_BLOCK, 0, values_node(ctx), 0};
  cell from{TYPE_BLOCK, 0, values_node(source.data1), 0};
  root_guard keep_values(&values), keep_from(&from);
  block::rs_append_block(&values, &from);
  if (deep || typed) {
    std::optional<cycles::walk> walk;
    if (deep && typed) walk.emplace(source.data1);
    block::copy_nested(&values, 0, value_count(ctx), 1, deep, typed ? types : nullptr);
  }
  rebind_functions(ctx);
  if (rebuild) attach_events(ctx, &result);
  *target = result;
  return target;
}

cell* construct(cell* spec_, cell* proto, bool only, cell* result_) {
  cell spec = *spec_, result{};
  root_guard keep_spec(&spec), keep_result(&result);
  if (proto && TYPE_OF(proto) == TYPE_OBJECT) {
    copy_into(proto, &result, true, nullptr, false);
  } else {
    make_empty_at(&result, 4);
    result.data2 = static_cast<uint32_t>(next_class_id());
    *context::owner_cell(result.data1) = result;
  }
  int32_t count = 0;
  block::values_of(&spec, count);
  int32_t first = static_cast<int32_t>(spec.data1);
  auto at = [&](int32_t i) { return head_of<cell>(GET_BUFFER(&spec))[first + i]; };
  int32_t i = 0;
  while (i < count) {
    if (TYPE_OF(&head_of<cell>(GET_BUFFER(&spec))[first + i]) != TYPE_SET_WORD) {
      ++i;
      continue;
    }
    int32_t run = i;
    while (i < count && TYPE_OF(&head_of<cell>(GET_BUFFER(&spec))[first + i]) == TYPE_SET_WORD) ++i;
    cell value = i < count ? at(i) : none::none_value;
    if (!only && TYPE_OF(&value) == TYPE_WORD) {
      if (same_symbol(&value, words::sym_true) || same_symbol(&value, words::sym_yes) ||
          same_symbol(&value, words::sym_on))
        value = logic::true_value;
      else if (same_symbol(&value, words::sym_false) || same_symbol(&value, words::sym_no) ||
               same_symbol(&value, words::sym_off))
        value = logic::false_value;
      else if (same_symbol(&value, words::sym_none))
        value = none::none_value;
    }
    root_guard keep_value(&value);
    for (int32_t k = run; k < i; ++k) {
      int32_t index = context::add_word(result.data1, static_cast<int32_t>(at(k).data2));
      *slot(result.data1, index) = value;
    }
  }
  *result_ = result;
  return result_;
}

void set_values(cell* obj_, cell* value_, bool any, bool only, bool some) {
  cell obj = *obj_, value = *value_;
  root_guard keep_obj(&obj), keep_value(&value);
  int32_t n = count_words(&obj);
  uint32_t ctx = obj.data1;
  bool from_block = !only && TYPE_OF(&value) == TYPE_BLOCK;
  bool from_object = !only && TYPE_OF(&value) == TYPE_OBJECT;
  // The source value of field i, or nullptr to leave the field alone.
  auto source = [&](int32_t i) -> cell* {
    if (from_block) {
      int32_t count = 0;
      const cell* values = block::values_of(&value, count);
      return i < count ? const_cast<cell*>(values + i) : &none::none_value;
    }
    if (from_object) {
      int32_t at = context::find_word(value.data1, static_cast<int32_t>(value_at(ctx, i)->data2), true);
      return at < 0 ? nullptr : slot(value.data1, at);
    }
    return &value;
  };
  if ((from_block || from_object) && !some && !any) {
    for (int32_t i = 0; i < n; ++i) {
      cell* v = source(i);
      if (v && TYPE_OF(v) == TYPE_UNSET) fire(err::script_need_value, {*value_at(ctx, i)});
    }
  }
  for (int32_t i = 0; i < n; ++i) {
    cell* v = source(i);
    value_at(ctx, i)->header |= context::WORD_CHANGED;
    if (!v || (some && TYPE_OF(v) == TYPE_NONE)) continue;
    cell fresh = *v, word = *value_at(ctx, i);
    root_guard keep_fresh(&fresh), keep_word(&word);
    if (!obj.data3) {
      *slot(ctx, i) = fresh;
      continue;
    }
    if (handler_field_q(&word)) continue;
    cell* old = stack::push(*slot(ctx, i));
    *slot(ctx, i) = fresh;
    call_on_change(&obj, &word, old, &fresh);
    stack::pop(1);
  }
}

cell* make_from_block(cell* proto, cell* spec_, cell* result_) {
  cell spec = *spec_, result{};
  root_guard keep_spec(&spec), keep_result(&result);
  bool with_proto = proto && TYPE_OF(proto) == TYPE_OBJECT;
  if (with_proto)
    copy_into(proto, &result, true, nullptr, false);
  else
    make_empty_at(&result, 4);
  bool grew = context::collect_set_words(result.data1, &spec);
  context::bind(&spec, result.data1, true);
  if (with_proto) {
    // The copied series values now belong to the new object: bind the
    // block-like ones to its context.
    for (int32_t i = 0; i < value_count(result.data1); ++i) {
      cell v = *slot(result.data1, i);
      if (any_block_q(TYPE_OF(&v))) context::bind(&v, result.data1, true);
    }
  }
  if (eval_block) eval_block(&spec);
  clear_changed(&result);
  for (int32_t i = 0; i < value_count(result.data1); ++i) clear_new_line(slot(result.data1, i));
  result.data2 = grew || !with_proto ? static_cast<uint32_t>(next_class_id()) : proto->data2;
  result.data3 = 0;
  attach_events(result.data1, &result);
  *result_ = result;
  return result_;
}

// ---- Change handlers -------------------------------------------------------

void call_on_change(const cell* obj_, const cell* word_, const cell* old_value, const cell* new_value) {
  if (!obj_->data3) return;
  cell obj = *obj_;
  root_guard keep(&obj);
  int32_t at = handler_slot(record_cell(obj.data3, 0));
  if (at < 0) return;
  cell* handler = slot(obj.data1, at);
  if (TYPE_OF(handler) != TYPE_FUNCTION) fire(err::script_invalid_obj_evt, {*handler});
  cell* args = stack::top;
  cell* word = stack::push(*word_);
  if (word->data1 != obj.data1) context::bind_word(obj.data1, word);
  stack::push(*old_value);
  stack::push(*new_value);
  run_handler(&obj, 0, words::word_on_change, args, 3);
  stack::top = args;
}

void call_on_deep_change(const cell* owner_, const cell* word, const cell* target, const cell* action,
                         const cell* new_value, int32_t index, int32_t part) {
  if (!owner_->data3) fire(err::script_invalid_obj_evt, {*owner_});
  cell owner = *owner_;
  root_guard keep(&owner);
  int32_t at = handler_slot(record_cell(owner.data3, 1));
  if (at < 0 || TYPE_OF(slot(owner.data1, at)) != TYPE_FUNCTION) return;
  cell* args = stack::top;
  stack::push(owner);
  stack::push(*word);
  stack::push(*target);
  stack::push(*action);
  stack::push(new_value ? *new_value : none::none_value);
  push_integer(index);
  push_integer(part);
  run_handler(&owner, 1, words::word_on_deep_change, args, 7);
  stack::top = args;
}

// ---- Actions ---------------------------------------------------------------

int32_t mold_fields(cell* obj_, cell* buffer, int32_t only, int32_t all, int32_t flat, cell* arg, int32_t part,
                    bool indent, int32_t level, bool mold) {
  cell obj = *obj_, item{};
  root_guard keep_obj(&obj), keep_item(&item);
  int32_t n = count_words(&obj);
  if (n == 0) return part;
  bool indenting = indent && !flat && mold && !only;
  const char* separator = flat ? " " : "\n";
  if (indenting) part = datatype::append_text(buffer, "\n", part);
  cycles::walk walk(obj.data1);
  bool first = true;
  for (int32_t i = 0; i < n; ++i) {
    if (part < 1) break;
    item = *value_at(obj.data1, i);
    if (!all && handler_field_q(&item)) continue;
    if (!first && !indenting) part = datatype::append_text(buffer, separator, part);
    first = false;
    if (indenting) part = append_indent(buffer, level, part);
    item.header = TYPE_WORD;
    part = word::form(&item, buffer, nullptr, part);
    part = datatype::append_text(buffer, ": ", part);
    item = *slot(obj.data1, i);
    if ((item.header & 0xFF) == 0) set_type(&item, TYPE_UNSET);
    if (TYPE_OF(&item) == TYPE_WORD) part = datatype::append_text(buffer, "'", part);
    part = actions::mold(&item, buffer, 0, all, flat, arg, part, level);
    if (indenting) part = datatype::append_text(buffer, separator, part);
  }
  return part;
}

namespace {

cell* make(cell* proto, cell* spec, int32_t) {
  cell* p = proto && TYPE_OF(proto) == TYPE_OBJECT ? proto : nullptr;
  if (TYPE_OF(spec) == TYPE_BLOCK) return make_from_block(p, spec, stack::push(none::none_value));
  if (TYPE_OF(spec) == TYPE_OBJECT) {
    cell* result = stack::push(none::none_value);
    if (p) copy_into(p, result, true, nullptr, false);
    else copy_into(spec, result, true, nullptr, false);
    int32_t before = count_words(result);
    if (p) {
      cell source = *spec;
      memory::root_guard keep(&source);
      for (int32_t i = 0; i < count_words(&source); ++i) {
        cell value = *slot(source.data1, i);
        memory::root_guard keep_value(&value);
        context::put_value(result->data1, static_cast<int32_t>(value_at(source.data1, i)->data2), value);
      }
      cell values{TYPE_BLOCK, 0, values_node(result->data1), 0};
      memory::root_guard keep_values(&values);
      block::copy_nested(&values, 0, value_count(result->data1), 1, true, nullptr);
      rebind_functions(result->data1);
    }
    bool grew = count_words(result) != before || !p;
    result->data2 = grew ? static_cast<uint32_t>(next_class_id()) : p->data2;
    attach_events(result->data1, result);
    return result;
  }
  fire(err::syntax_malconstruct, {*spec});
}

int32_t form(cell* obj, cell* buffer, cell* arg, int32_t part) {
  if (cycles::detect_q(obj, buffer, &part, false)) return part;
  return mold_fields(obj, buffer, 0, 0, 0, arg, part, false, 0, false);
}

int32_t mold(cell* obj, cell* buffer, int32_t only, int32_t all, int32_t flat, cell* arg, int32_t part,
             int32_t indent) {
  if (cycles::detect_q(obj, buffer, &part, true)) return part;
  if (!only) part = datatype::append_text(buffer, "make object! [", part);
  part = mold_fields(obj, buffer, only, all, flat, arg, part, true, indent + 1, true);
  if (!flat && indent >= 1 && count_words(obj) > 0) part = append_indent(buffer, indent, part);
  if (!only) part = datatype::append_text(buffer, "]", part);
  return part;
}

cell* put(cell* obj, cell* key, cell* value, int32_t) {
  if (TYPE_OF(key) != TYPE_WORD) fire(err::script_invalid_key_type, {datatype_cell(TYPE_OF(key))});
  eval_path(obj, key, value, &none::none_value, nullptr, nullptr, 0, 0, 0, 1, 0);
  return value;
}

cell* modify(cell* obj, cell* field, cell* value, int32_t) {
  if (same_symbol(field, words::sym_changed)) {
    if (TYPE_OF(value) != TYPE_NONE) fire(err::script_invalid_arg, {*value});
    clear_changed(obj);
  } else if (same_symbol(field, words::sym_owner)) {
    ownership::bind(obj, obj, nullptr);
  } else if (same_symbol(field, words::sym_owned)) {
    ownership::modify_owned(obj, value);
  }
  return value;
}

}  // namespace

cell* reflect(cell* obj_, cell* field) {
  cell obj = *obj_;
  root_guard keep(&obj);
  int32_t n = count_words(&obj);
  if (same_symbol(field, words::sym_class)) return push_integer(static_cast<int32_t>(obj.data2));
  if (same_symbol(field, words::sym_owner))
    return stack::push((ctx_cell(&obj)->header & context::FLAG_OWNER) ? logic::true_value : logic::false_value);
  if (same_symbol(field, words::sym_events_q)) return stack::push(obj.data3 ? logic::true_value : logic::false_value);
  bool words = same_symbol(field, words::sym_words), values = same_symbol(field, words::sym_values);
  bool body = same_symbol(field, words::sym_body), changed = same_symbol(field, words::sym_changed);
  if (!words && !values && !body && !changed) fire(err::internal_not_done);
  cell* result = block::push_only(std::max(body ? 2 * n : n, 1));
  for (int32_t i = 0; i < n; ++i) {
    cell word = *value_at(obj.data1, i), value = *slot(obj.data1, i);
    root_guard keep_word(&word), keep_value(&value);
    if (changed && !(word.header & context::WORD_CHANGED)) continue;
    word.header &= ~(context::WORD_CHANGED | 0xFFu);
    word.header |= TYPE_WORD;
    word.data1 = obj.data1;
    word.data3 = static_cast<uint32_t>(i);
    if (body) {
      word.header = TYPE_SET_WORD | NEWLINE_FLAG;
      if (TYPE_OF(&value) == TYPE_WORD) set_type(&value, TYPE_LIT_WORD);
      if (TYPE_OF(&value) == TYPE_PATH) set_type(&value, TYPE_LIT_PATH);
    }
    if (words || body || changed) block::rs_append(result, &word);
    if (values || body) block::rs_append(result, &value);
  }
  return result;
}

cell* eval_path(cell* obj, cell* element, cell* data, cell* path, cell*, cell*, int32_t, int32_t, int32_t get,
                int32_t last, int32_t) {
  uint32_t t = TYPE_OF(element);
  if (t != TYPE_WORD && t != TYPE_SET_WORD && t != TYPE_LIT_WORD && t != TYPE_GET_WORD)
    fire(err::script_invalid_path, {path ? *path : none::none_value, *element});
  cell* p = path ? path : &none::none_value;
  auto missing = [&]() -> cell* {
    if (get && last) return &unset::unset_value;
    if (last) fire(err::script_invalid_path, {*p, *element});
    fire(err::script_unset_path, {*p, *element});
  };
  int32_t index = static_cast<int32_t>(element->data3);
  if (element->data1 != obj->data1 || index < 0) {
    index = context::bind_word(obj->data1, element);
    if (index < 0) return missing();
  }
  if (!data) {
    cell* v = slot(obj->data1, index);
    return TYPE_OF(v) == TYPE_UNSET ? missing() : v;
  }
  cell o = *obj, fresh = *data, word = *element;
  root_guard keep_o(&o), keep_fresh(&fresh), keep_word(&word);
  cell* old = o.data3 ? stack::push(*slot(o.data1, index)) : nullptr;
  value_at(o.data1, index)->header |= context::WORD_CHANGED;
  *slot(o.data1, index) = fresh;
  if (old) {
    call_on_change(&o, &word, old, &fresh);
    stack::top = old;
  }
  return slot(o.data1, index);
}

int32_t compare(const cell* obj1, const cell* obj2, int32_t op) {
  if (TYPE_OF(obj2) != TYPE_OF(obj1)) return COMPARE_NONE;
  if (obj1->data1 == obj2->data1) return 0;
  if (op == COMP_SAME) return -1;
  if (cycles::find_q(obj1->data1)) return cycles::find_q(obj2->data1) ? 0 : -1;
  cell a = *obj1, b = *obj2;
  root_guard keep_a(&a), keep_b(&b);
  int32_t n = count_words(&a), m = count_words(&b);
  if (n != m) return n > m ? 1 : -1;
  if (n == 0) return 0;
  cycles::walk walk_a(a.data1), walk_b(b.data1);
  auto number = [](uint32_t t) { return t == TYPE_INTEGER || t == TYPE_FLOAT || t == TYPE_PERCENT; };
  auto any_word = [](uint32_t t) { return t >= TYPE_WORD && t <= TYPE_ISSUE; };
  int32_t answer = 0;
  for (int32_t i = 0; i < n && answer == 0; ++i) {
    int32_t s1 = canonical(value_at(a.data1, i)), s2 = canonical(value_at(b.data1, i));
    if (s1 != s2) return s1 < s2 ? -1 : 1;
    cell v1 = *slot(a.data1, i), v2 = *slot(b.data1, i);
    root_guard keep_v1(&v1), keep_v2(&v2);
    uint32_t t1 = TYPE_OF(&v1), t2 = TYPE_OF(&v2);
    if (t1 != t2 && !(any_word(t1) && any_word(t2)) && !(number(t1) && number(t2))) return t1 < t2 ? -1 : 1;
    answer = actions::compare_raw(&v1, &v2, op);
  }
  return answer;
}

cell* copy(cell* obj, cell* result, cell* part, int32_t deep, cell* types) {
  if (stack::given_q(part)) fire(err::script_invalid_refine_arg, {series::refinement_value("part"), *part});
  return copy_into(obj, result, deep != 0, types, true);
}

cell* select(cell* obj, cell* key, cell*, int32_t, int32_t, int32_t, int32_t, cell*, cell*, int32_t, int32_t) {
  uint32_t t = TYPE_OF(key);
  if (t != TYPE_WORD && t != TYPE_SET_WORD && t != TYPE_LIT_WORD && t != TYPE_GET_WORD)
    fire(err::script_invalid_type, {datatype_cell(t)});
  return select_word(obj, key);
}

void init() {
  // clang-format off
  datatype::register_type(datatype_registration(TYPE_OBJECT, 0, "object!",
    /* make .. set-path */     make, unsupported, reflect, unsupported, form, mold, eval_path, unsupported,
    /* compare .. remainder */ compare, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* round .. xor~ */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* append .. head */       unsupported, unsupported, unsupported, unsupported, unsupported, copy, unsupported, unsupported,
    /* head? .. poke */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* put .. tail */          put, unsupported, unsupported, select, unsupported, unsupported, unsupported, unsupported,
    /* tail? .. open */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, modify, unsupported,
    /* open? .. write */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported));
  // clang-format on
}

}  // namespace ixo::object
