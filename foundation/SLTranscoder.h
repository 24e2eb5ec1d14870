// Text transcoders between UTF-16 and byte encodings (code pages, the symbol page, UTF-8),
// the per-thread set of them, the conversion entry points by code page, the cached system
// code pages, case mapping, character classes and wildcard matching.
#pragma once

#include "foundation/SLObject.h"
#include "foundation/SLSingleton.h"
#include "foundation/SLString.h"
#include "foundation/SLTypes.h"
#include "platform/wintext.h"

enum : u32 {
  SL_E_BUSY = 0x80010008,           // Begin on a busy direction; settings changed while busy
  SL_E_BAD_CHARACTER = 0x80060007,  // not representable or malformed
  SL_E_NO_MATCH = 0x80060008,       // wildcard pattern does not match
};

// Output and input callbacks of the streaming forms; false stops with failure.
using SLByteSink = bool (*)(u8 byte, void* context);
using SLUnitSink = bool (*)(SLWChar unit, void* context);
using SLByteSource = bool (*)(u8* byte, void* context);
using SLUnitSource = bool (*)(SLWChar* unit, void* context);

class CSLBaseStringTranscoder : public CSLObject {
  SL_DECLARE_CLASS(CSLBaseStringTranscoder)
 public:
  CSLBaseStringTranscoder();
  ~CSLBaseStringTranscoder() override;

  virtual bool EncodeWChar(SLWChar unit) = 0;
  virtual bool DecodeByte(u8 byte) = 0;
  virtual const char* GetNameA(u32 index) const = 0;
  virtual const SLWChar* GetNameW(u32 index) const = 0;
  virtual bool BeginEncode();
  virtual bool EndEncode();
  virtual bool BeginDecode();
  virtual bool EndDecode();

  bool BeginEncodeToBuffer(u8* target, u32 capacity, u32* counter);
  bool BeginEncodeToCallback(SLByteSink sink, void* context);
  // `length` SL_TEXT_TO_END runs to the NUL; `consumed` (optional) counts the units taken.
  bool EncodeWChars(const SLWChar* units, u32 length, u32* consumed);
  bool EncodeAnsi(const char* text, u32 length, u32* consumed);
  bool EncodeFromCallback(SLUnitSource source, void* context, u32* counter);
  bool FinishEncode();

  bool BeginDecodeToBuffer(SLWChar* target, u32 capacity, u32* counter);
  bool BeginDecodeToCallback(SLUnitSink sink, void* context);
  // Decoded units are encoded again into the ANSI code page.
  bool BeginDecodeToBytes(u8* target, u32 capacity, u32* counter);
  bool DecodeBytes(const u8* bytes, u32 length, u32* consumed);
  bool DecodeFromCallback(SLByteSource source, void* context, u32* counter);
  bool FinishDecode();

  bool IsEncoding() const { return m_encodeMode != kIdle; }
  bool IsDecoding() const { return m_decodeMode != kIdle; }

 protected:
  // Hand one produced byte (encoding) or unit (decoding) to the direction's output.
  bool PutByte(u8 byte);
  bool PutUnit(SLWChar unit);
  bool PutBytes(const u8* bytes, u32 count);
  bool PutUnits(const SLWChar* units, u32 count);
  // A run of units or bytes without NUL; *taken counts those handled. The defaults call
  // EncodeWChar / DecodeByte per element; transcoders that can convert blocks do so.
  virtual bool EncodeRun(const SLWChar* units, u32 count, u32* taken);
  virtual bool DecodeRun(const u8* bytes, u32 count, u32* taken);

 private:
  // Where each direction's output goes (the numbering of the modes of this family).
  enum Mode : u32 {
    kIdle = 0,
    kEncodeToBuffer = 2,    // encode: caller's byte buffer
    kEncodeToCallback = 4,  // encode: callback(byte, context)
    kDecodeToChain = 2,     // decode: units encoded by the chained transcoder
    kDecodeToBuffer = 3,    // decode: caller's unit buffer
    kDecodeToCallback = 5,  // decode: callback(unit, context)
  };

  u32 m_encodeMode;
  void* m_encodeTarget;
  u32 m_encodeCapacity;
  void* m_encodeContext;
  u32* m_encodeCounter;
  u32 m_decodeMode;
  void* m_decodeTarget;
  u32 m_decodeCapacity;
  void* m_decodeContext;
  u32* m_decodeCounter;
  CSLBaseStringTranscoder* m_chained;
};

// Any code page of the system, converted through MultiByteToWideChar / WideCharToMultiByte.
class CSLStringTranscoderCODEPAGE : public CSLBaseStringTranscoder {
  SL_DECLARE_CLASS(CSLStringTranscoderCODEPAGE)
 public:
  CSLStringTranscoderCODEPAGE();
  ~CSLStringTranscoderCODEPAGE() override;
  bool EncodeWChar(SLWChar unit) override;
  bool DecodeByte(u8 byte) override;
  const char* GetNameA(u32 index) const override;
  const SLWChar* GetNameW(u32 index) const override;
  bool BeginEncode() override;
  bool EndEncode() override;
  bool BeginDecode() override;
  bool EndDecode() override;

  // 0 ANSI, 1 OEM, 2 Mac, 3 the thread's ANSI code page; other values are code pages.
  bool SetCodePage(u32 codePage);
  bool SetFlags(u32 flags);  // keeps the low 24 bits
  u32 GetCodePage() const { return m_codePage; }
  u32 GetFlags() const { return m_flags; }

 protected:
  bool EncodeRun(const SLWChar* units, u32 count, u32* taken) override;
  bool DecodeRun(const u8* bytes, u32 count, u32* taken) override;

 private:
  void BuildNames();
  bool Collect(const SLWChar* units, u32 count);
  DWORD DecodeFlags() const;

  u32 m_codePage;
  u32 m_flags;
  // The units collected between BeginEncode and EndEncode, converted as one text; the
  // string exists only while an encoding runs.
  CSLStringWide* m_collected;
  bool m_singleByte;  // no lead bytes: blocks convert byte for byte
  u8* m_bytes;        // the encoded text before it goes to the output
  u32 m_bytesCapacity;
  // A lead byte of a double-byte code page waiting for its trail byte.
  u8 m_pendingLead;
  bool m_hasPendingLead;
  char m_nameA[16];
  SLWChar m_nameW[16];
};

// Code page 42: the symbol font's private-use units U+F020..U+F0FF.
class CSLStringTranscoderSYMBOLS : public CSLBaseStringTranscoder {
  SL_DECLARE_CLASS(CSLStringTranscoderSYMBOLS)
 public:
  bool EncodeWChar(SLWChar unit) override;
  bool DecodeByte(u8 byte) override;
  const char* GetNameA(u32 index) const override;
  const SLWChar* GetNameW(u32 index) const override;
};

class CSLStringTranscoderUTF8 : public CSLBaseStringTranscoder {
  SL_DECLARE_CLASS(CSLStringTranscoderUTF8)
 public:
  CSLStringTranscoderUTF8();
  bool EncodeWChar(SLWChar unit) override;
  bool DecodeByte(u8 byte) override;
  const char* GetNameA(u32 index) const override;
  const SLWChar* GetNameW(u32 index) const override;
  bool BeginEncode() override;
  bool EndEncode() override;
  bool BeginDecode() override;
  bool EndDecode() override;

 protected:
  bool EncodeRun(const SLWChar* units, u32 count, u32* taken) override;
  bool DecodeRun(const u8* bytes, u32 count, u32* taken) override;

 private:
  // One unit or byte: the bytes or units it completes (0 while a sequence is open), or -1
  // with the error code set.
  int EncodeStep(SLWChar unit, u8* out);
  int DecodeStep(u8 byte, SLWChar* out);

  bool m_pendingSurrogate;
  u32 m_partialCodePoint;
  u32 m_received;  // bytes of the current sequence so far
  u32 m_expected;  // its length (0 outside a sequence)
  u8 m_sequence[4];
};

namespace SLInternals {

// The calling thread's transcoders, created on its first conversion.
class CMXStrConvertHelper : public CSLBaseThreadData {
 public:
  CMXStrConvertHelper();
  ~CMXStrConvertHelper() override;
  bool IsComplete() const { return m_codePage && m_symbols && m_utf8; }

  CSLStringTranscoderCODEPAGE* m_codePage;
  CSLStringTranscoderSYMBOLS* m_symbols;
  CSLStringTranscoderUTF8* m_utf8;
};

// The system's text functions, bound by name; missing ones make only their users fall back.
class CMXStrAPILoader : public CSLBaseOODClass {
 public:
  CMXStrAPILoader();
  ~CMXStrAPILoader() override;
  bool Initialize() override;

  // The calls with their documented fall-backs for missing entry points.
  int MultiByteToWideChar(UINT codePage, DWORD flags, const char* bytes, int byteCount, SLWChar* units,
                          int unitCount);
  int WideCharToMultiByte(UINT codePage, DWORD flags, const SLWChar* units, int unitCount, char* bytes,
                          int byteCount, const char* defaultChar, BOOL* usedDefault);
  LCID GetThreadLocale();
  BOOL GetCPInfo(UINT codePage, CPINFO* info);
  BOOL IsDBCSLeadByteEx(UINT codePage, BYTE byte);
  BOOL GetStringTypeExW(LCID locale, DWORD infoType, const SLWChar* units, int count, WORD* types);
  int LCMapStringA(LCID locale, DWORD flags, const char* source, int sourceCount, char* target, int targetCount);
  // A number from the locale (LOCALE_RETURN_NUMBER): the A form, else the W form; 0 when neither.
  u32 GetLocaleNumber(LCID locale, LCTYPE type);

  HMODULE m_kernel32;
  HMODULE m_user32;
  HMODULE m_oleaut32;
  PFN_LoadStringA m_pLoadStringA;
  PFN_LoadStringW m_pLoadStringW;
  PFN_GetVersion m_pGetVersion;
  PFN_GetModuleHandleA m_pGetModuleHandleA;
  PFN_GetModuleHandleW m_pGetModuleHandleW;
  PFN_MultiByteToWideChar m_pMultiByteToWideChar;
  PFN_WideCharToMultiByte m_pWideCharToMultiByte;
  PFN_GetLocaleInfoA m_pGetLocaleInfoA;
  PFN_GetLocaleInfoW m_pGetLocaleInfoW;
  PFN_GetThreadLocale m_pGetThreadLocale;
  PFN_GetCPInfo m_pGetCPInfo;
  PFN_IsDBCSLeadByteEx m_pIsDBCSLeadByteEx;
  PFN_GetStringTypeExW m_pGetStringTypeExW;
  PFN_LCMapStringA m_pLCMapStringA;
  PFN_SysAllocString m_pSysAllocString;
  PFN_SysAllocStringLen m_pSysAllocStringLen;
  PFN_SysFreeString m_pSysFreeString;
  PFN_SysStringLen m_pSysStringLen;
};

// The loader singleton (null with 0x80000001 when it cannot be created).
CMXStrAPILoader* SLGetStrAPI();

}  // namespace SLInternals

// The calling thread's transcoder for a code page, reset and configured; null on failure.
CSLBaseStringTranscoder* SLGetTranscoder(u32 codePage, u32 flags);

// Block forms: `size` holds the target capacity in target characters on entry (ignored
// for a null target, which measures) and the number produced on return; a NUL follows the
// output when room remains. `length` SL_TEXT_TO_END runs to the source's NUL.
bool SLMultiByteToAnsi(u32 codePage, char* target, u32* size, const char* source, u32 length, u32 flags);
bool SLMultiByteToWide(u32 codePage, SLWChar* target, u32* size, const char* source, u32 length, u32 flags);
bool SLAnsiToMultiByte(u32 codePage, char* target, u32* size, const char* source, u32 length, u32 flags);
bool SLWideToMultiByte(u32 codePage, char* target, u32* size, const SLWChar* source, u32 length, u32 flags);
bool SLUtf8ToAnsi(char* target, u32* size, const char* source, u32 length, u32 flags);
bool SLUtf8ToWide(SLWChar* target, u32* size, const char* source, u32 length, u32 flags);
bool SLAnsiToUtf8(char* target, u32* size, const char* source, u32 length, u32 flags);
bool SLWideToUtf8(char* target, u32* size, const SLWChar* source, u32 length, u32 flags);
bool SLAnsiToWide(SLWChar* target, u32* size, const char* source, u32 length, u32 flags);
bool SLWideToAnsi(char* target, u32* size, const SLWChar* source, u32 length, u32 flags);

// Streaming forms: units or bytes are pulled from `input` and pushed to `output` (both with
// `context`). The input ends its data by returning false with the error code at 0; false
// with a code set, or false from the output, fails the conversion (0x80002011 when the
// callback set no code of its own).
bool SLMultiByteToWideStream(u32 codePage, SLUnitSink output, SLByteSource input, void* context, u32 flags);
bool SLWideToMultiByteStream(u32 codePage, SLByteSink output, SLUnitSource input, void* context, u32 flags);
bool SLAnsiToWideStream(SLUnitSink output, SLByteSource input, void* context, u32 flags);
bool SLWideToAnsiStream(SLByteSink output, SLUnitSource input, void* context, u32 flags);

// 0 ANSI, 1 OEM, 2 Mac, 3 the ANSI code page of the thread's locale; other values return as given.
u32 SLGetCodePageCached(u32 kind);

SLWChar SLToLowerW(SLWChar unit);
SLWChar SLToUpperW(SLWChar unit);
SLWChar* SLStrLowerW(SLWChar* text);
u8 SLToLowerA(u8 byte);
u8 SLToUpperA(u8 byte);
char* SLStrLowerA(char* text);
char* SLStrUpperA(char* text);
SLWChar SLAnsiCharToWide(u8 lead, u8 trail);
// CT_CTYPE1 bits of the ANSI character (lead, trail); 0 when unavailable.
u32 SLCharClassA(u8 lead, u8 trail);
inline u32 SLCharClassA(u8 byte) { return SLCharClassA(byte, 0); }
bool SLIsDBCSLeadByte(u8 byte, u32 codePage);

// "*" matches any run, "?" any one character but ".". False with 0x80060008 on no match.
bool SLWildcardMatchA(const char* pattern, const char* text, bool ignoreCase);
bool SLWildcardMatchW(const SLWChar* pattern, const SLWChar* text, bool ignoreCase);
// Normalises the pattern in place (runs of "*" and "?" holding a "*" become one "*") and
// returns it; null with 0x80001001 for a null pattern.
char* SLIsWildcardPatternA(char* pattern);
SLWChar* SLIsWildcardPatternW(SLWChar* pattern);
