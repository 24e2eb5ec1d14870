// Multi-precision arithmetic on 32-bit limbs.
#include "foundation/SLMpn.h"

#include <cstring>

#include "foundation/SLStr.h"

void SLMpnUMul(u32 a, u32 b, u32* high, u32* low) {
  u64 product = u64(a) * b;
  *high = u32(product >> 32);
  *low = u32(product);
}

void SLMpnAddWords(u32* high, u32* low, u32 aHigh, u32 aLow, u32 bHigh, u32 bLow) {
  u64 sum = ((u64(aHigh) << 32) | aLow) + ((u64(bHigh) << 32) | bLow);
  *high = u32(sum >> 32);
  *low = u32(sum);
}

void SLMpnSubWords(u32* high, u32* low, u32 aHigh, u32 aLow, u32 bHigh, u32 bLow) {
  u64 difference = ((u64(aHigh) << 32) | aLow) - ((u64(bHigh) << 32) | bLow);
  *high = u32(difference >> 32);
  *low = u32(difference);
}

void SLMpnUDivQRNND(u32* quotient, u32* remainder, u32 high, u32 low, u32 divisor) {
  u64 numerator = (u64(high) << 32) | low;
  *quotient = u32(numerator / divisor);
  *remainder = u32(numerator % divisor);
}

u32 SLMpnCountLeadingZeros(u32 word) { return word ? u32(__builtin_clz(word)) : 32; }

u32 SLMpnAdd1(u32* r, const u32* a, u32 n, u32 word) {
  u64 carry = word;
  for (u32 i = 0; i < n; ++i) {
    u64 sum = u64(a[i]) + carry;
    r[i] = u32(sum);
    carry = sum >> 32;
  }
  return u32(carry);
}

u32 SLMpnAddN(u32* r, const u32* a, const u32* b, u32 n) {
  u64 carry = 0;
  for (u32 i = 0; i < n; ++i) {
    u64 sum = u64(a[i]) + b[i] + carry;
    r[i] = u32(sum);
    carry = sum >> 32;
  }
  return u32(carry);
}

u32 SLMpnSubN(u32* r, const u32* a, const u32* b, u32 n) {
  u32 borrow = 0;
  for (u32 i = 0; i < n; ++i) {
    u64 difference = u64(a[i]) - b[i] - borrow;
    r[i] = u32(difference);
    borrow = u32(difference >> 63);
  }
  return borrow;
}

u32 SLMpnMul1(u32* r, const u32* a, u32 n, u32 word) {
  u64 carry = 0;
  for (u32 i = 0; i < n; ++i) {
    u64 product = u64(a[i]) * word + carry;
    r[i] = u32(product);
    carry = product >> 32;
  }
  return u32(carry);
}

u32 SLMpnAddMul1(u32* r, const u32* a, u32 n, u32 word) {
  u64 carry = 0;
  for (u32 i = 0; i < n; ++i) {
    u64 product = u64(a[i]) * word + r[i] + carry;  // fits: (2^32-1)^2 + 2(2^32-1) < 2^64
    r[i] = u32(product);
    carry = product >> 32;
  }
  return u32(carry);
}

u32 SLMpnSubMul1(u32* r, const u32* a, u32 n, u32 word) {
  u64 carry = 0;
  for (u32 i = 0; i < n; ++i) {
    u64 product = u64(a[i]) * word + carry;
    u32 low = u32(product);
    carry = product >> 32;
    u32 before = r[i];
    r[i] = before - low;
    carry += before < low;
  }
  return u32(carry);
}

u32 SLMpnLShift(u32* r, const u32* a, u32 n, u32 bits) {
  u32 out = a[n - 1] >> (32 - bits);
  for (u32 i = n - 1; i > 0; --i) r[i] = (a[i] << bits) | (a[i - 1] >> (32 - bits));
  r[0] = a[0] << bits;
  return out;
}

u32 SLMpnRShift(u32* r, const u32* a, u32 n, u32 bits) {
  u32 out = a[0] << (32 - bits);
  for (u32 i = 0; i + 1 < n; ++i) r[i] = (a[i] >> bits) | (a[i + 1] << (32 - bits));
  r[n - 1] = a[n - 1] >> bits;
  return out;
}

int SLMpnCmp(const u32* a, const u32* b, u32 n) {
  for (u32 i = n; i-- > 0;)
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  return 0;
}

namespace {

// r (an + bn limbs) = a * b by schoolbook rows.
void MulRows(u32* r, const u32* a, u32 an, const u32* b, u32 bn) {
  std::memset(r, 0, std::size_t(an + bn) * 4);
  for (u32 j = 0; j < bn; ++j) {
    u32 w = b[j];
    if (w == 0) continue;
    r[j + an] = w == 1 ? SLMpnAddN(r + j, r + j, a, an) : SLMpnAddMul1(r + j, a, an, w);
  }
}

constexpr u32 kKaratsubaThreshold = 32;

// Scratch limbs Karatsuba needs for n limbs (the halves' scratch included).
constexpr u32 ScratchFor(u32 n) {
  u32 total = 0;
  while (n >= kKaratsubaThreshold) {
    u32 high = n - n / 2;
    total += 4 * high + 1;
    n = high;
  }
  return total;
}

// The products above this size are done by rows: the conversions never come near it,
// and the scratch stays a fixed stack array.
constexpr u32 kKaratsubaMaxLimbs = 1024;
constexpr u32 kKaratsubaScratch = ScratchFor(kKaratsubaMaxLimbs) + 64;

void Karatsuba(u32* r, const u32* a, const u32* b, u32 n, u32* scratch) {
  if (n < kKaratsubaThreshold) {
    MulRows(r, a, n, b, n);
    return;
  }
  // a = a1 * B^k + a0 with a0 of k limbs and a1 of high = n - k limbs (high >= k).
  u32 k = n / 2;
  u32 high = n - k;
  u32* aDiff = scratch;            // |a0 - a1|, high limbs
  u32* bDiff = aDiff + high;       // |b0 - b1|, high limbs
  u32* middle = bDiff + high;      // 2 * high + 1 limbs
  u32* deeper = middle + 2 * high + 1;

  // |a0 - a1| with a0 widened to `high` limbs.
  auto absDiff = [&](u32* out, const u32* x) -> bool {
    u32 low[kKaratsubaMaxLimbs / 2 + 1];
    std::memset(low, 0, std::size_t(high) * 4);
    std::memcpy(low, x, std::size_t(k) * 4);
    if (SLMpnCmp(low, x + k, high) >= 0) {
      SLMpnSubN(out, low, x + k, high);
      return false;
    }
    SLMpnSubN(out, x + k, low, high);
    return true;
  };
  bool aNegative = absDiff(aDiff, a);
  bool bNegative = absDiff(bDiff, b);

  Karatsuba(r, a, b, k, deeper);                       // a0 * b0 in r[0, 2k)
  Karatsuba(r + 2 * k, a + k, b + k, high, deeper);    // a1 * b1 in r[2k, 2n)
  Karatsuba(middle, aDiff, bDiff, high, deeper);       // |a0 - a1| * |b0 - b1|
  middle[2 * high] = 0;

  // a0*b1 + a1*b0 = a0*b0 + a1*b1 - (a0 - a1)(b0 - b1)
  u32 sum[2 * (kKaratsubaMaxLimbs / 2 + 1) + 1];
  std::memcpy(sum, r + 2 * k, std::size_t(2 * high) * 4);
  sum[2 * high] = 0;
  SLMpnAdd1(sum + 2 * k, sum + 2 * k, 2 * (high - k) + 1, SLMpnAddN(sum, sum, r, 2 * k));
  if (aNegative == bNegative)
    SLMpnSubN(sum, sum, middle, 2 * high + 1);
  else
    SLMpnAddN(sum, sum, middle, 2 * high + 1);
  u32 span = 2 * high + 1;
  u32 carry = SLMpnAddN(r + k, r + k, sum, span);
  if (k + span < 2 * n) SLMpnAdd1(r + k + span, r + k + span, 2 * n - k - span, carry);
}

}  // namespace

void SLMpnMulBasecase(u32* r, const u32* a, const u32* b, u32 n) { MulRows(r, a, n, b, n); }

void SLMpnMulN(u32* r, const u32* a, const u32* b, u32 n) {
  if (n < kKaratsubaThreshold || n > kKaratsubaMaxLimbs) {
    MulRows(r, a, n, b, n);
    return;
  }
  u32 scratch[kKaratsubaScratch];
  Karatsuba(r, a, b, n, scratch);
}

u32 SLMpnMul(u32* r, const u32* a, u32 m, const u32* b, u32 n) {
  if (n < kKaratsubaThreshold || n > kKaratsubaMaxLimbs) {
    MulRows(r, a, m, b, n);
    return r[m + n - 1];
  }
  // The longer operand in n-limb pieces, each product added in at its offset.
  std::memset(r, 0, std::size_t(m + n) * 4);
  u32 piece[2 * kKaratsubaMaxLimbs];
  u32 offset = 0;
  for (; offset + n <= m; offset += n) {
    SLMpnMulN(piece, a + offset, b, n);
    u32 carry = SLMpnAddN(r + offset, r + offset, piece, 2 * n);
    if (carry) SLMpnAdd1(r + offset + 2 * n, r + offset + 2 * n, m + n - offset - 2 * n, carry);
  }
  if (offset < m) {
    u32 rest = m - offset;  // below n: rows with the short piece outside
    MulRows(piece, b, n, a + offset, rest);
    u32 carry = SLMpnAddN(r + offset, r + offset, piece, n + rest);
    if (carry && offset + n + rest < m + n)
      SLMpnAdd1(r + offset + n + rest, r + offset + n + rest, m - offset - rest, carry);
  }
  return r[m + n - 1];
}

u32 SLMpnDivRem(u32* q, u32* num, u32 n, const u32* divisor, u32 d) {
  u32 topQuotient = 0;
  if (SLMpnCmp(num + n - d, divisor, d) >= 0) {
    SLMpnSubN(num + n - d, num + n - d, divisor, d);
    topQuotient = 1;
  }
  if (d == 1) {
    u32 remainder = num[n - 1];
    for (u32 i = n - 1; i-- > 0;) SLMpnUDivQRNND(&q[i], &remainder, remainder, num[i], divisor[0]);
    num[0] = remainder;
    return topQuotient;
  }
  const u32 d1 = divisor[d - 1];
  const u32 d0 = divisor[d - 2];
  for (u32 i = n - d; i-- > 0;) {
    // Estimate from the top two limbs of the running remainder over the top divisor limb,
    // refined with the second divisor limb; at most one add-back remains after that.
    u32 n2 = num[i + d];
    u32 n1 = num[i + d - 1];
    u32 n0 = num[i + d - 2];
    u64 estimate;
    u64 remainder;
    if (n2 >= d1) {
      estimate = 0xFFFFFFFFu;
      remainder = ((u64(n2) << 32) | n1) - estimate * d1;
    } else {
      u64 top = (u64(n2) << 32) | n1;
      estimate = top / d1;
      remainder = top % d1;
    }
    while (remainder <= 0xFFFFFFFFu && estimate * d0 > ((remainder << 32) | n0)) {
      --estimate;
      remainder += d1;
    }
    u32 borrow = SLMpnSubMul1(num + i, divisor, d, u32(estimate));
    if (borrow > n2) {
      --estimate;
      SLMpnAddN(num + i, num + i, divisor, d);
    }
    num[i + d] = 0;
    q[i] = u32(estimate);
  }
  return topQuotient;
}

u32 SLMpnShiftIn(u32* r, u32 n, u32 bits, u32 word) {
  if (bits >= 32) {
    std::memmove(r + 1, r, std::size_t(n) * 4);
    r[0] = word;
    return r[n] ? n + 1 : n;
  }
  u32 out = bits ? SLMpnLShift(r, r, n, bits) : 0;
  r[0] |= word;
  if (out) {
    r[n] = out;
    return n + 1;
  }
  return n;
}

i32 SLMpnExtractDouble(u32* limbs, double value, u32* negative) {
  u32 low, high;
  i32 exponent;
  SLSplitDouble(value, negative, &low, &high, &exponent);
  if (exponent == -1023) {  // denormal or zero: no hidden bit
    limbs[0] = low;
    limbs[1] = high;
    return -1074;
  }
  limbs[0] = low;
  limbs[1] = high | 0x100000u;
  return exponent - 52;
}

double SLMpnConstructDouble(const u32* limbs, i32 exponent, u32 negative) {
  if (limbs[1] & 0x100000u) return SLMakeDouble(negative, limbs[0], limbs[1] & 0xFFFFFu, exponent + 52);
  return SLMakeDouble(negative, limbs[0], limbs[1] & 0xFFFFFu, -1023);
}
