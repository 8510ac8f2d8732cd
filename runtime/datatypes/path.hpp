// path!: a sequence of values written with "/" between them (a/b/c). A
// path is a block with another datatype id: the same cell layout and the
// same series actions as block!, its own make, to, form and mold. The
// decorated paths (lit-path!, set-path!, get-path!) inherit from it and
// differ only in how they mold.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::path {

// Retypes the cell (its whole header) and pushes a copy.
cell* push(cell* c);
// The cell becomes an empty path! over a new series with room for n cells.
cell* make_at(cell* c, int32_t n);

// Forms or molds the elements of a path from its index with "/" between
// them, guarded by the cycles stack; answers the part budget left. The
// decorated paths mold through here.
int32_t form(cell* value, cell* buffer, cell* arg, int32_t part);
int32_t mold(cell* value, cell* buffer, int32_t only, int32_t all, int32_t flat, cell* arg, int32_t part,
             int32_t indent);

void init();

}  // namespace ixo::path
