// The contact sheet of the built content: made by contentgen --sheet beside the content
// (build/content-sheet.png, to look at after a run), read back with the project's PNG
// reader, the same bytes on a second run, and refused arguments that name no content.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "image/SLImageArray.h"
#include "image/readers/SLImageReaderPNG.h"
#include "storage/SLFileStorage.h"
#include "tests/support/ContentFiles.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace content_test;

int Generate(const std::string& arguments) {
  const int raw = std::system(("'" + kGenerator + "' " + arguments + " >/dev/null 2>&1").c_str());
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128;
}

TEST(ContentSheet, ShowsTheBuiltContentAndDecodes) {
  SLTestRegisterClasses();
  ASSERT_TRUE(fs::exists(kContent + "/contentgen.stamp")) << "contentgen has not written " << kContent;
  const std::string sheet = std::string(SL_BINARY_DIR) + "/content-sheet.png";
  ASSERT_EQ(Generate("--sheet '" + kContent + "' '" + sheet + "'"), 0);
  CSLFileStorage file;
  CSLImageReaderPNG png;
  CSLImageArray images;
  ASSERT_TRUE(file.OpenA(Narrow(sheet).c_str(), SL_STORAGE_READ) && png.Read(&images, &file, 0))
      << std::hex << SLGetLastError();
  ASSERT_EQ(images.GetCount(), 1u);
  // Some thousand pictures in rows of sixteen, four fonts and eight videos: well past a
  // screen, within what image tools open.
  EXPECT_EQ(images[0]->GetWidth(), 2560u);
  EXPECT_GT(images[0]->GetHeight(), 4000u);
  EXPECT_LE(images[0]->GetHeight(), 16384u);

  TempDir dir;
  EXPECT_EQ(Generate("--sheet '" + kContent + "' '" + dir.Host("again.png") + "'"), 0);
  EXPECT_TRUE(dir.Read("again.png") == Read(sheet));
  // No folder, no room for the output, or missing arguments: nothing is written.
  EXPECT_EQ(Generate("--sheet '" + dir.Host("none") + "' '" + dir.Host("a.png") + "'"), 1);
  EXPECT_EQ(Generate("--sheet '" + kContent + "' '" + dir.Host("none/a.png") + "'"), 1);
  EXPECT_EQ(Generate("--sheet '" + kContent + "'"), 2);
  EXPECT_EQ(Generate("--sheet"), 2);
  EXPECT_FALSE(fs::exists(dir.Host("a.png")));
}

}  // namespace
