// What the layers above rely on from a graphics device: clipping, the glyph rule of text
// widths and the codes of handle operations. The cases run on every device in kDevices,
// so that a new device joins by adding its maker there.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>

#include "gamesystem/SLBaseGfx.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "image/SLImage.h"
#include "tests/support/MemoryGfxDevice.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSupport.h"
#include "tests/support/TestWindow.h"

namespace {

struct DeviceMaker {
  const char* name;
  std::function<CSL_GS_BaseGfx*()> make;
};
const DeviceMaker kDevices[] = {
    {"memory", [] { return static_cast<CSL_GS_BaseGfx*>(new CMemoryGfxDevice); }},
    {"software", [] { return static_cast<CSL_GS_BaseGfx*>(new CSL_GS_Gfx_DirectX); }},
};

class DeviceContract : public ::testing::TestWithParam<DeviceMaker> {
 protected:
  void SetUp() override {
    SLTestRegisterClasses();
    window = SLTestMakeWindow("contrato");
    ASSERT_NE(window, nullptr);
    device.Attach(GetParam().make());
    SL_GS_DisplayMode mode{0xFFFF, 800, 600, 32, 1, 0, 0};
    ASSERT_TRUE(device->Init(nullptr, window, &mode));
  }
  void TearDown() override {
    if (device) device->Shutdown();
    device.Reset(nullptr);
    if (window) DestroyWindow(window);
  }
  HWND window = nullptr;
  TSLObjPtr<CSL_GS_BaseGfx> device;
};

TEST_P(DeviceContract, ClipIsClampedToTheTarget) {
  EXPECT_EQ(device->GetWidth(), 800u);
  EXPECT_EQ(device->GetHeight(), 600u);
  const struct {
    u32 x, y, width, height;
    u32 expected[4];
  } cases[] = {
      {10, 20, 30, 40, {10, 20, 30, 40}},
      {700, 500, 300, 300, {700, 500, 100, 100}},
      {0, 0, 800, 600, {0, 0, 800, 600}},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(device->SetClipRect(c.x, c.y, c.width, c.height));
    u32 got[4] = {};
    device->GetClipRect(&got[0], &got[1], &got[2], &got[3]);
    EXPECT_EQ(std::vector<u32>(got, got + 4), std::vector<u32>(c.expected, c.expected + 4)) << c.x << "," << c.y;
  }
}

// Text width: each glyph's width plus 2, kernings added, the last 2 taken off; measured
// against that rule on random runs of a font whose glyphs are all 5 wide.
TEST_P(DeviceContract, TextWidthFollowsTheGlyphRule) {
  const TempDir dir;
  SLTestCapture(std::string("python3 '") + SL_SOURCE_DIR + "/tools/fixtures/make_font_fixtures.py' '" + dir.Host() + "'");
  SL_GS_Font* font = device->LoadFontFromFile(dir.Host("mono.fnt").c_str());
  ASSERT_NE(font, nullptr);
  std::mt19937 random(17);
  const std::u16string alphabet = u"AVAV .,xyz\u00e9";  // é has no glyph
  for (int round = 0; round < 200; ++round) {
    std::u16string text;
    for (u32 n = random() % 12; n > 0; --n) text += alphabet[random() % alphabet.size()];
    i32 expected = 0;
    SLWChar previous = 0;
    for (SLWChar ch : text) {
      if (ch > 126) {
        previous = 0;
        continue;
      }
      expected += 7 - (previous == u'A' && ch == u'V');
      previous = ch;
    }
    expected = std::max(expected - 2, 0);
    EXPECT_EQ(device->DrawTextW(font, 0, 0, 0, nullptr, text.c_str(), u32(text.size())), expected)
        << std::string(text.begin(), text.end());
  }
}

TEST_P(DeviceContract, HandleOperationsAnswerWithTheirCodes) {
  CSLImage picture;
  ASSERT_TRUE(picture.Create(3, 4, 2, false));
  SL_GS_Image* image = device->CreateImage(&picture, true);
  ASSERT_NE(image, nullptr);
  SL_EXPECT_FAIL(device->GetImageInfo(image, nullptr), SL_E_NULL_OUTPUT);
  SL_EXPECT_FAIL(device->DestroyImageAndClear(nullptr), SL_E_NULL_DATA);
  SL_EXPECT_FAIL(device->SetImageGroup(0), SL_E_INVALID_ARG);
  SL_EXPECT_FAIL(device->IsValidFont(reinterpret_cast<SL_GS_Font*>(image)), SL_E_INDEX);
  EXPECT_EQ(device->GetImagePixel(image, 4, 0), 0xFF000000u);
  EXPECT_EQ(SLGetLastError(), SL_E_INVALID_ARG);
  ASSERT_TRUE(device->ReleaseImageSource(image));
  device->GetImagePixel(image, 0, 0);
  EXPECT_EQ(SLGetLastError(), SL_E_NOT_AVAILABLE);
  SL_GS_ImageInfo info;
  SL_EXPECT_OK(device->GetImageInfo(image, &info));  // still drawable, still described
  EXPECT_EQ(info.width, 4u);
  ASSERT_TRUE(device->DestroyImageAndClear(&image));
  EXPECT_EQ(image, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Devices, DeviceContract, ::testing::ValuesIn(kDevices),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
