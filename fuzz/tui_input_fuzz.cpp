// libFuzzer entry for the text UI's input decoder: any byte stream, cut
// into frames at any points, decodes without a crash or a hang; every key
// is a code point (surrogates excluded) or a special key of the table;
// button types, wheel directions and modifier bits are those the decoder
// may send; nothing stays queued but one sequence still under way, and
// nothing of a string left open once a pause drops it. The first byte of
// the input sets the frame length (1 to 256 bytes).
// Built with -DIXO_FUZZ=ON and clang (see README); run as
// build-fuzz/tui_input_fuzz.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "gui/tui/input.hpp"

namespace {

using namespace ixo::tui::input;

constexpr uint32_t MODIFIERS = MOD_CONTROL | MOD_SHIFT | MOD_META;

bool special_q(int32_t code) {
  return code == SPECIAL_BACK_TAB || (code >= SPECIAL_F12 && code <= SPECIAL_F1) ||
         (code >= SPECIAL_PAGE_DOWN && code <= SPECIAL_DELETE) || (code >= SPECIAL_HOME && code <= SPECIAL_UP);
}

void on_key(int32_t key, int32_t special) {
  if (special != 0) {
    if (key != 0 || !special_q(special)) std::abort();
  } else if (key < 0 || key > 0x10FFFF || (key >= 0xD800 && key <= 0xDFFF) || key == 8 || key == 10) {
    std::abort();
  }
}
void on_button(int32_t type, float, float, uint32_t modifiers) {
  if (type < BUTTON_DOWN || type > BUTTON_ALT_UP || (modifiers & ~MODIFIERS)) std::abort();
}
void on_move(float, float, uint32_t modifiers) {
  if (modifiers & ~(MODIFIERS | MOD_BUTTON_HELD)) std::abort();
}
void on_wheel(float direction, float, float, uint32_t modifiers) {
  if ((direction != 1.0f && direction != -1.0f) || (modifiers & ~MODIFIERS)) std::abort();
}
void on_report(int32_t row, int32_t column) {
  if (row < 0 || column < 0) std::abort();
}
int32_t top_row() { return 0; }

const routing checker = {on_key, on_button, on_move, on_wheel, on_report, top_row};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  set_routing(&checker);
  reset_queue();
  size_t frame = static_cast<size_t>(data[0]) + 1;
  for (size_t at = 1; at < size; at += frame) {
    size_t n = size - at < frame ? size - at : frame;
    queue_bytes(data + at, static_cast<int32_t>(n));
    decode_input();
    if (!incomplete_q() && queued() != 0) std::abort();
    if (open_string_q() && !incomplete_q()) std::abort();
    // A pause after a frame with an odd first byte: a string left open is
    // dropped, and nothing stays queued.
    if (data[at] & 1) {
      drop_open_string();
      if (!incomplete_q() && queued() != 0) std::abort();
    }
  }
  if (static_cast<size_t>(queued()) > size) std::abort();
  reset_queue();
  return 0;
}
