// Platform start over POSIX threads and signals.
#include "platform/posix/start.hpp"

#include <malloc.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "startup/system/heap.hpp"
#include "startup/system/runtime_error.hpp"
#include "startup/system/system.hpp"

namespace ixo::platform {

int std_input = -1, std_output = -1, std_error = -1;

namespace {

int process_argc = 0;
char** process_argv = nullptr;

// The guard area below the runtime stack: large enough that a frame which
// skips over the lowest pages still lands in it.
constexpr uint64_t guard_size = 1ull << 20;
void* thread_entry(void* body) {
  reinterpret_cast<void (*)()>(body)();
  return nullptr;
}

// The stack's size: runtime_stack_size, or a quarter of a limit on the
// address space (ulimit -v) when that is less, since the whole mapping
// counts against the limit and the arena needs the most of it.
uint64_t stack_size() {
  rlimit limit{};
  if (getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return runtime_stack_size;
  uint64_t quarter = (static_cast<uint64_t>(limit.rlim_cur) / 4) & ~static_cast<uint64_t>(0xFFFF);
  return quarter < runtime_stack_size ? quarter : runtime_stack_size;
}

}  // namespace

void run_on_runtime_stack(void (*body)()) {
  // The C library would give the runtime thread a malloc arena of its own,
  // reserving 64 MB of address space at its first allocation (or retrying
  // that reservation at each one, when a limit refuses it). With one arena
  // the C++ heap grows by what it uses, and what is left under a limit on
  // the address space goes to the runtime's arena.
  mallopt(M_ARENA_MAX, 1);
  size_t runtime_stack = stack_size();
  size_t total = runtime_stack + guard_size;
  void* base = mmap(nullptr, total, PROT_READ | PROT_WRITE,
                    MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_STACK, -1, 0);
  pthread_attr_t attr;
  pthread_t thread;
  bool made = base != MAP_FAILED && mprotect(base, guard_size, PROT_NONE) == 0 &&
              pthread_attr_init(&attr) == 0 &&
              pthread_attr_setstack(&attr, static_cast<char*>(base) + guard_size,
                                    runtime_stack) == 0;
  if (made) {
    // A frame may skip past the guard area's low end as well as stop in it.
    auto low = reinterpret_cast<uintptr_t>(base);
    sysrec.stack_guard_low = low - guard_size;
    sysrec.stack_guard_high = low + guard_size;
    made = pthread_create(&thread, &attr, thread_entry, reinterpret_cast<void*>(body)) == 0;
  }
  if (!made) {
    // Without the large stack the runtime still runs, only with a shallower
    // recursion limit.
    body();
    return;
  }
  // Ctrl-C goes to the runtime thread, so that it interrupts what that
  // thread waits for (a `wait`) rather than the join here.
  sigset_t interrupt;
  sigemptyset(&interrupt);
  sigaddset(&interrupt, SIGINT);
  pthread_sigmask(SIG_BLOCK, &interrupt, nullptr);
  pthread_join(thread, nullptr);
}

void set_process_args(int argc, char** argv) {
  process_argc = argc;
  process_argv = argv;
}

void start() {
  system::install_fault_handlers();
  // A write past the file-size limit (ulimit -f) fails with EFBIG and
  // raises an error instead of ending the process.
  signal(SIGXFSZ, SIG_IGN);
  std_input = STDIN_FILENO;
  std_output = STDOUT_FILENO;
  std_error = STDERR_FILENO;
  read_args();
}

void read_args() {
  auto** argv = static_cast<char**>(
      heap::alloc_tracked(static_cast<int32_t>(sizeof(char*)) * (process_argc + 1)));
  for (int i = 0; i < process_argc; ++i) {
    size_t n = std::strlen(process_argv[i]) + 1;
    argv[i] = static_cast<char*>(heap::alloc_tracked(static_cast<int32_t>(n)));
    std::memcpy(argv[i], process_argv[i], n);
  }
  argv[process_argc] = nullptr;
  sysrec.argc = process_argc;
  sysrec.argv = argv;
}

}  // namespace ixo::platform
