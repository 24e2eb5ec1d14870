#include "foundation/SLFastMath.h"

#include <cmath>

#include "foundation/SLError.h"
#include "foundation/SLMemory.h"

namespace SLInternals {

namespace {

constexpr double kPi = 3.141592653589793;
CMXFastMath* g_fastMath = nullptr;

CMXFastMath* GetFastMath() {
  CMXFastMath* instance = std::atomic_ref<CMXFastMath*>(g_fastMath).load(std::memory_order_acquire);
  if (instance) return instance;
  if (!SLGetOODInstance(reinterpret_cast<void**>(&g_fastMath), SL_OOD_PRIORITY_LOADERS,
                        &CMXFastMath::CreateInstance, nullptr, nullptr))
    return nullptr;
  return std::atomic_ref<CMXFastMath*>(g_fastMath).load(std::memory_order_acquire);
}

}  // namespace

bool CMXFastMath::Initialize() {
  for (u32 i = 0; i < kTableSize; ++i) m_sine[i] = std::sin(i * kPi / 1800);
  return true;
}

CSLBaseOODClass* CMXFastMath::CreateInstance(void* place) {
  if (place) return new (place) CMXFastMath();
  return new CMXFastMath();
}

void* CMXFastMath::operator new(std::size_t size) noexcept { return SLAllocZero(u32(size)); }
void CMXFastMath::operator delete(void* block) noexcept { SLFree(block); }

}  // namespace SLInternals

double SLFastSin(u32 tenthsOfDegree) {
  SLInternals::CMXFastMath* table = SLInternals::GetFastMath();
  if (!table) {
    SLSetLastError(SL_E_OUT_OF_MEMORY);
    return std::sin(tenthsOfDegree * SLInternals::kPi / 1800);
  }
  SLSetLastError(SL_OK);
  return table->m_sine[tenthsOfDegree % SLInternals::CMXFastMath::kFullTurn];
}

double SLFastCos(u32 tenthsOfDegree) {
  SLInternals::CMXFastMath* table = SLInternals::GetFastMath();
  if (!table) {
    SLSetLastError(SL_E_OUT_OF_MEMORY);
    return std::cos(tenthsOfDegree * SLInternals::kPi / 1800);
  }
  SLSetLastError(SL_OK);
  return table->m_sine[tenthsOfDegree % SLInternals::CMXFastMath::kFullTurn +
                       SLInternals::CMXFastMath::kQuarterTurn];
}
