// The BMP reader: Windows and OS/2 bitmaps with or without the file header, 1 to 32 bits,
// uncompressed, RLE8, RLE4 and bit fields.
#pragma once

#include "image/SLImageReader.h"

class CSLImageReaderBMP : public CSLBaseImageReader {
  SL_DECLARE_CLASS(CSLImageReaderBMP)
 public:
  // One image; 0x80020016 for a damaged structure, 0x80020018 for variants not decoded
  // (JPEG and PNG pixel data among them).
  bool Read(CSLImageArray* images, CSLBaseStorage* storage, u32 flags) override;
  u32 GetHeaderSize() override { return 4; }
  bool IsFormat(const u8* data, u32 count) override;
  const char* GetExtensionA(u32 index) override;
  const SLWChar* GetExtensionW(u32 index) override;
};
