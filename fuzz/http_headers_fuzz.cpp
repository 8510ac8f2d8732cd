// libFuzzer entry for the parser of HTTP response headers: any bytes, as
// the header text of a response, give a map that molds, without a read past
// their end and without raising. Built with -DIXO_FUZZ=ON and clang (see
// README); run as build-fuzz/http_headers_fuzz -max_len=4096.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/bare_runtime.hpp"
#include "platform/http.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/interpreter/actions.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/memory.hpp"
#include "runtime/memory/roots.hpp"
#include "startup/system/catch.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 16) return 0;
  ixo::fuzz::start_bare_runtime();
  using namespace ixo;
  stack::arguments = stack::bottom;
  stack::reset();
  std::string text(reinterpret_cast<const char*>(data), size);
  bool raised = catch_site(FILTER_FUNCTION, [&] {
    cell* headers = stack::push_slot();
    simple_io::parse_http_headers(text, headers);
    cell* buffer = stack::push(cell{});
    string::rs_make_at(buffer, 16);
    actions::mold(headers, buffer, 0, 0, 0, nullptr, 1 << 16, 0);
  });
  if (raised) std::abort();
  stack::arguments = stack::bottom;
  stack::reset();
  return 0;
}
