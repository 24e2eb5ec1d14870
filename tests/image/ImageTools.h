// Helpers of the image tests: a byte snapshot of an image, random pixels, and pictures
// made at test time with ImageMagick and the libjpeg tools.
#pragma once

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "foundation/SLTypes.h"
#include "image/SLImage.h"
#include "tests/support/TestSupport.h"

namespace image_test {

inline SLImageInfo InfoOf(const CSLImage& image) {
  SLImageInfo info;
  image.GetInfo(&info);
  return info;
}

// The description (without buffer addresses) followed by every buffer's bytes.
inline std::vector<u8> Snapshot(const CSLImage& image) {
  SLImageInfo info = InfoOf(image), fields = info;
  fields.pixels = fields.blockData = nullptr, fields.palette = nullptr;
  std::vector<u8> bytes(reinterpret_cast<const u8*>(&fields), reinterpret_cast<const u8*>(&fields + 1));
  if (info.blockData) bytes.insert(bytes.end(), info.blockData, info.blockData + info.blockDataSize);
  if (info.pixels) bytes.insert(bytes.end(), info.pixels, info.pixels + info.pixelBufferSize);
  const u8* palette = reinterpret_cast<const u8*>(info.palette);
  if (palette) bytes.insert(bytes.end(), palette, palette + sizeof(SLImagePalette));
  return bytes;
}

// Fills the pixel buffer with bytes of a random sequence started from `seed`.
inline void FillRandom(CSLImage& image, u32 seed) {
  std::mt19937 random(seed);
  const SLImageInfo info = InfoOf(image);
  for (u32 i = 0; i < info.pixelBufferSize; ++i) info.pixels[i] = u8(random());
}

// Runs a shell command and returns what it wrote to its standard output; fails the test
// when the command fails (its status comes last, one digit after the output).
inline std::string RunCommand(const std::string& command) {
  std::string output = SLTestCapture("(" + command + ") && printf 0 || printf 1");
  if (output.empty() || output.back() != '0') ADD_FAILURE() << command << " failed";
  if (!output.empty()) output.pop_back();
  return output;
}

// A picture in an image of format 2 (R, G, B rows), from raw RGB bytes.
inline bool MakeRgbImage(CSLImage& image, u32 width, u32 height, const std::string& rgb) {
  if (rgb.size() != size_t(width) * height * 3 || !image.Create(2, width, height, false)) return false;
  for (u32 y = 0; y < height; ++y)
    memcpy(image.GetPixels() + size_t(y) * image.GetStride(), rgb.data() + size_t(y) * width * 3, width * 3);
  return true;
}

}  // namespace image_test
