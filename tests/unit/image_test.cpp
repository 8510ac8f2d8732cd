// image!: made from sizes, colours and bytes, pixels read and written by
// index and coordinate, navigation, copy and change of rectangles,
// comparison, the path fields, form and mold, all called through the
// action dispatchers as the interpreter calls them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/image_files.hpp"
#include "runtime/datatypes/image.hpp"
#include "runtime/datatypes/logic.hpp"
#include "runtime/memory/collector.hpp"
#include "support/native_call.hpp"
#include "support/numbers.hpp"
#include "support/raised.hpp"

namespace ixo {
namespace {

using test::bytes_of;
using test::int_;
using test::tup;
using test::xy;

struct images : ::testing::Test {
  void SetUp() override {
    test::start_runtime();
    image::init();
    stack::reset();
  }
};

cell run(int32_t action, std::initializer_list<cell> args, std::initializer_list<int32_t> refinements = {}) {
  return test::call_entry(actions::dispatchers[action], args, refinements);
}

cell make_image(const cell& spec) { return run(ACT_MAKE, {datatype::make_cell(TYPE_IMAGE), spec}); }
cell spec_of(const std::vector<cell>& cells) { return make_image(test::block_of(cells)); }

uint32_t pixel(const cell& img, int32_t i) { return memory::head_of<uint32_t>(memory::GET_BUFFER(&img))[i]; }
std::vector<uint32_t> pixels(const cell& img) {
  const uint32_t* p = memory::head_of<uint32_t>(memory::GET_BUFFER(&img));
  return {p, p + image::width_of(&img) * image::height_of(&img)};
}

std::string text(cell s) { return test::text_of(&s); }
std::string mold(const cell& img) { return text(run(ACT_MOLD, {img}, {-1, -1, -1, -1})); }

// r.g.b.t of a tuple, or "none".
std::string tuple_text(const cell& c) {
  if (TYPE_OF(&c) == TYPE_NONE) return "none";
  return test::formed(c);
}

template <class Body>
bool raises(error_id id, Body&& body) {
  return test::is(test::raised(body), id);
}

// A 3x2 image whose pixel i is opaque grey i.i.i, for telling pixels apart.
cell numbered_3x2() {
  cell img = make_image(xy(3, 2));
  for (int32_t i = 0; i < 6; ++i) run(ACT_POKE, {img, int_(i + 1), tup({i, i, i})});
  return img;
}

TEST_F(images, make_from_a_size_and_a_colour) {
  cell blank = make_image(xy(2, 2));
  EXPECT_EQ(pixels(blank), std::vector<uint32_t>(4, 0xFFFFFFFFu));  // opaque white
  EXPECT_EQ(image::width_of(&blank), 2);
  EXPECT_EQ(image::height_of(&blank), 2);

  cell red = spec_of({xy(2, 1), tup({255, 0, 0})});
  EXPECT_EQ(pixels(red), (std::vector<uint32_t>{0xFFFF0000u, 0xFFFF0000u}));
  cell clear_red = spec_of({xy(2, 1), tup({255, 0, 0, 255})});
  EXPECT_EQ(pixel(clear_red, 1), 0x00FF0000u);
  // The alpha bytes still apply over a fill colour.
  cell faded = spec_of({xy(2, 1), tup({0, 0, 255}), bytes_of(std::string("\x10\x00", 2), TYPE_BINARY)});
  EXPECT_EQ(pixels(faded), (std::vector<uint32_t>{0xEF0000FFu, 0xFF0000FFu}));

  EXPECT_EQ(test::int_of(run(ACT_LENGTH_Q, {red})), 2);
  EXPECT_EQ(test::int_of(run(ACT_LENGTH_Q, {make_image(xy(0, 7))})), 0);
}

TEST_F(images, make_from_rgb_and_alpha_bytes) {
  cell rgb = bytes_of(std::string("\xFF\x00\x00\x00\xFF\x00\x01\x02", 8), TYPE_BINARY);
  cell alpha = bytes_of(std::string("\x00\x80", 2), TYPE_BINARY);
  cell img = spec_of({xy(2, 2), rgb, alpha});
  // Two whole rgb triples and two alpha bytes: the rest stays opaque white.
  EXPECT_EQ(pixels(img), (std::vector<uint32_t>{0xFFFF0000u, 0x7F00FF00u, 0xFFFFFFFFu, 0xFFFFFFFFu}));
  cell rgb_only = spec_of({xy(1, 1), rgb});
  EXPECT_EQ(pixel(rgb_only, 0), 0xFFFF0000u);
}

TEST_F(images, make_refuses_bad_specs_and_sizes) {
  cell copied = numbered_3x2();
  cell again = run(ACT_MAKE, {copied, test::block_of({})});
  EXPECT_NE(again.data2, copied.data2);
  EXPECT_EQ(pixels(again), pixels(copied));

  struct bad { cell spec; error_id error; int line; };
  const bad bads[] = {
      {test::block_of({}), err::script_invalid_arg, __LINE__},
      {test::block_of({int_(2)}), err::script_invalid_arg, __LINE__},
      {test::block_of({xy(2, 2), int_(3)}), err::script_invalid_arg, __LINE__},
      {test::block_of({xy(2, 2), tup({1, 2, 3}), int_(3)}), err::script_invalid_arg, __LINE__},
      {test::block_of({xy(2, 2), tup({1, 2, 3}), bytes_of("", TYPE_BINARY), int_(3)}), err::script_invalid_arg, __LINE__},
      {xy(65536, 1), err::script_out_of_range, __LINE__},
      {xy(1, 65536), err::script_out_of_range, __LINE__},
      {xy(65535, 65535), err::internal_no_memory, __LINE__},
      {int_(5), err::script_bad_to_arg, __LINE__},
      {bytes_of("\x89PNG", TYPE_BINARY), err::script_bad_to_arg, __LINE__},
  };
  for (const bad& b : bads) EXPECT_TRUE(raises(b.error, [&] { make_image(b.spec); })) << "line " << b.line;
  EXPECT_TRUE(raises(err::script_bad_to_arg, [] { run(ACT_TO, {datatype::make_cell(TYPE_IMAGE), int_(1)}); }));

  // make counts a negative side as 0 (the out-of-range error for
  // negative sizes covers other datatypes' make, not image!).
  for (cell spec : {xy(-1, 2), xy(2, -1), test::block_of({xy(-3, 1)})}) {
    cell empty = make_image(spec);
    EXPECT_EQ(int64_t{image::width_of(&empty)} * image::height_of(&empty), 0);
  }
  cell clamped = make_image(xy(-2, 3));
  EXPECT_EQ(image::width_of(&clamped), 0);
  EXPECT_EQ(image::height_of(&clamped), 3);

  cell widest = make_image(xy(65535, 1));
  EXPECT_EQ(image::width_of(&widest), 65535);
  cell converted = run(ACT_TO, {datatype::make_cell(TYPE_IMAGE), copied});
  EXPECT_EQ(pixels(converted), pixels(copied));
}

TEST_F(images, pick_and_poke_by_index_and_pair) {
  cell img = numbered_3x2();
  struct row { cell position; const char* picked; int line; };
  const row rows[] = {
      {int_(1), "0.0.0.0", __LINE__},     {int_(6), "5.5.5.0", __LINE__},  {int_(0), "none", __LINE__},
      {int_(7), "none", __LINE__},        {int_(-1), "none", __LINE__},    {xy(1, 1), "0.0.0.0", __LINE__},
      {xy(3, 2), "5.5.5.0", __LINE__},    {xy(2, 2), "4.4.4.0", __LINE__}, {xy(4, 1), "none", __LINE__},
      {xy(0, 1), "none", __LINE__},       {xy(1, 3), "none", __LINE__},
  };
  for (const row& r : rows) EXPECT_EQ(tuple_text(run(ACT_PICK, {img, r.position})), r.picked) << "line " << r.line;

  // From the index, 1 is the pixel there and -1 the one before.
  cell moved = run(ACT_NEXT, {img});
  EXPECT_EQ(tuple_text(run(ACT_PICK, {moved, int_(1)})), "1.1.1.0");
  EXPECT_EQ(tuple_text(run(ACT_PICK, {moved, int_(-1)})), "0.0.0.0");

  run(ACT_POKE, {img, int_(1), tup({1, 2, 3})});
  EXPECT_EQ(pixel(img, 0), 0xFF010203u);  // a 3-byte tuple is opaque
  run(ACT_POKE, {img, xy(2, 1), tup({0, 0, 255, 255})});
  EXPECT_EQ(pixel(img, 1), 0x000000FFu);  // fully transparent blue
  EXPECT_EQ(tuple_text(run(ACT_PICK, {img, int_(2)})), "0.0.255.255");

  EXPECT_TRUE(raises(err::script_out_of_range, [&] { run(ACT_POKE, {img, int_(7), tup({1, 2, 3})}); }));
  EXPECT_TRUE(raises(err::script_out_of_range, [&] { run(ACT_POKE, {img, xy(4, 1), tup({1, 2, 3})}); }));
  EXPECT_TRUE(raises(err::script_invalid_arg, [&] { run(ACT_POKE, {img, int_(1), int_(5)}); }));
  EXPECT_EQ(pixel(img, 0), 0xFF010203u);  // a refused poke changes nothing
}

TEST_F(images, navigation_moves_within_the_pixels) {
  cell img = numbered_3x2();
  auto index = [](const cell& c) { return c.data1; };
  EXPECT_EQ(index(run(ACT_AT, {img, xy(2, 2)})), 4u);
  EXPECT_EQ(index(run(ACT_AT, {img, int_(0)})), 0u);
  EXPECT_EQ(index(run(ACT_AT, {img, int_(99)})), 6u);
  EXPECT_EQ(index(run(ACT_SKIP, {img, xy(1, 1)})), 4u);
  EXPECT_EQ(index(run(ACT_SKIP, {img, int_(-4)})), 0u);
  cell last = run(ACT_TAIL, {img});
  EXPECT_EQ(index(last), 6u);
  EXPECT_EQ(index(run(ACT_NEXT, {last})), 6u);
  EXPECT_EQ(index(run(ACT_BACK, {last})), 5u);
  cell at_end = run(ACT_TAIL_Q, {last}), not_at_end = run(ACT_TAIL_Q, {img});
  EXPECT_EQ(logic::get(&at_end), 1u);
  EXPECT_EQ(logic::get(&not_at_end), 0u);
  EXPECT_EQ(test::int_of(run(ACT_LENGTH_Q, {last})), 6);  // whatever the index
  EXPECT_EQ(test::int_of(run(ACT_INDEX_Q, {last})), 7);
  EXPECT_EQ(index(run(ACT_HEAD, {last})), 0u);
  EXPECT_TRUE(raises(err::script_invalid_arg, [&] { run(ACT_AT, {img, test::flt(1.5)}); }));
}

TEST_F(images, mold_and_form_texts) {
  cell red = spec_of({xy(2, 1), tup({255, 0, 0})});
  EXPECT_EQ(mold(red), "make image! [2x1 #{FF0000FF0000}]");
  EXPECT_EQ(text(run(ACT_FORM, {red}, {-1})), "make image! [2x1 #{FF0000FF0000}]");
  EXPECT_EQ(text(run(ACT_MOLD, {red}, {0, -1, -1, -1})), "2x1 #{FF0000FF0000}");
  EXPECT_EQ(mold(make_image(xy(0, 3))), "make image! [0x3 #{}]");

  // A second block only once a pixel is not opaque.
  cell seen = spec_of({xy(2, 1), tup({255, 0, 0, 10})});
  EXPECT_EQ(mold(seen), "make image! [2x1 #{FF0000FF0000} #{\n0A0A\n}]");
  EXPECT_EQ(text(run(ACT_MOLD, {seen}, {-1, -1, 1, -1})), "make image! [2x1 #{FF0000FF0000} #{0A0A}]");

  // More than 30 bytes of pixels: 10 to a line.
  std::string ten;
  for (int i = 0; i < 10; ++i) ten += "000000";
  cell eleven = spec_of({xy(11, 1), tup({0, 0, 0})});
  EXPECT_EQ(mold(eleven), "make image! [11x1 #{\n" + ten + "\n000000\n}]");
  cell twenty = spec_of({xy(10, 2), tup({0, 0, 0})});
  EXPECT_EQ(mold(twenty), "make image! [10x2 #{\n" + ten + "\n" + ten + "\n}]");
  EXPECT_EQ(text(run(ACT_MOLD, {twenty}, {-1, -1, 1, -1})), "make image! [10x2 #{" + ten + ten + "}]");

  // /part stops after the pixel that spends the budget.
  EXPECT_EQ(text(run(ACT_MOLD, {red, int_(20)}, {-1, -1, -1, 1})), "make image! [2x1 #{F");
  EXPECT_EQ(text(run(ACT_MOLD, {red, int_(100)}, {-1, -1, -1, 1})), "make image! [2x1 #{FF0000FF0000}]");
}

TEST_F(images, copy_cuts_rectangles) {
  cell img = numbered_3x2();
  auto grey = [](std::vector<int> levels) {
    std::vector<uint32_t> out;
    for (int v : levels) out.push_back(0xFF000000u | static_cast<uint32_t>(v) * 0x010101u);
    return out;
  };
  auto size = [](const cell& c) { return std::pair(image::width_of(&c), image::height_of(&c)); };
  cell whole = run(ACT_COPY, {img}, {-1, -1, -1});
  EXPECT_NE(whole.data2, img.data2);
  EXPECT_EQ(pixels(whole), pixels(img));

  cell at_4 = run(ACT_AT, {img, int_(5)});  // (1, 1)
  cell corner = run(ACT_COPY, {at_4}, {-1, -1, -1});
  EXPECT_EQ(size(corner), std::pair(2, 1));
  EXPECT_EQ(pixels(corner), grey({4, 5}));

  cell at_1 = run(ACT_NEXT, {img});  // (1, 0)
  cell part = run(ACT_COPY, {at_1, xy(5, 1)}, {1, -1, -1});  // cut to the image
  EXPECT_EQ(size(part), std::pair(2, 1));
  EXPECT_EQ(pixels(part), grey({1, 2}));
  cell between = run(ACT_COPY, {at_4, img}, {1, -1, -1});  // from (0, 0) to (1, 1)
  EXPECT_EQ(size(between), std::pair(1, 1));
  EXPECT_EQ(pixels(between), grey({0}));

  const cell empties[] = {xy(0, 2), xy(-1, 1), xy(2, -5)};
  for (const cell& e : empties) EXPECT_EQ(size(run(ACT_COPY, {img, e}, {1, -1, -1})), std::pair(0, 0));
  EXPECT_EQ(size(run(ACT_COPY, {run(ACT_TAIL, {img})}, {-1, -1, -1})), std::pair(0, 0));
  EXPECT_EQ(size(run(ACT_COPY, {make_image(xy(0, 5))}, {-1, -1, -1})), std::pair(0, 0));

  EXPECT_TRUE(raises(err::internal_not_done, [&] { run(ACT_COPY, {img, int_(2)}, {1, -1, -1}); }));
  EXPECT_TRUE(raises(err::script_invalid_refine_arg, [&] { run(ACT_COPY, {img, test::flt(2)}, {1, -1, -1}); }));
  cell other = numbered_3x2();
  EXPECT_TRUE(raises(err::script_invalid_refine_arg, [&] { run(ACT_COPY, {img, other}, {1, -1, -1}); }));
}

TEST_F(images, change_sets_pixels_and_pastes_images) {
  cell img = make_image(xy(3, 3));
  cell after = run(ACT_CHANGE, {img, tup({1, 2, 3})}, {-1, -1, -1});
  EXPECT_EQ(after.data1, 1u);
  EXPECT_EQ(pixel(img, 0), 0xFF010203u);

  // A 2x2 pasted at (2, 1) keeps only its first column; the index goes to
  // the end of the pasted rectangle's last row.
  cell patch = spec_of({xy(2, 2), tup({9, 9, 9})});
  cell at_5 = run(ACT_AT, {img, int_(6)});
  cell pasted = run(ACT_CHANGE, {at_5, patch}, {-1, -1, -1});
  EXPECT_EQ(pasted.data1, 9u);
  std::vector<uint32_t> expected(9, 0xFFFFFFFFu);
  expected[0] = 0xFF010203u;
  expected[5] = expected[8] = 0xFF090909u;
  EXPECT_EQ(pixels(img), expected);

  // An image pasted into itself reads its pixels before writing them.
  cell self = run(ACT_CHANGE, {run(ACT_AT, {img, int_(2)}), img}, {-1, -1, -1});
  EXPECT_EQ(self.data1, 9u);
  EXPECT_EQ(pixel(img, 1), 0xFF010203u);
  EXPECT_EQ(pixel(img, 8), 0xFFFFFFFFu);

  cell at_tail = run(ACT_TAIL, {img});
  EXPECT_EQ(run(ACT_CHANGE, {at_tail, patch}, {-1, -1, -1}).data1, 9u);
  EXPECT_TRUE(raises(err::script_out_of_range, [&] { run(ACT_CHANGE, {at_tail, tup({1, 1, 1})}, {-1, -1, -1}); }));
  EXPECT_TRUE(raises(err::internal_not_done, [&] { run(ACT_CHANGE, {img, tup({1, 1, 1}), int_(2)}, {2, -1, -1}); }));
  EXPECT_TRUE(raises(err::script_invalid_type, [&] { run(ACT_CHANGE, {img, int_(1)}, {-1, -1, -1}); }));
}

TEST_F(images, comparison) {
  cell a = numbered_3x2();
  cell b = numbered_3x2();
  cell wide = spec_of({xy(6, 1), tup({0, 0, 0})});
  cell tall = spec_of({xy(1, 6), tup({0, 0, 0})});
  EXPECT_EQ(test::compare(a, b, COMP_EQUAL), 0);
  EXPECT_EQ(test::compare(a, a, COMP_SAME), 0);
  EXPECT_EQ(test::compare(a, b, COMP_SAME), -1);
  // The same pixels in another shape are another image.
  EXPECT_NE(test::compare(wide, tall, COMP_EQUAL), 0);
  run(ACT_POKE, {b, int_(6), tup({6, 6, 6})});
  EXPECT_EQ(test::compare(a, b, COMP_SORT), -1);
  EXPECT_EQ(test::compare(b, a, COMP_SORT), 1);
  EXPECT_EQ(test::compare(make_image(xy(1, 1)), a, COMP_SORT), -1);  // fewer pixels first
  EXPECT_EQ(test::compare(a, b, COMP_LESSER), COMPARE_NONE);
  EXPECT_EQ(test::compare(a, int_(1), COMP_EQUAL), COMPARE_NONE);
}

TEST_F(images, path_fields) {
  cell img = spec_of({xy(2, 1), tup({1, 2, 3, 4})});
  auto get = [&](const cell& element) { return run(ACT_EVAL_PATH, {img, element}, {-1}); };
  auto set = [&](const cell& element, const cell& value) { run(ACT_EVAL_PATH, {img, element, value}, {2}); };
  auto bytes = [](cell bin) {
    memory::series_buffer* b = memory::GET_BUFFER(&bin);
    return std::string(memory::head_of<char>(b), memory::tail_of<char>(b));
  };
  cell size = get(error_word("size"));
  EXPECT_EQ(size.data2, 2u);
  EXPECT_EQ(size.data3, 1u);
  EXPECT_EQ(bytes(get(error_word("rgb"))), std::string("\x01\x02\x03\x01\x02\x03", 6));
  EXPECT_EQ(bytes(get(error_word("alpha"))), std::string("\x04\x04", 2));
  EXPECT_EQ(bytes(get(error_word("argb"))), std::string("\x03\x02\x01\xFB\x03\x02\x01\xFB", 8));
  EXPECT_EQ(tuple_text(get(xy(2, 1))), "1.2.3.4");

  set(error_word("rgb"), bytes_of("\x0A\x0B\x0C", TYPE_BINARY));  // one pixel's worth
  EXPECT_EQ(pixels(img), (std::vector<uint32_t>{0xFB0A0B0Cu, 0xFB010203u}));
  set(error_word("alpha"), int_(255));
  EXPECT_EQ(pixels(img), (std::vector<uint32_t>{0x000A0B0Cu, 0x00010203u}));
  set(error_word("argb"), tup({7, 8, 9}));
  EXPECT_EQ(pixels(img), (std::vector<uint32_t>{0xFF070809u, 0xFF070809u}));
  set(error_word("argb"), bytes_of(std::string("\x01\x02\x03\x04\x05", 5), TYPE_BINARY));
  EXPECT_EQ(pixels(img), (std::vector<uint32_t>{0x04030201u, 0xFF070805u}));
  set(int_(2), tup({0, 0, 0}));
  EXPECT_EQ(pixel(img, 1), 0xFF000000u);

  EXPECT_TRUE(raises(err::script_invalid_path, [&] { set(error_word("size"), xy(1, 1)); }));
  EXPECT_TRUE(raises(err::script_invalid_path, [&] { get(error_word("width")); }));
  EXPECT_TRUE(raises(err::script_invalid_path, [&] { get(test::flt(1)); }));
  EXPECT_TRUE(raises(err::script_invalid_arg, [&] { set(error_word("rgb"), test::flt(1)); }));
}

TEST_F(images, append_part_takes_an_image_value) {
  cell blk = test::block_of({});
  cell img = numbered_3x2();
  run(ACT_APPEND, {blk, img, int_(2)}, {2, -1, -1});
  ASSERT_EQ(memory::GET_BUFFER(&blk)->tail - memory::GET_BUFFER(&blk)->head, sizeof(cell));
  EXPECT_EQ(TYPE_OF(memory::head_of<cell>(memory::GET_BUFFER(&blk))), TYPE_IMAGE);
}

TEST_F(images, the_collector_keeps_and_moves_image_pixels) {
  cell img = spec_of({xy(40, 30), tup({12, 34, 56})});
  cell blk = test::block_of({img});
  for (int round = 0; round < 3; ++round) {
    for (int i = 0; i < 200; ++i) {  // garbage around it
      image::make_at(stack::push_slot(), 50, 50);
      stack::pop(1);
    }
    collector::do_cycle();
  }
  cell held = *memory::head_of<cell>(memory::GET_BUFFER(&blk));
  EXPECT_EQ(pixels(held), std::vector<uint32_t>(1200, 0xFF0C2238u));
  EXPECT_EQ(pixels(run(ACT_COPY, {held}, {-1, -1, -1})), pixels(held));
}

}  // namespace
}  // namespace ixo

// ---- The image service --------------------------------------------------------

namespace ixo {
namespace {

using test::tup;
using test::xy;

struct image_service : ::testing::Test {
  void SetUp() override {
    test::start_runtime();
    image::init();
    stack::reset();
  }
};

// image/push as the text UI uses it: nearest pixels, never a blend.
TEST_F(image_service, ScalingCopiesTheNearestPixel) {
  cell spec = test::block_of({xy(2, 1), test::bytes_of(std::string("\xFF\x00\x00\x00\x00\xFF", 6), TYPE_BINARY)});
  cell img = test::call_entry(actions::dispatchers[ACT_MAKE], {datatype::make_cell(TYPE_IMAGE), spec}, {});
  memory::root_guard keep(&img);
  cell scaled = *image_files::push_scaled(&img, 4, 1);
  ASSERT_EQ(image::width_of(&scaled), 4);
  const uint32_t* p = image::pixels_of(&scaled);
  EXPECT_EQ(std::vector<uint32_t>(p, p + 4), (std::vector<uint32_t>{0xFFFF0000u, 0xFFFF0000u, 0xFF0000FFu, 0xFF0000FFu}));
  cell none_wide = *image_files::push_scaled(&img, 0, 3);
  EXPECT_EQ(image::width_of(&none_wide) * image::height_of(&none_wide), 0);
}

// Encoding reads the pixels where they lie and decoding makes a new image:
// a collection at every allocation (IXO_GC_STRESS) must not disturb them.
TEST_F(image_service, EncodedBytesDecodeToTheSamePixels) {
  cell spec = test::block_of({xy(3, 1), tup({10, 20, 30})});
  cell img = test::call_entry(actions::dispatchers[ACT_MAKE], {datatype::make_cell(TYPE_IMAGE), spec}, {});
  cell bytes{TYPE_UNSET, 0, 0, 0}, back{TYPE_UNSET, 0, 0, 0};
  memory::root_guard keep(&img), keep_bytes(&bytes), keep_back(&back);
  for (int32_t format : {0, 1, 2, 4}) {
    image_files::encode(&img, &bytes, format);
    ASSERT_EQ(TYPE_OF(&bytes), TYPE_BINARY);
    EXPECT_TRUE(image_files::encoded_q(&bytes));
    image_files::decode_binary(&bytes, &back);
    ASSERT_EQ(TYPE_OF(&back), TYPE_IMAGE);
    const uint32_t* a = image::pixels_of(&img);
    const uint32_t* b = image::pixels_of(&back);
    EXPECT_EQ(std::vector<uint32_t>(a, a + 3), std::vector<uint32_t>(b, b + 3)) << format;
  }
}

}  // namespace
}  // namespace ixo
