// Helpers of the image tests: class registration, a byte snapshot of an image, and
// pictures made at test time with ImageMagick and the libjpeg tools.
#pragma once

#include <gtest/gtest.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "foundation/SLTypes.h"
#include "image/SLImage.h"
#include "tests/support/TestSupport.h"

namespace image_test {

class Environment : public ::testing::Environment {
 public:
  void SetUp() override { SLTestRegisterClasses(); }
};
inline const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new Environment);

inline SLImageInfo InfoOf(const CSLImage& image) {
  SLImageInfo info;
  image.GetInfo(&info);
  return info;
}

// The description (without buffer addresses) followed by every buffer's bytes.
inline std::vector<u8> Snapshot(const CSLImage& image) {
  SLImageInfo info = InfoOf(image), fields = info;
  fields.pixels = fields.blockData = nullptr;
  fields.palette = nullptr;
  std::vector<u8> bytes(reinterpret_cast<const u8*>(&fields), reinterpret_cast<const u8*>(&fields + 1));
  if (info.blockData) bytes.insert(bytes.end(), info.blockData, info.blockData + info.blockDataSize);
  if (info.pixels) bytes.insert(bytes.end(), info.pixels, info.pixels + info.pixelBufferSize);
  if (info.palette)
    bytes.insert(bytes.end(), reinterpret_cast<const u8*>(info.palette),
                 reinterpret_cast<const u8*>(info.palette + 1));
  return bytes;
}

// Runs a shell command and returns what it wrote to its standard output; fails the test
// when the command fails.
inline std::string RunCommand(const std::string& command) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) {
    ADD_FAILURE() << "cannot run " << command;
    return output;
  }
  char buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  int status = pclose(pipe);
  if (status != 0) ADD_FAILURE() << command << " exited with " << status;
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
