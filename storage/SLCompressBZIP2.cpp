#include "storage/SLCompressBZIP2.h"

#include <bzlib.h>

#include <cstddef>

#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "storage/SLCompressPump.h"

SL_IMPLEMENT_CLASS(CSLCompressBZIP2, CSLBaseCompress)

namespace {

using SLInternals::SLCodecStep;

constexpr u32 kStagingSize = SLInternals::kCodecStagingSize;

SLCodecStep CompressStep(int result) {
  return result == BZ_OK || result == BZ_RUN_OK ? SLCodecStep::kMore : SLCodecStep::kFail;
}
SLCodecStep CompressFinishStep(int result) {
  return result == BZ_STREAM_END                         ? SLCodecStep::kEnd
         : result == BZ_OK || result == BZ_FINISH_OK ? SLCodecStep::kMore
                                                         : SLCodecStep::kFail;
}
SLCodecStep DecompressStep(int result) {
  return result == BZ_STREAM_END ? SLCodecStep::kEnd
         : result == BZ_OK || result == BZ_RUN_OK ? SLCodecStep::kMore
                                                  : SLCodecStep::kFail;
}
// libbz2 has no finishing call for decompression: passes without input drain what it still
// holds, and a stream that has not reached its end marker is truncated.
SLCodecStep DecompressFinishStep(int result) {
  return result == BZ_STREAM_END || result == BZ_RUN_OK ? SLCodecStep::kEnd
         : result == BZ_OK                              ? SLCodecStep::kMore
                                                        : SLCodecStep::kFail;
}

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

CSLCompressBZIP2::~CSLCompressBZIP2() { SLInternals::SLReleaseCodecState(this, m_state); }

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
  u32 consumed = 0, failure = SL_OK;
  const auto call = [](bz_stream& bs) {
    return SLGuardedCodecCall([&] { return BZ2_bzCompress(&bs, BZ_RUN); }, BZ_MEM_ERROR);
  };
  if (!SLInternals::SLPumpCodecInput(m_state->compressStream, m_state->compressStaging, m_compressed, data, length,
                                     &consumed, nullptr, call, CompressStep, SL_E_CODEC_COMPRESS_FAILED, &failure))
    return FailCompress(failure);
  return SLSucceed(true);
}

bool CSLCompressBZIP2::EndCompress() {
  if (m_state == nullptr || !m_state->compressStarted) return SLFail(SL_E_CODEC_NO_COMPRESSION, false);
  u32 failure = SL_OK;
  const auto call = [](bz_stream& bs) {
    return SLGuardedCodecCall([&] { return BZ2_bzCompress(&bs, BZ_FINISH); }, BZ_MEM_ERROR);
  };
  if (!SLInternals::SLPumpCodecFinish(m_state->compressStream, m_state->compressStaging, m_compressed, call,
                                      CompressFinishStep, SL_E_CODEC_COMPRESS_FAILED, &failure))
    return FailCompress(failure);
  SLGuardedCodecCall([&] { return BZ2_bzCompressEnd(&m_state->compressStream); }, BZ_OK);
  ResetCompressSide();
  return SLSucceed(true);
}

bool CSLCompressBZIP2::BeginDecompress() {
  if (!EnsureState()) return false;
  if (m_state->decompressStarted) return SLFail(SL_E_ALREADY_STARTED, false);
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
  if (m_state == nullptr || !m_state->decompressStarted) return SLFail(SL_E_NOT_STARTED, false);
  if (data == nullptr) return SLFail(SL_E_NULL_DATA, false);
  if (length == 0) return SLFail(SL_E_BAD_SIZE, false);
  u32 consumed = 0, failure = SL_OK;
  const auto call = [](bz_stream& bs) {
    return SLGuardedCodecCall([&] { return BZ2_bzDecompress(&bs); }, BZ_MEM_ERROR);
  };
  const bool ok = SLInternals::SLPumpCodecInput(m_state->decompressStream, m_state->decompressStaging,
                                                m_decompressed, data, length, &consumed, &m_state->streamEnd, call,
                                                DecompressStep, SL_E_DECODE_DATA, &failure);
  // What libbz2 took before it stopped counts as consumed, also when it failed.
  if (remaining != nullptr) *remaining = length - consumed;
  if (!ok) return FailDecompress(failure);
  return SLSucceed(true);
}

bool CSLCompressBZIP2::EndDecompress() {
  if (m_state == nullptr || !m_state->decompressStarted) return SLFail(SL_E_NOT_STARTED, false);
  u32 failure = SL_OK;
  const auto call = [](bz_stream& bs) {
    return SLGuardedCodecCall([&] { return BZ2_bzDecompress(&bs); }, BZ_MEM_ERROR);
  };
  if (!m_state->streamEnd &&
      !SLInternals::SLPumpCodecFinish(m_state->decompressStream, m_state->decompressStaging, m_decompressed, call,
                                      DecompressFinishStep, SL_E_DECODE_DATA, &failure))
    return FailDecompress(failure);
  SLGuardedCodecCall([&] { return BZ2_bzDecompressEnd(&m_state->decompressStream); }, BZ_OK);
  ResetDecompressSide();
  return SLSucceed(true);
}

bool CSLCompressBZIP2::IsStreamEnd() { return SLInternals::SLCodecStreamEnded(m_state); }
