// The transcoder family: the base with its output modes and the CODEPAGE, SYMBOLS and
// UTF-8 transcoders.
#include "foundation/SLTranscoder.h"

#include <cstdio>
#include <cstring>

#include "foundation/SLError.h"
#include "foundation/SLLibrary.h"
#include "foundation/SLMemory.h"

SL_IMPLEMENT_CLASS(CSLBaseStringTranscoder, CSLObject)
SL_IMPLEMENT_CLASS_CREATABLE(CSLStringTranscoderCODEPAGE, CSLBaseStringTranscoder)
SL_IMPLEMENT_CLASS_CREATABLE(CSLStringTranscoderSYMBOLS, CSLBaseStringTranscoder)
SL_IMPLEMENT_CLASS_CREATABLE(CSLStringTranscoderUTF8, CSLBaseStringTranscoder)

namespace {

// Ends a direction that may be idle, keeping the caller's code.
void FinishQuietly(CSLBaseStringTranscoder* transcoder, bool encode) {
  SLErrorKeeper keep;
  if (encode && transcoder->IsEncoding()) transcoder->FinishEncode();
  if (!encode && transcoder->IsDecoding()) transcoder->FinishDecode();
}

// A sink or source callback that says false without a code of its own cancelled the work.
bool CallbackFailed() {
  if (SLGetLastError(false) == SL_OK) SLSetLastError(SL_E_CANCELLED);
  return false;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Base

CSLBaseStringTranscoder::CSLBaseStringTranscoder()
    : m_encodeMode(kIdle),
      m_encodeTarget(nullptr),
      m_encodeCapacity(0),
      m_encodeContext(nullptr),
      m_encodeCounter(nullptr),
      m_decodeMode(kIdle),
      m_decodeTarget(nullptr),
      m_decodeCapacity(0),
      m_decodeContext(nullptr),
      m_decodeCounter(nullptr),
      m_chained(nullptr) {}

CSLBaseStringTranscoder::~CSLBaseStringTranscoder() {
  SLErrorKeeper keep;
  if (m_chained) m_chained->Release();
}

bool CSLBaseStringTranscoder::BeginEncode() { return SLFail(SL_OK, true); }
bool CSLBaseStringTranscoder::EndEncode() { return SLFail(SL_OK, true); }
bool CSLBaseStringTranscoder::BeginDecode() { return SLFail(SL_OK, true); }
bool CSLBaseStringTranscoder::EndDecode() { return SLFail(SL_OK, true); }

bool CSLBaseStringTranscoder::EncodeRun(const SLWChar* units, u32 count, u32* taken) {
  for (*taken = 0; *taken < count; ++*taken)
    if (!EncodeWChar(units[*taken])) return false;
  return true;
}

bool CSLBaseStringTranscoder::DecodeRun(const u8* bytes, u32 count, u32* taken) {
  for (*taken = 0; *taken < count; ++*taken)
    if (!DecodeByte(bytes[*taken])) return false;
  return true;
}

bool CSLBaseStringTranscoder::PutByte(u8 byte) {
  switch (m_encodeMode) {
    case kEncodeToBuffer:
      if (m_encodeTarget) {
        if (m_encodeCapacity == 0) return SLFail(SL_E_BUFFER_TOO_SMALL, false);
        *static_cast<u8*>(m_encodeTarget) = byte;
        m_encodeTarget = static_cast<u8*>(m_encodeTarget) + 1;
        --m_encodeCapacity;
      }
      if (m_encodeCounter) ++*m_encodeCounter;
      return true;
    case kEncodeToCallback:
      if (!reinterpret_cast<SLByteSink>(m_encodeTarget)(byte, m_encodeContext)) return CallbackFailed();
      if (m_encodeCounter) ++*m_encodeCounter;
      return true;
    default:
      return SLFail(SL_E_NOT_INITIALISED, false);
  }
}

bool CSLBaseStringTranscoder::PutUnit(SLWChar unit) {
  switch (m_decodeMode) {
    case kDecodeToBuffer:
      if (m_decodeTarget) {
        if (m_decodeCapacity == 0) return SLFail(SL_E_BUFFER_TOO_SMALL, false);
        *static_cast<SLWChar*>(m_decodeTarget) = unit;
        m_decodeTarget = static_cast<SLWChar*>(m_decodeTarget) + 1;
        --m_decodeCapacity;
      }
      if (m_decodeCounter) ++*m_decodeCounter;
      return true;
    case kDecodeToCallback:
      if (!reinterpret_cast<SLUnitSink>(m_decodeTarget)(unit, m_decodeContext)) return CallbackFailed();
      if (m_decodeCounter) ++*m_decodeCounter;
      return true;
    case kDecodeToChain:
      return m_chained->EncodeWChar(unit);
    default:
      return SLFail(SL_E_NOT_INITIALISED, false);
  }
}

bool CSLBaseStringTranscoder::BeginEncodeToBuffer(u8* target, u32 capacity, u32* counter) {
  if (IsEncoding()) return SLFail(SL_E_BUSY, false);
  m_encodeMode = kEncodeToBuffer;
  m_encodeTarget = target;
  m_encodeCapacity = target ? capacity : 0xFFFFFFFFu;
  m_encodeContext = nullptr;
  m_encodeCounter = counter;
  if (counter) *counter = 0;
  if (!BeginEncode()) {
    m_encodeMode = kIdle;
    return false;
  }
  return SLFail(SL_OK, true);
}

bool CSLBaseStringTranscoder::BeginEncodeToCallback(SLByteSink sink, void* context) {
  if (IsEncoding()) return SLFail(SL_E_BUSY, false);
  if (!sink) return SLFail(SL_E_INVALID_ARG, false);
  m_encodeMode = kEncodeToCallback;
  m_encodeTarget = reinterpret_cast<void*>(sink);
  m_encodeCapacity = 0;
  m_encodeContext = context;
  m_encodeCounter = nullptr;
  if (!BeginEncode()) {
    m_encodeMode = kIdle;
    return false;
  }
  return SLFail(SL_OK, true);
}

bool CSLBaseStringTranscoder::EncodeWChars(const SLWChar* units, u32 length, u32* consumed) {
  if (consumed) *consumed = 0;
  if (!IsEncoding()) return SLFail(SL_E_NOT_INITIALISED, false);
  if (!units) return (length == 0 || length == SL_TEXT_TO_END) ? SLFail(SL_OK, true) : SLFail(SL_E_NULL_DATA, false);
  u32 count = 0;
  while (count < length && units[count]) ++count;
  u32 taken = 0;
  bool ok = EncodeRun(units, count, &taken);
  if (consumed) *consumed = taken;
  return ok ? SLFail(SL_OK, true) : false;
}

bool CSLBaseStringTranscoder::EncodeAnsi(const char* text, u32 length, u32* consumed) {
  if (consumed) *consumed = 0;
  if (!IsEncoding()) return SLFail(SL_E_NOT_INITIALISED, false);
  if (!text) return (length == 0 || length == SL_TEXT_TO_END) ? SLFail(SL_OK, true) : SLFail(SL_E_NULL_DATA, false);
  const u32 ansi = SLGetCodePageCached(0);
  u32 i = 0;
  while (i < length && text[i]) {
    u8 lead = u8(text[i]);
    u8 trail = 0;
    u32 size = 1;
    if (SLIsDBCSLeadByte(lead, ansi)) {
      if (i + 1 >= length || text[i + 1] == 0) return SLFail(SL_E_NULL_DATA, false);
      trail = u8(text[i + 1]);
      size = 2;
    }
    if (!EncodeWChar(SLAnsiCharToWide(lead, trail))) return false;
    i += size;
    if (consumed) *consumed = i;
  }
  return SLFail(SL_OK, true);
}

bool CSLBaseStringTranscoder::EncodeFromCallback(SLUnitSource source, void* context, u32* counter) {
  if (counter) *counter = 0;
  if (!IsEncoding()) return SLFail(SL_E_NOT_INITIALISED, false);
  if (!source) return SLFail(SL_E_INVALID_ARG, false);
  for (;;) {
    SLWChar unit = 0;
    SLSetLastError(SL_OK);
    if (!source(&unit, context)) {
      // The end of the input, unless the source reported a failure of its own.
      return SLGetLastError(false) == SL_OK;
    }
    if (!EncodeWChar(unit)) return false;
    if (counter) ++*counter;
  }
}

bool CSLBaseStringTranscoder::FinishEncode() {
  if (!IsEncoding()) return SLFail(SL_E_NOT_INITIALISED, false);
  bool ok = EndEncode();
  m_encodeMode = kIdle;
  m_encodeTarget = nullptr;
  m_encodeCounter = nullptr;
  return ok ? SLFail(SL_OK, true) : false;
}

bool CSLBaseStringTranscoder::BeginDecodeToBuffer(SLWChar* target, u32 capacity, u32* counter) {
  if (IsDecoding()) return SLFail(SL_E_BUSY, false);
  m_decodeMode = kDecodeToBuffer;
  m_decodeTarget = target;
  m_decodeCapacity = target ? capacity : 0xFFFFFFFFu;
  m_decodeContext = nullptr;
  m_decodeCounter = counter;
  if (counter) *counter = 0;
  if (!BeginDecode()) {
    m_decodeMode = kIdle;
    return false;
  }
  return SLFail(SL_OK, true);
}

bool CSLBaseStringTranscoder::BeginDecodeToCallback(SLUnitSink sink, void* context) {
  if (IsDecoding()) return SLFail(SL_E_BUSY, false);
  if (!sink) return SLFail(SL_E_INVALID_ARG, false);
  m_decodeMode = kDecodeToCallback;
  m_decodeTarget = reinterpret_cast<void*>(sink);
  m_decodeCapacity = 0;
  m_decodeContext = context;
  m_decodeCounter = nullptr;
  if (!BeginDecode()) {
    m_decodeMode = kIdle;
    return false;
  }
  return SLFail(SL_OK, true);
}

bool CSLBaseStringTranscoder::BeginDecodeToBytes(u8* target, u32 capacity, u32* counter) {
  if (IsDecoding()) return SLFail(SL_E_BUSY, false);
  if (!m_chained) {
    auto* chained = new CSLStringTranscoderCODEPAGE();
    if (!chained) return SLFail(SL_E_OUT_OF_MEMORY, false);
    if (!chained->SetCodePage(0)) {
      SLErrorKeeper keep;
      chained->Release();
      return SLFail(SL_E_INVALID_ARG, false);
    }
    m_chained = chained;
  }
  FinishQuietly(m_chained, true);
  m_decodeMode = kDecodeToChain;
  m_decodeTarget = nullptr;
  m_decodeCounter = nullptr;
  if (!m_chained->BeginEncodeToBuffer(target, capacity, counter)) {
    m_decodeMode = kIdle;
    return false;
  }
  if (!BeginDecode()) {
    FinishQuietly(m_chained, true);
    m_decodeMode = kIdle;
    return false;
  }
  return SLFail(SL_OK, true);
}

bool CSLBaseStringTranscoder::DecodeBytes(const u8* bytes, u32 length, u32* consumed) {
  if (consumed) *consumed = 0;
  if (!IsDecoding()) return SLFail(SL_E_NOT_INITIALISED, false);
  if (!bytes) return (length == 0 || length == SL_TEXT_TO_END) ? SLFail(SL_OK, true) : SLFail(SL_E_NULL_DATA, false);
  u32 count = 0;
  if (length == SL_TEXT_TO_END)
    count = u32(std::strlen(reinterpret_cast<const char*>(bytes)));
  else
    while (count < length && bytes[count]) ++count;
  u32 taken = 0;
  bool ok = DecodeRun(bytes, count, &taken);
  if (consumed) *consumed = taken;
  return ok ? SLFail(SL_OK, true) : false;
}

bool CSLBaseStringTranscoder::DecodeFromCallback(SLByteSource source, void* context, u32* counter) {
  if (counter) *counter = 0;
  if (!IsDecoding()) return SLFail(SL_E_NOT_INITIALISED, false);
  if (!source) return SLFail(SL_E_INVALID_ARG, false);
  for (;;) {
    u8 byte = 0;
    SLSetLastError(SL_OK);
    if (!source(&byte, context)) return SLGetLastError(false) == SL_OK;
    if (!DecodeByte(byte)) return false;
    if (counter) ++*counter;
  }
}

bool CSLBaseStringTranscoder::FinishDecode() {
  if (!IsDecoding()) return SLFail(SL_E_NOT_INITIALISED, false);
  bool ok = EndDecode();
  u32 code = SLGetLastError(false);
  if (m_decodeMode == kDecodeToChain) {
    // The chained encoder delivers what it collected; its failure counts when ours did not.
    bool chainOk = m_chained->FinishEncode();
    if (ok && !chainOk) {
      ok = false;
      code = SLGetLastError(false);
    }
  }
  m_decodeMode = kIdle;
  m_decodeTarget = nullptr;
  m_decodeCounter = nullptr;
  return ok ? SLFail(SL_OK, true) : SLFail(code, false);
}

// ---------------------------------------------------------------------------------------
// CODEPAGE

CSLStringTranscoderCODEPAGE::CSLStringTranscoderCODEPAGE()
    : m_codePage(SLGetCodePageCached(0)),
      m_flags(0),
      m_collected(nullptr),
      m_collectedLength(0),
      m_collectedCapacity(0),
      m_singleByte(true),
      m_pendingLead(0),
      m_hasPendingLead(false) {
  BuildNames();
}

CSLStringTranscoderCODEPAGE::~CSLStringTranscoderCODEPAGE() {
  SLErrorKeeper keep;
  SLFree(m_collected);
}

void CSLStringTranscoderCODEPAGE::BuildNames() {
  std::snprintf(m_nameA, sizeof m_nameA, "CP%03lu", static_cast<unsigned long>(m_codePage));
  for (u32 i = 0; i < 16; ++i) m_nameW[i] = SLWChar(u8(m_nameA[i]));
}

const char* CSLStringTranscoderCODEPAGE::GetNameA(u32 index) const { return index == 0 ? m_nameA : nullptr; }
const SLWChar* CSLStringTranscoderCODEPAGE::GetNameW(u32 index) const { return index == 0 ? m_nameW : nullptr; }

bool CSLStringTranscoderCODEPAGE::SetCodePage(u32 codePage) {
  if (IsEncoding() && IsDecoding()) return SLFail(SL_E_BUSY, false);
  if (codePage <= 3) codePage = SLGetCodePageCached(codePage);
  SLInternals::CMXStrAPILoader* api = SLInternals::SLGetStrAPI();
  CPINFO info;
  if (!api || !api->GetCPInfo(codePage, &info)) return SLFail(SL_E_INVALID_ARG, false);
  m_codePage = codePage;
  m_singleByte = info.MaxCharSize == 1 && info.LeadByte[0] == 0;
  BuildNames();
  return SLFail(SL_OK, true);
}

bool CSLStringTranscoderCODEPAGE::SetFlags(u32 flags) {
  if (IsEncoding() && IsDecoding()) return SLFail(SL_E_BUSY, false);
  m_flags = flags & 0xFFFFFFu;
  return SLFail(SL_OK, true);
}

bool CSLStringTranscoderCODEPAGE::BeginEncode() {
  m_collectedLength = 0;
  return SLFail(SL_OK, true);
}

bool CSLStringTranscoderCODEPAGE::Collect(const SLWChar* units, u32 count) {
  u64 needed;
  if (!SLCheckedAdd(m_collectedLength, count, &needed) || needed > 0x7FFFFFFFu)
    return SLFail(SL_E_OUT_OF_MEMORY, false);
  if (needed > m_collectedCapacity) {
    u64 capacity = m_collectedCapacity ? m_collectedCapacity : 256;
    while (capacity < needed) capacity *= 2;
    auto* grown = static_cast<SLWChar*>(SLRealloc(m_collected, u32(capacity * sizeof(SLWChar))));
    if (!grown) return false;
    m_collected = grown;
    m_collectedCapacity = u32(capacity);
  }
  std::memcpy(m_collected + m_collectedLength, units, std::size_t(count) * sizeof(SLWChar));
  m_collectedLength = u32(needed);
  return true;
}

bool CSLStringTranscoderCODEPAGE::EncodeWChar(SLWChar unit) {
  if (!IsEncoding()) return SLFail(SL_E_NOT_INITIALISED, false);
  if (unit == 0) return SLFail(SL_E_BAD_CHARACTER, false);
  return Collect(&unit, 1) ? SLFail(SL_OK, true) : false;
}

bool CSLStringTranscoderCODEPAGE::EncodeRun(const SLWChar* units, u32 count, u32* taken) {
  *taken = 0;
  if (!Collect(units, count)) return false;  // the run holds no NUL unit
  *taken = count;
  return true;
}

bool CSLStringTranscoderCODEPAGE::EndEncode() {
  if (m_collectedLength == 0) return SLFail(SL_OK, true);
  SLInternals::CMXStrAPILoader* api = SLInternals::SLGetStrAPI();
  if (!api) return false;
  DWORD flags = 0;
  if (m_flags & 0x20) {
    flags = 0x200 | (m_flags & 0x40 ? 0x10 : 0) | (m_flags & 0x80 ? 0x20 : 0);
    if (m_flags & 0x100) flags |= 0x40;
  }
  if (m_flags & 0x10) flags |= 0x400;
  int length = int(m_collectedLength);
  int needed = api->WideCharToMultiByte(m_codePage, flags, m_collected, length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return SLFail(SL_E_BAD_CHARACTER, false);
  u8 stack[512];
  u8* bytes = stack;
  if (u32(needed) > sizeof stack) {
    bytes = static_cast<u8*>(SLAlloc(u32(needed) + 1));
    if (!bytes) return false;
  }
  bool ok = api->WideCharToMultiByte(m_codePage, flags, m_collected, length, reinterpret_cast<char*>(bytes), needed,
                                     nullptr, nullptr) == needed;
  if (!ok) SLSetLastError(SL_E_BAD_CHARACTER);
  for (int i = 0; ok && i < needed; ++i) ok = PutByte(bytes[i]);
  if (bytes != stack) {
    SLErrorKeeper keep;
    SLFree(bytes);
  }
  m_collectedLength = 0;
  return ok ? SLFail(SL_OK, true) : false;
}

bool CSLStringTranscoderCODEPAGE::BeginDecode() {
  m_hasPendingLead = false;
  return SLFail(SL_OK, true);
}

DWORD CSLStringTranscoderCODEPAGE::DecodeFlags() const {
  return ((m_flags & 0x02) ? 0x2 : 0x1) | ((m_flags & 0x01) ? 0x4 : 0);
}

bool CSLStringTranscoderCODEPAGE::DecodeByte(u8 byte) {
  if (!IsDecoding()) return SLFail(SL_E_NOT_INITIALISED, false);
  if (byte == 0) return SLFail(SL_E_BAD_CHARACTER, false);
  SLInternals::CMXStrAPILoader* api = SLInternals::SLGetStrAPI();
  if (!api) return false;
  // A lead byte of a double-byte page waits for its trail byte: the two are one character.
  char bytes[2];
  int count = 1;
  if (m_hasPendingLead) {
    bytes[0] = char(m_pendingLead);
    bytes[1] = char(byte);
    count = 2;
    m_hasPendingLead = false;
  } else if (!m_singleByte && byte >= 0x80 && api->IsDBCSLeadByteEx(m_codePage, byte)) {
    m_pendingLead = byte;
    m_hasPendingLead = true;
    return SLFail(SL_OK, true);
  } else {
    bytes[0] = char(byte);
  }
  SLWChar units[16];
  int produced = api->MultiByteToWideChar(m_codePage, DecodeFlags(), bytes, count, units, 16);
  for (int i = 0; i < produced; ++i)
    if (!PutUnit(units[i])) return false;
  return SLFail(SL_OK, true);
}

bool CSLStringTranscoderCODEPAGE::DecodeRun(const u8* bytes, u32 count, u32* taken) {
  *taken = 0;
  if (!m_singleByte || m_hasPendingLead) return CSLBaseStringTranscoder::DecodeRun(bytes, count, taken);
  // A single-byte page maps byte for byte: convert in blocks.
  SLInternals::CMXStrAPILoader* api = SLInternals::SLGetStrAPI();
  if (!api) return false;
  SLWChar units[512];
  while (*taken < count) {
    u32 block = count - *taken < 512 ? count - *taken : 512;
    int produced = api->MultiByteToWideChar(m_codePage, DecodeFlags(), reinterpret_cast<const char*>(bytes + *taken),
                                            int(block), units, 512);
    if (produced != int(block)) return CSLBaseStringTranscoder::DecodeRun(bytes, count, taken);
    for (u32 i = 0; i < block; ++i)
      if (!PutUnit(units[i])) return false;
    *taken += block;
  }
  return true;
}

bool CSLStringTranscoderCODEPAGE::EndDecode() {
  if (m_hasPendingLead) {
    m_hasPendingLead = false;
    return SLFail(SL_E_BAD_CHARACTER, false);  // a lead byte without its trail byte
  }
  return SLFail(SL_OK, true);
}

// ---------------------------------------------------------------------------------------
// SYMBOLS

bool CSLStringTranscoderSYMBOLS::EncodeWChar(SLWChar unit) {
  if (!IsEncoding()) return SLFail(SL_E_NOT_INITIALISED, false);
  if (unit >= 0xF020 && unit <= 0xF0FF) return PutByte(u8(unit & 0xFF)) ? SLFail(SL_OK, true) : false;
  if (unit >= 1 && unit <= 32) return PutByte(u8(unit)) ? SLFail(SL_OK, true) : false;
  return SLFail(SL_E_BAD_CHARACTER, false);
}

bool CSLStringTranscoderSYMBOLS::DecodeByte(u8 byte) {
  if (!IsDecoding()) return SLFail(SL_E_NOT_INITIALISED, false);
  if (byte == 0) return SLFail(SL_E_BAD_CHARACTER, false);
  return PutUnit(byte < 32 ? SLWChar(byte) : SLWChar(0xF000 + byte)) ? SLFail(SL_OK, true) : false;
}

const char* CSLStringTranscoderSYMBOLS::GetNameA(u32 index) const {
  static const char* const names[] = {"symbols", "CP042"};
  return index < 2 ? names[index] : nullptr;
}

const SLWChar* CSLStringTranscoderSYMBOLS::GetNameW(u32 index) const {
  static const SLWChar* const names[] = {u"symbols", u"CP042"};
  return index < 2 ? names[index] : nullptr;
}

// ---------------------------------------------------------------------------------------
// UTF-8

CSLStringTranscoderUTF8::CSLStringTranscoderUTF8()
    : m_pendingSurrogate(false), m_partialCodePoint(0), m_received(0), m_expected(0), m_sequence{} {}

const char* CSLStringTranscoderUTF8::GetNameA(u32 index) const {
  static const char* const names[] = {"utf-8", "windows-65001", "cp1208", "cp65001"};
  return index < 4 ? names[index] : nullptr;
}

const SLWChar* CSLStringTranscoderUTF8::GetNameW(u32 index) const {
  static const SLWChar* const names[] = {u"utf-8", u"windows-65001", u"cp1208", u"cp65001"};
  return index < 4 ? names[index] : nullptr;
}

bool CSLStringTranscoderUTF8::BeginEncode() {
  m_pendingSurrogate = false;
  return SLFail(SL_OK, true);
}

bool CSLStringTranscoderUTF8::EndEncode() {
  if (m_pendingSurrogate) {
    m_pendingSurrogate = false;
    return SLFail(SL_E_BAD_CHARACTER, false);  // a high surrogate without its low half
  }
  return SLFail(SL_OK, true);
}

bool CSLStringTranscoderUTF8::EncodeWChar(SLWChar unit) {
  if (!IsEncoding()) return SLFail(SL_E_NOT_INITIALISED, false);
  u32 code = unit;
  if (m_pendingSurrogate) {
    m_pendingSurrogate = false;
    if (unit < 0xDC00 || unit > 0xDFFF) return SLFail(SL_E_BAD_CHARACTER, false);
    code = m_partialCodePoint + (unit - 0xDC00);
  } else if (unit == 0) {
    return SLFail(SL_E_BAD_CHARACTER, false);
  } else if (unit >= 0xD800 && unit <= 0xDBFF) {
    m_pendingSurrogate = true;
    m_partialCodePoint = ((code - 0xD800) << 10) + 0x10000;
    return SLFail(SL_OK, true);
  } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
    // A lone low surrogate has no UTF-8 form: written out, the decoder would refuse it.
    return SLFail(SL_E_BAD_CHARACTER, false);
  }
  bool ok;
  if (code < 0x80) {
    ok = PutByte(u8(code));
  } else if (code < 0x800) {
    ok = PutByte(u8(0xC0 | code >> 6)) && PutByte(u8(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    ok = PutByte(u8(0xE0 | code >> 12)) && PutByte(u8(0x80 | ((code >> 6) & 0x3F))) && PutByte(u8(0x80 | (code & 0x3F)));
  } else {
    ok = PutByte(u8(0xF0 | code >> 18)) && PutByte(u8(0x80 | ((code >> 12) & 0x3F))) &&
         PutByte(u8(0x80 | ((code >> 6) & 0x3F))) && PutByte(u8(0x80 | (code & 0x3F)));
  }
  return ok ? SLFail(SL_OK, true) : false;
}

bool CSLStringTranscoderUTF8::BeginDecode() {
  m_received = 0;
  m_expected = 0;
  return SLFail(SL_OK, true);
}

bool CSLStringTranscoderUTF8::EndDecode() {
  if (m_expected) {
    m_received = m_expected = 0;
    return SLFail(SL_E_BAD_CHARACTER, false);  // the text ends inside a sequence
  }
  return SLFail(SL_OK, true);
}

bool CSLStringTranscoderUTF8::Step(u8 byte) {
  if (byte == 0) return SLFail(SL_E_BAD_CHARACTER, false);
  if (m_expected == 0) {
    if (byte < 0x80) return PutUnit(byte);
    if (byte >= 0xC2 && byte <= 0xDF)
      m_expected = 2;
    else if (byte >= 0xE0 && byte <= 0xEF)
      m_expected = 3;
    else if (byte >= 0xF0 && byte <= 0xF8)
      m_expected = 4;
    else
      return SLFail(SL_E_BAD_CHARACTER, false);
    m_sequence[0] = byte;
    m_received = 1;
    return true;
  }
  if ((byte & 0xC0) != 0x80) {
    m_received = m_expected = 0;
    return SLFail(SL_E_BAD_CHARACTER, false);
  }
  if (m_received == 1) {
    // Overlong forms, surrogates and code points past U+10FFFF show in the second byte.
    u8 lead = m_sequence[0];
    if ((lead == 0xE0 && byte < 0xA0) || (lead == 0xED && byte >= 0xA0) || (lead == 0xF0 && byte < 0x90) ||
        (lead == 0xF4 && byte >= 0x90)) {
      m_received = m_expected = 0;
      return SLFail(SL_E_BAD_CHARACTER, false);
    }
  }
  m_sequence[m_received++] = byte;
  if (m_received < m_expected) return true;
  u32 code;
  switch (m_expected) {
    case 2: code = (m_sequence[0] & 0x1Fu) << 6 | (m_sequence[1] & 0x3Fu); break;
    case 3: code = (m_sequence[0] & 0x0Fu) << 12 | (m_sequence[1] & 0x3Fu) << 6 | (m_sequence[2] & 0x3Fu); break;
    default:
      code = (m_sequence[0] & 0x0Fu) << 18 | (m_sequence[1] & 0x3Fu) << 12 | (m_sequence[2] & 0x3Fu) << 6 |
             (m_sequence[3] & 0x3Fu);
      break;
  }
  m_received = m_expected = 0;
  if (code == 0 || code == 0xFFFE || code == 0xFEFF || code >= 0x110000) return SLFail(SL_E_BAD_CHARACTER, false);
  if (code > 0xFFFF) {
    code -= 0x10000;
    return PutUnit(SLWChar(0xD800 + (code >> 10))) && PutUnit(SLWChar(0xDC00 + (code & 0x3FF)));
  }
  return PutUnit(SLWChar(code));
}

bool CSLStringTranscoderUTF8::DecodeByte(u8 byte) {
  if (!IsDecoding()) return SLFail(SL_E_NOT_INITIALISED, false);
  return Step(byte) ? SLFail(SL_OK, true) : false;
}

bool CSLStringTranscoderUTF8::DecodeRun(const u8* bytes, u32 count, u32* taken) {
  for (*taken = 0; *taken < count; ++*taken)
    if (!Step(bytes[*taken])) return false;
  return true;
}
