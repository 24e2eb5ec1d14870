// The reference the path finder is checked against: a map of cost bytes and a Dijkstra
// search with the finder's step costs and corner rule (the start's own cell is never
// looked at).
#pragma once

#include <functional>
#include <queue>
#include <utility>
#include <vector>

#include "gamesystem/SLPathFinder2D.h"

namespace SLTestPath {

// A map as cost bytes (0 impassable) that loads itself into a finder.
struct Map {
  u32 width, height;
  std::vector<u8> cost;
  Map(u32 w, u32 h, u8 fill) : width(w), height(h), cost(size_t(w) * h, fill) {}
  u8& At(u32 x, u32 y) { return cost[size_t(y) * width + x]; }
  u32 Passability(i64 x, i64 y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return 0;
    const u32 value = cost[size_t(y) * width + size_t(x)];
    return value >= 1 && value <= 3 ? 1 : value >> 2;
  }
  void Load(CSL_GS_PathFinder2D& finder) const {
    finder.SetMapSize(width, height);
    for (u32 y = 0; y < height; ++y)
      for (u32 x = 0; x < width; ++x)
        if (cost[size_t(y) * width + x] != 252) finder.SetCellCost(x, y, cost[size_t(y) * width + x]);
  }
};

// The optimum cost from start to end, -1 when unreachable.
inline i64 Dijkstra(const Map& map, u32 sx, u32 sy, u32 ex, u32 ey) {
  const int dx[8] = {0, 1, 0, -1, 1, 1, -1, -1}, dy[8] = {-1, 0, 1, 0, -1, 1, 1, -1};
  std::vector<i64> best(map.cost.size(), -1);
  using Item = std::pair<i64, u32>;
  std::priority_queue<Item, std::vector<Item>, std::greater<Item>> queue;
  best[size_t(sy) * map.width + sx] = 0;
  queue.push({0, sy * map.width + sx});
  while (!queue.empty()) {
    auto [g, index] = queue.top();
    queue.pop();
    if (g != best[index]) continue;
    const i64 x = index % map.width, y = index / map.width;
    if (u32(x) == ex && u32(y) == ey) return g;
    for (int k = 0; k < 8; ++k) {
      const i64 nx = x + dx[k], ny = y + dy[k];
      const u32 p = map.Passability(nx, ny);
      if (p == 0) continue;
      const bool diagonal = k >= 4;
      if (diagonal && (map.Passability(nx, y) == 0 || map.Passability(x, ny) == 0)) continue;
      const u32 base = diagonal ? 73 : 64;
      const i64 next = g + base + (64 - p) * base / 64;
      const size_t n = size_t(ny) * map.width + size_t(nx);
      if (best[n] < 0 || next < best[n]) {
        best[n] = next;
        queue.push({next, u32(n)});
      }
    }
  }
  return -1;
}

}  // namespace SLTestPath
