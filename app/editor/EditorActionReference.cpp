// The reference of an action: which elements of the stage an action's references may
// point at, the target a walk heads for (the element's point moved by the reference's
// approach offsets for the direction the character arrives from), the path test that
// tries the references in turn, and the reference that accepts the pointed element.
#include "adventure/catalog/CharacterCatalog.h"
#include "adventure/catalog/ObjectCatalog.h"
#include "adventure/catalog/SceneCatalog.h"
#include "app/editor/EditorAction.h"
#include "app/editor/ClassList.h"
#include "gamesystem/SLPathFinder2D.h"

namespace {
// When the reference has no offsets for the arriving direction, the directions nearest
// to it are tried in this order. Rows 3 to 5 are as the stored catalogue items were
// tuned against; they are kept as they stand.
constexpr u8 kAlternativeDirections[kDirectionCount][7] = {
    {1, 2, 6, 7, 3, 4, 5}, {0, 6, 2, 7, 4, 5, 3}, {0, 7, 1, 6, 5, 4, 3}, {4, 5, 6, 7, 3, 1, 2},
    {3, 6, 5, 7, 1, 0, 0}, {3, 7, 4, 6, 2, 0, 0}, {1, 4, 0, 3, 7, 2, 5}, {2, 5, 0, 3, 6, 1, 4},
};

bool ClassAccepted(CSLStringAnsi& list, CSLStringAnsi& name) {
  return list.IsEmpty() || ClassList_Match(list.CStr(), name.CStr(), 1) != 0;
}

ObjectRecord* ObjectRecordOf(const ObjectInstance* object) {
  return object && object->object >= 0 ? ObjectCatalog_GetAt(u32(object->object)) : nullptr;
}
CharacterRecord* CharacterRecordOf(const CharacterInstance* character) {
  return character && character->character >= 0 ? CharacterCatalog_GetAt(u32(character->character)) : nullptr;
}

// The support point a hover of kind 8 names, null when its object or point is gone.
ObjectSupportPoint* SupportPointOf(const EditorSelection& hover) {
  ObjectRecord* record = ObjectRecordOf(static_cast<const ObjectInstance*>(hover.element));
  return record ? CatalogRecord_GetListEntryAt(record, hover.supportIndex) : nullptr;
}

// The depth scale a standing character would have at a stage point.
double ScaleAtPoint(const Scene* scene, i32 x, i32 y) {
  const SceneRecord* background = scene->background >= 0 ? SceneCatalog_GetAt(u32(scene->background)) : nullptr;
  SLErrorKeeper keep;
  const i32 alpha = background ? SceneRecord_MaskAlphaAt(background, x, y) : 0;
  return Depth_ScaleOfAlpha(alpha > 0 ? alpha : 0);
}

i32 Clamp(i32 value, i32 last) { return value < 0 ? 0 : value > last ? last : value; }

// The target `reference` walks to for `hover`, with the scale of what it points at;
// false when the reference does not take part for this hover.
bool TargetOf(const ActionPlacementContext& context, const ActionReference* reference, const EditorSelection& hover,
              i32* x, i32* y, double* scale) {
  switch (reference->kind) {
    case kReferenceStage:
      if (hover.kind != kHitBackground && hover.kind != kHitStage) return false;
      *x = hover.x, *y = hover.y, *scale = ScaleAtPoint(context.scene, hover.x, hover.y);
      return true;
    case kReferenceObject: {
      const ObjectInstance* object = static_cast<const ObjectInstance*>(hover.element);
      ObjectRecord* record = hover.kind == kHitObject ? ObjectRecordOf(object) : nullptr;
      if (!record || !ClassAccepted(const_cast<ActionReference*>(reference)->referenceClass, record->itemClass))
        return false;
      *x = object->posX, *y = object->posY, *scale = object->scale;
      return true;
    }
    case kReferenceSupportPoint: {
      const ObjectInstance* object = static_cast<const ObjectInstance*>(hover.element);
      ObjectRecord* record = hover.kind == kHitSupportPoint ? ObjectRecordOf(object) : nullptr;
      if (!record || !ClassAccepted(const_cast<ActionReference*>(reference)->referenceClass, record->itemClass))
        return false;
      *x = hover.supportX, *y = hover.supportY, *scale = object->scale;
      return true;
    }
    case kReferenceCharacter: {
      const CharacterInstance* other = static_cast<const CharacterInstance*>(hover.element);
      CharacterRecord* record = hover.kind == kHitCharacter && other != context.who ? CharacterRecordOf(other) : nullptr;
      if (!record || !ClassAccepted(const_cast<ActionReference*>(reference)->referenceClass, record->itemClass))
        return false;
      *x = other->posX, *y = other->posY, *scale = other->scale;
      return true;
    }
    default:
      return false;
  }
}
}  // namespace

CharacterAction* ActionPlacementContext_Action(const ActionPlacementContext& context) {
  return context.character ? CatalogRecord_GetListEntryAt(context.character, context.actionIndex) : nullptr;
}

u32 EditorAction_ReferenceKinds(const CharacterAction* action, bool floating) {
  u32 kinds = 0;
  for (u32 i = 0; action && i < action->references.GetCount(); ++i) {
    switch (action->references[i]->kind) {
      case kReferenceStage: kinds |= floating ? kHitStage : kHitBackground; break;
      case kReferenceCharacter: kinds |= kHitCharacter; break;
      case kReferenceObject: kinds |= kHitObject; break;
      case kReferenceSupportPoint: kinds |= kHitSupportPoint; break;
      default: break;
    }
  }
  return kinds;
}

i32 EditorAction_SupportDirection(ObjectSupportPoint* point, const char* characterClass) {
  u32 mask = 0;
  if (!point || ClassList_Match(point->characterClasses.CStr(), characterClass, 2, &mask) == 0) return -1;
  if (mask & kForceFront) return 0;
  if (mask & kForceBack) return 3;
  if (mask & kForceLeft) return 6;
  if (mask & kForceRight) return 7;
  return -1;
}

void EditorAction_ApproachTarget(const ActionReference* reference, u32 direction, double scale, i32* x, i32* y) {
  if (direction >= kDirectionCount) direction = 0;
  u32 chosen = direction;
  if (reference->dx[chosen] == 0 && reference->dy[chosen] == 0) {
    chosen = kDirectionCount;
    for (u8 alternative : kAlternativeDirections[direction])
      if (reference->dx[alternative] != 0 || reference->dy[alternative] != 0) {
        chosen = alternative;
        break;
      }
    if (chosen == kDirectionCount) return;
  }
  // Each product in double precision, truncated toward zero.
  *x = i32(i64(*x) - i64(double(reference->dx[chosen]) * scale));
  *y = i32(i64(*y) - i64(double(reference->dy[chosen]) * scale));
}

i32 EditorAction_PathTest(const ActionPlacementContext& context, const EditorSelection& hover, i32* targetX,
                          i32* targetY) {
  CharacterAction* action = ActionPlacementContext_Action(context);
  if (!action || !context.pathFinder || hover.kind == 0) return -1;
  for (u32 i = 0; i < action->references.GetCount(); ++i) {
    const ActionReference* reference = action->references[i];
    i32 x = 0, y = 0;
    double scale = 1.0;
    if (!TargetOf(context, reference, hover, &x, &y, &scale)) continue;
    u32 direction = Direction_FromDelta(i32(i64(x) - context.who->posX), i32(i64(y) - context.who->posY));
    if (reference->kind == kReferenceSupportPoint) {
      const i32 forced = EditorAction_SupportDirection(SupportPointOf(hover), context.character->itemClass.CStr());
      if (forced >= 0) direction = u32(forced);
    }
    EditorAction_ApproachTarget(reference, direction, scale, &x, &y);
    // A target moved off the stage walks to the nearest point of the stage's edge.
    x = Clamp(x, i32(kStageWidth) - 1), y = Clamp(y, i32(kStageHeight) - 1);
    SLErrorKeeper keep;
    if (context.pathFinder->SetEnd(u32(x) / 2, u32(y) / 2) && context.pathFinder->FindPath()) {
      *targetX = x, *targetY = y;
      return i32(i);
    }
  }
  return -1;
}

i32 EditorAction_AcceptReference(const ActionPlacementContext& context, const EditorSelection& hover, bool pathPassed) {
  CharacterAction* action = ActionPlacementContext_Action(context);
  if (!action || hover.kind == 0) return -1;
  const bool floating = context.character->floating != 0;
  for (u32 i = 0; i < action->references.GetCount(); ++i) {
    ActionReference* reference = action->references[i];
    const bool walkOk = (!action->isWalk && !reference->approach) || pathPassed;
    switch (reference->kind) {
      case kReferenceStage:
        if (hover.kind == kHitStage && floating) return i32(i);
        if (hover.kind == kHitBackground && !floating && walkOk) return i32(i);
        break;
      case kReferenceObject: {
        ObjectRecord* record = hover.kind == kHitObject ? ObjectRecordOf(static_cast<ObjectInstance*>(hover.element)) : nullptr;
        if (record && ClassAccepted(reference->referenceClass, record->itemClass) && walkOk) return i32(i);
        break;
      }
      case kReferenceSupportPoint: {
        ObjectRecord* record =
            hover.kind == kHitSupportPoint ? ObjectRecordOf(static_cast<ObjectInstance*>(hover.element)) : nullptr;
        ObjectSupportPoint* point = record ? SupportPointOf(hover) : nullptr;
        if (point && ClassAccepted(reference->referenceClass, record->itemClass) &&
            ClassList_Match(point->characterClasses.CStr(), context.character->itemClass.CStr(), 2) != 0 && walkOk)
          return i32(i);
        break;
      }
      case kReferenceCharacter: {
        CharacterRecord* record =
            hover.kind == kHitCharacter ? CharacterRecordOf(static_cast<CharacterInstance*>(hover.element)) : nullptr;
        if (!record || !ClassAccepted(reference->referenceClass, record->itemClass)) break;
        // Pointing at the character itself ends the search: it cannot be its own reference.
        if (hover.element == context.who) return -1;
        if (walkOk) return i32(i);
        break;
      }
      default:
        break;
    }
  }
  return -1;
}
