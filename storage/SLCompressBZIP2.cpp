#include "storage/SLCompressBZIP2.h"

#include <bzlib.h>

#include <cstddef>

#include "foundation/SLError.h"
#include "foundation/SLMemory.h"

SL_IMPLEMENT_CLASS(CSLCompressBZIP2, CSLBaseCompress)

namespace {

constexpr u32 kStagingSize = 4096;
constexpr u32 kMaxInputPiece = 131072;
constexpr u32 kMaxIdlePasses = 24;

void* BzAlloc(void* opaque, int items, int size) {
  if (items < 0 || size < 0) return nullptr;
  return SLCompressAlloc(opaque, static_cast<unsigned>(items), static_cast<unsigned>(size));
}

}  // namespace

struct CSLCompressBZIP2::State {
  // compression side
  u32 compressStarted;
  i32 blockSize;
  bz_stream compressStream;
  u8 compressStaging[kStagingSize];
  // decompression side; zeroed from here on by a reset
  u32 decompressStarted;
  bz_stream decompressStream;
  u32 streamEnd;
  u8 decompressStaging[kStagingSize];
};

CSLCompressBZIP2::CSLCompressBZIP2() : m_state(nullptr) {}

CSLCompressBZIP2::~CSLCompressBZIP2() {
  SLErrorKeeper keep;
  if (m_state != nullptr) {
    if (m_state->compressStarted) EndCompress();
    if (m_state->decompressStarted) EndDecompress();
    SLFree(m_state);
    m_state = nullptr;
  }
}

bool CSLCompressBZIP2::EnsureState() {
  if (m_state != nullptr) return true;
  void* block = SLAllocZero(sizeof(State));
  if (block == nullptr) return false;
  m_state = static_cast<State*>(block);
  m_state->blockSize = 6;
  ResetCompressSide();
  ResetDecompressSide();
  return true;
}

void CSLCompressBZIP2::ResetCompressSide() {
  const i32 blockSize = m_state->blockSize;
  SLMemSet(&m_state->compressStarted, 0, offsetof(State, decompressStarted));
  m_state->blockSize = blockSize;
  m_state->compressStream.bzalloc = BzAlloc;
  m_state->compressStream.bzfree = SLCompressFree;
}

void CSLCompressBZIP2::ResetDecompressSide() {
  SLMemSet(&m_state->decompressStarted, 0, sizeof(State) - offsetof(State, decompressStarted));
  m_state->decompressStream.bzalloc = BzAlloc;
  m_state->decompressStream.bzfree = SLCompressFree;
}

bool CSLCompressBZIP2::FailCompress(u32 code) {
  SLGuardedCodecCall([&] { return BZ2_bzCompressEnd(&m_state->compressStream); }, BZ_OK);
  ResetCompressSide();
  return SLFail(code, false);
}

bool CSLCompressBZIP2::FailDecompress(u32 code) {
  SLGuardedCodecCall([&] { return BZ2_bzDecompressEnd(&m_state->decompressStream); }, BZ_OK);
  ResetDecompressSide();
  return SLFail(code, false);
}

bool CSLCompressBZIP2::SetBlockSize(i32 size) {
  if (size < 1 || size > 9) return SLFail(SL_E_INVALID_ARG, false);
  if (!EnsureState()) return false;
  if (m_state->compressStarted) return SLFail(SL_E_CODEC_COMPRESSING, false);
  m_state->blockSize = size;
  return SLSucceed(true);
}

bool CSLCompressBZIP2::BeginCompress() {
  if (!EnsureState()) return false;
  if (m_state->compressStarted) return SLFail(SL_E_CODEC_COMPRESSING, false);
  m_compressed.SetCapacity(0);
  ResetCompressSide();
  m_state->compressStarted = 1;
  const int result = SLGuardedCodecCall(
      [&] { return BZ2_bzCompressInit(&m_state->compressStream, m_state->blockSize, 0, 30); },
      BZ_MEM_ERROR);
  if (result != BZ_OK) {
    ResetCompressSide();
    return SLFail(SL_E_OUT_OF_MEMORY, false);
  }
  return SLSucceed(true);
}

bool CSLCompressBZIP2::Compress(const u8* data, u32 length) {
  if (m_state == nullptr || !m_state->compressStarted) return SLFail(SL_E_CODEC_NO_COMPRESSION, false);
  if (data == nullptr) return SLFail(SL_E_NULL_DATA, false);
  if (length == 0) return SLFail(SL_E_BAD_SIZE, false);
  bz_stream& bs = m_state->compressStream;
  u32 left = length;
  while (left != 0) {
    const u32 piece = left < kMaxInputPiece ? left : kMaxInputPiece;
    bs.next_in = const_cast<char*>(reinterpret_cast<const char*>(data));
    bs.avail_in = piece;
    bs.next_out = reinterpret_cast<char*>(m_state->compressStaging);
    bs.avail_out = kStagingSize;
    const int result = SLGuardedCodecCall([&] { return BZ2_bzCompress(&bs, BZ_RUN); }, BZ_MEM_ERROR);
    if (result != BZ_OK && result != BZ_RUN_OK) return FailCompress(SL_E_CODEC_COMPRESS_FAILED);
    const u32 consumed = piece - bs.avail_in;
    data += consumed;
    left -= consumed;
    const u32 produced = kStagingSize - bs.avail_out;
    if (produced != 0 && !m_compressed.Write(m_state->compressStaging, produced, true)) {
      return FailCompress(SLGetLastError(false));
    }
  }
  return SLSucceed(true);
}

bool CSLCompressBZIP2::EndCompress() {
  if (m_state == nullptr || !m_state->compressStarted) return SLFail(SL_E_CODEC_NO_COMPRESSION, false);
  bz_stream& bs = m_state->compressStream;
  u32 idlePasses = 0;
  for (;;) {
    bs.next_in = nullptr;
    bs.avail_in = 0;
    bs.next_out = reinterpret_cast<char*>(m_state->compressStaging);
    bs.avail_out = kStagingSize;
    const int result = SLGuardedCodecCall([&] { return BZ2_bzCompress(&bs, BZ_FINISH); }, BZ_MEM_ERROR);
    if (result != BZ_OK && result != BZ_FINISH_OK && result != BZ_STREAM_END) {
      return FailCompress(SL_E_CODEC_COMPRESS_FAILED);
    }
    const u32 produced = kStagingSize - bs.avail_out;
    if (produced != 0 && !m_compressed.Write(m_state->compressStaging, produced, true)) {
      return FailCompress(SLGetLastError(false));
    }
    if (result == BZ_STREAM_END) {
      SLGuardedCodecCall([&] { return BZ2_bzCompressEnd(&bs); }, BZ_OK);
      ResetCompressSide();
      return SLSucceed(true);
    }
    if (produced == 0 && ++idlePasses >= kMaxIdlePasses) return FailCompress(SL_E_CODEC_COMPRESS_FAILED);
  }
}

bool CSLCompressBZIP2::BeginDecompress() {
  if (!EnsureState()) return false;
  if (m_state->decompressStarted) return SLFail(SL_E_CODEC_DECOMPRESSING, false);
  m_decompressed.SetCapacity(0);
  ResetDecompressSide();
  m_state->decompressStarted = 1;
  const int result = SLGuardedCodecCall(
      [&] { return BZ2_bzDecompressInit(&m_state->decompressStream, 0, 0); }, BZ_MEM_ERROR);
  if (result != BZ_OK) {
    ResetDecompressSide();
    return SLFail(SL_E_OUT_OF_MEMORY, false);
  }
  return SLSucceed(true);
}

bool CSLCompressBZIP2::Decompress(const u8* data, u32 length, u32* remaining) {
  if (remaining != nullptr) *remaining = length;
  if (m_state == nullptr || !m_state->decompressStarted) return SLFail(SL_E_CODEC_NO_DECOMPRESSION, false);
  if (data == nullptr) return SLFail(SL_E_NULL_DATA, false);
  if (length == 0) return SLFail(SL_E_BAD_SIZE, false);
  bz_stream& bs = m_state->decompressStream;
  u32 left = length;
  while (!m_state->streamEnd && left != 0) {
    const u32 piece = left < kMaxInputPiece ? left : kMaxInputPiece;
    bs.next_in = const_cast<char*>(reinterpret_cast<const char*>(data));
    bs.avail_in = piece;
    bs.next_out = reinterpret_cast<char*>(m_state->decompressStaging);
    bs.avail_out = kStagingSize;
    const int result = SLGuardedCodecCall([&] { return BZ2_bzDecompress(&bs); }, BZ_MEM_ERROR);
    // What libbz2 took before it stopped counts as consumed, also when it failed.
    const u32 consumed = piece - bs.avail_in;
    data += consumed;
    left -= consumed;
    if (remaining != nullptr) *remaining = left;
    if (result != BZ_OK && result != BZ_RUN_OK && result != BZ_STREAM_END) {
      return FailDecompress(SL_E_CODEC_DECOMPRESS_FAILED);
    }
    if (result == BZ_STREAM_END) m_state->streamEnd = 1;
    const u32 produced = kStagingSize - bs.avail_out;
    if (produced != 0 && !m_decompressed.Write(m_state->decompressStaging, produced, true)) {
      return FailDecompress(SLGetLastError(false));
    }
  }
  return SLSucceed(true);
}

bool CSLCompressBZIP2::EndDecompress() {
  if (m_state == nullptr || !m_state->decompressStarted) return SLFail(SL_E_CODEC_NO_DECOMPRESSION, false);
  bz_stream& bs = m_state->decompressStream;
  if (!m_state->streamEnd) {
    // libbz2 has no finishing call: passes without input drain what it still holds; a
    // stream that has not reached its end marker is truncated.
    u32 idlePasses = 0;
    for (;;) {
      bs.next_in = nullptr;
      bs.avail_in = 0;
      bs.next_out = reinterpret_cast<char*>(m_state->decompressStaging);
      bs.avail_out = kStagingSize;
      const int result = SLGuardedCodecCall([&] { return BZ2_bzDecompress(&bs); }, BZ_MEM_ERROR);
      const u32 produced = kStagingSize - bs.avail_out;
      if (produced != 0 && !m_decompressed.Write(m_state->decompressStaging, produced, true)) {
        return FailDecompress(SLGetLastError(false));
      }
      if (result == BZ_STREAM_END || result == BZ_RUN_OK) break;
      if (result != BZ_OK) return FailDecompress(SL_E_CODEC_DECOMPRESS_FAILED);
      if (produced == 0 && ++idlePasses >= kMaxIdlePasses) {
        return FailDecompress(SL_E_CODEC_DECOMPRESS_FAILED);
      }
    }
  }
  SLGuardedCodecCall([&] { return BZ2_bzDecompressEnd(&bs); }, BZ_OK);
  ResetDecompressSide();
  return SLSucceed(true);
}

bool CSLCompressBZIP2::IsStreamEnd() {
  if (m_state == nullptr || !m_state->decompressStarted) return SLFail(SL_E_CODEC_NO_DECOMPRESSION, true);
  SLSetLastError(SL_OK);
  return m_state->streamEnd != 0;
}
