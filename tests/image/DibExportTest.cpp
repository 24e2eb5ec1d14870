// The export of an image as a device-independent bitmap through the image layer's
// gdi32 loader: the header and colour table handed to the system, the rows it receives,
// and the loader without its optional entry points.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/SLError.h"
#include "foundation/SLLibrary.h"
#include "image/SLImgMgrApi.h"
#include "platform/kernel32/Modules.h"
#include "tests/foundation/ChildProcess.h"
#include "tests/image/CodecTools.h"

namespace {

using namespace image_test;

// What the export handed to CreateDIBSection, kept by a stand-in that forwards the call.
struct Captured {
  BITMAPINFOHEADER header;
  RGBQUAD colors[256];
} g_captured;

HBITMAP CaptureDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section, DWORD offset) {
  std::memcpy(&g_captured, info, sizeof g_captured);
  return CreateDIBSection(dc, info, usage, bits, section, offset);
}

BITMAP RecordOf(HBITMAP bitmap) {
  BITMAP record = {};
  EXPECT_EQ(GetObjectW(bitmap, sizeof record, &record), int(sizeof record));
  return record;
}

TEST(DibExport, HeaderTableAndBottomUpRowsForEveryBitCount) {
  auto* api = SLGetImgMgrApiLoader(false);
  ASSERT_NE(api, nullptr);
  EXPECT_EQ(SLGetImgMgrApiLoader(true), api);
  api->m_pCreateDIBSection = &CaptureDIBSection;

  CSLImage pattern;
  MakePatternImage(&pattern, 7, 5);  // format 5, varied alpha
  pattern.SetResolutionX(72);
  const struct {
    u32 format, bits, dibBits, dibFormat;
  } cases[] = {{5, 0, 32, 5},  {5, 32, 32, 5}, {4, 0, 32, 5},  {12, 0, 32, 5}, {3, 0, 24, 3},  {2, 24, 24, 3},
               {14, 0, 16, 14}, {5, 16, 16, 14}, {1, 0, 8, 1},  {5, 8, 8, 1},  {7, 0, 24, 3}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "format " << c.format << " bits " << c.bits);
    CSLImage image, expected;
    ASSERT_TRUE(pattern.CopyTo(&image) && image.ConvertFormat(c.format) && image.CopyTo(&expected));
    ASSERT_TRUE(c.format == c.dibFormat || expected.ConvertFormat(c.dibFormat));
    const std::vector<u8> before = Snapshot(image);
    HBITMAP bitmap = image.CreateDIBSection(c.bits);
    ASSERT_NE(bitmap, nullptr) << std::hex << SLGetLastError();
    EXPECT_EQ(Snapshot(image), before);

    // The header, then the masks (16 and 32 bits) or the image's entries followed by the
    // 3-3-2 ramp as blue, green, red and a zero byte (8 bits).
    const BITMAPINFOHEADER& h = g_captured.header;
    const u32 pitch = (c.dibBits * 7 + 31) / 32 * 4;
    EXPECT_EQ(std::vector<i64>({h.biSize, h.biWidth, h.biHeight, h.biPlanes, h.biBitCount, h.biCompression,
                                h.biSizeImage, h.biXPelsPerMeter, h.biYPelsPerMeter}),
              std::vector<i64>({40, 7, 5, 1, c.dibBits, c.dibBits % 16 ? 0 : 3, pitch * 5, 2834, 3779}));
    std::vector<u32> table(256);
    const u32 masks[2][3] = {{0xF800, 0x07E0, 0x001F}, {0xFF0000, 0xFF00, 0xFF}};
    for (u32 i = 0; i < 256 && c.dibBits == 8; ++i) {
      SLPaletteEntry e;
      if (i < expected.GetPalette()->count) e = expected.GetPalette()->entries[i];
      else SLDefaultPaletteColor(i, &e);
      table[i] = e.blue | e.green << 8 | e.red << 16;
    }
    if (c.dibBits % 16 == 0) std::copy(masks[c.dibBits / 32], masks[c.dibBits / 32] + 3, table.begin());
    EXPECT_EQ(std::vector<u32>(reinterpret_cast<const u32*>(g_captured.colors),
                               reinterpret_cast<const u32*>(g_captured.colors) + (c.dibBits == 8 ? 256 : 3)),
              std::vector<u32>(table.begin(), table.begin() + (c.dibBits == 8 ? 256 : 3)));

    const BITMAP record = RecordOf(bitmap);
    EXPECT_EQ(std::vector<i64>({record.bmType, record.bmWidth, record.bmHeight, record.bmWidthBytes,
                                record.bmBitsPixel}),
              std::vector<i64>({0, 7, 5, pitch, c.dibBits}));
    // Memory row r is image row 4 - r; 32-bit colours are premultiplied.
    for (u32 r = 0; r < 5; ++r) {
      const u8* row = static_cast<const u8*>(record.bmBits) + r * pitch;
      const u8* source = expected.GetPixelAddress(0, 4 - r);
      for (u32 i = 0; i < c.dibBits / 8 * 7; ++i) {
        const u32 alpha = source[i | 3];
        const u32 want = c.dibBits == 32 && (i & 3) != 3 ? source[i] * alpha / 255 : source[i];
        ASSERT_EQ(row[i], want) << "row " << r << " byte " << i;
      }
    }
    EXPECT_TRUE(DeleteObject(bitmap));
    EXPECT_FALSE(DeleteObject(bitmap));
    EXPECT_EQ(GetObjectA(bitmap, sizeof(BITMAP), nullptr), 0);
  }
  api->m_pCreateDIBSection = &CreateDIBSection;

  CSLImage empty, bare;
  ASSERT_TRUE(bare.Create(5, 2, 2, true));
  const struct {
    const CSLImage* image;
    u32 bits, code;
  } refusals[] = {{&pattern, 15, 0x80001001}, {&pattern, 1, 0x80001001}, {&empty, 0, 0x800d0002},
                  {&bare, 32, 0x800d0006}};
  for (const auto& r : refusals) {
    EXPECT_EQ(r.image->CreateDIBSection(r.bits), nullptr);
    EXPECT_EQ(SLGetLastError(), r.code);
  }
}

// Without the optional entry points the loader still starts; GetObjectA falls back to
// GetObjectW, and without both the export takes the pitch of the format.
TEST(DibExport, ChildWithHiddenEntries) {
  SL_CHILD_ONLY();
  std::istringstream names(std::getenv("SL_HIDE"));
  for (std::string name; std::getline(names, name, ',');) SLPlatformHideExport("gdi32.dll", name.c_str(), true);
  auto* api = SLGetImgMgrApiLoader(false);
  ASSERT_NE(api, nullptr);
  EXPECT_EQ(api->m_pGetObjectA, nullptr);
  CSLImage image;
  MakePatternImage(&image, 3, 2);
  HBITMAP bitmap = image.CreateDIBSection(24);
  ASSERT_NE(bitmap, nullptr);
  BITMAP record = {};
  const bool wide = api->m_pGetObjectW != nullptr;
  EXPECT_EQ(api->GetObjectA(bitmap, sizeof record, &record), wide ? int(sizeof record) : 0);
  if (!wide) {
    EXPECT_EQ(SLGetSystemLastError(), 120u);
  }
  record = RecordOf(bitmap);
  EXPECT_EQ(static_cast<const u8*>(record.bmBits)[12], image.GetPixelAddress(0, 0)[0]);
  EXPECT_TRUE(DeleteObject(bitmap));
  SL_CHILD_DONE();
}

TEST(DibExport, LoaderWithoutOptionalEntries) {
  SL_EXPECT_CHILD_PASSES("DibExport.ChildWithHiddenEntries",
                         "SL_HIDE=GetObjectType,GetObjectA,CreateCompatibleDC,DeleteDC,SelectObject,GetCurrentObject,"
                         "GetPaletteEntries,GetPixel,GetDIBColorTable,GetDIBits,GetBitmapBits");
  SL_EXPECT_CHILD_PASSES("DibExport.ChildWithHiddenEntries", "SL_HIDE=GetObjectA,GetObjectW");
}

}  // namespace
