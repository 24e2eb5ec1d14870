// Menu tracking driven by scripted ticks: what the pointer, the buttons and the keys do
// to open menus, the commands they send, window menus from the keyboard and the mouse,
// and menus that notifications close while they open.
#include <gtest/gtest.h>

#include "tests/support/GuiMenuFixture.h"

namespace {

// A popup that runs the test's hook when it is shown.
class CHookedPopup : public CSL_GS_GuiMenuPopup {
  SL_DECLARE_CLASS(CHookedPopup)
 public:
  void OnShow(bool visible) override {
    if (visible) SLMenuTest::Note("show:" + std::to_string(GetId()));
  }
};
SL_IMPLEMENT_CLASS_CREATABLE(CHookedPopup, CSL_GS_GuiMenuPopup)

std::string At(SLGuiPoint p) { return std::to_string(p.x) + "," + std::to_string(p.y); }

class MenuTracking : public GuiMenuFixture {
 protected:
  // The context menu: Uno, Sub > (Dentro, Otro), a separator, Gris (disabled), Cuatro.
  void BuildContextMenu() {
    root = Menu(1);
    sub = Menu(2);
    sub->InsertItem(201, "Dentro", 0, nullptr, 9);
    sub->InsertItem(202, "Otro", 0, nullptr, 9);
    root->InsertItem(101, "Uno", 0, nullptr, 9);
    root->InsertItem(102, "Sub", 0, sub, 9);
    root->InsertSeparator(9);
    root->InsertItem(103, "Gris", SL_GUI_MF_DISABLED, nullptr, 9);
    root->InsertItem(104, "Cuatro", 0, nullptr, 9);
  }
  // The centre of an item of an open popup, on the screen.
  static SLGuiPoint ItemPoint(CSL_GS_GuiMenuPopup* menu, u32 i) {
    SLGuiRect r, item;
    menu->GetScreenRectR(&r);
    menu->GetItemRect(false, i, &item);
    return {r.x + item.x + item.width / 2, r.y + item.y + item.height / 2};
  }
  u32 StackSize() { return m.GetState()->menuStack->GetCount(); }
  // No guard may stay set once the menus are closed.
  void ExpectClosedAndReady() {
    const SLGuiManagerState* s = m.GetState();
    EXPECT_EQ(StackSize(), 0u);
    EXPECT_EQ(s->trackingMenu + s->openingMenu + s->closingMenus + s->windowMenuRequest, 0u);
  }
  CSL_GS_GuiMenuPopup* root = nullptr;
  CSL_GS_GuiMenuPopup* sub = nullptr;
};

TEST_F(MenuTracking, ClicksChooseIgnoreTheOpeningReleaseAndCloseOutside) {
  const struct {
    const char* name;
    const char* before;  // the button state at the opening
    std::string script;  // %0 item Uno, %3 item Gris, %o outside
    const char* log;
    bool open;
  } cases[] = {
      {"left click chooses", "", "tick 1: mouse %0\ntick 2: button 1 down\ntick 3: button 1 up", "mend:ctx mcmd:0,101 ",
       false},
      {"release of the opening left press is ignored", "button 1 down", "tick 1: mouse %0\ntick 2: button 1 up", "",
       true},
      {"right button released at once chooses nothing", "button 2 down", "tick 1: mouse %0\ntick 2: button 2 up", "",
       true},
      {"disabled item does nothing", "", "tick 1: mouse %3\ntick 2: button 1 down\ntick 3: button 1 up", "", true},
      {"click outside closes and reaches no window", "",
       "tick 1: mouse %o\ntick 2: button 1 down\ntick 3: button 1 up", "mend:ctx ", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    BuildContextMenu();
    CMenuOwnerWindow* under = Owner("Debajo", {0, 0, 800, 600}, 0);
    // Where the items will be: open once to measure.
    ASSERT_TRUE(m.TrackPopupMenu(root, 100, 100, nullptr, 8));
    std::string script = c.script;
    for (auto [key, value] : {std::pair{"%0", At(ItemPoint(root, 0))}, std::pair{"%3", At(ItemPoint(root, 3))},
                              std::pair{"%o", std::string("700,500")}})
      for (size_t p; (p = script.find(key)) != std::string::npos;) script.replace(p, 2, value);
    m.CloseMenus(nullptr);
    Script("tick 0: mouse 100,100; " + std::string(c.before) + "\n" + script + "\n");
    Tick(0);
    TakeLog();
    ASSERT_TRUE(m.TrackPopupMenu(root, 100, 100, nullptr, 8));
    EXPECT_EQ(TakeLog(), "mstart:ctx minit ");
    Run(1, 3);
    EXPECT_EQ(TakeLog(), c.log);
    EXPECT_EQ(StackSize() != 0, c.open);
    m.CloseMenus(nullptr);
    ExpectClosedAndReady();
    m.DestroyWindow(under);
    m.DestroyWindow(root);
    TakeLog();
  }
}

TEST_F(MenuTracking, RestingHalfASecondOpensTheSubmenu) {
  for (u32 rest : {499u, 500u}) {
    SCOPED_TRACE(rest);
    BuildContextMenu();
    Script("");
    ASSERT_TRUE(m.TrackPopupMenu(root, 100, 100, nullptr, 8));
    Script("tick 1: mouse 0,0\ntick 2: mouse " + At(ItemPoint(root, 1)) + "\n");
    Run(1, 2 + rest);
    EXPECT_EQ(Visible(sub), rest >= 500);
    EXPECT_EQ(root->GetHighlightedItem(), 1);
    if (rest >= 500) {
      // Beside the parent, level with the item.
      SLGuiRect parent = ScreenRect(root), item;
      root->GetItemRect(false, 1, &item);
      EXPECT_EQ(ScreenRect(sub).x, parent.x + parent.width);
      EXPECT_EQ(ScreenRect(sub).y, parent.y + item.y);
      EXPECT_EQ(m.GetCurrentMenu(), sub);
    }
    m.DestroyWindow(root);
    ExpectClosedAndReady();
    EXPECT_FALSE(m.IsRegistered(sub));
  }
}

TEST_F(MenuTracking, KeysMoveWrapOpenGoBackAndCloseLevelByLevel) {
  BuildContextMenu();
  CMenuOwnerWindow* owner = Owner("Dueño", {0, 0, 400, 300}, SL_GUI_TLS_CAPTION);
  ASSERT_TRUE(m.TrackPopupMenu(root, 100, 100, owner, 8));
  TakeLog();
  const struct {
    u32 key;
    i32 rootSelection, subSelection;
    bool subOpen;
    const char* log;
  } steps[] = {
      {SL_GUI_KEY_DOWN, 0, -1, false, ""},  {SL_GUI_KEY_DOWN, 1, -1, false, ""},
      {SL_GUI_KEY_DOWN, 4, -1, false, ""},  {SL_GUI_KEY_DOWN, 0, -1, false, ""},
      {SL_GUI_KEY_UP, 4, -1, false, ""},    {SL_GUI_KEY_UP, 1, -1, false, ""},
      {SL_GUI_KEY_RIGHT, 1, 0, true, "initpopup:2 "},
      {SL_GUI_KEY_DOWN, 1, 1, true, ""},    {SL_GUI_KEY_LEFT, 1, -1, false, ""},
      {SL_GUI_KEY_ENTER, 1, 0, true, "initpopup:2 "},
      {SL_GUI_KEY_ESCAPE, 1, -1, false, ""}, {SL_GUI_KEY_ESCAPE, -1, -1, false, "end:ctx "},
  };
  std::string script;
  for (u32 i = 0; i < std::size(steps); ++i)
    script += "tick " + std::to_string(2 * i + 1) + ": key " + std::to_string(steps[i].key) + " down\ntick " +
              std::to_string(2 * i + 2) + ": key " + std::to_string(steps[i].key) + " up\n";
  Script(script);
  for (u32 i = 0; i < std::size(steps); ++i) {
    SCOPED_TRACE(i);
    Tick(2 * i + 1);
    Tick(2 * i + 2);
    EXPECT_EQ(root->GetHighlightedItem(), steps[i].rootSelection);
    EXPECT_EQ(sub->GetHighlightedItem(), steps[i].subSelection);
    EXPECT_EQ(Visible(sub), steps[i].subOpen);
    EXPECT_EQ(TakeLog(), steps[i].log);
  }
  ExpectClosedAndReady();
  // Enter on a plain item sends the command to the owner.
  Script("tick 1: key 275 down\ntick 2: key 275 up\ntick 3: key 13 down\n");
  ASSERT_TRUE(m.TrackPopupMenu(root, 100, 100, owner, 8));
  Run(1, 3);
  EXPECT_EQ(TakeLog(), "start:ctx init end:ctx cmd:101 ");
}

TEST_F(MenuTracking, MenusNearTheCornerStayOnTheScreen) {
  BuildContextMenu();
  Script("tick 1: key 275 down\ntick 2: key 275 up\ntick 3: key 275 down\ntick 4: key 275 up\n"
         "tick 5: key 274 down\n");
  ASSERT_TRUE(m.TrackPopupMenu(root, 790, 590, nullptr, 8));
  const SLGuiRect r = ScreenRect(root);
  EXPECT_EQ(r.x + r.width, 800);
  EXPECT_EQ(r.y + r.height, 600);
  Run(1, 5);
  ASSERT_TRUE(Visible(sub));
  // No room on the right: the submenu opens on the left of its parent, moved up to fit.
  const SLGuiRect s = ScreenRect(sub);
  EXPECT_EQ(s.x + s.width, r.x);
  EXPECT_LE(s.y + s.height, 600);
  // Centred and right-aligned placements measure from the point.
  m.CloseMenus(nullptr);
  ASSERT_TRUE(m.TrackPopupMenu(root, 400, 300, nullptr, 5));
  EXPECT_EQ(ScreenRect(root).x + ScreenRect(root).width, 400);
  EXPECT_EQ(ScreenRect(root).y + ScreenRect(root).height, 300);
  m.CloseMenus(nullptr);
  ASSERT_TRUE(m.TrackPopupMenu(root, 400, 300, nullptr, 2));
  EXPECT_EQ(ScreenRect(root).x, 400 - ScreenRect(root).width / 2);
  EXPECT_EQ(ScreenRect(root).y, 300 - ScreenRect(root).height / 2);
}

// Up and to the left of the point, as the editor opens its menus: the point stays outside
// the menu near every corner of the screen, the menu turning past the point where it has
// no room before it, and inside the screen.
TEST_F(MenuTracking, MenusEndingAtThePointOpenPastItWithoutRoomBeforeIt) {
  BuildContextMenu();
  const struct {
    i32 x, y;
    bool pastX, pastY;
  } rows[] = {{400, 300, false, false}, {10, 10, true, true}, {790, 10, false, true},
              {10, 590, true, false}, {790, 590, false, false}};
  for (const auto& row : rows) {
    ASSERT_TRUE(m.TrackPopupMenu(root, row.x, row.y, nullptr, 5));
    const SLGuiRect r = ScreenRect(root);
    EXPECT_EQ(r.x, row.pastX ? row.x + 1 : row.x - r.width) << row.x << "," << row.y;
    EXPECT_EQ(r.y, row.pastY ? row.y + 1 : row.y - r.height) << row.x << "," << row.y;
    EXPECT_FALSE(row.x >= r.x && row.x < r.x + r.width && row.y >= r.y && row.y < r.y + r.height);
    EXPECT_GE(r.x, 0);
    EXPECT_LE(r.x + r.width, 800);
    EXPECT_GE(r.y, 0);
    EXPECT_LE(r.y + r.height, 600);
    m.CloseMenus(nullptr);
  }
  // Opened by a release in the tick the menu opens, with the pointer beside the menu: that
  // release leaves it open; a later click beside it closes it.
  Script("tick 0: mouse 400,300; button 1 down\ntick 1: button 1 up\ntick 2: button 1 down\ntick 3: button 1 up\n");
  Tick(0);
  ASSERT_TRUE(m.TrackPopupMenu(root, 400, 300, nullptr, 5));
  Tick(1);
  EXPECT_TRUE(Visible(root));
  Run(2, 3);
  EXPECT_FALSE(Visible(root));
}

class WindowMenu : public MenuTracking {
 protected:
  void SetUp() override {
    MenuTracking::SetUp();
    window = Owner("Ventana", {100, 50, 400, 300},
                   SL_GUI_TLS_CAPTION | SL_GUI_TLS_CLOSEBOX | SL_GUI_TLS_MOVABLE);
    bar = Menu(10);
    file = Menu(11);
    file->InsertItem(301, "&Nuevo", 0, nullptr, 9);
    file->InsertItem(302, "&Salir", 0, nullptr, 9);
    bar->InsertItem(1, "&Archivo", 0, file, 9);
    bar->InsertItem(401, "&Hola", 0, nullptr, 9);
    bar->InsertItem(402, "Ay&uda", SL_GUI_MF_DISABLED, nullptr, 9);
    ASSERT_TRUE(window->SetMenu(bar));
  }
  SLGuiPoint BarPoint(u32 i) {
    SLGuiRect b, item;
    bar->GetBarRect(&b);
    bar->GetItemRect(true, i, &item);
    return {b.x + item.x + item.width / 2, b.y + item.y + item.height / 2};
  }
  CMenuOwnerWindow* window = nullptr;
  CSL_GS_GuiMenuPopup* bar = nullptr;
  CSL_GS_GuiMenuPopup* file = nullptr;
};

TEST_F(WindowMenu, KeyboardOpensItAndMnemonicsEnterItems) {
  const struct {
    const char* name;
    const char* script;
    const char* log;
    bool open, fileOpen;
    i32 barSelection;
  } cases[] = {
      {"Alt released alone", "tick 1: key 324 down\ntick 2: key 324 up", "start:bar init ", true, false, 0},
      {"F10 released", "tick 1: key 377 down\ntick 2: key 377 up", "start:bar init ", true, false, 0},
      {"Alt used with F4 opens nothing", "tick 1: key 324 down\ntick 2: key 70 down\ntick 3: key 70 up; key 324 up",
       "", false, false, -1},
      {"Alt+A drops its menu", "tick 1: key 324 down\ntick 2: key 65 down; char 97\ntick 3: key 65 up; key 324 up",
       "start:bar init initpopup:11 ", true, true, 0},
      {"Alt+H chooses", "tick 1: key 324 down\ntick 2: key 72 down; char 104\ntick 3: key 72 up; key 324 up",
       "start:bar init end:bar cmd:401 ", false, false, -1},
      {"Alt+U of a disabled item", "tick 1: key 324 down\ntick 2: key 85 down; char 117\ntick 3: key 85 up; key 324 up",
       "", false, false, -1},
      {"Alt pressed while open closes and its release opens nothing",
       "tick 1: key 377 down\ntick 2: key 377 up\ntick 3: key 324 down\ntick 4: key 324 up",
       "start:bar init end:bar ", false, false, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Script(c.script);
    TakeLog();
    Run(1, 4);
    EXPECT_EQ(TakeLog(), c.log);
    EXPECT_EQ(StackSize() != 0, c.open);
    EXPECT_EQ(Visible(file), c.fileOpen);
    if (c.open) {
      EXPECT_EQ(bar->GetHighlightedItem(), c.barSelection);
    }
    m.CloseMenus(nullptr);
    ExpectClosedAndReady();
    Script("tick 1: key 324 up; key 377 up\n");
    Tick(1);
  }
}

TEST_F(WindowMenu, ClickOnTheBarDropsTheMenuAndAClickChooses) {
  Script("tick 1: mouse " + At(BarPoint(0)) + "\ntick 2: button 1 down\ntick 3: button 1 up\n");
  Run(1, 3);
  ASSERT_TRUE(Visible(file));
  // The bar's menu drops down before the start is announced.
  EXPECT_EQ(TakeLog(), "initpopup:11 start:bar init ");
  SLGuiRect b;
  bar->GetBarRect(&b);
  EXPECT_EQ(ScreenRect(file).y, b.y + b.height);
  // Moving along the open bar swaps the dropped menu; back to the first drops it again.
  const SLGuiPoint salir = ItemPoint(file, 1);
  Script("tick 4: mouse " + At(BarPoint(1)) + "\ntick 5: mouse " + At(BarPoint(0)) + "\ntick 6: mouse " +
         At(salir) + "\ntick 7: button 1 down\ntick 8: button 1 up\n");
  Tick(4);
  EXPECT_FALSE(Visible(file));
  Run(5, 8);
  EXPECT_EQ(TakeLog(), "initpopup:11 end:bar cmd:302 ");
  ExpectClosedAndReady();
}

// Menus that a notification closes while they open, and the menus opened afterwards.
TEST_F(MenuTracking, FailuresLeaveTheManagerReadyForTheNextMenu) {
  BuildContextMenu();
  auto* hooked = static_cast<CHookedPopup*>(
      m.CreateWindow(CHookedPopup::GetClassRecord(), "", 0, 0, 0, 0, 0, 0, 5, nullptr));
  hooked->InsertItem(501, "Cinco", 0, nullptr, 0);
  const struct {
    const char* name;
    std::function<bool()> open;
    const char* closeOn;
    u32 code;
  } cases[] = {
      {"not a menu", [&] { return m.TrackPopupMenu(reinterpret_cast<CSL_GS_GuiMenuPopup*>(Owner("X", {0, 0, 9, 9}, 0)), 0, 0, nullptr, 0); }, "", SL_E_INVALID_ARG},
      {"owner is a menu", [&] { return m.TrackPopupMenu(root, 0, 0, sub, 0); }, "", SL_E_INVALID_ARG},
      {"closed while shown", [&] { return m.TrackPopupMenu(hooked, 10, 10, nullptr, 8); }, "show:5", SL_E_GUI_DESTROYED},
      {"closed by the start", [&] { return m.TrackPopupMenu(root, 10, 10, nullptr, 8); }, "mstart:ctx", SL_E_GUI_DESTROYED},
      {"destroyed by its preparation", [&] { return m.TrackPopupMenu(root, 10, 10, nullptr, 8); }, "minit", SL_E_GUI_DESTROYED},
      {"window menu without a menu", [&] { return m.TrackOwnerMenu(Owner("Y", {0, 0, 9, 9}, 0), 0, 0, 0); }, "", SL_E_INVALID_ARG},
      {"unrelated window", [&] { m.TrackPopupMenu(root, 10, 10, nullptr, 8); return m.CloseMenus(Owner("Z", {0, 0, 9, 9}, 0)); }, "", SL_E_GUI_MENU_UNRELATED},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string closeOn = c.closeOn;
    const bool destroy = std::string(c.name).find("destroyed") != std::string::npos;
    SLMenuTest::s_hook = [&](const std::string& what) {
      if (what != closeOn) return;
      destroy ? (void)m.DestroyWindow(root) : (void)m.CloseMenus(nullptr);
    };
    EXPECT_FALSE(c.open());
    EXPECT_EQ(SLGetLastError(), c.code);
    SLMenuTest::s_hook = nullptr;
    m.CloseMenus(nullptr);
    ExpectClosedAndReady();
    if (!m.IsRegistered(root)) BuildContextMenu();
    // The next menu opens.
    ASSERT_TRUE(m.TrackPopupMenu(root, 10, 10, nullptr, 8));
    EXPECT_TRUE(Visible(root));
    ASSERT_TRUE(m.CloseMenus(nullptr));
  }
  // A submenu closed by its own preparation: the opening ends quietly and the next works.
  ASSERT_TRUE(m.TrackPopupMenu(root, 10, 10, nullptr, 8));
  SLMenuTest::s_hook = [&](const std::string& what) {
    if (what == "minitpopup:2") m.CloseMenus(nullptr);
  };
  EXPECT_FALSE(m.OpenMenuPopup(sub));
  EXPECT_EQ(SLGetLastError(), SL_OK);
  ExpectClosedAndReady();
  SLMenuTest::s_hook = nullptr;
  ASSERT_TRUE(m.TrackPopupMenu(root, 10, 10, nullptr, 8));
  EXPECT_TRUE(m.OpenMenuPopup(sub));
  EXPECT_TRUE(Visible(sub));
}

}  // namespace

namespace {

// A menu reopened by the end of its own closing while it is destroyed never stays open.
TEST_F(MenuTracking, MenuReopenedWhileDestroyedDoesNotStayOnTheStack) {
  BuildContextMenu();
  ASSERT_TRUE(m.TrackPopupMenu(root, 10, 10, nullptr, 8));
  bool reopened = true;
  SLMenuTest::s_hook = [&](const std::string& what) {
    if (what != "mend:ctx") return;
    SLMenuTest::s_hook = nullptr;
    reopened = m.TrackPopupMenu(root, 10, 10, nullptr, 8);
  };
  TSLObjPtr<CSL_GS_GuiWindow> hold(root);
  ASSERT_TRUE(m.DestroyWindow(root));
  EXPECT_FALSE(reopened);
  ExpectClosedAndReady();
}

}  // namespace
