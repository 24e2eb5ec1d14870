// The streaming codec interface: a caller starts a compression or decompression stream,
// feeds input in pieces of any size, ends the stream and collects the output from one of
// the two rings the codec owns.
#pragma once

#include "foundation/SLArray.h"
#include "foundation/SLObject.h"
#include "foundation/SLTypes.h"

// Codec stream codes.
enum : u32 {
  SL_E_CODEC_COMPRESS_FAILED = 0x80090002,
  SL_E_CODEC_NO_COMPRESSION = 0x80090004,   // no compression stream running
  SL_E_CODEC_COMPRESSING = 0x80090005,      // a compression stream already runs
  SL_E_CODEC_UNSUPPORTED_METHOD = 0x8009000a,
};

class CSLBaseCompress : public CSLObject {
  SL_DECLARE_CLASS(CSLBaseCompress)
 public:
  CSLBaseCompress();
  ~CSLBaseCompress() override;

  virtual bool BeginCompress() = 0;
  virtual bool Compress(const u8* data, u32 length) = 0;
  virtual bool EndCompress() = 0;
  virtual bool BeginDecompress() = 0;
  // *remaining (when given) ends as the number of input bytes not consumed.
  virtual bool Decompress(const u8* data, u32 length, u32* remaining) = 0;
  virtual bool EndDecompress() = 0;
  virtual bool IsStreamEnd() = 0;

  // Bytes waiting in the decompression ring.
  u32 GetDecompressedSize();
  // Copies min(size, waiting) bytes out of the decompression ring and consumes them.
  bool ReadDecompressed(u8* buffer, u32 size);

  // The compression ring; callers drain it through the ring's own read operations.
  CSLCircularBuffer* GetCompressedOutput() { return &m_compressed; }

 protected:
  CSLCircularBuffer m_compressed;
  CSLCircularBuffer m_decompressed;
};

// Allocation callbacks of the codec libraries' streams: items * size zero-filled bytes from
// SLAlloc (null on overflow or failure), released through SLFree.
void* SLCompressAlloc(void* opaque, unsigned items, unsigned size);
void SLCompressFree(void* opaque, void* block);

// Runs one call into a codec library; a C++ exception escaping it (from an allocation
// callback or a fault turned into one) makes the call count as `faultResult`.
template <class Call>
int SLGuardedCodecCall(Call&& call, int faultResult) {
  try {
    return call();
  } catch (...) {
    return faultResult;
  }
}
