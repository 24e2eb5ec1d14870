// CSLImageQuantizer: reduces true-colour pixels to at most 256 palette colours, the
// two-pass median-cut way of libjpeg. A histogram of 5-6-5 cells is accumulated over one
// or more sources; boxes are split by population, then by volume; each box's weighted
// mean becomes a palette colour. Mapping fills an inverse colour map lazily, one update
// box of 4x8x4 cells at a time, in the histogram's own cells, and may diffuse the error
// Floyd-Steinberg style with a serpentine scan.
//
//   ResetHistogram, AddImage (one or more), SelectColors, then RemapPixels per image;
//   or SetPalette, then RemapPixels, to map onto a fixed palette.
//
// Remapping turns the histogram into the cache, so a new selection needs a new
// ResetHistogram and accumulation.
#pragma once

#include "foundation/SLObject.h"
#include "image/SLPixelFormat.h"

class CSLImage;

// A source of pixels the quantizer reads, built from a description. Kinds:
//   1 three byte planes (formats 2-11, 30-34)   2 palette indexes (format 1)
//   3 5-6-5 red low (13)   4 5-6-5 blue low (14)   5-8 the 5-5-5 and 4-4-4 layouts
// A plane without data reads as 0; a step or row stride of 0 takes its default.
struct SLPixelDescription {
  struct Plane {
    const u8* data;
    u32 step;       // bytes from one pixel to the next
    u32 rowStride;  // bytes from one row to the next
  };
  u32 kind;
  u32 width;
  u32 height;
  Plane planes[3];          // red, green, blue for kind 1; planes[0] for the others
  SLImagePalette palette;   // kind 2
};
// SL_E_IMAGE_FORMAT_ID for the alpha format (and ids without a layout),
// SL_E_IMAGE_NO_PIXELS without a pixel buffer.
bool SLDescribeImagePixels(const SLImageInfo* info, SLPixelDescription* out);

// The mapped picture: one index per pixel, rows of `stride` bytes. `indexes` belongs to
// the caller (SLFree).
struct SLRemapResult {
  u32 width;
  u32 height;
  u32 colorCount;
  SLPaletteEntry palette[256];  // alpha 255
  u8* indexes;
  u32 bytesPerPixel;  // 1
  u32 stride;         // = width
};

class CSLImageQuantizer : public CSLObject {
  SL_DECLARE_CLASS(CSLImageQuantizer)
 public:
  // Channel flags of accumulation and mapping: the channel reads as 0.
  enum : u32 { kNoRed = 0x1, kNoGreen = 0x2, kNoBlue = 0x4 };

  CSLImageQuantizer() = default;
  ~CSLImageQuantizer() override;

  // Creates the work area when needed and zeroes the histogram.
  bool ResetHistogram();
  bool AddImage(const CSLImage* image, u32 flags);
  bool AddPixels(const SLImageInfo* info, u32 flags);
  bool AccumulateHistogram(const SLPixelDescription* pixels, u32 flags);
  // Picks up to `count` colours (0 = 256) into `out`: its count becomes the number of
  // boxes, every entry opaque, the unused ones black.
  bool SelectColors(SLImagePalette* out, u32 count);
  // Maps onto the given colours (alpha ignored) instead of selected ones.
  bool SetPalette(const SLImagePalette* palette);
  // Maps every pixel of `source` to a palette index into `result` (zeroed first).
  bool RemapPixels(SLRemapResult* result, const SLImageInfo* source, bool dither, u32 flags);
  bool Remap(SLRemapResult* result, const SLPixelDescription* pixels, bool dither, u32 flags);

 private:
  struct WorkArea;
  bool EnsureWorkArea();
  void FillInverseMap(u32 redCell, u32 greenCell, u32 blueCell);
  u32 LookUp(u32 red, u32 green, u32 blue);

  WorkArea* m_work = nullptr;
};
