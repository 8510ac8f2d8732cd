// The system natives over the platform layer. Text leaves the runtime as
// UTF-8; text that comes back from the system (environment values, a
// command's output) is decoded with each invalid byte read as U+FFFD, so
// that a stray byte never fails the call that brought it.
#include "runtime/interpreter/natives_system.hpp"

#include <cmath>
#include <string>

#include "platform/posix/bindings.hpp"
#include "platform/posix/system_calls.hpp"
#include "runtime/core/unicode.hpp"
#include "runtime/datatypes/binary.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/date.hpp"
#include "runtime/datatypes/file.hpp"
#include "runtime/datatypes/float.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/map.hpp"
#include "runtime/datatypes/none.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/datatypes/time.hpp"
#include "runtime/datatypes/type_classes.hpp"
#include "runtime/datatypes/unset.hpp"
#include "runtime/datatypes/word.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/interpreter.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/collector.hpp"
#include "runtime/memory/root_block.hpp"
#include "runtime/memory/roots.hpp"
#include "runtime/memory/stats.hpp"
#include "startup/system/heap.hpp"
#include "startup/system/runtime_error.hpp"
#include "runtime/memory/memory.hpp"

namespace ixo::natives {

namespace {

cell* arg(int32_t k) { return stack::arguments + k; }

// The UTF-8 text of a string from its index, or the spelling of a word.
std::string text_of(cell* value) {
  if (all_word_q(TYPE_OF(value))) {
    const cell* entry = symbol::entry_of(static_cast<int32_t>(value->data2));
    return reinterpret_cast<const char*>(memory::head_of<uint8_t>(memory::buffer_of(entry->data3)));
  }
  int32_t length = -1;
  const char* bytes = unicode::to_utf8(value, length);
  return std::string(bytes, static_cast<size_t>(length));
}

// Whether a name can be an environment variable's: not empty, no "=" and
// no NUL (which would cut it short on its way to the system).
bool env_name_q(const std::string& name) {
  return !name.empty() && name.find('=') == std::string::npos && name.find('\0') == std::string::npos;
}

// The bytes with each byte that starts no valid sequence replaced by U+FFFD.
std::string valid_utf8(const std::string& bytes) {
  std::string out;
  out.reserve(bytes.size());
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  const auto* end = p + bytes.size();
  for (size_t i = 0; i < bytes.size();) {
    int32_t n;
    if (unicode::checked_utf8_char(p + i, end, n) >= 0) {
      out.append(bytes, i, n);
      i += n;
    } else {
      out += "\xEF\xBF\xBD";
      ++i;
    }
  }
  return out;
}

// Pushes a new string! of the system's text, line ends made LF when asked.
cell* push_os_text(const std::string& bytes, bool crlf) {
  std::string text = valid_utf8(bytes);
  uint32_t node = unicode::load_utf8(reinterpret_cast<const uint8_t*>(text.data()),
                                     static_cast<int32_t>(text.size()), 0, nullptr, crlf);
  return stack::push(cell{TYPE_STRING, 0, node, 0});
}

// An integer! when the count fits, else a float!.
void box_count(double n) {
  if (n <= 2147483647.0) {
    integer::box(static_cast<int32_t>(n));
  } else {
    float_::box(n);
  }
}

// A text for /bin/sh that stands for exactly these bytes.
std::string shell_quoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

// What a call redirection value stands for: a file! is a path, any other
// value its bytes (input) or the place its capture goes (output).
platform::call_stream stream_of(cell* value, bool input) {
  platform::call_stream s;
  if (!value) return s;
  if (TYPE_OF(value) == TYPE_FILE) {
    s.kind = platform::call_stream::FILE;
    s.path = file::to_OS_path(value);
    return s;
  }
  s.kind = platform::call_stream::BYTES;
  if (!input) return s;
  if (TYPE_OF(value) == TYPE_BINARY) {
    s.bytes.assign(reinterpret_cast<const char*>(binary::rs_head(value)),
                   static_cast<size_t>(binary::rs_length_q(value)));
  } else {
    s.bytes = text_of(value);
  }
  return s;
}

// The work string into which every call decodes captured text before it
// joins its target: made by the first capture into a string (so that
// start-up does not pay for it), then held by the root block and reused.
constexpr int32_t CALL_WORK_UNITS = 102400;
cell* call_work = nullptr;

// Adds a capture to its target: a binary! gets the bytes at its index, a
// string! the text at its tail, decoded in the work string with its line
// ends made LF.
void deliver(cell* target, const platform::call_stream& s) {
  if (!target || s.kind != platform::call_stream::BYTES || s.bytes.empty()) return;
  if (TYPE_OF(target) == TYPE_BINARY) {
    binary::rs_insert(target, 0, reinterpret_cast<const uint8_t*>(s.bytes.data()),
                      static_cast<int32_t>(s.bytes.size()));
    return;
  }
  if (!call_work) {
    cell work{};
    string::rs_make_at(&work, CALL_WORK_UNITS);
    call_work = root::append(work);
  }
  std::string text = valid_utf8(s.bytes);
  call_work->data1 = 0;
  call_work->data2 = unicode::load_utf8(reinterpret_cast<const uint8_t*>(text.data()),
                                        static_cast<int32_t>(text.size()), call_work->data2, nullptr, true);
  string::concatenate(target, call_work, -1, 0, false, string::MODE_APPEND);
  // A capture larger than the work string's first size does not stay held.
  if (s.bytes.size() > static_cast<size_t>(CALL_WORK_UNITS)) {
    string::rs_make_at(call_work, CALL_WORK_UNITS);
  } else {
    string::rs_reset(call_work);
  }
}

}  // namespace

// The date part depends on the clock's second alone: the zone, the UTC
// day, the local date and the whole days the normalisation of the time
// takes off or adds (date::normalize_time) are worked out once per second,
// and each reading applies them to its own time of day as that
// normalisation does.
cell current_date(bool utc, bool precise) {
  static struct {
    int64_t second = -1;
    bool utc = false;
    uint32_t packed = 0;
    int64_t days_off = 0;  // whole days taken off the time
    bool day_added = false;
  } day;
  platform::wall_clock clock = platform::read_wall_clock();
  if (clock.seconds != day.second || utc != day.utc) {
    uint32_t zone = date::get_zone(static_cast<uint32_t>(platform::date_at(clock.seconds, utc)));
    int32_t utc_days = date::date_to_days(static_cast<uint32_t>(platform::date_at(clock.seconds, true)));
    // The clock's time of day is UTC: it counts from the UTC date's
    // midnight, and the carry with the zone gives the local date. Within
    // one second the carry stays the same.
    double whole = platform::time_of_day(clock, false);
    int64_t days = date::normalize_time(utc_days, whole, zone, time::make_cell(whole));
    day.second = clock.seconds;
    day.utc = utc;
    day.packed = date::days_to_date(static_cast<int32_t>(days), zone, true);
    day.days_off = days > utc_days ? days - utc_days : 0;
    day.day_added = days < utc_days;
  }
  double time = platform::time_of_day(clock, precise);
  time -= day.days_off * date::SECONDS_PER_DAY;
  if (day.day_added) time += date::SECONDS_PER_DAY;
  cell d = date::make_cell(day.packed, 0.0);
  set_float(&d, time);
  return d;
}

void now(const int32_t* refinements) {
  enum { YEAR, MONTH, DAY, TIME, ZONE, DATE, WEEKDAY, YEARDAY, PRECISE, UTC };
  const int32_t* r = refinements;
  // Each field refinement adds 0 when given and -1 when not: a sum of -7
  // or more means two or more were given.
  bool time_with_precise = r[TIME] >= 0 && r[PRECISE] >= 0;
  int32_t sum = 0;
  for (int32_t i = YEAR; i <= PRECISE; ++i) sum += r[i];
  if (!time_with_precise && sum >= -7) fire(err::script_bad_refines);
  if (r[DATE] >= 0) {
    uint32_t packed = static_cast<uint32_t>(platform::get_date(r[UTC] >= 0));
    stack::set_last(date::make_cell(packed & ~(date::HAS_TIME | date::ZONE_MASK), 0.0));
    return;
  }
  cell d = current_date(r[UTC] >= 0, r[PRECISE] >= 0);
  stack::set_last(d);
  int32_t field = r[YEAR] >= 0    ? 2
                  : r[MONTH] >= 0 ? 3
                  : r[DAY] >= 0   ? 4
                  : r[ZONE] >= 0  ? 5
                  : r[TIME] >= 0  ? 6
                  : r[WEEKDAY] >= 0 ? 10
                                    : 0;
  if (r[YEARDAY] >= 0) {
    integer::box(date::get_yearday(d.data1));
  } else if (field) {
    stack::keep();
    stack::set_last(*date::get_field(&d, field));
  }
  stack::keep();
}

void (*wait_step)() = nullptr;

void wait(const int32_t*) {
  cell* value = arg(0);
  double seconds;
  switch (TYPE_OF(value)) {
    case TYPE_INTEGER: seconds = integer::get(value); break;
    case TYPE_FLOAT:
    case TYPE_TIME: seconds = get_float(value); break;
    default: fire(err::script_invalid_arg, {*value});
  }
  if (!wait_step) {
    platform::wait(seconds);
  } else {
    // Steps of at most a frame, each followed by the text UI's pass.
    int64_t left = platform::wait_milliseconds(seconds);
    do {
      int64_t step = left < 33 ? left : 33;
      platform::wait(static_cast<double>(step) / 1000);
      left -= step;
      wait_step();
    } while (left > 0 && !system::interrupt_pending);
  }
  // A Ctrl-C that ended the wait halts here, even when the wait is the
  // last thing the command does.
  if (system::interrupt_pending) stack::take_interrupt();
  none::box();
}

void get_env(const int32_t*) {
  std::string name = text_of(arg(0));
  auto value = env_name_q(name) ? platform::get_env(name.c_str()) : std::nullopt;
  if (!value) {
    none::box();
    return;
  }
  push_os_text(*value, false);
  stack::set_last(*stack::top_cell());
  stack::keep();
}

void set_env(const int32_t*) {
  std::string name = text_of(arg(0));
  if (!env_name_q(name)) fire(err::script_invalid_arg, {*arg(0)});
  if (TYPE_OF(arg(1)) == TYPE_NONE) {
    platform::unset_env(name.c_str());
  } else {
    std::string value = text_of(arg(1));
    if (value.find('\0') != std::string::npos) fire(err::script_invalid_arg, {*arg(1)});
    if (!platform::set_env(name.c_str(), value.c_str())) fire(err::internal_no_memory);
  }
  stack::set_last(*arg(1));
  stack::keep();
}

void list_env(const int32_t*) {
  stack::keep();
  auto vars = platform::list_env();
  int32_t cells = static_cast<int32_t>(vars.size() * 2);
  cell* pairs = block::make_at(stack::push_slot(), cells);
  for (const auto& [name, value] : vars) {
    block::rs_append(pairs, push_os_text(name, false));
    block::rs_append(pairs, push_os_text(value, false));
    stack::pop(2);
  }
  map::make_at(stack::arguments, nullptr, cells);
  map::extend(stack::arguments, pairs, 1);  // names are case-sensitive
  stack::keep();
}

void call(const int32_t* refinements) {
  enum { WAIT, SHOW, CONSOLE, SHELL, INPUT, OUTPUT, ERROR };
  cell* cmd = arg(0);
  auto given = [&](int32_t i) { return refinements[i] >= 0 ? arg(refinements[i]) : nullptr; };
  if (string::rs_length_q(cmd) == 0) {
    integer::box(0);
    return;
  }
  // A file! is the program alone; text is split into the program and its
  // arguments, and given whole to the shell with /shell or when the program
  // is not found.
  platform::call_command command;
  command.shell = refinements[SHELL] >= 0;
  if (TYPE_OF(cmd) == TYPE_FILE) {
    std::string path = file::to_OS_path(cmd);
    if (path.find('\0') != std::string::npos) fire(err::script_invalid_arg, {*cmd});
    command.argv.push_back(path);
    command.shell_text = shell_quoted(path);
  } else {
    command.shell_text = text_of(cmd);
    if (command.shell_text.find('\0') != std::string::npos) fire(err::script_invalid_arg, {*cmd});
    command.argv = platform::split_command(command.shell_text);
  }
  platform::call_stream in = stream_of(given(INPUT), true);
  platform::call_stream out = stream_of(given(OUTPUT), false);
  platform::call_stream err = stream_of(given(ERROR), false);
  int32_t result = platform::call(command, refinements[WAIT] >= 0, refinements[CONSOLE] >= 0, in, out, err);
  deliver(given(OUTPUT), out);
  deliver(given(ERROR), err);
  integer::box(result);
}

void init_call() { call_work = nullptr; }

void browse(const int32_t*) {
  cell* target = arg(0);
  platform::browse(TYPE_OF(target) == TYPE_FILE ? file::to_OS_path(target) : text_of(target));
  unset::box();
}

void to_local_file(const int32_t* refinements) {
  cell* path = arg(0);
  cell* local = string::rs_make_at(stack::push_slot(), string::rs_length_q(path));
  bool relative = string::rs_tail_q(path) || string::rs_abs_at(path, static_cast<int32_t>(path->data1)) != '/';
  if (refinements[0] >= 0 && relative) {
    int32_t length = 0;
    char* dir = platform::read_current_dir(length);
    std::string text = valid_utf8(std::string(dir, static_cast<size_t>(length)));
    heap::free_tracked(dir);
    if (text.empty() || text.back() != '/') text += '/';
    unicode::load_utf8_into(reinterpret_cast<const uint8_t*>(text.data()), static_cast<int32_t>(text.size()),
                            local, nullptr);
  }
  file::to_OS_path_at(path, local);
  stack::set_last(*local);
  stack::keep();
}

void size_q(const int32_t*) {
  std::string path = file::to_OS_path(arg(0));
  bool dir = path.empty() || path.back() == '/' || path.back() == '\\' || path == "." || path == "..";
  int64_t size = dir ? -1 : platform::file_size(path.c_str());
  if (size < 0) {
    none::box();
  } else {
    box_count(static_cast<double>(size));
  }
}

namespace {

void mark_new_line(cell* c) { c->header |= NEWLINE_FLAG; }

// Appends a block of the numbers to `target`, on a line of its own.
void append_numbers(cell* target, std::initializer_list<int32_t> numbers) {
  cell* entry = block::make_at(stack::push_slot(), static_cast<int32_t>(numbers.size()));
  for (int32_t n : numbers) integer::make_in(entry, n);
  mark_new_line(block::rs_append(target, entry));
  stack::pop(1);
}

void append_total(cell* target, double total) {
  cell value = total <= 2147483647.0 ? integer::make_cell(static_cast<int32_t>(total)) : float_::make_cell(total);
  mark_new_line(block::rs_append(target, &value));
}

// stats/info: appends to `block` (a block cell that no allocation moves)
// three blocks: per node frame [free used total] in nodes, per series frame
// [free used total] in bytes, per big frame its size; then the total of the
// big frames and the tracked heap, and the tracked heap alone, each an
// integer! when it fits, else a float!; every entry on a line of its own.
// The frames are measured first: building allocates.
void append_memory_stats(cell* block) {
  memory::frame_measures m = memory::measure_frames();
  cell* nodes = block::make_at(stack::push_slot(), 8);
  for (const memory::frame_sizes& s : m.node_frames) append_numbers(nodes, {s.free, s.used, s.total});
  mark_new_line(block::rs_append(block, nodes));
  cell* series = block::make_at(nodes, 8);
  for (const memory::frame_sizes& s : m.series_frames) append_numbers(series, {s.free, s.used, s.total});
  mark_new_line(block::rs_append(block, series));
  cell* bigs = block::make_at(series, 8);
  for (int32_t size : m.big_frames) mark_new_line(integer::make_in(bigs, size));
  mark_new_line(block::rs_append(block, bigs));
  stack::pop(1);
  append_total(block, m.big_and_heap);
  append_total(block, m.heap);
}

}  // namespace

// stats/show: the block of stats/info printed by the boot library's
// show-memory-stats.
void show_stats() {
  cell name{}, shower{};
  memory::root_guard keep_name(&name), keep_shower(&shower);
  name = *word::load("show-memory-stats");
  shower = *word::get_value(&name);
  if (TYPE_OF(&shower) == TYPE_UNSET) fire(err::script_no_value, {name});
  cell* top = stack::top;
  append_memory_stats(block::make_at(stack::push_slot(), 5));
  interpreter::call_value(&shower, &name, 1, interpreter::CALLBACK_NONE);
  stack::top = top;
  unset::box();
}

void stats(const int32_t* refinements) {
  enum { SHOW, INFO };
  stack::keep();
  if (refinements[SHOW] >= 0) {
    show_stats();
    return;
  }
  if (refinements[INFO] >= 0) {
    append_memory_stats(block::make_at(stack::arguments, 5));
    stack::keep();
    return;
  }
  box_count(memory::stats_in_use());
}

void recycle(const int32_t* refinements) {
  enum { ON, OFF };
  if (refinements[ON] >= 0 || refinements[OFF] >= 0) {
    collector_active = refinements[ON] >= 0 ? 1 : 0;
    unset::box();
    return;
  }
  collector::do_cycle();
  box_count(memory::stats_in_use());
}

}  // namespace ixo::natives
