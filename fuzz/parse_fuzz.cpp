// libFuzzer entry for the parse engine: random rules against random input
// either answer or raise an error, never crash, and leave the engine
// ready for the next parse. The bytes before the first zero
// byte are loaded as the rule block, the rest is the input: a string, a
// binary or the block it loads to, by the first rule byte modulo 3. A rule
// that loops forever by its own meaning (`while none`) is a timeout, not a
// fault. Built with -DIXO_FUZZ=ON and clang (see README); run as
// build-fuzz/parse_fuzz -max_len=1024 -timeout=5.
//
// An input leaves nothing behind but the words it interned (the symbol
// table only grows, as in the runtime: some 35,000 words after 500,000
// inputs): the live C heap stays near 28 MB and both stacks and the
// engine's own stacks return to where they were. The resident size that
// climbs towards a gigabyte over a long run is AddressSanitizer's
// quarantine of freed blocks (256 MB of them by default, held with their
// headers, and never given back); with ASAN_OPTIONS=quarantine_size_mb=8
// it stays near 100 MB.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "runtime/core/cycles.hpp"
#include "runtime/datatypes/binary.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/datatypes/words.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/interpreter.hpp"
#include "runtime/interpreter/natives.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/lexer/lexer.hpp"
#include "runtime/memory/roots.hpp"
#include "runtime/parse/parse.hpp"
#include "startup/system/catch.hpp"
#include "runtime/memory/memory.hpp"
#include "startup/start.hpp"

namespace {

bool started = false;

void start() {
  ixo::cycles::init();
  ixo::runtime::init();
  ixo::lexer::init();
  ixo::interpreter::init();
  ixo::natives::init();
  ixo::parse::init();
  // A try frame at the bottom, as the console's evaluation has: an error
  // with none would end the process.
  ixo::stack::mark(ixo::words::word_anon, ixo::stack::FRAME_TRY);
  ixo::collector_active = 1;
  ixo::boot_flag = 0;
  started = true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 16) return 0;
  if (!started) start();
  const uint8_t* split = std::find(data, data + size, 0);
  std::vector<uint8_t> rules_text(data, split);
  std::vector<uint8_t> input_text(split == data + size ? split : split + 1, data + size);
  int kind = rules_text.empty() ? 0 : rules_text[0] % 3;
  ixo::cell rules{ixo::TYPE_UNSET, 0, 0, 0}, input{ixo::TYPE_UNSET, 0, 0, 0}, result{ixo::TYPE_UNSET, 0, 0, 0};
  ixo::memory::root_guard keep_rules(&rules), keep_input(&input), keep_result(&result);
  ixo::cell* top = ixo::stack::top;
  uint32_t code = ixo::catch_site(ixo::FILTER_FUNCTION, [&] {
    ixo::lexer::load_text(&rules, reinterpret_cast<const char*>(rules_text.data()),
                          static_cast<int32_t>(rules_text.size()));
    int32_t length = static_cast<int32_t>(input_text.size());
    if (kind == 0) {
      ixo::string::load_at(input_text.data(), length, &input, ixo::string::LOAD_UTF8);
    } else if (kind == 1) {
      ixo::binary::load_at(input_text.data(), length, &input);
    } else {
      ixo::lexer::load_text(&input, reinterpret_cast<const char*>(input_text.data()), length);
    }
    ixo::parse::process(&result, &input, &rules, ixo::parse::CASE_INSENSITIVE, -1, nullptr);
  });
  // Parens run any code, so any language error or exit may end a parse.
  if (code) {
    ixo::system::clear_thrown();
    ixo::stack::top = top;
  }
  return 0;
}
