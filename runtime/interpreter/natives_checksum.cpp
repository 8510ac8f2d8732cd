// The natives hand raw bytes to the codecs: a binary! from its index, text
// as UTF-8, a file! read whole. The codecs answer blocks of the tracked
// heap, which become binary! results; nothing they do allocates in the
// arena, so bytes read from a series stay where they are meanwhile.
#include "runtime/interpreter/natives_checksum.hpp"

#include <string>
#include <vector>

#include "platform/posix/system_calls.hpp"
#include "runtime/codecs/checksum.hpp"
#include "runtime/codecs/compress.hpp"
#include "runtime/core/unicode.hpp"
#include "runtime/datatypes/binary.hpp"
#include "runtime/datatypes/file.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/series.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/datatypes/type_classes.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "startup/system/heap.hpp"

namespace ixo::natives {

namespace {

cell* arg(int32_t k) { return stack::arguments + k; }

// Bytes of a value: a binary! from its index, any string as UTF-8 from its
// index (in the string's conversion cache: valid until the next
// allocation in the arena).
struct bytes {
  const uint8_t* data;
  int32_t length;
};

bytes bytes_of(cell* value) {
  if (TYPE_OF(value) == TYPE_BINARY) return {binary::rs_head(value), binary::rs_length_q(value)};
  int32_t length = -1;
  const char* text = unicode::to_utf8(value, length);
  return {reinterpret_cast<const uint8_t*>(text), length};
}

// Makes the result slot a binary! holding a tracked-heap block, which is
// freed.
void box_block(uint8_t* block, int32_t length) {
  struct freed {
    uint8_t* block;
    ~freed() { heap::free_tracked(block); }
  } guard{block};
  stack::keep();
  binary::load_at(block, length, stack::arguments);
}

}  // namespace

void checksum(const int32_t* refinements) {
  cell* data = arg(0);
  cell* method = arg(1);
  cell* spec = refinements[0] >= 0 ? arg(refinements[0]) : nullptr;
  uint32_t data_type = TYPE_OF(data);
  if (data_type != TYPE_BINARY && data_type != TYPE_STRING && data_type != TYPE_FILE) {
    fire(err::script_invalid_arg, {*data});
  }
  int32_t sym = static_cast<int32_t>(method->data2);
  if (!checksum::method_q(sym)) fire(err::script_invalid_arg, {*method});
  int32_t index = checksum::method_index(sym);
  bool plain_sum = index == checksum::TCP || index == checksum::CRC32 || symbol::EQUAL_WORDS_q(method, checksum::sym_adler32);
  bool hash = symbol::EQUAL_WORDS_q(method, checksum::sym_hash);
  if (plain_sum && spec) fire(err::script_invalid_refine_arg, {series::refinement_value("with"), *method});
  if (hash && !spec) fire(err::script_invalid_refine_arg, {series::refinement_value("with"), *method});
  // A hash table size asks for the hash of the data, which is not built.
  if (spec && TYPE_OF(spec) == TYPE_INTEGER) fire(err::internal_not_done);
  if (spec && TYPE_OF(spec) != TYPE_BINARY && !any_string_q(TYPE_OF(spec))) {
    fire(err::script_invalid_arg, {*spec});
  }
  if (hash) fire(err::script_invalid_refine_arg, {series::refinement_value("with"), *spec});
  // The key is copied out first: exporting it may move the data's bytes.
  std::vector<uint8_t> key;
  if (spec) {
    bytes k = bytes_of(spec);
    key.assign(k.data, k.data + k.length);
  }
  std::string file_content;
  bytes in;
  if (data_type == TYPE_FILE) {
    if (!platform::read_file(file::to_OS_path(data).c_str(), file_content)) {
      fire(err::access_cannot_open, {*data});
    }
    if (file_content.size() > INT32_MAX) fire(err::internal_no_memory);
    in = {reinterpret_cast<const uint8_t*>(file_content.data()), static_cast<int32_t>(file_content.size())};
  } else {
    in = bytes_of(data);
  }
  if (plain_sum) {
    int32_t sum = index == checksum::TCP     ? checksum::tcp(in.data, in.length)
                  : index == checksum::CRC32 ? static_cast<int32_t>(checksum::crc32(in.data, in.length))
                                             : static_cast<int32_t>(checksum::adler32(in.data, in.length));
    integer::box(sum);
    return;
  }
  uint8_t* digest = spec ? checksum::hmac(in.data, in.length, key.data(), static_cast<int32_t>(key.size()), index)
                         : checksum::digest(in.data, in.length, index);
  box_block(digest, checksum::digest_size(index));
}

void compress(const int32_t*) {
  bytes in = bytes_of(arg(0));
  int32_t length = 0;
  uint8_t* out = compress::compress(arg(1), in.data, in.length, &length);
  box_block(out, length);
}

void decompress(const int32_t* refinements) {
  int32_t size = 0;
  if (refinements[0] >= 0) {
    cell* sz = arg(refinements[0]);
    size = integer::get(sz);
    if (size < 0) fire(err::script_out_of_range, {*sz});
  }
  bytes in = bytes_of(arg(0));
  int32_t length = 0;
  uint8_t* out = compress::decompress(arg(1), in.data, in.length, size, &length);
  box_block(out, length);
}

}  // namespace ixo::natives
