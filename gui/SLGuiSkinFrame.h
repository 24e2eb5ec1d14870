// What the framed text widgets (the edit and the grid) share about their skin frame: the
// frame drawn from "Normal" (or "Disabled"), the smallest size its borders allow, a hit
// test that lets transparent frame pixels through, and painting a whole element.
#pragma once

#include "gui/SLGuiSkin.h"
#include "gui/SLGuiWindow.h"

class CSL_GS_GuiManager;

namespace SLGuiSkinFrame {

// Paints a whole skin element over a rectangle: its border pieces and its centre.
void Paint(CSL_GS_GuiManager* manager, const SLGuiSkinElement* element, const SLGuiRect& rect, double opacity);
// The frame of a window: "Disabled" when the window is disabled and the skin has it.
void Draw(CSL_GS_GuiWindow* window, const SLGuiSkinElement* normal, const SLGuiSkinElement* disabled,
          const SLGuiRect* windowOnScreen);
// The minimum tracking size is at least the frame's borders.
void LimitMinimum(SLGuiMinMaxInfo* info, const SLGuiSkinElement* frame);
// A frame hit (14) on a transparent pixel of the frame hits nothing.
u32 HitTest(CSL_GS_GuiWindow* window, u32 hit, const SLGuiSkinElement* frame, i32 x, i32 y);

}  // namespace SLGuiSkinFrame
