// The 2-D path finder against a Dijkstra search with the same step costs and corner
// rule, its two open lists against each other, and the shapes of its paths.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "gamesystem/SLPathFinder2D.h"
#include "tests/support/PathReference.h"
#include "tests/support/TestSupport.h"

namespace {

using SLTestPath::Dijkstra;
using SLTestPath::Map;

using Path = std::vector<std::pair<u32, u32>>;

Path Points(CSL_GS_PathFinder2D& finder) {
  Path points;
  for (u32 i = 0; i < finder.GetPathLength(); ++i) {
    u32 x, y;
    EXPECT_TRUE(finder.GetPathPoint(i, &x, &y));
    points.push_back({x, y});
  }
  return points;
}

TEST(PathFinder, RefusesBadArgumentsWithTheirCodes) {
  CSL_GS_PathFinder2D finder;
  SL_EXPECT_FAIL(finder.FindPath(), SL_E_NOT_INITIALISED);
  SL_EXPECT_FAIL(finder.SetMapSize(4097, 1), SL_E_INVALID_ARG);
  SL_EXPECT_FAIL(finder.SetStart(4096, 0), SL_E_INVALID_ARG);
  ASSERT_TRUE(finder.SetMapSize(0, 5));
  SL_EXPECT_FAIL(finder.FindPath(), SL_E_NOT_INITIALISED);
  ASSERT_TRUE(finder.SetMapSize(8, 4));
  SL_EXPECT_FAIL(finder.SetCellCost(8, 0, 10), SL_E_INVALID_ARG);
  SL_EXPECT_FAIL(finder.SetCellCost(0, 0, 256), SL_E_INVALID_ARG);
  finder.SetEnd(8, 0);
  SL_EXPECT_FAIL(finder.FindPath(), SL_E_PATH_OUTSIDE_MAP);
  finder.SetEnd(7, 3);
  SL_EXPECT_OK(finder.FindPath());
  u32 x = 9, y = 9;
  SL_EXPECT_FAIL(finder.GetPathPoint(finder.GetPathLength(), &x, &y), SL_E_INDEX);
  EXPECT_EQ(x + y, 0u);
  finder.SetCellCost(7, 3, 0);
  SL_EXPECT_FAIL(finder.FindPath(), SL_E_PATH_NONE);
  EXPECT_EQ(finder.GetPathLength(), 0u);
}

TEST(PathFinder, PathShapes) {
  struct Case {
    const char* name;
    // '#' wall, '.' easy, ',' hardest, 'S' start, 'E' end, 'X' walled end, 'B' start and end
    std::vector<std::string> rows;
    Path expected;                  // empty: no path
  } cases[] = {
      {"start is end", {"....", ".B..", "...."}, {{1, 1}}},
      {"walled end", {"S...X"}, {}},
      {"walled start counts for nothing", {"#..", "...", "..E"}, {{0, 0}, {2, 2}}},
      {"walls touching at a corner block the diagonal", {"S#", "#E"}, {}},
      {"straight corridor", {"S...................E"}, {{0, 0}, {20, 0}}},
      {"L corridor keeps its corner", {"S.........", "#########.", "#########E"}, {{0, 0}, {9, 0}, {9, 2}}},
      {"L over hard ground is smoothed away",
       {"S.........", ",,,,,,,,,.", ",,,,,,,,,.", ",,,,,,,,,.", ",,,,,,,,,.", ",,,,,,,,,E"},
       {{0, 0}, {9, 5}}},
      {"around a wall", {"S.#..", "..#..", ".....", "....E"}, {{0, 0}, {2, 3}, {4, 3}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Map map(u32(c.rows[0].size()), u32(c.rows.size()), 252);
    u32 sx = 0, sy = 0, ex = 0, ey = 0;
    for (u32 y = 0; y < map.height; ++y)
      for (u32 x = 0; x < map.width; ++x) {
        const char ch = c.rows[y][x];
        map.At(x, y) = ch == '#' || ch == 'X' ? 0 : ch == ',' ? 4 : 252;
        if (ch == 'S' || ch == 'B') sx = x, sy = y;
        if (ch == 'E' || ch == 'X' || ch == 'B') ex = x, ey = y;
      }
    CSL_GS_PathFinder2D finder;
    map.Load(finder);
    finder.SetStart(sx, sy);
    finder.SetEnd(ex, ey);
    EXPECT_EQ(bool(finder.FindPath()), !c.expected.empty());
    EXPECT_EQ(Points(finder), c.expected);
  }
}

// Random maps over every cost byte: both open lists give the same points, every point is
// passable, the path runs from start to end and its cost is the optimum.
TEST(PathFinder, RandomMapsMatchDijkstraAndBothOpenLists) {
  std::mt19937 random(20261207);
  int found = 0;
  for (int round = 0; round < 1000; ++round) {
    const u32 width = 1 + random() % 64, height = 1 + random() % 64;
    Map map(width, height, 0);
    const u32 wallShare = random() % 40;
    for (u8& c : map.cost) c = random() % 100 < wallShare ? 0 : u8(1 + random() % 255);
    const u32 sx = random() % width, sy = random() % height, ex = random() % width, ey = random() % height;
    if (map.At(sx, sy) == 0) map.At(sx, sy) = 200;
    CSL_GS_PathFinder2D finder;
    map.Load(finder);
    finder.SetStart(sx, sy);
    finder.SetEnd(ex, ey);
    const bool heap = finder.FindPathWith(CSL_GS_PathFinder2D::OpenList::Heap);
    const Path heapPoints = Points(finder);
    const u32 heapCost = finder.GetPathCost();
    const bool linear = finder.FindPathWith(CSL_GS_PathFinder2D::OpenList::Linear);
    const u32 code = SLGetLastError();
    ASSERT_EQ(heap, linear);
    ASSERT_EQ(Points(finder), heapPoints) << "round " << round;
    const i64 optimum = Dijkstra(map, sx, sy, ex, ey);
    if (!heap) {
      ASSERT_EQ(code, SL_E_PATH_NONE);
      ASSERT_EQ(optimum, -1) << "round " << round;
      continue;
    }
    ++found;
    ASSERT_EQ(i64(heapCost), optimum) << "round " << round;
    ASSERT_EQ(heapPoints.front(), std::make_pair(sx, sy));
    ASSERT_EQ(heapPoints.back(), std::make_pair(ex, ey));
    for (const auto& [x, y] : heapPoints) ASSERT_NE(map.Passability(x, y), 0u);
  }
  EXPECT_GT(found, 300);
}

// A serpentine of the hardest ground: its cost passes 2^24 (where a 24-bit cost wraps).
TEST(PathFinder, LongHardPathsKeepTheirCost) {
  Map map(4096, 80, 4);
  for (u32 y = 1; y < 80; y += 2)
    for (u32 x = 0; x < 4096; ++x)
      if (x != ((y / 2) % 2 ? 0 : 4095)) map.At(x, y) = 0;
  CSL_GS_PathFinder2D finder;
  map.Load(finder);
  finder.SetEnd(0, 78);  // the last corridor is entered at its far end
  SL_EXPECT_OK(finder.FindPath());
  const i64 optimum = Dijkstra(map, 0, 0, 0, 78);
  EXPECT_GT(optimum, i64(1) << 24);
  EXPECT_EQ(i64(finder.GetPathCost()), optimum);
  EXPECT_EQ(Points(finder).back(), std::make_pair(0u, 78u));
}

}  // namespace
