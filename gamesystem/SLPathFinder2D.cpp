// The search runs over a grid of 16-byte cells: passability and two flags in one byte,
// the cost from the start g in 32 bits (24 bits wrap on long paths over hard ground),
// the estimate h, and three 3-byte packed points: the parent and the two open-list
// links. A packed point holds 12-bit x and y: x & 0xFF, (x >> 8) << 4 | (y >> 8), y & 0xFF;
// 0xFFFFFF means none.
//
// The open list picks the cell with the smallest g + h; on a tie the one that entered
// the list first wins, and an improved cell keeps its place. The linear form threads
// the list through the cells' links and walks it; the heap form keys a binary heap by
// (g + h, order of entry) and keeps each cell's heap position and entry order in the
// two link fields, so both expand the same cells in the same order.
#include "gamesystem/SLPathFinder2D.h"

#include <cmath>

#include "foundation/SLArray.h"
#include "foundation/SLError.h"
#include "foundation/SLMemory.h"

namespace SLInternals {

struct SLPathCell {
  u32 g;
  u16 h;
  u8 flags;  // bits 0-5 passability, 6 open, 7 reached
  u8 parent[3];
  u8 prev[3];
  u8 next[3];
};
static_assert(sizeof(SLPathCell) == 16);

struct SLPathPoint {
  u8 packed[3];
};

struct SLPathState {
  TSLArray<SLPathCell> cells;
  u32 width, height;
  u32 startX, startY, endX, endY;
  u32 neighbourCount;
  i8 neighbours[8][2];
  TSLArray<SLPathPoint> points;
  u32 pointCount;
  u32 cost;
};

}  // namespace SLInternals

using SLInternals::SLPathCell;
using SLInternals::SLPathPoint;
using SLInternals::SLPathState;

namespace {

constexpr u8 kPassMask = 0x3F, kOpen = 0x40, kReached = 0x80;
constexpr u32 kNone = 0xFFFFFF;
constexpr u32 kMaxSide = 4096;
constexpr i8 kNeighbours[8][2] = {{0, -1}, {1, 0}, {0, 1}, {-1, 0}, {1, -1}, {1, 1}, {-1, 1}, {-1, -1}};

u32 Pack(u32 x, u32 y) { return (x & 0xFF) | ((((x >> 8) & 0xF) << 4 | ((y >> 8) & 0xF)) << 8) | (y & 0xFF) << 16; }
void Unpack(u32 packed, u32* x, u32* y) {
  *x = (packed & 0xFF) | ((packed >> 12) & 0xF) << 8;
  *y = ((packed >> 16) & 0xFF) | ((packed >> 8) & 0xF) << 8;
}
u32 Load24(const u8* p) { return p[0] | u32(p[1]) << 8 | u32(p[2]) << 16; }
void Store24(u8* p, u32 v) {
  p[0] = u8(v);
  p[1] = u8(v >> 8);
  p[2] = u8(v >> 16);
}

// Framework arrays grow by 32 elements at a time; lists that can reach millions of
// entries double instead.
template <class T>
bool AddDoubling(TSLArray<T>& array, const T& value) {
  if (array.GetCount() == array.GetCapacity() && !array.Reserve(array.GetCapacity() < 32 ? 64 : array.GetCapacity() * 2))
    return false;
  return array.Add(value);
}

struct Grid {
  SLPathCell* cells;
  u32 width, height;
  u32 Index(u32 x, u32 y) const { return y * width + x; }
  SLPathCell& At(u32 x, u32 y) const { return cells[Index(x, y)]; }
  u32 Passability(i64 x, i64 y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return 0;
    return cells[Index(u32(x), u32(y))].flags & kPassMask;
  }
  // Packed point of a cell index.
  u32 PackIndex(u32 index) const { return Pack(index % width, index / width); }
  u32 IndexOfPacked(u32 packed) const {
    u32 x, y;
    Unpack(packed, &x, &y);
    return Index(x, y);
  }
};

u16 Estimate(u32 x, u32 y, u32 endX, u32 endY) {
  const double dx = double(x > endX ? x - endX : endX - x), dy = double(y > endY ? y - endY : endY - y);
  return u16(std::sqrt(dx * dx + dy * dy));
}

// The open list threaded through the cells: prev and next are packed points.
class LinearOpenList {
 public:
  explicit LinearOpenList(const Grid& grid) : m_grid(grid) {}
  bool Push(u32 index) {
    SLPathCell& cell = m_grid.cells[index];
    Store24(cell.prev, m_tail);
    Store24(cell.next, kNone);
    const u32 packed = m_grid.PackIndex(index);
    if (m_tail == kNone) m_head = packed;
    else Store24(m_grid.cells[m_grid.IndexOfPacked(m_tail)].next, packed);
    m_tail = packed;
    return true;
  }
  void Improved(u32) {}
  bool Empty() const { return m_head == kNone; }
  u32 PopBest() {
    u32 best = m_grid.IndexOfPacked(m_head);
    u32 bestKey = m_grid.cells[best].g + m_grid.cells[best].h;
    for (u32 packed = Load24(m_grid.cells[best].next); packed != kNone;) {
      const u32 index = m_grid.IndexOfPacked(packed);
      const SLPathCell& cell = m_grid.cells[index];
      const u32 key = cell.g + cell.h;
      if (key < bestKey) {
        best = index;
        bestKey = key;
      }
      packed = Load24(cell.next);
    }
    SLPathCell& cell = m_grid.cells[best];
    const u32 prev = Load24(cell.prev), next = Load24(cell.next);
    if (prev == kNone) m_head = next;
    else Store24(m_grid.cells[m_grid.IndexOfPacked(prev)].next, next);
    if (next == kNone) m_tail = prev;
    else Store24(m_grid.cells[m_grid.IndexOfPacked(next)].prev, prev);
    return best;
  }

 private:
  const Grid& m_grid;
  u32 m_head = kNone, m_tail = kNone;
};

// A binary heap of cell indices keyed by (g + h, entry order); prev holds a cell's heap
// position, next its entry order.
class HeapOpenList {
 public:
  explicit HeapOpenList(const Grid& grid) : m_grid(grid) {}
  bool Push(u32 index) {
    Store24(m_grid.cells[index].next, m_entered++);
    if (m_count == m_heap.GetCount() && !AddDoubling(m_heap, Entry{})) return false;
    m_heap[m_count] = Entry{Key(index), index};
    SiftUp(m_count++);
    return true;
  }
  void Improved(u32 index) {
    const u32 position = Load24(m_grid.cells[index].prev);
    m_heap[position].key = Key(index);
    SiftUp(position);
  }
  bool Empty() const { return m_count == 0; }
  u32 PopBest() {
    const u32 best = m_heap[0].index;
    if (--m_count > 0) {
      m_heap[0] = m_heap[m_count];
      SiftDown(0);
    }
    return best;
  }

 private:
  // The key travels with the index, so that comparisons stay inside the heap and only
  // a move touches the grid (to record the cell's new position).
  struct Entry {
    u64 key;
    u32 index;
  };
  u64 Key(u32 index) const {
    const SLPathCell& cell = m_grid.cells[index];
    return (u64(cell.g) + cell.h) << 24 | Load24(cell.next);
  }
  void Place(u32 position, const Entry& entry) {
    m_heap[position] = entry;
    Store24(m_grid.cells[entry.index].prev, position);
  }
  void SiftUp(u32 position) {
    const Entry entry = m_heap[position];
    while (position > 0) {
      const u32 parent = (position - 1) / 2;
      if (m_heap[parent].key <= entry.key) break;
      Place(position, m_heap[parent]);
      position = parent;
    }
    Place(position, entry);
  }
  void SiftDown(u32 position) {
    const Entry entry = m_heap[position];
    for (;;) {
      u32 child = position * 2 + 1;
      if (child >= m_count) break;
      if (child + 1 < m_count && m_heap[child + 1].key < m_heap[child].key) ++child;
      if (m_heap[child].key >= entry.key) break;
      Place(position, m_heap[child]);
      position = child;
    }
    Place(position, entry);
  }

  const Grid& m_grid;
  TSLArray<Entry> m_heap;  // m_count entries in use
  u32 m_count = 0;
  u32 m_entered = 0;
};

// Step cost into a cell of passability p (1..63): 64 orthogonally, 73 diagonally, plus
// that base scaled by how hard the cell is.
u32 StepCost(bool diagonal, u32 passability) {
  const u32 base = diagonal ? 73 : 64;
  return base + (64 - passability) * base / 64;
}

template <class OpenList>
bool Search(SLPathState* state, OpenList& open, u32* memoryError) {
  Grid grid{state->cells.GetData(), state->width, state->height};
  const u32 cellCount = state->width * state->height;
  for (u32 i = 0; i < cellCount; ++i) {
    SLPathCell& cell = grid.cells[i];
    cell.flags &= kPassMask;
    cell.g = 0;
    cell.h = 0;
  }
  const u32 start = grid.Index(state->startX, state->startY), end = grid.Index(state->endX, state->endY);
  SLPathCell& first = grid.cells[start];
  first.flags |= kReached | kOpen;
  first.h = Estimate(state->startX, state->startY, state->endX, state->endY);
  Store24(first.parent, kNone);
  if (!open.Push(start)) return SLFail(*memoryError = SL_E_OUT_OF_MEMORY, false);

  while (!open.Empty()) {
    const u32 current = open.PopBest();
    if (current == end) return true;
    SLPathCell& cell = grid.cells[current];
    cell.flags &= ~kOpen;
    const u32 x = current % grid.width, y = current / grid.width;
    const u32 packedCurrent = Pack(x, y);
    for (u32 k = 0; k < state->neighbourCount; ++k) {
      const i32 dx = state->neighbours[k][0], dy = state->neighbours[k][1];
      const i64 nx = i64(x) + dx, ny = i64(y) + dy;
      if (nx < 0 || ny < 0 || nx >= grid.width || ny >= grid.height) continue;
      const u32 index = grid.Index(u32(nx), u32(ny));
      if (index == start) continue;
      SLPathCell& next = grid.cells[index];
      const u32 passability = next.flags & kPassMask;
      if (passability == 0 || (next.flags & (kReached | kOpen)) == kReached) continue;
      const bool diagonal = dx != 0 && dy != 0;
      if (diagonal && (grid.Passability(nx, y) == 0 || grid.Passability(x, ny) == 0)) continue;
      const u32 g = cell.g + StepCost(diagonal, passability);
      if ((next.flags & kReached) && next.g < g) continue;
      next.flags |= kReached;
      Store24(next.parent, packedCurrent);
      next.g = g;
      next.h = Estimate(u32(nx), u32(ny), state->endX, state->endY);
      if (next.flags & kOpen) {
        open.Improved(index);
      } else {
        next.flags |= kOpen;
        if (!open.Push(index)) return SLFail(*memoryError = SL_E_OUT_OF_MEMORY, false);
      }
    }
  }
  return false;
}

struct Point {
  u16 x, y;
};

// The segment a-b may replace the corner between them when every cell sampled along it
// at half-cell steps is passable and no diagonal move between samples cuts a corner.
bool IsClear(const Grid& grid, Point a, Point b) {
  const double dx = double(b.x) - a.x, dy = double(b.y) - a.y;
  const double length = std::sqrt(dx * dx + dy * dy);
  const double stepX = dx * (0.5 / length), stepY = dy * (0.5 / length);
  const u32 samples = u32(std::floor(2 * length));
  double px = a.x, py = a.y;
  i64 previousX = a.x, previousY = a.y;
  for (u32 k = 0; k <= samples; ++k) {
    if (k > 0) {
      px += stepX;
      py += stepY;
    }
    const i64 cx = i64(px), cy = i64(py);
    if (grid.Passability(cx, cy) == 0) return false;
    if (k > 0 && cx != previousX && cy != previousY &&
        (grid.Passability(cx, previousY) == 0 || grid.Passability(previousX, cy) == 0))
      return false;
    previousX = cx;
    previousY = cy;
  }
  return true;
}

bool CollectPoints(SLPathState* state) {
  Grid grid{state->cells.GetData(), state->width, state->height};
  TSLArray<Point> chain;
  u32 index = grid.Index(state->endX, state->endY);
  for (;;) {
    const u32 parent = Load24(grid.cells[index].parent);
    if (parent == kNone) break;
    if (!AddDoubling(chain, Point{u16(index % grid.width), u16(index / grid.width)})) return false;
    index = grid.IndexOfPacked(parent);
  }
  if (!AddDoubling(chain, Point{u16(state->startX), u16(state->startY)})) return false;

  // Straight runs keep their two ends; the list then runs from start to end.
  TSLArray<Point> points;
  const u32 count = chain.GetCount();
  for (u32 n = count; n-- > 0;) {
    if (n > 0 && n + 1 < count) {
      const Point before = chain[n + 1], here = chain[n], after = chain[n - 1];
      if (here.x - before.x == after.x - here.x && here.y - before.y == after.y - here.y) continue;
    }
    if (!AddDoubling(points, chain[n])) return false;
  }

  // Smoothing drops point i while the segment from its predecessor to its successor is
  // clear, then tries the same predecessor against the next point: the kept points
  // form a stack whose top is always the predecessor.
  u32 kept = 1;
  for (u32 i = 1; i + 1 < points.GetCount(); ++i) {
    const Point a = points[kept - 1], b = points[i + 1];
    const double dx = double(b.x) - a.x, dy = double(b.y) - a.y;
    if (std::sqrt(dx * dx + dy * dy) >= 1e-10 && !IsClear(grid, a, b)) points[kept++] = points[i];
  }
  if (points.GetCount() > 1) points[kept++] = points[points.GetCount() - 1];
  points.SetSize(kept);

  if (!state->points.SetSize(points.GetCount())) return false;
  for (u32 i = 0; i < points.GetCount(); ++i) Store24(state->points[i].packed, Pack(points[i].x, points[i].y));
  state->pointCount = points.GetCount();
  return true;
}

}  // namespace

SL_IMPLEMENT_CLASS_CREATABLE(CSL_GS_PathFinder2D, CSLObject)

CSL_GS_PathFinder2D::CSL_GS_PathFinder2D() : m_state(nullptr) {}

CSL_GS_PathFinder2D::~CSL_GS_PathFinder2D() {
  SLErrorKeeper keep;
  if (!m_state) return;
  m_state->~SLPathState();
  SLFree(m_state);
}

bool CSL_GS_PathFinder2D::EnsureState() {
  if (m_state) return true;
  void* block = SLAllocZero(u32(sizeof(SLPathState)));
  if (!block) return SLFail(SL_E_OUT_OF_MEMORY, false);
  m_state = new (block) SLPathState();
  m_state->neighbourCount = 8;
  for (u32 k = 0; k < 8; ++k) {
    m_state->neighbours[k][0] = kNeighbours[k][0];
    m_state->neighbours[k][1] = kNeighbours[k][1];
  }
  return true;
}

bool CSL_GS_PathFinder2D::SetMapSize(u32 width, u32 height) {
  if (width > kMaxSide || height > kMaxSide) return SLFail(SL_E_INVALID_ARG, false);
  if (!EnsureState()) return false;
  m_state->cells.Free();
  m_state->width = m_state->height = 0;
  const u32 count = width * height;
  if (count > 0 && !m_state->cells.SetSize(count)) return SLFail(SL_E_OUT_OF_MEMORY, false);
  SLPathCell* cells = m_state->cells.GetData();
  for (u32 i = 0; i < count; ++i) {
    cells[i] = SLPathCell{};
    cells[i].flags = 63;
  }
  m_state->width = width;
  m_state->height = height;
  return SLSucceed(true);
}

bool CSL_GS_PathFinder2D::SetCellCost(u32 x, u32 y, u32 value) {
  if (!m_state || x >= m_state->width || y >= m_state->height || value > 255)
    return SLFail(SL_E_INVALID_ARG, false);
  u32 passability = value >> 2;
  if (value >= 1 && value <= 3) passability = 1;
  SLPathCell& cell = m_state->cells[y * m_state->width + x];
  cell.flags = u8((cell.flags & ~kPassMask) | passability);
  return SLSucceed(true);
}

bool CSL_GS_PathFinder2D::SetStart(u32 x, u32 y) { return SetPoint(0, x, y); }

bool CSL_GS_PathFinder2D::SetEnd(u32 x, u32 y) { return SetPoint(1, x, y); }

bool CSL_GS_PathFinder2D::SetPoint(u32 which, u32 x, u32 y) {
  if (x >= kMaxSide || y >= kMaxSide) return SLFail(SL_E_INVALID_ARG, false);
  if (!EnsureState()) return false;
  (which == 0 ? m_state->startX : m_state->endX) = x;
  (which == 0 ? m_state->startY : m_state->endY) = y;
  return SLSucceed(true);
}

bool CSL_GS_PathFinder2D::FindPath() { return FindPathWith(OpenList::Heap); }

bool CSL_GS_PathFinder2D::FindPathWith(OpenList method) {
  if (!m_state || m_state->width == 0 || m_state->height == 0) return SLFail(SL_E_NOT_INITIALISED, false);
  SLPathState* state = m_state;
  state->pointCount = 0;
  state->cost = 0;
  if (state->startX >= state->width || state->startY >= state->height || state->endX >= state->width ||
      state->endY >= state->height)
    return SLFail(SL_E_PATH_OUTSIDE_MAP, false);
  const Grid grid{state->cells.GetData(), state->width, state->height};
  u32 memoryError = 0;
  bool found;
  if (method == OpenList::Linear) {
    LinearOpenList open(grid);
    found = Search(state, open, &memoryError);
  } else {
    HeapOpenList open(grid);
    found = Search(state, open, &memoryError);
  }
  if (!found) return SLFail(memoryError ? memoryError : SL_E_PATH_NONE, false);
  if (!CollectPoints(state)) {
    state->pointCount = 0;
    return SLFail(SL_E_OUT_OF_MEMORY, false);
  }
  state->cost = grid.At(state->endX, state->endY).g;
  return SLSucceed(true);
}

u32 CSL_GS_PathFinder2D::GetPathLength() { return SLSucceed(m_state ? m_state->pointCount : 0u); }

bool CSL_GS_PathFinder2D::GetPathPoint(u32 index, u32* x, u32* y) {
  if (x) *x = 0;
  if (y) *y = 0;
  if (!m_state || index >= m_state->pointCount) return SLFail(SL_E_INDEX, false);
  u32 px, py;
  Unpack(Load24(m_state->points[index].packed), &px, &py);
  if (x) *x = px;
  if (y) *y = py;
  return SLSucceed(true);
}

u32 CSL_GS_PathFinder2D::GetPathCost() const { return m_state ? m_state->cost : 0; }
