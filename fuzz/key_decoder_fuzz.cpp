// libFuzzer entry for the terminal's key decoder: any byte stream decodes
// without a crash or a hang, every key it answers is a valid code point or
// one of the named keys, and each byte gives at most two keys. A byte
// 0xFE in the input stands for a pause (the timeout that ends a sequence).
// Built with -DIXO_FUZZ=ON and clang (see README); run as
// build-fuzz/key_decoder_fuzz.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "console/terminal.hpp"

namespace {

bool valid_key(int32_t k) {
  using namespace ixo::terminal;
  switch (k) {
    case KEY_UP: case KEY_DOWN: case KEY_RIGHT: case KEY_LEFT: case KEY_END: case KEY_HOME:
    case KEY_DELETE:
      return true;
    default:
      return k >= 0 && k <= 0x10FFFF && !(k >= 0xD800 && k <= 0xDFFF);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ixo::terminal::key_decoder d;
  int32_t keys[2];
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0xFE) {
      int32_t k = ixo::terminal::timeout(d);
      if (k != ixo::terminal::KEY_NONE && !valid_key(k)) std::abort();
      if (ixo::terminal::pending_q(d)) std::abort();
      continue;
    }
    int32_t n = ixo::terminal::feed_byte(d, data[i], keys);
    if (n < 0 || n > 2) std::abort();
    for (int32_t j = 0; j < n; ++j)
      if (!valid_key(keys[j])) std::abort();
  }
  ixo::terminal::timeout(d);
  return 0;
}
