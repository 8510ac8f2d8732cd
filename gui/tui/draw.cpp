// The draw dialect in character cells, and the rich-text styles. Positions
// are cells relative to the face's area; colours are tuples (or words whose
// value is one) mapped to the xterm palette. Nothing here allocates in the
// arena except raising an error, so the pointers into a draw block stay
// valid while a command is read.
#include "gui/tui/draw.hpp"

#include <algorithm>
#include <cmath>
#include <initializer_list>

#include "gui/tui/widgets.hpp"
#include "runtime/core/char_width.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/context.hpp"
#include "runtime/datatypes/image.hpp"
#include "runtime/datatypes/object.hpp"
#include "runtime/datatypes/pair.hpp"
#include "runtime/datatypes/point2d.hpp"
#include "runtime/datatypes/routine.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/datatypes/type_classes.hpp"
#include "runtime/datatypes/word.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/memory.hpp"
#include "runtime/memory/roots.hpp"

namespace ixo::tui::draw {

namespace {

// ---- Words -------------------------------------------------------------------

enum draw_word : int32_t {
  W_PEN, W_FILL_PEN, W_LINE, W_BOX, W_TRIANGLE, W_CIRCLE, W_ELLIPSE, W_FONT, W_TEXT,
  W_POLYGON, W_ARC, W_CURVE, W_SPLINE, W_IMAGE, W_SHADOW, W_ANTI_ALIAS, W_LINE_WIDTH,
  W_LINE_JOIN, W_LINE_CAP, W_LINE_PATTERN, W_MATRIX, W_RESET_MATRIX, W_INVERT_MATRIX,
  W_SHAPE, W_PUSH, W_CLIP, W_ROTATE, W_SCALE, W_TRANSLATE, W_SKEW, W_TRANSFORM,
  W_OFF, W_ON, W_CLOSED, W_BORDER, W_CROP, W_INSET,
  W_LINEAR, W_RADIAL, W_DIAMOND, W_PAD, W_REPEAT, W_REFLECT, W_PATTERN, W_BITMAP,
  W_TILE, W_FLIP_X, W_FLIP_Y, W_FLIP_XY, W_CLAMP,
  W_REPLACE, W_INTERSECT, W_UNION, W_XOR, W_EXCLUDE,
  W_MITER, W_ROUND, W_BEVEL, W_MITER_BEVEL, W_FLAT, W_SQUARE,
  W_MOVE, W_HLINE, W_VLINE, W_CURV, W_QCURVE, W_QCURV, W_CLOSE, W_SWEEP, W_LARGE,
  W_BOLD, W_ITALIC, W_UNDERLINE, W_STRIKE, W_BACKDROP, W_COLOR, W_TYPE, W_RICH_TEXT,
  W_COUNT
};

constexpr const char* WORD_NAMES[W_COUNT] = {
    "pen", "fill-pen", "line", "box", "triangle", "circle", "ellipse", "font", "text",
    "polygon", "arc", "curve", "spline", "image", "shadow", "anti-alias", "line-width",
    "line-join", "line-cap", "line-pattern", "matrix", "reset-matrix", "invert-matrix",
    "shape", "push", "clip", "rotate", "scale", "translate", "skew", "transform",
    "off", "on", "closed", "border", "crop", "inset",
    "linear", "radial", "diamond", "pad", "repeat", "reflect", "pattern", "bitmap",
    "tile", "flip-x", "flip-y", "flip-xy", "clamp",
    "replace", "intersect", "union", "xor", "exclude",
    "miter", "round", "bevel", "miter-bevel", "flat", "square",
    "move", "hline", "vline", "curv", "qcurve", "qcurv", "close", "sweep", "large",
    "bold", "italic", "underline", "strike", "backdrop", "color", "type", "rich-text"};

int32_t symbols[W_COUNT];

bool is_word(const cell* v, int32_t w) {
  return v && TYPE_OF(v) == TYPE_WORD && symbol::EQUAL_WORDS_q(v, symbols[w]);
}

// The value of a word, or null when it has none that can be read here
// (unbound, or local to a function that is not running).
const cell* word_value(const cell* word) {
  uint32_t ctx = word->data1;
  int32_t index = static_cast<int32_t>(word->data3);
  if (ctx == 0 || index < 0) return nullptr;
  const cell* c = context::context_cell(ctx);
  if (!context::stack_q(c)) return memory::head_of<cell>(memory::buffer_of(c->data2)) + index;
  if (c->data2) return memory::address<cell>(c->data2) + index;
  return nullptr;
}

// ---- Reading commands ----------------------------------------------------------

// A position in a draw block: the cells from the block's index, read again
// for every command.
struct reader {
  const cell* v;
  int32_t count;
  int32_t i;
  const cell* peek() const { return i < count ? v + i : nullptr; }
  const cell* take() { return i < count ? v + i++ : nullptr; }
};

[[noreturn]] void invalid(const cell* value) {
  cell arg = value ? *value : cell{TYPE_NONE, 0, 0, 0};
  fire(err::script_draw_invalid, {arg});
}

struct point {
  int32_t x, y;
};

bool point_q(const cell* v) { return v && (TYPE_OF(v) == TYPE_PAIR || TYPE_OF(v) == TYPE_POINT2D); }
bool number_q(const cell* v) { return v && integer_or_float_q(TYPE_OF(v)); }

point point_of(const cell* v) {
  if (TYPE_OF(v) == TYPE_PAIR) return {pair::x_of(v), pair::y_of(v)};
  return {static_cast<int32_t>(point2D::coordinate(v, 0)), static_cast<int32_t>(point2D::coordinate(v, 1))};
}
double number_of(const cell* v) {
  return TYPE_OF(v) == TYPE_INTEGER ? static_cast<int32_t>(v->data2) : get_float(v);
}

// A tuple, or a word whose value is one; null otherwise.
const cell* color_cell(const cell* v) {
  if (!v) return nullptr;
  if (TYPE_OF(v) == TYPE_TUPLE) return v;
  if (TYPE_OF(v) == TYPE_WORD) {
    const cell* value = word_value(v);
    if (value && TYPE_OF(value) == TYPE_TUPLE) return value;
  }
  return nullptr;
}
bool color_q(const cell* v) { return color_cell(v) != nullptr; }
uint32_t color_of(const cell* v) { return rgb_to_256(color_value(color_cell(v))); }

// An image!, or a word whose value is one.
bool image_q(const cell* v) {
  if (!v) return false;
  if (TYPE_OF(v) == TYPE_WORD) v = word_value(v);
  return v && TYPE_OF(v) == TYPE_IMAGE;
}

point take_point(reader& r) {
  const cell* v = r.take();
  if (!point_q(v)) invalid(v);
  return point_of(v);
}
double take_number(reader& r) {
  const cell* v = r.take();
  if (!number_q(v)) invalid(v);
  return number_of(v);
}
// The points that follow, at least `least` of them.
std::vector<point> take_points(reader& r, size_t least) {
  std::vector<point> points;
  while (point_q(r.peek())) points.push_back(point_of(r.take()));
  if (points.size() < least) invalid(r.peek());
  return points;
}
// Consumes the next value when it is the word.
bool take_word(reader& r, int32_t w) {
  if (!is_word(r.peek(), w)) return false;
  ++r.i;
  return true;
}
bool take_any_word(reader& r, std::initializer_list<int32_t> words) {
  for (int32_t w : words)
    if (take_word(r, w)) return true;
  return false;
}
void skip_numbers(reader& r) {
  while (number_q(r.peek())) ++r.i;
}

// ---- Painting -------------------------------------------------------------------

constexpr int32_t FULL_BLOCK = 0x2588;

// Paints a full-block cell in the pen colour when the cell is in the clip.
void plot(const draw_context& ctx, int32_t x, int32_t y) {
  if (!ctx.clip.contains_q(x, y)) return;
  screen_cell* c = cell_at(x, y);
  if (!c) return;
  c->code = FULL_BLOCK;
  c->fg = ctx.pen_color;
  c->attrs &= ~ATTR_CONTINUATION;
}

// A space in the fill colour.
void fill(const draw_context& ctx, int32_t x, int32_t y) {
  if (!ctx.clip.contains_q(x, y)) return;
  screen_cell* c = cell_at(x, y);
  if (!c) return;
  c->code = ' ';
  c->bg = ctx.fill_color;
  c->attrs &= ~ATTR_CONTINUATION;
}

// One segment in absolute cells, Bresenham's steps; it stops at the first
// point off the screen.
void segment(const draw_context& ctx, point a, point b) {
  int32_t dx = std::abs(b.x - a.x), dy = -std::abs(b.y - a.y);
  int32_t sx = a.x < b.x ? 1 : -1, sy = a.y < b.y ? 1 : -1;
  int32_t err = dx + dy;
  for (;;) {
    if (!cell_at(a.x, a.y)) return;
    plot(ctx, a.x, a.y);
    if (a.x == b.x && a.y == b.y) return;
    int32_t e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      a.x += sx;
    }
    if (e2 <= dx) {
      err += dx;
      a.y += sy;
    }
  }
}

point absolute(const draw_context& ctx, point p) { return {ctx.origin_x + p.x, ctx.origin_y + p.y}; }

void paint_box(const draw_context& ctx, point a, point b) {
  a = absolute(ctx, a);
  b = absolute(ctx, b);
  int32_t x1 = std::min(a.x, b.x), x2 = std::max(a.x, b.x);
  int32_t y1 = std::min(a.y, b.y), y2 = std::max(a.y, b.y);
  if (ctx.fill_on)
    for (int32_t y = y1; y <= y2; ++y)
      for (int32_t x = x1; x <= x2; ++x) fill(ctx, x, y);
  if (!ctx.pen_on) return;
  for (int32_t y = y1; y <= y2; ++y)
    for (int32_t x = x1; x <= x2; ++x) {
      bool top = y == y1, bottom = y == y2, left = x == x1, right = x == x2;
      if (!(top || bottom || left || right) || !ctx.clip.contains_q(x, y)) continue;
      screen_cell* c = cell_at(x, y);
      if (!c) continue;
      c->code = top && left      ? 0x250C
                : top && right   ? 0x2510
                : bottom && left ? 0x2514
                : bottom && right ? 0x2518
                : left || right  ? 0x2502
                                 : 0x2500;
      c->fg = ctx.pen_color;
      c->attrs &= ~ATTR_CONTINUATION;
    }
}

void paint_triangle(const draw_context& ctx, point p0, point p1, point p2) {
  point p[3] = {absolute(ctx, p0), absolute(ctx, p1), absolute(ctx, p2)};
  if (ctx.fill_on) {
    int32_t top = std::min({p[0].y, p[1].y, p[2].y}), bottom = std::max({p[0].y, p[1].y, p[2].y});
    for (int32_t y = top; y <= bottom; ++y) {
      // Where the edges cross this line; a triangle is convex, so its
      // interior on the line runs from the first crossing to the last.
      std::vector<double> xs;
      for (int32_t k = 0; k < 3; ++k) {
        point a = p[k], b = p[(k + 1) % 3];
        if (a.y == b.y) {
          if (a.y == y) {
            xs.push_back(a.x);
            xs.push_back(b.x);
          }
        } else if (y >= std::min(a.y, b.y) && y <= std::max(a.y, b.y)) {
          xs.push_back(a.x + static_cast<double>(y - a.y) * (b.x - a.x) / (b.y - a.y));
        }
      }
      if (xs.empty()) continue;
      std::sort(xs.begin(), xs.end());
      for (int32_t x = static_cast<int32_t>(std::lround(xs.front())); x <= std::lround(xs.back()); ++x)
        fill(ctx, x, y);
    }
  }
  if (ctx.pen_on)
    for (int32_t k = 0; k < 3; ++k) segment(ctx, p[k], p[(k + 1) % 3]);
}

// An ellipse of radii rx, ry around (cx, cy) in absolute cells: the
// interior in the fill colour, the outline in full blocks. Each row of the
// outline takes the cells at the ellipse's half-width there, and each
// column those at its half-height, so steep and flat parts both close.
void paint_ellipse(const draw_context& ctx, int32_t cx, int32_t cy, int32_t rx, int32_t ry) {
  if (rx < 0 || ry < 0) return;
  auto half_width = [&](int32_t dy) {
    if (ry == 0) return rx;
    double t = 1.0 - static_cast<double>(dy) * dy / (static_cast<double>(ry) * ry);
    return static_cast<int32_t>(std::lround(rx * std::sqrt(std::max(0.0, t))));
  };
  auto half_height = [&](int32_t dx) {
    if (rx == 0) return ry;
    double t = 1.0 - static_cast<double>(dx) * dx / (static_cast<double>(rx) * rx);
    return static_cast<int32_t>(std::lround(ry * std::sqrt(std::max(0.0, t))));
  };
  if (ctx.fill_on)
    for (int32_t dy = -ry; dy <= ry; ++dy) {
      int32_t w = half_width(dy);
      for (int32_t x = cx - w; x <= cx + w; ++x) fill(ctx, x, cy + dy);
    }
  if (!ctx.pen_on) return;
  for (int32_t dy = -ry; dy <= ry; ++dy) {
    int32_t w = half_width(dy);
    plot(ctx, cx - w, cy + dy);
    plot(ctx, cx + w, cy + dy);
  }
  for (int32_t dx = -rx; dx <= rx; ++dx) {
    int32_t h = half_height(dx);
    plot(ctx, cx + dx, cy - h);
    plot(ctx, cx + dx, cy + h);
  }
}

void styles_pass(std::vector<screen_cell>* runs, const cell* data);

// Text keeps the background of the cells it lands on: it is drawn with
// this stand-in background, which is then replaced by the cell's own.
constexpr uint32_t KEEP_BACKGROUND = 0xFE000000;

// The cells of a rich-text face's text, styled by its `data`: the runs of
// its widget when it has one, else made here as its widget would make them.
std::vector<screen_cell> rich_text_runs(const cell* face) {
  widget_ref w = face_handle_q(face);
  if (w) return widget_at(w).runs;
  std::vector<screen_cell> runs;
  const cell* values = object::get_values(face);
  if (TYPE_OF(values + FACE_TEXT) != TYPE_STRING) return runs;
  const cell* color = values + FACE_COLOR;
  uint32_t bg = TYPE_OF(color) == TYPE_TUPLE ? rgb_to_256(color_value(color)) : COLOR_DEFAULT;
  text_units text = string_units(values + FACE_TEXT);
  for (int32_t i = 0; i < text.length; ++i) runs.push_back({text.at(i), bg, COLOR_DEFAULT, 0});
  if (TYPE_OF(values + FACE_DATA) == TYPE_BLOCK) apply_rich_text_styles(runs, values + FACE_DATA);
  return runs;
}

bool rich_text_face_q(const cell* value) {
  if (TYPE_OF(value) != TYPE_OBJECT || object::count_words(value) <= FACE_DRAW) return false;
  const cell* type = object::get_values(value) + FACE_TYPE;
  return TYPE_OF(type) == TYPE_WORD && symbol::EQUAL_WORDS_q(type, symbols[W_RICH_TEXT]);
}

// Checks what `text` would draw: a rich-text face's records.
void check_text(const cell* value) {
  if (!rich_text_face_q(value) || face_handle_q(value)) return;
  const cell* data = object::get_values(value) + FACE_DATA;
  if (TYPE_OF(data) == TYPE_BLOCK) styles_pass(nullptr, data);
}

// A string, with escape sequences and wrapping, in the font colour, else
// the pen colour; or a rich-text face's styled text, aligned in its size by
// its para.
void paint_text(const draw_context& ctx, point at, const cell* text) {
  // The widgets' helpers may make words, so the value is held here and its
  // fields read again after each of them.
  cell held = *text;
  memory::root_guard keep(&held);
  const cell* value = &held;
  rect area = intersect(ctx.clip, screen_rect());
  if (area.empty_q()) return;
  std::vector<uint32_t> backgrounds;
  for (int32_t y = area.y1; y < area.y2; ++y)
    for (int32_t x = area.x1; x < area.x2; ++x) backgrounds.push_back(cell_at(x, y)->bg);
  if (TYPE_OF(value) == TYPE_STRING) {
    uint32_t fg = ctx.font_color_set ? ctx.font_color : ctx.pen_on ? ctx.pen_color : COLOR_DEFAULT;
    draw_text(string_units(value), at.x, at.y, area, {fg, KEEP_BACKGROUND, ctx.attrs, true, true});
  } else if (rich_text_face_q(value)) {
    uint32_t alignment = para_flags(object::get_values(value) + FACE_PARA);
    std::vector<screen_cell> runs = rich_text_runs(value);
    const cell* values = object::get_values(value);
    size2 size{0, runs.empty() ? 0 : 1};
    int32_t column = 0;
    for (const screen_cell& r : runs) {
      if (r.code == '\n') {
        column = 0;
        ++size.height;
      } else {
        column += static_cast<int32_t>(unicode::char_width(static_cast<uint32_t>(r.code)));
        size.width = std::max(size.width, column);
      }
    }
    const cell* box = values + FACE_SIZE;
    if (TYPE_OF(box) == TYPE_PAIR) {
      int32_t spare_x = std::max(0, pair::x_of(box) - size.width);
      int32_t spare_y = std::max(0, pair::y_of(box) - size.height);
      at.x += alignment & 2 ? spare_x / 2 : alignment & 1 ? spare_x : 0;
      at.y += alignment & 4 ? spare_y / 2 : alignment & 8 ? spare_y : 0;
    }
    draw_runs(runs, at.x, at.y, area, true, ctx.attrs);
  }
  size_t k = 0;
  for (int32_t y = area.y1; y < area.y2; ++y)
    for (int32_t x = area.x1; x < area.x2; ++x, ++k) {
      screen_cell* c = cell_at(x, y);
      if (c->bg == KEEP_BACKGROUND) c->bg = backgrounds[k];
    }
}

// ---- The interpreter ---------------------------------------------------------------

// The nodes of the blocks being run, outermost first: a nested block among
// them would run for ever.
struct running {
  const cell* block;  // rooted by its run
  const running* outer;
};

bool running_q(const running* chain, uint32_t node) {
  for (; chain; chain = chain->outer)
    if (chain->block->data2 == node) return true;
  return false;
}

void run(draw_context& ctx, const cell* commands, const running* chain);

// Runs a nested block with the state saved around it.
void run_nested(draw_context& ctx, const cell* block, const running* chain, bool save) {
  if (running_q(chain, block->data2)) fire(err::script_draw_infinite, {*block});
  draw_context saved = ctx;
  run(ctx, block, chain);
  if (save) {
    bool paint = ctx.paint;
    ctx = saved;
    ctx.paint = paint;
  }
}

// The colour, `off`, gradient or pattern after `pen` or `fill-pen`. Answers
// whether a plain colour was given (then `color` holds it); `on` is set
// false for `off`, and a gradient or pattern leaves the pen as it is.
bool take_pen(reader& r, uint32_t& color, bool& on) {
  const cell* v = r.peek();
  if (take_word(r, W_OFF)) {
    on = false;
    return false;
  }
  if (color_q(v)) {
    color = color_of(r.take());
    on = true;
    return true;
  }
  if (take_any_word(r, {W_LINEAR, W_RADIAL, W_DIAMOND})) {
    // Colour stops (each optionally followed by its offset), then the
    // gradient's points and numbers, then a spread method.
    size_t colors = 0;
    for (;;) {
      const cell* n = r.peek();
      if (color_q(n)) {
        ++colors;
        ++r.i;
      } else if (number_q(n) || point_q(n)) {
        ++r.i;
      } else {
        break;
      }
    }
    if (colors == 0) invalid(r.peek());
    take_any_word(r, {W_PAD, W_REPEAT, W_REFLECT});
    return false;
  }
  if (take_word(r, W_PATTERN)) {
    take_point(r);
    take_points(r, 0);
    const cell* b = r.take();
    if (!b || TYPE_OF(b) != TYPE_BLOCK) invalid(b);
    take_any_word(r, {W_TILE, W_FLIP_X, W_FLIP_Y, W_FLIP_XY, W_CLAMP});
    return false;
  }
  if (take_word(r, W_BITMAP)) {
    if (!image_q(r.peek())) invalid(r.peek());
    ++r.i;
    take_points(r, 0);
    take_any_word(r, {W_TILE, W_FLIP_X, W_FLIP_Y, W_FLIP_XY, W_CLAMP});
    return false;
  }
  invalid(v);
}

// The `shape` sub-dialect: checked, never drawn.
void check_shape(const cell* block) {
  int32_t count = 0;
  reader r{block::values_of(block, count), count, 0};
  while (const cell* v = r.take()) {
    if (TYPE_OF(v) != TYPE_WORD && TYPE_OF(v) != TYPE_LIT_WORD) invalid(v);
    cell word = *v;
    word.header = (word.header & ~0xFFu) | TYPE_WORD;  // 'move and move alike
    if (is_word(&word, W_MOVE)) {
      take_point(r);
    } else if (is_word(&word, W_LINE) || is_word(&word, W_CURVE) || is_word(&word, W_CURV) ||
               is_word(&word, W_QCURVE) || is_word(&word, W_QCURV)) {
      take_points(r, 1);
    } else if (is_word(&word, W_HLINE) || is_word(&word, W_VLINE)) {
      take_number(r);
    } else if (is_word(&word, W_ARC)) {
      take_point(r);
      take_number(r);
      take_number(r);
      take_number(r);
      take_any_word(r, {W_SWEEP});
      take_any_word(r, {W_LARGE});
    } else if (!is_word(&word, W_CLOSE)) {
      invalid(v);
    }
  }
}

// A font object, or a word whose value is one: its colour when a tuple.
void take_font(draw_context& ctx, reader& r) {
  const cell* v = r.take();
  const cell* font = v && TYPE_OF(v) == TYPE_WORD ? word_value(v) : v;
  if (!font || TYPE_OF(font) != TYPE_OBJECT) invalid(v);
  cell name = cell{TYPE_WORD, 0, static_cast<uint32_t>(symbols[W_COLOR]), 0};
  const cell* color = object::select_word(font, &name);
  ctx.font_color_set = color && TYPE_OF(color) == TYPE_TUPLE;
  if (ctx.font_color_set) ctx.font_color = rgb_to_256(color_value(color));
}

// One command at the reader; answers after its arguments.
void command(draw_context& ctx, reader& r, const running* chain) {
  const cell* v = r.take();
  switch (TYPE_OF(v)) {
    case TYPE_BLOCK:
      run_nested(ctx, v, chain, false);
      return;
    case TYPE_SET_WORD:  // marks a position in the block for the caller
      return;
    case TYPE_WORD:
      break;
    default:
      invalid(v);
  }
  if (is_word(v, W_PEN)) {
    take_pen(r, ctx.pen_color, ctx.pen_on);
  } else if (is_word(v, W_FILL_PEN)) {
    take_pen(r, ctx.fill_color, ctx.fill_on);
  } else if (is_word(v, W_LINE)) {
    std::vector<point> points = take_points(r, 2);
    if (ctx.paint && ctx.pen_on)
      for (size_t k = 0; k + 1 < points.size(); ++k)
        segment(ctx, absolute(ctx, points[k]), absolute(ctx, points[k + 1]));
  } else if (is_word(v, W_BOX)) {
    point a = take_point(r), b = take_point(r);
    if (number_q(r.peek())) ++r.i;  // a corner radius: cells have no round corners
    if (ctx.paint) paint_box(ctx, a, b);
  } else if (is_word(v, W_TRIANGLE)) {
    point a = take_point(r), b = take_point(r), c = take_point(r);
    if (ctx.paint) paint_triangle(ctx, a, b, c);
  } else if (is_word(v, W_CIRCLE)) {
    point centre = take_point(r);
    int32_t radius = static_cast<int32_t>(take_number(r));
    if (number_q(r.peek())) radius = static_cast<int32_t>(number_of(r.take()));
    centre = absolute(ctx, centre);
    if (ctx.paint) paint_ellipse(ctx, centre.x, centre.y, 2 * radius, radius);
  } else if (is_word(v, W_ELLIPSE)) {
    point corner = take_point(r), size = take_point(r);
    if (ctx.paint && size.x >= 1 && size.y >= 1) {
      int32_t rx = static_cast<int32_t>((size.x + 0.5) / 2), ry = static_cast<int32_t>((size.y + 0.5) / 2);
      corner = absolute(ctx, corner);
      paint_ellipse(ctx, corner.x + rx, corner.y + ry, rx, ry);
    }
  } else if (is_word(v, W_FONT)) {
    take_font(ctx, r);
  } else if (is_word(v, W_TEXT)) {
    point at = take_point(r);
    const cell* t = r.take();
    if (!t || (TYPE_OF(t) != TYPE_STRING && TYPE_OF(t) != TYPE_OBJECT)) invalid(t);
    if (ctx.paint) paint_text(ctx, absolute(ctx, at), t);
    else check_text(t);
  } else if (is_word(v, W_POLYGON)) {
    take_points(r, 3);
  } else if (is_word(v, W_ARC)) {
    take_point(r);
    take_point(r);
    take_number(r);
    take_number(r);
    take_word(r, W_CLOSED);
  } else if (is_word(v, W_CURVE)) {
    std::vector<point> points = take_points(r, 3);
    if (points.size() > 4) invalid(v);
  } else if (is_word(v, W_SPLINE)) {
    take_points(r, 2);
    take_word(r, W_CLOSED);
  } else if (is_word(v, W_IMAGE)) {
    if (!image_q(r.peek())) invalid(r.peek());
    ++r.i;
    take_points(r, 0);
    if (color_q(r.peek())) ++r.i;  // the key colour
    take_word(r, W_BORDER);
    if (take_word(r, W_CROP)) {
      take_point(r);
      take_point(r);
    }
  } else if (is_word(v, W_SHADOW)) {
    if (!take_word(r, W_OFF))
      do {
        take_point(r);
        skip_numbers(r);
        if (color_q(r.peek())) ++r.i;
        take_word(r, W_INSET);
      } while (point_q(r.peek()));
  } else if (is_word(v, W_ANTI_ALIAS)) {
    if (!take_any_word(r, {W_ON, W_OFF})) invalid(r.peek());
  } else if (is_word(v, W_LINE_WIDTH)) {
    take_number(r);
  } else if (is_word(v, W_LINE_JOIN)) {
    if (!take_any_word(r, {W_MITER, W_ROUND, W_BEVEL, W_MITER_BEVEL})) invalid(r.peek());
  } else if (is_word(v, W_LINE_CAP)) {
    if (!take_any_word(r, {W_FLAT, W_SQUARE, W_ROUND})) invalid(r.peek());
  } else if (is_word(v, W_LINE_PATTERN)) {
    if (!take_word(r, W_OFF)) {
      if (color_q(r.peek())) ++r.i;
      if (!number_q(r.peek())) invalid(r.peek());
      skip_numbers(r);
    }
  } else if (is_word(v, W_MATRIX)) {
    const cell* m = r.take();
    if (!m || TYPE_OF(m) != TYPE_BLOCK) invalid(m);
    int32_t count = 0;
    const cell* values = block::values_of(m, count);
    if (count != 6) invalid(m);
    for (int32_t k = 0; k < count; ++k)
      if (!number_q(values + k)) invalid(values + k);
  } else if (is_word(v, W_RESET_MATRIX) || is_word(v, W_INVERT_MATRIX)) {
  } else if (is_word(v, W_SHAPE)) {
    const cell* b = r.take();
    if (!b || TYPE_OF(b) != TYPE_BLOCK) invalid(b);
    check_shape(b);
  } else if (is_word(v, W_PUSH)) {
    const cell* b = r.take();
    if (!b || TYPE_OF(b) != TYPE_BLOCK) invalid(b);
    run_nested(ctx, b, chain, true);
  } else if (is_word(v, W_CLIP) || is_word(v, W_ROTATE) || is_word(v, W_SCALE) || is_word(v, W_TRANSLATE) ||
             is_word(v, W_SKEW) || is_word(v, W_TRANSFORM)) {
    // The transformation or clip has no effect on cells; its arguments
    // are checked and its block runs with the state saved around it.
    if (is_word(v, W_CLIP)) {
      take_point(r);
      take_point(r);
      take_any_word(r, {W_REPLACE, W_INTERSECT, W_UNION, W_XOR, W_EXCLUDE});
    } else if (is_word(v, W_TRANSLATE)) {
      take_point(r);
    } else {
      size_t given = 0;
      while (number_q(r.peek()) || point_q(r.peek())) {
        ++r.i;
        ++given;
      }
      size_t least = is_word(v, W_SCALE) ? 2 : 1;
      if (given < least) invalid(r.peek());
    }
    const cell* b = r.peek();
    if (b && TYPE_OF(b) == TYPE_BLOCK) {
      ++r.i;
      run_nested(ctx, b, chain, true);
    }
  } else {
    invalid(v);
  }
}

void run(draw_context& ctx, const cell* commands, const running* chain) {
  cell block = *commands;
  memory::root_guard keep(&block);
  running here{&block, chain};
  reader r{nullptr, 0, 0};
  for (;;) {
    // Read again for each command, so that a command may allocate.
    r.v = block::values_of(&block, r.count);
    if (r.i >= r.count) break;
    command(ctx, r, &here);
  }
}

// draw-image image cmds: the commands are checked; neither the image nor
// the screen changes, in or out of UI mode. An image with no pixels skips
// the check.
void draw_image_routine() {
  const cell* image = stack::arguments;
  const cell* commands = stack::arguments + 1;
  if (image::width_of(image) > 0 && image::height_of(image) > 0) {
    draw_context ctx = draw_begin(0, 0, rect{0, 0, 0, 0}, false);
    draw_block(ctx, commands);
  }
  stack::set_result(*image);
}

}  // namespace

draw_context draw_begin(int32_t x, int32_t y, const rect& clip, bool paint) {
  draw_context ctx{};
  ctx.origin_x = x;
  ctx.origin_y = y;
  ctx.clip = clip;
  ctx.pen_on = true;
  ctx.pen_color = COLOR_DEFAULT;
  ctx.fill_on = false;
  ctx.fill_color = COLOR_DEFAULT;
  ctx.font_color_set = false;
  ctx.font_color = COLOR_DEFAULT;
  ctx.attrs = 0;
  ctx.paint = paint;
  return ctx;
}

void draw_block(draw_context& ctx, const cell* commands) {
  run(ctx, commands, nullptr);
}

void draw_face(int32_t x, int32_t y, const rect& clip, const cell* commands) {
  rect area = intersect(clip, screen_rect());
  draw_context check = draw_begin(x, y, area, false);
  run(check, commands, nullptr);
  draw_context ctx = draw_begin(x, y, area, true);
  run(ctx, commands, nullptr);
}

// ---- Rich-text styles -------------------------------------------------------------

namespace {

// One pass over the records: checks them all when `runs` is null, else
// applies them.
void styles_pass(std::vector<screen_cell>* runs, const cell* data) {
  int32_t count = 0;
  reader r{block::values_of(data, count), count, 0};
  int32_t length = runs ? static_cast<int32_t>(runs->size()) : 0;
  int32_t from = 0, to = 0;  // the selected cells, from <= k < to
  auto each = [&](auto&& change) {
    if (runs)
      for (int32_t k = from; k < to; ++k) change((*runs)[static_cast<size_t>(k)]);
  };
  while (const cell* v = r.take()) {
    switch (TYPE_OF(v)) {
      case TYPE_PAIR: {
        int64_t start = pair::x_of(v), size = pair::y_of(v);
        from = static_cast<int32_t>(std::clamp<int64_t>(start - 1, 0, length));
        to = static_cast<int32_t>(std::clamp<int64_t>(start - 1 + std::max<int64_t>(size, 0), from, length));
        break;
      }
      case TYPE_TUPLE: {
        uint32_t fg = rgb_to_256(color_value(v));
        each([&](screen_cell& c) { c.fg = fg; });
        break;
      }
      case TYPE_STRING:
      case TYPE_INTEGER:
      case TYPE_FLOAT:  // font names and sizes: a terminal has one font
        break;
      case TYPE_WORD: {
        if (is_word(v, W_BACKDROP)) {
          const cell* color = r.peek();
          if (!color_q(color)) invalid(color ? color : v);
          uint32_t bg = color_of(r.take());
          each([&](screen_cell& c) { c.bg = bg; });
        } else if (is_word(v, W_BOLD)) {
          each([](screen_cell& c) { c.attrs |= ATTR_BOLD; });
        } else if (is_word(v, W_ITALIC)) {
          each([](screen_cell& c) { c.attrs |= ATTR_ITALIC; });
        } else if (is_word(v, W_UNDERLINE) || is_word(v, W_STRIKE) || is_word(v, W_BORDER)) {
          uint32_t bit = is_word(v, W_UNDERLINE) ? ATTR_UNDERLINE : is_word(v, W_STRIKE) ? ATTR_STRIKE : 0u;
          each([bit](screen_cell& c) { c.attrs |= bit; });
          // A line colour and style may follow: a terminal draws neither.
          if (r.peek() && TYPE_OF(r.peek()) == TYPE_TUPLE) ++r.i;
          if (r.peek() && TYPE_OF(r.peek()) == TYPE_LIT_WORD) ++r.i;
        } else {
          invalid(v);
        }
        break;
      }
      default:
        invalid(v);
    }
  }
}

}  // namespace

void apply_rich_text_styles(std::vector<screen_cell>& runs, const cell* data) {
  styles_pass(nullptr, data);
  styles_pass(&runs, data);
}

void build_words() {
  for (int32_t i = 0; i < W_COUNT; ++i) symbols[i] = symbol::make(WORD_NAMES[i]);
}

void init_routines() { routine::register_entry("draw-image", draw_image_routine); }

}  // namespace ixo::tui::draw
