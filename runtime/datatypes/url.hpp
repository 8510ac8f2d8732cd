// url!: a string with its own literal syntax and mold, built from a block
// of parts by make and to, and extended by path steps. file! inherits all
// of this. A url whose text starts with "http" is read and written over
// HTTP; any other, and every url opened, goes to a port of its scheme. The module also owns percent-encoding and -decoding, which the
// lexer and the dehex and enhex natives use.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::url {

// The mode of encode_byte and encode_hex that keeps only the unreserved
// characters (A-Z, a-z, 0-9 and - . _ ~); any other mode keeps every
// character a url shows as it is.
constexpr int32_t KEEP_UNRESERVED = 254;

// True for the characters below 128 that a url or file shows as they are:
// A-Z, a-z, 0-9 and @ ! # $ & ' ( ) * + , - . / : = ? _ ~.
bool url_keep_q(uint32_t cp);

// When the bytes from p (never reading at or past end) hold "%" and two
// hexadecimal digits of either case, stores their value and answers true.
bool decode_escape(const uint8_t* p, const uint8_t* end, uint8_t& byte);

// Appends to `target` the text of `s` from its index with its percent
// escapes decoded: an escape of a byte that starts no UTF-8 sequence gives
// that code point; the escapes of a whole UTF-8 sequence give its code
// point; an escape that begins an incomplete or invalid sequence stays as
// text, as does a "%" not followed by two hexadecimal digits.
void decode_hex(cell* s, cell* target);

// A byte as a url writes it: itself, or "%" and two upper-case digits.
// Bytes of 128 and above are always escaped.
struct encoded {
  char text[4];
  int32_t length;
};
encoded encode_byte(int32_t mode, uint8_t byte);

// Appends to `target` the UTF-8 bytes of `s` from its index, each through
// encode_byte.
void encode_hex(cell* s, cell* target, int32_t mode);

// dehex: a new string! in c (where no allocation moves it; it may be the
// value's own cell) holding the
// text of any string from its index with its escapes decoded. enhex: the
// same with every byte encoded, keeping only the unreserved characters of
// a string! and every character a url shows as it is of the other types.
cell* dehex(cell* value, cell* c);
cell* enhex(cell* value, cell* c);

// make and to (file! inherits them): a url! from a block!, paren! or hash!
// of parts, as scheme "://" host [":" port] ["/" path parts]; an empty
// block raises script/bad-to-arg. Any other spec, and every file!, is
// string!'s make or to.
cell* make(cell* proto, cell* spec, int32_t type);
cell* to(cell* proto, cell* spec, int32_t type);

// u/x: a new value of u's type holding u's text from its index, joined to
// the form of x by exactly one "/" (a get-word! element gives its value).
// Setting raises script/bad-path-set.
cell* eval_path(cell* value, cell* element, cell* data, cell* path, cell* parent, cell* previous,
                int32_t element_index, int32_t case_, int32_t get, int32_t last, int32_t notify);

// The port for a url: the boot library's url-parser/parse-url splits it
// into an object of parts (anything else raises script/invalid-arg with
// the url), from which make port! makes the port of its scheme; with
// `opening` the port is opened with the given refinements of open. The
// port is answered on the value stack.
cell* to_port(cell* url, bool opening, int32_t new_, int32_t read, int32_t write, int32_t seek, cell* allow);

// Registers url! (type 9) under string!.
void init();

}  // namespace ixo::url
