// zlib container: header check, DEFLATE body, Adler-32 trailer.
#include "runtime/codecs/zlib.hpp"

#include "runtime/codecs/checksum.hpp"
#include "runtime/codecs/deflate.hpp"

namespace ixo::zlib {

using namespace deflate;

int32_t compress(uint8_t* out, int32_t* out_length, const uint8_t* in, int32_t in_length) {
  int32_t capacity = *out_length;
  if (capacity >= 2) {
    out[0] = 0x78;
    out[1] = 0x01;
  }
  int32_t body = capacity > 6 ? capacity - 6 : 0;
  int32_t rc = deflate::compress(capacity >= 2 ? out + 2 : nullptr, &body, in, in_length);
  if (rc == BAD_DATA || body > INT32_MAX - 6) return BAD_DATA;
  *out_length = body + 6;
  if (body + 6 > capacity) return TOO_SMALL;
  uint32_t adler = checksum::adler32(in, in_length);
  for (int i = 0; i < 4; ++i) out[2 + body + i] = static_cast<uint8_t>(adler >> (24 - 8 * i));
  return DONE;
}

int32_t uncompress(uint8_t* out, int32_t* out_length, const uint8_t* in, int32_t in_length) {
  if (in_length < 6) return BAD_DATA;
  uint32_t cmf = in[0], flg = in[1];
  if ((cmf * 256 + flg) % 31 != 0 || (cmf & 15) != 8 || (cmf >> 4) > 7 || (flg & 0x20)) {
    return BAD_DATA;
  }
  int32_t rc = deflate::uncompress(out, out_length, in + 2, in_length - 6);
  if (rc != DONE) return rc;
  const uint8_t* t = in + in_length - 4;
  uint32_t stored = uint32_t{t[0]} << 24 | uint32_t{t[1]} << 16 | uint32_t{t[2]} << 8 | t[3];
  return checksum::adler32(out, *out_length) == stored ? DONE : BAD_DATA;
}

}  // namespace ixo::zlib
