// GIF over giflib, opened when the first GIF is read or written: the
// decoder composes the first frame onto a transparent canvas of the logical
// screen's size; the encoder writes one frame with the palette of our
// quantiser (gif_quantiser.cpp).
#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/images/gif_quantiser.hpp"
#include "platform/images/raster.hpp"
#include "platform/posix/shared_library.hpp"

namespace ixo::images {

namespace {

// The giflib entry points the codec calls.
#define GIFLIB_ENTRIES(X)  \
  X(DGifOpen)              \
  X(DGifGetRecordType)     \
  X(DGifGetExtension)      \
  X(DGifGetExtensionNext)  \
  X(DGifExtensionToGCB)    \
  X(DGifGetImageDesc)      \
  X(DGifGetLine)           \
  X(DGifCloseFile)         \
  X(EGifOpen)              \
  X(EGifSetGifVersion)     \
  X(EGifPutScreenDesc)     \
  X(EGifGCBToExtension)    \
  X(EGifPutExtension)      \
  X(EGifPutImageDesc)      \
  X(EGifPutLine)           \
  X(EGifCloseFile)         \
  X(GifMakeMapObject)      \
  X(GifFreeMapObject)
IXO_LIBRARY_ENTRIES(giflib_entries, GIFLIB_ENTRIES);
static_assert(GIFLIB_MAJOR == 5 && GIFLIB_MINOR >= 1, "the header is not giflib 5.1 or later (libgif.so.7)");
platform::lazy_library<giflib_entries> giflib("libgif.so.7");

struct input {
  const uint8_t* data;
  size_t size, position;
};

int read_bytes(GifFileType* gif, GifByteType* to, int count) {
  auto* in = static_cast<input*>(gif->UserData);
  size_t n = std::min(static_cast<size_t>(count), in->size - in->position);
  std::memcpy(to, in->data + in->position, n);
  in->position += n;
  return static_cast<int>(n);
}

// The rows of a frame in the order an interlaced one stores them.
std::vector<int32_t> row_order(int32_t height, bool interlaced) {
  std::vector<int32_t> rows;
  rows.reserve(static_cast<size_t>(height));
  if (!interlaced) {
    for (int32_t y = 0; y < height; ++y) rows.push_back(y);
    return rows;
  }
  const int32_t starts[4] = {0, 4, 2, 1}, steps[4] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass) {
    for (int32_t y = starts[pass]; y < height; y += steps[pass]) rows.push_back(y);
  }
  return rows;
}

// Reads the first frame's rows onto the canvas.
status compose_frame(GifFileType* gif, int32_t transparent, raster& out) {
  if (giflib.DGifGetImageDesc(gif) != GIF_OK) return status::bad_data;
  const GifImageDesc& frame = gif->Image;
  const ColorMapObject* map = frame.ColorMap ? frame.ColorMap : gif->SColorMap;
  if (!map || frame.Width < 1 || frame.Height < 1) return status::bad_data;
  // A logical screen of size 0 takes the frame's extent.
  int64_t width = gif->SWidth ? gif->SWidth : int64_t{frame.Left} + frame.Width;
  int64_t height = gif->SHeight ? gif->SHeight : int64_t{frame.Top} + frame.Height;
  status made = out.allocate(width, height);
  if (made != status::ok) return made;
  std::vector<GifPixelType> line(static_cast<size_t>(frame.Width));
  for (int32_t y : row_order(frame.Height, frame.Interlace)) {
    if (giflib.DGifGetLine(gif, line.data(), frame.Width) != GIF_OK) return status::bad_data;
    int64_t row = int64_t{frame.Top} + y;
    if (row >= out.height) continue;
    for (int32_t x = 0; x < frame.Width; ++x) {
      int64_t column = int64_t{frame.Left} + x;
      if (column >= out.width || line[x] == transparent) continue;
      uint32_t colour = 0xFF000000u;  // an index past the palette is black
      if (line[x] < map->ColorCount) {
        const GifColorType& c = map->Colors[line[x]];
        colour |= uint32_t{c.Red} << 16 | uint32_t{c.Green} << 8 | c.Blue;
      }
      out.data[static_cast<size_t>(row * out.width + column)] = colour;
    }
  }
  return status::ok;
}

status read_first_frame(GifFileType* gif, raster& out) {
  int32_t transparent = -1;
  for (;;) {
    GifRecordType type;
    if (giflib.DGifGetRecordType(gif, &type) != GIF_OK) return status::bad_data;
    if (type == IMAGE_DESC_RECORD_TYPE) return compose_frame(gif, transparent, out);
    if (type == TERMINATE_RECORD_TYPE) return status::bad_data;
    if (type == EXTENSION_RECORD_TYPE) {
      int code;
      GifByteType* block;
      if (giflib.DGifGetExtension(gif, &code, &block) != GIF_OK) return status::bad_data;
      if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4) {
        GraphicsControlBlock control;
        if (giflib.DGifExtensionToGCB(block[0], block + 1, &control) == GIF_OK) transparent = control.TransparentColor;
      }
      while (block) {
        if (giflib.DGifGetExtensionNext(gif, &block) != GIF_OK) return status::bad_data;
      }
    }
  }
}

struct output {
  byte_buffer* bytes;
  bool full;
};

int write_bytes(GifFileType* gif, const GifByteType* from, int count) {
  auto* out = static_cast<output*>(gif->UserData);
  if (!out->bytes->append(from, static_cast<size_t>(count))) {
    out->full = true;
    return 0;
  }
  return count;
}

bool write_frame(GifFileType* gif, const view& image, const indexed& palette, ColorMapObject* map, int bits) {
  giflib.EGifSetGifVersion(gif, true);
  if (giflib.EGifPutScreenDesc(gif, image.width, image.height, bits, 0, map) != GIF_OK) return false;
  if (palette.transparent >= 0) {
    GraphicsControlBlock control{DISPOSAL_UNSPECIFIED, false, 0, palette.transparent};
    GifByteType block[4];
    size_t length = giflib.EGifGCBToExtension(&control, block);
    if (giflib.EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(length), block) != GIF_OK) return false;
  }
  if (giflib.EGifPutImageDesc(gif, 0, 0, image.width, image.height, false, nullptr) != GIF_OK) return false;
  for (int32_t y = 0; y < image.height; ++y) {
    // giflib only reads the line it is given.
    auto* line = const_cast<GifPixelType*>(&palette.indices[static_cast<size_t>(y) * image.width]);
    if (giflib.EGifPutLine(gif, line, image.width) != GIF_OK) return false;
  }
  return true;
}

}  // namespace

status decode_gif(const uint8_t* data, size_t size, raster& out) {
  if (!giflib.open()) return status::no_library;
  input in{data, size, 0};
  int error = 0;
  GifFileType* gif = giflib.DGifOpen(&in, read_bytes, &error);
  if (!gif) return error == D_GIF_ERR_NOT_ENOUGH_MEM ? status::no_memory : status::bad_data;
  status result = read_first_frame(gif, out);
  giflib.DGifCloseFile(gif, &error);
  return result;
}

status encode_gif(const view& image, byte_buffer& out) {
  if (!giflib.open()) return status::no_library;
  indexed palette = quantise(image);
  int bits = 1;
  while ((size_t{1} << bits) < palette.colours.size()) ++bits;
  ColorMapObject* map = giflib.GifMakeMapObject(1 << bits, nullptr);
  if (!map) return status::no_memory;
  for (size_t i = 0; i < palette.colours.size(); ++i) {
    uint32_t c = palette.colours[i];
    map->Colors[i] = GifColorType{static_cast<GifByteType>(c >> 16), static_cast<GifByteType>(c >> 8),
                                  static_cast<GifByteType>(c)};
  }
  out.truncate(0);
  output sink{&out, false};
  int error = 0;
  GifFileType* gif = giflib.EGifOpen(&sink, write_bytes, &error);
  if (!gif) {
    giflib.GifFreeMapObject(map);
    return status::no_memory;
  }
  bool written = write_frame(gif, image, palette, map, bits);
  if (giflib.EGifCloseFile(gif, &error) != GIF_OK) written = false;
  giflib.GifFreeMapObject(map);
  if (written) return status::ok;
  return sink.full ? status::no_memory : status::bad_data;
}

const char* library_failure_gif() { return giflib.failure(); }

}  // namespace ixo::images
