// TIFF over libtiff, opened when the first TIFF is read or written, read
// from and written to memory through TIFFClientOpenExt. The bytes read
// are handed to libtiff as a mapped file, so it takes uncompressed strips
// and tiles where they lie (its reading of unmapped uncompressed tiles
// refuses every tile whose size is not its raw buffer's). The decoder reads
// the first page through libtiff's RGBA reader, which premultiplies
// unassociated alpha; its colours are divided back so that alpha stays
// straight. The encoder writes 8-bit RGBA with unassociated alpha,
// deflate-compressed. libtiff's messages are swallowed: failure is told by
// value.
#include <tiffio.h>

#include <algorithm>
#include <cstring>

#include "platform/images/raster.hpp"
#include "platform/posix/shared_library.hpp"

namespace ixo::images {

namespace {

// The libtiff entry points the codec calls.
#define LIBTIFF_ENTRIES(X)                    \
  X(TIFFOpenOptionsAlloc)                     \
  X(TIFFOpenOptionsSetMaxSingleMemAlloc)      \
  X(TIFFOpenOptionsSetErrorHandlerExtR)       \
  X(TIFFOpenOptionsSetWarningHandlerExtR)     \
  X(TIFFOpenOptionsFree)                      \
  X(TIFFClientOpenExt)                        \
  X(TIFFClose)                                \
  X(TIFFGetField)                             \
  X(TIFFSetField)                             \
  X(TIFFRGBAImageOK)                          \
  X(TIFFReadRGBAImageOriented)                \
  X(TIFFDefaultStripSize)                     \
  X(TIFFWriteScanline)                        \
  X(TIFFWriteDirectory)
IXO_LIBRARY_ENTRIES(libtiff_entries, LIBTIFF_ENTRIES);
static_assert(TIFFLIB_MAJOR_VERSION == 4 && TIFFLIB_MINOR_VERSION >= 5, "the header is not libtiff 4.5 or later (libtiff.so.6)");
platform::lazy_library<libtiff_entries> libtiff("libtiff.so.6");

// No single allocation libtiff makes for a strip or tile may pass this.
constexpr tmsize_t MAX_LIBRARY_ALLOCATION = 256 << 20;

struct memory_file {
  const uint8_t* data;        // reading
  byte_buffer* out;           // writing
  size_t size, position;
  bool full = false;
};

tmsize_t read_bytes(thandle_t handle, void* to, tmsize_t count) {
  auto* f = static_cast<memory_file*>(handle);
  if (count < 0 || f->position >= f->size) return 0;
  size_t n = std::min(static_cast<size_t>(count), f->size - f->position);
  std::memcpy(to, (f->out ? f->out->data() : f->data) + f->position, n);
  f->position += n;
  return static_cast<tmsize_t>(n);
}

tmsize_t write_bytes(thandle_t handle, void* from, tmsize_t count) {
  auto* f = static_cast<memory_file*>(handle);
  if (!f->out || count < 0) return 0;
  size_t end = f->position + static_cast<size_t>(count);
  if (end > f->out->size()) {
    // A seek past the end leaves a gap, which reads as zeros.
    size_t old = f->out->size();
    if (!f->out->extend(end - old)) {
      f->full = true;
      return 0;
    }
    if (f->position > old) std::memset(f->out->data() + old, 0, f->position - old);
  }
  std::memcpy(f->out->data() + f->position, from, static_cast<size_t>(count));
  f->position = end;
  f->size = f->out->size();
  return count;
}

toff_t seek(thandle_t handle, toff_t offset, int whence) {
  auto* f = static_cast<memory_file*>(handle);
  uint64_t base = whence == SEEK_CUR ? f->position : whence == SEEK_END ? f->size : 0;
  uint64_t target = base + offset;
  // Reading may not move past the end; writing may, leaving a gap.
  if (!f->out && target > f->size) return static_cast<toff_t>(-1);
  f->position = static_cast<size_t>(target);
  return target;
}

int close_nothing(thandle_t) { return 0; }
toff_t size_of(thandle_t handle) { return static_cast<memory_file*>(handle)->size; }
// The bytes being read are already in memory: that is their mapping.
int map_data(thandle_t handle, void** base, toff_t* size) {
  auto* f = static_cast<memory_file*>(handle);
  if (f->out) return 0;
  *base = const_cast<uint8_t*>(f->data);
  *size = f->size;
  return 1;
}
void unmap_nothing(thandle_t, void*, toff_t) {}

int quiet(TIFF*, void*, const char*, const char*, va_list) { return 1; }

TIFF* open(memory_file& file, const char* mode) {
  TIFFOpenOptions* options = libtiff.TIFFOpenOptionsAlloc();
  if (!options) return nullptr;
  libtiff.TIFFOpenOptionsSetMaxSingleMemAlloc(options, MAX_LIBRARY_ALLOCATION);
  libtiff.TIFFOpenOptionsSetErrorHandlerExtR(options, quiet, nullptr);
  libtiff.TIFFOpenOptionsSetWarningHandlerExtR(options, quiet, nullptr);
  TIFF* tiff = libtiff.TIFFClientOpenExt("memory", mode, &file, read_bytes, write_bytes, seek, close_nothing,
                                         size_of, map_data, unmap_nothing, options);
  libtiff.TIFFOpenOptionsFree(options);
  return tiff;
}

// Straight alpha again: colour × 255 / alpha, rounded, for partial alpha.
uint32_t unpremultiply(uint32_t abgr) {
  uint32_t a = abgr >> 24, r = abgr & 0xFF, g = abgr >> 8 & 0xFF, b = abgr >> 16 & 0xFF;
  if (a != 0 && a != 255) {
    r = std::min<uint32_t>(255, (r * 255 + a / 2) / a);
    g = std::min<uint32_t>(255, (g * 255 + a / 2) / a);
    b = std::min<uint32_t>(255, (b * 255 + a / 2) / a);
  }
  return a << 24 | r << 16 | g << 8 | b;
}

status read_page(TIFF* tiff, raster& out) {
  uint32_t width = 0, height = 0;
  if (!libtiff.TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width) ||
      !libtiff.TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height)) {
    return status::bad_data;
  }
  char message[1024];
  if (!libtiff.TIFFRGBAImageOK(tiff, message)) return status::bad_data;
  status made = out.allocate(width, height);
  if (made != status::ok) return made;
  if (!libtiff.TIFFReadRGBAImageOriented(tiff, width, height, out.data, ORIENTATION_TOPLEFT, 1)) {
    return status::bad_data;
  }
  // libtiff's words hold R in the lowest byte
  for (size_t i = 0, n = static_cast<size_t>(out.width) * out.height; i < n; ++i) out.data[i] = unpremultiply(out.data[i]);
  return status::ok;
}

bool write_page(TIFF* tiff, const view& image, std::vector<uint8_t>& row) {
  uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
  libtiff.TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(image.width));
  libtiff.TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(image.height));
  libtiff.TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
  libtiff.TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 4);
  libtiff.TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, extra);
  libtiff.TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  libtiff.TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  libtiff.TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
  libtiff.TIFFSetField(tiff, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
  libtiff.TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, libtiff.TIFFDefaultStripSize(tiff, 0));
  row.resize(static_cast<size_t>(image.width) * 4);
  for (int32_t y = 0; y < image.height; ++y) {
    const uint32_t* from = image.pixels + static_cast<size_t>(y) * image.width;
    for (int32_t x = 0; x < image.width; ++x) {
      uint32_t p = from[x];
      row[4 * x] = static_cast<uint8_t>(p >> 16);
      row[4 * x + 1] = static_cast<uint8_t>(p >> 8);
      row[4 * x + 2] = static_cast<uint8_t>(p);
      row[4 * x + 3] = static_cast<uint8_t>(p >> 24);
    }
    if (libtiff.TIFFWriteScanline(tiff, row.data(), static_cast<uint32_t>(y), 0) < 0) return false;
  }
  return libtiff.TIFFWriteDirectory(tiff) != 0;
}

}  // namespace

status decode_tiff(const uint8_t* data, size_t size, raster& out) {
  if (!libtiff.open()) return status::no_library;
  memory_file file{data, nullptr, size, 0};
  TIFF* tiff = open(file, "r");
  if (!tiff) return status::bad_data;
  status result = read_page(tiff, out);
  libtiff.TIFFClose(tiff);
  return result;
}

status encode_tiff(const view& image, byte_buffer& out) {
  if (!libtiff.open()) return status::no_library;
  out.truncate(0);
  memory_file file{nullptr, &out, 0, 0};
  TIFF* tiff = open(file, "wm");
  if (!tiff) return status::no_memory;
  std::vector<uint8_t> row;
  bool written = write_page(tiff, image, row);
  libtiff.TIFFClose(tiff);  // writes out what is pending
  if (written && !file.full) return status::ok;
  return file.full ? status::no_memory : status::bad_data;
}

const char* library_failure_tiff() { return libtiff.failure(); }

}  // namespace ixo::images
