// Non-local exits of the runtime: throw codes, the system record's thrown
// field, catch sites and the outermost handler.
//
// Every non-local exit (language errors, break, continue, return, exit,
// throw, virtual-memory failures, integer overflow in power, lexer syntax
// errors) travels as one C++ exception carrying a 32-bit code. A catch site
// admits a code when its filter, compared unsigned, is at least the code;
// otherwise the exception passes on. The admitted code is stored in the
// system record's thrown field, and the site decides: handle it (and clear
// the field) or throw it on with throw_to_catch().
#pragma once
#include <cstdint>

#include "startup/system/system.hpp"

namespace ixo {

enum throw_code : uint32_t {
  THROW_ERROR = 0x7FFFFFFF,
  THROW_BREAK = 0x7FFFFFFE,
  THROW_CONTINUE = 0x7FFFFFFD,
  THROW_RETURN = 0x7FFFFFFC,
  THROW_EXIT = 0x7FFFFFFB,
  THROW_THROW = 0x7FFFFFFA,
  THROW_INT_OVERFLOW = 0x7FFFFFF9,
  THROW_VMEM_ALLOC = 0x7FFFFFF7,
  THROW_VMEM_FREE = 0x7FFFFFF6,
  THROW_SYNTAX = 0x0000000A,
  THROW_QUIT = 0x0BADCAFE,
};

// Filters of the standard catch sites.
enum catch_filter : uint32_t {
  FILTER_FUNCTION = 0x7FFFFFFF,  // try, function bodies: every code above
  FILTER_LOOP = 0x7FFFFFFE,      // loops: break and continue (and below)
  FILTER_CATCH = 0x7FFFFFFA,     // the native catch
  FILTER_POWER = 0x7FFFFFF9,     // power of integer!
  FILTER_MEMORY = 0x7FFFFFF8,    // memory frames: the virtual-memory codes
  FILTER_SYNTAX = 0x0000000A,    // the lexer's scanners
  FILTER_ALL = 0xFFFFFFFF,       // the outermost record
};

// The one exception type of non-local exits.
struct throw_signal {
  uint32_t code;
};

namespace system {

// Throw `code` to the nearest catch site whose filter admits it. Code 0 is
// "nothing thrown": the call returns with no effect.
void throw_code(uint32_t code);

// Throw on the code held in the thrown field (a site caught a code it does
// not handle). Returns at once when the field is 0.
void throw_to_catch();

// Clear the thrown field after handling the code it holds.
void clear_thrown();

// The outermost record's handler: THROW_QUIT ends the process quietly with
// status 0; any other code is runtime error 95.
[[noreturn]] void on_uncaught_throw();

}  // namespace system

// A catch site: runs `body`; answers 0 when it ended normally, else the code
// admitted by `filter` (left in the thrown field for the caller to clear or
// throw on). Codes above the filter pass through untouched.
template <class Body>
uint32_t catch_site(uint32_t filter, Body&& body) {
  try {
    body();
    return 0;
  } catch (const throw_signal& signal) {
    if (signal.code > filter) throw;
    sysrec.thrown = signal.code;
    return signal.code;
  }
}

}  // namespace ixo
