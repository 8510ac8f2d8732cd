// The image service: image! values decoded from binaries, files and URLs
// and encoded into binaries, by the codecs of platform/images/, and
// images scaled to another size. This is where the codecs' failures
// become language errors: undecodable bytes raise access/bad-media, an
// undecodable file access/cannot-open with the file, pixels that cannot be
// held internal/no-memory.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::image_files {

// Whether the bytes from the binary's index start with a PNG, JPEG, BMP,
// GIF or TIFF signature.
bool encoded_q(const cell* bin);

// The image the bytes from the index hold, in `result`; none when they
// carry no known signature.
cell* decode_binary(const cell* bin, cell* result);
// The image a file or URL holds, whatever its suffix; its bytes are read
// as `read/binary` reads them.
cell* decode_file(const cell* source, cell* result);
// decode_binary for a binary!, decode_file for anything else.
cell* decode(const cell* source, cell* result);

// The image encoded in a format (0 BMP, 1 PNG, 2 GIF, 3 JPEG, 4 TIFF) as a
// new binary! in `result`. An image of no pixels raises access/bad-media.
cell* encode(const cell* img, cell* result, int32_t format);

// Pushes a new image! holding the image scaled to width × height by
// nearest neighbour (sides below 0 count as 0).
cell* push_scaled(const cell* img, int32_t width, int32_t height);

}  // namespace ixo::image_files
