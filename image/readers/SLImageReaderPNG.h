// The PNG reader: PNG files (and PNG streams inside BMP files) decoded by libpng into one
// image. Palette and grey pictures become 8-bit palette images, colour pictures B, G, R,
// anything with alpha (an alpha channel or a tRNS chunk) B, G, R, A.
#pragma once

#include "image/SLImageReader.h"

class CSLImageReaderPNG : public CSLBaseImageReader {
  SL_DECLARE_CLASS(CSLImageReaderPNG)
 public:
  // Errors inside libpng (damaged chunks, bad CRCs, sizes past the limits) fail with
  // 0x80002006; data ending early with the storage's code.
  bool Read(CSLImageArray* images, CSLBaseStorage* storage, u32 flags) override;
  u32 GetHeaderSize() override { return 8; }
  bool IsFormat(const u8* data, u32 count) override;
  const char* GetExtensionA(u32 index) override;
  const SLWChar* GetExtensionW(u32 index) override;
};
