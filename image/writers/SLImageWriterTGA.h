// The TGA writer: one frame of an array as an 8-bit colour-mapped, 16-bit, 24-bit or
// 32-bit TGA file, raw or run-length coded, with a version 2 footer.
#pragma once

#include "image/SLImageReader.h"

class CSLImageWriterTGA : public CSLBaseImageWriter {
  SL_DECLARE_CLASS(CSLImageWriterTGA)
 public:
  bool Write(CSLImageArray* images, CSLBaseStorage* storage) override;
  const char* GetExtensionA(u32 index) override;
  const SLWChar* GetExtensionW(u32 index) override;

  u32 m_rle = 0;  // non-zero: run-length coded rows
};
