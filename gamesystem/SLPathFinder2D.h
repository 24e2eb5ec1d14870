// The 2-D path finder: a path between two cells of a grid whose cells carry a
// passability value (0 impassable, 1 hardest to cross, 63 easiest), returned as a short
// list of corner points. An A* search over the 8 neighbours that never cuts a corner,
// then the points inside straight runs go and line-of-sight smoothing removes corners.
// Coordinates are 12-bit: maps are at most 4096 x 4096, and the corner cell
// (4095, 4095) of such a map cannot be passed through (its packed form means "none").
#pragma once

#include "foundation/SLObject.h"

enum : u32 {
  SL_E_PATH_NONE = 0x80002002,
  SL_E_PATH_OUTSIDE_MAP = 0x80002009,
};

namespace SLInternals {
struct SLPathState;
}

class CSL_GS_PathFinder2D : public CSLObject {
  SL_DECLARE_CLASS(CSL_GS_PathFinder2D)
 public:
  CSL_GS_PathFinder2D();
  ~CSL_GS_PathFinder2D() override;

  // Every cell becomes passable (63). Sides up to 4096 (0 allowed), else 0x80001001.
  // When the grid cannot be allocated the map becomes 0 x 0 (0x80000001).
  bool SetMapSize(u32 width, u32 height);
  // A cost byte 0..255 as passability value >> 2, except that 1..3 stay passable (1).
  bool SetCellCost(u32 x, u32 y, u32 value);
  bool SetStart(u32 x, u32 y);
  bool SetEnd(u32 x, u32 y);
  // 0x80010002 no map, 0x80002009 start or end outside it, 0x80002002 no path,
  // 0x80000001 no memory for the points.
  bool FindPath();
  u32 GetPathLength();
  bool GetPathPoint(u32 index, u32* x, u32* y);

  // How the search picks its next cell: an indexed heap (what FindPath uses) or a walk
  // of the open list. Both pick the same cell; tools and tests compare them.
  enum class OpenList { Heap, Linear };
  bool FindPathWith(OpenList method);
  // The cost of the last path found, in 1/64 of an orthogonal step (0 without one).
  u32 GetPathCost() const;

 private:
  bool EnsureState();
  bool SetPoint(u32 which, u32 x, u32 y);  // 0 start, 1 end
  SLInternals::SLPathState* m_state;
};
