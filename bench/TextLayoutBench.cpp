// Text layout beside Pango on the same texts with DejaVu Sans at 13 pixels: 1,000
// wrapped paragraphs that end in "..." after three lines, and 1,000 save-game paths
// shortened in the middle. Ours lays out on the recording device (drawing every run)
// and measures; Pango lays out and takes the pixel size. Goal: ratio <= 1.
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "bench/BenchRatio.h"
#include "gui/GuiClasses.h"
#include "gui/SLGuiText.h"
#include "tests/support/RecordingGfx.h"

// After the project's headers: glib defines TRUE and FALSE as macros.
#include "bench/BenchTextFonts.h"

namespace {

constexpr int kPixels = 13, kParagraphWidth = 220, kPathWidth = 160;

const char* const kWords[] = {"los", "niños", "hacen", "una", "película", "con", "el", "mago", "que", "camina",
                              "habla", "y", "canta", "en", "la", "playa", "mientras", "sopla", "viento",
                              "aventuras", "guardadas", "fondo", "música", "globo", "dibujo"};

struct Texts {
  std::vector<std::string> paragraphs, paths;           // UTF-8 for Pango
  std::vector<std::u16string> paragraphs16, paths16;   // UTF-16 for ours
};

std::u16string Utf16(const std::string& text) {
  std::u16string out;
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = text[i];
    if (c < 0x80) out += char16_t(c), i += 1;
    else out += char16_t((c & 0x1F) << 6 | (text[i + 1] & 0x3F)), i += 2;
  }
  return out;
}

const Texts& TheTexts() {
  static Texts* texts = [] {
    auto* made = new Texts();
    unsigned state = 12345;
    auto next = [&] { return state = state * 1103515245 + 12345, (state >> 16) & 0x7FFF; };
    for (int i = 0; i < 1000; ++i) {
      std::string paragraph, path = "Aventuras Guardadas";
      for (int w = 0; w < 30 + int(next() % 20); ++w) paragraph += std::string(w ? " " : "") + kWords[next() % 25];
      for (int d = 0; d < 2 + int(next() % 3); ++d) path += std::string("\\") + kWords[next() % 25];
      path += "\\final" + std::to_string(i) + ".ZQTR";
      made->paragraphs.push_back(paragraph), made->paragraphs16.push_back(Utf16(paragraph));
      made->paths.push_back(path), made->paths16.push_back(Utf16(path));
    }
    return made;
  }();
  return *texts;
}

struct OurSide {
  CRecordingGfx device;
  SL_GS_Font* font = nullptr;
};

OurSide* Ours() {
  static OurSide* side = [] {
    SLRegisterGuiClasses();
    auto* made = new OurSide();
    made->font = SLBenchDejaVuFont(&made->device, kPixels);
    return made;
  }();
  return side;
}

PangoLayout* Pango() {
  static PangoLayout* layout = SLBenchPangoLayout(kPixels);
  return layout;
}

constexpr u32 kParagraphFlags = SL_GUI_TEXT_WORD_WRAP | SL_GUI_TEXT_END_ELLIPSIS | SL_GUI_TEXT_END_ELLIPSIS_LAST |
                                SL_GUI_TEXT_NO_CLIP;
constexpr u32 kPathFlags = SL_GUI_TEXT_PATH_ELLIPSIS | SL_GUI_TEXT_END_ELLIPSIS | SL_GUI_TEXT_SINGLE_LINE;

// `lines` lines fit the rectangle: the one after them is the last laid out.
void Lay(benchmark::State& state, const std::vector<std::u16string>& texts, u32 flags, i32 width, i32 lines) {
  OurSide* ours = Ours();
  if (!ours->font) return state.SkipWithError("no font");
  const i32 height = lines * i32(ours->device.GetFontHeight(ours->font)) - 1;
  for (auto _ : state) {
    for (const std::u16string& text : texts) {
      SLGuiRect rect{0, 0, width, height};
      DrawTextInRectW(&ours->device, ours->font, &rect, flags, nullptr, text.c_str(), u32(text.size()), 4);
      benchmark::DoNotOptimize(rect);
    }
    ours->device.m_log.clear();
  }
}

void PangoLay(benchmark::State& state, const std::vector<std::string>& texts, bool paragraphs, int width) {
  PangoLayout* layout = Pango();
  pango_layout_set_width(layout, width * PANGO_SCALE);
  pango_layout_set_wrap(layout, PANGO_WRAP_WORD);
  pango_layout_set_height(layout, paragraphs ? -3 : -1);
  pango_layout_set_ellipsize(layout, paragraphs ? PANGO_ELLIPSIZE_END : PANGO_ELLIPSIZE_MIDDLE);
  for (auto _ : state)
    for (const std::string& text : texts) {
      pango_layout_set_text(layout, text.c_str(), int(text.size()));
      int w, h;
      pango_layout_get_pixel_size(layout, &w, &h);
      benchmark::DoNotOptimize(w);
    }
}

void ParagraphsDrawn(benchmark::State& state) {
  Lay(state, TheTexts().paragraphs16, kParagraphFlags, kParagraphWidth, 3);
}
void ParagraphsMeasured(benchmark::State& state) {
  Lay(state, TheTexts().paragraphs16, kParagraphFlags | SL_GUI_TEXT_MEASURE, kParagraphWidth, 3);
}
void PangoParagraphs(benchmark::State& state) { PangoLay(state, TheTexts().paragraphs, true, kParagraphWidth); }
void PathsDrawn(benchmark::State& state) { Lay(state, TheTexts().paths16, kPathFlags, kPathWidth, 1); }
void PathsMeasured(benchmark::State& state) {
  Lay(state, TheTexts().paths16, kPathFlags | SL_GUI_TEXT_MEASURE, kPathWidth, 1);
}
void PangoPaths(benchmark::State& state) { PangoLay(state, TheTexts().paths, false, kPathWidth); }

BENCHMARK(ParagraphsDrawn)->Unit(benchmark::kMillisecond);
BENCHMARK(ParagraphsMeasured)->Unit(benchmark::kMillisecond);
BENCHMARK(PangoParagraphs)->Unit(benchmark::kMillisecond);
BENCHMARK(PathsDrawn)->Unit(benchmark::kMillisecond);
BENCHMARK(PathsMeasured)->Unit(benchmark::kMillisecond);
BENCHMARK(PangoPaths)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  SLBenchRatioReporter reporter({{"ParagraphsDrawn", "PangoParagraphs"},
                                 {"ParagraphsMeasured", "PangoParagraphs"},
                                 {"PathsDrawn", "PangoPaths"},
                                 {"PathsMeasured", "PangoPaths"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  return 0;
}
