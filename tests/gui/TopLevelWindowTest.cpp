// The framed window on the default skin: its geometry, hit codes, drags and sizing
// driven by scripted ticks, the caption buttons, and the window menu's attachment.
#include <gtest/gtest.h>

#include "tests/support/GuiMenuFixture.h"

namespace {

constexpr u32 kFramed = SL_GUI_TLS_CAPTION | SL_GUI_TLS_MINIMIZEBOX | SL_GUI_TLS_MAXIMIZEBOX | SL_GUI_TLS_CLOSEBOX |
                        SL_GUI_TLS_MOVABLE | SL_GUI_TLS_SIZABLE;

class TopLevelWindow : public GuiMenuFixture {};

TEST_F(TopLevelWindow, DefaultSkinGivesCaptionButtonsBordersAndMinimumSize) {
  CMenuOwnerWindow* w = Owner("Hola", {100, 50, 300, 200}, kFramed);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(Rect(w->GetCaptionRect()), "9,6,206,20");
  EXPECT_EQ(w->GetCloseButtonPos().x, 268);
  EXPECT_EQ(w->GetMaxRestoreButtonPos().x, 248);
  EXPECT_EQ(w->GetMinButtonPos().x, 228);
  EXPECT_EQ(w->GetCloseButtonPos().y, 5);
  i32 borders[4];
  w->GetBorderSizes(borders);
  EXPECT_EQ(std::vector<i32>(borders, borders + 4), (std::vector<i32>{4, 4, 4, 4}));
  // Client: below the 30-pixel caption, inside the 3-pixel sides.
  EXPECT_EQ(Rect(w->GetClientArea()), "103,80,294,167");
  // The caption layout follows the width.
  ASSERT_TRUE(w->SetRect(100, 50, 400, 200));
  EXPECT_EQ(Rect(w->GetCaptionRect()), "9,6,306,20");
  EXPECT_EQ(w->GetCloseButtonPos().x, 368);
  ASSERT_TRUE(w->SetRect(100, 50, 1, 1));
  EXPECT_EQ(w->GetWindowRect().width, 6);
  EXPECT_EQ(w->GetWindowRect().height, 33);
  // Without a caption the plain frame's three-pixel border is all there is.
  CMenuOwnerWindow* plain = Owner("Sin", {10, 10, 100, 100}, kFramed & ~SL_GUI_TLS_CAPTION);
  EXPECT_EQ(Rect(plain->GetClientArea()), "13,13,94,94");
}

TEST_F(TopLevelWindow, HitCodesAtScreenPoints) {
  CMenuOwnerWindow* w = Owner("Hola", {100, 50, 300, 200}, kFramed);
  CSL_GS_GuiMenuPopup* bar = Menu(1);
  ASSERT_GE(bar->InsertItem(10, "&Archivo", 0, nullptr, 0), 0);
  ASSERT_TRUE(w->SetMenu(bar));
  const SLGuiRect client = w->GetClientArea();
  SLGuiRect barRect;
  bar->GetBarRect(&barRect);
  EXPECT_EQ(barRect.y, 80);
  EXPECT_GT(barRect.height, 0);
  EXPECT_EQ(client.y, barRect.y + barRect.height);
  const struct {
    i32 x, y;
    u32 hit;
  } cases[] = {
      {100 + 268 + 10, 50 + 5 + 10, SL_GUI_HIT_CLOSE},
      {100 + 228 + 10, 50 + 5 + 10, SL_GUI_HIT_MINIMIZE},
      {100 + 248 + 10, 50 + 5 + 10, SL_GUI_HIT_MAXIMIZE},
      {101, 120, SL_GUI_HIT_FRAME},
      {398, 247, SL_GUI_HIT_FRAME},
      {200, 62, SL_GUI_HIT_CAPTION},
      {110, barRect.y + barRect.height / 2, SL_GUI_HIT_MENUBAR},
      {200, 200, SL_GUI_HIT_CLIENT},
      {99, 120, SL_GUI_HIT_NOWHERE},
  };
  for (const auto& c : cases) EXPECT_EQ(w->HitTest(c.x, c.y), c.hit) << c.x << "," << c.y;
  EXPECT_EQ(w->MenuItemFromPoint(10, barRect.y - 50 + barRect.height / 2), 0);
  ASSERT_TRUE(w->Maximize());
  const SLGuiPoint restore = w->GetMaxRestoreButtonPos();
  EXPECT_EQ(w->HitTest(restore.x + 10, restore.y + 10), SL_GUI_HIT_RESTORE);
  // A minimized window is one client area to drag and double-click.
  ASSERT_TRUE(w->Minimize());
  const SLGuiRect r = ScreenRect(w);
  EXPECT_EQ(w->HitTest(r.x + 1, r.y + 1), SL_GUI_HIT_CLIENT);
}

// Drags on each edge, the caption and the buttons, as tick scripts on a window at
// (100, 50) of 300 x 200.
TEST_F(TopLevelWindow, DragsSizeMoveAndFireOnlyWhereTheStyleAllows) {
  const struct {
    const char* name;
    u32 style;
    bool maximized;
    i32 fromX, fromY, toX, toY;
    const char* rect;  // after the release; "gone" when destroyed
  } cases[] = {
      {"left edge", kFramed, false, 101, 150, 81, 150, "80,50,320,200"},
      {"right edge", kFramed, false, 398, 150, 428, 150, "100,50,330,200"},
      {"top edge", kFramed, false, 200, 51, 200, 41, "100,40,300,210"},
      {"bottom edge", kFramed, false, 200, 248, 200, 268, "100,50,300,220"},
      {"top-left corner", kFramed, false, 101, 51, 111, 61, "110,60,290,190"},
      {"bottom-right corner", kFramed, false, 398, 248, 378, 238, "100,50,280,190"},
      {"left edge stops at the minimum", kFramed, false, 101, 150, 500, 150, "394,50,6,200"},
      {"border of a fixed-size window", kFramed & ~SL_GUI_TLS_SIZABLE, false, 398, 150, 428, 150, "100,50,300,200"},
      {"caption", kFramed, false, 200, 62, 250, 92, "150,80,300,200"},
      {"caption of a fixed window", kFramed & ~SL_GUI_TLS_MOVABLE, false, 200, 62, 250, 92, "100,50,300,200"},
      {"caption of a maximized window", kFramed, true, 200, 12, 250, 42, "0,0,800,600"},
      {"close released outside", kFramed, false, 378, 65, 200, 200, "100,50,300,200"},
      {"close released inside", kFramed, false, 378, 65, 379, 66, "gone"},
      {"close left and back", kFramed, false, 378, 65, 378, 65, "gone"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string at = std::to_string(c.fromX) + "," + std::to_string(c.fromY);
    const std::string to = std::to_string(c.toX) + "," + std::to_string(c.toY);
    Script("tick 1: mouse " + at + "\ntick 2: button 1 down\ntick 3: mouse 200,200\ntick 4: mouse " + to +
           "\ntick 5: button 1 up\n");
    CMenuOwnerWindow* w = Owner("Hola", {100, 50, 300, 200}, c.style);
    ASSERT_NE(w, nullptr);
    if (c.maximized) {
      ASSERT_TRUE(w->Maximize());
    }
    TSLObjPtr<CSL_GS_GuiWindow> hold(w);
    Run(1, 5);
    if (std::string(c.rect) == "gone") {
      EXPECT_FALSE(m.IsRegistered(w));
    } else {
      ASSERT_TRUE(m.IsRegistered(w));
      EXPECT_EQ(Rect(w->GetWindowRect()), c.rect);
      EXPECT_EQ(m.GetCaptureWindow(), nullptr);
      EXPECT_EQ(w->GetPressedCode(), 0u);
      m.DestroyWindow(w);
    }
  }
}

TEST_F(TopLevelWindow, QuickClickOnCloseFires) {
  Script("tick 1: mouse 378,65\ntick 2: button 1 down\ntick 3: button 1 up\n");
  CMenuOwnerWindow* w = Owner("Hola", {100, 50, 300, 200}, kFramed);
  TSLObjPtr<CSL_GS_GuiWindow> hold(w);
  Run(1, 3);
  EXPECT_FALSE(m.IsRegistered(w));
}

TEST_F(TopLevelWindow, ClickGlyphShowsOnlyWhileThePointerStaysOnItsButton) {
  Script("tick 1: mouse 378,65\ntick 2: button 1 down\ntick 3: mouse 200,200\ntick 4: mouse 379,66\n");
  CMenuOwnerWindow* w = Owner("Hola", {100, 50, 300, 200}, kFramed);
  Tick(1);
  EXPECT_EQ(w->GetHoverCode(), SL_GUI_HIT_CLOSE);
  Tick(2);
  EXPECT_EQ(w->GetPressedCode(), SL_GUI_HIT_CLOSE);
  const std::vector<u32> hover = {SL_GUI_HIT_CLIENT, SL_GUI_HIT_CLOSE};
  for (u32 t = 3; t <= 4; ++t) {
    Tick(t);
    EXPECT_EQ(w->GetHoverCode(), hover[t - 3]) << "tick " << t;
  }
}

TEST_F(TopLevelWindow, CaptionDoubleClickToggLesMaximizeAndCloseRequestNeedsBitThree) {
  Script("tick 1: mouse 200,62\ntick 2: button 1 down\ntick 3: button 1 up\ntick 4: button 1 down\n"
         "tick 5: button 1 up\ntick 400: mouse 200,12\ntick 401: button 1 down\ntick 402: button 1 up\n"
         "tick 403: button 1 down\ntick 404: button 1 up\n");
  CMenuOwnerWindow* w = Owner("Hola", {100, 50, 300, 200}, kFramed);
  Run(1, 5);
  EXPECT_TRUE(w->GetStyle() & SL_GUI_WS_MAXIMIZED);
  Run(6, 404);
  EXPECT_FALSE(w->GetStyle() & SL_GUI_WS_MAXIMIZED);
  EXPECT_EQ(Rect(w->GetWindowRect()), "100,50,300,200");

  // Bits 1-3 without a caption: no buttons, no caption, but a close request still ends it.
  CMenuOwnerWindow* plain = Owner("Sin", {10, 10, 100, 100}, kFramed & ~SL_GUI_TLS_CAPTION);
  EXPECT_EQ(plain->HitTest(10 + 68 + 10, 10 + 15), SL_GUI_HIT_CLIENT);
  gfx.m_log.clear();
  m.Draw();
  EXPECT_EQ(gfx.m_log.find("text 'Sin'"), std::string::npos);
  EXPECT_NE(gfx.m_log.find("text 'Hola'"), std::string::npos);
  TSLObjPtr<CSL_GS_GuiWindow> hold(plain);
  plain->OnClose();
  EXPECT_FALSE(m.IsRegistered(plain));
  CMenuOwnerWindow* keep = Owner("Queda", {10, 10, 100, 100}, SL_GUI_TLS_CAPTION);
  keep->OnClose();
  EXPECT_TRUE(m.IsRegistered(keep));
}

TEST_F(TopLevelWindow, SetMenuRefusesMenusInUseAndKeepsTheOldOne) {
  CMenuOwnerWindow* a = Owner("A", {0, 0, 300, 200}, kFramed);
  CMenuOwnerWindow* b = Owner("B", {0, 0, 300, 200}, kFramed);
  CSL_GS_GuiMenuPopup* first = Menu(1);
  CSL_GS_GuiMenuPopup* second = Menu(2);
  CSL_GS_GuiMenuPopup* parent = Menu(3);
  CSL_GS_GuiMenuPopup* child = Menu(4);
  for (CSL_GS_GuiMenuPopup* menu : {first, second, parent, child}) ASSERT_GE(menu->InsertItem(7, "x", 0, nullptr, 0), 0);
  ASSERT_TRUE(parent->SetItemSubmenu(0, child));
  ASSERT_TRUE(a->SetMenu(first));
  const i32 clientWithBar = a->GetClientArea().height;
  EXPECT_LT(clientWithBar, 167);
  ASSERT_TRUE(m.TrackPopupMenu(second, 100, 100, nullptr, 0));
  const struct {
    const char* name;
    CSL_GS_GuiWindow* menu;
    u32 code;
  } cases[] = {
      {"attached to another window", first, SL_E_BUSY},
      {"a submenu", child, SL_E_BUSY},
      {"open", second, SL_E_BUSY},
      {"no menu", a, SL_E_INVALID_ARG},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(b->SetMenu(reinterpret_cast<CSL_GS_GuiMenuPopup*>(c.menu)));
    EXPECT_EQ(SLGetLastError(), c.code);
    EXPECT_EQ(b->GetMenu(), nullptr);
  }
  EXPECT_FALSE(a->SetMenu(second));
  EXPECT_EQ(a->GetMenu(), first);
  // Destroying the window destroys its menu; destroying a menu frees its window's bar.
  ASSERT_TRUE(m.DestroyWindow(second));
  ASSERT_TRUE(b->SetMenu(parent));
  ASSERT_TRUE(m.DestroyWindow(parent));
  EXPECT_FALSE(m.IsRegistered(child));
  EXPECT_EQ(b->GetMenu(), nullptr);
  EXPECT_EQ(b->GetClientArea().height, 167);
  ASSERT_TRUE(m.DestroyWindow(a));
  EXPECT_FALSE(m.IsRegistered(first));
}

}  // namespace
