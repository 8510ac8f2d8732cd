// Our GIF quantiser: an image's pixels as indices into a palette of at
// most 256 colours, by median cut when the image has more.
#pragma once
#include <cstdint>
#include <vector>

#include "platform/images/raster.hpp"

namespace ixo::images {

struct indexed {
  std::vector<uint32_t> colours;  // 0x00RRGGBB each, at most 256 (one of them the transparent slot)
  std::vector<uint8_t> indices;   // one per pixel
  int32_t transparent = -1;       // the index of the pixels whose alpha is 0, or -1
};

// Exact when the image has at most 256 colours counting "transparent" as
// one (pixels of alpha 0, whatever their colour); any other alpha counts
// as opaque.
indexed quantise(const view& image);

}  // namespace ixo::images
