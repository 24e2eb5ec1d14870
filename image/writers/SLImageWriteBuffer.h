// Output for the image writers: bytes collect in a block that goes to the storage when
// full and at Flush. A short storage write fails the writer; what was written stays.
#pragma once

#include "foundation/SLArray.h"
#include "foundation/SLByteOrder.h"
#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "image/SLImageReader.h"
#include "storage/SLBaseStorage.h"

class CSLImageWriteBuffer {
 public:
  static constexpr u32 kBlock = 65536;

  explicit CSLImageWriteBuffer(CSLBaseStorage* storage) : m_storage(storage) {}
  ~CSLImageWriteBuffer() { SLInternals::SLFreeKeepingError(m_buffer); }
  CSLImageWriteBuffer(const CSLImageWriteBuffer&) = delete;
  CSLImageWriteBuffer& operator=(const CSLImageWriteBuffer&) = delete;

  bool Put(const void* data, u32 count) {
    const u8* bytes = static_cast<const u8*>(data);
    while (count) {
      if (!m_buffer) {
        m_buffer = static_cast<u8*>(SLAlloc(kBlock));
        if (!m_buffer) return SLFail(SL_E_OUT_OF_MEMORY, false);
      }
      if (m_used == kBlock && !Flush()) return false;
      u32 piece = kBlock - m_used;
      if (piece > count) piece = count;
      SLMemCopy(m_buffer + m_used, bytes, piece);
      m_used += piece;
      bytes += piece;
      count -= piece;
    }
    return true;
  }
  bool PutByte(u8 value) { return Put(&value, 1); }
  bool PutLE16(u16 value) {
    u8 b[2];
    SLStoreLE16(b, value);
    return Put(b, 2);
  }
  bool PutLE32(u32 value) {
    u8 b[4];
    SLStoreLE32(b, value);
    return Put(b, 4);
  }
  bool Flush() {
    if (m_used == 0) return true;
    SLSetLastError(0);
    const u64 written = m_storage->Write(m_buffer, m_used);
    const bool complete = written == m_used;
    m_used = 0;
    if (complete) return true;
    const u32 code = SLGetLastError();
    return SLFail(code & 0x80000000u ? code : SL_E_STORAGE_WRITE, false);
  }

 private:
  CSLBaseStorage* m_storage;
  u8* m_buffer = nullptr;
  u32 m_used = 0;
};

// The frame a writer writes, converted to `format` when that differs (a copy: the
// caller's image is never changed). Null with the conversion's code on failure.
class CSLWriterFrame {
 public:
  CSLWriterFrame() = default;
  ~CSLWriterFrame() {
    if (m_copy) {
      SLErrorKeeper keep;
      m_copy->Release();
    }
  }
  CSLWriterFrame(const CSLWriterFrame&) = delete;
  CSLWriterFrame& operator=(const CSLWriterFrame&) = delete;

  const CSLImage* Take(const CSLImage* source, u32 format) {
    if (source->GetFormat() == format) return source;
    m_copy = new CSLImage();
    if (!m_copy) return SLFail(SL_E_OUT_OF_MEMORY, static_cast<const CSLImage*>(nullptr));
    if (!source->CopyTo(m_copy) || !m_copy->ConvertFormat(format)) return nullptr;
    return m_copy;
  }

 private:
  CSLImage* m_copy = nullptr;
};

// The format a source is stored in by the BMP and TGA writers: 1 (palette without
// translucent entries), 3, 5 or 14.
u32 SLWriterTargetFormat(const CSLImage* image);

// The checks every writer makes and the frame it writes (element `index`, all-ones meaning
// the first, others clamped to the last), in the format it is stored in: null array
// 0x80001002, null storage 0x80001005, the array check, a frame without pixels 0x800d0006.
inline const CSLImage* SLWriterPrepareFrame(const CSLImageArray* images, CSLBaseStorage* storage, u32 index,
                                            CSLWriterFrame* frame) {
  using Image = const CSLImage*;
  if (!images) return SLFail(SL_E_NULL_DATA, Image(nullptr));
  if (!storage) return SLFail(SL_E_NULL_OUTPUT, Image(nullptr));
  if (!SLValidateImageArrayForWrite(images)) return nullptr;
  const u32 count = images->GetCount();
  const CSLImage* source = (*images)[index == 0xFFFFFFFFu ? 0 : (index < count ? index : count - 1)];
  const CSLImage* image = frame->Take(source, SLWriterTargetFormat(source));
  if (image && !image->GetPixels()) return SLFail(SL_E_IMAGE_NO_PIXELS, Image(nullptr));
  return image;
}
