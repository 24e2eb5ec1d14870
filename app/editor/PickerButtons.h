// The editor's previews (the scene thumbnails around the current scene and the selected
// element), plus the drawing helpers they share with the editor and its pickers.
#pragma once

#include "gui/SLGuiButton.h"

struct SL_GS_Image;
struct SL_GS_DrawImageOptions;

// The editor's previews, by window id: 156, 158 and 160 the backgrounds of the scenes
// before, at and after the current one; 203 the selected character or object. The whole
// rectangle takes the mouse, whatever the skin's shape of a button.
class CMyMiniItemPreviewButton : public CSL_GS_GuiButton {
  SL_DECLARE_CLASS(CMyMiniItemPreviewButton)
 public:
  CMyMiniItemPreviewButton() = default;
  void Draw(const SLGuiRect* clientOnScreen) override;
  u32 HitTest(i32 x, i32 y) override;
};

// Drawing options for a colour word (red in the low byte; its alpha is the opacity).
SL_GS_DrawImageOptions ItemDraw_ColourOptions(u32 colour);
// Adds a target size to drawing options.
void ItemDraw_SetTargetSize(SL_GS_DrawImageOptions* options, i32 width, i32 height);
// Width and height of a device image (0 x 0 when it has none).
void ItemDraw_ImageSize(SL_GS_Image* image, i32* width, i32* height);
// The size an item picture of w x h takes in a box of boxW x boxH: scaled to the box's
// height, then to its width when still too wide (integer arithmetic; a picture that fits
// is kept as it is only when `keepSmall`).
void ItemDraw_FitSize(i32 w, i32 h, i32 boxW, i32 boxH, bool keepSmall, i32* outW, i32* outH);
