// The console writer: every byte the system prints goes through here.
// Output is UTF-8 on every path, batched in a 1,024-byte buffer and written
// to standard output with write(2). Text arrives in units of 1 (Latin-1),
// 2 (UCS-2) or 4 (UCS-4) bytes; each unit is one code point.
//
// When standard output is a terminal, unit-1 and unit-2 text runs through
// the escape-sequence interpreter onto the terminal console; C strings,
// unit-4 text and number prints reach the console as they are. Redirected
// output carries every character unchanged.
#pragma once
#include <cstdint>

namespace ixo::system {

struct console_layer;

// Allocates the buffers and decides, once, whether standard output is a
// terminal; if it is, output goes through the escape-sequence interpreter
// to `terminal`.
void init_console_output(const console_layer* terminal);

// The console that printed text goes to, or null for redirected output.
// Init sets it; tests put a console of their own in its place.
void use_console(const console_layer* console);

// Writes `bytes` bytes of units of `unit` bytes, then a line feed when
// `newline` is set. A unit other than 1, 2 or 4 is runtime error 101.
void write_units(const void* text, int32_t bytes, int32_t unit, bool newline);

inline void prin_latin1(const void* p, int32_t bytes) { write_units(p, bytes, 1, false); }
inline void prin_ucs2(const void* p, int32_t bytes) { write_units(p, bytes, 2, false); }

// A C string, each byte a Latin-1 character, never interpreted; then the
// sized print hooks run with it.
const char* prin_c_string(const char* s);

// Number prints, formatted in the 64-byte work buffer; then the sized print
// hooks run with the text.
void prin_integer(int32_t v);     // "%i"
void prin_hex_byte(uint8_t v);    // "%02X"
void prin_hex(uint32_t v);        // "%08X"
void prin_float64(double v);      // "%.16g"
void prin_float32(float v);       // "%.7g"

// Appends units (1, 2 or 4 bytes each, one code point each) to the output
// buffer as UTF-8, with no interpretation; they are written when the buffer
// fills or at the next flush.
void put_units(const void* text, int32_t bytes, int32_t unit);

// Writes what is pending in the output buffer.
void flush_output();

// Whether a write to standard output has failed for a reason other than a
// closed pipe (reported on standard error when it happened): the run then
// ends with status 1.
bool output_failed_q();

}  // namespace ixo::system
