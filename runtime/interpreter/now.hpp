// The now native: today's date and time from the platform clock, or one
// field of it.
#pragma once
#include <cstdint>

namespace ixo::natives {

// Refinement integers as natives take them: -1 when absent, else the
// argument index (0, now having no arguments). The result slot becomes the
// date, or the field a single refinement asks for; two field refinements
// raise script/bad-refines, except /time with /precise.
void now(int32_t year, int32_t month, int32_t day, int32_t time, int32_t zone, int32_t date,
         int32_t weekday, int32_t yearday, int32_t precise, int32_t utc);

}  // namespace ixo::natives
