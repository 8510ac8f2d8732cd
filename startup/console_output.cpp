// Console writer: UTF-8 batching over write(2) on standard output.
#include "startup/console_output.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "startup/heap.hpp"
#include "startup/print_hooks.hpp"
#include "startup/runtime_error.hpp"

namespace ixo::platform {

namespace {

constexpr int32_t output_size = 1024;
constexpr int32_t work_size = 64;

// Static storage until init allocates the tracked buffers, so that a report
// printed before start-up finishes still has somewhere to go.
char early_output[output_size];
char early_work[work_size];
char* output = early_output;
char* work = early_work;
int32_t pending = 0;

void write_all(const char* p, size_t n) {
  while (n > 0) {
    ssize_t w = ::write(STDOUT_FILENO, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return;  // write errors are ignored: there is nowhere to report them
    }
    p += w;
    n -= static_cast<size_t>(w);
  }
}

void put_code_point(uint32_t cp) {
  if (pending > output_size - 4) flush_output();
  char* o = output + pending;
  if (cp < 0x80) {
    o[0] = static_cast<char>(cp);
    pending += 1;
  } else if (cp < 0x800) {
    o[0] = static_cast<char>(0xC0 | (cp >> 6));
    o[1] = static_cast<char>(0x80 | (cp & 0x3F));
    pending += 2;
  } else if (cp < 0x10000) {
    o[0] = static_cast<char>(0xE0 | (cp >> 12));
    o[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    o[2] = static_cast<char>(0x80 | (cp & 0x3F));
    pending += 3;
  } else {
    cp &= 0x1FFFFF;
    o[0] = static_cast<char>(0xF0 | (cp >> 18));
    o[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    o[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    o[3] = static_cast<char>(0x80 | (cp & 0x3F));
    pending += 4;
  }
}

void put_bytes(const char* p, size_t n) {
  while (n > 0) {
    size_t room = static_cast<size_t>(output_size - pending);
    if (room == 0) {
      flush_output();
      continue;
    }
    size_t k = n < room ? n : room;
    std::memcpy(output + pending, p, k);
    pending += static_cast<int32_t>(k);
    p += k;
    n -= k;
  }
}

void flush_work_buffer(int32_t length) {
  put_bytes(work, static_cast<size_t>(length));
  flush_output();
  print_hooks::run_sized(work, length, 0);
}

}  // namespace

void init_console_output() {
  flush_output();
  work = static_cast<char*>(heap::alloc_tracked(work_size));
  output = static_cast<char*>(heap::alloc_tracked(output_size));
}

void flush_output() {
  write_all(output, static_cast<size_t>(pending));
  pending = 0;
}

void write_units(const void* text, int32_t bytes, int32_t unit, bool newline) {
  const auto* p = static_cast<const uint8_t*>(text);
  switch (unit) {
    case 1:
      for (int32_t i = 0; i < bytes; ++i) put_code_point(p[i]);
      break;
    case 2:
      for (int32_t i = 0; i + 1 < bytes; i += 2) put_code_point(p[i] | (p[i + 1] << 8));
      break;
    case 4:
      for (int32_t i = 0; i + 3 < bytes; i += 4) {
        uint32_t cp;
        std::memcpy(&cp, p + i, 4);
        put_code_point(cp);
      }
      break;
    default:
      system::runtime_error(101, system::code_address(__builtin_return_address(0)));
  }
  if (newline) put_code_point('\n');
  flush_output();
}

const char* prin_c_string(const char* s) {
  size_t length = std::strlen(s);
  put_bytes(s, length);
  flush_output();
  print_hooks::run_sized(s, static_cast<int32_t>(length), 0);
  return s;
}

void prin_integer(int32_t v) { flush_work_buffer(std::snprintf(work, work_size, "%i", v)); }
void prin_hex_byte(uint8_t v) { flush_work_buffer(std::snprintf(work, work_size, "%02X", v)); }
void prin_hex(uint32_t v) { flush_work_buffer(std::snprintf(work, work_size, "%08X", v)); }
void prin_float64(double v) { flush_work_buffer(std::snprintf(work, work_size, "%.16g", v)); }
void prin_float32(float v) {
  flush_work_buffer(std::snprintf(work, work_size, "%.7g", static_cast<double>(v)));
}

}  // namespace ixo::platform
