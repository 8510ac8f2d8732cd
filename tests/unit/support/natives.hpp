// Test support for the natives that evaluate no code: a started runtime
// with every datatype registered, builders of the text values they take
// and readers of what they answer.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "runtime/core/cycles.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "native_call.hpp"
#include "numbers.hpp"
#include "memory.hpp"

namespace ixo::test {

// The runtime as start-up leaves it, with the cycles stack that molding
// blocks needs (a module global start-up sets before the runtime's init).
struct natives_suite : numbers {
  void SetUp() override {
    numbers::SetUp();
    if (!cycles::entries()) cycles::init();
    cycles::reset();
  }
};

// A string-like value (string! unless `type` says otherwise) of UTF-8
// text, kept until the test ends.
inline cell str(const std::string& utf8, uint32_t type = TYPE_STRING) {
  cell s{};
  memory::root_guard rooted(&s);
  string::load_at(reinterpret_cast<const uint8_t*>(utf8.data()), static_cast<int32_t>(utf8.size()), &s,
                  string::LOAD_UTF8);
  set_type(&s, type);
  return keep(s);
}

// The text of a string-like result from its index.
inline std::string text(cell value) {
  memory::root_guard rooted(&value);
  return text_of(&value);
}

// The bytes of a binary! from its index.
inline std::string bytes(const cell& bin) {
  memory::series_buffer* b = memory::GET_BUFFER(&bin);
  const char* head = reinterpret_cast<const char*>(memory::head_of(b)) + bin.data1;
  return std::string(head, reinterpret_cast<const char*>(memory::tail_of(b)));
}

// A word! of the spelling, bound to nothing.
inline cell word_of(const char* spelling) { return error_word(spelling); }

}  // namespace ixo::test
