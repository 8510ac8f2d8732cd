// The clipboard of the desktop in use, reached through its helper tools
// (platform/posix/system_calls.hpp runs them): wl-paste and wl-copy under
// Wayland, else xclip (and xsel to empty it) under X11. Text travels as
// UTF-8, a file list as a text/uri-list of file:// URIs, an image as PNG.
// No desktop, no tool, or a tool that fails or outlives its time-out
// answers false.
#pragma once
#include "runtime/memory/cell.hpp"

namespace ixo::clipboard {

// What the clipboard holds, in `result`: a block of file! values when it
// offers a URI list, else a string! when it offers text, else an image!
// from PNG, JPEG, GIF or BMP bytes; none when it is empty or offers none
// of these; false when it cannot be read. Corrupt PNG, JPEG or GIF bytes
// raise access/bad-media; corrupt BMP bytes read as none.
cell* read(cell* result);

// Puts a string! (from its index), a block! of file! values (relative ones
// completed with the current folder), or an image! on the clipboard, or
// empties it for none or an image of no pixels; true when the tool took
// it. Any other value, or a block holding anything but file! values,
// raises script/invalid-arg with the value.
bool write(cell* value);

}  // namespace ixo::clipboard
