// The transcoder family: the base with its output modes and the CODEPAGE, SYMBOLS and
// UTF-8 transcoders.
//
// One of the text files that know each other (SLString, SLPrintf, SLTextConvert,
// SLTranscoderSet, SLTranscoder): strings convert through the transcoders, the code-page
// transcoder collects its text in strings, and strings format through the printf engine,
// which keeps its number and date formats in strings. The headers form no loop.
#include "foundation/SLTranscoder.h"

#include <cstdio>
#include <cstring>

#include "foundation/SLCaseMap.h"
#include "foundation/SLError.h"
#include "foundation/SLLibrary.h"
#include "foundation/SLMemory.h"
#include "foundation/SLStrApiLoader.h"
#include "foundation/SLString.h"

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

bool CSLBaseStringTranscoder::BeginEncode() { return SLSucceed(true); }
bool CSLBaseStringTranscoder::EndEncode() { return SLSucceed(true); }
bool CSLBaseStringTranscoder::BeginDecode() { return SLSucceed(true); }
bool CSLBaseStringTranscoder::EndDecode() { return SLSucceed(true); }

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

bool CSLBaseStringTranscoder::PutBytes(const u8* bytes, u32 count) {
  if (m_encodeMode == kEncodeToBuffer && (!m_encodeTarget || m_encodeCapacity >= count)) {
    if (m_encodeTarget) {
      std::memcpy(m_encodeTarget, bytes, count);
      m_encodeTarget = static_cast<u8*>(m_encodeTarget) + count;
      m_encodeCapacity -= count;
    }
    if (m_encodeCounter) *m_encodeCounter += count;
    return true;
  }
  for (u32 i = 0; i < count; ++i)
    if (!PutByte(bytes[i])) return false;
  return true;
}

bool CSLBaseStringTranscoder::PutUnits(const SLWChar* units, u32 count) {
  if (m_decodeMode == kDecodeToBuffer && (!m_decodeTarget || m_decodeCapacity >= count)) {
    if (m_decodeTarget) {
      std::memcpy(m_decodeTarget, units, std::size_t(count) * sizeof(SLWChar));
      m_decodeTarget = static_cast<SLWChar*>(m_decodeTarget) + count;
      m_decodeCapacity -= count;
    }
    if (m_decodeCounter) *m_decodeCounter += count;
    return true;
  }
  for (u32 i = 0; i < count; ++i)
    if (!PutUnit(units[i])) return false;
  return true;
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
  return SLSucceed(true);
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
  return SLSucceed(true);
}

bool CSLBaseStringTranscoder::EncodeWChars(const SLWChar* units, u32 length, u32* consumed) {
  if (consumed) *consumed = 0;
  if (!IsEncoding()) return SLFail(SL_E_NOT_INITIALISED, false);
  if (!units) return (length == 0 || length == SL_TEXT_TO_END) ? SLSucceed(true) : SLFail(SL_E_NULL_DATA, false);
  u32 count = 0;
  while (count < length && units[count]) ++count;
  u32 taken = 0;
  bool ok = EncodeRun(units, count, &taken);
  if (consumed) *consumed = taken;
  return ok ? SLSucceed(true) : false;
}

bool CSLBaseStringTranscoder::EncodeAnsi(const char* text, u32 length, u32* consumed) {
  if (consumed) *consumed = 0;
  if (!IsEncoding()) return SLFail(SL_E_NOT_INITIALISED, false);
  if (!text) return (length == 0 || length == SL_TEXT_TO_END) ? SLSucceed(true) : SLFail(SL_E_NULL_DATA, false);
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
  return SLSucceed(true);
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
  return ok ? SLSucceed(true) : false;
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
  return SLSucceed(true);
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
  return SLSucceed(true);
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
  return SLSucceed(true);
}

bool CSLBaseStringTranscoder::DecodeBytes(const u8* bytes, u32 length, u32* consumed) {
  if (consumed) *consumed = 0;
  if (!IsDecoding()) return SLFail(SL_E_NOT_INITIALISED, false);
  if (!bytes) return (length == 0 || length == SL_TEXT_TO_END) ? SLSucceed(true) : SLFail(SL_E_NULL_DATA, false);
  u32 count = 0;
  if (length == SL_TEXT_TO_END)
    count = u32(std::strlen(reinterpret_cast<const char*>(bytes)));
  else if (const void* nul = std::memchr(bytes, 0, length))
    count = u32(static_cast<const u8*>(nul) - bytes);
  else
    count = length;
  u32 taken = 0;
  bool ok = DecodeRun(bytes, count, &taken);
  if (consumed) *consumed = taken;
  return ok ? SLSucceed(true) : false;
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
  return ok ? SLSucceed(true) : SLFail(code, false);
}

// ---------------------------------------------------------------------------------------
// CODEPAGE

CSLStringTranscoderCODEPAGE::CSLStringTranscoderCODEPAGE()
    : m_codePage(SLGetCodePageCached(0)),
      m_flags(0),
      m_collected(nullptr),
      m_singleByte(true),
      m_bytes(nullptr),
      m_bytesCapacity(0),
      m_pendingLead(0),
      m_hasPendingLead(false) {
  BuildNames();
}

CSLStringTranscoderCODEPAGE::~CSLStringTranscoderCODEPAGE() {
  SLErrorKeeper keep;
  if (m_collected) m_collected->Release();
  SLFree(m_bytes);
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
  return SLSucceed(true);
}

bool CSLStringTranscoderCODEPAGE::SetFlags(u32 flags) {
  if (IsEncoding() && IsDecoding()) return SLFail(SL_E_BUSY, false);
  m_flags = flags & 0xFFFFFFu;
  return SLSucceed(true);
}

bool CSLStringTranscoderCODEPAGE::BeginEncode() {
  if (m_collected) {
    SLErrorKeeper keep;
    m_collected->Release();
  }
  m_collected = new CSLStringWide();
  return m_collected ? SLSucceed(true) : false;
}

bool CSLStringTranscoderCODEPAGE::Collect(const SLWChar* units, u32 count) {
  if (!m_collected) return SLFail(SL_E_NOT_INITIALISED, false);
  u64 needed;
  if (!SLCheckedAdd(m_collected->GetLength(), count, &needed) || needed > 0x7FFFFFFFu)
    return SLFail(SL_E_OUT_OF_MEMORY, false);
  return m_collected->Append(units, count);
}

bool CSLStringTranscoderCODEPAGE::EncodeWChar(SLWChar unit) {
  if (!IsEncoding()) return SLFail(SL_E_NOT_INITIALISED, false);
  if (unit == 0) return SLFail(SL_E_BAD_CHARACTER, false);
  return Collect(&unit, 1) ? SLSucceed(true) : false;
}

bool CSLStringTranscoderCODEPAGE::EncodeRun(const SLWChar* units, u32 count, u32* taken) {
  *taken = 0;
  if (!Collect(units, count)) return false;  // the run holds no NUL unit
  *taken = count;
  return true;
}

bool CSLStringTranscoderCODEPAGE::EndEncode() {
  // The collected text goes with the encoding, whatever the conversion gives.
  TSLObjPtr<CSLStringWide> collected;
  collected.Attach(m_collected);
  m_collected = nullptr;
  u32 length = collected ? collected->GetLength() : 0;
  if (length == 0) return SLSucceed(true);
  SLInternals::CMXStrAPILoader* api = SLInternals::SLGetStrAPI();
  if (!api) return false;
  DWORD flags = 0;
  if (m_flags & 0x20) {
    flags = 0x200 | (m_flags & 0x40 ? 0x10 : 0) | (m_flags & 0x80 ? 0x20 : 0);
    if (m_flags & 0x100) flags |= 0x40;
  }
  if (m_flags & 0x10) flags |= 0x400;
  // One unit never takes more than one byte of a single-byte page, nor more than three of
  // any other page (a surrogate pair, two units, takes four): one call converts all.
  u64 room = u64(length) * (m_singleByte ? 1 : 3);
  if (room > 0x7FFFFFFFu) return SLFail(SL_E_OUT_OF_MEMORY, false);
  if (room > m_bytesCapacity) {
    auto* grown = static_cast<u8*>(SLRealloc(m_bytes, u32(room)));
    if (!grown) return false;
    m_bytes = grown;
    m_bytesCapacity = u32(room);
  }
  int produced = api->WideCharToMultiByte(m_codePage, flags, collected->CStr(), int(length),
                                          reinterpret_cast<char*>(m_bytes), int(room), nullptr, nullptr);
  if (produced <= 0) return SLFail(SL_E_BAD_CHARACTER, false);
  return PutBytes(m_bytes, u32(produced)) ? SLSucceed(true) : false;
}

bool CSLStringTranscoderCODEPAGE::BeginDecode() {
  m_hasPendingLead = false;
  return SLSucceed(true);
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
    return SLSucceed(true);
  } else {
    bytes[0] = char(byte);
  }
  SLWChar units[16];
  int produced = api->MultiByteToWideChar(m_codePage, DecodeFlags(), bytes, count, units, 16);
  for (int i = 0; i < produced; ++i)
    if (!PutUnit(units[i])) return false;
  return SLSucceed(true);
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
    if (!PutUnits(units, block)) return false;
    *taken += block;
  }
  return true;
}

bool CSLStringTranscoderCODEPAGE::EndDecode() {
  if (m_hasPendingLead) {
    m_hasPendingLead = false;
    return SLFail(SL_E_BAD_CHARACTER, false);  // a lead byte without its trail byte
  }
  return SLSucceed(true);
}

// ---------------------------------------------------------------------------------------
// SYMBOLS

bool CSLStringTranscoderSYMBOLS::EncodeWChar(SLWChar unit) {
  if (!IsEncoding()) return SLFail(SL_E_NOT_INITIALISED, false);
  if (unit >= 0xF020 && unit <= 0xF0FF) return PutByte(u8(unit & 0xFF)) ? SLSucceed(true) : false;
  if (unit >= 1 && unit <= 32) return PutByte(u8(unit)) ? SLSucceed(true) : false;
  return SLFail(SL_E_BAD_CHARACTER, false);
}

bool CSLStringTranscoderSYMBOLS::DecodeByte(u8 byte) {
  if (!IsDecoding()) return SLFail(SL_E_NOT_INITIALISED, false);
  if (byte == 0) return SLFail(SL_E_BAD_CHARACTER, false);
  return PutUnit(byte < 32 ? SLWChar(byte) : SLWChar(0xF000 + byte)) ? SLSucceed(true) : false;
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
  return SLSucceed(true);
}

bool CSLStringTranscoderUTF8::EndEncode() {
  if (m_pendingSurrogate) {
    m_pendingSurrogate = false;
    return SLFail(SL_E_BAD_CHARACTER, false);  // a high surrogate without its low half
  }
  return SLSucceed(true);
}

int CSLStringTranscoderUTF8::EncodeStep(SLWChar unit, u8* out) {
  u32 code = unit;
  if (m_pendingSurrogate) {
    m_pendingSurrogate = false;
    if (unit < 0xDC00 || unit > 0xDFFF) return SLFail(SL_E_BAD_CHARACTER, -1);
    code = m_partialCodePoint + (unit - 0xDC00);
  } else if (unit == 0) {
    return SLFail(SL_E_BAD_CHARACTER, -1);
  } else if (unit >= 0xD800 && unit <= 0xDBFF) {
    m_pendingSurrogate = true;
    m_partialCodePoint = ((code - 0xD800) << 10) + 0x10000;
    return 0;
  } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
    // A lone low surrogate has no UTF-8 form: written out, the decoder would refuse it.
    return SLFail(SL_E_BAD_CHARACTER, -1);
  } else if (unit == 0xFEFF || unit == 0xFFFE) {
    // The decoder refuses these two in a text (a byte-order mark belongs before it), so
    // they are refused here too: saved text must load again.
    return SLFail(SL_E_BAD_CHARACTER, -1);
  }
  if (code < 0x80) {
    out[0] = u8(code);
    return 1;
  }
  if (code < 0x800) {
    out[0] = u8(0xC0 | code >> 6);
    out[1] = u8(0x80 | (code & 0x3F));
    return 2;
  }
  if (code < 0x10000) {
    out[0] = u8(0xE0 | code >> 12);
    out[1] = u8(0x80 | ((code >> 6) & 0x3F));
    out[2] = u8(0x80 | (code & 0x3F));
    return 3;
  }
  out[0] = u8(0xF0 | code >> 18);
  out[1] = u8(0x80 | ((code >> 12) & 0x3F));
  out[2] = u8(0x80 | ((code >> 6) & 0x3F));
  out[3] = u8(0x80 | (code & 0x3F));
  return 4;
}

bool CSLStringTranscoderUTF8::EncodeWChar(SLWChar unit) {
  if (!IsEncoding()) return SLFail(SL_E_NOT_INITIALISED, false);
  u8 bytes[4];
  int count = EncodeStep(unit, bytes);
  if (count < 0) return false;
  return PutBytes(bytes, u32(count)) ? SLSucceed(true) : false;
}

bool CSLStringTranscoderUTF8::EncodeRun(const SLWChar* units, u32 count, u32* taken) {
  // Bytes gather in a block that goes to the output whole.
  u8 block[1024];
  u32 fill = 0;
  for (*taken = 0; *taken < count; ++*taken) {
    SLWChar unit = units[*taken];
    if (unit < 0x80 && !m_pendingSurrogate) {
      block[fill++] = u8(unit);
    } else {
      int produced = EncodeStep(unit, block + fill);
      if (produced < 0) {
        SLErrorKeeper keep;
        PutBytes(block, fill);
        return false;
      }
      fill += u32(produced);
    }
    if (fill > sizeof block - 4) {
      if (!PutBytes(block, fill)) return false;
      fill = 0;
    }
  }
  return PutBytes(block, fill);
}

bool CSLStringTranscoderUTF8::BeginDecode() {
  m_received = 0;
  m_expected = 0;
  return SLSucceed(true);
}

bool CSLStringTranscoderUTF8::EndDecode() {
  if (m_expected) {
    m_received = m_expected = 0;
    return SLFail(SL_E_BAD_CHARACTER, false);  // the text ends inside a sequence
  }
  return SLSucceed(true);
}

int CSLStringTranscoderUTF8::DecodeStep(u8 byte, SLWChar* out) {
  if (byte == 0) return SLFail(SL_E_BAD_CHARACTER, -1);
  if (m_expected == 0) {
    if (byte < 0x80) {
      out[0] = byte;
      return 1;
    }
    if (byte >= 0xC2 && byte <= 0xDF)
      m_expected = 2;
    else if (byte >= 0xE0 && byte <= 0xEF)
      m_expected = 3;
    else if (byte >= 0xF0 && byte <= 0xF8)
      m_expected = 4;
    else
      return SLFail(SL_E_BAD_CHARACTER, -1);
    m_sequence[0] = byte;
    m_received = 1;
    return 0;
  }
  if ((byte & 0xC0) != 0x80) {
    m_received = m_expected = 0;
    return SLFail(SL_E_BAD_CHARACTER, -1);
  }
  if (m_received == 1) {
    // Overlong forms, surrogates and code points past U+10FFFF show in the second byte.
    u8 lead = m_sequence[0];
    if ((lead == 0xE0 && byte < 0xA0) || (lead == 0xED && byte >= 0xA0) || (lead == 0xF0 && byte < 0x90) ||
        (lead == 0xF4 && byte >= 0x90)) {
      m_received = m_expected = 0;
      return SLFail(SL_E_BAD_CHARACTER, -1);
    }
  }
  m_sequence[m_received++] = byte;
  if (m_received < m_expected) return 0;
  u32 code;
  switch (m_expected) {
    case 2: code = (m_sequence[0] & 0x1Fu) << 6 | (m_sequence[1] & 0x3Fu); break;
    case 3: code = (m_sequence[0] & 0x0Fu) << 12 | (m_sequence[1] & 0x3Fu) << 6 | (m_sequence[2] & 0x3Fu); break;
    default:
      // Lead bytes 0xF5..0xF8 keep their high bits here and land above U+10FFFF.
      code = (m_sequence[0] & 0x0Fu) << 18 | (m_sequence[1] & 0x3Fu) << 12 | (m_sequence[2] & 0x3Fu) << 6 |
             (m_sequence[3] & 0x3Fu);
      break;
  }
  m_received = m_expected = 0;
  if (code == 0 || code == 0xFFFE || code == 0xFEFF || code >= 0x110000) return SLFail(SL_E_BAD_CHARACTER, -1);
  if (code > 0xFFFF) {
    code -= 0x10000;
    out[0] = SLWChar(0xD800 + (code >> 10));
    out[1] = SLWChar(0xDC00 + (code & 0x3FF));
    return 2;
  }
  out[0] = SLWChar(code);
  return 1;
}

bool CSLStringTranscoderUTF8::DecodeByte(u8 byte) {
  if (!IsDecoding()) return SLFail(SL_E_NOT_INITIALISED, false);
  SLWChar units[2];
  int count = DecodeStep(byte, units);
  if (count < 0) return false;
  return PutUnits(units, u32(count)) ? SLSucceed(true) : false;
}

bool CSLStringTranscoderUTF8::DecodeRun(const u8* bytes, u32 count, u32* taken) {
  using Bytes8 = u8 __attribute__((vector_size(8)));
  using Units8 = u16 __attribute__((vector_size(16)));
  SLWChar block[512];
  u32 fill = 0;
  for (*taken = 0; *taken < count; ++*taken) {
    // Outside a sequence, eight bytes without a high bit are eight characters (the run
    // holds no NUL): they are widened to eight units at once.
    while (m_expected == 0 && count - *taken >= 8 && fill <= 502) {
      Bytes8 eight;
      std::memcpy(&eight, bytes + *taken, 8);
      u64 word;
      std::memcpy(&word, &eight, 8);
      if (word & 0x8080808080808080ull) break;
      const Units8 units = __builtin_convertvector(eight, Units8);
      std::memcpy(block + fill, &units, sizeof units);
      fill += 8;
      *taken += 8;
    }
    if (*taken == count) break;
    u8 byte = bytes[*taken];
    if (byte < 0x80 && m_expected == 0) {
      block[fill++] = byte;  // the run holds no NUL byte
    } else if (m_expected == 0 && byte >= 0xC2 && byte <= 0xDF && count - *taken >= 2 &&
               (bytes[*taken + 1] & 0xC0) == 0x80) {
      // A whole two-byte sequence: never overlong (lead C2 and up), never a refused value.
      block[fill++] = SLWChar((byte & 0x1Fu) << 6 | (bytes[*taken + 1] & 0x3Fu));
      ++*taken;
    } else {
      int produced = DecodeStep(byte, block + fill);
      if (produced < 0) {
        SLErrorKeeper keep;
        PutUnits(block, fill);
        return false;
      }
      fill += u32(produced);
    }
    if (fill > 510) {
      if (!PutUnits(block, fill)) return false;
      fill = 0;
    }
  }
  return PutUnits(block, fill);
}
