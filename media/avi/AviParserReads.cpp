// What the AVI reader asks of a parsed file: key frames, the mapping between samples,
// chunks and time, and reads of chunks, samples and a stream's bytes.
//
// Frame streams (sample size 0) hold one frame per chunk, so frame n is entry n. Sample
// streams hold whole blocks of `sampleSize` bytes spread over chunks of any size; entry i
// starts at sample entries[i].firstSample.
#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "media/avi/AviParser.h"

namespace {

using u128 = unsigned __int128;

constexpr u32 kReadAheadBytes = 32768;

u64 ClampToU64(u128 value) { return value > u128(~u64(0)) ? ~u64(0) : u64(value); }

// round(numerator / denominator) without overflow; the denominator is never 0.
u64 RoundedQuotient(u128 numerator, u128 denominator) {
  return ClampToU64((numerator + denominator / 2) / denominator);
}

// How many of the stream's own frames a chunk of variable bit-rate audio holds.
u64 FramesOfChunk(const AviStreamInfo* info, u64 entry) {
  u64 size = info->entries[entry].Size();
  return (size + info->savedBlockAlign - 1) / info->savedBlockAlign;
}

u64 VariableRateMicroseconds(const AviStreamInfo* info, u64 frames) {
  return RoundedQuotient(u128(frames) * info->savedScale * 1000000u, info->savedRate);
}

}  // namespace

bool AviParser::IsKeyFrame(u32 stream, u64 frame) {
  AviStreamInfo* info = StreamForQuery(stream);
  if (!info) return false;
  if (frame >= info->entryCount) return SLFail(SL_E_MEDIA_FRAME_RANGE, false);
  if (info->sampleSize != 0) return SLSucceed(true);
  return SLSucceed(info->entries[frame].IsKey());
}

bool AviParser::GetPreviousKeyFrame(u32 stream, u64* frame) {
  AviStreamInfo* info = StreamForQuery(stream);
  if (!info) return false;
  if (!frame) return SLFail(SL_E_NULL_OUTPUT, false);
  u64 at = *frame;
  if (at >= info->entryCount) return SLFail(SL_E_MEDIA_FRAME_RANGE, false);
  if (info->sampleSize != 0) {
    *frame = at > 0 ? at - 1 : 0;
    return SLSucceed(true);
  }
  while (at > 0 && !info->entries[at].IsKey()) --at;
  *frame = at;
  return SLSucceed(true);
}

bool AviParser::GetEntryOfSample(u32 stream, u64 sample, u64* entry) {
  AviStreamInfo* info = StreamForQuery(stream);
  if (!info) return false;
  if (!entry) return SLFail(SL_E_NULL_OUTPUT, false);
  if (sample >= info->length) return SLFail(SL_E_MEDIA_FRAME_RANGE, false);
  if (info->sampleSize == 0) {
    *entry = sample;
    return SLSucceed(true);
  }
  // The last entry starting at or before the sample: entries that start at the same
  // sample (empty chunks, or chunks smaller than a block) give way to the one after them.
  u64 low = 0, high = info->entryCount;
  while (low < high) {
    u64 middle = low + (high - low) / 2;
    if (info->entries[middle].firstSample <= sample)
      low = middle + 1;
    else
      high = middle;
  }
  if (low == 0) return SLFail(SL_E_MEDIA_FRAME_RANGE, false);
  *entry = low - 1;
  return SLSucceed(true);
}

bool AviParser::GetFirstSampleOfEntry(u32 stream, u64 entry, u64* sample) {
  AviStreamInfo* info = StreamForQuery(stream);
  if (!info) return false;
  if (!sample) return SLFail(SL_E_NULL_OUTPUT, false);
  if (entry >= info->entryCount) return SLFail(SL_E_MEDIA_FRAME_RANGE, false);
  *sample = info->sampleSize == 0 ? entry : info->entries[entry].firstSample;
  return SLSucceed(true);
}

bool AviParser::GetTimeOfSample(u32 stream, u64 sample, u64* microseconds) {
  AviStreamInfo* info = StreamForQuery(stream);
  if (!info) return false;
  if (!microseconds) return SLFail(SL_E_NULL_OUTPUT, false);
  if (sample >= info->length) return SLFail(SL_E_MEDIA_FRAME_RANGE, false);
  if (!info->variableBitRate) {
    *microseconds = RoundedQuotient(u128(sample) * info->header.scale * 1000000u, info->header.rate);
    return SLSucceed(true);
  }
  u64 entry = 0;
  if (!GetEntryOfSample(stream, sample, &entry)) return false;
  u64 frames = 0;
  for (u64 i = 0; i < entry; ++i) frames += FramesOfChunk(info, i);
  *microseconds = VariableRateMicroseconds(info, frames);
  return SLSucceed(true);
}

bool AviParser::GetChunkAtTime(u32 stream, u64 microseconds, u64* entry, u64* entryMicroseconds) {
  AviStreamInfo* info = StreamForQuery(stream);
  if (!info) return false;
  if (!entry || !entryMicroseconds) return SLFail(SL_E_NULL_OUTPUT, false);
  if (!info->variableBitRate) {
    u64 sample = RoundedQuotient(u128(microseconds) * info->header.rate, u128(info->header.scale) * 1000000u);
    if (sample >= info->length) return SLFail(SL_E_INVALID_ARG, false);
    u64 found = 0, first = 0;
    if (!GetEntryOfSample(stream, sample, &found) || !GetFirstSampleOfEntry(stream, found, &first) ||
        !GetTimeOfSample(stream, first, entryMicroseconds))
      return false;
    *entry = found;
    return SLSucceed(true);
  }
  // Variable bit-rate audio is timed by its chunks: each holds as many of the stream's
  // original frames as its size fills blocks of the original alignment.
  u64 frames = 0;
  for (u64 i = 0; i < info->entryCount; ++i) {
    u64 start = VariableRateMicroseconds(info, frames);
    frames += FramesOfChunk(info, i);
    if (microseconds < VariableRateMicroseconds(info, frames)) {
      *entry = i;
      *entryMicroseconds = start;
      return SLSucceed(true);
    }
  }
  return SLFail(SL_E_INVALID_ARG, false);
}

bool AviParser::ReadDirect(u64 offset, void* buffer, u32 count) {
  if (offset > u64(INT64_MAX) || !m_storage->Seek(i64(offset), SL_SEEK_BEGIN)) return SLFail(SL_E_STORAGE_READ, false);
  if (m_storage->Read(buffer, count) == count) return true;
  u32 code = SLGetLastError();
  return SLFail(code ? code : SL_E_STORAGE_READ, false);
}

bool AviParser::ReadAt(u64 offset, void* buffer, u32 count) {
  if (count == 0) return true;  // an empty chunk (a dropped frame) has nothing to read
  // Offsets come from the file's index and may lie anywhere: no sum here may wrap.
  if (offset >= m_readAheadStart && offset - m_readAheadStart <= m_readAheadLength &&
      count <= m_readAheadLength - (offset - m_readAheadStart)) {
    SLMemCopy(buffer, m_readAhead + (offset - m_readAheadStart), count);
    m_lastReadEnd = offset + count;
    return true;
  }
  // Reading ahead pays only when the reads go forward in small steps, as playback of an
  // interleaved file does; a jump or a large chunk is read where it is.
  bool forward = offset >= m_lastReadEnd && offset - m_lastReadEnd <= kReadAheadBytes / 2;
  m_lastReadEnd = offset + count;
  if (!forward || count > kReadAheadBytes / 2 || offset >= m_fileSize) return ReadDirect(offset, buffer, count);
  if (!m_readAhead) m_readAhead = static_cast<u8*>(SLAlloc(kReadAheadBytes));
  if (!m_readAhead) return ReadDirect(offset, buffer, count);
  u64 available = m_fileSize - offset;
  u32 length = available < kReadAheadBytes ? u32(available) : kReadAheadBytes;
  m_readAheadLength = 0;
  if (length < count) return ReadDirect(offset, buffer, count);  // the read reports the file's end
  if (!ReadDirect(offset, m_readAhead, length)) return false;
  m_readAheadStart = offset;
  m_readAheadLength = length;
  SLMemCopy(buffer, m_readAhead, count);
  return true;
}

bool AviParser::LocateByte(AviStreamInfo* info, u64 position, u64* entry, u64* entryStart) {
  u64 at = 0, start = 0;
  if (info->cachedEntry < info->entryCount && info->cachedEntryStart <= position) {
    at = info->cachedEntry;
    start = info->cachedEntryStart;
  }
  while (at < info->entryCount && start + info->entries[at].Size() <= position) start += info->entries[at++].Size();
  if (at == info->entryCount) return false;
  *entry = at;
  *entryStart = start;
  return true;
}

bool AviParser::ReadStreamBytes(AviStreamInfo* info, u64 position, u8* out, u64 count, u64* got) {
  *got = 0;
  u64 entry = 0, entryStart = 0;
  if (count == 0 || !LocateByte(info, position, &entry, &entryStart)) return true;
  while (*got < count && entry < info->entryCount) {
    u32 size = info->entries[entry].Size();
    u64 inside = position + *got - entryStart;
    if (inside < size) {
      u64 piece = size - inside < count - *got ? size - inside : count - *got;
      if (!ReadAt(info->entries[entry].offset + 8 + inside, out + *got, u32(piece))) return false;
      *got += piece;
      if (*got == count) break;
    }
    entryStart += size;
    ++entry;
  }
  // The next sequential read starts here instead of walking the index from the start.
  if (entry < info->entryCount) {
    info->cachedEntry = entry;
    info->cachedEntryStart = entryStart;
  }
  return true;
}

bool AviParser::ReadSamples(u32 stream, u64 first, u32 count, void* buffer, u32 bufferSize, u64* bytesRead,
                            u32* samplesRead) {
  if (bytesRead) *bytesRead = 0;
  if (samplesRead) *samplesRead = 0;
  AviStreamInfo* info = StreamForQuery(stream);
  if (!info) return false;
  if (first >= info->length) return SLFail(SL_E_MEDIA_FRAME_RANGE, false);
  if (count > info->length - first) count = u32(info->length - first);
  auto* out = static_cast<u8*>(buffer);

  if (info->sampleSize == 0) {
    // Whole chunks, as many as fit; a buffer smaller than the first one learns its size.
    u64 bytes = 0;
    u32 frames = 0;
    if (!out) {
      for (; frames < count; ++frames) bytes += info->entries[first + frames].Size();
    } else if (count > 0) {
      u32 firstSize = info->entries[first].Size();
      if (firstSize > bufferSize) {
        if (bytesRead) *bytesRead = firstSize;
        if (samplesRead) *samplesRead = 1;
        return SLFail(SL_E_BUFFER_TOO_SMALL, false);
      }
      for (; frames < count; ++frames) {
        const AviIndexEntry& entry = info->entries[first + frames];
        if (bytes + entry.Size() > bufferSize) break;
        if (!ReadAt(entry.offset + 8, out + bytes, entry.Size())) return false;
        bytes += entry.Size();
      }
    }
    if (bytesRead) *bytesRead = bytes;
    if (samplesRead) *samplesRead = frames;
    return SLSucceed(true);
  }

  u32 sampleSize = info->sampleSize;
  if (!out) {
    if (bytesRead) *bytesRead = u64(count) * sampleSize;
    if (samplesRead) *samplesRead = count;
    return SLSucceed(true);
  }
  if (bufferSize < sampleSize) {
    if (bytesRead) *bytesRead = u64(count) * sampleSize;
    return SLFail(SL_E_BUFFER_TOO_SMALL, false);
  }
  if (count > bufferSize / sampleSize) count = bufferSize / sampleSize;
  u64 got = 0;
  if (!ReadStreamBytes(info, first * sampleSize, out, u64(count) * sampleSize, &got)) return false;
  got -= got % sampleSize;
  if (bytesRead) *bytesRead = got;
  if (samplesRead) *samplesRead = u32(got / sampleSize);
  return SLSucceed(true);
}

bool AviParser::ReadEntry(u32 stream, u64 entry, void* buffer, u32* size) {
  if (size) *size = 0;
  AviStreamInfo* info = StreamForQuery(stream);
  if (!info) return false;
  if (entry >= info->entryCount) return SLFail(SL_E_MEDIA_FRAME_RANGE, false);
  u32 chunkSize = info->entries[entry].Size();
  if (size) *size = chunkSize;
  if (buffer && !ReadAt(info->entries[entry].offset + 8, buffer, chunkSize)) return false;
  return SLSucceed(true);
}

bool AviParser::ReadBytes(u32 stream, u64 position, void* buffer, u64 count, u64* bytesRead) {
  if (bytesRead) *bytesRead = 0;
  AviStreamInfo* info = StreamForQuery(stream);
  if (!info) return false;
  if (position >= info->totalBytes) return SLFail(SL_E_STORAGE_EOF, false);
  u64 available = info->totalBytes - position;
  if (count > available) count = available;
  u64 got = count;
  if (buffer && !ReadStreamBytes(info, position, static_cast<u8*>(buffer), count, &got)) {
    if (bytesRead) *bytesRead = got;
    return false;
  }
  if (bytesRead) *bytesRead = got;
  return SLSucceed(true);
}
