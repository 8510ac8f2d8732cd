// The CSV reader behind `load-csv`. It follows the boot library's grammar
// for CSV step for step, so that it reads the same values and stops at the
// same line: a value is quoted when it starts with the quote character and
// a closing one follows (doubled quote characters inside stand for one),
// else it runs to a line end or a character of the delimiter; values are
// separated by the delimiter; a line ends at CR LF, LF, CR or the end of
// the text.
#include "runtime/codecs/csv.hpp"

#include <algorithm>
#include <cstring>
#include <vector>

#include "runtime/datatypes/action_types.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/logic.hpp"
#include "runtime/datatypes/none.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/interpreter/actions.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/series_buffer.hpp"

namespace ixo::csv {

using namespace memory;

namespace {

template <class T>
struct reader {
  cell* data;     // the text, on the value stack
  int32_t pos, end;
  std::vector<uint32_t> delimiter;
  uint32_t quote;
  bool trim;
  std::vector<uint32_t> units;  // a value's code points

  const T* text() const { return reinterpret_cast<const T*>(head_of(GET_BUFFER(data))); }

  bool delimiter_char_q(uint32_t cp) const {
    return std::find(delimiter.begin(), delimiter.end(), cp) != delimiter.end();
  }

  // The delimiter at the position, taken.
  bool take_delimiter() {
    const T* t = text();
    if (static_cast<size_t>(end - pos) < delimiter.size()) return false;
    for (size_t i = 0; i < delimiter.size(); ++i) {
      if (t[pos + static_cast<int32_t>(i)] != delimiter[i]) return false;
    }
    pos += static_cast<int32_t>(delimiter.size());
    return true;
  }

  // A line end at the position (CR LF, LF or CR), taken.
  bool take_newline() {
    const T* t = text();
    if (pos >= end) return false;
    if (t[pos] == '\r') {
      pos += pos + 1 < end && t[pos + 1] == '\n' ? 2 : 1;
      return true;
    }
    if (t[pos] == '\n') {
      ++pos;
      return true;
    }
    return false;
  }

  // A new string in `slot` of the units from `first` to `last`; with
  // `doubled`, each pair of quote characters becomes one.
  void make_value(cell* slot, int32_t first, int32_t last, bool doubled) {
    const T* t = text();
    int32_t n = last - first;
    uint32_t widest = 0;
    for (int32_t i = first; i < last; ++i) widest = std::max(widest, static_cast<uint32_t>(t[i]));
    uint32_t unit = string::append_unit(widest);
    if (!doubled && unit == sizeof(T)) {
      string::make_at_unit(slot, n, unit);
      uint8_t* at = series::alloc_tail_bytes(GET_BUFFER(slot), n * static_cast<int32_t>(unit));
      std::memcpy(at, text() + first, static_cast<size_t>(n) * unit);
      return;
    }
    units.clear();
    for (int32_t i = first; i < last; ++i) {
      units.push_back(t[i]);
      if (doubled && t[i] == quote) ++i;
    }
    string::make_at_unit(slot, static_cast<int32_t>(units.size()), unit);
    string::append_code_points(slot, units.data(), static_cast<int32_t>(units.size()));
  }

  // A value read with /trim: without surrounding white space, then
  // without one pair of enclosing quote characters.
  void trim_value(cell* slot) {
    actions::trim(slot, 0, 0, 0, 0, 0, nullptr);
    int32_t n = string::rs_length_q(slot);
    if (n <= 1) return;
    cell q{TYPE_CHAR, 0, quote, 0};
    cell first{TYPE_CHAR, 0, string::rs_abs_at(slot, static_cast<int32_t>(slot->data1)), 0};
    cell last{TYPE_CHAR, 0, string::rs_abs_at(slot, static_cast<int32_t>(slot->data1) + n - 1), 0};
    if (!actions::compare(&q, &first, COMP_EQUAL) || !actions::compare(&q, &last, COMP_EQUAL)) return;
    cell* inner = stack::push(none::none_value);
    uint32_t unit = GET_UNIT(GET_BUFFER(slot));
    string::make_at_unit(inner, n - 2, unit);
    uint8_t* at = series::alloc_tail_bytes(GET_BUFFER(inner), (n - 2) * static_cast<int32_t>(unit));
    std::memcpy(at, head_of(GET_BUFFER(slot)) + (static_cast<int64_t>(slot->data1) + 1) * unit,
                static_cast<size_t>(n - 2) * unit);
    *slot = *inner;
    stack::top = inner;
  }

  // One value appended to the block `line`: quoted when it starts with the
  // quote character and its closing one follows, else plain.
  void value(cell* line) {
    const T* t = text();
    cell* slot = stack::push(none::none_value);
    int32_t p = pos;
    bool quoted = false;
    if (p < end && t[p] == quote) {
      ++p;
      while (p < end) {
        if (t[p] != quote) {
          ++p;
        } else if (p + 1 < end && t[p + 1] == quote) {
          p += 2;
        } else {
          break;
        }
      }
      if (p < end) {
        make_value(slot, pos + 1, p, true);
        pos = p + 1;
        quoted = true;
      }
    }
    if (!quoted) {
      p = pos;
      t = text();
      while (p < end && t[p] != '\n' && t[p] != '\r' && !delimiter_char_q(t[p])) ++p;
      make_value(slot, pos, p, false);
      pos = p;
    }
    if (trim) trim_value(slot);
    block::rs_append(line, slot);
    stack::top = slot;
  }

  // The values of a line, separated by the delimiter, into the block
  // `line`. A separator and value that take nothing end the values after
  // adding theirs, as a parse loop that makes no progress ends.
  void values(cell* line) {
    value(line);
    for (;;) {
      int32_t start = pos;
      if (!take_delimiter()) return;
      value(line);
      if (pos == start) return;
    }
  }
};

template <class T>
cell read(const cell* output, cell* data, const cell* delimiter, uint32_t quote, bool trim, bool ignore_empty,
          bool strict, bool one) {
  reader<T> r;
  r.data = data;
  r.pos = static_cast<int32_t>(data->data1);
  r.end = string::rs_abs_length_q(data);
  r.quote = quote;
  r.trim = trim;
  if (TYPE_OF(delimiter) == TYPE_CHAR) {
    r.delimiter.push_back(delimiter->data2);
  } else {
    for (int32_t i = 0, n = string::rs_length_q(delimiter); i < n; ++i)
      r.delimiter.push_back(string::rs_abs_at(delimiter, static_cast<int32_t>(delimiter->data1) + i));
  }
  cell* out = stack::push(*output);
  cell* line = stack::push(none::none_value);
  // The text at the position reached.
  auto stopped_at = [&](int32_t position) {
    cell at = *data;
    at.data1 = static_cast<uint32_t>(position);
    return at;
  };
  if (one) {
    block::make_at(line, 8);
    r.values(line);
    block::rs_append(out, line);
    return r.take_newline() ? stopped_at(r.pos) : none::none_value;
  }
  int32_t longest = -1;
  while (r.pos < r.end) {
    int32_t start = r.pos;
    block::make_at(line, 8);
    r.values(line);
    if (r.pos < r.end && !r.take_newline()) {
      r.pos = start;
      break;
    }
    int32_t length = block::rs_length_q(line);
    if (ignore_empty && length > 0) {
      const cell* last = block::rs_abs_at(line, static_cast<int32_t>(line->data1) + length - 1);
      if (TYPE_OF(last) == TYPE_STRING && string::rs_length_q(last) == 0) {
        block::rs_remove_last(line);
        --length;
      }
    }
    if (longest < 0) {
      longest = length;
    } else if (length != longest) {
      if (strict) return logic::make_cell(false);
      longest = std::max(longest, length);
    }
    block::rs_append(out, line);
  }
  return stopped_at(r.pos);
}

}  // namespace

cell read_lines(const cell* output, cell* data, const cell* delimiter, uint32_t quote, bool trim,
                bool ignore_empty, bool strict, bool one) {
  cell* top = stack::top;
  cell answer;
  switch (GET_UNIT(GET_BUFFER(data))) {
    case 1: answer = read<uint8_t>(output, data, delimiter, quote, trim, ignore_empty, strict, one); break;
    case 2: answer = read<uint16_t>(output, data, delimiter, quote, trim, ignore_empty, strict, one); break;
    default: answer = read<uint32_t>(output, data, delimiter, quote, trim, ignore_empty, strict, one);
  }
  stack::top = top;
  return answer;
}

}  // namespace ixo::csv
