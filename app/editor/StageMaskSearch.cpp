#include "app/editor/StageMaskSearch.h"

#include "adventure/catalog/SceneCatalog.h"
#include "foundation/SLError.h"

namespace {

i32 MaskAlpha(const SceneRecord* background, i32 x, i32 y) {
  if (x < 0 || y < 0 || u32(x) >= kStageWidth || u32(y) >= kStageHeight) return 0;
  const u8* alpha = background->mask.GetPixelAddress(u32(x), u32(y));
  return alpha ? *alpha : 0;
}

}  // namespace

u32 Stage_FindNearestOpaquePoint(const SceneRecord* background, i32* x, i32* y) {
  if (!background || !x || !y) return SLFail(SL_E_NULL_DATA, 0xFFFFFFFFu);
  const i32 startX = *x, startY = *y;
  if (i32 alpha = MaskAlpha(background, startX, startY); alpha > 0) return SLSucceed(u32(alpha));
  // Down the column first (elements stand on the floor below the pointer), then up, then
  // along the row to the right and to the left. The loops are clamped to the stage, so a
  // start point off the stage still searches the part of its row or column on it.
  const i32 lastX = i32(kStageWidth) - 1, lastY = i32(kStageHeight) - 1;
  for (i32 row = startY < -1 ? 0 : startY + 1; row <= lastY; ++row)
    if (i32 alpha = MaskAlpha(background, startX, row); alpha > 0) return *y = row, SLSucceed(u32(alpha));
  for (i32 row = startY > lastY + 1 ? lastY : startY - 1; row >= 0; --row)
    if (i32 alpha = MaskAlpha(background, startX, row); alpha > 0) return *y = row, SLSucceed(u32(alpha));
  for (i32 column = startX < -1 ? 0 : startX + 1; column <= lastX; ++column)
    if (i32 alpha = MaskAlpha(background, column, startY); alpha > 0) return *x = column, SLSucceed(u32(alpha));
  for (i32 column = startX > lastX + 1 ? lastX : startX - 1; column >= 0; --column)
    if (i32 alpha = MaskAlpha(background, column, startY); alpha > 0) return *x = column, SLSucceed(u32(alpha));
  return SLFail(SL_E_NOT_FOUND, 0xFFFFFFFFu);
}
