// gzip container: header with its optional fields, DEFLATE body, CRC-32 and
// length trailer.
#include "runtime/codecs/gzip.hpp"

#include <initializer_list>

#include "runtime/codecs/checksum.hpp"
#include "runtime/codecs/deflate.hpp"

namespace ixo::gzip {

using namespace deflate;

namespace {

constexpr uint8_t FHCRC = 0x02, FEXTRA = 0x04, FNAME = 0x08, FCOMMENT = 0x10;
constexpr int32_t HEADER = 10, TRAILER = 8;

uint32_t read_le32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

void write_le32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

int32_t compress(uint8_t* out, int32_t* out_length, const uint8_t* in, int32_t in_length) {
  static const uint8_t header[HEADER] = {0x1F, 0x8B, 0x08, 0, 0, 0, 0, 0, 0x04, 0x04};
  int32_t capacity = *out_length;
  for (int32_t i = 0; i < HEADER && i < capacity; ++i) out[i] = header[i];
  int32_t body = capacity > HEADER + TRAILER ? capacity - HEADER - TRAILER : 0;
  int32_t rc = deflate::compress(capacity >= HEADER ? out + HEADER : nullptr, &body, in, in_length);
  if (rc == BAD_DATA || body > INT32_MAX - HEADER - TRAILER) return BAD_DATA;
  *out_length = body + HEADER + TRAILER;
  if (*out_length > capacity) return TOO_SMALL;
  write_le32(out + HEADER + body, checksum::crc32(in, in_length));
  write_le32(out + HEADER + body + 4, static_cast<uint32_t>(in_length));
  return DONE;
}

int32_t uncompress(uint8_t* out, int32_t* out_length, const uint8_t* in, int32_t in_length) {
  if (in_length < HEADER + TRAILER) return BAD_DATA;
  if (in[0] != 0x1F || in[1] != 0x8B || in[2] != 8) return BAD_DATA;
  uint8_t flags = in[3];
  if (flags & 0xE0) return BAD_DATA;
  // The header's fields must end before the trailer.
  int32_t limit = in_length - TRAILER;
  int32_t at = HEADER;
  if (flags & FEXTRA) {
    if (limit - at < 2) return BAD_DATA;
    int32_t xlen = in[at] | in[at + 1] << 8;
    at += 2;
    if (xlen > limit - at) return BAD_DATA;
    at += xlen;
  }
  for (uint8_t field : {FNAME, FCOMMENT}) {
    if (!(flags & field)) continue;
    while (at < limit && in[at]) ++at;
    if (at == limit) return BAD_DATA;
    ++at;  // the zero byte
  }
  if (flags & FHCRC) {
    if (limit - at < 2) return BAD_DATA;
    uint32_t crc16 = in[at] | in[at + 1] << 8;
    if ((checksum::crc32(in, at) & 0xFFFF) != crc16) return BAD_DATA;
    at += 2;
  }
  uint32_t crc = read_le32(in + limit);
  uint32_t size = read_le32(in + limit + 4);
  if (size > MAX_RATIO * (limit - at)) return BAD_DATA;
  if (size > static_cast<uint32_t>(MAX_OUTPUT)) return TOO_LARGE;
  if (static_cast<int32_t>(size) > *out_length) {
    *out_length = static_cast<int32_t>(size);
    return TOO_SMALL;
  }
  int32_t produced = *out_length;
  int32_t rc = deflate::uncompress(out, &produced, in + at, limit - at);
  // More data than the length field says is a wrong length, not a small
  // buffer: the buffer holds that length.
  if (rc == TOO_SMALL) return BAD_DATA;
  if (rc != DONE) return rc;
  if (static_cast<uint32_t>(produced) != size || checksum::crc32(out, produced) != crc) {
    return BAD_DATA;
  }
  *out_length = produced;
  return DONE;
}

}  // namespace ixo::gzip
