// Rendering a 60-element scene (30 walking characters, 20 objects, 10 texts) at
// successive frames, and its draw-list sort with SLQSort and the scene's comparison
// beside std::sort with a strict comparator on the same lists. The render sorts through
// the typed quicksort (SortDrawList); SLQSort through a function pointer is shown beside it.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <vector>

#include "adventure/AdventureDevices.h"
#include "adventure/movie/SceneRender.h"
#include "bench/BenchRatio.h"
#include "tests/support/MemoryGfxDevice.h"
#include "tests/support/MovieCatalog.h"

namespace {

struct World {
  World() {
    gfx.Init(nullptr, nullptr, nullptr);
    AdventureDevices_Set(&gfx, nullptr, nullptr);
    const i32 background = MovieCatalog::AddBackground(&gfx, "fondo", [](i32, i32 y) { return u8(y * 255 / 371); });
    MovieCatalog::ActionSpec walk;
    for (u32 d = 0; d < kDirectionCount; ++d)
      for (u32 k = 0; k < 8; ++k) walk.frames[d].push_back(MovieCatalog::Solid(&gfx, 40, 80, 20, 80, 0xFF000000 | k));
    walk.duration = 800;
    const i32 who = MovieCatalog::AddCharacter("ana", false, {{"Normal", 0}}, {walk, walk});
    const i32 crate = MovieCatalog::AddObject("caja", -1, {{"Normal", {MovieCatalog::Solid(&gfx, 50, 30, 25, 30, 0xFF0000FF)}}},
                                              {{10, 2}, {40, 2}});
    Movie_Init(&movie);
    scene = Movie_AppendScene(&movie);
    scene->background = background;
    scene->length = 3600;
    std::mt19937 random(7);
    for (u32 i = 0; i < 30; ++i) {
      CharacterInstance* c = CharacterInstance_Create(scene, who);
      CharacterActionEntry* e = CharacterActionEntry_Append(c);
      e->action = 1, e->startFrame = random() % 600, e->endFrame = e->startFrame + 600, e->direction = random() % 8;
      KeyPointArray_SetSize(&e->path, 2);
      KeyPointArray_Data(&e->path)[0] = {c->x, c->y, 200};
      KeyPointArray_Data(&e->path)[1] = {c->x + 200 > 663 ? c->x - 200 : c->x + 200, c->y, 0};
      e->pathLength = 200, e->pathFrames = 600;
    }
    for (u32 i = 0; i < 20; ++i) {
      ObjectInstance* o = ObjectInstance_Create(scene, crate);
      if (i % 4 == 3) o->carrier = Scene_ObjectAt(scene, i - 1);
    }
    for (u32 i = 0; i < 10; ++i) {
      TextItem* t = TextItem_Append(scene);
      t->startFrame = 0, t->endFrame = 3600;
      t->attachKind = i % 2 ? u32(kTextSpokenByCharacter) : 0u;
      t->attachedTo = i % 2 ? Scene_CharacterAt(scene, i) : nullptr;
    }
  }
  CMemoryGfxDevice gfx;
  Movie movie;
  Scene* scene;
};

World& TheWorld() {
  static World world;
  return world;
}

void RenderAtFrame(benchmark::State& state) {
  World& world = TheWorld();
  u32 frame = 0;
  for (auto _ : state) {
    Scene_RenderAtFrame(world.scene, frame, kModeEvaluate);
    frame = (frame + 1) % 3600;
  }
}

std::vector<DrawItem> Lists() {
  World& world = TheWorld();
  std::vector<DrawItem> all;
  for (u32 f = 0; f < 3600; f += 60) {
    Scene_RenderAtFrame(world.scene, f, kModeEvaluate);
    const DrawItem* items = static_cast<const DrawItem*>(world.scene->drawList.data);
    all.insert(all.end(), items, items + world.scene->drawList.count);
  }
  return all;
}

int Compare(const void* a, const void* b, void*) {
  return Scene_CompareDrawItems(static_cast<const DrawItem*>(a), static_cast<const DrawItem*>(b));
}

void SortSLQSort(benchmark::State& state) {
  const std::vector<DrawItem> input = Lists();
  std::vector<DrawItem> work;
  for (auto _ : state) {
    state.PauseTiming();
    work = input;
    state.ResumeTiming();
    for (size_t at = 0; at < work.size(); at += 60) SLQSort(&work[at], 60, sizeof(DrawItem), &Compare, nullptr);
    benchmark::DoNotOptimize(work.data());
  }
}

// The render's own sort: the same quicksort, typed, with the comparison inlined.
void SortDrawList(benchmark::State& state) {
  const std::vector<DrawItem> input = Lists();
  std::vector<DrawItem> work;
  for (auto _ : state) {
    state.PauseTiming();
    work = input;
    state.ResumeTiming();
    for (size_t at = 0; at < work.size(); at += 60) Scene_SortDrawItems(&work[at], 60);
    benchmark::DoNotOptimize(work.data());
  }
}

void SortStd(benchmark::State& state) {
  const std::vector<DrawItem> input = Lists();
  std::vector<DrawItem> work;
  for (auto _ : state) {
    state.PauseTiming();
    work = input;
    state.ResumeTiming();
    for (size_t at = 0; at < work.size(); at += 60)
      std::sort(work.begin() + at, work.begin() + at + 60, [](const DrawItem& a, const DrawItem& b) {
        return a.key != b.key ? a.key > b.key : (a.kind == 3 ? 0 : a.kind) < (b.kind == 3 ? 0 : b.kind);
      });
    benchmark::DoNotOptimize(work.data());
  }
}

BENCHMARK(RenderAtFrame);
BENCHMARK(SortSLQSort);
BENCHMARK(SortDrawList);
BENCHMARK(SortStd);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  SLBenchRatioReporter reporter(std::vector<std::pair<std::string, std::string>>{{"SortDrawList", "SortStd"}, {"SortSLQSort", "SortStd"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
