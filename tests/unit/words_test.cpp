#include <gtest/gtest.h>

#include "runtime/datatypes/words.hpp"
#include "runtime/memory/root_block.hpp"
#include "support/words.hpp"

namespace ixo {
namespace {

bool in_root_block(const cell* c) {
  memory::series_buffer* b = memory::buffer_of(root::root_node);
  return c >= memory::head_of<cell>(b) && c < memory::tail_of<cell>(b);
}

TEST(runtime_words, tables_hold_the_listed_words_kept_in_the_root_block) {
  test::start_words();
  int32_t root_length = test::cell_count(root::root_node);
  words::build();
  EXPECT_EQ(test::cell_count(root::root_node), root_length + words::INDEX_COUNT + words::WORD_COUNT);
  refinements::build();
  EXPECT_EQ(test::cell_count(root::root_node),
            root_length + words::INDEX_COUNT + words::WORD_COUNT + refinements::REFINEMENT_COUNT);

  EXPECT_EQ(words::sym_spec, symbol::make("spec"));
  EXPECT_EQ(words::sym_any_type, symbol::make("any-type!"));
  EXPECT_EQ(words::sym_bar, symbol::make("|"));
  EXPECT_EQ(words::sym_macos, symbol::make("macOS"));
  EXPECT_EQ(words::sym_no_trace, symbol::make("no-trace"));

  EXPECT_EQ(words::index_linux, context::find_word(context::global_ctx, words::sym_linux, false));
  EXPECT_EQ(words::index_collect, words::index_collect2);
  EXPECT_EQ(words::index_end, context::find_word(context::global_ctx, words::sym_end, true));

  for (cell* w : {words::word_at, words::word_on_change, words::word_not_found, words::word_throw,
                  words::word_throw2, words::word_applied}) {
    EXPECT_TRUE(in_root_block(w));
    EXPECT_EQ(w->data1, context::global_ctx);
  }
  EXPECT_EQ(words::word_not_found->data2, static_cast<uint32_t>(symbol::make("<not-found>")));
  EXPECT_NE(words::word_throw, words::word_throw2);
  EXPECT_EQ(words::word_throw->data3, words::word_throw2->data3);
  EXPECT_EQ(words::sym_changed, static_cast<int32_t>(words::word_changed->data2));

  const char* names[] = {"local", "extern", "compare", "part", "skip", "with"};
  cell* values[] = {refinements::local, refinements::extern_, refinements::compare,
                    refinements::part,  refinements::skip,    refinements::with};
  for (int32_t i = 0; i < refinements::REFINEMENT_COUNT; ++i) {
    EXPECT_TRUE(in_root_block(values[i]));
    EXPECT_EQ(TYPE_OF(values[i]), TYPE_REFINEMENT);
    EXPECT_EQ(values[i]->data1, 0u);
    EXPECT_EQ(values[i]->data2, static_cast<uint32_t>(symbol::make(names[i])));
  }
}

}  // namespace
}  // namespace ixo
