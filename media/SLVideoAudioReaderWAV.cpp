#include "media/SLVideoAudioReaderWAV.h"

#include "foundation/SLArray.h"
#include "foundation/SLByteOrder.h"
#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "media/SLAudioConverterApi.h"
#include "media/SLRiffAudio.h"
#include "media/mpeg/SLMpegAudioDecoder.h"
#include "storage/SLFragmentStorage.h"

SL_IMPLEMENT_CLASS_CREATABLE(CSLVideoAudioReaderWAV, CSLBaseVideoAudioReader)

namespace {

using namespace SLRiffAudio;

constexpr auto& FourCC = SLFourCC;

// WAVEFORMATEX as stored: tag, channels, rate, bytes per second, block alignment, bits,
// extra-bytes count; WAVE_FORMAT_EXTENSIBLE adds valid bits, channel mask and the
// sub-format GUID at 24.
enum : u32 {
  kFmtTag = 0,
  kFmtChannels = 2,
  kFmtRate = 4,
  kFmtBlockAlign = 12,
  kFmtBits = 14,
  kFmtExtraSize = 16,
  kFmtSubFormat = 24,
  kFmtMinimum = 18,
  kFmtMaximum = 0x20000,
};


// Widening works through a staging block of whole stored frames.
constexpr u32 kStagingBytes = 16384;
constexpr u32 kInitialOutputBytes = 8192;
// The converter's source buffer, and the most one second of its output may take.
constexpr u32 kConvertSourceBytes = 16384;
constexpr u64 kMaxConvertedBytesPerSecond = 64u << 20;

bool IsChunkIdText(u32 tag) {
  for (int i = 0; i < 4; ++i) {
    const u8 c = u8(tag >> (8 * i));
    if (c < 0x20 || c > 0x7E) return false;
  }
  return true;
}

// The output container for a stored bits-per-sample field.
u32 OutputBits(u32 tag, u32 bits) {
  if (bits == 0)
    return tag == kTagALaw || tag == kTagMuLaw || tag == kTagIbmMuLaw || tag == kTagIbmALaw ? 8 : 16;
  if (bits <= 8) return 8;
  if (bits <= 16) return 16;
  if (bits <= 32) return 32;
  return 64;
}

}  // namespace

// Everything an open file needs, allocated zero-filled by Open and freed by Close.
struct SLWavState {
  u8* format;  // the "fmt " chunk, at least 18 bytes, repaired (see ParseChunks)
  u32 formatSize;
  u8* fact;  // the "fact" chunk or null
  u32 factSize;
  u32 lenient;
  // What GetAudioFormat reports.
  u32 channels;
  u32 bitsPerSample;
  u32 samplesPerSecond;
  u32 blockAlign;
  u64 length;  // sample frames
  u64 dataStart;
  u64 dataSize;
  // How PCM is stored: bytes per stored frame and per channel slot in it.
  u32 storedFrame;
  u32 storedSlot;
  bool pcm;
  bool started;
  u8* output;  // handed to ReadAudio's callers
  u32 outputCapacity;
  u8* staging;  // stored frames on their way to being widened; null when read directly
  u32 stagingFrames;
  // MPEG audio (tags 0x50 and 0x55): the decoder, reading the data chunk through a window.
  CSLFragmentStorage* window;
  SLInternals::CMXMP3_DecoderHelper* decoder;
  // Other encodings: the system's audio converter, fed from the data chunk.
  SLAudioConverterApi acm;
  HACMSTREAM acmStream;
  WAVEFORMATEX destination;
  ACMSTREAMHEADER header;
  bool headerPrepared;
  u8* source;
  u8* converted;  // one second of output
  u32 convertedSize;
  SLAcmPump pump;
  u64 remainingSource;  // data bytes not yet read into the source buffer
  u64 nextSample;       // all bits set: none yet
};

CSLVideoAudioReaderWAV::CSLVideoAudioReaderWAV() : m_state(nullptr) {}

CSLVideoAudioReaderWAV::~CSLVideoAudioReaderWAV() {
  SLErrorKeeper keep;
  Close();
}

bool CSLVideoAudioReaderWAV::Close() {
  if (m_state) {
    if (m_state->started) StopStream(0);
    delete m_state->decoder;
    if (m_state->acmStream) m_state->acm.pAcmStreamClose(m_state->acmStream, 0);
    m_state->acm.Free();
    if (m_state->window) m_state->window->Release();
    SLFree(m_state->format);
    SLFree(m_state->fact);
    SLFree(m_state);
    m_state = nullptr;
  }
  ReleaseSource();
  return SLSucceed(true);
}

bool CSLVideoAudioReaderWAV::Open(CSLBaseStorage* storage, u32 flags) {
  // Closing may drop the last other reference to the storage about to be opened again.
  TSLObjPtr<CSLBaseStorage> keepAlive(storage);
  Close();
  if (!storage) return SLFail(SL_E_NULL_DATA, false);
  HoldSource(storage);
  auto closeOnFailure = SLMakeScopeGuard([this] { Close(); });
  u32 riff = 0, riffSize = 0, form = 0;
  if (!storage->ReadU32(&riff) || !storage->ReadU32(&riffSize) || !storage->ReadU32(&form)) return false;
  if (riff != FourCC("RIFF") || form != FourCC("WAVE")) return SLFail(SL_E_MALFORMED, false);
  m_state = static_cast<SLWavState*>(SLAllocZeroed(sizeof(SLWavState)));
  if (!m_state) return SLFail(SL_E_OUT_OF_MEMORY, false);
  if (!ParseChunks(flags) || !ChooseOutputFormat()) return false;
  closeOnFailure.Dismiss();
  return SLSucceed(true);
}

bool CSLVideoAudioReaderWAV::ReadChunkHeader(u64 position, u32* tag, u32* size) {
  if (position > u64(INT64_MAX)) return SLFail(SL_E_STORAGE_SEEK, false);
  return m_source->Seek(i64(position), SL_SEEK_BEGIN) && m_source->ReadU32(tag) && m_source->ReadU32(size);
}

// RIFF pads every odd-sized chunk with one byte, but some writers leave the pad out; the
// byte after such a chunk then starts the next id. The header after the pad is taken when
// its id is text and its chunk ends inside the storage; otherwise the header without the
// pad when its id is text; otherwise the padded one, as the format says. (Text alone does
// not decide: without the pad, "data" read one byte late is "ata" and the size's low
// byte, text for many sizes.)
bool CSLVideoAudioReaderWAV::NextChunkHeader(u64* position, bool afterPad, u64 fileSize, u32* tag,
                                             u32* size) {
  if (!afterPad) return ReadChunkHeader(*position, tag, size);
  const u64 unpadded = *position - 1;
  u32 paddedTag = 0, paddedSize = 0;
  const bool paddedRead = ReadChunkHeader(*position, &paddedTag, &paddedSize);
  if (paddedRead && IsChunkIdText(paddedTag) && *position + 8 + paddedSize <= fileSize) {
    *tag = paddedTag;
    *size = paddedSize;
    return true;
  }
  u32 plainTag = 0, plainSize = 0;
  if (ReadChunkHeader(unpadded, &plainTag, &plainSize) && (IsChunkIdText(plainTag) || !paddedRead)) {
    *position = unpadded;
    *tag = plainTag;
    *size = plainSize;
    return true;
  }
  if (!paddedRead) return false;
  *tag = paddedTag;
  *size = paddedSize;
  return true;
}

bool CSLVideoAudioReaderWAV::ParseChunks(u32 flags) {
  SLWavState* s = m_state;
  u64 fileSize = 0;
  const bool sizeKnown = m_source->GetSize(&fileSize);
  const u64 knownEnd = sizeKnown ? fileSize : ~u64(0);
  u64 position = 0;
  if (!m_source->GetPosition(&position)) return false;
  for (bool afterPad = false;; ) {
    u32 tag = 0, size = 0;
    if (!NextChunkHeader(&position, afterPad, knownEnd, &tag, &size)) return false;
    const u64 payload = position + 8;
    // The next header: after the payload and, for odd sizes, after the pad byte.
    afterPad = size & 1;
    position = payload + size + (size & 1);
    if (tag == FourCC("data")) {
      if (!s->format || size == 0) return SLFail(SL_E_MALFORMED, false);
      s->dataStart = payload;
      s->dataSize = size;
      s->lenient = flags;
      if (flags && sizeKnown && fileSize - payload < s->dataSize) s->dataSize = fileSize - payload;
      return true;
    }
    const bool isFormat = tag == FourCC("fmt ") && !s->format;
    const bool isFact = tag == FourCC("fact") && !s->fact;
    if (!isFormat && !isFact) continue;
    if (isFormat && size != 14 && size != 16 && (size < kFmtMinimum || size > kFmtMaximum))
      return SLFail(SL_E_MEDIA_BAD_FORMAT_RECORD, false);
    if (isFact && size < 4) return SLFail(SL_E_MALFORMED, false);
    // A chunk that cannot lie inside the storage fails as its read would, before any
    // memory is taken for it.
    if (sizeKnown && (payload > fileSize || fileSize - payload < size)) return SLFail(SL_E_STORAGE_EOF, false);
    const u32 allocated = isFormat && size < kFmtMinimum ? kFmtMinimum : size;
    u8* chunk = static_cast<u8*>(SLAllocZeroed(allocated));
    if (!chunk) return SLFail(SL_E_OUT_OF_MEMORY, false);
    if (isFormat) {
      s->format = chunk;
      s->formatSize = allocated;
    } else {
      s->fact = chunk;
      s->factSize = size;
    }
    if (m_source->Read(chunk, size) != size) return false;
    if (!isFormat) continue;
    // Repairs of short and inconsistent format chunks: WAVEFORMAT (14 bytes) has no bits
    // field, PCMWAVEFORMAT (16) no extra-bytes count, and the count may not claim more
    // bytes than the chunk holds.
    if (size < 16) SLStoreLE16(chunk + kFmtBits, 8);
    const u32 extraLimit = size <= kFmtMinimum ? 0 : size - kFmtMinimum;
    if (SLLoadLE16(chunk + kFmtExtraSize) > extraLimit) SLStoreLE16(chunk + kFmtExtraSize, u16(extraLimit));
    const u32 formatTag = SLLoadLE16(chunk + kFmtTag);
    const u32 extra = SLLoadLE16(chunk + kFmtExtraSize);
    const u32 bits = SLLoadLE16(chunk + kFmtBits);
    // A rate of 0 would be divided by wherever the stream's time is computed.
    if (SLLoadLE16(chunk + kFmtChannels) == 0 || SLLoadLE32(chunk + kFmtRate) == 0 ||
        (formatTag == kTagMpegLayer3 && extra < 12) || (formatTag == kTagPcm && (bits == 0 || bits > 32)) ||
        ((formatTag == kTagMpeg || formatTag == kTagExtensible) && extra < 22))
      return SLFail(SL_E_MEDIA_BAD_FORMAT_RECORD, false);
  }
}

bool CSLVideoAudioReaderWAV::ChooseOutputFormat() {
  SLWavState* s = m_state;
  const u8* format = s->format;
  const u32 formatTag = SLLoadLE16(format + kFmtTag);
  s->channels = SLLoadLE16(format + kFmtChannels);
  s->samplesPerSecond = SLLoadLE32(format + kFmtRate);
  s->bitsPerSample = OutputBits(formatTag, SLLoadLE16(format + kFmtBits));
  s->blockAlign = s->bitsPerSample / 8 * s->channels;
  u64 bytesPerSecond = 0;
  if (!SLCheckedMul(s->samplesPerSecond, s->blockAlign, &bytesPerSecond) || !SLFitsU32(bytesPerSecond))
    return SLFail(SL_E_MEDIA_BAD_FORMAT_RECORD, false);
  s->pcm = IsStoredPcm(format, s->formatSize);
  if (!s->pcm) {
    if (!s->fact) return SLFail(SL_E_MEDIA_BAD_FORMAT_RECORD, false);
    s->length = SLLoadLE32(s->fact);
    if (formatTag == kTagMpeg || formatTag == kTagMpegLayer3) return OpenMpeg();
    return OpenConverter(bytesPerSecond);
  }
  // Stored frames are read at the file's block alignment; each channel's sample takes an
  // equal share of it.
  s->storedFrame = SLLoadLE16(format + kFmtBlockAlign);
  s->storedSlot = s->storedFrame / s->channels;
  if (s->storedSlot == 0) return SLFail(SL_E_MEDIA_BAD_FORMAT_RECORD, false);
  s->length = s->dataSize / s->storedFrame;
  return true;
}

// The data chunk is an MPEG audio stream: the decoder reads it through a window on the
// source and tells the format and length.
bool CSLVideoAudioReaderWAV::OpenMpeg() {
  SLWavState* s = m_state;
  s->window = new CSLFragmentStorage();
  s->decoder = new SLInternals::CMXMP3_DecoderHelper();
  if (!s->window || !s->decoder) return SLFail(SL_E_OUT_OF_MEMORY, false);
  if (!s->window->AttachContainer(m_source) || !s->window->SetWindow(s->dataStart, s->dataSize)) return false;
  if (!s->decoder->Open(s->window, m_source->CanSeek() ? 1 : 0, s->lenient)) return false;
  s->channels = s->decoder->GetChannels();
  s->samplesPerSecond = s->decoder->GetSampleRate();
  s->bitsPerSample = s->decoder->GetBitsPerSample();
  s->blockAlign = s->bitsPerSample / 8 * s->channels;
  s->length = s->decoder->GetTotalSamples();
  return SLSucceed(true);
}

// Any other encoding goes through the system's audio converter, to PCM of the output format.
bool CSLVideoAudioReaderWAV::OpenConverter(u64 bytesPerSecond) {
  SLWavState* s = m_state;
  if (bytesPerSecond > kMaxConvertedBytesPerSecond || bytesPerSecond == 0) return SLFail(SL_E_AUDIO_FORMAT, false);
  if (!s->acm.Load()) return false;
  s->destination = {WAVE_FORMAT_PCM, WORD(s->channels), s->samplesPerSecond, u32(bytesPerSecond),
                    WORD(s->blockAlign), WORD(s->bitsPerSample), 0};
  return s->acm.Open(&s->acmStream, s->format, &s->destination) ? SLSucceed(true) : false;
}

bool CSLVideoAudioReaderWAV::StartConverter() {
  SLWavState* s = m_state;
  s->convertedSize = s->destination.nAvgBytesPerSec;
  s->source = static_cast<u8*>(SLAlloc(kConvertSourceBytes));
  s->converted = static_cast<u8*>(SLAlloc(s->convertedSize));
  if (!s->source || !s->converted) return SLFail(SL_E_OUT_OF_MEMORY, false);
  s->header = ACMSTREAMHEADER{};
  s->header.cbStruct = sizeof(ACMSTREAMHEADER);
  s->header.pbSrc = s->source;
  s->header.cbSrcLength = kConvertSourceBytes;
  s->header.pbDst = s->converted;
  s->header.cbDstLength = s->convertedSize;
  const MMRESULT prepared = s->acm.pAcmStreamPrepareHeader(s->acmStream, &s->header, 0);
  if (prepared != MMSYSERR_NOERROR)
    return SLFail(prepared == MMSYSERR_NOMEM ? u32(SL_E_OUT_OF_MEMORY) : u32(SL_E_AUDIO_FORMAT), false);
  s->headerPrepared = true;
  s->nextSample = ~u64(0);
  s->remainingSource = s->dataSize;
  SLAcmPump& p = s->pump;
  p.acm = &s->acm;
  p.stream = s->acmStream;
  p.header = &s->header;
  p.sourceCapacity = kConvertSourceBytes;
  p.destinationSize = s->convertedSize;
  p.frameBytes = s->blockAlign;
  p.lenient = s->lenient != 0;
  p.Restart(0);
  return SLSucceed(true);
}

// The converter's source bytes: the data chunk, read on from where the last read ended. A
// short read is an error unless lenient; leniently, a read that gives nothing ends the
// data after the conversion under way.
bool CSLVideoAudioReaderWAV::NextSourceBytes(u8* to, u32 room, u32* written) {
  SLWavState* s = m_state;
  SLAcmPump& p = s->pump;
  const u64 wanted = room < s->remainingSource ? room : s->remainingSource;
  const u64 read = m_source->Read(to, wanted);
  if (read != wanted && !s->lenient) return false;
  if (read == 0) p.stopped = true;
  s->remainingSource -= read;
  if (s->remainingSource == 0) p.exhausted = true;
  *written = u32(read);
  return true;
}

// Converts from the data chunk onwards, restarting from its start when `first` is not
// where the previous read ended.
bool CSLVideoAudioReaderWAV::ReadConverted(u64 first, u32 count, u32* got) {
  SLWavState* s = m_state;
  if (first != s->nextSample) {
    if (s->dataStart > u64(INT64_MAX) || !m_source->Seek(i64(s->dataStart), SL_SEEK_BEGIN)) return false;
    s->remainingSource = s->dataSize;
    s->pump.Restart(first);
    s->pump.start = true;
    s->pump.exhausted = s->remainingSource == 0;
    s->nextSample = first;
  }
  const auto next = [](SLAcmPump*, void* reader, u8* to, u32 room, u32* written) {
    return static_cast<CSLVideoAudioReaderWAV*>(reader)->NextSourceBytes(to, room, written);
  };
  const bool ok = s->pump.Read(next, this, s->output, count, got);
  s->nextSample += *got;
  return ok;
}

bool CSLVideoAudioReaderWAV::CheckStream(u32 stream, bool audio) {
  return SLSingleAudioStream::Check(m_state != nullptr, stream, audio);
}

bool CSLVideoAudioReaderWAV::GetStreamCount(u32* count) {
  return SLSingleAudioStream::StreamCount(m_state != nullptr, count);
}

bool CSLVideoAudioReaderWAV::GetStreamType(u32 stream, u32* type) {
  return SLSingleAudioStream::StreamType(m_state != nullptr, stream, type);
}

bool CSLVideoAudioReaderWAV::GetVideoFormat(u32 stream, SLVideoFormat* out) {
  return SLSingleAudioStream::VideoFormat(m_state != nullptr, stream, out);
}

bool CSLVideoAudioReaderWAV::GetVideoFrameRate(u32 stream, double* framesPerSecond) {
  return SLSingleAudioStream::VideoFrameRate(m_state != nullptr, stream, framesPerSecond);
}

bool CSLVideoAudioReaderWAV::IsKeyFrame(u32 stream, u64) { return CheckStream(stream, false); }

bool CSLVideoAudioReaderWAV::GetVideoFrameCount(u32 stream, u64* frames) {
  return SLSingleAudioStream::VideoFrameCount(m_state != nullptr, stream, frames);
}

bool CSLVideoAudioReaderWAV::GetVideoFrame(u32 stream, u64, const void** picture, u32* size) {
  return SLSingleAudioStream::VideoFrame(m_state != nullptr, stream, picture, size);
}

bool CSLVideoAudioReaderWAV::ReadRawFrame(u32 stream, u64, void*, u64* size) {
  return SLSingleAudioStream::RawFrame(m_state != nullptr, stream, size);
}

bool CSLVideoAudioReaderWAV::GetAudioFormat(u32 stream, SLAudioFormat* out) {
  if (!out) return SLFail(SL_E_NULL_OUTPUT, false);
  *out = SLAudioFormat{};
  if (!CheckStream(stream, true)) return false;
  const SLWavState* s = m_state;
  *out = {1, s->channels, s->bitsPerSample, s->samplesPerSecond, s->samplesPerSecond * s->blockAlign,
          s->blockAlign};
  return SLSucceed(true);
}

bool CSLVideoAudioReaderWAV::GetAudioLength(u32 stream, u64* frames) {
  if (!frames) return SLFail(SL_E_NULL_OUTPUT, false);
  *frames = 0;
  if (!CheckStream(stream, true)) return false;
  *frames = m_state->length;
  return SLSucceed(true);
}

bool CSLVideoAudioReaderWAV::StartStream(u32 stream) {
  if (!CheckStream(stream, true)) return false;
  SLWavState* s = m_state;
  if (s->started) return SLFail(SL_E_ALREADY_STARTED, false);
  // Decoded samples come from the decoder's own buffer.
  const u32 outputBytes = s->decoder ? 2 : kInitialOutputBytes;
  s->output = static_cast<u8*>(SLAlloc(outputBytes));
  if (!s->output) return SLFail(SL_E_OUT_OF_MEMORY, false);
  s->outputCapacity = outputBytes;
  s->started = true;
  if (s->decoder) {
    if (s->decoder->Start()) return SLSucceed(true);
    SLErrorKeeper keep;
    StopStream(0);
    return false;
  }
  if (s->acmStream) {
    if (StartConverter()) return SLSucceed(true);
    SLErrorKeeper keep;
    StopStream(0);
    return false;
  }
  const bool direct = s->storedSlot == s->bitsPerSample / 8 && s->storedFrame == s->blockAlign;
  if (!direct) {
    s->stagingFrames = s->storedFrame >= kStagingBytes ? 1 : kStagingBytes / s->storedFrame;
    s->staging = static_cast<u8*>(SLAlloc(s->stagingFrames * s->storedFrame));
    if (!s->staging) {
      SLErrorKeeper keep;
      StopStream(0);
      return false;
    }
  }
  return SLSucceed(true);
}

bool CSLVideoAudioReaderWAV::StopStream(u32 stream) {
  if (!CheckStream(stream, true)) return false;
  SLWavState* s = m_state;
  if (!s->started) return SLFail(SL_E_NOT_STARTED, false);
  // A decoder that failed to start is not started; one that fails to stop keeps the
  // stream started.
  if (s->decoder && !s->decoder->Stop() && SLGetLastError() != SL_E_NOT_STARTED) return false;
  if (s->headerPrepared) {
    s->header.cbSrcLength = kConvertSourceBytes;
    s->header.cbDstLength = s->convertedSize;
    s->acm.pAcmStreamUnprepareHeader(s->acmStream, &s->header, 0);
    s->headerPrepared = false;
  }
  SLFree(s->source);
  SLFree(s->converted);
  s->source = s->converted = nullptr;
  SLFree(s->output);
  SLFree(s->staging);
  s->output = s->staging = nullptr;
  s->outputCapacity = s->stagingFrames = 0;
  s->started = false;
  return SLSucceed(true);
}

bool CSLVideoAudioReaderWAV::ReadAudio(u32 stream, u64 first, u32 count, const void** samples, u32* got) {
  if (!samples) return SLFail(SL_E_NULL_OUTPUT, false);
  if (!got) return SLFail(SL_E_MEDIA_NULL_COUNT, false);
  *samples = nullptr;
  *got = 0;
  if (!CheckStream(stream, true)) return false;
  SLWavState* s = m_state;
  if (!s->started) return SLFail(SL_E_NOT_STARTED, false);
  *samples = s->output;
  count = ClipAudioRange(first, count, s->length);
  if (s->decoder) {
    const i16* pcm = nullptr;
    const bool ok = s->decoder->DecodeFrame(first, count, &pcm, got);
    *samples = pcm;
    return ok;
  }
  u64 bytes = 0;
  if (!SLCheckedMul(count, s->blockAlign, &bytes) || !SLFitsU32(bytes)) return SLFail(SL_E_OUT_OF_MEMORY, false);
  // A data size beyond the storage's end shows before the buffer grows for it: strictly
  // such a read fails as the read would, leniently it ends where the storage does.
  u64 storageSize = 0;
  if (count && !s->acmStream && m_source->GetSize(&storageSize)) {
    const u64 start = s->dataStart + first * s->storedFrame;
    const u64 present = start < storageSize ? (storageSize - start) / s->storedFrame : 0;
    if (present < count) {
      if (!s->lenient) return SLFail(SL_E_STORAGE_EOF, false);
      count = u32(present);
      bytes = u64(count) * s->blockAlign;
    }
  }
  if (count == 0) return SLSucceed(true);
  if (bytes > s->outputCapacity) {
    void* grown = SLRealloc(s->output, u32(bytes));
    if (!grown) return false;
    s->output = static_cast<u8*>(grown);
    s->outputCapacity = u32(bytes);
    *samples = s->output;
  }
  return s->acmStream ? ReadConverted(first, count, got) : ReadPcm(first, count, got);
}

// Frames [first, first + count) lie inside the data chunk (the caller clipped them to the
// length), so no read passes the chunk's end.
bool CSLVideoAudioReaderWAV::ReadPcm(u64 first, u32 count, u32* got) {
  SLWavState* s = m_state;
  const u64 position = s->dataStart + first * s->storedFrame;
  if (position > u64(INT64_MAX)) return SLFail(SL_E_STORAGE_SEEK, false);
  if (!m_source->Seek(i64(position), SL_SEEK_BEGIN)) return false;
  if (!s->staging) {
    const u64 wanted = u64(count) * s->storedFrame;
    const u64 done = m_source->Read(s->output, wanted);
    if (done != wanted && !s->lenient) return false;
    *got = u32(done / s->storedFrame);
    return SLSucceed(true);
  }
  const u32 container = s->bitsPerSample / 8;
  u8* out = s->output;
  while (*got < count) {
    const u32 frames = count - *got < s->stagingFrames ? count - *got : s->stagingFrames;
    const u64 wanted = u64(frames) * s->storedFrame;
    const u64 done = m_source->Read(s->staging, wanted);
    const u32 whole = u32(done / s->storedFrame);
    WidenStoredFrames(s->staging, out, whole, s->channels, s->storedFrame, s->storedSlot, container);
    out += u64(whole) * s->blockAlign;
    *got += whole;
    if (done != wanted) {
      if (!s->lenient) {
        *got = 0;
        return false;
      }
      break;
    }
  }
  return SLSucceed(true);
}

u32 CSLVideoAudioReaderWAV::GetSignatureSize() { return SLSucceed(12u); }

bool CSLVideoAudioReaderWAV::CheckSignature(const void* header, u32 size) {
  if (!header || size < 12) return SLFail(SL_E_INVALID_ARG, false);
  const u8* bytes = static_cast<const u8*>(header);
  return SLSucceed(SLLoadLE32(bytes) == FourCC("RIFF") && SLLoadLE32(bytes + 8) == FourCC("WAVE"));
}

const char* CSLVideoAudioReaderWAV::GetExtensionA(u32 index) {
  return index == 0 ? SLSucceed("WAV") : SLFail(SL_E_INDEX, static_cast<const char*>(nullptr));
}

const SLWChar* CSLVideoAudioReaderWAV::GetExtensionW(u32 index) {
  return index == 0 ? SLSucceed(u"WAV") : SLFail(SL_E_INDEX, static_cast<const SLWChar*>(nullptr));
}
