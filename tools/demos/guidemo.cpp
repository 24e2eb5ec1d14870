// guidemo: a dialog with every widget of the toolkit in each of its states, on the real
// software device. Run as a window it prints each command and scroll notification it
// receives, one line each, until the window is closed or two minutes pass:
//   COMMAND <id>                          a button, check box or radio button fired
//   HSCROLL <code> <new> <old>            the slider or a scroll bar moved (codes 1-6)
//   VSCROLL <code> <new> <old>            the same, vertically
//   GRID <row> <column>                   the grid's current cell changed
//   TEXT <text>                           the multi-line edit's text changed (8-bit)
//   EDIT <text>                           at the end: the multi-line edit's text (8-bit)
// and the KEY, BUTTON and POINTER lines of what its devices saw (sldemo::ReportInput).
// With "--screenshot file.bmp" it draws one frame, saves it and ends (SDL's dummy video
// driver is enough):  SDL_VIDEODRIVER=dummy build/tools/demos/guidemo --screenshot demo.bmp
// Under a virtual display tests/gui/guidemo_xvfb.sh drives it with xdotool.
#include <cstdio>
#include <cstring>
#include <string>

#include "gamesystem/directx/SLGfxDirectX.h"
#include "gamesystem/directx/SLKeyboardInput.h"
#include "gamesystem/directx/SLMouseInput.h"
#include "gui/GuiClasses.h"
#include "gui/SLGuiButton.h"
#include "gui/SLGuiCheckRadio.h"
#include "gui/SLGuiEdit.h"
#include "gui/SLGuiGrid.h"
#include "gui/SLGuiLabel.h"
#include "gui/SLGuiManager.h"
#include "gui/SLGuiScrollBar.h"
#include "gui/SLGuiSlider.h"
#include "gui/SLGuiText.h"
#include "gui/SLGuiTopLevelWindow.h"
#include "image/SLImage.h"
#include "platform/user32/User32.h"
#include "tools/common/DemoWindow.h"

namespace {

constexpr i32 kWidth = 800, kHeight = 480;

class CDemoDialog : public CSL_GS_GuiTopLevelWindow {
  SL_DECLARE_CLASS(CDemoDialog)
 public:
  bool OnCommand(CSL_GS_GuiWindow*, u32 id) override {
    std::printf("COMMAND %u\n", id);
    std::fflush(stdout);
    return true;
  }
  bool OnHScroll(CSL_GS_GuiWindow*, u32 code, i32 n, i32 o) override {
    std::printf("HSCROLL %u %d %d\n", code, n, o);
    std::fflush(stdout);
    return true;
  }
  bool OnVScroll(CSL_GS_GuiWindow*, u32 code, i32 n, i32 o) override {
    std::printf("VSCROLL %u %d %d\n", code, n, o);
    std::fflush(stdout);
    return true;
  }
  // The grid's cells show where they are; its moves are printed.
  bool OnEvent(CSL_GS_GuiBaseEvent* event) override {
    if (auto* data = dynamic_cast<CSL_GS_GuiGridGetCellDataEvent*>(event)) {
      if (data->m_fixedRow && data->m_fixedColumn) return true;
      if (data->m_fixedRow) return data->m_text.Format("Col %lu", (unsigned long)data->m_column);
      if (data->m_fixedColumn) return data->m_text.Format("%lu", (unsigned long)data->m_row);
      return data->m_text.Format("%lu, %lu", (unsigned long)data->m_row, (unsigned long)data->m_column);
    }
    if (auto* moved = dynamic_cast<CSL_GS_GuiGridSelectionChangedEvent*>(event)) {
      std::printf("GRID %u %u\n", moved->m_row, moved->m_column);
      std::fflush(stdout);
      return true;
    }
    return CSL_GS_GuiTopLevelWindow::OnEvent(event);
  }
};
SL_IMPLEMENT_CLASS_CREATABLE(CDemoDialog, CSL_GS_GuiTopLevelWindow)

// A w x h picture of one colour (0xAABBGGRR) with transparent `corner` squares.
SL_GS_Image* Picture(CSL_GS_BaseGfx* gfx, i32 w, i32 h, u32 colour, i32 corner) {
  TSLObjPtr<CSLImage> picture;
  picture.Attach(new CSLImage());
  if (!picture->Create(5, u32(w), u32(h), false)) return nullptr;
  for (i32 y = 0; y < h; ++y)
    for (i32 x = 0; x < w; ++x) {
      const bool hole = (x < corner || x >= w - corner) && (y < corner || y >= h - corner);
      const u8 bgra[4] = {u8(colour >> 16), u8(colour >> 8), u8(colour), u8(hole ? 0 : 255)};
      std::memcpy(picture->GetPixelAddress(u32(x), u32(y)), bgra, 4);
    }
  return gfx->CreateImage(picture.Get(), false);
}

template <class Widget>
Widget* Make(CSL_GS_GuiManager& m, CSL_GS_GuiWindow* dialog, const char* text, SLGuiRect r, u32 style, u32 id) {
  return static_cast<Widget*>(m.CreateWindow(Widget::GetClassRecord(), text, r.x, r.y, r.width, r.height,
                                             SL_GUI_WS_CHILD | SL_GUI_WS_VISIBLE | SL_GUI_WS_TABSTOP | style, 0,
                                             id, dialog));
}

// Every widget in its states: the ids say which (1-9 buttons, 10-19 check boxes, 20-29
// radio buttons, 30 the slider, 40 the edit, 41 the grid).
CSL_GS_GuiEdit* BuildDialog(CSL_GS_GuiManager& m, CSL_GS_GuiWindow* d, CSL_GS_BaseGfx* gfx) {
  const u32 disabled = SL_GUI_WS_DISABLED;
  Make<CSL_GS_GuiLabel>(m, d, "Controles de la demostraci\xF3n", {20, 10, 280, 30}, 0, 0);
  Make<CSL_GS_GuiLabel>(m, d, "Solo texto", {320, 10, 140, 30}, SL_GUI_LS_TEXT_ONLY, 0);
  Make<CSL_GS_GuiLabel>(m, d, "Desactivada", {470, 10, 150, 30}, disabled, 0);
  Make<CSL_GS_GuiButton>(m, d, "&Aceptar", {20, 420, 120, 40}, SL_GUI_BS_DEFAULT, 1);
  Make<CSL_GS_GuiButton>(m, d, "&Cancelar", {160, 420, 120, 40}, 0, 2);
  Make<CSL_GS_GuiButton>(m, d, "Apagado", {300, 420, 120, 40}, disabled, 3);
  auto* image = Make<CSL_GS_GuiButton>(m, d, "", {440, 410, 60, 60}, SL_GUI_BS_IMAGE, 4);
  if (image) image->SetNormalImage(Picture(gfx, 48, 48, 0xFF20A0F0, 8));
  auto* both = Make<CSL_GS_GuiButton>(m, d, "Con imagen", {520, 410, 110, 60}, SL_GUI_BS_IMAGE_AND_TEXT, 5);
  if (both) both->SetNormalImage(Picture(gfx, 16, 16, 0xFF3050D0, 3)), both->SetImageAlignment(16);
  Make<CSL_GS_GuiCheckBox>(m, d, "&Repetir", {40, 80, 200, 24}, SL_GUI_CS_AUTO, 10);
  auto* on = Make<CSL_GS_GuiCheckBox>(m, d, "Con m\xFAsica", {40, 110, 200, 24}, SL_GUI_CS_AUTO, 11);
  if (on) on->SetCheck(true);
  Make<CSL_GS_GuiCheckBox>(m, d, "Manual", {40, 140, 200, 24}, 0, 12);
  Make<CSL_GS_GuiCheckBox>(m, d, "No disponible", {40, 170, 200, 24}, SL_GUI_CS_AUTO | disabled, 13);
  auto* first = Make<CSL_GS_GuiRadioButton>(m, d, "Lento", {320, 60, 140, 24}, SL_GUI_CS_AUTO | 16, 20);
  if (first) first->SetCheck(true);
  Make<CSL_GS_GuiRadioButton>(m, d, "R\xE1pido", {320, 90, 140, 24}, SL_GUI_CS_AUTO | 16, 21);
  auto* second = Make<CSL_GS_GuiRadioButton>(m, d, "Grande", {470, 60, 140, 24}, SL_GUI_CS_AUTO | 32, 22);
  if (second) second->SetCheck(true);
  Make<CSL_GS_GuiRadioButton>(m, d, "Peque\xF1o", {470, 90, 140, 24}, SL_GUI_CS_AUTO | 32, 23);
  Make<CSL_GS_GuiRadioButton>(m, d, "Apagado", {470, 120, 140, 24}, SL_GUI_CS_AUTO | 32 | disabled, 24);
  auto* slider = Make<CSL_GS_GuiHSlider>(m, d, "", {20, 300, 400, 30}, SL_GUI_SLS_IMAGE, 30);
  if (slider) {
    slider->SetRange(100);
    slider->SetStep(10);
    slider->SetTrackImage(Picture(gfx, 400, 6, 0xFF808080, 0));
    slider->SetThumbNormalImage(Picture(gfx, 16, 28, 0xFF2060E0, 2));
    slider->SetThumbOverImage(Picture(gfx, 16, 28, 0xFF4090FF, 2));
  }
  auto* vertical = Make<CSL_GS_GuiVSlider>(m, d, "", {600, 160, 24, 200}, 0, 31);
  if (vertical) vertical->SetRange(10);
  auto* edit = Make<CSL_GS_GuiEdit>(m, d, "", {320, 160, 270, 80}, SL_GUI_ES_MULTILINE | SL_GUI_ES_WORDWRAP, 40);
  if (auto* grid = Make<CSL_GS_GuiGrid>(m, d, "", {430, 250, 160, 150}, SL_GUI_GS_SELECT_ROW | SL_GUI_GS_HRULES, 41)) {
    grid->SetRowCount(8);
    grid->SetColCount(4);
    grid->SetFixedRowCount(1);
    grid->SetFixedColCount(1);
    grid->SetColWidth(0, 24, 16, 60);
  }
  // Made last, the group box lies under the check boxes it frames (a new child goes to
  // the bottom of its siblings).
  Make<CSL_GS_GuiGroupBox>(m, d, "Opciones", {20, 50, 280, 200}, 0, 0);
  return edit;
}

// A list of twenty rows shown five at a time: the bar beside the rows scrolls them, and
// its notifications go on to the dialog, which prints them.
class CDemoList : public CSL_GS_GuiWindow {
  SL_DECLARE_CLASS(CDemoList)
 public:
  static constexpr i32 kRows = 5, kItems = 20, kRowHeight = 24;
  CSL_GS_GuiLabel* rows[kRows] = {};
  void ShowFrom(u32 first) {
    for (i32 row = 0; row < kRows; ++row) {
      char text[32];
      std::snprintf(text, sizeof text, "Elemento %u", first + u32(row) + 1);
      if (rows[row]) rows[row]->SetText(text);
    }
  }
  bool OnVScroll(CSL_GS_GuiWindow* source, u32 code, i32 n, i32 o) override {
    ShowFrom(u32(n));
    return CSL_GS_GuiWindow::OnVScroll(source, code, n, o);
  }
};
SL_IMPLEMENT_CLASS_CREATABLE(CDemoList, CSL_GS_GuiWindow)

// The scrolled list (id 50, its bar 51) and a view showing both internal bars (id 52),
// in the column right of the other widgets.
void BuildScrollingViews(CSL_GS_GuiManager& m, CSL_GS_GuiWindow* d) {
  auto* list = Make<CDemoList>(m, d, "", {650, 60, 130, CDemoList::kRows * CDemoList::kRowHeight}, 0, 50);
  if (list) {
    for (i32 row = 0; row < CDemoList::kRows; ++row) {
      list->rows[row] = Make<CSL_GS_GuiLabel>(m, list, "", {4, row * CDemoList::kRowHeight, 106, CDemoList::kRowHeight},
                                              SL_GUI_LS_TEXT_ONLY, 0);
      if (list->rows[row]) list->rows[row]->SetTextFormat(SL_GUI_TEXT_VCENTER | SL_GUI_TEXT_SINGLE_LINE);
    }
    list->ShowFrom(0);
    auto* bar = Make<CSL_GS_GuiVScrollBar>(m, list, "", {113, 0, 17, CDemoList::kRows * CDemoList::kRowHeight}, 0, 51);
    if (bar) bar->SetRange(CDemoList::kItems - CDemoList::kRows);
  }
  CSL_GS_GuiWindow* view = Make<CSL_GS_GuiWindow>(m, d, "", {650, 220, 130, 120}, 0, 52);
  if (view) {
    view->SetHScrollRange(50);
    view->SetVScrollRange(30);
    view->ShowHScrollBar(true);
    view->ShowVScrollBar(true);
    auto* text = Make<CSL_GS_GuiLabel>(m, view, "Con barras", {4, 4, 100, 40}, SL_GUI_LS_TEXT_ONLY, 0);
    if (text) text->SetTextFormat(SL_GUI_TEXT_WORD_WRAP);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const char* screenshot = argc == 3 && std::strcmp(argv[1], "--screenshot") == 0 ? argv[2] : nullptr;
  SLRegisterGuiClasses();
  HWND window = sldemo::OpenDemoWindow("Demostraci\xF3n de controles", kWidth, kHeight);
  if (!window) return 2;

  CSL_GS_Gfx_DirectX device;
  const SL_GS_DisplayMode mode{0xFFFF, kWidth, kHeight, 32, 1, 0, 0};
  if (!device.Init(nullptr, window, &mode)) return 3;
  CSL_GS_KeyboardInput_DirectX keyboard;
  CSL_GS_MouseInput_DirectX mouse;
  CSL_GS_GuiManager m;
  if (!m.Init() || !m.LoadDefaultSkin() || !m.SetGfx(&device)) return 4;
  const bool interactive = !screenshot;
  if (interactive) {
    if (!keyboard.Init(nullptr, window) || !mouse.Init(nullptr, window)) return 5;
    mouse.SetArea(0, 0, kWidth, kHeight);
    m.SetKeyboard(&keyboard);
    m.SetMouse(&mouse);
  }
  CSL_GS_GuiWindow* dialog = m.CreateWindow(CDemoDialog::GetClassRecord(), "Demostraci\xF3n", 0, 0, kWidth, kHeight,
                                            SL_GUI_WS_VISIBLE, 0, 0, nullptr);
  if (!dialog) return 6;
  CSL_GS_GuiEdit* edit = BuildDialog(m, dialog, &device);
  BuildScrollingViews(m, dialog);

  const auto frame = [&] {
    device.Clear(0xFFE8D8C8, false, false);
    m.Draw();
    device.EndFrame();
  };
  if (screenshot) {
    // The edit shows wrapped text with its caret.
    if (edit) {
      edit->SetText("Una pel\xED" "cula sobre un \xF1" "and\xFA que baila en la plaza del pueblo");
      m.SetFocus(edit);
    }
    frame();
    const bool saved = device.SaveScreenshotToFile(screenshot);
    std::printf(saved ? "SAVED %s\n" : "SAVE FAILED %s\n", screenshot);
    m.Shutdown();
    device.Shutdown();
    return saved ? 0 : 7;
  }

  // Typing goes to the edit until a click takes the focus elsewhere.
  if (edit) m.SetFocus(edit);
  // The first frame shown may make the window anew (a renderer of another kind than the
  // window's): READY tells a driving script that the window it finds is the one that stays.
  frame();
  std::printf("READY\n");
  std::fflush(stdout);
  sldemo::InputReport last;
  const auto editText = [&] {
    const char* now = edit && m.IsRegistered(edit) ? edit->GetText() : nullptr;
    return std::string(now ? now : "");
  };
  std::string text = editText();
  sldemo::RunDemoLoop(mouse, 120, [&] {
    m.Update(false);
    frame();
    sldemo::ReportInput(keyboard, mouse, &last, false);
    if (text != editText()) {
      text = editText();
      std::printf("TEXT %s\n", text.c_str());
      std::fflush(stdout);
    }
  });
  if (edit && m.IsRegistered(edit)) std::printf("EDIT %s\n", edit->GetText());
  std::printf("QUIT\n");
  std::fflush(stdout);
  m.Shutdown();
  device.Shutdown();
  return 0;
}
