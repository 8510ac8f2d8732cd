// Raising language errors. `fire` takes an id of the error catalog and up
// to three argument cells, makes the error! value, shows it to the trace
// hook, and hands it to stack::throw_error: the stacks are positioned at
// the innermost try frame with the error as the last pushed cell, and
// THROW_ERROR unwinds to the catch site of that frame. With no try frame
// the error is printed and the process ends with status -2. The id and
// arguments of the error raised last also stay in `last_raised`. Before
// the errors object exists (early start-up) an error travels without a
// value.
#pragma once
#include <cstdint>
#include <initializer_list>

#include "runtime/memory/cell.hpp"
#include "startup/system/error_catalog.hpp"

namespace ixo {

struct raised_error {
  error_id id;
  int32_t count;  // argument cells given
  cell args[3];
};

extern raised_error last_raised;

[[noreturn]] void fire(error_id id, std::initializer_list<cell> args = {});

// An unbound word! of a spelling (interned when new), for the error
// arguments that name an action, an argument or a refinement. It may
// allocate: make it before copying any argument that lies in a series.
cell error_word(const char* spelling);

}  // namespace ixo
