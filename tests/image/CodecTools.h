// Helpers of the codec tests: test pictures, reading and writing through memory
// storages, and comparison with ImageMagick's decoding of the same file.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "image/SLImageReader.h"
#include "storage/SLMemoryStorage.h"
#include "tests/image/ImageTools.h"

namespace image_test {

// The test picture's colour at (x, y) as R, G, B, A; `colors` > 0 gives that many
// opaque colours (for palette files), 0 a full-colour picture with varied alpha.
inline void PatternPixel(u32 x, u32 y, u32 colors, u8* rgba) {
  if (colors) {
    const u32 i = (x / 3 + y) % colors;
    rgba[0] = u8(i * 37), rgba[1] = u8(255 - i * 19), rgba[2] = u8(i * 91), rgba[3] = 255;
    return;
  }
  rgba[0] = u8(x * 7 + y * 3), rgba[1] = u8(x * y), rgba[2] = u8(255 - x * 5);
  rgba[3] = u8(1 + (x * 13 + y * 29) % 255);
}

inline void WritePattern(const std::string& path, u32 w, u32 h, u32 colors) {
  std::string bytes(size_t(w) * h * 4, '\0');
  for (u32 y = 0; y < h; ++y)
    for (u32 x = 0; x < w; ++x) PatternPixel(x, y, colors, reinterpret_cast<u8*>(&bytes[(size_t(y) * w + x) * 4]));
  std::ofstream(path, std::ios::binary) << bytes;
}

// A format-5 (B, G, R, A) image of the full-colour pattern.
inline void MakePatternImage(CSLImage* image, u32 w, u32 h) {
  ASSERT_TRUE(image->Create(4, w, h, false));
  for (u32 y = 0; y < h; ++y)
    for (u32 x = 0; x < w; ++x) PatternPixel(x, y, 0, image->GetPixelAddress(x, y));
  ASSERT_TRUE(image->ConvertFormat(5));
}

inline std::string ConvertFromRgba(const std::string& path, u32 w, u32 h) {
  return "convert -size " + std::to_string(w) + "x" + std::to_string(h) + " -depth 8 'rgba:" + path + "'";
}

// Reads `bytes` with a reader made from its class record, from a block of exactly their
// size (so that a read past them is seen by the address sanitizer).
inline bool ReadBytes(const SLClassRecord* reader, const std::string& bytes, CSLImageArray* images, u32 flags) {
  std::vector<char> block(bytes.begin(), bytes.end());
  CSLMemoryStorage storage;
  storage.AttachBuffer(block.data(), u32(block.size()), false);
  CSLObject* object = reader ? SLCallGuarded(reader) : nullptr;
  if (!object) return false;
  const bool read = static_cast<CSLBaseImageReader*>(object)->Read(images, &storage, flags);
  const u32 code = SLGetLastError();
  object->Release();
  SLSetLastError(code);
  return read;
}

inline const SLClassRecord* ChooseByContent(const std::string& bytes) {
  CSLMemoryStorage storage;
  storage.Write(bytes.data(), bytes.size());
  storage.Seek(0, SL_SEEK_BEGIN);
  return CSLBaseImageReader::FindReaderClassByContent(&storage);
}

// What a writer wrote for one image (empty when Write failed).
inline std::string WriteWith(CSLBaseImageWriter& writer, CSLImage& image) {
  CSLImageArray images;
  images.Add(&image);
  CSLMemoryStorage storage;
  if (!writer.Write(&images, &storage)) return std::string();
  u64 size = 0;
  storage.GetSize(&size);
  std::string bytes(size, '\0');
  storage.Seek(0, SL_SEEK_BEGIN);
  storage.Read(bytes.data(), size);
  return bytes;
}

inline bool CarriesAlpha(const CSLImage& image) {
  return image.GetFormat() == 1 || SLPixelFormatHasAlpha(image.GetFormat());
}

// Every pixel of `got` against `expected` (0xAABBGGRR colours) in the channels of `mask`.
inline void ExpectSamePixels(const CSLImage& got, const CSLImage& expected, u32 mask, int tolerance = 0) {
  ASSERT_EQ(got.GetWidth(), expected.GetWidth());
  ASSERT_EQ(got.GetHeight(), expected.GetHeight());
  for (u32 y = 0; y < got.GetHeight(); ++y)
    for (u32 x = 0; x < got.GetWidth(); ++x)
      for (u32 shift = 0; shift < 32; shift += 8) {
        const u32 a = got.GetPixel(x, y), b = expected.GetPixel(x, y);
        if (((mask >> shift) & 255) && std::abs(int((a >> shift) & 255) - int((b >> shift) & 255)) > tolerance) {
          ADD_FAILURE() << "pixel (" << x << ", " << y << "): " << std::hex << a << " against " << b;
          return;
        }
      }
}

// Every pixel of `image` against ImageMagick's decoding of `file`; alpha only where the
// image carries it, or the channels of `mask`. ImageMagick keeps a file's row order as an
// orientation tag, so its decoding is turned upright first.
inline void ExpectSameAsImageMagick(const CSLImage& image, const std::string& file, int tolerance = 0, u32 mask = 0) {
  const std::string rgba = RunCommand("convert '" + file + "' -auto-orient -depth 8 rgba:-");
  CSLImage theirs;
  ASSERT_EQ(rgba.size(), size_t(image.GetWidth()) * image.GetHeight() * 4);
  ASSERT_TRUE(theirs.Create(4, image.GetWidth(), image.GetHeight(), false));
  for (u32 y = 0; y < image.GetHeight(); ++y)
    memcpy(theirs.GetPixelAddress(0, y), &rgba[size_t(y) * image.GetWidth() * 4], image.GetWidth() * 4);
  ExpectSamePixels(image, theirs, mask ? mask : CarriesAlpha(image) ? ~0u : 0xFFFFFFu, tolerance);
}

}  // namespace image_test
