// What the mouse does on the stage in each logic tick: the press tracking, the choice of
// the stage mode, hovering and picking elements (mode 1) and dragging the selection
// (mode 2). Mode 3, pointing at the reference of an action, belongs to the placement.
#include "adventure/catalog/CharacterCatalog.h"
#include "adventure/catalog/ObjectCatalog.h"
#include "adventure/catalog/SceneCatalog.h"
#include "app/services/AppEvents.h"
#include "app/services/CMyGuiManager.h"
#include "app/editor/EditorScreen.h"
#include "app/editor/EditorState.h"
#include "app/services/ModalStack.h"
#include "app/editor/ClassList.h"
#include "app/editor/StageMaskSearch.h"
#include "foundation/SLError.h"
#include "gamesystem/directx/SLKeyboardInput.h"
#include "gamesystem/directx/SLMouseInput.h"
#include "gui/SLGuiWindow.h"

#include <tuple>

namespace {

constexpr u32 kKeyEscape = 27;
constexpr u32 kAddActionCommand = 110001;
// Squared distance in stage pixels under which a dragged object snaps onto a support point.
constexpr i64 kSnapDistanceSquared = 200;

struct StageMouse {
  i32 x, y;  // stage point
  bool onStage;
  bool down1, changed1, down2, changed2;
};

StageMouse ReadMouse(CSL_GS_BaseMouseInput* mouse) {
  StageMouse m{};
  m.x = mouse->GetX() - kStageX, m.y = mouse->GetY() - kStageY;
  m.onStage = m.x >= 0 && m.x < i32(kStageWidth) && m.y >= 0 && m.y < i32(kStageHeight);
  m.down1 = mouse->IsButtonDown(1), m.changed1 = mouse->HasButtonChanged(1);
  m.down2 = mouse->IsButtonDown(2), m.changed2 = mouse->HasButtonChanged(2);
  return m;
}

// The records are the same element at the same point: their fields, never their padding.
bool SameRecord(const EditorSelection& a, const EditorSelection& b) {
  return a.kind == b.kind && a.index == b.index && a.x == b.x && a.y == b.y && a.element == b.element;
}

bool ContextMenuShown() {
  CSL_GS_GuiWindow* menu = Editor_State().popups.windows[0];
  return menu && App_GuiManager().IsRegistered(menu) && menu->IsVisibleInTree();
}

i32 Clamp(i32 value, i32 low, i32 high) { return value < low ? low : value > high ? high : value; }

const SceneRecord* BackgroundOf(const Scene* scene) {
  return scene && scene->background >= 0 ? SceneCatalog_GetAt(u32(scene->background)) : nullptr;
}

// Elements with actions or state changes keep the place the story gives them, and a text
// attached to an element follows its element.
bool MayDrag(const EditorSelection& selection) {
  switch (selection.kind) {
    case kHitCharacter: return List_IsEmpty(&static_cast<CharacterInstance*>(selection.element)->actions);
    case kHitObject: return List_IsEmpty(&static_cast<ObjectInstance*>(selection.element)->states);
    case kHitText: {
      const u32 kind = static_cast<TextItem*>(selection.element)->attachKind;
      return kind != kTextSpokenByCharacter && kind != kTextAttachedToObject;
    }
    default: return false;
  }
}

void StartDrag(EditorState& state, const StageMouse& m) {
  Editor_TakeUndoPoint();
  state.stageMode = kStageDrag;
  i32 x = 0, y = 0;
  switch (state.selection.kind) {
    case kHitCharacter: {
      const auto* character = static_cast<CharacterInstance*>(state.selection.element);
      x = character->x, y = character->y;
      break;
    }
    case kHitObject: {
      const auto* object = static_cast<ObjectInstance*>(state.selection.element);
      x = object->x, y = object->y;
      break;
    }
    default: {
      const auto* text = static_cast<TextItem*>(state.selection.element);
      x = text->x + Balloon_TailX(&text->balloon), y = text->y + Balloon_TailY(&text->balloon);
      break;
    }
  }
  state.dragDX = x - m.x, state.dragDY = y - m.y;
}

void SelectTick(EditorState& state, const StageMouse& m) {
  const Movie* movie = Editor_Movie();
  if (!m.onStage)
    state.hover = EditorSelection{};
  else
    Stage_HitTest(movie, m.x, m.y, kHitCharacter | kHitObject | kHitText, &state.hover);
  const bool haveSelection = state.selection.kind != 0;
  if (!m.down1 && m.changed1 && haveSelection && !state.pressMoved && SameRecord(state.hover, state.selection)) {
    Editor_OpenItemMenu(1);
  } else if (m.down1 && !m.changed1 && haveSelection && state.pressMoved && m.onStage) {
    if (MayDrag(state.selection)) StartDrag(state, m);
  } else if (m.down1 && m.changed1 && m.onStage) {
    state.selection = state.hover;
  }
  if (m.down2 && m.changed2 && state.stageMode == kStageSelect && m.onStage) {
    state.selection = state.hover;
    AppEventQueue_PostEvent(APP_EVENT_COMMAND, kAddActionCommand);
  }
}

// A standing element goes to the nearest opaque point of the mask; false when there is none.
bool ToFloor(const Scene* scene, i32* x, i32* y) {
  return Stage_FindNearestOpaquePoint(BackgroundOf(scene), x, y) != 0xFFFFFFFFu;
}

void MoveTo(i32* x, i32* y, i32 newX, i32 newY, bool* changed) {
  if (*x == newX && *y == newY) return;
  *x = newX, *y = newY;
  *changed = true;
}

// True when `object` rests, directly or through others, on `dragged`: snapping the dragged
// object onto it would make each carry the other.
bool RestsOn(const ObjectInstance* object, const ObjectInstance* dragged, u32 limit) {
  for (u32 steps = 0; object && steps <= limit; ++steps, object = object->carrier)
    if (object->carrier == dragged) return true;
  return false;
}

// The first support point of another object that accepts this object's class within
// snapping distance of the stage point; false when none.
bool FindSupport(Scene* scene, ObjectInstance* dragged, i32 x, i32 y, ObjectInstance** carrier, u32* point) {
  ObjectRecord* record = dragged->object >= 0 ? ObjectCatalog_GetAt(u32(dragged->object)) : nullptr;
  if (!record) return false;
  const u32 objects = Scene_ObjectCount(scene);
  for (ObjectInstance* other : ListRange<ObjectInstance>(&scene->objects)) {
    if (other == dragged || RestsOn(other, dragged, objects)) continue;
    ObjectRecord* otherRecord = other->object >= 0 ? ObjectCatalog_GetAt(u32(other->object)) : nullptr;
    if (!otherRecord) continue;
    const u32 count = CatalogRecord_GetListEntryCount(otherRecord);
    for (u32 k = 0; k < count; ++k) {
      ObjectSupportPoint* support = CatalogRecord_GetListEntryAt(otherRecord, k);
      if (!support || !ClassList_Match(support->objectClasses.CStr(), record->itemClass.CStr(), 1)) continue;
      const i64 px = i64(support->x * other->scale) + other->left;
      const i64 py = i64(support->y * other->scale) + other->top;
      const i64 dx = px - x, dy = py - y;
      if (dx * dx + dy * dy < kSnapDistanceSquared) {
        *carrier = other, *point = k;
        return true;
      }
    }
  }
  return false;
}

void DragTick(EditorState& state, const StageMouse& m, CSL_GS_BaseKeyboardInput* keyboard) {
  const bool escape = keyboard && keyboard->IsKeyDown(kKeyEscape) && keyboard->HasKeyChanged(kKeyEscape);
  if (escape || !m.down1) {
    state.stageMode = kStageSelect;
    return;
  }
  Scene* scene = Editor_CurrentScene();
  if (!scene || !state.selection.element) {
    state.stageMode = kStageSelect;
    return;
  }
  auto clampedTarget = [&] {
    return std::pair<i32, i32>{Clamp(m.x + state.dragDX, 0, i32(kStageWidth) - 1),
                               Clamp(m.y + state.dragDY, 0, i32(kStageHeight) - 1)};
  };
  auto [qx, qy] = clampedTarget();
  bool changed = false;
  switch (state.selection.kind) {
    case kHitCharacter: {
      auto* character = static_cast<CharacterInstance*>(state.selection.element);
      const CharacterRecord* record =
          character->character >= 0 ? CharacterCatalog_GetAt(u32(character->character)) : nullptr;
      if ((record && record->floating) || ToFloor(scene, &qx, &qy)) MoveTo(&character->x, &character->y, qx, qy, &changed);
      break;
    }
    case kHitObject: {
      auto* object = static_cast<ObjectInstance*>(state.selection.element);
      ObjectInstance* carrier = nullptr;
      u32 point = 0;
      if (FindSupport(scene, object, m.x, m.y, &carrier, &point)) {
        changed = object->carrier != carrier || object->supportPoint != point;
        object->carrier = carrier, object->supportPoint = point;
        break;
      }
      if (object->carrier) {
        object->carrier = nullptr, object->supportPoint = 0;
        Editor_RenderCurrent(scene->currentFrame, kModeSilent);
        state.dragDX = state.dragDY = 0;
        std::tie(qx, qy) = clampedTarget();
      }
      const ObjectRecord* record = object->object >= 0 ? ObjectCatalog_GetAt(u32(object->object)) : nullptr;
      if ((record && record->floatDepth >= 0.0) || ToFloor(scene, &qx, &qy)) MoveTo(&object->x, &object->y, qx, qy, &changed);
      break;
    }
    case kHitText: {
      auto* text = static_cast<TextItem*>(state.selection.element);
      MoveTo(&text->x, &text->y, qx - Balloon_TailX(&text->balloon), qy - Balloon_TailY(&text->balloon), &changed);
      break;
    }
    default:
      state.stageMode = kStageSelect;
      return;
  }
  if (changed) Editor_RenderCurrent(scene->currentFrame, kModeSilent);
}

}  // namespace

void EditorScreen_StageInput() {
  EditorState& state = Editor_State();
  CMyGuiManager& gui = App_GuiManager();
  CSL_GS_BaseMouseInput* mouse = gui.GetMouse();
  if (!mouse) return;
  SLErrorKeeper keep;
  // Press tracking: where button 1 went down, and whether the mouse has left that point since.
  if (mouse->IsButtonDown(1)) {
    if (mouse->HasButtonChanged(1)) {
      state.pressMoved = 0;
      state.pressX = mouse->GetX(), state.pressY = mouse->GetY();
    } else if (mouse->GetX() != state.pressX || mouse->GetY() != state.pressY) {
      state.pressMoved = 1;
    }
  }
  if (ModalStack_GetDepth() > 0 || ContextMenuShown())
    state.stageMode = kStageInactive;
  else if (state.stageMode == kStageInactive)
    state.stageMode = kStageSelect;
  const StageMouse m = ReadMouse(mouse);
  switch (state.stageMode) {
    case kStageSelect: SelectTick(state, m); break;
    case kStageDrag: DragTick(state, m, gui.GetKeyboard()); break;
    case kStageReference: Editor_RunReferenceInput(); break;
    default: break;
  }
}
