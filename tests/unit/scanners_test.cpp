// The numeric text scanners that conversions of strings use: characters of
// any unit width, failure reported through the error out-parameter.
#include <cmath>
#include <string>
#include <vector>

#include "runtime/datatypes/money.hpp"
#include "runtime/lexer/scanners.hpp"
#include "support/lexer.hpp"

namespace ixo::test {
namespace {

using numeric_scanners = lexer_runtime;

// The text's characters in units of `unit` bytes.
std::vector<uint8_t> units(const std::string& text, uint32_t unit) {
  std::vector<uint8_t> out;
  for (unsigned char ch : text)
    for (uint32_t i = 0; i < unit; ++i) out.push_back(i == 0 ? ch : 0);
  return out;
}

TEST_F(numeric_scanners, integers) {
  const struct {
    const char* text;
    int32_t value, error;
  } cases[] = {{"1'000", 1000, 0}, {"-2147483648", INT32_MIN, 0}, {"+7", 7, 0},     {"12a", 0, -1},
               {"", 0, -1},         {"99999999999", 0, -2},       {"2147483648", 0, -2}};
  for (uint32_t unit : {1u, 2u, 4u}) {
    for (const auto& c : cases) {
      auto u = units(c.text, unit);
      int32_t error;
      int32_t v = tokenizer::scan_integer(u.data(), static_cast<int32_t>(std::string(c.text).size()), unit, error);
      EXPECT_EQ(error, c.error) << c.text;
      if (c.error == 0) {
        EXPECT_EQ(v, c.value) << c.text;
      }
    }
  }
}

TEST_F(numeric_scanners, floats_read_a_comma_as_the_point) {
  int32_t error;
  auto u = units("1,5", 2);
  EXPECT_EQ(tokenizer::scan_float(u.data(), 3, 2, error), 1.5);
  EXPECT_EQ(error, 0);
  u = units("1'000.25e1", 1);
  EXPECT_EQ(tokenizer::scan_float(u.data(), 10, 1, error), 10002.5);
  u = units("1.5x", 1);
  EXPECT_TRUE(std::isnan(tokenizer::scan_float(u.data(), 4, 1, error)));
  EXPECT_EQ(error, -1);
  // text of any length converts as its shorter forms do
  std::string long_text = "0," + std::string(400, '1');
  EXPECT_EQ(tokenizer::scan_float(reinterpret_cast<const uint8_t*>(long_text.data()), 402, 1, error),
            0.1111111111111111);
  EXPECT_EQ(error, 0);
}

TEST_F(numeric_scanners, money) {
  const struct {
    const char* text;
    const char* molded;  // nullptr: fails
  } cases[] = {{"USD$1.50", "USD$1.50"}, {"1.50", "$1.50"}, {"-$2", "-$2.00"},
               {"US$1", nullptr},        {"USD1", nullptr}, {"$1'000.5", "$1000.50"}, {"$1.129996", "$1.12"},
               {"1,5", nullptr}};  // decimals past the fifth are dropped, never rounded
  for (const auto& c : cases) {
    auto u = units(c.text, 4);
    int32_t error;
    cell m{TYPE_NONE, 0, 0, 0};
    tokenizer::scan_money(u.data(), static_cast<int32_t>(std::string(c.text).size()), 4, error, &m);
    if (!c.molded) {
      EXPECT_EQ(error, -1) << c.text;
      continue;
    }
    ASSERT_EQ(error, 0) << c.text;
    EXPECT_EQ(mold_of(m), c.molded) << c.text;
  }
}

}  // namespace
}  // namespace ixo::test
