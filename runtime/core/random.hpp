// The random number source: one process-wide Mersenne Twister that serves
// every `random` action, a secure source over the platform's cryptographic
// generator, uniform integers in 1..n by rejection, and the hash seed that
// start-up derives alongside.
//
// The generator is the MT19937 family with one deliberate difference: all
// right shifts are arithmetic (they copy the sign bit), so its sequence is
// not the reference one for the same seed and its outputs never have bit 31
// set. Scripts that seed the generator rely on this exact sequence.
#pragma once
#include <cstdint>

namespace ixo {

namespace random {

// Allocates the generator's state from the tracked heap, seeds it with
// 19650218 and sets the hash seed.
void init();

void seed(int32_t s);

// The next output: 0 .. 2^31 - 1.
int32_t next();

// Four bytes of the secure source as a little-endian word with bit 31
// cleared: 0 .. 2^31 - 1. A failing source raises `internal`/`feature-na`
// rather than answering a predictable number.
int32_t secure_next();

// Uniform in 1..n for n > 0, in n..-1 for n < 0; 0 for n = 0. Draws come
// from the secure source when `secure` is set.
int32_t int_in_range(bool secure, int32_t n);

// The platform's cryptographic generator (getrandom): fills `count` bytes,
// answers false when it cannot.
bool crypt_random(void* buffer, int32_t count);

// Where secure draws come from: crypt_random, unless a test puts a failing
// or scripted source in its place.
using byte_source = bool (*)(void* buffer, int32_t count);
extern byte_source secure_source;

}  // namespace random
}  // namespace ixo
