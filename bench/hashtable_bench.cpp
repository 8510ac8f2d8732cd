// The hashtable against the C++ library doing the same work: interning
// 100,000 spellings into a symbol table and finding them again, and
// putting and getting a million node pairs in the collector's node map.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "runtime/core/hashtable.hpp"
#include "runtime/core/record_table.hpp"
#include "runtime/memory/memory.hpp"

namespace {

using namespace ixo;

constexpr int32_t SPELLINGS = 100000;
constexpr uint32_t PAIRS = 1000000;

std::vector<std::string> spellings() {
  std::vector<std::string> names;
  for (int32_t i = 0; i < SPELLINGS; ++i) names.push_back("word-" + std::to_string(i * 7919));
  return names;
}

const uint8_t* bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

void symbols_intern(benchmark::State& state) {
  std::vector<std::string> names = spellings();
  for (auto _ : state) {
    memory::init();
    uint32_t table = hashtable::init(4000, nullptr, hashtable::KIND_SYMBOL, 1);
    for (const std::string& s : names) hashtable::get_symbol(table, bytes(s), static_cast<int32_t>(s.size()), false);
    memory::free_all_frames();
  }
  state.SetItemsProcessed(state.iterations() * SPELLINGS);
}
BENCHMARK(symbols_intern)->Unit(benchmark::kMillisecond);

void unordered_map_intern(benchmark::State& state) {
  std::vector<std::string> names = spellings();
  for (auto _ : state) {
    std::unordered_map<std::string, int32_t> table(4000);
    for (const std::string& s : names) table.emplace(s, static_cast<int32_t>(table.size()) + 1);
    benchmark::DoNotOptimize(table.size());
  }
  state.SetItemsProcessed(state.iterations() * SPELLINGS);
}
BENCHMARK(unordered_map_intern)->Unit(benchmark::kMillisecond);

void symbols_find(benchmark::State& state) {
  std::vector<std::string> names = spellings();
  memory::init();
  uint32_t table = hashtable::init(4000, nullptr, hashtable::KIND_SYMBOL, 1);
  for (const std::string& s : names) hashtable::get_symbol(table, bytes(s), static_cast<int32_t>(s.size()), false);
  for (auto _ : state) {
    int64_t sum = 0;
    for (const std::string& s : names) sum += hashtable::get_symbol(table, bytes(s), static_cast<int32_t>(s.size()), false);
    benchmark::DoNotOptimize(sum);
  }
  memory::free_all_frames();
  state.SetItemsProcessed(state.iterations() * SPELLINGS);
}
BENCHMARK(symbols_find)->Unit(benchmark::kMillisecond);

void unordered_map_find(benchmark::State& state) {
  std::vector<std::string> names = spellings();
  std::unordered_map<std::string, int32_t> table(4000);
  for (const std::string& s : names) table.emplace(s, static_cast<int32_t>(table.size()) + 1);
  for (auto _ : state) {
    int64_t sum = 0;
    for (const std::string& s : names) sum += table.find(s)->second;
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * SPELLINGS);
}
BENCHMARK(unordered_map_find)->Unit(benchmark::kMillisecond);

void node_map_put_get(benchmark::State& state) {
  for (auto _ : state) {
    node_map::map* m = node_map::make(20000);
    for (uint32_t k = 0; k < PAIRS; ++k) node_map::put(m, 0x1000 + 4 * k, k);
    uint64_t sum = 0;
    for (uint32_t k = 0; k < PAIRS; ++k) sum += *node_map::get(m, 0x1000 + 4 * k);
    benchmark::DoNotOptimize(sum);
    node_map::free(m);
  }
  state.SetItemsProcessed(state.iterations() * PAIRS);
}
BENCHMARK(node_map_put_get)->Unit(benchmark::kMillisecond);

void unordered_map_put_get(benchmark::State& state) {
  for (auto _ : state) {
    std::unordered_map<uint32_t, uint32_t> m(20000);
    for (uint32_t k = 0; k < PAIRS; ++k) m[0x1000 + 4 * k] = k;
    uint64_t sum = 0;
    for (uint32_t k = 0; k < PAIRS; ++k) sum += m.find(0x1000 + 4 * k)->second;
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * PAIRS);
}
BENCHMARK(unordered_map_put_get)->Unit(benchmark::kMillisecond);

}  // namespace
