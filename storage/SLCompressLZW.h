// The framework's LZW codec: variable-width codes of 9 to 12 bits over a 4096-entry
// dictionary, packed most significant bit first, with no header, clear code or end code.
// After 3840 codes both sides reset their dictionaries, with nothing written for it.
#pragma once

#include "storage/SLCompress.h"

class CSLCompressLZW : public CSLBaseCompress {
  SL_DECLARE_CLASS(CSLCompressLZW)
 public:
  CSLCompressLZW();
  ~CSLCompressLZW() override;

  bool BeginCompress() override;
  bool Compress(const u8* data, u32 length) override;
  bool EndCompress() override;
  bool BeginDecompress() override;
  bool Decompress(const u8* data, u32 length, u32* remaining) override;
  bool EndDecompress() override;
  // Always 0 while a decompression runs: the format has no end code.
  bool IsStreamEnd() override;

  struct State;

 private:
  bool EnsureState();
  bool FlushStaging(CSLCircularBuffer& ring, const u8* staging, u32 count);

  State* m_state;
};
