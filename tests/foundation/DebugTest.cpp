#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/SLDebug.h"
#include "foundation/SLError.h"
#include "foundation/SLSingleton.h"
#include "tests/foundation/ChildProcess.h"

namespace {

std::vector<std::u16string> g_wide;
std::string g_narrow;
void CaptureW(const SLWChar* text) { g_wide.emplace_back(text); }
void CaptureA(const char* text) { g_narrow += text; }

// Routes the debug service's output into g_narrow for the rest of this process.
void CaptureDebugOutput() {
  SLDebugPrint("");  // creates the service
  ASSERT_NE(SLInternals::g_debugHelper, nullptr);
  SLInternals::g_debugHelper->m_pOutputDebugStringA = &CaptureA;
  g_narrow.clear();
}

}  // namespace

TEST(DebugOutput, FreedThreadDataSlotIsReported) {
  CaptureDebugOutput();
  struct Data : CSLBaseThreadData {};
  auto* slot = new SLThreadDataSlot;
  ASSERT_NE(SLGetThreadData(slot, []() -> CSLBaseThreadData* { return new Data(); }), nullptr);
  u32 index = slot->index;
  SLSetLastError(0x80020004u);
  delete slot;
  EXPECT_EQ(g_narrow, "Slot " + std::to_string(index) + " => Freed\n");
  EXPECT_EQ(SLGetLastError(), 0x80020004u);
}
