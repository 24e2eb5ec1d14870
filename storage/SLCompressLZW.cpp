#include "storage/SLCompressLZW.h"

#include <stdexcept>

#include "foundation/SLError.h"
#include "foundation/SLMemory.h"

SL_IMPLEMENT_CLASS(CSLCompressLZW, CSLBaseCompress)

namespace {

constexpr u32 kTableSize = 4096;
constexpr u32 kFirstFree = 256;
constexpr u8 kInitialWidth = 9;
constexpr u32 kStagingSize = 2048;
constexpr u32 kPendingSize = 4100;
constexpr i32 kUnassigned = -1000;
constexpr i32 kNone = -1;

// Coded bytes go to the staging buffer while it has room and to the pending buffer after
// it; pending bytes lead the next pass. One decoded string or one code never overflows it.
struct SLOutput {
  u8* staging;
  u32 staged;
  u8* pending;
  u32* pendingCount;

  void Put(u8 byte) {
    if (staged < kStagingSize) {
      staging[staged++] = byte;
    } else if (*pendingCount < kPendingSize) {
      pending[(*pendingCount)++] = byte;
    } else {
      throw std::length_error("LZW pending buffer");
    }
  }
};

u32 MovePending(u8* pending, u32* pendingCount, u8* staging) {
  const u32 moved = *pendingCount < kStagingSize ? *pendingCount : kStagingSize;
  SLMemCopy(staging, pending, moved);
  SLMemMove(pending, pending + moved, *pendingCount - moved);
  *pendingCount -= moved;
  return moved;
}

}  // namespace

struct CSLCompressLZW::State {
  struct CompressEntry {
    i32 symbol;
    i32 code;
    i32 firstChild;
    i32 nextSibling;
  };
  struct DecompressEntry {
    i32 symbol;
    i32 prefix;
  };
  // What both halves keep: the stream's stage, the bit accumulator between whole bytes, and
  // output that did not fit the ring yet.
  struct Half {
    u32 started;
    u32 initialised;
    u32 finished;
    u32 accumulator;
    u8 accumulatorBits;
    u32 pendingCount;
    u8 pending[kPendingSize];
  };
  struct CompressHalf : Half {
    i32 current;  // code of the string matched so far
    u32 nextCode;
    u8 width;
    CompressEntry dictionary[kTableSize];
    u8 staging[kStagingSize];
  } compress;
  struct DecompressHalf : Half {
    i32 previous;
    i32 current;
    i32 firstSymbol;  // first symbol of the previous string
    u32 nextCode;
    u8 width;
    u32 resume;  // the next code is the first one after a start or reset
    DecompressEntry dictionary[kTableSize];
    u8 staging[kStagingSize];
    u8 string[kTableSize];
  } decompress;
};

using CompressHalf = CSLCompressLZW::State::CompressHalf;
using DecompressHalf = CSLCompressLZW::State::DecompressHalf;

namespace {

void ResetCompressDictionary(CompressHalf& c) {
  for (u32 i = 0; i < kTableSize; ++i) c.dictionary[i].firstChild = kNone;
  c.nextCode = kFirstFree;
  c.width = kInitialWidth;
}

void SetUpCompressDictionary(CompressHalf& c) {
  for (u32 i = 0; i < kTableSize; ++i) {
    const bool root = i < kFirstFree;
    c.dictionary[i] = {root ? static_cast<i32>(i) : kUnassigned, root ? static_cast<i32>(i) : kNone,
                       kNone, kNone};
  }
  ResetCompressDictionary(c);
}

void WriteCode(CompressHalf& c, u32 code, SLOutput& out) {
  c.accumulator = (c.accumulator << c.width) | code;
  c.accumulatorBits = static_cast<u8>(c.accumulatorBits + c.width);
  while (c.accumulatorBits >= 8) {
    c.accumulatorBits = static_cast<u8>(c.accumulatorBits - 8);
    out.Put(static_cast<u8>(c.accumulator >> c.accumulatorBits));
  }
  c.accumulator &= (1u << c.accumulatorBits) - 1;
}

// Codes one input byte: extends the current string or writes it and starts a new one.
void CodeByte(CompressHalf& c, u8 symbol, SLOutput& out) {
  i32 child = c.dictionary[c.current].firstChild;
  i32 lastChild = kNone;
  while (child != kNone) {
    if (child < 0 || static_cast<u32>(child) >= kTableSize) throw std::out_of_range("LZW child");
    if (c.dictionary[child].symbol == symbol) {
      c.current = child;
      return;
    }
    lastChild = child;
    child = c.dictionary[child].nextSibling;
  }
  WriteCode(c, static_cast<u32>(c.current), out);
  const u32 added = c.nextCode;
  c.dictionary[added] = {symbol, static_cast<i32>(added), kNone, kNone};
  if (lastChild == kNone) {
    c.dictionary[c.current].firstChild = static_cast<i32>(added);
  } else {
    c.dictionary[lastChild].nextSibling = static_cast<i32>(added);
  }
  c.nextCode++;
  if (c.nextCode == (1u << c.width)) c.width++;
  if (c.nextCode == kTableSize) ResetCompressDictionary(c);
  c.current = symbol;
}

void SetUpDecompressDictionary(DecompressHalf& d) {
  for (u32 i = 0; i < kTableSize; ++i) {
    d.dictionary[i] = {i < kFirstFree ? static_cast<i32>(i) : kUnassigned, kNone};
  }
  d.nextCode = kFirstFree;
  d.width = kInitialWidth;
}

bool ReadCode(DecompressHalf& d, const u8* data, u32 length, u32* pos, u32* code) {
  while (d.accumulatorBits < d.width) {
    if (*pos >= length) return false;
    d.accumulator = (d.accumulator << 8) | data[(*pos)++];
    d.accumulatorBits = static_cast<u8>(d.accumulatorBits + 8);
  }
  d.accumulatorBits = static_cast<u8>(d.accumulatorBits - d.width);
  *code = (d.accumulator >> d.accumulatorBits) & ((1u << d.width) - 1);
  d.accumulator &= (1u << d.accumulatorBits) - 1;
  return true;
}

// Writes the string of `code` (first symbol first) by following prefixes back to its
// single-symbol root; every step is checked against the table. False for a broken chain.
bool WriteString(DecompressHalf& d, u32 code, SLOutput& out, i32* firstSymbol) {
  u32 length = 0;
  i32 entry = static_cast<i32>(code);
  while (entry != kNone) {
    if (entry < 0 || static_cast<u32>(entry) >= kTableSize || length >= kTableSize) return false;
    const i32 symbol = d.dictionary[entry].symbol;
    if (symbol < 0 || symbol > 255) return false;
    d.string[length++] = static_cast<u8>(symbol);
    entry = d.dictionary[entry].prefix;
  }
  if (length == 0) return false;
  *firstSymbol = d.string[length - 1];
  while (length != 0) out.Put(d.string[--length]);
  return true;
}

}  // namespace

CSLCompressLZW::CSLCompressLZW() : m_state(nullptr) {}

CSLCompressLZW::~CSLCompressLZW() {
  SLErrorKeeper keep;
  SLFree(m_state);
  m_state = nullptr;
}

bool CSLCompressLZW::EnsureState() {
  if (m_state != nullptr) return true;
  m_state = static_cast<State*>(SLAllocZero(sizeof(State)));
  if (m_state == nullptr) return SLFail(SL_E_OUT_OF_MEMORY, false);
  return true;
}

bool CSLCompressLZW::FlushStaging(CSLCircularBuffer& ring, const u8* staging, u32 count) {
  return count == 0 || ring.Write(staging, count, true);
}

// ---- compression ------------------------------------------------------------------------

bool CSLCompressLZW::BeginCompress() {
  if (!EnsureState()) return false;
  if (m_state->compress.started) return SLFail(SL_E_CODEC_COMPRESSING, false);
  m_compressed.SetCapacity(0);
  SLMemSet(&m_state->compress, 0, sizeof(m_state->compress));
  m_state->compress.started = 1;
  return SLSucceed(true);
}

bool CSLCompressLZW::Compress(const u8* data, u32 length) {
  if (m_state == nullptr || !m_state->compress.started) return SLFail(SL_E_CODEC_NO_COMPRESSION, false);
  if (data == nullptr) return SLFail(SL_E_NULL_DATA, false);
  if (length == 0) return SLFail(SL_E_BAD_SIZE, false);
  CompressHalf& c = m_state->compress;
  try {
    u32 pos = 0;
    if (!c.initialised) {
      c.accumulator = 0;
      c.accumulatorBits = 0;
      SetUpCompressDictionary(c);
      c.current = data[0];
      pos = 1;
      c.initialised = 1;
    }
    do {
      SLOutput out{c.staging, 0, c.pending, &c.pendingCount};
      out.staged = MovePending(c.pending, &c.pendingCount, c.staging);
      if (c.pendingCount == 0) {
        while (pos < length && out.staged < kStagingSize) CodeByte(c, data[pos++], out);
      }
      if (!FlushStaging(m_compressed, c.staging, out.staged)) {
        const u32 code = SLGetLastError(false);
        SLMemSet(&c, 0, sizeof(c));
        return SLFail(code, false);
      }
    } while (pos < length);
  } catch (...) {
    SLMemSet(&c, 0, sizeof(c));
    return SLFail(SL_E_OPERATION_FAILED, false);
  }
  return SLSucceed(true);
}

bool CSLCompressLZW::EndCompress() {
  if (m_state == nullptr || !m_state->compress.started) return SLFail(SL_E_CODEC_NO_COMPRESSION, false);
  CompressHalf& c = m_state->compress;
  try {
    for (;;) {
      SLOutput out{c.staging, 0, c.pending, &c.pendingCount};
      out.staged = MovePending(c.pending, &c.pendingCount, c.staging);
      if (c.pendingCount == 0 && !c.finished) {
        if (c.initialised) {
          WriteCode(c, static_cast<u32>(c.current), out);
          if (c.accumulatorBits != 0) out.Put(static_cast<u8>(c.accumulator << (8 - c.accumulatorBits)));
          c.accumulatorBits = 0;
        }
        c.finished = 1;
      }
      if (!FlushStaging(m_compressed, c.staging, out.staged)) {
        const u32 code = SLGetLastError(false);
        SLMemSet(&c, 0, sizeof(c));
        return SLFail(code, false);
      }
      if (c.finished && c.pendingCount == 0) break;
    }
  } catch (...) {
    SLMemSet(&c, 0, sizeof(c));
    return SLFail(SL_E_OPERATION_FAILED, false);
  }
  SLMemSet(&c, 0, sizeof(c));
  return SLSucceed(true);
}

// ---- decompression ----------------------------------------------------------------------

bool CSLCompressLZW::BeginDecompress() {
  if (!EnsureState()) return false;
  if (m_state->decompress.started) return SLFail(SL_E_ALREADY_STARTED, false);
  m_decompressed.SetCapacity(0);
  SLMemSet(&m_state->decompress, 0, sizeof(m_state->decompress));
  m_state->decompress.started = 1;
  return SLSucceed(true);
}

bool CSLCompressLZW::Decompress(const u8* data, u32 length, u32* remaining) {
  if (remaining != nullptr) *remaining = length;
  if (m_state == nullptr || !m_state->decompress.started) return SLFail(SL_E_NOT_STARTED, false);
  if (data == nullptr) return SLFail(SL_E_NULL_DATA, false);
  if (length == 0) return SLFail(SL_E_BAD_SIZE, false);
  DecompressHalf& d = m_state->decompress;
  u32 pos = 0;
  auto fail = [&](u32 code) {
    if (remaining != nullptr) *remaining = length - pos;
    SLMemSet(&d, 0, sizeof(d));
    return SLFail(code, false);
  };
  try {
    if (!d.initialised) {
      d.accumulator = 0;
      d.accumulatorBits = 0;
      SetUpDecompressDictionary(d);
      d.resume = 1;
      d.initialised = 1;
    }
    do {
      SLOutput out{d.staging, 0, d.pending, &d.pendingCount};
      out.staged = MovePending(d.pending, &d.pendingCount, d.staging);
      while (d.pendingCount == 0 && out.staged < kStagingSize) {
        u32 code;
        if (!ReadCode(d, data, length, &pos, &code)) break;
        if (d.resume) {
          // The first code of the stream or after a reset names a single symbol: there is
          // no previous string for anything else to extend.
          if (code >= kFirstFree) return fail(SL_E_DECODE);
          out.Put(static_cast<u8>(code));
          d.previous = static_cast<i32>(code);
          d.firstSymbol = static_cast<i32>(code);
          d.resume = 0;
          continue;
        }
        if (code > d.nextCode) return fail(SL_E_DECODE);
        i32 first = 0;
        if (code == d.nextCode) {
          // The string being defined: the previous string and its own first symbol.
          if (!WriteString(d, static_cast<u32>(d.previous), out, &first)) return fail(SL_E_DECODE);
          out.Put(static_cast<u8>(first));
        } else if (!WriteString(d, code, out, &first)) {
          return fail(SL_E_DECODE);
        }
        if (d.nextCode == kTableSize - 2) {
          for (u32 i = kFirstFree; i < kTableSize; ++i) d.dictionary[i].prefix = kNone;
          d.nextCode = kFirstFree;
          d.width = kInitialWidth;
          d.resume = 1;
        } else {
          d.dictionary[d.nextCode] = {first, d.previous};
          d.nextCode++;
          if (d.nextCode + 1 == (1u << d.width)) d.width++;
          d.previous = static_cast<i32>(code);
        }
        d.firstSymbol = first;
      }
      if (!FlushStaging(m_decompressed, d.staging, out.staged)) return fail(SLGetLastError(false));
    } while (pos < length);
  } catch (...) {
    return fail(SL_E_SYSTEM);
  }
  if (remaining != nullptr) *remaining = 0;
  return SLSucceed(true);
}

bool CSLCompressLZW::EndDecompress() {
  if (m_state == nullptr || !m_state->decompress.started) return SLFail(SL_E_NOT_STARTED, false);
  DecompressHalf& d = m_state->decompress;
  // Only pending output is left: the zero bits that complete the last byte are ignored.
  while (d.pendingCount != 0) {
    const u32 moved = MovePending(d.pending, &d.pendingCount, d.staging);
    if (!FlushStaging(m_decompressed, d.staging, moved)) {
      const u32 code = SLGetLastError(false);
      SLMemSet(&d, 0, sizeof(d));
      return SLFail(code, false);
    }
  }
  SLMemSet(&d, 0, sizeof(d));
  return SLSucceed(true);
}

bool CSLCompressLZW::IsStreamEnd() {
  if (m_state == nullptr || !m_state->decompress.started) return SLFail(SL_E_NOT_STARTED, true);
  SLSetLastError(SL_OK);
  return false;
}
