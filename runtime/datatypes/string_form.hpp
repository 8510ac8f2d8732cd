// string!'s construction and text forms: make, to, form and mold, the
// molded form of one code point that the molds of char! and vector! share,
// and strings from UTF-8 bytes. file!, url!, tag!, email! and ref! inherit
// or call these actions.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"
#include "runtime/memory/series_buffer.hpp"

namespace ixo::string {

// make: an integer! or float! spec is a size in bytes (a float truncated, a
// negative size script/out-of-range); a binary! target goes to binary!'s
// `to`; anything else is `to`. The result is written into `proto`.
cell* make(cell* proto, cell* spec, int32_t type);
// to: a copy of a string's text from its index, the UTF-8 text of a
// binary!, the forms of a block's values, or the value's form (a
// refinement's mold for targets other than string!). none! raises
// script/bad-to-arg. The result, of type `type`, is written into `proto`.
cell* to(cell* proto, cell* spec, int32_t type);

// Appends the string from its index to `buffer` (at most `part` units when
// `arg` is given); answers `part` less the string's length from its index.
int32_t form(cell* value, cell* buffer, cell* arg, int32_t part);
// Appends the string in double quotes or braces with its escapes; with
// `arg` given (and not 0) only `part` units of it, none when part is
// negative. Answers part less the units molded and the two delimiters.
int32_t mold(cell* value, cell* buffer, int32_t only, int32_t all, int32_t flat, cell* arg,
             int32_t part, int32_t indent);

// Appends one code point in molded form: 1Eh, 80h-9Fh and, with `all`,
// everything above 7Fh as "^(hex)"; with `escape` the controls, the double
// quote and the caret as a caret and a letter, and DEL as "^~". Answers
// the buffer, which may have moved.
memory::series_buffer* append_escaped_char(memory::series_buffer* b, uint32_t cp, bool escape,
                                           bool all);

// Pushes a new string decoded from `count` bytes of UTF-8 (a leading
// byte-order mark skipped). Bytes that end in an incomplete character
// raise access/invalid-utf8 with a binary! of the undecoded bytes. The
// bytes must not lie in a series buffer: the string is allocated before
// they are decoded.
cell* from_utf8_bytes(const uint8_t* bytes, int32_t count);

}  // namespace ixo::string
