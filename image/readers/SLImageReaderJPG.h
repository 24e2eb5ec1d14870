// The JPEG reader: JFIF and EXIF files (and JPEG streams inside BMP files) decoded by
// libjpeg into one image, B, G, R or grey with a ramp palette. The EXIF block of the last
// file read stays with the reader; the picture's resolution comes from it, else from the
// JFIF density.
#pragma once

#include "image/SLImageReader.h"
#include "image/readers/SLImageExifData.h"

class CSLImageReaderJPG : public CSLBaseImageReader {
  SL_DECLARE_CLASS(CSLImageReaderJPG)
 public:
  // Decodes the stream from the storage's position to its end. Any error inside the
  // decoder (damaged or cut-off headers, unsupported coding, memory) fails with
  // 0x80000001; CMYK and YCCK pictures with 0x80020018. Damage inside the coded data
  // that the decoder can step over gives a picture.
  bool Read(CSLImageArray* images, CSLBaseStorage* storage, u32 flags) override;
  u32 GetHeaderSize() override { return 10; }
  bool IsFormat(const u8* data, u32 count) override;
  const char* GetExtensionA(u32 index) override;
  const SLWChar* GetExtensionW(u32 index) override;

  // The EXIF data of the last file read (empty when it had none).
  CSLImageExifData* GetExifData() { return &m_exif; }

  // What libjpeg may allocate for one picture beyond the image itself (coefficient
  // buffers of progressive files): a crafted header cannot ask for more.
  static constexpr long kDecoderMemoryLimit = 256L << 20;

 private:
  CSLImageExifData m_exif;
};
