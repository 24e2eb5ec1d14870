// Drawing of the window tree: each window draws its frame under a clip of its screen
// rectangle and its client area under a clip of its client rectangle, each cut by the
// parent's client clip; windows go from the bottom of each list to the top, so later
// (upper) windows paint over earlier ones.
#include <algorithm>

#include "gamesystem/SLBaseGfx.h"
#include "gui/SLGuiManager.h"
#include "gui/SLGuiWindowSnapshot.h"

using SLInternals::CSLGuiWindowSnapshot;

namespace {

SLGuiRect Intersect(const SLGuiRect& a, const SLGuiRect& b) {
  const i64 left = std::max<i64>(a.x, b.x), top = std::max<i64>(a.y, b.y);
  const i64 right = std::min<i64>(i64(a.x) + a.width, i64(b.x) + b.width);
  const i64 bottom = std::min<i64>(i64(a.y) + a.height, i64(b.y) + b.height);
  return SLGuiRect{i32(left), i32(top), i32(std::max<i64>(right - left, 0)), i32(std::max<i64>(bottom - top, 0))};
}

bool IsEmpty(const SLGuiRect& r) { return r.width < 1 || r.height < 1; }

}  // namespace

bool CSL_GS_GuiManager::Draw() {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, false);
  SLCriticalSectionLock lock(&m_stateLock);
  CSL_GS_BaseGfx* gfx = m_state->gfx;
  if (!gfx) return SLFail(SL_E_NOT_INITIALISED, false);
  if (m_state->inDraw) return SLSucceed(true);
  const SLGuiShutdownWatch watch(this);
  TSLObjPtr<CSL_GS_BaseGfx> gfxHold(gfx);
  m_state->inDraw = 1;
  const u32 drawState = gfx->GetDrawState();
  gfx->SetDrawState(0);
  u32 clip[4] = {};
  gfx->GetClipRect(&clip[0], &clip[1], &clip[2], &clip[3]);
  const SLGuiRect deviceClip{i32(clip[0]), i32(clip[1]), i32(clip[2]), i32(clip[3])};
  CSLGuiWindowSnapshot windows;
  windows.AddList(&m_state->topLevelWindows, true);
  for (CSL_GS_GuiWindow* window : windows) {
    if (watch.ShutDown() || m_state->gfx != gfx) break;
    if (IsLive(window)) DrawWindowTree(window, &deviceClip);
  }
  // The device gets its clip and state back unless a handler took it away meanwhile.
  if (!watch.ShutDown() && m_state->gfx == gfx) {
    gfx->SetClipRect(clip[0], clip[1], clip[2], clip[3]);
    gfx->SetDrawState(drawState);
  }
  if (watch.ShutDown()) return SLFail(SL_E_NOT_INITIALISED, false);
  m_state->inDraw = 0;
  return SLSucceed(true);
}

bool CSL_GS_GuiManager::DrawWindowTree(CSL_GS_GuiWindow* window, const SLGuiRect* parentClip) {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, false);
  SLCriticalSectionLock lock(&m_stateLock);
  if (!IsLive(window) || !parentClip) return SLFail(SL_E_INVALID_ARG, false);
  CSL_GS_BaseGfx* gfx = m_state->gfx;
  if (!gfx) return SLFail(SL_E_NOT_INITIALISED, false);
  if (!(window->m_style & SL_GUI_WS_VISIBLE)) return SLSucceed(true);
  const SLGuiShutdownWatch watch(this);
  auto gone = [this, watch, window, gfx] {
    return watch.ShutDown() || !IsLive(window) || m_state->gfx != gfx;
  };
  TSLObjPtr<CSL_GS_GuiWindow> hold(window);
  auto applyClip = [this, gfx](const SLGuiRect& r) {
    gfx->SetClipRect(u32(r.x), u32(r.y), u32(r.width), u32(r.height));
    m_state->clipX = r.x, m_state->clipY = r.y, m_state->clipWidth = r.width, m_state->clipHeight = r.height;
    m_state->clipStack->SetSize(0);
  };
  const bool minimized = (window->m_style & SL_GUI_WS_MINIMIZED) != 0;
  SLGuiRect screen;
  window->GetScreenRectR(&screen);
  SLGuiRect clip = minimized ? *parentClip : Intersect(screen, *parentClip);
  if (IsEmpty(clip)) return SLSucceed(true);
  applyClip(clip);
  window->DrawFrame(&screen);
  if (gone()) return SLFail(SL_E_NOT_INITIALISED, false);

  const SLGuiRect client{screen.x - window->m_windowRect.x + window->m_clientRect.x,
                         screen.y - window->m_windowRect.y + window->m_clientRect.y, window->m_clientRect.width,
                         window->m_clientRect.height};
  const SLGuiRect clientClip = minimized ? *parentClip : Intersect(client, *parentClip);
  if (IsEmpty(clientClip)) return SLSucceed(true);
  applyClip(clientClip);
  window->Draw(&client);
  if (gone()) return SLFail(SL_E_NOT_INITIALISED, false);
  if (minimized) {
    DrawCaptionOfMinimized(window, client);
    return SLSucceed(true);
  }
  CSLGuiWindowSnapshot children;
  children.AddList(&window->m_children, true);
  for (CSL_GS_GuiWindow* child : children) {
    if (IsLive(child) && child->m_parent == window) DrawWindowTree(child, &clientClip);
    if (gone()) return SLFail(SL_E_NOT_INITIALISED, false);
  }
  return SLSucceed(true);
}

void CSL_GS_GuiManager::DrawCaptionOfMinimized(CSL_GS_GuiWindow* window, const SLGuiRect& client) {
  // The caption goes under the icon in the desktop's icon font, centred on a box at least
  // 64 pixels wide.
  if (!m_state->iconFont || window->m_text.IsEmpty()) return;
  const i32 boxWidth = 2 * std::max(client.width, 32);
  const SLGuiRect box{client.x + (client.width - boxWidth) / 2, client.y + client.height + 4, boxWidth,
                      i32(m_state->gfx->GetFontHeight(m_state->iconFont)) + 1};
  const bool disabled = (window->m_style & SL_GUI_WS_DISABLED) != 0;
  const SLGuiSkinColor color =
      disabled && m_state->disabledCaptionColor.color ? m_state->disabledCaptionColor : m_state->normalCaptionColor;
  DrawWidgetText(m_state->iconFont, window->m_text.CStr(), &color, 10, &box, GetEffectiveOpacity(window));
}
