// Deep copies of a 20-scene movie with 600 elements (characters with walks, objects on
// carriers, texts) beside a deep copy of the same records held in standard containers;
// then the same movie with 30 sound items: attached players (each starts its threads)
// against the detached ones an undo point keeps.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "adventure/AdventureDevices.h"
#include "adventure/movie/SceneRender.h"
#include "bench/BenchRatio.h"
#include "tests/support/MemoryGfxDevice.h"

namespace {

// The standard-container peer: the same fields, owned by vectors and strings.
struct StdEntry {
  u32 start, end, direction, keep, action;
  std::vector<KeyPoint> path;
};
struct StdCharacter {
  i32 character, x, y;
  u32 first, end;
  std::vector<StdEntry> actions;
};
struct StdObject {
  i32 object, x, y, carrier;
  u32 support;
  std::vector<StdEntry> states;
};
struct StdText {
  u32 style, width, start, end, kind;
  i32 x, y, attached;
  std::string text;
};
struct StdScene {
  std::vector<StdCharacter> characters;
  std::vector<StdObject> objects;
  std::vector<StdText> texts;
};

struct World {
  explicit World(u32 soundItems) {
    gfx.Init(nullptr, nullptr, nullptr);
    AdventureDevices_Set(&gfx, nullptr, nullptr);
    Movie_Init(&movie);
    for (u32 s = 0; s < 20; ++s) {
      Scene* scene = Movie_AppendScene(&movie);
      scene->length = 1200;
      StdScene& peer = peers.emplace_back();
      for (u32 i = 0; i < 12; ++i) {
        CharacterInstance* c = CharacterInstance_New();
        c->scene = scene, c->character = i32(i % 3), c->x = 100 + i32(i), c->y = 200, c->endFrame = 0xFFFFFFFF;
        List_Append(&scene->characters, &c->link);
        StdCharacter& pc = peer.characters.emplace_back(StdCharacter{c->character, c->x, c->y, 0, c->endFrame, {}});
        for (u32 a = 0; a < 3; ++a) {
          CharacterActionEntry* e = CharacterActionEntry_Append(c);
          e->startFrame = a * 100, e->endFrame = a * 100 + 90, e->action = a;
          KeyPointArray_SetSize(&e->path, 6);
          StdEntry& pe = pc.actions.emplace_back(StdEntry{e->startFrame, e->endFrame, 0, 0, a, {}});
          for (u32 k = 0; k < 6; ++k) pe.path.push_back(KeyPointArray_Data(&e->path)[k] = {i32(k), i32(k), 10});
        }
      }
      for (u32 i = 0; i < 12; ++i) {
        ObjectInstance* o = ObjectInstance_New();
        o->scene = scene, o->object = i32(i % 2), o->x = 300, o->y = 100 + i32(i);
        List_Append(&scene->objects, &o->link);
        if (i % 3 == 2) o->carrier = Scene_ObjectAt(scene, i - 1);
        peer.objects.push_back(StdObject{o->object, o->x, o->y, o->carrier ? i32(i - 1) : -1, 0, {}});
      }
      for (u32 i = 0; i < 6; ++i) {
        TextItem* t = TextItem_Append(scene);
        Balloon_SetText(&t->balloon, "Un texto de globo de prueba para copiar");
        t->attachKind = kTextSpokenByCharacter, t->attachedTo = Scene_CharacterAt(scene, i);
        peer.texts.push_back(StdText{1, 400, 0, 100, 1, 0, 0, i32(i), t->balloon.text});
      }
    }
    for (u32 i = 0; i < soundItems; ++i) {
      SoundItem* item = SoundItem_Append(Movie_SceneAt(&movie, i % 20));
      SoundItem_AttachDevices(item);
      item->fileName = "falta.wav";
    }
  }
  ~World() { Movie_Clear(&movie); }
  CMemoryGfxDevice gfx;
  Movie movie;
  std::vector<StdScene> peers;
};

void CloneMovie(benchmark::State& state) {
  World world(u32(state.range(0)));
  for (auto _ : state) {
    for (const Scene* scene : ListRange<Scene>(&world.movie.scenes)) Scene_Free(Scene_Clone(scene), 0);
  }
}

void CloneForUndo(benchmark::State& state) {
  World world(u32(state.range(0)));
  for (auto _ : state) {
    for (const Scene* scene : ListRange<Scene>(&world.movie.scenes)) Scene_Free(Scene_CloneForUndo(scene), 0);
  }
}

void CopyStandardContainers(benchmark::State& state) {
  World world(0);
  for (auto _ : state) {
    auto copy = std::make_unique<std::vector<StdScene>>(world.peers);
    benchmark::DoNotOptimize(copy->data());
  }
}

BENCHMARK(CloneMovie)->Arg(0)->Arg(30)->Unit(benchmark::kMicrosecond);
BENCHMARK(CloneForUndo)->Arg(30)->Unit(benchmark::kMicrosecond);
BENCHMARK(CopyStandardContainers)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  SLBenchRatioReporter reporter(std::vector<std::pair<std::string, std::string>>{
      {"CloneMovie/0", "CopyStandardContainers"}, {"CloneMovie/30", "CloneMovie/0"}, {"CloneForUndo/30", "CloneMovie/0"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
