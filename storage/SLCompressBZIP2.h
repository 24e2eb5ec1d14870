// bzip2 codec over libbz2: streams are produced into the compression ring and decoded into
// the decompression ring.
#pragma once

#include "storage/SLCompress.h"

class CSLCompressBZIP2 : public CSLBaseCompress {
  SL_DECLARE_CLASS(CSLCompressBZIP2)
 public:
  CSLCompressBZIP2();
  ~CSLCompressBZIP2() override;

  bool BeginCompress() override;
  bool Compress(const u8* data, u32 length) override;
  bool EndCompress() override;
  bool BeginDecompress() override;
  bool Decompress(const u8* data, u32 length, u32* remaining) override;
  bool EndDecompress() override;
  bool IsStreamEnd() override;

  // Block size for later compression streams, 1..9 (units of 100,000 bytes).
  virtual bool SetBlockSize(i32 size);

  struct State;

 private:
  bool EnsureState();
  void ResetCompressSide();
  void ResetDecompressSide();
  bool FailCompress(u32 code);
  bool FailDecompress(u32 code);

  State* m_state;
};
