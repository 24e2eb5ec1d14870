// The framed window of the toolkit, which every dialog derives from: a frame of four skin
// elements with or without a caption bar, a client background, a caption text, up to
// three caption buttons (minimize, maximize or restore, close), an optional window menu
// shown as a menu bar under the caption, and moving and sizing with the mouse.
//
// Everything comes from the skin sections "WindowWithCaption_Active", "_Inactive" and
// "_Common" (style bit 0) or "WindowWithoutCaption_..."; the window reads them when it is
// created and after every move or resize, since the caption layout depends on the size.
#pragma once

#include "gui/SLGuiSkin.h"
#include "gui/SLGuiWindow.h"

// Low style bits of a framed window.
enum : u32 {
  SL_GUI_TLS_CAPTION = 0x01,
  SL_GUI_TLS_MINIMIZEBOX = 0x02,
  SL_GUI_TLS_MAXIMIZEBOX = 0x04,
  SL_GUI_TLS_CLOSEBOX = 0x08,  // and a close request destroys the window
  SL_GUI_TLS_MOVABLE = 0x10,
  SL_GUI_TLS_SIZABLE = 0x20,
};

// The hit codes a framed window adds.
enum : u32 {
  SL_GUI_HIT_CLOSE = 2,
  SL_GUI_HIT_MINIMIZE = 3,
  SL_GUI_HIT_MAXIMIZE = 4,
  SL_GUI_HIT_RESTORE = 5,
  SL_GUI_HIT_CAPTION = 15,
  SL_GUI_HIT_MENUBAR = 26,
};

// Sizing edges of a drag on the border.
enum : u32 {
  SL_GUI_EDGE_LEFT = 1,
  SL_GUI_EDGE_RIGHT = 2,
  SL_GUI_EDGE_TOP = 16,
  SL_GUI_EDGE_BOTTOM = 32,
};

class CSL_GS_GuiTopLevelWindow : public CSL_GS_GuiWindow {
  SL_DECLARE_CLASS(CSL_GS_GuiTopLevelWindow)
  friend class CSL_GS_GuiManager;

 public:
  CSL_GS_GuiTopLevelWindow();
  ~CSL_GS_GuiTopLevelWindow() override;

  // Attaches a menu as the window menu, or detaches it with null. 0x80001001 for an
  // unregistered window or a window that is no menu; 0x80010008 for a menu attached
  // elsewhere, a submenu or an open menu. The old menu stays on failure.
  bool SetMenu(CSL_GS_GuiMenuPopup* menu);
  CSL_GS_GuiMenuPopup* GetMenu() const { return m_menu; }
  // The bar item under a point relative to the window, or -1.
  i32 MenuItemFromPoint(i32 x, i32 y);

  // What the skin gave, for the tests and the menu tracking (relative to the window).
  SLGuiRect GetCaptionRect() const { return m_captionRect; }
  SLGuiPoint GetCloseButtonPos() const { return m_closePos; }
  SLGuiPoint GetMaxRestoreButtonPos() const { return m_maxRestorePos; }
  SLGuiPoint GetMinButtonPos() const { return m_minPos; }
  // {left, top, right, bottom} of the variant in use.
  void GetBorderSizes(i32 sizes[4]) const;
  // The width of the left element and the height of the top element of the active set:
  // where the client corner lies before the menu bar.
  SLGuiPoint GetFrameOrigin() const;
  u32 GetPressedCode() const { return m_pressedCode; }
  u32 GetHoverCode() const { return m_hoverCode; }

  // --- Virtual operations ---
  bool CanMinimize() override;
  bool ClosesOnAltF4() const override { return true; }
  bool CanMaximize() override;
  u32 GetState() override;
  bool GetTextStyle(CSL_GS_GuiWindow* window, u32 state, SL_GS_Font** font, SLGuiSkinColor* color) override;
  bool OnCreate() override;
  void OnClose() override;
  void OnPositionChanged(SLGuiWindowPos* pos) override;
  void OnCancelMode() override;
  void OnCaptureLost(CSL_GS_GuiWindow* newCapture) override;
  void GetMinMaxInfo(SLGuiMinMaxInfo* info) override;
  void DrawFrame(const SLGuiRect* windowOnScreen) override;
  void Draw(const SLGuiRect* clientOnScreen) override;
  void GetClientArea(SLGuiRect* rect) override;
  using CSL_GS_GuiWindow::GetClientArea;
  u32 HitTest(i32 x, i32 y) override;
  void OnNcLButtonDblClk(u32 hit, u32 keys, i32 x, i32 y) override;
  void OnNcLButtonDown(u32 hit, u32 keys, i32 x, i32 y) override;
  void OnNcLButtonUp(u32 hit, u32 keys, i32 x, i32 y) override;
  void OnNcMouseEnter(u32 hit, u32 keys, i32 x, i32 y) override;
  void OnNcMouseMove(u32 hit, u32 keys, i32 x, i32 y) override;
  void OnNcMouseLeave() override;
  void OnLButtonDblClk(u32 keys, i32 x, i32 y) override;
  void OnLButtonDown(u32 keys, i32 x, i32 y) override;
  void OnLButtonUp(u32 keys, i32 x, i32 y) override;
  void OnMouseEnter(u32 keys, i32 x, i32 y) override;
  void OnMouseMove(u32 keys, i32 x, i32 y) override;
  void OnMouseLeave() override;

 private:
  // One frame variant: the four elements in each activity, the client background, the
  // border sizes {left, top, right, bottom} and the minimum size.
  struct Frame {
    const SLGuiSkinElement* active[4];    // top, bottom, left, right
    const SLGuiSkinElement* inactive[4];
    const SLGuiSkinElement* clientBackground;
    i32 borders[4];
    i32 minWidth, minHeight;
  };
  enum { kTop, kBottom, kLeft, kRight };
  // Caption-button glyphs: [button][state]; buttons minimize, maximize, restore, close;
  // states normal, over, click.
  enum { kMinimize, kMaximize, kRestore, kClose };

  void ReadSkin();
  void LayOutCaption();
  const Frame& CurrentFrame() const { return (m_style & SL_GUI_TLS_CAPTION) ? m_caption : m_plain; }
  bool IsActiveWindow() const;
  // The caption buttons present, each with its hit code, glyph row and position.
  struct Button {
    u32 code;
    u32 glyphRow;
    SLGuiPoint position;
  };
  u32 CaptionButtons(Button buttons[3]) const;
  // The point of a screen event relative to the window.
  SLGuiPoint ToWindow(i32 screenX, i32 screenY) const;
  void EndPress();
  void FireButton(u32 code);
  void TrackHover(u32 hit, i32 screenX, i32 screenY);

  // Fields in the order the frame works with them.
  u32 m_mouseFlags;       // 2 left button pressed here, 8 pointer over the window
  u32 m_hoverCode;
  u32 m_pressedCode;
  SLGuiPoint m_dragStart;
  SLGuiRect m_dragStartRect;
  u32 m_sizingEdges;
  CSL_GS_GuiMenuPopup* m_menu;
  SLGuiPoint m_closePos, m_maxRestorePos, m_minPos;
  Frame m_caption, m_plain;
  SLGuiRect m_captionRect;
  const SLGuiSkinGlyph* m_buttonGlyphs[4][3];
  SL_GS_Font* m_captionFont;
  const SLGuiSkinInfo* m_captionInfo;
  const SLGuiSkinInfo* m_closeInfo;
  const SLGuiSkinInfo* m_maxRestoreInfo;
  const SLGuiSkinInfo* m_minInfo;
  SLGuiSkinColor m_activeNormalColor, m_activeDisabledColor, m_inactiveNormalColor, m_inactiveDisabledColor;
  bool m_readingSkin;
};
