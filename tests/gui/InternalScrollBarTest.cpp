// The internal scroll bars of a window with the default skin: where they lie around the
// client area (right or left), when they do not fit, the hit codes of their parts and of
// the corner, the mouse driving them through the window's capture and repeat timer, and
// the ends of a press when the bar is hidden or the window destroyed.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "gui/SLGuiScrollBar.h"
#include "tests/support/ScrollBarFixture.h"

namespace {

constexpr u32 kBars = SL_GUI_WS_VISIBLE | SL_GUI_WS_HSCROLL | SL_GUI_WS_VSCROLL;

struct Rect {
  i32 x, y, width, height;
  bool operator==(const Rect&) const = default;
};
Rect Of(const SLGuiRect& r) { return {r.x, r.y, r.width, r.height}; }
std::ostream& operator<<(std::ostream& out, const Rect& r) {
  return out << r.x << "," << r.y << "," << r.width << "," << r.height;
}

class InternalScrollBar : public ScrollBarFixture {
 protected:
  // A 200 x 150 window at (10, 20): with both bars its client area is 183 x 133.
  CSL_GS_GuiWindow* Make(u32 style, const std::string& script = "") {
    CSL_GS_GuiWindow* w = m.CreateWindow(CScrollReceiver::GetClassRecord(), "", 10, 20, 200, 150, style, 0, 0, nullptr);
    UseScript(script);
    return w;
  }
};

TEST_F(InternalScrollBar, BarsLieAlongTheClientAreaOnEitherSide) {
  const struct {
    u32 style;
    Rect client, hbar, vbar;
    u32 cornerHit;
    i32 cornerX;
  } cases[] = {
      {kBars, {10, 20, 183, 133}, {10, 153, 183, 17}, {193, 20, 17, 133}, SL_GUI_HIT_GROWBOX_RIGHT, 200},
      {kBars | SL_GUI_WS_LEFTSCROLLBAR, {27, 20, 183, 133}, {27, 153, 183, 17}, {10, 20, 17, 133},
       SL_GUI_HIT_GROWBOX_LEFT, 15},
  };
  for (const auto& c : cases) {
    CSL_GS_GuiWindow* w = Make(c.style);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(Of(w->GetClientArea()), c.client);
    ASSERT_NE(w->GetHScrollBar(), nullptr);
    ASSERT_NE(w->GetVScrollBar(), nullptr);
    EXPECT_EQ(Of(w->GetHScrollBar()->GetWindowRect()), c.hbar);
    EXPECT_EQ(Of(w->GetVScrollBar()->GetWindowRect()), c.vbar);
    EXPECT_EQ(w->HitTest(c.cornerX, 160), c.cornerHit);
    // A click on the corner does nothing.
    w->OnNcLButtonDown(c.cornerHit, 1, c.cornerX, 160);
    EXPECT_EQ(m.GetCaptureWindow(), nullptr);
    EXPECT_EQ(w->GetPressedPart(), 0u);
    m.DestroyWindow(w);
  }
}

TEST_F(InternalScrollBar, PartsHaveTheirWindowHitCodes) {
  CSL_GS_GuiWindow* w = Make(kBars);
  ASSERT_NE(w, nullptr);
  ASSERT_TRUE(w->SetHScrollRange(100));
  ASSERT_TRUE(w->SetVScrollRange(100));
  ASSERT_TRUE(w->SetVScrollPos(50));
  // Horizontal: buttons 17 long, the thumb 24 at the start of the 149-pixel track.
  // Vertical (133 long, track 99): the thumb 12 long (twice the button's borders 3 + 3)
  // from 17 + 50/100 * 87 = 60.
  const struct {
    i32 x, y;
    u32 hit;
  } points[] = {{50, 50, SL_GUI_HIT_CLIENT}, {12, 160, 16}, {190, 160, 17}, {40, 160, 20}, {100, 160, 19},
                {200, 25, 21},               {200, 150, 22}, {200, 50, 23}, {200, 85, 25},  {200, 120, 24},
                {5, 5, SL_GUI_HIT_NOWHERE}};
  for (const auto& p : points) EXPECT_EQ(w->HitTest(p.x, p.y), p.hit) << p.x << "," << p.y;
  EXPECT_EQ(w->GetVScrollPos(), 50u);
  EXPECT_EQ(w->GetHScrollPos(), 0u);
}

// Narrower than its vertical bar, a window keeps its client width and neither hits nor
// draws the bar; widened, the bar comes back.
TEST_F(InternalScrollBar, BarThatDoesNotFitIsLeftOut) {
  CSL_GS_GuiWindow* w = Make(SL_GUI_WS_VISIBLE | SL_GUI_WS_VSCROLL);
  ASSERT_NE(w, nullptr);
  ASSERT_TRUE(w->SetRect(10, 20, 12, 150));
  EXPECT_EQ(Of(w->GetClientArea()), (Rect{10, 20, 12, 150}));
  EXPECT_TRUE(w->GetLayoutFlags() & SL_GUI_LAYOUT_VBAR_NOFIT);
  EXPECT_EQ(w->HitTest(15, 50), SL_GUI_HIT_CLIENT);
  ASSERT_TRUE(w->SetRect(10, 20, 40, 150));
  EXPECT_FALSE(w->GetLayoutFlags() & SL_GUI_LAYOUT_VBAR_NOFIT);
  EXPECT_EQ(Of(w->GetClientArea()), (Rect{10, 20, 23, 150}));
  EXPECT_EQ(w->HitTest(40, 25), 21u);
  // Hidden, the bar gives its room back and keeps its range and position.
  ASSERT_TRUE(w->SetVScrollRange(9));
  ASSERT_TRUE(w->SetVScrollPos(4));
  ASSERT_TRUE(w->ShowVScrollBar(false));
  EXPECT_EQ(Of(w->GetClientArea()), (Rect{10, 20, 40, 150}));
  ASSERT_TRUE(w->ShowVScrollBar(true));
  EXPECT_EQ(w->GetVScrollPos(), 4u);
  EXPECT_EQ(w->GetVScrollRange(), 9u);
}

// Holding an arrow scrolls at once, repeats at 150, 200, 250 ms while the pointer stays on
// the bar, pauses off it and resumes on it; the window hears the bar with a source of 0,
// and its refusal puts the position back.
TEST_F(InternalScrollBar, HeldArrowRepeatsThroughTheWindowTimer) {
  CSL_GS_GuiWindow* w = Make(kBars,
                             "tick 1: mouse 188,160\ntick 2: button 1 down\ntick 6: mouse 100,60\n"
                             "tick 8: mouse 188,160\ntick 10: button 1 up");
  ASSERT_NE(w, nullptr);
  ASSERT_TRUE(w->SetHScrollRange(100));
  Tick(1, 1000);
  const struct {
    u32 tick;
    u64 ms;
    const char* log;
  } steps[] = {{2, 1000, "h2:1<0 "}, {3, 1050, ""}, {4, 1100, ""}, {5, 1150, "h2:2<1 "}, {6, 1200, ""},
               {7, 1250, ""},        {8, 1300, "h2:3<2 "}, {9, 1350, "h2:4<3 "}, {10, 1360, "h6:4<4 "}};
  for (const auto& s : steps) {
    Tick(s.tick, s.ms);
    EXPECT_EQ(TakeLog(), s.log) << s.ms;
  }
  EXPECT_EQ(m.GetCaptureWindow(), nullptr);
  EXPECT_EQ(w->GetPressedPart(), 0u);
  CScrollReceiver::s_refused = 1u << SL_GUI_SB_LINEFORWARD;
  Tick(11, 1400);
  mouse->SetPosition(188, 160);
  w->OnNcLButtonDown(17, 1, 188, 160);
  EXPECT_EQ(TakeLog(), "h2:5<4 ");
  EXPECT_EQ(w->GetHScrollPos(), 4u);
}

TEST_F(InternalScrollBar, ThumbDragStartsNoTimer) {
  CSL_GS_GuiWindow* w =
      Make(kBars, "tick 1: mouse 200,40\ntick 2: button 1 down\ntick 3: mouse 200,140\ntick 4: button 1 up");
  ASSERT_NE(w, nullptr);
  ASSERT_TRUE(w->SetVScrollRange(9));
  Tick(1, 1000);
  Tick(2, 1000);  // the thumb covers 17..29 of the 133-pixel bar
  EXPECT_EQ(m.GetState()->timers->GetCount(), 0u);
  Tick(3, 1050);  // past the track: the range
  Tick(4, 1100);
  EXPECT_EQ(TakeLog(), "v5:9<0 v6:9<9 ");
}

// Hiding a bar while its button is held ends the press: the capture goes and nothing
// repeats.
TEST_F(InternalScrollBar, HidingAHeldBarEndsThePress) {
  CSL_GS_GuiWindow* w = Make(kBars, "tick 1: mouse 200,25\ntick 2: button 1 down");
  ASSERT_NE(w, nullptr);
  ASSERT_TRUE(w->SetVScrollRange(100));
  ASSERT_TRUE(w->SetVScrollPos(50));
  Tick(1, 1000);
  Tick(2, 1000);
  EXPECT_EQ(TakeLog(), "v1:49<50 ");
  ASSERT_TRUE(w->ShowVScrollBar(false));
  EXPECT_EQ(m.GetCaptureWindow(), nullptr);
  EXPECT_EQ(w->GetPressedPart(), 0u);
  EXPECT_EQ(TakeLog(), "v6:49<49 ");
  Tick(3, 1500);
  EXPECT_EQ(TakeLog(), "");
  EXPECT_EQ(w->GetVScrollPos(), 49u);
}

TEST_F(InternalScrollBar, WindowDestroyedByTheNotificationStopsTheBar) {
  CSL_GS_GuiWindow* w = Make(kBars, "tick 1: mouse 12,160\ntick 2: button 1 down\ntick 3: button 1 up");
  ASSERT_NE(w, nullptr);
  ASSERT_TRUE(w->SetHScrollRange(5));
  ASSERT_TRUE(w->SetHScrollPos(3));
  CScrollReceiver::s_hook = [&](u32) { m.DestroyWindow(w); };
  Tick(1, 1000);
  Tick(2, 1000);
  Tick(3, 1100);
  // The capture goes with the window, which ends the press once.
  EXPECT_EQ(TakeLog(), "h1:2<3 h6:2<2 ");
  EXPECT_FALSE(m.IsRegistered(w));
}

TEST_F(InternalScrollBar, GettersMakeTheBarOnlyWhenTheyMust) {
  CSL_GS_GuiWindow* w = Make(SL_GUI_WS_VISIBLE);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->GetHScrollPos(), 0u);
  EXPECT_EQ(w->GetHScrollBar(), nullptr);
  EXPECT_EQ(w->GetHScrollRange(), 0u);
  ASSERT_NE(w->GetHScrollBar(), nullptr);
  EXPECT_TRUE(w->GetHScrollBar()->IsInternal());
  EXPECT_FALSE(m.IsRegistered(w->GetHScrollBar()));
  EXPECT_TRUE(w->SetHScrollRange(0xFFFFFFFFu));
  EXPECT_TRUE(w->SetHScrollPos(0xFFFFFFFFu));
  EXPECT_EQ(w->GetHScrollPos(), 0xFFFFFFFFu);
  // Not shown: the client area keeps its room.
  EXPECT_EQ(Of(w->GetClientArea()), (Rect{10, 20, 200, 150}));
}

}  // namespace
