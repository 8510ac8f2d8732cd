// The random number source: the generator's state on the tracked heap,
// seeding, tempering, the secure source and the rejection sampler.
#include "runtime/core/random.hpp"

#include <sys/random.h>

#include <cerrno>

#include "runtime/core/hash.hpp"
#include "runtime/interpreter/fire.hpp"
#include "startup/system/heap.hpp"

namespace ixo {


namespace random {

byte_source secure_source = crypt_random;

namespace {

constexpr int32_t state_words = 624;
constexpr int32_t shift_distance = 397;  // the twist pairs word i with word i + 397
constexpr uint32_t twist_matrix = 0x9908B0DF;
constexpr int32_t max_draw = 0x7FFFFFFF;

uint32_t* state = nullptr;
int32_t position = 0;

// The generator's right shift: arithmetic, as on signed 32-bit words.
uint32_t sar(uint32_t x, int n) { return static_cast<uint32_t>(static_cast<int32_t>(x) >> n); }

// Words are replaced in order, so from word 227 on the twist reads words it
// has already replaced; the last word pairs with the new word 0.
void twist() {
  for (int32_t i = 0; i < state_words; ++i) {
    uint32_t y = (state[i] & 0x80000000u) | (state[(i + 1) % state_words] & 0x7FFFFFFFu);
    state[i] = state[(i + shift_distance) % state_words] ^ sar(y, 1) ^ ((y & 1) ? twist_matrix : 0);
  }
  position = 0;
}

int32_t draw(bool secure) { return secure ? secure_next() : next(); }

}  // namespace

void init() {
  state = static_cast<uint32_t*>(heap::alloc_tracked(state_words * 4));
  seed(19650218);
  // The hash seed is the seed variable's own address: fixed for the run,
  // different from one run to the next.
  hash::set_seed(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&hash::seed)));
}

void seed(int32_t s) {
  state[0] = static_cast<uint32_t>(s);
  for (int32_t i = 1; i < state_words; ++i) {
    uint32_t prev = state[i - 1];
    state[i] = 1812433253u * (prev ^ sar(prev, 30)) + static_cast<uint32_t>(i);
  }
  // The first 624 outputs temper the seeded words themselves.
  position = 0;
}

int32_t next() {
  if (position == state_words) twist();
  uint32_t y = state[position++];
  y ^= sar(y, 11);
  y ^= (y << 7) & 0x9D2C5680u;
  y ^= (y << 15) & 0xEFC60000u;
  y ^= sar(y, 18);  // an arithmetic shift xored in clears bit 31
  return static_cast<int32_t>(y);
}

bool crypt_random(void* buffer, int32_t count) {
  auto* p = static_cast<unsigned char*>(buffer);
  while (count > 0) {
    ssize_t got = getrandom(p, static_cast<size_t>(count), 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += got;
    count -= static_cast<int32_t>(got);
  }
  return true;
}

int32_t secure_next() {
  unsigned char b[4];
  if (!secure_source(b, 4)) fire(err::internal_feature_na);
  uint32_t word = b[0] | b[1] << 8 | b[2] << 16 | static_cast<uint32_t>(b[3]) << 24;
  return static_cast<int32_t>(word & 0x7FFFFFFFu);
}

int32_t int_in_range(bool secure, int32_t n) {
  if (n == 0) return 0;
  if (n == INT32_MIN) return -1 - draw(secure);
  bool negative = n < 0;
  if (negative) n = -n;
  // The largest multiple of n not above 2^31 - 1: draws at or past it would
  // favour the small residues.
  int32_t limit = max_draw / n * n;
  int32_t r;
  do r = draw(secure); while (r >= limit);
  int32_t result = r % n + 1;
  return negative ? -result : result;
}

}  // namespace random
}  // namespace ixo
