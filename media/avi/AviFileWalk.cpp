// Walking an AVI file: the RIFF chunk walk, the stream lists, the OpenDML and idx1 indexes
// and, for files without either, rebuilding the index by scanning the "movi" data.
//
// The walk is flat: entering a list means reading its chunks as the next chunks of the walk,
// so list ends are not tracked (except the INFO list's, which decides whether a tag is a
// text of the file). The storage's size bounds everything; the RIFF size field is ignored,
// as files cut short or grown past it by their writers are common.
//
// Nothing read from the file is allocated, copied or followed before it is checked against
// the storage's size: a stream list must lie inside the storage and its chunks inside the
// list, an index's entries inside the storage, and all streams together cannot hold more
// entries than the file has room for 8-byte chunk headers. An index of indexes names only
// standard indexes, each at most once, so hostile files cannot recurse or multiply entries.
#include <cstddef>
#include <new>
#include <unordered_set>

#include "foundation/SLByteOrder.h"
#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "media/avi/AviParser.h"

namespace {

constexpr u32 kRiff = AviFourCC("RIFF");
constexpr u32 kList = AviFourCC("LIST");
constexpr u32 kAvi = AviFourCC("AVI ");
constexpr u32 kAvix = AviFourCC("AVIX");
constexpr u32 kMovi = AviFourCC("movi");
constexpr u32 kHdrl = AviFourCC("hdrl");
constexpr u32 kRec = AviFourCC("rec ");
constexpr u32 kInfo = AviFourCC("INFO");
constexpr u32 kStrl = AviFourCC("strl");
constexpr u32 kStrh = AviFourCC("strh");
constexpr u32 kStrf = AviFourCC("strf");
constexpr u32 kIndx = AviFourCC("indx");
constexpr u32 kIdx1 = AviFourCC("idx1");
constexpr u32 kAvih = AviFourCC("avih");
constexpr u32 kSegm = AviFourCC("segm");
constexpr u32 kCset = AviFourCC("CSET");
constexpr u32 kVids = AviFourCC("vids");

constexpr u32 kInfoTags[] = {
    AviFourCC("IARL"), AviFourCC("IART"), AviFourCC("ICMS"), AviFourCC("ICMT"), AviFourCC("ICOP"),
    AviFourCC("ICRD"), AviFourCC("ICRP"), AviFourCC("IDIM"), AviFourCC("IDPI"), AviFourCC("IENG"),
    AviFourCC("IGNR"), AviFourCC("IKEY"), AviFourCC("ILGT"), AviFourCC("IMED"), AviFourCC("INAM"),
    AviFourCC("IPLT"), AviFourCC("IPRD"), AviFourCC("ISBJ"), AviFourCC("ISFT"), AviFourCC("ISHP"),
    AviFourCC("ISRC"), AviFourCC("ISRF"), AviFourCC("ITCH")};
constexpr u32 kMaxInfoText = 4096;

// Codecs whose every frame stands alone; other codecs rely on the index's key-frame flags.
constexpr u32 kIntraOnlyCodecs[] = {
    0,                 AviFourCC("DIB "), AviFourCC("RAW "), AviFourCC("I420"), AviFourCC("bt20"),
    AviFourCC("dmb1"), AviFourCC("YV12"), AviFourCC("YUV2"), AviFourCC("MJPG"), AviFourCC("Y41P"),
    AviFourCC("HFYU"), AviFourCC("VYUY"), AviFourCC("YVYU"), AviFourCC("UYVY"), AviFourCC("mjpg"),
    AviFourCC("cyuv")};

constexpr u32 kIdx1Batch = 32;             // records read at a time
constexpr u32 kOpenDmlBatchBytes = 1024;  // entries read at a time
constexpr u32 kScanWindow = 16384;

// Letters, digits, punctuation and blanks: what a chunk id is made of.
bool IsChunkIdByte(u8 c) { return c >= 0x20 && c <= 0x7E; }
bool IsChunkId(u32 id) {
  return IsChunkIdByte(u8(id)) && IsChunkIdByte(u8(id >> 8)) && IsChunkIdByte(u8(id >> 16)) &&
         IsChunkIdByte(u8(id >> 24));
}

int HexValue(u8 c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The stream number of a data chunk id ("01wb" is stream 1), or -1.
int StreamOfChunkId(u32 id) {
  int high = HexValue(u8(id)), low = HexValue(u8(id >> 8));
  return high < 0 || low < 0 ? -1 : high * 16 + low;
}

// "##pc": a palette change, never indexed.
bool IsPaletteChange(u32 id) { return u8(id >> 16) == 'p' && u8(id >> 24) == 'c'; }

template <size_t N>
bool IsOneOf(u32 value, const u32 (&table)[N]) {
  for (u32 item : table)
    if (item == value) return true;
  return false;
}

u64 PaddedSize(u64 size) { return size + (size & 1); }

}  // namespace

class AviFileWalk {
 public:
  explicit AviFileWalk(AviParser* parser)
      : m_parser(parser), m_storage(parser->m_storage), m_infoTail(&parser->m_infoTexts) {}
  ~AviFileWalk() { SLInternals::SLFreeKeepingError(m_window); }
  bool Run();

 private:
  bool SeekTo(u64 position);
  // Reads exactly `count` bytes at the current position; a short read keeps the read's
  // code, or `failure` when the read left none.
  bool ReadExact(void* buffer, u32 count, u32 failure);
  bool WalkChunk(u32 id, u32 size, u64 dataPosition, bool* endWalk);
  bool WalkList(u32 size, u64 dataPosition, bool* endWalk);
  bool ReadStreamList(u64 dataPosition, u64 size);
  bool ReadOpenDmlIndex(AviStreamInfo* info, u64 payload, u64 payloadEnd, bool nested);
  bool ReadIdx1(u32 records);
  bool Scan();
  bool ScanMovieData(u64 position, u64 end);
  bool NextExtensionPart(u64* position, u64* end);
  // The window of `count` bytes at `position` for the scan; null at the end of the data
  // or when the read fails.
  const u8* ScanBytes(u64 position, u32 count);
  bool AddEntry(AviStreamInfo* info, u32 id, u64 offset, u32 size, bool key);
  bool AppendInfoText(u32 tag, u32 size);
  AviStreamInfo* Stream(int number) const {
    return number >= 0 && u32(number) < m_parser->m_streams.GetCount() ? m_parser->m_streams[u32(number)] : nullptr;
  }
  static bool Damaged() { return SLFail(SL_E_MALFORMED, false); }

  AviParser* m_parser;
  CSLBaseStorage* m_storage;
  u64 m_fileSize = 0;
  u64 m_position = 0;  // the storage's position as the walk left it
  bool m_moviFound = false;
  u64 m_moviData = 0;  // first byte after the "movi" list type
  u64 m_moviEnd = 0;
  u64 m_moviNext = 0;  // the chunk after the "movi" list
  u64 m_scanNext = 0;  // where the scan looks for the next RIFF part
  u64 m_infoEnd = 0;
  AviInfoText** m_infoTail;  // where the next text is linked: a file may hold very many
  bool m_everyStreamOpenDml = true;  // also true before any stream list
  bool m_anyStreamOpenDml = false;
  bool m_idx1Read = false;
  u64 m_entries = 0;     // of all streams
  u64 m_entryLimit = 0;  // one per 8 bytes of file: no chunk is smaller than its header
  std::unordered_set<u64> m_subIndexes;
  u8* m_window = nullptr;
  u64 m_windowStart = 0;
  u32 m_windowLength = 0;
};

bool AviParser::Parse() {
  try {
    AviFileWalk walk(this);
    return walk.Run();
  } catch (const std::bad_alloc&) {
    return SLFail(SL_E_MALFORMED, false);
  }
}

bool AviFileWalk::SeekTo(u64 position) {
  if (position > u64(INT64_MAX) || !m_storage->Seek(i64(position), SL_SEEK_BEGIN)) return Damaged();
  m_position = position;
  return true;
}

bool AviFileWalk::ReadExact(void* buffer, u32 count, u32 failure) {
  u64 got = m_storage->Read(buffer, count);
  m_position += got;
  if (got == count) return true;
  u32 code = SLGetLastError();
  return SLFail(code ? code : failure, false);
}

bool AviFileWalk::Run() {
  if (!m_storage->GetSize(&m_fileSize)) return false;
  m_parser->m_fileSize = m_fileSize;
  m_entryLimit = m_fileSize / 8;
  u8 header[12];
  if (!SeekTo(0) || m_storage->Read(header, 12) != 12) return Damaged();
  m_position = 12;
  if (SLLoadLE32(header) != kRiff || SLLoadLE32(header + 8) != kAvi) return Damaged();

  for (;;) {
    u8 chunk[8];
    u64 headerPosition = m_position;
    if (headerPosition + 8 > m_fileSize || m_storage->Read(chunk, 8) != 8) break;  // the end of the data
    m_position += 8;
    u32 id = SLLoadLE32(chunk), size = SLLoadLE32(chunk + 4);
    if (!IsChunkId(id)) break;
    bool endWalk = false;
    if (!(id == kList ? WalkList(size, m_position, &endWalk) : WalkChunk(id, size, m_position, &endWalk)))
      return false;
    if (endWalk) break;
  }

  if (!m_moviFound) return Damaged();
  if (m_anyStreamOpenDml || m_idx1Read) return SLSucceed(true);
  return Scan();
}

bool AviFileWalk::WalkList(u32 size, u64 dataPosition, bool* endWalk) {
  u8 typeBytes[4];
  if (dataPosition + 4 > m_fileSize || m_storage->Read(typeBytes, 4) != 4) {
    *endWalk = true;
    return true;
  }
  m_position += 4;
  u32 type = SLLoadLE32(typeBytes);
  if (size < 4) {
    if (type == kMovi && size == 0) {  // a recorder that never came back to fill the size
      m_moviFound = true;
      m_moviData = m_position;
      m_moviEnd = m_moviNext = m_fileSize;
      *endWalk = true;
      return true;
    }
    return type == kHdrl ? true : Damaged();
  }
  u64 listSize = size - 4;
  u64 listData = dataPosition + 4;
  u64 listEnd = listData + listSize;
  if (type == kMovi) {
    m_moviFound = true;
    m_moviData = listData;
    m_moviEnd = listSize < 8 || listEnd > m_fileSize ? m_fileSize : listEnd;
    m_moviNext = listSize < 8 ? m_fileSize : dataPosition + PaddedSize(size);
    // With OpenDML indexes everywhere nothing after the movie data is needed; otherwise the
    // walk goes on to find "idx1".
    if (m_everyStreamOpenDml) {
      *endWalk = true;
      return true;
    }
  } else if (type == kHdrl || type == kRec || type == kInfo || type == kStrl) {
    if (listEnd > m_fileSize) return Damaged();
    if (type == kInfo) m_infoEnd = listEnd;
    if (type != kStrl) return true;  // entered: its chunks are the next ones of the walk
    if (!ReadStreamList(listData, listSize)) return false;
  }
  // The pad byte follows the list's size as a whole (its type included).
  u64 next = dataPosition + PaddedSize(size);
  if (next > m_fileSize) {
    *endWalk = true;
    return true;
  }
  return SeekTo(next);
}

bool AviFileWalk::WalkChunk(u32 id, u32 size, u64 dataPosition, bool* endWalk) {
  u64 end = dataPosition + size;
  if (end > m_fileSize) {
    *endWalk = true;
    return true;
  }
  if (id == kCset && size >= 8) {
    u8 values[8];
    if (!ReadExact(values, 8, SL_E_STORAGE_READ)) return false;
    m_parser->m_codePage = SLLoadLE16(values);
    m_parser->m_countryCode = SLLoadLE16(values + 2);
    m_parser->m_language = SLLoadLE16(values + 4);
    m_parser->m_dialect = SLLoadLE16(values + 6);
  } else if (id == kIdx1) {
    if (!m_anyStreamOpenDml) {
      if (!ReadIdx1(size / 16)) return false;
      m_idx1Read = true;
    }
  } else if (id == kAvih && !m_parser->m_haveMainHeader) {
    u8 mainHeader[56];
    if (!ReadExact(mainHeader, size < 56 ? size : 56, SL_E_STORAGE_READ)) return false;
    m_parser->m_microsecondsPerFrame = size >= 4 ? SLLoadLE32(mainHeader) : 0;
    m_parser->m_haveMainHeader = true;
  } else if (id == kSegm) {
    if (size == 0xFFFFFFFFu) return Damaged();
    char* text = static_cast<char*>(SLAlloc(size + 1));
    if (!text) return Damaged();
    if (!ReadExact(text, size, SL_E_STORAGE_READ)) {
      SLInternals::SLFreeKeepingError(text);
      return false;
    }
    text[size] = 0;
    SLFree(m_parser->m_segmentText);
    m_parser->m_segmentText = text;
  } else if (dataPosition - 8 < m_infoEnd && IsOneOf(id, kInfoTags)) {
    if (!AppendInfoText(id, size)) return false;
  }
  u64 next = end + (size & 1);
  if (next > m_fileSize) {
    *endWalk = true;
    return true;
  }
  return m_position == next || SeekTo(next);
}

bool AviFileWalk::AppendInfoText(u32 tag, u32 size) {
  u32 length = size < kMaxInfoText ? size : kMaxInfoText;
  auto* node = static_cast<AviInfoText*>(SLAllocZero(u32(offsetof(AviInfoText, text)) + length + 1));
  if (!node) return Damaged();
  node->tag = tag;
  if (!ReadExact(node->text, length, SL_E_STORAGE_READ)) {
    SLInternals::SLFreeKeepingError(node);
    return false;
  }
  // A text is cut at its first NUL: writers pad with zeros.
  u32 used = 0;
  while (used < length && node->text[used]) ++used;
  node->length = used;
  *m_infoTail = node;
  m_infoTail = &node->next;
  return true;
}

bool AviFileWalk::ReadStreamList(u64 dataPosition, u64 size) {
  auto* info = new AviStreamInfo();  // value-initialised: every field starts at zero
  if (!info) return Damaged();
  auto dropStream = SLMakeScopeGuard([&] { delete info; });
  info->number = m_parser->m_streams.GetCount();
  info->parser = m_parser;

  u64 position = dataPosition, remaining = size;
  while (remaining >= 8) {
    u8 chunk[8];
    if ((m_position != position && !SeekTo(position)) || !ReadExact(chunk, 8, SL_E_MALFORMED)) return Damaged();
    u32 id = SLLoadLE32(chunk), chunkSize = SLLoadLE32(chunk + 4);
    remaining -= 8;
    u64 chunkData = position + 8;
    if (chunkSize > remaining) return Damaged();
    if (id == kStrh) {
      u32 count = chunkSize < sizeof(AviStreamHeader) ? chunkSize : u32(sizeof(AviStreamHeader));
      SLMemSet(&info->header, 0, sizeof(AviStreamHeader));
      if (!ReadExact(&info->header, count, SL_E_MALFORMED)) return Damaged();
      info->intraOnly = false;
    } else if (id == kStrf) {
      SLFree(info->format);
      info->formatSize = 0;
      info->format = static_cast<u8*>(SLAlloc(chunkSize));
      if (!info->format) return Damaged();
      if (!ReadExact(info->format, chunkSize, SL_E_MALFORMED)) return Damaged();
      info->formatSize = chunkSize;
      if (info->header.type == kVids && chunkSize >= 20)
        info->intraOnly = IsOneOf(SLLoadLE32(info->format + 16), kIntraOnlyCodecs);
    } else if (id == kIndx) {
      if (!ReadOpenDmlIndex(info, chunkData, chunkData + chunkSize, false)) return false;
      info->hasOpenDmlIndex = true;
    }
    u64 advance = PaddedSize(chunkSize) > remaining ? remaining : PaddedSize(chunkSize);
    position = chunkData + advance;
    remaining -= advance;
  }
  if (!m_parser->m_streams.Add(info)) return Damaged();
  dropStream.Dismiss();
  if (info->hasOpenDmlIndex)
    m_anyStreamOpenDml = true;
  else
    m_everyStreamOpenDml = false;
  return true;
}

bool AviFileWalk::AddEntry(AviStreamInfo* info, u32 id, u64 offset, u32 size, bool key) {
  // More entries than the file has room for chunk headers can only come from indexes that
  // name the same chunks over and over.
  if (m_entries >= m_entryLimit) return Damaged();
  if (!info->index.Add(id, offset, size, key)) return Damaged();
  info->totalBytes += size & AviIndexEntry::kSizeMask;
  ++m_entries;
  return true;
}

// OpenDML index chunk: {u16 longs per entry, u8 sub-type, u8 type, u32 entries in use,
// u32 chunk id, 12 bytes: a standard index's u64 base offset and a reserved u32}, then the
// entries. Type 0 lists standard indexes {u64 offset of the "ix##" chunk, u32 size,
// u32 duration}; type 1 lists chunks {u32 payload offset from the base, u32 size with bit 31
// set for non-key frames} (a field index adds a third long).
bool AviFileWalk::ReadOpenDmlIndex(AviStreamInfo* info, u64 payload, u64 payloadEnd, bool nested) {
  u64 returnTo = m_position;
  if (payloadEnd > m_fileSize) payloadEnd = m_fileSize;
  u8 header[24];
  if (payload + 24 > payloadEnd || !SeekTo(payload) || !ReadExact(header, 24, SL_E_MALFORMED)) return Damaged();
  u32 longsPerEntry = SLLoadLE16(header);
  u8 type = header[3];
  u32 inUse = SLLoadLE32(header + 4);
  u32 chunkId = SLLoadLE32(header + 8);
  u64 baseOffset = SLLoadLE64(header + 12);

  if (type == 0) {
    if (nested || longsPerEntry != 4) return Damaged();
  } else if (type == 1) {
    if (longsPerEntry != 2 && longsPerEntry != 3 && longsPerEntry != 6) return Damaged();
  } else {
    return Damaged();
  }
  u32 entryBytes = longsPerEntry * 4;
  if (u64(inUse) * entryBytes > payloadEnd - payload - 24) return Damaged();

  u8 batch[kOpenDmlBatchBytes];
  u32 perBatch = kOpenDmlBatchBytes / entryBytes;  // 64 entries of an index of indexes
  u64 batchPosition = payload + 24;
  for (u32 done = 0; done < inUse;) {
    u32 count = inUse - done < perBatch ? inUse - done : perBatch;
    if ((m_position != batchPosition && !SeekTo(batchPosition)) ||
        !ReadExact(batch, count * entryBytes, SL_E_MALFORMED))
      return Damaged();
    batchPosition += u64(count) * entryBytes;
    for (u32 i = 0; i < count; ++i) {
      const u8* entry = batch + i * entryBytes;
      if (type == 0) {
        u64 subIndex = SLLoadLE64(entry);
        if (!m_subIndexes.insert(subIndex).second) return Damaged();
        if (subIndex > m_fileSize || !ReadOpenDmlIndex(info, subIndex + 8, m_fileSize, true)) return Damaged();
      } else {
        u32 sizeWord = longsPerEntry == 6 ? SLLoadLE32(entry + 8) : SLLoadLE32(entry + 4);
        bool key = longsPerEntry == 6 || (sizeWord & AviIndexEntry::kNotKeyFlag) == 0;
        u64 offset = baseOffset + SLLoadLE32(entry) - 8;  // the entry points at the payload
        if (!AddEntry(info, chunkId, offset, sizeWord & AviIndexEntry::kSizeMask, key)) return false;
      }
    }
    done += count;
  }
  return SeekTo(returnTo);
}

// idx1 records {u32 id, u32 flags, u32 offset, u32 size}. Writers disagree on what the
// offset counts from: the file's start, or the "movi" list type. Offsets are absolute while
// none lies before the movie data; from the first one that does on they count from "movi".
bool AviFileWalk::ReadIdx1(u32 records) {
  u8 batch[kIdx1Batch * 16];
  bool absolute = true;
  for (u32 done = 0; done < records;) {
    u32 count = records - done < kIdx1Batch ? records - done : kIdx1Batch;
    if (!ReadExact(batch, count * 16, SL_E_STORAGE_READ)) {
      u32 code = SLGetLastError();
      for (AviStreamInfo* info : m_parser->m_streams) {
        info->index.Free();
        info->totalBytes = 0;
      }
      return SLFail(code, false);
    }
    for (u32 i = 0; i < count; ++i) {
      const u8* record = batch + i * 16;
      u32 id = SLLoadLE32(record), flags = SLLoadLE32(record + 4), offset = SLLoadLE32(record + 8);
      u32 size = SLLoadLE32(record + 12);
      if (absolute && offset < m_moviData) absolute = false;
      if (IsPaletteChange(id)) {
        m_parser->m_paletteChanges = true;
        continue;
      }
      AviStreamInfo* info = Stream(StreamOfChunkId(id));
      if (!info) continue;
      u64 fileOffset = absolute ? offset : u64(offset) + m_moviData - 4;
      if (!AddEntry(info, id, fileOffset, size & AviIndexEntry::kSizeMask, (flags & 0x10) != 0)) return false;
    }
    done += count;
  }
  return true;
}

const u8* AviFileWalk::ScanBytes(u64 position, u32 count) {
  if (position >= m_windowStart && position + count <= m_windowStart + m_windowLength)
    return m_window + (position - m_windowStart);
  if (position + count > m_fileSize) return nullptr;
  if (!m_window) {
    m_window = static_cast<u8*>(SLAlloc(kScanWindow));
    if (!m_window) return nullptr;
  }
  u64 available = m_fileSize - position;
  u32 want = available < kScanWindow ? u32(available) : kScanWindow;
  m_windowLength = 0;
  if (!SeekTo(position)) return nullptr;
  u64 got = m_storage->Read(m_window, want);
  m_position += got;
  m_windowStart = position;
  m_windowLength = u32(got);
  return got >= count ? m_window : nullptr;
}

// Rebuilds every index from the chunks of the movie data. Without an index the key frames
// are guessed: an intra-only codec's every frame, otherwise only a stream's first non-empty
// chunk. Bytes that do not form a chunk id (damage, or data after a wrong size) are skipped
// one at a time until an id appears.
bool AviFileWalk::Scan() {
  for (AviStreamInfo* info : m_parser->m_streams) {
    info->index.Free();
    info->totalBytes = 0;
  }
  m_entries = 0;
  m_parser->m_indexRebuilt = true;
  u64 position = m_moviData;
  u64 end = m_moviEnd;
  m_scanNext = m_moviNext;
  do {
    if (!ScanMovieData(position, end)) return false;
  } while (NextExtensionPart(&position, &end));
  return SLSucceed(true);
}

bool AviFileWalk::ScanMovieData(u64 position, u64 end) {
  while (position + 8 <= end) {
    const u8* header = ScanBytes(position, 8);
    if (!header) break;
    u32 id = SLLoadLE32(header), size = SLLoadLE32(header + 4);
    if (id == kRiff || id == kList) {
      const u8* type = ScanBytes(position + 8, 4);
      if (!type) break;
      u32 listType = SLLoadLE32(type);
      // "rec " groups the chunks of one moment; its chunks are data like any other.
      if (listType == kAvix || listType == kMovi || listType == kRec)
        position += 12;
      else
        position += 8 + PaddedSize(size);
      continue;
    }
    if (!IsChunkId(id)) {
      ++position;
      while (position + 4 <= end) {
        const u8* candidate = ScanBytes(position, 4);
        if (!candidate || IsChunkId(SLLoadLE32(candidate))) break;
        ++position;
      }
      continue;
    }
    int number = StreamOfChunkId(id);
    if (number >= 0) {
      if (IsPaletteChange(id)) {
        m_parser->m_paletteChanges = true;
      } else if (AviStreamInfo* info = Stream(number)) {
        u32 payload = size & AviIndexEntry::kSizeMask;
        bool key = payload != 0 && (info->totalBytes == 0 || info->intraOnly);
        if (!AddEntry(info, id, position, payload, key)) return false;
      }
    }
    position += 8 + PaddedSize(size);
  }
  return true;
}

// Files past 1 GiB continue their movie data in further RIFF "AVIX" parts after the first
// part's end; without an index they are found by walking the chunks that follow the first
// "movi" list (idx1, JUNK, the parts themselves).
bool AviFileWalk::NextExtensionPart(u64* position, u64* end) {
  u64 at = m_scanNext;
  while (at + 12 <= m_fileSize) {
    const u8* header = ScanBytes(at, 12);
    if (!header || !IsChunkId(SLLoadLE32(header))) return false;
    u64 size = SLLoadLE32(header + 4);
    if (SLLoadLE32(header) == kRiff && SLLoadLE32(header + 8) == kAvix) {
      *position = at + 12;
      *end = at + 8 + size < m_fileSize ? at + 8 + size : m_fileSize;
      m_scanNext = at + 8 + PaddedSize(size);
      return true;
    }
    at += 8 + PaddedSize(size);
  }
  return false;
}
