// Widget text in a skin colour: measured and drawn through the text layout, with the
// colour's drop shadow and outline drawn as copies of the text around it.
#include <cmath>

#include "foundation/SLError.h"
#include "foundation/SLFastMath.h"
#include "foundation/SLStr.h"
#include "gamesystem/SLBaseGfx.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "gui/SLGuiManager.h"
#include "gui/SLGuiText.h"

namespace {

constexpr double kOpaque = 99.9999999999;
// Tab stops of widget text, in characters.
constexpr u32 kTabSize = 8;
constexpr u32 kMeasureFlags = SL_GUI_TEXT_SINGLE_LINE | SL_GUI_TEXT_NO_CLIP | SL_GUI_TEXT_MEASURE;

// The window text format (alignment and drawing words of a widget) as layout flags.
u32 LayoutFlagsOf(u32 format) {
  u32 flags = 0;
  switch (format & 3) {
    case 1: flags |= SL_GUI_TEXT_RIGHT; break;
    case 2: flags |= SL_GUI_TEXT_CENTER; break;
    default: break;
  }
  switch (format & 12) {
    case 4: flags |= SL_GUI_TEXT_BOTTOM; break;
    case 8: break;
    default: flags |= SL_GUI_TEXT_VCENTER; break;
  }
  // Word wrap and end ellipsis make a text multi-line as bit 11 does.
  const bool multiLine = (format & 0x800) || (format & 0x3000);
  if (format & 0x20) flags |= 0x400;
  if (format & 0x40) flags |= 0x800;
  if (format & 0x80) flags |= 0x1000;
  if (format & 0x100) flags |= 0x8000;
  if (format & 0x200) flags |= 0x10000;
  if (format & 0x400) flags |= 0x20000;
  if (!multiLine) flags |= 0x40000;
  if (format & 0x1000) flags |= 0x100000;
  if (format & 0x2000) flags |= 0x200000;
  return flags;
}

// Drawing options that carry a colour word (red in the low byte) and the opacity, the
// colour's own alpha included.
SL_GS_DrawImageOptions OptionsFor(u32 color, double opacity) {
  SL_GS_DrawImageOptions options{};
  options.flags = SL_GS_DRAW_TINT;
  options.tintRed = u8(color), options.tintGreen = u8(color >> 8), options.tintBlue = u8(color >> 16);
  double percent = opacity < kOpaque ? opacity : 100;  // NaN means opaque
  const u32 alpha = color >> 24;
  if (alpha != 255) percent = percent * alpha / 255;
  if (percent < kOpaque) options.flags |= SL_GS_DRAW_OPACITY, options.opacity = percent;
  return options;
}

}  // namespace

bool CSL_GS_GuiManager::MeasureText(SL_GS_Font* font, const char* text, i32* width, i32* height,
                                    const SLGuiSkinColor* color) {
  if (width) *width = 0;
  if (height) *height = 0;
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, false);
  if (!text || !*text) return SLSucceed(true);
  CSL_GS_BaseGfx* gfx = m_state->gfx;
  if (!gfx) return SLFail(SL_E_NOT_INITIALISED, false);
  SLGuiRect rect{0, 0, 1, 1};
  if (!DrawTextInRectA(gfx, font, &rect, kMeasureFlags, nullptr, text, SL_TEXT_TO_END, kTabSize)) return false;
  const i32 border = color ? 2 * color->borderSize : 0;
  if (width) *width = rect.width + border;
  if (height) *height = rect.height + border;
  return SLSucceed(true);
}

bool CSL_GS_GuiManager::DrawWidgetText(SL_GS_Font* font, const char* text, const SLGuiSkinColor* color, u32 format,
                                       const SLGuiRect* rect, double opacity) {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, false);
  if (!rect) return SLFail(SL_E_INVALID_ARG, false);
  if (!text || !*text || rect->width < 1 || rect->height < 1) return SLSucceed(true);
  CSL_GS_BaseGfx* gfx = m_state->gfx;
  if (!gfx) return SLFail(SL_E_NOT_INITIALISED, false);
  if (!PushClipRect(rect->x, rect->y, rect->width, rect->height, false)) return false;
  const u32 flags = LayoutFlagsOf(format);
  bool ok = true;
  const auto draw = [&](u32 colorWord, i32 dx, i32 dy) {
    SLGuiRect placed{rect->x + dx, rect->y + dy, rect->width, rect->height};
    const SL_GS_DrawImageOptions options = OptionsFor(colorWord, opacity);
    if (!DrawTextInRectA(gfx, font, &placed, flags, &options, text, SL_TEXT_TO_END, kTabSize)) ok = false;
  };
  if (color && (color->shadowColor >> 24) && color->shadowOffsetX && color->shadowOffsetY)
    draw(color->shadowColor, color->shadowOffsetX, color->shadowOffsetY);
  if (color && (color->borderColor >> 24) && color->borderSize > 0) {
    // Ring i holds 4i copies at equal angles (tenths of a degree) i pixels out.
    for (i32 ring = 1; ring <= color->borderSize; ++ring) {
      const u32 copies = 4 * u32(ring);
      for (u32 k = 0; k < copies; ++k) {
        const u32 angle = 3600 * k / copies;
        draw(color->borderColor, i32(SLFastCos(angle) * ring), i32(SLFastSin(angle) * ring));
      }
    }
  }
  draw(color ? color->color : 0xFF000000u, 0, 0);
  const u32 code = SLGetLastError();
  PopClipRect();
  return ok ? SLSucceed(true) : SLFail(code, false);
}
