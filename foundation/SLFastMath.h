// Sine and cosine of whole tenths of a degree, read from a table filled once per process.
#pragma once

#include <cstddef>

#include "foundation/SLSingleton.h"
#include "foundation/SLTypes.h"

// Any angle is accepted and reduced modulo 3600 (a full turn).
double SLFastSin(u32 tenthsOfDegree);
double SLFastCos(u32 tenthsOfDegree);

namespace SLInternals {

class CMXFastMath : public CSLBaseOODClass {
 public:
  // 0 up to 449.9 degrees: the quarter turn past 360 lets the cosine read the same table.
  static constexpr u32 kTableSize = 4500;
  static constexpr u32 kFullTurn = 3600;
  static constexpr u32 kQuarterTurn = 900;

  bool Initialize() override;
  // The singleton's factory: builds in `place`, or in a new zero-filled block when null.
  static CSLBaseOODClass* CreateInstance(void* place);

  // Heap instances live in zero-filled framework blocks; the registry's delete returns them.
  static void* operator new(std::size_t size) noexcept;
  static void operator delete(void* block) noexcept;
  static void* operator new(std::size_t, void* place) noexcept { return place; }
  static void operator delete(void*, void*) noexcept {}

  double m_sine[kTableSize];
};

}  // namespace SLInternals
