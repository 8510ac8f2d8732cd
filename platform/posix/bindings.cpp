// Operating-system bindings over POSIX.
#include "platform/posix/bindings.hpp"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <numbers>

#include "startup/system/catch.hpp"
#include "startup/system/heap.hpp"
#include "startup/system/runtime_error.hpp"

namespace ixo::platform {

void free_virtual(void* address, uint64_t size) {
  if (munmap(address, size) != 0) system::throw_code(THROW_VMEM_FREE);
}

void* reserve_virtual(uint64_t size) {
  void* p = mmap(nullptr, size, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (p == MAP_FAILED) system::throw_code(THROW_VMEM_ALLOC);
  return p;
}

void commit_virtual(void* address, uint64_t size) {
  if (mprotect(address, size, PROT_READ | PROT_WRITE) != 0) system::throw_code(THROW_VMEM_ALLOC);
}

void prefault_virtual(void* address, uint64_t size) {
  // The request covers whole pages: from the page that holds `address`.
  auto at = reinterpret_cast<uintptr_t>(address);
  uintptr_t page = at & ~static_cast<uintptr_t>(sysconf(_SC_PAGESIZE) - 1);
  madvise(reinterpret_cast<void*>(page), size + (at - page), MADV_POPULATE_WRITE);
}

void prefer_huge_pages(void* address, uint64_t size) { madvise(address, size, MADV_HUGEPAGE); }

void decommit_virtual(void* address, uint64_t size) {
  // A fresh mapping over the pages drops their content and their memory
  // in one step.
  void* p = mmap(address, size, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_FIXED,
                 -1, 0);
  if (p == MAP_FAILED) system::throw_code(THROW_VMEM_FREE);
}

char* read_current_dir(int32_t& length) {
  for (int32_t size = 256;; size *= 2) {
    char* buffer = static_cast<char*>(heap::alloc_tracked(size));
    if (getcwd(buffer, static_cast<size_t>(size))) {
      length = static_cast<int32_t>(std::strlen(buffer));
      return buffer;
    }
    heap::free_tracked(buffer);
    if (errno != ERANGE || size > (1 << 20)) {
      length = 0;
      return nullptr;
    }
  }
}

bool set_current_dir(const char* path) { return chdir(path) == 0; }

bool set_env(const char* name, const char* value) { return setenv(name, value, 1) == 0; }

std::optional<std::string> get_env(const char* name) {
  const char* v = std::getenv(name);
  if (!v) return std::nullopt;
  return std::string(v);
}

int64_t wait_milliseconds(double seconds) {
  constexpr double longest = 2147483647.0;  // about 24.8 days
  double ms = seconds * 1000.0;
  if (!(ms >= 1.0)) return 1;  // below 1 ms, negative or NaN
  if (ms > longest) return static_cast<int64_t>(longest);
  return static_cast<int64_t>(ms);
}

void wait(double seconds) {
  int64_t ms = wait_milliseconds(seconds);
  timespec left{static_cast<time_t>(ms / 1000), static_cast<long>((ms % 1000) * 1000000)};
  // A Ctrl-C that halts the evaluation ends the wait.
  while (nanosleep(&left, &left) != 0 && errno == EINTR && !system::interrupt_pending) {
  }
}

wall_clock read_wall_clock() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return {static_cast<int64_t>(now.tv_sec), static_cast<int64_t>(now.tv_nsec)};
}

double time_of_day(wall_clock at, bool precise) {
  double seconds = static_cast<double>(at.seconds % 86400);
  if (precise) seconds += static_cast<double>(at.nanoseconds / 100) * 100 / 1e9;
  return seconds;
}

double get_time(bool precise) { return time_of_day(read_wall_clock(), precise); }

int32_t pack_zone(int32_t offset) {
  int32_t hours = offset / 60;  // truncated toward zero
  int32_t hour_field = offset < 0 ? ((-hours) & 0xF) + 0x10 : hours;
  int32_t rest = offset % 60;
  if (rest < 0) rest += 60;
  int32_t quarters = (rest / 15) & 3;
  return hour_field << 2 | quarters;
}

int32_t date_at(int64_t at, bool utc) {
  time_t seconds = static_cast<time_t>(at);
  tm t{};
  int32_t zone = 0;
  if (utc) {
    gmtime_r(&seconds, &t);
  } else {
    localtime_r(&seconds, &t);
    zone = pack_zone(static_cast<int32_t>(t.tm_gmtoff / 60));
  }
  return (t.tm_year + 1900) << 17 | (t.tm_mon + 1) << 12 | t.tm_mday << 7 | zone;
}

int32_t get_date(bool utc) { return date_at(time(nullptr), utc); }

}  // namespace ixo::platform

namespace ixo::math {

double degrees_to_radians(double degrees, int32_t mode) {
  double x = std::fmod(degrees, 360.0);
  if (x > 180.0 || x < -180.0) x += x >= 0 ? -360.0 : 360.0;
  if (x > 90.0 || x < -90.0) {
    if (mode == 0) x += x >= 0 ? -180.0 : 180.0;
    else if (mode == 2) x = x >= 0 ? 180.0 - x : -180.0 - x;
  }
  return x * std::numbers::pi / 180.0;
}

}  // namespace ixo::math
