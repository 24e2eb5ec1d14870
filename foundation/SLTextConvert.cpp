// The conversion entry points by code page: block and streaming forms over the calling
// thread's transcoders.
//
// One of the text files that know each other (SLString, SLPrintf, SLTextConvert,
// SLTranscoderSet, SLTranscoder): strings convert through the transcoders, the code-page
// transcoder collects its text in strings, and strings format through the printf engine,
// which keeps its number and date formats in strings. The headers form no loop.
#include "foundation/SLTextConvert.h"

#include "foundation/SLError.h"
#include "foundation/SLTranscoderSet.h"

namespace {

// Ends a conversion: Finish always runs; the first failure's code stands.
bool Conclude(CSLBaseStringTranscoder* transcoder, bool fedOk, bool encode) {
  if (!fedOk) {
    SLErrorKeeper keep;
    encode ? transcoder->FinishEncode() : transcoder->FinishDecode();
    return false;
  }
  return encode ? transcoder->FinishEncode() : transcoder->FinishDecode();
}

template <class T>
bool StoreSize(T* target, u32* size, u32 capacity, u32 produced, bool ok) {
  *size = produced;
  if (ok && target && produced < capacity) target[produced] = 0;
  return ok;
}

// Bytes of a code page to UTF-16.
bool DecodeToWide(u32 codePage, SLWChar* target, u32* size, const char* source, u32 length, u32 flags) {
  if (!size) return SLFail(SL_E_INVALID_ARG, false);
  u32 capacity = target ? *size : 0;
  u32 produced = 0;
  CSLBaseStringTranscoder* transcoder = SLGetTranscoder(codePage, flags);
  if (!transcoder || !transcoder->BeginDecodeToBuffer(target, capacity, &produced))
    return StoreSize(target, size, capacity, 0, false);
  bool ok = transcoder->DecodeBytes(reinterpret_cast<const u8*>(source), length, nullptr);
  ok = Conclude(transcoder, ok, false);
  return StoreSize(target, size, capacity, produced, ok);
}

// Bytes of a code page to ANSI bytes (decoded, then encoded again by the chained transcoder).
bool DecodeToAnsi(u32 codePage, char* target, u32* size, const char* source, u32 length, u32 flags) {
  if (!size) return SLFail(SL_E_INVALID_ARG, false);
  u32 capacity = target ? *size : 0;
  u32 produced = 0;
  CSLBaseStringTranscoder* transcoder = SLGetTranscoder(codePage, flags);
  if (!transcoder || !transcoder->BeginDecodeToBytes(reinterpret_cast<u8*>(target), capacity, &produced))
    return StoreSize(target, size, capacity, 0, false);
  bool ok = transcoder->DecodeBytes(reinterpret_cast<const u8*>(source), length, nullptr);
  ok = Conclude(transcoder, ok, false);
  return StoreSize(target, size, capacity, produced, ok);
}

// UTF-16 or ANSI text to the bytes of a code page.
template <class C>
bool Encode(u32 codePage, char* target, u32* size, const C* source, u32 length, u32 flags) {
  if (!size) return SLFail(SL_E_INVALID_ARG, false);
  u32 capacity = target ? *size : 0;
  u32 produced = 0;
  CSLBaseStringTranscoder* transcoder = SLGetTranscoder(codePage, flags);
  if (!transcoder || !transcoder->BeginEncodeToBuffer(reinterpret_cast<u8*>(target), capacity, &produced))
    return StoreSize(target, size, capacity, 0, false);
  bool ok;
  if constexpr (sizeof(C) == 1)
    ok = transcoder->EncodeAnsi(source, length, nullptr);
  else
    ok = transcoder->EncodeWChars(source, length, nullptr);
  ok = Conclude(transcoder, ok, true);
  return StoreSize(target, size, capacity, produced, ok);
}

}  // namespace

bool SLMultiByteToAnsi(u32 codePage, char* target, u32* size, const char* source, u32 length, u32 flags) {
  return DecodeToAnsi(codePage, target, size, source, length, flags);
}
bool SLMultiByteToWide(u32 codePage, SLWChar* target, u32* size, const char* source, u32 length, u32 flags) {
  return DecodeToWide(codePage, target, size, source, length, flags);
}
bool SLAnsiToMultiByte(u32 codePage, char* target, u32* size, const char* source, u32 length, u32 flags) {
  return Encode(codePage, target, size, source, length, flags);
}
bool SLWideToMultiByte(u32 codePage, char* target, u32* size, const SLWChar* source, u32 length, u32 flags) {
  return Encode(codePage, target, size, source, length, flags);
}
bool SLUtf8ToAnsi(char* target, u32* size, const char* source, u32 length, u32 flags) {
  return DecodeToAnsi(CP_UTF8, target, size, source, length, flags);
}
bool SLUtf8ToWide(SLWChar* target, u32* size, const char* source, u32 length, u32 flags) {
  return DecodeToWide(CP_UTF8, target, size, source, length, flags);
}
bool SLAnsiToUtf8(char* target, u32* size, const char* source, u32 length, u32 flags) {
  return Encode(CP_UTF8, target, size, source, length, flags);
}
bool SLWideToUtf8(char* target, u32* size, const SLWChar* source, u32 length, u32 flags) {
  return Encode(CP_UTF8, target, size, source, length, flags);
}
bool SLAnsiToWide(SLWChar* target, u32* size, const char* source, u32 length, u32 flags) {
  return DecodeToWide(CP_ACP, target, size, source, length, flags);
}
bool SLWideToAnsi(char* target, u32* size, const SLWChar* source, u32 length, u32 flags) {
  return Encode(CP_ACP, target, size, source, length, flags);
}

bool SLMultiByteToWideStream(u32 codePage, SLUnitSink output, SLByteSource input, void* context, u32 flags) {
  if (!input) return SLFail(SL_E_INVALID_ARG, false);
  CSLBaseStringTranscoder* transcoder = SLGetTranscoder(codePage, flags);
  if (!transcoder || !transcoder->BeginDecodeToCallback(output, context)) return false;
  bool ok = transcoder->DecodeFromCallback(input, context, nullptr);
  return Conclude(transcoder, ok, false);
}

bool SLWideToMultiByteStream(u32 codePage, SLByteSink output, SLUnitSource input, void* context, u32 flags) {
  if (!input) return SLFail(SL_E_INVALID_ARG, false);
  CSLBaseStringTranscoder* transcoder = SLGetTranscoder(codePage, flags);
  if (!transcoder || !transcoder->BeginEncodeToCallback(output, context)) return false;
  bool ok = transcoder->EncodeFromCallback(input, context, nullptr);
  return Conclude(transcoder, ok, true);
}

bool SLAnsiToWideStream(SLUnitSink output, SLByteSource input, void* context, u32 flags) {
  return SLMultiByteToWideStream(CP_ACP, output, input, context, flags);
}

bool SLWideToAnsiStream(SLByteSink output, SLUnitSource input, void* context, u32 flags) {
  return SLWideToMultiByteStream(CP_ACP, output, input, context, flags);
}
