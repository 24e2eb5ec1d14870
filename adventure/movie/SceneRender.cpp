// Rendering a scene at a frame (evaluation of every element, sounds, the depth-sorted
// draw list), painting the stage from that list, and finding what lies under a point.
#include "adventure/AdventureDevices.h"
#include "adventure/catalog/ObjectCatalog.h"
#include "adventure/catalog/SceneCatalog.h"
#include "adventure/movie/MovieHooks.h"
#include "adventure/movie/SceneRender.h"
#include "foundation/SLMemory.h"
#include "foundation/SLSort.h"
#include "gamesystem/directx/SLGfxDirectX.h"

namespace {
// Texts outrank every character and object on the floor (keys up to 100000).
constexpr u32 kTextKeyBase = 100001;
constexpr u32 kStageWidthPx = kStageWidth, kStageHeightPx = kStageHeight;

u32 DepthKey(double scale) {
  const double key = scale * 100000.0;
  return key > 0 ? key < 4294967295.0 ? u32(key) : 0xFFFFFFFF : 0;
}

// Objects, carriers before what they carry: repeated passes until one evaluates nothing.
// An object whose carrier chain never ends is left unevaluated.
template <class Evaluate>
void ForObjectsCarriersFirst(Scene* scene, u32 mark, Evaluate evaluate) {
  for (ObjectInstance* object : ListRange<ObjectInstance>(&scene->objects)) object->flags &= ~mark;
  for (bool progress = true; progress;) {
    progress = false;
    for (ObjectInstance* object : ListRange<ObjectInstance>(&scene->objects)) {
      if (object->flags & mark) continue;
      if (object->carrier && !(object->carrier->flags & mark)) continue;
      evaluate(object);
      object->flags |= mark;
      progress = true;
    }
  }
}

}  // namespace

void Scene_SortDrawItems(DrawItem* items, u32 count) {
  // The framework quicksort, typed so that the comparison is inlined: the same order as
  // SLQSort with Scene_CompareDrawItems, which stored movies are drawn in.
  SLQSortTyped(items, count, [](const DrawItem* a, const DrawItem* b) { return Scene_CompareDrawItems(a, b); });
}

void Scene_RenderAtFrame(Scene* scene, u32 frame, u32 mode) {
  for (CharacterInstance* character : ListRange<CharacterInstance>(&scene->characters))
    CharacterInstance_EvaluateAndDraw(character, frame, mode);
  ForObjectsCarriersFirst(scene, kObjectEvaluated,
                          [&](ObjectInstance* object) { ObjectInstance_EvaluateAndDraw(object, frame, mode); });
  for (TextItem* text : ListRange<TextItem>(&scene->texts)) TextItem_EvaluateAtFrame(text, frame);
  for (SoundItem* item : ListRange<SoundItem>(&scene->sounds)) SoundItem_PlaybackStep(item, frame, mode);

  const u64 total = u64(Scene_CharacterCount(scene)) + Scene_ObjectCount(scene) + Scene_TextCount(scene);
  if (total > 0xFFFFFFFF || (scene->drawList.capacity < total && !SLArrayGrow(&scene->drawList, sizeof(DrawItem), u32(total))))
    Movie_FatalOutOfMemory(kFatalDrawList);
  scene->drawList.count = u32(total);
  DrawItem* items = static_cast<DrawItem*>(scene->drawList.data);
  u32 n = 0, index = 0;
  for (CharacterInstance* character : ListRange<CharacterInstance>(&scene->characters))
    items[n++] = DrawItem{kDrawCharacter, index++, character, DepthKey(character->scale)};
  index = 0;
  for (ObjectInstance* object : ListRange<ObjectInstance>(&scene->objects))
    items[n++] = DrawItem{kDrawObject, index++, object, DepthKey(object->scale)};
  index = 0;
  for (TextItem* text : ListRange<TextItem>(&scene->texts)) {
    items[n++] = DrawItem{kDrawText, index, text, kTextKeyBase + index};
    ++index;
  }
  Scene_SortDrawItems(items, n);
  scene->currentFrame = frame;
  MovieTimeline_SetPosition(frame);
  SLSetLastError(SL_OK);
}

void Stage_Draw(const Movie* movie, i32 sx, i32 sy) {
  SLErrorKeeper keep;  // drawing reports nothing to its caller
  const Scene* scene = Movie_SceneAt(movie, movie->currentScene);
  CSL_GS_BaseGfx* gfx = AdventureDevices_Get().gfx;
  if (!scene || !gfx) return;
  const SceneRecord* background = scene->background >= 0 ? SceneCatalog_GetAt(u32(scene->background)) : nullptr;
  if (background && background->background) gfx->DrawImage(background->background, sx, sy, nullptr);
  const DrawItem* items = static_cast<const DrawItem*>(scene->drawList.data);
  for (u32 i = scene->drawList.count; i-- > 0;) {
    const DrawItem& item = items[i];
    if (item.kind == kDrawText) {
      const TextItem* text = static_cast<const TextItem*>(item.element);
      if (text->shown) Balloon_Draw(&text->balloon, sx + text->x, sy + text->y, 100.0);
      continue;
    }
    const ElementResults* element =
        item.kind == kDrawCharacter
            ? static_cast<const ElementResults*>(static_cast<const CharacterInstance*>(item.element))
            : static_cast<const ElementResults*>(static_cast<const ObjectInstance*>(item.element));
    if (!element->visible || !element->image) continue;
    SL_GS_DrawImageOptions options{};
    options.flags = SL_GS_DRAW_SCALE;
    options.scaleX = options.scaleY = element->scale;
    gfx->DrawImage(element->image, sx + element->posX, sy + element->posY, &options);
  }
  if (background && background->foreground) {
    SL_GS_DrawImageOptions options{};
    gfx->DrawImage(background->foreground, sx, sy, &options);
  }
}

namespace {
bool InsideRectangle(const ElementResults* e, i32 x, i32 y) {
  return i64(x) >= e->left && i64(x) < i64(e->left) + e->width && i64(y) >= e->top && i64(y) < i64(e->top) + e->height;
}

// The picture's pixel under the point hits (alpha of 128 or more). The hit mask is read,
// not the source pixels: the loader releases the sources, after which every pixel would
// read as opaque black and transparent parts would steal clicks.
bool PictureHit(const ElementResults* e, i32 x, i32 y) {
  CSL_GS_BaseGfx* gfx = AdventureDevices_Get().gfx;
  SL_GS_ImageInfo info{};
  if (!gfx || !e->image || !gfx->GetImageInfo(e->image, &info)) return false;
  i64 px = i64(x) - e->left, py = i64(y) - e->top;
  if (e->width > 0) px = px * info.width / e->width;
  if (e->height > 0) py = py * info.height / e->height;
  if (px < 0 || py < 0 || px >= info.width || py >= info.height) return false;
  return gfx->HitTest(e->image, i32(px), i32(py));
}

bool SupportPointHit(ObjectInstance* object, i32 x, i32 y, EditorSelection* hit) {
  ObjectRecord* record = object->object >= 0 ? ObjectCatalog_GetAt(u32(object->object)) : nullptr;
  if (!record) return false;
  for (u32 n = 0; n < CatalogRecord_GetListEntryCount(record); ++n) {
    const ObjectSupportPoint* point = CatalogRecord_GetListEntryAt(record, n);
    const i64 px = i64(point->x * object->scale) + object->left, py = i64(point->y * object->scale) + object->top;
    const i64 dx = px - x, dy = py - y;
    if (dx * dx + dy * dy < 200) {
      hit->supportIndex = n;
      hit->supportX = i32(px), hit->supportY = i32(py);
      return true;
    }
  }
  return false;
}
}  // namespace

u32 Stage_HitTest(const Movie* movie, i32 x, i32 y, u32 mask, EditorSelection* hit) {
  SLErrorKeeper keep;
  *hit = EditorSelection{};
  hit->index = -1;
  const Scene* scene = Movie_SceneAt(movie, movie->currentScene);
  if (!scene || x < 0 || y < 0 || u32(x) >= kStageWidthPx || u32(y) >= kStageHeightPx) return 0;
  hit->x = x, hit->y = y;
  const DrawItem* items = static_cast<const DrawItem*>(scene->drawList.data);
  for (u32 i = 0; i < scene->drawList.count; ++i) {
    const DrawItem& item = items[i];
    if (item.kind == kDrawText) {
      const TextItem* text = static_cast<const TextItem*>(item.element);
      const i64 rx = i64(x) - text->x, ry = i64(y) - text->y;
      if ((mask & kHitText) && text->shown && rx >= 0 && rx < text->balloon.boxWidth && ry >= 0 &&
          ry < text->balloon.boxHeight) {
        hit->kind = kHitText, hit->element = item.element, hit->index = i32(item.index);
        return kHitText;
      }
    } else if (item.kind == kDrawObject) {
      ObjectInstance* object = static_cast<ObjectInstance*>(item.element);
      if (!(mask & (kHitObject | kHitSupportPoint)) || !object->visible || !InsideRectangle(object, x, y)) continue;
      if ((mask & kHitSupportPoint) && SupportPointHit(object, x, y, hit)) {
        hit->kind = kHitSupportPoint, hit->element = object, hit->index = i32(item.index);
        return kHitSupportPoint;
      }
      if ((mask & kHitObject) && PictureHit(object, x, y)) {
        hit->kind = kHitObject, hit->element = object, hit->index = i32(item.index);
        return 1;
      }
    } else {
      const CharacterInstance* character = static_cast<const CharacterInstance*>(item.element);
      if ((mask & kHitCharacter) && character->visible && InsideRectangle(character, x, y) &&
          PictureHit(character, x, y)) {
        hit->kind = kHitCharacter, hit->element = item.element, hit->index = i32(item.index);
        return 1;
      }
    }
  }
  const SceneRecord* background = scene->background >= 0 ? SceneCatalog_GetAt(u32(scene->background)) : nullptr;
  if ((mask & kHitBackground) && background && SceneRecord_MaskAlphaAt(background, x, y) > 0) {
    hit->kind = kHitBackground;
    return 1;
  }
  if (mask & kHitStage) {
    hit->kind = kHitStage;
    return 1;
  }
  return 0;
}
