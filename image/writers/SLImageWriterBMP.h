// The BMP writer: one frame of an array as an uncompressed 8, 16 (5-6-5 bit fields), 24
// or 32-bit bitmap; the screenshots are written with it.
#pragma once

#include "image/SLImageReader.h"

class CSLImageWriterBMP : public CSLBaseImageWriter {
  SL_DECLARE_CLASS(CSLImageWriterBMP)
 public:
  bool Write(CSLImageArray* images, CSLBaseStorage* storage) override;
  const char* GetExtensionA(u32 index) override;
  const SLWChar* GetExtensionW(u32 index) override;
};
