// A window tree drawn by the GUI manager on the software graphics device: each window
// fills its frame and client area under the clip the manager sets, and the back buffer,
// read with LockBackBuffer, must equal a checked-in golden crop (within 2 per channel but
// for 0.2 % of the pixels).
//
// The golden is tests/gui/golden/tree.png, remade after a deliberate change with
//   SL_WRITE_GOLDEN=1 build/tests/test_gui_GuiDeviceGoldenTest
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "gamesystem/directx/SLGfxDirectX.h"
#include "gui/SLGuiManager.h"
#include "tests/support/GuiTestWindow.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSupport.h"
#include "tests/support/TestWindow.h"

namespace {

constexpr u32 kVisible = SL_GUI_WS_VISIBLE, kChild = SL_GUI_WS_CHILD | SL_GUI_WS_VISIBLE;

TEST(GuiDeviceGolden, TreeDrawsUnderItsClipsOnTheDevice) {
  SLTestRegisterClasses();
  CTestGuiWindow::Reset();
  HWND window = SLTestMakeWindow("arbol");
  ASSERT_NE(window, nullptr);
  CSL_GS_Gfx_DirectX device;
  const SL_GS_DisplayMode mode{0xFFFF, 800, 600, 32, 1, 0, 0};
  ASSERT_TRUE(device.Init(nullptr, window, &mode));
  ASSERT_TRUE(device.Clear(0xFF202020, false, false));
  CSL_GS_GuiManager manager;
  ASSERT_TRUE(manager.Init());
  ASSERT_TRUE(manager.SetGfx(&device));
  // Frames darker than client areas; colours red-low.
  CTestGuiWindow::s_hook = [&](CTestGuiWindow* self, const std::string& slot) {
    const u32 base = self->m_name == "A" ? 0x4080C0 : self->m_name == "B" ? 0x40C040 : self->m_name == "C" ? 0xC04080 : 0x30A0F0;
    if (slot == "DrawFrame") device.Clear(0xFF000000u | (base >> 1 & 0x7F7F7F), false, false);
    if (slot == "Draw") device.Clear(0xFF000000u | base, false, false);
  };
  auto make = [&](const char* name, u32 style, CSL_GS_GuiWindow* parent, i32 x, i32 y, i32 w, i32 h) {
    CTestGuiWindow::s_nextName = name;
    return manager.CreateWindow(CTestGuiWindow::GetClassRecord(), name, x, y, w, h, style, 0, 0, parent);
  };
  CSL_GS_GuiWindow* a = make("A", kVisible, nullptr, 10, 10, 200, 150);
  CSL_GS_GuiWindow* b = make("B", kChild, a, 20, 30, 300, 50);  // runs past A's right edge
  ASSERT_NE(make("C", kChild, b, -5, 5, 20, 20), nullptr);      // starts left of B
  ASSERT_NE(make("D", kChild, a, 60, 90, 40, 40), nullptr);
  make("H", kChild, a, 0, 0, 50, 50)->Show(false);
  ASSERT_TRUE(manager.Draw());
  CTestGuiWindow::s_hook = nullptr;

  constexpr u32 kSide = 256;
  SL_GS_SurfaceAccess* lock = device.LockBackBuffer(false);
  ASSERT_NE(lock, nullptr);
  std::string crop(kSide * kSide * 3, '\0');
  for (u32 y = 0; y < kSide; ++y)
    for (u32 x = 0; x < kSide; ++x) {
      const u8* p = lock->pixels + y * lock->pitch + x * 4;
      crop[(y * kSide + x) * 3] = char(p[2]), crop[(y * kSide + x) * 3 + 1] = char(p[1]), crop[(y * kSide + x) * 3 + 2] = char(p[0]);
    }
  device.UnlockBackBuffer();
  const std::string golden = std::string(SL_SOURCE_DIR) + "/tests/gui/golden/tree.png";
  if (std::getenv("SL_WRITE_GOLDEN")) {
    const TempDir dir;
    std::ofstream(dir.Host("tree.rgb"), std::ios::binary) << crop;
    SLTestCapture("convert -size 256x256 -depth 8 'rgb:" + dir.Host("tree.rgb") + "' -strip 'png24:" + golden + "'");
  }
  const std::string want = SLTestCapture("convert '" + golden + "' -depth 8 rgb:-");
  ASSERT_EQ(want.size(), crop.size()) << golden;
  u32 far = 0;
  for (std::size_t i = 0; i < crop.size(); i += 3) {
    bool close = true;
    for (int k = 0; k < 3; ++k) close = close && std::abs(int(u8(crop[i + k])) - int(u8(want[i + k]))) <= 2;
    far += !close;
  }
  EXPECT_LE(far, kSide * kSide / 500);
  manager.Shutdown();
  device.Shutdown();
  DestroyWindow(window);
  CTestGuiWindow::Reset();
}

}  // namespace
