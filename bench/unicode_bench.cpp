// Loading 10 MB of mixed UTF-8 (words of ASCII, Latin-1, CJK and emoji,
// from a fixed seed) into a string, and exporting it back. The text is also
// written to ixo_unicode_bench.utf8 in the temporary folder, so that other
// decoders can be timed on the same bytes, for instance:
//   python3 -m timeit -s "b = open('/tmp/ixo_unicode_bench.utf8', 'rb').read()" "b.decode('utf-8')"
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "runtime/core/unicode.hpp"
#include "runtime/memory/memory.hpp"

namespace {

using namespace ixo;

constexpr size_t TEXT_BYTES = 10 << 20;

// Words of 1 to 8 code points separated by spaces: 60% ASCII letters, 20%
// Latin-1 letters, 15% CJK ideographs, 5% emoji; padded with spaces to the
// exact size.
std::vector<uint8_t> make_mixed_text() {
  uint32_t seed = 0x1D0C0DE;
  auto next = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return seed >> 8;
  };
  std::vector<uint8_t> text;
  text.reserve(TEXT_BYTES);
  for (;;) {
    uint32_t kind = next() % 100;
    uint32_t length = 1 + next() % 8;
    if (text.size() + 4 * length + 1 > TEXT_BYTES) break;
    for (uint32_t i = 0; i < length; ++i) {
      uint32_t cp = kind < 60 ? 'a' + next() % 26
                  : kind < 80 ? 0xC0 + next() % 64
                  : kind < 95 ? 0x4E00 + next() % 0x5200
                              : 0x1F600 + next() % 0x50;
      uint8_t sequence[4];
      int32_t n = unicode::cp_to_utf8(cp, sequence);
      text.insert(text.end(), sequence, sequence + n);
    }
    text.push_back(' ');
  }
  text.resize(TEXT_BYTES, ' ');
  return text;
}

const std::vector<uint8_t>& mixed_text() {
  static const std::vector<uint8_t> text = [] {
    std::vector<uint8_t> t = make_mixed_text();
    std::filesystem::path path = std::filesystem::temp_directory_path() / "ixo_unicode_bench.utf8";
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
      std::fwrite(t.data(), 1, t.size(), f);
      std::fclose(f);
      benchmark::AddCustomContext("text", path.string());
    }
    memory::init();
    return t;
  }();
  return text;
}

// Into the same string every time, as a reader filling one buffer does:
// the first load makes it, the others find it large enough.
void load_mixed_utf8(benchmark::State& state) {
  const std::vector<uint8_t>& text = mixed_text();
  uint32_t node = 0;
  for (auto _ : state) {
    node = unicode::load_utf8(text.data(), static_cast<int32_t>(text.size()), node, nullptr, false);
    benchmark::DoNotOptimize(node);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(load_mixed_utf8)->Unit(benchmark::kMillisecond);

void export_mixed_utf8(benchmark::State& state) {
  const std::vector<uint8_t>& text = mixed_text();
  cell s{TYPE_STRING, 0, unicode::load_utf8_new(text.data(), static_cast<int32_t>(text.size())), 0};
  for (auto _ : state) {
    int32_t length = -1;
    benchmark::DoNotOptimize(unicode::to_utf8(&s, length));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(export_mixed_utf8)->Unit(benchmark::kMillisecond);

}  // namespace
