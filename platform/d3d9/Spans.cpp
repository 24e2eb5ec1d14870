// Row kernels of the rasteriser's common draws, four pixels at a time where the processor
// has 128-bit integer vectors: copying opaque texels and blending texels over the screen.
// Every result equals the per-pixel rules: products rounded as (a·b + 127) / 255, sums
// saturating at 255.
#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/d3d9/D3D9.h"

namespace SLD3D9 {

namespace {

inline std::uint32_t Product(std::uint32_t a, std::uint32_t b) { return (a * b + 127) / 255; }

// One pixel by the rules the vector code follows.
inline void BlendOne(std::uint32_t* target, std::uint32_t texel, std::uint32_t factor, int alphaAbove, bool additive,
                     bool opaqueTarget) {
  std::uint32_t source = 0;
  for (int shift = 0; shift < 32; shift += 8) source |= Product((texel >> shift) & 0xFF, (factor >> shift) & 0xFF) << shift;
  const std::uint32_t alpha = source >> 24;
  if (int(alpha) <= alphaAbove) return;
  const std::uint32_t under = *target | (opaqueTarget ? 0xFF000000u : 0);
  std::uint32_t out = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const std::uint32_t u = (under >> shift) & 0xFF;
    const std::uint32_t sum = Product((source >> shift) & 0xFF, alpha) + (additive ? u : Product(u, 255 - alpha));
    out |= std::min<std::uint32_t>(sum, 255) << shift;
  }
  *target = out;
}

#if defined(__SSE2__)
// (x + 127) / 255 for x up to 255 · 255, in 16-bit lanes: exact as (y + 1 + (y >> 8)) >> 8.
inline __m128i Divide255(__m128i x) {
  const __m128i y = _mm_add_epi16(x, _mm_set1_epi16(127));
  return _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(y, _mm_set1_epi16(1)), _mm_srli_epi16(y, 8)), 8);
}

inline __m128i BroadcastAlpha(__m128i pixels16) {
  return _mm_shufflehi_epi16(_mm_shufflelo_epi16(pixels16, _MM_SHUFFLE(3, 3, 3, 3)), _MM_SHUFFLE(3, 3, 3, 3));
}
#endif

}  // namespace

std::size_t CopyWhileOpaque(std::uint32_t* target, const std::uint32_t* source, std::size_t count) {
  std::size_t i = 0;
#if defined(__SSE2__)
  const __m128i alpha = _mm_set1_epi32(int(0xFF000000u));
  for (; i + 8 <= count; i += 8) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i + 4));
    const __m128i both = _mm_and_si128(_mm_and_si128(a, b), alpha);
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(both, alpha)) != 0xFFFF) break;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(target + i), a);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(target + i + 4), b);
  }
#endif
  for (; i < count && (source[i] >> 24) == 0xFF; ++i) target[i] = source[i];
  return i;
}

namespace {

void BlendVectors(std::uint32_t* target, const std::uint32_t* source, std::size_t count, std::uint32_t factor,
                  int alphaAbove, bool additive, bool opaqueTarget) {
  std::size_t i = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  const __m128i factor16 = _mm_unpacklo_epi8(_mm_set1_epi32(int(factor)), zero);
  const __m128i full = _mm_set1_epi16(255);
  const __m128i fill = _mm_set1_epi32(opaqueTarget ? int(0xFF000000u) : 0);
  const __m128i above = _mm_set1_epi32(alphaAbove);
  for (; i + 4 <= count; i += 4) {
    const __m128i texels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i));
    const __m128i old = _mm_loadu_si128(reinterpret_cast<const __m128i*>(target + i));
    const __m128i under = _mm_or_si128(old, fill);
    __m128i out[2];
    __m128i modulated[2];
    for (int half = 0; half < 2; ++half) {
      const __m128i t = half ? _mm_unpackhi_epi8(texels, zero) : _mm_unpacklo_epi8(texels, zero);
      const __m128i u = half ? _mm_unpackhi_epi8(under, zero) : _mm_unpacklo_epi8(under, zero);
      const __m128i s = Divide255(_mm_mullo_epi16(t, factor16));
      const __m128i a = BroadcastAlpha(s);
      const __m128i kept = additive ? u : Divide255(_mm_mullo_epi16(u, _mm_sub_epi16(full, a)));
      out[half] = _mm_add_epi16(Divide255(_mm_mullo_epi16(s, a)), kept);
      modulated[half] = s;
    }
    const __m128i blended = _mm_packus_epi16(out[0], out[1]);
    const __m128i alpha = _mm_srli_epi32(_mm_packus_epi16(modulated[0], modulated[1]), 24);
    const __m128i keep = _mm_cmpgt_epi32(alpha, above);
    const __m128i result = _mm_or_si128(_mm_and_si128(keep, blended), _mm_andnot_si128(keep, old));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(target + i), result);
  }
#endif
  for (; i < count; ++i) BlendOne(target + i, source[i], factor, alphaAbove, additive, opaqueTarget);
}

}  // namespace

void BlendTexels(std::uint32_t* target, const std::uint32_t* source, std::size_t count, std::uint32_t factor,
                 int alphaAbove, bool additive, bool opaqueTarget) {
  const std::size_t whole = count & ~std::size_t(3);
  BlendVectors(target, source, whole, factor, alphaAbove, additive, opaqueTarget);
  if (whole == count) return;
  // The last one to three pixels go through the vectors too, by way of a copy: short
  // spans (glyphs, shape edges) would otherwise spend most of their time there.
  std::uint32_t pixels[4] = {}, texels[4] = {};
  const std::size_t rest = count - whole;
  std::memcpy(pixels, target + whole, rest * 4);
  std::memcpy(texels, source + whole, rest * 4);
  BlendVectors(pixels, texels, 4, factor, alphaAbove, additive, opaqueTarget);
  std::memcpy(target + whole, pixels, rest * 4);
}

}  // namespace SLD3D9
