// A catalogue built in memory whose items carry the identities of the sample set (the
// park, Sofía, Tomás, the table, the lamp, the ball), so that the sample movie and files
// saved over the sample set load against it without reading a pack. Pictures are small
// images of the given device; every character has `actions` actions in two states and
// every object two states and two support points.
#pragma once

#include <cstring>
#include <new>

#include "adventure/catalog/CharacterCatalog.h"
#include "adventure/catalog/ObjectCatalog.h"
#include "adventure/catalog/SceneCatalog.h"
#include "foundation/SLMemory.h"
#include "gamesystem/SLBaseGfx.h"
#include "image/SLImage.h"

namespace sample_catalog {

inline SL_GS_Image* Picture(CSL_GS_BaseGfx* gfx, u32 w, u32 h) {
  CSLImage image;
  if (!image.Create(5, w, h, false)) return nullptr;
  for (u32 y = 0; y < h; ++y)
    for (u32 x = 0; x < w; ++x) {
      u8* p = image.GetPixelAddress(x, y);
      p[0] = u8(x * 7), p[1] = u8(y * 5), p[2] = 90, p[3] = (x + y) % 4 ? 255 : 0;
    }
  image.SetPoint(w / 2, h - 1);
  return gfx->CreateImage(&image, true);
}

inline void AddBackground(const char* name, const char* itemClass) {
  auto* record = static_cast<SceneRecord*>(SLAlloc(sizeof(SceneRecord)));
  SceneRecord_Construct(record);
  record->name = name, record->itemClass = itemClass;
  record->mask.Create(SL_IMAGE_FORMAT_ALPHA, kStageWidth, kStageHeight, false);
  for (u32 y = 0; y < kStageHeight; ++y) std::memset(record->mask.GetPixelAddress(0, y), int(y * 255 / 371), kStageWidth);
  record->depthMin = 1, record->depthMax = 255;
  const char* fields[] = {name, itemClass};
  ItemId_Compute(&record->id, fields, 2);
  CatalogList_Insert(&SceneCatalog, record);
}

inline void AddCharacter(CSL_GS_BaseGfx* gfx, const char* name, const char* itemClass, u32 actions) {
  auto* record = static_cast<CharacterRecord*>(SLAlloc(sizeof(CharacterRecord)));
  CharacterRecord_Construct(record);
  record->name = name, record->itemClass = itemClass, record->initialState = "Parada";
  for (const char* stateName : {"Parada", "Sentada"}) {
    CharacterState* state = CatalogAppendNew(&record->states, [](CharacterState* s) {
      new (s) CharacterState;
      s->defaultAction = 0, s->walkAction = s->talkAction = -1, s->exitFlag = 0;
    });
    state->name = stateName;
  }
  for (u32 a = 0; a < actions; ++a) {
    CharacterAction* action = CatalogAppendNew(&record->actions, CharacterAction_Construct);
    action->name = "accion";
    action->visible = 1;
    // Some directions without frames: evaluation falls back to the alternates.
    for (u32 d = 0; d < kDirectionCount; d += 1 + a % 3) action->frames[d].Add(Picture(gfx, 8 + d, 20));
    action->sequence.Add(0);
    action->duration = 200 * a, action->repeat = a % 2 ? 2 : kRepeatEndless;
    action->nextState = a == 2 ? "Sentada" : "";
  }
  const char* fields[] = {name, itemClass, "Parada"};
  ItemId_Compute(&record->id, fields, 3);
  CatalogList_Insert(&CharacterCatalog, record);
}

inline void AddObject(CSL_GS_BaseGfx* gfx, const char* name, const char* itemClass, const char* initialState) {
  auto* record = static_cast<ObjectRecord*>(SLAlloc(sizeof(ObjectRecord)));
  ObjectRecord_Construct(record);
  record->name = name, record->itemClass = itemClass, record->initialState = initialState;
  record->floatDepth = -1.0;
  for (i32 p = 0; p < 2; ++p) {
    ObjectSupportPoint* point = CatalogAppendNew(&record->supportPoints, ObjectSupportPoint_Construct);
    point->x = 5 + 10 * p, point->y = 3;
  }
  for (const char* stateName : {initialState, "Encendida"}) {
    ObjectState* state = CatalogAppendNew(&record->states, ObjectState_Construct);
    state->name = stateName;
    state->frames.Add(Picture(gfx, 30, 20));
    state->sequence.Add(0);
    state->duration = 300, state->repeat = kRepeatEndless;
  }
  const char* fields[] = {name, itemClass, initialState};
  ItemId_Compute(&record->id, fields, 3);
  CatalogList_Insert(&ObjectCatalog, record);
}

// The six sample items, with `actions` actions per character (the sample movie uses
// action indexes up to 5).
inline void Build(CSL_GS_BaseGfx* gfx, u32 actions = 7) {
  AddBackground("Parque", "Exterior");
  AddCharacter(gfx, "Sof\xED" "a", "Ni\xF1" "a", actions);
  AddCharacter(gfx, "Tom\xE1s", "Ni\xF1o", actions);
  AddObject(gfx, "Mesa", "Mueble", "Normal");
  AddObject(gfx, "L\xE1mpara", "Peque\xF1o", "Apagada");
  AddObject(gfx, "Pelota", "Juguete", "Quieta");
}

}  // namespace sample_catalog
