// binary!: the byte series of the language, and the byte-buffer helpers
// with which the rest of the runtime reads and builds bytes.
//
// A binary! cell has the string layout with unit 1: its index (bytes from
// the buffer's head) in payload word 1, its node in word 2; word 3 carries
// nothing and stays 0. Its parent is string!, whose series actions it
// inherits.
//
// Helpers that allocate may move every buffer: addresses they answer are
// valid until the next allocation, and the cells given to them must lie
// where no allocation moves them (the value stack, a registered root, a
// local).
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::binary {

// ---- Readers -------------------------------------------------------------------

// Bytes from the index to the tail (0 when the index is past it).
int32_t rs_length_q(const cell* bin);
// The byte at the index; an index past the tail counts as the tail.
uint8_t* rs_head(const cell* bin);
uint8_t* rs_tail(const cell* bin);
bool rs_tail_q(const cell* bin);
// Moves the index by n within the head and the tail; answers whether it
// reached the tail.
bool rs_skip(cell* bin, int32_t n);
bool rs_next(cell* bin);
// The byte `offset` bytes from the head (the index is not added).
uint8_t rs_abs_at(const cell* bin, int32_t offset);

// ---- Writers -------------------------------------------------------------------

// Cuts the series at its index.
void rs_clear(cell* bin);
// Copies len bytes to the tail (growing by the series rule); answers their
// address. The source must not lie in a series buffer.
uint8_t* rs_append(cell* bin, const uint8_t* source, int32_t len);
// Makes room for len bytes at index + offset (a buffer too small grows to
// len + twice its capacity), moving the bytes from there up; copies the
// source in and answers its address.
uint8_t* rs_insert(cell* bin, int32_t offset, const uint8_t* source, int32_t len);
// Copies len bytes to index + offset, growing the buffer (to the missing
// amount plus twice its capacity) and moving the tail when they pass it.
void rs_overwrite(cell* bin, int32_t offset, const uint8_t* source, int32_t len);
// Appends the 4 bytes of n, most significant first.
void append_int32(int32_t n, cell* bin);

// ---- Constructors --------------------------------------------------------------

// c becomes an empty binary with room for size bytes (16 when size is 0);
// it is unset while the buffer is made.
cell* make_at(cell* c, int32_t size);
// The same in a new cell at the tail of a block; answers that cell.
cell* make_in(cell* blk, int32_t size);
// A new binary of len bytes copied from source (which must not lie in a
// series buffer): in c (load_at), at the tail of the block, or pushed when
// blk is null.
cell* load_at(const uint8_t* source, int32_t len, cell* c);
cell* load_in(const uint8_t* source, int32_t len, cell* blk);
cell* load(const uint8_t* source, int32_t len);
cell* push(const cell* bin);

// Stores the low 8 bits of an integer! or a char!'s code point at `at`
// (no range check); any other value raises script/invalid-arg.
void set_value(uint8_t* at, const cell* value);

// The bytes of an issue!'s spelling read as hexadecimal digits, into c
// as a new binary; a spelling that does not decode raises
// script/invalid-data with the issue.
cell* from_issue(const cell* issue, cell* c);

// Removes the 0 bytes at the head and/or the tail of the part from the
// index (both ends when neither flag is set).
void trim_zeros(cell* bin, bool head, bool tail);

// ---- Base codecs ---------------------------------------------------------------

// The bytes that the text of a string (from its index) decodes to in base
// 2, 16, 58 or 64, as the node of a new byte series; 0 when the text is
// not valid in that base.
uint32_t decode(int32_t base, const cell* text);

// debase: the bytes that a string's text decodes to in base 2, 16, 58 or
// 64 as a new binary! in c, or none when the text is not valid in that
// base. enbase: the digits of a binary! from its index, or of a string's
// UTF-8 encoding, as a new string! in c; script/too-long when their count
// passes 31 bits. Any other base raises script/invalid-arg.
cell* debase(cell* text, int32_t base, cell* c);
cell* enbase(cell* value, int32_t base, cell* c);

// ---- Actions -------------------------------------------------------------------

// Byte comparison: when the other value is not a binary!, COMPARE_NONE.
int32_t compare(const cell* bin, const cell* other, int32_t op);

// Registers binary! (type 41) under string!.
void init();

}  // namespace ixo::binary
