// The collector's cycle: node compaction, marking from the roots through an
// explicit mark stack, the sweeps of the ownership and handle tables, the
// compaction of series frames, the release of dead big series, and the
// return of dead nodes and empty node frames.
//
// It relies on the frame layouts of series_frame.hpp and node.hpp (a
// frame's buffers lie end to end, each taking size + 24 bytes), on the
// hashtable's mark and sweep hooks, and on the stacks' globals.
#include "runtime/memory/collector.hpp"

#include <algorithm>
#include <cstring>

#include "runtime/core/cycles.hpp"
#include "runtime/core/externals.hpp"
#include "runtime/core/hashtable.hpp"
#include "runtime/core/record_table.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/handles.hpp"
#include "runtime/memory/memory.hpp"
#include "runtime/memory/node.hpp"
#include "runtime/memory/root_block.hpp"
#include "runtime/memory/roots.hpp"
#include "runtime/memory/series_frame.hpp"
#include "startup/system/heap.hpp"

namespace ixo::collector {

uint32_t node_relocation_count = 0;
int32_t in_progress = 0;
int32_t node_compaction = 1;
uint32_t series_cycle_count = 0;
uint32_t ownership_table = 0;

namespace {

using namespace memory;

// A context cell whose values live on the value stack: its word 2 is a
// stack place, not a node.
constexpr uint32_t CONTEXT_ON_STACK = 0x400000;
// An event! whose word 2 holds a node of cells.
constexpr uint32_t EVENT_WITH_CELLS = 0x10000;
// A node frame qualifies for node compaction after this many quiet cycles
// plus one.
constexpr int32_t HISTORY_LENGTH = 5;
// A quiet frame is emptied when it uses fewer nodes than this...
constexpr int32_t SPARSE_FRAME_NODES = 5000;
// ...and more nodes than this are free in the frames that hand out nodes,
// that frame's own free nodes included.
constexpr int64_t FREE_NODES_NEEDED = 10000;
// Nodes of dead buffers wait in a queue of this size, freed in address
// order when it fills and at the end of the cycle.
constexpr int32_t FREE_QUEUE_NODES = 20000;
constexpr int32_t RELOCATION_MAP_KEYS = 20000;

// A growable array on the tracked heap.
template <class T>
struct list {
  T* items;
  int32_t count;
  int32_t capacity;
};

template <class T>
void append(list<T>& l, T item) {
  if (l.count == l.capacity) {
    l.capacity = l.capacity ? 2 * l.capacity : 64;
    int64_t bytes = static_cast<int64_t>(l.capacity) * static_cast<int64_t>(sizeof(T));
    // A size beyond the tracked heap's reach fails as a full heap does.
    l.items = static_cast<T*>(heap::resize_tracked(l.items, bytes > INT32_MAX ? -1 : static_cast<int32_t>(bytes)));
  }
  l.items[l.count++] = item;
}

struct cell_range {
  cell* first;
  cell* end;
};

list<cell_range> mark_stack{};
list<uint32_t> free_queue{};
list<uint32_t> fixed_marked{};  // fixed series marked in this cycle
list<root_callback> callbacks{};
list<node_frame*> sorted_node_frames{};
node_map::map* relocations = nullptr;  // old node -> new node, in a cycle that moved nodes
int32_t self_symbol = 0;

const hashtable::marker marking{mark_node, mark_values};

uint32_t footprint(const series_buffer* b) { return static_cast<uint32_t>(b->size + BUFFER_OVERHEAD); }

// The frame walks read one buffer header after another, each found only
// from the one before, so they wait on memory at every step: fetching two
// pages ahead halves the pauses (bench/collector_bench.cpp).
constexpr uint32_t WALK_PREFETCH = 8192;

series_buffer* buffer_at(uint32_t at) {
  __builtin_prefetch(address(at) + WALK_PREFETCH);
  return address<series_buffer>(at);
}

// ---- Marking -------------------------------------------------------------

// The node and, when newly marked, its cells from head to tail.
void mark_cells_of(uint32_t* slot) {
  if (!mark_node(slot)) return;
  series_buffer* b = buffer_of(*slot);
  mark_values(head_of<cell>(b), tail_of<cell>(b));
}

// A context series starts with its context! cell, which holds the word
// list's table and the values, and two cells that belong to it.
void mark_context(uint32_t* slot) {
  if (!mark_node(slot)) return;
  series_buffer* b = buffer_of(*slot);
  cell* head = head_of<cell>(b);
  mark_values(head, std::min(head + 3, tail_of<cell>(b)));
}

// Words compare by canonical symbol, so every spelling of `self` counts.
bool self_q(int32_t symbol) {
  if (self_symbol == 0 || symbol <= 0 || !symbol::table) return false;
  series_buffer* symbols = buffer_of(hashtable::record_of(symbol::table)->block);
  if (symbol > static_cast<int32_t>((symbols->tail - symbols->head) / sizeof(cell))) return false;
  return symbol::resolve(symbol) == self_symbol;
}

// The context a word (or a call frame) names: for `self`, a plain series
// of cells.
void mark_word_context(int32_t symbol, uint32_t* slot) {
  if (self_q(symbol)) mark_cells_of(slot);
  else mark_context(slot);
}

// The payload words that hold nodes, for every datatype.
void mark_cell(cell* c) {
  switch (TYPE_OF(c)) {
    case TYPE_WORD: case TYPE_SET_WORD: case TYPE_LIT_WORD: case TYPE_GET_WORD: case TYPE_REFINEMENT:
      if (c->data1) mark_word_context(static_cast<int32_t>(c->data2), &c->data1);
      break;
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_PATH: case TYPE_LIT_PATH: case TYPE_SET_PATH: case TYPE_GET_PATH:
      mark_cells_of(&c->data2);
      break;
    case TYPE_SYMBOL:
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL: case TYPE_REF:
      mark_node(&c->data2);  // a symbol's cached text; a string's buffer
      mark_node(&c->data3);  // a symbol's spelling; a string's exported text
      break;
    case TYPE_BITSET: case TYPE_VECTOR: case TYPE_BINARY:
      mark_node(&c->data2);
      break;
    case TYPE_OBJECT: case TYPE_ERROR: case TYPE_PORT:
      mark_context(&c->data1);
      mark_node(&c->data3);  // the change-handler record
      break;
    case TYPE_CONTEXT:
      hashtable::mark(&c->data1, marking);  // the word list
      if (!(c->header & CONTEXT_ON_STACK)) mark_cells_of(&c->data2);
      break;
    case TYPE_HASH: case TYPE_MAP:
      mark_cells_of(&c->data2);
      hashtable::mark(&c->data3, marking);
      break;
    case TYPE_FUNCTION: case TYPE_ROUTINE:
      mark_context(&c->data1);
      mark_cells_of(&c->data2);  // spec
      mark_cells_of(&c->data3);  // more
      break;
    case TYPE_OP: {
      // An op! keeps the datatype of the function it wraps in bits 16-23.
      uint32_t wrapped = c->header >> 16 & 0xFF;
      if (wrapped == TYPE_FUNCTION || wrapped == TYPE_ROUTINE) mark_context(&c->data1);
      [[fallthrough]];
    }
    case TYPE_NATIVE: case TYPE_ACTION:
      mark_cells_of(&c->data2);
      mark_cells_of(&c->data3);
      break;
    case TYPE_IMAGE:
      mark_node(&c->data2);
      break;
    case TYPE_HANDLE:
      if (static_cast<int32_t>(c->data3) >= 0) handles::mark(static_cast<int32_t>(c->data3), nullptr);
      break;
    case TYPE_EVENT:
      if (c->data3 & EVENT_WITH_CELLS) mark_cells_of(&c->data2);
      break;
    default:  // no payload word holds a node
      break;
  }
}

// Marks the cells of the mark stack's ranges, one cell at a time, until
// none is left; a cell may push the ranges of the series it newly marks.
void drain() {
  while (mark_stack.count) {
    cell_range& top = mark_stack.items[mark_stack.count - 1];
    cell* c = top.first++;
    if (top.first == top.end) --mark_stack.count;
    mark_cell(c);
  }
}

// Every frame's naming word, and for a function call its context and the
// values that context had when the frame was pushed.
void mark_frames() {
  for (stack::call_frame* f = stack::frame_bottom; f < stack::frame_top; ++f) {
    if (f->ctx) mark_word_context(static_cast<int32_t>(f->header >> 8 & 0xFFFF), &f->ctx);
    if (!f->fun_ctx) continue;
    mark_context(&f->fun_ctx);
    const cell* context = head_of<cell>(buffer_of(f->fun_ctx));
    if (f->saved && !(context->header & CONTEXT_ON_STACK)) mark_cells_of(&f->saved);
  }
}

void mark_roots() {
  if (root::root_node) mark_cells_of(&root::root_node);
  hashtable::mark(&symbol::table, marking);
  hashtable::mark(&ownership_table, marking);
  if (TYPE_OF(&externals::table) == TYPE_BLOCK) mark_values(&externals::table, &externals::table + 1);
  if (stack::bottom) {
    mark_values(stack::bottom, stack::top);
    mark_frames();
  }
  for (int32_t i = 0; i < roots.count; ++i) {
    const memory::root_slot& r = roots.entries[i];
    if (r.kind == ROOT_CELL || r.kind == ROOT_PAIR) {
      cell* c = static_cast<cell*>(r.slot);
      mark_values(c, c + (r.kind == ROOT_PAIR ? 2 : 1));
    } else {
      // A node held by C++ code: its cells too when it is a series of cells.
      auto* slot = static_cast<uint32_t*>(r.slot);
      if (mark_node(slot) && GET_UNIT(buffer_of(*slot)) == sizeof(cell)) {
        series_buffer* b = buffer_of(*slot);
        mark_values(head_of<cell>(b), tail_of<cell>(b));
      }
    }
  }
  for (int32_t i = 0; i < callbacks.count; ++i) {
    if (callbacks.items[i]) callbacks.items[i]();
  }
}

// Rewrites the slots whose node moved in this cycle.
void forward_nodes(uint32_t* first, uint32_t* end) {
  for (uint32_t* slot = first; slot < end; ++slot) {
    if (uint32_t* to = node_map::get(relocations, *slot)) *slot = *to;
  }
}

void unmark_fixed() {
  for (int32_t i = 0; i < fixed_marked.count; ++i) buffer_of(fixed_marked.items[i])->flags &= ~SERIES_MARK;
  fixed_marked.count = 0;
}

// ---- Freeing nodes -------------------------------------------------------

// Node frames in address order, for finding the frame of a node.
void sort_node_frames() {
  sorted_node_frames.count = 0;
  for (uint32_t f = record.node_frame_head; f; f = address<node_frame>(f)->next)
    append(sorted_node_frames, address<node_frame>(f));
  std::sort(sorted_node_frames.items, sorted_node_frames.items + sorted_node_frames.count);
}

// Returns the queued nodes to their frames, in address order.
void free_queued_nodes() {
  if (free_queue.count == 0) return;
  std::sort(free_queue.items, free_queue.items + free_queue.count);
  sort_node_frames();
  int32_t f = 0;
  for (int32_t i = 0; i < free_queue.count; ++i) {
    uint32_t node = free_queue.items[i];
    while (f < sorted_node_frames.count) {
      node_frame* frame = sorted_node_frames.items[f];
      uint32_t end = offset_of(node_slots(frame)) + 4 * static_cast<uint32_t>(frame->node_count);
      if (node < end) break;
      ++f;
    }
    if (f == sorted_node_frames.count) break;
    free_node(sorted_node_frames.items[f], node);
  }
  free_queue.count = 0;
}

void queue_free_node(uint32_t node) {
  if (node == 0) return;
  if (free_queue.count == FREE_QUEUE_NODES) free_queued_nodes();
  append(free_queue, node);
}

// ---- Node compaction -----------------------------------------------------

// A frame with a free node for a node moving out of `leaving`: the current
// frame, else the first that has one and is not released.
node_frame* frame_taking_nodes(node_frame* leaving) {
  node_frame* current = address<node_frame>(record.current_node_frame);
  if (current != leaving && current->free_list && !current->released) return current;
  for (uint32_t f = record.node_frame_head; f; f = address<node_frame>(f)->next) {
    node_frame* frame = address<node_frame>(f);
    if (frame != leaving && frame->free_list && !frame->released) {
      record.current_node_frame = f;
      return frame;
    }
  }
  return nullptr;  // not reached: more than a frame's worth of nodes is free
}

// Moves every node in use out of the frame, recording where each went and
// pointing its buffer at the new node; the frame is freed at the end of
// the cycle.
void empty_node_frame(node_frame* frame) {
  if (!relocations) relocations = node_map::make(RELOCATION_MAP_KEYS);
  uint32_t* slots = node_slots(frame);
  uint32_t first = offset_of(slots);
  uint32_t end = first + 4 * static_cast<uint32_t>(frame->node_count);
  for (int32_t i = 0; i < frame->node_count; ++i) {
    uint32_t buffer = slots[i];
    // A free slot holds 0 or the next free slot of this frame.
    if (buffer == 0 || (buffer >= first && buffer < end)) continue;
    node_frame* to = frame_taking_nodes(frame);
    uint32_t node = to->free_list;
    uint32_t* slot = address<uint32_t>(node);
    to->free_list = *slot;
    *slot = buffer;
    ++to->used_count;
    --frame->used_count;
    node_map::put(relocations, first + 4 * static_cast<uint32_t>(i), node);
    address<series_buffer>(buffer)->node = node;
  }
  frame->released = 1;
}

void compact_nodes() {
  const uint32_t quiet = (1u << (HISTORY_LENGTH + 1)) - 1;
  uint32_t current = 0;
  for (uint32_t f = record.node_frame_head; f && !current; f = address<node_frame>(f)->next) {
    if (address<node_frame>(f)->free_list) current = f;
  }
  if (!current) return;
  record.current_node_frame = current;

  int64_t free = 0;
  for (uint32_t f = record.node_frame_head; f; f = address<node_frame>(f)->next) {
    node_frame* frame = address<node_frame>(f);
    if (frame->free_list && !frame->released) free += frame->node_count - frame->used_count;
  }
  bool moved = false;
  for (uint32_t f = record.node_frame_tail; f; f = address<node_frame>(f)->prev) {
    node_frame* frame = address<node_frame>(f);
    if ((frame->history & quiet) != quiet || frame->used_count >= SPARSE_FRAME_NODES ||
        free <= FREE_NODES_NEEDED || f == record.current_node_frame) {
      continue;
    }
    // Its own free nodes and those its nodes take elsewhere.
    free -= frame->node_count;
    empty_node_frame(frame);
    moved = true;
  }
  if (moved) ++node_relocation_count;
}

// Frees the frames left empty or released, makes the first frame with a
// free node current, and records in each frame's history whether its use
// held still.
void release_node_frames() {
  bool current_set = false;
  uint32_t f = record.node_frame_head;
  while (f) {
    node_frame* frame = address<node_frame>(f);
    uint32_t next = frame->next;
    if (frame->used_count == 0 || frame->released) {
      free_node_frame(frame);
    } else {
      if (!current_set && frame->used_count < frame->node_count) {
        record.current_node_frame = f;
        current_set = true;
      }
      frame->history = frame->history << 1 | (frame->used_count == frame->previous_used ? 1u : 0u);
      frame->previous_used = frame->used_count;
    }
    f = next;
  }
}

// ---- Series compaction ---------------------------------------------------

// Moves `bytes` of whole buffers from `from` down to `to` and points their
// nodes, heads and tails at the new place.
void move_run(uint32_t from, uint32_t bytes, uint32_t to) {
  std::memmove(address(to), address(from), bytes);
  uint32_t distance = from - to;
  for (uint32_t at = to; at < to + bytes;) {
    series_buffer* b = address<series_buffer>(at);
    *address<uint32_t>(b->node) = at;
    b->head -= distance;
    b->tail -= distance;
    at += footprint(b);
  }
}

// One frame: dead buffers give up their nodes; runs of live buffers go to
// the end of `previous` while it has more than FRAME_REUSE_ROOM bytes free,
// else slide down over the space dead and moved buffers left. A frame left
// empty is freed unless it is the last.
void compact_frame(series_frame* frame, series_frame* previous) {
  uint32_t room = previous ? previous->end - previous->bump : 0;
  bool into_previous = room > static_cast<uint32_t>(FRAME_REUSE_ROOM);
  uint32_t start = offset_of(frame) + sizeof(series_frame);
  uint32_t hole = 0;  // everything from here to `at` is free
  uint32_t at = start;
  while (at < frame->bump) {
    series_buffer* b = buffer_at(at);
    if (!(b->flags & SERIES_MARK)) {
      if (!hole) hole = at;
      queue_free_node(b->node);
      at += footprint(b);
      continue;
    }
    // A run of live buffers, cut where it reaches the previous frame's room.
    uint32_t run = at, last = at, bytes = 0;
    while (at < frame->bump) {
      b = buffer_at(at);
      if (!(b->flags & SERIES_MARK)) break;
      b->flags &= ~SERIES_MARK;
      last = at;
      bytes += footprint(b);
      at += footprint(b);
      if (into_previous && bytes >= room) break;
    }
    if (into_previous && bytes > room && last != run) {
      // The run less its last buffer fits; that buffer starts the next run.
      address<series_buffer>(last)->flags |= SERIES_MARK;
      bytes = last - run;
      at = last;
    }
    if (into_previous && bytes <= room) {
      move_run(run, bytes, previous->bump);
      previous->bump += bytes;
      if (!hole) hole = run;
      room -= bytes;
      if (room <= static_cast<uint32_t>(FRAME_REUSE_ROOM)) into_previous = false;
    } else if (hole) {
      move_run(run, bytes, hole);
      hole += bytes;
    } else {
      into_previous = false;  // the run stays where it is
    }
  }
  if (!hole) return;
  frame->bump = hole;
  if (hole == start && offset_of(frame) != record.series_frame_tail) free_series_frame(frame);
}

void compact_series() {
  uint32_t f = record.series_frame_head;
  while (f) {
    series_frame* frame = address<series_frame>(f);
    uint32_t next = frame->next;
    // The first frame only slides within itself.
    compact_frame(frame, frame->prev ? address<series_frame>(frame->prev) : nullptr);
    f = next;
  }
}

// Dead big series give back their node and their frame.
void release_big_series() {
  uint32_t f = record.big_frame_head;
  while (f) {
    auto* frame = address<big_frame>(f);
    uint32_t next = frame->next;
    auto* b = reinterpret_cast<series_buffer*>(frame + 1);
    if (b->flags & SERIES_MARK) {
      b->flags &= ~SERIES_MARK;
    } else {
      queue_free_node(b->node);
      free_big_series(b);
    }
    f = next;
  }
}

}  // namespace

bool mark_node(uint32_t* slot) {
  if (*slot == 0) return false;
  if (relocations) {
    if (uint32_t* to = node_map::get(relocations, *slot)) *slot = *to;
  }
  series_buffer* b = buffer_of(*slot);
  if (b->flags & SERIES_MARK) return false;
  b->flags |= SERIES_MARK;
  // No compaction passes a fixed series: its mark is cleared at the end.
  if (b->flags & SERIES_FIXED) append(fixed_marked, *slot);
  return true;
}

void mark_values(cell* first, cell* end) {
  if (first < end) append(mark_stack, cell_range{first, end});
}

void init() {
  series_cycle_count = 0;
  node_relocation_count = 0;
  self_symbol = hashtable::get_symbol(symbol::table, reinterpret_cast<const uint8_t*>("self"), 4, true);
  memory::run_collector = collect;
}

void collect() {
  if (collector_active && !in_progress) do_cycle();
}

void do_cycle() {
  in_progress = 1;
  if (node_compaction == 1) compact_nodes();
  mark_roots();
  drain();
  // The ownership records whose key lived mark their own cells, before the
  // handle sweep, so that a handle only a record holds is kept.
  if (ownership_table) {
    hashtable::sweep(ownership_table, marking);
    drain();
  }
  if (relocations) forward_nodes(cycles::entries(), cycles::entries() + cycles::depth());
  handles::sweep();
  compact_series();
  release_big_series();
  free_queued_nodes();
  release_node_frames();
  if (relocations) {
    node_map::free(relocations);
    relocations = nullptr;
  }
  unmark_fixed();
  ++series_cycle_count;
  allocated_since_cycle = 0;
  live_after_cycle = static_cast<uint64_t>(stats_in_use());
  in_progress = 0;
}

void register_root(root_callback callback) {
  // The places of removed callbacks are squeezed out before the list grows.
  if (callbacks.count == callbacks.capacity) {
    int32_t kept = 0;
    for (int32_t i = 0; i < callbacks.count; ++i) {
      if (callbacks.items[i]) callbacks.items[kept++] = callbacks.items[i];
    }
    callbacks.count = kept;
  }
  append(callbacks, callback);
}

void unregister_root(root_callback callback) {
  for (int32_t i = 0; i < callbacks.count; ++i) {
    if (callbacks.items[i] == callback) {
      callbacks.items[i] = nullptr;
      return;
    }
  }
}

}  // namespace ixo::collector
