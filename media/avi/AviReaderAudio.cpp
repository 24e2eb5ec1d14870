// The AVI reader's audio streams: stored PCM read directly (widened or narrowed to what is
// reported), MPEG audio through the framework's decoder over the stream's chunks, and
// every other encoding through the system's audio converter, repositioned on each read.
#include "foundation/SLByteOrder.h"
#include "foundation/SLError.h"
#include "foundation/SLLibrary.h"
#include "foundation/SLMemory.h"
#include "media/SLRiffAudio.h"
#include "media/avi/AviStreamDecoder.h"
#include "media/avi/SLVideoAudioReaderAVI.h"
#include "media/mpeg/SLMpegAudioDecoder.h"

namespace {

using namespace SLRiffAudio;

// A second of output above this is refused: it sizes the converter's destination buffer.
constexpr u64 kMaxBytesPerSecond = 64u << 20;
constexpr u32 kConversionDoneMessage = 0x3D6;
constexpr u32 kMaxDrainedMessages = 500;

bool IsStoredPcm(const AviStreamInfo* info) { return SLRiffAudio::IsStoredPcm(info->format, info->formatSize); }

// a * b / c without overflow of the product (c > 0).
u64 MulDiv(u64 a, u64 b, u64 c) { return u64((unsigned __int128)a * b / c); }

}  // namespace

// Where a conversion's source bytes come from next: the index entry of the next chunk, and
// the bytes to leave out at the start of that chunk.
struct AviChunkCursor {
  CSLVideoAudioReaderAVI* reader;
  AviStreamDecoder* decoder;
  u64 entry;
  u64 dropBytes;
};

bool CSLVideoAudioReaderAVI::GetAudioFormat(u32 stream, SLAudioFormat* out) {
  if (!out) return SLFail(SL_E_NULL_OUTPUT, false);
  *out = SLAudioFormat{};
  if (!m_parser) return SLFail(SL_E_STORAGE_NOT_OPEN, false);
  AviStreamInfo* info = m_parser->GetStream(stream);
  if (!info) return SLFail(SL_E_MEDIA_NO_STREAM, false);
  if (info->header.type != AviFourCC("auds")) return SLFail(SL_E_MEDIA_NOT_AUDIO, false);
  if (!info->format || info->formatSize < 16) return SLFail(SL_E_BAD_FORMAT, false);
  if (AviStreamDecoder* d = FindDecoder(stream); d && d->mpeg && d->audioFormat.formatTag) {
    *out = d->audioFormat;  // what the MPEG decoder hands out, whatever the stream header claimed
    return SLSucceed(true);
  }
  const u8* wave = info->format;
  const u32 channels = SLLoadLE16(wave + 2) ? SLLoadLE16(wave + 2) : 1;
  u32 bits = 16;
  if (SLLoadLE16(wave) == kTagPcm) {
    const u32 stored = SLLoadLE16(wave + 14);
    bits = stored < 9 ? 8 : stored <= 16 ? 16 : stored <= 32 ? 32 : 64;
  }
  out->formatTag = 1;
  out->channels = channels;
  out->bitsPerSample = bits;
  out->samplesPerSecond = SLLoadLE32(wave + 4);
  out->blockAlign = bits / 8 * channels;
  out->bytesPerSecond = out->samplesPerSecond * out->blockAlign;
  return SLSucceed(true);
}

bool CSLVideoAudioReaderAVI::GetAudioLength(u32 stream, u64* frames) {
  if (!frames) return SLFail(SL_E_NULL_OUTPUT, false);
  *frames = 0;
  if (!m_parser) return SLFail(SL_E_STORAGE_NOT_OPEN, false);
  AviStreamInfo* info = m_parser->GetStream(stream);
  if (!info) return SLFail(SL_E_MEDIA_NO_STREAM, false);
  if (info->header.type != AviFourCC("auds")) return SLFail(SL_E_MEDIA_NOT_AUDIO, false);
  if (!info->format || info->formatSize < 16) return SLFail(SL_E_BAD_FORMAT, false);
  if (AviStreamDecoder* d = FindDecoder(stream); d && d->audioFormat.formatTag) {
    *frames = d->length;  // lowered to what the MPEG decoder finds
    return SLSucceed(true);
  }
  const u8* wave = info->format;
  const u32 tag = SLLoadLE16(wave);
  const u32 blockAlign = SLLoadLE16(wave + 12);
  // Encoders write the byte rate of block formats loosely; the samples per block of the
  // format's extra bytes count exactly.
  if ((tag == kTagImaAdpcm || tag == kTagMsAdpcm) && blockAlign && info->formatSize >= 20 &&
      SLLoadLE16(wave + 16) >= 2 && SLLoadLE16(wave + 18)) {
    *frames = MulDiv(info->length, SLLoadLE16(wave + 18), 1);
    if (info->length && *frames / info->length != SLLoadLE16(wave + 18)) *frames = ~u64(0);
    return SLSucceed(true);
  }
  const u64 bytes = blockAlign ? info->length * blockAlign : info->length;  // length <= 2^63 / 2^16
  const u32 perSecond = SLLoadLE32(wave + 8) ? SLLoadLE32(wave + 8) : 1;
  *frames = MulDiv(bytes, SLLoadLE32(wave + 4), perSecond);
  return SLSucceed(true);
}

bool CSLVideoAudioReaderAVI::StartAudio(AviStreamDecoder* d) {
  // The length first: once the format is set, GetAudioLength answers from this record.
  if (!GetAudioLength(d->stream, &d->length) || !GetAudioFormat(d->stream, &d->audioFormat)) return false;
  const SLAudioFormat& f = d->audioFormat;
  const u64 bytesPerSecond = u64(f.samplesPerSecond) * f.blockAlign;
  if (bytesPerSecond > kMaxBytesPerSecond || f.samplesPerSecond == 0) return SLFail(SL_E_AUDIO_FORMAT, false);
  d->outputWave = {WAVE_FORMAT_PCM, WORD(f.channels), f.samplesPerSecond, u32(bytesPerSecond), WORD(f.blockAlign),
                   WORD(f.bitsPerSample), 0};
  AviStreamInfo* info = d->info;
  const u32 tag = info->FormatTag();
  if (IsStoredPcm(info)) {
    d->storedFrame = info->BlockAlign();
    d->storedSlot = d->storedFrame / f.channels;
    if (d->storedSlot == 0) return SLFail(SL_E_AUDIO_FORMAT, false);
    return SLSucceed(true);
  }
  if (tag == kTagMpeg || tag == kTagMpegLayer3) {
    d->mpegStorage = new SLInternals::CSL_VideoAvi_Mp3DecoderStg();
    d->mpeg = new SLInternals::CMXMP3_DecoderHelper();
    if (!d->mpegStorage || !d->mpeg) return SLFail(SL_E_OUT_OF_MEMORY, false);
    d->mpegStorage->Attach(d, m_source);
    bool opened = false;
    try {
      opened = d->mpeg->Open(d->mpegStorage, m_source->CanSeek() ? 1 : 0, m_parser->GetOpenFlags());
    } catch (...) {
      return SLFail(SL_E_AUDIO_FORMAT, false);
    }
    if (!opened) return false;
    // The samples handed out are the decoder's: its channels and rate replace the stream
    // header's, which a damaged or careless file may state otherwise.
    const u32 channels = d->mpeg->GetChannels(), rate = d->mpeg->GetSampleRate();
    if (channels == 0 || channels > 2 || rate == 0) return SLFail(SL_E_AUDIO_FORMAT, false);
    d->audioFormat.channels = channels;
    d->audioFormat.samplesPerSecond = rate;
    d->audioFormat.bitsPerSample = 16;
    d->audioFormat.blockAlign = 2 * channels;
    d->audioFormat.bytesPerSecond = rate * 2 * channels;
    const u64 total = d->mpeg->GetTotalSamples();
    if (total < d->length) d->length = total;
    return d->mpeg->Start() ? SLSucceed(true) : false;
  }
  return StartConverter(d);
}

bool CSLVideoAudioReaderAVI::StartConverter(AviStreamDecoder* d) {
  if (!d->acm.Load()) return false;
  d->user32Library = SLLoadLibrary(u"user32.dll");
  if (d->user32Library) {
    SLBindProc(d->user32Library, u"PeekMessageA", &d->pPeekMessageA);
    SLBindProc(d->user32Library, u"PeekMessageW", &d->pPeekMessageW);
  }
  // The converter reads the format's extra bytes by its count: the copy never claims more
  // than the stream stored.
  const u32 formatSize = d->info->formatSize;
  const u32 copySize = formatSize < 18 ? 18 : formatSize;
  d->sourceWave = static_cast<u8*>(SLAllocZeroed(copySize));
  if (!d->sourceWave) return SLFail(SL_E_OUT_OF_MEMORY, false);
  SLMemCopy(d->sourceWave, d->info->format, formatSize);
  if (SLLoadLE16(d->sourceWave + 16) > copySize - 18) SLStoreLE16(d->sourceWave + 16, u16(copySize - 18));
  if (!d->acm.Open(&d->acmStream, d->sourceWave, &d->outputWave)) return false;
  d->destinationSize = d->outputWave.nAvgBytesPerSec;
  d->source = static_cast<u8*>(SLAlloc(kAviAcmSourceBytes));
  d->destination = static_cast<u8*>(SLAlloc(d->destinationSize));
  if (!d->source || !d->destination) return SLFail(SL_E_OUT_OF_MEMORY, false);
  ACMSTREAMHEADER& h = d->acmHeader;
  h = ACMSTREAMHEADER{};
  h.cbStruct = sizeof(ACMSTREAMHEADER);
  h.pbSrc = d->source;
  h.cbSrcLength = kAviAcmSourceBytes;
  h.dwSrcUser = kAviAcmSourceBytes;
  h.pbDst = d->destination;
  h.cbDstLength = d->destinationSize;
  h.dwDstUser = d->destinationSize;
  MMRESULT prepared = ACMERR_NOTPOSSIBLE;
  try {
    prepared = d->acm.pAcmStreamPrepareHeader(d->acmStream, &h, 0);
  } catch (...) {
    prepared = ACMERR_NOTPOSSIBLE;
  }
  if (prepared != MMSYSERR_NOERROR) return SLFail(SL_E_AUDIO_FORMAT, false);
  d->headerPrepared = true;
  SLAcmPump& p = d->pump;
  p.acm = &d->acm;
  p.stream = d->acmStream;
  p.header = &h;
  p.sourceCapacity = kAviAcmSourceBytes;
  p.destinationSize = d->destinationSize;
  p.frameBytes = d->audioFormat.blockAlign;
  p.Restart(0);
  p.start = true;
  // ADPCM blocks hold a known number of frames: positions map onto blocks exactly.
  const u8* wave = d->sourceWave;
  const u32 tag = SLLoadLE16(wave);
  if ((tag == kTagImaAdpcm || tag == kTagMsAdpcm) && SLLoadLE16(wave + 12) && SLLoadLE16(wave + 16) >= 2)
    d->samplesPerBlock = SLLoadLE16(wave + 18);
  return SLSucceed(true);
}

void CSLVideoAudioReaderAVI::StopAudio(AviStreamDecoder* d) {
  if (d->acmStream) {
    try {
      if (d->headerPrepared) {
        d->acmHeader.cbSrcLength = u32(d->acmHeader.dwSrcUser);
        d->acmHeader.cbDstLength = u32(d->acmHeader.dwDstUser);
        d->acm.pAcmStreamUnprepareHeader(d->acmStream, &d->acmHeader, 0);
      }
      d->acm.pAcmStreamClose(d->acmStream, 0);
    } catch (...) {
    }
    d->acmStream = nullptr;
    d->headerPrepared = false;
  }
  if (d->user32Library) SLFreeLibrary(d->user32Library);
  d->acm.Free();
  d->user32Library = nullptr;
  SLFree(d->destination);
  SLFree(d->source);
  SLFree(d->chunk);
  SLFree(d->samples);
  SLFree(d->sourceWave);
  d->destination = d->source = d->chunk = d->samples = d->sourceWave = nullptr;
  d->chunkCapacity = d->samplesCapacity = 0;
  if (d->mpeg) {
    SLErrorKeeper keep;
    d->mpeg->Stop();
    delete d->mpeg;
    d->mpeg = nullptr;
  }
  if (d->mpegStorage) d->mpegStorage->Release();
  d->mpegStorage = nullptr;
}

bool CSLVideoAudioReaderAVI::ReadAudio(u32 stream, u64 first, u32 count, const void** samples, u32* got) {
  if (got) *got = 0;
  if (!samples) return SLFail(SL_E_NULL_OUTPUT, false);
  if (!got) return SLFail(SL_E_MEDIA_NULL_COUNT, false);
  *samples = nullptr;
  AviStreamDecoder* d = StartedDecoder(stream, kAviKindAudio);
  if (!d) return false;
  *samples = d->samples;
  count = ClipAudioRange(first, count, d->length);
  if (count == 0) return SLSucceed(true);
  const bool lenient = m_parser->GetOpenFlags() != 0;
  if (d->mpeg) {
    const i16* decoded = nullptr;
    bool ok = false;
    try {
      ok = d->mpeg->DecodeFrame(first, count, &decoded, got);
    } catch (...) {
      SLSetLastError(SL_E_DECODE_DATA);
    }
    *samples = decoded;
    if (!ok && lenient) {
      *got = 0;
      return SLSucceed(true);
    }
    return ok ? SLSucceed(true) : false;
  }
  u64 bytes = 0;
  if (!SLCheckedMul(count, d->audioFormat.blockAlign, &bytes) || !SLFitsU32(bytes))
    return SLFail(SL_E_OUT_OF_MEMORY, false);
  if (bytes > d->samplesCapacity) {
    SLFree(d->samples);
    d->samplesCapacity = 0;
    d->samples = static_cast<u8*>(SLAlloc(u32(bytes)));
    if (!d->samples) return SLFail(SL_E_OUT_OF_MEMORY, false);
    d->samplesCapacity = u32(bytes);
  }
  *samples = d->samples;
  const bool ok = d->acmStream ? ReadConverted(d, first, count, got) : ReadPcm(d, first, count, got);
  if (!ok && lenient) {
    *got = 0;
    return SLSucceed(true);
  }
  return ok ? SLSucceed(true) : false;
}

bool CSLVideoAudioReaderAVI::ReadPcm(AviStreamDecoder* d, u64 first, u32 count, u32* got) {
  const u32 container = d->audioFormat.bitsPerSample / 8;
  const bool direct = d->storedFrame == d->audioFormat.blockAlign && d->storedSlot == container &&
                      (container != 1 || d->info->FormatTag() == kTagPcm);
  u64 bytes = 0;
  if (direct) return m_parser->ReadSamples(d->stream, first, count, d->samples, d->samplesCapacity, &bytes, got);
  // Stored frames pass through the chunk buffer on their way to the reported width.
  const u32 stagingFrames = d->storedFrame >= kAviAcmSourceBytes ? 1 : kAviAcmSourceBytes / d->storedFrame;
  if (!d->chunk) {
    d->chunk = static_cast<u8*>(SLAlloc(stagingFrames * d->storedFrame));
    if (!d->chunk) return SLFail(SL_E_OUT_OF_MEMORY, false);
    d->chunkCapacity = stagingFrames * d->storedFrame;
  }
  u8* out = d->samples;
  while (*got < count) {
    const u32 wanted = count - *got < stagingFrames ? count - *got : stagingFrames;
    u32 read = 0;
    if (!m_parser->ReadSamples(d->stream, first + *got, wanted, d->chunk, d->chunkCapacity, &bytes, &read)) return false;
    WidenStoredFrames(d->chunk, out, read, d->audioFormat.channels, d->storedFrame, d->storedSlot, container);
    out += u64(read) * d->audioFormat.blockAlign;
    *got += read;
    if (read < wanted) break;
  }
  return SLSucceed(true);
}

// Reads the chunk of index entry `entry` into the chunk buffer.
bool CSLVideoAudioReaderAVI::ReadNextChunk(AviStreamDecoder* d, u64 entry) {
  const AviIndexEntry& e = d->info->entries[entry];
  const u32 size = e.Size();
  u64 fileSize = 0;
  if (m_source->GetSize(&fileSize) && (e.offset > fileSize || fileSize - e.offset < u64(size) + 8))
    return SLFail(SL_E_STORAGE_READ, false);
  if (size > d->chunkCapacity) {
    SLFree(d->chunk);
    d->chunkCapacity = 0;
    d->chunk = static_cast<u8*>(SLAlloc(size));
    if (!d->chunk) return SLFail(SL_E_OUT_OF_MEMORY, false);
    d->chunkCapacity = size;
  }
  u32 got = 0;
  if (size && !m_parser->ReadEntry(d->stream, entry, d->chunk, &got)) return false;
  d->chunkFill = size;
  d->chunkRead = 0;
  return true;
}

bool CSLVideoAudioReaderAVI::ReadConverted(AviStreamDecoder* d, u64 first, u32 count, u32* got) {
  AviStreamInfo* info = d->info;
  const u32 rate = d->audioFormat.samplesPerSecond;
  const u32 sourceBlock = info->BlockAlign() ? info->BlockAlign() : 1;
  // Decoding starts up to a second early so that codecs whose state spans blocks settle.
  u64 start = first < rate ? 0 : first - rate;
  u64 skip = first - start;
  u64 entry = 0, dropBytes = 0;
  if (info->entryCount == 0) return SLSucceed(true);
  if (info->variableBitRate) {
    const u64 microseconds = u64(double(start) / (double(rate) * 1e-6) + 0.5);
    u64 entryMicroseconds = 0;
    if (!m_parser->GetChunkAtTime(d->stream, microseconds, &entry, &entryMicroseconds)) return false;
    const u64 entryStart = MulDiv(entryMicroseconds, rate, 1000000);
    skip += start > entryStart ? start - entryStart : 0;
  } else {
    // The block holding the start sample, and the sample at which that block begins.
    u64 block = 0, blockStart = 0;
    if (d->samplesPerBlock) {
      block = start / d->samplesPerBlock;
      blockStart = block * d->samplesPerBlock;
    } else {
      const u64 blocksPerSecondNum = info->header.rate, blocksPerSecondDen = info->header.scale;
      block = u64((unsigned __int128)start * blocksPerSecondNum / ((unsigned __int128)blocksPerSecondDen * rate));
      blockStart = u64((unsigned __int128)block * blocksPerSecondDen * rate / blocksPerSecondNum);
      if (blockStart > start && block > 0) {
        --block;
        blockStart = u64((unsigned __int128)block * blocksPerSecondDen * rate / blocksPerSecondNum);
      }
      if (blockStart > start) blockStart = start;
    }
    if (block >= info->length) return SLSucceed(true);
    skip += start - blockStart;
    if (!m_parser->GetEntryOfSample(d->stream, block, &entry)) return false;
    dropBytes = (block - info->entries[entry].firstSample) * sourceBlock;
  }

  // The platform's converter may have posted completion notices to this thread.
  MSG message;
  for (u32 i = 0; i < kMaxDrainedMessages; ++i) {
    const HWND thread = reinterpret_cast<HWND>(intptr_t(-1));
    BOOL found = FALSE;
    if (d->pPeekMessageA)
      found = d->pPeekMessageA(&message, thread, kConversionDoneMessage, kConversionDoneMessage, 3);
    else if (d->pPeekMessageW)
      found = d->pPeekMessageW(&message, thread, kConversionDoneMessage, kConversionDoneMessage, 3);
    if (!found) break;
  }

  d->chunkFill = d->chunkRead = 0;
  SLAcmPump& p = d->pump;
  p.lenient = m_parser->GetOpenFlags() != 0;
  p.Restart(skip);
  AviChunkCursor cursor{this, d, entry, dropBytes};
  const auto next = [](SLAcmPump* pump, void* context, u8* to, u32 room, u32* written) {
    AviChunkCursor* c = static_cast<AviChunkCursor*>(context);
    return c->reader->NextSourceBytes(pump, c, to, room, written);
  };
  return p.Read(next, &cursor, d->samples, count, got);
}

// The converter's source bytes: the stream's chunks in index order from the cursor's
// entry on, the first one less its leading `dropBytes`.
bool CSLVideoAudioReaderAVI::NextSourceBytes(SLAcmPump* pump, AviChunkCursor* c, u8* to, u32 room, u32* written) {
  AviStreamDecoder* d = c->decoder;
  while (*written < room) {
    if (d->chunkRead == d->chunkFill) {
      if (c->entry >= d->info->entryCount) {
        pump->exhausted = true;
        break;
      }
      if (!ReadNextChunk(d, c->entry++)) return false;
      if (c->dropBytes) {
        d->chunkRead = c->dropBytes < d->chunkFill ? u32(c->dropBytes) : d->chunkFill;
        c->dropBytes = 0;
      }
      continue;
    }
    u32 take = d->chunkFill - d->chunkRead;
    if (take > room - *written) take = room - *written;
    SLMemCopy(to + *written, d->chunk + d->chunkRead, take);
    *written += take;
    d->chunkRead += take;
  }
  return true;
}
