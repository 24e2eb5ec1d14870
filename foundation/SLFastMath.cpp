#include "foundation/SLFastMath.h"

#include <cmath>
#include <new>

#include "foundation/SLError.h"
#include "foundation/SLMemory.h"

namespace SLInternals {

namespace {

constexpr double kPi = 3.141592653589793;
CMXFastMath* g_fastMath = nullptr;

// Heap instances come from SLAllocZero, so they go back the same way.
void DestroyFastMath(CSLBaseOODClass* object) {
  object->~CSLBaseOODClass();
  SLFree(object);
}

CMXFastMath* GetFastMath() {
  CMXFastMath* instance = std::atomic_ref<CMXFastMath*>(g_fastMath).load(std::memory_order_acquire);
  if (instance) return instance;
  if (!SLGetOODInstance(reinterpret_cast<void**>(&g_fastMath), SL_OOD_PRIORITY_LOADERS,
                        &CMXFastMath::CreateInstance, &DestroyFastMath, nullptr))
    return nullptr;
  return std::atomic_ref<CMXFastMath*>(g_fastMath).load(std::memory_order_acquire);
}

}  // namespace

bool CMXFastMath::Initialize() {
  for (u32 i = 0; i < kTableSize; ++i) m_sine[i] = std::sin(i * kPi / 1800);
  return true;
}

CSLBaseOODClass* CMXFastMath::CreateInstance(void* place) {
  if (!place) place = SLAllocZero(u32(sizeof(CMXFastMath)));
  if (!place) return nullptr;
  return new (place) CMXFastMath();
}

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
