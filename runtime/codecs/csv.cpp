// The CSV line writer. Each call gathers its text as code points and
// appends it to the output once; records are read again from their block
// after each form, which may allocate and move every buffer.
#include "runtime/codecs/csv.hpp"

#include <climits>
#include <vector>

#include "runtime/datatypes/string.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/interpreter/actions.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/roots.hpp"
#include "runtime/memory/series_buffer.hpp"

namespace ixo::csv {

using namespace memory;

namespace {

// The code points of a string from its index.
void read_string(const cell* s, std::vector<uint32_t>& into) {
  series_buffer* b = GET_BUFFER(s);
  uint32_t unit = GET_UNIT(b);
  const uint8_t* p = head_of(b) + static_cast<int64_t>(s->data1) * unit;
  into.clear();
  for (int32_t i = 0, n = string::rs_length_q(s); i < n; ++i) into.push_back(string::get_char(p + i * unit, unit));
}

int32_t cells_of(const cell* block) {
  series_buffer* b = GET_BUFFER(block);
  return static_cast<int32_t>((b->tail - b->head) / sizeof(cell)) - static_cast<int32_t>(block->data1);
}

struct line_writer {
  std::vector<uint32_t> out, value, delimiter;
  uint32_t quote;
  cell* scratch;  // a rooted string for formed values

  bool quotable_q(uint32_t cp) const {
    if (cp == ' ' || cp == '\n' || cp == '\r' || cp == quote) return true;
    for (uint32_t d : delimiter) {
      if (cp == d) return true;
    }
    return false;
  }

  // The text of a value: a string's own, anything else formed.
  void read_value(const cell& v) {
    if (TYPE_OF(&v) == TYPE_STRING) {
      read_string(&v, value);
      return;
    }
    cell* held = stack::push(v);
    string::rs_reset(scratch);
    actions::form(held, scratch, nullptr, INT_MAX);
    stack::top = held;
    read_string(scratch, value);
  }

  void put_value() {
    bool quoted = false;
    for (uint32_t cp : value) {
      if (quotable_q(cp)) {
        quoted = true;
        break;
      }
    }
    if (!quoted) {
      out.insert(out.end(), value.begin(), value.end());
      return;
    }
    out.push_back(quote);
    for (uint32_t cp : value) {
      out.push_back(cp);
      if (cp == quote) out.push_back(quote);
    }
    out.push_back(quote);
  }

  void put_line(const cell* record) {
    int32_t n = cells_of(record);
    for (int32_t i = 0; i < n; ++i) {
      if (i > 0) out.insert(out.end(), delimiter.begin(), delimiter.end());
      read_value(head_of<cell>(GET_BUFFER(record))[record->data1 + i]);
      put_value();
    }
    out.push_back('\n');
  }
};

[[noreturn]] void not_a_block(const cell& record) {
  cell name{TYPE_WORD, 0, static_cast<uint32_t>(symbol::make("to-csv-line")), 0};
  cell arg{TYPE_WORD, 0, static_cast<uint32_t>(symbol::make("data")), 0};
  fire(err::script_expect_arg, {name, cell{TYPE_DATATYPE, TYPE_OF(&record), 0, 0}, arg});
}

}  // namespace

bool append_lines(const cell* output, const cell* records, const cell* delimiter, uint32_t quote,
                  int32_t length) {
  cell scratch{TYPE_UNSET, 0, 0, 0};
  root_guard keep(&scratch);
  string::rs_make_at(&scratch, 64);
  line_writer w;
  w.quote = quote;
  w.scratch = &scratch;
  if (TYPE_OF(delimiter) == TYPE_CHAR) {
    w.delimiter.push_back(delimiter->data2);
  } else {
    read_string(delimiter, w.delimiter);
  }
  bool aligned = true;
  for (int32_t i = 0, n = cells_of(records); i < n; ++i) {
    cell* record = stack::push(head_of<cell>(GET_BUFFER(records))[records->data1 + i]);
    if (length >= 0 && actions::length_q(record) != length) {
      aligned = false;
      stack::top = record;
      break;
    }
    if (TYPE_OF(record) != TYPE_BLOCK) not_a_block(*record);
    w.put_line(record);
    stack::top = record;
  }
  string::append_code_points(output, w.out.data(), static_cast<int32_t>(w.out.size()));
  return aligned;
}

}  // namespace ixo::csv
