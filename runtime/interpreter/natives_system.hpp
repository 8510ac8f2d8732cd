// The system natives: the clock, sleeping, the environment, running
// commands and opening documents, local file paths and sizes, and the
// memory manager's statistics and collections. Each takes one integer per
// refinement (-1 when not given, else the index of its first argument cell
// from the argument base) and leaves its result in the result slot.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::natives {

// What `wait` runs at each step of its wait while windows are open (the
// text UI's pass without waiting, so that their timers keep firing);
// installed by the text UI.
extern void (*wait_step)();

// The date and time of now/precise (with `precise`) or now (without), in
// the local zone or, with `utc`, in UTC.
cell current_date(bool utc, bool precise);
void now(const int32_t* refinements);            // date and time, or one field of it
void wait(const int32_t* refinements);           // sleeps for a number of seconds or a time
void get_env(const int32_t* refinements);        // an environment variable's value, or none
void set_env(const int32_t* refinements);        // sets or removes an environment variable
void list_env(const int32_t* refinements);       // a map of every environment variable
void call(const int32_t* refinements);           // runs a program, with its streams redirected
void browse(const int32_t* refinements);

// Forgets the work string of `call` held by a former runtime's root block;
// runtime start-up runs it, and the first capture makes a new one.
void init_call();         // opens a URL or file with the desktop's opener
void to_local_file(const int32_t* refinements);  // a file path in the operating system's form
void size_q(const int32_t* refinements);         // the size of a file, or none
void stats(const int32_t* refinements);          // the bytes in use, or the memory frames in detail
void recycle(const int32_t* refinements);        // runs a collection, or switches the collector

}  // namespace ixo::natives
