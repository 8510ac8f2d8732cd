// Print hooks: the two hook lists and the console printer.
#include "startup/system/print_hooks.hpp"

#include <cstring>

#include "runtime/memory/series_buffer.hpp"
#include "startup/system/console_output.hpp"
#include "startup/system/heap.hpp"
#include "startup/system/print.hpp"

namespace ixo::print_hooks {

hook_list<value_hook> value_hooks = {nullptr, 0, 0};
hook_list<sized_hook> sized_hooks = {nullptr, 0, 0};
bool ready = false;

namespace {

void (*pause_hook)() = nullptr;
void (*resume_hook)() = nullptr;
int32_t print_depth = 0;  // prints in progress

constexpr int32_t capacity_step = 5;

template <class hook>
void make_list(hook_list<hook>& list) {
  list.entries = static_cast<hook*>(heap::alloc_tracked(capacity_step * sizeof(hook)));
  list.count = 0;
  list.capacity = capacity_step;
}

template <class hook>
void append(hook_list<hook>& list, hook h) {
  if (list.count == list.capacity) {
    int32_t capacity = list.capacity + capacity_step;
    auto* entries = static_cast<hook*>(heap::alloc_tracked(capacity * sizeof(hook)));
    std::memcpy(entries, list.entries, list.count * sizeof(hook));
    heap::free_tracked(list.entries);
    list.entries = entries;
    list.capacity = capacity;
  }
  list.entries[list.count++] = h;
}

template <class hook>
void remove_first(hook_list<hook>& list, hook h) {
  for (int32_t i = 0; i < list.count; ++i) {
    if (list.entries[i] != h) continue;
    std::memmove(list.entries + i, list.entries + i + 1, (list.count - i - 1) * sizeof(hook));
    --list.count;
    return;
  }
}

}  // namespace

void init() {
  make_list(value_hooks);
  make_list(sized_hooks);
  add(console_printer, nullptr);
  ready = true;
}

void add(value_hook value, sized_hook sized) {
  if (value) append(value_hooks, value);
  if (sized) append(sized_hooks, sized);
}

void remove(value_hook value, sized_hook sized) {
  if (value) remove_first(value_hooks, value);
  if (sized) remove_first(sized_hooks, sized);
}

void run(const void* text, int32_t bytes, int32_t unit, bool newline) {
  for (int32_t i = 0; i < value_hooks.count; ++i) value_hooks.entries[i](text, bytes, unit, newline);
}

void run(const cell* s, bool newline) {
  memory::series_buffer* b = memory::GET_BUFFER(s);
  int64_t length = b->tail - b->head;
  int64_t start = static_cast<int64_t>(s->data1) * memory::GET_UNIT(b);
  if (start > length) start = length;
  run(memory::head_of(b) + start, static_cast<int32_t>(length - start), static_cast<int32_t>(memory::GET_UNIT(b)), newline);
}

void run_sized(const void* text, int32_t length, int32_t extra) {
  for (int32_t i = 0; i < sized_hooks.count; ++i) sized_hooks.entries[i](text, length, extra);
}

void pause_output() {
  if (print_depth++ == 0 && pause_hook) pause_hook();
}

void resume_output() {
  if (--print_depth == 0 && resume_hook) resume_hook();
}

void set_output_hooks(void (*pause)(), void (*resume)()) {
  pause_hook = pause;
  resume_hook = resume;
}

void console_printer(const void* text, int32_t bytes, int32_t unit, bool newline) {
  pause_output();
  if (unit == 1 || unit == 2 || unit == 4)
    system::write_units(text, bytes, unit, newline);
  else
    print::print_typed_line(
        {print::item::c_string("Error: unknown string encoding: "), print::item::int32(unit)});
  resume_output();
}

}  // namespace ixo::print_hooks
