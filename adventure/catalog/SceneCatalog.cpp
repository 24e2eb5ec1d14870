#include "adventure/catalog/SceneCatalog.h"

#include <algorithm>
#include <new>

#include "adventure/AdventureDevices.h"
#include "adventure/catalog/CatalogKind.h"
#include "adventure/catalog/ItemDescription.h"
#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "foundation/SLPrintf.h"
#include "gamesystem/SLBaseGfx.h"
#include "image/SLImageArray.h"
#include "image/readers/SLImageReaderTGA.h"
#include "storage/SLFastFileStorage.h"

namespace {
using SceneKind = TCatalogKind<SceneRecord, &SceneRecord_Destruct, &SceneCatalog>;
constexpr u32 kSceneValueSize = 512;
}  // namespace

constinit CatalogList SceneCatalog{{{&SceneCatalog.head, &SceneCatalog.head}}, 0, &SceneKind::kKind};

void SceneRecord_Construct(SceneRecord* record) {
  new (record) SceneRecord;
  record->id = ItemId{};
  record->link = CatalogLink{{nullptr, nullptr}};
  record->background = record->foreground = nullptr;
  record->depthMin = 0;
  record->depthMax = 255;
  record->exitFlag = 0;
}

void SceneRecord_Destruct(SceneRecord* record) {
  if (!record) return;
  SLErrorKeeper keep;
  CSL_GS_BaseGfx* gfx = AdventureDevices_Get().gfx;
  if (!record->exitFlag && gfx) {
    if (record->background) gfx->DestroyImage(record->background);
    if (record->foreground) gfx->DestroyImage(record->foreground);
  }
  record->background = record->foreground = nullptr;
  record->~SceneRecord();
}

i32 SceneRecord_MaskAlphaAt(const SceneRecord* record, i32 x, i32 y) {
  if (!record) return SLFail(SL_E_NULL_DATA, -1);
  if (x < 0 || y < 0 || u32(x) >= kStageWidth || u32(y) >= kStageHeight) return SLFail(SL_E_INVALID_ARG, -1);
  const u8* alpha = record->mask.GetPixelAddress(u32(x), u32(y));
  return alpha ? SLSucceed(i32(*alpha)) : -1;
}

namespace {
// One stage picture of the pack: checked from its header (664x372, 4 bytes per pixel)
// before a pixel is decoded, then read whole; the entry is closed again. *picture stays
// null when the entry reads no picture; *wrongSize tells the size refusal (0x80020016)
// from the reader's own failures, which share that code.
bool ReadStagePicture(CSLFastFileStorage* pack, const char* name, TSLObjPtr<CSLImage>* picture, bool* wrongSize) {
  *wrongSize = false;
  if (!pack->OpenA(name, 0)) return false;
  auto close = SLMakeScopeGuard([&] { pack->Close(); });
  CSLImageReaderTGA reader;
  CSLImageArray images;
  if (!reader.Read(&images, pack, SL_IMAGE_READ_HEADER_ONLY)) return false;
  if (images.GetCount() == 0) return SLSucceed(true);
  const CSLImage* header = images[0];
  if (header->GetBytesPerPixel() != 4 || header->GetWidth() != kStageWidth || header->GetHeight() != kStageHeight) {
    *wrongSize = true;
    return SLFail(SL_E_MALFORMED, false);
  }
  if (!pack->Seek(0, 0) || !reader.Read(&images, pack, 0)) return false;
  if (images.GetCount() != 0) picture->Reset(images[0]);
  return SLSucceed(true);
}

// depthMin: the smallest non-zero alpha; depthMax: the largest. Alpha - 1 wraps 0 round to
// 255, so the smallest non-zero alpha is one more than the smallest alpha - 1 (a mask
// without any gives 256, kept at 255), and both runs are plain minimum and maximum loops.
void ScanDepth(SceneRecord* record) {
  u8 lowLessOne = 255, high = 0;
  for (u32 y = 0; y < kStageHeight; ++y) {
    const u8* row = record->mask.GetPixelAddress(0, y);
    for (u32 x = 0; x < kStageWidth; ++x) {
      lowLessOne = std::min<u8>(lowLessOne, u8(row[x] - 1));
      high = std::max(high, row[x]);
    }
  }
  record->depthMin = std::min(255, lowLessOne + 1);
  record->depthMax = high;
}

bool LoadScene(SceneRecord* record, CSLFastFileStorage* pack, CSLThread* thread) {
  CSL_GS_BaseGfx* gfx = AdventureDevices_Get().gfx;
  if (!gfx) return SLFail(SL_E_NOT_INITIALISED, false);
  TSLObjPtr<CSLImage> picture, front;
  bool wrongSize;
  if (!ReadStagePicture(pack, "fondo.tga", &picture, &wrongSize)) return false;
  if (!picture) return SLFail(SL_E_MALFORMED, false);
  if (!record->mask.CopyFrom(picture.Get()) || !record->mask.ConvertFormat(SL_IMAGE_FORMAT_ALPHA) ||
      !picture->ConvertFormat(SL_IMAGE_FORMAT_BGR))
    return false;

  ItemDescription description;
  char itemClass[kSceneValueSize], name[kSceneValueSize], nameKey[16];
  SLSnprintfA(nameKey, sizeof nameKey, "Nombre%s", "");
  if (!description.Load(pack) || !description.GetRequired("General", "Clase", itemClass, sizeof itemClass) ||
      !description.GetRequired("General", nameKey, name, sizeof name))
    return false;
  if (!record->itemClass.Assign(itemClass) || !record->name.Assign(name)) return false;

  record->background = gfx->CreateImage(picture.Get(), false);
  if (!record->background) return false;
  // A foreground that is missing or reads no picture is no foreground; one of the wrong
  // size is refused like the background.
  if (!ReadStagePicture(pack, "frente.tga", &front, &wrongSize) && wrongSize) return false;
  if (front && !(record->foreground = gfx->CreateImage(front.Get(), false))) return false;

  ScanDepth(record);
  const char* fields[] = {name, itemClass};
  if (!ItemId_Compute(&record->id, fields, 2)) return false;
  if (CatalogLoader_StopRequested(thread)) return SLFail(SL_E_CANCELLED, false);
  return CatalogList_Insert(&SceneCatalog, record);
}
}  // namespace

SceneRecord* SceneCatalog_LoadItem(const char* path, CSLThread* thread) {
  if (!path) return SLFail(SL_E_NULL_DATA, static_cast<SceneRecord*>(nullptr));
  CSLFastFileStorage pack;
  if (!pack.AttachFile(path, false, 0)) return nullptr;
  auto* record = static_cast<SceneRecord*>(SLAlloc(sizeof(SceneRecord)));
  if (!record) return SLFail(SL_E_OUT_OF_MEMORY, static_cast<SceneRecord*>(nullptr));
  SceneRecord_Construct(record);
  if (!LoadScene(record, &pack, thread)) {
    SceneKind::Destroy(record, SceneCatalog.exitFlag);
    return nullptr;
  }
  return SLSucceed(record);
}

SceneRecord* SceneCatalog_GetAt(u32 index) {
  return static_cast<SceneRecord*>(CatalogList_GetAt(&SceneCatalog, index));
}

i32 SceneCatalog_FindById(const ItemId& id) { return CatalogList_FindById(&SceneCatalog, id); }

void SceneCatalog_Free() { CatalogList_Free(&SceneCatalog); }
