// Frames drawn by the GUI manager on the software device, each beside replaying the very
// device calls recorded from that frame (images, text runs, clips and draw states): the
// peer is the device's own cost, so each ratio is what the toolkit adds on top (walking
// the tree, skin lookups, layout, clipping). Goal: within 1.2x for every scene:
//   dialog      30 widgets of the default skin (buttons, labels, check boxes, radio
//               buttons, sliders);
//   list        a list dialog: rows of labels beside a vertical scroll bar;
//   innerbars   a window showing both internal scroll bars around its client area;
//   menus       a framed dialog with a menu bar, and an open context menu with its
//               submenu open beside it.
#include <cstdio>
#include <string>
#include <vector>

#include "bench/BenchRatio.h"
#include "bench/RecordingDevice.h"
#include "gui/GuiClasses.h"
#include "gui/SLGuiButton.h"
#include "gui/SLGuiCheckRadio.h"
#include "gui/SLGuiLabel.h"
#include "gui/SLGuiManager.h"
#include "gui/SLGuiMenuPopup.h"
#include "gui/SLGuiScrollBar.h"
#include "gui/SLGuiSlider.h"
#include "gui/SLGuiTopLevelWindow.h"
#include "platform/user32/User32.h"

namespace {

constexpr u32 kWidth = 640, kHeight = 480;

// One device for every scene; each scene has its own manager and recorded frame.
struct Scene {
  CSL_GS_GuiManager manager;
  CRecordingDevice::Calls calls;
};

CRecordingDevice* TheDevice() {
  static CRecordingDevice* device = [] {
    SLRegisterGuiClasses();
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = [](HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcA(w, m, wp, lp); };
    wc.lpszClassName = "slguiframebench";
    RegisterClassExA(&wc);
    HWND window = CreateWindowExA(0, "slguiframebench", "controles", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 320, 240,
                                  nullptr, nullptr, nullptr, nullptr);
    auto* d = new CRecordingDevice();
    const SL_GS_DisplayMode mode{0xFFFF, kWidth, kHeight, 32, 1, 0, 0};
    return d->Init(nullptr, window, &mode) ? d : static_cast<CRecordingDevice*>(nullptr);
  }();
  return device;
}

template <class Widget>
Widget* Make(Scene* s, CSL_GS_GuiWindow* parent, const char* text, i32 x, i32 y, i32 w, i32 h, u32 style, u32 id) {
  return static_cast<Widget*>(s->manager.CreateWindow(Widget::GetClassRecord(), text, x, y, w, h,
                                                      SL_GUI_WS_CHILD | SL_GUI_WS_VISIBLE | style, 0, id, parent));
}

// A scene built by `build` on its own manager, with one frame recorded for the replay.
template <class Build>
Scene* NewScene(Build build) {
  CRecordingDevice* device = TheDevice();
  if (!device) return nullptr;
  auto* s = new Scene();
  if (!s->manager.Init() || !s->manager.LoadDefaultSkin() || !s->manager.SetGfx(device) || !build(s)) return nullptr;
  device->Record(&s->calls);
  s->manager.Draw();
  device->Stop();
  return s;
}

CSL_GS_GuiWindow* Dialog(Scene* s, const char* caption, i32 x, i32 y, i32 w, i32 h, u32 style) {
  return s->manager.CreateWindow(CSL_GS_GuiTopLevelWindow::GetClassRecord(), caption, x, y, w, h,
                                 SL_GUI_WS_VISIBLE | style, 0, 0, nullptr);
}

bool BuildWidgets(Scene* s) {
  CSL_GS_GuiWindow* dialog = Dialog(s, "Di\xE1logo", 0, 0, kWidth, kHeight, 0);
  if (!dialog) return false;
  for (i32 i = 0; i < 8; ++i) {
    Make<CSL_GS_GuiButton>(s, dialog, i % 2 ? "&Cancelar" : "&Aceptar", 10 + i * 78, 430, 74, 36,
                           i == 7 ? SL_GUI_WS_DISABLED : 0u, u32(i + 1));
    Make<CSL_GS_GuiLabel>(s, dialog, "Etiqueta de ejemplo", 10 + (i % 4) * 155, 10 + (i / 4) * 40, 150, 34,
                          i == 3 ? SL_GUI_LS_TEXT_ONLY : 0u, 0);
  }
  for (i32 i = 0; i < 6; ++i) {
    auto* box =
        Make<CSL_GS_GuiCheckBox>(s, dialog, "Casilla con texto", 20, 100 + i * 30, 200, 24, SL_GUI_CS_AUTO, u32(10 + i));
    if (box && i % 2) box->SetCheck(true);
    auto* radio = Make<CSL_GS_GuiRadioButton>(s, dialog, "Opci\xF3n", 260, 100 + i * 30, 160, 24,
                                              SL_GUI_CS_AUTO | (i < 3 ? 16u : 32u), u32(20 + i));
    if (radio && (i == 0 || i == 3)) radio->SetCheck(true);
  }
  auto* h = Make<CSL_GS_GuiHSlider>(s, dialog, "", 20, 300, 400, 30, 0, 30);
  if (h) h->SetRange(100), h->SetPosition(40);
  auto* v = Make<CSL_GS_GuiVSlider>(s, dialog, "", 600, 100, 24, 300, 0, 31);
  if (v) v->SetRange(10), v->SetPosition(3);
  return true;
}

// As the program's list dialogs: a page of rows and the bar that scrolls them.
bool BuildList(Scene* s) {
  CSL_GS_GuiWindow* dialog = Dialog(s, "Lista", 120, 60, 400, 360, 0);
  if (!dialog) return false;
  for (i32 row = 0; row < 10; ++row) {
    char text[32];
    std::snprintf(text, sizeof text, "Elemento de la lista %d", row + 1);
    Make<CSL_GS_GuiLabel>(s, dialog, text, 10, 10 + row * 30, 340, 28, row == 2 ? SL_GUI_LS_TEXT_ONLY : 0u, 0);
  }
  auto* bar = Make<CSL_GS_GuiVScrollBar>(s, dialog, "", 360, 10, 17, 300, 0, 40);
  return bar && bar->SetRange(30) && bar->SetPosition(12);
}

bool BuildInternalBars(Scene* s) {
  CSL_GS_GuiWindow* dialog = Dialog(s, "Barras", 0, 0, kWidth, kHeight, 0);
  if (!dialog) return false;
  CSL_GS_GuiWindow* view = s->manager.CreateWindow(CSL_GS_GuiWindow::GetClassRecord(), "", 40, 40, 520, 380,
                                                   SL_GUI_WS_CHILD | SL_GUI_WS_VISIBLE, 0, 50, dialog);
  if (!view || !view->SetHScrollRange(200) || !view->SetVScrollRange(80) || !view->ShowHScrollBar(true) ||
      !view->ShowVScrollBar(true))
    return false;
  view->SetHScrollPos(60);
  view->SetVScrollPos(20);
  for (i32 i = 0; i < 6; ++i) Make<CSL_GS_GuiLabel>(s, view, "Contenido desplazado", 10, 10 + i * 40, 300, 30, 0, 0);
  return true;
}

CSL_GS_GuiMenuPopup* NewMenu(Scene* s, u32 id) {
  return static_cast<CSL_GS_GuiMenuPopup*>(
      s->manager.CreateWindow(CSL_GS_GuiMenuPopup::GetClassRecord(), "", 0, 0, 0, 0, 0, 0, id, nullptr));
}

bool BuildMenus(Scene* s) {
  auto* dialog = static_cast<CSL_GS_GuiTopLevelWindow*>(Dialog(s, "Men\xFAs", 20, 20, 600, 440, 0x3F));
  CSL_GS_GuiMenuPopup* bar = NewMenu(s, 1);
  CSL_GS_GuiMenuPopup* file = NewMenu(s, 2);
  CSL_GS_GuiMenuPopup* context = NewMenu(s, 3);
  CSL_GS_GuiMenuPopup* more = NewMenu(s, 4);
  if (!dialog || !bar || !file || !context || !more) return false;
  const char* const kBar[] = {"&Archivo", "&Editar", "&Ver", "A&yuda"};
  for (u32 i = 0; i < 4; ++i) bar->InsertItem(300 + i, kBar[i], 0, i == 0 ? file : nullptr, 9);
  file->InsertItem(310, "&Nuevo", 0, nullptr, 9);
  file->InsertItem(311, "&Salir", 0, nullptr, 9);
  if (!dialog->SetMenu(bar)) return false;
  const char* const kItems[] = {"Copiar", "Cortar", "Pegar", "Borrar", "Duplicar"};
  for (u32 i = 0; i < 5; ++i) context->InsertItem(100 + i, kItems[i], i == 2 ? SL_GUI_MF_CHECK : 0u, nullptr, 9);
  context->InsertSeparator(9);
  context->InsertItem(110, "M\xE1s", 0, more, 9);
  for (u32 i = 0; i < 6; ++i) more->InsertItem(200 + i, "Otra acci\xF3n", 0, nullptr, 9);
  if (!s->manager.TrackPopupMenu(context, 200, 150, nullptr, 8)) return false;
  context->SetHighlightedItem(6);
  return s->manager.OpenMenuPopup(more);
}

Scene* Widgets() {
  static Scene* scene = NewScene(&BuildWidgets);
  return scene;
}
Scene* List() {
  static Scene* scene = NewScene(&BuildList);
  return scene;
}
Scene* InternalBars() {
  static Scene* scene = NewScene(&BuildInternalBars);
  return scene;
}
Scene* Menus() {
  static Scene* scene = NewScene(&BuildMenus);
  return scene;
}

void Frame(benchmark::State& state, Scene* (*scene)()) {
  Scene* s = scene();
  if (!s) return state.SkipWithError("no device or scene");
  for (auto _ : state) s->manager.Draw();
  state.counters["device calls"] = double(s->calls.size());
}

void Replay(benchmark::State& state, Scene* (*scene)()) {
  Scene* s = scene();
  if (!s) return state.SkipWithError("no device or scene");
  for (auto _ : state) TheDevice()->Replay(s->calls);
}

}  // namespace

BENCHMARK_CAPTURE(Frame, dialog, &Widgets)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Replay, dialog, &Widgets)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Frame, list, &List)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Replay, list, &List)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Frame, innerbars, &InternalBars)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Replay, innerbars, &InternalBars)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Frame, menus, &Menus)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Replay, menus, &Menus)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  SLBenchRatioReporter reporter(std::vector<std::pair<std::string, std::string>>{
      {"Frame/dialog", "Replay/dialog"},
      {"Frame/list", "Replay/list"},
      {"Frame/innerbars", "Replay/innerbars"},
      {"Frame/menus", "Replay/menus"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
