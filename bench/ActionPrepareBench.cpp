// Preparing the walk of an action: the walk grid built from a park's stage mask with 20
// other characters and 20 objects standing on it, then one path around the pond; beside
// it Boost.Graph's astar_search on a grid graph built by a plain loop from the same
// mask (8 neighbours, no corner cutting, Euclidean estimate), start to end, in the same
// run.
#include <benchmark/benchmark.h>

#include <boost/graph/adjacency_list.hpp>
#include <boost/graph/astar_search.hpp>
#include <cmath>
#include <random>
#include <vector>

#include "adventure/AdventureDevices.h"
#include "app/editor/EditorAction.h"
#include "bench/BenchRatio.h"
#include "gamesystem/SLPathFinder2D.h"
#include "tests/support/MemoryGfxDevice.h"
#include "tests/support/MovieCatalog.h"

namespace {

u8 ParkAlpha(i32 x, i32 y) {
  const i32 dx = x - 332, dy = y - 250;
  if (y < 120 || dx * dx / 4 + dy * dy < 50 * 50) return 0;
  return u8(1 + y * 254 / 371);
}

struct World {
  World() {
    gfx.Init(nullptr, nullptr, nullptr);
    AdventureDevices_Set(&gfx, nullptr, nullptr);
    const i32 background = MovieCatalog::AddBackground(&gfx, "parque", ParkAlpha);
    MovieCatalog::ActionSpec stand;
    for (u32 d = 0; d < kDirectionCount; ++d)
      stand.frames[d].push_back(MovieCatalog::Picture(&gfx, 40, 80, 20, 80, [](u32 x, u32) {
        return x >= 8 && x < 32 ? 0xFF204060u : 0u;
      }));
    stand.duration = 1000;
    const i32 who = MovieCatalog::AddCharacter("ana", false, {{"Normal", 0}}, {stand});
    const i32 bench = MovieCatalog::AddObject(
        "banco", -1, {{"Normal", {MovieCatalog::Picture(&gfx, 60, 30, 30, 30, [](u32 x, u32 y) {
                         return (x + y) % 7 ? 0xFF0000FFu : 0u;
                       })}}});
    Movie_Init(&movie);
    scene = Movie_AppendScene(&movie);
    scene->background = background;
    std::mt19937 random(51);
    walker = CharacterInstance_New();
    walker->scene = scene, walker->character = who, walker->endFrame = 0xFFFFFFFF, walker->x = 332, walker->y = 360;
    List_Append(&scene->characters, &walker->link);
    for (u32 i = 0; i < 20; ++i) {
      CharacterInstance* c = CharacterInstance_New();
      c->scene = scene, c->character = who, c->endFrame = 0xFFFFFFFF;
      c->x = 30 + i32(random() % 600), c->y = 130 + i32(random() % 60);
      List_Append(&scene->characters, &c->link);
      ObjectInstance* o = ObjectInstance_New();
      o->scene = scene, o->object = bench, o->x = 30 + i32(random() % 600), o->y = 200 + i32(random() % 20);
      List_Append(&scene->objects, &o->link);
    }
    Scene_RenderAtFrame(scene, 0, kModeEvaluate);
  }
  CMemoryGfxDevice gfx;
  Movie movie;
  Scene* scene;
  CharacterInstance* walker;
};
World& TheWorld() {
  static World* world = new World();
  return *world;
}
constexpr u32 kEndX = 332 / 2, kEndY = 130 / 2;

void Ours(benchmark::State& state) {
  World& world = TheWorld();
  CSL_GS_PathFinder2D finder;
  for (auto _ : state) {
    EditorAction_BuildWalkGrid(&finder, world.scene, world.walker);
    finder.SetEnd(kEndX, kEndY);
    benchmark::DoNotOptimize(finder.FindPath());
  }
  state.counters["points"] = finder.GetPathLength();
}

using Graph = boost::adjacency_list<boost::vecS, boost::vecS, boost::undirectedS, boost::no_property,
                                    boost::property<boost::edge_weight_t, float>>;
struct Found {};
struct GoalVisitor : boost::default_astar_visitor {
  u32 goal;
  void examine_vertex(u32 v, const Graph&) const {
    if (v == goal) throw Found{};
  }
};
struct Distance : boost::astar_heuristic<Graph, float> {
  u32 goal;
  float operator()(u32 v) const {
    const float dx = float(v % kWalkGridWidth) - float(goal % kWalkGridWidth);
    const float dy = float(v / kWalkGridWidth) - float(goal / kWalkGridWidth);
    return std::sqrt(dx * dx + dy * dy);
  }
};

void BoostAstar(benchmark::State& state) {
  const u32 w = kWalkGridWidth, h = kWalkGridHeight;
  std::vector<float> distance(size_t(w) * h);
  std::vector<u32> predecessor(size_t(w) * h);
  bool found = false;
  for (auto _ : state) {
    // The grid from the mask, as plainly as it can be: a cell is open when all of its
    // four pixels are opaque.
    std::vector<u8> open(size_t(w) * h, 1);
    for (i32 y = 0; y < i32(kStageHeight); ++y)
      for (i32 x = 0; x < i32(kStageWidth); ++x)
        if (ParkAlpha(x, y) == 0) open[size_t(y / 2) * w + size_t(x / 2)] = 0;
    Graph graph(size_t(w) * h);
    for (u32 y = 0; y < h; ++y)
      for (u32 x = 0; x < w; ++x) {
        if (!open[y * w + x]) continue;
        const u32 v = y * w + x;
        if (x + 1 < w && open[v + 1]) boost::add_edge(v, v + 1, 1.0f, graph);
        if (y + 1 < h && open[v + w]) boost::add_edge(v, v + w, 1.0f, graph);
        if (x + 1 < w && y + 1 < h && open[v + w + 1] && open[v + 1] && open[v + w])
          boost::add_edge(v, v + w + 1, 1.41421356f, graph);
        if (x > 0 && y + 1 < h && open[v + w - 1] && open[v - 1] && open[v + w])
          boost::add_edge(v, v + w - 1, 1.41421356f, graph);
      }
    const u32 start = (360 / 2) * w + 332 / 2, goal = kEndY * w + kEndX;
    GoalVisitor visitor;
    visitor.goal = goal;
    Distance estimate;
    estimate.goal = goal;
    found = false;
    try {
      boost::astar_search(graph, start, estimate,
                          boost::visitor(visitor)
                              .distance_map(boost::make_iterator_property_map(distance.begin(),
                                                                              boost::get(boost::vertex_index, graph)))
                              .predecessor_map(boost::make_iterator_property_map(
                                  predecessor.begin(), boost::get(boost::vertex_index, graph))));
    } catch (const Found&) {
      found = true;
    }
    benchmark::DoNotOptimize(found);
  }
  state.counters["found"] = found;
}

BENCHMARK(Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BoostAstar)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  SLBenchRatioReporter reporter(std::vector<std::pair<std::string, std::string>>{{"Ours", "BoostAstar"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
