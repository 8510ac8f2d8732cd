// The escape-sequence interpreter. After ESC "[" a small state machine reads
// at most two numbers at a time:
//   state 1  at the start, or after a ";" that completed an SGR pair
//   state 2  reading the first number P1
//   state 3  after the ";" that follows P1
//   state 4  reading the second number P2
// Numbers wrap modulo 65535. A sequence of several SGR codes is applied two
// codes at a time, in order, and the attribute is set once at the closing
// "m". Units are compared whole: only ASCII units are sequence characters.
#include "startup/system/ansi.hpp"

#include "startup/system/print.hpp"

namespace ixo::system {

namespace {

// ANSI colours 0-7 (black, red, green, yellow, blue, magenta, cyan, white)
// as attribute colour values.
constexpr uint16_t colour_value[8] = {0, 4, 2, 6, 1, 5, 3, 7};

// Codes that have no attribute (22, 27, 38, 90...) leave it as it is.
uint16_t sgr_to_attribute(const console_layer& console, int32_t attribute, int32_t code) {
  uint16_t a = attribute < 0 ? console.attribute() : static_cast<uint16_t>(attribute);
  uint16_t initial = console.initial_attribute();
  if (code >= 30 && code <= 37) return (a & 0xF8) + colour_value[code - 30];
  if (code >= 40 && code <= 47) return (a & 0x8F) + (colour_value[code - 40] << 4);
  switch (code) {
    case 0: return initial;
    case 1: return a | ATTR_FOREGROUND_INTENSITY | ATTR_BACKGROUND_INTENSITY;
    case 4: return a | ATTR_UNDERSCORE;
    case 7: return ((a & 0x0F) << 4) | ((a & 0xF0) >> 4);  // the bits above the low byte go
    case 39: return (a & 0xF8) | (initial & ATTR_FOREGROUND);
    case 49: return (a & 0x8F) | (initial & ATTR_BACKGROUND);
    default: return a;
  }
}

void print_screen_buffer_info(const console_layer& console) {
  using namespace print;
  screen_buffer_info s;
  console.get_info(s);
  print_typed_line({item::c_string("Screen buffer info:")});
  print_typed_line({item::c_string("   size______ "), item::int32(s.width), item::c_string("x"),
                    item::int32(s.height)});
  print_typed_line({item::c_string("   cursor____ "), item::int32(s.cursor.column),
                    item::c_string("x"), item::int32(s.cursor.row)});
  print_typed_line({item::c_string("   attribute_ "), item::hex(s.attribute), item::c_string(" "),
                    item::hex(console.initial_attribute())});
  print_typed_line({item::c_string("   left______ "), item::int32(s.left), item::c_string(" top: "),
                    item::int32(s.top)});
  print_typed_line({item::c_string("   right_____ "), item::int32(s.right),
                    item::c_string(" bottom: "), item::int32(s.bottom)});
  print_typed_line({item::c_string("   max_______ "), item::int32(s.max_width), item::c_string("x"),
                    item::int32(s.max_height)});
}

struct reader {
  const uint8_t* text;
  int32_t units;
  int32_t unit;
  int32_t next;  // index of the next unit to read

  bool more() const { return next < units; }
  uint32_t peek() const {
    const uint8_t* p = text + next * unit;
    return unit == 1 ? p[0] : static_cast<uint32_t>(p[0] | p[1] << 8);
  }
  uint32_t read() {
    uint32_t c = peek();
    ++next;
    return c;
  }
};

enum outcome {
  DONE,     // interpreted (possibly as nothing)
  HAND_ON,  // not interpreted: the console gets the sequence as it is
  CUT_OFF,  // the text ended inside the sequence: the rest is dropped
};

// "?" right after ESC "[" asks for the screen-buffer dump; followed by a
// parameter character it opens a private mode sequence (cursor visibility,
// mouse reporting...), which runs to its final character and is handed on.
outcome private_or_dump(const console_layer& console, reader& in) {
  if (!in.more() || in.peek() < 0x30 || in.peek() > 0x3F) {
    print_screen_buffer_info(console);
    return DONE;
  }
  while (in.more()) {
    uint32_t c = in.read();
    if (c < 0x20 || c > 0x3F) return HAND_ON;
  }
  return CUT_OFF;
}

outcome interpret(const console_layer& console, reader& in) {
  int32_t state = 1, p1 = 0, p2 = 0;
  int32_t current = -1;  // read from the console when an SGR code first needs it
  auto sgr = [&](int32_t attribute, int32_t code) {
    return sgr_to_attribute(console, attribute, code);
  };
  while (in.more()) {
    uint32_t c = in.read();
    bool digit = c >= '0' && c <= '9';
    int32_t d = static_cast<int32_t>(c) - '0';
    switch (state) {
      case 1:
        if (digit) {
          p1 = d;
          state = 2;
          continue;
        }
        switch (c) {
          case ';': continue;
          case 's': console.save_cursor(); return DONE;
          case 'u': console.restore_cursor(); return DONE;
          case 'K': console.erase(ERASE_ROW_RIGHT); return DONE;
          case 'J': console.erase(ERASE_DOWN); return DONE;
          case 'H': case 'f': console.set_cursor(0, 0); return DONE;
          case '?': return private_or_dump(console, in);
          default: return HAND_ON;
        }
      case 2:
        if (digit) {
          p1 = (p1 * 10 + d) % 65535;
          continue;
        }
        switch (c) {
          case ';': state = 3; continue;
          case 'm': console.set_attribute(sgr(current, p1)); return DONE;
          case 'A': console.move_cursor(0, -p1); return DONE;
          case 'B': console.move_cursor(0, p1); return DONE;
          case 'C': console.move_cursor(p1, 0); return DONE;
          case 'D': console.move_cursor(-p1, 0); return DONE;
          case 'J':  // an explicit 0 erases nothing
            if (p1 == 1) console.erase(ERASE_UP);
            if (p1 == 2) console.erase(ERASE_SCREEN);
            return DONE;
          case 'K':
            if (p1 == 1) console.erase(ERASE_ROW_LEFT);
            if (p1 == 2) console.erase(ERASE_ROW);
            return DONE;
          default: return HAND_ON;
        }
      case 3:
        if (digit) {
          p2 = d;
          state = 4;
          continue;
        }
        if (c == ';') continue;
        return HAND_ON;
      default:  // 4
        if (digit) {
          p2 = (p2 * 10 + d) % 65535;
          continue;
        }
        switch (c) {
          case 'm': console.set_attribute(sgr(sgr(current, p1), p2)); return DONE;
          case ';':
            current = sgr(sgr(current, p1), p2);
            p1 = p2 = 0;
            state = 1;
            continue;
          case 'H': case 'f': console.set_cursor(p1, p2); return DONE;  // column P1, row P2
          default: return HAND_ON;
        }
    }
  }
  return CUT_OFF;
}

}  // namespace

int32_t do_ansi_sequence(const console_layer& console, const uint8_t* text, int32_t bytes,
                         int32_t unit) {
  reader in{text, bytes / unit, unit, 1};
  if (!in.more() || in.read() != '[') return 0;
  outcome o = interpret(console, in);
  if (o == CUT_OFF) return bytes;
  int32_t consumed = in.next * unit;
  if (o == HAND_ON) console.write_sequence(text, consumed, unit);
  return consumed;
}

}  // namespace ixo::system
