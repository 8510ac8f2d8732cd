// Console writer: UTF-8 batching over write(2) on standard output, and the
// console path through the escape-sequence interpreter.
#include "startup/system/console_output.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "startup/system/console_layer.hpp"
#include "startup/system/ansi.hpp"
#include "startup/system/heap.hpp"
#include "startup/system/print_hooks.hpp"
#include "startup/system/runtime_error.hpp"

namespace ixo::system {

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
const console_layer* console = nullptr;

// Set at the first write to standard output that fails; what is printed
// afterwards is dropped.
bool output_lost = false;
bool output_failed = false;

// A failure other than a closed pipe (a full disk, the file-size limit, an
// I/O error) is told on standard error, once, and fails the run. A reader
// that has gone is not an error of ours: with SIGPIPE at its default the
// process never gets here, and with SIGPIPE ignored the output is dropped.
void lose_output(int error) {
  output_lost = true;
  if (error == EPIPE) return;
  output_failed = true;
  constexpr char head[] = "*** Error: cannot write to standard output: ";
  char text[160];
  int n = std::snprintf(text, sizeof text, "%s%s\n", head, std::strerror(error));
  if (n < 0 || n >= static_cast<int>(sizeof text)) n = static_cast<int>(sizeof text) - 1;
  while (::write(STDERR_FILENO, text, static_cast<size_t>(n)) < 0 && errno == EINTR) {
  }
}

void write_all(const char* p, size_t n) {
  if (output_lost) return;
  while (n > 0) {
    ssize_t w = ::write(STDOUT_FILENO, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      lose_output(errno);
      return;
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

uint32_t unit_at(const uint8_t* p, int32_t unit) {
  if (unit == 1) return p[0];
  if (unit == 2) return static_cast<uint32_t>(p[0] | p[1] << 8);
  uint32_t cp;
  std::memcpy(&cp, p, 4);
  return cp;
}

// The console path of unit-1 and unit-2 text: the runs between escape
// sequences go to the console as they are, each sequence to the
// interpreter. An ESC the interpreter declines is an ordinary character.
void write_console_units(const uint8_t* text, int32_t bytes, int32_t unit) {
  const uint8_t* end = text + bytes;
  const uint8_t* run = text;
  const uint8_t* p = text;
  while (end - p >= unit) {
    if (unit_at(p, unit) == 27) {
      if (p > run) console->write_text(run, static_cast<int32_t>(p - run), unit);
      run = p;
      int32_t consumed = do_ansi_sequence(*console, p, static_cast<int32_t>(end - p), unit);
      if (consumed > 0) {
        p += consumed;
        run = p;
        continue;
      }
    }
    p += unit;
  }
  if (p > run) console->write_text(run, static_cast<int32_t>(p - run), unit);
}

void flush_work_buffer(int32_t length) {
  write_units(work, length, 1, false);
  print_hooks::run_sized(work, length, 0);
}

}  // namespace

void init_console_output(const console_layer* terminal) {
  flush_output();
  work = static_cast<char*>(heap::alloc_tracked(work_size));
  output = static_cast<char*>(heap::alloc_tracked(output_size));
  console = isatty(STDOUT_FILENO) ? terminal : nullptr;
}

void use_console(const console_layer* c) { console = c; }

bool output_failed_q() { return output_failed; }

void flush_output() {
  write_all(output, static_cast<size_t>(pending));
  pending = 0;
}

void put_units(const void* text, int32_t bytes, int32_t unit) {
  const auto* p = static_cast<const uint8_t*>(text);
  for (int32_t i = 0; bytes - i >= unit; i += unit) put_code_point(unit_at(p + i, unit));
}

void write_units(const void* text, int32_t bytes, int32_t unit, bool newline) {
  if (unit != 1 && unit != 2 && unit != 4)
    NO_SWITCH_MATCH();
  if (!console) {
    put_units(text, bytes, unit);
    if (newline) put_code_point('\n');
  } else {
    if (unit == 4)
      console->write_text(text, bytes, unit);
    else
      write_console_units(static_cast<const uint8_t*>(text), bytes, unit);
    if (newline) console->write_text("\n", 1, 1);
  }
  flush_output();
}

const char* prin_c_string(const char* s) {
  auto length = static_cast<int32_t>(std::strlen(s));
  if (console)
    console->write_text(s, length, 1);
  else
    put_units(s, length, 1);
  flush_output();
  print_hooks::run_sized(s, length, 0);
  return s;
}

void prin_integer(int32_t v) { flush_work_buffer(std::snprintf(work, work_size, "%i", v)); }
void prin_hex_byte(uint8_t v) { flush_work_buffer(std::snprintf(work, work_size, "%02X", v)); }
void prin_hex(uint32_t v) { flush_work_buffer(std::snprintf(work, work_size, "%08X", v)); }
void prin_float64(double v) { flush_work_buffer(std::snprintf(work, work_size, "%.16g", v)); }
void prin_float32(float v) {
  flush_work_buffer(std::snprintf(work, work_size, "%.7g", static_cast<double>(v)));
}

}  // namespace ixo::system
