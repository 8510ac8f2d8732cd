// file!: the OS form of a path, the current directory, mold, the file
// actions over the file services, and the registration of file! under
// url!, whose string cell, buffers and actions it shares.
#include "runtime/datatypes/file.hpp"

#include "platform/posix/bindings.hpp"
#include "platform/simple_io.hpp"
#include "runtime/core/unicode.hpp"
#include "runtime/datatypes/action_types.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/logic.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/datatypes/unset.hpp"
#include "runtime/datatypes/url.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/roots.hpp"
#include "startup/system/heap.hpp"

namespace ixo::file {

using namespace memory;

void to_OS_path_at(cell* file, cell* target) {
  cell path = *file;
  root_guard keep(&path);
  int32_t length = string::rs_length_q(&path);
  int32_t start = string::rs_abs_length_q(&path) - length;
  uint32_t previous = 0;
  for (int32_t i = start; i < start + length; ++i) {
    uint32_t cp = string::rs_abs_at(&path, i);
    if (cp == '/' && previous == '/') continue;
    string::append_char(GET_BUFFER(target), cp);
    previous = cp;
  }
}

std::string to_OS_path(cell* file) {
  cell* os = stack::push_slot();
  string::rs_make_at(os, 16);
  to_OS_path_at(file, os);
  int32_t length = -1;
  const char* bytes = unicode::to_utf8(os, length);
  std::string text(bytes, static_cast<size_t>(length));  // a NUL in the path stays in it
  stack::pop(1);
  return text;
}

cell* get_current_dir(cell* c) {
  int32_t length = 0;
  char* dir = platform::read_current_dir(length);
  if (!dir) {
    cell* here = stack::push_slot();
    string::load_at(reinterpret_cast<const uint8_t*>("./"), 2, here, string::LOAD_UTF8);
    set_type(here, TYPE_FILE);
    fire(err::access_cannot_open, {*here});
  }
  std::string text(dir, static_cast<size_t>(length));
  heap::free_tracked(dir);
  if (text.empty() || text.back() != '/') text += '/';
  return simple_io::load_os_text(text.data(), text.size(), c);
}

namespace {

// "%" and the text as it is, in double quotes when a character below 127
// lies outside the url's keep set (or the text is empty).
int32_t mold(cell* value, cell* buffer, int32_t, int32_t, int32_t, cell* arg, int32_t part, int32_t) {
  cell v = *value;
  root_guard keep(&v);
  int32_t length = string::rs_length_q(&v);
  int32_t start = string::rs_abs_length_q(&v) - length;
  bool quoted = length == 0;
  for (int32_t i = start; i < start + length && !quoted; ++i) {
    uint32_t cp = string::rs_abs_at(&v, i);
    quoted = cp < 127 && !url::url_keep_q(cp);
  }
  int32_t written = length;
  if (stack::given_q(arg) && part < length) written = part < 0 ? 0 : part;

  series_buffer* b = string::append_char(GET_BUFFER(buffer), '%');
  if (quoted) b = string::append_char(b, '"');
  for (int32_t i = start; i < start + written; ++i) b = string::append_char(b, string::rs_abs_at(&v, i));
  if (quoted) string::append_char(b, '"');
  return part - written - 1;
}

// ---- File actions ----------------------------------------------------------------

// /info has no meaning for files; /as (an encoding) is not done.
cell* read(cell* file, cell* part, cell* seek, int32_t binary, int32_t lines, int32_t, cell* as) {
  if (stack::given_q(as)) fire(err::internal_not_done);
  return simple_io::read(file, part, seek, binary != 0, lines != 0);
}

cell* write(cell* file, cell* data, int32_t binary, int32_t lines, int32_t, int32_t append, cell* part,
            cell* seek, cell* allow, cell* as) {
  if (stack::given_q(allow) || stack::given_q(as)) fire(err::internal_not_done);
  simple_io::write(file, data, part, seek, binary != 0, append != 0, lines != 0);
  return stack::push(unset::unset_value);
}

cell* delete_(cell* file) { return logic::push(simple_io::delete_file(file)); }

cell* query(cell* file) { return simple_io::query(file); }

// The new name is a file! (a string names the same path).
cell* rename(cell* file, cell* to) {
  if (TYPE_OF(to) != TYPE_FILE && TYPE_OF(to) != TYPE_STRING) fire(err::script_invalid_arg, {*to});
  return logic::push(simple_io::rename(file, to));
}

}  // namespace

void init() {
  // clang-format off
  datatype::register_type(datatype_registration(TYPE_FILE, TYPE_URL, "file!",
    /* make .. set-path */     inherit, unsupported, unsupported, inherit, inherit, mold, inherit, unsupported,
    /* compare .. remainder */ inherit, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* round .. xor~ */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* append .. head */       inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit,
    /* head? .. poke */        inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit,
    /* put .. tail */          unsupported, inherit, inherit, inherit, unsupported, inherit, inherit, inherit,
    /* tail? .. open */        inherit, inherit, unsupported, unsupported, unsupported, delete_, inherit, unsupported,
    /* open? .. write */       unsupported, query, read, rename, unsupported, write));
  // clang-format on
}

}  // namespace ixo::file
