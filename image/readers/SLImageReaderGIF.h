// The GIF reader: GIF87a and GIF89a, still or animated. Every frame becomes one 8-bit
// palette image (format 1) of the logical-screen size, composed over the frames before
// it the way GIF players show them.
#pragma once

#include "image/SLImageReader.h"

class CSLImageReaderGIF : public CSLBaseImageReader {
  SL_DECLARE_CLASS(CSLImageReaderGIF)
 public:
  // Flags: SL_IMAGE_READ_HEADER_ONLY (images with palettes and properties, no pixels),
  // SL_IMAGE_READ_FIRST_ONLY (later frames are decoded and dropped). Frames after the
  // first carry "Image Id" (1, 2, ...); frames with a graphic control extension carry
  // "Image Delay" in milliseconds. 0x80020016 for a bad signature, graphic control
  // block, LZW code size, a frame outside the screen or no frame at all; 0x80090001 for
  // corrupt LZW data; 0x80020034 when the data ends looking for a block; 0x8000100b when
  // the frames together pass the image buffer limit.
  bool Read(CSLImageArray* images, CSLBaseStorage* storage, u32 flags) override;
  u32 GetHeaderSize() override { return 6; }
  bool IsFormat(const u8* data, u32 count) override;
  const char* GetExtensionA(u32 index) override;
  const SLWChar* GetExtensionW(u32 index) override;
};
