// Float to integer under the range rule, and loading a value from text.
#include "runtime/datatypes/conversions.hpp"

#include <cmath>

#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/none.hpp"
#include "runtime/datatypes/unset.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/lexer/lexer.hpp"
#include "runtime/memory/roots.hpp"

namespace ixo::conversions {

int32_t float_to_integer(const cell* value) {
  double d = std::trunc(get_float(value));
  // NaN fails both comparisons.
  if (!(d >= -2147483648.0 && d <= 2147483647.0)) fire(err::script_out_of_range, {*value});
  return static_cast<int32_t>(d);
}

cell* load_from_string(const cell* s, cell* dst) {
  cell text = *s, loaded = none::none_value;
  memory::root_guard keep_text(&text), keep_loaded(&loaded);
  lexer::scan_mode mode;
  mode.quiet = true;
  lexer::load_string(&loaded, &text, -1, mode, nullptr, nullptr, nullptr);
  if (TYPE_OF(&loaded) != TYPE_BLOCK) *dst = none::none_value;
  else if (block::rs_length_q(&loaded) == 0) *dst = unset::unset_value;
  else *dst = *block::rs_head(&loaded);
  return dst;
}

cell* load_from_string_as(const cell* s, uint32_t type, cell* dst) {
  load_from_string(s, dst);
  if (TYPE_OF(dst) != type) fire(err::script_bad_to_arg, {datatype::make_cell(type), *s});
  return dst;
}

}  // namespace ixo::conversions
