// Runs a piece of the runtime inside an error-catching site and tells which
// language error, if any, it raised.
#pragma once
#include <optional>

#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "startup/catch.hpp"

namespace ixo::test {

// Like a try frame, it drops the error value that the raise pushed on the
// value stack.
template <class Body>
std::optional<error_id> raised(Body&& body) {
  cell* top = stack::top;
  if (catch_site(FILTER_FUNCTION, body) == 0) return std::nullopt;
  system::clear_thrown();
  stack::top = top;
  return last_raised.id;
}

inline bool is(std::optional<error_id> e, error_id id) {
  return e && e->category == id.category && e->index == id.index;
}

}  // namespace ixo::test
