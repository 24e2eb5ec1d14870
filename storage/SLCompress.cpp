#include "storage/SLCompress.h"

#include "foundation/SLArray.h"
#include "foundation/SLError.h"
#include "foundation/SLMemory.h"

SL_IMPLEMENT_CLASS(CSLBaseCompress, CSLObject)

CSLBaseCompress::CSLBaseCompress() = default;
CSLBaseCompress::~CSLBaseCompress() = default;

u32 CSLBaseCompress::GetDecompressedSize() {
  u8 *first, *second;
  u32 firstLength, secondLength;
  if (!m_decompressed.GetReadRegions(&first, &firstLength, &second, &secondLength)) return 0;
  SLSetLastError(SL_OK);
  return firstLength + secondLength;
}

bool CSLBaseCompress::ReadDecompressed(u8* buffer, u32 size) {
  if (buffer == nullptr) return SLFail(SL_E_NULL_DATA, false);
  if (size == 0) return SLFail(SL_E_BAD_SIZE, false);
  u8 *first, *second;
  u32 firstLength, secondLength;
  if (!m_decompressed.GetReadRegions(&first, &firstLength, &second, &secondLength)) return false;
  const u32 head = size < firstLength ? size : firstLength;
  SLMemCopy(buffer, first, head);
  u32 tail = size - head;
  if (tail > secondLength) tail = secondLength;
  SLMemCopy(buffer + head, second, tail);
  if (!m_decompressed.CommitRead(head + tail)) return false;
  return SLSucceed(true);
}

void* SLCompressAlloc(void* /*opaque*/, unsigned items, unsigned size) {
  u64 bytes = 0;
  if (!SLCheckedMul(items, size, &bytes) || !SLFitsU32(bytes)) return nullptr;
  SLErrorKeeper keep;
  return SLAllocZero(static_cast<u32>(bytes));
}

void SLCompressFree(void* /*opaque*/, void* block) { SLInternals::SLFreeKeepingError(block); }
