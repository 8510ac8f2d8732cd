// The boot image embedded in the executable: the compact Ixobin of the
// boot library, GUI layer and console code, made at build time by
// make_boot_image from the Ixo sources (a generated source defines it).
#pragma once
#include <cstdint>

namespace ixo::boot_image {

extern const uint8_t data[];
extern const int32_t size;

}  // namespace ixo::boot_image
