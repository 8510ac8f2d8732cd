// Support routines that natives share with the interpreter.
#include "runtime/interpreter/compiled.hpp"

#include "runtime/datatypes/none.hpp"
#include "runtime/datatypes/series.hpp"
#include "runtime/interpreter/actions.hpp"
#include "runtime/memory/roots.hpp"
#include "runtime/memory/series_buffer.hpp"

namespace ixo::compiled {

cell select_key(const cell* given_key, const cell* given_cases, bool every_value, bool to_block) {
  cell key = *given_key, cases = *given_cases;
  memory::root_guard keep_key(&key), keep_cases(&cases);
  if (TYPE_OF(&key) == TYPE_BLOCK) return none::none_value;
  auto at = [&cases](int32_t i) { return memory::head_of<cell>(memory::GET_BUFFER(&cases)) + i; };
  int32_t step = every_value ? 1 : 2;
  for (int32_t i = static_cast<int32_t>(cases.data1); i < series::rs_abs_length_q(&cases); i += step) {
    cell candidate = *at(i);
    if (TYPE_OF(&candidate) != TYPE_OF(&key) || !actions::compare(&key, &candidate, COMP_EQUAL)) continue;
    int32_t length = series::rs_abs_length_q(&cases);  // the comparison may have allocated
    if (!to_block) return i + 1 < length ? *at(i + 1) : candidate;
    for (int32_t j = i + 1; j < length; ++j)
      if (TYPE_OF(at(j)) == TYPE_BLOCK) return *at(j);
    return candidate;
  }
  return none::none_value;
}

}  // namespace ixo::compiled
