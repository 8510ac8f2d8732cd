// libFuzzer entry for the lexer: any bytes either load or raise a syntax
// error (or run out of memory for a huge nesting), never crash, hang or
// read past the input; in quiet mode they load or answer none. Built with -DIXO_FUZZ=ON and clang (see README);
// run as build-fuzz/lexer_fuzz -max_len=4096.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "runtime/core/cycles.hpp"
#include "runtime/datatypes/words.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/lexer/lexer.hpp"
#include "runtime/memory/roots.hpp"
#include "startup/system/catch.hpp"
#include "runtime/memory/memory.hpp"
#include "startup/start.hpp"

namespace {

bool started = false;

void start() {
  ixo::cycles::init();
  ixo::runtime::init();
  // A try frame at the bottom, as the console's evaluation has: an error
  // with none would end the process.
  ixo::stack::mark(ixo::words::word_anon, ixo::stack::FRAME_TRY);
  ixo::collector_active = 1;
  ixo::boot_flag = 0;
  started = true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  if (!started) start();
  // The bytes outside the arena, exactly as long as the input.
  std::vector<uint8_t> text(data, data + size);
  ixo::cell block{ixo::TYPE_UNSET, 0, 0, 0};
  ixo::memory::root_guard keep(&block);
  ixo::cell* top = ixo::stack::top;
  uint32_t code = ixo::catch_site(ixo::FILTER_FUNCTION, [&] {
    ixo::lexer::scan(&block, text.data(), static_cast<int32_t>(text.size()), ixo::lexer::scan_mode{}, nullptr,
                     nullptr, nullptr, nullptr);
  });
  if (code) {
    ixo::system::clear_thrown();
    ixo::stack::top = top;
    uint32_t category = ixo::last_raised.id.category;
    if (category != ixo::err::syntax_invalid.category && category != ixo::err::internal_no_memory.category)
      std::abort();
  }
  if (ixo::lexer::depth() != 0) std::abort();
  // The quiet scan of the conversions from text answers none for what does
  // not load: nothing but running out of memory may raise there.
  ixo::lexer::scan_mode quiet;
  quiet.quiet = true;
  code = ixo::catch_site(ixo::FILTER_FUNCTION, [&] {
    ixo::lexer::scan(&block, text.data(), static_cast<int32_t>(text.size()), quiet, nullptr, nullptr, nullptr,
                     nullptr);
  });
  if (code) {
    ixo::system::clear_thrown();
    ixo::stack::top = top;
    if (ixo::last_raised.id.category != ixo::err::internal_no_memory.category) std::abort();
  }
  if (ixo::lexer::depth() != 0) std::abort();
  return 0;
}
