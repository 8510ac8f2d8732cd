// Median cut: the distinct colours with their pixel counts are split into
// boxes, each time cutting the box with the widest channel range at the
// weighted median of that channel, until there are as many boxes as
// palette entries; a box's entry is the count-weighted mean of its
// colours, and each colour maps to its own box's entry. With no more
// distinct colours than entries every colour keeps an entry of its own.
#include "platform/images/gif_quantiser.hpp"

#include <algorithm>
#include <unordered_map>

namespace ixo::images {

namespace {

constexpr size_t PALETTE_SIZE = 256;

struct colour_count {
  uint32_t colour;  // 0x00RRGGBB
  uint32_t count;
};

uint32_t channel(uint32_t colour, int which) { return colour >> (16 - 8 * which) & 0xFF; }

struct box {
  size_t first, last;  // a range of the colour list
  int widest = 0;
  uint32_t range = 0;

  void measure(const std::vector<colour_count>& list) {
    range = 0;
    for (int c = 0; c < 3; ++c) {
      uint32_t low = 255, high = 0;
      for (size_t i = first; i < last; ++i) {
        low = std::min(low, channel(list[i].colour, c));
        high = std::max(high, channel(list[i].colour, c));
      }
      if (high - low >= range && high >= low) {
        range = high - low;
        widest = c;
      }
    }
  }
};

uint32_t mean_colour(const std::vector<colour_count>& list, const box& b) {
  uint64_t sum[3] = {0, 0, 0}, total = 0;
  for (size_t i = b.first; i < b.last; ++i) {
    for (int c = 0; c < 3; ++c) sum[c] += uint64_t{channel(list[i].colour, c)} * list[i].count;
    total += list[i].count;
  }
  uint32_t result = 0;
  for (int c = 0; c < 3; ++c) result |= static_cast<uint32_t>((sum[c] + total / 2) / total) << (16 - 8 * c);
  return result;
}

std::vector<box> median_cut(std::vector<colour_count>& list, size_t wanted) {
  std::vector<box> boxes{box{0, list.size()}};
  boxes[0].measure(list);
  while (boxes.size() < wanted) {
    auto cut = std::max_element(boxes.begin(), boxes.end(), [](const box& a, const box& b) { return a.range < b.range; });
    if (cut->range == 0) break;
    int c = cut->widest;
    std::sort(list.begin() + static_cast<ptrdiff_t>(cut->first), list.begin() + static_cast<ptrdiff_t>(cut->last),
              [c](const colour_count& a, const colour_count& b) { return channel(a.colour, c) < channel(b.colour, c); });
    uint64_t total = 0, half = 0;
    for (size_t i = cut->first; i < cut->last; ++i) total += list[i].count;
    size_t split = cut->first + 1;
    for (size_t i = cut->first; i < cut->last - 1; ++i) {
      half += list[i].count;
      split = i + 1;
      if (half * 2 >= total) break;
    }
    box upper{split, cut->last};
    cut->last = split;
    cut->measure(list);
    upper.measure(list);
    boxes.push_back(upper);
  }
  return boxes;
}

}  // namespace

indexed quantise(const view& image) {
  indexed result;
  size_t n = static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
  std::unordered_map<uint32_t, uint32_t> counts;
  bool any_transparent = false;
  for (size_t i = 0; i < n; ++i) {
    uint32_t p = image.pixels[i];
    if (p >> 24 == 0) any_transparent = true;
    else ++counts[p & 0xFFFFFF];
  }
  std::vector<colour_count> list;
  list.reserve(counts.size());
  for (auto [colour, count] : counts) list.push_back({colour, count});
  std::sort(list.begin(), list.end(), [](const colour_count& a, const colour_count& b) { return a.colour < b.colour; });
  size_t entries = PALETTE_SIZE - (any_transparent ? 1 : 0);
  std::unordered_map<uint32_t, uint8_t> index_of;
  index_of.reserve(list.size());
  if (list.size() <= entries) {
    for (const auto& entry : list) {
      index_of[entry.colour] = static_cast<uint8_t>(result.colours.size());
      result.colours.push_back(entry.colour);
    }
  } else {
    for (const box& b : median_cut(list, entries)) {
      auto index = static_cast<uint8_t>(result.colours.size());
      result.colours.push_back(mean_colour(list, b));
      for (size_t i = b.first; i < b.last; ++i) index_of[list[i].colour] = index;
    }
  }
  if (any_transparent) {
    result.transparent = static_cast<int32_t>(result.colours.size());
    result.colours.push_back(0);
  }
  result.indices.resize(n);
  for (size_t i = 0; i < n; ++i) {
    uint32_t p = image.pixels[i];
    result.indices[i] = p >> 24 == 0 ? static_cast<uint8_t>(result.transparent) : index_of[p & 0xFFFFFF];
  }
  return result;
}

}  // namespace ixo::images
