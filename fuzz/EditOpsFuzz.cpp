// Drives an edit control with the default skin on the memory device: random characters
// (0-65535), caret keys with Shift and Ctrl, mouse presses, moves and releases, timer ticks,
// SetText, SetMaxLength and ReplaceSelection, in single-line, multi-line, word-wrap,
// read-only and password modes, with scroll-bar policies and sizes from the input.
// Checked after every step: anchor, selection end and caret lie inside the text; the text
// keeps to the maximum length when one is set; the line starts ascend from 0 inside the
// text; no control byte but TAB, CR and LF is left; and a printable character typed with no
// selection never shortens the text.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/FuzzGuiSteps.h"
#include "gui/SLGuiEdit.h"
#include "gui/SLGuiManager.h"
#include "gui/SLGuiTopLevelWindow.h"

namespace {

void CheckEdit(CSL_GS_GuiEdit* edit) {
  const char* text = edit->GetText();
  const std::size_t length = std::strlen(text);
  SLFuzzCheck(edit->GetAnchor() <= length && edit->GetSelectionEnd() <= length && edit->GetCaret() <= length);
  if (edit->GetMaxLength()) SLFuzzCheck(length <= edit->GetMaxLength());
  for (std::size_t i = 0; i < length; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    SLFuzzCheck(c >= 32 || c == '\t' || c == '\r' || c == '\n');
  }
  const u32 lines = edit->GetLineCount();
  if (lines == 0) return;  // a failed layout leaves none
  SLFuzzCheck(edit->GetLine(0).start == 0);
  for (u32 i = 1; i < lines; ++i) {
    SLFuzzCheck(edit->GetLine(i).start > edit->GetLine(i - 1).start);
    SLFuzzCheck(edit->GetLine(i).start <= length);
  }
  SLFuzzCheck(edit->GetCaretLine() < lines);
}

// Program text: bytes from the input, controls and high bytes included.
std::string Text(SLFuzzProgram& in) {
  std::string text;
  const unsigned count = in.Take() % 48;
  for (unsigned i = 0; i < count; ++i) {
    unsigned c = in.Take();
    if (c == 0) c = ' ';
    text += char(c);
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CSL_GS_GuiManager* shared = SLFuzzGui::BeginInput();
  if (!shared) return 0;
  SLFuzzProgram input{data, size};
  CSL_GS_GuiManager& manager = *shared;
  CSL_GS_GuiWindow* dialog = manager.CreateWindow(CSL_GS_GuiTopLevelWindow::GetClassRecord(), "", 0, 0, 320, 240,
                                                  SL_GUI_WS_VISIBLE, 0, 0, nullptr);
  const u32 style = input.Take() & 0x3F;
  const i32 width = i32(input.Take()) + 4, height = i32(input.Take() % 120) + 4;
  auto* edit = static_cast<CSL_GS_GuiEdit*>(
      dialog ? manager.CreateWindow(CSL_GS_GuiEdit::GetClassRecord(), "", 8, 8, width, height,
                                    SL_GUI_WS_CHILD | SL_GUI_WS_VISIBLE | SL_GUI_WS_TABSTOP | style, 0, 1, dialog)
             : nullptr);
  if (!edit) {
    if (dialog) manager.DestroyWindow(dialog);
    return 0;
  }
  TSLObjPtr<CSL_GS_GuiWindow> hold(edit);
  edit->SetScrollBarPolicy(input.Take());
  edit->SetTextFormat(input.Take() & 15);
  manager.SetFocus(edit);
  for (int steps = 0; input.at < input.size && steps < 300 && manager.IsRegistered(edit); ++steps) {
    const unsigned op = input.Take();
    SLFuzzGui::HoldModifiers(manager, op);
    const i32 x = i32(input.Take()) - 40, y = i32(input.Take() % 160) - 30;
    switch (op % 11) {
      case 0:
      case 1: {
        const u32 code = input.Take() | u32(input.Take() & ((op & 2) ? 0xFF : 0)) << 8;
        const std::string before = edit->GetText();
        const bool emptySelection = edit->GetAnchor() == edit->GetSelectionEnd();
        edit->OnChar(code);
        if (code >= 32 && code < 256 && emptySelection && manager.IsRegistered(edit))
          SLFuzzCheck(std::strlen(edit->GetText()) >= before.size());
        break;
      }
      case 2: edit->OnChar(input.Take() % 32); break;
      case 3:
      case 4: edit->OnKeyDown(257 + input.Take() % 19); break;
      case 5: edit->OnLButtonDown(1, x, y); break;
      case 6: edit->OnMouseMove(1, x, y); break;
      case 7: edit->OnLButtonUp(0, x, y); break;
      case 8: edit->SetText(Text(input).c_str()); break;
      case 9: edit->SetMaxLength(input.Take() % 64); break;
      default: edit->ReplaceSelection(Text(input).c_str()); break;
    }
    if (!SLFuzzGui::EndStep(manager, edit, input)) break;
    if (op & 0x20) manager.Draw();
    CheckEdit(edit);
  }
  manager.DestroyWindow(dialog);
  return 0;
}
