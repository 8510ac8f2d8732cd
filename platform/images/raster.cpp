// Rasters, signatures, the dispatch of decoders and encoders by format, and
// nearest-neighbour scaling.
#include "platform/images/raster.hpp"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

namespace ixo::images {

status raster::check(int64_t w, int64_t h) {
  if (w < 1 || h < 1 || w > MAX_SIDE || h > MAX_SIDE) return status::bad_data;
  if (w * h * 4 > INT32_MAX) return status::no_memory;
  return status::ok;
}

status raster::allocate(int64_t w, int64_t h, bool cleared) {
  status s = check(w, h);
  if (s != status::ok) return s;
  if (target) {
    if (w != width || h != height) return status::bad_data;
    data = target;
    if (cleared) std::memset(data, 0, static_cast<size_t>(w * h) * 4);
    return status::ok;
  }
  try {
    pixels.assign(static_cast<size_t>(w * h), 0);
  } catch (const std::bad_alloc&) {
    return status::no_memory;
  }
  data = pixels.data();
  width = static_cast<int32_t>(w);
  height = static_cast<int32_t>(h);
  return status::ok;
}

byte_buffer::~byte_buffer() { std::free(bytes_); }

uint8_t* byte_buffer::extend(size_t n) {
  if (n > capacity_ - size_) {
    if (n > SIZE_MAX / 2 - size_) return nullptr;
    size_t capacity = std::max({size_ + n, capacity_ * 2, size_t{4096}});
    auto* grown = static_cast<uint8_t*>(std::realloc(bytes_, capacity));
    if (!grown) return nullptr;
    bytes_ = grown;
    capacity_ = capacity;
  }
  uint8_t* at = bytes_ + size_;
  size_ += n;
  return at;
}

bool byte_buffer::append(const void* from, size_t n) {
  uint8_t* at = extend(n);
  if (!at) return false;
  if (n) std::memcpy(at, from, n);
  return true;
}

status size_of(const uint8_t* data, size_t size, int64_t& width, int64_t& height) {
  switch (sniff(data, size)) {
    case FORMAT_PNG: {
      // The signature, then the IHDR chunk: length, type, width, height.
      if (size < 24 || std::memcmp(data + 12, "IHDR", 4) != 0) return status::bad_data;
      auto big_endian = [&](size_t at) {
        return int64_t{data[at]} << 24 | int64_t{data[at + 1]} << 16 | int64_t{data[at + 2]} << 8 | data[at + 3];
      };
      width = big_endian(16);
      height = big_endian(20);
      return status::ok;
    }
    case FORMAT_JPEG: return size_of_jpeg(data, size, width, height);
    case FORMAT_GIF:
      // The logical screen's sides, little-endian after the signature. A
      // side of 0 (the first frame's extent then) gives no size here.
      if (size < 10) return status::bad_data;
      width = data[6] | data[7] << 8;
      height = data[8] | data[9] << 8;
      return width && height ? status::ok : status::bad_data;
    default: return status::bad_data;
  }
}

format sniff(const uint8_t* data, size_t size) {
  auto starts = [&](const char* signature, size_t length) {
    return size >= length && std::memcmp(data, signature, length) == 0;
  };
  if (starts("\x89PNG", 4)) return FORMAT_PNG;
  if (starts("\xFF\xD8\xFF", 3)) return FORMAT_JPEG;
  if (starts("BM", 2)) return FORMAT_BMP;
  if (starts("GIF87a", 6) || starts("GIF89a", 6)) return FORMAT_GIF;
  if (starts("II\x2A\x00", 4) || starts("MM\x00\x2A", 4)) return FORMAT_TIFF;
  return FORMAT_NONE;
}

const char* library_failure(format f) {
  switch (f) {
    case FORMAT_PNG: return library_failure_png();
    case FORMAT_JPEG: return library_failure_jpeg();
    case FORMAT_GIF: return library_failure_gif();
    case FORMAT_TIFF: return library_failure_tiff();
    default: return "";
  }
}

status decode(const uint8_t* data, size_t size, raster& out) {
  switch (sniff(data, size)) {
    case FORMAT_PNG: return decode_png(data, size, out);
    case FORMAT_JPEG: return decode_jpeg(data, size, out);
    case FORMAT_BMP: return decode_bmp(data, size, out);
    case FORMAT_GIF: return decode_gif(data, size, out);
    case FORMAT_TIFF: return decode_tiff(data, size, out);
    default: return status::bad_data;
  }
}

status encode(int32_t format, const view& image, byte_buffer& out) {
  if (image.width < 1 || image.height < 1) return status::bad_data;
  try {
    switch (format) {
      case FORMAT_BMP: return encode_bmp(image, out);
      case FORMAT_PNG: return encode_png(image, out);
      case FORMAT_GIF: return encode_gif(image, out);
      case FORMAT_JPEG: return encode_jpeg(image, out);
      case FORMAT_TIFF: return encode_tiff(image, out);
      default: return status::bad_data;
    }
  } catch (const std::bad_alloc&) {
    return status::no_memory;
  }
}

void scale_nearest(const uint32_t* from, int32_t from_width, int32_t from_height, uint32_t* to, int32_t width,
                   int32_t height) {
  // Centre of target pixel x is (x + 0.5) · from / to in source pixels.
  std::vector<int32_t> columns(static_cast<size_t>(width));
  for (int64_t x = 0; x < width; ++x) columns[x] = static_cast<int32_t>((2 * x + 1) * from_width / (2 * width));
  for (int64_t y = 0; y < height; ++y) {
    const uint32_t* row = from + (2 * y + 1) * from_height / (2 * height) * from_width;
    uint32_t* target = to + y * width;
    for (int32_t x = 0; x < width; ++x) target[x] = row[columns[x]];
  }
}

}  // namespace ixo::images
