// The building-box screen: the boxes of the graphics pack page three at a time, a chosen
// box lists its videos centred on its button, the player's buttons and slider move through
// the chosen video, and entries or videos that cannot be shown are left out.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "app/services/AppEvents.h"
#include "app/services/AppServices.h"
#include "app/screens/BoxScreen.h"
#include "app/services/CMyGuiManager.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "image/SLImage.h"
#include "app/screens/BoxVideoListRow.h"
#include "gui/SLGuiSlider.h"
#include "gui/SLGuiWindow.h"
#include "media/SLMoviePlayer.h"
#include "media/reader/SLBaseVideoAudioReader.h"
#include "platform/kernel32/Modules.h"
#include "storage/SLFastFileStorage.h"
#include "tests/app/LoadingFixtures.h"
#include "tests/support/AppHarness.h"
#include "tests/support/ScreenGolden.h"
#include "tests/support/TestSupport.h"

// A video of twenty million frames at 15 per second for files ending in ".largo": every
// frame the same small grey picture.
class CLongVideoReader : public CSLBaseVideoAudioReader {
  SL_DECLARE_CLASS(CLongVideoReader)
 public:
  static constexpr u32 kSide = 8;
  ~CLongVideoReader() override { Close(); }
  bool Open(CSLBaseStorage* storage, u32) override { return HoldSource(storage), SLSucceed(true); }
  bool Close() override { return ReleaseSource(), SLSucceed(true); }
  bool GetStreamCount(u32* count) override { return *count = 1, SLSucceed(true); }
  bool GetStreamType(u32 stream, u32* type) override {
    if (stream != 0) return *type = SL_STREAM_UNKNOWN, SLFail(SL_E_MEDIA_NO_STREAM, false);
    return *type = SL_STREAM_VIDEO, SLSucceed(true);
  }
  bool GetVideoFormat(u32, SLVideoFormat* out) override {
    *out = {kSide, kSide, 32, 0, kSide * kSide * 4};
    return SLSucceed(true);
  }
  bool GetVideoFrameRate(u32, double* rate) override { return *rate = 15, SLSucceed(true); }
  bool IsKeyFrame(u32, u64) override { return SLSucceed(true); }
  bool GetAudioFormat(u32, SLAudioFormat*) override { return SLFail(SL_E_MEDIA_NOT_AUDIO, false); }
  bool GetAudioLength(u32, u64*) override { return SLFail(SL_E_MEDIA_NOT_AUDIO, false); }
  bool GetVideoFrameCount(u32, u64* frames) override { return *frames = 20000000, SLSucceed(true); }
  bool StartStream(u32) override { return SLSucceed(true); }
  bool GetVideoFrame(u32, u64, const void** picture, u32* size) override {
    m_picture.assign(40 + kSide * kSide * 4, 0x80);
    const u32 header[10] = {40, kSide, kSide, 1 | 32 << 16, 0, kSide * kSide * 4, 0, 0, 0, 0};
    std::memcpy(m_picture.data(), header, 40);
    *picture = m_picture.data();
    if (size) *size = u32(m_picture.size());
    return SLSucceed(true);
  }
  bool ReadAudio(u32, u64, u32, const void**, u32*) override { return SLFail(SL_E_MEDIA_NOT_AUDIO, false); }
  bool StopStream(u32) override { return SLSucceed(true); }
  const char* GetExtensionA(u32 index) override { return index == 0 ? "largo" : SLFail(SL_E_INDEX, nullptr); }

 private:
  std::vector<u8> m_picture;
};
SL_IMPLEMENT_CLASS_CREATABLE(CLongVideoReader, CSLBaseVideoAudioReader)

namespace {

void Send(u32 id) { BoxVideosScreen_OnEvent(APP_EVENT_COMMAND, id, nullptr); }
bool Shown(const CSL_GS_GuiWindow* window) { return (window->GetStyle() & SL_GUI_WS_VISIBLE) != 0; }
BoxScreenState& State() { return BoxVideosScreen_State(); }

std::vector<std::string> ShownRows() {
  std::vector<std::string> names;
  for (CSL_GS_GuiWindow* row : State().rows)
    if (Shown(row)) names.emplace_back(row->GetText());
  return names;
}

u64 CurrentFrame() {
  u64 frame = ~0ull;
  BoxVideosScreen_Player().GetCurrentFrame(&frame);
  return frame;
}

u32 SliderPosition() { return static_cast<CSL_GS_GuiSliderBase*>(State().slider)->GetPosition(); }

// The screen with the fixture's graphics pack and program folder in place of the sample's.
class FixtureBoxes {
 public:
  explicit FixtureBoxes(const std::string& folder) {
    m_pack.AttachFile((folder + "/Gfx/Gfx.DAT").c_str(), false, 0);
    m_saved = App_Services().graphicsPack;
    App_Services().graphicsPack = &m_pack;
    SLPlatformSetProgramFileName(LoadingFixtures::ProgramIn(folder).c_str());
  }
  ~FixtureBoxes() {
    App_Services().graphicsPack = m_saved;
    SLPlatformSetProgramFileName(AppHarness::ProgramPath().c_str());
  }

 private:
  CSLFastFileStorage m_pack;
  CSLFastFileStorage* m_saved;
};

using BoxScreen = AppScreenTest;

TEST_F(BoxScreen, SampleBoxesListTheirVideosCentredOnTheirButton) {
  BoxVideosScreen_Load();
  ASSERT_EQ(State().boxes.GetCount(), 2u);
  EXPECT_EQ(State().boxes[0].number, 1u);
  EXPECT_EQ(State().boxes[1].number, 2u);
  EXPECT_EQ(State().firstBox, 0u);
  EXPECT_FALSE(Shown(State().boxUp));
  EXPECT_FALSE(Shown(State().boxDown));
  EXPECT_TRUE(Shown(State().boxButtons[1]));
  EXPECT_FALSE(Shown(State().boxButtons[2]));
  // The first box is chosen: three videos around the middle of the first button.
  EXPECT_EQ(State().selectedBoxNumber, 1u);
  EXPECT_EQ(ShownRows(), (std::vector<std::string>{"1 Materiales", "2 Paredes", "3 Techo"}));
  const i32 y0 = 101 + (117 - 3 * 12) / 2;
  for (u32 i = 0; i < 3; ++i) {
    EXPECT_EQ(State().rows[i]->GetWindowRect().x, 254);
    EXPECT_EQ(State().rows[i]->GetWindowRect().y, y0 + 12 * i32(i));
  }
  EXPECT_EQ(State().rowDown->GetWindowRect().y, y0 + 36 + 2);
  EXPECT_FALSE(Shown(State().rowDown));
  EXPECT_FALSE(State().videoOpen);

  // The second box: its two videos centred on the second button.
  Send(APP_BOX_FIRST_ID + 1);
  EXPECT_EQ(State().selectedBoxNumber, 2u);
  EXPECT_EQ(ShownRows(), (std::vector<std::string>{"1 Cuerpo", "2 Alas"}));
  EXPECT_EQ(State().rows[0]->GetWindowRect().y, 101 + 117 + (117 - 24) / 2);
  // A button without a box does nothing.
  Send(APP_BOX_FIRST_ID + 2);
  EXPECT_EQ(State().selectedBoxNumber, 2u);
  BoxVideosScreen_Free();
  EXPECT_EQ(State().boxes.GetCount(), 0u);
  EXPECT_EQ(State().slider, nullptr);
}

TEST_F(BoxScreen, PlayerButtonsMoveThroughTheVideo) {
  BoxVideosScreen_Load();
  Send(APP_BOX_ROW_FIRST_ID);  // "1 Materiales", 15 frames per second
  ASSERT_TRUE(State().videoOpen);
  EXPECT_EQ(State().selectedVideo, 0u);
  EXPECT_DOUBLE_EQ(State().frameRate, 15.0);
  const u64 frames = State().frameCount;
  ASSERT_GT(frames, 30u);
  auto* slider = static_cast<CSL_GS_GuiSliderBase*>(State().slider);
  EXPECT_EQ(slider->GetRange(), frames);
  EXPECT_EQ(slider->GetStep(), frames / 100);
  EXPECT_TRUE(State().playing);
  EXPECT_FALSE(Shown(State().playerButtons[APP_BOX_PLAY_ID - APP_BOX_HOME_ID]));
  EXPECT_TRUE(Shown(State().playerButtons[APP_BOX_PAUSE_ID - APP_BOX_HOME_ID]));
  for (CSL_GS_GuiWindow* row : State().rows)
    EXPECT_EQ(static_cast<CMyMiniListItemButton*>(row)->GetSelectedRow(), 0u);

  Send(APP_BOX_PAUSE_ID);
  EXPECT_FALSE(State().playing);
  EXPECT_TRUE(Shown(State().playerButtons[APP_BOX_PLAY_ID - APP_BOX_HOME_ID]));
  BoxVideosScreen_Player().SeekToFrame(10);
  Send(APP_BOX_RW_ID);
  EXPECT_EQ(CurrentFrame(), 0u) << "one second back from frame 10 stops at the start";
  BoxVideosScreen_Player().SeekToFrame(40);
  Send(APP_BOX_RW_ID);
  EXPECT_EQ(CurrentFrame(), 25u);
  EXPECT_EQ(SliderPosition(), 25u);
  Send(APP_BOX_FF_ID);
  EXPECT_EQ(CurrentFrame(), 40u);
  BoxVideosScreen_Player().SeekToFrame(frames - 3);
  Send(APP_BOX_FF_ID);
  EXPECT_EQ(CurrentFrame(), frames) << "fast forward near the end stops at the end";
  EXPECT_EQ(SliderPosition(), frames);
  Send(APP_BOX_HOME_ID);
  EXPECT_EQ(CurrentFrame(), 0u);
  EXPECT_EQ(SliderPosition(), 0u);
  Send(APP_BOX_END_ID);
  EXPECT_EQ(CurrentFrame(), frames);
  EXPECT_FALSE(State().playing);

  // The slider moved by the user seeks there and keeps playing if it was.
  Send(APP_BOX_HOME_ID);
  Send(APP_BOX_PLAY_ID);
  ASSERT_TRUE(State().playing);
  slider->SetPosition(20);
  BoxVideosScreen_OnEvent(APP_EVENT_SLIDER, reinterpret_cast<std::uintptr_t>(slider), nullptr);
  EXPECT_TRUE(State().playing);
  EXPECT_GE(CurrentFrame(), 20u);

  // Choosing another box stops and closes the video.
  Send(APP_BOX_FIRST_ID + 1);
  EXPECT_FALSE(State().videoOpen);
  EXPECT_FALSE(BoxVideosScreen_Player().IsPlaying());
  EXPECT_EQ(slider->GetRange(), 0u);
  EXPECT_EQ(State().selectedVideo, kBoxNone);
  BoxVideosScreen_Free();
}

TEST_F(BoxScreen, FourBoxesPageByOneAndSevenVideosScroll) {
  FixtureBoxes fixture(LoadingFixtures::BoxDir());
  BoxVideosScreen_Load();
  // Entries whose five characters after "Caja" are not all digits are no boxes.
  ASSERT_EQ(State().boxes.GetCount(), 4u);
  for (u32 i = 0; i < 4; ++i) EXPECT_EQ(State().boxes[i].number, i + 1);
  EXPECT_TRUE(Shown(State().boxDown));
  EXPECT_FALSE(Shown(State().boxUp));
  EXPECT_EQ(ShownRows(), (std::vector<std::string>{"Uno"}));

  Send(APP_BOX_DOWN_ID);
  EXPECT_EQ(State().firstBox, 1u);
  EXPECT_FALSE(Shown(State().boxDown));
  EXPECT_TRUE(Shown(State().boxUp));
  EXPECT_EQ(State().selectedBoxNumber, kBoxNone);
  EXPECT_TRUE(ShownRows().empty());
  Send(APP_BOX_DOWN_ID);
  EXPECT_EQ(State().firstBox, 1u) << "no step past the last box";

  Send(APP_BOX_FIRST_ID + 1);  // box 3, on the second button
  EXPECT_EQ(State().selectedBoxNumber, 3u);
  ASSERT_EQ(State().videos.GetCount(), 7u);
  EXPECT_EQ(ShownRows(), (std::vector<std::string>{"Paso 1", "Paso 2", "Paso 3", "Paso 4", "Paso 5", "Paso 6 mudo"}));
  const i32 y0 = 101 + 117 + (117 - 72) / 2;
  EXPECT_EQ(State().rows[0]->GetWindowRect().y, y0);
  EXPECT_EQ(State().rowDown->GetWindowRect().y, y0 + 72 + 2);
  EXPECT_TRUE(Shown(State().rowDown));
  EXPECT_FALSE(Shown(State().rowUp));

  Send(APP_BOX_ROW_DOWN_ID);
  EXPECT_EQ(State().firstVideo, 1u);
  EXPECT_EQ(ShownRows(),
            (std::vector<std::string>{"Paso 2", "Paso 3", "Paso 4", "Paso 5", "Paso 6 mudo", "Paso 7 vacio"}));
  EXPECT_FALSE(Shown(State().rowDown));
  EXPECT_TRUE(Shown(State().rowUp));

  // The video without frames is not played; the one without sound plays by its frame rate.
  Send(APP_BOX_ROW_FIRST_ID + 5);
  EXPECT_EQ(State().selectedVideo, 6u);
  EXPECT_FALSE(State().videoOpen);
  u64 ignored;
  EXPECT_FALSE(BoxVideosScreen_Player().GetFrameCount(&ignored)) << "the player stays closed";
  Send(APP_BOX_PLAY_ID);
  EXPECT_FALSE(State().playing);
  Send(APP_BOX_ROW_FIRST_ID + 4);
  EXPECT_EQ(State().selectedVideo, 5u);
  EXPECT_TRUE(State().videoOpen);
  EXPECT_TRUE(State().playing);
  EXPECT_EQ(State().frameCount, 30u);
  BoxVideosScreen_Free();
}

TEST_F(BoxScreen, PackWithoutBoxesEndsTheProgram) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::string folder = LoadingFixtures::Dir() + "/Variantes/sin_cajas";
  EXPECT_EXIT(
      {
        FixtureBoxes fixture(folder);
        BoxVideosScreen_Load();
      },
      ::testing::ExitedWithCode(256 - 2103 % 256), "Error 02103: No se han encontrado cajas de construcci");
}

TEST_F(BoxScreen, CloseButtonReturnsToTheMenu) {
  Command(APP_BOX_ROW_FIRST_ID + 1);
  Command(APP_CLOSE_BUTTON_ID);
  EXPECT_EQ(BoxVideosScreen_Run(), 1);
  EXPECT_EQ(State().boxes.GetCount(), 0u);
  EXPECT_FALSE(BoxVideosScreen_Player().IsPlaying());
  EXPECT_EQ(AppHarness::TopLevelWithId(APP_BOX_SLIDER_ID), nullptr);
}

// The slider of a video longer than ten million frames covers the whole video: the
// position and the frame convert through the slider's own range of one million.
TEST_F(BoxScreen, LongVideoSliderReachesItsEnd) {
  SLRegisterClass(CLongVideoReader::GetClassRecord());
  TempDir dir;
  std::ofstream(dir.Host("pasos.largo")) << "x";
  BoxVideosScreen_Load();
  CSL_GS_MoviePlayer& player = BoxVideosScreen_Player();
  ASSERT_TRUE(player.Open(dir.Host("pasos.largo").c_str(), nullptr));
  u64 frames = 0;
  ASSERT_TRUE(player.GetFrameCount(&frames));
  ASSERT_EQ(frames, 20000000u);
  // As a chosen video sets it up.
  auto* slider = static_cast<CSL_GS_GuiSliderBase*>(State().slider);
  State().frameCount = frames;
  State().frameRate = 15;
  State().videoOpen = true;
  slider->SetRange(kBoxSliderLongRange);
  slider->SetStep(kBoxSliderLongStep);

  player.SeekToFrame(15000000);
  BoxVideosScreen_UpdateSlider();
  EXPECT_EQ(SliderPosition(), 750000u);
  slider->SetPosition(500000);
  BoxVideosScreen_OnEvent(APP_EVENT_SLIDER, reinterpret_cast<std::uintptr_t>(slider), nullptr);
  EXPECT_EQ(CurrentFrame(), 10000000u);
  slider->SetPosition(kBoxSliderLongRange);
  BoxVideosScreen_OnEvent(APP_EVENT_SLIDER, reinterpret_cast<std::uintptr_t>(slider), nullptr);
  EXPECT_EQ(CurrentFrame(), 20000000u);
  Send(APP_BOX_HOME_ID);
  EXPECT_EQ(SliderPosition(), 0u);
  Send(APP_BOX_END_ID);
  EXPECT_EQ(SliderPosition(), kBoxSliderLongRange);
  BoxVideosScreen_Free();
}

TEST(BoxEntries, OnlyFiveDigitsAfterCajaNameABox) {
  const struct {
    const char* name;
    bool accepted;
    u32 number;
  } rows[] = {{"Caja00001_Normal.mximg", true, 1},  {"caja99999_normal.mximg", true, 99999},
              {"Caja0x001_Normal.mximg", false, 0}, {"Caja-0001_Normal.mximg", false, 0},
              {"Caja 0001_Normal.mximg", false, 0}, {"Caja+0001_Normal.mximg", false, 0},
              {"Caja0001", false, 0},               {"Cuna00001_Normal.mximg", false, 0}};
  for (const auto& row : rows) {
    u32 number = 0;
    EXPECT_EQ(BoxEntry_ParseNumber(row.name, &number), row.accepted) << row.name;
    if (row.accepted) {
      EXPECT_EQ(number, row.number) << row.name;
    }
  }
}

TEST(BoxEntries, ListsPageByOneWithinTheirCount) {
  const struct {
    u32 first, count, visible;
    bool down;
    u32 next;
    bool moreBelow;
  } rows[] = {{0, 3, 3, true, 0, false}, {0, 4, 3, true, 1, true}, {1, 4, 3, true, 1, false},
              {1, 4, 3, false, 0, false}, {0, 4, 3, false, 0, true}, {0, 7, 6, true, 1, true},
              {1, 7, 6, true, 1, false}, {0, 0, 3, true, 0, false}, {0, 1, 3, false, 0, false}};
  for (const auto& row : rows) {
    EXPECT_EQ(BoxList_Step(row.first, row.count, row.visible, row.down), row.next)
        << row.first << " of " << row.count;
    EXPECT_EQ(BoxList_HasMoreBelow(row.first, row.count, row.visible), row.moreBelow)
        << row.first << " of " << row.count;
  }
}

// Videos of more than ten million frames spread over the slider's range of one million:
// its whole length is reachable, and a frame's position and back stay within one step.
TEST(BoxSlider, LongVideosUseTheWholeSlider) {
  const struct {
    u64 frameCount, frame;
    u32 position;
  } rows[] = {{1000, 0, 0},
              {1000, 999, 999},
              {10000000, 10000000, 10000000},
              {20000000, 0, 0},
              {20000000, 10000000, 500000},
              {20000000, 19999999, 999999},
              {20000000, 20000000, 1000000},
              {~0ull, ~0ull, 1000000}};
  for (const auto& row : rows) {
    EXPECT_EQ(BoxSlider_PositionOfFrame(row.frame, row.frameCount), row.position) << row.frameCount;
    const u64 back = BoxSlider_FrameOfPosition(row.position, row.frameCount);
    EXPECT_LE(back, row.frame);
    EXPECT_LT(row.frame - back, row.frameCount / 1000000 + 1) << row.frameCount;
  }
  EXPECT_EQ(BoxSlider_FrameOfPosition(1000000, 20000000), 20000000u);
}

// The list rows of the first sample box with the second video chosen, drawn by the GUI:
// the chosen row in white behind its highlight, which darkens the row, the others in the
// list's purple; every caption right-aligned but one too wide for its row, which starts
// at the row's left edge so that its step number shows. A crop matches when every channel
// is within 2 but for at most 0.2 % of its pixels. Remade after a deliberate change with
//   SL_WRITE_GOLDEN=1 build/tests/test_app_BoxScreenTest --gtest_filter=BoxScreen.ListRowsDrawTheChosenOne
TEST_F(BoxScreen, ListRowsDrawTheChosenOne) {
  constexpr i32 kX = 252, kY = 139, kWidth = 104, kHeight = 40;
  BoxVideosScreen_Load();
  Send(APP_BOX_ROW_FIRST_ID + 1);
  Send(APP_BOX_PAUSE_ID);
  const std::string crop = AppHarness::GuiCrop(0xFF402010, kX, kY, kWidth, kHeight);
  BoxVideosScreen_Free();
  EXPECT_TRUE(SLTestMatchesGolden(crop, kWidth, kHeight, SL_SOURCE_DIR "/tests/app/golden/mini_list_rows.png"));
}

// The screen as the child sees it, on its own background, measured in its pixels: the
// chosen row's white caption and another row's purple one stand out from what lies
// behind them (a contrast of at least 3 to 1 between the caption's strongest pixel and
// the row's commonest colour), and the five player buttons show faces of one width,
// evenly spaced.
TEST_F(BoxScreen, OnItsBackgroundTheRowsReadAndThePlayerButtonsMatch) {
  BoxVideosScreen_Load();
  Send(APP_BOX_ROW_FIRST_ID + 1);
  Send(APP_BOX_PAUSE_ID);
  CSL_GS_Gfx_DirectX* gfx = App_Services().gfx;
  auto capture = [gfx](bool withGui) {
    TSLObjPtr<CSLImage> screen;
    screen.Attach(new CSLImage());
    EXPECT_TRUE(gfx->Clear(0xFF000000, false, false));
    EXPECT_TRUE(gfx->DrawImage(BoxVideosScreen_State().background, 0, 0, nullptr));
    if (withGui) App_GuiManager().Draw();
    EXPECT_TRUE(gfx->EndFrame());
    EXPECT_TRUE(gfx->CaptureScreen(screen.Get()));
    return screen;
  };
  TSLObjPtr<CSLImage> bare = capture(false), drawn = capture(true);
  auto rgb = [](const CSLImage& image, i32 x, i32 y) {
    const u8* p = image.GetPixelAddress(u32(x), u32(y));  // B, G, R
    return u32(p[2]) << 16 | u32(p[1]) << 8 | p[0];
  };
  auto luminance = [](u32 colour) {
    double sum = 0;
    const double weights[3] = {0.2126, 0.7152, 0.0722};
    for (int c = 0; c < 3; ++c) {
      const double v = ((colour >> (16 - 8 * c)) & 0xFF) / 255.0;
      sum += weights[c] * (v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4));
    }
    return sum;
  };
  auto contrast = [&](u32 a, u32 b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
  };
  for (u32 row : {1u, 2u}) {  // the chosen row, then the next
    const SLGuiRect& r = BoxVideosScreen_State().rows[row]->GetWindowRect();
    std::map<u32, u32> counts;
    for (i32 y = r.y; y < r.y + r.height; ++y)
      for (i32 x = r.x; x < r.x + r.width; ++x) ++counts[rgb(*drawn.Get(), x, y)];
    u32 behind = 0, most = 0;
    for (auto [colour, count] : counts)
      if (count > most) behind = colour, most = count;
    double strongest = 1;
    for (auto [colour, count] : counts) strongest = std::max(strongest, contrast(colour, behind));
    EXPECT_GE(strongest, 3.0) << "row " << row << " behind " << std::hex << behind;
  }
  // The faces: the columns the buttons change along the middle of their row.
  std::vector<std::pair<i32, i32>> faces;  // first and last column
  const i32 middle = 477 + 26;
  for (i32 x = 500; x < 800; ++x) {
    if (rgb(*bare.Get(), x, middle) == rgb(*drawn.Get(), x, middle)) continue;
    if (!faces.empty() && faces.back().second == x - 1) faces.back().second = x;
    else faces.push_back({x, x});
  }
  BoxVideosScreen_Free();
  ASSERT_EQ(faces.size(), 5u);
  for (size_t i = 1; i < faces.size(); ++i) {
    EXPECT_NEAR(faces[i].second - faces[i].first, faces[0].second - faces[0].first, 1) << i;
    EXPECT_NEAR(faces[i].first - faces[i - 1].second, faces[1].first - faces[0].second, 2) << i;
  }
}

TEST(MiniList, CaptionColoursFollowTheButtonState) {
  const struct {
    u32 state;
    bool selected;
    u32 color;
  } rows[] = {{SL_GUI_STATE_NORMAL, false, 0xFF781E90}, {SL_GUI_STATE_NORMAL, true, 0xFFFFFFFF},
              {SL_GUI_STATE_HOT, true, 0xFF8A38CB},     {SL_GUI_STATE_PRESSED, true, 0xFF000000},
              {SL_GUI_STATE_HOT | SL_GUI_STATE_FOCUSED, false, 0xFF8A38CB},
              {SL_GUI_STATE_DISABLED, false, 0xFF781E90}};
  for (const auto& row : rows)
    EXPECT_EQ(CMyMiniListItemButton::CaptionColor(row.state, row.selected), row.color) << row.state;
}

}  // namespace
