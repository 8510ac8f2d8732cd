// Numbered runtime errors: the fatal end of the low-level runtime. A report
// of three lines (a line feed, "*** Runtime Error n: message", "*** at: "
// address) and an exit with the number as status. Number 0 is the quiet
// way out.
#pragma once
#include <csignal>
#include <cstdint>

namespace ixo::system {

[[noreturn]] void runtime_error(int32_t number, uint32_t address);

// Ends the process with `status` and no report, the way every orderly exit
// goes: output flushed, release_on_exit run, the tracked heap released. A
// status of 0 becomes 1 when a write to standard output failed.
[[noreturn]] void exit_process(int32_t status);

// Run on every way out (exit_process, a runtime error, a fault) before the
// process ends, when set: the terminal puts itself back to the mode it was
// found in. It must be async-signal-safe.
extern void (*restore_on_exit)();

// Run by exit_process after the output is flushed, when set: the memory
// manager releases its arena (installed by memory::init).
extern void (*release_on_exit)();

// The message of a runtime error number; "unknown error code!" for numbers
// outside the table.
const char* runtime_error_message(int32_t number);

// A code address as the reports print it: its offset in the executable's
// image, so that it can be looked up in the symbol table of the build.
uint32_t code_address(const void* address);

// Ctrl-C (SIGINT) while interrupts halt: the handler only sets
// `interrupt_pending`, and the evaluator stops the evaluation under way as
// `halt` does when it next takes a step. Otherwise, and at a second Ctrl-C
// before the first was taken, the process ends with status 130.
// set_interrupt_halts clears what is pending either way.
extern volatile sig_atomic_t interrupt_pending;
void set_interrupt_halts(bool on);

// Installs the handlers that turn processor faults and Ctrl-C into runtime
// errors, with an alternate signal stack for the calling thread, so that a
// stack overflow can still be reported.
void install_fault_handlers();

}  // namespace ixo::system

// Runtime error 101, "no value matched in SWITCH": a value that no case of
// the runtime expects, a fault of the runtime itself. A macro, so that the
// address reported is the return address of the function it stands in.
#define NO_SWITCH_MATCH() \
  ::ixo::system::runtime_error(101, ::ixo::system::code_address(__builtin_return_address(0)))
