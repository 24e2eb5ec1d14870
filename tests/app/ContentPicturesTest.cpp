// The interface pictures of the built content as a person sees them: shapes that are not
// rectangles show what is behind them (a colour key, a mask plane or alpha), so no icon
// sits in an opaque square of one colour.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "image/SLImageArray.h"
#include "image/readers/SLImageReaderMXIMG.h"
#include "tests/app/ContentFiles.h"
#include "tests/support/TestSupport.h"
#include "tools/packwriter/PackReading.h"

namespace {

using namespace content_test;

// Whether pixel (x, y) shows: not the key colour, not cut by the mask plane, not
// transparent in an alpha channel.
struct Visible {
  explicit Visible(CSLImageArray& images) : image(images[0]) {
    if (images.GetCount() > 1 && images[1]->GetWidth() == image->GetWidth() &&
        images[1]->GetHeight() == image->GetHeight())
      mask = images[1];
    keyed = image->GetTransparentColor(&key);
    alpha = SLPixelFormatHasAlpha(image->GetFormat());
  }
  bool operator()(u32 x, u32 y) const {
    const u32 c = image->GetPixel(x, y);
    if (keyed && (c & 0xFFFFFF) == (key & 0xFFFFFF)) return false;
    if (mask && (mask->GetPixel(x, y) & 0xFF) < 128) return false;
    return !alpha || (c >> 24) >= 128;
  }
  CSLImage* image;
  CSLImage* mask = nullptr;
  u32 key = 0;
  bool keyed = false, alpha = false;
};

// The share of a picture's edge pixels taken by its most common opaque colour.
double OpaqueEdgeShare(CSLImageArray& images) {
  const Visible visible(images);
  CSLImage* image = images[0];
  const u32 w = image->GetWidth(), h = image->GetHeight();
  std::map<u32, u32> counts;
  u32 edge = 0;
  auto look = [&](u32 x, u32 y) {
    ++edge;
    if (visible(x, y)) ++counts[image->GetPixel(x, y) & 0xFFFFFF];
  };
  for (u32 x = 0; x < w; ++x) look(x, 0), h > 1 ? look(x, h - 1) : void();
  for (u32 y = 1; y + 1 < h; ++y) look(0, y), w > 1 ? look(w - 1, y) : void();
  u32 most = 0;
  for (const auto& [colour, count] : counts) most = std::max(most, count);
  return edge ? double(most) / edge : 0;
}

// The test the other way round too: a picture drawn without its key (a round icon on an
// opaque black square) is caught.
TEST(ContentPictures, ShapesCarryTheirKeyOrMask) {
  SLTestRegisterClasses();
  CSLImageArray square;
  CSLImage* drawn = new CSLImage();
  ASSERT_TRUE(drawn->Create(5, 32, 32, false));
  for (u32 y = 0; y < 32; ++y)
    for (u32 x = 0; x < 32; ++x) {
      const bool inside = (x - 15.5) * (x - 15.5) + (y - 15.5) * (y - 15.5) < 14 * 14;
      const u32 bgra = inside ? 0xFF30C0F0 : 0xFF000000;
      std::memcpy(drawn->GetPixelAddress(x, y), &bgra, 4);
    }
  square.Add(drawn);
  drawn->Release();
  EXPECT_GT(OpaqueEdgeShare(square), 0.9);

  const std::string path = kContent + "/Gfx/Gfx.DAT";
  slpack::PackListing listing;
  std::string error;
  uint32_t code = 0;
  ASSERT_TRUE(slpack::ListPack(path, &listing, &error, &code)) << error;
  Pack gfx(path);
  ASSERT_TRUE(gfx.attached);
  size_t checked = 0;
  for (const auto& entry : listing.entries) {
    // Rectangles by design: the screens and the editor's frame (the "Fondo" folders),
    // the one-pixel pictures and the thumbnail frame.
    if (entry.name.find("/Fondo/") != std::string::npos || entry.name.find("/Miscelaneos/") != std::string::npos ||
        entry.name.find("fondo_fotograma") != std::string::npos)
      continue;
    SCOPED_TRACE(entry.name);
    ASSERT_TRUE(gfx.Open(entry.name));
    CSLImageReaderMXIMG reader;
    CSLImageArray images;
    ASSERT_TRUE(reader.Read(&images, &gfx.storage, 0)) << std::hex << SLGetLastError();
    EXPECT_LE(OpaqueEdgeShare(images), 0.2);
    ++checked;
  }
  EXPECT_GT(checked, 200u);
}

}  // namespace
