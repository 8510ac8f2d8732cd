// The function makers func, function, does and has (slots 14 to 17) and
// do (slot 20). The makers validate the spec and answer a new function!
// whose body is a deep copy bound to its own context. do evaluates a value
// by its type: a block (or paren, hash) as code, a string loaded into a
// block first, a file or URL through the boot library's do-file, an error
// raised again, any other value as one expression.
#pragma once
#include <cstdint>

namespace ixo::natives {

void func(const int32_t* refinements);
// /extern
void function(const int32_t* refinements);
void does(const int32_t* refinements);
void has(const int32_t* refinements);
// /expand /args arg /next position /trace callback
void do_(const int32_t* refinements);

}  // namespace ixo::natives
