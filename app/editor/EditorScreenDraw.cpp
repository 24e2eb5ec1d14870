// Drawing an editor frame (the stage, the pulsing outlines of the hovered and selected
// elements, the frame around the stage, the counters, the GUI, the tooltip and the
// pointer) and the tooltip's timing.
#include <utility>

#include "app/services/AppEvents.h"
#include "app/services/AppServices.h"
#include "app/services/CMyGuiManager.h"
#include "app/services/CommonResources.h"
#include "app/editor/EditorScreen.h"
#include "app/editor/EditorState.h"
#include "app/editor/PickerButtons.h"
#include "foundation/SLError.h"
#include "foundation/SLPrintf.h"
#include "gamesystem/SLFrameTime.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "gamesystem/directx/SLMouseInput.h"
#include "gui/SLGuiWindow.h"

namespace {

constexpr u32 kOutlineShadow = 0xC8000000;  // the four offset passes under a counter
constexpr u32 kSceneCounterColour = 0xC800FF00;
constexpr u32 kTimeColour = 0xC800FFFF;

// Text with a dark outline: four passes one pixel off in each direction, then the text.
void DrawOutlinedText(i32 x, i32 y, u32 alignment, u32 colour, const char* text) {
  CSL_GS_BaseGfx* gfx = EditorGfx();
  SL_GS_Font* font = AppCommonFonts[APP_FONT_COMIC_11];
  if (!gfx || !font) return;
  static constexpr i32 kOffsets[4][2] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}};
  const SL_GS_DrawImageOptions shadow = ItemDraw_ColourOptions(kOutlineShadow);
  for (const auto& offset : kOffsets) gfx->DrawTextFormat(font, x + offset[0], y + offset[1], alignment, &shadow, "%s", text);
  const SL_GS_DrawImageOptions face = ItemDraw_ColourOptions(colour);
  gfx->DrawTextFormat(font, x, y, alignment, &face, "%s", text);
}

void DrawHighlight(const EditorSelection& record, u32 colour) {
  switch (record.kind) {
    case kHitBackground:
    case kHitStage:
      EditorScreen_DrawCrossHair(record.x + kStageX, record.y + kStageY, colour);
      break;
    case kHitSupportPoint:
      EditorScreen_DrawCrossHair(record.supportX + kStageX, record.supportY + kStageY, colour);
      break;
    case kHitCharacter:
    case kHitObject: {
      if (!record.element) break;
      const ElementResults* element =
          record.kind == kHitCharacter
              ? static_cast<const ElementResults*>(static_cast<const CharacterInstance*>(record.element))
              : static_cast<const ElementResults*>(static_cast<const ObjectInstance*>(record.element));
      const i32 left = element->left + kStageX, top = element->top + kStageY;
      EditorScreen_DrawRectOutline(left, top, left + element->width, top + element->height, colour);
      break;
    }
    case kHitText: {
      if (!record.element) break;
      const TextItem* text = static_cast<const TextItem*>(record.element);
      const i32 left = text->x + kStageX, top = text->y + kStageY;
      EditorScreen_DrawRectOutline(left, top, left + text->balloon.boxWidth, top + text->balloon.boxHeight, colour);
      break;
    }
    default:
      break;
  }
}

bool SameRecord(const EditorSelection& a, const EditorSelection& b) {
  return a.kind == b.kind && a.index == b.index && a.x == b.x && a.y == b.y && a.element == b.element;
}

}  // namespace

void EditorScreen_FormatTime(u32 frame, u32 length, char* text, u32 size) {
  auto h = [](u32 f) { return static_cast<unsigned long>(f / 216000); };
  auto m = [](u32 f) { return static_cast<unsigned long>((f / 3600) % 60); };
  auto s = [](u32 f) { return static_cast<unsigned long>((f / 60) % 60); };
  auto c = [](u32 f) { return static_cast<unsigned long>((f % 60) * 100 / 60); };
  SLSnprintfA(text, size, "%lu:%02lu:%02lu.%02lu / %lu:%02lu:%02lu.%02lu", h(frame), m(frame), s(frame), c(frame),
              h(length), m(length), s(length), c(length));
}

void EditorScreen_DrawRectOutline(i32 left, i32 top, i32 right, i32 bottom, u32 colour) {
  CSL_GS_BaseGfx* gfx = EditorGfx();
  SL_GS_Image* pixel = AppCommonPictures[APP_PICTURE_WHITE_PIXEL];
  if (!gfx || !pixel) return;
  if (left > right) std::swap(left, right);
  if (top > bottom) std::swap(top, bottom);
  const struct {
    i32 x, y, width, height;
  } lines[4] = {{left, top, right - left, 1},
                {left, bottom, right - left, 1},
                {left, top, 1, bottom - top},
                {right, top, 1, bottom - top}};
  for (const auto& line : lines) {
    SL_GS_DrawImageOptions options = ItemDraw_ColourOptions(colour);
    ItemDraw_SetTargetSize(&options, line.width, line.height);
    gfx->DrawImage(pixel, line.x, line.y, &options);
  }
}

void EditorScreen_DrawCrossHair(i32 x, i32 y, u32 colour) {
  CSL_GS_BaseGfx* gfx = EditorGfx();
  SL_GS_Image* crossHair = AppCommonPictures[APP_PICTURE_CROSSHAIR];
  if (!gfx || !crossHair) return;
  const SL_GS_DrawImageOptions options = ItemDraw_ColourOptions(colour);
  gfx->DrawImage(crossHair, x, y, &options);
}

void EditorScreen_DrawFrame() {
  CSL_GS_BaseGfx* gfx = EditorGfx();
  if (!gfx) return;
  const EditorImages& images = Editor_State().images;
  static constexpr struct {
    u32 piece;
    i32 x, y;
  } kPlaces[kEditorFramePieces] = {
      {kFrameTop, 0, 0},
      {kFrameLeft, 0, 148},
      {kFrameRight, 772, 148},
      {kFrameBottom, 0, 520},
      {kFrameInnerLeftTop, 108, 148},
      {kFrameInnerLeftBottom, 108, 512},
      {kFrameInnerRightTop, 764, 148},
      {kFrameInnerRightBottom, 764, 512},
  };
  for (const auto& place : kPlaces)
    if (images.frame[place.piece]) gfx->DrawImage(images.frame[place.piece], place.x, place.y, nullptr);
}

void EditorScreen_DrawScene() {
  CSL_GS_BaseGfx* gfx = EditorGfx();
  if (!gfx) return;
  gfx->Clear(0, false, false);
  Stage_Draw(Editor_Movie(), kStageX, kStageY);
}

void EditorScreen_DrawOverlay() {
  SLErrorKeeper keep;
  EditorState& state = Editor_State();
  CSL_GS_BaseGfx* gfx = EditorGfx();
  if (!gfx) return;
  // A pulse of 500 ms: up for 250, down for 250.
  const u32 t = SL_GS_GetTimeMs() % 500;
  const u32 rising = t < 250 ? t : 499 - t;
  const u32 b = rising * 255 / 250;
  if (!SameRecord(state.hover, state.selection)) {
    const u32 hoverColour = state.stageMode == kStageReference ? 0xFF000000u | ((b / 2) << 8) | b
                                                               : 0xFF000000u | (b << 8);
    DrawHighlight(state.hover, hoverColour);
  }
  DrawHighlight(state.selection, 0xFF000000u | (b << 16) | (b << 8));
  EditorScreen_DrawFrame();

  if (state.stageMode == kStageReference) {
    DrawOutlinedText(440, 150, 1, kTimeColour,
                     "LA ACCI\xd3N SELECCIONADA NECESITA UN PUNTO Y/O OBJETO DE REFERENCIA.");
    DrawOutlinedText(440, 170, 1, kTimeColour,
                     "POR FAVOR IND\xcd" "CALO O PRESIONA LA TECLA ESCAPE PARA CANCELAR.");
  }
  const Movie* movie = Editor_Movie();
  if (const u32 count = Movie_SceneCount(movie); count > 0) {
    char text[96];
    SLSnprintfA(text, sizeof text, "%lu / %lu", static_cast<unsigned long>(movie->currentScene + 1),
                static_cast<unsigned long>(count));
    DrawOutlinedText(761, 481, 2, kSceneCounterColour, text);
    if (const Scene* scene = Editor_CurrentScene()) {
      EditorScreen_FormatTime(scene->currentFrame, scene->length, text, sizeof text);
      DrawOutlinedText(761, 498, 2, kTimeColour, text);
    }
  }

  SLCriticalSectionLock lock(&AppLock_Get());
  CMyGuiManager& gui = App_GuiManager();
  gui.Draw();
  const EditorTooltip& tooltip = state.tooltip;
  if (tooltip.state == 2 || tooltip.state == 4)
    Balloon_Draw(&tooltip.balloon, tooltip.x, tooltip.y, tooltip.counter * 10.0);
  else if (tooltip.state == 3)
    Balloon_Draw(&tooltip.balloon, tooltip.x, tooltip.y, 100.0);
  if (CSL_GS_BaseMouseInput* mouse = gui.GetMouse(); mouse && AppPointerImage)
    gfx->DrawImage(AppPointerImage, mouse->GetX(), mouse->GetY(), nullptr);
}

void EditorScreen_UpdateToolbarTooltips() {
  EditorTooltip& tooltip = Editor_State().tooltip;
  // 60 ticks of delay, 10 of fading in, 300 shown, 10 of fading out.
  switch (tooltip.state) {
    case 1:
      if (++tooltip.counter > 59) tooltip.state = 2, tooltip.counter = 0;
      break;
    case 2:
      if (++tooltip.counter > 9) tooltip.state = 3, tooltip.counter = 0;
      break;
    case 3:
      if (++tooltip.counter > 299) tooltip.state = 4, tooltip.counter = 9;
      break;
    case 4:
      if (--tooltip.counter < 0) tooltip.state = 0;
      break;
    default:
      break;
  }
  if (++tooltip.pollCounter <= 10) return;
  tooltip.pollCounter = 0;
  CMyGuiManager& gui = App_GuiManager();
  CSL_GS_BaseMouseInput* mouse = gui.GetMouse();
  if (!mouse) return;
  SLErrorKeeper keep;
  const i32 mx = mouse->GetX(), my = mouse->GetY();
  if (mx == tooltip.lastMouseX && my == tooltip.lastMouseY) return;
  tooltip.lastMouseX = mx, tooltip.lastMouseY = my;
  u32 id = 0, parentId = 0;
  u32 hit = 0;
  if (CSL_GS_GuiWindow* window = gui.WindowFromPoint(mx, my, nullptr, &hit, true, false);
      window && window->IsEnabled()) {
    id = window->GetId();
    if (CSL_GS_GuiWindow* parent = gui.GetParent(window)) {
      if (parent->IsEnabled())
        parentId = parent->GetId();
      else
        id = 0;
    }
  }
  if (id == tooltip.lastControlId && parentId == tooltip.lastParentId) return;
  tooltip.lastControlId = id, tooltip.lastParentId = parentId;
  const char* text = parentId == 0 && id != 0 ? EditorScreen_TooltipText(id) : nullptr;
  Balloon_SetText(&tooltip.balloon, text);
  Balloon_Layout(&tooltip.balloon);
  if (!text) {
    tooltip.state = 0;
    return;
  }
  const i32 width = tooltip.balloon.boxWidth, height = tooltip.balloon.boxHeight;
  tooltip.x = mx + 10, tooltip.y = my + 29;
  if (tooltip.x + width > 800) tooltip.x = 800 - width > 0 ? 800 - width : 0;
  if (tooltip.y + height > 600) tooltip.y = my - height - 2 > 0 ? my - height - 2 : 0;
  tooltip.state = 1, tooltip.counter = 0;
}
