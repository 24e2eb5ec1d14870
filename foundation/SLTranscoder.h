// Text transcoders between UTF-16 and byte encodings: the base with its output modes and
// the code-page, symbol-page and UTF-8 transcoders.
#pragma once

#include "foundation/SLError.h"
#include "foundation/SLObject.h"
#include "foundation/SLTypes.h"
#include "platform/wintext.h"

class CSLStringWide;

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
