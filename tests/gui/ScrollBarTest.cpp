// Stand-alone scroll bars: where the parts lie for a table of lengths, ranges and
// positions (the largest range included), what the arrow buttons, the track, the thumb
// and the arrow keys send and when on the fake clock, and the ends of a press: release,
// cancel mode, loss of the capture, refusing and destroying receivers.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "gui/SLGuiScrollBar.h"
#include "tests/support/ScrollBarFixture.h"

namespace {

TEST(ScrollBarLayout, PartBoundariesMatchHandComputedValues) {
  const struct {
    i32 length, button, minThumb;
    u32 range, position;
    i32 bounds[4];
  } cases[] = {
      {100, 10, 0, 0, 0, {10, 10, 90, 90}},               // range 0: the thumb fills the track
      {100, 10, 0, 9, 0, {10, 10, 18, 90}},               // at least 8 long
      {100, 10, 0, 9, 9, {10, 82, 90, 90}},               // at the end
      {100, 10, 0, 9, 3, {10, 34, 42, 90}},               // 3/9 of 72, truncated
      {100, 10, 20, 1, 1, {10, 50, 90, 90}},              // track / (range + 1) = 40
      {100, 10, 30, 3, 1, {10, 26, 56, 90}},              // the skin's minimum, 30
      {100, 10, 100, 5, 2, {10, 10, 90, 90}},             // a minimum past the track fills it
      {20, 10, 0, 5, 2, {10, 10, 10, 10}},                // exactly two buttons
      {15, 10, 0, 5, 2, {7, 7, 7, 7}},                    // two half buttons
      {0, 10, 0, 5, 2, {0, 0, 0, 0}},
      {100, 10, 0, 0xFFFFFFFFu, 0xFFFFFFFFu, {10, 82, 90, 90}},
      {100, 10, 0, 0xFFFFFFFFu, 0x7FFFFFFFu, {10, 45, 53, 90}},
      {100, 10, 0, 4, 9, {10, 74, 90, 90}},               // a position past the range counts as the range
  };
  for (const auto& c : cases) {
    i32 bounds[4];
    SLGuiPlaceScrollParts(c.length, c.button, c.minThumb, c.range, c.position, bounds);
    for (int i = 0; i < 4; ++i)
      EXPECT_EQ(bounds[i], c.bounds[i]) << c.length << " " << c.range << " " << c.position << " boundary " << i;
  }
}

constexpr u32 kChild = SL_GUI_WS_CHILD | SL_GUI_WS_VISIBLE;

class ScrollBar : public ScrollBarFixture {
 protected:
  // A receiver at the origin and a 200 x 17 bar (or 17 x 200) inside it at (0, 0), of the
  // default skin: buttons 17 long, and a thumb of at least twice the button's borders
  // along the bar (4 + 8), 24.
  CSL_GS_GuiScrollBarBase* Make(bool vertical, u32 range, u32 position, const std::string& script = "") {
    receiver = m.CreateWindow(CScrollReceiver::GetClassRecord(), "", 0, 0, 300, 300, SL_GUI_WS_VISIBLE, 0, 0, nullptr);
    const SLClassRecord* record =
        vertical ? CSL_GS_GuiVScrollBar::GetClassRecord() : CSL_GS_GuiHScrollBar::GetClassRecord();
    auto* bar = static_cast<CSL_GS_GuiScrollBarBase*>(
        m.CreateWindow(record, "", 0, 0, vertical ? 17 : 200, vertical ? 200 : 17, kChild, 0, 0, receiver));
    if (!bar) return nullptr;
    bar->SetRange(range);
    bar->SetPosition(position);
    UseScript(script);
    return bar;
  }

  CSL_GS_GuiWindow* receiver = nullptr;
};

TEST_F(ScrollBar, PositionAndRangeClampWithoutNotifying) {
  CSL_GS_GuiScrollBarBase* bar = Make(false, 0, 0);
  ASSERT_NE(bar, nullptr);
  EXPECT_TRUE(bar->SetPosition(7));
  EXPECT_EQ(bar->GetPosition(), 0u);  // range 0: nothing moves
  EXPECT_EQ(bar->GetBoundary(1), 17);
  EXPECT_EQ(bar->GetBoundary(2), 183);
  EXPECT_TRUE(bar->SetRange(20));
  EXPECT_TRUE(bar->SetPosition(15));
  EXPECT_TRUE(bar->SetRange(9));
  EXPECT_EQ(bar->GetPosition(), 9u);
  EXPECT_EQ(bar->GetBoundary(1), 159);
  EXPECT_EQ(TakeLog(), "");
}

// A held arrow button steps at once, then 150 ms after the press and every 50 ms; the
// release ends with code 6.
TEST_F(ScrollBar, HeldArrowRepeatsOnTheClockAndEndsWithCodeSix) {
  CSL_GS_GuiScrollBarBase* bar = Make(false, 100, 0, "tick 1: mouse 195,5\ntick 2: button 1 down\ntick 9: button 1 up");
  ASSERT_NE(bar, nullptr);
  Tick(1, 1000);
  TakeLog();
  const struct {
    u32 tick;
    u64 ms;
    const char* log;
  } steps[] = {{2, 1000, "H2:1<0 "}, {3, 1050, ""}, {4, 1100, ""}, {5, 1150, "H2:2<1 "},
               {6, 1200, "H2:3<2 "}, {7, 1250, "H2:4<3 "}, {8, 1260, ""}, {9, 1300, "H6:4<4 "}};
  for (const auto& s : steps) {
    Tick(s.tick, s.ms);
    EXPECT_EQ(TakeLog(), s.log) << s.ms;
  }
  EXPECT_EQ(m.GetCaptureWindow(), nullptr);
  Tick(10, 1500);
  EXPECT_EQ(TakeLog(), "");  // the timer went with the release
}

TEST_F(ScrollBar, HeldDecrementAtZeroSendsOnlyTheEnd) {
  CSL_GS_GuiScrollBarBase* bar = Make(false, 5, 0, "tick 1: mouse 3,5\ntick 2: button 1 down\ntick 5: button 1 up");
  ASSERT_NE(bar, nullptr);
  for (u32 t = 1; t <= 5; ++t) Tick(t, 1000 + t * 100);
  EXPECT_EQ(TakeLog(), "H6:0<0 ");
}

// A page press steps until the thumb reaches the pointer, then waits.
TEST_F(ScrollBar, PagePressStopsWhenTheThumbReachesThePointer) {
  CSL_GS_GuiScrollBarBase* bar = Make(false, 9, 0, "tick 1: mouse 100,5\ntick 2: button 1 down");
  ASSERT_NE(bar, nullptr);
  Tick(1, 1000);
  for (u32 t = 2; t < 30; ++t) Tick(t, 1000 + (t - 2) * 50);
  // The thumb (24 long, from 17 + p / 9 * 142) covers x 100 from position 4 on.
  EXPECT_EQ(TakeLog(), "H4:1<0 H4:2<1 H4:3<2 H4:4<3 ");
  EXPECT_EQ(bar->GetPosition(), 4u);
}

// Dragging maps the pointer from the end of the decrement button to the start of the
// increment button onto 0..range; a refusal keeps the thumb; the thumb starts no timer.
TEST_F(ScrollBar, ThumbDragFollowsThePointerAndRefusalsKeepIt) {
  CSL_GS_GuiScrollBarBase* bar = Make(false, 9, 0,
                                      "tick 1: mouse 20,5\ntick 2: button 1 down\ntick 3: mouse 100,5\n"
                                      "tick 4: mouse 190,5\ntick 5: mouse 2,5\ntick 6: mouse 120,5\ntick 7: button 1 up");
  ASSERT_NE(bar, nullptr);
  Tick(1, 1000);
  Tick(2, 1000);
  EXPECT_EQ(TakeLog(), "");
  EXPECT_EQ(m.GetState()->timers->GetCount(), 0u);
  Tick(3, 1050);  // (100 - 17) * 10 / 166 = 5
  Tick(4, 1100);  // past the track: the range
  Tick(5, 1150);  // before it: 0
  EXPECT_EQ(TakeLog(), "H5:5<0 H5:9<5 H5:0<9 ");
  CScrollReceiver::s_refused = 1u << SL_GUI_SB_THUMBTRACK;
  Tick(6, 1200);
  EXPECT_EQ(TakeLog(), "H5:6<0 ");
  EXPECT_EQ(bar->GetPosition(), 0u);
  EXPECT_EQ(bar->GetBoundary(1), 17);
  Tick(7, 1250);
  EXPECT_EQ(TakeLog(), "H6:0<0 ");
}

TEST_F(ScrollBar, ShortBarHasHalfButtonsAndNoThumbToDrag) {
  CSL_GS_GuiScrollBarBase* bar = Make(false, 9, 4, "tick 1: mouse 12,5\ntick 2: button 1 down\ntick 3: mouse 1,5");
  ASSERT_NE(bar, nullptr);
  ASSERT_TRUE(bar->SetRect(0, 0, 30, 17));
  EXPECT_EQ(bar->PartAt(14, 5), 1u);
  EXPECT_EQ(bar->PartAt(15, 5), 2u);
  Tick(1, 1000);
  Tick(2, 1000);
  Tick(3, 1050);
  EXPECT_EQ(TakeLog(), "H1:3<4 ");  // the half button steps; nothing drags
}

// The largest range: the thumb keeps its minimum, pages and drags reach both ends.
TEST_F(ScrollBar, LargestRangeLaysOutPagesAndDrags) {
  CSL_GS_GuiScrollBarBase* bar = Make(false, 0xFFFFFFFFu, 0xFFFFFFFEu,
                                      "tick 1: mouse 40,5\ntick 2: button 1 down\ntick 3: button 1 up\n"
                                      "tick 4: mouse 170,5\ntick 5: button 1 down\ntick 6: mouse 185,5\ntick 7: mouse 100,5");
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->GetBoundary(1), 158);
  for (u32 t = 1; t <= 7; ++t) Tick(t, 1000 + t * 10);
  EXPECT_EQ(TakeLog(),
            "H3:4294967293<4294967294 H6:4294967293<4294967293 H5:4294967295<4294967293 "
            "H5:2147483648<4294967295 ");
}

// Arrow keys of the bar's direction step and repeat like the buttons, with codes 1 and 2;
// other keys are not its own.
TEST_F(ScrollBar, ArrowKeysRepeatOnTheClock) {
  CSL_GS_GuiScrollBarBase* bar = Make(true, 50, 10);
  ASSERT_NE(bar, nullptr);
  m.SetFocus(bar);
  bar->OnKeyDown(SL_GUI_KEY_LEFT);
  EXPECT_EQ(TakeLog(), "");
  bar->OnKeyDown(SL_GUI_KEY_DOWN);
  EXPECT_EQ(bar->GetState(), SL_GUI_STATE_PRESSED | SL_GUI_STATE_FOCUSED);
  for (u64 ms : {1050, 1100, 1150, 1200}) {
    SetClock(ms);
    ASSERT_TRUE(m.Update(true));
  }
  EXPECT_EQ(TakeLog(), "V2:11<10 V2:12<11 V2:13<12 ");
  bar->OnKeyUp(SL_GUI_KEY_DOWN);
  EXPECT_EQ(TakeLog(), "V6:13<13 ");
  bar->OnKeyDown(SL_GUI_KEY_UP);
  EXPECT_EQ(TakeLog(), "V1:12<13 ");
  bar->OnCancelMode();
  EXPECT_EQ(TakeLog(), "V6:12<12 ");
  SetClock(2000);
  ASSERT_TRUE(m.Update(true));
  EXPECT_EQ(TakeLog(), "");
}

TEST_F(ScrollBar, CaptureLossEndsThePress) {
  CSL_GS_GuiScrollBarBase* bar = Make(false, 9, 5, "tick 1: mouse 195,5\ntick 2: button 1 down");
  ASSERT_NE(bar, nullptr);
  Tick(1, 1000);
  Tick(2, 1000);
  EXPECT_EQ(TakeLog(), "H2:6<5 ");
  m.SetCapture(receiver);
  EXPECT_EQ(TakeLog(), "H6:6<6 ");
  EXPECT_EQ(bar->GetBarPressedPart(), 0u);
}

// A receiver that destroys the bar, or the receiver itself, stops the step: the press
// ends once (the capture goes with the bar) and nothing touches the bar afterwards.
TEST_F(ScrollBar, ReceiverDestroyingTheBarStopsTheOperation) {
  for (bool destroyReceiver : {false, true}) {
    CSL_GS_GuiScrollBarBase* bar = Make(false, 9, 5, "tick 1: mouse 195,5\ntick 2: button 1 down\ntick 3: button 1 up");
    ASSERT_NE(bar, nullptr);
    CScrollReceiver::s_refused = ~0u;
    CScrollReceiver::s_hook = [&](u32) {
      m.DestroyWindow(destroyReceiver ? receiver : static_cast<CSL_GS_GuiWindow*>(bar));
    };
    Tick(1, 1000);
    Tick(2, 1000);
    Tick(3, 1100);
    EXPECT_EQ(TakeLog(), "H2:6<5 H6:6<6 ");
    EXPECT_FALSE(m.IsRegistered(bar));
    CScrollReceiver::s_hook = nullptr;
    if (!destroyReceiver) m.DestroyWindow(receiver);
  }
}

}  // namespace
