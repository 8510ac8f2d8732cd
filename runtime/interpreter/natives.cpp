// The natives table, filled in slot order from the families' entries. A
// family not built yet leaves its slots empty.
#include "runtime/interpreter/natives.hpp"

#include <algorithm>

#include "runtime/datatypes/block.hpp"
#include "runtime/interpreter/natives_checksum.hpp"
#include "runtime/interpreter/natives_compare.hpp"
#include "runtime/interpreter/natives_conditional.hpp"
#include "runtime/interpreter/natives_convert.hpp"
#include "runtime/interpreter/natives_exit.hpp"
#include "runtime/interpreter/natives_function.hpp"
#include "runtime/interpreter/natives_iteration.hpp"
#include "runtime/interpreter/natives_loop.hpp"
#include "runtime/interpreter/natives_math.hpp"
#include "runtime/interpreter/natives_parse.hpp"
#include "runtime/interpreter/natives_print.hpp"
#include "runtime/interpreter/natives_sets.hpp"
#include "runtime/interpreter/natives_system.hpp"
#include "runtime/interpreter/natives_transcode.hpp"
#include "runtime/interpreter/natives_word.hpp"
#include "runtime/memory/root_block.hpp"

namespace ixo::natives {

native_entry table[TABLE_SLOTS] = {};
int32_t fill_count = 1;
cell* buffer_blk = nullptr;
bool last_newline = false;

namespace {

constexpr int32_t BUFFER_CELLS = 32;

// Slots 1 to 107, in order.
const native_entry entries[] = {
    /* 1-10 */ if_, unless, either, any, all, while_, until, loop, repeat, forever,
    /* 11-20 */ foreach, forall, remove_each, func, function, does, has, switch_, case_, do_,
    /* 21-30 */ get, set, print, prin, equal_q, not_equal_q, strict_equal_q, lesser_q, greater_q, lesser_or_equal_q,
    /* 31-40 */ greater_or_equal_q, same_q, not_, type_q, reduce, compose, stats, bind, in, parse,
    /* 41-50 */ union_, intersect, unique, difference, exclude, complement_q, dehex, enhex, negative_q, positive_q,
    /* 51-60 */ max, min, shift, to_hex, sine, cosine, tangent, arcsine, arccosine, arctangent,
    /* 61-70 */ arctangent2, NaN_q, log_2, log_10, log_e, exp, square_root, construct, value_q, try_,
    /* 71-80 */ uppercase, lowercase, as_pair, as_point2D, as_point3D, as_money, break_, continue_, exit_, return_,
    /* 81-90 */ throw_, catch_, extend, debase, to_local_file, wait, checksum, unset, new_line, new_line_q,
    /* 91-100 */ enbase, context_q, set_env, get_env, list_env, now, sign_q, as, call, zero_q,
    /* 101-107 */ size_q, browse, compress, decompress, recycle, transcode, apply,
};
static_assert(sizeof entries / sizeof entries[0] == 107, "slots 1 to 107");

}  // namespace

void copy_table(int32_t count, const native_entry* given) {
  for (int32_t i = 0; i < count && fill_count <= TABLE_SLOTS; ++i) table[fill_count++ - 1] = given[i];
}

void init() {
  std::fill(table, table + TABLE_SLOTS, nullptr);
  fill_count = 1;
  last_newline = false;
  cell blk{};
  block::make_at(&blk, BUFFER_CELLS);
  buffer_blk = root::append(blk);
  init_call();
  copy_table(static_cast<int32_t>(sizeof entries / sizeof entries[0]), entries);
}

}  // namespace ixo::natives
