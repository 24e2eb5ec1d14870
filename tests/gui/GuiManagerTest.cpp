#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "gui/SLGuiButton.h"
#include "gui/SLGuiManager.h"
#include "gui/SLGuiMenuPopup.h"
#include "tests/support/GuiTestWindow.h"
#include "tests/support/RecordingGfx.h"
#include "tests/support/TestSupport.h"

namespace {

constexpr u32 kTop = SL_GUI_WS_VISIBLE;
constexpr u32 kChild = SL_GUI_WS_CHILD | SL_GUI_WS_VISIBLE;
constexpr u32 kTab = kChild | SL_GUI_WS_TABSTOP;

class GuiTree : public ::testing::Test {
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
  CTestGuiWindow* Make(const char* name, u32 style, CSL_GS_GuiWindow* parent = nullptr, SLGuiRect r = {0, 0, 100, 100}) {
    CTestGuiWindow::s_nextName = name;
    return static_cast<CTestGuiWindow*>(m.CreateWindow(CTestGuiWindow::GetClassRecord(), name, r.x, r.y, r.width,
                                                       r.height, style, 0, 0, parent));
  }
  // Names of a list from the top.
  std::string Order(CSL_GS_GuiWindow* parent = nullptr) {
    std::string names;
    for (CSL_GS_GuiWindow* w = m.GetFirstChild(parent); w; w = m.GetNextSibling(w))
      names += CTestGuiWindow::NameOf(w);
    return names;
  }
  std::string TakeLog() { return std::exchange(CTestGuiWindow::s_log, std::string()); }
  CSL_GS_GuiManager m;
};

TEST_F(GuiTree, CreationRefusesBadArgumentsAndCreatesNothing) {
  CTestGuiWindow* top = Make("T", kTop);
  CSL_GS_GuiWindow loose;  // never registered
  const struct {
    const SLClassRecord* record;
    u32 style, skin;
    CSL_GS_GuiWindow* parent;
  } cases[] = {
      {nullptr, kTop, 0, nullptr},
      {CSLObject::GetClassRecord(), kTop, 0, nullptr},
      {CTestGuiWindow::GetClassRecord(), kChild, 0, nullptr},
      {CTestGuiWindow::GetClassRecord(), kChild, 0, &loose},
      {CTestGuiWindow::GetClassRecord(), kTop, 7, top},
  };
  for (const auto& c : cases) {
    SL_EXPECT_FAIL(m.CreateWindow(c.record, "x", 0, 0, 10, 10, c.style, c.skin, 0, c.parent), SL_E_INVALID_ARG);
    EXPECT_EQ(m.GetWindowCount(), 1u);
  }
  CSL_GS_GuiManager idle;
  SL_EXPECT_FAIL(idle.CreateWindow(CTestGuiWindow::GetClassRecord(), "x", 0, 0, 1, 1, kTop, 0, 0, nullptr),
                 SL_E_NOT_INITIALISED);
  SL_EXPECT_FAIL(idle.Init() && idle.Init(), SL_E_ALREADY_INITIALISED);
}

TEST_F(GuiTree, ParentArgumentOfATopLevelWindowNamesItsOwner) {
  CTestGuiWindow* dialog = Make("D", kTop);
  CTestGuiWindow* button = Make("B", kChild, dialog);
  CTestGuiWindow* owned = Make("O", kTop | SL_GUI_WS_OWNED, button);
  EXPECT_EQ(m.GetParent(owned), nullptr);
  EXPECT_EQ(m.GetOwnerOrParent(owned), dialog);
  EXPECT_EQ(m.GetOwnerOrParent(button), dialog);
  CSL_GS_GuiWindow* menu = m.CreateWindow(CSL_GS_GuiMenuPopup::GetClassRecord(), "ignored", 5, 5, 50, 50, kChild, 0,
                                          0, dialog);
  ASSERT_NE(menu, nullptr);
  EXPECT_TRUE(m.IsMenuPopup(menu));
  EXPECT_EQ(menu->GetStyle(), SL_GUI_WS_OWNED);
  EXPECT_STREQ(menu->GetText(), "");
  EXPECT_FALSE(menu->SetPosition(0, 0, 10, 10, 0x20 | 0x13, std::uintptr_t(0)) && menu->GetStyle() & kTop);
}

TEST_F(GuiTree, RefusedOrSelfDestroyingCreationLeavesNothing) {
  CTestGuiWindow::s_hook = [](CTestGuiWindow* w, const std::string& slot) {
    if (slot == "OnCreate" && w->m_name == "R") w->m_refuseCreate = true;
    if ((slot == "OnShow" && w->m_name == "S") || (slot == "OnCreate" && w->m_name == "C"))
      w->GetManager()->DestroyWindow(w);
  };
  SL_EXPECT_FAIL(Make("R", kTop), SL_E_CANCELLED);
  EXPECT_NE(TakeLog().find("R:OnDestroy()"), std::string::npos);
  SL_EXPECT_FAIL(Make("S", kTop), SL_E_NOT_INITIALISED);
  SL_EXPECT_FAIL(Make("C", kTop), SL_E_NOT_INITIALISED);
  EXPECT_EQ(m.GetWindowCount(), 0u);
  EXPECT_EQ(m.GetKeyState(SL_GS_KEY_COUNT), 0u);
}

TEST_F(GuiTree, DestructionOrderAndWhatOnDestroySees) {
  CTestGuiWindow* a = Make("A", kTop);
  Make("B", kChild, a);
  Make("C", kChild, a);
  Make("O", kTop | SL_GUI_WS_OWNED, a);
  std::string seen;
  CTestGuiWindow::s_hook = [&](CTestGuiWindow* w, const std::string& slot) {
    if (slot != "OnDestroy" || w->m_name != "A") return;
    seen = std::to_string(w->IsRegistered()) + Order(nullptr) + std::to_string(w->SetText("x"));
    EXPECT_TRUE(w->GetManager()->DestroyWindow(w));  // from inside its own destruction: nothing
  };
  TakeLog();
  SL_EXPECT_OK(m.DestroyWindow(a));
  std::string log = TakeLog();
  // Children first (always the first of the list; a new child goes to the bottom), then
  // the window, then what it owns.
  std::string order;
  for (size_t at = 0; (at = log.find(":OnDestroy", at)) != std::string::npos; ++at) order += log[at - 1];
  EXPECT_EQ(order, "BCAO");
  EXPECT_EQ(seen, "0A0");  // hidden on its way out, which puts it on top
  EXPECT_EQ(m.GetWindowCount(), 0u);
  SL_EXPECT_FAIL(m.DestroyWindow(a), SL_E_INVALID_ARG);
}

TEST_F(GuiTree, ParentDestroyedFromItsChildsDestructionStaysSound) {
  CTestGuiWindow* a = Make("A", kTop);
  CTestGuiWindow* b = Make("B", kChild, a);
  Make("C", kChild, b);
  CTestGuiWindow::s_hook = [this, a](CTestGuiWindow* w, const std::string& slot) {
    if (w->m_name == "B" && slot == "OnShow") m.DestroyWindow(a);
  };
  SL_EXPECT_OK(m.DestroyWindow(b));
  EXPECT_EQ(m.GetWindowCount(), 0u);
  EXPECT_EQ(m.GetFirstChild(nullptr), nullptr);
}

TEST_F(GuiTree, FocusFollowsActivationHidingAndDestruction) {
  CTestGuiWindow* a = Make("A", kTop);
  CTestGuiWindow* e1 = Make("1", kTab, a);
  CTestGuiWindow* e2 = Make("2", kTab, a);
  EXPECT_EQ(m.GetFocusWindow(), nullptr);  // A had no tab stop when it was activated
  m.ActivateWindow(nullptr);
  m.ActivateWindow(a);
  EXPECT_EQ(m.GetFocusWindow(), e1);  // the first tab stop
  TakeLog();
  EXPECT_EQ(m.SetFocus(e2), e1);
  EXPECT_EQ(TakeLog(), "1:OnKillFocus(2) 2:OnSetFocus(2) ");
  CTestGuiWindow* b = Make("B", kTop);
  CTestGuiWindow* f = Make("F", kTab, b);
  EXPECT_EQ(m.SetFocus(f), nullptr);  // activating B took the focus from A
  // A control of an inactive dialog: the dialog is activated first, its last focus kept.
  EXPECT_EQ(m.SetFocus(e1), f);
  EXPECT_EQ(m.GetActiveWindow(), a);
  EXPECT_EQ(a->GetLastFocus(), e1);
  ASSERT_TRUE(e1->Show(false));
  EXPECT_EQ(m.GetFocusWindow(), a);
  SL_EXPECT_FAIL(m.SetFocus(e1), SL_E_INVALID_ARG);
  ASSERT_TRUE(a->Show(false));  // hiding the active window activates the next one
  EXPECT_EQ(m.GetActiveWindow(), b);
  EXPECT_EQ(m.GetFocusWindow(), f);  // B remembered F
}

TEST_F(GuiTree, DestroyedLastFocusIsNeverTakenForANewWindow) {
  CTestGuiWindow* a = Make("A", kTop);
  CTestGuiWindow* e = Make("E", kTab, a);
  Make("B", kTop);
  ASSERT_EQ(m.GetActiveWindow()->GetId(), 0u);
  ASSERT_TRUE(m.DestroyWindow(e));
  EXPECT_EQ(a->GetLastFocus(), nullptr);
  // Windows made now often land at the freed address; none of them is a tab stop.
  std::vector<CTestGuiWindow*> fresh;
  for (int i = 0; i < 8; ++i) fresh.push_back(Make("N", kChild, a));
  ASSERT_TRUE(m.ActivateWindow(a) || SLGetLastError() == 0);
  EXPECT_EQ(m.GetActiveWindow(), a);
  EXPECT_EQ(m.GetFocusWindow(), nullptr);
}

TEST_F(GuiTree, ModalWindowsTakeTheActivation) {
  CTestGuiWindow* a = Make("A", kTop);
  CTestGuiWindow* b = Make("B", kTop);
  CTestGuiWindow* owned = Make("M", kTop | SL_GUI_WS_OWNED | SL_GUI_WS_MODAL, a);
  m.ActivateWindow(b);
  ASSERT_EQ(m.GetActiveWindow(), b);
  m.ActivateWindow(a);  // pass 1: a modal window that A owns
  EXPECT_EQ(m.GetActiveWindow(), owned);
  ASSERT_TRUE(m.DestroyWindow(owned));
  CTestGuiWindow* loose = Make("U", kTop | SL_GUI_WS_MODAL);
  EXPECT_TRUE(m.ActivateWindow(b) || SLGetLastError() == 0);  // pass 2: an unowned one
  EXPECT_EQ(m.GetActiveWindow(), loose);
  ASSERT_TRUE(loose->Show(false));
  SL_EXPECT_FAIL(m.ActivateWindow(b), SL_E_INVALID_ARG);  // found, but cannot be activated
  ASSERT_TRUE(m.DestroyWindow(loose));
  TakeLog();
  m.ActivateWindow(b);
  m.ActivateWindow(nullptr);
  EXPECT_EQ(m.GetActiveWindow(), nullptr);
  EXPECT_NE(TakeLog().find("B:OnActivate(0,0)"), std::string::npos);
}

// Focus always lies inside the active window, whichever window took the activation and
// whatever the kill-focus handler of the old focus did meanwhile.
TEST_F(GuiTree, FocusFollowsAModalThatTakesTheActivation) {
  CTestGuiWindow* t = Make("T", kTop);
  CTestGuiWindow* t1 = Make("t", kTab, t);
  CTestGuiWindow* modal = Make("M", kTop | SL_GUI_WS_OWNED | SL_GUI_WS_MODAL, t);
  CTestGuiWindow* m1 = Make("m", kTab, modal);
  CTestGuiWindow* x = Make("X", kTop);
  CTestGuiWindow* x1 = Make("x", kTab, x);
  m.SetFocus(x1);
  ASSERT_EQ(m.GetFocusWindow(), x1);
  m.SetFocus(t1);  // T's modal window takes the activation, and its tab stop the focus
  EXPECT_EQ(m.GetActiveWindow(), modal);
  EXPECT_EQ(m.GetFocusWindow(), m1);
}

TEST_F(GuiTree, WindowDestroyedWhileLosingTheOldFocusIsNeverActive) {
  CTestGuiWindow* b = Make("B", kTop);
  CTestGuiWindow* a = Make("A", kTop);
  CTestGuiWindow* a1 = Make("a", kTab, a);
  m.SetFocus(a1);
  ASSERT_EQ(m.GetActiveWindow(), a);
  CTestGuiWindow::s_hook = [&](CTestGuiWindow* w, const std::string& slot) {
    if (w == a1 && slot == "OnKillFocus") {
      m.DestroyWindow(b);
      m.DestroyWindow(a);
    }
  };
  TakeLog();
  SL_EXPECT_FAIL(m.ActivateWindow(b), SL_E_GUI_DESTROYED);
  EXPECT_EQ(m.GetActiveWindow(), nullptr);
  EXPECT_EQ(m.GetWindowCount(), 0u);
  EXPECT_EQ(TakeLog().find("B:OnActivate(1"), std::string::npos);
}

TEST_F(GuiTree, ActivationLiftsTheOwnerTreeOwnedAboveOwners) {
  CTestGuiWindow* a = Make("A", kTop);
  Make("P", kTop | SL_GUI_WS_OWNED, a);
  Make("Q", kTop | SL_GUI_WS_OWNED, a);
  Make("B", kTop);
  EXPECT_EQ(Order(), "BPQA");
  m.ActivateWindow(a);
  EXPECT_EQ(Order(), "PQAB");
}

TEST_F(GuiTree, ZOrderSortIsStableInFourClasses) {
  std::mt19937 random(31);
  for (int round = 0; round < 20; ++round) {
    for (int i = 0; i < 12; ++i) {
      const u32 bits = random() % 4;
      CTestGuiWindow* w = Make(std::string(1, char('a' + i)).c_str(), kTop);
      w->ModifyStyle(0, (bits & 1 ? u32(SL_GUI_WS_TOPMOST) : 0u) | (bits & 2 ? u32(SL_GUI_WS_MINIMIZED) : 0u));
    }
    std::string before = Order();
    std::vector<CSL_GS_GuiWindow*> expected;
    for (CSL_GS_GuiWindow* w = m.GetFirstChild(nullptr); w; w = m.GetNextSibling(w)) expected.push_back(w);
    auto rank = [](CSL_GS_GuiWindow* w) {
      const u32 s = w->GetStyle();
      return (s & SL_GUI_WS_TOPMOST) ? (s & SL_GUI_WS_MINIMIZED ? 0 : 1) : (s & SL_GUI_WS_MINIMIZED ? 2 : 3);
    };
    std::stable_sort(expected.begin(), expected.end(), [&](auto* x, auto* y) { return rank(x) < rank(y); });
    ASSERT_TRUE(m.SortWindowZOrder(nullptr));
    std::string want;
    for (CSL_GS_GuiWindow* w : expected) want += CTestGuiWindow::NameOf(w);
    EXPECT_EQ(Order(), want) << "from " << before;
    while (CSL_GS_GuiWindow* w = m.GetFirstChild(nullptr)) m.DestroyWindow(w);
  }
}

TEST_F(GuiTree, HitTestingSkipsMinimizedChildrenAndFollowsCapture) {
  CTestGuiWindow* a = Make("A", kTop, nullptr, {100, 100, 200, 200});
  CTestGuiWindow* c = Make("C", kChild, a, {10, 10, 50, 50});
  u32 hit = 0;
  EXPECT_EQ(m.WindowFromPoint(115, 115, nullptr, &hit, true, false), c);
  EXPECT_EQ(hit, SL_GUI_HIT_CLIENT);
  EXPECT_EQ(m.WindowFromPoint(15, 15, a, &hit, true, false), c);  // client coordinates of the start
  SL_EXPECT_FAIL(m.WindowFromPoint(5, 5, nullptr, &hit, true, false), SL_E_NOT_FOUND);
  a->ModifyStyle(0, SL_GUI_WS_MINIMIZED);
  EXPECT_EQ(m.WindowFromPoint(115, 115, nullptr, &hit, true, false), a);
  a->ModifyStyle(SL_GUI_WS_MINIMIZED, 0);
  c->Enable(false);
  EXPECT_EQ(m.WindowFromPoint(115, 115, nullptr, &hit, true, true), a);
  m.SetCapture(a);
  EXPECT_EQ(m.WindowUnderMouse(nullptr, &hit), a);
  TakeLog();
  EXPECT_EQ(m.ReleaseCapture(), a);
  EXPECT_EQ(TakeLog().rfind("A:OnCaptureLost(0)", 0), 0u);
}

TEST_F(GuiTree, ShutdownInsideADestructionEnds) {
  CTestGuiWindow* a = Make("A", kTop);
  TSLObjPtr<CTestGuiWindow> hold(a);  // Shutdown lets go of it
  Make("B", kChild, a);
  Make("C", kTop);
  CTestGuiWindow::s_hook = [this](CTestGuiWindow* w, const std::string& slot) {
    if (w->m_name == "A" && slot == "OnShow") m.Shutdown();
  };
  SL_EXPECT_FAIL(m.DestroyWindow(a), SL_E_NOT_INITIALISED);
  EXPECT_FALSE(m.IsInitialised());
  EXPECT_EQ(a->GetManager(), nullptr);
  ASSERT_TRUE(m.Init());
}

// Each handler destroys its own window in the middle of a window operation; the operation
// stops with 0x80010002 and touches nothing freed (the ASan build checks that).
TEST_F(GuiTree, HandlersDestroyingTheirWindowEndTheOperation) {
  const struct {
    const char* slot;
    u32 style;
    bool (*operation)(CTestGuiWindow* w, CSL_GS_GuiManager& m);
  } cases[] = {
      {"OnActivate", kTop, [](CTestGuiWindow* w, CSL_GS_GuiManager&) { return w->BringToTop(); }},
      {"OnKillFocus", kTab, [](CTestGuiWindow* w, CSL_GS_GuiManager& m) { return m.SetFocus(w), w->Show(false); }},
      {"OnSize", kTop, [](CTestGuiWindow* w, CSL_GS_GuiManager&) { return w->SetRect(1, 1, 30, 30); }},
      {"OnShow", kChild, [](CTestGuiWindow* w, CSL_GS_GuiManager&) { return w->Show(false); }},
      {"OnCaptureLost", kChild,
       [](CTestGuiWindow* w, CSL_GS_GuiManager& m) { return m.SetCapture(w), w->Enable(false); }},
      {"OnEnable", kChild, [](CTestGuiWindow* w, CSL_GS_GuiManager&) { return w->Enable(false); }},
  };
  for (const auto& c : cases) {
    CTestGuiWindow* other = Make("O", kTop);
    CTestGuiWindow* parent = Make("P", kTop);
    CTestGuiWindow* w = Make("X", c.style, (c.style & SL_GUI_WS_CHILD) ? parent : nullptr);
    ASSERT_NE(w, nullptr) << c.slot;
    if (!(c.style & SL_GUI_WS_CHILD)) m.ActivateWindow(other);
    std::string slot = c.slot;
    CTestGuiWindow::s_hook = [slot](CTestGuiWindow* self, const std::string& s) {
      if (s == slot && self->m_name == "X") self->GetManager()->DestroyWindow(self);
    };
    TSLObjPtr<CTestGuiWindow> hold(w);
    SL_EXPECT_FAIL(c.operation(w, m), SL_E_NOT_INITIALISED) << c.slot;
    EXPECT_FALSE(m.IsRegistered(w)) << c.slot;
    CTestGuiWindow::s_hook = nullptr;
    EXPECT_NE(m.GetFocusWindow(), w);
    m.DestroyWindow(other);
    m.DestroyWindow(parent);
  }
}

// --- Drawing ---

class GuiDraw : public GuiTree {
 protected:
  CRecordingGfx gfx;
};

TEST_F(GuiDraw, TreeDrawsBottomToTopEachUnderItsClip) {
  ASSERT_TRUE(m.SetGfx(&gfx));
  CTestGuiWindow* a = Make("A", kTop, nullptr, {10, 10, 300, 200});
  CTestGuiWindow* b = Make("B", kChild, a, {20, 30, 400, 50});  // runs past A's right edge
  Make("C", kChild, b, {-5, 5, 20, 20});
  Make("D", kChild, a, {0, 0, 10, 10});  // created later: below B
  Make("H", kChild, a, {0, 0, 10, 10})->Show(false);
  gfx.m_log.clear();
  TakeLog();
  SL_EXPECT_OK(m.Draw());
  EXPECT_EQ(TakeLog(),
            "A:DrawFrame(10,10,300,200) A:Draw(10,10,300,200) D:DrawFrame(10,10,10,10) D:Draw(10,10,10,10) "
            "B:DrawFrame(30,40,400,50) B:Draw(30,40,400,50) C:DrawFrame(25,45,20,20) C:Draw(25,45,20,20) ");
  EXPECT_EQ(gfx.m_log,
            "state 0\nclip 10,10,300,200\nclip 10,10,300,200\nclip 10,10,10,10\nclip 10,10,10,10\n"
            "clip 30,40,280,50\nclip 30,40,280,50\nclip 30,45,15,20\nclip 30,45,15,20\nclip 0,0,800,600\nstate 85\n");
  // A minimized window draws under its parent's clip and leaves its children out.
  b->ModifyStyle(0, SL_GUI_WS_MINIMIZED);
  SL_EXPECT_OK(m.Draw());
  EXPECT_EQ(TakeLog().find("C:"), std::string::npos);
}

TEST_F(GuiDraw, NestedDrawSucceedsAtOnceAndNoDeviceFails) {
  SL_EXPECT_FAIL(m.Draw(), SL_E_NOT_INITIALISED);
  ASSERT_TRUE(m.SetGfx(&gfx));
  Make("A", kTop);
  int nested = 0;
  CTestGuiWindow::s_hook = [&](CTestGuiWindow*, const std::string& slot) {
    if (slot == "Draw") nested += m.Draw() && SLGetLastError() == 0;
  };
  SL_EXPECT_OK(m.Draw());
  EXPECT_EQ(nested, 1);
  // The device's dying event detaches it; every window hears of the change.
  TakeLog();
  gfx.Shutdown();
  EXPECT_EQ(m.GetGfx(), nullptr);
  EXPECT_EQ(TakeLog(), "A:OnGfxChanged(0) ");
}

}  // namespace
