// Pictures handled on one thread while another draws. The device rasterises in software,
// which takes milliseconds a picture: a thread that creates pictures, looks them up or
// drops their sources (the catalogue loader beside the loading screen) must go on while a
// frame is drawn, and only freeing a picture, which unbinds the drawing stage, waits for
// the draw to end.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <thread>

#include "foundation/SLError.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "image/SLImage.h"
#include "platform/wind3d.h"
#include "tests/support/TestSupport.h"
#include "tests/support/TestWindow.h"

namespace {

TSLObjPtr<CSLImage> Picture(u32 width, u32 height, u32 argb) {
  TSLObjPtr<CSLImage> image;
  image.Attach(new CSLImage());
  EXPECT_TRUE(image->Create(5, width, height, false));
  for (u32 y = 0; y < height; ++y)
    for (u32 x = 0; x < width; ++x) SLMemCopy(image->GetPixelAddress(x, y), &argb, 4);
  return image;
}

// What the draw hook does at the first draw call: starts the action on a thread of its
// own and waits, still inside the draw, for it to finish.
struct MidDraw {
  std::function<bool()> action;
  std::chrono::milliseconds patience{0};
  std::atomic<bool> started{false};
  std::future<bool> outcome;
  std::thread worker;
  bool finishedInsideDraw = false;

  static void OnDraw(void* context) {
    auto* self = static_cast<MidDraw*>(context);
    if (self->started.exchange(true)) return;
    std::packaged_task<bool()> task(self->action);
    self->outcome = task.get_future();
    self->worker = std::thread(std::move(task));
    self->finishedInsideDraw = self->outcome.wait_for(self->patience) == std::future_status::ready;
  }
};

class GfxDrawConcurrency : public ::testing::Test {
 protected:
  void SetUp() override {
    SLTestRegisterClasses();
    window = SLTestMakeWindow("hilos");
    ASSERT_NE(window, nullptr);
    const SL_GS_DisplayMode mode{0xFFFF, 800, 600, 32, 0, 0, 0};
    ASSERT_TRUE(device.Init(nullptr, window, &mode));
  }
  void TearDown() override {
    SLD3D9TestOnDraw(nullptr, nullptr);
    device.Shutdown();
    if (IsWindow(window)) DestroyWindow(window);
  }
  HWND window = nullptr;
  CSL_GS_Gfx_DirectX device;
};

TEST_F(GfxDrawConcurrency, PicturesChangeOnAnotherThreadWhileAFrameIsDrawn) {
  auto background = Picture(800, 600, 0xFF336699);
  auto small = Picture(24, 16, 0x80FF0000);
  SL_GS_Image* drawn = device.CreateImage(background.Get(), true);
  ASSERT_NE(drawn, nullptr);
  ASSERT_TRUE(device.SetImageGroup(7));
  SL_GS_Image* other = device.CreateImage(small.Get(), true);
  ASSERT_TRUE(device.SetImageGroup(1));
  ASSERT_NE(other, nullptr);
  SL_GS_Image* created = nullptr;

  struct Row {
    const char* what;
    std::function<bool()> action;
    bool insideDraw;  // finishes while the frame is still being drawn
  } rows[] = {
      {"create", [&] { return (created = device.CreateImage(small.Get(), true)) != nullptr; }, true},
      {"look up", [&] { SL_GS_ImageInfo info{}; return device.GetImageInfo(other, &info) && info.width == 24; }, true},
      {"hit test", [&] { return device.HitTest(other, 3, 3); }, true},
      {"drop sources", [&] { return device.ReleaseImageSourcesOfGroup(7); }, true},
      // Freeing may unbind the texture the draw is using: it waits for the draw.
      {"destroy", [&] { return device.DestroyImage(other); }, false},
  };
  for (Row& row : rows) {
    SCOPED_TRACE(row.what);
    MidDraw mid;
    mid.action = row.action;
    // Long enough for a loaded machine when the action should finish; short when it must
    // not, since then nothing can happen until the draw returns.
    mid.patience = row.insideDraw ? std::chrono::seconds(10) : std::chrono::milliseconds(200);
    SLD3D9TestOnDraw(&MidDraw::OnDraw, &mid);
    SL_EXPECT_OK(device.DrawImage(drawn, 0, 0, nullptr));
    SLD3D9TestOnDraw(nullptr, nullptr);
    ASSERT_TRUE(mid.started);
    mid.worker.join();
    EXPECT_EQ(mid.finishedInsideDraw, row.insideDraw);
    EXPECT_TRUE(mid.outcome.get());
  }
  EXPECT_FALSE(device.IsValidImage(other));
  EXPECT_TRUE(device.DestroyImage(created));
  EXPECT_TRUE(device.EndFrame());
}

}  // namespace
