// The start-up sequence, step by step, and the runtime's initialisation in
// module order. Each step relies on the ones before it.
#include "startup/start.hpp"

#include <cfenv>

#include "platform/posix/console.hpp"
#include "platform/posix/start.hpp"
#include "runtime/codecs/checksum.hpp"
#include "runtime/codecs/compress.hpp"
#include "runtime/core/case_folding.hpp"
#include "runtime/core/cycles.hpp"
#include "runtime/core/externals.hpp"
#include "runtime/core/hashtable.hpp"
#include "runtime/core/ownership.hpp"
#include "runtime/core/random.hpp"
#include "runtime/datatypes/action.hpp"
#include "runtime/datatypes/binary.hpp"
#include "runtime/datatypes/bitset.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/char.hpp"
#include "runtime/datatypes/context.hpp"
#include "runtime/datatypes/currency.hpp"
#include "runtime/datatypes/date.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/email.hpp"
#include "runtime/datatypes/error.hpp"
#include "runtime/datatypes/file.hpp"
#include "runtime/datatypes/float.hpp"
#include "runtime/datatypes/function.hpp"
#include "runtime/datatypes/get_path.hpp"
#include "runtime/datatypes/get_word.hpp"
#include "runtime/datatypes/handle.hpp"
#include "runtime/datatypes/hash.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/issue.hpp"
#include "runtime/datatypes/lit_path.hpp"
#include "runtime/datatypes/lit_word.hpp"
#include "runtime/datatypes/logic.hpp"
#include "runtime/datatypes/map.hpp"
#include "runtime/datatypes/money.hpp"
#include "runtime/datatypes/image.hpp"
#include "runtime/datatypes/native.hpp"
#include "runtime/datatypes/port.hpp"
#include "runtime/datatypes/none.hpp"
#include "runtime/datatypes/object.hpp"
#include "runtime/datatypes/op.hpp"
#include "runtime/datatypes/pair.hpp"
#include "runtime/datatypes/paren.hpp"
#include "runtime/datatypes/path.hpp"
#include "runtime/datatypes/percent.hpp"
#include "runtime/datatypes/point2d.hpp"
#include "runtime/datatypes/point3d.hpp"
#include "runtime/datatypes/ref.hpp"
#include "runtime/datatypes/refinement.hpp"
#include "runtime/datatypes/routine.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/datatypes/series.hpp"
#include "runtime/datatypes/set_path.hpp"
#include "runtime/datatypes/set_word.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/datatypes/tag.hpp"
#include "runtime/datatypes/time.hpp"
#include "runtime/datatypes/triple.hpp"
#include "runtime/datatypes/tuple.hpp"
#include "runtime/datatypes/typeset.hpp"
#include "runtime/datatypes/unset.hpp"
#include "runtime/datatypes/url.hpp"
#include "runtime/datatypes/vector.hpp"
#include "runtime/datatypes/word.hpp"
#include "boot/routines.hpp"
#include "gui/event.hpp"
#include "gui/tui/draw.hpp"
#include "gui/tui/os_layer.hpp"
#include "gui/tui/widgets.hpp"
#include "console/line_editor.hpp"
#include "console/routines_console.hpp"
#include "console/terminal.hpp"
#include "runtime/datatypes/words.hpp"
#include "runtime/interpreter/actions.hpp"
#include "runtime/memory/roots.hpp"
#include "runtime/ixobin/ixobin.hpp"
#include "runtime/interpreter/interpreter.hpp"
#include "runtime/interpreter/natives.hpp"
#include "runtime/lexer/lexer.hpp"
#include "runtime/parse/parse.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/collector.hpp"
#include "runtime/memory/handles.hpp"
#include "runtime/memory/memory.hpp"
#include "runtime/memory/root_block.hpp"
#include "runtime/memory/node.hpp"
#include "runtime/memory/series_frame.hpp"
#include "startup/system/catch.hpp"
#include "startup/system/console_output.hpp"
#include "startup/system/heap.hpp"
#include "startup/system/print.hpp"
#include "startup/system/print_hooks.hpp"
#include "startup/system/runtime_error.hpp"
#include "startup/system/system.hpp"

namespace ixo {

namespace {
constexpr int32_t SYMBOL_TABLE_CELLS = 4000;
}  // namespace

namespace {

// The smallest arena start-up accepts where the address space is limited:
// the boot code takes about 8 MB of it, and scripts need room to work.
constexpr uint64_t ARENA_FLOOR = 64ull << 20;

// The arena, as large as the address space allows. Below the floor the
// runtime cannot start: it says so and the process ends with status 1.
void reserve_memory() {
  if (!catch_site(FILTER_MEMORY, [] { memory::init(memory::ARENA_LIMIT, ARENA_FLOOR); })) return;
  system::clear_thrown();
  using namespace print;
  prin_typed({item::c_string("*** Not enough address space to start: the runtime needs "),
              item::int32(static_cast<int32_t>(ARENA_FLOOR >> 20)),
              item::c_string(" MB for its memory beyond its stack (see ulimit -v)\n")});
  system::exit_process(1);
}

// SSE2 arithmetic rounds to nearest with every exception masked; the x87
// unit gets 53-bit precision, round to nearest, all exceptions masked.
void set_floating_point_state() {
  unsigned int mxcsr = 0x1F80;
  asm volatile("ldmxcsr %0" : : "m"(mxcsr));
  unsigned short x87 = 0x27F;
  asm volatile("fldcw %0" : : "m"(x87));
}

// Each module's start values, in module order, before any module's
// initialisation runs.
void set_module_globals() {
  cycles::init();
}

// The action that makes values from specs, as the boot code defines the
// other actions: its spec and its number.
constexpr char MAKE_ACTION[] =
    "[\"Returns a new value made from a spec for that value's type\""
    " type \"The datatype or an example value\" spec \"The attributes of the new value\"] 1";

// The words the boot code needs before it can define anything: each
// datatype's name holds its datatype! value, and `make` the action that
// makes values. Every other action and native is defined by the boot code
// with `make`. The make spec has no type blocks: the typesets they would
// name are made later by the boot code itself, with make. The symbol and
// context types are the runtime's own: no value of theirs reaches a
// script, so their names hold nothing.
void define_boot_words() {
  for (uint32_t type = 1; type <= datatype::max_type_id; ++type) {
    const datatype::type_name_entry& e = datatype::type_name_table[type];
    if (type == TYPE_SYMBOL || type == TYPE_CONTEXT) continue;
    if (e.name && e.word) context::set_global(static_cast<int32_t>(e.word), datatype::make_cell(type));
  }
  cell spec{};
  memory::root_guard keep(&spec);
  lexer::load_text(&spec, MAKE_ACTION, static_cast<int32_t>(sizeof MAKE_ACTION - 1));
  cell proto = datatype::make_cell(TYPE_ACTION);
  cell* make = native::make_value(&proto, &spec, TYPE_ACTION);
  context::set_global(symbol::make("make"), *make);
  stack::reset();
}

}  // namespace

namespace runtime {

void init() {
  boot_flag = 1;
  print_hooks::init();
  system::init_console_output(&platform::terminal_console);
  terminal::init();
  random::init();
  reserve_memory();
  handles::init();
  datatype::alloc_tables();
  // The datatypes, each parent before its children.
  datatype::init();
  unset::init();
  none::init();
  logic::init();
  series::init();
  block::init();
  string::init();
  binary::init();
  integer::init();
  symbol::init();
  context::init();
  word::init();
  lit_word::init();
  set_word::init();
  get_word::init();
  refinement::init();
  char_::init();
  native::init();
  action::init();
  op::init();
  path::init();
  lit_path::init();
  set_path::init();
  get_path::init();
  function::init();
  routine::init();
  // The routines of the boot library, registered by name.
  boot::init_file_routines();
  boot::init_system_routines();
  boot::init_value_routines();
  boot::init_runtime_routines();
  boot::init_system_object_routines();
  console::init_routines();
  boot::init_codec_routines();
  boot::init_json_routines();
  boot::init_csv_routines();
  boot::init_tools_routines();
  boot::init_reactivity_routines();
  gui::event::init_routines();
  tui::init_routines();
  tui::draw::init_routines();
  tui::os::init_routines();
  paren::init();
  issue::init();
  url::init();
  file::init();
  object::init();
  bitset::init();
  error::init();
  vector::init();
  triple::init();
  float_::init();
  typeset::init();
  map::init();
  hash_::init();
  pair::init();
  percent::init();
  tuple::init();
  time::init();
  tag::init();
  email::init();
  handle::init();
  date::init();
  port::init();
  money::init();
  ref::init();
  point2D::init();
  point3D::init();
  image::init();
  // The GUI layer's datatype, registered last.
  gui::event::init();
  // The dispatchers that action! values call.
  actions::init();
  // The first node frame and series frame.
  memory::new_node_frame(memory::NODES_PER_FRAME);
  memory::new_series_frame();
  // The root block, and in it the two stacks.
  root::make();
  uint32_t value_stack = root::make_child_block(stack::VALUE_STACK_CELLS, true);
  uint32_t frame_stack = root::make_child_block(stack::FRAME_STACK_CELLS, true);
  stack::init(value_stack, frame_stack);
  uint32_t symbols = root::make_child_block(SYMBOL_TABLE_CELLS, false);
  context::global_ctx =
      context::make(context::GLOBAL_SLOTS, false, false, 0, context::KIND_GLOBAL);
  case_folding::init();
  // The symbol table's index over its block.
  cell symbol_block{TYPE_BLOCK, 0, symbols, 0};
  symbol::table = hashtable::init(SYMBOL_TABLE_CELLS, &symbol_block, hashtable::KIND_SYMBOL, 1);
  // The runtime's own words, kept in the root block while the boot flag is set.
  datatype::build_words();
  words::build();
  refinements::build();
  gui::event::build_words();
  tui::draw::build_words();
  natives::init();
  currency::init();
  ownership::init();
  checksum::init();
  compress::init_methods();
  externals::init();
  error::make_catalog();
  interpreter::init();
  lexer::init();
  parse::init();
  collector::init();
  line_editor::init_globals();
}

}  // namespace runtime

void start_runtime(const uint8_t* boot_image, int32_t boot_image_size) {
  // 5. Module globals.
  set_module_globals();
  // 7. The runtime's initialisation.
  runtime::init();
  // 8. The boot image's code into the root block, with no collection
  //    running, and the words that code needs before it can define
  //    anything.
  ixobin::decode_boot_image(boot_image, boot_image_size);
  define_boot_words();
  // 10. Collections may run from here on; words are no longer kept in
  //     the root block.
  collector_active = 1;
  boot_flag = 0;
  // 11. The boot code, in source order: every action, native, routine,
  //     constant and library function it defines. An error it raises
  //     finds no catching frame: it is printed and ends the process.
  interpreter::eval_block(ixobin::literal_cell(0), false);
  interpreter::build_native_call_specs();
  stack::reset();
  memory::boot_finished();
}

void start_program(const uint8_t* boot_image, int32_t boot_image_size, launch_fn launch) {
  // 1. The processor's floating-point unit in its initial state; the
  //    tracked heap's list empty so that it works from the next step on.
  asm volatile("fninit");
  heap::list = {nullptr, nullptr};
  sysrec.heap_list = &heap::list;
  // 2. Fault handlers, standard handles, argument strings.
  platform::start();
  // 3. The floating-point control state every computation relies on.
  set_floating_point_state();
  // 4. The outermost catch site: everything below runs inside it, so that a
  //    system-level throw that nothing else catches reaches on_uncaught_throw.
  int outermost = 0;
  sysrec.stack_base = &outermost;
  try {
    // 5 to 11.
    start_runtime(boot_image, boot_image_size);
    // 12. The launch: the console's, or a test driver's.
    if (launch) launch();
  } catch (const throw_signal& signal) {
    sysrec.thrown = signal.code;
    system::on_uncaught_throw();
  }
  // 13. The normal end: the tracked heap released, status 0.
  system::runtime_error(0, 0);
}

}  // namespace ixo
