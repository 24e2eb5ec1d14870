// Whole text files into and out of CSLStringWide through a storage.
#include "foundation/SLArray.h"
#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "foundation/SLString.h"
#include "storage/SLBaseStorage.h"

namespace {

constexpr u32 SL_E_STORAGE_TOO_LARGE = 0x80020012;

// Zero padding after the text: whole zero units for UTF-16, zero bytes for 8-bit text.
// UTF-16 is recognised on the data without its zero units, so that an 8-bit text padded
// with zeros is not mistaken for UTF-16 and the last UTF-16 unit keeps its zero half.
u32 StripPadding(const u8* data, u32 size, SLTextEncoding* encoding) {
  u32 wideSize = size;
  if (wideSize & 1 && data[wideSize - 1] == 0) --wideSize;
  if (!(wideSize & 1))
    while (wideSize >= 2 && data[wideSize - 1] == 0 && data[wideSize - 2] == 0) wideSize -= 2;
  SLTextEncoding wide = SLDetectTextEncoding(data, wideSize);
  u32 kind = wide & SL_TEXT_ENCODING_MASK;
  if (kind == SL_TEXT_UTF16LE || kind == SL_TEXT_UTF16BE) {
    *encoding = wide;
    return wideSize;
  }
  u32 byteSize = size;
  while (byteSize && data[byteSize - 1] == 0) --byteSize;
  *encoding = SLDetectTextEncoding(data, byteSize);
  return byteSize;
}

}  // namespace

bool CSLStringWide::LoadFromStorage(CSLBaseStorage* storage) {
  Empty();
  if (!storage) return SLFail(SL_E_INVALID_ARG, false);
  u64 size = 0;
  if (!storage->GetSize(&size)) return false;
  if (!SLFitsU32(size)) return SLFail(SL_E_STORAGE_TOO_LARGE, false);
  if (size == 0) return SLSucceed(true);
  u64 rounded = 0;
  if (size > SL_TEXT_FILE_MAX_SIZE || !SLCheckedRoundUp(size, 32, &rounded) || !SLFitsU32(rounded))
    return SLFail(SL_E_OUT_OF_MEMORY, false);
  u8* data = static_cast<u8*>(SLAlloc(u32(rounded)));
  if (!data) return SLFail(SL_E_OUT_OF_MEMORY, false);
  TSLAutoPtr<u8> dataOwner(data);
  bool ok = storage->Seek(0, SL_SEEK_BEGIN);
  if (ok && storage->Read(data, size) != size) {
    ok = false;
    if (!SLGetLastError(false)) SLSetLastError(0x80020036);
  }
  if (ok) {
    SLTextEncoding encoding = 0;
    u32 textSize = StripPadding(data, u32(size), &encoding);
    if (!encoding) encoding = SL_TEXT_ANSI;
    const SLTextEncoding target = SL_TEXT_UTF16LE | SL_TEXT_CRLF;
    u32 measured = 0;
    ok = SLConvertText(nullptr, &measured, target, data, textSize, encoding, false) &&
         Reserve(measured / 2 + 256, true);
    if (ok) {
      u32 produced = m_capacity * 2;
      ok = SLConvertText(m_buffer, &produced, target, data, textSize, encoding, false);
      if (ok) {
        m_length = produced / 2;
        m_buffer[m_length] = 0;
        m_dirty = 0;
        m_encoding = encoding;
      }
    }
    if (!ok) {
      SLErrorKeeper keep;
      Empty();
    }
  }
  return ok;
}

bool CSLStringWide::SaveToStorage(CSLBaseStorage* storage, SLTextEncoding encoding) {
  if (!storage) return SLFail(SL_E_INVALID_ARG, false);
  u32 length = GetLength();
  if (!length) return SLSucceed(true);
  const SLTextEncoding source = SL_TEXT_UTF16LE | SL_TEXT_CRLF;
  u32 measured = 0;
  if (!SLConvertText(nullptr, &measured, encoding, m_buffer, length * 2, source, true)) return false;
  u64 blockSize = u64(measured) + 2;
  if (!SLFitsU32(blockSize)) return SLFail(SL_E_OUT_OF_MEMORY, false);
  u8* block = static_cast<u8*>(SLAlloc(u32(blockSize)));
  if (!block) return SLFail(SL_E_OUT_OF_MEMORY, false);
  TSLAutoPtr<u8> blockOwner(block);
  u32 produced = u32(blockSize);
  bool ok = SLConvertText(block, &produced, encoding, m_buffer, length * 2, source, true);
  if (ok && storage->Write(block, produced) != produced) {
    ok = false;
    if (!SLGetLastError(false)) SLSetLastError(0x80020011);
  }
  return ok;
}
