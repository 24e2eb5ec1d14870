#include <gtest/gtest.h>

#include "gui/SLGuiManager.h"
#include "tests/support/GuiTestWindow.h"
#include "tests/support/RecordingGfx.h"
#include "tests/support/TestSupport.h"

namespace {

constexpr u32 kTop = SL_GUI_WS_VISIBLE;
constexpr u32 kChild = SL_GUI_WS_CHILD | SL_GUI_WS_VISIBLE;

class GuiWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    SLTestRegisterClasses();
    CTestGuiWindow::Reset();
    ASSERT_TRUE(m.Init());
  }
  void TearDown() override {
    m.Shutdown();
    CTestGuiWindow::Reset();
  }
  CTestGuiWindow* Make(const char* name, u32 style, CSL_GS_GuiWindow* parent = nullptr, SLGuiRect r = {0, 0, 100, 80}) {
    CTestGuiWindow::s_nextName = name;
    return static_cast<CTestGuiWindow*>(m.CreateWindow(CTestGuiWindow::GetClassRecord(), name, r.x, r.y, r.width,
                                                       r.height, style, 0, 0, parent));
  }
  std::string Order(CSL_GS_GuiWindow* parent) {
    std::string names;
    for (CSL_GS_GuiWindow* w = m.GetFirstChild(parent); w; w = m.GetNextSibling(w))
      names += CTestGuiWindow::NameOf(w) + ((w->GetStyle() & SL_GUI_WS_TOPMOST) ? "*" : "");
    return names;
  }
  std::string TakeLog() { return std::exchange(CTestGuiWindow::s_log, std::string()); }
  static SLGuiRect Rect(CSL_GS_GuiWindow* w) {
    SLGuiRect r{};
    w->GetScreenRectR(&r);
    return r;
  }
  CSL_GS_GuiManager m;
};

bool operator==(const SLGuiRect& a, const SLGuiRect& b) {
  return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}

TEST_F(GuiWindow, StyleChangesNotifyOnlyWhatChanged) {
  CTestGuiWindow* w = Make("W", kChild, Make("P", kTop));
  TakeLog();
  SL_EXPECT_OK(w->ModifyStyle(0, SL_GUI_WS_VISIBLE));  // already so: no slot runs
  EXPECT_EQ(TakeLog(), "");
  SL_EXPECT_OK(w->Enable(false));
  EXPECT_EQ(TakeLog(), "W:OnStyleChanged(b0000000) W:OnEnable(0) ");
  EXPECT_FALSE(w->IsEnabled());
  EXPECT_EQ(w->GetState(), SL_GUI_STATE_DISABLED);
}

TEST_F(GuiWindow, TextRefusalKeepsTheOldText) {
  CTestGuiWindow* w = Make("W", kTop);
  SL_EXPECT_OK(w->SetText(nullptr));
  EXPECT_STREQ(w->GetText(), "");
  SL_EXPECT_OK(w->SetText("Hola"));
  w->m_refuseText = true;
  SL_EXPECT_FAIL(w->SetText("Adiós"), SL_E_CANCELLED);
  EXPECT_STREQ(w->GetText(), "Hola");
}

// An unregistered window: each operation with its code, each getter with its neutral answer.
TEST_F(GuiWindow, UnregisteredWindowAnswersPerOperation) {
  CTestGuiWindow loose;
  const struct {
    const char* name;
    bool (*call)(CTestGuiWindow&);
    u32 code;
  } cases[] = {
      {"SetStyle", [](CTestGuiWindow& w) { return w.SetStyle(0); }, SL_E_INVALID_ARG},
      {"CenterOnWindow", [](CTestGuiWindow& w) { return w.CenterOnWindow(nullptr); }, SL_E_INVALID_ARG},
      {"Minimize", [](CTestGuiWindow& w) { return w.Minimize(); }, SL_E_INVALID_ARG},
      {"Maximize", [](CTestGuiWindow& w) { return w.Maximize(); }, SL_E_INVALID_ARG},
      {"Restore", [](CTestGuiWindow& w) { return w.Restore(); }, SL_E_INVALID_ARG},
      {"SizeToImage", [](CTestGuiWindow& w) { return w.SizeToImage(nullptr); }, SL_E_INVALID_ARG},
      {"SetClientSize", [](CTestGuiWindow& w) { return w.SetClientSize(1, 1); }, SL_E_INVALID_ARG},
      {"Move", [](CTestGuiWindow& w) { return w.Move(1, 1); }, SL_E_NOT_INITIALISED},
      {"BringToTop", [](CTestGuiWindow& w) { return w.BringToTop(); }, SL_E_NOT_INITIALISED},
      {"HideWindow", [](CTestGuiWindow& w) { return w.HideWindow(); }, SL_E_NOT_INITIALISED},
      {"ModifyStyle", [](CTestGuiWindow& w) { return w.ModifyStyle(0, 1); }, SL_E_NOT_INITIALISED},
      {"SetTextFormat", [](CTestGuiWindow& w) { return w.SetTextFormat(1); }, SL_E_NOT_INITIALISED},
      {"SetOpacity", [](CTestGuiWindow& w) { return w.SetOpacity(5); }, SL_E_NOT_INITIALISED},
      {"SetText", [](CTestGuiWindow& w) { return w.SetText("x"); }, SL_E_NOT_INITIALISED},
  };
  for (const auto& c : cases) EXPECT_TRUE(SLAnsweredWith(c.call(loose), false, c.code)) << c.name;
  EXPECT_EQ(loose.GetStyle(), 0u);
  EXPECT_STREQ(loose.GetText(), "");
  EXPECT_EQ(loose.GetOpacity(), 100.0);
  EXPECT_EQ(TakeLog(), "");
}

// SetPosition's size limits: the requested size against the 2 x 2 minimum, the clamps,
// flag 0x80 and a window's own GetMinMaxInfo.
TEST_F(GuiWindow, SizeLimits) {
  const struct {
    i32 x, y, width, height;
    u32 flags;
    bool minimized, customMax;
    SLGuiRect expected;
  } cases[] = {
      {5, 6, 1, 0, 0x11, false, false, {5, 6, 2, 2}},
      {5, 6, 1, 0, 0x91, false, false, {5, 6, 1, 0}},
      {-40000, 40000, 70000, -3, 0x91, false, false, {-32768, 32767, 65535, 0}},
      {0, 0, 1, 1, 0x11, true, false, {0, 0, 1, 1}},
      {0, 0, 500, 500, 0x11, false, true, {0, 0, 300, 200}},
      {9, 9, 500, 500, 0x17, false, false, {0, 0, 100, 80}},
  };
  for (const auto& c : cases) {
    CTestGuiWindow* w = Make("W", kTop);
    if (c.minimized) w->ModifyStyle(0, SL_GUI_WS_MINIMIZED);
    w->m_overrideMinMax = c.customMax;
    w->m_minMaxOverride = {{0, 0}, {800, 600}, {0, 0}, {2, 2}, {300, 200}};
    SL_EXPECT_OK(w->SetPosition(c.x, c.y, c.width, c.height, c.flags, std::uintptr_t(0)));
    EXPECT_TRUE(Rect(w) == c.expected) << c.width << "x" << c.height << " flags " << c.flags;
    m.DestroyWindow(w);
  }
  CTestGuiWindow* w = Make("W", kTop);
  TakeLog();
  w->SetRect(7, 8, 30, 40);
  EXPECT_EQ(TakeLog(), "W:GetMinMaxInfo() W:OnMove(7,8) W:OnSize(30,40) ");
}

// Z-order requests on the list A B C (top first), with and without flag 0x01.
TEST_F(GuiWindow, ZOrderRequests) {
  const struct {
    u32 flags;
    std::uintptr_t after;  // 100 + i: sibling i; 200: the window itself; 300: a stranger
    bool topmost;
    const char* expected;
  } cases[] = {
      {0x17, 2, false, "ABC"},       {0x06, 2, false, "BAC"},  // 0x01 clear: to the top
      {0x07, 1, false, "BAC"},       {0x07, 2, false, "ACB"},  {0x07, 0, false, "BAC"},
      {0x07, 100 + 2, false, "ACB"}, {0x07, 200, false, "ABC"}, {0x07, 3, false, "B*AC"},
      {0x07, 3, true, "B*AC"},       {0x07, 4, true, "BAC"},   {0x06, 1, true, "BAC"},
      {0x06, 3, false, "B*AC"},      {0x07, 300, false, "ABC"},
  };
  for (const auto& c : cases) {
    CTestGuiWindow* p = Make("P", kTop, nullptr, {0, 0, 400, 400});
    CTestGuiWindow* ws[3] = {Make("A", kChild, p), Make("B", kChild, p), Make("C", kChild, p)};
    CTestGuiWindow* stranger = Make("S", kChild, ws[0]);
    if (c.topmost) ws[1]->ModifyStyle(0, SL_GUI_WS_TOPMOST);
    std::uintptr_t after = c.after;
    if (after == 200) after = reinterpret_cast<std::uintptr_t>(ws[1]);
    if (after == 300) after = reinterpret_cast<std::uintptr_t>(stranger);
    if (after >= 100 && after < 200) after = reinterpret_cast<std::uintptr_t>(ws[after - 100]);
    const bool ok = ws[1]->SetPosition(0, 0, 0, 0, c.flags, after);
    EXPECT_EQ(ok, c.after != 300) << c.flags << "/" << c.after;
    EXPECT_EQ(Order(p), c.expected) << "flags " << c.flags << " after " << c.after;
    m.DestroyWindow(p);
  }
}

TEST_F(GuiWindow, OwnerChainsMoveAndLoseTopmostTogether) {
  CTestGuiWindow* a = Make("A", kTop);
  CTestGuiWindow* b = Make("B", kTop | SL_GUI_WS_OWNED, a);
  CTestGuiWindow* c = Make("C", kTop | SL_GUI_WS_OWNED, b);
  Make("X", kTop);
  Make("Y", kTop);
  EXPECT_EQ(Order(nullptr), "YXCBA");
  m.GetNextSibling(m.GetFirstChild(nullptr))->SetPosition(0, 0, 0, 0, 0x07, std::uintptr_t(2));
  EXPECT_EQ(Order(nullptr), "YCBAX");
  c->SetPosition(0, 0, 0, 0, 0x07, std::uintptr_t(2));  // to the bottom, its owners right behind
  EXPECT_EQ(Order(nullptr), "YXCBA");
  a->SetPosition(0, 0, 0, 0, 0x07, std::uintptr_t(3));  // a topmost owner lifts what it owns
  EXPECT_EQ(Order(nullptr), "A*C*B*YX");
  c->SetPosition(0, 0, 0, 0, 0x07, std::uintptr_t(4));  // an owned window leaving pulls its chain down
  EXPECT_EQ(Order(nullptr), "CBAYX");
}

TEST_F(GuiWindow, MinimizeMaximizeRestoreKeepTheirRectangles) {
  CTestGuiWindow* w = Make("W", kTop, nullptr, {30, 40, 200, 100});
  SL_EXPECT_OK(w->Minimize());
  EXPECT_TRUE(Rect(w) == (SLGuiRect{0, 0, 32, 32}));  // no icon size: 32 x 32
  SL_EXPECT_OK(w->Restore());
  EXPECT_TRUE(Rect(w) == (SLGuiRect{30, 40, 200, 100}));
  SL_EXPECT_OK(w->Maximize());  // no device: the screen counts as 65535 x 65535
  EXPECT_TRUE(Rect(w) == (SLGuiRect{0, 0, 65535, 65535}));
  w->SetIcon(nullptr, 48, 0);
  SL_EXPECT_OK(w->Minimize());
  EXPECT_TRUE(Rect(w) == (SLGuiRect{0, 0, 48, 32}));
  EXPECT_TRUE(w->GetLayoutFlags() & SL_GUI_LAYOUT_WAS_MAXIMIZED);
  SL_EXPECT_OK(w->Restore());  // minimized from maximized: maximized again
  EXPECT_TRUE(w->IsMaximized());
  SL_EXPECT_OK(w->Restore());
  EXPECT_TRUE(Rect(w) == (SLGuiRect{30, 40, 200, 100}));
  w->m_canMinimize = false;
  SL_EXPECT_FAIL(w->Minimize(), SL_E_NOT_INITIALISED);
  // Without a maximize button a minimized window always comes back to its own rectangle.
  w->m_canMinimize = true;
  w->Maximize();
  w->Minimize();
  w->m_canMaximize = false;
  w->Restore();
  EXPECT_TRUE(Rect(w) == (SLGuiRect{30, 40, 200, 100}));
}

TEST_F(GuiWindow, CenteringAndCoordinates) {
  CTestGuiWindow* p = Make("P", kTop, nullptr, {100, 50, 400, 300});
  CTestGuiWindow* c = Make("C", kChild, p, {10, 20, 101, 51});
  CTestGuiWindow* g = Make("G", kChild, c, {3, 4, 5, 6});
  SL_EXPECT_OK(p->CenterOnWindow(nullptr));
  EXPECT_TRUE(Rect(p) == (SLGuiRect{32567, 32617, 400, 300}));
  p->Move(100, 50);
  SL_EXPECT_OK(c->CenterOnWindow(p));
  EXPECT_TRUE(Rect(c) == (SLGuiRect{249, 174, 101, 51}));
  EXPECT_TRUE(Rect(g) == (SLGuiRect{252, 178, 5, 6}));
  i32 x = 1, y = 2;
  ASSERT_TRUE(m.ClientToScreen(g, &x, &y));
  EXPECT_EQ(x, 253);
  EXPECT_EQ(y, 180);
  ASSERT_TRUE(m.ScreenToWindow(g, &x, &y));
  EXPECT_EQ(x, 1);
  EXPECT_EQ(y, 2);
  CRecordingGfx gfx;
  m.SetGfx(&gfx);
  SL_EXPECT_OK(p->CenterOnWindow(nullptr));
  EXPECT_TRUE(Rect(p) == (SLGuiRect{200, 150, 400, 300}));
  m.SetGfx(nullptr);
}

class CountingManager : public CSL_GS_GuiManager {
 public:
  bool OnCommand(CSL_GS_GuiWindow*, u32 id) override { return m_commands += id, false; }
  bool OnVScroll(CSL_GS_GuiWindow*, u32, i32, i32) override { return m_scrolls++, true; }
  u32 m_commands = 0, m_scrolls = 0;
};

TEST(GuiWindowBubbling, CommandsClimbToTheDialogThenTheManager) {
  SLTestRegisterClasses();
  CTestGuiWindow::Reset();
  CountingManager m;
  ASSERT_TRUE(m.Init());
  auto make = [&](const char* name, u32 style, CSL_GS_GuiWindow* parent) {
    CTestGuiWindow::s_nextName = name;
    return static_cast<CTestGuiWindow*>(
        m.CreateWindow(CTestGuiWindow::GetClassRecord(), "", 0, 0, 10, 10, style, 0, 0, parent));
  };
  CTestGuiWindow* owner = make("O", kTop, nullptr);
  CTestGuiWindow* dialog = make("D", kTop | SL_GUI_WS_OWNED, owner);
  CTestGuiWindow* button = make("B", kChild, dialog);
  CTestGuiWindow::s_log.clear();
  EXPECT_FALSE(button->CSL_GS_GuiTopLevelWindow::OnCommand(button, 7));
  EXPECT_EQ(CTestGuiWindow::s_log, "D:OnCommand(B,7) O:OnCommand(B,7) ");
  EXPECT_EQ(m.m_commands, 7u);
  dialog->m_handlesCommand = true;
  EXPECT_TRUE(button->CSL_GS_GuiTopLevelWindow::OnCommand(button, 9));
  EXPECT_EQ(m.m_commands, 7u);
  EXPECT_TRUE(button->OnVScroll(button, 1, 2, 3));
  EXPECT_EQ(m.m_scrolls, 1u);
  m.Shutdown();
  CTestGuiWindow::Reset();
}

}  // namespace
