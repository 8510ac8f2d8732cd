#include <gtest/gtest.h>

#include "support/blocks.hpp"

namespace ixo {
namespace {

using test::arg;
using test::block_of;
using test::fresh_arguments;
using test::integer_value;
using test::ints;
using test::mold_text;
using test::text_value;

enum : int32_t { UNIQUE = 8, UNION = 9, INTERSECT = 10, EXCLUDE = 11, DIFFERENCE = 12 };

struct block_set_operations : test::block_suite {
  static cell strings(std::initializer_list<const char*> texts, uint32_t type = TYPE_BLOCK) {
    std::vector<cell> cells;
    for (const char* t : texts) cells.push_back(text_value(t));
    return type == TYPE_HASH ? test::hash_of(cells) : block_of(cells);
  }
  // The result of an operation, in the first argument cell.
  static cell* run(const cell& first, const cell& second, int32_t op, int32_t case_ = 0, int32_t skip = 0) {
    fresh_arguments();
    arg(first);
    arg(second);
    cell* size = skip ? arg(integer_value(skip)) : nullptr;
    block::do_set_op(case_, size, op);
    return stack::arguments;
  }
};

TEST_F(block_set_operations, each_operation_keeps_distinct_values_in_first_seen_order) {
  cell none = ints({});
  struct row { const char* name; cell first, second; int32_t op, case_, skip; const char* result; };
  const row rows[] = {
      {"unique", strings({"a", "b", "a", "c", "b"}), none, UNIQUE, 0, 0, R"(["a" "b" "c"])"},
      {"union", strings({"a", "b"}), strings({"b", "c"}), UNION, 0, 0, R"(["a" "b" "c"])"},
      {"difference", strings({"a", "b"}), strings({"b", "c"}), DIFFERENCE, 0, 0, R"(["a" "c"])"},
      {"intersect", strings({"a", "b"}), strings({"b", "c"}), INTERSECT, 0, 0, R"(["b"])"},
      {"exclude", strings({"a", "b"}), strings({"b", "c"}), EXCLUDE, 0, 0, R"(["a"])"},
      {"unique ignoring case", strings({"A", "a", "b"}), none, UNIQUE, 0, 0, R"(["A" "b"])"},
      {"unique with case", strings({"A", "a", "A"}), none, UNIQUE, 1, 0, R"(["A" "a"])"},
      {"intersect with case", strings({"A", "b"}), strings({"a", "b"}), INTERSECT, 1, 0, R"(["b"])"},
      {"union ignoring case", strings({"A"}), strings({"a", "B"}), UNION, 0, 0, R"(["A" "B"])"},
      {"records", block_of({text_value("a"), integer_value(1), text_value("a"), integer_value(2),
                            text_value("b"), integer_value(3)}),
       none, UNIQUE, 0, 2, R"(["a" 1 "b" 3])"},
      {"records of the other", block_of({integer_value(1), integer_value(2), integer_value(3), integer_value(4)}),
       block_of({integer_value(2), integer_value(3)}), EXCLUDE, 0, 2, "[1 2 3 4]"},
      {"nested blocks", block_of({ints({1}), ints({1}), ints({2})}), none, UNIQUE, 0, 0, "[[1] [2]]"},
      {"nested blocks in the other", block_of({ints({1}), ints({2})}), block_of({ints({2})}), EXCLUDE, 0, 0, "[[1]]"},
      {"empty", ints({}), ints({}), UNION, 0, 0, "[]"},
      {"empty other", ints({1, 1}), ints({}), INTERSECT, 0, 0, "[]"},
  };
  for (const row& r : rows) {
    cell* result = run(r.first, r.second, r.op, r.case_, r.skip);
    EXPECT_EQ(TYPE_OF(result), TYPE_BLOCK) << r.name;
    EXPECT_EQ(result->data1, 0u) << r.name;
    EXPECT_EQ(mold_text(*result), r.result) << r.name;
  }
}

TEST_F(block_set_operations, a_hash_argument_gives_a_hash_and_the_index_counts) {
  struct row { cell first, second; int32_t op; uint32_t type; const char* result; };
  const row rows[] = {
      {strings({"a", "b", "a"}, TYPE_HASH), ints({}), UNIQUE, TYPE_HASH, R"(["a" "b"])"},
      {strings({"a"}), strings({"b", "a"}, TYPE_HASH), UNION, TYPE_HASH, R"(["a" "b"])"},
      {strings({"a"}), strings({"b"}, TYPE_HASH), UNIQUE, TYPE_BLOCK, R"(["a"])"},
      {strings({"x", "y"}, TYPE_HASH), strings({"y", "z"}, TYPE_HASH), DIFFERENCE, TYPE_HASH, R"(["x" "z"])"},
  };
  for (const row& r : rows) {
    cell* result = run(r.first, r.second, r.op);
    EXPECT_EQ(TYPE_OF(result), r.type) << r.result;
    EXPECT_EQ(test::mold_text(*result), r.result);
    if (r.type == TYPE_HASH) {
      EXPECT_TRUE(test::consistent_hash(result)) << r.result;
    }
  }
  // Values before an argument's index take no part.
  cell first = strings({"a", "b", "c"}), second = strings({"b", "c"});
  first.data1 = 1;
  second.data1 = 1;
  EXPECT_EQ(mold_text(*run(first, second, EXCLUDE)), R"(["b"])");
  cell hashed = strings({"b", "c"}, TYPE_HASH);
  hashed.data1 = 1;
  EXPECT_EQ(mold_text(*run(first, hashed, EXCLUDE)), R"(["b"])");
}

TEST_F(block_set_operations, a_skip_below_1_is_refused) {
  for (cell size : {integer_value(0), integer_value(-2), none::none_value}) {
    fresh_arguments();
    cell* first = arg(ints({1, 2}));
    arg(ints({}));
    cell* skip = arg(size);
    EXPECT_TRUE(test::is(test::raised([&] { block::do_set_op(0, skip, UNIQUE); }), err::script_invalid_refine_arg));
    EXPECT_EQ(test::ints_of(first), (std::vector<int32_t>{1, 2}));
  }
}

}  // namespace
}  // namespace ixo
