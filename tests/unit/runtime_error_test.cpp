#include <gtest/gtest.h>

#include <csignal>
#include <regex>

#include "platform/posix/start.hpp"
#include "startup/system/console_output.hpp"
#include "startup/system/runtime_error.hpp"
#include "support/child.hpp"

namespace ixo::system {
namespace {

std::string report(int number, const char* message) {
  return "\n\\*\\*\\* Runtime Error " + std::to_string(number) + ": " + message +
         "\n\\*\\*\\* at: [0-9A-F]{8}h\n";
}

TEST(runtime_error, prints_the_numbered_report_and_exits_with_the_number) {
  struct row { int number; const char* message; int status; };
  const row rows[] = {
      {13, "integer divide by zero", 13},
      {94, "out of memory", 94},
      {101, "no value matched in SWITCH", 101},
      {50, "unknown error code!", 50},
      {300, "unknown error code!", 300 & 0xFF},
  };
  for (const row& r : rows) {
    auto c = test::run_child([&] { runtime_error(r.number, 0x1234ABCD); });
    EXPECT_EQ(c.status, r.status) << r.number;
    EXPECT_TRUE(std::regex_match(c.output, std::regex(report(r.number, r.message)))) << c.output;
    EXPECT_NE(c.output.find("1234ABCDh"), std::string::npos);
  }
  auto quiet = test::run_child([] { runtime_error(0, 0); });
  EXPECT_EQ(quiet.status, 0);
  EXPECT_EQ(quiet.output, "");
}

// Faults are taken on the runtime thread, where the handlers are installed.
test::child_result fault_in_runtime(void (*fault)()) {
  static void (*current)() = nullptr;
  current = fault;
  return test::run_child([] {
    platform::run_on_runtime_stack([] {
      install_fault_handlers();
      current();
    });
  });
}

volatile int zero = 0;
volatile int* volatile wild = reinterpret_cast<int*>(16);

#pragma GCC diagnostic ignored "-Winfinite-recursion"
int runaway(int depth) {
  volatile char frame[256];
  frame[0] = static_cast<char>(depth);
  return runaway(depth + 1) + frame[0];
}

TEST(fault_handlers, map_faults_to_runtime_error_numbers) {
  // The division is done by the processor itself, not by C++ arithmetic
  // (which the undefined-behaviour checker would stop first).
  auto div = fault_in_runtime([] {
    int a = 7, d = zero, q;
    asm volatile("cltd; idivl %2" : "=a"(q) : "a"(a), "r"(d) : "edx");
    (void)q;
  });
  EXPECT_EQ(div.status, 13);
  EXPECT_TRUE(std::regex_match(div.output, std::regex(report(13, "integer divide by zero")))) << div.output;

  auto segv = fault_in_runtime([] { *wild = 1; });
  EXPECT_EQ(segv.status, 1);
  EXPECT_TRUE(std::regex_match(segv.output, std::regex(report(1, "access violation")))) << segv.output;

  auto overflow = fault_in_runtime([] { runaway(0); });
  EXPECT_EQ(overflow.status, 19);
  EXPECT_TRUE(std::regex_match(overflow.output, std::regex(report(19, "stack error or overflow"))))
      << overflow.output;
}

TEST(fault_handlers, ctrl_c_keeps_the_output_and_ends_with_128_plus_sigint) {
  auto r = fault_in_runtime([] {
    system::put_units("kept", 4, 1);
    raise(SIGINT);
  });
  EXPECT_EQ(r.status, 130);
  EXPECT_EQ(r.output, "kept");
}

}  // namespace
}  // namespace ixo::system
