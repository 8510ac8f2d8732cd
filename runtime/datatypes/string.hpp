// String buffers and the primitives that every string operation, and the
// runtime's own text building (form, mold, error reports), rests on.
//
// A string! cell holds its index (units from the buffer's head, 0-based) in
// payload word 1, its node in word 2, and in word 3 the node of its
// conversion cache (unicode::get_cache), 0 when it has none. file!, url!,
// tag!, email! and ref! share the layout. A buffer's unit is 1 (Latin-1),
// 2 (UCS-2, little-endian) or 4 (UCS-4); there is no terminator, and the
// length in units is (tail - head) >> log2(unit). Any other unit is runtime
// error 101.
//
// The unit only grows, in place behind the same node, and cells stay valid
// because indexes count units. Appending widens a unit-1 buffer from 80h
// (to unit 2, or straight to unit 4 from 10000h) and a unit-2 buffer from
// 10000h; storing in place keeps unit 1 up to FFh. Only rs_reset, which
// empties a string, narrows it back to unit 1.
//
// Writers take a buffer and answer the one they ended with: any of them may
// allocate and so move every buffer, and callers go on with the answer.
// concatenate reads its cells before it allocates, so they may lie in a
// block; a constructor writes its cell after allocating, so that cell must
// lie where no allocation moves it (the value stack, a registered root, a
// local).
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"
#include "runtime/memory/series_buffer.hpp"

namespace ixo::string {

// Registers string! (type 7) under series!, whose actions it inherits
// where it has none of its own.
void init();

// Runtime error 101, for a buffer whose unit is not 1, 2 or 4.
[[noreturn]] void bad_unit();

// ---- Readers -----------------------------------------------------------------
//
// The lengths are inline: every edit, compare and search reads them.

// Units from the head to the tail, whatever the index.
inline int32_t rs_abs_length_q(const cell* s) {
  const memory::series_buffer* b = memory::GET_BUFFER(s);
  uint32_t unit = memory::GET_UNIT(b);
  if (unit != 1 && unit != 2 && unit != 4) bad_unit();
  return static_cast<int32_t>((b->tail - b->head) >> (unit >> 1));
}
// Units from the index to the tail; an index past the tail counts as the
// tail.
inline int32_t rs_length_q(const cell* s) {
  int32_t n = rs_abs_length_q(s) - static_cast<int32_t>(s->data1);
  return n > 0 ? n : 0;
}
// The address of the unit at the index; an index past the tail (the string
// was shortened through another value) is first set back to the tail.
uint8_t* rs_head(cell* s);
// The address past the last unit.
uint8_t* rs_tail(const cell* s);
bool rs_tail_q(const cell* s);
// The code point `position` units from the head.
uint32_t rs_abs_at(const cell* s, int32_t position);
// The code point stored at p in a buffer of `unit` bytes.
uint32_t get_char(const uint8_t* p, uint32_t unit);
// Units from the index to the first unit equal to cp (exactly), or -1.
int32_t find_char(const cell* s, uint32_t cp);
// True when the unit at the index, or at index + skip, index + 2 skip, ...
// equals cp; both sides are case-folded (to upper case) unless
// case_sensitive.
bool find_char_skip_q(uint32_t cp, const cell* s, int32_t skip, bool case_sensitive);
// True when the string, from its index, begins with the bytes of `text`,
// each taken as a code point (so a code point above FFh never matches).
bool starts_with_q(const cell* s, const char* text);

// ---- Writers -----------------------------------------------------------------
//
// Offsets count units from the buffer's head.

// The unit a code point needs when appended: 1 below 80h, 2 below 10000h.
inline uint32_t append_unit(uint32_t cp) { return cp < 0x80 ? 1 : cp < 0x10000 ? 2 : 4; }
// Widens the buffer to `unit` (2 or 4) in place behind its node; a buffer
// already that wide or wider is left alone.
memory::series_buffer* widen_buffer(memory::series_buffer* b, uint32_t unit);
// Appends cp at the tail, widening first by the appending rule.
memory::series_buffer* append_char(memory::series_buffer* b, uint32_t cp);
// Stores cp at `offset` (widening by the in-place rule), growing the buffer
// until the unit fits; a store at or past the tail moves the tail to just
// past it.
memory::series_buffer* overwrite_char(memory::series_buffer* b, int32_t offset, uint32_t cp);
// Inserts cp at `offset` (widening by the in-place rule), moving the units
// from there up by one; an offset past the tail inserts at the tail.
memory::series_buffer* insert_char(memory::series_buffer* b, int32_t offset, uint32_t cp);
// Stores cp at `at`, an address of a unit in b; when cp needs a wider unit
// (the in-place rule), the buffer widens and cp goes to the same unit
// offset in it.
memory::series_buffer* poke_char(memory::series_buffer* b, uint8_t* at, uint32_t cp);
// Removes the unit at `offset` of the string's buffer, moving the rest
// down; an offset at or past the tail does nothing.
void remove_char(const cell* s, int32_t offset);
// Removes `count` units from `offset` (up to the tail at most) and moves
// the rest down; an offset at or past the tail does nothing.
void remove_part(const cell* s, int32_t offset, int32_t count);
// Moves the tail back so that the buffer holds at most n units.
memory::series_buffer* truncate_at(memory::series_buffer* b, int32_t n);
// Empties the string: unit 1, tail at the head, index 0.
void rs_reset(cell* s);
// Appends each byte of a NUL-terminated text as one code point through
// append_char, so that a byte 80h-FFh widens a unit-1 buffer to unit 2.
memory::series_buffer* concatenate_literal(memory::series_buffer* b, const char* text);
// The same for exactly n bytes.
memory::series_buffer* concatenate_literal_part(memory::series_buffer* b, const uint8_t* bytes,
                                                int32_t n);
// The same for n bytes known to be ASCII (below 80h): one copy into a
// unit-1 buffer.
memory::series_buffer* concatenate_ascii(memory::series_buffer* b, const uint8_t* bytes, int32_t n);
// Appends cp as mold writes it inside double quotes: 1Eh, 80h-9Fh and,
// with `all`, everything above 7Fh as "^(" hex digits ")"; with `escape`,
// the control characters, the double quote and the caret as a caret and
// their escape letter, and DEL as "^~"; anything else as itself.
memory::series_buffer* append_escaped_char(memory::series_buffer* b, uint32_t cp, bool escape,
                                           bool all);

// Appends n code points to the string (rooted), widening it once to the
// unit the widest of them needs by the appending rule.
void append_code_points(const cell* s, const uint32_t* code_points, int32_t n);

enum concatenate_mode : int32_t { MODE_APPEND = 0, MODE_INSERT = 1, MODE_OVERWRITE = 2 };

// Copies `source` from its index (at most `part` units when part >= 0) into
// `target`: at its tail (append), or at `offset` units past its index,
// moving the units from there up (insert) or writing over them (overwrite;
// the tail never moves back). A position past the tail counts as the tail.
// When the target's unit is the narrower, it widens; when the source's is,
// the source widens too unless keep_source, in which case its code points
// are converted one by one and it stays as it was. Source and target may
// be the same series. Answers the target's buffer.
memory::series_buffer* concatenate(const cell* target, const cell* source, int32_t part,
                                   int32_t offset, bool keep_source, concatenate_mode mode);

// ---- Constructors ------------------------------------------------------------

// Fills c as an empty string! of unit 1 with room for n units (1 when n is
// 0), index 0.
cell* rs_make_at(cell* c, int32_t n);
// The same with the given unit (1, 2 or 4).
cell* make_at_unit(cell* c, int32_t n, uint32_t unit);

// Encodings of load_at: `length` counts the encoding's units, bytes for
// UTF-8 and 16-bit units for UTF-16LE.
enum load_encoding : int32_t { LOAD_UTF8 = 0, LOAD_UTF16LE = -1 };

// Fills c with a new string! decoded from the text: UTF-8 through
// unicode::load_utf8_new (invalid or truncated text raises invalid-utf8),
// UTF-16LE through unicode::load_utf16. Any other encoding raises
// internal/feature-na and leaves c unset.
cell* load_at(const uint8_t* text, int32_t length, cell* c, int32_t encoding);
// load_at into a new cell at the tail of the block whose node is given;
// answers that cell (valid until the next allocation).
cell* load_in(const uint8_t* text, int32_t length, uint32_t block, int32_t encoding);

// ---- Text output -------------------------------------------------------------
//
// Both answer NUL-terminated text in static areas that the next call
// overwrites: append it at once.

// The upper-case hexadecimal digits of a 32-bit value, written from the
// right while the value, shifted right arithmetically by 4 each time, is
// not yet its sign (0, or -1 when negative). Without trim the positions
// left are filled with "0" (or "F") and all eight are answered; with trim
// only the digits written, or two sign digits ("00", "FF") when none was.
const char* to_hex(int32_t value, bool trim);
// The two upper-case hexadecimal digits of a byte.
const char* byte_to_hex(uint8_t byte);

}  // namespace ixo::string
