// Numbered runtime errors and the fault handlers.
//
// Faults arrive as signals. A handler maps the signal to the error number of
// the corresponding processor exception, prints the report and ends the
// process without releasing the tracked heap: the fault may have struck
// inside the C heap, and the system reclaims the memory anyway. A second
// fault while a report is printed ends the process at once.
#include "startup/system/runtime_error.hpp"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ucontext.h>
#include <unistd.h>

#include "startup/system/console_output.hpp"
#include "startup/system/heap.hpp"
#include "startup/system/print.hpp"
#include "startup/system/system.hpp"

extern "C" char __executable_start;

namespace ixo::system {

namespace {

struct numbered_message {
  int32_t number;
  const char* text;
};

constexpr numbered_message messages[] = {
    {1, "access violation"},
    {2, "invalid alignment"},
    {3, "breakpoint"},
    {4, "single step"},
    {5, "bounds exceeded"},
    {6, "float denormal operan"},
    {7, "float divide by zero"},
    {8, "float inexact result"},
    {9, "float invalid operation"},
    {10, "float overflow"},
    {11, "float stack check"},
    {12, "float underflow"},
    {13, "integer divide by zero"},
    {14, "integer overflow"},
    {15, "privileged instruction"},
    {16, "invalid virtual address"},
    {17, "illegal instruction"},
    {18, "non-continuable exception"},
    {19, "stack error or overflow"},
    {20, "invalid disposition"},
    {21, "guard page"},
    {22, "invalid handle"},
    {23, "illegal operand"},
    {24, "illegal addressing mode"},
    {25, "illegal trap"},
    {26, "coprocessor error"},
    {27, "non-existent physical address"},
    {28, "object specific hardware error"},
    {29, "hardware memory error consumed AR"},
    {30, "hardware memory error consumed AO"},
    {31, "privileged register"},
    {32, "segmentation fault"},
    {33, "FPU error"},
    {34, "Bus error"},
    {94, "out of memory"},
    {95, "no CATCH for THROW"},
    {98, "assertion failed"},
    {99, "unknown error"},
    {100, "no value matched in CASE"},
    {101, "no value matched in SWITCH"},
};

volatile sig_atomic_t reporting = 0;
volatile sig_atomic_t interrupt_halts = 0;

void print_report(int32_t number, uint32_t address) {
  using namespace print;
  prin_typed({item::byte('\n'), item::c_string("*** Runtime Error "), item::int32(number),
              item::c_string(": ")});
  prin_typed({item::c_string(runtime_error_message(number))});
  prin_typed({item::byte('\n'), item::c_string("*** at: "), item::hex(address),
              item::c_string("h"), item::byte('\n')});
}

// Signal and code to error number, as the processor exceptions map.
int32_t fault_number(int signo, const siginfo_t* info, bool on_stack_guard) {
  switch (signo) {
    case SIGSEGV: return on_stack_guard ? 19 : 1;
    case SIGBUS: return info->si_code == BUS_ADRALN ? 2 : 16;
    case SIGILL: return info->si_code == ILL_PRVOPC ? 15 : 17;
    case SIGTRAP: return 3;
    case SIGFPE:
      switch (info->si_code) {
        case FPE_INTDIV: return 13;
        case FPE_INTOVF: return 14;
        case FPE_FLTDIV: return 7;
        case FPE_FLTOVF: return 10;
        case FPE_FLTUND: return 12;
        case FPE_FLTRES: return 8;
        case FPE_FLTINV: return 9;
        case FPE_FLTSUB: return 5;
        default: return 99;
      }
    default: return 99;
  }
}

void on_fault(int signo, siginfo_t* info, void* context) {
  if (signo == SIGINT && interrupt_halts && !interrupt_pending) {
    interrupt_pending = 1;
    return;
  }
  if (restore_on_exit) restore_on_exit();
  if (reporting) _exit(signo == SIGINT ? 128 + SIGINT : 99);
  reporting = 1;
  if (signo == SIGINT) {
    // Ctrl-C outside the line editor, and not while a command of the
    // interactive console runs (or a second time before the evaluation
    // took the first): what was printed is kept, and the status tells the
    // caller that the run was interrupted.
    system::flush_output();
    _exit(128 + SIGINT);
  }
  auto* uc = static_cast<ucontext_t*>(context);
  const void* pc = reinterpret_cast<const void*>(uc->uc_mcontext.gregs[REG_RIP]);
  auto address = reinterpret_cast<uintptr_t>(info->si_addr);
  bool on_guard = signo == SIGSEGV && address >= sysrec.stack_guard_low && address < sysrec.stack_guard_high;
  int32_t number = fault_number(signo, info, on_guard);
  print_report(number, code_address(pc));
  system::flush_output();
  _exit(number);
}

}  // namespace

volatile sig_atomic_t interrupt_pending = 0;

void set_interrupt_halts(bool on) {
  interrupt_halts = on;
  interrupt_pending = 0;
}

void (*restore_on_exit)() = nullptr;
void (*release_on_exit)() = nullptr;

const char* runtime_error_message(int32_t number) {
  for (const auto& m : messages)
    if (m.number == number) return m.text;
  return "unknown error code!";
}

uint32_t code_address(const void* address) {
  auto offset = reinterpret_cast<uintptr_t>(address) -
                reinterpret_cast<uintptr_t>(&__executable_start);
  return static_cast<uint32_t>(offset);
}

void runtime_error(int32_t number, uint32_t address) {
  if (number != 0) print_report(number, address);
  exit_process(number);
}

void exit_process(int32_t status) {
  if (restore_on_exit) restore_on_exit();
  system::flush_output();
  // A run whose output was lost did not succeed, whatever it says.
  if (status == 0 && output_failed_q()) status = 1;
  if (release_on_exit) release_on_exit();
  heap::free_all();
  std::exit(status);
}

void install_fault_handlers() {
  static char alternate_stack[64 * 1024];
  stack_t ss{};
  ss.ss_sp = alternate_stack;
  ss.ss_size = sizeof alternate_stack;
  sigaltstack(&ss, nullptr);
  struct sigaction sa {};
  sa.sa_sigaction = on_fault;
  sa.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
  sigemptyset(&sa.sa_mask);
  for (int signo : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGTRAP, SIGINT}) sigaction(signo, &sa, nullptr);
}

}  // namespace ixo::system
