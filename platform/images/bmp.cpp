// Our BMP reader and writer. The reader takes 1, 2, 4, 8, 16, 24 and 32
// bits per pixel; palettes of 4-byte entries (3-byte ones under the OS/2
// 1 header); uncompressed rows, bit fields (masks after a 40-byte header
// or inside a longer one), RLE8 and RLE4; bottom-up and top-down rows; the
// OS/2 1 and 2, Windows 3, V4 and V5 headers. It reads nothing past its
// input: every offset and count is checked against the size first. The
// writer makes 32-bit bottom-up files with a V5 header and bit fields
// whose alpha mask keeps the alpha channel.
#include <algorithm>
#include <cstring>

#include "platform/images/raster.hpp"

namespace ixo::images {

namespace {

constexpr size_t FILE_HEADER = 14;
constexpr uint32_t CORE_HEADER = 12;  // OS/2 1: 16-bit sides, 3-byte palette entries
constexpr uint32_t V5_HEADER = 124;

enum compression : uint32_t { BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3, BI_ALPHABITFIELDS = 6 };

uint32_t u16(const uint8_t* p) { return p[0] | p[1] << 8; }
uint32_t u32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }

// A channel under a mask, scaled to 8 bits as v · 255 / largest value,
// truncated (as Pillow does; the largest value stays 255).
struct channel_mask {
  uint32_t mask = 0;
  int shift = 0, bits = 0;

  explicit channel_mask(uint32_t m = 0) : mask(m) {
    if (!m) return;
    while (!(m & 1)) {
      m >>= 1;
      ++shift;
    }
    while (m) {  // the mask's width from its lowest bit (gaps included)
      m >>= 1;
      ++bits;
    }
  }
  uint32_t value(uint32_t word) const {
    if (!mask) return 0;
    uint32_t v = (word & mask) >> shift;
    uint64_t largest = (uint64_t{1} << bits) - 1;
    return static_cast<uint32_t>(v * uint64_t{255} / largest);
  }
};

struct header {
  int64_t width = 0, height = 0;
  bool top_down = false;
  uint32_t bits = 0, compression = BI_RGB, colours_used = 0, header_size = 0;
  uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha
  bool has_alpha_mask = false;
};

struct reader {
  const uint8_t* data;
  size_t size;

  bool has(size_t offset, size_t count) const { return offset <= size && count <= size - offset; }
};

bool read_header(const reader& in, header& h, size_t& palette_at) {
  if (!in.has(0, FILE_HEADER + 4)) return false;
  h.header_size = u32(in.data + FILE_HEADER);
  const uint8_t* p = in.data + FILE_HEADER;
  if (h.header_size < CORE_HEADER || !in.has(FILE_HEADER, h.header_size)) return false;
  uint32_t planes;
  if (h.header_size == CORE_HEADER) {
    h.width = u16(p + 4);
    h.height = u16(p + 6);
    planes = u16(p + 8);
    h.bits = u16(p + 10);
  } else {
    if (h.header_size < 16) return false;
    h.width = static_cast<int32_t>(u32(p + 4));
    h.height = static_cast<int32_t>(u32(p + 8));
    planes = u16(p + 12);
    h.bits = u16(p + 14);
    if (h.header_size >= 20) h.compression = u32(p + 16);
    if (h.header_size >= 36) h.colours_used = u32(p + 32);
  }
  if (planes != 1) return false;
  if (h.height < 0) {
    h.top_down = true;
    h.height = -h.height;
  }
  palette_at = FILE_HEADER + h.header_size;
  if (h.compression == BI_BITFIELDS || h.compression == BI_ALPHABITFIELDS) {
    size_t count = h.compression == BI_ALPHABITFIELDS ? 4 : 3;
    if (h.header_size >= 52) {
      // The masks are the header's own fields.
      for (size_t i = 0; i < 3; ++i) h.masks[i] = u32(p + 40 + 4 * i);
      if (h.header_size >= 56) h.masks[3] = u32(p + 52);
    } else {
      if (!in.has(palette_at, 4 * count)) return false;
      for (size_t i = 0; i < count; ++i) h.masks[i] = u32(in.data + palette_at + 4 * i);
      palette_at += 4 * count;
    }
    h.has_alpha_mask = h.masks[3] != 0;
    if (h.bits != 16 && h.bits != 32) return false;
  } else if (h.compression == BI_RGB && h.header_size >= 56 && (h.bits == 16 || h.bits == 32)) {
    // A V3 to V5 header's alpha mask counts for uncompressed pixels too.
    h.masks[3] = u32(p + 52);
    h.has_alpha_mask = h.masks[3] != 0;
  }
  return true;
}

// Uncompressed rows, stored bottom-up unless the height was negative.
bool read_rows(const reader& in, const header& h, size_t offset, const std::vector<uint32_t>& palette, raster& out) {
  uint64_t stride = (static_cast<uint64_t>(h.width) * h.bits + 31) / 32 * 4;
  if (!in.has(offset, 0) || stride * static_cast<uint64_t>(h.height) > in.size - offset) return false;
  channel_mask red, green, blue, alpha(h.has_alpha_mask ? h.masks[3] : 0);
  if (h.compression == BI_BITFIELDS || h.compression == BI_ALPHABITFIELDS) {
    red = channel_mask(h.masks[0]), green = channel_mask(h.masks[1]), blue = channel_mask(h.masks[2]);
  } else if (h.bits == 16) {
    red = channel_mask(0x7C00), green = channel_mask(0x03E0), blue = channel_mask(0x001F);
  } else {
    red = channel_mask(0xFF0000), green = channel_mask(0xFF00), blue = channel_mask(0xFF);
  }
  for (int64_t y = 0; y < h.height; ++y) {
    const uint8_t* row = in.data + offset + static_cast<uint64_t>(y) * stride;
    uint32_t* target = &out.data[static_cast<size_t>((h.top_down ? y : h.height - 1 - y) * h.width)];
    for (int64_t x = 0; x < h.width; ++x) {
      uint32_t pixel;
      if (h.bits <= 8) {
        uint64_t bit = static_cast<uint64_t>(x) * h.bits;
        uint32_t index = row[bit / 8] >> (8 - h.bits - bit % 8) & ((1u << h.bits) - 1);
        pixel = index < palette.size() ? palette[index] : 0xFF000000u;
      } else if (h.bits == 24) {
        const uint8_t* b = row + 3 * x;
        pixel = 0xFF000000u | uint32_t{b[2]} << 16 | uint32_t{b[1]} << 8 | b[0];
      } else {
        uint32_t word = h.bits == 16 ? u16(row + 2 * x) : u32(row + 4 * x);
        uint32_t a = h.has_alpha_mask ? alpha.value(word) : 255;
        pixel = a << 24 | red.value(word) << 16 | green.value(word) << 8 | blue.value(word);
      }
      target[x] = pixel;
    }
  }
  return true;
}

// RLE8 and RLE4, bottom-up: runs of one index (two alternating ones for
// RLE4), absolute runs, ends of lines, a delta move, the end of the image.
// Pixels the data never reaches stay transparent. Data that ends before
// the end-of-image code is corrupt.
bool read_rle(const reader& in, const header& h, size_t offset, const std::vector<uint32_t>& palette, raster& out) {
  if (h.top_down) return false;
  bool four = h.compression == BI_RLE4;
  int64_t x = 0, y = 0;
  size_t at = offset;
  auto put = [&](uint32_t index) {
    if (x < h.width && y < h.height) {
      out.data[static_cast<size_t>((h.height - 1 - y) * h.width + x)] =
          index < palette.size() ? palette[index] : 0xFF000000u;
    }
    ++x;
  };
  while (in.has(at, 2)) {
    uint32_t count = in.data[at], value = in.data[at + 1];
    at += 2;
    if (count > 0) {
      for (uint32_t i = 0; i < count; ++i) put(four ? (i % 2 ? value & 0xF : value >> 4) : value);
    } else if (value == 0) {
      x = 0;
      ++y;
    } else if (value == 1) {
      return true;
    } else if (value == 2) {
      if (!in.has(at, 2)) return false;
      x += in.data[at];
      y += in.data[at + 1];
      at += 2;
    } else {
      size_t bytes = four ? (value + 1) / 2 : value;
      if (!in.has(at, bytes)) return false;
      for (uint32_t i = 0; i < value; ++i) {
        uint32_t byte = in.data[at + (four ? i / 2 : i)];
        put(four ? (i % 2 ? byte & 0xF : byte >> 4) : byte);
      }
      at += (bytes + 1) / 2 * 2;
    }
    if (y >= h.height) return true;
  }
  return false;
}

// Little-endian fields at `at`, which moves past them.
void put16(uint8_t*& at, uint32_t v) {
  *at++ = static_cast<uint8_t>(v);
  *at++ = static_cast<uint8_t>(v >> 8);
}

void put32(uint8_t*& at, uint32_t v) {
  put16(at, v & 0xFFFF);
  put16(at, v >> 16);
}

}  // namespace

status decode_bmp(const uint8_t* data, size_t size, raster& out) {
  reader in{data, size};
  header h;
  size_t palette_at = 0;
  if (!read_header(in, h, palette_at)) return status::bad_data;
  if (h.width < 1 || h.height < 1 || h.width > MAX_SIDE || h.height > MAX_SIDE) return status::bad_data;
  bool rle = h.compression == BI_RLE8 || h.compression == BI_RLE4;
  bool bits_ok = h.bits == 1 || h.bits == 2 || h.bits == 4 || h.bits == 8 || h.bits == 16 || h.bits == 24 ||
                 h.bits == 32;
  if (!bits_ok) return status::bad_data;
  if (rle && h.bits != (h.compression == BI_RLE8 ? 8u : 4u)) return status::bad_data;
  if (!rle && h.compression != BI_RGB && h.compression != BI_BITFIELDS && h.compression != BI_ALPHABITFIELDS) {
    return status::bad_data;
  }
  std::vector<uint32_t> palette;
  if (h.bits <= 8) {
    size_t entry = h.header_size == CORE_HEADER ? 3 : 4;
    size_t count = h.colours_used ? h.colours_used : size_t{1} << h.bits;
    count = std::min(count, size_t{256});
    size_t offset = u32(data + 10);
    // The palette ends where the pixels start, and within the file.
    size_t end = offset > palette_at ? std::min(offset, size) : size;
    if (palette_at > end) return status::bad_data;
    count = std::min(count, (end - palette_at) / entry);
    for (size_t i = 0; i < count; ++i) {
      const uint8_t* e = data + palette_at + entry * i;
      palette.push_back(0xFF000000u | uint32_t{e[2]} << 16 | uint32_t{e[1]} << 8 | e[0]);
    }
  }
  status made = out.allocate(h.width, h.height);
  if (made != status::ok) return made;
  size_t offset = u32(data + 10);
  bool read = rle ? read_rle(in, h, offset, palette, out) : read_rows(in, h, offset, palette, out);
  return read ? status::ok : status::bad_data;
}

status encode_bmp(const view& image, byte_buffer& out) {
  uint64_t pixel_bytes = static_cast<uint64_t>(image.width) * image.height * 4;
  uint64_t offset = FILE_HEADER + V5_HEADER;
  if (offset + pixel_bytes > UINT32_MAX) return status::no_memory;
  out.truncate(0);
  uint8_t* at = out.extend(static_cast<size_t>(offset + pixel_bytes));
  if (!at) return status::no_memory;
  *at++ = 'B';
  *at++ = 'M';
  put32(at, static_cast<uint32_t>(offset + pixel_bytes));
  put32(at, 0);
  put32(at, static_cast<uint32_t>(offset));
  put32(at, V5_HEADER);
  put32(at, static_cast<uint32_t>(image.width));
  put32(at, static_cast<uint32_t>(image.height));  // bottom-up
  put16(at, 1);                                    // planes
  put16(at, 32);                                   // bits per pixel
  put32(at, BI_BITFIELDS);
  put32(at, static_cast<uint32_t>(pixel_bytes));
  put32(at, 2835);  // 72 dots per inch, in pixels per metre
  put32(at, 2835);
  put32(at, 0);  // colours used
  put32(at, 0);  // colours important
  put32(at, 0x00FF0000);
  put32(at, 0x0000FF00);
  put32(at, 0x000000FF);
  put32(at, 0xFF000000);
  put32(at, 0x73524742);                               // colour space "sRGB"
  for (int i = 0; i < 9 + 3; ++i) put32(at, 0);        // end points and gamma, unused for sRGB
  put32(at, 4);                                        // intent: images
  for (int i = 0; i < 3; ++i) put32(at, 0);            // profile data, size, reserved
  for (int64_t y = image.height - 1; y >= 0; --y) {
    const auto* row = reinterpret_cast<const uint8_t*>(image.pixels + y * image.width);
    std::memcpy(at, row, static_cast<size_t>(image.width) * 4);
    at += static_cast<size_t>(image.width) * 4;
  }
  return status::ok;
}

}  // namespace ixo::images
