// The 4x4-block encoder of formats 30..34 (the S3TC layouts read by texture hardware):
//   30: 8 bytes a block, two 5-6-5 endpoints and 2-bit indexes; a block with any alpha
//       below 128 uses three colours and index 3 for transparent pixels.
//   31, 32: 8 bytes of 4-bit explicit alpha, then a four-colour block.
//   33, 34: 2 alpha endpoints and 3-bit indexes in 8 bytes, then a four-colour block.
//   31 and 33 premultiply the colours by alpha before encoding.
// Endpoints are the farthest pair of the block's colours; each pixel takes the nearest
// of the colours the decoder will interpolate between them.
#include "foundation/SLByteOrder.h"
#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "image/SLPixelConvert.h"

namespace {

struct Rgb {
  i32 red, green, blue;
};

inline i32 Distance(const Rgb& a, const Rgb& b) {
  const i32 red = a.red - b.red, green = a.green - b.green, blue = a.blue - b.blue;
  return red * red + green * green + blue * blue;
}

inline u16 Pack565(const Rgb& c) { return u16((c.red >> 3) << 11 | (c.green >> 2) << 5 | (c.blue >> 3)); }

// What a decoder shows for a packed endpoint: each field widened by bit replication.
inline Rgb Unpack565(u16 packed) {
  const i32 red = packed >> 11, green = (packed >> 5) & 0x3F, blue = packed & 0x1F;
  return {red << 3 | red >> 2, green << 2 | green >> 4, blue << 3 | blue >> 2};
}

// Colour part of a block: 4 bytes of endpoints, 4 bytes of indexes. `mode` 0: four
// colours, endpoints as found; 1: four colours, larger packed endpoint first; 2: three
// colours plus transparent, smaller first.
void EncodeColorBlock(const Rgb* colors, const u8* alphas, int mode, u8* out) {
  // The first farthest pair; one colour throughout gives pixels 0 and 1.
  u32 first = 0, second = 1;
  i32 farthest = -1;
  for (u32 i = 0; i < 16; ++i)
    for (u32 j = i + 1; j < 16; ++j) {
      const i32 distance = Distance(colors[i], colors[j]);
      if (distance > farthest) {
        farthest = distance;
        first = i;
        second = j;
      }
    }
  u16 packed0 = Pack565(colors[first]), packed1 = Pack565(colors[second]);
  if ((mode == 1 && packed0 < packed1) || (mode == 2 && packed0 > packed1)) {
    const u16 swap = packed0;
    packed0 = packed1;
    packed1 = swap;
  }
  SLStoreLE16(out, packed0);
  SLStoreLE16(out + 2, packed1);
  u32 indexes = 0;
  // An opaque block whose endpoints pack alike would read as three-colour: all index 0.
  if (!(mode == 1 && packed0 == packed1)) {
    const Rgb e0 = Unpack565(packed0), e1 = Unpack565(packed1);
    Rgb palette[4] = {e0, e1};
    u32 entries = 4;
    if (mode == 2) {
      palette[2] = {(e0.red + e1.red) / 2, (e0.green + e1.green) / 2, (e0.blue + e1.blue) / 2};
      entries = 3;
    } else {
      palette[2] = {(2 * e0.red + e1.red + 1) / 3, (2 * e0.green + e1.green + 1) / 3, (2 * e0.blue + e1.blue + 1) / 3};
      palette[3] = {(e0.red + 2 * e1.red + 1) / 3, (e0.green + 2 * e1.green + 1) / 3, (e0.blue + 2 * e1.blue + 1) / 3};
    }
    for (u32 pixel = 0; pixel < 16; ++pixel) {
      u32 best = 0;
      if (mode == 2 && alphas[pixel] < 128) {
        best = 3;
      } else {
        i32 bestDistance = Distance(colors[pixel], palette[0]);
        for (u32 entry = 1; entry < entries; ++entry) {
          const i32 distance = Distance(colors[pixel], palette[entry]);
          if (distance < bestDistance) {
            bestDistance = distance;
            best = entry;
          }
        }
      }
      indexes |= best << (2 * pixel);
    }
  }
  SLStoreLE32(out + 4, indexes);
}

// Nearest entry (first on ties) for every pixel and the sum of squared errors.
u64 ChooseAlphaIndexes(const u8* alphas, const i32* ramp, u8* indexes) {
  u64 error = 0;
  for (u32 pixel = 0; pixel < 16; ++pixel) {
    i32 bestDifference = 256;
    for (u32 entry = 0; entry < 8; ++entry) {
      const i32 difference = alphas[pixel] > ramp[entry] ? alphas[pixel] - ramp[entry] : ramp[entry] - alphas[pixel];
      if (difference < bestDifference) {
        bestDifference = difference;
        indexes[pixel] = u8(entry);
      }
    }
    error += u64(bestDifference * bestDifference);
  }
  return error;
}

// Interpolated alpha: 8 entries between the extremes, or 6 plus 0 and 255, whichever
// fits better (the 6-entry form on a tie, which also covers a block of one alpha). The
// 6-entry form stores the smaller alpha first, which is what selects it when decoding.
void EncodeAlphaBlock(const u8* alphas, u8* out) {
  i32 smallest = 255, largest = 0;
  for (u32 pixel = 0; pixel < 16; ++pixel) {
    if (alphas[pixel] < smallest) smallest = alphas[pixel];
    if (alphas[pixel] > largest) largest = alphas[pixel];
  }
  i32 eight[8] = {largest, smallest};
  for (i32 i = 1; i <= 6; ++i) eight[i + 1] = ((7 - i) * largest + i * smallest + 3) / 7;
  i32 six[8] = {smallest, largest};
  for (i32 i = 1; i <= 4; ++i) six[i + 1] = ((5 - i) * smallest + i * largest + 2) / 5;
  six[6] = 0;
  six[7] = 255;
  u8 eightIndexes[16], sixIndexes[16];
  const u64 eightError = ChooseAlphaIndexes(alphas, eight, eightIndexes);
  const u64 sixError = ChooseAlphaIndexes(alphas, six, sixIndexes);
  const bool useSix = sixError <= eightError;
  const i32* ramp = useSix ? six : eight;
  const u8* indexes = useSix ? sixIndexes : eightIndexes;
  out[0] = u8(ramp[0]);
  out[1] = u8(ramp[1]);
  u64 bits = 0;
  for (u32 pixel = 0; pixel < 16; ++pixel) bits |= u64(indexes[pixel]) << (3 * pixel);
  for (u32 i = 0; i < 6; ++i) out[2 + i] = u8(bits >> (8 * i));
}

}  // namespace

u32 SLEncodeImageBlocks(SLImageInfo* info) {
  if (!info) return SL_E_NULL_DATA;
  if (!info->pixels) return SL_E_IMAGE_NO_PIXELS;
  const u32 format = info->format;
  if (format < SL_IMAGE_FORMAT_FIRST_BLOCK || format > SL_IMAGE_FORMAT_LAST) return SL_E_IMAGE_NOT_BLOCK_FORMAT;
  const u32 width = info->width, height = info->height;
  if (width == 0 || height == 0 || width % 4 != 0 || height % 4 != 0) return SL_E_IMAGE_EMPTY;
  SLImageSizes sizes;
  if (!SLComputeImageSizes(format, width, height, &sizes)) return SL_E_IMAGE_SIZE;
  if (info->stride < sizes.stride || u64(info->stride) * height > info->pixelBufferSize) return SL_E_IMAGE_SIZE;
  if (!info->blockData || info->blockDataSize != sizes.blockDataSize) {
    u8* blockData = static_cast<u8*>(SLAlloc(sizes.blockDataSize));
    if (!blockData) return SL_E_OUT_OF_MEMORY;
    SLFree(info->blockData);
    info->blockData = blockData;
    info->blockDataSize = sizes.blockDataSize;
  }

  const bool premultiply = format == SL_IMAGE_FORMAT_DXT2 || format == SL_IMAGE_FORMAT_DXT4;
  const u32 blockBytes = format == SL_IMAGE_FORMAT_DXT1 ? 8 : 16;
  u8* out = info->blockData;
  for (u32 top = 0; top < height; top += 4)
    for (u32 left = 0; left < width; left += 4, out += blockBytes) {
      Rgb colors[16];
      u8 alphas[16];
      bool transparent = false;
      for (u32 pixel = 0; pixel < 16; ++pixel) {
        const u8* p = info->pixels + u64(top + pixel / 4) * info->stride + u64(left + pixel % 4) * 4;
        const i32 alpha = p[3];
        colors[pixel] = premultiply ? Rgb{p[0] * alpha >> 8, p[1] * alpha >> 8, p[2] * alpha >> 8}
                                    : Rgb{p[0], p[1], p[2]};
        alphas[pixel] = u8(alpha);
        transparent |= alpha < 128;
      }
      if (format == SL_IMAGE_FORMAT_DXT1) {
        EncodeColorBlock(colors, alphas, transparent ? 2 : 1, out);
        continue;
      }
      if (format <= SL_IMAGE_FORMAT_DXT3) {
        for (u32 pair = 0; pair < 8; ++pair) out[pair] = u8((alphas[2 * pair] >> 4) | (alphas[2 * pair + 1] & 0xF0));
      } else {
        EncodeAlphaBlock(alphas, out);
      }
      EncodeColorBlock(colors, alphas, 0, out + 8);
    }
  return SL_OK;
}
