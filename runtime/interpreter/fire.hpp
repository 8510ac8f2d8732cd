// Raising language errors. `fire` takes an id of the error catalog and up
// to three argument cells and unwinds with THROW_ERROR to the nearest site
// that catches errors. The error raised last stays in `last_raised` for the
// catching site to turn into an error value.
#pragma once
#include <cstdint>
#include <initializer_list>

#include "runtime/memory/cell.hpp"
#include "startup/error_catalog.hpp"

namespace ixo {

struct raised_error {
  error_id id;
  int32_t count;  // argument cells given
  cell args[3];
};

extern raised_error last_raised;

[[noreturn]] void fire(error_id id, std::initializer_list<cell> args = {});

}  // namespace ixo
