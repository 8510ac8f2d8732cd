// The collector under a steady load: 10 million short-lived blocks and
// strings, made with the memory and string primitives and dropped at once,
// while a live set of 25, 50 or 100 MB of strings stays reachable from the
// value stack. Reports each run's collection pauses (median and maximum,
// in milliseconds), the number of cycles, and the objects made per second;
// the pauses should grow with the live set, not with the garbage.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <vector>

#include "runtime/datatypes/string.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/collector.hpp"
#include "runtime/memory/handles.hpp"
#include "runtime/memory/memory.hpp"
#include "runtime/memory/roots.hpp"
#include "runtime/memory/series_buffer.hpp"
#include "startup/start.hpp"

namespace {

using namespace ixo;

constexpr int32_t SHORT_LIVED_PAIRS = 5000000;  // a block and a string each
constexpr int32_t LIVE_STRING_BYTES = 1000;

std::vector<double> pauses;  // milliseconds

void timed_collect() {
  auto start = std::chrono::steady_clock::now();
  collector::collect();
  pauses.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
}

// A block of strings of LIVE_STRING_BYTES each, about `megabytes` in all,
// on the value stack.
void make_live_set(int32_t megabytes) {
  int32_t count = static_cast<int32_t>((int64_t{megabytes} << 20) / (LIVE_STRING_BYTES + memory::BUFFER_OVERHEAD));
  cell* live = stack::push(cell{TYPE_BLOCK, 0, memory::alloc_cells(count), 0});
  std::vector<uint8_t> bytes(LIVE_STRING_BYTES, 'x');
  cell text{};
  memory::root_guard keep(&text);
  for (int32_t i = 0; i < count; ++i) {
    string::rs_make_at(&text, LIVE_STRING_BYTES);
    string::concatenate_literal_part(memory::GET_BUFFER(&text), bytes.data(), LIVE_STRING_BYTES);
    *series::alloc_tail_cell(memory::GET_BUFFER(live)) = text;
  }
}

void collector_short_lived_with_live_set(benchmark::State& state) {
  int32_t megabytes = static_cast<int32_t>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    runtime::init();
    handles::init();
    collector::init();
    make_live_set(megabytes);
    collector::do_cycle();
    memory::run_collector = timed_collect;
    collector_active = 1;
    pauses.clear();
    state.ResumeTiming();

    cell text{};
    memory::root_guard keep(&text);
    for (int32_t i = 0; i < SHORT_LIVED_PAIRS; ++i) {
      string::rs_make_at(&text, 16);
      string::concatenate_literal(memory::GET_BUFFER(&text), "short-lived text");
      uint32_t block = memory::alloc_cells(4);
      *series::alloc_tail_cell(memory::buffer_of(block)) = text;
    }

    state.PauseTiming();
    collector_active = 0;
    memory::run_collector = nullptr;
    stack::reset();
    memory::free_all_frames();
    state.ResumeTiming();
  }
  std::sort(pauses.begin(), pauses.end());
  state.counters["cycles"] = static_cast<double>(pauses.size());
  state.counters["pause_median_ms"] = pauses.empty() ? 0 : pauses[pauses.size() / 2];
  state.counters["pause_max_ms"] = pauses.empty() ? 0 : pauses.back();
  state.SetItemsProcessed(state.iterations() * 2 * int64_t{SHORT_LIVED_PAIRS});
}
BENCHMARK(collector_short_lived_with_live_set)->Arg(25)->Arg(50)->Arg(100)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
