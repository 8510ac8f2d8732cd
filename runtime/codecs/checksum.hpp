// Checksums and digests over raw bytes: CRC-32 (the reflected polynomial of
// gzip), Adler-32 (zlib's), the 16-bit Internet checksum of tcp, and the
// MD5, SHA-1 and SHA-2 digests with their HMACs, computed by libcrypto.
// Also the nine method words that `checksum` accepts.
#pragma once
#include <cstdint>

namespace ixo::checksum {

// Symbol ids of the method words, made by init in this order.
extern int32_t sym_tcp, sym_md5, sym_sha1, sym_crc32, sym_adler32, sym_sha256, sym_sha384,
    sym_sha512, sym_hash;

// Algorithm indexes of method_index.
enum : int32_t { TCP = 0, CRC32 = 1, MD5 = 2, SHA1 = 3, SHA256 = 4, SHA384 = 5, SHA512 = 6 };

// The largest digest: every digest block has this size.
constexpr int32_t DIGEST_BLOCK = 64;

// Makes the nine method words (runtime initialisation, after the symbol
// table).
void init();

// Whether a symbol is one of the nine method words, in any letter case.
bool method_q(int32_t sym);
// The algorithm index of tcp, crc32 and the five digests; -1 for any other
// symbol (adler32 and hash included).
int32_t method_index(int32_t sym);
// Digest length in bytes of an index; 0 for tcp, crc32 and others.
int32_t digest_size(int32_t index);

uint32_t crc32(const uint8_t* data, int32_t length);
// Continues a CRC-32 over more bytes: crc32(a + b) = crc32_update(crc32(a), b).
uint32_t crc32_update(uint32_t crc, const uint8_t* data, int32_t length);
uint32_t adler32(const uint8_t* data, int32_t length);
// 0-65535; an odd last byte counts as the high byte of a zero-padded word.
int32_t tcp(const uint8_t* data, int32_t length);

// A new DIGEST_BLOCK-byte block of the tracked heap holding the digest
// (digest_size bytes); the caller frees it with heap::free_tracked. An index
// outside md5..sha512 raises script/invalid-arg with the index; when the
// cryptographic library cannot be loaded, access/no-codec with the loader's
// message naming it; a digest the library fails to make raises
// internal/feature-na.
uint8_t* digest(const uint8_t* data, int32_t length, int32_t index);
// The HMAC of the data under the key, in a block as digest gives, with the
// same errors.
uint8_t* hmac(const uint8_t* data, int32_t length, const uint8_t* key, int32_t key_length,
              int32_t index);

}  // namespace ixo::checksum
