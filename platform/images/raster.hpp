// The image file codecs: decoders from encoded bytes to a raster of 32-bit
// pixels and encoders back, over libpng, libjpeg-turbo, giflib and libtiff
// (each opened when its format is first read or written), with our own BMP
// reader and writer and GIF quantiser. A pixel is the
// word A << 24 | R << 16 | G << 8 | B (bytes B, G, R, A in memory), alpha
// 255 opaque. Nothing here knows the language's values: every function
// answers failure by value, and the image service (platform/image_files.cpp)
// turns it into errors.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace ixo::images {

// Neither side of a decoded image may pass this: the image! size word
// keeps 16 bits of each.
constexpr int64_t MAX_SIDE = 65535;

enum class status {
  ok,
  bad_data,    // not an image of the format, corrupt, truncated, or a side out of range
  no_memory,   // the pixels cannot be held
  no_library,  // the format's library cannot be loaded: library_failure says why
};

struct raster {
  int32_t width = 0, height = 0;
  std::vector<uint32_t> pixels;  // the raster's own pixels, when no target is given
  uint32_t* data = nullptr;      // where the decoder writes: pixels, or the target
  // Memory of the caller's for width × height pixels, the sides set
  // beforehand (from size_of): the decoder writes there, and an image
  // whose header gives other sides is bad data.
  uint32_t* target = nullptr;

  // Makes room for width × height pixels, all 0 (transparent black) unless
  // `cleared` is false (for a decoder that writes every pixel). A side of 0
  // or above MAX_SIDE is bad data; pixels whose bytes pass 31 bits or that
  // cannot be allocated are no_memory.
  status allocate(int64_t w, int64_t h, bool cleared = true);
  // The status allocate gives these sides before it allocates anything.
  static status check(int64_t w, int64_t h);
};

// The bytes of an encoded file as an encoder writes them: a block of the C
// heap that grows at its end without clearing what it adds (realloc moves a
// big block by remapping its pages rather than copying them). Growing fails
// by value, leaving the bytes as they were, so that C libraries' callbacks
// can report it.
class byte_buffer {
 public:
  byte_buffer() = default;
  byte_buffer(const byte_buffer&) = delete;
  byte_buffer& operator=(const byte_buffer&) = delete;
  ~byte_buffer();

  uint8_t* data() { return bytes_; }
  const uint8_t* data() const { return bytes_; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

  // n more bytes at the end, holding whatever the memory held; answers
  // where they start, nullptr when memory runs out.
  uint8_t* extend(size_t n);
  bool append(const void* from, size_t n);
  // Keeps the first n bytes (n at most the size).
  void truncate(size_t n) { size_ = n; }

 private:
  uint8_t* bytes_ = nullptr;
  size_t size_ = 0, capacity_ = 0;
};

// Pixels an encoder reads: width × height words, row after row.
struct view {
  int32_t width, height;
  const uint32_t* pixels;
};

// The format codes of the encoder, and the formats a signature names.
enum format : int32_t {
  FORMAT_BMP = 0,
  FORMAT_PNG = 1,
  FORMAT_GIF = 2,
  FORMAT_JPEG = 3,
  FORMAT_TIFF = 4,
  FORMAT_NONE = -1,
};

// The format whose signature the bytes start with: PNG 89 "PNG", JPEG
// FF D8 FF, BMP "BM", GIF "GIF87a" or "GIF89a", TIFF "II" 2A 00 or
// "MM" 00 2A; FORMAT_NONE for any other bytes.
format sniff(const uint8_t* data, size_t size);

// The sides a PNG, JPEG or GIF header gives, without decoding its pixels,
// for a caller that provides the pixels' memory; bad data for other
// formats and for a header that cannot be read.
status size_of(const uint8_t* data, size_t size, int64_t& width, int64_t& height);

// Why the library of a format's codec cannot be loaded, once a codec has
// answered no_library: the loader's message, which names the library.
const char* library_failure(format f);
const char* library_failure_png();
const char* library_failure_jpeg();
const char* library_failure_gif();
const char* library_failure_tiff();

// Decodes by the signature; bytes with none are bad data.
status decode(const uint8_t* data, size_t size, raster& out);

// PNG: expanded to 8-bit RGBA, 16-bit samples cut to their high byte, no
// gamma correction, tRNS as alpha 0.
status decode_png(const uint8_t* data, size_t size, raster& out);
// JPEG: Adobe CMYK converted as R = C·K/255 (likewise G and B); no EXIF
// rotation.
status decode_jpeg(const uint8_t* data, size_t size, raster& out);
// The sides of a JPEG from its header (size_of).
status size_of_jpeg(const uint8_t* data, size_t size, int64_t& width, int64_t& height);
// GIF: the first frame composed onto a transparent canvas of the logical
// screen's size, its transparent index honoured.
status decode_gif(const uint8_t* data, size_t size, raster& out);
// TIFF: the first page through libtiff's RGBA reader, alpha made straight
// again.
status decode_tiff(const uint8_t* data, size_t size, raster& out);
// BMP: 1, 2, 4, 8, 16, 24 and 32 bits; palettes; uncompressed, bit
// fields, RLE4 and RLE8; bottom-up and top-down; OS/2, V4 and V5 headers.
status decode_bmp(const uint8_t* data, size_t size, raster& out);

// Encodes width × height pixels (both above 0) in the format of the code;
// `out` receives the file's bytes. A code outside 0 to 4 is bad data.
status encode(int32_t format, const view& image, byte_buffer& out);

// PNG of 8-bit RGBA.
status encode_png(const view& image, byte_buffer& out);
// JPEG at quality 90; alpha is dropped.
status encode_jpeg(const view& image, byte_buffer& out);
// GIF: at most 256 colours (exact when the image has no more), alpha 0
// becoming the transparent index, any other alpha opaque.
status encode_gif(const view& image, byte_buffer& out);
// TIFF of 8-bit RGBA (unassociated alpha), deflate-compressed.
status encode_tiff(const view& image, byte_buffer& out);
// BMP of 32 bits with a V5 header and an alpha mask, so alpha survives.
status encode_bmp(const view& image, byte_buffer& out);

// Nearest-neighbour scaling: every target pixel copies the source pixel
// under its centre. `to` holds width × height pixels.
void scale_nearest(const uint32_t* from, int32_t from_width, int32_t from_height, uint32_t* to, int32_t width,
                   int32_t height);

}  // namespace ixo::images
