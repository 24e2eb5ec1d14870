#include "gui/SLGuiPressFlags.h"

#include "foundation/SLMemory.h"

namespace SLGuiPress {

bool TakeCaptureAndFocus(CSL_GS_GuiWindow* w) {
  CSL_GS_GuiManager* manager = w->GetManager();
  if (!manager || !w->IsRegistered()) return false;
  manager->SetCapture(w);
  if (!w->IsRegistered()) return false;
  manager->SetFocus(w);
  return w->IsRegistered();
}

void OnButtonDown(CSL_GS_GuiWindow* w, u32* flags) {
  TSLObjPtr<CSL_GS_GuiWindow> hold(w);
  if (TakeCaptureAndFocus(w)) *flags |= SL_GUI_BTN_PRESSED;
}

bool BeginMouseClick(CSL_GS_GuiWindow* w, u32* flags, u32* before) {
  *before = *flags;
  *flags &= ~u32(SL_GUI_BTN_PRESSED | SL_GUI_BTN_SPACE);
  CSL_GS_GuiManager* manager = w->GetManager();
  if (!manager || !w->IsRegistered()) return false;
  if (manager->GetCaptureWindow() == w) manager->ReleaseCapture();
  return w->IsRegistered();
}

void NotifyCommand(CSL_GS_GuiWindow* w) {
  TSLObjPtr<CSL_GS_GuiWindow> hold(w);
  CSL_GS_GuiManager* manager = w->GetManager();
  if (!manager || !w->IsRegistered()) return;
  const u32 id = w->GetId();
  CSL_GS_GuiWindow* target = nullptr;
  {
    SLErrorKeeper keep;
    target = manager->GetOwnerOrParent(w);
  }
  if (target) {
    TSLObjPtr<CSL_GS_GuiWindow> targetHold(target);
    if (target->IsRegistered()) target->OnCommand(w, id);
  } else {
    manager->OnCommand(w, id);
  }
}

bool SetImage(CSL_GS_GuiWindow* w, SLGuiImageSlot* slot, SL_GS_Image* image, const SL_GS_DrawImageOptions* options) {
  CSL_GS_GuiManager* manager = w->GetManager();
  if (!manager || !manager->IsRegistered(w)) return SLFail(SL_E_INVALID_ARG, false);
  return manager->SetImageSlot(slot, image, options);
}

void ClearSlots(SLGuiImageSlot* slots, u32 count) {
  for (u32 i = 0; i < count; ++i) {
    SLFree(slots[i].options);
    slots[i] = {};
  }
}

i32 OutlineMargin(SLGuiSkinColor* const* colors, u32 count) {
  i32 margin = 0;
  for (u32 i = 0; i < count; ++i)
    if (colors[i] && colors[i]->borderSize > margin) margin = colors[i]->borderSize;
  return margin;
}

bool CopyColor(const SLGuiSkinColor* from, SLGuiSkinColor* to) {
  if (!from) return false;
  if (to) *to = *from;
  return true;
}

bool OwnTextStyle(SL_GS_Font* ownFont, const SLGuiSkinColor* colour, SL_GS_Font** font, SLGuiSkinColor* color) {
  if (font) *font = ownFont;
  CopyColor(colour, color);
  return SLSucceed(true);
}

u32 HitCentredImage(CSL_GS_GuiManager* manager, const SLGuiRect& client, const SLGuiImageSlot& slot, i32 x, i32 y) {
  if (!slot.image) return SL_GUI_HIT_NOWHERE;
  const SLGuiPoint at = Centred(client, slot.width, slot.height);
  const i64 px = i64(x) - at.x, py = i64(y) - at.y;
  if (px < 0 || py < 0 || px >= slot.width || py >= slot.height) return SL_GUI_HIT_NOWHERE;
  return manager->HitTestImageSlot(&slot, i32(px), i32(py)) ? SL_GUI_HIT_NOWHERE : SL_GUI_HIT_CLIENT;
}

bool ClientOnScreen(const CSL_GS_GuiWindow* w, SLGuiRect* rect) {
  SLGuiRect screen;
  if (!w->GetScreenRectR(&screen)) return false;
  const SLGuiRect& window = w->GetWindowRect();
  const SLGuiRect& client = w->GetClientArea();
  rect->x = i32(i64(screen.x) - window.x + client.x);
  rect->y = i32(i64(screen.y) - window.y + client.y);
  rect->width = client.width, rect->height = client.height;
  return true;
}

}  // namespace SLGuiPress
