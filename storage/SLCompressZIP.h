// Deflate codec: compresses with the system zlib's deflate and decompresses with the own
// Deflate64-capable inflater, as raw deflate data or wrapped in the zlib format; a gzip
// header found at the start of compressed input is skipped.
#pragma once

#include "storage/SLCompress.h"

class CSLCompressZIP : public CSLBaseCompress {
  SL_DECLARE_CLASS(CSLCompressZIP)
 public:
  // zlibHeader non-zero: zlib-wrapped data (window bits 15); zero: raw deflate (-15).
  explicit CSLCompressZIP(u32 zlibHeader = 1);
  ~CSLCompressZIP() override;

  bool BeginCompress() override;
  bool Compress(const u8* data, u32 length) override;
  bool EndCompress() override;
  bool BeginDecompress() override;
  bool Decompress(const u8* data, u32 length, u32* remaining) override;
  bool EndDecompress() override;
  bool IsStreamEnd() override;

  // Non-zero selects Deflate64 (raw, 64 KB window) for the next decompression stream.
  bool SetDeflate64(u32 on);

  struct State;

 private:
  bool EnsureState();
  void ResetCompressSide();
  void ResetDecompressSide(bool keepDeflate64);
  bool FailDecompress(u32 code);
  bool FailCompress(u32 code);
  bool InflatePiece(const u8* data, u32 length, u32* consumed);

  State* m_state;
  u32 m_zlibHeader;
};
