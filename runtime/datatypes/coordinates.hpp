// The coordinate code that pair!, point2D! and point3D! share. All three:
// the field words and indexes of paths and pick, and the spec block of
// make. The points (float32 coordinates in payload words 1 to D, D being 2
// or 3): every action, written once over D. Each type keeps its own
// registration row, which names these with its dimension count.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::coordinates {

// 1 for the field word x, 2 for y, 3 for z when there are three
// dimensions; any other word raises script/cannot-use (word, value) when
// the value is of `type`, else script/invalid-path (value, word).
int32_t field_index(const cell* word, const cell* value, uint32_t type, int32_t dimensions);

// The coordinate an element of a path or a pick names: a field word (as
// field_index), an integer! as it is; anything else is 0.
int32_t field_of(const cell* element, const cell* value, uint32_t type, int32_t dimensions);

// The values of a make spec block, which must begin with `dimensions`
// integer! or float! values; else syntax/malconstruct with the block.
const cell* spec_values(const cell* spec, int32_t dimensions);

// What make of a `type` answers for a spec it does not take by value: a
// string! is loaded through the lexer (into proto); anything else raises
// script/bad-to-arg (type, spec).
cell* make_from_other(cell* proto, cell* spec, uint32_t type);

// Whether round was given a scale (its /to argument, past the arguments'
// base); a money! scale is refused with script/not-related.
bool round_scale_given(const cell* scale);

}  // namespace ixo::coordinates

// The actions of point2D! (D = 2) and point3D! (D = 3). Computations run in
// double precision and round to float32 when stored.
namespace ixo::point {

// The float32 of an integer! or a float!.
float number_float(const cell* c);

// make and to: a point of the same type as it is; an integer! or float!
// in every coordinate; a block of D numbers; a pair! (and for point3D! a
// point2D!) with the coordinates it lacks 0; a string! through the lexer.
template <int32_t D> cell* make(cell* proto, cell* spec, int32_t type);
template <int32_t D> cell* random(cell* value, int32_t seed, int32_t secure, int32_t only);
// "(x, y)" or "(x, y, z)"; mold is the same.
template <int32_t D> int32_t form(cell* value, cell* buffer, cell* arg, int32_t part);
template <int32_t D>
int32_t mold(cell* value, cell* buffer, int32_t only, int32_t all, int32_t flat, cell* arg, int32_t part,
             int32_t indent);
// Equality is tolerant as floats are; ordering goes by x, then by the next
// coordinate where the earlier ones are almost equal. point2D! compares
// with a pair! as its point.
template <int32_t D> int32_t compare(const cell* value1, const cell* value2, int32_t op);
template <int32_t D> void absolute();
template <int32_t D> cell* negate(cell* value);
// Each coordinate rounded as a float. A point scale gives one scale per
// coordinate, a pair! scale x and y; a coordinate the scale lacks gets a
// zero scale. They are passed in the scale's own argument cell.
template <int32_t D>
cell* round(cell* value, cell* scale, int32_t even, int32_t down, int32_t half_down, int32_t floor,
            int32_t ceiling, int32_t half_ceiling);
// The first and the last coordinate swapped.
template <int32_t D> cell* reverse(cell* value, cell* part, cell* skip);
template <int32_t D> cell* pick(cell* value, int32_t index, cell* boxed);
template <int32_t D>
cell* eval_path(cell* parent, cell* element, cell* value, cell* path, cell* grand_parent, cell* previous,
                int32_t element_index, int32_t case_, int32_t get, int32_t last, int32_t notify);

// The arithmetic action: the point in the first argument cell op the
// second (a point of the same type, an integer!, float! or percent!, and
// for point2D! a pair!).
template <int32_t D> void do_math(int32_t op);
template <int32_t D, int32_t OP> void math() { do_math<D>(OP); }

}  // namespace ixo::point
