// The building boxes' craft videos in the built content, decoded by ffmpeg two frames a
// second: every part of the picture above the caption holds something (no bare wall or
// table), the model changes within each step, and each step starts where the one before
// it ended.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/ContentFiles.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace content_test;

constexpr int kWidth = 432, kHeight = 324, kCaptionTop = 262;

struct Frames {
  std::vector<std::string> frames;  // RGB, top row first
  const unsigned char* Pixel(size_t frame, int x, int y) const {
    return reinterpret_cast<const unsigned char*>(frames[frame].data()) + (size_t(y) * kWidth + size_t(x)) * 3;
  }
};

// The first frame, then two a second.
Frames Decode(const std::string& path) {
  const size_t frameSize = size_t(kWidth) * kHeight * 3;
  Frames out;
  for (const char* pick : {"-frames:v 1", "-vf fps=2"}) {
    const std::string raw = SLTestCapture("ffmpeg -nostdin -loglevel error -i '" + path + "' " + pick +
                                          " -f rawvideo -pix_fmt rgb24 - 2>/dev/null");
    for (size_t at = 0; at + frameSize <= raw.size(); at += frameSize) out.frames.push_back(raw.substr(at, frameSize));
  }
  return out;
}

int Difference(const unsigned char* a, const unsigned char* b) {
  return std::abs(a[0] - b[0]) + std::abs(a[1] - b[1]) + std::abs(a[2] - b[2]);
}

// How many of the 6 x 4 tiles above the caption have almost no edges: an area where
// nothing is drawn but a flat or gently shaded colour.
int BareTiles(const Frames& video, size_t frame) {
  constexpr int kColumns = 6, kRows = 4;
  int bare = 0;
  for (int row = 0; row < kRows; ++row) {
    for (int column = 0; column < kColumns; ++column) {
      const int x0 = column * kWidth / kColumns, x1 = (column + 1) * kWidth / kColumns;
      const int y0 = row * kCaptionTop / kRows, y1 = (row + 1) * kCaptionTop / kRows;
      int edges = 0;
      for (int y = y0; y < y1 - 1; ++y)
        for (int x = x0; x < x1 - 1; ++x) {
          const unsigned char* p = video.Pixel(frame, x, y);
          edges += Difference(p, video.Pixel(frame, x + 1, y)) > 48 || Difference(p, video.Pixel(frame, x, y + 1)) > 48;
        }
      bare += edges * 100 < (x1 - x0) * (y1 - y0);
    }
  }
  return bare;
}

// The share of the work area in the middle of the table that differs plainly between two
// frames (more than the codecs' own error, which Cinepak spreads thinly over the picture).
double WorkAreaChange(const Frames& a, size_t frameA, const Frames& b, size_t frameB) {
  int changed = 0, count = 0;
  for (int y = 30; y < 256; ++y)
    for (int x = 146; x < 300; ++x, ++count) changed += Difference(a.Pixel(frameA, x, y), b.Pixel(frameB, x, y)) > 90;
  return double(changed) / count;
}

TEST(ContentCraftVideos, FillThePictureGrowTheModelAndFollowOn) {
  ASSERT_TRUE(fs::exists(kContent + "/contentgen.stamp")) << "contentgen has not written " << kContent;
  const std::vector<std::vector<const char*>> boxes = {
      {"00001/1 Materiales.AVI", "00001/2 Paredes.AVI", "00001/3 Techo.AVI"},
      {"00002/1 Cuerpo.AVI", "00002/2 Alas.AVI"}};
  for (const auto& steps : boxes) {
    Frames before;
    for (const char* step : steps) {
      SCOPED_TRACE(step);
      const Frames video = Decode(kContent + "/Videos/Cajas/" + step);
      ASSERT_GE(video.frames.size(), 8u) << "ffmpeg decoded too few frames";
      int bare = 0;
      size_t worst = 0;
      for (size_t f = 0; f < video.frames.size(); ++f)
        if (BareTiles(video, f) > bare) bare = BareTiles(video, worst = f);
      EXPECT_EQ(bare, 0) << "bare tiles in decoded frame " << worst;
      EXPECT_GT(WorkAreaChange(video, 0, video, video.frames.size() - 1), 0.08) << "the model does not change";
      if (!before.frames.empty()) {
        EXPECT_LT(WorkAreaChange(before, before.frames.size() - 1, video, 0), 0.04) << "the step does not follow on";
      }
      before = video;
    }
  }
}

}  // namespace
