// libFuzzer entry for the DEFLATE decoder and its zlib and gzip containers:
// every input must be decoded or refused without a read past its end or a
// write past the output's capacity. Each method first probes the size with
// no buffer, then decodes into a buffer of exactly that size. Built with
// -DIXO_FUZZ=ON and clang (see README); run as
// build-fuzz/deflate_fuzz -max_len=4096.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "runtime/codecs/deflate.hpp"
#include "runtime/codecs/gzip.hpp"
#include "runtime/codecs/zlib.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > INT32_MAX) return 0;
  using namespace ixo;
  for (auto uncompress : {deflate::uncompress, zlib::uncompress, gzip::uncompress}) {
    int32_t length = 0;
    int32_t rc = uncompress(nullptr, &length, data, static_cast<int32_t>(size));
    if (rc != deflate::TOO_SMALL) continue;
    if (length < 0 || length > deflate::MAX_OUTPUT) std::abort();
    std::vector<uint8_t> out(static_cast<size_t>(length));
    int32_t capacity = length;
    rc = uncompress(out.data(), &capacity, data, static_cast<int32_t>(size));
    // A decoder that sized the output must fill it the second time.
    if (rc == deflate::TOO_SMALL || (rc == deflate::DONE && capacity != length)) std::abort();
  }
  return 0;
}
