// Blocks at scale: appending a million integers to one block, finding
// values in a block of 100,000 by a scan and in a hash! through its table,
// and sorting a million random integers. bench/block_bench.py does the
// same with Python lists and sets.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "runtime/core/cycles.hpp"
#include "runtime/core/hashtable.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/interpreter/actions.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/series_buffer.hpp"
#include "startup/start.hpp"

namespace {

using namespace ixo;

constexpr int32_t APPENDS = 1000000;
constexpr int32_t FIND_CELLS = 100000;
constexpr int32_t FINDS = 1000;
constexpr int32_t SORTED = 1000000;

cell integer(int32_t v) { return integer::make_cell(v); }

// A started runtime (series!, block!, hash! and integer! registered) with
// an empty value stack.
void start() {
  cycles::init();
  runtime::init();
  stack::arguments = stack::bottom;
  stack::reset();
}

// A block on the value stack holding the integers.
cell* block_of(const std::vector<int32_t>& values, uint32_t type) {
  cell* b = block::push_only(static_cast<int32_t>(values.size()));
  memory::series_buffer* buf = memory::GET_BUFFER(b);
  cell* cells = memory::head_of<cell>(buf);
  for (size_t i = 0; i < values.size(); ++i) cells[i] = integer(values[i]);
  buf->tail += static_cast<uint32_t>(values.size() * sizeof(cell));
  if (type == TYPE_HASH) {
    set_type(b, TYPE_HASH);
    b->data3 = hashtable::init(static_cast<int32_t>(values.size()), b, hashtable::KIND_BLOCK, 1);
  }
  return b;
}

void block_append(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    start();
    auto append = datatype::action_of<insert_fn>(TYPE_BLOCK, ACT_APPEND);
    cell* b = block::push_only(1);
    cell* v = stack::push(integer(0));
    state.ResumeTiming();
    for (int32_t i = 0; i < APPENDS; ++i) {
      v->data2 = static_cast<uint32_t>(i);
      append(b, v, -1, 0, 1, 1);
    }
    benchmark::DoNotOptimize(block::rs_length_q(b));
  }
  state.SetItemsProcessed(state.iterations() * APPENDS);
}
BENCHMARK(block_append)->Unit(benchmark::kMillisecond);

// Finds of values spread over the block, so that a scan walks half of it
// on average.
void find_in(benchmark::State& state, uint32_t type) {
  start();
  std::vector<int32_t> values(FIND_CELLS);
  for (int32_t i = 0; i < FIND_CELLS; ++i) values[static_cast<size_t>(i)] = i;
  cell* b = block_of(values, type);
  cell* v = stack::push(integer(0));
  auto find = datatype::action_of<find_fn>(type, ACT_FIND);
  for (auto _ : state) {
    int64_t sum = 0;
    for (int32_t k = 0; k < FINDS; ++k) {
      v->data2 = static_cast<uint32_t>(k * (FIND_CELLS / FINDS) + 37);
      cell* top = stack::top;
      sum += find(b, v, nullptr, 0, 0, 0, 0, nullptr, nullptr, 0, 0, 0, 0)->data1;
      stack::top = top;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * FINDS);
}
void block_find(benchmark::State& state) { find_in(state, TYPE_BLOCK); }
void hash_find(benchmark::State& state) { find_in(state, TYPE_HASH); }
BENCHMARK(block_find)->Unit(benchmark::kMicrosecond);
BENCHMARK(hash_find)->Unit(benchmark::kMicrosecond);

void block_sort(benchmark::State& state) {
  std::mt19937 generator(20240601);
  std::vector<int32_t> values(SORTED);
  for (int32_t& v : values) v = static_cast<int32_t>(generator() >> 1);
  for (auto _ : state) {
    state.PauseTiming();
    start();
    auto sort = datatype::action_of<sort_fn>(TYPE_BLOCK, ACT_SORT);
    cell* b = block_of(values, TYPE_BLOCK);
    state.ResumeTiming();
    sort(b, 0, nullptr, nullptr, nullptr, 0, 0, 0);
    benchmark::DoNotOptimize(block::rs_head(b)->data2);
  }
  state.SetItemsProcessed(state.iterations() * SORTED);
}
BENCHMARK(block_sort)->Unit(benchmark::kMillisecond);

}  // namespace
