// string! actions on 10 MB of text: building it by appending 10-character
// pieces, finding a substring near its end (folding case, the default of
// find, and with /case), and changing it to upper case. The same in Python
// for comparison:
//   python3 -m timeit -s "p = 'abcdefghij'" "''.join([p] * 1048576)"
//   python3 -m timeit -s "p = 'abcdefghij'" "s = ''" "for _ in range(1048576): s += p"
//   python3 -m timeit -s "s = 'abcdefghij' * 1048576 + 'needle'" "s.find('needle')"
//   python3 -m timeit -s "s = 'abcdefghij' * 1048576" "s.upper()"
#include <benchmark/benchmark.h>

#include <climits>

#include "runtime/core/case_folding.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/datatypes/string_compare.hpp"
#include "runtime/datatypes/string_edit.hpp"
#include "runtime/datatypes/string_form.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/memory.hpp"
#include "startup/start.hpp"

namespace {

using namespace ixo;

constexpr int32_t PIECES = 1 << 20;  // of 10 characters: 10 MB

// A started runtime with string! registered and an empty value stack.
void start() {
  runtime::init();
  string::init();
  stack::reset();
}

cell* push_literal(const char* text) {
  cell* c = stack::push_slot();
  string::rs_make_at(c, 16);
  string::concatenate_literal(memory::GET_BUFFER(c), text);
  return c;
}

// The 10 MB text of `PIECES` pieces, then "needle".
cell* push_text() {
  cell* s = push_literal("");
  cell* piece = push_literal("abcdefghij");
  for (int32_t i = 0; i < PIECES; ++i) string::append(s, piece, -1, 0, 1, 1);
  string::append(s, push_literal("needle"), -1, 0, 1, 1);
  return s;
}

void append_pieces(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    start();
    cell* s = push_literal("");
    cell* piece = push_literal("abcdefghij");
    state.ResumeTiming();
    for (int32_t i = 0; i < PIECES; ++i) string::append(s, piece, -1, 0, 1, 1);
    benchmark::DoNotOptimize(string::rs_abs_length_q(s));
    state.PauseTiming();
    memory::free_all_frames();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(state.iterations() * PIECES * 10);
}
BENCHMARK(append_pieces)->Unit(benchmark::kMillisecond);

void find_substring(benchmark::State& state) {
  start();
  cell* s = push_text();
  cell* needle = push_literal("NEEDLE");
  cell* case_ = push_literal("needle");
  bool folding = state.range(0) == 0;
  for (auto _ : state) {
    s->data1 = 0;
    cell* found = folding ? string::find(s, needle, nullptr, 0, 0, 0, 0, nullptr, nullptr, 0, 0, 0, 0)
                          : string::find(s, case_, nullptr, 0, 1, 0, 0, nullptr, nullptr, 0, 0, 0, 0);
    benchmark::DoNotOptimize(found->data1);
  }
  state.SetBytesProcessed(state.iterations() * PIECES * 10);
  memory::free_all_frames();
}
BENCHMARK(find_substring)->ArgName("case")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void uppercase(benchmark::State& state) {
  start();
  cell* s = push_text();
  for (auto _ : state) {
    s->data1 = 0;
    case_folding::change(s, 0, 1);
  }
  state.SetBytesProcessed(state.iterations() * PIECES * 10);
  memory::free_all_frames();
}
BENCHMARK(uppercase)->Unit(benchmark::kMillisecond);

}  // namespace
