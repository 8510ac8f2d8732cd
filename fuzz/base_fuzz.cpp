// libFuzzer entry for the base 2, 16, 58 and 64 decoders: the first byte
// picks the decoder and the character unit, the rest is the text. Every
// text must be decoded or refused without a read past its end or a write
// past the decoder's stated capacity. Built with -DIXO_FUZZ=ON and clang
// (see README); run as build-fuzz/base_fuzz -max_len=4096.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "runtime/codecs/base.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > INT32_MAX) return 0;
  static const int32_t bases[] = {2, 16, 58, 64};
  static const uint32_t units[] = {1, 2, 4};
  int32_t base = bases[data[0] & 3];
  uint32_t unit = units[(data[0] >> 2) % 3];
  size_t bytes = (size - 1) / unit * unit;
  auto text = std::make_unique<uint8_t[]>(bytes);
  std::memcpy(text.get(), data + 1, bytes);
  int32_t length = static_cast<int32_t>(bytes / unit);
  int32_t capacity = ixo::base::decoded_capacity(base, length);
  auto out = std::make_unique<uint8_t[]>(static_cast<size_t>(capacity));
  int32_t n = ixo::base::decode(base, text.get(), length, unit, out.get());
  if (n > capacity) std::abort();
  return 0;
}
