// The transcode native: UTF-8 text (a binary!, or a string! encoded as
// UTF-8) to values through the lexer.
#pragma once
#include <cstdint>

namespace ixo::natives {

// src [binary! string!]; refinements in order /next, /one, /prescan,
// /scan, /part length, /into dst, /trace callback.
void transcode(const int32_t* refinements);

}  // namespace ixo::natives
