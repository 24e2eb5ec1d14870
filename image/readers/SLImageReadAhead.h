// Sequential input for the image readers: bytes come from the storage in blocks, so that
// decoding a run-length packet or a palette index costs no storage call. The storage's
// position after use is past what was read ahead.
#pragma once

#include "foundation/SLArray.h"
#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "storage/SLBaseStorage.h"

class CSLImageReadAhead {
 public:
  static constexpr u32 kBlock = 65536;

  explicit CSLImageReadAhead(CSLBaseStorage* storage) : m_storage(storage) {}
  ~CSLImageReadAhead() { SLInternals::SLFreeKeepingError(m_buffer); }
  CSLImageReadAhead(const CSLImageReadAhead&) = delete;
  CSLImageReadAhead& operator=(const CSLImageReadAhead&) = delete;

  // Copies `count` bytes out; false when the data ended first (the storage's code, or
  // 0x80020034 when it left none) or no buffer could be had.
  bool Read(void* out, u64 count) {
    u8* target = static_cast<u8*>(out);
    while (count) {
      if (m_next == m_end && !Fill()) return false;
      u64 piece = m_end - m_next;
      if (piece > count) piece = count;
      SLMemCopy(target, m_buffer + m_next, u32(piece));
      m_next += u32(piece);
      target += piece;
      count -= piece;
    }
    return true;
  }
  bool ReadByte(u8* out) {
    if (m_next == m_end && !Fill()) return false;
    *out = m_buffer[m_next++];
    return true;
  }
  // Passes over `count` bytes.
  bool Skip(u64 count) {
    while (count) {
      if (m_next == m_end && !Fill()) return false;
      u64 piece = m_end - m_next;
      if (piece > count) piece = count;
      m_next += u32(piece);
      count -= piece;
    }
    return true;
  }
  // How many bytes were handed out since construction.
  u64 Consumed() const { return m_consumed - (m_end - m_next); }

 private:
  bool Fill() {
    if (!m_buffer) {
      m_buffer = static_cast<u8*>(SLAlloc(kBlock));
      if (!m_buffer) return SLFail(SL_E_OUT_OF_MEMORY, false);
    }
    SLSetLastError(0);
    const u64 got = m_storage->Read(m_buffer, kBlock);
    m_next = 0;
    m_end = u32(got);
    m_consumed += got;
    if (got) return true;
    const u32 code = SLGetLastError();
    return SLFail(code & 0x80000000u ? code : 0x80020034u, false);
  }

  CSLBaseStorage* m_storage;
  u8* m_buffer = nullptr;
  u32 m_next = 0, m_end = 0;
  u64 m_consumed = 0;
};
