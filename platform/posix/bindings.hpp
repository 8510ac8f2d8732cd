// Thin bindings to the operating system: virtual memory, the current
// directory, environment variables, sleeping, the clock and the calendar;
// and a few arithmetic helpers. Text crosses this boundary as UTF-8.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace ixo::platform {

// An address range of `size` bytes that holds no memory yet: nothing is
// committed and no swap is set aside. Failure throws THROW_VMEM_ALLOC.
void* reserve_virtual(uint64_t size);
// Makes pages of a reserved range readable and writable; a page
// committed for the first time reads as zero. Failure throws
// THROW_VMEM_ALLOC.
void commit_virtual(void* address, uint64_t size);
// Asks for the memory of committed pages that are about to be written, in
// one request instead of a fault per page (the range may start inside a
// page: the pages it touches). Only a hint: where the system
// declines, the pages come one fault at a time as before.
void prefault_virtual(void* address, uint64_t size);
// Asks for committed pages, a range of whole huge pages, to be backed by
// huge pages: one fault, and one entry in the address translation, per
// huge page instead of per page. Only a hint, like prefault_virtual.
void prefer_huge_pages(void* address, uint64_t size);
// Gives the pages' memory back and leaves them reserved, inaccessible and
// zero when next committed. Failure throws THROW_VMEM_FREE.
void decommit_virtual(void* address, uint64_t size);
// Releases a reserved range. Failure throws THROW_VMEM_FREE.
void free_virtual(void* address, uint64_t size);

// The current directory as a tracked-heap buffer of UTF-8 bytes with a
// terminating NUL; `length` receives the byte count without it.
char* read_current_dir(int32_t& length);
bool set_current_dir(const char* path);

bool set_env(const char* name, const char* value);
// The variable's value; an absent variable answers nothing, one set to ""
// answers "".
std::optional<std::string> get_env(const char* name);

// Sleeps for the given seconds: at least 1 ms; negative and NaN times sleep
// 1 ms, and a time beyond the longest sleep is cut to it.
void wait(double seconds);
// The milliseconds `wait` sleeps for a time in seconds.
int64_t wait_milliseconds(double seconds);

// A reading of the wall clock: seconds since the epoch and the
// nanoseconds within the second.
struct wall_clock {
  int64_t seconds;
  int64_t nanoseconds;
};
wall_clock read_wall_clock();

// Seconds since midnight, UTC; with `precise` the fraction of the second to
// 100 ns, else whole seconds: of now, or of a reading of the clock.
double get_time(bool precise);
double time_of_day(wall_clock at, bool precise);

// Today's packed date: year << 17 | month << 12 | day << 7 | zone, the zone
// being 0 for UTC, else the local offset as sign bit 6, hours << 2 and
// quarter hours; or the date of the second `at` seconds after the epoch.
int32_t get_date(bool utc);
int32_t date_at(int64_t at, bool utc);
// The zone bits of a local offset given in minutes east of UTC.
int32_t pack_zone(int32_t offset_minutes);

}  // namespace ixo::platform

namespace ixo::math {

// (a + b - 1) AND -b; b must be a power of two.
inline int32_t round_up(int32_t a, int32_t b) { return (a + b - 1) & -b; }

// Degrees to radians for the trigonometric natives; the angle is first
// brought into -180..180, then mode 0 folds it into -90..90 by a half turn
// (for tangents) and mode 2 mirrors it into -90..90 (for sines).
double degrees_to_radians(double degrees, int32_t mode);

}  // namespace ixo::math
