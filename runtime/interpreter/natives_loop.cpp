// The loop natives. Arguments lie from the argument base (a stack cell,
// which no allocation moves); every loop runs its body from the body's own
// index without copying it.
#include "runtime/interpreter/natives_loop.hpp"

#include <cmath>

#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/logic.hpp"
#include "runtime/datatypes/none.hpp"
#include "runtime/datatypes/unset.hpp"
#include "runtime/datatypes/word.hpp"
#include "runtime/datatypes/words.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/interpreter.hpp"
#include "runtime/interpreter/stack.hpp"
#include "startup/system/catch.hpp"

namespace ixo::natives {

namespace {

// A count given as a float becomes an integer! in place, truncated toward
// zero. A float whose whole part does not fit 32 bits (NaN included) is
// refused rather than wrapped into some other count.
int32_t coerce_count(cell* count) {
  if (TYPE_OF(count) == TYPE_FLOAT) {
    double whole = std::trunc(get_float(count));
    if (integer::overflow_q(whole)) fire(err::script_out_of_range, {*count});
    *count = cell{TYPE_INTEGER, 0, static_cast<uint32_t>(static_cast<int32_t>(whole)), 0};
  }
  return integer::get(count);
}

void return_none() {
  stack::reset();
  stack::set_result(none::none_value);
}

}  // namespace

void open_loop() { stack::mark(words::word_body, stack::FRAME_LOOP); }

loop_step run_body(const cell* body) {
  uint32_t code = catch_site(FILTER_LOOP, [&] { interpreter::eval_body(body); });
  if (code == 0 && stack::pending_exit) {
    // A return on its way to its function body passes on as status.
    if (stack::pending_exit != THROW_BREAK && stack::pending_exit != THROW_CONTINUE) return LOOP_EXIT;
    code = stack::take_pending_exit();
  }
  if (code == 0) return LOOP_NEXT;
  if (code != THROW_BREAK && code != THROW_CONTINUE) system::throw_to_catch();
  system::clear_thrown();
  stack::keep();  // the result slot stays below what the loop pushes next
  return code == THROW_BREAK ? LOOP_BREAK : LOOP_CONTINUE;
}

void while_(const int32_t*) {
  cell* args = stack::arguments;
  open_loop();
  for (;;) {
    stack::reset();
    // The condition is evaluated in the loop frame as the body is: break
    // and continue may reach it as status, and raise here as thrown ones do.
    uint32_t code = catch_site(FILTER_LOOP, [&] { interpreter::eval_body(args); });
    if (code == 0 && stack::pending_exit) {
      if (stack::pending_exit != THROW_BREAK && stack::pending_exit != THROW_CONTINUE) return;
      code = stack::take_pending_exit();
    }
    if (code == THROW_BREAK || code == THROW_CONTINUE) {
      system::clear_thrown();
      fire(err::throw_while_cond);
    }
    if (code) system::throw_to_catch();
    if (!logic::true_q()) break;
    stack::reset();
    loop_step step = run_body(args + 1);
    if (step == LOOP_EXIT) return;
    if (step == LOOP_BREAK) break;
  }
  stack::unroll();
  stack::set_result(unset::unset_value);
}

void until(const int32_t*) {
  cell* args = stack::arguments;
  open_loop();
  for (;;) {
    stack::reset();
    loop_step step = run_body(args);
    if (step == LOOP_EXIT) return;
    if (step == LOOP_BREAK) break;
    if (step == LOOP_NEXT && logic::true_q()) break;
  }
  stack::unwind_last();
}

void loop(const int32_t*) {
  cell* args = stack::arguments;
  int32_t n = coerce_count(args);
  if (n < 1) return return_none();
  open_loop();
  for (int32_t i = 0; i < n; ++i) {
    stack::reset();
    loop_step step = run_body(args + 1);
    if (step == LOOP_EXIT) return;
    if (step == LOOP_BREAK) break;
  }
  stack::unwind_last();
}

void repeat(const int32_t*) {
  cell* args = stack::arguments;
  int32_t n = coerce_count(args + 1);
  if (n < 1) return return_none();
  // The count cell becomes the counter; the word gets a copy of it, so
  // that the body may change the word without changing the count.
  cell* counter = args + 1;
  counter->data2 = 1;
  open_loop();
  for (int32_t i = 0; i < n; ++i) {
    stack::reset();
    word::set(args, *counter);
    loop_step step = run_body(args + 2);
    if (step == LOOP_EXIT) return;
    if (step == LOOP_BREAK) break;
    ++counter->data2;
  }
  stack::unwind_last();
}

void forever(const int32_t*) {
  cell* args = stack::arguments;
  open_loop();
  for (;;) {
    stack::reset();
    loop_step step = run_body(args);
    if (step == LOOP_EXIT) return;
    if (step == LOOP_BREAK) break;
  }
  stack::unwind_last();
}

}  // namespace ixo::natives
