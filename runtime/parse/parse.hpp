// The parse dialect engine: matches a rule block against an input series
// (any block type, any string type or binary!) and answers whether the
// rules matched the whole input, or the block an outermost plain `collect`
// gathered.
//
// The engine is one loop over an explicit rule stack, so nested and
// recursive rules cost heap, not machine stack. The rule stack is a list
// of entries in the engine (each open rule block, each pending command,
// the collections being built), whose values the collector marks through
// the running parses. Two blocks held by the root block carry the other
// language values: the series stack (the input, and each series `into`
// entered), and the rule-stack block a trace function is given (each open
// rule block with a marker cell, a marker per pending command, each
// collection with a marker), written from the entries when code may look
// at it. A parse that starts while another runs (from a paren or a trace
// function) works above the entries of the one that called it and cuts
// both blocks back to where it found them when it ends, however it ends.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::parse {

// Cells each engine stack may hold for one parse; past it, parse-stack.
constexpr int32_t STACK_LIMIT = 10000;

// Comparison modes: the compare operator codes for equal and strict-equal.
enum case_mode : int32_t { CASE_INSENSITIVE = 0, CASE_STRICT = 2 };

// Matches `rules` (a block!) against `input` from its index. `limit` is
// the absolute index the input ends at (clamped to its tail), or -1 for
// its tail; `callback` a function value that observes every step, or null.
// The answer goes to `result`, which must be a cell no allocation moves:
// a logic!, or the collected block.
void process(cell* result, const cell* input, const cell* rules, int32_t case_, int32_t limit,
             const cell* callback);

// Makes the two engine stacks; once, after the runtime's words exist.
void init();

}  // namespace ixo::parse
