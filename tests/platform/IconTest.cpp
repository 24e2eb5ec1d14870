// Icons from the program's embedded resources, against ImageMagick's reading of the
// same .ico files; the palette calls of "gdi32.dll" and the clock of "winmm.dll".
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/gdi32/Gdi32.h"
#include "platform/kernel32/Modules.h"
#include "platform/kernel32/Resource.h"
#include "platform/kernel32/Sync.h"
#include "platform/user32/Icons.h"
#include "tests/support/TestSupport.h"

namespace {

LPCWSTR Id(std::uintptr_t id) { return reinterpret_cast<LPCWSTR>(id); }

// ImageMagick's RGBA of one image of an .ico file, as 0xAARRGGBB words.
std::vector<std::uint32_t> MagickPixels(const std::string& file, int index) {
  std::string command = "convert '" + file + "[" + std::to_string(index) + "]' -depth 8 rgba:- 2>/dev/null";
  const std::string bytes = SLTestCapture(command);
  std::vector<std::uint32_t> pixels;
  for (size_t i = 0; i + 4 <= bytes.size(); i += 4) {
    const auto* rgba = reinterpret_cast<const unsigned char*>(bytes.data() + i);
    pixels.push_back((std::uint32_t(rgba[3]) << 24) | (rgba[0] << 16) | (rgba[1] << 8) | rgba[2]);
  }
  return pixels;
}

TEST(Icons, LoadedImagesMatchImageMagick) {
  if (std::system("command -v convert >/dev/null") != 0) GTEST_SKIP() << "ImageMagick is needed";
  struct Case {
    std::uintptr_t group;
    int asked;  // 0: the system icon size
    const char* file;
    int index;
    int size;
  };
  const Case cases[] = {
      {101, 0, "icon.ico", 0, 32},     // 32-bit with alpha
      {101, 16, "icon.ico", 1, 16},
      {102, 0, "palette.ico", 1, 24},  // 8-bit palette: the nearest to 32 x 32
      {102, 16, "palette.ico", 0, 16}, // 4-bit palette
      {102, 20, "palette.ico", 1, 24},
  };
  for (const Case& c : cases) {
    HICON icon = LoadImageW(GetModuleHandleA(nullptr), Id(c.group), IMAGE_ICON, c.asked, c.asked, 0);
    ASSERT_NE(icon, nullptr) << c.file << " " << c.asked;
    int width = 0, height = 0;
    std::vector<std::uint32_t> ours;
    ASSERT_TRUE(SLUser32GetIconPixels(icon, &width, &height, &ours));
    EXPECT_EQ(width, c.size);
    EXPECT_EQ(height, c.size);
    std::vector<std::uint32_t> theirs =
        MagickPixels(std::string(SL_SOURCE_DIR) + "/tests/gamesystem/resources/" + c.file, c.index);
    ASSERT_EQ(ours.size(), theirs.size()) << c.file;
    int differing = 0;
    for (std::size_t i = 0; i < ours.size(); ++i) {
      bool bothClear = (ours[i] >> 24) == 0 && (theirs[i] >> 24) == 0;  // colour of a hole is free
      if (!bothClear && ours[i] != theirs[i] && differing++ < 3)
        ADD_FAILURE() << c.file << "[" << c.index << "] pixel " << i << ": " << std::hex << ours[i] << " vs "
                      << theirs[i];
    }
    EXPECT_EQ(differing, 0);
    EXPECT_TRUE(DrawIconEx(reinterpret_cast<HDC>(0xDC), 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL));
    EXPECT_TRUE(DestroyIcon(icon));
    EXPECT_FALSE(DestroyIcon(icon));
    EXPECT_FALSE(DrawIconEx(reinterpret_cast<HDC>(0xDC), 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL));
  }
}

TEST(Icons, MissingGroupsAndUnsupportedRequestsFail) {
  HINSTANCE self = GetModuleHandleA(nullptr);
  struct Case {
    LPCWSTR name;
    UINT type;
    UINT flags;
    DWORD error;
  };
  const Case cases[] = {
      {u"NOMBRE", IMAGE_ICON, 0, 1814},  // no such group
      {Id(101), IMAGE_ICON, LR_LOADFROMFILE, ERROR_CALL_NOT_IMPLEMENTED},
      {nullptr, IMAGE_ICON, 0, ERROR_INVALID_PARAMETER},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LoadImageW(self, c.name, c.type, 0, 0, c.flags), nullptr);
    EXPECT_EQ(SLPlatformGetLastError(), c.error);
  }
  // Every image of the group is a resource of type 3 of its own; the group lists them.
  const void* data = nullptr;
  DWORD size = 0;
  ASSERT_TRUE(SLFindModuleResource(self, Id(14), Id(101), &data, &size));
  EXPECT_EQ(size, 6u + 2 * 14);
  for (std::uintptr_t image = 1; image <= 4; ++image)
    EXPECT_TRUE(SLFindModuleResource(self, Id(3), Id(image), &data, &size)) << image;
  EXPECT_FALSE(SLFindModuleResource(self, Id(3), Id(5), &data, &size));
  EXPECT_FALSE(SLFindModuleResource(self, Id(4), Id(1), &data, &size));
  EXPECT_EQ(SLPlatformGetLastError(), 1813u);
}

// Palettes are GDI objects that go once; the stock palette is never deleted.
TEST(Gdi32, PalettesGoOnce) {
  HDC screen = reinterpret_cast<HDC>(0xDC);
  LOGPALETTE logical{0x300, 1, {{1, 2, 3, 0}}};
  HPALETTE palette = CreatePalette(&logical);
  HPALETTE stock = SelectPalette(screen, palette, TRUE);
  EXPECT_EQ(SelectPalette(screen, stock, TRUE), palette);
  EXPECT_TRUE(DeleteObject(palette));
  EXPECT_FALSE(DeleteObject(palette));
  EXPECT_EQ(SelectPalette(screen, palette, TRUE), nullptr);
  EXPECT_TRUE(DeleteObject(stock));
  EXPECT_EQ(SelectPalette(screen, stock, TRUE), stock);
}

// Callers binding by name and callers calling directly read the same fake time.
TEST(Clock, TestClockDrivesCounterAndTimer) {
  HMODULE winmm = LoadLibraryA("WINMM.DLL");
  auto timeGetTime = reinterpret_cast<DWORD (*)()>(GetProcAddress(winmm, "timeGetTime"));
  ASSERT_NE(timeGetTime, nullptr);
  SLPlatformSetTestClock(true, 0x1FFFFFFFFull * 1000000 + 999999);
  EXPECT_EQ(timeGetTime(), 0xFFFFFFFFu);  // milliseconds wrap at 32 bits
  LARGE_INTEGER counter{}, frequency{};
  ASSERT_TRUE(QueryPerformanceCounter(&counter));
  ASSERT_TRUE(QueryPerformanceFrequency(&frequency));
  EXPECT_EQ(counter.QuadPart / (frequency.QuadPart / 1000), 0x1FFFFFFFFll);
  SLPlatformSetTestClock(true, 0x200000000ull * 1000000);
  EXPECT_EQ(timeGetTime(), 0u);
  SLPlatformSetTestClock(false);
  EXPECT_NE(timeGetTime(), 0u);  // the system's clock again
}

}  // namespace
