// Libraries opened on first use: a found library's table calls into it, and
// a library or entry point that is missing is answered by value with a
// message naming it, every time it is asked, never a crash.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "platform/posix/shared_library.hpp"

// Declared for its type only: no library defines it.
extern "C" int ixo_entry_nobody_defines(int);

namespace ixo::platform {
namespace {

#define LIBC_ENTRIES(X) X(getpid)
IXO_LIBRARY_ENTRIES(libc_entries, LIBC_ENTRIES);

#define MISSING_ENTRY(X) X(getpid) X(ixo_entry_nobody_defines)
IXO_LIBRARY_ENTRIES(missing_entries, MISSING_ENTRY);

TEST(shared_library, found_entries_call_the_library) {
  lazy_library<libc_entries> libc("libc.so.6");
  ASSERT_TRUE(libc.open());
  EXPECT_TRUE(libc.open());
  EXPECT_EQ(libc.getpid(), getpid());
}

TEST(shared_library, missing_library_or_entry_is_answered_with_its_name) {
  lazy_library<libc_entries> absent("libixo-absent.so.1");
  lazy_library<missing_entries> partial("libc.so.6");
  for (int attempt = 0; attempt < 2; ++attempt) {
    EXPECT_FALSE(absent.open());
    EXPECT_NE(std::string(absent.failure()).find("libixo-absent.so.1"), std::string::npos) << absent.failure();
    EXPECT_FALSE(partial.open());
    EXPECT_EQ(std::string(partial.failure()), "libc.so.6: undefined symbol: ixo_entry_nobody_defines");
  }
}

}  // namespace
}  // namespace ixo::platform
