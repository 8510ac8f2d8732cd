// datatype!: a value that denotes a type; payload word 1 holds the type id.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::datatype {

inline cell make_cell(uint32_t type) { return cell{TYPE_DATATYPE, type, 0, 0}; }
cell* push(uint32_t type);
void init();

// Appends text to a formed or molded string, answering the /part budget
// less the characters appended: the shared tail of every form and mold.
int32_t append_text(cell* buffer, const char* text, int32_t part);

// The compare of a type with one value (unset!, none!): equal to a value
// of the same type under the equality and sort codes, not comparable
// otherwise.
int32_t compare_one_value(const cell* value1, const cell* value2, int32_t op);

}  // namespace ixo::datatype
