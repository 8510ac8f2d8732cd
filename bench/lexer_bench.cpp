// Loading a generated 10 MB source (nested blocks of words, integers,
// floats and strings) with the lexer, in MB/s. The same data as JSON for
// comparison, written by lexer_bench.py:
//   python3 bench/lexer_bench.py
#include <benchmark/benchmark.h>

#include <string>

#include "runtime/core/cycles.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/lexer/lexer.hpp"
#include "runtime/memory/roots.hpp"
#include "runtime/memory/memory.hpp"
#include "startup/start.hpp"

namespace {

using namespace ixo;

// Records of five values in blocks of 100, until the text passes 10 MB.
std::string generated_source() {
  std::string text;
  int32_t n = 0;
  while (text.size() < 10u << 20) {
    text += "[\n";
    for (int32_t i = 0; i < 100; ++i, ++n) {
      text += "    [name" + std::to_string(n % 997) + " " + std::to_string(n) + " " + std::to_string(n) + ".25 \"text " +
              std::to_string(n) + "\" [a b c]]\n";
    }
    text += "]\n";
  }
  return text;
}

void load_source(benchmark::State& state) {
  cycles::init();
  runtime::init();
  lexer::init();
  collector_active = 1;
  boot_flag = 0;
  std::string text = generated_source();
  cell block{TYPE_UNSET, 0, 0, 0};
  memory::root_guard keep(&block);
  for (auto _ : state) {
    lexer::load_text(&block, text.data(), static_cast<int32_t>(text.size()));
    benchmark::DoNotOptimize(block);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(load_source)->Unit(benchmark::kMillisecond);

}  // namespace
