// The file services behind file!'s read, write, delete, query and rename,
// the native size? and checksum, and the routines exists?, create-dir and
// write-stdout: where language values meet the file system. Paths reach
// the system in their OS form (file::to_OS_path); a path that cannot be
// handed over whole (it holds a NUL) is a file that cannot be opened.
//
// Text read from files loses a leading byte-order mark and has CR LF and
// lone CR turned into LF; text is written as it stands, lines ending with
// LF. The functions that answer a value push it on the value stack.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "runtime/memory/cell.hpp"

namespace ixo::simple_io {

// Fills c with a string of bytes that come from the system (file names,
// arguments, the environment): UTF-8, where each invalid sequence becomes
// U+FFFD instead of an error. c must not move while it is filled.
cell* load_os_text(const char* bytes, size_t length, cell* c);

// Fills c with a block of the lines of UTF-8 bytes: split at LF, one CR
// before the LF dropped; text after the last LF is the last line, and no
// bytes give no line. c must not move while it is filled.
cell* load_lines(const uint8_t* data, int32_t size, cell* c);

// The bytes that `write` puts in a file for a value: a string as UTF-8
// (its first `part` characters when part > 0), a binary as it is, anything
// else molded.
std::string value_to_bytes(cell* value, int32_t part);

// Raises access/cannot-write with the file (none for standard output) and
// the system's text for the errno `reason`.
[[noreturn]] void cannot_write(const cell* file, int reason);

// The OS form of a file! value; false when it holds a NUL.
bool os_path_of(cell* file, std::string& path);

// Whether the path names a directory by its spelling: it ends in "/", or
// is "." or "..", or ends in "/." or "/..".
bool dir_path_q(cell* file);

// read of file!: a directory path lists the directory, anything else reads
// the file whole as a string!, a binary! (binary) or a block of strings
// (lines; an empty file or part 0 still gives the empty string). part and
// seek are refinement argument cells (absent when not above the argument
// base): at most part bytes, from byte seek. A file
// that cannot be opened or read raises access/cannot-open with the file.
cell* read(cell* file, cell* part, cell* seek, bool binary, bool lines);

// The entries of a directory as file! values, folders ending in "/",
// never "." or "..": access/cannot-open when it cannot be listed.
cell* read_dir(cell* file);

// write of file!, and of write-stdout when `file` is null: writes the
// value (a string's UTF-8, a binary's bytes, else the value molded) from
// its index, at most part characters or bytes; with lines and a block each
// value of the block as a line, with lines and another value the value
// and a line end. append adds at the end, seek writes from byte seek over
// what is there; otherwise the file is replaced. A negative part writes
// nothing and answers -1. A file that cannot be opened raises
// access/cannot-open with the file; a write the system does not take whole
// (a full disk, the file-size limit) raises access/cannot-write with the
// file and the system's reason.
// Answers the bytes written.
int32_t write(cell* file, cell* value, cell* part, cell* seek, bool binary, bool append, bool lines);

// delete of file!: removes a file, or an empty directory named as one
// (dir_path_q); false when nothing was removed.
bool delete_file(cell* file);

// query of file!: pushes the file's last modification as a UTC date!, or
// none when it does not exist (or a path spelled as a directory names a
// file).
cell* query(cell* file);

// rename of file!: false when it fails, also when `to` exists (both files
// are kept).
bool rename(cell* from, cell* to);

}  // namespace ixo::simple_io
