// Evaluating Ixo source text in tests: the interpreter suite with the real
// lexer, `make`, `+` and the natives of the given slots defined from their
// specs, and the console output captured instead of written.
#pragma once
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "runtime/core/unicode.hpp"
#include "runtime/datatypes/native.hpp"
#include "startup/system/print_hooks.hpp"
#include "interpreter.hpp"
#include "lexer.hpp"

namespace ixo::test {

// What the print hooks were handed since the suite started, as UTF-8.
inline std::string printed;

inline void capture_printer(const void* text, int32_t bytes, int32_t unit, bool newline) {
  for (int32_t i = 0; i < bytes / unit; ++i) {
    uint32_t cp = unit == 1 ? static_cast<const uint8_t*>(text)[i]
                  : unit == 2 ? static_cast<const uint16_t*>(text)[i]
                              : static_cast<const uint32_t*>(text)[i];
    if (cp < 0x80) printed += static_cast<char>(cp);
    else if (cp < 0x800) printed += {static_cast<char>(0xC0 | cp >> 6), static_cast<char>(0x80 | (cp & 0x3F))};
    else printed += {static_cast<char>(0xE0 | cp >> 12), static_cast<char>(0x80 | (cp >> 6 & 0x3F)),
                     static_cast<char>(0x80 | (cp & 0x3F))};
  }
  if (newline) printed += '\n';
}

struct source_suite : interpreter_suite {
  // name, spec and slot of each native the suite's code calls.
  virtual std::vector<std::pair<std::string, std::pair<std::string, int32_t>>> natives_used() = 0;

  void SetUp() override {
    interpreter_suite::SetUp();
    for (auto& [name, spec] : natives_used()) define_native(name, spec.first, spec.second);
    define_action("make", "[type [any-type!] spec [any-type!]]", 1);
    define_action("next", "[series [any-type!]]", 38);
    define_action("tail", "[series [any-type!]]", 48);
    cell add = define_action("add", "[a [any-type!] b [any-type!]]", 11);
    add.header = TYPE_OP | TYPE_ACTION << 16;
    cell plus = global_word(TYPE_WORD, "+");
    word::set(&plus, add);
    print_hooks::remove(print_hooks::console_printer, nullptr);
    print_hooks::add(capture_printer, nullptr);
    printed.clear();
  }
  void TearDown() override {
    print_hooks::remove(capture_printer, nullptr);
    print_hooks::add(print_hooks::console_printer, nullptr);
    interpreter_suite::TearDown();
  }
  cell define_action(const std::string& name, const std::string& spec, int32_t index) {
    cell proto{TYPE_ACTION, 0, 0, 0};
    cell made = code("[] " + std::to_string(index));
    cell spec_block = code(spec);
    *memory::head_of<cell>(memory::GET_BUFFER(&made)) = *memory::head_of<cell>(memory::GET_BUFFER(&spec_block));
    cell value = keep(*native::make_value(&proto, &made, TYPE_ACTION));
    stack::pop(1);
    cell w = global_word(TYPE_WORD, name);
    word::set(&w, value);
    return value;
  }
};

// Evaluates source text; answers the error it raised, if any, and leaves
// its value in `result` (kept).
inline std::optional<error_id> run_source(const std::string& text, cell* result = nullptr) {
  cell block = load_source(text);
  cell* top = stack::top;
  std::optional<error_id> e = raised([&] { interpreter::eval_block(&block, false); });
  if (!e && result) *result = keep(stack::top[-1]);
  if (!e) stack::top = top;
  return e;
}

// The mold of the source's value, or "error <category>/<index>".
inline std::string molded(const std::string& text) {
  cell result{};
  std::optional<error_id> e = run_source(text, &result);
  if (e) return "error " + std::to_string(e->category) + "/" + std::to_string(e->index);
  return mold_of(result);
}

inline std::string error_text(error_id id) {
  return "error " + std::to_string(id.category) + "/" + std::to_string(id.index);
}

}  // namespace ixo::test
