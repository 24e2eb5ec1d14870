// Sliders in a dialog: thumb placement and dragging (64-bit at the largest range), the
// held track's repeat on the fake clock and its stop under the pointer, the arrow keys,
// a target refusing changes, and the caller images.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui/SLGuiSlider.h"
#include "tests/support/WidgetFixture.h"

namespace {

class Slider : public WidgetFixture {
 protected:
  // A vertical slider with the default skin's 10-pixel thumb on a 110-pixel axis.
  CSL_GS_GuiVSlider* Vertical(u32 range) {
    auto* s = Make<CSL_GS_GuiVSlider>("", {10, 10, 30, 110}, 0, 9);
    EXPECT_NE(s, nullptr);
    s->SetRange(range);
    EXPECT_EQ(s->GetThumbEnd() - s->GetThumbStart(), 10);
    return s;
  }
  // Presses the thumb, drags it to client y and releases; the dialog's log.
  std::string Drag(CSL_GS_GuiSliderBase* s, i32 y) {
    CWidgetDialog::s_log.clear();
    s->OnLButtonDown(0, 15, s->GetThumbStart() + 2);
    s->OnMouseMove(0, 15, y);
    s->OnLButtonUp(0, 15, y);
    return CWidgetDialog::s_log;
  }
};

TEST_F(Slider, DragMapsThePointerOntoTheRange) {
  const struct {
    u32 range;
    i32 y;
    u32 position;
    const char* log;
  } cases[] = {
      {10, 104, 10, "v5 10<0;v6 10<10;"},  // trunc(11 x 99 / 100)
      {10, 4, 0, "v6 0<0;"},               // before half the thumb
      {10, 50, 4, "v5 4<0;v6 4<4;"},       // trunc(11 x 45 / 100)
      {0, 60, 0, "v6 0<0;"},               // range 0: always 0, the thumb at the start
      {0xFFFFFFFFu, 55, 0x80000000u, "v5 2147483648<0;v6 2147483648<2147483648;"},
      {0xFFFFFFFFu, 200, 0xFFFFFFFFu, "v5 4294967295<0;v6 4294967295<4294967295;"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.range) + " at " + std::to_string(c.y));
    auto* s = Vertical(c.range);
    EXPECT_EQ(Drag(s, c.y), c.log);
    EXPECT_EQ(s->GetPosition(), c.position);
    EXPECT_LE(s->GetPosition(), s->GetRange());
    m.DestroyWindow(s);
  }
}

TEST_F(Slider, ValuesAreClampedAndTheThumbFollows) {
  auto* s = Vertical(10);
  ASSERT_TRUE(s->SetPosition(50));
  EXPECT_EQ(s->GetPosition(), 10u);
  EXPECT_EQ(s->GetThumbStart(), 100);
  ASSERT_TRUE(s->SetRange(4));
  EXPECT_EQ(s->GetPosition(), 4u);
  ASSERT_TRUE(s->SetRange(0));
  EXPECT_EQ(s->GetPosition(), 0u);
  EXPECT_EQ(s->GetThumbStart(), 0);
  ASSERT_TRUE(s->SetStep(0));
  EXPECT_EQ(s->GetStep(), 1u);
  ASSERT_TRUE(s->SetRange(0xFFFFFFFFu));
  ASSERT_TRUE(s->SetPosition(0xFFFFFFFFu));
  EXPECT_EQ(s->GetThumbStart(), 100);
  EXPECT_EQ(CWidgetDialog::s_log, "");  // none of this notifies
}

TEST_F(Slider, RefusingTargetKeepsTheOldPosition) {
  auto* s = Vertical(10);
  s->SetPosition(3);
  CWidgetDialog::s_acceptScroll = false;
  EXPECT_EQ(Drag(s, 104), "v5 10<3;v6 3<3;");
  EXPECT_EQ(s->GetPosition(), 3u);
  EXPECT_EQ(s->GetThumbStart(), 30);
  m.SetFocus(s);
  EXPECT_EQ(Play("tick 1: key 275 down\ntick 2: key 275 up\n", 2), "v2 4<3;v6 3<3;");
  EXPECT_EQ(s->GetPosition(), 3u);
}

TEST_F(Slider, HeldTrackRepeatsOnTheClockAndStopsUnderThePointer) {
  auto* s = Vertical(100);
  s->SetStep(5);
  // Held after the thumb at client y 100: one step at once, two quiet ticks, then one
  // step each 50 ms.
  std::vector<std::string> perTick;
  const auto collect = [&](u32 tick) {
    if (tick > 1) perTick.push_back(std::exchange(CWidgetDialog::s_log, std::string()));
  };
  Play("tick 1: mouse 25,110\ntick 2: button 1 down\ntick 8: button 1 up\n", 8, 50, collect);
  perTick.push_back(CWidgetDialog::s_log);
  // Ticks 1..8 at 50 ms apart: the press at tick 2 (0 ms), steps at 150, 200 and 250
  // ms, the release at tick 8 (300 ms) before that tick's timers.
  const std::vector<std::string> expected = {"", "v4 5<0;", "", "", "v4 10<5;", "v4 15<10;", "v4 20<15;",
                                             "v6 20<20;"};
  EXPECT_EQ(perTick, expected);
  EXPECT_EQ(m.GetCaptureWindow(), nullptr);
  // Paging stops once the thumb reaches the pointer (client y 35 is on the thumb at 3).
  s->SetRange(10);
  s->SetStep(1);
  s->SetPosition(0);
  Play("tick 1: mouse 25,45\ntick 2: button 1 down\ntick 30: button 1 up\n", 30, 50);
  EXPECT_EQ(s->GetPosition(), 3u);
}

TEST_F(Slider, ArrowKeysStepByOneAndEndWithCodeSix) {
  auto* v = Vertical(2);
  auto* h = Make<CSL_GS_GuiHSlider>("", {50, 10, 200, 20}, 0, 8);
  h->SetRange(5);
  EXPECT_EQ(v->GetDialogCode(), SL_GUI_DLGC_WANTARROWS);
  const struct {
    CSL_GS_GuiSliderBase* slider;
    u32 key;
    const char* log;
  } cases[] = {
      {v, 275, "v2 1<0;v6 1<1;"}, {v, 275, "v2 2<1;v6 2<2;"}, {v, 275, "v6 2<2;"},  // at the range
      {v, 273, "v1 1<2;v6 1<1;"}, {v, 274, ""},                                     // not its axis
      {h, 274, "h2 1<0;h6 1<1;"}, {h, 272, "h1 0<1;h6 0<0;"}, {h, 272, "h6 0<0;"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.key));
    m.SetFocus(c.slider);
    const std::string key = std::to_string(c.key);
    EXPECT_EQ(Play("tick 1: key " + key + " down\ntick 2: key " + key + " up\n", 2), c.log);
  }
}

TEST_F(Slider, CallerImagesSizeTheThumbUntilTheDeviceChanges) {
  auto* h = Make<CSL_GS_GuiHSlider>("", {50, 10, 200, 20}, SL_GUI_SLS_IMAGE, 8);
  EXPECT_EQ(h->GetThumbEnd(), 200);  // no image: the thumb fills the axis
  SL_GS_Image* thumb = CornerImage(20, 20, 4);
  ASSERT_TRUE(h->SetThumbNormalImage(thumb));
  EXPECT_EQ(h->GetThumbEnd(), 20);
  h->OnGfxChanged(nullptr);
  EXPECT_EQ(h->GetThumbEnd(), 200);
  TSLObjPtr<CSL_GS_GuiHSlider> keep(h);
  m.DestroyWindow(h);
  EXPECT_FALSE(h->SetTrackImage(thumb));
  EXPECT_EQ(SLGetLastError(), 0x80001001u);
  gfx.DestroyImage(thumb);
}

}  // namespace
