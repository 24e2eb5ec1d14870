#include "media/mpeg/SLVideoAudioReaderMP3.h"

#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "media/SLRiffAudio.h"
#include "media/mpeg/SLMpegAudioDecoder.h"

SL_IMPLEMENT_CLASS_CREATABLE(CSLVideoAudioReaderMP3, CSLBaseVideoAudioReader)

// Present exactly while the reader is open.
struct SLMp3State {
  SLInternals::CMXMP3_DecoderHelper* decoder;
};

CSLVideoAudioReaderMP3::CSLVideoAudioReaderMP3() : m_state(nullptr) {}

CSLVideoAudioReaderMP3::~CSLVideoAudioReaderMP3() {
  SLErrorKeeper keep;
  Close();
}

bool CSLVideoAudioReaderMP3::Close() {
  SLErrorKeeper keep;
  if (m_state) {
    if (m_state->decoder) {
      StopStream(0);
      delete m_state->decoder;
    }
    SLFree(m_state);
    m_state = nullptr;
  }
  ReleaseSource();
  return true;
}

bool CSLVideoAudioReaderMP3::Open(CSLBaseStorage* storage, u32 flags) {
  TSLObjPtr<CSLBaseStorage> keepAlive(storage);
  Close();
  if (!storage) return SLFail(SL_E_NULL_DATA, false);
  auto closeOnFailure = SLMakeScopeGuard([this] {
    SLErrorKeeper keep;
    Close();
  });
  m_state = static_cast<SLMp3State*>(SLAllocZeroed(sizeof(SLMp3State)));
  if (!m_state) return SLFail(SL_E_OUT_OF_MEMORY, false);
  HoldSource(storage);
  m_state->decoder = new SLInternals::CMXMP3_DecoderHelper();
  if (!m_state->decoder) return SLFail(SL_E_OUT_OF_MEMORY, false);
  if (!m_state->decoder->Open(storage, storage->CanSeek() ? 1 : 0, flags)) return false;
  closeOnFailure.Dismiss();
  return SLSucceed(true);
}

bool CSLVideoAudioReaderMP3::CheckStream(u32 stream, bool audio) {
  return SLSingleAudioStream::Check(m_state != nullptr, stream, audio);
}

bool CSLVideoAudioReaderMP3::GetStreamCount(u32* count) {
  return SLSingleAudioStream::StreamCount(m_state != nullptr, count);
}

bool CSLVideoAudioReaderMP3::GetStreamType(u32 stream, u32* type) {
  return SLSingleAudioStream::StreamType(m_state != nullptr, stream, type);
}

bool CSLVideoAudioReaderMP3::GetVideoFormat(u32 stream, SLVideoFormat* out) {
  return SLSingleAudioStream::VideoFormat(m_state != nullptr, stream, out);
}

bool CSLVideoAudioReaderMP3::GetVideoFrameRate(u32 stream, double* framesPerSecond) {
  return SLSingleAudioStream::VideoFrameRate(m_state != nullptr, stream, framesPerSecond);
}

bool CSLVideoAudioReaderMP3::IsKeyFrame(u32 stream, u64) { return CheckStream(stream, false); }

bool CSLVideoAudioReaderMP3::GetVideoFrameCount(u32 stream, u64* frames) {
  return SLSingleAudioStream::VideoFrameCount(m_state != nullptr, stream, frames);
}

bool CSLVideoAudioReaderMP3::GetVideoFrame(u32 stream, u64, const void** picture, u32* size) {
  return SLSingleAudioStream::VideoFrame(m_state != nullptr, stream, picture, size);
}

bool CSLVideoAudioReaderMP3::ReadRawFrame(u32 stream, u64, void*, u64* size) {
  return SLSingleAudioStream::RawFrame(m_state != nullptr, stream, size);
}

bool CSLVideoAudioReaderMP3::GetAudioFormat(u32 stream, SLAudioFormat* out) {
  if (!out) return SLFail(SL_E_NULL_OUTPUT, false);
  *out = SLAudioFormat{};
  if (!CheckStream(stream, true)) return false;
  const u32 channels = m_state->decoder->GetChannels();
  const u32 rate = m_state->decoder->GetSampleRate();
  *out = {1, channels, 16, rate, 2 * channels * rate, 2 * channels};
  return SLSucceed(true);
}

bool CSLVideoAudioReaderMP3::GetAudioLength(u32 stream, u64* frames) {
  if (!frames) return SLFail(SL_E_NULL_OUTPUT, false);
  *frames = 0;
  if (!CheckStream(stream, true)) return false;
  const u64 total = m_state->decoder->GetTotalSamples();
  *frames = total == ~u64(0) ? 0 : total;
  return SLSucceed(true);
}

bool CSLVideoAudioReaderMP3::StartStream(u32 stream) {
  if (!CheckStream(stream, true)) return false;
  return m_state->decoder->Start();
}

bool CSLVideoAudioReaderMP3::StopStream(u32 stream) {
  if (!CheckStream(stream, true)) return false;
  return m_state->decoder->Stop();
}

bool CSLVideoAudioReaderMP3::ReadAudio(u32 stream, u64 first, u32 count, const void** samples, u32* got) {
  if (got) *got = 0;
  if (samples) *samples = nullptr;
  if (!samples) return SLFail(SL_E_NULL_OUTPUT, false);
  if (!got) return SLFail(SL_E_MEDIA_NULL_COUNT, false);
  if (!CheckStream(stream, true)) return false;
  const i16* pcm = nullptr;
  const bool ok = m_state->decoder->DecodeFrame(first, count, &pcm, got);
  *samples = pcm;
  return ok;
}

u32 CSLVideoAudioReaderMP3::GetSignatureSize() { return SLSucceed(4u); }

bool CSLVideoAudioReaderMP3::CheckSignature(const void* header, u32 size) {
  if (!header || size < 4) return SLFail(SL_E_INVALID_ARG, false);
  const u8* bytes = static_cast<const u8*>(header);
  return SLSucceed(bytes[0] == 0xFF && (bytes[1] & 0xF0) == 0xF0);
}

const char* CSLVideoAudioReaderMP3::GetExtensionA(u32 index) {
  return index == 0 ? SLSucceed("MP3") : SLFail(SL_E_INDEX, static_cast<const char*>(nullptr));
}

const SLWChar* CSLVideoAudioReaderMP3::GetExtensionW(u32 index) {
  return index == 0 ? SLSucceed(u"MP3") : SLFail(SL_E_INDEX, static_cast<const SLWChar*>(nullptr));
}
