// What the movie tests build their scenes from: catalogue records made in memory
// (MovieCatalog.h), a graphics device that logs what is drawn, a sound device that logs
// every Play and Stop, and the monospaced bitmap font of the font fixtures.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "adventure/AdventureDevices.h"
#include "adventure/catalog/CharacterCatalog.h"
#include "adventure/catalog/ObjectCatalog.h"
#include "adventure/catalog/SceneCatalog.h"
#include "adventure/movie/Movie.h"
#include "gamesystem/SLSfx.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "tests/support/MemoryGfxDevice.h"
#include "tests/support/MovieCatalog.h"
#include "tests/support/RecordingSfx.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSupport.h"

// Records every image and text drawn, with the options that came with it.
class CDrawLogGfx : public CMemoryGfxDevice {
 public:
  struct Draw {
    bool text;
    SL_GS_Image* image;  // null for text
    i32 x, y;
    SL_GS_DrawImageOptions options;
    std::u16string chars;
  };
  bool DrawImage(SL_GS_Image* image, i32 x, i32 y, const SL_GS_DrawImageOptions* options) override {
    draws.push_back({false, image, x, y, options ? *options : SL_GS_DrawImageOptions{}, u""});
    return CMemoryGfxDevice::DrawImage(image, x, y, options);
  }
  i32 DrawTextW(SL_GS_Font* font, i32 x, i32 y, u32 placement, const SL_GS_DrawImageOptions* options,
                const SLWChar* text, u32 length) override {
    draws.push_back({true, nullptr, x, y, options ? *options : SL_GS_DrawImageOptions{}, std::u16string(text, length)});
    return CMemoryGfxDevice::DrawTextW(font, x, y, placement, options, text, length);
  }
  std::vector<Draw> draws;
};

// The monospaced font of the font fixtures: every printable ASCII glyph 5 wide, an advance
// of 7 (a word of n letters measures 7n - 2), 9 high.
inline SL_GS_Font* MovieTestMonoFont(CSL_GS_BaseGfx* gfx, const TempDir& dir) {
  SLTestCapture("python3 '" SL_SOURCE_DIR "/tools/fixtures/make_font_fixtures.py' '" + dir.Host() + "'");
  return gfx->LoadFontFromFile(dir.Host("mono.fnt").c_str());
}

// An empty movie over a logging graphics device and a recording sound device, both
// installed as the adventure's devices. A test's own SetUp calls this one first (under
// ASSERT_NO_FATAL_FAILURE); the catalogue records the test adds are freed with the movie.
class MovieDevicesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SLTestRegisterClasses();
    ASSERT_TRUE(m_gfx.Init(nullptr, nullptr, nullptr));
    AdventureDevices_Set(&m_gfx, &m_sfx, nullptr);
    Movie_Init(&m_movie);
  }
  void TearDown() override {
    Movie_Clear(&m_movie);
    MovieCatalog::Free();
    AdventureDevices_Set(nullptr, nullptr, nullptr);
  }

  CMemoryGfxDevice m_gfx;
  CRecordingSfx m_sfx;
  Movie m_movie;
};

// The same with one empty scene in the movie, for the test to fill.
class OneSceneMovieTest : public MovieDevicesTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(MovieDevicesTest::SetUp());
    m_scene = Movie_AppendScene(&m_movie);
  }

  Scene* m_scene = nullptr;
};
