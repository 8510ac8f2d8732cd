// Method words and the two-attempt buffer loop shared by compress and
// decompress: a first call with an estimated capacity, and when the codec
// answers that it did not fit, a second with the size it reported.
#include "runtime/codecs/compress.hpp"

#include "runtime/codecs/deflate.hpp"
#include "runtime/codecs/gzip.hpp"
#include "runtime/codecs/zlib.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/interpreter/fire.hpp"
#include "startup/system/heap.hpp"

namespace ixo::compress {

int32_t sym_zlib, sym_deflate, sym_gzip;

void init_methods() {
  sym_zlib = symbol::make("zlib");
  sym_deflate = symbol::make("deflate");
  sym_gzip = symbol::make("gzip");
}

namespace {

using codec = int32_t (*)(uint8_t*, int32_t*, const uint8_t*, int32_t);

struct method_codecs {
  int32_t* sym;
  codec compress;
  codec uncompress;
};

const method_codecs methods[] = {
    {&sym_zlib, zlib::compress, zlib::uncompress},
    {&sym_deflate, deflate::compress, deflate::uncompress},
    {&sym_gzip, gzip::compress, gzip::uncompress},
};

const method_codecs& method_of(const cell* word) {
  for (const method_codecs& m : methods) {
    if (symbol::EQUAL_WORDS_q(word, *m.sym)) return m;
  }
  fire(err::script_invalid_arg, {*word});
}

// Runs the codec at most twice; a capacity of 0 is a size probe with no
// buffer.
uint8_t* run(codec f, const uint8_t* data, int32_t length, int32_t capacity, int32_t* out_length) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    uint8_t* out = nullptr;
    if (capacity > 0) {
      out = static_cast<uint8_t*>(heap::try_alloc_tracked(capacity));
      if (!out) fire(err::internal_no_memory);
    }
    int32_t size = capacity;
    int32_t rc = f(out, &size, data, length);
    if (rc == deflate::DONE) {
      if (!out) out = static_cast<uint8_t*>(heap::alloc_tracked(0));
      *out_length = size;
      return out;
    }
    heap::free_tracked(out);
    if (rc == deflate::TOO_LARGE) {
      cell cap = integer::make_cell(deflate::MAX_OUTPUT);
      fire(err::script_size_limit, {cap});
    }
    if (rc != deflate::TOO_SMALL) break;
    capacity = size;
  }
  fire(err::script_invalid_data);
}

}  // namespace

uint8_t* compress(const cell* method, const uint8_t* data, int32_t length, int32_t* out_length) {
  const method_codecs& m = method_of(method);
  int32_t capacity = length > INT32_MAX - 32 ? INT32_MAX : length + 32;
  return run(m.compress, data, length, capacity, out_length);
}

uint8_t* decompress(const cell* method, const uint8_t* data, int32_t length, int32_t size,
                    int32_t* out_length) {
  const method_codecs& m = method_of(method);
  int32_t capacity = 0;
  if (m.sym != &sym_gzip && size > length) {
    capacity = size < deflate::MAX_OUTPUT ? size : deflate::MAX_OUTPUT;
  }
  return run(m.uncompress, data, length, capacity, out_length);
}

}  // namespace ixo::compress
