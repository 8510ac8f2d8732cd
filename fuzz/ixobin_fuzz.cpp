// libFuzzer entry for the Ixobin decoder, both layouts (the flags byte of
// the data picks one): every input must decode or raise a language error,
// without a read past its end, and what it decodes must mold. Built with
// -DIXO_FUZZ=ON and clang (see README); run as
// build-fuzz/ixobin_fuzz -max_len=4096.
#include <cstddef>
#include <cstdint>

#include "fuzz/bare_runtime.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/interpreter/actions.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/ixobin/ixobin.hpp"
#include "runtime/memory/roots.hpp"
#include "startup/system/catch.hpp"
#include "runtime/memory/memory.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  ixo::fuzz::start_bare_runtime();
  using namespace ixo;
  stack::arguments = stack::bottom;
  stack::reset();
  cell target{};
  memory::root_guard keep(&target);
  block::make_at(&target, 4);
  catch_site(FILTER_FUNCTION, [&] {
    ixobin::decode(data, static_cast<int32_t>(size), &target, true);
    cell* value = stack::push(target);
    cell* buffer = stack::push(cell{});
    string::rs_make_at(buffer, 16);
    actions::mold(value, buffer, 0, 0, 0, nullptr, 1 << 16, 0);
  });
  system::clear_thrown();
  stack::arguments = stack::bottom;
  stack::reset();
  return 0;
}
