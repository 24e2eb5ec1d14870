// Menus on the default skin: the item list and its error codes, the searches, and both
// layouts computed by hand from the skin's sizes and the font's measured text widths.
#include <gtest/gtest.h>

#include "tests/support/GuiMenuFixture.h"

namespace {

class MenuPopup : public GuiMenuFixture {
 protected:
  // The default skin's "Menu": 13-pixel glyphs, a 2-pixel frame, a 2-pixel column rule.
  static constexpr i32 kGlyph = 13, kFrame = 2, kRule = 2;
  i32 TextWidth(const char* section, const char* text) {
    i32 w = 0;
    m.MeasureText(m.GetSkinFont(0, section, "Font"), text, &w, nullptr, nullptr);
    return w;
  }
  i32 LineHeight(const char* section) {
    i32 h = 0;
    m.MeasureText(m.GetSkinFont(0, section, "Font"), "Wj", nullptr, &h, nullptr);
    return h;
  }
  static std::string ItemRect(CSL_GS_GuiMenuPopup* menu, bool bar, u32 i) {
    SLGuiRect r;
    menu->GetItemRect(bar, i, &r);
    return Rect(r);
  }
};

TEST_F(MenuPopup, ItemListAnswersIndexesStylesAndCodes) {
  CSL_GS_GuiMenuPopup* menu = Menu(1);
  ASSERT_NE(menu, nullptr);
  // The first item is index 0 and a success; a failure is -1.
  SLSetLastError(0x1234);
  EXPECT_EQ(menu->InsertItem(11, "&Uno", 0, nullptr, 0), 0);
  EXPECT_EQ(SLGetLastError(), SL_OK);
  EXPECT_EQ(menu->InsertItem(12, "Dos", 0, nullptr, 99), 1);  // past the end appends
  EXPECT_EQ(menu->InsertSeparator(1), 1);
  EXPECT_EQ(menu->InsertItem(13, "Tres", 0xFFFF, nullptr, 0), 0);  // high flags dropped
  EXPECT_EQ(menu->GetItemCount(), 4u);
  const struct {
    u32 index;
    u32 id;
    const char* text;
    u32 style;
  } items[] = {
      {0, 13, "Tres", 0x20007FFF}, {1, 11, "&Uno", 0x20000000}, {2, 0, "", 0x30000000}, {3, 12, "Dos", 0x20000000}};
  for (const auto& it : items) {
    EXPECT_EQ(menu->GetItemId(it.index), it.id);
    EXPECT_STREQ(menu->GetItemText(it.index), it.text);
    EXPECT_EQ(menu->GetItemStyle(it.index), it.style);
  }
  EXPECT_EQ(menu->GetItemId(4), 0u);
  EXPECT_EQ(SLGetLastError(), SL_E_INDEX);
  EXPECT_EQ(menu->GetItemStyle(4), 0u);
  EXPECT_EQ(SLGetLastError(), SL_E_INVALID_ARG);
  EXPECT_FALSE(menu->SetItemSubmenu(4, nullptr));
  EXPECT_EQ(SLGetLastError(), SL_E_INVALID_ARG);
  EXPECT_EQ(menu->InsertItem(1, "x", 0, reinterpret_cast<CSL_GS_GuiMenuPopup*>(&m), 0), -1);
  EXPECT_EQ(SLGetLastError(), SL_E_INVALID_ARG);
  EXPECT_EQ(menu->GetItemCount(), 4u);
  // Separators are never found under a point.
  i32 w = 0, h = 0;
  menu->LayoutPopup(&w, &h);
  SLGuiRect sep;
  menu->GetItemRect(false, 2, &sep);
  EXPECT_EQ(menu->ItemFromPoint(false, sep.x + 1, sep.y), -1);
  SLGuiRect dos;
  menu->GetItemRect(false, 3, &dos);
  EXPECT_EQ(menu->ItemFromPoint(false, dos.x + 1, dos.y + 1), 3);
}

TEST_F(MenuPopup, FindSelectableItemWrapsAndSkipsSeparatorsAndDisabledItems) {
  CSL_GS_GuiMenuPopup* menu = Menu(1);
  menu->InsertItem(1, "A", 0, nullptr, 9);
  menu->InsertSeparator(9);
  menu->InsertItem(2, "B", SL_GUI_MF_DISABLED, nullptr, 9);
  menu->InsertItem(3, "C", 0, nullptr, 9);
  const struct {
    u32 mode;
    i32 from, expected;
  } cases[] = {{1, 0, 0},  {2, 3, 0},  {2, 0, 3},  {2, -5, 0}, {2, 99, 0}, {3, 0, 3},
               {3, 3, 0},  {3, 99, 0}, {4, 0, 1},  {4, 1, 0},  {4, 2, 0},  {4, 9, 0}};
  for (const auto& c : cases) EXPECT_EQ(menu->FindSelectableItem(c.mode, c.from), c.expected) << c.mode << "," << c.from;
  ASSERT_TRUE(menu->Enable(false));
  EXPECT_EQ(menu->FindSelectableItem(1, 0), -1);
  EXPECT_EQ(menu->FindSelectableItem(4, 0), 0);
  EXPECT_EQ(menu->ItemFromPoint(false, 5, 5), -1);
  CSL_GS_GuiMenuPopup* rules = Menu(2);
  rules->InsertSeparator(0);
  rules->InsertSeparator(0);
  for (u32 mode = 1; mode <= 3; ++mode) EXPECT_EQ(rules->FindSelectableItem(mode, 0), -1);
}

TEST_F(MenuPopup, SubmenuCyclesAndSecondParentsAreRefused) {
  CSL_GS_GuiMenuPopup* a = Menu(1);
  CSL_GS_GuiMenuPopup* b = Menu(2);
  CSL_GS_GuiMenuPopup* c = Menu(3);
  for (CSL_GS_GuiMenuPopup* menu : {a, b, c}) ASSERT_EQ(menu->InsertItem(7, "x", 0, nullptr, 0), 0);
  ASSERT_TRUE(a->SetItemSubmenu(0, b));
  ASSERT_TRUE(b->SetItemSubmenu(0, c));
  const struct {
    const char* name;
    CSL_GS_GuiMenuPopup* menu;
    CSL_GS_GuiMenuPopup* submenu;
  } cases[] = {{"itself", a, a}, {"its parent", b, a}, {"its grandparent", c, a}, {"a second parent", a, c}};
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    EXPECT_FALSE(k.menu->SetItemSubmenu(0, k.submenu));
    EXPECT_EQ(SLGetLastError(), SL_E_BUSY);
    EXPECT_EQ(k.menu->InsertItem(8, "y", 0, k.submenu, 0), -1);
    EXPECT_EQ(SLGetLastError(), SL_E_BUSY);
  }
  EXPECT_EQ(a->GetItemSubmenu(0), b);
  EXPECT_EQ(c->GetParentMenu(), b);
  // The menu still opens, with both levels collected once, and closes.
  ASSERT_TRUE(m.TrackPopupMenu(a, 100, 100, nullptr, 8));
  EXPECT_EQ(m.GetState()->menuStack->GetCount(), 3u);
  ASSERT_TRUE(m.CloseMenus(nullptr));
  EXPECT_EQ(m.GetState()->menuStack->GetCount(), 0u);
  EXPECT_FALSE(Visible(a));
  // Moving a submenu: the old one is free again.
  ASSERT_TRUE(a->SetItemSubmenu(0, nullptr));
  EXPECT_EQ(b->GetParentMenu(), nullptr);
  ASSERT_TRUE(c->SetItemSubmenu(0, nullptr));
}

TEST_F(MenuPopup, PopupColumnsFollowBreaksWithSharedColumnWidths) {
  CSL_GS_GuiMenuPopup* menu = Menu(1);
  CSL_GS_GuiMenuPopup* sub = Menu(2);
  sub->InsertItem(1, "z", 0, nullptr, 0);
  menu->InsertItem(1, "Abrir", SL_GUI_MF_BREAK, nullptr, 9);  // a break on the first item does nothing
  menu->InsertItem(2, "Guardar como", SL_GUI_MF_CHECK, nullptr, 9);
  menu->InsertSeparator(9);
  menu->InsertItem(3, "Salir", SL_GUI_MF_BREAK, sub, 9);
  i32 width = 0, height = 0;
  menu->LayoutPopup(&width, &height);
  const i32 h = std::max(LineHeight("Menu") + 4, kGlyph);
  const i32 column0 = std::max(TextWidth("Menu", "Abrir"), TextWidth("Menu", "Guardar como"));
  // Separators take the column's widths too.
  const i32 item0 = column0 + 6 + (kGlyph + 4) + (kGlyph + 4);
  const i32 item1 = TextWidth("Menu", "Salir") + 6 + (kGlyph + 4) + (kGlyph + 4);
  const i32 x1 = item0 + kRule + 4;
  const std::vector<std::string> expected = {
      Rect({kFrame, kFrame + 2, item0, h}), Rect({kFrame, kFrame + 2 + h + 4, item0, h}),
      Rect({kFrame, kFrame + 2 + 2 * (h + 4), item0, 2}), Rect({kFrame + x1, kFrame + 2, item1, h})};
  for (u32 i = 0; i < 4; ++i) EXPECT_EQ(ItemRect(menu, false, i), expected[i]) << i;
  EXPECT_EQ(width, x1 + item1 + 2 * kFrame);
  EXPECT_EQ(height, 2 * (h + 4) + 2 + 4 + 2 * kFrame);
  const std::vector<u32> columns = {0, 0, 0, 1};
  for (u32 i = 0; i < 4; ++i) EXPECT_EQ(menu->GetItemColumn(i), columns[i]);
  EXPECT_EQ(menu->GetColumnFirstItem(1), 3);
  EXPECT_EQ(menu->GetColumnFirstItem(2), -1);
}

TEST_F(MenuPopup, BarRowsWrapAndPushTheRightAlignedTailToTheEdge) {
  CSL_GS_GuiMenuPopup* bar = Menu(1);
  const char* const texts[] = {"&Archivo", "&Editar", "&Ver", "Ay&uda"};
  for (const char* text : texts) bar->InsertItem(1, text, 0, nullptr, 99);
  i32 widths[4];
  for (int i = 0; i < 4; ++i) widths[i] = TextWidth("MenuBar", texts[i]) + 6;
  const i32 h = LineHeight("MenuBar") + 4;
  // One row: 2-pixel frame on every side.
  EXPECT_EQ(bar->LayoutMenuBar(400), h + 4);
  EXPECT_EQ(ItemRect(bar, true, 1), Rect({2 + widths[0], 2, widths[1], h}));
  // Too narrow for the third item: it starts a second row.
  const i32 usable = widths[0] + widths[1] + widths[2] - 1;
  EXPECT_EQ(bar->LayoutMenuBar(usable + 4), 2 * h + 4);
  EXPECT_EQ(ItemRect(bar, true, 2), Rect({2, 2 + h, widths[2], h}));
  // A break starts a row; the right-aligned tail of the last row ends at the edge.
  CSL_GS_GuiMenuPopup* tail = Menu(2);
  tail->InsertItem(1, texts[0], 0, nullptr, 99);
  tail->InsertItem(2, texts[1], SL_GUI_MF_BREAK, nullptr, 99);
  tail->InsertItem(3, texts[2], 0, nullptr, 99);
  tail->InsertItem(4, texts[3], SL_GUI_MF_RIGHTALIGN, nullptr, 99);
  EXPECT_EQ(tail->LayoutMenuBar(400), 2 * h + 4);
  EXPECT_EQ(ItemRect(tail, true, 0), Rect({2, 2, widths[0], h}));
  EXPECT_EQ(ItemRect(tail, true, 2), Rect({2 + widths[1], 2 + h, widths[2], h}));
  EXPECT_EQ(ItemRect(tail, true, 3), Rect({2 + 396 - widths[3], 2 + h, widths[3], h}));
  // An item alone and still too wide gives up text width.
  EXPECT_EQ(tail->LayoutMenuBar(20), 4 * h + 4);
  EXPECT_EQ(ItemRect(tail, true, 0), Rect({2, 2, 16, h}));
}

}  // namespace

namespace {

size_t Count(const std::string& log, const std::string& what) {
  size_t n = 0;
  for (size_t p = 0; (p = log.find(what, p)) != std::string::npos; p += what.size()) ++n;
  return n;
}

// The bar shows its highlighted item, except while a context menu is tracked; an open
// popup draws every item's text.
TEST_F(MenuPopup, BarHighlightHidesWhileAContextMenuIsTracked) {
  CMenuOwnerWindow* w = Owner("Ventana", {100, 50, 300, 200}, SL_GUI_TLS_CAPTION);
  CSL_GS_GuiMenuPopup* bar = Menu(1);
  bar->InsertItem(1, "&Archivo", 0, nullptr, 9);
  bar->InsertItem(2, "&Ver", 0, nullptr, 9);
  ASSERT_TRUE(w->SetMenu(bar));
  auto frame = [&] {
    gfx.m_log.clear();
    m.Draw();
    return gfx.m_log;
  };
  SLGuiRect rect{0, 0, 300, 30};
  // Outside a frame the bar draws under the whole screen's clip.
  auto barImages = [&] {
    SLGuiManagerState* state = m.GetState();
    state->clipX = 0, state->clipY = 0, state->clipWidth = 800, state->clipHeight = 600;
    gfx.m_log.clear();
    bar->DrawMenuBar(&rect);
    return Count(gfx.m_log, "image");
  };
  const size_t plain = barImages();
  bar->SetHighlightedItem(1);
  const size_t highlighted = barImages();
  EXPECT_GT(highlighted, plain);
  CSL_GS_GuiMenuPopup* context = Menu(2);
  context->InsertItem(3, "Copiar", 0, nullptr, 0);
  context->InsertItem(4, "Pegar", SL_GUI_MF_DISABLED, nullptr, 9);
  ASSERT_TRUE(m.TrackPopupMenu(context, 150, 150, nullptr, 8));
  bar->SetHighlightedItem(1);
  EXPECT_EQ(barImages(), plain);
  const std::string log = frame();
  EXPECT_EQ(Count(log, "text 'Copiar'"), 1u);
  EXPECT_EQ(Count(log, "text 'Pegar'"), 1u);
  m.CloseMenus(nullptr);
  // The window menu's own tracking shows it.
  ASSERT_TRUE(m.TrackOwnerMenu(w, 0, 0, 0));
  bar->SetHighlightedItem(1);
  EXPECT_EQ(barImages(), highlighted);
}

}  // namespace
