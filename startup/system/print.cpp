// Low-level typed print over the console writer.
#include "startup/system/print.hpp"

#include <cstring>

#include "startup/system/console_output.hpp"
#include "startup/system/print_hooks.hpp"

namespace ixo::print {

namespace {

bool is_white(uint8_t c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; }

// Whether the item's text ends in white space (only strings and bytes can).
bool ends_in_white(const typed_item& it) {
  if (it.type == ITEM_BYTE) return is_white(static_cast<uint8_t>(it.u));
  if (it.type == ITEM_C_STRING) {
    size_t n = std::strlen(it.s);
    return n > 0 && is_white(static_cast<uint8_t>(it.s[n - 1]));
  }
  return false;
}

void prin_item(const typed_item& it) {
  switch (it.type) {
    case ITEM_LOGIC: system::prin_c_string(it.i ? "true" : "false"); break;
    case ITEM_INT32: system::prin_integer(it.i); break;
    case ITEM_BYTE: prin_byte(static_cast<uint8_t>(it.u)); break;
    case ITEM_FLOAT32: system::prin_float32(it.f32); break;
    case ITEM_FLOAT64: system::prin_float64(it.f64); break;
    case ITEM_C_STRING: system::prin_c_string(it.s); break;
    default: system::prin_hex(it.u); break;
  }
}

void prin_list(std::initializer_list<typed_item> items, bool separators, bool newline) {
  print_hooks::pause_output();
  size_t left = items.size();
  for (const typed_item& it : items) {
    prin_item(it);
    --left;
    if (separators && left > 0 && !ends_in_white(it)) prin_byte(' ');
  }
  if (newline) prin_byte('\n');
  system::flush_output();
  print_hooks::resume_output();
}

}  // namespace

void prin_typed_list(std::initializer_list<typed_item> items, bool separators) {
  prin_list(items, separators, false);
}

void prin_typed(std::initializer_list<typed_item> items) { prin_list(items, false, false); }

void print_typed_line(std::initializer_list<typed_item> items) { prin_list(items, false, true); }

uint8_t prin_byte(uint8_t byte) {
  char text[2] = {static_cast<char>(byte), 0};
  system::write_units(text, 1, 1, false);
  return byte;
}

}  // namespace ixo::print
