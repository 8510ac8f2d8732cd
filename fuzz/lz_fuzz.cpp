// libFuzzer entry for the boot-image LZ decompressor: every input must be
// unpacked or refused without a read past its end, and a refused one must
// leave nothing on the tracked heap. Built with -DIXO_FUZZ=ON and clang
// (see README); run as build-fuzz/lz_fuzz -max_len=4096.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "runtime/memory/lz.hpp"
#include "startup/system/heap.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > INT32_MAX) return 0;
  ixo::heap::tracked_block* last = ixo::heap::list.last;
  int32_t length = 0;
  uint8_t* out = ixo::lz::decompress(data, static_cast<int32_t>(size), &length);
  if (out) {
    ixo::lz::free_output(out);
  } else if (ixo::heap::list.last != last) {
    std::abort();
  }
  return 0;
}
