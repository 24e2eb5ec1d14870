// CSLImage: the one raster image of the system. Readers fill it, writers take it, the
// graphics device cuts it into textures, the movie player decodes frames into it.
//
// An image is its description (SLImageInfo) plus up to three owned buffers: the pixel
// rows, the 4x4-block data of formats 30..34 and a palette. Empty after construction and
// Clear (format SL_IMAGE_FORMAT_NONE). For block formats the pixel copy is the master:
// whoever changes the pixels marks the block data stale and GetBlockData encodes again.
// Colours go in and out as 0xAABBGGRR (red in the low byte).
#pragma once

#include "foundation/SLObject.h"
#include "image/SLPixelFormat.h"

using HBITMAP = void*;  // a bitmap handle of the system's gdi32

class CSLImage : public CSLObject {
  SL_DECLARE_CLASS(CSLImage)
 public:
  CSLImage();
  ~CSLImage() override;  // Clear, keeping the caller's error code

  // Describes the image and, unless noBuffer, allocates its pixels (content undefined:
  // callers fill every row) and, for a block format, its block data. Bad format:
  // SL_E_IMAGE_FORMAT_ID; zero size, a block format not a multiple of 4 or sizes past the
  // buffer limit: SL_E_IMAGE_SIZE, the image unchanged. No memory: the image is emptied.
  bool Create(u32 format, u32 width, u32 height, bool noBuffer);
  // Frees the buffers, empties the description and removes the "Image..." properties.
  void Clear();

  // The description, with resolution 0 reported as 96 (SL_E_NULL_OUTPUT for null).
  bool GetInfo(SLImageInfo* out) const;
  u32 GetFormat() const { return m_info.format; }
  u32 GetWidth() const { return m_info.width; }
  u32 GetHeight() const { return m_info.height; }
  u32 GetBytesPerPixel() const { return m_info.bytesPerPixel; }
  u32 GetStride() const { return m_info.stride; }
  bool IsBlockFormat() const {
    return m_info.format >= SL_IMAGE_FORMAT_FIRST_BLOCK && m_info.format <= SL_IMAGE_FORMAT_LAST;
  }
  // The format its pixels are read in (SLPixelReadFormat).
  u32 GetPixelReadFormat() const { return SLPixelReadFormat(m_info.format); }
  // The pixel rows, or null before they are allocated.
  u8* GetPixels() const { return m_info.pixels; }
  const SLImagePalette* GetPalette() const { return m_info.palette; }

  // Dots per inch; 0 stores 96, above 65535 fails with SL_E_INVALID_ARG.
  bool SetResolutionX(u32 dpi);
  bool SetResolutionY(u32 dpi);
  // A reference point carried by the image (the hot spot of a pointer picture).
  bool SetPoint(u32 x, u32 y);
  // The transparent colour, low 24 bits (0x00BBGGRR).
  bool SetTransparentColor(u32 color);
  // Without a key writes magenta 0xFF00FF and fails with SL_E_IMAGE_NO_COLOR_KEY.
  bool GetTransparentColor(u32* out) const;

  // Copies entries first..first+count-1, clipped to the palette's count; the number copied.
  u32 GetPaletteEntries(u32 first, u32 count, SLPaletteEntry* out) const;
  // Sets entries, clipped to 256; creates the palette on first use and raises (never
  // lowers) its count. The number set. If the palette cannot be allocated, the whole
  // image is emptied (SL_E_OUT_OF_MEMORY).
  u32 SetPaletteEntries(u32 first, u32 count, const SLPaletteEntry* entries);

  // Address of pixel (x, y); null outside the image or without pixels.
  u8* GetPixelAddress(u32 x, u32 y) const;
  // The colour of a pixel as 0xAABBGGRR (24-bit formats give alpha 0); 0xFF000000
  // outside the image or without pixels.
  u32 GetPixel(u32 x, u32 y) const;

  // Allocates the pixel buffer when there is none.
  bool EnsureBuffer();
  // Allocates the block data of a block format when there is none.
  bool EnsureBlockData();
  // The block data, encoded again first when the pixels changed since; null without it.
  u8* GetBlockData();
  // Marks the block data of a block-format image (not) stale; ignored for other formats.
  bool SetBlockDataStale(bool stale);

  // Converts the pixels in place to another format. `colorCount` (0 = 256) and
  // `palette` matter only for the palette format: with a palette its entries are used,
  // otherwise they are chosen from the image. The image is unchanged on failure.
  bool ConvertFormat(u32 newFormat, u32 flags = 0, u32 colorCount = 0,
                     const SLImagePalette* palette = nullptr);

  // A device-independent bitmap of the image: 8, 16, 24 or 32 bits (0 chooses by the
  // format), bottom-up rows, 32-bit pixels premultiplied by their alpha. The caller
  // deletes it with gdi32's DeleteObject. Null with 0x80001001 for another bit count,
  // 0x800d0002 or 0x800d0006 for an image without format or pixels, the conversion's
  // code, or 0x80000001 when the system gives no bitmap.
  HBITMAP CreateDIBSection(u32 bits) const;

  // The target (a CSLImage) becomes a copy of this image: description, palette, point,
  // colour key, resolutions, pixels and block data. On failure the target is emptied.
  bool CopyTo(CSLObject* target) const override;
  using CSLObject::CopyFrom;
  bool CopyFrom(const CSLImage* source) { return source->CopyTo(this); }

  // The names of the per-frame integer properties readers attach.
  static constexpr const char* kPropertyId = "Image Id";
  static constexpr const char* kPropertyMipMapLevel = "Image MipMap Level";
  static constexpr const char* kPropertyCubeMapFace = "Image CubeMap Face";
  static constexpr const char* kPropertyDelay = "Image Delay";
  static constexpr const char* kPropertyDepth = "Image Depth";

 private:
  bool AllocateBuffers(bool pixels, bool blockData);
  void ApplyFlagsInPlace(u32 flags);

  SLImageInfo m_info;
};
