// image!: making images from sizes, colours and bytes, pixel offsets by
// index or coordinate, pick and poke, the channel views, navigation,
// change and copy of rectangles, comparison, form and mold, and the
// registration row of image!.
//
// The pixels are a unit-4 series buffer reached through the cell's node;
// anything that allocates (a new image, a binary, a pushed tuple) may move
// it, so every function reads the pixel address again after allocating
// and keeps the cells it still needs rooted.
#include "runtime/datatypes/image.hpp"

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/core/ownership.hpp"
#include "runtime/datatypes/action_types.hpp"
#include "runtime/datatypes/binary.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/logic.hpp"
#include "runtime/datatypes/none.hpp"
#include "runtime/datatypes/pair.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/datatypes/tuple.hpp"
#include "runtime/datatypes/type_classes.hpp"
#include "runtime/datatypes/words.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/roots.hpp"
#include "runtime/memory/series_buffer.hpp"

namespace ixo::image {

using namespace memory;

namespace {

constexpr uint32_t OPAQUE_WHITE = 0xFFFFFFFFu;

int32_t pixel_count(const cell* img) { return width_of(img) * height_of(img); }

int32_t index_of(const cell* img) { return static_cast<int32_t>(std::min<uint32_t>(img->data1, pixel_count(img))); }

uint32_t alpha_of(uint32_t pixel) { return pixel >> 24; }

// ---- Pixels and tuples ---------------------------------------------------------

// r.g.b.t with t = 255 − A.
cell* push_pixel(uint32_t pixel) {
  uint32_t r = pixel >> 16 & 0xFF, g = pixel >> 8 & 0xFF, b = pixel & 0xFF;
  return tuple::push(4, r | g << 8 | b << 16 | (255 - alpha_of(pixel)) << 24, 0, 0);
}

// The tuple's first four bytes as r | g << 8 | b << 16 | t << 24, t = 0 for
// a 3-byte tuple.
uint32_t tuple_word(const cell* t) {
  const uint8_t* bytes = tuple::bytes_of(t);
  uint32_t transparency = tuple::length_of(t) >= 4 ? bytes[3] : 0;
  return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | transparency << 24;
}

// A colour word (r | g << 8 | b << 16 | t << 24) as a pixel.
uint32_t pixel_of_word(uint32_t v) {
  uint32_t r = v & 0xFF, g = v >> 8 & 0xFF, b = v >> 16 & 0xFF, t = v >> 24;
  return (255 - t) << 24 | r << 16 | g << 8 | b;
}

// ---- Construction --------------------------------------------------------------

// A new image of that size in c, its pixels left for the caller to fill.
cell* alloc_image(cell* c, int32_t width, int32_t height) {
  if (width < 0 || height < 0 || width > MAX_SIDE || height > MAX_SIDE) {
    fire(err::script_out_of_range, {pair::make_cell(width, height)});
  }
  int64_t count = static_cast<int64_t>(width) * height;
  if (count * 4 > INT32_MAX) fire(err::internal_no_memory);
  c->header = TYPE_UNSET;  // until the buffer exists: an allocation may collect
  uint32_t node = alloc_unit_series(static_cast<int32_t>(count), 4);
  series_buffer* b = buffer_of(node);
  b->tail = b->head + static_cast<uint32_t>(count * 4);
  *c = cell{TYPE_IMAGE, 0, node, static_cast<uint32_t>(height) << 16 | static_cast<uint32_t>(width)};
  return c;
}

// The rectangle of `img` at (x, y), cut to the image, as a new image in
// `result`; a rectangle with no width or height gives an empty image.
// `result` may be the image's own cell.
cell* copy_rectangle(const cell* img, cell* result, int64_t x, int64_t y, int64_t width, int64_t height) {
  cell source = *img;
  root_guard keep(&source);
  int32_t w = width_of(&source), h = height_of(&source);
  width = std::min<int64_t>(width, w - x);
  height = std::min<int64_t>(height, h - y);
  if (x < 0 || y < 0 || width <= 0 || height <= 0) return alloc_image(result, 0, 0);
  cell made{TYPE_UNSET, 0, 0, 0};
  root_guard keep_made(&made);
  alloc_image(&made, static_cast<int32_t>(width), static_cast<int32_t>(height));
  const uint32_t* from = pixels_of(&source);  // read after the allocation
  uint32_t* to = pixels_of(&made);
  for (int64_t row = 0; row < height; ++row) {
    std::memcpy(to + row * width, from + (y + row) * w + x, static_cast<size_t>(width) * 4);
  }
  *result = made;
  return result;
}

cell* copy_whole(const cell* img, cell* result) {
  return copy_rectangle(img, result, 0, 0, width_of(img), height_of(img));
}

// The pixels from rgb bytes (3 per pixel), then alpha bytes (one
// transparency per pixel), or a fill colour whose alpha the alpha bytes
// may still set; pixels the bytes do not reach stay opaque white.
void fill(cell* img, const cell* rgb, const cell* colour, const cell* alpha) {
  int32_t n = pixel_count(img);
  uint32_t* p = pixels_of(img);
  uint32_t blank = colour ? pixel_of_word(tuple_word(colour)) : OPAQUE_WHITE;
  std::fill(p, p + n, blank);
  if (rgb) {
    const uint8_t* bytes = binary::rs_head(rgb);
    int32_t covered = std::min(n, binary::rs_length_q(rgb) / 3);
    for (int32_t i = 0; i < covered; ++i, bytes += 3) {
      p[i] = 0xFF000000u | static_cast<uint32_t>(bytes[0]) << 16 | bytes[1] << 8 | bytes[2];
    }
  }
  if (alpha) {
    const uint8_t* bytes = binary::rs_head(alpha);
    int32_t covered = std::min(n, binary::rs_length_q(alpha));
    for (int32_t i = 0; i < covered; ++i) p[i] = (p[i] & 0x00FFFFFFu) | static_cast<uint32_t>(255 - bytes[i]) << 24;
  }
}

// make's block spec: a size, then rgb bytes or a fill colour, then alpha
// bytes, each part after the size optional.
cell* make_from_block(cell* result, const cell* spec) {
  int32_t count;
  const cell* values = block::values_of(spec, count);
  cell parts[3] = {none::none_value, none::none_value, none::none_value};
  root_guard keep_rgb(&parts[0]), keep_colour(&parts[1]), keep_alpha(&parts[2]);
  if (count < 1 || TYPE_OF(&values[0]) != TYPE_PAIR) fire(err::script_invalid_arg, {count ? values[0] : *spec});
  cell size = values[0];
  int32_t next = 1;
  if (next < count && TYPE_OF(&values[next]) == TYPE_BINARY) parts[0] = values[next++];
  else if (next < count && TYPE_OF(&values[next]) == TYPE_TUPLE) parts[1] = values[next++];
  if (next < count && TYPE_OF(&values[next]) == TYPE_BINARY) parts[2] = values[next++];
  if (next < count) fire(err::script_invalid_arg, {values[next]});
  alloc_image(result, std::max(0, pair::x_of(&size)), std::max(0, pair::y_of(&size)));
  auto given = [](const cell& c) { return TYPE_OF(&c) == TYPE_NONE ? nullptr : &c; };
  fill(result, given(parts[0]), given(parts[1]), given(parts[2]));
  return result;
}

cell* to(cell* proto, cell* spec, int32_t) {
  if (TYPE_OF(spec) == TYPE_IMAGE) return copy_whole(spec, proto);
  fire(err::script_bad_to_arg, {datatype::make_cell(TYPE_IMAGE), *spec});
}

cell* make(cell* proto, cell* spec, int32_t type) {
  switch (TYPE_OF(spec)) {
    case TYPE_PAIR:  // a negative side counts as 0
      return make_at(proto, std::max(0, pair::x_of(spec)), std::max(0, pair::y_of(spec)));
    case TYPE_BLOCK:
      if (block::rs_length_q(spec) == 0) {
        if (TYPE_OF(proto) != TYPE_IMAGE) fire(err::script_invalid_arg, {*spec});
        return copy_whole(proto, proto);
      }
      return make_from_block(proto, spec);
    default:
      return to(proto, spec, type);
  }
}

// ---- Pixel offsets -------------------------------------------------------------

// The offset an integer! or pair! position names from the image's index:
// mode 1 counts from 1 (at, pick, poke), mode 0 is a relative move (skip).
// The offset is clamped to 0 .. width × height; out_of_range tells whether
// the position names no pixel. Any other position raises
// script/invalid-arg.
int32_t pixel_index(const cell* img, const cell* position, int32_t mode, bool& out_of_range) {
  int64_t w = width_of(img), h = height_of(img), n = w * h;
  int64_t e;
  out_of_range = false;
  if (TYPE_OF(position) == TYPE_PAIR) {
    int64_t x = pair::x_of(position), y = pair::y_of(position);
    if (mode == 1) {
      e = x + w * (y > 0 ? y - 1 : y);
      out_of_range = x < 1 || x > w || y < 1 || y > h;
    } else {
      e = x + w * y;
      out_of_range = x < 0 || x >= w || y < 0 || y >= h;
    }
  } else if (TYPE_OF(position) == TYPE_INTEGER) {
    e = integer::get(position);
  } else {
    fire(err::script_invalid_arg, {*position});
  }
  int64_t offset = e + index_of(img) - mode;
  if (mode == 1 && e <= 0) ++offset;
  if (e == 0 || offset < 0 || offset >= n) out_of_range = true;
  return static_cast<int32_t>(std::clamp<int64_t>(offset, 0, n));
}

// ---- Pixel access --------------------------------------------------------------

cell* pick_pixel(cell* img, const cell* position) {
  bool out;
  int32_t offset = pixel_index(img, position, 1, out);
  if (out) return &none::none_value;
  return push_pixel(pixels_of(img)[offset]);
}

cell* poke_pixel(cell* img, const cell* position, cell* value) {
  bool out;
  int32_t offset = pixel_index(img, position, 1, out);
  if (out) fire(err::script_out_of_range, {*position});
  if (TYPE_OF(value) != TYPE_TUPLE) fire(err::script_invalid_arg, {*value});
  uint32_t pixel = pixel_of_word(tuple_word(value));
  bool owned = ownership::check(img, words::word_poke, value, offset, 1);
  pixels_of(img)[offset] = pixel;
  if (owned) ownership::check(img, words::word_poked, value, offset, 1);
  return value;
}

// A position given to pick or poke: the argument itself when it is a
// pair! or integer!, else the number the dispatcher read from it.
cell position_of(int32_t index, const cell* boxed) {
  if (TYPE_OF(boxed) == TYPE_PAIR || TYPE_OF(boxed) == TYPE_INTEGER) return *boxed;
  return integer::make_cell(index);
}

cell* pick(cell* img, int32_t index, cell* boxed) {
  cell position = position_of(index, boxed);
  return pick_pixel(img, &position);
}

cell* poke(cell* img, int32_t index, cell* data, cell* boxed) {
  cell position = position_of(index, boxed);
  return poke_pixel(img, &position, data);
}

// ---- Navigation ----------------------------------------------------------------

void at() {
  bool out;
  stack::arguments->data1 = static_cast<uint32_t>(pixel_index(stack::arguments, stack::arguments + 1, 1, out));
}

void skip() {
  bool out;
  stack::arguments->data1 = static_cast<uint32_t>(pixel_index(stack::arguments, stack::arguments + 1, 0, out));
}

void next() {
  cell* img = stack::arguments;
  if (static_cast<int64_t>(img->data1) + 1 <= pixel_count(img)) ++img->data1;
}

void tail() { stack::arguments->data1 = static_cast<uint32_t>(pixel_count(stack::arguments)); }

void tail_q() {
  cell* img = stack::arguments;
  stack::set_last(logic::make_cell(pixel_count(img) < static_cast<int64_t>(img->data1) + 1));
}

int32_t length_q(cell* img) { return pixel_count(img); }

// ---- Channel views in paths ----------------------------------------------------

// The channel a path word names, or -1.
int32_t channel_of(const cell* word) {
  if (symbol::EQUAL_WORDS_q(word, words::sym_rgb)) return CHANNEL_RGB;
  if (symbol::EQUAL_WORDS_q(word, words::sym_alpha)) return CHANNEL_ALPHA;
  if (symbol::EQUAL_WORDS_q(word, words::sym_argb)) return CHANNEL_ARGB;
  return -1;
}


cell* eval_path(cell* img, cell* element, cell* value, cell* path, cell*, cell*, int32_t, int32_t, int32_t,
                int32_t, int32_t) {
  uint32_t t = TYPE_OF(element);
  if (t == TYPE_INTEGER || t == TYPE_PAIR) return value ? poke_pixel(img, element, value) : pick_pixel(img, element);
  if (any_word_q(TYPE_OF(element))) {
    if (symbol::EQUAL_WORDS_q(element, words::sym_size)) {
      if (value) fire(err::script_invalid_path, {*path, *element});
      return stack::push(pair::make_cell(width_of(img), height_of(img)));
    }
    int32_t format = channel_of(element);
    if (format >= 0) {
      if (value) {
        set_data(img, format, value);
        return value;
      }
      return extract_data(img, format, stack::push_slot());
    }
  }
  fire(err::script_invalid_path, {*path, *element});
}

// ---- change --------------------------------------------------------------------

// The source image pasted with its top-left corner at the target's index;
// rows and columns are copied while they lie inside both images. Answers
// the index after the pasted rectangle's last row, or the index unchanged
// when nothing was pasted.
int32_t paste(cell* img, const cell* source) {
  int32_t w = width_of(img), h = height_of(img);
  int32_t index = index_of(img);
  int32_t left = index % w, top = index / w;
  int32_t sw = width_of(source), sh = height_of(source);
  int32_t rows = std::min(sh, h - top), columns = std::min(sw, w - left);
  if (rows <= 0 || columns <= 0) return index;
  // Through a copy: the source may be the image itself.
  const uint32_t* from = pixels_of(source);
  std::vector<uint32_t> pixels(from, from + static_cast<size_t>(sw) * sh);
  uint32_t* to = pixels_of(img);
  for (int32_t row = 0; row < rows; ++row) {
    std::memcpy(to + static_cast<int64_t>(top + row) * w + left, pixels.data() + static_cast<int64_t>(row) * sw,
                static_cast<size_t>(columns) * 4);
  }
  return (top + rows - 1) * w + std::min(left + sw, w);
}

cell* change(cell* img, cell* value, int32_t part, int32_t, int32_t dup) {
  if (part >= 2 || dup >= 2) fire(err::internal_not_done);
  uint32_t t = TYPE_OF(value);
  if (t != TYPE_TUPLE && t != TYPE_IMAGE) fire(err::script_invalid_type, {datatype::make_cell(t)});
  if (dup < 1) return img;  // a count below 1 changes nothing
  int32_t index = index_of(img);
  int32_t n = pixel_count(img);
  // A pixel at the tail would lie outside the image, which cannot grow.
  if (t == TYPE_TUPLE && index >= n) fire(err::script_out_of_range, {integer::make_cell(index + 1)});
  bool owned = ownership::check(img, words::word_change, value, index, 1);
  int32_t after;
  if (t == TYPE_TUPLE) {
    pixels_of(img)[index] = pixel_of_word(tuple_word(value));
    after = index + 1;
  } else {
    after = index < n ? paste(img, value) : index;
  }
  img->data1 = static_cast<uint32_t>(after);
  if (owned) ownership::check(img, words::word_changed, value, index, std::max(after - index, 1));
  return img;
}

// ---- copy ----------------------------------------------------------------------

cell* copy(cell* img, cell* result, cell* part, int32_t, cell*) {
  int32_t w = width_of(img), h = height_of(img);
  if (w == 0 || h == 0) return alloc_image(result, 0, 0);
  int32_t index = index_of(img);
  int64_t x = index % w, y = index / w;
  if (!stack::given_q(part)) {
    if (index == 0) return copy_whole(img, result);
    return copy_rectangle(img, result, x, y, w - x, h - y);
  }
  switch (TYPE_OF(part)) {
    case TYPE_INTEGER:
      fire(err::internal_not_done);
    case TYPE_PAIR:
      return copy_rectangle(img, result, x, y, pair::x_of(part), pair::y_of(part));
    case TYPE_IMAGE:
      if (part->data2 == img->data2) {
        int32_t other = index_of(part);
        int32_t from = std::min(index, other), to = std::max(index, other);
        int64_t x1 = from % w, y1 = from / w, x2 = to % w, y2 = to / w;
        return copy_rectangle(img, result, x1, y1, x2 - x1, y2 - y1);
      }
      break;
    default:
      break;
  }
  fire(err::script_invalid_refine_arg, {*refinements::part, *part});
}

// ---- Comparison ----------------------------------------------------------------

// Images are ordered by pixel count, then by width, so that two sizes
// with the same count never compare equal, then by their pixel memory.
int32_t compare(const cell* img, const cell* other, int32_t op) {
  if (TYPE_OF(other) != TYPE_IMAGE) return COMPARE_NONE;
  bool same = img->data2 == other->data2 && index_of(img) == index_of(other);
  switch (op) {
    case COMP_SAME:
      return same ? 0 : -1;
    case COMP_EQUAL: case COMP_NOT_EQUAL: case COMP_STRICT_EQUAL:
      if (same) return 0;
      break;
    case COMP_SORT: case COMP_CASE_SORT: case COMP_FIND:
      break;
    default:
      return COMPARE_NONE;
  }
  int32_t a = pixel_count(img), b = pixel_count(other);
  if (a != b) return a < b ? -1 : 1;
  a = width_of(img);
  b = width_of(other);
  if (a != b) return a < b ? -1 : 1;
  int r = std::memcmp(pixels_of(img), pixels_of(other), static_cast<size_t>(pixel_count(img)) * 4);
  return r < 0 ? -1 : r > 0 ? 1 : 0;
}

// ---- form and mold -------------------------------------------------------------

// The text is gathered in host memory, with the /part budget checked after
// every pixel, and appended to the buffer once.
struct mold_text {
  std::string text;
  bool flat;
  int32_t indent;
  bool part_given;
  int32_t part;

  void line() {
    if (flat) return;
    text += '\n';
    text.append(static_cast<size_t>(indent) * 4, ' ');
  }
  bool spent() const { return part_given && part - static_cast<int64_t>(text.size()) <= 0; }
};

const char HEX[] = "0123456789ABCDEF";

void add_hex(std::string& text, uint32_t byte) {
  text += HEX[byte >> 4 & 0xF];
  text += HEX[byte & 0xF];
}

// One "#{...}" of every pixel's digits; with line breaks, the digits start
// on a new line, run 10 pixels to a line, and "}" stands on its own line.
// Answers false when the budget ran out.
template <class Digits>
bool add_pixels(mold_text& out, const uint32_t* pixels, int32_t n, bool breaks, Digits digits) {
  out.text += "#{";
  if (breaks) out.line();
  for (int32_t i = 0; i < n; ++i) {
    digits(out.text, pixels[i]);
    if (breaks && (i + 1) % 10 == 0) out.line();
    if (out.spent()) return false;
  }
  if (breaks && n % 10 != 0) out.line();
  out.text += '}';
  return true;
}

int32_t form_mold(cell* img, cell* buffer, bool only, bool flat, bool part_given, int32_t part, int32_t indent) {
  mold_text out{{}, flat, indent, part_given, part};
  int32_t w = width_of(img), h = height_of(img), n = w * h;
  if (!only) out.text += "make image! [";
  out.text += std::to_string(w) + "x" + std::to_string(h) + " ";
  const uint32_t* pixels = pixels_of(img);
  bool complete = add_pixels(out, pixels, n, n * 3 > 30, [](std::string& text, uint32_t p) {
    add_hex(text, p >> 16);
    add_hex(text, p >> 8);
    add_hex(text, p);
  });
  if (complete && std::any_of(pixels, pixels + n, [](uint32_t p) { return alpha_of(p) < 255; })) {
    out.text += ' ';
    complete = add_pixels(out, pixels, n, true, [](std::string& text, uint32_t p) { add_hex(text, 255 - alpha_of(p)); });
  }
  if (complete && !only) out.text += ']';
  return datatype::append_text(buffer, out.text.c_str(), part);
}

int32_t form(cell* img, cell* buffer, cell* arg, int32_t part) {
  return form_mold(img, buffer, false, false, stack::given_q(arg), part, 0);
}

int32_t mold(cell* img, cell* buffer, int32_t only, int32_t, int32_t flat, cell* arg, int32_t part, int32_t indent) {
  return form_mold(img, buffer, only != 0, flat != 0, stack::given_q(arg), part, indent);
}

}  // namespace

// ---- Public helpers ------------------------------------------------------------

cell* make_at(cell* c, int32_t width, int32_t height) {
  alloc_image(c, width, height);
  uint32_t* p = pixels_of(c);
  std::fill(p, p + pixel_count(c), OPAQUE_WHITE);
  return c;
}

cell* extract_data(const cell* img, int32_t format, cell* result) {
  cell source = *img;
  root_guard keep(&source);
  int32_t n = pixel_count(&source);
  int32_t per_pixel = format == CHANNEL_ALPHA ? 1 : format == CHANNEL_RGB ? 3 : 4;
  binary::make_at(result, n * per_pixel);
  series_buffer* out = GET_BUFFER(result);
  uint8_t* to = head_of(out);
  const uint32_t* from = pixels_of(&source);  // read after the allocation
  if (format == CHANNEL_ARGB) {
    std::memcpy(to, from, static_cast<size_t>(n) * 4);
    to += static_cast<size_t>(n) * 4;
  }
  for (int32_t i = 0; format != CHANNEL_ARGB && i < n; ++i) {
    uint32_t p = from[i];
    if (format == CHANNEL_ALPHA) {
      *to++ = static_cast<uint8_t>(255 - alpha_of(p));
    } else {
      *to++ = static_cast<uint8_t>(p >> 16);
      *to++ = static_cast<uint8_t>(p >> 8);
      *to++ = static_cast<uint8_t>(p);
    }
  }
  set_tail(out, to);
  return result;
}

void set_data(cell* img, int32_t format, const cell* value) {
  int32_t n = pixel_count(img);
  uint32_t* p = pixels_of(img);
  uint32_t t = TYPE_OF(value);
  if (t == TYPE_BINARY) {
    const uint8_t* bytes = binary::rs_head(value);
    int32_t count = binary::rs_length_q(value);
    if (format == CHANNEL_ARGB) {
      std::memcpy(p, bytes, static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(n) * 4, count)));
    } else if (format == CHANNEL_RGB) {
      int32_t covered = std::min(n, count / 3);
      for (int32_t i = 0; i < covered; ++i, bytes += 3) {
        p[i] = (p[i] & 0xFF000000u) | static_cast<uint32_t>(bytes[0]) << 16 | bytes[1] << 8 | bytes[2];
      }
    } else {
      int32_t covered = std::min(n, count);
      for (int32_t i = 0; i < covered; ++i) p[i] = (p[i] & 0x00FFFFFFu) | static_cast<uint32_t>(255 - bytes[i]) << 24;
    }
  } else if (t == TYPE_TUPLE || t == TYPE_INTEGER) {
    uint32_t v = t == TYPE_TUPLE ? tuple_word(value) : value->data2;
    uint32_t colour = pixel_of_word(v);
    for (int32_t i = 0; i < n; ++i) {
      if (format == CHANNEL_ARGB) p[i] = colour;
      else if (format == CHANNEL_RGB) p[i] = (p[i] & 0xFF000000u) | (colour & 0x00FFFFFFu);
      else p[i] = (p[i] & 0x00FFFFFFu) | (255 - (v & 0xFF)) << 24;
    }
  } else {
    fire(err::script_invalid_arg, {*value});
  }
  ownership::check(img, words::word_changed, value, 0, n);
}

uint32_t* pixels_of(const cell* img) { return head_of<uint32_t>(GET_BUFFER(img)); }

cell* make_unfilled_at(cell* c, int32_t width, int32_t height) { return alloc_image(c, width, height); }

// ---- Registration --------------------------------------------------------------

void init() {
  // clang-format off
  datatype::register_type(datatype_registration(TYPE_IMAGE, TYPE_SERIES, "image!",
    /* make .. set-path */     make, unsupported, unsupported, to, form, mold, eval_path, unsupported,
    /* compare .. remainder */ compare, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* round .. xor~ */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* append .. head */       unsupported, at, inherit, change, unsupported, copy, unsupported, inherit,
    /* head? .. poke */        inherit, inherit, unsupported, length_q, unsupported, next, pick, poke,
    /* put .. tail */          unsupported, unsupported, unsupported, unsupported, unsupported, skip, unsupported, tail,
    /* tail? .. open */        tail_q, unsupported, unsupported, unsupported, unsupported, unsupported, inherit, unsupported,
    /* open? .. write */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported));
  // clang-format on
}

}  // namespace ixo::image
