// url!: percent-encoding and -decoding, make and to from a block of parts,
// mold, the path step, reading and writing over HTTP or a port, the port
// of a url, and the registration of url! under string!, whose string
// cell, buffers and actions it shares.
#include "runtime/datatypes/url.hpp"

#include <climits>
#include <string>

#include "platform/http.hpp"
#include "platform/simple_io.hpp"
#include "runtime/core/unicode.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/object.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/datatypes/string_form.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/datatypes/type_classes.hpp"
#include "runtime/datatypes/word.hpp"
#include "runtime/interpreter/actions.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/interpreter.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/roots.hpp"

namespace ixo::url {

using namespace memory;

namespace {

bool alnum_q(uint32_t cp) {
  return (cp >= 'A' && cp <= 'Z') || (cp >= 'a' && cp <= 'z') || (cp >= '0' && cp <= '9');
}

bool unreserved_q(uint32_t cp) {
  return alnum_q(cp) || cp == '-' || cp == '.' || cp == '_' || cp == '~';
}

int32_t hex_value(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if ((c | 0x20) >= 'a' && (c | 0x20) <= 'f') return (c | 0x20) - 'a' + 10;
  return -1;
}

// The UTF-8 bytes of a string from its index, in host memory, so that
// appending to another string may move every buffer meanwhile.
std::string utf8_of(const cell* s) {
  cell copy = *s;
  copy.data3 = 0;  // export into a cache of the copy's own
  root_guard keep(&copy);
  int32_t length = -1;
  const char* text = unicode::to_utf8(&copy, length);
  return std::string(text, static_cast<size_t>(length));
}

}  // namespace

bool url_keep_q(uint32_t cp) {
  if (cp >= 128) return false;
  if (alnum_q(cp)) return true;
  switch (cp) {
    case '@': case '!': case '#': case '$': case '&': case '\'': case '(': case ')': case '*':
    case '+': case ',': case '-': case '.': case '/': case ':': case '=': case '?': case '_':
    case '~':
      return true;
    default:
      return false;
  }
}

// ---- Percent escapes ------------------------------------------------------------

bool decode_escape(const uint8_t* p, const uint8_t* end, uint8_t& byte) {
  if (end - p < 3 || p[0] != '%') return false;
  int32_t high = hex_value(p[1]), low = hex_value(p[2]);
  if (high < 0 || low < 0) return false;
  byte = static_cast<uint8_t>(high << 4 | low);
  return true;
}

void decode_hex(cell* s, cell* target) {
  std::string text = utf8_of(s);
  const uint8_t* p = reinterpret_cast<const uint8_t*>(text.data());
  const uint8_t* end = p + text.size();
  while (p < end) {
    uint8_t b;
    if (decode_escape(p, end, b)) {
      int32_t n = unicode::utf8_seq_length(b);
      if (n == 0) {
        string::append_char(GET_BUFFER(target), b);
        p += 3;
        continue;
      }
      uint8_t bytes[4] = {b};
      int32_t got = 1;
      while (got < n && decode_escape(p + 3 * got, end, bytes[got])) ++got;
      if (got == n) {
        int32_t cp;
        if (unicode::fast_decode_utf8_char(bytes, bytes + n, cp) == bytes + n && cp >= 0) {
          string::append_char(GET_BUFFER(target), static_cast<uint32_t>(cp));
          p += 3 * n;
          continue;
        }
      }
    }
    // No escape here, or one that does not begin a whole character: the
    // raw text, which came from a string and so is valid UTF-8.
    int32_t cp;
    p = unicode::fast_decode_utf8_char(p, end, cp);
    string::append_char(GET_BUFFER(target), static_cast<uint32_t>(cp));
  }
}

encoded encode_byte(int32_t mode, uint8_t byte) {
  bool keep = mode == KEEP_UNRESERVED ? unreserved_q(byte) : url_keep_q(byte);
  if (keep) return {{static_cast<char>(byte), 0}, 1};
  const char* digits = string::byte_to_hex(byte);
  return {{'%', digits[0], digits[1], 0}, 3};
}

void encode_hex(cell* s, cell* target, int32_t mode) {
  for (char byte : utf8_of(s))
    string::concatenate_literal(GET_BUFFER(target), encode_byte(mode, static_cast<uint8_t>(byte)).text);
}

cell* dehex(cell* value, cell* c) {
  cell v = *value;
  root_guard keep(&v);
  string::rs_make_at(c, string::rs_length_q(&v));
  decode_hex(&v, c);
  return c;
}

cell* enhex(cell* value, cell* c) {
  cell v = *value;
  root_guard keep(&v);
  string::rs_make_at(c, string::rs_length_q(&v));
  encode_hex(&v, c, TYPE_OF(&v) == TYPE_STRING ? KEEP_UNRESERVED : 0xFF);
  return c;
}

// ---- make and to ----------------------------------------------------------------

namespace {


// Appends the form of a block's element (counted from its index) to the
// string in `proto`.
void form_element(cell* proto, const cell* spec, int32_t i) {
  cell element = block::rs_head(const_cast<cell*>(spec))[i];
  root_guard keep(&element);
  actions::form(&element, proto, nullptr, INT32_MAX);
}

uint32_t element_type(const cell* spec, int32_t i) {
  return TYPE_OF(block::rs_head(const_cast<cell*>(spec)) + i);
}

// scheme "://" host [":" port] ["/" part ("/" | "#") part ...]
cell* from_parts(cell* proto, cell* spec) {
  cell source = *spec;
  root_guard keep(&source);
  int32_t count = block::rs_length_q(&source);
  if (count == 0) fire(err::script_bad_to_arg, {datatype::make_cell(TYPE_URL), source});
  string::rs_make_at(proto, 16);
  form_element(proto, &source, 0);
  string::concatenate_literal(GET_BUFFER(proto), "://");
  if (count > 1) form_element(proto, &source, 1);
  int32_t i = 2;
  if (count > 2 && element_type(&source, 2) == TYPE_INTEGER) {
    string::append_char(GET_BUFFER(proto), ':');
    form_element(proto, &source, 2);
    i = 3;
  }
  if (i < count) string::append_char(GET_BUFFER(proto), '/');
  for (; i < count; ++i) {
    form_element(proto, &source, i);
    if (i + 1 < count) string::append_char(GET_BUFFER(proto), element_type(&source, i + 1) == TYPE_ISSUE ? '#' : '/');
  }
  set_type(proto, TYPE_URL);
  return proto;
}

}  // namespace

cell* make(cell* proto, cell* spec, int32_t type) {
  if (type == TYPE_URL && any_list_q(TYPE_OF(spec))) return from_parts(proto, spec);
  return string::make(proto, spec, type);
}

cell* to(cell* proto, cell* spec, int32_t type) {
  if (type == TYPE_URL && any_list_q(TYPE_OF(spec))) return from_parts(proto, spec);
  return string::to(proto, spec, type);
}

// ---- mold and the path step -------------------------------------------------------

namespace {

int32_t mold(cell* value, cell* buffer, int32_t, int32_t, int32_t, cell* arg, int32_t part, int32_t) {
  bool limited = stack::given_q(arg);
  for (char byte : utf8_of(value)) {
    if (limited && part <= 0) break;
    encoded e = encode_byte(0, static_cast<uint8_t>(byte));
    part = datatype::append_text(buffer, e.text, part);
  }
  return part;
}

}  // namespace

cell* eval_path(cell* value, cell* element, cell* data, cell* path, cell*, cell*, int32_t, int32_t,
                int32_t, int32_t, int32_t) {
  if (data) fire(err::script_bad_path_set, {*path, *element});
  cell base = *value;
  cell part = TYPE_OF(element) == TYPE_GET_WORD ? *word::get_value(element) : *element;
  root_guard keep_base(&base), keep_part(&part);

  cell* result = stack::push_slot();
  string::rs_make_at(result, 16);
  string::concatenate(result, &base, -1, 0, true, string::MODE_APPEND);
  cell* formed = stack::push_slot();
  string::rs_make_at(formed, 16);
  actions::form(&part, formed, nullptr, INT32_MAX);

  int32_t length = string::rs_length_q(result);
  bool base_slash = length > 0 && string::rs_abs_at(result, length - 1) == '/';
  bool part_slash = string::rs_length_q(formed) > 0 && string::rs_abs_at(formed, 0) == '/';
  if (base_slash && part_slash) ++formed->data1;
  else if (!base_slash && !part_slash) string::append_char(GET_BUFFER(result), '/');
  string::concatenate(result, formed, -1, 0, true, string::MODE_APPEND);
  stack::pop(1);
  set_type(result, TYPE_OF(&base));
  return result;
}

// ---- Ports -------------------------------------------------------------------------

cell* to_port(cell* url, bool opening, int32_t new_, int32_t read, int32_t write, int32_t seek, cell* allow) {
  cell target = *url, name{}, parser{};
  root_guard keep_target(&target), keep_name(&name), keep_parser(&parser);
  word::make_at(symbol::make("url-parser"), &name);
  parser = *word::get_value(&name);
  if (TYPE_OF(&parser) != TYPE_OBJECT) fire(err::script_no_value, {name});
  word::make_at(symbol::make("parse-url"), &name);
  parser = *object::select_word(&parser, &name);
  stack::push(target);
  interpreter::call_value(&parser, &name, 1, interpreter::CALLBACK_NONE);
  cell* parts = stack::top - 1;
  if (TYPE_OF(parts) != TYPE_OBJECT) fire(err::script_invalid_arg, {target});
  cell port_type = datatype::make_cell(TYPE_PORT);
  cell* port = actions::make(&port_type, parts);
  if (opening) actions::open(port, new_, read, write, seek, allow);
  return port;
}

// ---- read, write and open ------------------------------------------------------------

namespace {

// A url whose text from its index starts with "http" (so https too) is
// read and written here; any other goes to the port of its scheme.
bool http_q(const cell* value) { return utf8_of(value).starts_with("http"); }

cell method_word(const char* spelling) {
  cell c{};
  word::make_at(symbol::make(spelling), &c);
  return c;
}

bool string_or_binary_q(const cell* value) {
  return TYPE_OF(value) == TYPE_STRING || TYPE_OF(value) == TYPE_BINARY;
}

// read sends GET; /part, /seek and /as are not done.
cell* read(cell* url, cell* part, cell* seek, int32_t binary, int32_t lines, int32_t info, cell* as) {
  if (!http_q(url)) return actions::read(to_port(url, false, 0, 0, 0, 0, nullptr), part, seek, binary, lines, info, as);
  if (stack::given_q(part) || stack::given_q(seek) || stack::given_q(as)) fire(err::internal_not_done);
  cell get = method_word("get");
  return simple_io::request_http(&get, url, nullptr, nullptr, binary != 0, lines != 0, info != 0);
}

// write of a string or binary sends it with POST; of a block [method
// headers body], each part optional and an empty block a GET. A block body
// is sent molded. /seek, /allow and /as are not done.
cell* write(cell* url, cell* data, int32_t binary, int32_t lines, int32_t info, int32_t append, cell* part,
            cell* seek, cell* allow, cell* as) {
  if (!http_q(url))
    return actions::write(to_port(url, false, 0, 0, 0, 0, nullptr), data, binary, lines, info, append, part, seek,
                          allow, as);
  if (stack::given_q(seek) || stack::given_q(allow) || stack::given_q(as)) fire(err::internal_not_done);
  cell target = *url, value = *data;
  cell method = method_word("post"), headers{}, body{};
  root_guard keep_target(&target), keep_value(&value), keep_method(&method), keep_headers(&headers),
      keep_body(&body);
  bool has_headers = false, has_body = false;
  if (TYPE_OF(&value) == TYPE_BLOCK) {
    int32_t count = block::rs_length_q(&value);
    method = method_word("get");
    if (count > 0) {
      method = block::rs_head(&value)[0];
      if (TYPE_OF(&method) != TYPE_WORD) fire(err::script_invalid_arg, {method});
    }
    if (count > 1) {
      headers = block::rs_head(&value)[1];
      if (TYPE_OF(&headers) != TYPE_BLOCK) fire(err::script_invalid_arg, {headers});
      has_headers = true;
    }
    if (count > 2) {
      body = block::rs_head(&value)[2];
      has_body = true;
    }
  } else {
    body = value;
    has_body = true;
  }
  if (has_body && !string_or_binary_q(&body) && TYPE_OF(&body) != TYPE_BLOCK)
    fire(err::script_invalid_arg, {body});
  return simple_io::request_http(&method, &target, has_headers ? &headers : nullptr, has_body ? &body : nullptr,
                                 binary != 0, lines != 0, info != 0);
}

// open of any url: the port of its scheme, opened.
cell* open(cell* url, int32_t new_, int32_t read, int32_t write, int32_t seek, cell* allow) {
  return to_port(url, true, new_, read, write, seek, allow);
}

}  // namespace

// ---- Registration ------------------------------------------------------------------

void init() {
  // clang-format off
  datatype::register_type(datatype_registration(TYPE_URL, TYPE_STRING, "url!",
    /* make .. set-path */     make, unsupported, unsupported, to, inherit, mold, eval_path, unsupported,
    /* compare .. remainder */ inherit, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* round .. xor~ */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* append .. head */       inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit,
    /* head? .. poke */        inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit,
    /* put .. tail */          unsupported, inherit, inherit, inherit, unsupported, inherit, inherit, inherit,
    /* tail? .. open */        inherit, inherit, unsupported, unsupported, unsupported, unsupported, inherit, open,
    /* open? .. write */       unsupported, unsupported, read, unsupported, unsupported, write));
  // clang-format on
}

}  // namespace ixo::url
