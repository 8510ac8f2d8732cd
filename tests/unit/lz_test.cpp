#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "runtime/memory/lz.hpp"
#include "startup/system/heap.hpp"

namespace ixo::lz {
namespace {

using bytes = std::vector<uint8_t>;

void put_word(bytes& out, uint32_t w) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(w >> (8 * i)));
}

// Writes containers token by token, keeping the output they stand for.
struct container_writer {
  bytes body;
  bytes bits;  // the current block's bit stream
  uint32_t acc = 0;
  int count = 0;
  bytes expected;

  void put(int n, uint32_t v) {
    for (int i = 0; i < n; ++i) {
      acc |= ((v >> i) & 1u) << count;
      if (++count == 8) flush_bits();
    }
  }
  void flush_bits() {
    if (count) bits.push_back(static_cast<uint8_t>(acc));
    acc = 0;
    count = 0;
  }
  void end_block() {
    flush_bits();
    body.insert(body.end(), bits.begin(), bits.end());
    bits.clear();
  }
  void block(uint32_t length) {
    end_block();
    put_word(body, length);
  }
  void literal(uint8_t b) {
    put(1, 0);
    put(8, b);
    expected.push_back(b);
  }
  void match(int32_t length, int32_t distance) {
    put(1, 1);
    uint32_t extra = static_cast<uint32_t>(length - 3);
    struct length_class { uint32_t below; int zeros, bits; uint32_t base; };
    const length_class classes[] = {{4, 0, 2, 0}, {8, 1, 2, 4}, {12, 2, 2, 8},
                                    {20, 3, 3, 12}, {52, 4, 5, 20}, {564, 5, 9, 52}};
    for (const length_class& c : classes) {
      if (extra >= c.below) continue;
      put(c.zeros, 0);
      if (c.zeros < 5) put(1, 1);
      put(c.bits, extra - c.base);
      break;
    }
    uint32_t d = static_cast<uint32_t>(distance - 1);
    if (d < 8) {
      put(4, 0);
      put(3, d);
    } else {
      int n = 31 - __builtin_clz(d);
      put(4, static_cast<uint32_t>(n - 2));
      put(n, d - (1u << n));
    }
    if (static_cast<size_t>(distance) > expected.size()) return;  // a stream meant to be refused
    for (int32_t k = 0; k < length; ++k) expected.push_back(expected[expected.size() - distance]);
  }
  bytes finish(std::optional<uint32_t> unpacked = {}) {
    end_block();
    bytes c;
    put_word(c, static_cast<uint32_t>(body.size()));
    put_word(c, unpacked ? *unpacked : static_cast<uint32_t>(expected.size()));
    c.insert(c.end(), body.begin(), body.end());
    return c;
  }
};

// A greedy packer: at each position the latest earlier position with the
// same three bytes, within the block and 262,144 bytes, is tried as a match.
bytes pack(const bytes& data, size_t block_size = 0x100000) {
  container_writer w;
  std::vector<int64_t> latest(1 << 20, -1);  // positions in the whole input
  for (size_t start = 0; start < data.size(); start += block_size) {
    const size_t length = std::min(block_size, data.size() - start);
    const uint8_t* b = data.data() + start;
    w.block(static_cast<uint32_t>(length));
    for (size_t pos = 0; pos < length;) {
      size_t best = 0;
      if (pos + 3 <= length) {
        uint32_t h = ((b[pos] | b[pos + 1] << 8 | b[pos + 2] << 16) * 2654435761u) >> 12;
        int64_t candidate = latest[h] - static_cast<int64_t>(start);
        latest[h] = static_cast<int64_t>(start + pos);
        if (candidate >= 0 && pos - static_cast<size_t>(candidate) <= 262144) {
          size_t l = 0;
          while (l < 566 && pos + l < length && b[candidate + l] == b[pos + l]) ++l;
          if (l >= 3) {
            best = l;
            w.match(static_cast<int32_t>(l), static_cast<int32_t>(pos - candidate));
          }
        }
      }
      if (best) pos += best;
      else w.literal(b[pos++]);
    }
  }
  return w.finish();
}

// Inputs sit at the very end of a mapping followed by an inaccessible page:
// a read past the input faults, with or without a sanitizer.
class guarded_input {
 public:
  guarded_input() {
    page_ = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    region_ = static_cast<uint8_t*>(
        mmap(nullptr, room + page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    mprotect(region_ + room, page_, PROT_NONE);
  }
  ~guarded_input() { munmap(region_, room + page_); }
  const uint8_t* place(const bytes& input) {
    uint8_t* at = region_ + room - input.size();
    if (!input.empty()) std::memcpy(at, input.data(), input.size());
    return at;
  }
  static constexpr size_t room = 4 << 20;

 private:
  uint8_t* region_;
  size_t page_;
};

// Unpacks a container; checks that nothing is left on the tracked heap when
// it is refused.
std::optional<bytes> unpack(const bytes& container) {
  static guarded_input guard;
  heap::tracked_block* last = heap::list.last;
  int32_t length = -1;
  uint8_t* out = decompress(guard.place(container), static_cast<int32_t>(container.size()), &length);
  if (!out) {
    EXPECT_EQ(heap::list.last, last) << "refused output left on the tracked heap";
    return std::nullopt;
  }
  bytes result(out, out + length);
  free_output(out);
  return result;
}

bytes text(const std::string& s) { return bytes(s.begin(), s.end()); }

bytes random_bytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  bytes b(n);
  for (auto& x : b) x = static_cast<uint8_t>(rng());
  return b;
}

bytes repeated(const bytes& part, size_t times) {
  bytes b;
  for (size_t i = 0; i < times; ++i) b.insert(b.end(), part.begin(), part.end());
  return b;
}

bytes joined(bytes a, const bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(lz, packed_data_round_trips) {
  const bytes random150k = random_bytes(150000, 1);
  const bytes random256k = random_bytes(262144, 2);
  struct row { const char* name; bytes data; };
  const row rows[] = {
      {"empty", {}},
      {"one byte", text("a")},
      {"three bytes", text("abc")},
      {"one byte repeated", bytes(10000, 'a')},
      {"text", repeated(text("the quick brown fox jumps over the lazy dog. "), 200)},
      {"random", random_bytes(5000, 3)},
      {"repeat at 150,000 bytes", joined(random150k, random150k)},
      {"repeat at the longest distance", joined(random256k, bytes(random256k.begin(), random256k.begin() + 1000))},
      {"one full block", bytes(0x100000, 0)},
      {"a full block and one byte", bytes(0x100001, 0)},
      {"two blocks of text", repeated(text("0123456789abcdefghij"), 60000)},
  };
  for (const row& r : rows)
    for (size_t block_size : {size_t{0x100000}, size_t{1000}, size_t{1}}) {
      if (block_size == 1 && r.data.size() > 5000) continue;
      bytes container = pack(r.data, block_size);
      std::optional<bytes> out = unpack(container);
      ASSERT_TRUE(out) << r.name << " in blocks of " << block_size;
      EXPECT_EQ(*out, r.data) << r.name << " in blocks of " << block_size;
    }
  // The packer really finds matches, near and far.
  EXPECT_LT(pack(bytes(10000, 'a')).size(), 100u);
  EXPECT_LT(pack(joined(random150k, random150k)).size(), 150000u * 9 / 8 + 2000);
}

struct stream_case {
  const char* name;
  bytes container;
  std::optional<bytes> expected;  // nothing: refused
};

std::vector<stream_case> hand_built_streams() {
  std::vector<stream_case> cases;
  auto valid = [&](const char* name, container_writer& w, std::optional<uint32_t> unpacked = {}) {
    bytes expected = w.expected;
    cases.push_back({name, w.finish(unpacked), expected});
  };
  auto refused = [&](const char* name, const bytes& container) { cases.push_back({name, container, std::nullopt}); };

  { container_writer w; valid("no blocks", w); }
  { container_writer w; w.block(0); refused("a block of length 0", w.finish(0)); }
  { container_writer w; w.block(0x100001); w.literal('a'); refused("a block of 1,048,577", w.finish()); }
  {
    container_writer w;
    w.block(0x100000);
    w.literal('z');
    for (int32_t left = 0x100000 - 1; left > 0; left -= std::min(left, 566)) w.match(std::min(left, 566), 1);
    valid("a block of 1,048,576", w);
  }
  { container_writer w; w.block(11); w.literal('x'); w.match(10, 1); valid("literal, then distance 1 length 10", w); }
  {
    container_writer w;
    w.block(7);
    w.literal('q');
    w.put(1, 1); w.put(1, 1); w.put(2, 3);  // match, shortest prefix, value 3: length 6
    w.put(4, 0); w.put(3, 0);              // distance 1
    w.expected = bytes(7, 'q');
    valid("bits 1 1 3 make length 6", w);
  }
  {
    // Every length class at both of its edges.
    container_writer w;
    const int32_t lengths[] = {3, 6, 7, 10, 11, 14, 15, 22, 23, 54, 55, 566};
    int32_t total = 1;
    for (int32_t l : lengths) total += l;
    w.block(static_cast<uint32_t>(total));
    w.literal('L');
    for (int32_t l : lengths) w.match(l, 1);
    valid("every length class", w);
  }
  {
    // Every distance code at both of its edges, over 262,144 random bytes.
    container_writer w;
    const bytes r = random_bytes(262144, 4);
    std::vector<int32_t> distances{1, 8};
    for (int n = 3; n <= 17; ++n) {
      distances.push_back((1 << n) + 1);
      distances.push_back(1 << (n + 1));
    }
    w.block(static_cast<uint32_t>(r.size() + 3 * distances.size()));
    for (uint8_t b : r) w.literal(b);
    for (int32_t d : distances) w.match(3, d);
    valid("every distance code", w);
  }
  { container_writer w; w.block(3); w.match(3, 1); refused("a match as first token", w.finish(3)); }
  {
    container_writer w;
    w.block(3); w.literal('a'); w.literal('b'); w.literal('c');
    w.block(3);
    w.put(1, 1); w.put(1, 1); w.put(2, 0); w.put(4, 0); w.put(3, 2);  // length 3, distance 3
    refused("a distance into the previous block", w.finish(6));
  }
  { container_writer w; w.block(5); w.literal('a'); w.literal('b'); w.match(3, 2); valid("a match ending the block", w); }
  {
    container_writer w;
    w.block(5); w.literal('a');
    w.put(1, 1); w.put(1, 0); w.put(1, 1); w.put(2, 1); w.put(4, 0); w.put(3, 0);  // length 8, distance 1
    refused("a match running past the block end", w.finish(9));
  }
  {
    container_writer w;
    w.block(4); w.literal('a'); w.literal('b');
    w.put(1, 1); w.put(1, 1); w.put(2, 0); w.put(4, 0); w.put(3, 2);  // distance 3 from position 2
    refused("a distance before the block start", w.finish(5));
  }
  for (uint32_t unpacked : {12u, 11u}) {
    // Room for the unpacked length and 8 bytes more.
    container_writer w;
    w.block(20);
    for (int i = 0; i < 20; ++i) w.literal(static_cast<uint8_t>('a' + i));
    bytes expected = w.expected;
    cases.push_back({unpacked == 12 ? "20 bytes into room for 12 + 8" : "20 bytes into room for 11 + 8",
                     w.finish(unpacked), unpacked == 12 ? std::optional<bytes>(expected) : std::nullopt});
  }
  { container_writer w; w.block(3); w.literal('a'); refused("a bit stream that ends early", w.finish()); }
  {
    container_writer w;
    w.block(1); w.literal('a');
    bytes c = w.finish();
    c.push_back(1); c.push_back(0);
    c[0] += 2;
    refused("two bytes where a block length belongs", c);
  }
  {
    container_writer w;
    w.block(1); w.literal('a');
    bytes c = w.finish();
    c[0] += 1;
    refused("a packed length past the input", c);
  }
  refused("shorter than the header", bytes{0, 0, 0, 0, 0, 0, 0});
  refused("nothing", bytes{});
  return cases;
}

TEST(lz, hand_built_streams_follow_the_format) {
  for (const stream_case& c : hand_built_streams()) {
    std::optional<bytes> out = unpack(c.container);
    ASSERT_EQ(out.has_value(), c.expected.has_value()) << c.name;
    if (out) {
      EXPECT_EQ(*out, *c.expected) << c.name;
    }
  }
}

TEST(lz, truncated_containers_are_refused) {
  struct row { bytes data; size_t block_size; };
  const row rows[] = {
      {repeated(text("abracadabra "), 40), 0x100000},
      {random_bytes(700, 5), 0x100000},
      {repeated(text("0123456789 hello, blocks "), 80), 100},
  };
  for (const row& r : rows) {
    const bytes container = pack(r.data, r.block_size);
    const size_t blocks = (r.data.size() + r.block_size - 1) / r.block_size;
    size_t whole_block_prefixes = 0;
    for (size_t t = 0; t < container.size(); ++t) {
      bytes cut(container.begin(), container.begin() + static_cast<ptrdiff_t>(t));
      ASSERT_FALSE(unpack(cut)) << "cut at " << t;
      if (t < 8) continue;
      // The same cut with a header that admits it: only whole blocks unpack.
      uint32_t packed = static_cast<uint32_t>(t - 8);
      std::memcpy(cut.data(), &packed, 4);
      std::optional<bytes> out = unpack(cut);
      if (!out) continue;
      ++whole_block_prefixes;
      ASSERT_EQ(out->size() % r.block_size, 0u) << "cut at " << t;
      ASSERT_TRUE(std::equal(out->begin(), out->end(), r.data.begin())) << "cut at " << t;
    }
    EXPECT_EQ(whole_block_prefixes, blocks);
  }
}

TEST(lz, corrupted_containers_are_refused_or_stay_within_their_room) {
  std::mt19937 rng(77);
  std::vector<bytes> sources;
  sources.push_back(pack(repeated(text("corruption resistant "), 50)));
  sources.push_back(pack(random_bytes(400, 6)));
  sources.push_back(pack(repeated(text("xyz"), 300), 64));
  for (const stream_case& c : hand_built_streams())
    if (c.expected && c.container.size() < 4096) sources.push_back(c.container);
  auto any = [&](size_t below) { return static_cast<size_t>(rng() % below); };
  for (int round = 0; round < 30000; ++round) {
    bytes c = sources[any(sources.size())];
    for (int edits = 1 + static_cast<int>(any(3)); edits > 0 && !c.empty(); --edits) {
      switch (any(5)) {
        case 0: c[any(c.size())] ^= static_cast<uint8_t>(1u << any(8)); break;
        case 1: c[any(c.size())] = static_cast<uint8_t>(rng()); break;
        case 2: c.resize(any(c.size() + 1)); break;
        case 3: c.insert(c.begin() + static_cast<ptrdiff_t>(any(c.size() + 1)), static_cast<uint8_t>(rng())); break;
        case 4: c.erase(c.begin() + static_cast<ptrdiff_t>(any(c.size()))); break;
      }
    }
    // Most edits break the packed length: mend it half of the time so the
    // bit stream itself is tried.
    if (c.size() >= 8 && any(2)) {
      uint32_t packed = static_cast<uint32_t>(c.size() - 8);
      std::memcpy(c.data(), &packed, 4);
    }
    std::optional<bytes> out = unpack(c);
    if (out) {
      uint32_t unpacked;
      std::memcpy(&unpacked, c.data() + 4, 4);
      ASSERT_LE(out->size(), uint64_t{unpacked} + 8) << "round " << round;
    }
  }
  // Random bytes under a consistent header.
  for (int round = 0; round < 5000; ++round) {
    bytes c = random_bytes(8 + any(300), static_cast<uint32_t>(round));
    uint32_t packed = static_cast<uint32_t>(c.size() - 8);
    std::memcpy(c.data(), &packed, 4);
    unpack(c);
  }
}

}  // namespace
}  // namespace ixo::lz
