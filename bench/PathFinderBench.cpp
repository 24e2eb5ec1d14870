// The path finder on maps of the editor's size (332 x 186): an open field of random
// costs, a maze, and an end walled in (the search visits every reachable cell). Ours
// with the indexed heap and with the open-list walk, beside a textbook A* over
// std::priority_queue with the same step costs, estimate and corner rule.
#include <cmath>
#include <functional>
#include <queue>
#include <random>
#include <utility>
#include <vector>

#include "bench/BenchRatio.h"
#include "gamesystem/SLPathFinder2D.h"

namespace {

constexpr u32 kWidth = 332, kHeight = 186;

struct Map {
  std::vector<u8> cost = std::vector<u8>(size_t(kWidth) * kHeight, 252);
  u32 sx = 0, sy = 0, ex = kWidth - 1, ey = kHeight - 1;
  u32 Passability(i64 x, i64 y) const {
    if (x < 0 || y < 0 || x >= kWidth || y >= kHeight) return 0;
    const u32 value = cost[size_t(y) * kWidth + size_t(x)];
    return value >= 1 && value <= 3 ? 1 : value >> 2;
  }
};

Map OpenMap() {
  Map map;
  std::mt19937 random(1);
  for (u8& c : map.cost) c = u8(1 + random() % 255);
  return map;
}

// Corridors on odd cells carved by a depth-first walk.
Map MazeMap() {
  Map map;
  std::fill(map.cost.begin(), map.cost.end(), 0);
  std::mt19937 random(2);
  std::vector<std::pair<u32, u32>> stack{{1, 1}};
  map.cost[kWidth + 1] = 252;
  while (!stack.empty()) {
    auto [x, y] = stack.back();
    const int dx[4] = {2, -2, 0, 0}, dy[4] = {0, 0, 2, -2};
    std::vector<int> options;
    for (int k = 0; k < 4; ++k) {
      const i64 nx = i64(x) + dx[k], ny = i64(y) + dy[k];
      if (nx > 0 && ny > 0 && nx < kWidth - 1 && ny < kHeight - 1 && map.cost[size_t(ny) * kWidth + nx] == 0)
        options.push_back(k);
    }
    if (options.empty()) {
      stack.pop_back();
      continue;
    }
    const int k = options[random() % options.size()];
    map.cost[size_t(y + dy[k] / 2) * kWidth + x + dx[k] / 2] = 252;
    map.cost[size_t(y + dy[k]) * kWidth + x + dx[k]] = 252;
    stack.push_back({u32(x + dx[k]), u32(y + dy[k])});
  }
  map.sx = map.sy = 1;
  map.ex = kWidth - 3;
  map.ey = kHeight - 3;
  return map;
}

Map UnreachableMap() {
  Map map = OpenMap();
  map.ex = kWidth / 2;
  map.ey = kHeight / 2;
  for (int d = -1; d <= 1; ++d) {
    map.cost[size_t(map.ey - 1) * kWidth + map.ex + d] = 0;
    map.cost[size_t(map.ey + 1) * kWidth + map.ex + d] = 0;
    map.cost[size_t(map.ey + d) * kWidth + map.ex - 1] = 0;
    map.cost[size_t(map.ey + d) * kWidth + map.ex + 1] = 0;
  }
  return map;
}

const Map& MapOf(int which) {
  static const Map maps[3] = {OpenMap(), MazeMap(), UnreachableMap()};
  return maps[which];
}

// Textbook A*: a priority queue with lazy deletion and a closed set.
i64 PeerAStar(const Map& map) {
  const int dx[8] = {0, 1, 0, -1, 1, 1, -1, -1}, dy[8] = {-1, 0, 1, 0, -1, 1, 1, -1};
  const size_t cells = size_t(kWidth) * kHeight;
  std::vector<u32> g(cells, 0xFFFFFFFFu);
  std::vector<bool> closed(cells, false);
  auto estimate = [&](i64 x, i64 y) {
    const double ddx = double(x - map.ex), ddy = double(y - map.ey);
    return u32(std::sqrt(ddx * ddx + ddy * ddy));
  };
  using Item = std::pair<u32, u32>;  // f, cell
  std::priority_queue<Item, std::vector<Item>, std::greater<Item>> open;
  const u32 start = map.sy * kWidth + map.sx, end = map.ey * kWidth + map.ex;
  g[start] = 0;
  open.push({estimate(map.sx, map.sy), start});
  while (!open.empty()) {
    const u32 current = open.top().second;
    open.pop();
    if (closed[current]) continue;
    if (current == end) return g[current];
    closed[current] = true;
    const i64 x = current % kWidth, y = current / kWidth;
    for (int k = 0; k < 8; ++k) {
      const i64 nx = x + dx[k], ny = y + dy[k];
      const u32 p = map.Passability(nx, ny);
      const u32 index = u32(ny * kWidth + nx);
      if (p == 0 || closed[index]) continue;
      const bool diagonal = k >= 4;
      if (diagonal && (map.Passability(nx, y) == 0 || map.Passability(x, ny) == 0)) continue;
      const u32 base = diagonal ? 73 : 64, next = g[current] + base + (64 - p) * base / 64;
      if (next < g[index]) {
        g[index] = next;
        open.push({next + estimate(nx, ny), index});
      }
    }
  }
  return -1;
}

void Ours(benchmark::State& state, CSL_GS_PathFinder2D::OpenList method) {
  const Map& map = MapOf(int(state.range(0)));
  CSL_GS_PathFinder2D finder;
  finder.SetMapSize(kWidth, kHeight);
  for (u32 y = 0; y < kHeight; ++y)
    for (u32 x = 0; x < kWidth; ++x) finder.SetCellCost(x, y, map.cost[size_t(y) * kWidth + x]);
  finder.SetStart(map.sx, map.sy);
  finder.SetEnd(map.ex, map.ey);
  for (auto _ : state) benchmark::DoNotOptimize(finder.FindPathWith(method));
}

void Heap(benchmark::State& state) { Ours(state, CSL_GS_PathFinder2D::OpenList::Heap); }
void Linear(benchmark::State& state) { Ours(state, CSL_GS_PathFinder2D::OpenList::Linear); }
void Peer(benchmark::State& state) {
  const Map& map = MapOf(int(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(PeerAStar(map));
}

BENCHMARK(Heap)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(Linear)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(Peer)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  // Maps 0 open field, 1 maze, 2 unreachable end.
  SLBenchRatioReporter reporter({{"Heap/0", "Peer/0"},
                                 {"Heap/1", "Peer/1"},
                                 {"Heap/2", "Peer/2"},
                                 {"Linear/0", "Peer/0"},
                                 {"Linear/1", "Peer/1"},
                                 {"Linear/2", "Peer/2"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  return 0;
}
