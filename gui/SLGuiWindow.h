// The window base of the GUI toolkit. Every screen, dialog and widget is a
// CSL_GS_GuiWindow: a rectangle in the manager's tree that draws itself through the
// graphics device and receives its notifications through the virtual operations below.
//
// Lifetime. The manager's registry owns one reference from CreateWindow until
// DestroyWindow. Any handler may destroy its own window (or another), so every public
// operation holds a reference on the window for the whole call and checks the
// registration after each virtual call: a window gone meanwhile ends the operation with
// 0x80010002 before anything touches its state again. The object itself is freed when
// the last reference goes, possibly after the manager let it go.
#pragma once

#include "foundation/SLError.h"
#include "foundation/SLIntrusiveList.h"
#include "foundation/SLObject.h"
#include "foundation/SLString.h"

class CSL_GS_GuiManager;
class CSL_GS_GuiMenuPopup;
class CSL_GS_GuiInternalHScrollBar;
class CSL_GS_GuiInternalVScrollBar;
class CSL_GS_GuiScrollBarBase;
class CSL_GS_BaseGfx;
class CSL_GS_BaseSfx;
struct SL_GS_Image;
struct SL_GS_Font;
struct SLGuiSkinColor;

enum : u32 {
  // Codes of the window operations.
  SL_E_GUI_DESTROYED = 0x80002002,  // the target went away during a notification
};

struct SLGuiRect {
  i32 x, y, width, height;
};
struct SLGuiPoint {
  i32 x, y;
};

// Style word of a window. The widgets use the low bits for their own styles.
enum : u32 {
  SL_GUI_WS_CHILD = 0x80000000,
  SL_GUI_WS_OWNED = 0x40000000,
  SL_GUI_WS_VISIBLE = 0x20000000,
  SL_GUI_WS_DISABLED = 0x10000000,
  SL_GUI_WS_TABSTOP = 0x02000000,
  SL_GUI_WS_MODAL = 0x01000000,
  SL_GUI_WS_VSCROLL = 0x00800000,
  SL_GUI_WS_HSCROLL = 0x00400000,
  SL_GUI_WS_LEFTSCROLLBAR = 0x00200000,
  SL_GUI_WS_TOPMOST = 0x00100000,
  SL_GUI_WS_MINIMIZED = 0x00080000,
  SL_GUI_WS_MAXIMIZED = 0x00040000,
  SL_GUI_WS_KIND_MASK = 0xC0000000,         // 10 is a child; every other pair a top-level window
  SL_GUI_WS_USABLE_MASK = 0x30000000,       // (style & mask) == VISIBLE: shown and enabled
};

// Flags of SetPosition and of SLGuiWindowPos.
enum : u32 {
  SL_GUI_SWP_KEEPZORDER = 0x01,  // clear: the window goes on top of its list and is activated
  SL_GUI_SWP_NOMOVE = 0x02,
  SL_GUI_SWP_NOSIZE = 0x04,
  SL_GUI_SWP_NOOWNERZORDER = 0x08,
  SL_GUI_SWP_NOZORDER = 0x10,
  SL_GUI_SWP_SHOW = 0x20,
  SL_GUI_SWP_HIDE = 0x40,
  SL_GUI_SWP_NOCHANGING = 0x80,
  SL_GUI_SWP_MOVED = 0x40000000,
  SL_GUI_SWP_SIZED = 0x80000000,
};
// SetPositions that only recompute the layout: nothing moves, sizes or restacks; the
// second also skips the position-changing notification (a menu or grid relaying itself).
enum : u32 {
  SL_GUI_SWP_REFRESH = SL_GUI_SWP_KEEPZORDER | SL_GUI_SWP_NOMOVE | SL_GUI_SWP_NOSIZE | SL_GUI_SWP_NOZORDER,
  SL_GUI_SWP_REFRESH_LAYOUT = SL_GUI_SWP_REFRESH | SL_GUI_SWP_NOCHANGING,
};

// insertAfter codes of SetPosition (any other value names a sibling).
enum : std::uintptr_t {
  SL_GUI_HWND_TOP = 1,
  SL_GUI_HWND_BOTTOM = 2,
  SL_GUI_HWND_TOPMOST = 3,
  SL_GUI_HWND_NOTOPMOST = 4,
};

struct SLGuiWindowPos {
  u32 flags;
  std::uintptr_t insertAfter;  // a sibling window or one of the codes 0..4
  i32 x, y, width, height;
};

// Filled by GetMinMaxInfo: current position, maximized size, maximized position,
// minimum and maximum tracking sizes.
struct SLGuiMinMaxInfo {
  SLGuiPoint position;
  SLGuiPoint maxSize;
  SLGuiPoint maxPosition;
  SLGuiPoint minTrackSize;
  SLGuiPoint maxTrackSize;
};

// What GetDialogCode answers: which keys a window keeps from the dialog keyboard
// navigation, and what kind of control it is to that navigation.
enum : u32 {
  SL_GUI_DLGC_WANTARROWS = 0x01,
  SL_GUI_DLGC_WANTTAB = 0x02,
  SL_GUI_DLGC_WANTALLKEYS = 0x04,
  SL_GUI_DLGC_WANTCHARS = 0x08,
  SL_GUI_DLGC_BUTTON = 0x10,         // push button: Enter, mnemonics and arrow-key groups
  SL_GUI_DLGC_DEFBUTTON = 0x20,      // the default push button (with 0x10)
  SL_GUI_DLGC_RADIOBUTTON = 0x40,    // always with 0x10
  SL_GUI_DLGC_STATIC = 0x80,         // a label whose mnemonic moves to the next tab stop
};

// Hit codes of HitTest.
enum : u32 {
  SL_GUI_HIT_NOWHERE = 0,
  SL_GUI_HIT_CLIENT = 1,
  SL_GUI_HIT_FRAME_PARTS_FIRST = 6,  // 6..14: the parts of a frame, borders to the frame itself
  SL_GUI_HIT_GROWBOX_LEFT = 12,
  SL_GUI_HIT_GROWBOX_RIGHT = 13,
  SL_GUI_HIT_FRAME = 14,
  SL_GUI_HIT_FRAME_PARTS_LAST = SL_GUI_HIT_FRAME,
};

// Visual state of GetState.
enum : u32 {
  SL_GUI_STATE_NORMAL = 0,
  SL_GUI_STATE_HOT = 1,
  SL_GUI_STATE_PRESSED = 2,
  SL_GUI_STATE_DISABLED = 3,
  SL_GUI_STATE_FOCUSED = 16,
};

// Key codes the base window reacts to.
enum : u32 {
  SL_GUI_KEY_TAB = 9,
  SL_GUI_KEY_ENTER = 13,
  SL_GUI_KEY_ESCAPE = 27,
  SL_GUI_KEY_LEFT = 272,
  SL_GUI_KEY_UP = 273,
  SL_GUI_KEY_RIGHT = 274,
  SL_GUI_KEY_DOWN = 275,
  SL_GUI_KEY_LSHIFT = 320,
  SL_GUI_KEY_RSHIFT = 321,
  SL_GUI_KEY_LCTRL = 322,
  SL_GUI_KEY_RCTRL = 323,
  SL_GUI_KEY_LALT = 324,
  SL_GUI_KEY_RALT = 325,
  SL_GUI_KEY_F4 = 371,
  SL_GUI_KEY_F10 = 377,
};

// Timer id of the auto-repeat of a pressed internal scroll-bar part.
enum : u32 {
  SL_GUI_TIMER_SCROLL_REPEAT = 0xFFFFFFFE,
};

// Requests of EnsureHScrollBar and EnsureVScrollBar.
enum : u32 {
  SL_GUI_SB_ENSURE_CREATE = 1,
  SL_GUI_SB_ENSURE_LAYOUT = 2,
};

// Window hit codes of the internal bars' parts (left/up button, right/down button, track
// before the thumb, track after it, thumb).
enum : u32 {
  SL_GUI_HIT_HSCROLL_FIRST = 16,
  SL_GUI_HIT_HSCROLL_LAST = 20,
  SL_GUI_HIT_VSCROLL_FIRST = 21,
  SL_GUI_HIT_VSCROLL_LAST = 25,
};

class CSL_GS_GuiWindow;

// Node of the doubly linked circular window lists: a list head has no window, so the
// window after the last one (or of an empty list) reads as none.
struct SLGuiListNode : TSLListLink<SLGuiListNode> {
  CSL_GS_GuiWindow* window;

  // An empty list, or the unlinked sibling link of `owner`.
  void InitHead(CSL_GS_GuiWindow* owner) {
    InitEmpty();
    window = owner;
  }
};

// Base of the events widgets send through OnEvent: the source window and its id.
class CSL_GS_GuiBaseEvent : public CSLObject {
  SL_DECLARE_CLASS(CSL_GS_GuiBaseEvent)
 public:
  explicit CSL_GS_GuiBaseEvent(CSL_GS_GuiWindow* source = nullptr);
  CSL_GS_GuiWindow* m_source;
  u32 m_sourceId;
};

class CSL_GS_GuiWindow : public CSLObject {
  SL_DECLARE_CLASS(CSL_GS_GuiWindow)
  friend class CSL_GS_GuiManager;

 public:
  CSL_GS_GuiWindow();
  ~CSL_GS_GuiWindow() override;

  // --- Identity and style ---
  CSL_GS_GuiManager* GetManager() const { return m_manager; }
  bool IsRegistered() const;
  u32 GetId() const;
  u32 GetStyle() const;
  u32 GetTextFormat() const { return m_textFormat; }
  u32 GetSkin() const { return m_skin; }
  u32 GetLayoutFlags() const { return m_layoutFlags; }
  bool SetStyle(u32 style);
  bool ModifyStyle(u32 remove, u32 add);
  bool Enable(bool enable);
  bool IsEnabled() const;
  bool Show(bool show);
  bool IsVisibleInTree() const;
  bool SetText(const char* text);
  const char* GetText();
  bool SetTextFormat(u32 format);
  bool SetOpacity(double percent);
  double GetOpacity() const;
  SL_GS_Image* GetIconImage() const { return m_icon.image; }
  i32 GetIconWidth() const { return m_icon.width; }
  i32 GetIconHeight() const { return m_icon.height; }
  bool SetIcon(SL_GS_Image* image, i32 width, i32 height);

  // --- Geometry ---
  bool GetScreenRect(i32* x, i32* y, i32* width, i32* height) const;
  bool GetScreenRectR(SLGuiRect* rect) const;
  bool GetClientRect(i32* x, i32* y, i32* width, i32* height) const;
  bool GetClientRectR(SLGuiRect* rect) const;
  // The stored rectangles, in the parent's client coordinates.
  const SLGuiRect& GetWindowRect() const { return m_windowRect; }
  const SLGuiRect& GetClientArea() const { return m_clientRect; }
  const SLGuiRect& GetRestoreRect() const { return m_restoreRect; }
  bool SetPosition(i32 x, i32 y, i32 width, i32 height, u32 flags, std::uintptr_t insertAfter);
  bool SetPosition(i32 x, i32 y, i32 width, i32 height, u32 flags, CSL_GS_GuiWindow* insertAfter) {
    return SetPosition(x, y, width, height, flags, reinterpret_cast<std::uintptr_t>(insertAfter));
  }
  bool Move(i32 x, i32 y);
  bool SetRect(i32 x, i32 y, i32 width, i32 height);
  bool SetRectR(const SLGuiRect& rect);
  bool BringToTop();
  bool HideWindow();
  bool CenterOnWindow(CSL_GS_GuiWindow* other);
  bool SizeToImage(SL_GS_Image* image);
  bool SetClientSize(i32 width, i32 height);
  bool Minimize();
  bool Maximize();
  bool Restore();

  // --- Internal scroll bars (SLGuiWindowScroll.cpp) ---
  // The setters and GetXScrollRange make the bar on first need (0x80000001 when memory
  // is short); GetXScrollPos answers 0 without a bar. Showing or hiding recomputes the
  // client area in place.
  bool SetHScrollPos(u32 position);
  bool SetHScrollRange(u32 range);
  u32 GetHScrollPos();
  u32 GetHScrollRange();
  bool ShowHScrollBar(bool show);
  bool SetVScrollPos(u32 position);
  bool SetVScrollRange(u32 range);
  u32 GetVScrollPos();
  u32 GetVScrollRange();
  bool ShowVScrollBar(bool show);
  // SL_GUI_SB_ENSURE_CREATE makes a missing bar (and lays it out); SL_GUI_SB_ENSURE_LAYOUT
  // places an existing one along the client area.
  bool EnsureHScrollBar(u32 request);
  bool EnsureVScrollBar(u32 request);
  CSL_GS_GuiInternalHScrollBar* GetHScrollBar() const { return m_hScrollBar; }
  CSL_GS_GuiInternalVScrollBar* GetVScrollBar() const { return m_vScrollBar; }

  // --- Virtual operations ---
  virtual bool IsMinimized();
  virtual bool IsMaximized();
  virtual bool CanMinimize();
  virtual bool CanMaximize();
  virtual u32 GetState();
  virtual u32 GetDialogCode();
  virtual bool GetTextStyle(CSL_GS_GuiWindow* window, u32 state, SL_GS_Font** font, SLGuiSkinColor* color);
  virtual bool OnCommand(CSL_GS_GuiWindow* source, u32 id);
  virtual bool OnNotify(CSL_GS_GuiWindow* source, u32 code);
  virtual bool OnEvent(CSL_GS_GuiBaseEvent* event);
  virtual bool OnCreate();
  virtual void OnClose();
  virtual void OnDestroy();
  virtual void OnActivate(bool active, CSL_GS_GuiWindow* other, bool minimized, bool byClick);
  virtual void OnPositionChanging(SLGuiWindowPos* pos);
  virtual void OnPositionChanged(SLGuiWindowPos* pos);
  virtual void OnSize(i32 width, i32 height);
  virtual void OnMove(i32 x, i32 y);
  virtual void OnStyleChanging(u32* newStyle);
  virtual void OnStyleChanged(u32 newStyle);
  virtual void OnEnable(bool enabled);
  virtual void OnShow(bool visible);
  virtual void OnTextFormatChanged(u32 format);
  virtual bool CanSetText(const char* text);
  virtual void OnTextChanged(CSLStringAnsi* text);
  virtual void OnCancelMode();
  virtual void OnCaptureLost(CSL_GS_GuiWindow* newCapture);
  virtual void GetMinMaxInfo(SLGuiMinMaxInfo* info);
  virtual void OnSetFocus(CSL_GS_GuiWindow* window);
  virtual void OnKillFocus(CSL_GS_GuiWindow* newFocus);
  virtual void DrawFrame(const SLGuiRect* windowOnScreen);
  virtual void Draw(const SLGuiRect* clientOnScreen);
  virtual void GetClientArea(SLGuiRect* rect);
  // x, y in screen coordinates.
  virtual u32 HitTest(i32 x, i32 y);
  virtual void OnNcLButtonDblClk(u32 hit, u32 keys, i32 x, i32 y);
  virtual void OnNcLButtonDown(u32 hit, u32 keys, i32 x, i32 y);
  virtual void OnNcLButtonUp(u32 hit, u32 keys, i32 x, i32 y);
  virtual void OnNcMButtonDblClk(u32 hit, u32 keys, i32 x, i32 y);
  virtual void OnNcMButtonDown(u32 hit, u32 keys, i32 x, i32 y);
  virtual void OnNcMButtonUp(u32 hit, u32 keys, i32 x, i32 y);
  virtual void OnNcRButtonDblClk(u32 hit, u32 keys, i32 x, i32 y);
  virtual void OnNcRButtonDown(u32 hit, u32 keys, i32 x, i32 y);
  virtual void OnNcRButtonUp(u32 hit, u32 keys, i32 x, i32 y);
  virtual void ReservedGuiSlot50(u32, u32, u32);
  virtual void OnNcMouseEnter(u32 hit, u32 keys, i32 x, i32 y);
  virtual void OnNcMouseMove(u32 hit, u32 keys, i32 x, i32 y);
  virtual void OnNcMouseLeave();
  virtual void OnLButtonDblClk(u32 keys, i32 x, i32 y);
  virtual void OnLButtonDown(u32 keys, i32 x, i32 y);
  virtual void OnLButtonUp(u32 keys, i32 x, i32 y);
  virtual void OnMButtonDblClk(u32 keys, i32 x, i32 y);
  virtual void OnMButtonDown(u32 keys, i32 x, i32 y);
  virtual void OnMButtonUp(u32 keys, i32 x, i32 y);
  virtual void OnRButtonDblClk(u32 keys, i32 x, i32 y);
  virtual void OnRButtonDown(u32 keys, i32 x, i32 y);
  virtual void OnRButtonUp(u32 keys, i32 x, i32 y);
  virtual void ReservedGuiSlot63(u32, u32, u32, u32);
  virtual void OnMouseEnter(u32 keys, i32 x, i32 y);
  virtual void OnMouseMove(u32 keys, i32 x, i32 y);
  virtual void OnMouseLeave();
  virtual void OnKeyDown(u32 key);
  virtual void OnKeyUp(u32 key);
  virtual void OnChar(u32 character);
  virtual void OnSysKeyDown(u32 key);
  virtual void OnSysKeyUp(u32 key);
  virtual void OnKeyPressed(u32 key);
  virtual u32 GetCursorShape(CSL_GS_GuiWindow* window, u32 hit);
  virtual void OnTimer(u32 id);
  virtual bool OnHScroll(CSL_GS_GuiWindow* source, u32 code, i32 newPosition, i32 oldPosition);
  virtual bool OnVScroll(CSL_GS_GuiWindow* source, u32 code, i32 newPosition, i32 oldPosition);
  virtual void OnMenuStart(bool contextMenu);
  virtual void OnMenuEnd(bool contextMenu);
  virtual void OnInitMenu(CSL_GS_GuiMenuPopup* menu);
  virtual void OnInitMenuPopup(CSL_GS_GuiMenuPopup* menu);
  virtual void OnGfxChanged(CSL_GS_BaseGfx* gfx);
  virtual void OnSfxChanged(CSL_GS_BaseSfx* sfx);
  virtual void OnSkinChanged(u32 skin);
  // Whether SetPosition shows or hides the window only with the manager's popup permission
  // (menu popups, which the manager alone opens and closes).
  virtual bool NeedsPopupPermission() const { return false; }
  // Whether Alt+F4 on this window or one under it closes this one (framed top-level windows).
  virtual bool ClosesOnAltF4() const { return false; }

  // Tree links (the manager's queries check the registration; these do not).
  CSL_GS_GuiWindow* GetParentLink() const { return m_parent; }
  CSL_GS_GuiWindow* GetOwnerLink() const { return m_owner; }
  CSL_GS_GuiWindow* GetLastFocus() const { return m_lastFocus; }
  u32 GetHoverPart() const { return m_hoverPart; }
  u32 GetPressedPart() const { return m_pressedPart; }

 protected:
  // The screen size a maximized window fills: the parent's client size, or the device's
  // size for a top-level window (65535 x 65535 without a device).
  void FillMinMaxInfo(SLGuiMinMaxInfo* info, bool maxTrackIsMaxSize);
  // Ends a press of an internal scroll-bar part (what OnCancelMode and OnCaptureLost share).
  void EndScrollBarPress();
  // Frees the internal bars and the grow-box lookups (OnDestroy and the destructor).
  void DropScrollBars();
  // Still registered after a virtual call; otherwise sets 0x80010002.
  bool StillRegistered() const;

  CSL_GS_GuiManager* m_manager;
  CSL_GS_GuiWindow* m_parent;
  CSL_GS_GuiWindow* m_owner;
  CSL_GS_GuiWindow* m_lastFocus;
  SLGuiListNode m_children;
  SLGuiListNode m_siblingLink;
  u32 m_id;
  u32 m_style;
  u32 m_skin;
  u32 m_textFormat;
  u32 m_layoutFlags;
  struct {
    SL_GS_Image* image;
    i32 width, height;
  } m_icon;
  SLGuiRect m_windowRect;
  SLGuiRect m_clientRect;
  SLGuiRect m_restoreRect;
  SLGuiPoint m_maximizedPosition;
  CSLStringAnsi m_text;
  double m_opacity;
  u32 m_hoverPart;
  u32 m_pressedPart;
  CSL_GS_GuiInternalHScrollBar* m_hScrollBar;
  CSL_GS_GuiInternalVScrollBar* m_vScrollBar;
  void* m_growBox;

 private:
  bool ApplyMinMaxAndStyle(u32 remove, u32 add, bool restoreMaximized);

  // The internal bars, one body for both: `vertical` picks the bar, its style bit, its
  // does-not-fit bit and its hit codes.
  CSL_GS_GuiScrollBarBase* ScrollBarOf(bool vertical) const;
  bool EnsureScrollBar(bool vertical, u32 request);
  bool ShowScrollBar(bool vertical, bool show);
  // Shown and not flagged as not fitting.
  bool ScrollBarFits(bool vertical) const;
  // The fitting bar whose parts a hit code names, or null.
  CSL_GS_GuiScrollBarBase* FittingBarOfHit(u32 hit) const;
  // A bar's own part code for a window hit code.
  static u32 BarPartOfHit(u32 hit);

  // The steps of SetPosition, in order.
  struct ZOrderRequest {
    int topmostChange = 0;  // +1 becomes topmost, -1 loses it
    bool toHead = false;    // otherwise the tail, unless `after` names the place
    CSL_GS_GuiWindow* after = nullptr;
  };
  // Which topmost change and where in the list; 0x80001001 for a bad sibling.
  bool PlanZOrder(SLGuiWindowPos* pos, ZOrderRequest* request);
  bool ApplyPositionRect(SLGuiWindowPos* pos);
  void Restack(const SLGuiWindowPos& pos, const ZOrderRequest& request);
  bool SpreadTopmost();
  bool ShowAndActivate(const SLGuiWindowPos& pos);
};

// layoutFlags bits.
enum : u32 {
  SL_GUI_LAYOUT_WAS_MAXIMIZED = 0x80000000,
  SL_GUI_LAYOUT_HBAR_NOFIT = 0x40000000,
  SL_GUI_LAYOUT_VBAR_NOFIT = 0x20000000,
};

inline bool SLGuiIsChildStyle(u32 style) { return (style & SL_GUI_WS_KIND_MASK) == SL_GUI_WS_CHILD; }
