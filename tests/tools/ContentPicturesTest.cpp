// The interface pictures of the built content as a person sees them: shapes that are not
// rectangles show what is behind them (a colour key, a mask plane or alpha), so no icon
// sits in an opaque square of one colour; screens with letters on them are stored so the
// letters keep clean edges.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "image/SLImageArray.h"
#include "image/readers/SLImageReaderMXIMG.h"
#include "tests/support/ContentFiles.h"
#include "tests/support/TestSupport.h"
#include "tools/slpack/PackReading.h"

namespace {

using namespace content_test;

// Whether pixel (x, y) shows: not the key colour, not cut by the mask plane, not
// transparent in an alpha channel.
struct Visible {
  explicit Visible(CSLImageArray& images) : image(images[0]) {
    if (images.GetCount() > 1 && images[1]->GetWidth() == image->GetWidth() &&
        images[1]->GetHeight() == image->GetHeight())
      mask = images[1];
    keyed = image->GetTransparentColor(&key);
    alpha = SLPixelFormatHasAlpha(image->GetFormat());
  }
  bool operator()(u32 x, u32 y) const {
    const u32 c = image->GetPixel(x, y);
    if (keyed && (c & 0xFFFFFF) == (key & 0xFFFFFF)) return false;
    if (mask && (mask->GetPixel(x, y) & 0xFF) < 128) return false;
    return !alpha || (c >> 24) >= 128;
  }
  CSLImage* image;
  CSLImage* mask = nullptr;
  u32 key = 0;
  bool keyed = false, alpha = false;
};

// The share of a picture's edge pixels taken by its most common opaque colour.
double OpaqueEdgeShare(CSLImageArray& images) {
  const Visible visible(images);
  CSLImage* image = images[0];
  const u32 w = image->GetWidth(), h = image->GetHeight();
  std::map<u32, u32> counts;
  u32 edge = 0;
  auto look = [&](u32 x, u32 y) {
    ++edge;
    if (visible(x, y)) ++counts[image->GetPixel(x, y) & 0xFFFFFF];
  };
  for (u32 x = 0; x < w; ++x) look(x, 0), h > 1 ? look(x, h - 1) : void();
  for (u32 y = 1; y + 1 < h; ++y) look(0, y), w > 1 ? look(w - 1, y) : void();
  u32 most = 0;
  for (const auto& [colour, count] : counts) most = std::max(most, count);
  return edge ? double(most) / edge : 0;
}

// The test the other way round too: a picture drawn without its key (a round icon on an
// opaque black square) is caught.
TEST(ContentPictures, ShapesCarryTheirKeyOrMask) {
  SLTestRegisterClasses();
  CSLImageArray square;
  CSLImage* drawn = new CSLImage();
  ASSERT_TRUE(drawn->Create(5, 32, 32, false));
  for (u32 y = 0; y < 32; ++y)
    for (u32 x = 0; x < 32; ++x) {
      const bool inside = (x - 15.5) * (x - 15.5) + (y - 15.5) * (y - 15.5) < 14 * 14;
      const u32 bgra = inside ? 0xFF30C0F0 : 0xFF000000;
      std::memcpy(drawn->GetPixelAddress(x, y), &bgra, 4);
    }
  square.Add(drawn);
  drawn->Release();
  EXPECT_GT(OpaqueEdgeShare(square), 0.9);

  const std::string path = kContent + "/Gfx/Gfx.DAT";
  slpack::PackListing listing;
  std::string error;
  uint32_t code = 0;
  ASSERT_TRUE(slpack::ListPack(path, &listing, &error, &code)) << error;
  Pack gfx(path);
  ASSERT_TRUE(gfx.attached);
  size_t checked = 0;
  for (const auto& entry : listing.entries) {
    // Rectangles by design: the screens and the editor's frame (the "Fondo" folders),
    // the one-pixel pictures and the thumbnail frame.
    if (entry.name.find("/Fondo/") != std::string::npos || entry.name.find("/Miscelaneos/") != std::string::npos ||
        entry.name.find("fondo_fotograma") != std::string::npos)
      continue;
    SCOPED_TRACE(entry.name);
    ASSERT_TRUE(gfx.Open(entry.name));
    CSLImageReaderMXIMG reader;
    CSLImageArray images;
    ASSERT_TRUE(reader.Read(&images, &gfx.storage, 0)) << std::hex << SLGetLastError();
    EXPECT_LE(OpaqueEdgeShare(images), 0.2);
    ++checked;
  }
  EXPECT_GT(checked, 200u);
}

// The screens kept as embedded JPEG (every MXIMG encoding stays in use) are coded at
// quality 92 or more with full-resolution colour: every quantisation step at most what
// quality 92 gives the standard tables (19), every component sampled 1x1.
TEST(ContentPictures, JpegScreensKeepTheirLettersClean) {
  Pack gfx(kContent + "/Gfx/Gfx.DAT");
  ASSERT_TRUE(gfx.attached);
  int screens = 0;
  for (const char* name : {"Bienvenida", "Menu Inicial", "Carga Inicial", "Propaganda", "Créditos", "Construcción",
                           "Visor Películas"}) {
    SCOPED_TRACE(name);
    const std::string bytes = gfx.Bytes(std::string("Interface/") + name + "/Fondo/fondo.mximg");
    const size_t start = bytes.find("\xFF\xD8\xFF");
    ASSERT_NE(start, std::string::npos);
    const auto* p = reinterpret_cast<const u8*>(bytes.data());
    int tables = 0, frames = 0;
    for (size_t at = start + 2; at + 4 <= bytes.size() && p[at] == 0xFF && p[at + 1] != 0xDA;) {
      const u8 marker = p[at + 1];
      const size_t length = size_t(p[at + 2]) << 8 | p[at + 3];
      ASSERT_LE(at + 2 + length, bytes.size());
      if (marker == 0xDB)  // quantisation tables: precision and id, then 64 steps
        for (size_t t = at + 4; t + 65 <= at + 2 + length; t += 65, ++tables) {
          ASSERT_EQ(p[t] >> 4, 0);
          for (int i = 1; i <= 64; ++i) EXPECT_LE(p[t + i], 19) << "table " << (p[t] & 15) << " step " << i;
        }
      if (marker == 0xC0 || marker == 0xC1 || marker == 0xC2) {  // components: id, sampling, table
        ++frames;
        for (int c = 0; c < p[at + 9]; ++c) EXPECT_EQ(p[at + 11 + 3 * c], 0x11) << "component " << c;
      }
      at += 2 + length;
    }
    EXPECT_GE(tables, 1);
    EXPECT_EQ(frames, 1);
    ++screens;
  }
  EXPECT_EQ(screens, 7);
}

// Each screen as the generator draws it: every letter 16 px or more from the edges and
// no star, flower, heart or sun over or touching a text; the cinema's opening caption
// within the curtains' gap at every frame; the editor frame's labels inside their pieces.
TEST(ContentPictures, ScreenTextStaysClearOfDecorationsAndEdges) {
  const std::string layout = SLTestCapture("'" + kGenerator + "' --layout");
  struct Box {
    double x, y, w, h;
    std::string what;
  };
  std::map<std::string, std::vector<Box>> texts, decorations;
  std::istringstream lines(layout);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    std::string screen, kind, label;
    Box b{};
    ASSERT_TRUE(std::getline(fields, screen, '\t') && std::getline(fields, kind, '\t') &&
                (fields >> b.x >> b.y >> b.w >> b.h))
        << line;
    std::getline(fields, label);
    if (!label.empty() && label[0] == '\t') label.erase(0, 1);
    b.what = kind == "texto" ? label : kind;
    (kind == "texto" ? texts : decorations)[screen].push_back(b);
  }
  // The cinema's opening caption stays inside the gap between the curtains at every frame.
  int frames = 0, captioned = 0;
  for (auto it = decorations.begin(); it != decorations.end();) {
    if (it->first.rfind("Videos/", 0) != 0) {
      ++it;
      continue;
    }
    ++frames;
    ASSERT_EQ(it->second.size(), 1u) << it->first;
    const Box& gap = it->second[0];
    for (const Box& t : texts[it->first]) {
      EXPECT_TRUE(t.x >= gap.x && t.x + t.w <= gap.x + gap.w) << it->first << ": " << t.x << "+" << t.w;
      ++captioned;
    }
    texts.erase(it->first);
    it = decorations.erase(it);
  }
  EXPECT_EQ(frames, 60);
  EXPECT_GT(captioned, 30);
  EXPECT_EQ(texts.size(), 8u);
  // The editor frame's labels: each in its own frame piece, clear of the panels the
  // program fills (the scenes strip at 466..706 x 526..592), as tall as body text.
  std::map<std::string, Box> labels;
  for (const Box& t : texts["Principal"]) labels[t.what] = t;
  ASSERT_EQ(labels.count("Elemento") + labels.count("Escenas"), 2u);
  const Box& element = labels["Elemento"];
  const Box& scenes = labels["Escenas"];
  EXPECT_TRUE(element.x >= 0 && element.x + element.w <= 108 && element.y >= 148 && element.y + element.h <= 520);
  EXPECT_TRUE(scenes.y >= 520 && (scenes.x >= 706 || scenes.x + scenes.w <= 466 || scenes.y >= 592));
  EXPECT_GE(element.h, 10);  // a capital of 15-pixel type; 11-pixel body text's is 8
  EXPECT_GE(scenes.h, 10);
  for (const auto& [screen, boxes] : texts)
    for (const Box& t : boxes) {
      SCOPED_TRACE(screen + ": " + t.what);
      EXPECT_GE(t.x, 16);
      EXPECT_GE(t.y, 16);
      EXPECT_LE(t.x + t.w, 800 - 16);
      EXPECT_LE(t.y + t.h, 600 - 16);
      for (const Box& d : decorations[screen])
        EXPECT_FALSE(d.x < t.x + t.w && t.x < d.x + d.w && d.y < t.y + t.h && t.y < d.y + d.h)
            << d.what << " at " << d.x << "," << d.y;
    }
  EXPECT_GT(decorations["Créditos"].size(), 20u);  // the stars are still there, off the text
}

}  // namespace
