// The TGA reader: colour-mapped, true-colour and grey images, raw or run-length coded,
// with the key colour and alpha rules of the file's extension area.
#pragma once

#include "image/SLImageReader.h"

class CSLImageReaderTGA : public CSLBaseImageReader {
  SL_DECLARE_CLASS(CSLImageReaderTGA)
 public:
  // One image; 0x80020018 for variants not decoded, 0x800d0002 for a bad colour map.
  bool Read(CSLImageArray* images, CSLBaseStorage* storage, u32 flags) override;
  u32 GetHeaderSize() override { return 18; }
  bool IsFormat(const u8* data, u32 count) override;
  const char* GetExtensionA(u32 index) override;
  const SLWChar* GetExtensionW(u32 index) override;
};
