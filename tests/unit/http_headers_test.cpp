// The headers map of an HTTP response: names as word keys in the order
// first met, values trimmed, a repeated name (in any case) a block of its
// values in order, and lines that are no "Name: value" header skipped.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/http.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/map.hpp"
#include "runtime/datatypes/word.hpp"
#include "runtime/interpreter/stack.hpp"
#include "support/kept.hpp"
#include "support/runtime.hpp"

namespace ixo {
namespace {

using test::text_of;

struct http_headers : ::testing::Test {
  void SetUp() override {
    test::start_runtime();
    stack::keep();
  }
  // "name=value" for each pair, a block's values joined with "|".
  static std::vector<std::string> pairs_of(const std::string& text) {
    cell* m = stack::push_slot();
    simple_io::parse_http_headers(text, m);
    cell held = test::keep(*m);
    EXPECT_EQ(TYPE_OF(&held), TYPE_MAP);
    cell pairs{TYPE_BLOCK, 0, held.data2, 0};
    std::vector<std::string> out;
    for (int32_t i = 0; i + 1 < block::rs_length_q(&pairs); i += 2) {
      cell k = test::keep(block::rs_head(&pairs)[i]), v = test::keep(block::rs_head(&pairs)[i + 1]);
      EXPECT_EQ(TYPE_OF(&k), TYPE_SET_WORD);
      cell* name = word::to_string(&k);
      std::string entry = text_of(name) + "=";
      if (TYPE_OF(&v) == TYPE_BLOCK) {
        for (int32_t j = 0; j < block::rs_length_q(&v); ++j) {
          cell part = test::keep(block::rs_head(&v)[j]);
          entry += (j ? "|" : "") + text_of(&part);
        }
      } else {
        entry += text_of(&v);
      }
      out.push_back(entry);
    }
    return out;
  }
};

TEST_F(http_headers, repeated_names_make_a_block_in_order) {
  EXPECT_EQ(pairs_of("Content-Type: text/plain\r\nX-Twice: 1\r\nx-twice:2\r\nX-TWICE:   3  \r\n\r\n"),
            (std::vector<std::string>{"Content-Type=text/plain", "X-Twice=1|2|3"}));
}

TEST_F(http_headers, values_split_at_the_first_colon_and_trimmed) {
  EXPECT_EQ(pairs_of("Location: http://h:80/a\r\nEmpty:\r\nTabs:\t v \t\r\n"),
            (std::vector<std::string>{"Location=http://h:80/a", "Empty=", "Tabs=v"}));
}

TEST_F(http_headers, lines_that_are_no_header_are_skipped) {
  EXPECT_EQ(pairs_of("no colon here\r\n: no name\r\nbad name: x\r\nA/B: y\r\nOk: z\nLast: w"),
            (std::vector<std::string>{"Ok=z", "Last=w"}));
}

TEST_F(http_headers, bytes_that_are_not_utf8_become_replacement_characters) {
  EXPECT_EQ(pairs_of("X: a\xff" "b\r\n"), (std::vector<std::string>{"X=a\xef\xbf\xbd" "b"}));
}

}  // namespace
}  // namespace ixo
