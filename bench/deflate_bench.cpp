// DEFLATE speed and ratio on a 50 MB mixed corpus (text, structured binary
// and incompressible bytes, made from fixed seeds), against Debian's zlib,
// which only this benchmark links: our compressor against zlib level 1,
// and our decoder against zlib's on streams zlib made at its default
// level. The ratio counters are compressed size / input size.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdint>
#include <vector>

#include "runtime/codecs/deflate.hpp"
#include "runtime/codecs/zlib.hpp"

namespace {

using bytes = std::vector<uint8_t>;

const bytes& corpus() {
  static const bytes data = [] {
    bytes b;
    b.reserve(50u << 20);
    uint32_t x = 12345;
    auto next = [&] { return x = x * 1103515245 + 12345; };
    const char* words[] = {"the ", "runtime ", "block ", "value ", "series ", "word ",
                           "context ", "parse\n", "of ", "and ", "binary ", "string "};
    while (b.size() < (20u << 20)) {  // text
      for (const char* c = words[(next() >> 16) % 12]; *c; ++c) b.push_back(*c);
    }
    for (uint32_t i = 0; b.size() < (35u << 20); ++i) {  // records of counters and flags
      uint32_t rec[4] = {i, i * 3, (next() >> 24) & 7, 0xFFFF0000u | (i & 0xFF)};
      const uint8_t* p = reinterpret_cast<const uint8_t*>(rec);
      b.insert(b.end(), p, p + sizeof rec);
    }
    while (b.size() < (50u << 20)) b.push_back(static_cast<uint8_t>(next() >> 24));  // noise
    return b;
  }();
  return data;
}

void ixo_compress(benchmark::State& state) {
  const bytes& in = corpus();
  bytes out(in.size() + in.size() / 4);
  int32_t size = 0;
  for (auto _ : state) {
    size = static_cast<int32_t>(out.size());
    ixo::deflate::compress(out.data(), &size, in.data(), static_cast<int32_t>(in.size()));
  }
  state.SetBytesProcessed(state.iterations() * in.size());
  state.counters["ratio"] = static_cast<double>(size) / in.size();
}

bytes zlib_stream(int level) {
  const bytes& in = corpus();
  uLongf size = compressBound(in.size());
  bytes out(size);
  compress2(out.data(), &size, in.data(), in.size(), level);
  out.resize(size);
  return out;
}

void zlib_compress_level_1(benchmark::State& state) {
  const bytes& in = corpus();
  bytes out(compressBound(in.size()));
  uLongf size = 0;
  for (auto _ : state) {
    size = out.size();
    compress2(out.data(), &size, in.data(), in.size(), 1);
  }
  state.SetBytesProcessed(state.iterations() * in.size());
  state.counters["ratio"] = static_cast<double>(size) / in.size();
}

void ixo_uncompress_zlib_default(benchmark::State& state) {
  static const bytes stream = zlib_stream(Z_DEFAULT_COMPRESSION);
  bytes out(corpus().size());
  for (auto _ : state) {
    int32_t size = static_cast<int32_t>(out.size());
    if (ixo::zlib::uncompress(out.data(), &size, stream.data(),
                              static_cast<int32_t>(stream.size())) != ixo::deflate::DONE) {
      state.SkipWithError("stream refused");
    }
  }
  state.SetBytesProcessed(state.iterations() * out.size());
}

void zlib_uncompress_zlib_default(benchmark::State& state) {
  static const bytes stream = zlib_stream(Z_DEFAULT_COMPRESSION);
  bytes out(corpus().size());
  for (auto _ : state) {
    uLongf size = out.size();
    uncompress(out.data(), &size, stream.data(), stream.size());
  }
  state.SetBytesProcessed(state.iterations() * out.size());
}

}  // namespace

BENCHMARK(ixo_compress)->Unit(benchmark::kMillisecond);
BENCHMARK(zlib_compress_level_1)->Unit(benchmark::kMillisecond);
BENCHMARK(ixo_uncompress_zlib_default)->Unit(benchmark::kMillisecond);
BENCHMARK(zlib_uncompress_zlib_default)->Unit(benchmark::kMillisecond);
