// libFuzzer entry for the terminal's key decoder: any byte stream decodes
// without a crash or a hang under either reader's rules (the first byte's
// low bit picks them), every character it answers is a valid code point,
// every named key one of the table, each byte gives at most MAX_EVENTS
// events, and a pause leaves no sequence under way. A byte 0xFE in the
// input stands for a pause (the timeout that ends a sequence).
// Built with -DIXO_FUZZ=ON and clang (see README); run as
// build-fuzz/key_decoder_fuzz.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/posix/keys.hpp"

namespace {

using namespace ixo::platform::keys;

bool valid_q(const event& e) {
  switch (e.kind) {
    case EVENT_CHAR: return e.value >= 0 && e.value <= 0x10FFFF && !(e.value >= 0xD800 && e.value <= 0xDFFF);
    case EVENT_KEY: return e.value >= NAMED_UP && e.value <= NAMED_F12;
    case EVENT_INVALID: case EVENT_MOUSE: case EVENT_REPORT: return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  decoder d{data[0] & 1 ? TEXT_UI_RULES : LINE_EDITOR_RULES};
  event out[MAX_EVENTS];
  for (size_t i = 1; i < size; ++i) {
    if (data[i] == 0xFE) {
      if (timeout(d, out[0]) && !valid_q(out[0])) std::abort();
      if (pending_q(d)) std::abort();
      continue;
    }
    int32_t n = feed(d, data[i], out);
    if (n < 0 || n > MAX_EVENTS) std::abort();
    for (int32_t j = 0; j < n; ++j)
      if (!valid_q(out[j])) std::abort();
    if (pending_q(d) && (pending_length(d) <= 0 || static_cast<size_t>(pending_length(d)) > i)) std::abort();
  }
  timeout(d, out[0]);
  return 0;
}
