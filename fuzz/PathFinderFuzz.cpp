// The path finder on maps of up to 64 x 64 taken from the input: size, start, end, then
// one cost byte per cell (zeros past the end). Both open lists must agree, and a path
// must run from start to end over passable cells at the optimum Dijkstra finds.
#include <cstdint>

#include "fuzz/FuzzProgram.h"
#include "tests/support/PathReference.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SLFuzzProgram program{data, size};
  const u32 width = 1 + program.Take() % 64, height = 1 + program.Take() % 64;
  const u32 sx = program.Take() % width, sy = program.Take() % height;
  const u32 ex = program.Take() % width, ey = program.Take() % height;
  SLTestPath::Map map(width, height, 0);
  for (u8& cost : map.cost) cost = u8(program.Take());
  CSL_GS_PathFinder2D finder;
  map.Load(finder);
  finder.SetStart(sx, sy);
  finder.SetEnd(ex, ey);

  auto points = [&finder] {
    std::vector<u32> out;
    for (u32 i = 0, x, y; i < finder.GetPathLength() && finder.GetPathPoint(i, &x, &y); ++i) out.push_back(x << 16 | y);
    return out;
  };
  const bool found = finder.FindPathWith(CSL_GS_PathFinder2D::OpenList::Heap);
  const std::vector<u32> path = points();
  const u32 cost = finder.GetPathCost();
  SLFuzzCheck(finder.FindPathWith(CSL_GS_PathFinder2D::OpenList::Linear) == found && points() == path);
  const i64 optimum = SLTestPath::Dijkstra(map, sx, sy, ex, ey);
  if (!found) {
    SLFuzzCheck(optimum == -1 && path.empty());
    return 0;
  }
  SLFuzzCheck(i64(cost) == optimum && !path.empty());
  SLFuzzCheck(path.front() == (sx << 16 | sy) && path.back() == (ex << 16 | ey));
  for (size_t i = 1; i < path.size(); ++i) SLFuzzCheck(map.Passability(path[i] >> 16, path[i] & 0xFFFF) != 0);
  return 0;
}
