// path!: construction from a size or a series, conversion, and the text
// forms with "/" between the elements. Every other action is block!'s.
#include "runtime/datatypes/path.hpp"

#include <algorithm>
#include <cmath>

#include "runtime/core/cycles.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/datatypes/series.hpp"
#include "runtime/datatypes/type_classes.hpp"
#include "runtime/interpreter/actions.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/roots.hpp"

namespace ixo::path {

using memory::root_guard;

cell* push(cell* c) {
  c->header = TYPE_PATH;
  return stack::push(*c);
}

cell* make_at(cell* c, int32_t n) {
  block::make_at(c, n);
  c->header = TYPE_PATH;
  return c;
}

namespace {

// Forms (mold false) or molds each element, "/" between them. The path's
// cells are read again by position after each element, whose text may
// have moved them.
int32_t each_element(cell* value, cell* buffer, bool mold, int32_t only, int32_t all, int32_t flat, cell* arg,
                     int32_t part) {
  if (cycles::detect_q(value, buffer, &part, mold)) return part;
  cell self = *value, item{};
  root_guard keep_self(&self), keep_item(&item);
  cycles::walk walk(self.data2);
  int32_t first = static_cast<int32_t>(self.data1);
  for (int32_t i = first; i < series::rs_abs_length_q(&self); ++i) {
    item = *block::rs_abs_at(&self, i);
    if (mold) {
      part = actions::mold(&item, buffer, only, all, flat, arg, part, 0);
    } else {
      part = actions::form(&item, buffer, arg, part);
    }
    if (stack::given_q(arg) && part <= 0) return part;
    if (i + 1 < series::rs_abs_length_q(&self)) part = datatype::append_text(buffer, "/", part);
  }
  return part;
}

// The size a number asks for: floats and percents truncate toward zero
// (a percent unscaled), 0 becomes 1; negative or beyond 32 bits is out of
// range.
int32_t room_of(const cell* spec) {
  double n = TYPE_OF(spec) == TYPE_INTEGER ? static_cast<int32_t>(spec->data2) : std::trunc(get_float(spec));
  if (!(n >= 0 && n <= 2147483647.0)) fire(err::script_out_of_range, {*spec});
  return std::max(static_cast<int32_t>(n), 1);
}

cell* block_to(cell* proto, cell* spec, int32_t type) {
  return datatype::action_of<make_fn>(TYPE_BLOCK, ACT_TO)(proto, spec, type);
}

cell* make(cell* proto, cell* spec, int32_t type) {
  uint32_t t = TYPE_OF(spec);
  if (t == TYPE_INTEGER || t == TYPE_FLOAT || t == TYPE_PERCENT) {
    cell* result = block::push_only(room_of(spec));
    result->header = static_cast<uint32_t>(type);
    return result;
  }
  if (any_block_q(t)) {
    cell* result = block_to(proto, spec, type);
    result->header = static_cast<uint32_t>(type);
    return result;
  }
  fire(err::script_bad_make_arg, {datatype::make_cell(static_cast<uint32_t>(type)), *spec});
}

// A map!, object! or typeset! becomes the one element of a new path; the
// rest converts as to block! does.
cell* to(cell* proto, cell* spec, int32_t type) {
  uint32_t t = TYPE_OF(spec);
  cell* result;
  if (t == TYPE_MAP || t == TYPE_OBJECT || t == TYPE_TYPESET) {
    result = block::push_only(1);
    block::rs_append(result, spec);
  } else {
    result = block_to(proto, spec, type);
  }
  result->header = static_cast<uint32_t>(type);
  return result;
}

}  // namespace

int32_t form(cell* value, cell* buffer, cell* arg, int32_t part) {
  return each_element(value, buffer, false, 0, 0, 0, arg, part);
}

int32_t mold(cell* value, cell* buffer, int32_t only, int32_t all, int32_t flat, cell* arg, int32_t part,
             int32_t) {
  return each_element(value, buffer, true, only, all, flat, arg, part);
}

void init() {
  // clang-format off
  datatype::register_type(datatype_registration(TYPE_PATH, TYPE_BLOCK, "path!",
    /* make .. set-path */     make, unsupported, inherit, to, form, mold, inherit, unsupported,
    /* compare .. remainder */ inherit, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* round .. xor~ */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* append .. head */       inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit,
    /* head? .. poke */        inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit,
    /* put .. tail */          inherit, inherit, inherit, inherit, unsupported, inherit, inherit, inherit,
    /* tail? .. open */        inherit, inherit, unsupported, unsupported, unsupported, unsupported, inherit, unsupported,
    /* open? .. write */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported));
  // clang-format on
}

}  // namespace ixo::path
