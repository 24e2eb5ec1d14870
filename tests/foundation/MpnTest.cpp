// The multi-precision layer against GMP on random operands (sparse and dense limbs, all
// ones, sizes around the Karatsuba threshold), and the double take-apart functions.
#include <gmp.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "foundation/SLMpn.h"
#include "foundation/SLStr.h"

namespace {

using Limbs = std::vector<u32>;

class Random {
 public:
  explicit Random(u32 seed) : m_random(seed) {}
  u32 Word() {
    switch (m_random() % 6) {
      case 0: return 0;
      case 1: return 0xFFFFFFFFu;
      case 2: return 1u << (m_random() % 32);
      default: return u32(m_random());
    }
  }
  Limbs Number(u32 n) {
    Limbs limbs(n);
    bool flat = m_random() % 8 == 0;  // all ones: the carry chains run the whole length
    for (auto& limb : limbs) limb = flat ? 0xFFFFFFFFu : Word();
    return limbs;
  }
  u32 Below(u32 n) { return u32(m_random() % n); }

 private:
  std::mt19937 m_random;
};

// mpz <-> limb arrays of a fixed size.
struct Z {
  mpz_t v;
  Z() { mpz_init(v); }
  explicit Z(const Limbs& limbs) {
    mpz_init(v);
    mpz_import(v, limbs.size(), -1, 4, 0, 0, limbs.data());
  }
  ~Z() { mpz_clear(v); }
  Limbs ToLimbs(size_t n) const {
    Limbs limbs(n + 4, 0);
    size_t count = 0;
    mpz_export(limbs.data(), &count, -1, 4, 0, 0, v);
    EXPECT_LE(count, n);
    limbs.resize(n);
    return limbs;
  }
};

TEST(Mpn, AddSubtractAndMultiplyByOneLimbMatchGmp) {
  Random random(1);
  for (int round = 0; round < 3000; ++round) {
    u32 n = 1 + random.Below(40);
    Limbs a = random.Number(n), b = random.Number(n);
    u32 w = random.Word();
    Z za(a), zb(b), expected;
    Limbs r(n);

    u32 carry = SLMpnAddN(r.data(), a.data(), b.data(), n);
    mpz_add(expected.v, za.v, zb.v);
    r.push_back(carry);
    EXPECT_EQ(r, expected.ToLimbs(n + 1));

    r.assign(n, 0);
    carry = SLMpnAdd1(r.data(), a.data(), n, w);
    mpz_add_ui(expected.v, za.v, w);
    r.push_back(carry);
    EXPECT_EQ(r, expected.ToLimbs(n + 1));

    if (mpz_cmp(za.v, zb.v) >= 0) {
      r.assign(n, 0);
      EXPECT_EQ(SLMpnSubN(r.data(), a.data(), b.data(), n), 0u);
      mpz_sub(expected.v, za.v, zb.v);
      EXPECT_EQ(r, expected.ToLimbs(n));
      EXPECT_EQ(SLMpnCmp(a.data(), b.data(), n), mpz_cmp(za.v, zb.v) > 0 ? 1 : 0);
    } else {
      r.assign(n, 0);
      EXPECT_EQ(SLMpnSubN(r.data(), a.data(), b.data(), n), 1u);  // borrow: a - b + B^n
      EXPECT_EQ(SLMpnCmp(a.data(), b.data(), n), -1);
    }

    r.assign(n, 0);
    carry = SLMpnMul1(r.data(), a.data(), n, w);
    mpz_mul_ui(expected.v, za.v, w);
    r.push_back(carry);
    EXPECT_EQ(r, expected.ToLimbs(n + 1));

    r = b;
    carry = SLMpnAddMul1(r.data(), a.data(), n, w);
    mpz_add(expected.v, expected.v, zb.v);  // a * w + b
    r.push_back(carry);
    EXPECT_EQ(r, expected.ToLimbs(n + 1));

    // b - a * w, with the borrow limb as the amount that went below zero (in units of B^n).
    r = b;
    u32 borrow = SLMpnSubMul1(r.data(), a.data(), n, w);
    Z product, rebuilt(r);
    mpz_mul_ui(product.v, za.v, w);
    mpz_t shifted;
    mpz_init_set_ui(shifted, borrow);
    mpz_mul_2exp(shifted, shifted, 32 * n);
    mpz_add(rebuilt.v, rebuilt.v, product.v);
    mpz_sub(rebuilt.v, rebuilt.v, shifted);
    EXPECT_EQ(mpz_cmp(rebuilt.v, zb.v), 0);
    mpz_clear(shifted);
  }
}

TEST(Mpn, ShiftsMatchGmp) {
  Random random(2);
  for (int round = 0; round < 2000; ++round) {
    u32 n = 1 + random.Below(30);
    u32 bits = 1 + random.Below(31);
    Limbs a = random.Number(n);
    Z za(a), expected;
    Limbs r(n);
    u32 out = SLMpnLShift(r.data(), a.data(), n, bits);
    mpz_mul_2exp(expected.v, za.v, bits);
    r.push_back(out);
    EXPECT_EQ(r, expected.ToLimbs(n + 1));

    r.assign(n, 0);
    out = SLMpnRShift(r.data(), a.data(), n, bits);
    mpz_fdiv_q_2exp(expected.v, za.v, bits);
    EXPECT_EQ(r, expected.ToLimbs(n));
    EXPECT_EQ(out, a[0] << (32 - bits));

    // In place, as the conversions use them.
    r = a;
    SLMpnLShift(r.data(), r.data(), n, bits);
    mpz_mul_2exp(expected.v, za.v, bits);
    mpz_fdiv_r_2exp(expected.v, expected.v, 32 * n);
    EXPECT_EQ(r, expected.ToLimbs(n));
  }
}

TEST(Mpn, ProductsMatchGmpAcrossTheKaratsubaThreshold) {
  Random random(3);
  const u32 sizes[] = {1, 2, 5, 31, 32, 33, 47, 64, 65, 100, 127, 200, 333};
  for (u32 n : sizes) {
    for (int round = 0; round < 12; ++round) {
      Limbs a = random.Number(n), b = random.Number(n);
      Z za(a), zb(b), expected;
      mpz_mul(expected.v, za.v, zb.v);
      Limbs r(2 * n);
      SLMpnMulN(r.data(), a.data(), b.data(), n);
      EXPECT_EQ(r, expected.ToLimbs(2 * n)) << n;
      SLMpnMulBasecase(r.data(), a.data(), b.data(), n);
      EXPECT_EQ(r, expected.ToLimbs(2 * n)) << n;

      u32 m = n + random.Below(3 * n + 1);
      Limbs longer = random.Number(m);
      Z zl(longer);
      mpz_mul(expected.v, zl.v, zb.v);
      r.assign(m + n, 0);
      u32 top = SLMpnMul(r.data(), longer.data(), m, b.data(), n);
      EXPECT_EQ(r, expected.ToLimbs(m + n)) << m << "x" << n;
      EXPECT_EQ(top, r[m + n - 1]);
    }
  }
}

TEST(Mpn, DivisionMatchesGmp) {
  Random random(4);
  for (int round = 0; round < 4000; ++round) {
    u32 d = 1 + random.Below(round % 4 == 0 ? 2 : 40);
    u32 n = d + random.Below(40);
    Limbs num = random.Number(n), divisor = random.Number(d);
    divisor[d - 1] |= 0x80000000u;  // normalised
    if (round % 5 == 0)              // divisors with a second limb near the top: corrections
      for (u32 i = 0; i + 1 < d; ++i) divisor[i] = 0xFFFFFFFFu;
    Z zn(num), zd(divisor), q, r;
    mpz_fdiv_qr(q.v, r.v, zn.v, zd.v);
    Limbs quotient(n - d + 1, 0xDEADBEEF);
    Limbs work = num;
    u32 top = SLMpnDivRem(quotient.data(), work.data(), n, divisor.data(), d);
    quotient[n - d] = top;
    EXPECT_EQ(quotient, q.ToLimbs(n - d + 1)) << n << "/" << d;
    work.resize(d);
    EXPECT_EQ(work, r.ToLimbs(d)) << n << "/" << d;
  }
  for (int round = 0; round < 20000; ++round) {
    u32 divisor = random.Word() | 0x80000000u;
    u32 high = random.Word() % divisor, low = random.Word(), q, r;
    SLMpnUDivQRNND(&q, &r, high, low, divisor);
    u64 numerator = (u64(high) << 32) | low;
    EXPECT_EQ(q, numerator / divisor);
    EXPECT_EQ(r, numerator % divisor);
  }
}

TEST(Mpn, DoublesTakenApartAndBuiltAgain) {
  std::mt19937_64 random(5);
  for (int round = 0; round < 100000; ++round) {
    u64 bits = random();
    if (round % 4 == 0) bits &= 0x800FFFFFFFFFFFFFull;  // denormals and zeros
    double value;
    std::memcpy(&value, &bits, 8);
    if (!std::isfinite(value)) continue;
    u32 limbs[2], negative;
    i32 exponent = SLMpnExtractDouble(limbs, value, &negative);
    u64 significand = (u64(limbs[1]) << 32) | limbs[0];
    EXPECT_EQ(std::ldexp(double(significand), exponent), std::fabs(value));
    EXPECT_EQ(negative, u32(bits >> 63));
    double rebuilt = SLMpnConstructDouble(limbs, exponent, negative);
    EXPECT_EQ(std::memcmp(&rebuilt, &value, 8), 0);
  }
  EXPECT_EQ(SLIsInfinite(INFINITY), 1);
  EXPECT_EQ(SLIsInfinite(-INFINITY), -1);
  EXPECT_EQ(SLIsInfinite(1e308), 0);
  EXPECT_EQ(SLIsNaN(std::nan("")), 1);
  EXPECT_EQ(SLIsNaN(-std::nan("")), -1);
  EXPECT_EQ(SLIsNaN(INFINITY), 0);
  u32 negative, low, high;
  i32 exponent;
  SLSplitDouble(-1.5, &negative, &low, &high, &exponent);
  EXPECT_EQ(negative, 1u);
  EXPECT_EQ(high, 0x80000u);
  EXPECT_EQ(low, 0u);
  EXPECT_EQ(exponent, 0);
  EXPECT_EQ(SLMakeDouble(1, 0, 0x80000, 0), -1.5);
}

}  // namespace

TEST(Mpn, WordHelpersAndShiftIn) {
  u32 high, low;
  SLMpnUMul(0xFFFFFFFFu, 0xFFFFFFFFu, &high, &low);
  EXPECT_EQ(high, 0xFFFFFFFEu);
  EXPECT_EQ(low, 1u);
  SLMpnAddWords(&high, &low, 0, 0xFFFFFFFFu, 1, 1);
  EXPECT_EQ(high, 2u);
  EXPECT_EQ(low, 0u);
  SLMpnSubWords(&high, &low, 2, 0, 0, 1);
  EXPECT_EQ(high, 1u);
  EXPECT_EQ(low, 0xFFFFFFFFu);
  EXPECT_EQ(SLMpnCountLeadingZeros(0), 32u);
  EXPECT_EQ(SLMpnCountLeadingZeros(1), 31u);
  EXPECT_EQ(SLMpnCountLeadingZeros(0x80000000u), 0u);

  u32 number[4] = {0x80000001u, 0, 0, 0};
  EXPECT_EQ(SLMpnShiftIn(number, 1, 4, 0xA), 2u);
  EXPECT_EQ(number[0], 0x0000001Au);
  EXPECT_EQ(number[1], 0x8u);
  EXPECT_EQ(SLMpnShiftIn(number, 2, 32, 7), 3u);  // a whole word moves the limbs up
  EXPECT_EQ(number[0], 7u);
  EXPECT_EQ(number[1], 0x1Au);
  EXPECT_EQ(number[2], 0x8u);
}
