// Float and text conversion against the C++ library's to_chars/from_chars on
// the same values, and the million-value round trip (format, parse back,
// same bits).
#include <benchmark/benchmark.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "startup/system/dtoa.hpp"

namespace {

using namespace ixo;

constexpr size_t SET_SIZE = 4096;

// Any finite bit pattern: mostly very large or very small magnitudes.
std::vector<double> random_bits_values() {
  std::mt19937_64 rng(1);
  std::vector<double> v;
  while (v.size() < SET_SIZE) {
    double x = std::bit_cast<double>(rng());
    if (std::isfinite(x)) v.push_back(x);
  }
  return v;
}

// Magnitudes a program meets: uniform in [-1e6, 1e6], 17 significant digits.
std::vector<double> everyday_values() {
  std::mt19937_64 rng(2);
  std::uniform_real_distribution<double> dist(-1e6, 1e6);
  std::vector<double> v;
  for (size_t i = 0; i < SET_SIZE; ++i) v.push_back(dist(rng));
  return v;
}

// Short decimals, as literals are written: up to 6 digits, 0 to 3 decimals.
std::vector<double> short_values() {
  std::mt19937_64 rng(3);
  std::vector<double> v;
  for (size_t i = 0; i < SET_SIZE; ++i) {
    v.push_back(static_cast<double>(rng() % 1000000) / std::pow(10.0, static_cast<double>(rng() % 4)));
  }
  return v;
}

// Whole numbers with a few digits times a power of ten from 10^17 up.
std::vector<double> round_large_values() {
  std::mt19937_64 rng(4);
  std::vector<double> v;
  for (size_t i = 0; i < SET_SIZE; ++i) {
    v.push_back(static_cast<double>(1 + rng() % 999) * std::pow(10.0, static_cast<double>(17 + rng() % 20)));
  }
  return v;
}

std::vector<std::string> texts_of(const std::vector<double>& values) {
  std::vector<std::string> texts;
  char buf[64];
  for (double x : values) texts.emplace_back(buf, std::to_chars(buf, buf + sizeof buf, x).ptr);
  return texts;
}

void form_float_shortest(benchmark::State& state, std::vector<double> (*make)()) {
  std::vector<double> values = make();
  for (auto _ : state) {
    for (double x : values) benchmark::DoNotOptimize(dtoa::form_float(x, 0, true));
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * values.size()));
}

void to_chars_shortest(benchmark::State& state, std::vector<double> (*make)()) {
  std::vector<double> values = make();
  char buf[64];
  for (auto _ : state) {
    for (double x : values) benchmark::DoNotOptimize(std::to_chars(buf, buf + sizeof buf, x).ptr);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * values.size()));
}

void form_float_precision_6(benchmark::State& state, std::vector<double> (*make)()) {
  std::vector<double> values = make();
  for (auto _ : state) {
    for (double x : values) benchmark::DoNotOptimize(dtoa::form_float(x, 6, false));
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * values.size()));
}

void to_chars_precision_6(benchmark::State& state, std::vector<double> (*make)()) {
  std::vector<double> values = make();
  char buf[64];
  for (auto _ : state) {
    for (double x : values) {
      benchmark::DoNotOptimize(std::to_chars(buf, buf + sizeof buf, x, std::chars_format::general, 6).ptr);
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * values.size()));
}

void parse_float(benchmark::State& state, std::vector<double> (*make)()) {
  std::vector<std::string> texts = texts_of(make());
  for (auto _ : state) {
    for (const std::string& t : texts) {
      int32_t unconsumed;
      benchmark::DoNotOptimize(dtoa::parse_float(t.data(), t.data() + t.size(), 0, unconsumed));
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * texts.size()));
}

void from_chars(benchmark::State& state, std::vector<double> (*make)()) {
  std::vector<std::string> texts = texts_of(make());
  for (auto _ : state) {
    for (const std::string& t : texts) {
      double x;
      std::from_chars(t.data(), t.data() + t.size(), x);
      benchmark::DoNotOptimize(x);
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * texts.size()));
}

#define ON_EVERY_SET(fn)                                         \
  BENCHMARK_CAPTURE(fn, random_bits, random_bits_values);        \
  BENCHMARK_CAPTURE(fn, everyday, everyday_values);              \
  BENCHMARK_CAPTURE(fn, short_decimals, short_values);           \
  BENCHMARK_CAPTURE(fn, round_large, round_large_values)

ON_EVERY_SET(form_float_shortest);
ON_EVERY_SET(to_chars_shortest);
ON_EVERY_SET(form_float_precision_6);
ON_EVERY_SET(to_chars_precision_6);
ON_EVERY_SET(parse_float);
ON_EVERY_SET(from_chars);

// A million random finite bit patterns: shortest text, parsed back, must
// give the same bits.
void round_trip_million(benchmark::State& state) {
  for (auto _ : state) {
    std::mt19937_64 rng(20240611);
    int64_t failures = 0;
    for (int32_t i = 0; i < 1000000;) {
      double x = std::bit_cast<double>(rng());
      if (!std::isfinite(x)) continue;
      ++i;
      const char* text = dtoa::form_float(x, 0, true);
      int32_t unconsumed;
      double back = dtoa::parse_float(text, text + std::strlen(text), 0, unconsumed);
      if (std::bit_cast<uint64_t>(back) != std::bit_cast<uint64_t>(x) || unconsumed != 0) ++failures;
    }
    if (failures != 0) state.SkipWithError(("round trip failed " + std::to_string(failures) + " times").c_str());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * 1000000);
}
BENCHMARK(round_trip_million)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
