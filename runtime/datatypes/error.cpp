// error! (error.hpp): the errors object made from the catalog table, the
// error maker behind `fire` and make, the report that form writes, and the
// actions (make, form, mold, eval-path, compare; reflect, copy and select
// come from object!).
#include "runtime/datatypes/error.hpp"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/context.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/none.hpp"
#include "runtime/datatypes/object.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/datatypes/word.hpp"
#include "runtime/interpreter/actions.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/roots.hpp"
#include "runtime/memory/series_buffer.hpp"

namespace ixo::error {

using namespace memory;

cell catalog{TYPE_NONE, 0, 0, 0};
cell prototype{TYPE_NONE, 0, 0, 0};

namespace {
// The error an error raised while an error is being made travels as: made
// with the catalog, so that having it costs neither memory nor stack.
cell reserved{TYPE_NONE, 0, 0, 0};
}  // namespace

namespace {

constexpr const char* FIELD_NAMES[FIELD_COUNT] = {"code", "type", "id", "arg1", "arg2",
                                                  "arg3", "near", "where", "stack", "files"};

cell integer_cell(int32_t v) { return cell{TYPE_INTEGER, 0, static_cast<uint32_t>(v), 0}; }

cell text_cell(const char* text, int32_t length) {
  cell s{};
  string::load_at(reinterpret_cast<const uint8_t*>(text), length, &s, string::LOAD_UTF8);
  return s;
}

// ---- Messages ----------------------------------------------------------------
//
// A message is written in the catalog as Ixo source of a small form: a
// "string", a word, a :get-word, or a [block] of those.

const char* skip_spaces(const char* p) {
  while (*p == ' ') ++p;
  return p;
}

// Reads one message value at p into *out (a rooted cell); answers the
// position after it.
const char* read_message(const char* p, cell* out) {
  p = skip_spaces(p);
  if (*p == '"') {
    const char* end = std::strchr(p + 1, '"');
    *out = text_cell(p + 1, static_cast<int32_t>(end - p - 1));
    return end + 1;
  }
  if (*p == '[') {
    block::make_at(out, 4);
    cell item{};
    root_guard keep(&item);
    for (p = skip_spaces(p + 1); *p != ']'; p = skip_spaces(p)) {
      p = read_message(p, &item);
      block::rs_append(out, &item);
    }
    return p + 1;
  }
  uint32_t type = TYPE_WORD;
  if (*p == ':') {
    type = TYPE_GET_WORD;
    ++p;
  }
  const char* end = p;
  while (*end && *end != ' ' && *end != ']') ++end;
  int32_t symbol = symbol::make_part(reinterpret_cast<const uint8_t*>(p), static_cast<int32_t>(end - p));
  *out = cell{type, 0, static_cast<uint32_t>(symbol), 0xFFFFFFFF};
  return end;
}

// ---- Fields ------------------------------------------------------------------

cell* category_at(int32_t position) { return object::get_values(&catalog) + position; }

// The catalog's word of a field of an object, as a plain word! bound to it.
cell word_of_field(uint32_t ctx, int32_t index) {
  cell w = *object::value_at(ctx, index);
  w.header = TYPE_WORD;
  return w;
}

// The position of a word among the categories, or -1.
int32_t category_position(const cell* word) {
  if (TYPE_OF(word) != TYPE_WORD) return -1;
  return context::find_word(catalog.data1, static_cast<int32_t>(word->data2), true);
}

// The field position of an id word in a category (from 2), or -1.
int32_t id_position(int32_t category, const cell* word) {
  if (TYPE_OF(word) != TYPE_WORD) return -1;
  int32_t at = context::find_word(category_at(category)->data1, static_cast<int32_t>(word->data2), true);
  return at < 2 ? -1 : at;
}

// Fills code, type and id of an error from catalog positions.
void set_code(cell* e, int32_t category, int32_t id) {
  *field(e, FIELD_CODE) = integer_cell(category * 100 + id - 2);
  *field(e, FIELD_TYPE) = word_of_field(catalog.data1, category);
  *field(e, FIELD_ID) = word_of_field(category_at(category)->data1, id);
}

// A new error, a copy of the prototype, into *result (a rooted cell).
void make_blank(cell* result) {
  object::copy_into(&prototype, result, false, nullptr, false);
}

// An unknown category or id turns the error into internal/invalid-error
// with the unknown word as arg1.
void mark_invalid(cell* e, const cell& unknown) {
  cell u = unknown;
  *field(e, FIELD_ARG1) = u;
  set_code(e, ERR_INTERNAL, err::internal_invalid_error.index);
}

int32_t append_cut(cell* buffer, int32_t part, int32_t width, auto&& write) {
  int32_t before = string::rs_abs_length_q(buffer);
  write();
  int32_t written = string::rs_abs_length_q(buffer) - before;
  if (written > width) {
    string::truncate_at(GET_BUFFER(buffer), before + width);
    written = width;
  }
  return part - written;
}

// Molds `item` with its length limit in force, as mold/part does: a huge or
// deeply nested argument costs only the width the report shows, and never
// raises an error of its own while the report is made.
void mold_cut(cell* item, cell* buffer, int32_t only, int32_t width) {
  cell* top = stack::top;
  // The limit counts as given only above the current frame's arguments.
  if (stack::top <= stack::arguments) stack::push(none::none_value);
  cell* limit = stack::push(cell{TYPE_INTEGER, 0, static_cast<uint32_t>(width), 0});
  actions::mold(item, buffer, only, 0, 1, limit, width, 0);
  stack::top = top;
}

int32_t append_string(cell* buffer, const cell* s, int32_t part) {
  string::concatenate(buffer, s, -1, 0, true, string::MODE_APPEND);
  return part - string::rs_length_q(s);
}

// Positions in the system object: system/state/stack-trace and
// system/state/source-files.
constexpr int32_t SYSTEM_STATE = 5, STATE_STACK_TRACE = 2, STATE_SOURCE_FILES = 3;

// system/state/stack-trace: the depth of call traces, or 0 when it is not
// a positive integer.
int32_t stack_trace_depth() {
  const cell* depth = object::system_field({SYSTEM_STATE, STATE_STACK_TRACE});
  if (!depth || TYPE_OF(depth) != TYPE_INTEGER) return 0;
  return std::max(integer::get(depth), 0);
}

// The report's Stack line for a `stack` still holding a frame position:
// the words of the calls below it, each followed by a space. Only the
// frames in use are read: those above the top belong to calls that have
// ended, whose contexts may be gone.
int32_t form_call_words(cell* buffer, int32_t depth, int32_t limit, int32_t part) {
  int32_t in_use = static_cast<int32_t>(stack::frame_top - stack::frame_bottom);
  for (int32_t symbol : stack::call_words(depth, std::clamp(limit, 0, in_use))) {
    cell name{TYPE_STRING, 0, symbol::get_c_string(symbol), 0};
    part = append_string(buffer, &name, part);
    part = datatype::append_text(buffer, " ", part);
  }
  return part;
}

}  // namespace

// ---- The errors object ---------------------------------------------------------

void drop_catalog() {
  if (catalog_made_q()) {
    remove_root(&catalog);
    remove_root(&prototype);
    remove_root(&reserved);
  }
  catalog = none::none_value;
  prototype = none::none_value;
  reserved = none::none_value;
}

void make_catalog() {
  drop_catalog();
  cell errors{}, category{}, value{}, proto{};
  root_guard keep_errors(&errors), keep_category(&category), keep_value(&value), keep_proto(&proto);
  object::make_empty_at(&errors, 10);
  for (const catalog_category& c : error_catalog) {
    object::make_empty_at(&category, 2 + c.count);
    context::put_value(category.data1, symbol::make("code"), integer_cell(c.code));
    value = text_cell(c.title, static_cast<int32_t>(std::strlen(c.title)));
    context::put_value(category.data1, symbol::make("type"), value);
    for (int32_t i = 0; i < c.count; ++i) {
      read_message(c.ids[i].message, &value);
      context::put_value(category.data1, symbol::make(c.ids[i].id), value);
    }
    context::put_value(errors.data1, symbol::make(c.name), category);
  }
  object::make_empty_at(&proto, FIELD_COUNT);
  for (const char* name : FIELD_NAMES) context::put_value(proto.data1, symbol::make(name), none::none_value);
  proto.header = TYPE_ERROR;
  proto.data2 = CLASS_ERROR;
  *context::owner_cell(proto.data1) = proto;
  catalog = errors;
  prototype = proto;
  add_root(&catalog, ROOT_CELL);
  add_root(&prototype, ROOT_CELL);
  add_root(&reserved, ROOT_CELL);
  make_blank(&reserved);
}

// ---- Makers and readers ----------------------------------------------------------

cell* field(const cell* error, int32_t index) { return object::get_values(error) + index; }

cell* create(error_id id, std::initializer_list<cell> args, cell* result) {
  cell e{};
  cell given[3]{};  // rooted below: unused slots must hold no nodes
  int32_t count = 0;
  for (const cell& a : args) {
    if (count == 3) break;
    given[count++] = a;
  }
  root_guard keep(&e), keep0(&given[0]), keep1(&given[1]), keep2(&given[2]);
  make_blank(&e);
  set_code(&e, id.category, id.index);
  for (int32_t i = 0; i < count; ++i) *field(&e, FIELD_ARG1 + i) = given[i];
  *result = e;
  return result;
}

cell* reserve(error_id id) {
  cell* values = object::get_values(&reserved);
  for (int32_t i = 0; i < FIELD_COUNT; ++i) values[i] = none::none_value;
  set_code(&reserved, id.category, id.index);
  return &reserved;
}

void set_where(cell* error, const cell& value) {
  cell* w = field(error, FIELD_WHERE);
  if (TYPE_OF(w) == TYPE_NONE) *w = value;
}

int32_t get_type(const cell* error) { return static_cast<int32_t>(field(error, FIELD_TYPE)->data2); }
int32_t get_id(const cell* error) { return static_cast<int32_t>(field(error, FIELD_ID)->data2); }

// ---- The report -------------------------------------------------------------------

int32_t form_message(cell* message_, cell* buffer, cell* error_, int32_t part) {
  cell message = *message_, e = *error_, item{};
  root_guard keep_message(&message), keep_e(&e), keep_item(&item);
  bool syntax = get_type(&e) == static_cast<int32_t>(object::value_at(catalog.data1, ERR_SYNTAX)->data2);
  int32_t count = block::rs_length_q(&message);
  for (int32_t i = 0; i < count; ++i) {
    item = block::rs_head(&message)[i];
    if (TYPE_OF(&item) == TYPE_STRING) {
      part = append_string(buffer, &item, part);
    } else if (TYPE_OF(&item) == TYPE_WORD || TYPE_OF(&item) == TYPE_GET_WORD) {
      cell* v = context::get_in(static_cast<int32_t>(item.data2), e.data1);
      if (v) {
        item = *v;
        part = append_cut(buffer, part, ARGUMENT_WIDTH, [&] {
          if (syntax) actions::form(&item, buffer, nullptr, ARGUMENT_WIDTH);
          else mold_cut(&item, buffer, 0, ARGUMENT_WIDTH);
        });
      }
    }
    if (i + 1 < count) part = datatype::append_text(buffer, " ", part);
  }
  return part;
}

int32_t form(cell* error_, cell* buffer, cell*, int32_t part) {
  cell e = *error_, category{}, message{}, item{};
  root_guard keep_e(&e), keep_category(&category), keep_message(&message), keep_item(&item);
  part = datatype::append_text(buffer, "*** ", part);
  // The category and the message; an unknown one turns the error into
  // internal/invalid-error, which always exists.
  int32_t c = category_position(field(&e, FIELD_TYPE));
  if (c < 0) {
    mark_invalid(&e, *field(&e, FIELD_TYPE));
    c = ERR_INTERNAL;
  }
  int32_t id = id_position(c, field(&e, FIELD_ID));
  if (id < 0) {
    mark_invalid(&e, *field(&e, FIELD_ID));
    c = ERR_INTERNAL;
    id = err::internal_invalid_error.index;
  }
  category = *category_at(c);
  message = object::get_values(&category)[id];
  if (TYPE_OF(&message) == TYPE_WORD) {
    cell* v = context::get_in(static_cast<int32_t>(message.data2), e.data1);
    message = v ? *v : none::none_value;
  }
  item = object::get_values(&category)[1];
  part = append_string(buffer, &item, part);
  part = datatype::append_text(buffer, ": ", part);
  if (TYPE_OF(&message) == TYPE_STRING) part = append_string(buffer, &message, part);
  else if (TYPE_OF(&message) == TYPE_BLOCK) part = form_message(&message, buffer, &e, part);
  else mark_invalid(&e, *field(&e, FIELD_TYPE));
  part = datatype::append_text(buffer, "\n*** Where: ", part);
  item = *field(&e, FIELD_WHERE);
  if (TYPE_OF(&item) == TYPE_WORD) part = word::form(&item, buffer, nullptr, part - 12);
  else if (TYPE_OF(&item) == TYPE_STRING) part = append_string(buffer, &item, part);
  else part = datatype::append_text(buffer, "???", part);
  part = datatype::append_text(buffer, "\n*** Near : ", part);
  item = *field(&e, FIELD_NEAR);
  part = append_cut(buffer, part, NEAR_WIDTH,
                    [&] { mold_cut(&item, buffer, 1, NEAR_WIDTH); });
  int32_t depth = stack_trace_depth();
  item = *field(&e, FIELD_STACK);
  if (depth > 0 && TYPE_OF(&item) == TYPE_INTEGER) {
    part = datatype::append_text(buffer, "\n*** Stack: ", part);
    part = form_call_words(buffer, depth, integer::get(&item), part);
  } else if (depth > 0 && TYPE_OF(&item) == TYPE_BLOCK) {
    part = datatype::append_text(buffer, "\n*** Stack: ", part);
    part = actions::form(&item, buffer, nullptr, part);
  }
  item = *field(&e, FIELD_FILES);
  if (TYPE_OF(&item) == TYPE_BLOCK) {
    part = datatype::append_text(buffer, "\n*** Files: ", part);
    part = append_cut(buffer, part, NEAR_WIDTH,
                      [&] { mold_cut(&item, buffer, 1, NEAR_WIDTH); });
  }
  return part;
}

void make_stack_trace(cell* error) {
  cell* position = field(error, FIELD_STACK);
  if (TYPE_OF(position) != TYPE_INTEGER) return;
  int32_t frames = static_cast<int32_t>(stack::frame_end - stack::frame_bottom);
  std::vector<int32_t> calls =
      stack::call_words(std::max(stack_trace_depth(), 1), std::clamp(integer::get(position), 0, frames));
  cell e = *error, words{};
  root_guard keep_e(&e), keep_words(&words);
  block::make_at(&words, std::max<int32_t>(20, static_cast<int32_t>(calls.size())));
  for (int32_t symbol : calls) word::make_in(symbol, words.data2);
  *field(&e, FIELD_STACK) = words;
  const cell* files = object::system_field({SYSTEM_STATE, STATE_SOURCE_FILES});
  if (files && TYPE_OF(files) == TYPE_BLOCK && block::rs_length_q(files) > 0) {
    cell source = *files, copy{};
    root_guard keep_source(&source), keep_copy(&copy);
    block::make_at(&copy, block::rs_length_q(&source));
    block::insert_block(&copy, &source);
    copy.data1 = 0;
    *field(&e, FIELD_FILES) = copy;
  }
}

// ---- Actions -------------------------------------------------------------------------

namespace {

cell* make(cell*, cell* spec_, int32_t) {
  cell spec = *spec_, e{};
  root_guard keep_spec(&spec), keep_e(&e);
  switch (TYPE_OF(&spec)) {
    case TYPE_INTEGER: {
      int32_t code = static_cast<int32_t>(spec.data2);
      int32_t c = code / 100, id = code % 100 + 2;
      if (code < 0 || c >= static_cast<int32_t>(std::size(error_catalog)) || id >= error_catalog[c].count + 2)
        fire(err::script_out_of_range, {spec});
      make_blank(&e);
      set_code(&e, c, id);
      break;
    }
    case TYPE_BLOCK: {
      int32_t count = block::rs_length_q(&spec);
      cell first = count > 0 ? *block::rs_head(&spec) : none::none_value;
      cell type_word = error_word("type"), id_word = error_word("id");
      root_guard keep_first(&first), keep_type(&type_word), keep_id(&id_word);
      if (TYPE_OF(&first) == TYPE_WORD) {
        int32_t c = category_position(&first);
        if (c < 0) fire(err::script_invalid_spec_field, {type_word});
        if (count < 2) fire(err::script_invalid_spec_field, {id_word});
        cell second = block::rs_head(&spec)[1];
        if (TYPE_OF(&second) != TYPE_WORD) fire(err::script_invalid_arg, {second});
        int32_t id = id_position(c, &second);
        if (id < 0) fire(err::script_invalid_spec_field, {id_word});
        make_blank(&e);
        set_code(&e, c, id);
      } else if (TYPE_OF(&first) == TYPE_SET_WORD) {
        make_blank(&e);
        context::bind(&spec, e.data1, true);
        if (object::eval_block) object::eval_block(&spec);
        int32_t c = category_position(field(&e, FIELD_TYPE));
        if (c < 0) fire(err::script_invalid_spec_field, {type_word});
        int32_t id = id_position(c, field(&e, FIELD_ID));
        if (id < 0) fire(err::script_invalid_spec_field, {id_word});
        set_code(&e, c, id);
      } else {
        fire(err::internal_invalid_error, {first});
      }
      break;
    }
    case TYPE_STRING:
      create(err::user_message, {spec}, &e);
      break;
    default:
      fire(err::script_bad_make_arg, {cell{TYPE_DATATYPE, TYPE_ERROR, 0, 0}, spec});
  }
  return stack::push(e);
}

int32_t mold(cell* e, cell* buffer, int32_t only, int32_t all, int32_t flat, cell* arg, int32_t part,
             int32_t indent) {
  if (!only) part = datatype::append_text(buffer, "make error! [", part);
  part = object::mold_fields(e, buffer, only, all, flat, arg, part, true, indent + 1, true);
  for (int32_t i = 0; i < indent; ++i) part = datatype::append_text(buffer, "    ", part);
  if (!only) part = datatype::append_text(buffer, "]", part);
  return part;
}

cell* eval_path(cell* e, cell* element, cell* data, cell* path, cell* parent, cell* previous, int32_t index,
                int32_t case_, int32_t get, int32_t last, int32_t notify) {
  int32_t stack_symbol = static_cast<int32_t>(object::value_at(e->data1, FIELD_STACK)->data2);
  if (TYPE_OF(element) == TYPE_WORD && symbol::EQUAL_WORDS_q(element, stack_symbol))
    fire(err::script_invalid_path_set, {path ? *path : none::none_value});
  return object::eval_path(e, element, data, path, parent, previous, index, case_, get, last, notify);
}

int32_t compare(const cell* e1, const cell* e2, int32_t op) {
  if (TYPE_OF(e2) != TYPE_ERROR) return COMPARE_NONE;
  return object::compare(e1, e2, op);
}

}  // namespace

void init() {
  drop_catalog();
  // clang-format off
  datatype::register_type(datatype_registration(TYPE_ERROR, TYPE_OBJECT, "error!",
    /* make .. set-path */     make, unsupported, inherit, unsupported, form, mold, eval_path, unsupported,
    /* compare .. remainder */ compare, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* round .. xor~ */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* append .. head */       unsupported, unsupported, unsupported, unsupported, unsupported, inherit, inherit, unsupported,
    /* head? .. poke */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* put .. tail */          unsupported, unsupported, unsupported, inherit, unsupported, unsupported, unsupported, unsupported,
    /* tail? .. open */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* open? .. write */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported));
  // clang-format on
}

}  // namespace ixo::error
