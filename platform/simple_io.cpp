// File services over the platform's file layer: reading a file whole,
// listing directories, writing values, deleting, dating and renaming.
#include "platform/simple_io.hpp"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

#include "platform/posix/files.hpp"
#include "platform/posix/start.hpp"
#include "runtime/core/unicode.hpp"
#include "runtime/datatypes/binary.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/date.hpp"
#include "runtime/datatypes/file.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/none.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/interpreter/actions.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/roots.hpp"
#include "startup/system/console_output.hpp"

namespace ixo::simple_io {

using memory::root_guard;

namespace {

// Reads stop short of a series the arena cannot hold.
constexpr int64_t largest_read = INT32_MAX;
constexpr int32_t chunk = 65536;

// Closes the descriptor on every way out, errors included.
struct open_handle {
  int32_t fd;
  ~open_handle() {
    if (fd >= 0) platform::close_file(fd);
  }
};

// The integer of a refinement argument, -1 when the refinement is absent.
int32_t refinement_integer(cell* arg, const char* name) {
  if (!stack::given_q(arg)) return -1;
  if (TYPE_OF(arg) != TYPE_INTEGER) {
    cell word = error_word(name);
    fire(err::script_invalid_refine_arg, {word, *arg});
  }
  return integer::get(arg);
}

// The bytes of a file from byte `seek` (when not negative), at most `part`
// of them (when not negative); false when it cannot be opened, sized or
// read. Files that tell no size (pipes, devices, /proc) are read to their
// end once, or until seek + part bytes have come. `empty` tells whether
// the file itself held nothing. With `direct` (a cell no allocation
// moves), the bytes of a file that tells its size go straight into a new
// binary! there, sparing a copy of the whole file; `data` stays empty.
bool read_file(const std::string& path, int32_t part, int32_t seek, std::vector<uint8_t>& data, bool& empty,
               cell* direct = nullptr) {
  open_handle h{platform::open_file(path.c_str(), platform::OPEN_READ)};
  if (h.fd < 0) return false;
  int64_t size = platform::file_size_q(h.fd);
  if (size < 0 || size > largest_read) return false;
  empty = size == 0;
  int64_t from = seek > 0 ? seek : 0;
  if (size == 0) {
    int64_t wanted = part >= 0 ? from + part : largest_read;
    while (static_cast<int64_t>(data.size()) < wanted) {
      size_t old = data.size();
      if (static_cast<int64_t>(old) + chunk > largest_read) return false;
      data.resize(old + chunk);
      int32_t n = platform::read_data(h.fd, data.data() + old, chunk);
      if (n < 0) return false;
      data.resize(old + static_cast<size_t>(n));
      if (n == 0) break;
    }
    empty = data.empty();
    data.erase(data.begin(), data.begin() + std::min<int64_t>(from, static_cast<int64_t>(data.size())));
    if (part >= 0 && static_cast<size_t>(part) < data.size()) data.resize(static_cast<size_t>(part));
    return true;
  }
  if (seek >= 0) {
    if (platform::seek_file(h.fd, seek) < 0) return false;
    size = seek >= size ? 0 : size - seek;
  }
  if (part >= 0 && part < size) size = part;
  uint8_t* to;
  if (direct) {
    binary::make_at(direct, static_cast<int32_t>(size));
    to = binary::rs_head(direct);
  } else {
    data.resize(static_cast<size_t>(size));
    to = data.data();
  }
  int64_t got = 0;
  while (got < size) {
    // Reading allocates nothing: the binary's bytes stay where they are.
    int32_t n = platform::read_data(h.fd, to + got, static_cast<int32_t>(size - got));
    if (n < 0) return false;
    if (n == 0) break;  // the file shrank meanwhile
    got += n;
  }
  if (direct) memory::set_tail(memory::GET_BUFFER(direct), to + got);
  else data.resize(static_cast<size_t>(got));
  return true;
}

// The UTF-8 of a string from its index, at most `part` characters unless
// part is negative.
std::string utf8_of(const cell* s, int32_t part) {
  cell copy = *s;
  copy.data3 = 0;  // export into a cache of the copy's own
  root_guard keep(&copy);
  int32_t length = part;
  uint32_t node = unicode::to_utf8_buffer(&copy, length, false);
  const char* text = memory::head_of<char>(memory::buffer_of(node));
  return std::string(text, static_cast<size_t>(length));
}

}  // namespace

cell* load_lines(const uint8_t* data, int32_t size, cell* c) {
  int32_t count = static_cast<int32_t>(std::count(data, data + size, '\n')) + 1;
  block::make_at(c, count);
  int32_t start = 0;
  for (int32_t i = 0; i <= size; ++i) {
    bool end = i == size;
    if (!end && data[i] != '\n') continue;
    if (end && i == start) break;
    int32_t stop = i;
    if (!end && stop > start && data[stop - 1] == '\r') --stop;
    string::load_in(data + start, stop - start, c->data2, string::LOAD_UTF8);
    start = i + 1;
  }
  return c;
}

std::string value_to_bytes(cell* value, int32_t part) {
  switch (TYPE_OF(value)) {
    case TYPE_STRING:
      return utf8_of(value, part);
    case TYPE_BINARY: {
      int32_t length = binary::rs_length_q(value);
      if (part > 0 && part < length) length = part;
      return std::string(reinterpret_cast<const char*>(binary::rs_head(value)), static_cast<size_t>(length));
    }
    default: {
      cell v = *value;
      root_guard keep(&v);
      cell* work = stack::push_slot();
      string::rs_make_at(work, 16);
      actions::mold(&v, work, 0, 0, 0, nullptr, INT32_MAX, 0);
      std::string bytes = utf8_of(work, -1);
      stack::pop(1);
      return bytes;
    }
  }
}

namespace {

// Writes the bytes to the file at `path`, or to standard output when path
// is null. -1 when the file cannot be opened; -2 when the system does not
// take the bytes whole (a full disk, the file-size limit), with errno
// telling why.
int32_t write_data(const std::string* path, const std::string& bytes, int32_t seek, bool append) {
  if (!path) {
    system::flush_output();  // keep the order of what was printed before
    int32_t out = platform::std_output >= 0 ? platform::std_output : 1;
    int32_t n = platform::write_bytes(out, bytes.data(), static_cast<int32_t>(bytes.size()));
    return n < 0 ? -2 : n;
  }
  int32_t mode = platform::OPEN_WRITE | (append ? platform::OPEN_APPEND : 0) | (seek >= 0 ? platform::OPEN_SEEK : 0);
  open_handle h{platform::open_file(path->c_str(), mode)};
  if (h.fd < 0) return -1;
  if (seek > 0 && platform::seek_file(h.fd, seek) < 0) return -1;
  if (append && platform::seek_end(h.fd) < 0) return -1;
  int32_t n = platform::write_bytes(h.fd, bytes.data(), static_cast<int32_t>(bytes.size()));
  int saved = errno;
  int32_t fd = h.fd;
  h.fd = -1;
  bool closed = platform::close_file(fd);
  if (n < 0) errno = saved;
  return n < 0 || !closed ? -2 : n;
}

// A file argument of the error raised for it (none for standard output).
[[noreturn]] void cannot_open(const cell* file) {
  fire(err::access_cannot_open, {file ? *file : none::none_value});
}

}  // namespace

[[noreturn]] void cannot_write(const cell* file, int reason) {
  cell target = file ? *file : none::none_value;
  root_guard keep(&target);
  const char* text = std::strerror(reason);
  cell* why = stack::push_slot();
  load_os_text(text, std::strlen(text), why);
  fire(err::access_cannot_write, {target, *why});
}

cell* load_os_text(const char* bytes, size_t length, cell* c) {
  const uint8_t* p = reinterpret_cast<const uint8_t*>(bytes);
  const uint8_t* end = p + length;
  string::rs_make_at(c, static_cast<int32_t>(std::min<size_t>(length, INT32_MAX)));
  while (p < end) {
    int32_t cp;
    p = unicode::fast_decode_utf8_char(p, end, cp);
    string::append_char(memory::GET_BUFFER(c), cp < 0 ? 0xFFFDu : static_cast<uint32_t>(cp));
  }
  return c;
}

bool os_path_of(cell* file, std::string& path) {
  path = file::to_OS_path(file);
  return path.find('\0') == std::string::npos;
}

bool dir_path_q(cell* file) {
  int32_t length = string::rs_length_q(file);
  if (length == 0) return false;
  int32_t start = string::rs_abs_length_q(file) - length;
  auto at = [&](int32_t i) { return string::rs_abs_at(file, start + i); };
  auto slash = [](uint32_t cp) { return cp == '/' || cp == '\\'; };
  uint32_t last = at(length - 1);
  if (slash(last)) return true;
  if (last != '.') return false;
  if (length == 1 || slash(at(length - 2))) return true;  // "." or ".../."
  if (at(length - 2) != '.') return false;
  return length == 2 || slash(at(length - 3));  // ".." or ".../.."
}

cell* read(cell* file, cell* part_arg, cell* seek_arg, bool binary, bool lines) {
  if (dir_path_q(file)) return read_dir(file);
  int32_t part = refinement_integer(part_arg, "part");
  int32_t seek = refinement_integer(seek_arg, "seek");
  cell source = *file;
  root_guard keep(&source);
  std::string path;
  std::vector<uint8_t> data;
  bool empty = false;
  cell* result = stack::push_slot();
  if (!os_path_of(&source, path) || !read_file(path, part, seek, data, empty, binary ? result : nullptr)) {
    cannot_open(&source);
  }
  if (binary && TYPE_OF(result) == TYPE_BINARY) return result;
  int32_t size = static_cast<int32_t>(data.size());
  static const uint8_t nothing = 0;  // an empty vector may have no data to point at
  const uint8_t* bytes = size ? data.data() : &nothing;
  if (binary) {
    binary::load_at(bytes, size, result);
  } else if (lines && !empty && part != 0) {
    // An empty file, or /part 0, gives the empty string even with /lines.
    load_lines(bytes, size, result);
  } else {
    result->header = TYPE_UNSET;
    uint32_t node = unicode::load_utf8(bytes, size, 0, nullptr, true);
    *result = {TYPE_STRING, 0, node, 0};
  }
  return result;
}

cell* read_dir(cell* file) {
  cell source = *file;
  root_guard keep(&source);
  std::string path;
  std::vector<platform::dir_entry> entries;
  if (!os_path_of(&source, path) || !platform::list_dir(path.c_str(), entries)) cannot_open(&source);

  cell* result = stack::push_slot();
  block::make_at(result, static_cast<int32_t>(entries.size()));
  cell* name = stack::push_slot();
  for (const platform::dir_entry& e : entries) {
    load_os_text(e.name.data(), e.name.size(), name);
    if (e.directory) string::append_char(memory::GET_BUFFER(name), '/');
    set_type(name, TYPE_FILE);
    block::rs_append(result, name);
  }
  stack::pop(1);
  return result;
}

int32_t write(cell* file, cell* value, cell* part_arg, cell* seek_arg, bool binary, bool append, bool lines) {
  (void)binary;  // text is written with LF line ends either way
  int32_t part = -1;
  if (stack::given_q(part_arg)) {
    if (TYPE_OF(part_arg) != TYPE_INTEGER) {
      cell word = error_word("part");
      fire(err::script_invalid_refine_arg, {word, *part_arg});
    }
    part = integer::get(part_arg);
    if (part < 0) return -1;
  }
  int32_t seek = refinement_integer(seek_arg, "seek");

  cell target = file ? *file : none::none_value;
  cell data = *value;
  root_guard keep_target(&target), keep_data(&data);
  std::string bytes;
  if (lines && TYPE_OF(&data) == TYPE_BLOCK) {
    for (int32_t i = 0; i < block::rs_length_q(&data); ++i) {
      cell line = block::rs_head(&data)[i];
      root_guard keep_line(&line);
      bytes += value_to_bytes(&line, -1);
      bytes += '\n';
    }
  } else {
    bytes = value_to_bytes(&data, part);
    if (lines) bytes += '\n';
  }

  std::string path;
  if (file && !os_path_of(&target, path)) cannot_open(&target);
  int32_t n = write_data(file ? &path : nullptr, bytes, seek, append);
  if (n == -2) cannot_write(file ? &target : nullptr, errno);
  if (n < 0) cannot_open(file ? &target : nullptr);
  return n;
}

bool delete_file(cell* file) {
  std::string path;
  if (!os_path_of(file, path)) return false;
  return dir_path_q(file) ? platform::remove_dir(path.c_str()) : platform::remove_file(path.c_str());
}

cell* query(cell* file) {
  std::string path;
  platform::file_time t;
  if (!os_path_of(file, path) || !platform::file_date(path.c_str(), t)) return none::push();
  int32_t length = string::rs_length_q(file);
  int32_t start = string::rs_abs_length_q(file) - length;
  if (length > 0 && string::rs_abs_at(file, start + length - 1) == '/' && !t.directory) return none::push();
  double time = t.hour * 3600.0 + t.minute * 60.0 + t.second + t.millisecond / 1000.0;
  cell* result = stack::push_slot();
  date::make_at(result, t.year, t.month, t.day, time, 0, 0, true);
  return result;
}

bool rename(cell* from, cell* to) {
  std::string old_path, new_path;
  if (!os_path_of(from, old_path) || !os_path_of(to, new_path)) return false;
  return platform::rename_file(old_path.c_str(), new_path.c_str());
}

}  // namespace ixo::simple_io
