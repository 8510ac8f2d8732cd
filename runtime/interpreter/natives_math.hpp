// The math natives: sign tests, max and min, shift, the trigonometry in
// degrees (radians with /radians), logarithms, exp and square-root. Each
// takes its arguments at the argument base and one integer per refinement
// (-1 when not used, else the argument index where its arguments begin);
// the result is left in the result slot. Domain errors of the float
// functions give NaN or infinities, never language errors.
#pragma once
#include <cstdint>

namespace ixo::natives {

void negative_q(const int32_t* refinements);   // number < 0
void positive_q(const int32_t* refinements);   // number > 0
void sign_q(const int32_t* refinements);       // 1, 0 or -1
void zero_q(const int32_t* refinements);       // every component is zero
void NaN_q(const int32_t* refinements);        // a float or percent holding NaN
void max(const int32_t* refinements);          // the greater value, by component for composites
void min(const int32_t* refinements);          // the lesser value, by component for composites
void shift(const int32_t* refinements);        // arithmetic right shift; /left, /logical
void sine(const int32_t* refinements);         // sine of degrees (/radians)
void cosine(const int32_t* refinements);       // cosine of degrees (/radians)
void tangent(const int32_t* refinements);      // tangent of degrees (/radians)
void arcsine(const int32_t* refinements);      // arcsine in degrees (/radians)
void arccosine(const int32_t* refinements);    // arccosine in degrees (/radians)
void arctangent(const int32_t* refinements);   // arctangent in degrees (/radians)
void arctangent2(const int32_t* refinements);  // angle of the vector (x, y) in degrees (/radians)
void log_2(const int32_t* refinements);        // base-2 logarithm
void log_10(const int32_t* refinements);       // base-10 logarithm
void log_e(const int32_t* refinements);        // natural logarithm
void exp(const int32_t* refinements);          // e raised to the value
void square_root(const int32_t* refinements);  // square root (NaN for a negative number)

}  // namespace ixo::natives
