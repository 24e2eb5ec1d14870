#include "tests/support/ScreenGolden.h"

#include <cstdlib>
#include <fstream>

#include "tests/support/TempDir.h"
#include "tests/support/TestSupport.h"

std::string SLTestScreenCrop(const CSLImage& screen, i32 x, i32 y, i32 width, i32 height) {
  std::string crop(size_t(width) * size_t(height) * 4, '\0');
  for (i32 row = 0; row < height; ++row)
    for (i32 column = 0; column < width; ++column) {
      const u8* p = screen.GetPixelAddress(u32(x + column), u32(y + row));
      char* q = &crop[(size_t(row) * size_t(width) + size_t(column)) * 4];
      q[0] = char(p[2]), q[1] = char(p[1]), q[2] = char(p[0]), q[3] = char(0xFF);
    }
  return crop;
}

::testing::AssertionResult SLTestMatchesGolden(const std::string& crop, i32 width, i32 height,
                                               const std::string& golden) {
  const std::string size = std::to_string(width) + "x" + std::to_string(height);
  if (std::getenv("SL_WRITE_GOLDEN")) {
    TempDir dir;
    std::ofstream(dir.Host("crop.rgba"), std::ios::binary) << crop;
    SLTestCapture("mkdir -p \"$(dirname '" + golden + "')\" && convert -size " + size + " -depth 8 'rgba:" +
                  dir.Host("crop.rgba") + "' -strip 'png24:" + golden + "'");
  }
  const std::string want = SLTestCapture("convert '" + golden + "' -depth 8 -alpha opaque rgba:-");
  if (want.size() != crop.size())
    return ::testing::AssertionFailure() << golden << " holds " << want.size() << " bytes, the crop " << crop.size();
  u32 far = 0;
  for (size_t i = 0; i < crop.size(); i += 4) {
    bool close = true;
    for (int k = 0; k < 3; ++k) close = close && std::abs(int(u8(crop[i + k])) - int(u8(want[i + k]))) <= 2;
    far += !close;
  }
  const u32 allowed = u32(width * height / 500);
  if (far > allowed)
    return ::testing::AssertionFailure() << far << " pixels differ from " << golden << ", at most " << allowed;
  return ::testing::AssertionSuccess();
}
