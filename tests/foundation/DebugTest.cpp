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

TEST(DebugOutput, Utf16OnlyGetsPiecesOf250) {
  SLInternals::CMXDebugHelper helper;
  helper.m_pOutputDebugStringW = &CaptureW;
  g_wide.clear();
  std::string text(600, 'a');
  text[250] = 'b';
  text[599] = char(0x80);  // the euro sign of the 8-bit code page
  helper.Output(text.c_str());
  ASSERT_EQ(g_wide.size(), 3u);
  EXPECT_EQ(g_wide[0].size(), 250u);
  EXPECT_EQ(g_wide[1].size(), 250u);
  EXPECT_EQ(g_wide[2].size(), 100u);
  EXPECT_EQ(g_wide[1][0], u'b');
  EXPECT_EQ(g_wide[2].back(), u'\u20AC');
  g_wide.clear();
  helper.Output("");
  helper.Output(nullptr);
  EXPECT_TRUE(g_wide.empty());  // no empty piece either
  std::string exact(500, 'c');
  helper.Output(exact.c_str());
  EXPECT_EQ(g_wide.size(), 2u);
}
