#include "app/editor/PickerButtons.h"

#include <cstring>

#include "adventure/catalog/SceneCatalog.h"
#include "app/editor/EditorState.h"
#include "foundation/SLError.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "gui/SLGuiManager.h"

SL_IMPLEMENT_CLASS_CREATABLE(CMyMiniItemPreviewButton, CSL_GS_GuiButton)

SL_GS_DrawImageOptions ItemDraw_ColourOptions(u32 colour) {
  SL_GS_DrawImageOptions options{};
  options.flags = SL_GS_DRAW_TINT;
  options.tintRed = u8(colour), options.tintGreen = u8(colour >> 8), options.tintBlue = u8(colour >> 16);
  if (const u32 alpha = colour >> 24; alpha != 255) {
    options.flags |= SL_GS_DRAW_OPACITY;
    options.opacity = alpha * 100.0 / 255.0;
  }
  return options;
}

void ItemDraw_SetTargetSize(SL_GS_DrawImageOptions* options, i32 width, i32 height) {
  // The device reads a target size from the first four bytes of each scale field.
  options->flags = (options->flags & ~u32(SL_GS_DRAW_SCALE)) | SL_GS_DRAW_TARGET_SIZE;
  options->scaleX = options->scaleY = 0;
  std::memcpy(&options->scaleX, &width, sizeof width);
  std::memcpy(&options->scaleY, &height, sizeof height);
}

void ItemDraw_ImageSize(SL_GS_Image* image, i32* width, i32* height) {
  *width = *height = 0;
  CSL_GS_BaseGfx* gfx = EditorGfx();
  SL_GS_ImageInfo info{};
  if (image && gfx && gfx->GetImageInfo(image, &info)) *width = i32(info.width), *height = i32(info.height);
}

void ItemDraw_FitSize(i32 w, i32 h, i32 boxW, i32 boxH, bool keepSmall, i32* outW, i32* outH) {
  *outW = w, *outH = h;
  if (w <= 0 || h <= 0) return;
  if (keepSmall && w <= boxW && h <= boxH) return;
  *outH = boxH, *outW = i32(i64(w) * boxH / h);
  if (*outW > boxW) *outW = boxW, *outH = i32(i64(h) * boxW / w);
}

namespace {

void DrawSceneBackground(const Scene* scene, i32 x, i32 y) {
  const SceneRecord* record = scene && scene->background >= 0 ? SceneCatalog_GetAt(u32(scene->background)) : nullptr;
  CSL_GS_BaseGfx* gfx = EditorGfx();
  if (!record || !record->background || !gfx) return;
  SL_GS_DrawImageOptions options{};
  ItemDraw_SetTargetSize(&options, 43, 24);
  gfx->DrawImage(record->background, x, y, &options);
}

void DrawSelectedElement(const SLGuiRect& rect) {
  const EditorSelection& selection = Editor_State().selection;
  if ((selection.kind != kHitCharacter && selection.kind != kHitObject) || !selection.element) return;
  const ElementResults* element =
      selection.kind == kHitCharacter
          ? static_cast<const ElementResults*>(static_cast<const CharacterInstance*>(selection.element))
          : static_cast<const ElementResults*>(static_cast<const ObjectInstance*>(selection.element));
  CSL_GS_BaseGfx* gfx = EditorGfx();
  if (!element->image || !gfx) return;
  i32 w, h, fitW, fitH;
  ItemDraw_ImageSize(element->image, &w, &h);
  ItemDraw_FitSize(w, h, 39, 61, false, &fitW, &fitH);
  if (fitW <= 0 || fitH <= 0) return;
  SL_GS_DrawImageOptions options{};
  ItemDraw_SetTargetSize(&options, fitW, fitH);
  // Hung from the picture's centre (the anchor is in the picture's own pixels).
  options.flags |= SL_GS_DRAW_ANCHOR;
  options.anchorX = w / 2, options.anchorY = h / 2;
  gfx->DrawImage(element->image, rect.x + rect.width / 2, rect.y + rect.height / 2, &options);
}

}  // namespace

void CMyMiniItemPreviewButton::Draw(const SLGuiRect* clientOnScreen) {
  SLErrorKeeper keep;
  const Movie* movie = Editor_Movie();
  const u32 current = movie->currentScene, count = Movie_SceneCount(movie);
  switch (GetId()) {
    case kIdManEscFotog1b:
      if (count > 0 && current > 0) DrawSceneBackground(Movie_SceneAt(movie, current - 1), clientOnScreen->x, clientOnScreen->y);
      break;
    case kIdManEscFotog2b:
      DrawSceneBackground(Movie_SceneAt(movie, current), clientOnScreen->x, clientOnScreen->y);
      break;
    case kIdManEscFotog3b:
      if (current + 1 < count) DrawSceneBackground(Movie_SceneAt(movie, current + 1), clientOnScreen->x, clientOnScreen->y);
      break;
    case kIdSelItem:
      DrawSelectedElement(*clientOnScreen);
      break;
    default:
      break;
  }
}

u32 CMyMiniItemPreviewButton::HitTest(i32 x, i32 y) { return CSL_GS_GuiWindow::HitTest(x, y); }
