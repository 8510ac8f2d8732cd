// function!: spec validation, the locals protocol, the collection of
// locals for functions made with `function`, construction, and the
// actions make, reflect, form, mold and compare. Calling a function is
// the interpreter's.
//
// Rooting: specs and bodies are copied into rooted locals before anything
// allocates, and cells inside a series are read again by position after
// each allocation.
#include "runtime/datatypes/function.hpp"

#include "runtime/core/cycles.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/context.hpp"
#include "runtime/datatypes/datatype.hpp"
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

namespace ixo::function {

using memory::root_guard;

namespace {

constexpr int32_t MORE_CELLS = 5;

using series::rs_abs_length_q;
int32_t index_of(const cell* b) { return static_cast<int32_t>(b->data1); }
using block::rs_abs_at;

bool refinement_named_q(const cell* c, const cell* refinement) {
  return TYPE_OF(c) == TYPE_REFINEMENT && symbol::EQUAL_WORDS_q(c, static_cast<int32_t>(refinement->data2));
}

// ---- Collecting locals ---------------------------------------------------------

// The cell as a word!, added to the collected words and to the known ones
// unless a word of its spelling is known already.
void add_local_word(cell word, cell* collected, cell* known) {
  root_guard keep(&word);
  set_type(&word, TYPE_WORD);
  if (block::find_value(known, &word, COMP_FIND, 1) >= 0) return;
  block::rs_append(collected, &word);
  block::rs_append(known, &word);
}

// Set-words, and the words foreach, remove-each and repeat set, of the
// block and of the blocks and parens inside it; a block met again on the
// way is skipped.
void collect_deep(const cell* blk, cell* collected, cell* known) {
  cell self = *blk;
  root_guard keep(&self);
  if (cycles::find_q(self.data2)) return;
  cycles::walk walk(self.data2);
  for (int32_t i = index_of(&self); i < rs_abs_length_q(&self); ++i) {
    cell c = *rs_abs_at(&self, i);
    root_guard keep_c(&c);
    uint32_t next = i + 1 < rs_abs_length_q(&self) ? TYPE_OF(rs_abs_at(&self, i + 1)) : 0;
    switch (TYPE_OF(&c)) {
      case TYPE_SET_WORD:
        add_local_word(c, collected, known);
        break;
      case TYPE_WORD: {
        bool each = symbol::EQUAL_WORDS_q(&c, words::sym_foreach) || symbol::EQUAL_WORDS_q(&c, words::sym_remove_each);
        bool repeat = symbol::EQUAL_WORDS_q(&c, words::sym_repeat);
        if ((each || repeat) && (next == TYPE_WORD || next == TYPE_SET_WORD)) {
          add_local_word(*rs_abs_at(&self, ++i), collected, known);
        } else if (each && next == TYPE_BLOCK) {
          cell vars = *rs_abs_at(&self, ++i);
          root_guard keep_vars(&vars);
          for (int32_t k = index_of(&vars); k < rs_abs_length_q(&vars); ++k) {
            if (argument_word_q(TYPE_OF(rs_abs_at(&vars, k)))) add_local_word(*rs_abs_at(&vars, k), collected, known);
          }
        }
        break;
      }
      case TYPE_BLOCK:
      case TYPE_PAREN:
        collect_deep(&c, collected, known);
        break;
      default:
        break;
    }
  }
}

// ---- Actions ---------------------------------------------------------------------

cell* make(cell*, cell* spec, int32_t) {
  if (TYPE_OF(spec) != TYPE_BLOCK || block::rs_length_q(spec) < 2) fire(err::script_bad_func_def, {*spec});
  cell words = *rs_abs_at(spec, index_of(spec)), body = *rs_abs_at(spec, index_of(spec) + 1);
  root_guard keep_words(&words), keep_body(&body);
  if (TYPE_OF(&words) != TYPE_BLOCK || TYPE_OF(&body) != TYPE_BLOCK) fire(err::script_bad_func_def, {*spec});
  uint32_t flags = validate(&words);
  push(&words, &body, 0, flags);
  return stack::top_cell();
}

int32_t form(cell*, cell* buffer, cell*, int32_t part) { return datatype::append_text(buffer, "?function?", part); }

int32_t mold(cell* value, cell* buffer, int32_t, int32_t all, int32_t flat, cell* arg, int32_t part,
             int32_t indent) {
  cell spec{TYPE_BLOCK, 0, value->data2, 0};
  cell more{TYPE_BLOCK, 0, value->data3, 0};
  root_guard keep_more(&more);
  part = datatype::append_text(buffer, "func ", part);
  part = actions::mold(&spec, buffer, 0, all, flat, arg, part, indent);
  cell body = *rs_abs_at(&more, 0);
  if (TYPE_OF(&body) == TYPE_NONE) return datatype::append_text(buffer, " none", part);
  return actions::mold(&body, buffer, 0, all, flat, arg, part, indent);
}

}  // namespace

// ---- Spec rules ------------------------------------------------------------------

int32_t parse_attributes(const cell* attributes) {
  int32_t flags = 0;
  for (int32_t i = index_of(attributes); i < rs_abs_length_q(attributes); ++i) {
    const cell* c = rs_abs_at(attributes, i);
    if (TYPE_OF(c) != TYPE_WORD) return -1;
    if (symbol::EQUAL_WORDS_q(c, words::sym_trace)) flags |= FLAG_TRACE;
    if (symbol::EQUAL_WORDS_q(c, words::sym_no_trace)) flags |= FLAG_NO_TRACE;
  }
  return flags;
}

void check_spec_block(const cell* types) {
  for (int32_t i = index_of(types); i < rs_abs_length_q(types); ++i) {
    const cell* element = rs_abs_at(types, i);
    const cell* type = element;
    if (TYPE_OF(element) == TYPE_WORD) {
      type = word::get_value(element);
      if (TYPE_OF(type) == TYPE_UNSET) fire(err::script_no_value, {*element});
    }
    uint32_t t = TYPE_OF(type);
    if (t != TYPE_DATATYPE && t != TYPE_TYPESET && t != TYPE_WORD) fire(err::script_invalid_type_spec, {*element});
  }
}

void check_duplicates(const cell* spec) {
  int32_t length = rs_abs_length_q(spec);
  for (int32_t i = index_of(spec); i < length; ++i) {
    const cell* a = rs_abs_at(spec, i);
    if (!argument_word_q(TYPE_OF(a)) && TYPE_OF(a) != TYPE_REFINEMENT) continue;
    for (int32_t j = i + 1; j < length; ++j) {
      const cell* b = rs_abs_at(spec, j);
      if (!argument_word_q(TYPE_OF(b)) && TYPE_OF(b) != TYPE_REFINEMENT) continue;
      if (symbol::EQUAL_WORDS_q(b, static_cast<int32_t>(a->data2))) fire(err::script_dup_vars, {*b});
    }
  }
}

uint32_t validate(const cell* given) {
  cell spec = *given;
  root_guard keep(&spec);
  auto refuse = [&spec] { fire(err::script_bad_func_def, {spec}); };
  int32_t length = rs_abs_length_q(&spec);
  int32_t i = index_of(&spec);
  uint32_t flags = 0;
  if (i < length && TYPE_OF(rs_abs_at(&spec, i)) == TYPE_BLOCK) {
    int32_t parsed = parse_attributes(rs_abs_at(&spec, i));
    if (parsed < 0) refuse();
    flags = static_cast<uint32_t>(parsed);
    ++i;
  }
  bool locals = false, returns = false;
  for (; i < length; ++i) {
    uint32_t t = TYPE_OF(rs_abs_at(&spec, i));
    uint32_t next = i + 1 < length ? TYPE_OF(rs_abs_at(&spec, i + 1)) : 0;
    uint32_t after = i + 2 < length ? TYPE_OF(rs_abs_at(&spec, i + 2)) : 0;
    switch (t) {
      case TYPE_WORD: case TYPE_LIT_WORD: case TYPE_GET_WORD:
        if (locals && t != TYPE_WORD) refuse();
        if (next == TYPE_STRING && after == TYPE_BLOCK) refuse();  // the doc string goes after the types
        if (returns && !locals) refuse();
        if (next == TYPE_BLOCK) check_spec_block(rs_abs_at(&spec, ++i));
        break;
      case TYPE_SET_WORD:
        if (!symbol::EQUAL_WORDS_q(rs_abs_at(&spec, i), words::sym_return) || returns || locals) refuse();
        if (next != TYPE_BLOCK) refuse();
        if (after != 0 && after != TYPE_REFINEMENT && after != TYPE_STRING) refuse();
        returns = true;
        ++i;
        break;
      case TYPE_REFINEMENT:
        if (refinement_named_q(rs_abs_at(&spec, i), refinements::local)) locals = true;
        else if (locals || returns) refuse();
        if (next != 0 && !argument_word_q(next) && next != TYPE_REFINEMENT && next != TYPE_SET_WORD &&
            next != TYPE_STRING)
          refuse();
        break;
      case TYPE_STRING:
        break;
      default:
        refuse();
    }
  }
  check_duplicates(&spec);
  return flags;
}

// ---- Locals ----------------------------------------------------------------------

int32_t count_locals(uint32_t spec, int32_t index, bool strict) {
  cell s{TYPE_BLOCK, static_cast<uint32_t>(index), spec, 0};
  int32_t length = rs_abs_length_q(&s);
  for (int32_t i = index; i < length; ++i) {
    if (!refinement_named_q(rs_abs_at(&s, i), refinements::local)) continue;
    int32_t count = 1;
    for (int32_t j = i + 1; j < length; ++j) count += TYPE_OF(rs_abs_at(&s, j)) == TYPE_WORD;
    return count;
  }
  return strict ? -1 : 0;
}

void init_locals(int32_t n) {
  stack::push(logic::false_value);
  for (int32_t i = 1; i < n; ++i) stack::push(none::none_value);
}

cell* collect_locals(cell* spec, const cell* given_body) {
  cell body = *given_body;
  root_guard keep_body(&body);
  cell* collected = block::push_only(8);
  cell* known = block::clone(spec, false, false);

  // /extern: the words after it are known (left out); those after a /local
  // that follows it become collected words. The spec loses the section.
  int32_t extern_at = -1;
  for (int32_t i = index_of(spec); i < rs_abs_length_q(spec); ++i) {
    if (refinement_named_q(rs_abs_at(spec, i), refinements::extern_)) {
      extern_at = i;
      break;
    }
  }
  if (extern_at >= 0) {
    bool locals = false;
    for (int32_t i = extern_at + 1; i < rs_abs_length_q(spec); ++i) {
      if (refinement_named_q(rs_abs_at(spec, i), refinements::local)) locals = true;
      else if (locals && TYPE_OF(rs_abs_at(spec, i)) == TYPE_WORD) block::rs_append(collected, rs_abs_at(spec, i));
    }
    block::rs_truncate(spec, extern_at);
  }

  for (int32_t i = index_of(known); i < rs_abs_length_q(known); ++i) {
    cell* c = block::rs_abs_at(known, i);
    uint32_t t = TYPE_OF(c);
    if (t == TYPE_SET_WORD || t == TYPE_LIT_WORD || t == TYPE_GET_WORD || t == TYPE_REFINEMENT) set_type(c, TYPE_WORD);
    else if (t != TYPE_WORD && t != TYPE_BLOCK && t != TYPE_STRING && extern_at >= 0)
      fire(err::script_bad_func_extern, {*c});
  }

  collect_deep(&body, collected, known);

  if (block::rs_length_q(collected) > 0) {
    if (count_locals(spec->data2, index_of(spec), true) < 0) block::rs_append(spec, refinements::local);
    block::remove_key(collected, words::word_local, true);
    block::rs_append_block(spec, collected);
  }
  stack::pop(1);  // the known words
  return collected;
}

// ---- Construction ----------------------------------------------------------------

uint32_t push(const cell* given_spec, const cell* given_body, uint32_t ctx, uint32_t flags) {
  cell spec = *given_spec, body = *given_body, more{};
  root_guard keep_spec(&spec), keep_body(&body), keep_more(&more), keep_ctx(&ctx);
  if (index_of(&spec) > 0) {
    spec = *block::clone(&spec, false, false);
    stack::pop(1);
  }
  bool has_body = TYPE_OF(&body) == TYPE_BLOCK;
  bool own_context = ctx == 0;
  block::make_at(&more, MORE_CELLS);
  if (own_context) ctx = context::make_from_spec(&spec, true, false, context::KIND_FUNCTION);
  if (has_body) {
    // A deep copy, so that changing the given body later changes nothing.
    cell copy = *block::clone(&body, true, true);
    stack::pop(1);
    root_guard keep_copy(&copy);
    block::rs_append(&more, &copy);
    if (own_context) context::bind(&copy, ctx, false);
  } else {
    block::rs_append(&more, &none::none_value);
  }
  for (int32_t i = 1; i < MORE_CELLS; ++i) block::rs_append(&more, &unset::unset_value);
  cell fn{TYPE_FUNCTION | flags, ctx, spec.data2, more.data2};
  *context::owner_cell(ctx) = fn;
  stack::push(fn);
  return ctx;
}

// ---- Shared with routine! -----------------------------------------------------------

cell* reflect(cell* value, cell* field) {
  if (symbol::EQUAL_WORDS_q(field, words::sym_spec)) return stack::push(cell{TYPE_BLOCK, 0, value->data2, 0});
  if (symbol::EQUAL_WORDS_q(field, words::sym_body)) {
    cell more{TYPE_BLOCK, 0, value->data3, 0};
    return block::rs_abs_at(&more, 0);
  }
  if (symbol::EQUAL_WORDS_q(field, words::sym_words)) {
    uint32_t ctx = value->data1;
    root_guard keep(&ctx);
    int32_t count = context::word_count(ctx);
    cell* result = block::push_only(count);
    for (int32_t slot = 0; slot < count; ++slot) {
      cell w = *context::word_at(context::context_cell(ctx), slot);
      w.data1 = ctx;
      w.data3 = static_cast<uint32_t>(slot);
      block::rs_append(result, &w);
    }
    return result;
  }
  fire(err::internal_not_done);
}

int32_t compare(const cell* value1, const cell* value2, int32_t op) {
  if (TYPE_OF(value2) != TYPE_OF(value1)) return COMPARE_NONE;
  switch (op) {
    case COMP_EQUAL: case COMP_NOT_EQUAL: case COMP_STRICT_EQUAL: case COMP_SORT: case COMP_CASE_SORT:
    case COMP_SAME: case COMP_FIND: {
      auto a = static_cast<int32_t>(value1->data3), b = static_cast<int32_t>(value2->data3);
      return a < b ? -1 : a > b ? 1 : 0;
    }
    default:
      return COMPARE_NONE;
  }
}

void init() {
  // clang-format off
  datatype::register_type(datatype_registration(TYPE_FUNCTION, TYPE_CONTEXT, "function!",
    /* make .. set-path */     make, unsupported, reflect, unsupported, form, mold, unsupported, unsupported,
    /* compare .. remainder */ compare, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* round .. xor~ */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* append .. head */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* head? .. poke */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* put .. tail */          unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* tail? .. open */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* open? .. write */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported));
  // clang-format on
}

}  // namespace ixo::function
