// A menu: an ordered list of items (commands, check and radio items, items that open a
// submenu, separators) shown either as a popup window of its own, in one or more
// columns, or as the menu bar that a framed top-level window draws inside its frame, in
// rows. The menu only measures, places, draws and hit-tests its items; opening, the
// keyboard and the mouse of an open menu and the command belong to the GUI manager's
// menu tracking, which sets the highlighted item.
//
// A popup is created by the manager as an unparented, hidden window that only the menu
// code may show or hide (the manager's popup permission). A menu is the submenu of at
// most one item of one other menu, or the menu bar of at most one window; its item
// pointers to submenus are cleared when those are destroyed, and destroying a menu
// destroys its submenus.
#pragma once

#include "foundation/SLArray.h"
#include "gui/SLGuiWindow.h"

class CSL_GS_GuiTopLevelWindow;
struct SLGuiSkinElement;
struct SLGuiSkinGlyph;

enum : u32 {
  SL_E_GUI_MENU_UNRELATED = 0x80010009,
};

// Item flags (only the low 15 bits are stored).
enum : u32 {
  SL_GUI_MF_DISABLED = 0x1,
  SL_GUI_MF_BREAK = 0x2,          // new column (popup) or new row (bar); ignored on item 0
  SL_GUI_MF_RIGHTALIGN = 0x4,     // bar: from here on the last row goes to the right edge
  SL_GUI_MF_INDICATOR_MASK = 0x18,
  SL_GUI_MF_CHECK = 0x08,
  SL_GUI_MF_RADIO_OFF = 0x10,
  SL_GUI_MF_RADIO_ON = 0x18,
  SL_GUI_MF_STORED = 0x7FFF,
  SL_GUI_MF_SEPARATOR = 0xFFFF,   // the flags of a separator record
};

// Geometry of an item in one arrangement, relative to the menu's origin.
struct SLGuiMenuItemGeometry {
  i32 x, y, checkWidth, textWidth, rightWidth, height;
};

struct SLGuiMenuItem {
  u32 id;
  CSL_GS_GuiMenuPopup* submenu;
  u32 flags;
  char* text;  // owned copy; null for a separator
  SLGuiMenuItemGeometry popup;
  SLGuiMenuItemGeometry bar;
};

// Draws an element whole: its frame pieces over `rect`, then its inner area (or the
// background override) inside the insets. Nothing for a missing element.
void SLGuiDrawSkinPanel(CSL_GS_GuiManager* manager, const SLGuiSkinElement* element, const SLGuiRect& rect,
                        double opacity, const SLGuiSkinElement* backgroundOverride);

class CSL_GS_GuiMenuPopup : public CSL_GS_GuiWindow {
  SL_DECLARE_CLASS(CSL_GS_GuiMenuPopup)
  friend class CSL_GS_GuiManager;
  friend class CSL_GS_GuiTopLevelWindow;

 public:
  CSL_GS_GuiMenuPopup();
  ~CSL_GS_GuiMenuPopup() override;

  // --- Items ---
  // The index of the new item, or -1 with the error code set; an index past the end
  // appends. Flags above 0x7FFF are dropped.
  i32 InsertItem(u32 id, const char* text, u32 flags, CSL_GS_GuiMenuPopup* submenu, u32 index);
  i32 InsertSeparator(u32 index);
  // 0x80010008 for a submenu that is attached, already a submenu, this menu or one of
  // its ancestors; 0x80001001 for a bad index.
  bool SetItemSubmenu(u32 index, CSL_GS_GuiMenuPopup* submenu);
  u32 GetItemCount() const { return m_items.GetCount(); }
  u32 GetItemId(u32 index);
  const char* GetItemText(u32 index);
  CSL_GS_GuiMenuPopup* GetItemSubmenu(u32 index);
  u32 GetItemStyle(u32 index);
  CSL_GS_GuiMenuPopup* GetParentMenu() const { return m_parentMenu; }
  CSL_GS_GuiTopLevelWindow* GetAttachedWindow() const { return m_attachedWindow; }
  i32 GetHighlightedItem() const { return m_highlighted; }
  void SetHighlightedItem(i32 index) { m_highlighted = index; }

  // --- Arrangements ---
  void SetBarRect(const SLGuiRect& rect) { m_barRect = rect; }
  void GetBarRect(SLGuiRect* rect) const { *rect = m_barRect; }
  // Lays the items out in rows across `width`; answers the bar's height.
  i32 LayoutMenuBar(i32 width);
  // Lays the items out in columns; the popup's size.
  void LayoutPopup(i32* width, i32* height);
  bool GetItemRect(bool asBar, u32 index, SLGuiRect* rect);
  i32 ItemFromPoint(bool asBar, i32 x, i32 y);
  // Mode 1 first selectable, 2 next after `from`, 3 previous before `from` (both
  // wrapping once), 4: 1 when `from` is selectable, else 0.
  i32 FindSelectableItem(u32 mode, i32 from);
  u32 GetItemColumn(u32 index);
  i32 GetColumnFirstItem(u32 column);
  // The item whose text's mnemonic is `character` (upper-case compare) among the visible
  // items, or -1.
  i32 FindMnemonicItem(u32 character);

  // --- Virtual operations ---
  u32 GetState() override;
  bool NeedsPopupPermission() const override { return true; }
  bool GetTextStyle(CSL_GS_GuiWindow* window, u32 state, SL_GS_Font** font, SLGuiSkinColor* color) override;
  bool OnCreate() override;
  void OnPositionChanged(SLGuiWindowPos* pos) override;
  // Only the menu code shows and hides a popup, and the steps of doing so (topmost first,
  // visible after) must not close the menus it is opening.
  void OnCancelMode() override;
  void Draw(const SLGuiRect* clientOnScreen) override;
  void OnGfxChanged(CSL_GS_BaseGfx* gfx) override;
  void OnSkinChanged(u32 skin) override;
  virtual void DrawMenuBar(const SLGuiRect* rect);

 private:
  struct Look {
    SLGuiSkinElement *normal, *normalBackground, *disabled, *disabledBackground, *selectedArea;
    SLGuiSkinElement *horizontalSeparator, *verticalSeparator;
    SL_GS_Font* font;
    SLGuiSkinColor *normalColor, *selectedColor, *disabledColor;
  };
  // Glyph kinds and states: [kind][state], kinds check, radio on, radio off, submenu;
  // states normal, selected, disabled.
  enum { kGlyphCheck, kGlyphRadioOn, kGlyphRadioOff, kGlyphSubmenu, kGlyphKinds };

  void ReadSkin();
  void MeasureItems(bool asBar);
  bool IsSelectable(u32 index) const;
  bool IsDisabledMenu() const { return (m_style & SL_GUI_WS_DISABLED) != 0; }
  const SLGuiSkinGlyph* IndicatorGlyph(u32 flags, u32 state) const;
  const SLGuiSkinGlyph* GlyphFor(u32 kind, u32 state) const;
  // Closes this menu's open menus and lets the attached window lay itself out again.
  void ItemsChanged(bool closeMenus);
  i32 InsertRecord(const SLGuiMenuItem& record, u32 index);
  void DrawItem(u32 index, const SLGuiMenuItemGeometry& g, i32 originX, i32 originY, bool asBar, double opacity);
  bool IsAncestorOrSelf(CSL_GS_GuiMenuPopup* menu) const;

  SLGuiRect m_barRect;
  CSL_GS_GuiTopLevelWindow* m_attachedWindow;
  CSL_GS_GuiMenuPopup* m_parentMenu;
  TSLArray<SLGuiMenuItem> m_items;
  i32 m_highlighted;
  Look m_popupLook;
  Look m_barLook;
  const SLGuiSkinGlyph* m_glyphs[kGlyphKinds][3];
  bool m_onOpenPath;
  // The arrangement being measured or drawn (slot 13's font): 0 none, 1 popup, 2 bar.
  u32 m_arranging;
};
