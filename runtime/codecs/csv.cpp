// The CSV line writer. Each call gathers its text as code points and
// appends it to the output once; records are read again from their block
// after each form, which may allocate and move every buffer.
#include "runtime/codecs/csv.hpp"

#include <algorithm>
#include <climits>
#include <memory>
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

// The room the text is gathered in, kept from one call to the next, so
// that the next reuses it: growing a buffer of tens of megabytes anew costs
// more than the writing. It grows without clearing what it adds.
std::unique_ptr<uint32_t[]> gathered;
size_t gathered_size = 0;

struct line_writer {
  size_t used = 0;  // code points gathered
  std::vector<uint32_t> delimiter;
  uint32_t quote;
  cell* scratch;  // a rooted string for formed values

  // Room for n more code points.
  uint32_t* room(size_t n) {
    if (used + n > gathered_size) {
      size_t size = std::max(gathered_size * 2, used + n + 4096);
      std::unique_ptr<uint32_t[]> grown(new uint32_t[size]);
      std::copy(gathered.get(), gathered.get() + used, grown.get());
      gathered = std::move(grown);
      gathered_size = size;
    }
    return gathered.get() + used;
  }

  bool quotable_q(uint32_t cp) const {
    if (cp == ' ' || cp == '\n' || cp == '\r' || cp == quote) return true;
    for (uint32_t d : delimiter) {
      if (cp == d) return true;
    }
    return false;
  }

  // The units of a string from its index, quoted when they hold a
  // quotable character.
  template <class T>
  void put_units(const T* units, int32_t n) {
    bool quoted = false;
    for (int32_t i = 0; i < n && !quoted; ++i) quoted = quotable_q(units[i]);
    if (!quoted) {
      uint32_t* at = room(static_cast<size_t>(n));
      for (int32_t i = 0; i < n; ++i) at[i] = units[i];
      used += static_cast<size_t>(n);
      return;
    }
    uint32_t* at = room(2 * static_cast<size_t>(n) + 2);
    uint32_t* start = at;
    *at++ = quote;
    for (int32_t i = 0; i < n; ++i) {
      *at++ = units[i];
      if (units[i] == quote) *at++ = quote;
    }
    *at++ = quote;
    used += static_cast<size_t>(at - start);
  }

  void put_string(const cell* s) {
    series_buffer* b = GET_BUFFER(s);
    uint32_t unit = GET_UNIT(b);
    const uint8_t* p = head_of(b) + static_cast<int64_t>(s->data1) * unit;
    int32_t n = string::rs_length_q(s);
    if (unit == 1) {
      put_units(p, n);
    } else if (unit == 2) {
      put_units(reinterpret_cast<const uint16_t*>(p), n);
    } else {
      put_units(reinterpret_cast<const uint32_t*>(p), n);
    }
  }

  // A value's text: a string's own, anything else formed.
  void put_value(const cell& v) {
    if (TYPE_OF(&v) == TYPE_STRING) {
      put_string(&v);
      return;
    }
    cell* held = stack::push(v);
    string::rs_reset(scratch);
    actions::form(held, scratch, nullptr, INT_MAX);
    stack::top = held;
    put_string(scratch);
  }

  void put_line(const cell* record) {
    int32_t n = cells_of(record);
    for (int32_t i = 0; i < n; ++i) {
      if (i > 0) {
        uint32_t* at = room(delimiter.size());
        std::copy(delimiter.begin(), delimiter.end(), at);
        used += delimiter.size();
      }
      put_value(head_of<cell>(GET_BUFFER(record))[record->data1 + i]);
    }
    *room(1) = '\n';
    ++used;
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
  string::append_code_points(output, gathered.get(), static_cast<int32_t>(w.used));
  return aligned;
}

}  // namespace ixo::csv
