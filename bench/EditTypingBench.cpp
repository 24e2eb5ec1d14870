// Typing into a multi-line, word-wrapped edit control one character at a time (every key
// lays the text out again), beside Pango laying out the same text after every key: the
// same words, the same 300-pixel width, DejaVu Sans at 13 pixels on both sides. Ours runs
// on the recording device; Pango sets the text and takes the pixel size. The ratios at
// 500, 1,000 and 2,000 characters show how the cost grows. Goal: ratio <= 1 at 2,000.
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "bench/BenchRatio.h"
#include "gui/GuiClasses.h"
#include "gui/SLGuiEdit.h"
#include "gui/SLGuiManager.h"
#include "gui/SLGuiTopLevelWindow.h"
#include "tests/support/RecordingGfx.h"

// After the project's headers: glib defines TRUE and FALSE as macros.
#include "bench/BenchTextFonts.h"

namespace {

constexpr int kPixels = 13, kWidth = 300, kHeight = 200;

const char* const kWords[] = {"los", "ni\xF1os", "hacen", "una", "pel\xED" "cula", "con", "el", "mago", "que",
                              "camina", "habla", "y", "canta", "en", "la", "playa", "mientras", "sopla", "viento",
                              "aventuras", "guardadas", "fondo", "m\xFAsica", "globo", "dibujo"};

// 2,000 characters of words and spaces, in the 8-bit code page (ours) and in UTF-8 (Pango).
struct Text {
  std::string ansi, utf8;
  std::vector<size_t> utf8Ends;  // the UTF-8 length after each character
};

const Text& TheText() {
  static Text* text = [] {
    auto* made = new Text();
    unsigned state = 4242;
    auto next = [&] { return state = state * 1103515245 + 12345, (state >> 16) & 0x7FFF; };
    while (made->ansi.size() < 2000) made->ansi += std::string(made->ansi.empty() ? "" : " ") + kWords[next() % (sizeof kWords / sizeof kWords[0])];
    made->ansi.resize(2000);
    for (unsigned char c : made->ansi) {
      if (c < 0x80) {
        made->utf8 += char(c);
      } else {
        made->utf8 += char(0xC0 | c >> 6);
        made->utf8 += char(0x80 | (c & 0x3F));
      }
      made->utf8Ends.push_back(made->utf8.size());
    }
    return made;
  }();
  return *text;
}

// The edit measures with the font its text style names: DejaVu Sans made by the font writer.
SL_GS_Font* g_font = nullptr;

class CBenchEdit : public CSL_GS_GuiEdit {
  SL_DECLARE_CLASS(CBenchEdit)
 public:
  bool GetTextStyle(CSL_GS_GuiWindow* window, u32 state, SL_GS_Font** font, SLGuiSkinColor* color) override {
    const bool answered = CSL_GS_GuiEdit::GetTextStyle(window, state, font, color);
    if (window == this && font) *font = g_font;
    return answered;
  }
};
SL_IMPLEMENT_CLASS_CREATABLE(CBenchEdit, CSL_GS_GuiEdit)

struct OurSide {
  CRecordingGfx device;
  CSL_GS_GuiManager manager;
  CBenchEdit* edit = nullptr;
};

OurSide* Ours() {
  static OurSide* side = [] {
    SLRegisterGuiClasses();
    auto* made = new OurSide();
    g_font = SLBenchDejaVuFont(&made->device, kPixels);
    if (!g_font || !made->manager.Init() || !made->manager.SetGfx(&made->device)) return made;
    CSL_GS_GuiWindow* dialog = made->manager.CreateWindow(CSL_GS_GuiTopLevelWindow::GetClassRecord(), "", 0, 0, 640,
                                                          480, SL_GUI_WS_VISIBLE, 0, 0, nullptr);
    // The frame's borders are added, so that the text is 300 pixels wide as Pango's.
    const SLGuiSkinElement* frame = made->manager.GetSkinImageElement(0, "EditBox", "Normal");
    const i32 border = frame ? frame->left + frame->right : 0;
    made->edit = static_cast<CBenchEdit*>(made->manager.CreateWindow(
        CBenchEdit::GetClassRecord(), "", 10, 10, kWidth + border, kHeight,
        SL_GUI_WS_CHILD | SL_GUI_WS_VISIBLE | SL_GUI_ES_MULTILINE | SL_GUI_ES_WORDWRAP, 0, 1, dialog));
    // Never a vertical bar: Pango's width stays the same too.
    if (made->edit) made->edit->SetScrollBarPolicy(0x10);
    return made;
  }();
  return side;
}

PangoLayout* Pango() {
  static PangoLayout* layout = [] {
    PangoLayout* made = SLBenchPangoLayout(kPixels);
    pango_layout_set_width(made, kWidth * PANGO_SCALE);
    pango_layout_set_wrap(made, PANGO_WRAP_WORD_CHAR);
    return made;
  }();
  return layout;
}

void EditTyping(benchmark::State& state) {
  OurSide* ours = Ours();
  if (!ours->edit) return state.SkipWithError("no font or edit");
  const std::string& text = TheText().ansi;
  const size_t count = size_t(state.range(0));
  for (auto _ : state) {
    ours->edit->SetText("");
    for (size_t i = 0; i < count; ++i) ours->edit->OnChar(u8(text[i]));
    benchmark::DoNotOptimize(ours->edit->GetLineCount());
  }
  state.counters["lines"] = ours->edit->GetLineCount();
}

void PangoTyping(benchmark::State& state) {
  PangoLayout* layout = Pango();
  const Text& text = TheText();
  const size_t count = size_t(state.range(0));
  int lines = 0;
  for (auto _ : state) {
    for (size_t i = 0; i < count; ++i) {
      pango_layout_set_text(layout, text.utf8.c_str(), int(text.utf8Ends[i]));
      int w, h;
      pango_layout_get_pixel_size(layout, &w, &h);
      benchmark::DoNotOptimize(w);
    }
    lines = pango_layout_get_line_count(layout);
  }
  state.counters["lines"] = lines;
}

BENCHMARK(EditTyping)->Arg(500)->Arg(1000)->Arg(2000)->Unit(benchmark::kMillisecond);
BENCHMARK(PangoTyping)->Arg(500)->Arg(1000)->Arg(2000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  SLBenchRatioReporter reporter({{"EditTyping/500", "PangoTyping/500"},
                                 {"EditTyping/1000", "PangoTyping/1000"},
                                 {"EditTyping/2000", "PangoTyping/2000"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  return 0;
}
