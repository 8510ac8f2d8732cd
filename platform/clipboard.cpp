// The clipboard over the desktop's tools. Each read or write runs one or
// two short-lived tools with a time-out of 2 seconds, so nothing waits for
// ever on a desktop that does not answer.
#include "platform/clipboard.hpp"

#include <cstring>
#include <string>
#include <vector>

#include "platform/image_files.hpp"
#include "platform/images/raster.hpp"
#include "platform/posix/bindings.hpp"
#include "platform/posix/system_calls.hpp"
#include "platform/simple_io.hpp"
#include "runtime/core/unicode.hpp"
#include "runtime/datatypes/binary.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/file.hpp"
#include "runtime/datatypes/image.hpp"
#include "runtime/datatypes/logic.hpp"
#include "runtime/datatypes/none.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/roots.hpp"
#include "startup/system/heap.hpp"

namespace ixo::clipboard {

namespace {

constexpr int TOOL_TIMEOUT_MS = 2000;

const char* const URI_LIST = "text/uri-list";
const char* const PNG = "image/png";
// Text types read, in order of preference; the first is the one Wayland
// writes, the second the one X11 writes.
const char* const TEXT_TYPES[] = {"text/plain;charset=utf-8", "UTF8_STRING", "text/plain"};
const char* const IMAGE_TYPES[] = {"image/png", "image/jpeg", "image/gif", "image/bmp"};

enum class desktop { none, wayland, x11 };

bool env_set(const char* name) {
  const char* value = std::getenv(name);
  return value && *value;
}

desktop find_desktop() {
  if (env_set("WAYLAND_DISPLAY") && platform::on_path("wl-paste")) return desktop::wayland;
  if (env_set("DISPLAY")) return desktop::x11;
  return desktop::none;
}

bool run(const std::vector<std::string>& argv, const std::string& input, std::string* output) {
  return platform::run_tool(argv, input, output, TOOL_TIMEOUT_MS);
}

const char* text_type(desktop d) { return d == desktop::wayland ? TEXT_TYPES[0] : TEXT_TYPES[1]; }

// The types on offer, one a line; false when the tool fails.
bool list_types(desktop d, std::vector<std::string>& types) {
  std::string text;
  bool ok = d == desktop::wayland ? run({"wl-paste", "--list-types"}, "", &text)
                                  : run({"xclip", "-selection", "clipboard", "-o", "-t", "TARGETS"}, "", &text);
  if (!ok) return false;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (!line.empty()) types.push_back(line);
    start = end + 1;
  }
  return true;
}

bool fetch(desktop d, const std::string& type, std::string& bytes) {
  return d == desktop::wayland ? run({"wl-paste", "--no-newline", "--type", type}, "", &bytes)
                               : run({"xclip", "-selection", "clipboard", "-o", "-t", type}, "", &bytes);
}

bool offer(desktop d, const std::string& type, const std::string& bytes) {
  return d == desktop::wayland ? run({"wl-copy", "--type", type}, bytes, nullptr)
                               : run({"xclip", "-selection", "clipboard", "-i", "-t", type}, bytes, nullptr);
}

bool empty_clipboard(desktop d) {
  if (d == desktop::wayland) return run({"wl-copy", "--clear"}, "", nullptr);
  if (platform::on_path("xsel")) return run({"xsel", "--clipboard", "--clear"}, "", nullptr);
  return offer(d, text_type(d), "");
}

// CR LF and lone CR made LF.
std::string lf_lines(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r') {
      out += text[i];
    } else if (i + 1 >= text.size() || text[i + 1] != '\n') {
      out += '\n';
    }
  }
  return out;
}

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The path of a file:// URI, its escapes decoded; empty for a line that is
// a comment, another scheme or a file on another host.
std::string uri_path(const std::string& line) {
  const char* scheme = "file://";
  if (line.compare(0, 7, scheme) != 0) return "";
  std::string rest = line.substr(7);
  if (rest.compare(0, 9, "localhost") == 0) rest.erase(0, 9);
  if (rest.empty() || rest[0] != '/') return "";
  std::string path;
  for (size_t i = 0; i < rest.size(); ++i) {
    int high = rest[i] == '%' && i + 2 < rest.size() ? hex_value(rest[i + 1]) : -1;
    int low = high >= 0 ? hex_value(rest[i + 2]) : -1;
    if (low >= 0) {
      path += static_cast<char>(high * 16 + low);
      i += 2;
    } else {
      path += rest[i];
    }
  }
  return path.find('\0') == std::string::npos ? path : "";
}

// The file! values of a URI list, one URI a line.
cell* read_uri_list(const std::string& text, cell* result) {
  cell* files = block::make_at(stack::push_slot(), 4);
  cell* name = stack::push_slot();
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    start = end + 1;
    std::string path = uri_path(line);
    if (path.empty()) continue;
    simple_io::load_os_text(path.data(), path.size(), name);
    set_type(name, TYPE_FILE);
    block::rs_append(files, name);
  }
  *result = *files;
  stack::pop(2);
  return result;
}

cell* read_image(const std::string& type, const std::string& bytes, cell* result) {
  cell* bin = binary::load_at(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<int32_t>(bytes.size()),
                              stack::push_slot());
  if (type == "image/bmp") {
    // A bitmap that does not decode is no picture at all.
    images::raster pixels;
    images::status s = images::decode_bmp(binary::rs_head(bin), bytes.size(), pixels);
    if (s == images::status::no_memory) fire(err::internal_no_memory);
    if (s != images::status::ok) {
      *result = none::none_value;
    } else {
      image::make_unfilled_at(result, pixels.width, pixels.height);
      std::memcpy(image::pixels_of(result), pixels.pixels.data(), pixels.pixels.size() * 4);
    }
  } else {
    image_files::decode_binary(bin, result);
  }
  stack::pop(1);
  return result;
}

bool offered(const std::vector<std::string>& types, const char* type) {
  for (const std::string& t : types) {
    if (t == type) return true;
  }
  return false;
}

// Characters a file URI keeps as they are; every other byte is escaped.
bool uri_plain_q(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || std::strchr("-._~/", c);
}

std::string file_uri(const std::string& path) {
  static const char hex[] = "0123456789ABCDEF";
  std::string uri = "file://";
  for (unsigned char c : path) {
    if (c && uri_plain_q(c)) {
      uri += static_cast<char>(c);
    } else {
      uri += '%';
      uri += hex[c >> 4];
      uri += hex[c & 15];
    }
  }
  return uri;
}

// The URI list of a block of file! values, each line ended by CR LF.
std::string uri_list_of(cell* blk) {
  std::string current;
  std::string list;
  int32_t count = block::rs_length_q(blk);
  for (int32_t i = 0; i < count; ++i) {
    cell* f = block::rs_head(blk) + i;
    if (TYPE_OF(f) != TYPE_FILE) fire(err::script_invalid_arg, {*f});
    std::string path = file::to_OS_path(f);
    if (path.find('\0') != std::string::npos) fire(err::script_invalid_arg, {*f});
    if (path.empty() || path[0] != '/') {
      if (current.empty()) {
        int32_t length = 0;
        char* dir = platform::read_current_dir(length);
        if (!dir) fire(err::script_invalid_arg, {*f});  // the current folder was removed
        current.assign(dir, static_cast<size_t>(length));
        heap::free_tracked(dir);
        if (current.empty() || current.back() != '/') current += '/';
      }
      path = current + path;
    }
    list += file_uri(path);
    list += "\r\n";
  }
  return list;
}

}  // namespace

cell* read(cell* result) {
  desktop d = find_desktop();
  std::vector<std::string> types;
  if (d == desktop::none || !list_types(d, types)) {
    *result = logic::make_cell(false);
    return result;
  }
  std::string type;
  if (offered(types, URI_LIST)) type = URI_LIST;
  for (const char* t : TEXT_TYPES) {
    if (type.empty() && offered(types, t)) type = t;
  }
  for (const char* t : IMAGE_TYPES) {
    if (type.empty() && offered(types, t)) type = t;
  }
  if (type.empty()) {
    *result = none::none_value;
    return result;
  }
  std::string bytes;
  if (!fetch(d, type, bytes)) {
    *result = logic::make_cell(false);
    return result;
  }
  if (type == URI_LIST) return read_uri_list(bytes, result);
  if (type.compare(0, 6, "image/") == 0) return read_image(type, bytes, result);
  std::string text = lf_lines(bytes);
  return simple_io::load_os_text(text.data(), text.size(), result);
}

bool write(cell* value) {
  std::string type, bytes;
  bool text = false;
  switch (TYPE_OF(value)) {
    case TYPE_NONE: break;
    case TYPE_STRING: {
      int32_t length = -1;  // the whole text
      const char* units = unicode::to_utf8(value, length);
      bytes.assign(units, static_cast<size_t>(length));
      text = true;
      break;
    }
    case TYPE_BLOCK:
      bytes = uri_list_of(value);
      type = URI_LIST;
      break;
    case TYPE_IMAGE:
      if (image::width_of(value) && image::height_of(value)) {
        cell* png = image_files::encode(value, stack::push_slot(), images::FORMAT_PNG);
        bytes.assign(reinterpret_cast<const char*>(binary::rs_head(png)),
                     static_cast<size_t>(binary::rs_length_q(png)));
        stack::pop(1);
        type = PNG;
      }
      break;
    default: fire(err::script_invalid_arg, {*value});
  }
  desktop d = find_desktop();
  if (d == desktop::none) return false;
  if (text) type = text_type(d);
  if (type.empty()) return empty_clipboard(d);
  return offer(d, type, bytes);
}

}  // namespace ixo::clipboard
