// libFuzzer entry for the lexer: any bytes either load or raise a syntax
// error (or run out of memory for a huge nesting), never crash, hang or
// read past the input; in quiet mode they load or answer none. Built with -DIXO_FUZZ=ON and clang (see README);
// run as build-fuzz/lexer_fuzz -max_len=4096.
//
// Byte FFh, a count n and a byte b in the input stand for 16 × n copies of
// b (FFh never occurs in UTF-8 text; F8h-FEh still stand for the bytes
// that are never valid), so short inputs reach tokens of any length. Text
// that loads as one number must load as the same number with 400 zeros
// before its digits, and, with a fraction and no exponent, after them:
// number text of any length converts from all its digits.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/core/cycles.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/integer.hpp"
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

constexpr size_t MAX_TEXT = 1 << 20;
constexpr int32_t ZEROS = 400;

// The input with its runs expanded (see above), at most MAX_TEXT bytes.
std::vector<uint8_t> expanded(const uint8_t* data, size_t size) {
  std::vector<uint8_t> text;
  for (size_t i = 0; i < size && text.size() < MAX_TEXT; ++i) {
    if (data[i] == 0xFF && i + 2 < size) {
      text.insert(text.end(), static_cast<size_t>(data[i + 1]) * 16, data[i + 2]);
      i += 2;
    } else {
      text.push_back(data[i]);
    }
  }
  if (text.size() > MAX_TEXT) text.resize(MAX_TEXT);
  return std::vector<uint8_t>(text.begin(), text.end());  // no room past the end
}

// The value of text that loads as one integer! or float! and holds nothing
// but number characters; false for any other text.
bool number_of(const std::string& text, double& value) {
  if (text.empty() || text.find_first_not_of("0123456789.'eE+-") != std::string::npos) return false;
  std::vector<uint8_t> bytes(text.begin(), text.end());
  ixo::cell block{ixo::TYPE_UNSET, 0, 0, 0};
  ixo::memory::root_guard keep(&block);
  ixo::cell* top = ixo::stack::top;
  ixo::lexer::scan_mode quiet;
  quiet.quiet = true;
  uint32_t code = ixo::catch_site(ixo::FILTER_FUNCTION, [&] {
    ixo::lexer::scan(&block, bytes.data(), static_cast<int32_t>(bytes.size()), quiet, nullptr, nullptr, nullptr,
                     nullptr);
  });
  if (code) {
    ixo::system::clear_thrown();
    ixo::stack::top = top;
    return false;
  }
  if (ixo::TYPE_OF(&block) != ixo::TYPE_BLOCK) return false;
  int32_t count;
  const ixo::cell* values = ixo::block::values_of(&block, count);
  if (count != 1) return false;
  uint32_t type = ixo::TYPE_OF(values);
  if (type == ixo::TYPE_INTEGER) {
    value = ixo::integer::get(values);
  } else if (type == ixo::TYPE_FLOAT) {
    value = ixo::get_float(values);
  } else {
    return false;
  }
  return true;
}

// Zeros before the digits of a number, and after those of a fraction
// without an exponent, leave its value as it was.
void check_long_forms(const std::vector<uint8_t>& bytes) {
  std::string text(bytes.begin(), bytes.end());
  double value;
  if (!number_of(text, value)) return;
  size_t sign = text[0] == '+' || text[0] == '-' ? 1 : 0;
  double longer;
  if (!number_of(text.substr(0, sign) + std::string(ZEROS, '0') + text.substr(sign), longer) || longer != value)
    std::abort();
  if (text.find('.') != std::string::npos && text.find_first_of("eE") == std::string::npos &&
      (!number_of(text + std::string(ZEROS, '0'), longer) || longer != value))
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > MAX_TEXT) return 0;
  if (!started) start();
  // The bytes outside the arena, exactly as long as the text.
  std::vector<uint8_t> text = expanded(data, size);
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
  check_long_forms(text);
  return 0;
}
