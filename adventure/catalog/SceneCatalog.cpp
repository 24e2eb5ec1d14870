#include "adventure/catalog/SceneCatalog.h"

#include <new>

#include "adventure/AdventureDevices.h"
#include "adventure/catalog/ItemDescription.h"
#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "foundation/SLPrintf.h"
#include "gamesystem/SLBaseGfx.h"
#include "image/SLImageArray.h"
#include "image/readers/SLImageReaderTGA.h"
#include "storage/SLFastFileStorage.h"

namespace {
const char* SceneClass(const CatalogEntry* entry) {
  return const_cast<SceneRecord*>(static_cast<const SceneRecord*>(entry))->itemClass.CStr();
}
const char* SceneName(const CatalogEntry* entry) {
  return const_cast<SceneRecord*>(static_cast<const SceneRecord*>(entry))->name.CStr();
}
void DestroyScene(CatalogEntry* entry, u32 exitFlag) {
  SLErrorKeeper keep;
  auto* record = static_cast<SceneRecord*>(entry);
  record->exitFlag = exitFlag;
  SceneRecord_Destruct(record);
  SLFree(record);
}
bool RegisterSceneExit() { return TCatalogExitCleanup<&SceneCatalog>::Register(); }

constexpr CatalogKind kSceneKind{&SceneClass, &SceneName, &DestroyScene, &RegisterSceneExit};
constexpr u32 kSceneValueSize = 512;
}  // namespace

constinit CatalogList SceneCatalog{{&SceneCatalog.head, &SceneCatalog.head}, 0, &kSceneKind};

void SceneRecord_Construct(SceneRecord* record) {
  new (record) SceneRecord;
  record->id = ItemId{};
  record->link = CatalogLink{nullptr, nullptr};
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
// before a pixel is decoded, then read whole. *found is false when the entry does not
// open or its header reads no picture; the entry is closed again.
bool ReadStagePicture(CSLFastFileStorage* pack, const char* name, TSLObjPtr<CSLImage>* picture, bool* found) {
  *found = false;
  if (!pack->OpenA(name, 0)) return false;
  auto close = SLMakeScopeGuard([&] { pack->Close(); });
  CSLImageReaderTGA reader;
  CSLImageArray images;
  if (!reader.Read(&images, pack, SL_IMAGE_READ_HEADER_ONLY)) return false;
  if (images.GetCount() == 0) return SLSucceed(true);
  const CSLImage* header = images[0];
  if (header->GetBytesPerPixel() != 4 || header->GetWidth() != kStageWidth || header->GetHeight() != kStageHeight)
    return SLFail(SL_E_CATALOG_BAD_ITEM, false);
  if (!pack->Seek(0, 0) || !reader.Read(&images, pack, 0)) return false;
  if (images.GetCount() == 0) return SLSucceed(true);
  picture->Reset(images[0]);
  *found = true;
  return SLSucceed(true);
}

// depthMin: the smallest non-zero alpha; depthMax: the largest.
void ScanDepth(SceneRecord* record) {
  i32 low = 255, high = 0;
  for (u32 y = 0; y < kStageHeight; ++y) {
    const u8* row = record->mask.GetPixelAddress(0, y);
    for (u32 x = 0; x < kStageWidth; ++x) {
      const i32 alpha = row[x];
      if (alpha && alpha < low) low = alpha;
      if (alpha > high) high = alpha;
    }
  }
  record->depthMin = low;
  record->depthMax = high;
}

bool LoadScene(SceneRecord* record, CSLFastFileStorage* pack, CSLThread* thread) {
  CSL_GS_BaseGfx* gfx = AdventureDevices_Get().gfx;
  if (!gfx) return SLFail(SL_E_NOT_INITIALISED, false);
  TSLObjPtr<CSLImage> picture;
  bool found;
  if (!ReadStagePicture(pack, "fondo.tga", &picture, &found)) return false;
  if (!found) return SLFail(SL_E_CATALOG_BAD_ITEM, false);
  if (!record->mask.CopyFrom(picture.Get()) || !record->mask.ConvertFormat(SL_IMAGE_FORMAT_ALPHA) ||
      !picture->ConvertFormat(3))
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
  TSLObjPtr<CSLImage> front;
  if (!ReadStagePicture(pack, "frente.tga", &front, &found) && SLGetLastError() == SL_E_CATALOG_BAD_ITEM) return false;
  if (found && !(record->foreground = gfx->CreateImage(front.Get(), false))) return false;

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
    DestroyScene(record, SceneCatalog.exitFlag);
    return nullptr;
  }
  return SLSucceed(record);
}

SceneRecord* SceneCatalog_GetAt(u32 index) {
  return static_cast<SceneRecord*>(CatalogList_GetAt(&SceneCatalog, index));
}

i32 SceneCatalog_FindById(const ItemId& id) { return CatalogList_FindById(&SceneCatalog, id); }

void SceneCatalog_Free() { CatalogList_Free(&SceneCatalog); }
