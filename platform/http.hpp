// HTTP requests for url! values whose scheme begins with "http": the
// language side of simple-io. A request is built from values (a method
// word, the url, an optional header block and body) and performed by the
// transfer layer (platform/posix/http_transfer.hpp); the answer comes back as a
// string!, binary!, block of lines, or [status headers body].
#pragma once
#include <cstdint>
#include <string>

#include "runtime/memory/cell.hpp"

namespace ixo::simple_io {

// Performs one request and pushes its answer. `method` is a word: get,
// head and post give GET, HEAD and POST, any other word its spelling in
// upper case. `headers` (null when none was given) is a block of name and
// value pairs from its index: a name is the spelling of a word or the
// formed value, a value a string or the formed value. Only when no header
// block is given does the request carry the default Content-Type,
// Accept-Charset and User-Agent. `body` (null when none) is a string, sent
// as UTF-8, a binary, or another value sent molded; GET and HEAD never send
// one. The status is not checked. The answer is the body as a string
// (UTF-8 with CR LF and lone CR as LF), a binary, or a block of lines; with
// info, the block [status headers-map body]. A response without a body
// gives the empty value of its kind. A header name or value that would
// break the request's header lines (holding CR, LF or NUL) raises
// script/invalid-arg with it. A request that gets no response raises
// access/no-connect with the url and the reason ("timeout" for a time-out).
cell* request_http(const cell* method, cell* url, cell* headers, cell* body, bool binary, bool lines, bool info);

// The headers map of a response's header text: one "Name: value" line each
// (split at the first colon, blanks around the value trimmed), keyed by the
// name as a word; a name that occurs again maps to a block of its values
// in order. Lines without a colon, or whose name is not a header token, are
// skipped. Fills c, which must not move meanwhile.
cell* parse_http_headers(const std::string& text, cell* c);

}  // namespace ixo::simple_io
