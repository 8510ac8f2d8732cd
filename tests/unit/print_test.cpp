#include <gtest/gtest.h>

#include "startup/system/print.hpp"
#include "startup/system/print_hooks.hpp"
#include "support/child.hpp"

namespace ixo::print {
namespace {

int pauses = 0, resumes = 0;

TEST(typed_print, items_print_by_type_with_the_separator_rule) {
  auto r = test::run_child([] {
    print_hooks::set_output_hooks([] { ++pauses; }, [] { ++resumes; });
    prin_typed_list({item::c_string("a"), item::int32(1), item::c_string("b ")}, true);
    prin_typed_list({item::c_string("x\n"), item::logic(true), item::logic(false)}, true);
    print_typed_line({item::hex(0xBEEF), item::byte('|'), item::int32(-7), item::float64(0.1),
                      item::float32(0.1f)});
    prin_typed({item::int32(pauses), item::byte(','), item::int32(resumes)});
    _exit(0);
  });
  EXPECT_EQ(r.output, "a 1 b x\ntrue false0000BEEF|-70.10.1\n3,3");
}

}  // namespace
}  // namespace ixo::print
