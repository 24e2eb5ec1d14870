// Scenes built from the input (characters with action entries whose indexes, directions,
// frames and paths run out of range, objects with carriers that may form cycles and
// support points past their lists, attached and floating texts), rendered in every mode
// at fuzzed frames, hit-tested, copied, pushed on the undo ring and undone. Nothing may
// read outside an array; every draw item must name a live element at its index with the
// depth key of its scale; a copy must equal its source.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "adventure/AdventureDevices.h"
#include "adventure/catalog/CharacterCatalog.h"
#include "adventure/catalog/ObjectCatalog.h"
#include "adventure/catalog/SceneCatalog.h"
#include "adventure/movie/SceneRender.h"
#include "fuzz/FuzzProgram.h"
#include "fuzz/SoundFuzzDevice.h"
#include "tests/support/MemoryGfxDevice.h"

namespace {

SL_GS_Image* Picture(CSL_GS_BaseGfx* gfx, u32 w, u32 h, u8 alpha) {
  CSLImage image;
  image.Create(5, w, h, false);
  for (u32 y = 0; y < h; ++y)
    for (u32 x = 0; x < w; ++x) {
      u8* p = image.GetPixelAddress(x, y);
      p[0] = u8(x), p[1] = u8(y), p[2] = 9, p[3] = (x + y) % 3 ? alpha : 0;
    }
  image.SetPoint(w / 2, h);
  return gfx->CreateImage(&image, true);
}

// The catalogue every run uses: a rising background, two characters (one floating) and
// two objects (one floating), with sounds.
struct World {
  World() {
    gfx.Init(nullptr, nullptr, nullptr);
    CSL_GS_BaseSfx* sfx = &SLFuzzSoundDevice();
    AdventureDevices_Set(&gfx, sfx, nullptr);
    const SLAudioFormat format{1, 1, 16, 22050, 44100, 2};
    SL_GS_SoundRecord* sound = sfx->CreateSound(2205, &format, 3);

    auto* scene = static_cast<SceneRecord*>(SLAlloc(sizeof(SceneRecord)));
    SceneRecord_Construct(scene);
    scene->name = "fondo", scene->itemClass = "x";
    scene->mask.Create(SL_IMAGE_FORMAT_ALPHA, kStageWidth, kStageHeight, false);
    for (u32 y = 0; y < kStageHeight; ++y) std::memset(scene->mask.GetPixelAddress(0, y), int(y * 255 / 371), kStageWidth);
    scene->depthMin = 1, scene->depthMax = 255;
    const char* sceneFields[] = {"fondo", "x"};
    ItemId_Compute(&scene->id, sceneFields, 2);
    CatalogList_Insert(&SceneCatalog, scene);

    for (u32 c = 0; c < 2; ++c) {
      auto* record = static_cast<CharacterRecord*>(SLAlloc(sizeof(CharacterRecord)));
      CharacterRecord_Construct(record);
      record->name = c ? "b" : "a", record->itemClass = "x", record->initialState = "Normal";
      record->floating = c;
      for (const char* name : {"Normal", "Sentado"}) {
        CharacterState* state = CatalogAppendNew(&record->states, [](CharacterState* s) {
          new (s) CharacterState;
          s->defaultAction = 0, s->walkAction = s->talkAction = -1, s->exitFlag = 0;
        });
        state->name = name;
        state->defaultAction = name[0] == 'S' ? 2 : 0;
      }
      for (u32 a = 0; a < 3; ++a) {
        CharacterAction* action = CatalogAppendNew(&record->actions, CharacterAction_Construct);
        for (u32 d = 0; d < kDirectionCount; d += 1 + a)
          for (u32 k = 0; k < 2; ++k) action->frames[d].Add(Picture(&gfx, 6 + d, 12 + k, 200));
        action->sequence.Add(1), action->sequence.Add(0), action->sequence.Add(1);
        action->duration = a * 400, action->repeat = a == 1 ? 2 : kRepeatEndless;
        action->sound = sound, action->soundLoops = a == 2;
        action->nextState = a == 1 ? "Sentado" : "";
      }
      const char* fields[] = {record->name.CStr(), "x", "Normal"};
      ItemId_Compute(&record->id, fields, 3);
      CatalogList_Insert(&CharacterCatalog, record);
    }
    for (u32 o = 0; o < 2; ++o) {
      auto* record = static_cast<ObjectRecord*>(SLAlloc(sizeof(ObjectRecord)));
      ObjectRecord_Construct(record);
      record->name = o ? "b" : "a", record->itemClass = "x", record->initialState = "Normal";
      record->floatDepth = o ? 60.0 : -1.0;
      for (i32 p = 0; p < 3; ++p) {
        ObjectSupportPoint* point = CatalogAppendNew(&record->supportPoints, ObjectSupportPoint_Construct);
        point->x = 4 * p, point->y = 2 * p;
      }
      for (u32 s = 0; s < 2; ++s) {
        ObjectState* state = CatalogAppendNew(&record->states, ObjectState_Construct);
        state->name = s ? "Abierto" : "Normal";
        state->frames.Add(Picture(&gfx, 10, 8, 255));
        state->sequence.Add(0);
        state->duration = 300 * s, state->repeat = kRepeatEndless;
        state->sound = sound, state->soundLoops = s;
      }
      const char* fields[] = {record->name.CStr(), "x", "Normal"};
      ItemId_Compute(&record->id, fields, 3);
      CatalogList_Insert(&ObjectCatalog, record);
    }
    Movie_Init(&movie);
  }
  CMemoryGfxDevice gfx;
  Movie movie;
};

i32 Signed(SLFuzzProgram& p) { return i32(int(p.Take() | p.Take() << 8) - 0x4000); }

void FillPath(SLFuzzProgram& p, SLArrayHeader* path, i32* length, u32* frames) {
  const u32 count = p.Take() % 5;
  if (!KeyPointArray_SetSize(path, count)) std::abort();
  for (u32 k = 0; k < count; ++k) KeyPointArray_Data(path)[k] = {Signed(p), Signed(p), Signed(p)};
  *length = Signed(p);
  *frames = p.Take();
}

void BuildScene(SLFuzzProgram& p, Scene* scene) {
  scene->background = i32(p.Take() % 3) - 1;
  scene->length = p.Take() * 4;
  for (u32 n = p.Take() % 5; n-- > 0;) {
    CharacterInstance* c = CharacterInstance_New();
    c->scene = scene, c->character = i32(p.Take() % 4) - 1;
    c->firstFrame = p.Take(), c->endFrame = p.Take() == 0 ? 0xFFFFFFFF : p.Take() * 8;
    c->x = Signed(p), c->y = Signed(p);
    List_Append(&scene->characters, &c->link);
    u32 start = 0;
    for (u32 a = p.Take() % 4; a-- > 0;) {
      CharacterActionEntry* e = CharacterActionEntry_Append(c);
      e->startFrame = start += p.Take(), e->endFrame = start += p.Take();
      e->action = p.Take() % 5, e->direction = p.Take(), e->keepDirection = p.Take() & 1;
      FillPath(p, &e->path, &e->pathLength, &e->pathFrames);
    }
  }
  const u32 objects = p.Take() % 5;
  for (u32 n = 0; n < objects; ++n) {
    ObjectInstance* o = ObjectInstance_New();
    o->scene = scene, o->object = i32(p.Take() % 4) - 1, o->x = Signed(p), o->y = Signed(p);
    List_Append(&scene->objects, &o->link);
    u32 start = 0;
    for (u32 s = p.Take() % 3; s-- > 0;) {
      ObjectStateEntry* e = ObjectStateEntry_Append(o);
      e->startFrame = start += p.Take(), e->endFrame = start += p.Take(), e->state = p.Take() % 4;
      FillPath(p, &e->path, &e->pathLength, &e->pathFrames);
    }
  }
  for (ObjectInstance* o : ListRange<ObjectInstance>(&scene->objects)) {
    const u32 carrier = p.Take() % (objects + 1);
    o->carrier = carrier < objects ? Scene_ObjectAt(scene, carrier) : nullptr;  // cycles allowed
    o->supportPoint = p.Take() % 5;
  }
  for (u32 n = p.Take() % 4; n-- > 0;) {
    TextItem* t = TextItem_Append(scene);
    t->startFrame = p.Take(), t->endFrame = p.Take() * 4, t->variant = p.Take() & 1;
    t->attachKind = p.Take() % 4, t->x = Signed(p), t->y = Signed(p);
    const MovieLink* list = t->attachKind == kTextSpokenByCharacter ? &scene->characters : &scene->objects;
    t->attachedTo = t->attachKind == 1 || t->attachKind == 2 ? List_At(list, p.Take() % 3) : nullptr;
    if (t->attachKind == 1 || t->attachKind == 2) t->attachKind = t->attachedTo ? t->attachKind : 0;
    t->balloon.style = p.Take() % 25;
  }
}

void CheckDrawList(const Scene* scene) {
  const DrawItem* items = static_cast<const DrawItem*>(scene->drawList.data);
  SLFuzzCheck(scene->drawList.count ==
              Scene_CharacterCount(scene) + Scene_ObjectCount(scene) + Scene_TextCount(scene));
  for (u32 i = 0; i < scene->drawList.count; ++i) {
    const DrawItem& item = items[i];
    const MovieLink* list = item.kind == kDrawCharacter ? &scene->characters
                            : item.kind == kDrawObject  ? &scene->objects
                                                        : &scene->texts;
    SLFuzzCheck(List_At(list, item.index) == item.element);
    if (item.kind == kDrawText) {
      SLFuzzCheck(item.key == 100001 + item.index);
    } else {
      const double scale = item.kind == kDrawCharacter ? static_cast<CharacterInstance*>(item.element)->scale
                                                       : static_cast<ObjectInstance*>(item.element)->scale;
      SLFuzzCheck(item.key == u32(std::trunc(scale * 100000.0)));
    }
    if (i) SLFuzzCheck(items[i - 1].key >= item.key);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Never destroyed: the framework's singletons go at exit before a static would.
  static World& world = *new World;
  SLFuzzProgram p{data, size};
  Movie* movie = &world.movie;
  for (u32 s = 1 + p.Take() % 2; s-- > 0;) BuildScene(p, Movie_AppendScene(movie));
  for (u32 step = 0; step < 6; ++step) {
    Movie_SelectScene(movie, p.Take() % 3);
    Scene* scene = Movie_SceneAt(movie, movie->currentScene);
    Scene_RenderAtFrame(scene, p.Take() * 16 + p.Take(), step % 4);
    CheckDrawList(scene);
    Stage_Draw(movie, 108, 148);
    EditorSelection hit;
    Stage_HitTest(movie, Signed(p) % 700, Signed(p) % 400, p.Take() % 64, &hit);
    if (step == 2) Movie_PushUndo(movie);
  }
  Scene* copy = Scene_Clone(Movie_SceneAt(movie, 0));
  const Scene* source = Movie_SceneAt(movie, 0);
  SLFuzzCheck(Scene_CharacterCount(copy) == Scene_CharacterCount(source) &&
              Scene_ObjectCount(copy) == Scene_ObjectCount(source) && Scene_TextCount(copy) == Scene_TextCount(source));
  for (u32 i = 0; i < Scene_ObjectCount(source); ++i) {
    const ObjectInstance* a = Scene_ObjectAt(source, i);
    const ObjectInstance* b = Scene_ObjectAt(copy, i);
    SLFuzzCheck((a->carrier ? List_IndexOf(&source->objects, a->carrier) : -1) ==
                (b->carrier ? List_IndexOf(&copy->objects, b->carrier) : -1));
  }
  Scene_Free(copy, 0);
  u32 more = 0;
  Movie_Undo(movie, &more);
  Movie_Clear(movie);
  return 0;
}
