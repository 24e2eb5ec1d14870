// The walk grid of a placement: one cell per 2 x 2 stage pixels, blocked where the
// background's mask is transparent, under the feet of the other characters and under
// the objects. A character blocks only the band from its feet to the bottom of its
// picture, narrowed by four picture columns on each side, so that the walker can pass
// close behind and in front of it; an object blocks every pixel of its hit mask below
// its hot spot.
#include "adventure/AdventureDevices.h"
#include "adventure/catalog/SceneCatalog.h"
#include "app/editor/EditorAction.h"
#include "gamesystem/SLBaseGfx.h"
#include "gamesystem/SLPathFinder2D.h"

namespace {
constexpr i32 kLastRow = i32(kStageHeight) - 1;

struct Picture {
  CSL_GS_BaseGfx* gfx;
  SL_GS_Image* image;
  u32 width, height;
};

bool PictureOf(const ElementResults* element, Picture* picture) {
  SL_GS_ImageInfo info{};
  picture->gfx = AdventureDevices_Get().gfx;
  picture->image = element->image;
  if (!picture->gfx || !picture->image || !picture->gfx->GetImageInfo(picture->image, &info)) return false;
  picture->width = info.width, picture->height = info.height;
  return info.width != 0 && info.height != 0;
}

// The rows an element blocks: from the lowest of its feet and its top (never above the
// stage) to its last drawn row (never below the stage). The last drawn row is
// top + height - 1: row top + height would map one row past the picture.
bool BlockedRows(const ElementResults* element, i32* first, i32* last) {
  if (element->width <= 0 || element->height <= 0) return false;
  i64 from = element->posY > element->top ? element->posY : element->top;
  if (from < 0) from = 0;
  i64 to = i64(element->top) + element->height - 1;
  if (to > kLastRow) to = kLastRow;
  if (from > to) return false;
  *first = i32(from), *last = i32(to);
  return true;
}

u32 PictureRow(const ElementResults* element, const Picture& picture, i32 row) {
  return u32(double(row - element->top) / element->height * picture.height);
}
u32 PictureColumn(const ElementResults* element, const Picture& picture, i32 column) {
  return u32(double(column) / element->width * picture.width);
}

void Block(CSL_GS_PathFinder2D* finder, i64 x, i32 y) { finder->SetCellCost(u32(x / 2), u32(y / 2), 0); }

void BlockCharacter(CSL_GS_PathFinder2D* finder, const CharacterInstance* character) {
  Picture picture{};
  i32 first = 0, last = 0;
  if (!character->visible || !BlockedRows(character, &first, &last) || !PictureOf(character, &picture)) return;
  for (i32 r = first; r <= last; ++r) {
    const u32 row = PictureRow(character, picture, r);
    i64 leftmost = picture.width, rightmost = -1;
    for (u32 x = 0; x < picture.width; ++x)
      if (picture.gfx->HitTest(picture.image, i32(x), i32(row))) {
        if (leftmost == picture.width) leftmost = x;
        rightmost = x;
      }
    if (leftmost + 4 > rightmost - 4) continue;
    for (i32 c = 0; c < character->width; ++c) {
      const i64 x = i64(character->left) + c;
      if (x < 0 || x >= i64(kStageWidth)) continue;
      const i64 column = PictureColumn(character, picture, c);
      if (column >= leftmost + 4 && column <= rightmost - 4) Block(finder, x, r);
    }
  }
}

void BlockObject(CSL_GS_PathFinder2D* finder, const ObjectInstance* object) {
  Picture picture{};
  i32 first = 0, last = 0;
  if (!object->visible || !BlockedRows(object, &first, &last) || !PictureOf(object, &picture)) return;
  for (i32 r = first; r <= last; ++r) {
    const u32 row = PictureRow(object, picture, r);
    for (i32 c = 0; c < object->width; ++c) {
      const i64 x = i64(object->left) + c;
      if (x < 0 || x >= i64(kStageWidth)) continue;
      if (picture.gfx->HitTest(picture.image, i32(PictureColumn(object, picture, c)), i32(row))) Block(finder, x, r);
    }
  }
}

u32 ClampCell(i32 pixel, u32 cells) {
  if (pixel < 0) return 0;
  const u32 cell = u32(pixel) / 2;
  return cell < cells ? cell : cells - 1;
}
}  // namespace

bool EditorAction_BuildWalkGrid(CSL_GS_PathFinder2D* finder, const Scene* scene, const CharacterInstance* walker) {
  if (!finder->SetMapSize(kWalkGridWidth, kWalkGridHeight)) return false;
  const SceneRecord* background = scene->background >= 0 ? SceneCatalog_GetAt(u32(scene->background)) : nullptr;
  const CSLImage* mask = background ? &background->mask : nullptr;
  if (mask && mask->GetBytesPerPixel() == 1 && mask->GetWidth() >= kStageWidth && mask->GetHeight() >= kStageHeight) {
    for (u32 y = 0; y < kStageHeight; ++y) {
      const u8* row = mask->GetPixelAddress(0, y);
      for (u32 x = 0; x < kStageWidth; ++x)
        if (row[x] == 0) finder->SetCellCost(x / 2, y / 2, 0);
    }
  } else if (background) {
    SLErrorKeeper keep;
    for (u32 y = 0; y < kStageHeight; ++y)
      for (u32 x = 0; x < kStageWidth; ++x)
        if (SceneRecord_MaskAlphaAt(background, i32(x), i32(y)) <= 0) finder->SetCellCost(x / 2, y / 2, 0);
  } else {
    // Without a mask nothing is floor.
    for (u32 y = 0; y < kWalkGridHeight; ++y)
      for (u32 x = 0; x < kWalkGridWidth; ++x) finder->SetCellCost(x, y, 0);
  }
  for (const CharacterInstance* other : ListRange<CharacterInstance>(&scene->characters))
    if (other != walker) BlockCharacter(finder, other);
  for (const ObjectInstance* object : ListRange<ObjectInstance>(&scene->objects)) BlockObject(finder, object);
  finder->SetStart(ClampCell(walker->posX, kWalkGridWidth), ClampCell(walker->posY, kWalkGridHeight));
  SLSetLastError(SL_OK);
  return true;
}
