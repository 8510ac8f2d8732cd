// The routines of the boot library that look at the running runtime: the
// last print's line end, the value stack and the call frames, the trace
// switch (read, paused and resumed), and the collector's state that system/state/GC reports.
#include "boot/routines.hpp"

#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/logic.hpp"
#include "runtime/datatypes/none.hpp"
#include "runtime/datatypes/routine.hpp"
#include "runtime/datatypes/unset.hpp"
#include "runtime/interpreter/interpreter.hpp"
#include "runtime/interpreter/natives.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/collector.hpp"
#include "runtime/memory/memory.hpp"

namespace ixo::boot {

namespace {

int32_t cells_from_bottom(const cell* at) { return static_cast<int32_t>(at - stack::bottom); }

}  // namespace

void last_lf_q() { logic::box(natives::last_newline); }

void stack_size_q() { integer::box(cells_from_bottom(stack::top)); }

// Cell 1 is the bottom cell; the routine's own argument cell, the last
// one, is out of reach.
void pick_stack() {
  int32_t idx = integer::get(stack::arguments);
  if (idx > 0 && idx < cells_from_bottom(stack::top))
    stack::set_last(stack::bottom[idx - 1]);
  else
    none::box();
}

void frame_index_q() { integer::box(cells_from_bottom(stack::arguments)); }

void collect_calls() { stack::collect_calls(stack::arguments); }

void tracing_q() { logic::box(interpreter::tracing_on); }

// Pauses or resumes a running trace; never starts one.
void set_tracing() {
  interpreter::tracing_on = logic::get(stack::arguments) != 0 && interpreter::trace_installed;
  stack::set_last(unset::unset_value);
}

void active_q() { logic::box(collector_active != 0); }

void series_cycles() { integer::box(static_cast<int32_t>(collector::series_cycle_count)); }

// Cycles that emptied sparse node frames into the others.
void nodes_cycles() { integer::box(static_cast<int32_t>(collector::node_relocation_count)); }

void init_runtime_routines() {
  routine::register_entry("last-lf?", last_lf_q);
  routine::register_entry("stack-size?", stack_size_q);
  routine::register_entry("pick-stack", pick_stack);
  routine::register_entry("frame-index?", frame_index_q);
  routine::register_entry("collect-calls", collect_calls);
  routine::register_entry("tracing?", tracing_q);
  routine::register_entry("_set-tracing", set_tracing);
  routine::register_entry("active?", active_q);
  routine::register_entry("series-cycles", series_cycles);
  routine::register_entry("nodes-cycles", nodes_cycles);
}

}  // namespace ixo::boot
