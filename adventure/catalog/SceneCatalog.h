// The backgrounds of the catalogue: one record per "Gfx\Fondos" item pack, holding the
// stage picture, the optional foreground drawn over the scene's elements, and the stage
// mask whose alpha says where elements may stand (0: nowhere) and how far away they are.
#pragma once

#include "adventure/catalog/CatalogList.h"
#include "foundation/SLString.h"
#include "image/SLImage.h"

class CSLThread;
struct SL_GS_Image;

// The stage every background covers.
inline constexpr u32 kStageWidth = 664;
inline constexpr u32 kStageHeight = 372;

struct SceneRecord : CatalogEntry {
  SL_GS_Image* background;  // "fondo.tga" in 24-bit colour
  SL_GS_Image* foreground;  // "frente.tga" with its alpha; null when the pack has none
  i32 depthMin;             // smallest non-zero mask alpha (255 when there is none)
  i32 depthMax;             // largest mask alpha (0 when the mask is all transparent)
  CSLStringAnsi name;       // "Nombre"
  CSLStringAnsi itemClass;  // "Clase"
  CSLImage mask;            // the alpha of "fondo.tga", 8-bit alpha only, stage-sized
  u32 exitFlag;             // the list's exit flag, copied in when the record is destroyed
};

extern CatalogList SceneCatalog;

// Builds an empty record in the caller's memory: no images, depthMin 0, depthMax 255.
void SceneRecord_Construct(SceneRecord* record);
// Releases the images through the graphics device (unless the exit flag is set: the
// device is gone then), then the mask and the strings. The memory stays the caller's.
void SceneRecord_Destruct(SceneRecord* record);
// The stage-mask alpha 0..255 at a stage point, -1 off the stage.
i32 SceneRecord_MaskAlphaAt(const SceneRecord* record, i32 x, i32 y);

// Loads the item pack at `path` and inserts its background into SceneCatalog. Null with
// the error code on failure: the pack's, the picture reader's or the description's code,
// 0x80020016 for a picture not 664x372 at 4 bytes per pixel or a missing "Clase" or
// "Nombre", 0x80002011 when the thread was asked to stop, 0x80010006 for an item already
// in the list. Nothing of a failed pack stays behind. `thread` may be null.
SceneRecord* SceneCatalog_LoadItem(const char* path, CSLThread* thread);

SceneRecord* SceneCatalog_GetAt(u32 index);
i32 SceneCatalog_FindById(const ItemId& id);
void SceneCatalog_Free();
