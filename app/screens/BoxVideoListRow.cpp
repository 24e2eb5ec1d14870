#include "app/screens/BoxVideoListRow.h"

#include <cstring>

#include "app/services/CommonResources.h"
#include "foundation/SLError.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "gui/SLGuiManager.h"

SL_IMPLEMENT_CLASS_CREATABLE(CMyMiniListItemButton, CSL_GS_GuiButton)

namespace {

constexpr i32 kHighlightWidth = 100, kHighlightHeight = 12;
constexpr double kHighlightOpacity = 25;
// Right-aligned on the anchor, centred on it vertically; a caption too wide for its row
// starts at the row's left edge instead (left-aligned, centred vertically), so that its
// start, the step's number, shows and its end is what the row cuts.
constexpr u32 kCaptionAlignment = 18, kWideCaptionAlignment = 16;

}  // namespace

u32 CMyMiniListItemButton::CaptionColor(u32 state, bool selected) {
  switch (state & 3) {
    case SL_GUI_STATE_HOT:
      return 0xFF8A38CBu;
    case SL_GUI_STATE_PRESSED:
      return 0xFF000000u;
    default:
      break;
  }
  return selected ? 0xFFFFFFFFu : 0xFF781E90u;
}

void CMyMiniListItemButton::Draw(const SLGuiRect* client) {
  if (!m_manager || !client) return;
  CSL_GS_BaseGfx* gfx = m_manager->GetGfx();
  if (!gfx) return;
  const u32 row = GetId() - APP_MINI_LIST_FIRST_ROW_ID + m_firstRow;
  const bool selected = m_selectedRow != 0xFFFFFFFF && m_selectedRow == row;
  // The list's highlight is the black pixel: the chosen row darkens behind its white caption.
  if (selected && AppCommonPictures[APP_PICTURE_BLACK_PIXEL]) {
    SL_GS_DrawImageOptions highlight{};
    highlight.flags = SL_GS_DRAW_TARGET_SIZE | SL_GS_DRAW_OPACITY;
    // The target size travels in the first four bytes of each scale field.
    std::memcpy(&highlight.scaleX, &kHighlightWidth, sizeof kHighlightWidth);
    std::memcpy(&highlight.scaleY, &kHighlightHeight, sizeof kHighlightHeight);
    highlight.opacity = kHighlightOpacity;
    gfx->DrawImage(AppCommonPictures[APP_PICTURE_BLACK_PIXEL], client->x, client->y, &highlight);
  }
  const u32 color = CaptionColor(GetState(), selected);
  SL_GS_DrawImageOptions text{};
  text.flags = SL_GS_DRAW_TINT;
  text.tintRed = u8(color), text.tintGreen = u8(color >> 8), text.tintBlue = u8(color >> 16);
  const char* caption = GetText();
  SL_GS_Font* font = AppCommonFonts[APP_FONT_TAHOMA_8];
  if (caption && *caption) {
    const bool wide = gfx->GetTextWidthFormat(font, "%s", caption) > client->width - 2;
    gfx->DrawTextFormat(font, wide ? client->x : client->x + client->width - 2, client->y + client->height / 2,
                        wide ? kWideCaptionAlignment : kCaptionAlignment, &text, "%s", caption);
  }
  SLSetLastError(SL_OK);
}

u32 CMyMiniListItemButton::HitTest(i32 x, i32 y) { return CSL_GS_GuiWindow::HitTest(x, y); }
