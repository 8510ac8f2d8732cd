// Unicode decoding and encoding: text moves between the runtime's buffers of
// code points (units of 1 byte, Latin-1; 2 bytes, UCS-2; 4 bytes, UCS-4)
// and the byte encodings of the outside world, UTF-8 and UTF-16LE.
//
// - a table-driven UTF-8 decoder for scanning (lexer, counting, terminal
//   layout) and a strict one for loading text;
// - loaders: a first pass validates a text and finds the smallest unit that
//   holds all its code points and their number, so that the destination is
//   sized once; a second pass stores the code points;
// - encoders of single code points and exporters of runs of units;
// - the same over string buffers: loaders that fill a string's buffer,
//   widening of a buffer in place, and exporters of a string through the
//   conversion cache that its cell carries.
//
// No decoder reads outside the bytes it is given. Invalid UTF-8 (overlong
// forms and encoded surrogates included) raises access/invalid-utf8;
// invalid UTF-16LE raises script/invalid-chars; code points of 110000h or
// more raise script/invalid-char where UTF-8 is written or measured. A unit
// other than 1, 2 or 4 is runtime error 101.
#pragma once
#include <cstdint>

#include "runtime/memory/series_buffer.hpp"

namespace ixo::unicode {

// ---- Scanning decoder ------------------------------------------------------

// Decodes one UTF-8 sequence at p, reading no byte at or past end. cp gets
// the code point, or -1 for an invalid sequence or one that end cuts short.
// Answers the pointer after what was consumed: a bad lead byte alone, a bad
// continuation byte together with the bytes before it. p == end gives -1.
const uint8_t* fast_decode_utf8_char(const uint8_t* p, const uint8_t* end, int32_t& cp);

// Code points from start to end; each invalid sequence counts as one.
int32_t count_chars(const uint8_t* start, const uint8_t* end);

// The pointer after n code points from start, never past end.
const uint8_t* skip_utf8_chars(const uint8_t* start, const uint8_t* end, int32_t n);

// Sequence length announced by a lead byte: 4 when its top four bits are
// set, else 3 for the top three, 2 for the top two, else 0.
int32_t utf8_seq_length(uint8_t lead);

// ---- Strict decoder --------------------------------------------------------

// Decodes one UTF-8 sequence of the `length` bytes at p. Answers the code
// point and stores its sequence length in `length`; answers -1 (and raises
// nothing) when a valid lead byte announces more bytes than remain. Raises
// invalid-utf8 for a bad lead byte, a bad continuation byte, an overlong
// form, a surrogate or a value above 10FFFFh.
int32_t decode_utf8_char(const uint8_t* p, int32_t& length);

// The same check that raises nothing, for text that may hold anything (the
// lexer's input, the system's answers): the code point of the sequence at
// p, its byte count in `length`, reading no byte at or past end; -1 (with
// `length` 1) when no valid sequence starts at p.
int32_t checked_utf8_char(const uint8_t* p, const uint8_t* end, int32_t& length);

// ---- Encoders of one code point ----------------------------------------------

// UTF-8 bytes of a code point: 1 below 80h, 2 below 800h, 3 below 10000h,
// 4 below 110000h; invalid-char above.
int32_t utf8_size_of(uint32_t cp);

// Writes the UTF-8 sequence of cp (1-4 bytes) and answers its length;
// invalid-char for 110000h or more.
int32_t cp_to_utf8(uint32_t cp, uint8_t* dest);

// Writes only the leading bytes of the sequence of cp that fit in `room`
// and answers how many; invalid-char for 110000h or more.
int32_t cp_to_utf8_bounded(uint32_t cp, uint8_t* dest, int32_t room);

// Writes cp as UTF-16LE: 1 unit below 10000h, a surrogate pair below
// 110000h, nothing above. Answers the 16-bit units written (0, 1 or 2).
int32_t cp_to_utf16(uint32_t cp, uint8_t* dest);

// ---- Loading UTF-8 -------------------------------------------------------------

// What a UTF-8 text loads as: the bytes from `start` to `end` hold `count`
// code points, every one of which fits a unit of `unit` bytes. A leading
// byte-order mark is skipped (start 3). The bytes from `end` to the text's
// length are an incomplete last sequence, left for the next chunk.
struct utf8_load {
  int32_t start;
  int32_t end;
  int32_t count;
  int32_t unit;   // 1, 2 or 4
  bool crlf;      // CR LF becomes LF, any other CR becomes LF
};

// Validates and measures `length` bytes. An incomplete last sequence is
// left as a remainder when `remainder_allowed`, else it is invalid-utf8.
utf8_load scan_utf8(const uint8_t* bytes, int32_t length, bool crlf, bool remainder_allowed);

// Stores the code points that `load` (from scan_utf8 on the same bytes)
// describes into dest, in units of `unit` bytes (at least load.unit); dest
// has room for load.count units.
void decode_utf8(const uint8_t* bytes, const utf8_load& load, void* dest, int32_t unit);

// ---- Loading UTF-16LE ----------------------------------------------------------

// What a UTF-16LE text of `units` 16-bit units loads as: `count` code
// points fitting in `unit` bytes each.
struct utf16_load {
  int32_t units;
  int32_t count;
  int32_t unit;   // 1, 2 or 4
  bool crlf;      // every CR (000Dh) is dropped
};

// Validates and measures; bytes need no alignment. A high surrogate not
// followed by a low one, or a low surrogate not preceded by a high one,
// raises invalid-chars.
utf16_load scan_utf16(const uint8_t* bytes, int32_t units, bool crlf);

// Stores the code points that `load` describes into dest, in units of
// `unit` bytes (at least load.unit); dest has room for load.count units.
void decode_utf16(const uint8_t* bytes, const utf16_load& load, void* dest, int32_t unit);

// ---- Widening --------------------------------------------------------------------

// Rewrites `count` units of `from` bytes at data as units of `to` bytes
// (1 to 2, 1 to 4 or 2 to 4), in place: data has room for count x to bytes.
void widen_units(void* data, int32_t count, int32_t from, int32_t to);

// ---- Exporting runs of units -------------------------------------------------------

// UTF-8 bytes needed for the units from start to end.
int32_t count_utf8_bytes(const void* start, const void* end, int32_t unit);

// Room an export of `count` units to UTF-8 may need with CR LF line ends,
// a terminating NUL included: (unit + 1) x (count + 1) for units 1 and 2,
// 4 x (count + 1) for unit 4.
int32_t utf8_export_size(int32_t unit, int32_t count);

// Writes `count` units as UTF-8, with crlf a CR before each LF; answers the
// bytes written. Adds no NUL.
int32_t encode_utf8(const void* units, int32_t unit, int32_t count, bool crlf, uint8_t* dest);

// As encode_utf8 without CR LF, writing no more than `room` bytes: a code
// point that does not fit writes only its leading bytes that do.
int32_t encode_utf8_bounded(const void* units, int32_t unit, int32_t count, uint8_t* dest,
                            int32_t room);

// Room an export of `count` units to UTF-16LE may need, two NUL bytes
// included: 2 x count + 2, plus 2 for every LF and every code point of
// 10000h or more.
int32_t utf16_export_size(const void* units, int32_t unit, int32_t count);

// Writes `count` units as UTF-16LE, with crlf a CR before each LF; answers
// the 16-bit units written, or -1 at a code point above 10FFFFh (the export
// is abandoned). Adds no NUL.
int32_t encode_utf16(const void* units, int32_t unit, int32_t count, bool crlf, uint8_t* dest);

// ---- String buffers ------------------------------------------------------------------
//
// Any of these may allocate, and so move every buffer. Bytes handed to a
// loader must lie outside the series buffers, or in a series that no
// allocation moves; a loader given a target with room for the text fills
// it without allocating. A string cell whose cache an export fills (and
// the cell a UTF-16 load reads its cache through) must lie where no
// allocation moves it: on the value stack, in a registered root, in a
// local.

// Widen a string buffer in place, keeping its node: expanded when it lacks
// room for the wider units, which are rewritten from the last to the first.
// Cell indexes stay valid: they count units, not bytes. Answer the buffer.
memory::series_buffer* latin1_to_ucs2(memory::series_buffer* b);
memory::series_buffer* latin1_to_ucs4(memory::series_buffer* b);
memory::series_buffer* ucs2_to_ucs4(memory::series_buffer* b);

// Loads `length` bytes of UTF-8 into the string buffer of node `target`,
// from its head, replacing its content and keeping its unit unless the text
// needs a wider one; or, when target is 0, into a new buffer of the
// narrowest unit that holds the text. A leading byte-order mark is skipped;
// with crlf, CR LF becomes LF and any other CR becomes LF. An incomplete
// last sequence is left undecoded and its byte count stored in *remainder;
// with no remainder slot it raises invalid-utf8, as invalid UTF-8 always
// does. Answers the buffer's node.
uint32_t load_utf8(const uint8_t* bytes, int32_t length, uint32_t target, int32_t* remainder,
                   bool crlf);
// load_utf8 into the buffer of string `s`.
uint32_t load_utf8_into(const uint8_t* bytes, int32_t length, const cell* s, int32_t* remainder);
// load_utf8 into a new buffer, with no remainder slot.
uint32_t load_utf8_new(const uint8_t* bytes, int32_t length);

// Loads `units` 16-bit units of UTF-16LE (from the conversion cache of `s`
// when bytes is null) into the buffer of string `s`, from its head and in
// the narrowest unit that holds the text, or into a new buffer when s is
// null. With crlf every CR is dropped. An unpaired surrogate raises
// invalid-chars. Answers the buffer's node.
uint32_t load_utf16(const uint8_t* bytes, int32_t units, cell* s, bool crlf);

// The conversion cache of string `s`: a byte series in payload word 3 of
// its cell, made on first use and moved to a larger buffer (its content
// not kept) when smaller than `bytes`. Answers the address of its data,
// valid until the next allocation or export through the same cell.
uint8_t* get_cache(cell* s, int32_t bytes);

// Exports string `s` from its index to UTF-8 in its cache, at most `length`
// units of it unless length is negative, with crlf a CR before each LF,
// NUL-terminated. `length` receives the byte count without the NUL.
// Answers the cache's node.
uint32_t to_utf8_buffer(cell* s, int32_t& length, bool crlf);
// The same, answering the address of the bytes.
const char* to_utf8_crlf(cell* s, int32_t& length, bool crlf);
const char* to_utf8(cell* s, int32_t& length);

// Writes string `s` from its index as UTF-8 into dest, at most `part`
// units unless part is negative, with a NUL after it when asked; answers
// the bytes written without the NUL.
int32_t write_utf8(const cell* s, uint8_t* dest, int32_t part, bool terminate);
// The same within `room` bytes, NUL included: a code point that does not
// fit writes only its leading bytes that do. A part of 0 or less means the
// whole string.
int32_t to_utf8_bounded(const cell* s, uint8_t* dest, int32_t room, int32_t part, bool terminate);

// Exports string `s` from its index to UTF-16LE in its cache, at most
// `length` units unless length is negative, with crlf a CR before each LF,
// ended by two NUL bytes. `length` receives the 16-bit units written
// without them. Answers the address of the text, or null (the export
// abandoned) at a code point above 10FFFFh.
const uint8_t* to_utf16_part(cell* s, int32_t& length, bool crlf);
// The whole string from its index, with CR LF line ends.
const uint8_t* to_utf16_all(cell* s);

}  // namespace ixo::unicode
