// Raw arrays: growable arrays of bytes or 32-bit items (integers, node and
// buffer offsets) in an ordinary series, named by its node, so that the
// collector moves and frees them like any series. Items lie between head
// and tail. Positions given to pick and poke are 1-based item numbers;
// offsets given to find and remove are 0-based byte offsets.
//
// Appending may move the buffer: an address taken before an append is
// stale after it.
#pragma once
#include <cstdint>

namespace ixo::array {

// An empty array with room for count items of `unit` bytes (1, 2, 4, 16).
uint32_t make(int32_t count, uint32_t unit);
// Length in items of the array's unit; a unit-1 array holding 32-bit
// values answers their byte count.
int32_t length_q(uint32_t node);
void clear(uint32_t node);
// Keeps n - 1 items: set_length(node, 1) empties the array.
void set_length(uint32_t node, int32_t n);
uint32_t copy(uint32_t node);
uint8_t* head(uint32_t node);

void append_byte(uint32_t node, uint8_t byte);
// Answers where the bytes went.
uint8_t* append_bytes(uint32_t node, const void* source, int32_t length);
void append_int(uint32_t node, int32_t value);
uint8_t pick_byte(uint32_t node, int32_t n);
int32_t pick_int(uint32_t node, int32_t n);
void poke_int(uint32_t node, int32_t n, int32_t value);
// The byte offset of the first 32-bit item equal to `value`, or -1.
int32_t find_int(uint32_t node, int32_t value);
// Stores `value` as the item at the 0-based `index`, moving the items from
// there up by one.
void insert_int(uint32_t node, int32_t value, int32_t index);
void remove_at(uint32_t node, int32_t offset, int32_t count);

// References are 32-bit arena offsets, so arrays of them are arrays of
// 32-bit items.
inline void append_ptr(uint32_t node, uint32_t ref) { append_int(node, static_cast<int32_t>(ref)); }
inline uint32_t pick_ptr(uint32_t node, int32_t n) { return static_cast<uint32_t>(pick_int(node, n)); }
inline int32_t find_ptr(uint32_t node, uint32_t ref) { return find_int(node, static_cast<int32_t>(ref)); }
// Removes the first item equal to `ref`, if any.
void remove_ptr(uint32_t node, uint32_t ref);

}  // namespace ixo::array
