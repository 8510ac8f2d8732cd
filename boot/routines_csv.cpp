// The CSV codec's routines: `read-lines` is the line reader behind
// `load-csv`, `write-lines` the line writer behind `to-csv`.
#include "boot/routines.hpp"

#include "runtime/codecs/csv.hpp"
#include "runtime/datatypes/logic.hpp"
#include "runtime/datatypes/routine.hpp"
#include "runtime/interpreter/stack.hpp"

namespace ixo::boot {

// write-lines output records delimiter quote length: appends the lines of
// the records; false at the first record whose length is not `length`
// (any length when it is -1).
void write_lines() {
  cell* args = stack::arguments;
  bool aligned = csv::append_lines(args, args + 1, args + 2, args[3].data2, static_cast<int32_t>(args[4].data2));
  stack::set_result(aligned ? logic::true_value : logic::false_value);
}

// read-lines output data delimiter quote trim ignore-empty strict one: the
// lines of the text appended to output; the text where reading stopped,
// false at a line not aligned when strict; with one, a single line that
// must end in a line end, and the text after it or none.
void read_lines() {
  cell* args = stack::arguments;
  auto flag = [&](int32_t i) { return TYPE_OF(args + i) == TYPE_LOGIC && args[i].data1 != 0; };
  cell answer = csv::read_lines(args, args + 1, args + 2, args[3].data2, flag(4), flag(5), flag(6), flag(7));
  stack::set_result(answer);
}

void init_csv_routines() {
  routine::register_entry("read-lines", read_lines);
  routine::register_entry("write-lines", write_lines);
}

}  // namespace ixo::boot
