// Multi-precision natural numbers on arrays of 32-bit limbs, least significant limb first,
// with the limb count kept by the caller; no sign. Under the exact number conversions.
// Only the multiplications use scratch space, and that lives on the stack.
#pragma once

#include "foundation/SLTypes.h"

// Two-word arithmetic.
void SLMpnUMul(u32 a, u32 b, u32* high, u32* low);
void SLMpnAddWords(u32* high, u32* low, u32 aHigh, u32 aLow, u32 bHigh, u32 bLow);
void SLMpnSubWords(u32* high, u32* low, u32 aHigh, u32 aLow, u32 bHigh, u32 bLow);
// (high, low) / divisor with the divisor's top bit set and high < divisor.
void SLMpnUDivQRNND(u32* quotient, u32* remainder, u32 high, u32 low, u32 divisor);
u32 SLMpnCountLeadingZeros(u32 word);  // 32 for 0

// n >= 1 limbs throughout. Results may overlap the first operand exactly.
u32 SLMpnAdd1(u32* r, const u32* a, u32 n, u32 word);              // carry
u32 SLMpnAddN(u32* r, const u32* a, const u32* b, u32 n);          // carry
u32 SLMpnSubN(u32* r, const u32* a, const u32* b, u32 n);          // borrow
u32 SLMpnMul1(u32* r, const u32* a, u32 n, u32 word);              // high limb
u32 SLMpnAddMul1(u32* r, const u32* a, u32 n, u32 word);           // carry limb
u32 SLMpnSubMul1(u32* r, const u32* a, u32 n, u32 word);           // borrow limb
// Shift by 1..31 bits; return the bits shifted out (left: in the low bits of the result,
// right: in its high bits).
u32 SLMpnLShift(u32* r, const u32* a, u32 n, u32 bits);
u32 SLMpnRShift(u32* r, const u32* a, u32 n, u32 bits);
int SLMpnCmp(const u32* a, const u32* b, u32 n);  // -1, 0, 1

// r (2n limbs, not overlapping the operands) = a * b, both of n limbs.
void SLMpnMulBasecase(u32* r, const u32* a, const u32* b, u32 n);
void SLMpnMulN(u32* r, const u32* a, const u32* b, u32 n);
// r (m + n limbs, not overlapping) = a (m limbs) * b (n limbs), m >= n; returns r[m + n - 1].
u32 SLMpnMul(u32* r, const u32* a, u32 m, const u32* b, u32 n);

// Divides the n-limb number `num` by the normalised (top bit set) d-limb divisor, n >= d:
// q receives the n - d low quotient limbs, the remainder is left in num[0..d), and the
// top quotient limb (0 or 1) is returned. q must not overlap num or the divisor.
u32 SLMpnDivRem(u32* q, u32* num, u32 n, const u32* divisor, u32 d);

// Shifts the n-limb number left by 0..32 bits and ors `word` into the low bits; r needs
// room for n + 1 limbs. Returns the new limb count (n or n + 1; a top limb of 0 is dropped).
u32 SLMpnShiftIn(u32* r, u32 n, u32 bits, u32 word);

// The 53-bit significand of a double (hidden bit included for normal numbers) as two limbs;
// returns the binary exponent of its lowest bit and sets *negative.
i32 SLMpnExtractDouble(u32* limbs, double value, u32* negative);
// The double limbs[1]:limbs[0] * 2^exponent, with the significand's bit 52 the hidden bit
// (a significand below 2^52 with the smallest exponent is a denormal).
double SLMpnConstructDouble(const u32* limbs, i32 exponent, u32 negative);
