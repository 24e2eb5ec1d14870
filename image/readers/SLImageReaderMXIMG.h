// The MXIMG reader: the framework's own picture container. The picture (raw rows, zlib
// rows or an embedded JPEG, PNG or GIF file) becomes the first image; a mask plane, when
// present, a second image of format 12.
#pragma once

#include "image/SLImageReader.h"

class CSLImageReaderMXIMG : public CSLBaseImageReader {
  SL_DECLARE_CLASS(CSLImageReaderMXIMG)
 public:
  // 0x800d0002 for a bad magic or version; 0x80020018 for a depth, a zero size or an
  // encoding not listed; 0x800d0001 for an embedded file that is empty, longer than the
  // data left or of another size than the header's; 0x80020034 for zlib data that ends
  // early; the embedded reader's or the storage's code otherwise.
  bool Read(CSLImageArray* images, CSLBaseStorage* storage, u32 flags) override;
  u32 GetHeaderSize() override { return 8; }
  bool IsFormat(const u8* data, u32 count) override;
  const char* GetExtensionA(u32 index) override;
  const SLWChar* GetExtensionW(u32 index) override;
};

// The image format of an MXIMG depth: 8 -> 1, 16 -> 14, 24 -> 3, 32 -> 5; 0 for others.
u32 SLMximgFormatOfDepth(u32 depth);
