// libFuzzer entry for the image decoders, reached as scripts reach them:
// `load/as` with an image codec calls image/decode-binary, which picks
// PNG, JPEG, GIF, TIFF or our BMP reader by the signature. Any bytes
// decode to an image, answer none (no known signature) or raise
// access/bad-media, or internal/no-memory for a header whose pixels cannot
// be held; a decoded image encodes as PNG and decodes again to the same
// pixels. Built with -DIXO_FUZZ=ON and clang (see README); run as
// build-fuzz/image_fuzz -max_len=4096.
#include "fuzz/boot_library.hpp"
#include "platform/images/raster.hpp"

namespace {

const char* const checks = R"(
    fuzz-value: try [load/as fuzz-bytes 'png]
    case [
        error? fuzz-value [to logic! find [bad-media no-memory] fuzz-value/id]
        none? fuzz-value [true]
        image? fuzz-value [
            fuzz-copy: load/as save/as none fuzz-value 'png 'png
            fuzz-copy/argb = fuzz-value/argb
        ]
    ]
)";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 16) return 0;
  // A header may claim up to 2^31 bytes of pixels, and a GIF's canvas is
  // cleared whole before its frame is read: such inputs would meet the
  // fuzzer's memory cap, not a fault. The size limits have unit tests.
  int64_t width = 0, height = 0;
  if (ixo::images::size_of(data, size, width, height) == ixo::images::status::ok && width * height > (1 << 26)) {
    return 0;
  }
  ixo::fuzz::run(data, size, checks);
  return 0;
}
