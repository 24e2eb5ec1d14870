// The PSD reader: the merged image of a layered "8BPS" file (8 bits per channel, grey,
// indexed or RGB, raw or PackBits), with every further alpha channel as an alpha image.
#pragma once

#include "image/SLImageReader.h"

class CSLImageReaderPSD : public CSLBaseImageReader {
  SL_DECLARE_CLASS(CSLImageReaderPSD)
 public:
  // The composite (format 1, 3 or 5) followed by up to 8 format-12 images, one per extra
  // alpha channel. 0x800d0002 for a bad signature, version or depth; 0x80020018 for
  // modes, channel counts and compressions not decoded; 0x80020016 for PackBits data
  // that runs past its channel.
  bool Read(CSLImageArray* images, CSLBaseStorage* storage, u32 flags) override;
  u32 GetHeaderSize() override { return 4; }
  bool IsFormat(const u8* data, u32 count) override;
  const char* GetExtensionA(u32 index) override;
  const SLWChar* GetExtensionW(u32 index) override;
};
