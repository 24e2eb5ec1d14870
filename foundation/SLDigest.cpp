#include "foundation/SLDigest.h"

#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include <mbedtls/md.h>
#include <mbedtls/platform_util.h>
#include <mbedtls/sha1.h>
#include <mbedtls/sha256.h>
#include <mbedtls/sha512.h>

#include "foundation/SLCrc32Tables.h"
#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "foundation/SLProcessor.h"

SL_IMPLEMENT_CLASS(CSLBaseDigestAlgorithm, CSLObject)
SL_IMPLEMENT_CLASS(CSLDigestAlgorithmCRC32, CSLBaseDigestAlgorithm)
SL_IMPLEMENT_CLASS(CSLDigestAlgorithmSecureHash, CSLBaseDigestAlgorithm)

namespace {

template <class T>
bool UpdateValues(CSLBaseDigestAlgorithm* digest, const T* values, u32 count) {
  for (u32 i = 0; i < count; ++i)
    if (!digest->Update(&values[i], u32(sizeof(T)))) return false;
  return SLSetLastError(SL_OK);
}

inline u32 Load32(const u8* p) {
  u32 v;
  std::memcpy(&v, p, 4);
  return v;  // the framework runs on little-endian machines only
}

}  // namespace

// Sixteen bytes per step through the sliced tables, the tail byte by byte; works on the
// un-inverted register like the classic byte loop, so both give identical values.
u32 SLInternals::SLCrc32Tables(u32 c, const u8* p, size_t n) {
  const auto& t = kSLCrc32Table;
  while (n >= 16) {
    u32 a = Load32(p) ^ c, b = Load32(p + 4), d = Load32(p + 8), e = Load32(p + 12);
    c = t[15][a & 0xFF] ^ t[14][(a >> 8) & 0xFF] ^ t[13][(a >> 16) & 0xFF] ^ t[12][a >> 24] ^
        t[11][b & 0xFF] ^ t[10][(b >> 8) & 0xFF] ^ t[9][(b >> 16) & 0xFF] ^ t[8][b >> 24] ^
        t[7][d & 0xFF] ^ t[6][(d >> 8) & 0xFF] ^ t[5][(d >> 16) & 0xFF] ^ t[4][d >> 24] ^
        t[3][e & 0xFF] ^ t[2][(e >> 8) & 0xFF] ^ t[1][(e >> 16) & 0xFF] ^ t[0][e >> 24];
    p += 16;
    n -= 16;
  }
  while (n--) c = (c >> 8) ^ t[0][(c ^ *p++) & 0xFF];
  return c;
}

#if defined(__x86_64__)
namespace {

// Carry-less multiply folding of the reflected CRC-32 polynomial 0x104C11DB7 over a run of
// whole 16-byte blocks, at least four of them; the register is un-inverted, as above.
// Four 128-bit lanes are folded 64 bytes forward at a time (constants x^(512+32) and
// x^(512-32) mod P, bit-reflected), then into one lane (x^(128+32), x^(128-32)), then to
// 64 bits (x^64) and to 32 by Barrett reduction (P and floor(x^64 / P)).
#define SL_CLMUL_TARGET __attribute__((target("pclmul,sse2")))

SL_CLMUL_TARGET inline __m128i Load(const u8* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); }

// lane * x^k folded onto the next data: the low half times one constant, the high the other.
SL_CLMUL_TARGET inline __m128i Fold(__m128i lane, __m128i k, __m128i next) {
  return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(lane, k, 0x00), _mm_clmulepi64_si128(lane, k, 0x11)), next);
}

SL_CLMUL_TARGET u32 FoldBlocks(u32 c, const u8* p, size_t n) {
  const __m128i k1k2 = _mm_set_epi64x(0x01c6e41596, 0x0154442bd4);
  const __m128i k3k4 = _mm_set_epi64x(0x00ccaa009e, 0x01751997d0);
  const __m128i k5 = _mm_set_epi64x(0, 0x0163cd6124);
  const __m128i poly = _mm_set_epi64x(0x01f7011641, 0x01db710641);
  const __m128i low32 = _mm_setr_epi32(-1, 0, -1, 0);
  __m128i x1 = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(int(c)));
  __m128i x2 = Load(p + 16), x3 = Load(p + 32), x4 = Load(p + 48);
  p += 64;
  n -= 64;
  for (; n >= 64; p += 64, n -= 64) {
    x1 = Fold(x1, k1k2, Load(p));
    x2 = Fold(x2, k1k2, Load(p + 16));
    x3 = Fold(x3, k1k2, Load(p + 32));
    x4 = Fold(x4, k1k2, Load(p + 48));
  }
  x1 = Fold(x1, k3k4, x2);
  x1 = Fold(x1, k3k4, x3);
  x1 = Fold(x1, k3k4, x4);
  for (; n >= 16; p += 16, n -= 16) x1 = Fold(x1, k3k4, Load(p));

  // 128 bits to 64, then 64 to 32.
  x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), _mm_clmulepi64_si128(x1, k3k4, 0x10));
  x1 = _mm_xor_si128(_mm_srli_si128(x1, 4), _mm_clmulepi64_si128(_mm_and_si128(x1, low32), k5, 0x00));
  __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x1, low32), poly, 0x10);
  t = _mm_clmulepi64_si128(_mm_and_si128(t, low32), poly, 0x00);
  x1 = _mm_xor_si128(x1, t);
  return u32(_mm_cvtsi128_si32(_mm_srli_si128(x1, 4)));
}

#undef SL_CLMUL_TARGET

}  // namespace
#endif

bool SLInternals::SLCrc32Carryless(u32 c, const u8* p, size_t n, u32* out) {
#if defined(__x86_64__)
  if (!SLHasCarrylessMultiply()) return false;
  if (n >= 64) {
    size_t blocks = n & ~size_t(15);
    c = FoldBlocks(c, p, blocks);
    p += blocks;
    n -= blocks;
  }
  *out = SLCrc32Tables(c, p, n);
  return true;
#else
  (void)c, (void)p, (void)n, (void)out;
  return false;
#endif
}

namespace {

// Carry-less multiply folding where the processor has it (runs of 64 bytes and more), the
// sliced tables for the rest.
u32 Crc32Raw(u32 c, const u8* p, size_t n) {
  u32 folded;
  if (n >= 64 && SLInternals::SLCrc32Carryless(c, p, n, &folded)) return folded;
  return SLInternals::SLCrc32Tables(c, p, n);
}

}  // namespace

bool CSLBaseDigestAlgorithm::UpdateUInt16Array(const u16* values, u32 count) {
  return UpdateValues(this, values, count);
}
bool CSLBaseDigestAlgorithm::UpdateUInt32Array(const u32* values, u32 count) {
  return UpdateValues(this, values, count);
}
bool CSLBaseDigestAlgorithm::UpdateUInt64Array(const u64* values, u32 count) {
  return UpdateValues(this, values, count);
}

u32 SLCrc32UpdateByte(u32 crc, u8 byte) { return (crc >> 8) ^ kSLCrc32Table[0][(crc ^ byte) & 0xFF]; }

bool CSLDigestAlgorithmCRC32::Initialize() {
  m_crc = 0;
  return SLSetLastError(SL_OK);
}

bool CSLDigestAlgorithmCRC32::Update(const void* data, u32 size) {
  if (!data && size) return SLFail(SL_E_NULL_DATA, false);
  if (size) m_crc = ~Crc32Raw(~m_crc, static_cast<const u8*>(data), size);
  return SLSetLastError(SL_OK);
}

bool CSLDigestAlgorithmCRC32::Finalize() { return SLSetLastError(SL_OK); }

const u8* CSLDigestAlgorithmCRC32::GetDigest() {
  m_digest = m_crc;
  SLSetLastError(SL_OK);
  return reinterpret_cast<const u8*>(&m_digest);
}

// ---------------------------------------------------------------------------------------
// SHA family

struct CSLDigestAlgorithmSecureHash::State {
  u32 active;
  u32 keyed;
  u32 algorithm;
  union {
    mbedtls_sha1_context sha1;
    mbedtls_sha256_context sha256;
    mbedtls_sha512_context sha512;
    mbedtls_md_context_t hmac;  // keyed passes: holds its own inner and outer pads
  } context;
  u8 digest[64];
  u32 digestSize;
};

namespace {

constexpr u32 kMaxUpdatePiece = 81920000;
constexpr u32 kDigestSizes[5] = {20, 28, 32, 48, 64};
constexpr mbedtls_md_type_t kMdTypes[5] = {MBEDTLS_MD_SHA1, MBEDTLS_MD_SHA224, MBEDTLS_MD_SHA256,
                                           MBEDTLS_MD_SHA384, MBEDTLS_MD_SHA512};
const u8 kZeroDigest[64] = {};

// Releases what the library allocated for a keyed pass and wipes the context.
void ClearContext(CSLDigestAlgorithmSecureHash::State* state) {
  if (state->keyed) mbedtls_md_free(&state->context.hmac);
  mbedtls_platform_zeroize(&state->context, sizeof(state->context));
}

}  // namespace

CSLDigestAlgorithmSecureHash::~CSLDigestAlgorithmSecureHash() {
  if (!m_state) return;
  SLErrorKeeper keep;
  ClearContext(m_state);
  mbedtls_platform_zeroize(m_state, sizeof(State));
  SLFree(m_state);
  m_state = nullptr;
}

bool CSLDigestAlgorithmSecureHash::InitializeAlgorithm(u32 algorithm, const void* key, u32 keyLength) {
  if (algorithm > SHA512) return SLFail(SL_E_DIGEST_UNSUPPORTED, false);
  if (key && (keyLength == 0 || keyLength > kMaxKeyLength)) return SLFail(SL_E_INVALID_ARG, false);
  if (!m_state) {
    m_state = static_cast<State*>(SLAllocZero(u32(sizeof(State))));
    if (!m_state) return false;  // the memory manager's code stands
  }
  if (m_state->active) return SLFail(SL_E_BUSY, false);
  ClearContext(m_state);
  std::memset(m_state, 0, sizeof(State));
  m_state->active = 1;
  m_state->algorithm = algorithm;
  m_state->keyed = key ? 1 : 0;

  int rc = 0;
  if (key) {
    mbedtls_md_init(&m_state->context.hmac);
    rc = mbedtls_md_setup(&m_state->context.hmac, mbedtls_md_info_from_type(kMdTypes[algorithm]), 1);
    if (rc == 0)
      rc = mbedtls_md_hmac_starts(&m_state->context.hmac, static_cast<const unsigned char*>(key), keyLength);
    if (rc != 0) {
      ClearContext(m_state);
      std::memset(m_state, 0, sizeof(State));
      return SLFail(SL_E_OUT_OF_MEMORY, false);
    }
    return SLSetLastError(SL_OK);
  }
  switch (algorithm) {
    case SHA1:
      mbedtls_sha1_init(&m_state->context.sha1);
      rc = mbedtls_sha1_starts_ret(&m_state->context.sha1);
      break;
    case SHA224:
    case SHA256:
      mbedtls_sha256_init(&m_state->context.sha256);
      rc = mbedtls_sha256_starts_ret(&m_state->context.sha256, algorithm == SHA224);
      break;
    default:
      mbedtls_sha512_init(&m_state->context.sha512);
      rc = mbedtls_sha512_starts_ret(&m_state->context.sha512, algorithm == SHA384);
      break;
  }
  (void)rc;  // the plain start functions cannot fail
  return SLSetLastError(SL_OK);
}

bool CSLDigestAlgorithmSecureHash::Initialize() { return InitializeAlgorithm(SHA1, nullptr, 0); }

bool CSLDigestAlgorithmSecureHash::Update(const void* data, u32 size) {
  if (!m_state || !m_state->active) return SLFail(SL_E_DIGEST_NOT_ACTIVE, false);
  if (!data && size) return SLFail(SL_E_NULL_DATA, false);
  const auto* bytes = static_cast<const unsigned char*>(data);
  while (size) {
    u32 piece = size < kMaxUpdatePiece ? size : kMaxUpdatePiece;
    if (m_state->keyed) {
      mbedtls_md_hmac_update(&m_state->context.hmac, bytes, piece);
    } else if (m_state->algorithm == SHA1) {
      mbedtls_sha1_update_ret(&m_state->context.sha1, bytes, piece);
    } else if (m_state->algorithm <= SHA256) {
      mbedtls_sha256_update_ret(&m_state->context.sha256, bytes, piece);
    } else {
      mbedtls_sha512_update_ret(&m_state->context.sha512, bytes, piece);
    }
    bytes += piece;
    size -= piece;
  }
  return SLSetLastError(SL_OK);
}

bool CSLDigestAlgorithmSecureHash::Finalize() {
  if (!m_state || !m_state->active) return SLFail(SL_E_DIGEST_NOT_ACTIVE, false);
  u32 algorithm = m_state->algorithm;
  if (m_state->keyed) {
    mbedtls_md_hmac_finish(&m_state->context.hmac, m_state->digest);
  } else if (algorithm == SHA1) {
    mbedtls_sha1_finish_ret(&m_state->context.sha1, m_state->digest);
  } else if (algorithm <= SHA256) {
    mbedtls_sha256_finish_ret(&m_state->context.sha256, m_state->digest);
  } else {
    mbedtls_sha512_finish_ret(&m_state->context.sha512, m_state->digest);
  }
  // SHA-224 and SHA-384 are written into the buffer at their full family width; only the
  // leading bytes count, the rest is cleared.
  u32 digestSize = kDigestSizes[algorithm];
  std::memset(m_state->digest + digestSize, 0, sizeof(m_state->digest) - digestSize);
  m_state->digestSize = digestSize;
  ClearContext(m_state);
  m_state->active = 0;
  m_state->keyed = 0;
  m_state->algorithm = 0;
  return SLSetLastError(SL_OK);
}

const u8* CSLDigestAlgorithmSecureHash::GetDigest() {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, kZeroDigest);
  SLSetLastError(SL_OK);
  return m_state->digest;
}

u32 CSLDigestAlgorithmSecureHash::GetDigestSize() { return m_state ? m_state->digestSize : 0; }
