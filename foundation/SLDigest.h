// Message digests behind one interface: the CRC-32 of packs, archives and project files,
// and the SHA family (plain or keyed as HMAC) that names catalogue items.
#pragma once

#include <cstddef>

#include "foundation/SLObject.h"
#include "foundation/SLTypes.h"

enum : u32 {
  SL_E_DIGEST_NOT_ACTIVE = 0x8000200c,        // Update/Finalize with no pass running
  SL_E_DIGEST_UNSUPPORTED = 0x800a000d,       // algorithm id outside 0..4
};

class CSLBaseDigestAlgorithm : public CSLObject {
  SL_DECLARE_CLASS(CSLBaseDigestAlgorithm)

 public:
  virtual bool Initialize() = 0;
  virtual bool Update(const void* data, u32 size) = 0;
  virtual bool Finalize() = 0;
  // Owned by the object; valid until its next Initialize or its destruction.
  virtual const u8* GetDigest() = 0;
  virtual u32 GetDigestSize() = 0;

  // Feed each value as it lies in memory (little-endian), one Update per value.
  bool UpdateUInt16Array(const u16* values, u32 count);
  bool UpdateUInt32Array(const u32* values, u32 count);
  bool UpdateUInt64Array(const u64* values, u32 count);
};

// The CRC-32 of zlib and ZIP. The stored value is kept in its final (inverted) form, so the
// CRC of no bytes is 0 and Update may go on after Finalize.
class CSLDigestAlgorithmCRC32 : public CSLBaseDigestAlgorithm {
  SL_DECLARE_CLASS(CSLDigestAlgorithmCRC32)

 public:
  CSLDigestAlgorithmCRC32() = default;
  bool Initialize() override;
  bool Update(const void* data, u32 size) override;
  bool Finalize() override;
  const u8* GetDigest() override;  // 4 bytes: the CRC in little-endian order
  u32 GetDigestSize() override { return 4; }

  u32 GetValue() const { return m_crc; }

 private:
  u32 m_crc = 0;
  u32 m_digest = 0;
};

// One step of the table without inversion (the traditional ZIP encryption's key schedule).
u32 SLCrc32UpdateByte(u32 crc, u8 byte);

namespace SLInternals {
// The two ways CRC-32 runs over the un-inverted register, apart so that tests can hold them
// against each other: the sliced tables alone, and carry-less multiply folding with the
// tables for the tail (false, and nothing computed, where the processor lacks it).
u32 SLCrc32Tables(u32 reg, const u8* data, size_t size);
bool SLCrc32Carryless(u32 reg, const u8* data, size_t size, u32* out);
}  // namespace SLInternals

class CSLDigestAlgorithmSecureHash : public CSLBaseDigestAlgorithm {
  SL_DECLARE_CLASS(CSLDigestAlgorithmSecureHash)

 public:
  enum : u32 { SHA1 = 0, SHA224 = 1, SHA256 = 2, SHA384 = 3, SHA512 = 4 };
  // Largest HMAC key accepted.
  static constexpr u32 kMaxKeyLength = 0x100000;

  CSLDigestAlgorithmSecureHash() = default;
  ~CSLDigestAlgorithmSecureHash() override;

  // A null key means a plain digest, whatever keyLength says.
  bool InitializeAlgorithm(u32 algorithm, const void* key, u32 keyLength);
  bool Initialize() override;  // plain SHA-1
  bool Update(const void* data, u32 size) override;
  bool Finalize() override;
  const u8* GetDigest() override;
  u32 GetDigestSize() override;

  struct State;

 private:
  State* m_state = nullptr;
};
