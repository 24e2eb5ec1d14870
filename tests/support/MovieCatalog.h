// Catalogue records built in memory for the movie tests, benchmarks and fuzz targets: a
// background whose stage mask is a function of the point, characters and objects whose
// pictures are real images of the device (sizes, hot spots and hit masks as loaded items
// have them).
#pragma once

#include <cstdlib>
#include <functional>
#include <new>
#include <utility>
#include <vector>

#include "adventure/catalog/CharacterCatalog.h"
#include "adventure/catalog/ObjectCatalog.h"
#include "adventure/catalog/SceneCatalog.h"
#include "gamesystem/SLBaseGfx.h"

// A record that does not go in is a broken fixture: nothing after it would mean anything.
inline void SLTestMustInsert(bool inserted) {
  if (!inserted) std::abort();
}

// Catalogue records built in memory and inserted into the process-wide lists (sorted by
// name: a test adds them in name order so that each index it got stays valid); Free
// empties the three lists (the devices must still be alive).
struct MovieCatalog {
  // A w x h picture (format 5: B, G, R, A) with its hot spot, coloured by `pixel`
  // (0xAARRGGBB), made into an image of the device with its hit mask from the alpha.
  static SL_GS_Image* Picture(CSL_GS_BaseGfx* gfx, u32 w, u32 h, u32 hx, u32 hy,
                              const std::function<u32(u32, u32)>& pixel) {
    CSLImage image;
    if (!image.Create(5, w, h, false)) return nullptr;
    for (u32 y = 0; y < h; ++y)
      for (u32 x = 0; x < w; ++x) {
        const u32 p = pixel(x, y);
        u8* b = image.GetPixelAddress(x, y);
        b[0] = u8(p), b[1] = u8(p >> 8), b[2] = u8(p >> 16), b[3] = u8(p >> 24);
      }
    image.SetPoint(hx, hy);
    return gfx->CreateImage(&image, true);
  }
  static SL_GS_Image* Solid(CSL_GS_BaseGfx* gfx, u32 w, u32 h, u32 hx, u32 hy, u32 argb) {
    return Picture(gfx, w, h, hx, hy, [argb](u32, u32) { return argb; });
  }

  // A background named `name` whose stage mask alpha at (x, y) is alpha(x, y); with
  // pictures, a background and a foreground of the device. The list index.
  static i32 AddBackground(CSL_GS_BaseGfx* gfx, const char* name, const std::function<u8(i32, i32)>& alpha,
                           SL_GS_Image* background = nullptr, SL_GS_Image* foreground = nullptr) {
    auto* record = static_cast<SceneRecord*>(SLAlloc(sizeof(SceneRecord)));
    SceneRecord_Construct(record);
    record->name = name;
    record->itemClass = "Pruebas";
    record->mask.Create(SL_IMAGE_FORMAT_ALPHA, kStageWidth, kStageHeight, false);
    record->depthMin = 255, record->depthMax = 0;
    for (i32 y = 0; y < i32(kStageHeight); ++y)
      for (i32 x = 0; x < i32(kStageWidth); ++x) {
        const u8 a = alpha(x, y);
        *record->mask.GetPixelAddress(x, y) = a;
        if (a) record->depthMin = std::min(record->depthMin, i32(a)), record->depthMax = std::max(record->depthMax, i32(a));
      }
    record->background = background;
    record->foreground = foreground;
    (void)gfx;
    const char* fields[] = {name, "Pruebas"};
    ItemId_Compute(&record->id, fields, 2);
    SLTestMustInsert(CatalogList_Insert(&SceneCatalog, record));
    return SceneCatalog_FindById(record->id);
  }

  struct ActionSpec {
    std::vector<SL_GS_Image*> frames[kDirectionCount];  // per direction; the sequence plays them in order
    u32 duration = 0, repeat = kRepeatEndless;
    SL_GS_SoundRecord* sound = nullptr;
    u32 soundLoops = 0;
    const char* nextState = "";
  };
  struct StateSpec {
    const char* name;
    i32 defaultAction;
  };
  static i32 AddCharacter(const char* name, bool floating, const std::vector<StateSpec>& states,
                          const std::vector<ActionSpec>& actions) {
    auto* record = static_cast<CharacterRecord*>(SLAlloc(sizeof(CharacterRecord)));
    CharacterRecord_Construct(record);
    record->name = name;
    record->itemClass = "Pruebas";
    record->initialState = states.empty() ? "" : states[0].name;
    record->floating = floating;
    for (const StateSpec& s : states) {
      CharacterState* state = CatalogAppendNew(&record->states, [](CharacterState* st) {
        new (st) CharacterState;
        st->defaultAction = 0, st->walkAction = st->talkAction = -1, st->exitFlag = 0;
      });
      state->name = s.name;
      state->defaultAction = s.defaultAction;
    }
    for (const ActionSpec& a : actions) {
      CharacterAction* action = CatalogAppendNew(&record->actions, CharacterAction_Construct);
      u32 count = 0;
      for (u32 d = 0; d < kDirectionCount; ++d) {
        for (SL_GS_Image* frame : a.frames[d]) action->frames[d].Add(frame);
        count = std::max<u32>(count, u32(a.frames[d].size()));
      }
      for (u32 k = 0; k < count; ++k) action->sequence.Add(k);
      action->duration = a.duration, action->repeat = a.repeat;
      action->sound = a.sound, action->soundLoops = a.soundLoops;
      action->nextState = a.nextState;
    }
    const char* fields[] = {name, "Pruebas", record->initialState.CStr()};
    ItemId_Compute(&record->id, fields, 3);
    SLTestMustInsert(CatalogList_Insert(&CharacterCatalog, record));
    return CharacterCatalog_FindById(record->id);
  }

  struct ObjectStateSpec {
    const char* name;
    std::vector<SL_GS_Image*> frames;
    u32 duration = 0, repeat = kRepeatEndless;
    SL_GS_SoundRecord* sound = nullptr;
    u32 soundLoops = 0;
  };
  static i32 AddObject(const char* name, double floatDepth, const std::vector<ObjectStateSpec>& states,
                       const std::vector<std::pair<i32, i32>>& supportPoints = {}) {
    auto* record = static_cast<ObjectRecord*>(SLAlloc(sizeof(ObjectRecord)));
    ObjectRecord_Construct(record);
    record->name = name;
    record->itemClass = "Pruebas";
    record->initialState = states.empty() ? "" : states[0].name;
    record->floatDepth = floatDepth;
    for (auto [x, y] : supportPoints) {
      ObjectSupportPoint* point = CatalogAppendNew(&record->supportPoints, ObjectSupportPoint_Construct);
      point->x = x, point->y = y;
    }
    for (const ObjectStateSpec& s : states) {
      ObjectState* state = CatalogAppendNew(&record->states, ObjectState_Construct);
      state->name = s.name;
      for (SL_GS_Image* frame : s.frames) state->frames.Add(frame);
      for (u32 k = 0; k < s.frames.size(); ++k) state->sequence.Add(k);
      state->duration = s.duration, state->repeat = s.repeat;
      state->sound = s.sound, state->soundLoops = s.soundLoops;
    }
    const char* fields[] = {name, "Pruebas", record->initialState.CStr()};
    ItemId_Compute(&record->id, fields, 3);
    SLTestMustInsert(CatalogList_Insert(&ObjectCatalog, record));
    return ObjectCatalog_FindById(record->id);
  }

  static void Free() {
    CharacterCatalog_Free();
    ObjectCatalog_Free();
    SceneCatalog_Free();
  }
};

