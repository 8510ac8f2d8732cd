// JPEG over libjpeg-turbo, opened when the first JPEG is read or written.
// Its errors end in error_exit, which jumps back to the setjmp of
// read_scanlines or write_scanlines; those frames hold nothing that needs
// destroying, the structures live in their callers.
#include <cstdio>  // jpeglib.h needs FILE and size_t first

#include <jpeglib.h>
#include <jerror.h>

#include <algorithm>
#include <csetjmp>

#include "platform/images/raster.hpp"
#include "platform/posix/shared_library.hpp"

namespace ixo::images {

namespace {

// The libjpeg entry points the codec calls (jpeg_create_decompress and
// jpeg_create_compress are macros over the first two).
#define LIBJPEG_ENTRIES(X)   \
  X(jpeg_CreateDecompress)   \
  X(jpeg_CreateCompress)     \
  X(jpeg_destroy_decompress) \
  X(jpeg_destroy_compress)   \
  X(jpeg_std_error)          \
  X(jpeg_mem_src)            \
  X(jpeg_read_header)        \
  X(jpeg_start_decompress)   \
  X(jpeg_read_scanlines)     \
  X(jpeg_finish_decompress)  \
  X(jpeg_set_defaults)       \
  X(jpeg_set_quality)        \
  X(jpeg_start_compress)     \
  X(jpeg_write_scanlines)    \
  X(jpeg_finish_compress)
IXO_LIBRARY_ENTRIES(libjpeg_entries, LIBJPEG_ENTRIES);
static_assert(JPEG_LIB_VERSION == 62, "the header is not libjpeg 6.2 (libjpeg.so.62)");
platform::lazy_library<libjpeg_entries> libjpeg("libjpeg.so.62");

constexpr int QUALITY = 90;

struct failure {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

[[noreturn]] void on_error(j_common_ptr info) { std::longjmp(reinterpret_cast<failure*>(info->err)->jump, 1); }
void on_message(j_common_ptr) {}

// Warnings pass, but data that ends before the image does is a cut file,
// not an image: libjpeg would pad it out.
void on_warning(j_common_ptr info, int level) {
  if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF) on_error(info);
}

void quiet_errors(failure& errors) {
  libjpeg.jpeg_std_error(&errors.manager);
  errors.manager.error_exit = on_error;
  errors.manager.output_message = on_message;
  errors.manager.emit_message = on_warning;
}

// Adobe CMYK (stored inverted, as Photoshop writes it): R = C·K/255 and
// likewise G and B, rounded.
void cmyk_to_pixels(const uint8_t* cmyk, uint32_t* to, int32_t width) {
  for (int32_t x = 0; x < width; ++x, cmyk += 4) {
    uint32_t k = cmyk[3];
    uint32_t r = (cmyk[0] * k + 127) / 255, g = (cmyk[1] * k + 127) / 255, b = (cmyk[2] * k + 127) / 255;
    to[x] = 0xFF000000u | r << 16 | g << 8 | b;
  }
}

// The structures' creation fails only when memory runs out.
bool create(jpeg_decompress_struct& info, failure& errors) {
  if (setjmp(errors.jump)) return false;
  libjpeg.jpeg_CreateDecompress(&info, JPEG_LIB_VERSION, sizeof info);
  return true;
}

bool create(jpeg_compress_struct& info, failure& errors) {
  if (setjmp(errors.jump)) return false;
  libjpeg.jpeg_CreateCompress(&info, JPEG_LIB_VERSION, sizeof info);
  return true;
}

status decode_started(jpeg_decompress_struct& info, failure& errors, const uint8_t* data, size_t size, raster& out,
                      std::vector<uint8_t>& row) {
  if (setjmp(errors.jump)) return status::bad_data;
  libjpeg.jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
  if (libjpeg.jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) return status::bad_data;
  bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
  info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA;
  status result = out.allocate(info.image_width, info.image_height, false);  // every line is written
  if (result != status::ok) return result;
  libjpeg.jpeg_start_decompress(&info);
  if (cmyk) row.resize(size_t{info.output_width} * 4);
  while (info.output_scanline < info.output_height) {
    uint32_t* target = &out.data[size_t{info.output_scanline} * info.output_width];
    JSAMPROW line = cmyk ? row.data() : reinterpret_cast<JSAMPROW>(target);
    if (libjpeg.jpeg_read_scanlines(&info, &line, 1) != 1) return status::bad_data;
    if (cmyk) cmyk_to_pixels(row.data(), target, out.width);
  }
  libjpeg.jpeg_finish_decompress(&info);
  return status::ok;
}

status read_sides(jpeg_decompress_struct& info, failure& errors, const uint8_t* data, size_t size, int64_t& width,
                  int64_t& height) {
  if (setjmp(errors.jump)) return status::bad_data;
  libjpeg.jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
  if (libjpeg.jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) return status::bad_data;
  width = info.image_width;
  height = info.image_height;
  return status::ok;
}

// The compressed bytes go straight into the encoder's byte buffer: libjpeg
// fills the room it is given, and each time it is full the buffer grows by
// as much again.
struct destination {
  jpeg_destination_mgr manager;
  byte_buffer* bytes;
  bool full;
};

constexpr size_t FIRST_ROOM = 64 << 10;

void give_room(j_compress_ptr info, size_t room) {
  auto* to = reinterpret_cast<destination*>(info->dest);
  uint8_t* at = to->bytes->extend(room);
  if (!at) {
    to->full = true;
    ERREXIT(info, JERR_OUT_OF_MEMORY);
  }
  to->manager.next_output_byte = at;
  to->manager.free_in_buffer = room;
}

void start_destination(j_compress_ptr info) { give_room(info, FIRST_ROOM); }

boolean grow_destination(j_compress_ptr info) {
  // libjpeg asks only when the room is all used.
  give_room(info, std::max(FIRST_ROOM, reinterpret_cast<destination*>(info->dest)->bytes->size()));
  return TRUE;
}

void finish_destination(j_compress_ptr info) {
  auto* to = reinterpret_cast<destination*>(info->dest);
  to->bytes->truncate(to->bytes->size() - to->manager.free_in_buffer);
}

bool encode_started(jpeg_compress_struct& info, failure& errors, const view& image) {
  if (setjmp(errors.jump)) return false;
  info.image_width = static_cast<JDIMENSION>(image.width);
  info.image_height = static_cast<JDIMENSION>(image.height);
  info.input_components = 4;
  info.in_color_space = JCS_EXT_BGRA;
  libjpeg.jpeg_set_defaults(&info);
  libjpeg.jpeg_set_quality(&info, QUALITY, TRUE);
  libjpeg.jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    // libjpeg only reads the rows it is given.
    auto line = reinterpret_cast<JSAMPROW>(const_cast<uint32_t*>(image.pixels + size_t{info.next_scanline} * image.width));
    libjpeg.jpeg_write_scanlines(&info, &line, 1);
  }
  libjpeg.jpeg_finish_compress(&info);
  return true;
}

}  // namespace

status decode_jpeg(const uint8_t* data, size_t size, raster& out) {
  if (!libjpeg.open()) return status::no_library;
  jpeg_decompress_struct info{};
  failure errors{};
  quiet_errors(errors);
  info.err = &errors.manager;
  std::vector<uint8_t> row;
  if (!create(info, errors)) return status::no_memory;
  status result = decode_started(info, errors, data, size, out, row);
  libjpeg.jpeg_destroy_decompress(&info);
  return result;
}

status size_of_jpeg(const uint8_t* data, size_t size, int64_t& width, int64_t& height) {
  if (!libjpeg.open()) return status::no_library;
  jpeg_decompress_struct info{};
  failure errors{};
  quiet_errors(errors);
  info.err = &errors.manager;
  if (!create(info, errors)) return status::no_memory;
  status result = read_sides(info, errors, data, size, width, height);
  libjpeg.jpeg_destroy_decompress(&info);
  return result;
}

status encode_jpeg(const view& image, byte_buffer& out) {
  if (!libjpeg.open()) return status::no_library;
  jpeg_compress_struct info{};
  failure errors{};
  quiet_errors(errors);
  info.err = &errors.manager;
  if (!create(info, errors)) return status::no_memory;
  out.truncate(0);
  destination to{{}, &out, false};
  to.manager.init_destination = start_destination;
  to.manager.empty_output_buffer = grow_destination;
  to.manager.term_destination = finish_destination;
  info.dest = &to.manager;
  bool written = encode_started(info, errors, image);
  libjpeg.jpeg_destroy_compress(&info);
  if (written) return status::ok;
  return to.full ? status::no_memory : status::bad_data;
}

const char* library_failure_jpeg() { return libjpeg.failure(); }

}  // namespace ixo::images
