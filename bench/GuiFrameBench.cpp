// One frame of a 30-widget dialog (push buttons, labels, check boxes, radio buttons and
// sliders of the default skin) drawn by the GUI manager on the software device, beside
// replaying the very device calls recorded from that frame (images, text runs, clips and
// draw states): the peer is the device's own cost, so the ratio is what the toolkit
// adds on top (walking the tree, skin lookups, layout, clipping). Goal: within 1.2x.
#include <string>
#include <vector>

#include "bench/BenchRatio.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "gui/GuiClasses.h"
#include "gui/SLGuiButton.h"
#include "gui/SLGuiCheckRadio.h"
#include "gui/SLGuiLabel.h"
#include "gui/SLGuiManager.h"
#include "gui/SLGuiSlider.h"
#include "gui/SLGuiTopLevelWindow.h"
#include "platform/user32/User32.h"

namespace {

constexpr u32 kWidth = 640, kHeight = 480;

// The software device, writing down every call that reaches it while recording.
class CRecordingDevice : public CSL_GS_Gfx_DirectX {
 public:
  struct Call {
    enum Kind { kImage, kText, kClip, kState } kind;
    SL_GS_Image* image;
    SL_GS_Font* font;
    i32 x, y;
    u32 a, b, c, d;
    bool hasOptions;
    SL_GS_DrawImageOptions options;
    std::u16string text;
  };
  bool recording = false;
  std::vector<Call> calls;

  bool DrawImage(SL_GS_Image* image, i32 x, i32 y, const SL_GS_DrawImageOptions* o) override {
    if (recording) calls.push_back({Call::kImage, image, nullptr, x, y, 0, 0, 0, 0, o != nullptr, o ? *o : Blank(), {}});
    return CSL_GS_Gfx_DirectX::DrawImage(image, x, y, o);
  }
  i32 DrawTextW(SL_GS_Font* font, i32 x, i32 y, u32 alignment, const SL_GS_DrawImageOptions* o, const SLWChar* text,
                u32 length) override {
    if (recording)
      calls.push_back({Call::kText, nullptr, font, x, y, alignment, 0, 0, 0, o != nullptr, o ? *o : Blank(),
                       std::u16string(text, length)});
    return CSL_GS_Gfx_DirectX::DrawTextW(font, x, y, alignment, o, text, length);
  }
  bool ApplyClipRect(u32 x, u32 y, u32 width, u32 height) override {
    if (recording) calls.push_back({Call::kClip, nullptr, nullptr, 0, 0, x, y, width, height, false, Blank(), {}});
    return CSL_GS_Gfx_DirectX::ApplyClipRect(x, y, width, height);
  }
  bool SetDrawState(u32 state) override {
    if (recording) calls.push_back({Call::kState, nullptr, nullptr, 0, 0, state, 0, 0, 0, false, Blank(), {}});
    return CSL_GS_Gfx_DirectX::SetDrawState(state);
  }
  // The recorded frame straight to the device.
  void Replay() {
    for (const Call& call : calls) {
      switch (call.kind) {
        case Call::kImage:
          CSL_GS_Gfx_DirectX::DrawImage(call.image, call.x, call.y, call.hasOptions ? &call.options : nullptr);
          break;
        case Call::kText:
          CSL_GS_Gfx_DirectX::DrawTextW(call.font, call.x, call.y, call.a, call.hasOptions ? &call.options : nullptr,
                                        call.text.data(), u32(call.text.size()));
          break;
        case Call::kClip:
          CSL_GS_Gfx_DirectX::ApplyClipRect(call.a, call.b, call.c, call.d);
          break;
        case Call::kState:
          CSL_GS_Gfx_DirectX::SetDrawState(call.a);
          break;
      }
    }
  }

 private:
  static SL_GS_DrawImageOptions Blank() { return SL_GS_DrawImageOptions{}; }
};

struct Scene {
  CRecordingDevice device;
  CSL_GS_GuiManager manager;
};

template <class Widget>
Widget* Make(Scene* s, CSL_GS_GuiWindow* dialog, const char* text, i32 x, i32 y, i32 w, i32 h, u32 style, u32 id) {
  return static_cast<Widget*>(s->manager.CreateWindow(Widget::GetClassRecord(), text, x, y, w, h,
                                                      SL_GUI_WS_CHILD | SL_GUI_WS_VISIBLE | style, 0, id, dialog));
}

Scene* TheScene() {
  static Scene* scene = [] {
    SLRegisterGuiClasses();
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = [](HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcA(w, m, wp, lp); };
    wc.lpszClassName = "slguiframebench";
    RegisterClassExA(&wc);
    HWND window = CreateWindowExA(0, "slguiframebench", "controles", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 320, 240,
                                  nullptr, nullptr, nullptr, nullptr);
    auto* s = new Scene();
    const SL_GS_DisplayMode mode{0xFFFF, kWidth, kHeight, 32, 1, 0, 0};
    if (!s->device.Init(nullptr, window, &mode) || !s->manager.Init() || !s->manager.LoadDefaultSkin() ||
        !s->manager.SetGfx(&s->device))
      return static_cast<Scene*>(nullptr);
    CSL_GS_GuiWindow* dialog = s->manager.CreateWindow(CSL_GS_GuiTopLevelWindow::GetClassRecord(), "Di\xE1logo", 0, 0,
                                                       kWidth, kHeight, SL_GUI_WS_VISIBLE, 0, 0, nullptr);
    if (!dialog) return static_cast<Scene*>(nullptr);
    for (i32 i = 0; i < 8; ++i) {
      Make<CSL_GS_GuiButton>(s, dialog, i % 2 ? "&Cancelar" : "&Aceptar", 10 + i * 78, 430, 74, 36,
                             i == 7 ? SL_GUI_WS_DISABLED : 0u, u32(i + 1));
      Make<CSL_GS_GuiLabel>(s, dialog, "Etiqueta de ejemplo", 10 + (i % 4) * 155, 10 + (i / 4) * 40, 150, 34,
                            i == 3 ? SL_GUI_LS_TEXT_ONLY : 0u, 0);
    }
    for (i32 i = 0; i < 6; ++i) {
      auto* box = Make<CSL_GS_GuiCheckBox>(s, dialog, "Casilla con texto", 20, 100 + i * 30, 200, 24, SL_GUI_CS_AUTO,
                                           u32(10 + i));
      if (box && i % 2) box->SetCheck(true);
      auto* radio = Make<CSL_GS_GuiRadioButton>(s, dialog, "Opci\xF3n", 260, 100 + i * 30, 160, 24,
                                                SL_GUI_CS_AUTO | (i < 3 ? 16u : 32u), u32(20 + i));
      if (radio && (i == 0 || i == 3)) radio->SetCheck(true);
    }
    auto* h = Make<CSL_GS_GuiHSlider>(s, dialog, "", 20, 300, 400, 30, 0, 30);
    if (h) h->SetRange(100), h->SetPosition(40);
    auto* v = Make<CSL_GS_GuiVSlider>(s, dialog, "", 600, 100, 24, 300, 0, 31);
    if (v) v->SetRange(10), v->SetPosition(3);
    // One frame recorded for the replay.
    s->device.recording = true;
    s->manager.Draw();
    s->device.recording = false;
    return s;
  }();
  return scene;
}

void DialogFrame(benchmark::State& state) {
  Scene* s = TheScene();
  if (!s) return state.SkipWithError("no device");
  for (auto _ : state) s->manager.Draw();
  state.counters["device calls"] = double(s->device.calls.size());
}

void DialogFrameReplay(benchmark::State& state) {
  Scene* s = TheScene();
  if (!s) return state.SkipWithError("no device");
  for (auto _ : state) s->device.Replay();
}

}  // namespace

BENCHMARK(DialogFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(DialogFrameReplay)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  SLBenchRatioReporter reporter(std::vector<std::pair<std::string, std::string>>{{"DialogFrame", "DialogFrameReplay"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
