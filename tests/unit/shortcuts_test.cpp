#include <gtest/gtest.h>

#include "runtime/datatypes/context.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/interpreter/shortcuts.hpp"
#include "support/booted.hpp"

namespace ixo {
namespace {

// An operator's shortcut must not allocate: it takes the operator only
// when the record of its native or action can be made from a built call
// spec. Right after start-up that holds for every operator of the boot
// code, so an operator's first use takes the route of its later ones.
TEST(shortcuts, the_boot_operators_have_their_records_from_the_first_use) {
  test::start_booted_runtime();
  for (const char* name : {"+", "-", "*", "<", "=", ">="}) {
    SCOPED_TRACE(name);
    const cell* value = context::get_global(symbol::make(name));
    ASSERT_EQ(TYPE_OF(value), TYPE_OP);
    interpreter::op_plan plan = interpreter::op_plan_of_op(value);
    EXPECT_TRUE(plan.binary);
    EXPECT_GE(plan.code, 0);
  }
}

}  // namespace
}  // namespace ixo
