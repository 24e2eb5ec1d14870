// The item list of a menu, its two layouts (columns of a popup, rows of a menu bar),
// hit testing and the item searches the menu tracking uses.
//
// Geometry of an item, in either arrangement, from its left edge:
//   3 | check column | 4 | text | 4 | right column | 3
// where a column of width 0 takes its gap with it.
#include "gui/SLGuiMenuPopup.h"

#include <algorithm>

#include "foundation/SLCaseMap.h"
#include "foundation/SLMemory.h"
#include "foundation/SLStr.h"
#include "gui/SLGuiManager.h"
#include "gui/SLGuiTopLevelWindow.h"

namespace {

using WindowHold = TSLObjPtr<CSL_GS_GuiWindow>;

i32 ItemWidth(const SLGuiMenuItemGeometry& g, bool asBar) {
  i64 width = i64(g.textWidth) + 6;
  if (g.checkWidth > 0) width += i64(g.checkWidth) + 4;
  if (!asBar && g.rightWidth > 0) width += i64(g.rightWidth) + 4;
  return i32(std::min<i64>(width, 0x7FFFFFFF));
}

}  // namespace

CSL_GS_GuiMenuPopup::CSL_GS_GuiMenuPopup()
    : m_barRect{}, m_attachedWindow(nullptr), m_parentMenu(nullptr), m_highlighted(-1), m_popupLook{}, m_barLook{},
      m_glyphs{}, m_onOpenPath(false), m_arranging(0) {}

CSL_GS_GuiMenuPopup::~CSL_GS_GuiMenuPopup() {
  SLErrorKeeper keep;
  for (SLGuiMenuItem& item : m_items) SLFree(item.text);
  m_items.Free();
}

// --- Items ---

bool CSL_GS_GuiMenuPopup::IsAncestorOrSelf(CSL_GS_GuiMenuPopup* menu) const {
  // The parent chain is acyclic (SetItemSubmenu refuses cycles), so this ends; the bound
  // is only a guard against a chain broken some other way.
  u32 steps = 0;
  for (const CSL_GS_GuiMenuPopup* m = this; m && steps < 1u << 20; m = m->m_parentMenu, ++steps)
    if (m == menu) return true;
  return false;
}

void CSL_GS_GuiMenuPopup::ItemsChanged(bool closeMenus) {
  WindowHold hold(this);
  CSL_GS_GuiManager* manager = m_manager;
  if (!manager) return;
  SLErrorKeeper keep;
  if (closeMenus && manager->IsMenuOpen(this)) manager->CloseMenus(this);
  if (!IsRegistered()) return;
  if (CSL_GS_GuiTopLevelWindow* window = m_attachedWindow) {
    WindowHold windowHold(window);
    if (window->IsRegistered()) window->SetPosition(0, 0, 0, 0, SL_GUI_SWP_REFRESH_LAYOUT, std::uintptr_t(0));
  }
}

i32 CSL_GS_GuiMenuPopup::InsertRecord(const SLGuiMenuItem& record, u32 index) {
  WindowHold hold(this);
  if (!IsRegistered()) {
    SLFree(record.text);
    return SLFail(SL_E_INVALID_ARG, -1);
  }
  if (record.submenu && (!m_manager->IsMenuPopup(record.submenu) || record.submenu->m_attachedWindow ||
                         record.submenu->m_parentMenu || IsAncestorOrSelf(record.submenu))) {
    SLFree(record.text);
    return SLFail(m_manager->IsMenuPopup(record.submenu) ? u32(SL_E_BUSY) : u32(SL_E_INVALID_ARG), -1);
  }
  // Closing the open menus runs handlers, which may destroy the submenu.
  WindowHold submenuHold(record.submenu);
  ItemsChanged(true);
  if (!IsRegistered()) {
    SLFree(record.text);
    return SLFail(SL_E_NOT_INITIALISED, -1);
  }
  // The submenu may have been taken meanwhile by a handler of the closing menus.
  if (record.submenu && (!record.submenu->IsRegistered() || record.submenu->m_attachedWindow ||
                         record.submenu->m_parentMenu || IsAncestorOrSelf(record.submenu))) {
    SLFree(record.text);
    return SLFail(SL_E_BUSY, -1);
  }
  index = std::min(index, m_items.GetCount());
  if (m_items.GetCount() >= 0x7FFFFFFF || !m_items.InsertAt(record, index)) {
    SLFree(record.text);
    return SLFail(SL_E_OUT_OF_MEMORY, -1);
  }
  if (record.submenu) record.submenu->m_parentMenu = this;
  // The highlight follows its item.
  if (m_highlighted >= i32(index)) ++m_highlighted;
  ItemsChanged(false);
  return SLSucceed(i32(index));
}

i32 CSL_GS_GuiMenuPopup::InsertItem(u32 id, const char* text, u32 flags, CSL_GS_GuiMenuPopup* submenu, u32 index) {
  SLGuiMenuItem record{};
  record.id = id;
  record.submenu = submenu;
  record.flags = flags & SL_GUI_MF_STORED;
  record.text = SLStrDupA(text, true);
  if (!record.text) return SLFail(SL_E_OUT_OF_MEMORY, -1);
  return InsertRecord(record, index);
}

i32 CSL_GS_GuiMenuPopup::InsertSeparator(u32 index) {
  SLGuiMenuItem record{};
  record.flags = SL_GUI_MF_SEPARATOR;
  return InsertRecord(record, index);
}

bool CSL_GS_GuiMenuPopup::SetItemSubmenu(u32 index, CSL_GS_GuiMenuPopup* submenu) {
  WindowHold hold(this);
  if (!IsRegistered() || index >= m_items.GetCount()) return SLFail(SL_E_INVALID_ARG, false);
  if (submenu) {
    if (!m_manager->IsMenuPopup(submenu)) return SLFail(SL_E_INVALID_ARG, false);
    if (submenu == m_items[index].submenu) return SLSucceed(true);
    // A menu that is its own ancestor would make the open path and the collection of
    // submenus endless.
    if (submenu->m_attachedWindow || submenu->m_parentMenu || IsAncestorOrSelf(submenu) ||
        m_manager->IsMenuOpen(submenu))
      return SLFail(SL_E_BUSY, false);
  }
  WindowHold submenuHold(submenu);
  ItemsChanged(true);
  if (!IsRegistered()) return SLFail(SL_E_NOT_INITIALISED, false);
  if (index >= m_items.GetCount()) return SLFail(SL_E_INVALID_ARG, false);
  if (submenu && (!submenu->IsRegistered() || submenu->m_attachedWindow || submenu->m_parentMenu))
    return SLFail(SL_E_BUSY, false);
  if (CSL_GS_GuiMenuPopup* old = m_items[index].submenu) old->m_parentMenu = nullptr;
  m_items[index].submenu = submenu;
  if (submenu) submenu->m_parentMenu = this;
  ItemsChanged(false);
  return SLSucceed(true);
}

u32 CSL_GS_GuiMenuPopup::GetItemId(u32 index) {
  if (index >= m_items.GetCount()) return SLFail(SL_E_INDEX, 0u);
  return SLSucceed(m_items[index].id);
}

const char* CSL_GS_GuiMenuPopup::GetItemText(u32 index) {
  if (index >= m_items.GetCount()) return SLFail(SL_E_INDEX, "");
  return SLSucceed(m_items[index].text ? static_cast<const char*>(m_items[index].text) : "");
}

CSL_GS_GuiMenuPopup* CSL_GS_GuiMenuPopup::GetItemSubmenu(u32 index) {
  if (index >= m_items.GetCount()) return SLFail(SL_E_INDEX, static_cast<CSL_GS_GuiMenuPopup*>(nullptr));
  return SLSucceed(m_items[index].submenu);
}

u32 CSL_GS_GuiMenuPopup::GetItemStyle(u32 index) {
  if (index >= m_items.GetCount()) return SLFail(SL_E_INVALID_ARG, 0u);
  const u32 flags = m_items[index].flags;
  if (flags == SL_GUI_MF_SEPARATOR) return SLSucceed(u32(SL_GUI_WS_VISIBLE | SL_GUI_WS_DISABLED));
  return SLSucceed(flags | SL_GUI_WS_VISIBLE);
}

// --- Searches ---

bool CSL_GS_GuiMenuPopup::IsSelectable(u32 index) const {
  if (index >= m_items.GetCount()) return false;
  const u32 flags = m_items[index].flags;
  return flags != SL_GUI_MF_SEPARATOR && !(flags & SL_GUI_MF_DISABLED);
}

i32 CSL_GS_GuiMenuPopup::FindSelectableItem(u32 mode, i32 from) {
  const i32 count = i32(m_items.GetCount());
  if (mode == 4) return SLSucceed(!IsDisabledMenu() && from >= 0 && IsSelectable(u32(from)) ? 1 : 0);
  if (IsDisabledMenu() || count == 0 || mode < 1 || mode > 3) return SLSucceed(-1);
  i32 start;
  if (mode == 1)
    start = 0;
  else if (mode == 2)
    start = from < 0 || from >= count - 1 ? 0 : from + 1;
  else
    start = from <= 0 ? count - 1 : std::min(from, count - 1) - 1;
  const i32 step = mode == 3 ? -1 : 1;
  for (i32 n = 0, i = start; n < count; ++n, i = (i + step + count) % count)
    if (IsSelectable(u32(i))) return SLSucceed(i);
  return SLSucceed(-1);
}

u32 CSL_GS_GuiMenuPopup::GetItemColumn(u32 index) {
  u32 column = 0;
  const u32 last = std::min(index, m_items.GetCount() ? m_items.GetCount() - 1 : 0);
  for (u32 i = 1; i <= last && i < m_items.GetCount(); ++i)
    if (m_items[i].flags != SL_GUI_MF_SEPARATOR && (m_items[i].flags & SL_GUI_MF_BREAK)) ++column;
  return SLSucceed(column);
}

i32 CSL_GS_GuiMenuPopup::GetColumnFirstItem(u32 column) {
  u32 current = 0;
  for (u32 i = 0; i < m_items.GetCount(); ++i) {
    if (i > 0 && m_items[i].flags != SL_GUI_MF_SEPARATOR && (m_items[i].flags & SL_GUI_MF_BREAK)) ++current;
    if (current == column) return SLSucceed(i32(i));
    if (current > column) break;
  }
  return SLSucceed(-1);
}

i32 CSL_GS_GuiMenuPopup::FindMnemonicItem(u32 character) {
  if (character == 0 || character > 0xFF) return SLSucceed(-1);
  const u8 wanted = SLToUpperA(u8(character));
  for (u32 i = 0; i < m_items.GetCount(); ++i) {
    const char* text = m_items[i].text;
    for (const char* p = text; p && *p; ++p) {
      if (*p != '&') continue;
      if (p[1] == '&') {
        ++p;
        continue;
      }
      if (p[1] && SLToUpperA(u8(p[1])) == wanted) return SLSucceed(i32(i));
      break;
    }
  }
  return SLSucceed(-1);
}

// --- Layouts ---

void CSL_GS_GuiMenuPopup::MeasureItems(bool asBar) {
  CSL_GS_GuiManager* manager = m_manager;
  const Look& look = asBar ? m_barLook : m_popupLook;
  m_arranging = asBar ? 2 : 1;
  SLErrorKeeper keep;
  i32 lineHeight = 0;
  if (manager) manager->MeasureText(look.font, "Wj", nullptr, &lineHeight, nullptr);
  if (lineHeight <= 0) lineHeight = 2;
  auto widthOf = [](const SLGuiSkinGlyph* g) { return g ? g->width : 0; };
  auto heightOf = [](const SLGuiSkinGlyph* g) { return g ? g->height : 0; };
  const i32 indicatorWidth = std::max({widthOf(m_glyphs[kGlyphCheck][0]), widthOf(m_glyphs[kGlyphRadioOn][0]),
                                       widthOf(m_glyphs[kGlyphRadioOff][0])});
  const i32 arrowWidth = widthOf(m_glyphs[kGlyphSubmenu][0]);
  for (SLGuiMenuItem& item : m_items) {
    SLGuiMenuItemGeometry& g = asBar ? item.bar : item.popup;
    g = {};
    if (item.flags == SL_GUI_MF_SEPARATOR) {
      if (!asBar && look.horizontalSeparator) {
        g.textWidth = look.horizontalSeparator->width;
        g.height = look.horizontalSeparator->height;
      }
      continue;
    }
    g.height = lineHeight + 4;
    i32 textWidth = 0;
    if (manager) manager->MeasureText(look.font, item.text, &textWidth, nullptr, nullptr);
    g.textWidth = textWidth > 0 ? textWidth : 2;
    const SLGuiSkinGlyph* indicator = IndicatorGlyph(item.flags, 0);
    if (!asBar) {
      g.checkWidth = indicatorWidth;
      g.rightWidth = arrowWidth;
      if (indicator) g.checkWidth = std::max(g.checkWidth, indicator->width);
      if (indicator) g.height = std::max(g.height, indicator->height);
      if (item.submenu) {
        g.rightWidth = std::max(g.rightWidth, arrowWidth);
        g.height = std::max(g.height, heightOf(m_glyphs[kGlyphSubmenu][0]));
      }
    } else if (indicator) {
      g.checkWidth = indicator->width;
    }
  }
  if (!asBar) {
    // One check and one right column for the whole popup; one text width per column.
    i32 check = 0, right = 0;
    for (const SLGuiMenuItem& item : m_items) check = std::max(check, item.popup.checkWidth), right = std::max(right, item.popup.rightWidth);
    for (u32 first = 0; first < m_items.GetCount();) {
      u32 end = first + 1;
      while (end < m_items.GetCount() && !(m_items[end].flags != SL_GUI_MF_SEPARATOR && (m_items[end].flags & SL_GUI_MF_BREAK))) ++end;
      i32 text = 0;
      for (u32 i = first; i < end; ++i) text = std::max(text, m_items[i].popup.textWidth);
      for (u32 i = first; i < end; ++i) {
        m_items[i].popup.checkWidth = check;
        m_items[i].popup.rightWidth = right;
        m_items[i].popup.textWidth = text;
      }
      first = end;
    }
  }
  m_arranging = 0;
}

void CSL_GS_GuiMenuPopup::LayoutPopup(i32* width, i32* height) {
  MeasureItems(false);
  const i32 gap = (m_popupLook.verticalSeparator ? m_popupLook.verticalSeparator->width : 0) + 4;
  i64 x = 0, y = 2, widest = 0, columnHeight = 0, tallest = 0;
  for (u32 i = 0; i < m_items.GetCount(); ++i) {
    SLGuiMenuItemGeometry& g = m_items[i].popup;
    if (i > 0 && m_items[i].flags != SL_GUI_MF_SEPARATOR && (m_items[i].flags & SL_GUI_MF_BREAK)) {
      x = widest + gap;
      y = 2;
      columnHeight = 0;
    }
    g.x = i32(std::min<i64>(x, 0x3FFFFFFF));
    g.y = i32(std::min<i64>(y, 0x3FFFFFFF));
    widest = std::max<i64>(widest, x + ItemWidth(g, false));
    y += i64(g.height) + 4;
    columnHeight += i64(g.height) + 4;
    tallest = std::max(tallest, columnHeight);
  }
  if (const SLGuiSkinElement* normal = m_popupLook.normal) {
    for (SLGuiMenuItem& item : m_items) item.popup.x += normal->left, item.popup.y += normal->top;
    widest += i64(normal->left) + normal->right;
    tallest += i64(normal->top) + normal->bottom;
  }
  if (width) *width = i32(std::clamp<i64>(widest, 0, 65535));
  if (height) *height = i32(std::clamp<i64>(tallest, 0, 65535));
}

i32 CSL_GS_GuiMenuPopup::LayoutMenuBar(i32 width) {
  MeasureItems(true);
  const SLGuiSkinElement* normal = m_barLook.normal;
  const i64 usable = std::max<i64>(0, i64(width) - (normal ? i64(normal->left) + normal->right : 0));
  i64 x = 0, rowTop = 0, rowHeight = 0;
  u32 lastRowFirst = 0;
  bool rowEmpty = true;
  for (u32 i = 0; i < m_items.GetCount(); ++i) {
    SLGuiMenuItem& item = m_items[i];
    SLGuiMenuItemGeometry& g = item.bar;
    if (item.flags == SL_GUI_MF_SEPARATOR) {
      g.x = i32(x), g.y = i32(rowTop);
      continue;
    }
    const i64 advance = ItemWidth(g, true);
    const bool breakHere = i > 0 && (item.flags & SL_GUI_MF_BREAK);
    if (!rowEmpty && (breakHere || x + advance > usable)) {
      rowTop += rowHeight;
      x = 0, rowHeight = 0, rowEmpty = true;
      lastRowFirst = i;
    }
    if (rowEmpty && x + advance > usable) {
      // Alone and still too wide: the text gives way first, then the check column.
      const i64 check = g.checkWidth > 0 ? i64(g.checkWidth) + 4 : 0;
      i64 text = usable - check - 6;
      if (text < 0) {
        if (g.checkWidth > 0) g.checkWidth = i32(std::max<i64>(0, g.checkWidth + text));
        text = 0;
      }
      g.textWidth = i32(text);
    }
    g.x = i32(x), g.y = i32(rowTop);
    x += ItemWidth(g, true);
    rowHeight = std::max<i64>(rowHeight, g.height);
    rowEmpty = false;
  }
  // Right-aligned tail: from the first item with the flag, when it is in the last row.
  for (u32 i = 0; i < m_items.GetCount(); ++i) {
    if (m_items[i].flags == SL_GUI_MF_SEPARATOR || !(m_items[i].flags & SL_GUI_MF_RIGHTALIGN)) continue;
    if (i < lastRowFirst) break;
    const i64 shift = usable - x;
    if (shift > 0)
      for (u32 k = i; k < m_items.GetCount(); ++k) m_items[k].bar.x = i32(m_items[k].bar.x + shift);
    break;
  }
  const i64 total = rowTop + rowHeight + (normal ? i64(normal->top) + normal->bottom : 0);
  if (normal)
    for (SLGuiMenuItem& item : m_items) item.bar.x += normal->left, item.bar.y += normal->top;
  return SLSucceed(i32(std::clamp<i64>(total, 0, 65535)));
}

bool CSL_GS_GuiMenuPopup::GetItemRect(bool asBar, u32 index, SLGuiRect* rect) {
  if (!rect) return SLFail(SL_E_INVALID_ARG, false);
  *rect = {};
  if (index >= m_items.GetCount()) return SLFail(SL_E_INDEX, false);
  const SLGuiMenuItemGeometry& g = asBar ? m_items[index].bar : m_items[index].popup;
  *rect = {g.x, g.y, ItemWidth(g, asBar), g.height};
  return SLSucceed(true);
}

i32 CSL_GS_GuiMenuPopup::ItemFromPoint(bool asBar, i32 x, i32 y) {
  if (IsDisabledMenu()) return SLSucceed(-1);
  for (u32 i = 0; i < m_items.GetCount(); ++i) {
    if (!IsSelectable(i)) continue;
    SLGuiRect r;
    GetItemRect(asBar, i, &r);
    if (x >= r.x && y >= r.y && i64(x) < i64(r.x) + r.width && i64(y) < i64(r.y) + r.height) return SLSucceed(i32(i));
  }
  return SLSucceed(-1);
}
