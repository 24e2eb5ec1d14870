// What the GUI relies on from the object model: windows referenced after their manager let
// them go, and codes kept across a release. (Array growth and tokens are tested with the
// foundation, INI answers and ZIP member names with the storage.)
#include <gtest/gtest.h>

#include "gui/SLGuiManager.h"
#include "tests/support/TestSupport.h"

namespace {

// An object whose destruction overwrites the thread's error code.
class CNoisyObject : public CSLObject {
 public:
  ~CNoisyObject() override { SLSetLastError(0x8000DEAD); }
};

TEST(FoundationContract, ReferencesOutliveTheRegistryAndReleaseKeepsTheCode) {
  SLTestRegisterClasses();
  CSL_GS_GuiManager manager;
  ASSERT_TRUE(manager.Init());
  CSL_GS_GuiWindow* window =
      manager.CreateWindow(CSL_GS_GuiWindow::GetClassRecord(), "Hola", 0, 0, 10, 10, 0, 0, 0, nullptr);
  TSLObjPtr<CSL_GS_GuiWindow> hold(window);
  ASSERT_TRUE(manager.DestroyWindow(window));
  EXPECT_EQ(window->GetRefCount(), 1);  // ours alone: the manager let go
  EXPECT_STREQ(window->GetText(), "");
  SL_EXPECT_FAIL(window->Move(1, 1), SL_E_NOT_INITIALISED);
  TSLObjPtr<CNoisyObject> noisy;
  noisy.Attach(new CNoisyObject);
  SLSetLastError(0x80001234);
  noisy.Reset(nullptr);
  EXPECT_EQ(SLGetLastError(), 0x80001234u);
}

}  // namespace
