// The memory manager against the C++ library doing the same work: making
// and freeing a million small series, and growing one series a byte at a
// time to 10 MB. Without a collection the memory manager frees series by
// releasing their frames, which each iteration does at its end.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "runtime/core/array.hpp"
#include "runtime/memory/memory.hpp"
#include "runtime/memory/series_buffer.hpp"

namespace {

using namespace ixo;

constexpr int32_t SMALL_SERIES = 1000000;
constexpr int32_t GROWN_BYTES = 10 << 20;

void series_make_and_free_a_million(benchmark::State& state) {
  std::vector<uint32_t> nodes(SMALL_SERIES);
  for (auto _ : state) {
    memory::init();
    for (uint32_t& node : nodes) node = memory::alloc_bytes(16);
    benchmark::DoNotOptimize(nodes.data());
    memory::free_all_frames();
  }
  state.SetItemsProcessed(state.iterations() * SMALL_SERIES);
}
BENCHMARK(series_make_and_free_a_million)->Unit(benchmark::kMillisecond);

void vector_make_and_free_a_million(benchmark::State& state) {
  std::vector<std::vector<uint8_t>> series(SMALL_SERIES);
  for (auto _ : state) {
    for (auto& s : series) s.reserve(16);
    benchmark::DoNotOptimize(series.data());
    for (auto& s : series) std::vector<uint8_t>().swap(s);
  }
  state.SetItemsProcessed(state.iterations() * SMALL_SERIES);
}
BENCHMARK(vector_make_and_free_a_million)->Unit(benchmark::kMillisecond);

void series_append_bytes_to_10_mb(benchmark::State& state) {
  for (auto _ : state) {
    memory::init();
    uint32_t node = memory::alloc_bytes(0);
    for (int32_t i = 0; i < GROWN_BYTES; ++i) array::append_byte(node, static_cast<uint8_t>(i));
    benchmark::DoNotOptimize(array::head(node));
    memory::free_all_frames();
  }
  state.SetBytesProcessed(state.iterations() * int64_t{GROWN_BYTES});
}
BENCHMARK(series_append_bytes_to_10_mb)->Unit(benchmark::kMillisecond);

void vector_append_bytes_to_10_mb(benchmark::State& state) {
  for (auto _ : state) {
    std::vector<uint8_t> bytes;
    for (int32_t i = 0; i < GROWN_BYTES; ++i) bytes.push_back(static_cast<uint8_t>(i));
    benchmark::DoNotOptimize(bytes.data());
  }
  state.SetBytesProcessed(state.iterations() * int64_t{GROWN_BYTES});
}
BENCHMARK(vector_append_bytes_to_10_mb)->Unit(benchmark::kMillisecond);

}  // namespace
