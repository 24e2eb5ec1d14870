// The parser's life cycle and the finishing of the streams once the file has been walked:
// flat indexes, frame rates, variable bit-rate audio, lengths and each chunk's first sample.
#include "media/avi/AviParser.h"

#include <cmath>

#include "foundation/SLByteOrder.h"
#include "foundation/SLError.h"
#include "foundation/SLMemory.h"

u16 AviStreamInfo::FormatTag() const { return format && formatSize >= 2 ? SLLoadLE16(format) : 0; }
u32 AviStreamInfo::AvgBytesPerSec() const { return format && formatSize >= 16 ? SLLoadLE32(format + 8) : 0; }
u16 AviStreamInfo::BlockAlign() const { return format && formatSize >= 16 ? SLLoadLE16(format + 12) : 0; }

void* AviStreamInfo::operator new(std::size_t size) noexcept { return SLAllocZero(u32(size)); }
void AviStreamInfo::operator delete(void* block) noexcept { SLInternals::SLFreeKeepingError(block); }
AviStreamInfo::~AviStreamInfo() { SLInternals::SLFreeKeepingError(format); }

void* AviParser::operator new(std::size_t size) noexcept { return SLAlloc(u32(size)); }
void AviParser::operator delete(void* block) noexcept { SLInternals::SLFreeKeepingError(block); }

AviParser::AviParser()
    : m_storage(nullptr),
      m_indexRebuilt(false),
      m_paletteChanges(false),
      m_segmentText(nullptr),
      m_codePage(0),
      m_countryCode(0),
      m_language(0),
      m_dialect(0),
      m_infoTexts(nullptr),
      m_openFlags(0),
      m_startedMask(0),
      m_startedStreams(nullptr),
      m_readerFlags(0),
      m_microsecondsPerFrame(0),
      m_haveMainHeader(false),
      m_fileSize(0),
      m_readAhead(nullptr),
      m_readAheadStart(0),
      m_readAheadLength(0),
      m_lastReadEnd(0) {}

AviParser::~AviParser() { Reset(); }

void AviParser::Reset() {
  SLErrorKeeper keep;
  for (AviStreamInfo* info : m_streams) delete info;
  m_streams.Free();
  SLFree(m_segmentText);
  m_segmentText = nullptr;
  while (m_infoTexts) {
    AviInfoText* next = m_infoTexts->next;
    SLFree(m_infoTexts);
    m_infoTexts = next;
  }
  m_storage = nullptr;
  m_indexRebuilt = m_paletteChanges = m_haveMainHeader = false;
  m_codePage = m_countryCode = m_language = m_dialect = 0;
  m_openFlags = m_readerFlags = m_microsecondsPerFrame = 0;
  m_startedMask = 0;
  m_startedStreams = nullptr;
  m_fileSize = 0;
  SLFree(m_readAhead);
  m_readAhead = nullptr;
  m_readAheadStart = 0;
  m_readAheadLength = 0;
  m_lastReadEnd = 0;
}

bool AviParser::Open(CSLBaseStorage* storage, u32 flags) {
  Reset();
  if (!storage) return SLFail(SL_E_NULL_DATA, false);
  m_storage = storage;
  m_openFlags = flags;
  if (!Parse() || !FinishStreams()) {
    Reset();  // keeps the parse's code
    return false;
  }
  return SLSucceed(true);
}

u32 AviParser::GetStreamCount() const {
  if (!m_storage) return SLFail(SL_E_NOT_INITIALISED, 0u);
  return SLSucceed(m_streams.GetCount());
}

AviStreamInfo* AviParser::GetStream(u32 stream) const {
  if (stream >= m_streams.GetCount()) return SLFail(SL_E_MEDIA_NO_STREAM, static_cast<AviStreamInfo*>(nullptr));
  return SLSucceed(m_streams[stream]);
}

AviStreamInfo* AviParser::StreamForQuery(u32 stream) const {
  if (!m_storage) return SLFail(SL_E_NOT_INITIALISED, static_cast<AviStreamInfo*>(nullptr));
  return GetStream(stream);
}

bool AviParser::StartStream(u32 stream) {
  if (!StreamForQuery(stream)) return false;
  if (stream < 64) m_startedMask |= u64(1) << stream;
  return SLSucceed(true);
}

bool AviParser::StopStream(u32 stream) {
  if (!StreamForQuery(stream)) return false;
  if (stream < 64) m_startedMask &= ~(u64(1) << stream);
  return SLSucceed(true);
}

bool AviParser::IsStreamStarted(u32 stream) const {
  return stream < 64 && (m_startedMask & (u64(1) << stream)) != 0;
}

const char* AviParser::GetInfoText(u32 tag) const {
  for (const AviInfoText* node = m_infoTexts; node; node = node->next)
    if (node->tag == tag) return node->text;
  return nullptr;
}

bool AviParser::FinishStreams() {
  for (AviStreamInfo* info : m_streams)
    if (!FinishStream(info)) return false;
  return SLSucceed(true);
}

bool AviParser::FinishStream(AviStreamInfo* info) {
  if (!info->index.Flatten()) return SLFail(SL_E_OUT_OF_MEMORY, false);
  info->entries = info->index.GetFlat();
  info->entryCount = info->index.GetFlatCount();

  AviStreamHeader& header = info->header;
  bool video = header.type == AviFourCC("vids");
  bool audio = header.type == AviFourCC("auds");
  if (video) {
    header.sampleSize = 0;
    if ((header.rate == 0 || header.scale == 0) && m_haveMainHeader) {
      header.rate = 1000000;
      header.scale = m_microsecondsPerFrame;
    }
  } else if (audio && (header.rate == 0 || header.scale == 0)) {
    // An audio stream without a format reads its values as 0 and falls through to the
    // default below; the reader refuses to start such a stream.
    header.rate = info->AvgBytesPerSec();
    header.scale = info->BlockAlign();
  }
  if (header.rate == 0 || header.scale == 0) {
    header.rate = 15;
    header.scale = 1;
  }

  if (audio) {
    u32 blockAlign = info->BlockAlign();
    header.sampleSize = blockAlign;
    // Chunks smaller than one block (the last one aside) mean the blocks are not fixed:
    // MPEG audio stored with the frame's sample count as its "block". Such a stream is read
    // as bytes and timed by its chunks.
    bool variable = false;
    for (u64 i = 0; info->entryCount > 1 && i + 1 < info->entryCount; ++i) {
      u32 size = info->entries[i].Size();
      if (size != 0 && size < blockAlign) {
        variable = true;
        break;
      }
    }
    if (variable) {
      info->savedRate = header.rate;
      info->savedScale = header.scale;
      info->savedBlockAlign = blockAlign;
      if (info->FormatTag() == 0x55) SLStoreLE16(info->format + 12, 1);
      info->variableBitRate = true;
      double bytesPerSecond = double(info->totalBytes) / double(info->entryCount) * double(header.rate) /
                              double(header.scale);
      bytesPerSecond = std::nearbyint(bytesPerSecond);
      header.rate = bytesPerSecond >= 4294967295.0 ? 0xFFFFFFFFu : bytesPerSecond < 1.0 ? 1u : u32(bytesPerSecond);
      header.scale = header.sampleSize = info->BlockAlign();
    }
  }

  info->length = header.sampleSize == 0 ? info->entryCount : info->totalBytes / header.sampleSize;
  info->sampleSize = header.sampleSize;
  if (audio) info->sampleSize = info->BlockAlign() == 0 ? 1 : info->BlockAlign();

  u64 running = 0;
  for (u64 i = 0; i < info->entryCount; ++i) {
    info->entries[i].firstSample = info->sampleSize == 0 ? i : running / info->sampleSize;
    running += info->entries[i].Size();
  }
  info->cachedEntry = 0;
  info->cachedEntryStart = 0;
  return SLSucceed(true);
}
