// Theora pictures to 24-bit BGR: the 16.16 fixed-point tables and the conversion over them,
// with an AVX2 path where the processor has it.
//
// Each table entry is trunc(f x n) for a factor f with three decimals and n = i - 16 or
// i - 128. Split f into its integer part w and its fraction d: w x n is exact, and d x n
// lies at least 0.004 away from any integer (1000 d x n is a multiple of 4 and n never a
// multiple of 250 but 0), so trunc(f x n) = w x n + trunc(d x n), and the float product
// d x n truncates to the same integer. The vector path computes every entry that way and
// gives exactly the tables' pixels; the tests hold it to them over every Y, Cb, Cr.
#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "media/SLMxvInternal.h"

namespace {

inline u8 ClampByte(i32 value) { return value < 0 ? 0 : value > 255 ? 255 : u8(value); }

// One picture pixel from its luma entry and its pair's chroma terms.
inline void StorePixel(i32 luma, i32 blue, i32 green, i32 red, u8* out) {
  out[0] = ClampByte((luma + blue) >> 16);
  out[1] = ClampByte((luma - green) >> 16);
  out[2] = ClampByte((luma + red) >> 16);
}

// Pixels [from, width) of a row; `from` is even. Two pixels share each chroma sample, so
// their chroma terms are looked up once.
void ConvertRowWithTables(const SLInternals::SLMxvColourTables& tables, const u8* yRow, const u8* uRow,
                          const u8* vRow, u32 from, u32 width, u8* out) {
  out += u64(from) * 3;
  for (u32 c = from; c < width; c += 2, out += 6) {
    const u8 cb = uRow[c / 2], cr = vRow[c / 2];
    const i32 blue = tables.blueFromU[cb], green = tables.greenFromU[cb] + tables.greenFromV[cr];
    const i32 red = tables.redFromV[cr];
    StorePixel(tables.luma[yRow[c]], blue, green, red, out);
    if (c + 1 < width) StorePixel(tables.luma[yRow[c + 1]], blue, green, red, out + 3);
  }
}

#if defined(__x86_64__)

// trunc(f x n) for all lanes: w x n + trunc(d x n) (see the top of the file).
__attribute__((target("avx2"))) inline __m256i TableEntries(__m256i n, i32 whole, float fraction) {
  const __m256i integral = _mm256_mullo_epi32(n, _mm256_set1_epi32(whole));
  const __m256 part = _mm256_mul_ps(_mm256_cvtepi32_ps(n), _mm256_set1_ps(fraction));
  return _mm256_add_epi32(integral, _mm256_cvttps_epi32(part));
}

// Eight pixels from their luma and their (already paired) chroma terms: 24 bytes stored
// as 28, the last 4 belonging to the next pixels.
__attribute__((target("avx2"))) inline void StoreEight(const u8* yRow, __m256i blue, __m256i green, __m256i red,
                                                       u8* out) {
  // b0 g0 r0 b1 g1 r1 ... from b0..b3 g0..g3 r0..r3 in each half.
  const __m256i interleave = _mm256_setr_epi8(0, 4, 8, 1, 5, 9, 2, 6, 10, 3, 7, 11, -1, -1, -1, -1, 0, 4, 8, 1, 5,
                                              9, 2, 6, 10, 3, 7, 11, -1, -1, -1, -1);
  const __m256i luma = _mm256_sub_epi32(
      _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(yRow))), _mm256_set1_epi32(16));
  const __m256i l = TableEntries(luma, 76284, 0.404f);
  const __m256i b = _mm256_srai_epi32(_mm256_add_epi32(l, blue), 16);
  const __m256i g = _mm256_srai_epi32(_mm256_sub_epi32(l, green), 16);
  const __m256i r = _mm256_srai_epi32(_mm256_add_epi32(l, red), 16);
  // Saturating packs clamp to 0..255 on the way to bytes.
  const __m256i bytes = _mm256_packus_epi16(_mm256_packs_epi32(b, g), _mm256_packs_epi32(r, r));
  const __m256i bgr = _mm256_shuffle_epi8(bytes, interleave);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(bgr));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 12), _mm256_extracti128_si256(bgr, 1));
}

// Sixteen pixels (eight chroma pairs) at a time while two more follow in the row; returns
// how many pixels it converted.
__attribute__((target("avx2"))) u32 ConvertRowAvx2(const u8* yRow, const u8* uRow, const u8* vRow, u32 width,
                                                    u8* out) {
  const __m256i low = _mm256_setr_epi32(0, 0, 1, 1, 2, 2, 3, 3), high = _mm256_setr_epi32(4, 4, 5, 5, 6, 6, 7, 7);
  u32 c = 0;
  for (; c + 18 <= width; c += 16, out += 48) {
    const __m256i cb = _mm256_sub_epi32(
        _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(uRow + c / 2))), _mm256_set1_epi32(128));
    const __m256i cr = _mm256_sub_epi32(
        _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(vRow + c / 2))), _mm256_set1_epi32(128));
    const __m256i blue = TableEntries(cb, 132252, 0.148f);
    const __m256i green = _mm256_add_epi32(TableEntries(cb, 25625, 0.076f), TableEntries(cr, 53281, 0.268f));
    const __m256i red = TableEntries(cr, 104595, 0.956f);
    StoreEight(yRow + c, _mm256_permutevar8x32_epi32(blue, low), _mm256_permutevar8x32_epi32(green, low),
               _mm256_permutevar8x32_epi32(red, low), out);
    StoreEight(yRow + c + 8, _mm256_permutevar8x32_epi32(blue, high), _mm256_permutevar8x32_epi32(green, high),
               _mm256_permutevar8x32_epi32(red, high), out + 24);
  }
  return c;
}

#endif

}  // namespace

namespace SLInternals {

void SLMxvBuildColourTables(SLMxvColourTables* tables) {
  for (int i = 0; i < 256; ++i) {
    tables->luma[i] = i32((i - 16) * 76284.404);
    tables->blueFromU[i] = i32((i - 128) * 132252.148);
    tables->greenFromU[i] = i32((i - 128) * 25625.076);
    tables->greenFromV[i] = i32((i - 128) * 53281.268);
    tables->redFromV[i] = i32((i - 128) * 104595.956);
  }
}

void SLMxvConvertYuv420(const SLMxvColourTables& tables, const u8* y, i64 yStride, const u8* u, const u8* v,
                        i64 uvStride, u32 width, u32 height, u8* pixels, u32 stride, bool vectorised) {
#if defined(__x86_64__)
  static const bool avx2 = __builtin_cpu_supports("avx2");
  vectorised = vectorised && avx2;
#else
  vectorised = false;
#endif
  for (u32 r = 0; r < height; ++r) {
    const u8* yRow = y + i64(r) * yStride;
    const u8* uRow = u + i64(r / 2) * uvStride;
    const u8* vRow = v + i64(r / 2) * uvStride;
    u8* out = pixels + u64(height - 1 - r) * stride;
    u32 done = 0;
#if defined(__x86_64__)
    if (vectorised) done = ConvertRowAvx2(yRow, uRow, vRow, width, out);
#endif
    ConvertRowWithTables(tables, yRow, uRow, vRow, done, width, out);
  }
}

}  // namespace SLInternals
