// One frame of the text UI: a 200 x 60 window full of coloured text and
// widgets (labels in changing colours with escapes, buttons, fields, a
// text list, check boxes, progress bars, group boxes) rendered into the
// cell buffer and emitted as one write. The write goes to a counter, so
// the figure is the backend's own work; `bytes` is the size of a frame.
// The frame budget of the frame loop is 33 ms.
//
//   bench_tui_render_bench --benchmark_repetitions=10
#include <benchmark/benchmark.h>

#include <string>

#include "gui/tui/screen.hpp"
#include "gui/tui/widgets.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/interpreter/interpreter.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/lexer/lexer.hpp"
#include "runtime/memory/roots.hpp"
#include "startup/boot_image.hpp"
#include "startup/start.hpp"
#include "startup/system/catch.hpp"

namespace ixo {
namespace {

size_t frame_bytes = 0;
void count_bytes(const char*, size_t length) { frame_bytes += length; }

// The window: 58 rows of four 50-column labels whose colours change from
// face to face and inside the text, then a row of widgets, then a status
// row of check boxes and progress bars.
const char* WINDOW = R"(
  rows: make block! 300
  colors: [255.0.0 0.128.0 0.0.255 128.128.128 255.255.0 0.255.255 64.32.16 200.100.50]
  repeat y 50 [
    repeat x 4 [
      append rows make face! [
        type: 'base offset: as-pair x - 1 * 50 y - 1 size: 50x1
        color: pick colors y + x // 8 + 1
        font: make font! [color: pick colors y + x + 3 // 8 + 1]
        text: rejoin ["Row " y " col " x " ^[[1mbold^[[22m ^[[38;5;" y * 4 "mcolour^[[39m text to fill it"]
      ]
    ]
  ]
  repeat x 10 [
    append rows make face! [type: 'button offset: as-pair x - 1 * 20 50 size: 18x1 text: "Button"
      color: 0.0.128 para: make para! [align: 'center]]
    append rows make face! [type: 'field offset: as-pair x - 1 * 20 51 size: 18x1 text: copy "editable text"]
    append rows make face! [type: 'check offset: as-pair x - 1 * 20 52 size: 18x1 text: "option" data: odd? x]
    append rows make face! [type: 'progress offset: as-pair x - 1 * 20 53 size: 18x1 data: x / 10.0]
  ]
  append rows make face! [type: 'group-box offset: 0x54 size: 100x6 text: "Group"
    options: [border-corners: round border-color: 200.200.200]]
  append rows make face! [type: 'text-list offset: 100x54 size: 100x6
    data: collect [repeat i 30 [keep rejoin ["item " i]]] selected: 3]
  win: make face! [type: 'window size: 200x60 color: 16.16.16 pane: rows]
  prep: func [f /local child] [
    if block? f/pane [foreach child f/pane [child/parent: f]]
    f/state: reduce [system/view/platform/make-null-handle 0 none none]
    if block? f/pane [foreach child f/pane [prep child]]
    f
  ]
  prep win
)";

void eval(const char* source, cell* result) {
  cell code{TYPE_NONE, 0, 0, 0};
  memory::root_guard keep(&code);
  cell* top = stack::top;
  lexer::load_text(&code, source, static_cast<int32_t>(std::char_traits<char>::length(source)));
  interpreter::eval_block(&code, false);
  *result = stack::top[-1];
  stack::top = top;
}

void make_tree(cell face, tui::widget_ref parent) {
  memory::root_guard keep(&face);
  tui::widget_ref w = tui::make_widget(&face, parent);
  for (int32_t i = 0;; ++i) {
    int32_t count = 0;
    const cell* pane = tui::face_values(w) + tui::FACE_PANE;
    if (TYPE_OF(pane) != TYPE_BLOCK) break;
    const cell* faces = block::values_of(pane, count);
    if (i >= count) break;
    make_tree(faces[i], w);
  }
}

void start() {
  static bool started = false;
  if (started) return;
  started = true;
  static cell window{TYPE_NONE, 0, 0, 0};
  memory::add_root(&window, memory::ROOT_CELL);
  uint32_t failed = catch_site(FILTER_ALL, [] {
    start_runtime(boot_image::data, boot_image::size);
    eval(WINDOW, &window);
    make_tree(window, 0);
  });
  if (failed) std::abort();
  tui::screen.columns = 200;
  tui::screen.rows = 60;
  tui::use_sink(count_bytes);
}

void render_full_screen(benchmark::State& state) {
  start();
  size_t bytes = 0;
  for (auto _ : state) {
    frame_bytes = 0;
    tui::screen.redraw = true;
    tui::render();
    bytes = frame_bytes;
  }
  state.counters["bytes"] = static_cast<double>(bytes);
  state.counters["cells"] = static_cast<double>(tui::screen.width * tui::screen.height);
}
BENCHMARK(render_full_screen)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace ixo
