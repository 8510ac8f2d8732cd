// CRC-32, Adler-32 and the Internet checksum are computed here; the digests
// and HMAC come from libcrypto, opened by the first of them, which pads and
// hashes long HMAC keys as RFC 2104 says (64-byte blocks for MD5, SHA-1 and
// SHA-256, 128 for SHA-384 and SHA-512).
#include "runtime/codecs/checksum.hpp"

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <array>
#include <cstring>

#include "platform/posix/shared_library.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "startup/system/heap.hpp"

namespace ixo::checksum {

int32_t sym_tcp, sym_md5, sym_sha1, sym_crc32, sym_adler32, sym_sha256, sym_sha384, sym_sha512,
    sym_hash;

void init() {
  sym_tcp = symbol::make("tcp");
  sym_md5 = symbol::make("md5");
  sym_sha1 = symbol::make("sha1");
  sym_crc32 = symbol::make("crc32");
  sym_adler32 = symbol::make("adler32");
  sym_sha256 = symbol::make("sha256");
  sym_sha384 = symbol::make("sha384");
  sym_sha512 = symbol::make("sha512");
  sym_hash = symbol::make("hash");
}

bool method_q(int32_t sym) {
  int32_t s = symbol::resolve(sym);
  for (int32_t m : {sym_tcp, sym_md5, sym_sha1, sym_crc32, sym_adler32, sym_sha256, sym_sha384,
                    sym_sha512, sym_hash}) {
    if (s == symbol::resolve(m)) return true;
  }
  return false;
}

int32_t method_index(int32_t sym) {
  int32_t s = symbol::resolve(sym);
  const int32_t by_index[] = {sym_tcp, sym_crc32, sym_md5, sym_sha1, sym_sha256, sym_sha384,
                              sym_sha512};
  for (int32_t i = 0; i < 7; ++i) {
    if (s == symbol::resolve(by_index[i])) return i;
  }
  return -1;
}

int32_t digest_size(int32_t index) {
  switch (index) {
    case MD5: return 16;
    case SHA1: return 20;
    case SHA256: return 32;
    case SHA384: return 48;
    case SHA512: return 64;
    default: return 0;
  }
}

namespace {

// Entry i: i shifted right eight times, XOR 0xEDB88320 after each shift
// that drops a 1 bit.
constexpr std::array<uint32_t, 256> make_crc_table() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[i] = c;
  }
  return table;
}

constexpr std::array<uint32_t, 256> crc_table = make_crc_table();

// The libcrypto entry points the digests call.
#define LIBCRYPTO_ENTRIES(X) \
  X(EVP_md5)                 \
  X(EVP_sha1)                \
  X(EVP_sha256)              \
  X(EVP_sha384)              \
  X(EVP_sha512)              \
  X(EVP_Digest)              \
  X(HMAC)
IXO_LIBRARY_ENTRIES(libcrypto_entries, LIBCRYPTO_ENTRIES);
static_assert(OPENSSL_VERSION_MAJOR == 3, "the header is not OpenSSL 3 (libcrypto.so.3)");
platform::lazy_library<libcrypto_entries> libcrypto("libcrypto.so.3");

// The digest of an index; a library that cannot be loaded raises
// access/no-codec with the loader's message, which names it.
const EVP_MD* algorithm_of(int32_t index) {
  if (digest_size(index) == 0) fire(err::script_invalid_arg, {integer::make_cell(index)});
  if (!libcrypto.open()) {
    const char* why = libcrypto.failure();
    cell* reason = string::load_at(reinterpret_cast<const uint8_t*>(why), static_cast<int32_t>(std::strlen(why)),
                                   stack::push_slot(), string::LOAD_UTF8);
    fire(err::access_no_codec, {*reason});
  }
  switch (index) {
    case MD5: return libcrypto.EVP_md5();
    case SHA1: return libcrypto.EVP_sha1();
    case SHA256: return libcrypto.EVP_sha256();
    case SHA384: return libcrypto.EVP_sha384();
    default: return libcrypto.EVP_sha512();
  }
}

}  // namespace

uint32_t crc32_update(uint32_t crc, const uint8_t* data, int32_t length) {
  crc = ~crc;
  for (int32_t i = 0; i < length; ++i) crc = crc_table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

uint32_t crc32(const uint8_t* data, int32_t length) { return crc32_update(0, data, length); }

uint32_t adler32(const uint8_t* data, int32_t length) {
  // 5552 bytes is the longest run whose sums cannot pass 2^32 before the
  // modulo.
  constexpr uint32_t BASE = 65521;
  uint32_t a = 1, b = 0;
  while (length > 0) {
    int32_t chunk = length < 5552 ? length : 5552;
    length -= chunk;
    for (int32_t i = 0; i < chunk; ++i) {
      a += data[i];
      b += a;
    }
    data += chunk;
    a %= BASE;
    b %= BASE;
  }
  return b << 16 | a;
}

int32_t tcp(const uint8_t* data, int32_t length) {
  uint64_t sum = 0;
  int32_t i = 0;
  for (; i + 1 < length; i += 2) sum += static_cast<uint32_t>(data[i]) << 8 | data[i + 1];
  if (i < length) sum += static_cast<uint32_t>(data[i]) << 8;
  while (sum >> 16) sum = (sum >> 16) + (sum & 0xFFFF);
  return static_cast<int32_t>(~sum & 0xFFFF);
}

uint8_t* digest(const uint8_t* data, int32_t length, int32_t index) {
  const EVP_MD* md = algorithm_of(index);
  auto* block = static_cast<uint8_t*>(heap::alloc_tracked(DIGEST_BLOCK));
  unsigned int size = 0;
  if (!libcrypto.EVP_Digest(data, static_cast<size_t>(length), block, &size, md, nullptr)) {
    heap::free_tracked(block);
    fire(err::internal_feature_na);
  }
  return block;
}

uint8_t* hmac(const uint8_t* data, int32_t length, const uint8_t* key, int32_t key_length,
              int32_t index) {
  const EVP_MD* md = algorithm_of(index);
  auto* block = static_cast<uint8_t*>(heap::alloc_tracked(DIGEST_BLOCK));
  unsigned int size = 0;
  // libcrypto refuses a null key even when its length is 0.
  static const uint8_t no_key = 0;
  if (!libcrypto.HMAC(md, key_length ? key : &no_key, key_length, data, static_cast<size_t>(length), block,
                      &size)) {
    heap::free_tracked(block);
    fire(err::internal_feature_na);
  }
  return block;
}

}  // namespace ixo::checksum
