// What push buttons, check boxes and radio buttons share: one flags word that follows
// the keyboard focus, a mouse press, a held space key and the pointer, the handlers that
// keep it, the caller-image setters and the command notification. Check boxes and radio
// buttons are not push buttons (the dialog navigation's Enter and Escape look for push
// buttons only), so the bodies live here as functions over the flags word.
#pragma once

#include "gui/SLGuiManager.h"
#include "gui/SLGuiWindow.h"

enum : u32 {
  SL_GUI_BTN_FOCUSED = 0x01,
  SL_GUI_BTN_PRESSED = 0x02,  // left mouse button pressed on it
  SL_GUI_BTN_SPACE = 0x04,    // space key pressed on it
  SL_GUI_BTN_OVER = 0x08,     // pointer over it
  SL_GUI_BTN_CHECKED = 0x10,
};

enum : u32 {
  SL_GUI_KEY_SPACE = 32,
};

namespace SLGuiPress {

// Disabling or hiding forgets focus, press, key and pointer.
inline void OnEnableOrShow(u32* flags, bool on) {
  if (!on) *flags &= ~u32(SL_GUI_BTN_FOCUSED | SL_GUI_BTN_PRESSED | SL_GUI_BTN_SPACE | SL_GUI_BTN_OVER);
}
inline void OnCancelMode(u32* flags) { *flags &= ~u32(SL_GUI_BTN_PRESSED | SL_GUI_BTN_SPACE); }
inline void OnCaptureLost(u32* flags) { *flags &= ~u32(SL_GUI_BTN_PRESSED); }
inline void OnSetFocus(u32* flags) { *flags |= SL_GUI_BTN_FOCUSED; }
inline void OnKillFocus(u32* flags) { *flags &= ~u32(SL_GUI_BTN_FOCUSED | SL_GUI_BTN_SPACE); }
inline void OnMouseEnter(u32* flags) { *flags |= SL_GUI_BTN_OVER; }
inline void OnMouseLeave(u32* flags) { *flags &= ~u32(SL_GUI_BTN_OVER); }
inline void OnKeyDown(u32* flags, u32 key) {
  if (key == SL_GUI_KEY_SPACE) *flags |= SL_GUI_BTN_SPACE;
}
// Takes the capture, then the focus: false when the window is not registered with a
// manager, or went away on the way (the caller holds it).
bool TakeCaptureAndFocus(CSL_GS_GuiWindow* w);
// Takes the capture and the focus; the press counts only when the window survived both.
void OnButtonDown(CSL_GS_GuiWindow* w, u32* flags);
// While the window holds the capture, the pointer flag follows `over(screenX, screenY)`
// for the client point (x, y).
template <class Over>
void OnMouseMove(CSL_GS_GuiWindow* w, u32* flags, i32 x, i32 y, Over over) {
  CSL_GS_GuiManager* manager = w->GetManager();
  if (!manager || manager->GetCaptureWindow() != w) return;
  i32 sx = x, sy = y;
  if (!manager->ClientToScreen(w, &sx, &sy)) return;
  if (over(sx, sy))
    *flags |= SL_GUI_BTN_OVER;
  else
    *flags &= ~u32(SL_GUI_BTN_OVER);
}
// The first half of a mouse click: clears press and key and releases the capture. The
// flags as they were come back; false when the window went away meanwhile.
bool BeginMouseClick(CSL_GS_GuiWindow* w, u32* flags, u32* before);
// The command notification of a click: OnCommand(window, id) of the parent (else the
// owner), or the manager's when the window has neither.
void NotifyCommand(CSL_GS_GuiWindow* w);
// Fills one caller-image slot; 0x80001001 when the window is no longer registered.
bool SetImage(CSL_GS_GuiWindow* w, SLGuiImageSlot* slot, SL_GS_Image* image, const SL_GS_DrawImageOptions* options);
// Empties slots (their handles belonged to a device that is gone) and frees the option copies.
void ClearSlots(SLGuiImageSlot* slots, u32 count);
// The colour fallbacks of the button kinds and the largest outline among them (at least 0).
i32 OutlineMargin(SLGuiSkinColor* const* colors, u32 count);
// Copies a colour when present; false when absent.
bool CopyColor(const SLGuiSkinColor* from, SLGuiSkinColor* to);
// A widget's own text style: its skin font, and `colour` when the skin has it (else the
// caller's colour stays).
bool OwnTextStyle(SL_GS_Font* ownFont, const SLGuiSkinColor* colour, SL_GS_Font** font, SLGuiSkinColor* color);
// The client rectangle in screen coordinates; false when the window is gone.
bool ClientOnScreen(const CSL_GS_GuiWindow* w, SLGuiRect* rect);
// x, y of a w x h box centred on a rectangle.
inline SLGuiPoint Centred(const SLGuiRect& r, i32 w, i32 h) {
  return {i32((i64(r.x) * 2 + r.width - w) / 2), i32((i64(r.y) * 2 + r.height - h) / 2)};
}
// The hit test of an image-only widget: its slot's picture centred on the client rectangle
// (screen coordinates) takes the point where the picture is opaque. SL_GUI_HIT_CLIENT or
// SL_GUI_HIT_NOWHERE (no picture, outside it, or a transparent pixel).
u32 HitCentredImage(CSL_GS_GuiManager* manager, const SLGuiRect& client, const SLGuiImageSlot& slot, i32 x, i32 y);

}  // namespace SLGuiPress

// The caller-image setters of the state slots that push buttons, check boxes and radio
// buttons share: slots 0-4 are Normal, Over, Click, Disabled and Focused (for check and
// radio buttons: checked Normal to Disabled, then unchecked Normal). Each fills a slot of
// the class's `m_images` through SLGuiPress::SetImage.
#define SL_GUI_DECLARE_STATE_IMAGE_SETTERS()                                                         \
  bool SetNormalImage(SL_GS_Image* image, const SL_GS_DrawImageOptions* options = nullptr);   \
  bool SetOverImage(SL_GS_Image* image, const SL_GS_DrawImageOptions* options = nullptr);     \
  bool SetClickImage(SL_GS_Image* image, const SL_GS_DrawImageOptions* options = nullptr);    \
  bool SetDisabledImage(SL_GS_Image* image, const SL_GS_DrawImageOptions* options = nullptr); \
  bool SetFocusedImage(SL_GS_Image* image, const SL_GS_DrawImageOptions* options = nullptr)

#define SL_GUI_DEFINE_STATE_IMAGE_SETTER(Class, Name, slot)                        \
  bool Class::Name(SL_GS_Image* image, const SL_GS_DrawImageOptions* options) { \
    return SLGuiPress::SetImage(this, &m_images[slot], image, options);         \
  }
#define SL_GUI_DEFINE_STATE_IMAGE_SETTERS(Class)          \
  SL_GUI_DEFINE_STATE_IMAGE_SETTER(Class, SetNormalImage, 0)   \
  SL_GUI_DEFINE_STATE_IMAGE_SETTER(Class, SetOverImage, 1)     \
  SL_GUI_DEFINE_STATE_IMAGE_SETTER(Class, SetClickImage, 2)    \
  SL_GUI_DEFINE_STATE_IMAGE_SETTER(Class, SetDisabledImage, 3) \
  SL_GUI_DEFINE_STATE_IMAGE_SETTER(Class, SetFocusedImage, 4)

// The window slots that push buttons, check boxes and radio buttons all take over: the
// press flags above follow enabling, showing, focus, capture, the mouse and the keys.
#define SL_GUI_DECLARE_PRESS_SLOTS()                                                                   \
  u32 GetState() override;                                                                             \
  bool GetTextStyle(CSL_GS_GuiWindow* window, u32 state, SL_GS_Font** font, SLGuiSkinColor* color) override; \
  bool OnCreate() override;                                                                            \
  void OnPositionChanged(SLGuiWindowPos* pos) override;                                                \
  void OnEnable(bool enabled) override;                                                                \
  void OnShow(bool visible) override;                                                                  \
  void OnCancelMode() override;                                                                        \
  void OnCaptureLost(CSL_GS_GuiWindow* newCapture) override;                                           \
  void OnSetFocus(CSL_GS_GuiWindow* window) override;                                                  \
  void OnKillFocus(CSL_GS_GuiWindow* newFocus) override;                                               \
  void Draw(const SLGuiRect* clientOnScreen) override;                                                 \
  u32 HitTest(i32 x, i32 y) override;                                                                  \
  void OnLButtonDblClk(u32 keys, i32 x, i32 y) override;                                               \
  void OnLButtonDown(u32 keys, i32 x, i32 y) override;                                                 \
  void OnLButtonUp(u32 keys, i32 x, i32 y) override;                                                   \
  void OnMouseEnter(u32 keys, i32 x, i32 y) override;                                                  \
  void OnMouseMove(u32 keys, i32 x, i32 y) override;                                                   \
  void OnMouseLeave() override;                                                                        \
  void OnKeyDown(u32 key) override;                                                                    \
  void OnKeyUp(u32 key) override;                                                                      \
  void OnGfxChanged(CSL_GS_BaseGfx* gfx) override

// The skin reading of the skinned widgets: on creation, and again after every position
// change (unless a handler destroyed the widget meanwhile). Each class has its ReadSkin.
#define SL_GUI_DEFINE_SKIN_READING(Class)              \
  bool Class::OnCreate() {                             \
    if (!CSL_GS_GuiWindow::OnCreate()) return false;   \
    ReadSkin();                                        \
    return true;                                       \
  }                                                    \
  void Class::OnPositionChanged(SLGuiWindowPos* pos) { \
    TSLObjPtr<CSL_GS_GuiWindow> hold(this);            \
    CSL_GS_GuiWindow::OnPositionChanged(pos);          \
    if (IsRegistered()) ReadSkin();                    \
  }
