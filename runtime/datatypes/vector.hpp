// vector!: a series of numbers or characters packed as fixed-size
// elements: 8-, 16- or 32-bit integers or characters, 32- or 64-bit
// floats, and 64-bit percents. Arithmetic applies element by element.
//
// A vector! cell holds its index (elements from the buffer's head) in
// payload word 1, its node in word 2 and the element type id (char!,
// integer!, float! or percent!) in word 3; the buffer's unit is the
// element size in bytes. Elements are stored little-endian: integers and
// characters as two's complement of the unit's width (reading sign-
// extends, so an 8-bit element holding 200 reads back as -56), floats as
// IEEE single or double, a percent as its fraction (50% is 0.5). Its parent
// is string!, whose series actions reach the elements through get_value
// and set_value.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::vector {

// ---- Readers -------------------------------------------------------------------

// Elements from the index to the tail (0 when the index is past it).
int32_t rs_length_q(const cell* v);
// The element at the index; an index past the tail counts as the tail.
uint8_t* rs_head(const cell* v);
uint8_t* rs_tail(const cell* v);
bool rs_tail_q(const cell* v);

// The element at p as a signed 32-bit integer (unit 1, 2 or 4) or as a
// double (unit 4 or 8).
int32_t get_int(const uint8_t* p, uint32_t unit);
double get_float(const uint8_t* p, uint32_t unit);
// Pushes a cell of the element type holding the element at p.
cell* get_value(const uint8_t* p, uint32_t unit, uint32_t type);
// Stores a char! or integer! in the low unit bytes at p, a float! or
// percent! as a double (unit 8) or single (unit 4); any other value raises
// script/invalid-type with its datatype.
void set_value(uint8_t* p, const cell* value, uint32_t unit);

// ---- Writers -------------------------------------------------------------------

// Cuts the vector at its index.
void rs_clear(cell* v);
// Appends one value, which must be of the element type (else
// script/invalid-arg with the value).
void rs_append(cell* v, const cell* value);

// ---- Constructors --------------------------------------------------------------

// c becomes an empty vector with room for count elements of the unit;
// count x unit past 31 bits raises internal/no-memory. c is unset while
// the buffer is made, so it must lie where no allocation moves it.
cell* make_at(cell* c, int32_t count, uint32_t type, uint32_t unit);
// blk (where no allocation moves it) becomes a new block with one value
// per element from the vector's index.
cell* to_block(const cell* v, cell* blk);

// ---- Math ----------------------------------------------------------------------

// a op b for integer and character elements: the integer arithmetic, but
// add, subtract and multiply wrap to 32 bits and a division truncates
// toward zero. Division or remainder by 0 raises math/zero-divide,
// -2147483648 by -1 math/overflow.
int32_t int_op(int32_t a, int32_t b, int32_t op);
// Every element from the index op the number (integer!, float! or
// percent!; else internal/not-done), in place; answers the vector. Every
// element is computed before any is stored, so an error leaves the vector
// as it was.
cell* do_math_scalar(int32_t op, cell* v, const cell* scalar);

// Registers vector! (type 35) under string!.
void init();

}  // namespace ixo::vector
