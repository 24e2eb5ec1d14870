// The MPEG decoder's view of an AVI audio stream: its chunks' payloads as one byte stream.
#include "foundation/SLError.h"
#include "media/avi/AviStreamDecoder.h"

namespace SLInternals {

SL_IMPLEMENT_CLASS(CSL_VideoAvi_Mp3DecoderStg, CSLBaseStorage)

CSL_VideoAvi_Mp3DecoderStg::CSL_VideoAvi_Mp3DecoderStg()
    : m_decoder(nullptr), m_source(nullptr), m_position(0), m_size(0) {}

void CSL_VideoAvi_Mp3DecoderStg::Attach(AviStreamDecoder* decoder, CSLBaseStorage* source) {
  m_decoder = decoder;
  m_source = source;
  m_position = 0;
  m_size = 0;
  const AviStreamInfo* info = decoder->info;
  for (u64 i = 0; i < info->entryCount; ++i) m_size += info->entries[i].Size();
}

bool CSL_VideoAvi_Mp3DecoderStg::CanRead() { return SLSucceed(true); }

u64 CSL_VideoAvi_Mp3DecoderStg::Read(void* buffer, u64 count) {
  if (!m_decoder) return SLFail(SL_E_STORAGE_NOT_OPEN, u64(0));
  u64 got = 0;
  if (!m_decoder->info->parser->ReadBytes(m_decoder->stream, m_position, buffer, count, &got)) return u64(0);
  m_position += got;
  return SLSucceed(got);
}

bool CSL_VideoAvi_Mp3DecoderStg::CanWrite() { return SLSucceed(false); }

u64 CSL_VideoAvi_Mp3DecoderStg::Write(const void*, u64) { return SLFail(SL_E_NOT_SUPPORTED, u64(0)); }

bool CSL_VideoAvi_Mp3DecoderStg::CanSeek() {
  if (!m_source) return SLFail(SL_E_STORAGE_NOT_OPEN, false);
  return m_source->CanSeek();
}

bool CSL_VideoAvi_Mp3DecoderStg::Seek(i64 offset, u32 origin) {
  switch (origin) {
    case SL_SEEK_BEGIN:
      m_position = u64(offset) < m_size ? u64(offset) : m_size;
      break;
    case SL_SEEK_CURRENT:
      if (offset < 0)
        m_position = u64(0) - u64(offset) > m_position ? 0 : m_position - (u64(0) - u64(offset));
      else
        m_position = u64(offset) > m_size || m_position > m_size - u64(offset) ? m_size : m_position + u64(offset);
      break;
    case SL_SEEK_END:
      if (offset < 0)
        m_position = u64(0) - u64(offset) > m_size ? 0 : m_size - (u64(0) - u64(offset));
      else
        m_position = m_size + u64(offset);
      break;
    default:
      break;
  }
  return SLSucceed(true);
}

bool CSL_VideoAvi_Mp3DecoderStg::GetPosition(u64* out) {
  if (!out) return SLFail(SL_E_INVALID_ARG, false);
  *out = m_position;
  return SLSucceed(true);
}

bool CSL_VideoAvi_Mp3DecoderStg::IsEOF() { return SLSucceed(m_position >= m_size); }

bool CSL_VideoAvi_Mp3DecoderStg::GetSize(u64* out) {
  if (!out) return SLFail(SL_E_INVALID_ARG, false);
  *out = m_size;
  return SLSucceed(true);
}

bool CSL_VideoAvi_Mp3DecoderStg::Flush() { return SLFail(SL_E_NOT_SUPPORTED, false); }
bool CSL_VideoAvi_Mp3DecoderStg::Lock(u64, u64) { return SLFail(SL_E_NOT_SUPPORTED, false); }
bool CSL_VideoAvi_Mp3DecoderStg::Unlock(u64, u64) { return SLFail(SL_E_NOT_SUPPORTED, false); }
bool CSL_VideoAvi_Mp3DecoderStg::SetSize(u64) { return SLFail(SL_E_NOT_SUPPORTED, false); }

}  // namespace SLInternals
