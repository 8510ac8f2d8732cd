// simple-io's HTTP requests: values in, the transfer layer in between,
// values out. Everything a request needs is copied into host memory before
// the transfer, so the arena may move freely while it runs.
#include "platform/http.hpp"

#include <cctype>
#include <cstring>
#include <vector>

#include "platform/posix/http_transfer.hpp"
#include "platform/simple_io.hpp"
#include "runtime/core/unicode.hpp"
#include "runtime/datatypes/binary.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/context.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/map.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/datatypes/word.hpp"
#include "runtime/interpreter/actions.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/roots.hpp"

namespace ixo::simple_io {

using memory::root_guard;

namespace {

// The formed text of a value as UTF-8.
std::string formed_utf8(const cell* value) {
  cell v = *value;
  root_guard keep(&v);
  cell* work = stack::push_slot();
  string::rs_make_at(work, 16);
  actions::form(&v, work, nullptr, INT32_MAX);
  std::string text = value_to_bytes(work, -1);
  stack::pop(1);
  return text;
}

// A string as it stands, any other value formed.
std::string text_of(const cell* value) {
  return TYPE_OF(value) == TYPE_STRING ? value_to_bytes(const_cast<cell*>(value), -1) : formed_utf8(value);
}

// A header name or method: letters, digits and !#$%&'*+-.^_`|~ only.
bool token_q(const std::string& text) {
  if (text.empty()) return false;
  for (unsigned char c : text)
    if (!std::isalnum(c) && !std::strchr("!#$%&'*+-.^_`|~", c)) return false;
  return true;
}

// No CR, LF or NUL, which would end the header line early.
bool line_safe_q(const std::string& text) {
  static const char breaking[] = {'\r', '\n', '\0'};
  return text.find_first_of(breaking, 0, sizeof breaking) == std::string::npos;
}

// "Ixo/" and the formed system/version, then " (Linux)".
std::string user_agent() {
  std::string agent = "Ixo/";
  cell* sys = context::get_global(symbol::make("system"));
  if (sys && TYPE_OF(sys) == TYPE_OBJECT) {
    int32_t version = symbol::make("version");
    if (context::find_word(sys->data1, version, true) >= 0) agent += formed_utf8(context::get_in(version, sys->data1));
  }
  return agent + " (Linux)";
}

void add_header_lines(cell* headers, std::vector<std::string>& lines) {
  cell block = *headers;
  root_guard keep(&block);
  int32_t count = block::rs_length_q(&block);
  for (int32_t i = 0; i + 1 < count; i += 2) {
    cell name = block::rs_head(&block)[i], value = block::rs_head(&block)[i + 1];
    root_guard keep_name(&name), keep_value(&value);
    std::string n = formed_utf8(&name), v = text_of(&value);
    if (!token_q(n)) fire(err::script_invalid_arg, {name});
    if (!line_safe_q(v)) fire(err::script_invalid_arg, {value});
    // "Name;" is how an empty value is sent; "Name:" would remove the header.
    lines.push_back(v.empty() ? n + ";" : n + ": " + v);
  }
}

// The body bytes as a value of the kind asked for.
void load_body(const std::string& body, bool binary, bool lines, cell* c) {
  static const uint8_t nothing = 0;
  const uint8_t* bytes = body.empty() ? &nothing : reinterpret_cast<const uint8_t*>(body.data());
  int32_t size = static_cast<int32_t>(body.size());
  if (binary) {
    binary::load_at(bytes, size, c);
  } else if (lines) {
    load_lines(bytes, size, c);
  } else {
    c->header = TYPE_UNSET;
    uint32_t node = unicode::load_utf8(bytes, size, 0, nullptr, true);
    *c = {TYPE_STRING, 0, node, 0};
  }
}

bool same_name_q(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

}  // namespace

cell* parse_http_headers(const std::string& text, cell* c) {
  // Names in the order first met, each with its values.
  std::vector<std::pair<std::string, std::vector<std::string>>> fields;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    std::string name = line.substr(0, colon);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.pop_back();
    if (!token_q(name)) continue;
    size_t from = line.find_first_not_of(" \t", colon + 1);
    size_t to = line.find_last_not_of(" \t");
    std::string value = from == std::string::npos ? std::string() : line.substr(from, to - from + 1);
    auto field = fields.begin();
    while (field != fields.end() && !same_name_q(field->first, name)) ++field;
    if (field == fields.end()) fields.push_back({name, {value}});
    else field->second.push_back(value);
  }

  cell* pairs = stack::push_slot();
  block::make_at(pairs, static_cast<int32_t>(fields.size()) * 2);
  cell* item = stack::push_slot();
  cell* values = stack::push_slot();
  for (const auto& [name, texts] : fields) {
    word::make_at(symbol::make_part(reinterpret_cast<const uint8_t*>(name.data()), static_cast<int32_t>(name.size())),
                  item);
    block::rs_append(pairs, item);
    if (texts.size() == 1) {
      load_os_text(texts[0].data(), texts[0].size(), item);
      block::rs_append(pairs, item);
      continue;
    }
    block::make_at(values, static_cast<int32_t>(texts.size()));
    for (const std::string& t : texts) {
      load_os_text(t.data(), t.size(), item);
      block::rs_append(values, item);
    }
    block::rs_append(pairs, values);
  }
  map::make_at(c, nullptr, static_cast<int32_t>(fields.size()) * 2);
  map::extend(c, pairs, 0);
  stack::pop(3);
  return c;
}

cell* request_http(const cell* method, cell* url, cell* headers, cell* body, bool binary, bool lines, bool info) {
  cell target = *url;
  root_guard keep(&target);

  platform::http_request request;
  request.method = formed_utf8(method);
  for (char& ch : request.method) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  if (!token_q(request.method)) fire(err::script_invalid_arg, {*method});
  // The molded url: every character outside the URL set percent-encoded.
  request.url = value_to_bytes(&target, -1);
  if (headers) {
    add_header_lines(headers, request.headers);
  } else {
    request.headers = {"Content-Type: application/x-www-form-urlencoded", "Accept-Charset: UTF-8",
                       "User-Agent: " + user_agent()};
  }
  if (body && request.method != "GET" && request.method != "HEAD") {
    request.has_body = true;
    request.body = value_to_bytes(body, -1);
  }

  platform::http_response response;
  if (!platform::http_transfer(request, response)) {
    if (response.out_of_memory) fire(err::internal_no_memory);
    cell* reason = stack::push_slot();
    std::string why = response.timed_out ? "timeout" : response.reason;
    load_os_text(why.data(), why.size(), reason);
    fire(err::access_no_connect, {target, *reason});
  }

  cell* result = stack::push_slot();
  if (!info) {
    load_body(response.body, binary, lines, result);
    return result;
  }
  block::make_at(result, 3);
  cell* part = stack::push_slot();
  integer::make_at(part, response.status);
  block::rs_append(result, part);
  parse_http_headers(response.headers, part);
  block::rs_append(result, part);
  load_body(response.body, binary, lines, part);
  block::rs_append(result, part);
  stack::pop(1);
  return result;
}

}  // namespace ixo::simple_io
