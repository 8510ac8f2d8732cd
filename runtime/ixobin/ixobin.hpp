// Ixobin: the binary serialization of language values, in a standard
// layout (little-endian 32-bit words) and a compact one (one-byte record
// headers and LEB128 varints), both in one container: the magic "IXOBIN",
// a version byte, a flags byte, the counts, an optional symbol table and
// the records. Series, contexts and functions met twice are written once
// and referenced by the path of indexes that leads to their first record,
// so shared series stay shared and cycles survive a round trip.
//
// The boot image is compact Ixobin; start-up decodes it into the root block
// with the collector held off.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::ixobin {

// The value written whole in the standard or the compact layout, as a new
// binary! pushed on the value stack; answers the pushed cell. A value of a
// type without a record raises access/no-codec with the value; a nesting
// too deep to read back internal/too-deep.
cell* encode(const cell* value);
cell* encode_compact(const cell* value);

// Appends the values decoded from the `length` bytes at `data` to the
// block `target` (a cell no allocation moves). The bytes are copied first,
// so they may lie in a series. Corrupt data raises script/ix-invalid-record
// with the 1-based position of the failing read; a bad magic or compressed
// data that does not unpack script/invalid-data. Without `raise_errors`
// (the boot load) those two print their message and end the process with
// status 1 instead, and the literal base is set to the first appended cell.
void decode(const uint8_t* data, int32_t length, cell* target, bool raise_errors);

// Loads a boot image into the root block with no collection running.
void decode_boot_image(const uint8_t* data, int32_t length);

// The cells the boot load appended to the root block, by position.
cell* literal_cell(int32_t index);

}  // namespace ixo::ixobin
