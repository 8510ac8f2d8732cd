// The draw dialect in character cells. The interpreter reads a whole draw
// block, so that every valid block is accepted and its nested blocks run,
// but only `pen`, `fill-pen`, `line`, `box`, `triangle`, `circle`,
// `ellipse`, `font` and `text` paint: full-block cells for outlines,
// coloured spaces for fills, box-drawing characters for box borders. The
// rest of the dialect (gradients, shapes, images, transformations, clips)
// is checked and has no effect in a terminal.
//
// A block is checked whole before any cell is painted, so a block that
// raises `draw-invalid` or `draw-infinite` leaves the screen as it was.
// Drawing into an image checks the block and changes neither the image nor
// the screen.
//
// Also here: the rich-text styles, which turn a face's `data` records into
// the colours and attributes of its text's cells.
#pragma once
#include <cstdint>
#include <vector>

#include "gui/tui/screen.hpp"
#include "runtime/memory/cell.hpp"

namespace ixo::tui::draw {

// The state of one run over a face's area.
struct draw_context {
  int32_t origin_x, origin_y;  // absolute cell of the area's top-left corner
  rect clip;                   // the area's visible cells
  bool pen_on;
  uint32_t pen_color;          // colour word
  bool fill_on;
  uint32_t fill_color;
  bool font_color_set;
  uint32_t font_color;
  uint32_t attrs;              // attribute bits added to text cells
  bool paint;                  // false: commands are only checked
};

// A context for a run at (x, y) clipped to `clip`: pen on in the default
// colour, fill off, no font colour.
draw_context draw_begin(int32_t x, int32_t y, const rect& clip, bool paint);

// Interprets the commands (a block!). Raises script/draw-invalid with a
// value that fits no command, script/draw-infinite with a nested block
// that is one of the blocks being run.
void draw_block(draw_context& ctx, const cell* commands);

// Runs a face's draw block over its area at (x, y) within `clip`: the
// block is checked first, then painted.
void draw_face(int32_t x, int32_t y, const rect& clip, const cell* commands);

// Applies a rich-text face's `data` records to the cells of its text
// (one cell per character). The records are checked before any cell
// changes: another word or value raises script/draw-invalid with it.
void apply_rich_text_styles(std::vector<screen_cell>& runs, const cell* data);

// Makes the dialect's words; start-up calls it with the runtime's other
// words.
void build_words();

// Registers the routine draw-image.
void init_routines();

}  // namespace ixo::tui::draw
