// The RIFF AVI parser: reads a file's structure (stream headers and formats, the chunk index
// of every stream, INFO texts, character set and segment text) and serves the AVI reader with
// key frames, sample <-> chunk <-> time mapping and reads of chunks, samples and stream bytes.
// It decodes nothing.
//
// Indexes come from the OpenDML "indx" super indexes when every stream carries one, else from
// "idx1", else from a scan of the "movi" data. A failed Open leaves the parser empty.
#pragma once

#include <cstddef>

#include "foundation/SLArray.h"
#include "foundation/SLTypes.h"
#include "media/avi/AviIndex.h"
#include "media/SLRiffAudio.h"
#include "media/reader/SLBaseVideoAudioReader.h"
#include "storage/SLBaseStorage.h"

// FOURCC of four characters as they appear in the file.
constexpr u32 AviFourCC(const char (&text)[5]) { return SLFourCC(text); }

// AVISTREAMHEADER as stored: the first 56 bytes of "strh".
struct AviStreamHeader {
  u32 type;  // "vids", "auds", "txts" ...
  u32 handler;
  u32 flags;
  u16 priority;
  u16 language;
  u32 initialFrames;
  u32 scale;
  u32 rate;
  u32 start;
  u32 length;
  u32 suggestedBufferSize;
  u32 quality;
  u32 sampleSize;
  i16 frameLeft, frameTop, frameRight, frameBottom;
};
static_assert(sizeof(AviStreamHeader) == 56, "the stream header is read as stored");

class AviParser;
struct AviStreamDecoder;  // the reader's record of a started stream

// One stream ("strl" list) of the file.
struct AviStreamInfo {
  AviStreamHeader header;
  u8* format;  // the whole "strf" payload, owned; null when the stream has none
  u32 formatSize;
  AviIndexList index;
  u64 totalBytes;  // sum of the payload sizes of all index entries
  bool intraOnly;  // every frame is a key frame (decided by the codec)
  bool variableBitRate;
  u32 savedRate, savedScale, savedBlockAlign;  // before the stream became a byte stream
  u64 length;      // frames (sample size 0) or samples (blocks)
  u64 entryCount;
  AviIndexEntry* entries;  // the flat index
  u32 number;
  u32 sampleSize;  // 0: one frame per chunk; else the bytes of one sample (block)
  // Where the previous sample read ended, so that sequential reads do not walk the index.
  u64 cachedEntry;
  u64 cachedEntryStart;  // stream byte position at which that entry begins
  AviParser* parser;
  bool hasOpenDmlIndex;

  // The format's WAVEFORMATEX fields (0 when the format is missing or too short).
  u16 FormatTag() const;
  u16 BlockAlign() const;
  u32 AvgBytesPerSec() const;

  static void* operator new(std::size_t size) noexcept;  // zero-filled, 0x80000001 on failure
  static void operator delete(void* block) noexcept;
  ~AviStreamInfo();
};

// One text of the file's INFO list ("INAM", "IART" ...).
struct AviInfoText {
  AviInfoText* next;
  u32 tag;
  u32 length;  // bytes before the NUL
  char text[1];  // `length` bytes and a NUL
};

class AviParser {
 public:
  AviParser();
  ~AviParser();
  AviParser(const AviParser&) = delete;
  AviParser& operator=(const AviParser&) = delete;
  static void* operator new(std::size_t size) noexcept;  // 0x80000001 on failure
  static void operator delete(void* block) noexcept;

  // Parses the file and finishes its streams. The storage is not owned; flags is the
  // reader's open word (non-zero: lenient audio reads). Null storage: 0x80001002; a damaged
  // or unsupported structure 0x80020016 (or a read's own code); an index too large for one
  // array 0x80000001. A failed Open leaves the parser reset.
  bool Open(CSLBaseStorage* storage, u32 flags);
  // Frees everything and forgets the storage.
  void Reset();

  // Every query below fails with 0x80010002 when nothing is open and 0x800f0001 for a stream
  // number past the end. Frames, samples and entries count from 0; for a frame stream
  // (sample size 0) frame n is entry n.
  u32 GetStreamCount() const;
  AviStreamInfo* GetStream(u32 stream) const;

  // The started-stream mask; stream numbers of 64 and above are never marked.
  bool StartStream(u32 stream);
  bool StopStream(u32 stream);
  bool IsStreamStarted(u32 stream) const;

  // False with 0 for a frame that is not a key frame; every sample of a sample stream is one.
  // A frame at or past the entry count: 0x800f0003.
  bool IsKeyFrame(u32 stream, u64 frame);
  // Moves `frame` back to the nearest key frame at or before it (0 at worst); a sample
  // stream steps back by one. 0x800f0003 at or past the entry count.
  bool GetPreviousKeyFrame(u32 stream, u64* frame);
  // The entry holding a sample (0x800f0003 at or past the length), and the first sample of
  // an entry (0x800f0003 at or past the entry count).
  bool GetEntryOfSample(u32 stream, u64 sample, u64* entry);
  bool GetFirstSampleOfEntry(u32 stream, u64 entry, u64* sample);
  // The entry holding the time `microseconds` and the time at which that entry starts
  // (0x80001001 past the last entry); the time of a sample (0x800f0003 at or past the
  // length). Variable bit-rate audio is timed by its chunks.
  bool GetChunkAtTime(u32 stream, u64 microseconds, u64* entry, u64* entryMicroseconds);
  bool GetTimeOfSample(u32 stream, u64 sample, u64* microseconds);

  // Reads up to `count` frames or samples from `first` (0x800f0003 at or past the length):
  // whole chunks of a frame stream while they fit, whole samples of a sample stream. Without
  // a buffer only the sizes are reported. A buffer too small for one frame or sample:
  // 0x80000002 with the bytes needed. A short read: the read's code or 0x80020010.
  bool ReadSamples(u32 stream, u64 first, u32 count, void* buffer, u32 bufferSize, u64* bytesRead,
                   u32* samplesRead);
  // One chunk's payload; without a buffer only its size. 0x800f0003 at or past the count.
  bool ReadEntry(u32 stream, u64 entry, void* buffer, u32* size);
  // The stream's payloads as one byte sequence; reads across chunks until `count` is met or
  // the chunks end. A position at or past the end: 0x80020036.
  bool ReadBytes(u32 stream, u64 position, void* buffer, u64 count, u64* bytesRead);

  // What the file says about itself.
  const AviInfoText* GetInfoTexts() const { return m_infoTexts; }
  const char* GetInfoText(u32 tag) const;  // null when the file has no such text
  const char* GetSegmentText() const { return m_segmentText; }
  u32 GetCodePage() const { return m_codePage; }
  u32 GetCountryCode() const { return m_countryCode; }
  u32 GetLanguage() const { return m_language; }
  u32 GetDialect() const { return m_dialect; }
  bool IsIndexRebuilt() const { return m_indexRebuilt; }
  bool HasPaletteChanges() const { return m_paletteChanges; }
  u32 GetMicrosecondsPerFrame() const { return m_microsecondsPerFrame; }

  // Kept here for the reader: its open word and its list of started streams.
  CSLBaseStorage* GetStorage() const { return m_storage; }
  u32 GetOpenFlags() const { return m_openFlags; }
  u32 GetReaderFlags() const { return m_readerFlags; }
  void SetReaderFlags(u32 flags) { m_readerFlags = flags; }
  AviStreamDecoder* GetStartedStreams() const { return m_startedStreams; }
  void SetStartedStreams(AviStreamDecoder* first) { m_startedStreams = first; }

 private:
  friend class AviFileWalk;

  bool Parse();
  bool FinishStreams();
  bool FinishStream(AviStreamInfo* info);
  AviStreamInfo* StreamForQuery(u32 stream) const;
  // Reads `count` bytes at file offset `offset`; a short read keeps the read's code
  // (0x80020010 when it left none). Small reads go through the read-ahead window.
  bool ReadAt(u64 offset, void* buffer, u32 count);
  bool ReadDirect(u64 offset, void* buffer, u32 count);
  // Finds the entry holding stream byte `position`, starting from the cached entry when
  // it lies at or before it. False when the position is past the last entry.
  bool LocateByte(AviStreamInfo* info, u64 position, u64* entry, u64* entryStart);
  // Reads `count` bytes of the stream's payloads from stream byte `position`, across chunks;
  // `got` says how many came before the chunks ended (or a read failed: false).
  bool ReadStreamBytes(AviStreamInfo* info, u64 position, u8* out, u64 count, u64* got);

  CSLBaseStorage* m_storage;
  TSLArray<AviStreamInfo*> m_streams;
  bool m_indexRebuilt;
  bool m_paletteChanges;
  char* m_segmentText;
  u32 m_codePage, m_countryCode, m_language, m_dialect;
  AviInfoText* m_infoTexts;
  u32 m_openFlags;
  u64 m_startedMask;
  AviStreamDecoder* m_startedStreams;
  u32 m_readerFlags;
  u32 m_microsecondsPerFrame;
  bool m_haveMainHeader;
  u64 m_fileSize;
  // The file bytes last read ahead: interleaved chunks of a few kilobytes are served from
  // one read instead of a seek and a read each.
  u8* m_readAhead;
  u64 m_readAheadStart;
  u32 m_readAheadLength;
  u64 m_lastReadEnd;  // where the previous read of a chunk ended
};
