// tuple!: 3 to 12 unsigned bytes written with dots (1.2.3, 255.0.0.128):
// colours, versions, addresses. Arithmetic works byte by byte and
// saturates each byte to 0..255; tuples of different lengths combine as if
// the shorter had zero bytes up to the longer length, which the result
// takes.
//
// Cell: the length in header bits 19-22 (other flag bits kept); payload
// words 1-3 hold bytes 1-12 in memory order. Bytes past the length are not
// part of the value and stay 0.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::tuple {

constexpr int32_t MIN_LENGTH = 3;
constexpr int32_t MAX_LENGTH = 12;
constexpr uint32_t LENGTH_SHIFT = 19;
constexpr uint32_t LENGTH_MASK = 0xFu << LENGTH_SHIFT;

inline int32_t length_of(const cell* c) { return static_cast<int32_t>((c->header & LENGTH_MASK) >> LENGTH_SHIFT); }
inline void set_length(cell* c, int32_t n) {
  c->header = (c->header & ~LENGTH_MASK) | static_cast<uint32_t>(n) << LENGTH_SHIFT;
}
inline uint8_t* bytes_of(cell* c) { return reinterpret_cast<uint8_t*>(c) + 4; }
inline const uint8_t* bytes_of(const cell* c) { return reinterpret_cast<const uint8_t*>(c) + 4; }

// A tuple of the given length whose bytes are the three payload words.
cell* push(int32_t length, uint32_t word1, uint32_t word2, uint32_t word3);
// A tuple of the low bytes of `count` values (at most 12), zero-filled to
// at least 3 bytes.
cell* push_bytes(int32_t count, const int32_t* values);
// The target becomes the tuple of the binary's bytes from its index: at
// most 12, zero-filled to at least 3.
void from_binary(cell* binary, cell* target);
// r.g.b, or r.g.b.a unless a is -1.
cell* make_rgba(cell* c, int32_t r, int32_t g, int32_t b, int32_t a);
// Byte n becomes the integer value clamped to 0..255; none cuts the tuple
// before byte n (never below 3 bytes). An n outside the length raises
// script/out-of-range with the path element.
void set_byte(cell* tuple, int32_t n, const cell* value, const cell* element);
bool zero_q(const cell* tuple);
// The action: the two argument cells, one of them a tuple, the result in
// the first.
void do_math(int32_t op);

void init();

}  // namespace ixo::tuple
