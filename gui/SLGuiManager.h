// The GUI manager: owns every window of the toolkit. It creates windows from class
// records and keeps them in a registry sorted by address (every window operation asks
// it, so the lookup is a bisection), keeps the top-level list and the child lists in
// z-order (first = top), holds the active window, the keyboard focus and the mouse
// capture, draws the tree with clipping and attaches the devices.
//
// Every window pointer the manager keeps without a reference (active, focus, capture,
// hover, previous hover, each top-level window's last focus) is cleared when that
// window is destroyed, and a slot is only ever called on a window just found
// registered, with a reference held for the call.
#pragma once

#include "foundation/SLArray.h"
#include "foundation/SLBaseEvent.h"
#include "foundation/SLError.h"
#include "foundation/SLObject.h"
#include "foundation/SLSync.h"
#include "gamesystem/SLEventSender.h"
#include "gamesystem/directx/SLKeyboardInput.h"
#include "gui/SLGuiRegistryIndex.h"
#include "gui/SLGuiSkin.h"
#include "gui/SLGuiWindow.h"
#include "platform/wintypes.h"

class CSL_GS_BaseGfx;
class CSL_GS_BaseSfx;
class CSL_GS_BaseMouseInput;
class CSL_GS_MainWindow;
class CSLBaseStorage;

// Zones of SkinElementZoneAt.
enum : u32 {
  SL_GUI_ZONE_OUTSIDE = 0,  // outside the rectangle
  SL_GUI_ZONE_INSET = 1,    // on one of the element's inset bands (its borders)
  SL_GUI_ZONE_INNER = 2,    // in the inner area the bands enclose
};

// Registry entry: {window, flags}.
struct SLGuiRegistryEntry {
  CSL_GS_GuiWindow* window;
  u32 flags;
};
enum : u32 {
  SL_GUI_REG_TAGGED = 1,      // temporary mark of ActivateWindow
  SL_GUI_REG_DESTROYING = 2,  // DestroyWindow is running on it
};

// The state byte of a key or a mouse button, rebuilt at each tick from the devices.
enum : u8 {
  SL_GUI_KEYF_DOWN = 0x01,
  SL_GUI_KEYF_REPEAT = 0x10,     // keys: the auto-repeat fired in this tick
  SL_GUI_KEYF_REPEATING = 0x20,  // keys: the initial delay has passed
  SL_GUI_KEYF_DOUBLE = 0x40,     // buttons: this press is a double click
  SL_GUI_KEYF_CHANGED = 0x80,    // pressed or released in this tick
};

// Flags of ProcessKeyboardNavigation: a release is neither 1 nor 4.
enum : u32 {
  SL_GUI_NAV_KEYDOWN = 0x01,
  SL_GUI_NAV_REPEAT = 0x02,
  SL_GUI_NAV_CHAR = 0x04,
  SL_GUI_NAV_ALT = 0x10,
};
// Answers of ProcessKeyboardNavigation.
enum : u32 {
  SL_GUI_NAV_DELIVER = 0,
  SL_GUI_NAV_CONSUMED = 1,
  SL_GUI_NAV_STOP = 2,  // consumed, and no more keys for the target in this tick
};

// Timer ids: the application's are 1..0xFFFFFEFF, the framework keeps the rest.
enum : u32 {
  SL_GUI_TIMER_FIRST_INTERNAL = 0xFFFFFF00,
};

// A window timer: {window (null: the entry is dead), id, interval in ms, ms accumulated
// towards the next firing, and the tick count it was (re)started at, which counts until
// its first timer pass: the time of a tick before the timer existed is not its own}.
struct SLGuiTimer {
  CSL_GS_GuiWindow* window;
  u32 id;
  u32 interval;
  u32 accumulated;
  u32 started;
  u32 fresh;
};

struct SLGuiManagerState {
  CSL_GS_GuiManager* managerBack;
  CSLCriticalSection* stateLock;
  CSL_GS_MainWindow* mainWindow;
  CSL_GS_BaseGfx* gfx;
  CSL_GS_BaseSfx* sfx;
  CSL_GS_BaseKeyboardInput* keyboard;
  CSL_GS_BaseMouseInput* mouse;
  SLGuiSkin* skins;
  CSL_GS_GuiWindow* activeWindow;
  CSL_GS_GuiWindow* focusWindow;
  SLGuiListNode topLevelWindows;
  TSLArray<SLGuiRegistryEntry>* registry;
  TSLArray<SLGuiTimer>* timers;
  u32 lastTimerTick;
  // Open menus: {popup, index of the entry whose item opens it, 0xFFFFFFFF for the root}.
  TSLPairArray<CSL_GS_GuiWindow*, u32>* menuStack;
  CSL_GS_GuiWindow* menuOwner;
  CSL_GS_GuiMenuPopup* currentPopup;  // the deepest open menu: the one the keys move
  u32 barOpen;                        // window menu: the selected bar item's menu is down
  i32 barX, barY, barHeight;          // window menu: the bar on the screen
  u32 firstInput, ignoreFirstRelease;
  u32 hoverStart;                     // tick the pointer came to rest on an item, 0 none
  u32 openingMenu, windowMenuRequest;
  u8 keyState[SL_GS_KEY_COUNT];
  u32 keyTime[SL_GS_KEY_COUNT];
  u32 nextChar;
  u8 buttonState[3];
  u8 button4Down;  // the fourth button has no state byte, only its bit of the mask
  u32 lastPressTime[3];
  i32 previousMouseX, previousMouseY, mouseX, mouseY;
  CSL_GS_GuiWindow* hoverWindow;
  CSL_GS_GuiWindow* previousHoverWindow;
  u32 hitCode, previousHitCode;
  CSL_GS_GuiWindow* captureWindow;
  u32 now;
  u32 inSetFocus, inUpdate, inDraw, activatingByClick;
  u32 popupPermission;
  u32 closingMenus, trackingMenu, windowMenuMode, menuKeySuppress;
  i32 clipX, clipY, clipWidth, clipHeight;
  TSLArray<SLGuiRect>* clipStack;
  SL_GS_Font* iconFont;
  SLGuiSkinColor normalCaptionColor, disabledCaptionColor;
  u32 repeatDelay, repeatInterval, doubleClickTime;
  HMODULE user32;
  BOOL (*systemParametersInfoA)(UINT, UINT, void*, UINT);
  BOOL (*systemParametersInfoW)(UINT, UINT, void*, UINT);
  UINT (*getDoubleClickTime)();
};

class CSL_GS_GuiManager;

// Taken at the start of an operation that calls handlers: any handler may shut the whole
// manager down, and the operation must then stop without touching the state it started
// with, even when Init has made a new one meanwhile (Shutdown counts generations).
class SLGuiShutdownWatch {
 public:
  explicit SLGuiShutdownWatch(const CSL_GS_GuiManager* manager);
  // True once the manager this watch was taken on has been shut down.
  bool ShutDown() const;

 private:
  const CSL_GS_GuiManager* m_manager;
  u32 m_generation;
};

class CSL_GS_GuiManager : public CSLObject {
  SL_DECLARE_CLASS(CSL_GS_GuiManager)
  friend class CSL_GS_GuiWindow;
  friend class SLGuiShutdownWatch;

 public:
  CSL_GS_GuiManager();
  // Shuts down, keeping the caller's error code.
  ~CSL_GS_GuiManager() override;

  // --- What no window of a bubbling chain handled, and menus without an owner ---
  virtual bool OnQueryTextStyle(CSL_GS_GuiWindow* window, u32 state, SL_GS_Font** font, SLGuiSkinColor* color);
  virtual bool OnCommand(CSL_GS_GuiWindow* source, u32 id);
  virtual bool OnNotify(CSL_GS_GuiWindow* source, u32 code);
  virtual bool OnEvent(CSL_GS_GuiBaseEvent* event);
  virtual bool OnHScroll(CSL_GS_GuiWindow* source, u32 code, i32 newPosition, i32 oldPosition);
  virtual bool OnVScroll(CSL_GS_GuiWindow* source, u32 code, i32 newPosition, i32 oldPosition);
  virtual void OnMenuStart(bool contextMenu);
  virtual void OnMenuEnd(bool contextMenu);
  virtual void OnInitMenu(CSL_GS_GuiMenuPopup* menu);
  virtual void OnInitMenuPopup(CSL_GS_GuiMenuPopup* menu);

  // --- Life ---
  // 0x80010003 when already initialised; 0x80000001 when memory is short.
  bool Init(CSL_GS_MainWindow* mainWindow = nullptr);
  void Shutdown();
  bool IsInitialised() const { return m_state != nullptr; }
  bool SetGfx(CSL_GS_BaseGfx* gfx);
  bool SetSfx(CSL_GS_BaseSfx* sfx);
  bool SetKeyboard(CSL_GS_BaseKeyboardInput* keyboard);
  bool SetMouse(CSL_GS_BaseMouseInput* mouse);
  bool LoadDesktopSettings();
  SLGuiSkin* FindSkin(u32 id);
  bool LoadDefaultSkin();

  // --- Skins (SLGuiSkinLoad.cpp) ---
  // The loader: for the default skin 1, or 1000 when one is loaded already; else the new
  // skin's id. 0 on failure, with nothing added.
  u32 LoadSkinLayout(CSLBaseStorage* storage, bool isDefault);
  u32 LoadSkinFromStorage(CSLBaseStorage* storage);
  // A data pack file holding a skin.
  u32 LoadSkin(const char* path);
  // Destroys the windows of the skin first. 0x80001008 when no skin has that id.
  bool UnloadSkin(u32 id);
  SLGuiSkinElement* GetSkinImageElement(u32 skin, const char* section, const char* key);
  SLGuiSkinGlyph* GetSkinGlyph(u32 skin, const char* section, const char* key);
  SLGuiSkinColor* GetSkinColor(u32 skin, const char* section, const char* key);
  SL_GS_Font* GetSkinFont(u32 skin, const char* section, const char* key);
  SLGuiSkinInfo* GetSkinInfo(u32 skin, const char* section, const char* key);
  i32 GetVScrollButtonElement(u32 skin);
  i32 GetHScrollButtonElement(u32 skin);
  bool EvaluateSkinInfo(const SLGuiSkinInfo* info, i32 width, i32 height, i32* values);
  // The image handle of an element's or glyph's image; 0 without a device.
  SL_GS_Image* GetSkinImageHandle(const SLGuiSkin* skin, u32 image);

  // --- Skin drawing and hit tests (SLGuiSkinDraw.cpp) ---
  bool DrawSkinElement(const SLGuiSkinElement* element, const SLGuiRect* rect, double opacity);
  bool DrawSkinElementInRect(const SLGuiSkinElement* element, const SLGuiRect* rect, double opacity,
                             const SLGuiSkinElement* backgroundOverride);
  bool DrawSkinGlyph(const SLGuiSkinGlyph* glyph, i32 x, i32 y, double opacity);
  bool DrawImageWithOpacity(SL_GS_Image* image, i32 x, i32 y, double opacity, SL_GS_DrawImageOptions* options);
  bool DrawImageSlot(const SLGuiImageSlot* slot, i32 x, i32 y, double opacity);
  bool SetImageSlot(SLGuiImageSlot* slot, SL_GS_Image* image, const SL_GS_DrawImageOptions* options);
  bool MeasureText(SL_GS_Font* font, const char* text, i32* width, i32* height, const SLGuiSkinColor* color);
  bool DrawWidgetText(SL_GS_Font* font, const char* text, const SLGuiSkinColor* color, u32 format,
                      const SLGuiRect* rect, double opacity);
  bool PushClipRect(i32 x, i32 y, i32 width, i32 height, bool replaceTop);
  bool PopClipRect();
  bool LayoutImageAndText(const SLGuiRect* rect, SLGuiRect* text, u32 textFormat, SLGuiRect* image, u32 imageStyle,
                          bool adjacent, i32 gap);
  double GetEffectiveOpacity(CSL_GS_GuiWindow* window);
  // True when the point is transparent (not on the shape).
  bool HitTestImage(SL_GS_Image* image, i32 x, i32 y);
  bool HitTestSkinGlyph(const SLGuiSkinGlyph* glyph, i32 x, i32 y);
  bool HitTestImageSlot(const SLGuiImageSlot* slot, i32 x, i32 y);
  bool HitTestSkinElement(const SLGuiSkinElement* element, const SLGuiRect* rect, i32 x, i32 y);
  bool HitTestSkinElementInRect(const SLGuiSkinElement* element, const SLGuiRect* rect, i32 x, i32 y,
                                const SLGuiSkinElement* backgroundOverride);
  // Where a point lies on a skin element stretched over a rectangle (SL_GUI_ZONE_...).
  u32 SkinElementZoneAt(const SLGuiSkinElement* element, const SLGuiRect* rect, i32 x, i32 y);

  // --- Getters ---
  CSL_GS_MainWindow* GetMainWindow();
  CSL_GS_BaseGfx* GetGfx();
  CSL_GS_BaseSfx* GetSfx();
  CSL_GS_BaseKeyboardInput* GetKeyboard();
  CSL_GS_BaseMouseInput* GetMouse();
  CSL_GS_GuiWindow* GetFocusWindow();
  CSL_GS_GuiWindow* GetActiveWindow();
  CSL_GS_GuiWindow* GetCaptureWindow();
  CSL_GS_GuiWindow* GetHoverWindow(u32* hit);
  i32 GetMouseX();
  i32 GetMouseY();
  u32 GetKeyState(u32 key);

  // --- Windows ---
  CSL_GS_GuiWindow* CreateWindow(const SLClassRecord* record, const char* caption, i32 x, i32 y, i32 width,
                                 i32 height, u32 style, u32 skin, u32 id, CSL_GS_GuiWindow* parent);
  bool DestroyWindow(CSL_GS_GuiWindow* window);
  // Any thread may ask; the answer needs the state lock only when the registry changed
  // while it was read (0x80010002 before Init, 0x80001001 for null).
  bool IsRegistered(const CSL_GS_GuiWindow* window) {
    bool found = false;
    if (m_state && window && m_index.TryContains(window, &found)) return SLSucceed(found);
    return IsRegisteredLocked(window);
  }
  bool IsMenuPopup(CSL_GS_GuiWindow* window);
  u32 GetWindowCount();

  // --- Tree ---
  CSL_GS_GuiWindow* GetParent(CSL_GS_GuiWindow* window);
  CSL_GS_GuiWindow* GetOwnerOrParent(CSL_GS_GuiWindow* window);
  CSL_GS_GuiWindow* GetTopLevelAncestor(CSL_GS_GuiWindow* window);
  CSL_GS_GuiWindow* GetFirstChild(CSL_GS_GuiWindow* window);
  CSL_GS_GuiWindow* GetFirstSibling(CSL_GS_GuiWindow* window);
  CSL_GS_GuiWindow* GetLastSibling(CSL_GS_GuiWindow* window);
  CSL_GS_GuiWindow* GetNextSibling(CSL_GS_GuiWindow* window);
  CSL_GS_GuiWindow* GetPrevSibling(CSL_GS_GuiWindow* window);
  CSL_GS_GuiWindow* FindChildById(CSL_GS_GuiWindow* window, u32 id);
  CSL_GS_GuiWindow* GetFirstTabStop(CSL_GS_GuiWindow* window);
  CSL_GS_GuiWindow* WindowFromPoint(i32 x, i32 y, CSL_GS_GuiWindow* start, u32* hit, bool visibleOnly,
                                    bool skipDisabled);
  CSL_GS_GuiWindow* WindowUnderMouse(CSL_GS_GuiWindow* start, u32* hit);

  // --- Coordinates ---
  bool GetWindowScreenPos(CSL_GS_GuiWindow* window, i32* x, i32* y);
  bool ClientToScreen(CSL_GS_GuiWindow* window, i32* x, i32* y);
  bool ClientToScreenPt(CSL_GS_GuiWindow* window, SLGuiPoint* point);
  bool ScreenToWindow(CSL_GS_GuiWindow* window, i32* x, i32* y);
  bool ScreenToWindowPt(CSL_GS_GuiWindow* window, SLGuiPoint* point);

  // --- Focus, capture, activation ---
  CSL_GS_GuiWindow* SetFocus(CSL_GS_GuiWindow* window);
  CSL_GS_GuiWindow* SetCapture(CSL_GS_GuiWindow* window);
  CSL_GS_GuiWindow* ReleaseCapture();
  CSL_GS_GuiWindow* ActivateWindow(CSL_GS_GuiWindow* window);
  bool ActivateNextWindow(CSL_GS_GuiWindow* window);
  bool ShowOwnedWindows(CSL_GS_GuiWindow* window, bool show);
  bool SortWindowZOrder(CSL_GS_GuiWindow* window);

  // --- Ticks, input, timers, menus and drawing ---
  // One tick: samples the keyboard and the mouse (unless told not to), sends the
  // pointer, button, key and character events, then runs the window timers. A nested
  // call succeeds at once.
  bool Update(bool skipDevicePoll);
  // The dialog keyboard navigation's look at a key or character before `window` gets
  // it: SL_GUI_NAV_DELIVER, _CONSUMED or _STOP (0 with an error code for a bad window).
  u32 ProcessKeyboardNavigation(CSL_GS_GuiWindow* window, u32 code, u32 flags);
  // Window timers. 0x80001001 for an unregistered window, an id outside the call's
  // range (application 1..0xFFFFFEFF, internal 0xFFFFFF00..), interval 0 or, for
  // KillTimer, no such timer. Setting an existing timer restarts it.
  bool SetTimer(CSL_GS_GuiWindow* window, u32 id, u32 interval);
  bool SetInternalTimer(CSL_GS_GuiWindow* window, u32 id, u32 interval);
  bool KillTimer(CSL_GS_GuiWindow* window, u32 id);
  // --- Menu tracking (SLGuiManagerMenus.cpp) ---
  // Opens a context menu at a point (flags: bits 0-1 left edge, right edge or centre at
  // x; bits 2-3 centred on y, bottom edge or top edge at y). The chosen item's command
  // goes to `owner`, or to the manager's OnCommand without one. 0x80001001 for a bad
  // popup or owner; 0x80002002 when the menu did not show or a notification closed it.
  bool TrackPopupMenu(CSL_GS_GuiMenuPopup* popup, i32 x, i32 y, CSL_GS_GuiWindow* owner, u32 flags);
  // Opens the window menu of a framed window: with a point on its bar, that item's menu
  // drops down; without (0, 0) the first item is selected on the bar.
  bool TrackOwnerMenu(CSL_GS_GuiWindow* owner, i32 x, i32 y, u32 flags);
  // Makes `popup` and its ancestors the open path: others hide, hidden ones on it show.
  bool OpenMenuPopup(CSL_GS_GuiMenuPopup* popup);
  // Closes the open menus: with a window, only when it is one of the open popups, the
  // menu's owner or an ancestor of it (0x80010009 otherwise). Succeeds with none open.
  bool CloseMenus(CSL_GS_GuiWindow* window);
  // One tick of input of the open menus (Update calls it while menus are open).
  void ProcessMenuInput(bool asEnter);
  bool IsMenuOpen(CSL_GS_GuiWindow* popup);
  CSL_GS_GuiMenuPopup* GetCurrentMenu();
  // A context menu is open (not a window menu): bars show no highlight meanwhile.
  bool IsContextMenuTracked();
  bool Draw();
  bool DrawWindowTree(CSL_GS_GuiWindow* window, const SLGuiRect* parentClip);
  // Allows the next SetPosition to show or hide a menu popup.
  void SetPopupPermission(bool allowed);

  // The state record, for the widgets and the tests that look at it; null before Init.
  SLGuiManagerState* GetState() const { return m_state; }

 private:
  // Lower bound of `window` in the sorted registry.
  u32 FindEntryIndex(const CSL_GS_GuiWindow* window) const;
  SLGuiRegistryEntry* FindEntry(const CSL_GS_GuiWindow* window) const;
  // Registered without taking the lock or touching the error code (the callers hold it).
  bool IsLive(const CSL_GS_GuiWindow* window) const { return FindEntry(window) != nullptr; }
  bool IsRegisteredLocked(const CSL_GS_GuiWindow* window);
  bool AddEntry(CSL_GS_GuiWindow* window);
  void RemoveEntry(CSL_GS_GuiWindow* window);
  SLGuiListNode* ListOf(CSL_GS_GuiWindow* window);
  // Clears every unreferenced pointer to a window that has just been destroyed.
  void ForgetWindow(CSL_GS_GuiWindow* window);
  static CSL_GS_GuiWindow* ParentOf(CSL_GS_GuiWindow* window);
  static CSL_GS_GuiWindow* TopLevelOf(CSL_GS_GuiWindow* window);
  bool IsOwnedBy(CSL_GS_GuiWindow* window, CSL_GS_GuiWindow* owner) const;
  void SortList(SLGuiListNode* head);
  void BringOwnerTreeToTop(CSL_GS_GuiWindow* window);
  CSL_GS_GuiWindow* Deactivate();
  void DrawCaptionOfMinimized(CSL_GS_GuiWindow* window, const SLGuiRect& client);
  void FreeSkins();
  // Input and timers (SLGuiManagerInput.cpp, SLGuiManagerNavigation.cpp).
  void ReadRepeatSettings();
  void PollInput(bool skipDevicePoll);
  void ProcessInput();
  bool ProcessMouse();
  u32 MouseKeys() const;
  void ProcessKeys();
  bool IsAltHeld() const;
  bool AddTimer(CSL_GS_GuiWindow* window, u32 id, u32 interval, bool idInRange);
  void RunTimers();
  // Marks a destroyed window's timers dead, so that a window made at its address never
  // receives them; outside Update the entries go at once.
  void DropTimersOf(CSL_GS_GuiWindow* window);
  void RemoveDeadTimers();
  u32 NavigateTab(CSL_GS_GuiWindow* window, CSL_GS_GuiWindow* root, bool backward);
  u32 NavigateArrows(CSL_GS_GuiWindow* window, bool forward);
  u32 PressDialogButton(CSL_GS_GuiWindow* root, bool escape);
  u32 NavigateMnemonic(CSL_GS_GuiWindow* window, CSL_GS_GuiWindow* root, u32 character);
  bool IsTabStop(CSL_GS_GuiWindow* window) const;
  bool IsUsableInTree(CSL_GS_GuiWindow* window) const;
  // Menu tracking's steps (SLGuiManagerMenus.cpp).
  i32 FindMenuEntry(const CSL_GS_GuiWindow* popup) const;
  bool CollectMenus(CSL_GS_GuiMenuPopup* root);
  bool PlaceSubmenu(u32 entry, i32 width, i32* x, i32* y, i32* height);
  bool ShowPopup(CSL_GS_GuiMenuPopup* popup, i32 x, i32 y, i32 width, i32 height, bool show);
  void SendMenuNotification(CSL_GS_GuiWindow* owner, int kind, CSL_GS_GuiMenuPopup* menu, bool context);
  bool OpenLevel(CSL_GS_GuiMenuPopup* popup, bool selectFirst);
  void MoveOnBar(bool forward);
  void HandleMenuKey(u32 key);
  void ChooseMenuItem(CSL_GS_GuiMenuPopup* popup, i32 item);
  bool MenuStillOpen(const SLGuiShutdownWatch& watch) const;
  // DestroyWindow's step for menus: a menu leaves its parent item or window and takes its
  // submenus with it; a framed window takes its window menu.
  void ReleaseMenuLinks(CSL_GS_GuiWindow* window);
  u32 NavigateWindowMenu(CSL_GS_GuiWindow* root, u32 character);
  void* FindSkinEntry(u32 skin, const char* section, const char* key, u32 kind);
  // Make or drop the device handles of every loaded skin (SetGfx).
  bool CreateSkinHandles(CSL_GS_BaseGfx* gfx);
  void DestroySkinHandles(CSL_GS_BaseGfx* gfx);
  // Calls notify(window) for every window of the tree that is still registered at its turn.
  template <class Notify>
  bool TellEveryWindow(Notify notify);
  void OnGfxEvent(CSL_GS_BaseGfx* sender, CSLBaseEvent* event, u32 user);
  void OnSfxEvent(CSL_GS_BaseSfx* sender, CSLBaseEvent* event, u32 user);
  void OnKeyboardEvent(CSL_GS_BaseKeyboardInput* sender, CSLBaseEvent* event, u32 user);
  void OnMouseEvent(CSL_GS_BaseMouseInput* sender, CSLBaseEvent* event, u32 user);

  CSLCriticalSection m_lock;       // skin loading and lookups
  SLGuiManagerState* m_state;
  // The state lock lives with the manager rather than in the record: a Shutdown run from
  // inside a notification must not free a lock that the frames below it still hold.
  CSLCriticalSection m_stateLock;
  // The registry's addresses again, for IsRegistered from any thread without the lock.
  CSLGuiRegistryIndex m_index;
  // Counts Shutdowns, so that an operation interrupted by one (from a handler) sees that
  // the state it started with is gone even when Init made a new one meanwhile.
  u32 m_generation;
  // Windows whose DestroyWindow is running, innermost last.
  TSLArray<CSL_GS_GuiWindow*> m_destroying;
};

inline SLGuiShutdownWatch::SLGuiShutdownWatch(const CSL_GS_GuiManager* manager)
    : m_manager(manager), m_generation(manager->m_generation) {}
inline bool SLGuiShutdownWatch::ShutDown() const {
  return !m_manager->m_state || m_manager->m_generation != m_generation;
}
