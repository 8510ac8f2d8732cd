// Non-local exits and what stops them: try (slot 70), break, continue,
// exit, return, throw and catch (77 to 82), extend (83) and apply (107).
// break, continue, exit, return and throw never return: the stacks are
// positioned for the frame that takes them (a loop, a function body, a
// catch), or an error of the throw category is raised where there is none.
#pragma once
#include <cstdint>

namespace ixo::natives {

// /all /keep
void try_(const int32_t* refinements);
// /return value
void break_(const int32_t* refinements);
void continue_(const int32_t* refinements);
void exit_(const int32_t* refinements);
void return_(const int32_t* refinements);
// /name word
void throw_(const int32_t* refinements);
// /name word
void catch_(const int32_t* refinements);
// /case
void extend(const int32_t* refinements);
// /all /safer
void apply(const int32_t* refinements);

}  // namespace ixo::natives
