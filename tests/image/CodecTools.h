// Helpers of the codec tests: test pictures, reading and writing through memory
// storages, and comparison with ImageMagick's decoding of the same file.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

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
  ASSERT_TRUE(image->Create(5, w, h, false));
  for (u32 y = 0; y < h; ++y)
    for (u32 x = 0; x < w; ++x) {
      u8 rgba[4];
      PatternPixel(x, y, 0, rgba);
      u8* p = image->GetPixelAddress(x, y);
      p[0] = rgba[2], p[1] = rgba[1], p[2] = rgba[0], p[3] = rgba[3];
    }
}

inline std::string ConvertFromRgba(const std::string& path, u32 w, u32 h) {
  return "convert -size " + std::to_string(w) + "x" + std::to_string(h) + " -depth 8 'rgba:" + path + "'";
}

template <class Reader>
bool ReadBytes(const std::string& bytes, CSLImageArray* images, u32 flags) {
  CSLMemoryStorage storage;
  storage.Write(bytes.data(), bytes.size());
  storage.Seek(0, SL_SEEK_BEGIN);
  Reader reader;
  return reader.Read(images, &storage, flags);
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

inline void ExpectNear(u32 a, u32 b, u32 mask, int tolerance, u32 x, u32 y) {
  for (u32 shift = 0; shift < 32; shift += 8) {
    if (!((mask >> shift) & 255)) continue;
    const int ca = int((a >> shift) & 255), cb = int((b >> shift) & 255);
    if (std::abs(ca - cb) > tolerance) {
      ADD_FAILURE() << "pixel (" << x << ", " << y << "): " << std::hex << a << " against " << b;
      return;
    }
  }
}

// Every pixel of `got` against `expected` (0xAABBGGRR colours), alpha when asked.
inline void ExpectSamePixels(const CSLImage& got, const CSLImage& expected, bool alpha, int tolerance = 0) {
  ASSERT_EQ(got.GetWidth(), expected.GetWidth());
  ASSERT_EQ(got.GetHeight(), expected.GetHeight());
  for (u32 y = 0; y < got.GetHeight(); ++y)
    for (u32 x = 0; x < got.GetWidth(); ++x)
      ExpectNear(got.GetPixel(x, y), expected.GetPixel(x, y), alpha ? ~0u : 0xFFFFFFu, tolerance, x, y);
}

// Every pixel of `image` against ImageMagick's decoding of `file`; alpha only where the
// image carries it, or the channels of `mask` (0xAABBGGRR). ImageMagick keeps a file's
// row order as an orientation tag, so its decoding is turned upright first.
inline void ExpectSameAsImageMagick(const CSLImage& image, const std::string& file, int tolerance = 0, u32 mask = 0) {
  const std::string rgba = RunCommand("convert '" + file + "' -auto-orient -depth 8 rgba:-");
  const u32 w = image.GetWidth(), h = image.GetHeight();
  ASSERT_EQ(rgba.size(), size_t(w) * h * 4);
  if (!mask) mask = CarriesAlpha(image) ? ~0u : 0xFFFFFFu;
  for (u32 y = 0; y < h; ++y)
    for (u32 x = 0; x < w; ++x) {
      const u8* p = reinterpret_cast<const u8*>(&rgba[(size_t(y) * w + x) * 4]);
      const u32 theirs = p[0] | (p[1] << 8) | (p[2] << 16) | (u32(p[3]) << 24);
      ExpectNear(image.GetPixel(x, y), theirs, mask, tolerance, x, y);
      if (::testing::Test::HasFailure()) return;
    }
}

// Writes the pattern converted to `format` with `writer`, checks that the source is left
// as it was, reads the file back with `Reader` and compares it with the source (in the
// format read) and with ImageMagick's decoding. The written bytes.
template <class Reader>
std::string CheckRoundTrip(CSLBaseImageWriter& writer, u32 format, bool alpha, int tolerance) {
  CSLImage source;
  MakePatternImage(&source, 19, 7);
  EXPECT_TRUE(source.ConvertFormat(format));
  const std::vector<u8> before = Snapshot(source);
  const std::string bytes = WriteWith(writer, source);
  EXPECT_FALSE(bytes.empty()) << std::hex << SLGetLastError();
  EXPECT_EQ(Snapshot(source), before) << "the caller's image is unchanged";
  CSLImageArray back;
  if (!ReadBytes<Reader>(bytes, &back, 0)) {
    ADD_FAILURE() << "read back: " << std::hex << SLGetLastError();
    return bytes;
  }
  CSLImage expected;
  EXPECT_TRUE(source.CopyTo(&expected) && expected.ConvertFormat(back[0]->GetFormat()));
  ExpectSamePixels(*back[0], expected, alpha, tolerance);
  // ImageMagick knows a TGA file by its name only.
  char path[] = "/tmp/slwrittenXXXXXX.img";
  memcpy(path + sizeof path - 4, Reader().GetExtensionA(0), 3);
  const int fd = mkstemps(path, 4);
  if (fd >= 0) {
    close(fd);
    std::ofstream(path, std::ios::binary) << bytes;
    ExpectSameAsImageMagick(*back[0], path, tolerance);
    unlink(path);
  }
  return bytes;
}

}  // namespace image_test
