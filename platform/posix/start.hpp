// Platform start: the runtime thread with its large stack, fault handlers,
// the standard handles and the UTF-8 argument strings.
#pragma once
#include <cstdint>

namespace ixo::platform {

// Size of the runtime thread's stack, mapped lazily: deep recursion in the
// interpreter and the collector meets the value and call-frame stack limits
// long before it meets the end of this stack.
constexpr uint64_t runtime_stack_size = 512ull << 20;

// Runs `body` on a new thread whose stack is runtime_stack_size bytes (less
// under a limit on the address space), and waits for it; the stack's guard
// area is kept in the system record for the fault handler. `body` normally
// ends the process itself.
void run_on_runtime_stack(void (*body)());

// The three standard handles.
extern int std_input, std_output, std_error;

// Remembers the process's arguments for read_args (called by main).
void set_process_args(int argc, char** argv);

// Installs the fault handlers, takes the standard handles and copies the
// arguments into the system record as UTF-8 strings from the tracked heap.
void start();

// Copies the process arguments into the system record. Linux hands them over
// as bytes; they are kept as they are, valid UTF-8 or not, and every later
// decoder treats invalid sequences as its own input errors.
void read_args();

}  // namespace ixo::platform
