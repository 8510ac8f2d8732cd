// The loop natives: while, until, loop, repeat and forever (slots 6 to
// 10), and the loop frame and catch scheme that they share with the
// series iteration natives (natives_iteration.hpp).
//
// A loop opens a loop frame (named <body>) before its first iteration and
// closes it when it ends; break and continue unwind to the innermost loop
// frame and throw their code to the loop, which ends or goes on. Return,
// exit, throw and errors pass through a loop unchanged. Each iteration
// starts with the stack reset to the loop's result slot, so stack use does
// not grow with the number of iterations.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::natives {

void while_(const int32_t* refinements);
void until(const int32_t* refinements);
void loop(const int32_t* refinements);
void repeat(const int32_t* refinements);
void forever(const int32_t* refinements);

// ---- Shared by the loops -------------------------------------------------------

// Opens the loop frame: the new argument base is the current top, its cell
// the loop's result slot.
void open_loop();

// What a loop does after one evaluation of its body.
// LOOP_EXIT: an exit bound beyond the loop travels as status
// (stack::pending_exit); the native returns at once, as a throw would
// have left it.
enum loop_step { LOOP_NEXT, LOOP_CONTINUE, LOOP_BREAK, LOOP_EXIT };

// Evaluates the body (a rooted block cell) in the loop frame, into its result slot,
// taking break and continue, which leave the stacks at the loop frame
// (break with its value, or unset, in the result slot). Any other exit
// passes on.
loop_step run_body(const cell* body);

}  // namespace ixo::natives
