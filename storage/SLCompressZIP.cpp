#include "storage/SLCompressZIP.h"

#include <zlib.h>

#include <cstddef>
#include <new>

#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "storage/SLCompressPump.h"
#include "storage/SLInflate.h"

SL_IMPLEMENT_CLASS(CSLCompressZIP, CSLBaseCompress)

namespace {

using SLInternals::kCodecStagingSize;
using SLInternals::SLCodecStep;

constexpr u32 kStagingSize = kCodecStagingSize;

SLCodecStep DeflateStep(int result) { return result == Z_OK ? SLCodecStep::kMore : SLCodecStep::kFail; }
SLCodecStep FinishStep(int result) {
  return result == Z_STREAM_END ? SLCodecStep::kEnd : result == Z_OK ? SLCodecStep::kMore : SLCodecStep::kFail;
}

// Gzip header states of a decompression stream. 0: no header (inflating); 1: nothing seen
// yet; 2: a first 0x1F held back; 3 and up: the header's fields, consumed as they arrive.
enum : i32 {
  kGzipNone = 0,
  kGzipStart = 1,
  kGzipHeld1F = 2,
  kGzipMethod = 3,
  kGzipFlags = 4,
  kGzipTime = 5,  // 5..8, then 9 the extra flags and 10 the system byte
  kGzipExtraFlags = 9,
  kGzipSystem = 10,
  kGzipExtraLength1 = 11,
  kGzipExtraLength2 = 12,
  kGzipExtra = 13,
  kGzipName = 14,
  kGzipComment = 15,
  kGzipHeaderCrc1 = 16,
  kGzipHeaderCrc2 = 17,
};

constexpr u8 kGzipFlagHeaderCrc = 2;
constexpr u8 kGzipFlagExtra = 4;
constexpr u8 kGzipFlagName = 8;
constexpr u8 kGzipFlagComment = 16;

}  // namespace

struct CSLCompressZIP::State {
  // compression side
  u32 compressStarted;
  i32 level;
  ::z_stream deflateStream;
  u8 compressStaging[kStagingSize];
  // decompression side; zeroed from here on by a reset
  i32 gzipState;
  u32 decompressStarted;
  u32 deflate64;
  SLInflate::z_stream inflateStream;
  u32 streamEnd;
  u8 gzipFlags;
  u16 extraLeft;
  u8 decompressStaging[kStagingSize];
};

CSLCompressZIP::CSLCompressZIP(u32 zlibHeader) : m_state(nullptr), m_zlibHeader(zlibHeader) {}

CSLCompressZIP::~CSLCompressZIP() { SLInternals::SLReleaseCodecState(this, m_state); }

bool CSLCompressZIP::EnsureState() {
  if (m_state != nullptr) return true;
  void* block = SLAllocZero(sizeof(State));
  if (block == nullptr) return false;
  m_state = static_cast<State*>(block);
  m_state->level = 6;
  ResetCompressSide();
  ResetDecompressSide(false);
  return true;
}

void CSLCompressZIP::ResetCompressSide() {
  const i32 level = m_state->level;
  SLMemSet(&m_state->compressStarted, 0, offsetof(State, gzipState));
  m_state->level = level;
  m_state->deflateStream.zalloc = SLCompressAlloc;
  m_state->deflateStream.zfree = SLCompressFree;
  m_state->deflateStream.opaque = nullptr;
}

void CSLCompressZIP::ResetDecompressSide(bool keepDeflate64) {
  const u32 deflate64 = keepDeflate64 ? m_state->deflate64 : 0;
  SLMemSet(&m_state->gzipState, 0, sizeof(State) - offsetof(State, gzipState));
  m_state->deflate64 = deflate64;
  m_state->inflateStream.zalloc = SLCompressAlloc;
  m_state->inflateStream.zfree = SLCompressFree;
  m_state->inflateStream.opaque = nullptr;
}

bool CSLCompressZIP::FailCompress(u32 code) {
  SLGuardedCodecCall([&] { return deflateEnd(&m_state->deflateStream); }, Z_OK);
  ResetCompressSide();
  return SLFail(code, false);
}

bool CSLCompressZIP::FailDecompress(u32 code) {
  SLGuardedCodecCall([&] { return SLInflate::inflateEnd(&m_state->inflateStream); }, Z_OK);
  ResetDecompressSide(false);
  return SLFail(code, false);
}

bool CSLCompressZIP::SetDeflate64(u32 on) {
  if (!EnsureState()) return false;
  if (m_state->decompressStarted) return SLFail(SL_E_ALREADY_STARTED, false);
  m_state->deflate64 = on != 0;
  return SLSucceed(true);
}

// ---- compression ------------------------------------------------------------------------

bool CSLCompressZIP::BeginCompress() {
  if (!EnsureState()) return false;
  if (m_state->compressStarted) return SLFail(SL_E_CODEC_COMPRESSING, false);
  m_compressed.SetCapacity(0);
  ResetCompressSide();
  m_state->compressStarted = 1;
  const int windowBits = m_zlibHeader ? 15 : -15;
  const int result = SLGuardedCodecCall(
      [&] {
        return deflateInit2(&m_state->deflateStream, m_state->level, Z_DEFLATED, windowBits, 8,
                            Z_DEFAULT_STRATEGY);
      },
      Z_MEM_ERROR);
  if (result != Z_OK) {
    ResetCompressSide();
    return SLFail(SL_E_OUT_OF_MEMORY, false);
  }
  return SLSucceed(true);
}

bool CSLCompressZIP::Compress(const u8* data, u32 length) {
  if (m_state == nullptr || !m_state->compressStarted) return SLFail(SL_E_CODEC_NO_COMPRESSION, false);
  if (data == nullptr) return SLFail(SL_E_NULL_DATA, false);
  if (length == 0) return SLFail(SL_E_BAD_SIZE, false);
  u32 consumed = 0, failure = SL_OK;
  const auto call = [](::z_stream& zs) {
    return SLGuardedCodecCall([&] { return deflate(&zs, Z_NO_FLUSH); }, Z_MEM_ERROR);
  };
  if (!SLInternals::SLPumpCodecInput(m_state->deflateStream, m_state->compressStaging, m_compressed, data, length,
                                     &consumed, nullptr, call, DeflateStep, SL_E_CODEC_COMPRESS_FAILED, &failure))
    return FailCompress(failure);
  return SLSucceed(true);
}

bool CSLCompressZIP::EndCompress() {
  if (m_state == nullptr || !m_state->compressStarted) return SLFail(SL_E_CODEC_NO_COMPRESSION, false);
  u32 failure = SL_OK;
  const auto call = [](::z_stream& zs) {
    return SLGuardedCodecCall([&] { return deflate(&zs, Z_FINISH); }, Z_MEM_ERROR);
  };
  if (!SLInternals::SLPumpCodecFinish(m_state->deflateStream, m_state->compressStaging, m_compressed, call,
                                      FinishStep, SL_E_CODEC_COMPRESS_FAILED, &failure))
    return FailCompress(failure);
  SLGuardedCodecCall([&] { return deflateEnd(&m_state->deflateStream); }, Z_OK);
  ResetCompressSide();
  return SLSucceed(true);
}

// ---- decompression ----------------------------------------------------------------------

bool CSLCompressZIP::BeginDecompress() {
  if (!EnsureState()) return false;
  if (m_state->decompressStarted) return SLFail(SL_E_ALREADY_STARTED, false);
  m_decompressed.SetCapacity(0);
  ResetDecompressSide(true);
  m_state->gzipState = kGzipStart;
  m_state->decompressStarted = 1;
  const int windowBits = m_state->deflate64 ? -16 : (m_zlibHeader ? 15 : -15);
  const int result = SLGuardedCodecCall(
      [&] {
        return SLInflate::inflateInit2_(&m_state->inflateStream, windowBits, "1.2.5",
                                        static_cast<int>(sizeof(SLInflate::z_stream)));
      },
      Z_MEM_ERROR);
  if (result != Z_OK) {
    ResetDecompressSide(false);
    return SLFail(SL_E_OUT_OF_MEMORY, false);
  }
  return SLSucceed(true);
}

// Inflates `length` bytes (or until the end of the deflate stream); `*consumed` counts the
// input used, also on failure.
bool CSLCompressZIP::InflatePiece(const u8* data, u32 length, u32* consumed) {
  u32 failure = SL_OK;
  const auto call = [](SLInflate::z_stream& zs) {
    return SLGuardedCodecCall([&] { return SLInflate::inflate(&zs, Z_SYNC_FLUSH); }, Z_MEM_ERROR);
  };
  if (!SLInternals::SLPumpCodecInput(m_state->inflateStream, m_state->decompressStaging, m_decompressed, data,
                                     length, consumed, &m_state->streamEnd, call, FinishStep,
                                     SL_E_DECODE_DATA, &failure))
    return FailDecompress(failure);
  return true;
}

bool CSLCompressZIP::Decompress(const u8* data, u32 length, u32* remaining) {
  if (remaining != nullptr) *remaining = length;
  if (m_state == nullptr || !m_state->decompressStarted) return SLFail(SL_E_NOT_STARTED, false);
  if (data == nullptr) return SLFail(SL_E_NULL_DATA, false);
  if (length == 0) return SLFail(SL_E_BAD_SIZE, false);
  State& s = *m_state;
  u32 pos = 0;
  bool feedHeld1F = false;
  if (s.gzipState == kGzipStart) {
    if (data[0] == 0x1F && length >= 2 && data[1] == 0x8B) {
      pos = 2;
      s.gzipState = kGzipMethod;
    } else if (data[0] == 0x1F && length == 1) {
      s.gzipState = kGzipHeld1F;
      if (remaining != nullptr) *remaining = 0;
      return SLSucceed(true);
    } else {
      s.gzipState = kGzipNone;
    }
  } else if (s.gzipState == kGzipHeld1F) {
    if (data[0] == 0x8B) {
      pos = 1;
      s.gzipState = kGzipMethod;
    } else {
      s.gzipState = kGzipNone;
      feedHeld1F = true;
    }
  }

  // The gzip header's fields; they may arrive split over any number of calls.
  while (pos < length && s.gzipState >= kGzipMethod) {
    const u8 byte = data[pos];
    switch (s.gzipState) {
      case kGzipMethod:
        if (byte != 8) {
          if (remaining != nullptr) *remaining = length - pos;
          return FailDecompress(SL_E_DECODE_DATA);
        }
        ++pos;
        s.gzipState = kGzipFlags;
        break;
      case kGzipFlags:
        if (byte & 0xE0) {
          if (remaining != nullptr) *remaining = length - pos;
          return FailDecompress(SL_E_DECODE_DATA);
        }
        s.gzipFlags = byte;
        ++pos;
        s.gzipState = kGzipTime;
        break;
      case kGzipSystem:
        ++pos;
        s.gzipState = kGzipExtraLength1;
        break;
      case kGzipExtraLength1:
        if (!(s.gzipFlags & kGzipFlagExtra)) {
          s.gzipState = kGzipName;
          break;
        }
        s.extraLeft = byte;
        ++pos;
        s.gzipState = kGzipExtraLength2;
        break;
      case kGzipExtraLength2:
        s.extraLeft = static_cast<u16>(s.extraLeft | (byte << 8));
        ++pos;
        s.gzipState = kGzipExtra;
        break;
      case kGzipExtra: {
        u32 skip = length - pos;
        if (skip > s.extraLeft) skip = s.extraLeft;
        pos += skip;
        s.extraLeft = static_cast<u16>(s.extraLeft - skip);
        if (s.extraLeft == 0) s.gzipState = kGzipName;
        break;
      }
      case kGzipName:
      case kGzipComment: {
        const u8 flag = s.gzipState == kGzipName ? kGzipFlagName : kGzipFlagComment;
        const i32 nextState = s.gzipState == kGzipName ? kGzipComment : kGzipHeaderCrc1;
        if (!(s.gzipFlags & flag)) {
          s.gzipState = nextState;
          break;
        }
        while (pos < length && data[pos] != 0) ++pos;
        if (pos < length) {
          ++pos;  // the terminating zero
          s.gzipState = nextState;
        }
        break;
      }
      case kGzipHeaderCrc1:
        if (!(s.gzipFlags & kGzipFlagHeaderCrc)) {
          s.gzipState = kGzipNone;
          break;
        }
        ++pos;
        s.gzipState = kGzipHeaderCrc2;
        break;
      case kGzipHeaderCrc2:
        ++pos;
        s.gzipState = kGzipNone;
        break;
      default:  // the time bytes and the extra flags
        ++pos;
        s.gzipState++;
        break;
    }
  }
  // A header that ends exactly at the input's end may still owe its optional fields' checks.
  while (s.gzipState >= kGzipExtraLength1 && pos == length) {
    if (s.gzipState == kGzipExtraLength1 && !(s.gzipFlags & kGzipFlagExtra)) {
      s.gzipState = kGzipName;
    } else if (s.gzipState == kGzipName && !(s.gzipFlags & kGzipFlagName)) {
      s.gzipState = kGzipComment;
    } else if (s.gzipState == kGzipComment && !(s.gzipFlags & kGzipFlagComment)) {
      s.gzipState = kGzipHeaderCrc1;
    } else if (s.gzipState == kGzipHeaderCrc1 && !(s.gzipFlags & kGzipFlagHeaderCrc)) {
      s.gzipState = kGzipNone;
    } else {
      break;
    }
  }
  if (remaining != nullptr) *remaining = length - pos;

  if (feedHeld1F) {
    static const u8 kHeldByte = 0x1F;
    u32 used = 0;
    if (!InflatePiece(&kHeldByte, 1, &used)) return false;
  }
  if (s.gzipState == kGzipNone && pos < length) {
    u32 used = 0;
    const bool ok = InflatePiece(data + pos, length - pos, &used);
    if (remaining != nullptr) *remaining = length - pos - used;
    if (!ok) return false;
  }
  return SLSucceed(true);
}

bool CSLCompressZIP::EndDecompress() {
  if (m_state == nullptr || !m_state->decompressStarted) return SLFail(SL_E_NOT_STARTED, false);
  u32 failure = SL_OK;
  const auto call = [](SLInflate::z_stream& zs) {
    return SLGuardedCodecCall([&] { return SLInflate::inflate(&zs, Z_FINISH); }, Z_MEM_ERROR);
  };
  if (!m_state->streamEnd &&
      !SLInternals::SLPumpCodecFinish(m_state->inflateStream, m_state->decompressStaging, m_decompressed, call,
                                      FinishStep, SL_E_DECODE_DATA, &failure))
    return FailDecompress(failure);
  SLGuardedCodecCall([&] { return SLInflate::inflateEnd(&m_state->inflateStream); }, Z_OK);
  ResetDecompressSide(false);
  return SLSucceed(true);
}

bool CSLCompressZIP::IsStreamEnd() { return SLInternals::SLCodecStreamEnded(m_state); }
