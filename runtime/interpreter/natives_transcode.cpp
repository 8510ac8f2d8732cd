// transcode: checks and converts its arguments, runs the lexer in the mode
// its refinements ask for, and shapes the result: the block of values, the
// next value and the position after it, the value alone, or the datatype
// a prescan or scan recognised.
#include "runtime/interpreter/natives_transcode.hpp"

#include <algorithm>
#include <vector>

#include "runtime/datatypes/binary.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/none.hpp"
#include "runtime/datatypes/series.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/lexer/lexer.hpp"
#include "runtime/memory/roots.hpp"
#include "runtime/memory/series_buffer.hpp"

namespace ixo::natives {

namespace {

enum refinement_index { REF_NEXT, REF_ONE, REF_PRESCAN, REF_SCAN, REF_PART, REF_INTO, REF_TRACE };

bool given(const int32_t* refinements, int32_t i) { return refinements[i] >= 0; }
cell* argument(const int32_t* refinements, int32_t i) { return stack::arguments + refinements[i]; }

}  // namespace

void transcode(const int32_t* refinements) {
  cell source = stack::arguments[0];
  memory::root_guard keep_source(&source);
  bool next = given(refinements, REF_NEXT), one = given(refinements, REF_ONE);
  bool prescan = given(refinements, REF_PRESCAN), scan_only = given(refinements, REF_SCAN);
  lexer::scan_mode mode;
  mode.one = next || one || scan_only;
  mode.load = !prescan;
  mode.store = !scan_only && !prescan;
  bool binary_source = TYPE_OF(&source) == TYPE_BINARY;
  int32_t available = binary_source ? binary::rs_length_q(&source) : string::rs_length_q(&source);
  int32_t length = available;
  if (given(refinements, REF_PART)) {
    int64_t part = series::part_length(&source, static_cast<int32_t>(source.data1), argument(refinements, REF_PART),
                                       series::PART_NOT_SAME_TYPE);
    length = static_cast<int32_t>(std::clamp<int64_t>(part, 0, available));
  }
  cell* into = given(refinements, REF_INTO) ? argument(refinements, REF_INTO) : nullptr;
  const cell* callback = given(refinements, REF_TRACE) ? argument(refinements, REF_TRACE) : nullptr;
  cell* result = stack::push_slot();
  int32_t consumed = 0;
  int32_t type;
  if (binary_source) {
    const uint8_t* head = binary::rs_head(&source);
    int32_t skipped = 0;
    if (length >= 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF) skipped = 3;
    source.data1 += static_cast<uint32_t>(skipped);
    if (!callback && (memory::GET_BUFFER(&source)->flags & memory::SERIES_BIG)) {
      // A big series has a frame of its own that no collection moves, and
      // without a trace callback no code runs that could change it: the
      // scan reads the bytes where they are.
      type = lexer::scan(result, head + skipped, length - skipped, mode, &consumed, nullptr, &source, into);
    } else {
      // The bytes leave the arena first: loading values moves every buffer.
      std::vector<uint8_t> bytes(head + skipped, head + length);
      type = lexer::scan(result, bytes.data(), static_cast<int32_t>(bytes.size()), mode, &consumed, callback,
                         &source, into);
    }
  } else {
    type = lexer::load_string(result, &source, length, mode, &consumed, callback, into);
  }
  if (prescan || scan_only) {
    if (length == 0 || type == 0) {
      *result = none::none_value;
    } else {
      *result = datatype::make_cell(type < 0 ? TYPE_ERROR : static_cast<uint32_t>(type));
    }
  }
  if (next && !(one && !scan_only)) {
    cell position = source;
    position.data1 += static_cast<uint32_t>(consumed);
    cell pair{TYPE_UNSET, 0, 0, 0};
    memory::root_guard keep_pair(&pair);
    block::make_at(&pair, 2);
    block::rs_append(&pair, result);
    block::rs_append(&pair, &position);
    *result = pair;
  }
  stack::set_result(into && !prescan && !scan_only ? *into : *result);
}

}  // namespace ixo::natives
