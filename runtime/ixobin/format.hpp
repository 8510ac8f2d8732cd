// The Ixobin container and record constants that the writer and the reader
// share, and the rule of which datatypes have a record.
//
// Container: "IXOBIN", a version byte (the writers put 2, the reader does
// not look at it), a flags byte; then in the standard layout the record
// count and payload length as u32 LE (16 bytes in all), in the compact one
// as varints; then, when flagged, the symbol table; then the records.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::ixobin {

constexpr uint8_t MAGIC[6] = {'I', 'X', 'O', 'B', 'I', 'N'};
constexpr uint8_t VERSION = 2;

// Flags byte.
constexpr uint8_t FLAG_COMPACT = 1;
constexpr uint8_t FLAG_COMPRESSED = 2;
constexpr uint8_t FLAG_SYMBOLS = 4;

// Standard layout: bits of a record's header word above the datatype id.
constexpr uint32_t STD_UNIT_SHIFT = 8;       // series unit; tuple length
constexpr uint32_t STD_WRAPPED_SHIFT = 16;   // op!: the wrapped datatype
constexpr uint32_t STD_REFERENCE = 1u << 19;
constexpr uint32_t STD_NEGATIVE = 1u << 22;  // money!
constexpr uint32_t STD_COMPLEMENT = 1u << 23;  // bitset!
constexpr uint32_t STD_HANDLERS = 1u << 24;  // object!: change-handler dwords follow
constexpr uint32_t STD_GLOBAL = 1u << 25;    // word family: bound in the global context
constexpr uint32_t STD_KIND_SHIFT = 26;      // context record: kind in bits 26-27
constexpr uint32_t STD_SELF = 1u << 28;
constexpr uint32_t STD_STACK = 1u << 29;
constexpr uint32_t STD_VALUES = 1u << 30;
constexpr uint32_t STD_NEW_LINE = 1u << 31;
constexpr uint32_t STD_PATH = 255;           // reference record: length, then the path

// Compact layout: prefixes, tags and the header byte.
constexpr uint8_t PREFIX_NEW_LINE = 0xC0;
constexpr uint8_t PREFIX_REFERENCE = 0xC1;
constexpr uint8_t TAG_SMALL_INTEGER = 0x80;  // 0x80-0xBF: the integers 0..63
constexpr uint8_t TAG_TRUE = 0xC2;
constexpr uint8_t TAG_FALSE = 0xC3;
constexpr uint8_t TAG_COPY = 0xFF;           // a copy of the cell a path leads to
constexpr uint8_t HEADER_F = 0x40;
constexpr uint8_t HEADER_LONG_ID = 63;       // the id follows as a varint
// Compact context flags byte.
constexpr uint8_t CTX_KIND = 3;
constexpr uint8_t CTX_STACK = 4;
constexpr uint8_t CTX_SELF = 8;
constexpr uint8_t CTX_VALUES = 16;

// Reference paths hold 1..65536 indexes.
constexpr int32_t MAX_PATH = 65536;
// Records nest at most this deep: the writer refuses deeper values, the
// reader deeper data, so that neither runs off the machine stack.
constexpr int32_t MAX_DEPTH = 1024;

// Whether the datatype has a record. triple!, handle!, port! and event!
// have none, and neither do the runtime's internal symbol! and context!
// met as values.
inline bool has_record_q(uint32_t type) {
  switch (type) {
    case TYPE_SYMBOL: case TYPE_CONTEXT: case TYPE_TRIPLE: case TYPE_SERIES: case TYPE_HANDLE:
    case TYPE_PORT: case TYPE_EVENT:
      return false;
    default:
      return type >= TYPE_DATATYPE && type <= TYPE_IMAGE;
  }
}

inline bool word_type_q(uint32_t type) { return type >= TYPE_WORD && type <= TYPE_REFINEMENT; }

}  // namespace ixo::ixobin
