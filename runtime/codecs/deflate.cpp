// The DEFLATE compressor and decoder.
//
// The compressor is deliberately simple and its output is fixed by its
// rules: the first three bytes are literals; after that, the three bytes at
// each step start are hashed into one of 1024 buckets of four earlier step
// starts, the first of those that matches three bytes within 32767 bytes
// back is taken and extended greedily up to 258 bytes, and the step start is
// filed in a slot chosen by the bytes that follow the step.
//
// The decoder reads codes through one lookup table per Huffman code,
// indexed by the next (longest code length) bits of input. It rejects what
// a well-formed stream never holds: a stored block whose NLEN is not the
// complement of LEN, over-subscribed or incomplete codes (but a code of one
// symbol, which zlib writes), length symbols 286-287, distance symbols
// 30-31, a repeat with nothing to repeat or running past the lengths, and a
// stream that ends before its final block. It never reads past its input.
#include "runtime/codecs/deflate.hpp"

#include <array>
#include <cstring>

namespace ixo::deflate {
namespace {

constexpr uint16_t length_base[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t length_extra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint16_t distance_base[30] = {1,    2,    3,    4,    5,    7,     9,     13,    17,  25,
                                        33,   49,   65,   97,   129,  193,   257,   385,   513, 769,
                                        1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t distance_extra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                        6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr uint8_t code_length_order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5,
                                           11, 4,  12, 3, 13, 2, 14, 1, 15};

constexpr uint32_t reverse_bits(uint32_t code, int length) {
  uint32_t r = 0;
  for (int i = 0; i < length; ++i, code >>= 1) r = r << 1 | (code & 1);
  return r;
}

// ---- Compressor ----

// A code ready to go out least significant bit first: the Huffman code
// reversed, then its extra bits.
struct bit_code {
  uint32_t bits;
  uint8_t count;
};

// The fixed literal/length code of a symbol, reversed.
constexpr bit_code fixed_code(int symbol) {
  if (symbol < 144) return {reverse_bits(0x30 + symbol, 8), 8};
  if (symbol < 256) return {reverse_bits(0x190 + symbol - 144, 9), 9};
  if (symbol < 280) return {reverse_bits(symbol - 256, 7), 7};
  return {reverse_bits(0xC0 + symbol - 280, 8), 8};
}

struct code_tables {
  bit_code literal[256];
  bit_code length[259];     // by match length 3-258: code and extra bits
  bit_code distance[32768]; // by distance 1-32767: 5-bit code and extra bits
};

constexpr code_tables make_code_tables() {
  code_tables t{};
  for (int b = 0; b < 256; ++b) t.literal[b] = fixed_code(b);
  for (int s = 0; s < 29; ++s) {
    int last = s == 28 ? 258 : (s == 27 ? 257 : length_base[s + 1] - 1);
    for (int l = length_base[s]; l <= last; ++l) {
      bit_code c = fixed_code(257 + s);
      t.length[l] = {c.bits | static_cast<uint32_t>(l - length_base[s]) << c.count,
                     static_cast<uint8_t>(c.count + length_extra[s])};
    }
  }
  for (int s = 0; s < 30; ++s) {
    int last = s == 29 ? 32767 : distance_base[s + 1] - 1;
    for (int d = distance_base[s]; d <= last; ++d) {
      t.distance[d] = {reverse_bits(s, 5) | static_cast<uint32_t>(d - distance_base[s]) << 5,
                       static_cast<uint8_t>(5 + distance_extra[s])};
    }
  }
  return t;
}

const code_tables codes = make_code_tables();

// Bits collect least significant first and go out 32 at a time; bytes past
// the capacity are counted, not written.
struct bit_writer {
  uint8_t* out;
  int64_t capacity;
  int64_t position = 0;
  uint64_t bits = 0;
  int count = 0;

  void put_byte(uint8_t b) {
    if (position < capacity) out[position] = b;
    ++position;
  }
  void put(uint32_t value, int n) {
    bits |= static_cast<uint64_t>(value) << count;
    count += n;
    if (count >= 32) {
      if (position + 4 <= capacity) {
        uint32_t word = static_cast<uint32_t>(bits);
        std::memcpy(out + position, &word, 4);  // little-endian host
        position += 4;
      } else {
        for (int i = 0; i < 4; ++i) put_byte(static_cast<uint8_t>(bits >> (8 * i)));
      }
      bits >>= 32;
      count -= 32;
    }
  }
  // Completes the last byte with zero bits.
  void flush() {
    while (count > 0) {
      put_byte(static_cast<uint8_t>(bits));
      bits >>= 8;
      count -= 8;
    }
    count = 0;
  }
};

inline uint32_t three_bytes(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[2];
}

inline uint32_t hash_3(const uint8_t* p) {
  uint32_t x = three_bytes(p);
  x ^= x >> 16;
  x *= 0x7FEB352Du;
  x ^= x >> 15;
  x *= 0x846CA68Bu;
  x ^= x >> 16;
  return x & 0x3FF;
}

inline uint32_t pick_slot(const uint8_t* p) {
  uint32_t x = three_bytes(p);
  return ((x >> 14) - x) & 3;
}

// ---- Decoder ----

// Bits come in least significant first; refills take whole bytes, eight at
// a time while eight remain. Bits asked for past the end read as 0 and set
// `overrun`, which the caller turns into BAD_DATA.
struct bit_reader {
  const uint8_t* p;
  const uint8_t* end;
  uint64_t bits = 0;
  int count = 0;
  bool overrun = false;

  void refill() {
    if (end - p >= 8) {
      uint64_t word;
      std::memcpy(&word, p, 8);  // little-endian host
      bits |= word << count;
      p += (63 - count) >> 3;
      count |= 56;
    } else {
      while (count <= 56 && p < end) {
        bits |= static_cast<uint64_t>(*p++) << count;
        count += 8;
      }
    }
  }
  uint32_t peek(int n) {
    if (count < n) refill();
    return static_cast<uint32_t>(bits & ((uint64_t{1} << n) - 1));
  }
  void drop(int n) {
    if (n > count) {
      overrun = true;
      n = count;
    }
    bits >>= n;
    count -= n;
  }
  uint32_t get(int n) {
    uint32_t v = peek(n);
    drop(n);
    return v;
  }
};

// A Huffman code as a table indexed by the next `bits` input bits: each
// entry is symbol << 4 | code length, 0 where no code starts.
struct huffman {
  int bits;
  uint16_t entry[1 << 15];
};

enum code_kind { CODE_LENGTHS, LITERALS, DISTANCES };

// Builds the canonical code of n lengths; false for an over-subscribed
// code, or an incomplete one other than a single one-bit code of
// literals or distances (an empty code builds, and every lookup fails).
bool build_code_table(huffman& h, const uint8_t* lengths, int n, code_kind kind) {
  int count[16] = {};
  for (int i = 0; i < n; ++i) ++count[lengths[i]];
  int max = 0;
  for (int len = 1; len <= 15; ++len) {
    if (count[len]) max = len;
  }
  int left = 1;
  for (int len = 1; len <= 15; ++len) {
    left = (left << 1) - count[len];
    if (left < 0) return false;
  }
  if (left > 0 && max > 0 && (kind == CODE_LENGTHS || max != 1)) return false;
  h.bits = max ? max : 1;
  int size = 1 << h.bits;
  std::memset(h.entry, 0, sizeof(uint16_t) * size);
  uint32_t next[16];
  uint32_t code = 0;
  count[0] = 0;
  for (int len = 1; len <= 15; ++len) {
    code = (code + count[len - 1]) << 1;
    next[len] = code;
  }
  for (int s = 0; s < n; ++s) {
    int len = lengths[s];
    if (!len) continue;
    uint32_t r = reverse_bits(next[len]++, len);
    uint16_t e = static_cast<uint16_t>(s << 4 | len);
    for (uint32_t i = r; i < static_cast<uint32_t>(size); i += 1u << len) h.entry[i] = e;
  }
  return true;
}

// The next symbol, or -1 for bits that start no code.
inline int decode_symbol(bit_reader& in, const huffman& h) {
  uint16_t e = h.entry[in.peek(h.bits)];
  if (!e) return -1;
  in.drop(e & 15);
  return e >> 4;
}

struct inflater {
  bit_reader in;
  uint8_t* out;
  int64_t capacity;
  int64_t produced = 0;
  huffman literals;
  huffman distances;

  void put_byte(uint8_t b) {
    if (produced < capacity) out[produced] = b;
    ++produced;
  }

  // Copies from `distance` bytes back, byte by byte where the ranges
  // overlap so that a short distance repeats its pattern. Only bytes that
  // fitted are read back: past the capacity the copy is only counted.
  void copy_match(int64_t distance, int64_t length) {
    if (produced + length + 8 <= capacity) {
      uint8_t* to = out + produced;
      const uint8_t* from = to - distance;
      if (distance >= 8) {
        for (int64_t i = 0; i < length; i += 8) std::memcpy(to + i, from + i, 8);
      } else {
        for (int64_t i = 0; i < length; ++i) to[i] = from[i];
      }
      produced += length;
      return;
    }
    for (; length > 0 && produced < capacity; --length, ++produced) {
      out[produced] = out[produced - distance];
    }
    produced += length;
  }

  int32_t stored_block() {
    in.drop(in.count & 7);
    uint32_t len = in.get(16);
    uint32_t nlen = in.get(16);
    if (in.overrun || (len ^ 0xFFFF) != nlen) return BAD_DATA;
    // Whole bytes still in the bit buffer go back to the input.
    const uint8_t* at = in.p - in.count / 8;
    if (len > static_cast<uint64_t>(in.end - at)) return STORED_OVERRUN;
    for (uint32_t i = 0; i < len; ++i) put_byte(at[i]);
    in.p = at + len;
    in.bits = 0;
    in.count = 0;
    return DONE;
  }

  void fixed_codes() {
    uint8_t lengths[288 + 32];
    std::memset(lengths, 8, 144);
    std::memset(lengths + 144, 9, 112);
    std::memset(lengths + 256, 7, 24);
    std::memset(lengths + 280, 8, 8);
    std::memset(lengths + 288, 5, 32);
    build_code_table(literals, lengths, 288, LITERALS);
    build_code_table(distances, lengths + 288, 32, DISTANCES);
  }

  int32_t dynamic_codes() {
    int nlit = static_cast<int>(in.get(5)) + 257;
    int ndist = static_cast<int>(in.get(5)) + 1;
    int nclen = static_cast<int>(in.get(4)) + 4;
    if (nlit > 286 || ndist > 30) return BAD_DATA;
    uint8_t lengths[320] = {};
    for (int i = 0; i < nclen; ++i) lengths[code_length_order[i]] = static_cast<uint8_t>(in.get(3));
    if (in.overrun) return BAD_DATA;
    // The code-length code borrows the distance table.
    if (!build_code_table(distances, lengths, 19, CODE_LENGTHS)) return BAD_DATA;
    int total = nlit + ndist;
    std::memset(lengths, 0, sizeof lengths);
    for (int i = 0; i < total;) {
      int symbol = decode_symbol(in, distances);
      if (symbol < 0 || in.overrun) return BAD_DATA;
      if (symbol < 16) {
        lengths[i++] = static_cast<uint8_t>(symbol);
        continue;
      }
      uint8_t value = 0;
      int repeat;
      if (symbol == 16) {
        if (i == 0) return BAD_DATA;
        value = lengths[i - 1];
        repeat = 3 + static_cast<int>(in.get(2));
      } else if (symbol == 17) {
        repeat = 3 + static_cast<int>(in.get(3));
      } else {
        repeat = 11 + static_cast<int>(in.get(7));
      }
      if (in.overrun || i + repeat > total) return BAD_DATA;
      while (repeat--) lengths[i++] = value;
    }
    if (lengths[256] == 0) return BAD_DATA;  // no end-of-block code
    if (!build_code_table(literals, lengths, nlit, LITERALS)) return BAD_DATA;
    if (!build_code_table(distances, lengths + nlit, ndist, DISTANCES)) return BAD_DATA;
    return DONE;
  }

  int32_t data() {
    for (;;) {
      int symbol = decode_symbol(in, literals);
      if (symbol < 0 || in.overrun) return BAD_DATA;
      if (symbol < 256) {
        put_byte(static_cast<uint8_t>(symbol));
        continue;
      }
      if (symbol == 256) return DONE;
      symbol -= 257;
      if (symbol >= 29) return BAD_DATA;
      int64_t length = length_base[symbol] + in.get(length_extra[symbol]);
      int d = decode_symbol(in, distances);
      if (d < 0 || d >= 30) return BAD_DATA;
      int64_t distance = distance_base[d] + in.get(distance_extra[d]);
      if (in.overrun) return BAD_DATA;
      if (distance > produced) return TOO_FAR_BACK;
      copy_match(distance, length);
      if (produced > MAX_OUTPUT) return TOO_LARGE;
    }
  }

  int32_t run() {
    for (bool final = false; !final;) {
      final = in.get(1);
      uint32_t type = in.get(2);
      if (in.overrun) return BAD_DATA;
      int32_t rc;
      switch (type) {
        case 0: rc = stored_block(); break;
        case 1: fixed_codes(); rc = data(); break;
        case 2:
          rc = dynamic_codes();
          if (rc == DONE) rc = data();
          break;
        default: return BAD_BLOCK_TYPE;
      }
      if (rc != DONE) return rc;
      if (produced > MAX_OUTPUT) return TOO_LARGE;
    }
    return DONE;
  }
};

}  // namespace

int32_t compress(uint8_t* out, int32_t* out_length, const uint8_t* in, int32_t in_length) {
  bit_writer w{out, *out_length};
  uint32_t slots[1024][4] = {};  // step start + 1; 0 is empty
  w.put(1, 1);                  // final block
  w.put(1, 2);                  // fixed Huffman code
  int64_t p = 0, end = in_length;
  while (p < end) {
    int64_t start = p;
    bool hashed = end - p >= 3;
    uint32_t bucket = hashed ? hash_3(in + p) : 0;
    int64_t distance = 0;
    if (hashed && p >= 3) {
      for (uint32_t slot : slots[bucket]) {
        if (!slot) continue;
        int64_t c = slot - 1;
        if (p - c < 32768 && in[c] == in[p] && in[c + 1] == in[p + 1] && in[c + 2] == in[p + 2]) {
          distance = p - c;
          break;
        }
      }
    }
    if (distance) {
      int length = 3;
      p += 3;
      while (p < end && length < 258 && in[p] == in[p - distance]) {
        ++p;
        ++length;
      }
      const bit_code& l = codes.length[length];
      w.put(l.bits, l.count);
      const bit_code& d = codes.distance[distance];
      w.put(d.bits, d.count);
    } else {
      const bit_code& c = codes.literal[in[p]];
      w.put(c.bits, c.count);
      ++p;
    }
    // With fewer than three bytes left no search follows.
    if (hashed && end - p >= 3) slots[bucket][pick_slot(in + p)] = static_cast<uint32_t>(start + 1);
  }
  w.put(0, 7);  // end of block
  w.flush();
  if (w.position > INT32_MAX) return BAD_DATA;
  int32_t capacity = *out_length;
  *out_length = static_cast<int32_t>(w.position);
  return w.position > capacity ? TOO_SMALL : DONE;
}

int32_t uncompress(uint8_t* out, int32_t* out_length, const uint8_t* in, int32_t in_length) {
  if (in_length < 0) return BAD_DATA;
  // 128 KB of code tables, in this frame for the call.
  inflater state;  // its tables are filled before they are read
  state.in = {in, in + in_length};
  state.out = out;
  state.capacity = *out_length;
  int32_t rc = state.run();
  if (rc == DONE || rc == TOO_FAR_BACK) *out_length = static_cast<int32_t>(state.produced);
  if (rc != DONE) return rc;
  return state.produced > state.capacity ? TOO_SMALL : DONE;
}

}  // namespace ixo::deflate
