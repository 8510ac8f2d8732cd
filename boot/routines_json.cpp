// The JSON codec's routines: `decode-json` is the reader behind
// `load-json`, and `unescape` and `name-key` the steps of the grammar that
// reads text nested deeper than it; `encode-json` is the writer behind
// `to-json`.
#include "boot/routines.hpp"

#include "runtime/codecs/json.hpp"
#include "runtime/datatypes/none.hpp"
#include "runtime/datatypes/routine.hpp"
#include "runtime/interpreter/stack.hpp"

namespace ixo::boot {

// decode-json input: a block holding the value of the JSON text; else the
// text at the last good place before the failure; none for text nested
// too deep for the reader.
void decode_json() {
  cell* input = stack::arguments;
  cell* result = stack::push(none::none_value);
  int32_t answer = json::decode(input, result);
  if (answer == json::DECODED) {
    stack::set_result(*result);
  } else if (answer == json::TOO_DEEP) {
    stack::set_result(none::none_value);
  } else {
    cell at = *input;
    at.data1 = static_cast<uint32_t>(answer);
    stack::set_result(at);
  }
}

// unescape str: the string with its JSON escapes undone in place.
void unescape() {
  cell* s = stack::arguments;
  json::unescape(s);
  stack::set_result(*s);
}

// name-key name: the word spelled exactly as the name, else the name.
void name_key() {
  cell* s = stack::arguments;
  json::name_key(s);
  stack::set_result(*s);
}

// encode-json data indent ascii: the JSON text of the data, indented by
// the indent string when there is one (else compact), escaping everything
// outside printable ASCII when ascii is true.
void encode_json() {
  cell* args = stack::arguments;
  cell result{TYPE_UNSET, 0, 0, 0};
  json::encode(args, TYPE_OF(args + 1) == TYPE_STRING ? args + 1 : nullptr,
               TYPE_OF(args + 2) == TYPE_LOGIC && args[2].data1 != 0, &result);
  stack::set_result(result);
}

void init_json_routines() {
  routine::register_entry("decode-json", decode_json);
  routine::register_entry("encode-json", encode_json);
  routine::register_entry("unescape", unescape);
  routine::register_entry("name-key", name_key);
}

}  // namespace ixo::boot
