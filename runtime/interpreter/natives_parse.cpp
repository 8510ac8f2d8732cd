// parse: the /part limit as an absolute index of the input (an integer!
// counts from the input's index, a series of the input's buffer gives its
// own index), then the engine. A limit that leaves no unit to match runs
// no rule: the answer is whether the input is empty.
#include "runtime/interpreter/natives_parse.hpp"

#include <cmath>
#include <algorithm>

#include "runtime/datatypes/logic.hpp"
#include "runtime/datatypes/series.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/roots.hpp"
#include "runtime/parse/parse.hpp"

namespace ixo::natives {

namespace {

enum refinement_index { REF_CASE, REF_PART, REF_TRACE };

bool given(const int32_t* refinements, int32_t i) { return refinements[i] >= 0; }
cell* argument(const int32_t* refinements, int32_t i) { return stack::arguments + refinements[i]; }

// The units the /part value allows from the input's index: a float!
// counts too, truncated and held to the integer! range.
int64_t part_units(const cell* input, const cell* part) {
  if (TYPE_OF(part) == TYPE_FLOAT && !std::isnan(get_float(part))) {
    double d = get_float(part);
    return d > 2147483647.0 ? INT32_MAX : d < -2147483648.0 ? INT32_MIN : static_cast<int64_t>(d);
  }
  return series::part_length(input, static_cast<int32_t>(input->data1), part, series::PART_WORD);
}

}  // namespace

void parse(const int32_t* refinements) {
  cell input = stack::arguments[0];
  cell rules = stack::arguments[1];
  memory::root_guard keep_input(&input), keep_rules(&rules);
  int32_t case_ = given(refinements, REF_CASE) ? parse::CASE_STRICT : parse::CASE_INSENSITIVE;
  int32_t limit = -1;
  if (given(refinements, REF_PART)) {
    int64_t length = part_units(&input, argument(refinements, REF_PART));
    if (length < 1) {
      stack::set_result(logic::make_cell(series::rs_tail_q(&input)));
      return;
    }
    limit = static_cast<int32_t>(std::min<int64_t>(input.data1 + length, INT32_MAX));
  }
  const cell* callback = given(refinements, REF_TRACE) ? argument(refinements, REF_TRACE) : nullptr;
  cell result{TYPE_NONE, 0, 0, 0};
  memory::root_guard keep_result(&result);
  parse::process(&result, &input, &rules, case_, limit, callback);
  stack::set_result(result);
}

}  // namespace ixo::natives
