// The objects of the catalogue: one record per "Gfx\Objetos" item pack, with animated
// states (frames, playing order, timing, sound, the state that follows) and the support
// points on which other objects and characters can be placed.
#pragma once

#include "adventure/catalog/CatalogList.h"
#include "adventure/catalog/ItemAnimation.h"
#include "foundation/SLString.h"

class CSLThread;

struct ObjectSupportPoint {
  i32 x, y;                         // "Posición" on the object's first picture
  CSLStringAnsi objectClasses;      // accepted object classes joined by ","; empty: none
  CSLStringAnsi characterClasses;   // "class, mask" per accepted character class, joined by ","
  u32 exitFlag;
};

// Bits of the directions a support point may force on a character standing there.
enum : u32 {
  kForceFront = 1u << 0,   // "Adelante"
  kForceBack = 1u << 3,    // "Atrás"
  kForceLeft = 1u << 6,    // "Izquierda"
  kForceRight = 1u << 7,   // "Derecha"
};

struct ObjectState {
  CSLStringAnsi name;
  ItemFrameArray frames;    // one image per frame file, each with a hit mask from its alpha
  TSLArray<u32> sequence;   // frame indices in playing order
  u32 duration;             // milliseconds per pass; 0 only before loading
  u32 repeat;               // 1 by default, kRepeatEndless
  CSLStringAnsi nextState;  // empty: none
  SL_GS_SoundRecord* sound;
  u32 soundLoops;
  u32 exitFlag;             // when set at destruction the images and the sound are left alone
};

struct ObjectRecord : CatalogEntry {
  CSLStringAnsi name;
  CSLStringAnsi itemClass;
  CSLStringAnsi initialState;
  double floatDepth;  // -1: stands on the stage floor; else 0..100 percent of the depth range
  TSLPtrArray<ObjectSupportPoint> supportPoints;
  TSLPtrArray<ObjectState> states;  // the position is the state index
  u32 exitFlag;
};

extern CatalogList ObjectCatalog;

void ObjectRecord_Construct(ObjectRecord* record);
// Destroys the states and support points (with the record's exit flag) and the strings;
// the memory stays the caller's.
void ObjectRecord_Destruct(ObjectRecord* record);
void ObjectSupportPoint_Construct(ObjectSupportPoint* point);
void ObjectState_Construct(ObjectState* state);
// Releases the frames and the sound through the devices unless the exit flag is set.
void ObjectState_Destruct(ObjectState* state);

// The support point at n, null past the end; the number of support points.
ObjectSupportPoint* CatalogRecord_GetListEntryAt(ObjectRecord* record, u32 n);
u32 CatalogRecord_GetListEntryCount(const ObjectRecord* record);
// The index of the state of that name (letter case aside), -1 when none.
i32 ObjectRecord_FindState(const ObjectRecord* record, const char* name);

// Loads the item pack at `path` and inserts its object into ObjectCatalog. Null with the
// error code on failure: the pack's, the description's, a reader's or a device's code,
// 0x80020016 for a malformed or missing piece, 0x80002011 when the thread was asked to
// stop, 0x80010006 for an item already in the list. Nothing of a failed pack stays in
// the devices. `thread` may be null.
ObjectRecord* ObjectCatalog_LoadItem(const char* path, CSLThread* thread);

ObjectRecord* ObjectCatalog_GetAt(u32 index);
i32 ObjectCatalog_FindById(const ItemId& id);
void ObjectCatalog_Free();
