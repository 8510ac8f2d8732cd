#include <gtest/gtest.h>

#include <cstring>

#include "runtime/interpreter/fire.hpp"
#include "startup/system/catch.hpp"

namespace ixo {
namespace {

TEST(error_catalog, categories_codes_and_positions) {
  int total = 0;
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(error_catalog[i].code, i * 100);
    total += error_catalog[i].count;
  }
  EXPECT_EQ(total, 141);
  EXPECT_STREQ(error_catalog[ERR_SCRIPT].title, "Script Error");
  EXPECT_EQ(err::script_need_value.index, 3);  // code, type, no-value, need-value
  EXPECT_STREQ(catalog_lookup(err::script_need_value).id, "need-value");
  EXPECT_STREQ(catalog_lookup(err::internal_no_memory).message, "\"not enough memory\"");
  EXPECT_STREQ(catalog_lookup(err::user_message).message, "arg1");
}

TEST(fire, unwinds_to_an_error_catching_site_with_the_id_and_arguments) {
  cell a{TYPE_INTEGER, 7, 0, 0};
  uint32_t code = catch_site(FILTER_FUNCTION, [&] { fire(err::math_overflow, {a}); });
  EXPECT_EQ(code, THROW_ERROR);
  system::clear_thrown();
  EXPECT_EQ(last_raised.id.category, ERR_MATH);
  EXPECT_EQ(last_raised.count, 1);
  EXPECT_EQ(last_raised.args[0].data1, 7u);
  // A loop site does not stop an error.
  EXPECT_THROW(catch_site(FILTER_LOOP, [] { fire(err::internal_no_memory); }), throw_signal);
}

}  // namespace
}  // namespace ixo
