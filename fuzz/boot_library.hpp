// Fuzzing boot library code: the runtime started and the boot code run as
// ixo starts them, then Ixo code evaluated for each input, which reads the
// input through the word `fuzz-bytes` (a binary!). The code answers true
// when the properties it checks hold, catching the errors that bad input
// may raise; any other answer, or an error it lets through, is a fault.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "runtime/datatypes/binary.hpp"
#include "runtime/datatypes/word.hpp"
#include "runtime/datatypes/words.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/interpreter.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/lexer/lexer.hpp"
#include "runtime/memory/roots.hpp"
#include "startup/boot_image.hpp"
#include "startup/system/catch.hpp"
#include "startup/start.hpp"

namespace ixo::fuzz {

inline bool started = false;

inline void start() {
  if (started) return;
  if (catch_site(FILTER_ALL, [] { start_runtime(boot_image::data, boot_image::size); })) std::abort();
  // A try frame at the bottom, as the console's evaluation has: an error
  // with none would end the process.
  stack::mark(words::word_anon, stack::FRAME_TRY);
  started = true;
}

// Evaluates `source` with `fuzz-bytes` set to the input.
inline void run(const uint8_t* data, size_t size, const std::string& source) {
  start();
  std::vector<uint8_t> bytes(data, data + size);
  cell input{TYPE_UNSET, 0, 0, 0}, code{TYPE_UNSET, 0, 0, 0};
  memory::root_guard keep_input(&input), keep_code(&code);
  cell* top = stack::top;
  bool holds = false;
  uint32_t thrown = catch_site(FILTER_FUNCTION, [&] {
    lexer::load_text(&code, source.data(), static_cast<int32_t>(source.size()));
    binary::load_at(bytes.data(), static_cast<int32_t>(bytes.size()), &input);
    cell name = *word::load("fuzz-bytes");
    word::set(&name, input);
    interpreter::eval_block(&code, false);
    holds = TYPE_OF(stack::top - 1) == TYPE_LOGIC && stack::top[-1].data1 != 0;
  });
  stack::top = top;
  if (thrown || !holds) std::abort();
}

}  // namespace ixo::fuzz
