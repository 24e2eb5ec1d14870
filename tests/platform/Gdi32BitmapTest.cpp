// Device-independent bitmaps of the gdi32 stand-in, reached by name as the framework
// reaches them: the headers taken and refused, the record GetObject gives, and handles
// that stop working once deleted, also while other threads ask about them.
#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <thread>
#include <vector>

#include "platform/gdi32/Gdi32.h"
#include "platform/kernel32/Handles.h"
#include "platform/kernel32/Modules.h"

namespace {

using CreateDib = HBITMAP (*)(HDC, const BITMAPINFO*, UINT, void**, HANDLE, DWORD);
using GetObjectFn = int (*)(HGDIOBJ, int, void*);
using DeleteFn = BOOL (*)(HGDIOBJ);

struct Gdi32 {
  HMODULE module = LoadLibraryW(u"GDI32.DLL");
  CreateDib create = reinterpret_cast<CreateDib>(GetProcAddress(module, "CreateDIBSection"));
  GetObjectFn getObjectA = reinterpret_cast<GetObjectFn>(GetProcAddress(module, "GetObjectA"));
  GetObjectFn getObjectW = reinterpret_cast<GetObjectFn>(GetProcAddress(module, "GetObjectW"));
  DeleteFn deleteObject = reinterpret_cast<DeleteFn>(GetProcAddress(module, "DeleteObject"));
  bool flushed = reinterpret_cast<BOOL (*)()>(GetProcAddress(module, "GdiFlush"))();
};

BITMAPINFOHEADER Header(LONG width, LONG height, WORD bits, DWORD compression, DWORD size = 40, WORD planes = 1) {
  return BITMAPINFOHEADER{size, width, height, planes, bits, compression, 0, 3779, 3779, 0, 0};
}

TEST(Gdi32Bitmaps, CreateGetAndDeleteByName) {
  Gdi32 gdi;
  ASSERT_TRUE(gdi.create && gdi.getObjectA && gdi.getObjectW && gdi.deleteObject && gdi.flushed);
  // width, height, bits, compression -> pitch, rows
  const LONG cases[][6] = {{3, 2, 8, BI_RGB, 4, 2},       {3, -2, 24, BI_RGB, 12, 2}, {5, 1, 16, BI_BITFIELDS, 12, 1},
                           {1, 7, 32, BI_BITFIELDS, 4, 7}, {2, 1, 32, BI_RGB, 8, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c[0] << "x" << c[1] << "x" << c[2]);
    BITMAPINFO info = {Header(c[0], c[1], WORD(c[2]), DWORD(c[3])), {}};
    void* bits = nullptr;
    HBITMAP bitmap = gdi.create(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(bitmap, nullptr);
    ASSERT_NE(bits, nullptr);
    const std::vector<BYTE> memory(static_cast<BYTE*>(bits), static_cast<BYTE*>(bits) + c[4] * c[5]);
    EXPECT_EQ(memory, std::vector<BYTE>(memory.size(), 0)) << "zero-filled";

    BITMAP record;
    EXPECT_EQ(gdi.getObjectA(bitmap, 0, nullptr), 32);
    EXPECT_EQ(gdi.getObjectA(bitmap, 31, &record), 0);
    for (GetObjectFn get : {gdi.getObjectA, gdi.getObjectW}) {
      EXPECT_EQ(get(bitmap, sizeof record + 4, &record), 32);
      EXPECT_EQ(std::vector<LONG>({record.bmType, record.bmWidth, record.bmHeight, record.bmWidthBytes,
                                   record.bmPlanes, record.bmBitsPixel}),
                std::vector<LONG>({0, c[0], c[5], c[4], 1, c[2]}));
      EXPECT_EQ(record.bmBits, bits);
    }
    EXPECT_TRUE(gdi.deleteObject(bitmap));
    EXPECT_FALSE(gdi.deleteObject(bitmap));
    EXPECT_EQ(SLPlatformGetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(gdi.getObjectW(bitmap, sizeof record, &record), 0);
    EXPECT_EQ(SLPlatformGetLastError(), ERROR_INVALID_HANDLE);
  }
  // A palette is no bitmap; a made-up handle is nothing.
  LOGPALETTE palette = {0x300, 1, {{1, 2, 3, 0}}};
  HPALETTE live = CreatePalette(&palette);
  EXPECT_EQ(gdi.getObjectA(live, 32, nullptr), 0);
  EXPECT_EQ(gdi.getObjectA(reinterpret_cast<HGDIOBJ>(0x12345), 32, nullptr), 0);
  EXPECT_TRUE(gdi.deleteObject(live));
}

TEST(Gdi32Bitmaps, RefusesHeadersItCannotHold) {
  Gdi32 gdi;
  const struct {
    BITMAPINFOHEADER header;
    UINT usage;
    HANDLE section;
    DWORD error;
  } cases[] = {
      {Header(2, 2, 4, BI_RGB), DIB_RGB_COLORS, nullptr, ERROR_INVALID_PARAMETER},
      {Header(2, 2, 15, BI_RGB), DIB_RGB_COLORS, nullptr, ERROR_INVALID_PARAMETER},
      {Header(2, 2, 24, BI_BITFIELDS), DIB_RGB_COLORS, nullptr, ERROR_INVALID_PARAMETER},
      {Header(2, 2, 32, 1), DIB_RGB_COLORS, nullptr, ERROR_INVALID_PARAMETER},
      {Header(0, 2, 32, BI_RGB), DIB_RGB_COLORS, nullptr, ERROR_INVALID_PARAMETER},
      {Header(2, 0, 32, BI_RGB), DIB_RGB_COLORS, nullptr, ERROR_INVALID_PARAMETER},
      {Header(2, INT_MIN, 32, BI_RGB), DIB_RGB_COLORS, nullptr, ERROR_INVALID_PARAMETER},
      {Header(2, 2, 24, BI_RGB, 12), DIB_RGB_COLORS, nullptr, ERROR_INVALID_PARAMETER},
      {Header(2, 2, 24, BI_RGB, 40, 2), DIB_RGB_COLORS, nullptr, ERROR_INVALID_PARAMETER},
      {Header(2, 2, 8, BI_RGB), 1, nullptr, ERROR_INVALID_PARAMETER},
      {Header(2, 2, 8, BI_RGB), DIB_RGB_COLORS, reinterpret_cast<HANDLE>(8), ERROR_INVALID_PARAMETER},
      {Header(INT_MAX, INT_MAX, 32, BI_RGB), DIB_RGB_COLORS, nullptr, ERROR_NOT_ENOUGH_MEMORY},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.header.biBitCount << " bits, " << c.header.biWidth << "x"
                                      << c.header.biHeight);
    BITMAPINFO info = {c.header, {}};
    void* bits = &info;
    EXPECT_EQ(gdi.create(nullptr, &info, c.usage, &bits, c.section, 0), nullptr);
    EXPECT_EQ(bits, nullptr);
    EXPECT_EQ(SLPlatformGetLastError(), c.error);
  }
  EXPECT_EQ(gdi.create(nullptr, nullptr, DIB_RGB_COLORS, nullptr, nullptr, 0), nullptr);
}

// Deleting a bitmap while other threads read its record: each read gives the whole
// record or fails, never freed memory (the address sanitizer watches).
TEST(Gdi32Bitmaps, DeleteWhileOthersAsk) {
  BITMAPINFO info = {Header(64, 64, 32, BI_RGB), {}};
  for (int round = 0; round < 50; ++round) {
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, nullptr, nullptr, 0);
    ASSERT_NE(bitmap, nullptr);
    std::atomic<bool> go{false};
    std::vector<std::thread> readers;
    for (int t = 0; t < 3; ++t)
      readers.emplace_back([&] {
        while (!go) {
        }
        BITMAP record;
        for (int i = 0; i < 200; ++i)
          if (GetObjectW(bitmap, sizeof record, &record)) {
            ASSERT_EQ(record.bmWidthBytes, 256);
          }
      });
    go = true;
    EXPECT_TRUE(DeleteObject(bitmap));
    for (std::thread& t : readers) t.join();
  }
}

}  // namespace
