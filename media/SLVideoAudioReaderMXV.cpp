// The MXV container: magic, chunk search, header and tables, streams and their start and
// stop. Picture decoding lives in SLVideoAudioReaderMXVVideo.cpp, sound in
// SLVideoAudioReaderMXVAudio.cpp.
#include "media/SLVideoAudioReaderMXV.h"

#include "media/SLRiffAudio.h"

#include "foundation/SLArray.h"
#include "foundation/SLByteOrder.h"
#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "media/SLMxvInternal.h"
#include "storage/SLCompressLZW.h"
#include "storage/SLCompressZIP.h"

SL_IMPLEMENT_CLASS_CREATABLE(CSLVideoAudioReaderMXV, CSLBaseVideoAudioReader)

using namespace SLInternals;

namespace {

constexpr u8 kMagic1[13] = {'A', 'r', 'c', 'h', 'i', 'v', 'o', ' ', 'M', 'X', 'V', '.', 0x1A};
constexpr u8 kMagic2[10] = {'M', 'X', 'V', ' ', 'F', 'i', 'l', 'e', '.', 0x1A};

constexpr auto& FourCC = SLFourCC;

// A read that came short without the storage saying why ends the data early.
bool ReadExactly(CSLBaseStorage* storage, void* buffer, u64 size) {
  if (storage->Read(buffer, size) == size) return true;
  if (SLGetLastError(false) == SL_OK) SLSetLastError(SL_E_STORAGE_EOF);
  return false;
}

bool SeekTo(CSLBaseStorage* storage, u64 offset) {
  if (offset > u64(INT64_MAX)) return SLFail(SL_E_STORAGE_SEEK, false);
  return storage->Seek(i64(offset), SL_SEEK_BEGIN);
}

// The bitmap header of the pictures handed out (rows bottom-up, height positive).
void WriteBitmapHeader(u8* header, u32 width, u32 height, u32 bits, u32 imageBytes) {
  SLMemSet(header, 0, 40);
  SLStoreLE32(header, 40);
  SLStoreLE32(header + 4, width);
  SLStoreLE32(header + 8, height);
  SLStoreLE16(header + 12, 1);
  SLStoreLE16(header + 14, u16(bits));
  SLStoreLE32(header + 16, bits == 16 ? 3 : 0);
  SLStoreLE32(header + 20, imageBytes);
}

// A buffer for the largest payload of a table (Open saw each inside the file).
template <class Entry>
u8* AllocForLargest(const Entry* entries, u64 count) {
  u64 largest = 0;
  for (u64 i = 0; i < count; ++i)
    if (entries[i].size > largest) largest = entries[i].size;
  if (!SLFitsU32(largest)) return SLFail(SL_E_OUT_OF_MEMORY, static_cast<u8*>(nullptr));
  u8* buffer = static_cast<u8*>(SLAlloc(u32(largest)));
  return buffer ? buffer : SLFail(SL_E_OUT_OF_MEMORY, static_cast<u8*>(nullptr));
}

}  // namespace

namespace SLInternals {

bool SLMxvReadPacketHead(u32 version, const u8* data, u64 available, SLMxvPacketHead* head, u32* headSize) {
  *headSize = version == 1 ? 12 : 24;
  if (available < *headSize) return false;
  head->length = SLLoadLE32(data);
  if (version == 1) {
    head->granule = SLLoadLE32(data + 4);
    head->number = SLLoadLE32(data + 8);
  } else {
    head->granule = SLLoadLE64(data + 8);
    head->number = SLLoadLE64(data + 16);
  }
  return head->length <= available - *headSize;
}

bool SLMxvReadAt(CSLBaseStorage* storage, u64 offset, void* buffer, u64 size) {
  return SeekTo(storage, offset) && ReadExactly(storage, buffer, size);
}

}  // namespace SLInternals

CSLVideoAudioReaderMXV::CSLVideoAudioReaderMXV() : m_state(nullptr) {}

CSLVideoAudioReaderMXV::~CSLVideoAudioReaderMXV() {
  SLErrorKeeper keep;
  Close();
}

bool CSLVideoAudioReaderMXV::Close() {
  if (m_state) {
    StopAudio();
    StopVideo();
    SLFree(m_state->frames);
    SLFree(m_state->blocks);
    SLFree(m_state);
    m_state = nullptr;
  }
  ReleaseSource();
  return SLSucceed(true);
}

bool CSLVideoAudioReaderMXV::Open(CSLBaseStorage* storage, u32 flags) {
  // Closing may drop the last other reference to the storage about to be opened again.
  TSLObjPtr<CSLBaseStorage> keepAlive(storage);
  Close();
  if (!storage) return SLFail(SL_E_NULL_DATA, false);
  HoldSource(storage);
  auto closeOnFailure = SLMakeScopeGuard([this] { Close(); });
  m_state = static_cast<SLMxvState*>(SLAllocZeroed(sizeof(SLMxvState)));
  if (!m_state) return SLFail(SL_E_OUT_OF_MEMORY, false);
  SLMxvState* s = m_state;
  s->videoStream = s->audioStream = kMxvNoStream;
  s->lastFrame = s->cachedBlock = kMxvNone;
  s->openFlags = flags;

  u8 magic[14];
  if (!SeekTo(storage, 0) || !ReadExactly(storage, magic, 1)) return false;
  if (magic[0] == kMagic1[0]) {
    if (!ReadExactly(storage, magic + 1, 12)) return false;
    if (SLMemCompare(magic, kMagic1, 13) != 0) return SLFail(SL_E_NULL_DATA, false);
    s->version = 1;
  } else if (magic[0] == kMagic2[0]) {
    u32 version = 0;
    if (!ReadExactly(storage, magic + 1, 9)) return false;
    if (SLMemCompare(magic, kMagic2, 10) != 0) return SLFail(SL_E_NULL_DATA, false);
    if (!storage->ReadU32(&version)) return false;
    if (version != 2) return SLFail(SL_E_UNSUPPORTED_VARIANT, false);
    s->version = 2;
  } else {
    return SLFail(SL_E_MALFORMED, false);
  }
  if (!storage->GetSize(&s->fileSize) || !ReadHeaders() || !ReadTables()) return false;
  closeOnFailure.Dismiss();
  return SLSucceed(true);
}

// Chunks follow each other without alignment from just after the magic. Every chunk's
// payload must end inside the file: a size reaching past it (a u64 one could even wrap the
// next offset back into the file) ends the search.
bool CSLVideoAudioReaderMXV::FindChunk(u32 tag, u64* payloadSize) {
  const SLMxvState* s = m_state;
  const u64 headSize = s->version == 1 ? 8 : 12;
  u64 offset = s->version == 1 ? 13 : 14;
  while (offset < s->fileSize) {
    u32 chunkTag = 0, size32 = 0;
    u64 size = 0;
    if (!SeekTo(m_source, offset) || !m_source->ReadU32(&chunkTag)) return false;
    if (s->version == 1) {
      if (!m_source->ReadU32(&size32)) return false;
      size = size32;
    } else if (!m_source->ReadU64(&size)) {
      return false;
    }
    const u64 payload = offset + headSize;
    if (payload > s->fileSize || size > s->fileSize - payload) return SLFail(SL_E_MALFORMED, false);
    if (chunkTag == tag) {
      *payloadSize = size;
      return true;
    }
    offset = payload + size;
  }
  return SLFail(SL_E_MALFORMED, false);
}

bool CSLVideoAudioReaderMXV::ReadHeaders() {
  SLMxvState* s = m_state;
  u64 size = 0;
  u8 header[44];
  if (!FindChunk(FourCC("FHDR"), &size)) return false;
  if (size != (s->version == 1 ? 32u : 44u)) return SLFail(SL_E_MALFORMED, false);
  if (!ReadExactly(m_source, header, size)) return false;
  if (s->version == 1) {
    s->frameCount = SLLoadLE32(header);
    s->width = SLLoadLE16(header + 4);
    s->height = SLLoadLE16(header + 6);
    s->bitsPerPixel = SLLoadLE16(header + 8);
    s->framesPerSecond = SLLoadLE16(header + 10);
    s->videoCodec = SLLoadLE32(header + 12);
    s->audioLength = SLLoadLE32(header + 16);
    s->samplesPerSecond = SLLoadLE16(header + 20);
    s->bitsPerSample = header[22];
    s->channels = header[23];
    s->audioCodec = SLLoadLE32(header + 24);
  } else {
    s->frameCount = SLLoadLE64(header);
    s->width = SLLoadLE16(header + 8);
    s->height = SLLoadLE16(header + 10);
    s->bitsPerPixel = SLLoadLE16(header + 12);
    s->framesPerSecond = SLLoadLE16(header + 14);
    s->videoCodec = SLLoadLE32(header + 16);
    s->audioLength = SLLoadLE64(header + 20);
    s->samplesPerSecond = SLLoadLE32(header + 28);
    s->bitsPerSample = SLLoadLE16(header + 32);
    s->channels = SLLoadLE16(header + 34);
    s->audioCodec = SLLoadLE32(header + 36);
  }
  if (s->frameCount) {
    const u32 bits = s->bitsPerPixel;
    if (s->width == 0 || s->height == 0 || s->width > kMxvMaxSide || s->height > kMxvMaxSide ||
        (bits != 8 && bits != 16 && bits != 24) || s->framesPerSecond == 0)
      return SLFail(SL_E_MEDIA_VIDEO_FORMAT, false);
    // Theora pictures are converted to 24 bits whatever the header says.
    if (s->videoCodec == kMxvVideoTheora) s->bitsPerPixel = 24;
  }
  if (s->audioLength) {
    const u32 rate = s->samplesPerSecond;
    if ((rate != 11025 && rate != 22050 && rate != 44100) || (s->bitsPerSample != 8 && s->bitsPerSample != 16) ||
        (s->channels != 1 && s->channels != 2))
      return SLFail(SL_E_AUDIO_FORMAT, false);
    // Whole seconds, rounded up without the sum wrapping for a length near 2^64.
    s->blockCount = s->audioLength / rate + (s->audioLength % rate != 0);
  }
  if (s->frameCount && s->bitsPerPixel == 8) {
    if (!FindChunk(FourCC("VPAL"), &size)) return false;
    if (size != 768) return SLFail(SL_E_MALFORMED, false);
    if (!ReadExactly(m_source, s->palette, 768)) return false;
  }
  return true;
}

// The tables are read whole and widened to absolute 64-bit offsets; every frame and block
// they name must lie inside the file, so that nothing later sizes a buffer from a number
// the file cannot back.
bool CSLVideoAudioReaderMXV::ReadTables() {
  SLMxvState* s = m_state;
  const bool v1 = s->version == 1;
  u64 size = 0;
  // Reads `count` entries of `entryBytes` from the chunk `tag` into `entries`, each
  // decoded by `decode`.
  auto readTable = [&](u32 tag, u64 count, u32 entryBytes, u64 itemBytes, void** entries, auto decode) {
    u64 expected = 0, memory = 0;
    // A table the allocator cannot hold is refused as such, whatever the file holds.
    if (!SLCheckedMul(count, itemBytes, &memory) || !SLFitsU32(memory)) return SLFail(SL_E_OUT_OF_MEMORY, false);
    if (!FindChunk(tag, &size)) return false;
    if (!SLCheckedMul(count, entryBytes, &expected) || size != expected) return SLFail(SL_E_MALFORMED, false);
    if (!SLFitsU32(size)) return SLFail(SL_E_OUT_OF_MEMORY, false);
    *entries = SLAlloc(u32(memory));
    TSLAutoPtr<u8> raw(static_cast<u8*>(SLAlloc(u32(size))));
    if (!*entries || !raw) return SLFail(SL_E_OUT_OF_MEMORY, false);
    if (!ReadExactly(m_source, raw.Get(), size)) return false;
    for (u64 i = 0; i < count; ++i) decode(raw.Get() + i * entryBytes, i);
    return true;
  };
  if (s->frameCount &&
      !readTable(FourCC("VTBL"), s->frameCount, v1 ? 16 : 28, sizeof(SLMxvFrame), reinterpret_cast<void**>(&s->frames),
                 [&](const u8* entry, u64 i) {
                   s->frames[i].offset = v1 ? SLLoadLE32(entry) : SLLoadLE64(entry);
                   s->frames[i].size = v1 ? SLLoadLE32(entry + 4) : SLLoadLE64(entry + 8);
                   s->frames[i].flags = SLLoadLE32(entry + (v1 ? 12 : 24));
                 }))
    return false;
  if (s->blockCount &&
      !readTable(FourCC("ATBL"), s->blockCount, v1 ? 8 : 16, sizeof(SLMxvBlock), reinterpret_cast<void**>(&s->blocks),
                 [&](const u8* entry, u64 i) {
                   s->blocks[i].offset = v1 ? SLLoadLE32(entry) : SLLoadLE64(entry);
                   s->blocks[i].size = v1 ? SLLoadLE32(entry + 4) : SLLoadLE64(entry + 8);
                 }))
    return false;
  if (!FindChunk(FourCC("DATA"), &size)) return false;
  u64 base = 0;
  if (v1 && !m_source->GetPosition(&base)) return false;
  // Makes an entry's offset absolute and checks that its bytes lie inside the file.
  auto place = [&](u64* offset, u64 bytes) {
    u64 end = 0;
    if (!SLCheckedAdd(*offset, base, offset) || !SLCheckedAdd(*offset, bytes, &end) || end > s->fileSize)
      return bytes == 0;  // an empty entry's offset is never used
    return true;
  };
  for (u64 i = 0; i < s->frameCount; ++i)
    if (!place(&s->frames[i].offset, s->frames[i].size)) return SLFail(SL_E_MALFORMED, false);
  for (u64 i = 0; i < s->blockCount; ++i)
    if (!place(&s->blocks[i].offset, s->blocks[i].size)) return SLFail(SL_E_MALFORMED, false);
  if (s->frameCount) s->videoStream = 0;
  if (s->blockCount) s->audioStream = s->frameCount ? 1 : 0;
  return true;
}

bool CSLVideoAudioReaderMXV::CheckStream(u32 stream, u32 type) {
  if (!m_state) return SLFail(SL_E_STORAGE_NOT_OPEN, false);
  const bool video = stream == m_state->videoStream, audio = stream == m_state->audioStream;
  if (!video && !audio) return SLFail(SL_E_MEDIA_NO_STREAM, false);
  if (type == SL_STREAM_VIDEO && !video) return SLFail(SL_E_MEDIA_NOT_VIDEO, false);
  if (type == SL_STREAM_AUDIO && !audio) return SLFail(SL_E_MEDIA_NOT_AUDIO, false);
  return true;
}

u64 CSLVideoAudioReaderMXV::GetDecodedFrameCount() const { return m_state ? m_state->decodedFrames : 0; }

bool CSLVideoAudioReaderMXV::GetStreamCount(u32* count) {
  if (!count) return SLFail(SL_E_NULL_OUTPUT, false);
  *count = 0;
  if (!m_state) return SLFail(SL_E_STORAGE_NOT_OPEN, false);
  *count = (m_state->frameCount ? 1 : 0) + (m_state->blockCount ? 1 : 0);
  return SLSucceed(true);
}

bool CSLVideoAudioReaderMXV::GetStreamType(u32 stream, u32* type) {
  if (!type) return SLFail(SL_E_NULL_OUTPUT, false);
  *type = SL_STREAM_UNKNOWN;
  if (!CheckStream(stream, 0)) return false;
  *type = stream == m_state->videoStream ? SL_STREAM_VIDEO : SL_STREAM_AUDIO;
  return SLSucceed(true);
}

bool CSLVideoAudioReaderMXV::GetVideoFormat(u32 stream, SLVideoFormat* out) {
  if (!out) return SLFail(SL_E_NULL_OUTPUT, false);
  *out = SLVideoFormat{};
  if (!CheckStream(stream, SL_STREAM_VIDEO)) return false;
  const SLMxvState* s = m_state;
  const u32 stride = (s->width * s->bitsPerPixel + 31) / 32 * 4;
  const u32 codec = s->videoCodec;
  *out = {s->width, s->height, s->bitsPerPixel, codec >= 1 && codec <= 3 ? 0 : codec, stride * s->height};
  return SLSucceed(true);
}

bool CSLVideoAudioReaderMXV::GetVideoFrameRate(u32 stream, double* framesPerSecond) {
  if (!framesPerSecond) return SLFail(SL_E_NULL_OUTPUT, false);
  *framesPerSecond = 0.0;
  if (!CheckStream(stream, SL_STREAM_VIDEO)) return false;
  *framesPerSecond = m_state->framesPerSecond;
  return SLSucceed(true);
}

bool CSLVideoAudioReaderMXV::IsKeyFrame(u32 stream, u64 frame) {
  if (!CheckStream(stream, SL_STREAM_VIDEO)) return false;
  if (frame >= m_state->frameCount) return SLFail(SL_E_MEDIA_FRAME_RANGE, false);
  return SLSucceed((m_state->frames[frame].flags & 1) != 0);
}

bool CSLVideoAudioReaderMXV::GetVideoFrameCount(u32 stream, u64* frames) {
  if (!frames) return SLFail(SL_E_NULL_OUTPUT, false);
  *frames = 0;
  if (!CheckStream(stream, SL_STREAM_VIDEO)) return false;
  *frames = m_state->frameCount;
  return SLSucceed(true);
}

bool CSLVideoAudioReaderMXV::GetAudioFormat(u32 stream, SLAudioFormat* out) {
  if (!out) return SLFail(SL_E_NULL_OUTPUT, false);
  *out = SLAudioFormat{};
  if (!CheckStream(stream, SL_STREAM_AUDIO)) return false;
  const SLMxvState* s = m_state;
  const u32 align = s->bitsPerSample / 8 * s->channels;
  *out = {1, s->channels, s->bitsPerSample, s->samplesPerSecond, s->samplesPerSecond * align, align};
  return SLSucceed(true);
}

bool CSLVideoAudioReaderMXV::GetAudioLength(u32 stream, u64* frames) {
  if (!frames) return SLFail(SL_E_NULL_OUTPUT, false);
  *frames = 0;
  if (!CheckStream(stream, SL_STREAM_AUDIO)) return false;
  *frames = m_state->audioLength;
  return SLSucceed(true);
}

bool CSLVideoAudioReaderMXV::ReadRawFrame(u32 stream, u64, void*, u64* size) {
  if (size) *size = 0;
  return CheckStream(stream, SL_STREAM_VIDEO) ? SLSucceed(true) : false;
}

u32 CSLVideoAudioReaderMXV::GetSignatureSize() { return SLSucceed(13u); }

bool CSLVideoAudioReaderMXV::CheckSignature(const void* header, u32 size) {
  if (!header || size < 4) return SLFail(SL_E_INVALID_ARG, false);
  const bool v1 = size >= 13 && SLMemCompare(header, kMagic1, 13) == 0;
  const bool v2 = size >= 10 && SLMemCompare(header, kMagic2, 10) == 0;
  return SLSucceed(v1 || v2);
}

const char* CSLVideoAudioReaderMXV::GetExtensionA(u32 index) {
  return index == 0 ? SLSucceed("MXV") : SLFail(SL_E_INDEX, static_cast<const char*>(nullptr));
}

const SLWChar* CSLVideoAudioReaderMXV::GetExtensionW(u32 index) {
  return index == 0 ? SLSucceed(u"MXV") : SLFail(SL_E_INDEX, static_cast<const SLWChar*>(nullptr));
}

// ---- Starting and stopping the streams ----

bool CSLVideoAudioReaderMXV::StartStream(u32 stream) {
  if (!CheckStream(stream, 0)) return false;
  return stream == m_state->videoStream ? StartVideo() : StartAudio();
}

bool CSLVideoAudioReaderMXV::StopStream(u32 stream) {
  if (!CheckStream(stream, 0)) return false;
  SLMxvState* s = m_state;
  const bool video = stream == s->videoStream;
  if (!(video ? s->videoStarted : s->audioStarted)) return SLFail(SL_E_NOT_STARTED, false);
  video ? StopVideo() : StopAudio();
  return SLSucceed(true);
}

template <class Take>
bool CSLVideoAudioReaderMXV::ReadHeaderPackets(u32 tag, Take take) {
  u64 size = 0;
  if (!FindChunk(tag, &size)) return false;
  if (!SLFitsU32(size)) return SLFail(SL_E_OUT_OF_MEMORY, false);
  TSLAutoPtr<u8> chunk(static_cast<u8*>(SLAlloc(u32(size))));
  if (!chunk) return SLFail(SL_E_OUT_OF_MEMORY, false);
  if (!ReadExactly(m_source, chunk.Get(), size)) return false;
  const u32 lengthBytes = m_state->version == 1 ? 4 : 8;
  u64 position = 0;
  for (int index = 0; index < 3; ++index) {
    if (size - position < lengthBytes) return SLFail(SL_E_MALFORMED, false);
    const u8* field = chunk.Get() + position;
    const u64 length = lengthBytes == 4 ? SLLoadLE32(field) : SLLoadLE64(field);
    position += lengthBytes;
    if (!SLFitsU32(length)) return SLFail(SL_E_OUT_OF_MEMORY, false);
    if (length > size - position) return SLFail(SL_E_MALFORMED, false);
    ogg_packet packet{};
    packet.packet = chunk.Get() + position;
    packet.bytes = long(length);
    packet.b_o_s = index == 0;
    if (take(&packet) != 0) return SLFail(SL_E_MALFORMED, false);
    position += length;
  }
  return position == size ? true : SLFail(SL_E_MALFORMED, false);
}

bool CSLVideoAudioReaderMXV::StartVideo() {
  SLMxvState* s = m_state;
  if (s->videoStarted) return SLFail(SL_E_ALREADY_STARTED, false);
  if (s->videoCodec < kMxvVideoZip || s->videoCodec > kMxvVideoTheora) return SLFail(SL_E_MEDIA_VIDEO_FORMAT, false);
  s->videoStarted = true;
  s->lastFrame = kMxvNone;
  auto stopOnFailure = SLMakeScopeGuard([this] { StopVideo(); });
  s->frameBuffer = AllocForLargest(s->frames, s->frameCount);
  if (!s->frameBuffer) return false;

  // Sides are at most 16,384 pixels, so every size below fits 32 bits.
  const u32 bits = s->bitsPerPixel;
  s->stride = (s->width * bits + 31) / 32 * 4;
  const u32 imageBytes = s->stride * s->height;
  const u32 extra = bits == 8 ? 1024 : bits == 16 ? 12 : 0;
  s->pictureSize = 40 + extra + imageBytes;
  s->picture = static_cast<u8*>(SLAllocZeroed(s->pictureSize));
  if (!s->picture) return SLFail(SL_E_OUT_OF_MEMORY, false);
  WriteBitmapHeader(s->picture, s->width, s->height, bits, imageBytes);
  if (bits == 8) {
    for (u32 i = 0; i < 256; ++i) {
      u8* quad = s->picture + 40 + 4 * i;
      quad[0] = s->palette[3 * i + 2];
      quad[1] = s->palette[3 * i + 1];
      quad[2] = s->palette[3 * i];
    }
  } else if (bits == 16) {
    SLStoreLE32(s->picture + 40, 0xF800);
    SLStoreLE32(s->picture + 44, 0x07E0);
    SLStoreLE32(s->picture + 48, 0x001F);
  }
  s->pixels = s->picture + 40 + extra;
  if (s->videoCodec == kMxvVideoTheora) {
    if (!StartTheora()) return false;
  } else {
    s->decompressor = s->videoCodec == kMxvVideoZip ? static_cast<CSLBaseCompress*>(new CSLCompressZIP(1))
                                                    : static_cast<CSLBaseCompress*>(new CSLCompressLZW());
    if (!s->decompressor) return SLFail(SL_E_OUT_OF_MEMORY, false);
    s->paddedWidth = (s->width + 15) & ~15u;
    s->paddedHeight = (s->height + 15) & ~15u;
    const u32 blocks = (s->paddedWidth / 8) * (s->paddedHeight / 8);
    s->mapBytes = (blocks + 7) / 8;
    s->workSize = bits / 8 * blocks * 64 + 1 + s->mapBytes;
    s->work = static_cast<u8*>(SLAlloc(s->workSize));
    if (!s->work) return SLFail(SL_E_OUT_OF_MEMORY, false);
  }
  stopOnFailure.Dismiss();
  return SLSucceed(true);
}

bool CSLVideoAudioReaderMXV::StartTheora() {
  SLMxvState* s = m_state;
  SLMxvBuildColourTables(&s->colourTables);
  theora_info_init(&s->theoraInfo);
  theora_comment_init(&s->theoraComment);
  s->theoraReady = true;
  if (!ReadHeaderPackets(FourCC("VHDR"), [s](ogg_packet* packet) {
        return theora_decode_header(&s->theoraInfo, &s->theoraComment, packet);
      }))
    return false;
  // The conversion reads the header's picture from the decoded planes.
  // The decoder allocates for the whole coded frame: it may exceed the picture only by
  // the rounding to 16-pixel macroblocks and the picture's offset inside it (below 256).
  const u64 widest = (u64(s->width) + s->theoraInfo.offset_x + 15) / 16 * 16;
  const u64 tallest = (u64(s->height) + s->theoraInfo.offset_y + 15) / 16 * 16;
  if (s->theoraInfo.width < s->width || s->theoraInfo.height < s->height || s->theoraInfo.width > widest ||
      s->theoraInfo.height > tallest)
    return SLFail(SL_E_MEDIA_VIDEO_FORMAT, false);
  if (theora_decode_init(&s->theoraDecoder, &s->theoraInfo) != 0) return SLFail(SL_E_OUT_OF_MEMORY, false);
  s->theoraDecoding = true;
  return true;
}

bool CSLVideoAudioReaderMXV::StartAudio() {
  SLMxvState* s = m_state;
  if (s->audioStarted) return SLFail(SL_E_ALREADY_STARTED, false);
  if (s->audioCodec != kMxvAudioPcm && s->audioCodec != kMxvAudioVorbis) return SLFail(SL_E_AUDIO_FORMAT, false);
  s->audioStarted = true;
  s->cachedBlock = kMxvNone;
  auto stopOnFailure = SLMakeScopeGuard([this] { StopAudio(); });
  s->blockAlign = s->bitsPerSample / 8 * s->channels;
  // PCM blocks are read straight into the decoded block.
  if (s->audioCodec == kMxvAudioVorbis) {
    s->blockBuffer = AllocForLargest(s->blocks, s->blockCount);
    if (!s->blockBuffer) return false;
  }
  s->decodedBlock = static_cast<u8*>(SLAlloc(s->blockAlign * s->samplesPerSecond));
  if (!s->decodedBlock) return SLFail(SL_E_OUT_OF_MEMORY, false);
  if (s->audioCodec == kMxvAudioVorbis && !StartVorbis()) return false;
  stopOnFailure.Dismiss();
  return SLSucceed(true);
}

bool CSLVideoAudioReaderMXV::StartVorbis() {
  SLMxvState* s = m_state;
  vorbis_info_init(&s->vorbisInfo);
  vorbis_comment_init(&s->vorbisComment);
  s->vorbisReady = true;
  if (!ReadHeaderPackets(FourCC("AHDR"), [s](ogg_packet* packet) {
        return vorbis_synthesis_headerin(&s->vorbisInfo, &s->vorbisComment, packet);
      }))
    return false;
  // The samples are converted into the header's layout: the stream must match it.
  if (u32(s->vorbisInfo.channels) != s->channels || u32(s->vorbisInfo.rate) != s->samplesPerSecond)
    return SLFail(SL_E_AUDIO_FORMAT, false);
  if (vorbis_synthesis_init(&s->vorbisDsp, &s->vorbisInfo) != 0) return SLFail(SL_E_OUT_OF_MEMORY, false);
  s->vorbisDecoding = true;
  if (vorbis_block_init(&s->vorbisDsp, &s->vorbisBlock) != 0) return SLFail(SL_E_OUT_OF_MEMORY, false);
  s->vorbisBlockReady = true;
  return true;
}

void CSLVideoAudioReaderMXV::StopVideo() {
  SLMxvState* s = m_state;
  if (!s->videoStarted) return;
  SLErrorKeeper keep;
  if (s->decompressor) s->decompressor->Release();
  if (s->theoraDecoding) theora_clear(&s->theoraDecoder);
  if (s->theoraReady) {
    theora_comment_clear(&s->theoraComment);
    theora_info_clear(&s->theoraInfo);
  }
  SLFree(s->work);
  SLFree(s->frameBuffer);
  SLFree(s->picture);
  // Back to the just-opened state; the stream keeps its number.
  const size_t first = offsetof(SLMxvState, videoStarted), last = offsetof(SLMxvState, audioStream);
  SLMemSet(reinterpret_cast<u8*>(s) + first, 0, last - first);
  s->lastFrame = kMxvNone;
}

void CSLVideoAudioReaderMXV::StopAudio() {
  SLMxvState* s = m_state;
  if (!s->audioStarted) return;
  SLErrorKeeper keep;
  if (s->vorbisBlockReady) vorbis_block_clear(&s->vorbisBlock);
  if (s->vorbisDecoding) vorbis_dsp_clear(&s->vorbisDsp);
  if (s->vorbisReady) {
    vorbis_comment_clear(&s->vorbisComment);
    vorbis_info_clear(&s->vorbisInfo);
  }
  SLFree(s->output);
  SLFree(s->decodedBlock);
  SLFree(s->blockBuffer);
  const size_t first = offsetof(SLMxvState, audioStarted);
  SLMemSet(reinterpret_cast<u8*>(s) + first, 0, sizeof(SLMxvState) - first);
  s->cachedBlock = kMxvNone;
}
