// Byte order: unaligned little- and big-endian loads and stores of 16, 32 and 64 bits,
// and the byte swaps. Every parser of file data reads its fields through these; the
// compiler turns each into one load (and a swap for big-endian) on x86-64.
#pragma once

#include <cstring>

#include "foundation/SLTypes.h"

constexpr u16 SLSwapBytes16(u16 value) { return u16((value >> 8) | (value << 8)); }
constexpr u32 SLSwapBytes32(u32 value) { return __builtin_bswap32(value); }
constexpr u64 SLSwapBytes64(u64 value) { return __builtin_bswap64(value); }

namespace SLInternals {
template <class T>
inline T SLLoadRaw(const void* p) {
  T value;
  std::memcpy(&value, p, sizeof value);
  return value;
}
template <class T>
inline void SLStoreRaw(void* p, T value) {
  std::memcpy(p, &value, sizeof value);
}
}  // namespace SLInternals

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the loads below assume a little-endian machine");

inline u16 SLLoadLE16(const void* p) { return SLInternals::SLLoadRaw<u16>(p); }
inline u32 SLLoadLE32(const void* p) { return SLInternals::SLLoadRaw<u32>(p); }
inline u64 SLLoadLE64(const void* p) { return SLInternals::SLLoadRaw<u64>(p); }
inline u16 SLLoadBE16(const void* p) { return SLSwapBytes16(SLInternals::SLLoadRaw<u16>(p)); }
inline u32 SLLoadBE32(const void* p) { return SLSwapBytes32(SLInternals::SLLoadRaw<u32>(p)); }
inline u64 SLLoadBE64(const void* p) { return SLSwapBytes64(SLInternals::SLLoadRaw<u64>(p)); }

inline void SLStoreLE16(void* p, u16 value) { SLInternals::SLStoreRaw(p, value); }
inline void SLStoreLE32(void* p, u32 value) { SLInternals::SLStoreRaw(p, value); }
inline void SLStoreLE64(void* p, u64 value) { SLInternals::SLStoreRaw(p, value); }
inline void SLStoreBE16(void* p, u16 value) { SLInternals::SLStoreRaw(p, SLSwapBytes16(value)); }
inline void SLStoreBE32(void* p, u32 value) { SLInternals::SLStoreRaw(p, SLSwapBytes32(value)); }
inline void SLStoreBE64(void* p, u64 value) { SLInternals::SLStoreRaw(p, SLSwapBytes64(value)); }

// Appends the low `bytes` (at most 8) bytes of a value, least significant first, to a
// growing byte container (a std::vector<u8> or std::string): how the file writers build
// their output.
template <class Bytes>
inline void SLAppendLE(Bytes* out, u64 value, u32 bytes) {
  u8 raw[8];
  SLStoreLE64(raw, value);
  out->insert(out->end(), raw, raw + (bytes < 8 ? bytes : 8));
}
