// PNG over libpng, opened when the first PNG is read or written. libpng
// reports errors by longjmp: every call that may raise one runs inside
// read_rows or write_rows, whose frames hold nothing that needs
// destroying; the structures and buffers live in the callers.
#include <png.h>

#include <climits>
#include <csetjmp>
#include <cstring>

#include "platform/images/raster.hpp"
#include "platform/posix/shared_library.hpp"

namespace ixo::images {

namespace {

// The libpng entry points the codec calls.
#define LIBPNG_ENTRIES(X)             \
  X(png_create_read_struct)           \
  X(png_create_write_struct)          \
  X(png_create_info_struct)           \
  X(png_destroy_read_struct)          \
  X(png_destroy_write_struct)         \
  X(png_set_read_fn)                  \
  X(png_set_write_fn)                 \
  X(png_get_io_ptr)                   \
  X(png_error)                        \
  X(png_set_longjmp_fn)               \
  X(png_set_user_limits)              \
  X(png_read_info)                    \
  X(png_get_image_width)              \
  X(png_get_image_height)             \
  X(png_get_bit_depth)                \
  X(png_get_color_type)               \
  X(png_get_valid)                    \
  X(png_get_rowbytes)                 \
  X(png_set_palette_to_rgb)           \
  X(png_set_expand_gray_1_2_4_to_8)   \
  X(png_set_tRNS_to_alpha)            \
  X(png_set_strip_16)                 \
  X(png_set_gray_to_rgb)              \
  X(png_set_filler)                   \
  X(png_set_bgr)                      \
  X(png_set_interlace_handling)       \
  X(png_read_update_info)             \
  X(png_read_image)                   \
  X(png_read_end)                     \
  X(png_set_IHDR)                     \
  X(png_write_info)                   \
  X(png_write_image)                  \
  X(png_write_end)
IXO_LIBRARY_ENTRIES(libpng_entries, LIBPNG_ENTRIES);
static_assert(PNG_LIBPNG_VER_SONUM == 16, "the header is not libpng 1.6 (libpng16.so.16)");
platform::lazy_library<libpng_entries> libpng("libpng16.so.16");

// What png_jmpbuf gives: the jump buffer libpng's errors land in.
std::jmp_buf& jump_buffer(png_structp png) {
  return *libpng.png_set_longjmp_fn(png, std::longjmp, sizeof(std::jmp_buf));
}

struct input {
  const uint8_t* data;
  size_t size, position;
};

[[noreturn]] void on_error(png_structp png, png_const_charp) { std::longjmp(jump_buffer(png), 1); }
void on_warning(png_structp, png_const_charp) {}

void read_bytes(png_structp png, png_bytep to, png_size_t count) {
  auto* in = static_cast<input*>(libpng.png_get_io_ptr(png));
  if (count > in->size - in->position) libpng.png_error(png, "truncated");
  std::memcpy(to, in->data + in->position, count);
  in->position += count;
}

// The header, the transformations to 8-bit BGRA, then the rows into `out`.
status read_rows(png_structp png, png_infop info, raster& out, std::vector<png_bytep>& rows) {
  if (setjmp(jump_buffer(png))) return status::bad_data;
  libpng.png_set_user_limits(png, MAX_SIDE, MAX_SIDE);
  libpng.png_read_info(png, info);
  png_uint_32 width = libpng.png_get_image_width(png, info), height = libpng.png_get_image_height(png, info);
  int depth = libpng.png_get_bit_depth(png, info), colour = libpng.png_get_color_type(png, info);
  if (colour == PNG_COLOR_TYPE_PALETTE) libpng.png_set_palette_to_rgb(png);
  if (colour == PNG_COLOR_TYPE_GRAY && depth < 8) libpng.png_set_expand_gray_1_2_4_to_8(png);
  if (libpng.png_get_valid(png, info, PNG_INFO_tRNS)) libpng.png_set_tRNS_to_alpha(png);
  if (depth == 16) libpng.png_set_strip_16(png);
  if (colour == PNG_COLOR_TYPE_GRAY || colour == PNG_COLOR_TYPE_GRAY_ALPHA) libpng.png_set_gray_to_rgb(png);
  libpng.png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
  libpng.png_set_bgr(png);
  libpng.png_set_interlace_handling(png);
  libpng.png_read_update_info(png, info);
  if (libpng.png_get_rowbytes(png, info) != static_cast<size_t>(width) * 4) return status::bad_data;
  status result = out.allocate(width, height, false);  // every row is written
  if (result != status::ok) return result;
  rows.resize(height);
  for (png_uint_32 y = 0; y < height; ++y) rows[y] = reinterpret_cast<png_bytep>(&out.data[size_t{y} * width]);
  libpng.png_read_image(png, rows.data());
  libpng.png_read_end(png, nullptr);  // a file cut after its pixels is still cut
  return status::ok;
}

struct output {
  byte_buffer* bytes;
  bool full;
};

void write_bytes(png_structp png, png_bytep from, png_size_t count) {
  auto* out = static_cast<output*>(libpng.png_get_io_ptr(png));
  if (!out->bytes->append(from, count)) {
    out->full = true;
    libpng.png_error(png, "out of memory");
  }
}

void flush_nothing(png_structp) {}

bool write_rows(png_structp png, png_infop info, const view& image, std::vector<png_bytep>& rows) {
  if (setjmp(jump_buffer(png))) return false;
  libpng.png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height), 8,
               PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  libpng.png_write_info(png, info);
  libpng.png_set_bgr(png);
  libpng.png_write_image(png, rows.data());
  libpng.png_write_end(png, nullptr);
  return true;
}

}  // namespace

status decode_png(const uint8_t* data, size_t size, raster& out) {
  if (!libpng.open()) return status::no_library;
  png_structp png = libpng.png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, on_error, on_warning);
  if (!png) return status::no_memory;
  png_infop info = libpng.png_create_info_struct(png);
  if (!info) {
    libpng.png_destroy_read_struct(&png, nullptr, nullptr);
    return status::no_memory;
  }
  input in{data, size, 0};
  libpng.png_set_read_fn(png, &in, read_bytes);
  std::vector<png_bytep> rows;
  status result = read_rows(png, info, out, rows);
  libpng.png_destroy_read_struct(&png, &info, nullptr);
  return result;
}

status encode_png(const view& image, byte_buffer& out) {
  if (!libpng.open()) return status::no_library;
  png_structp png = libpng.png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, on_error, on_warning);
  if (!png) return status::no_memory;
  png_infop info = libpng.png_create_info_struct(png);
  if (!info) {
    libpng.png_destroy_write_struct(&png, nullptr);
    return status::no_memory;
  }
  out.truncate(0);
  output sink{&out, false};
  libpng.png_set_write_fn(png, &sink, write_bytes, flush_nothing);
  std::vector<png_bytep> rows(static_cast<size_t>(image.height));
  for (size_t y = 0; y < rows.size(); ++y) {
    // libpng only reads the rows it is given.
    rows[y] = reinterpret_cast<png_bytep>(const_cast<uint32_t*>(image.pixels + y * image.width));
  }
  bool written = write_rows(png, info, image, rows);
  libpng.png_destroy_write_struct(&png, &info);
  if (written) return status::ok;
  return sink.full ? status::no_memory : status::bad_data;
}

const char* library_failure_png() { return libpng.failure(); }

}  // namespace ixo::images
