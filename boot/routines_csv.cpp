// The CSV codec's routine: `write-lines` is the line writer behind
// `to-csv`.
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

void init_csv_routines() { routine::register_entry("write-lines", write_lines); }

}  // namespace ixo::boot
