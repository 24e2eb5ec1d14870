// The project-name edit on arbitrary input: typed characters (bytes, and now and then
// codes above 255) and whole texts set at once, as a paste or a preset name would be.
// Whatever comes, the text holds only the name characters and the space, and at most 30.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "app/services/AppClasses.h"
#include "app/dialogs/ProjectDialogs.h"
#include "fuzz/FuzzProgram.h"
#include "gui/SLGuiManager.h"
#include "gui/SLGuiTopLevelWindow.h"

namespace {

constexpr char kFilter[] =
    " 0123456789abcdefghijklmn\xf1opqrstuvwxyz\xe1\xe9\xed\xf3\xfa\xfc"
    "ABCDEFGHIJKLMN\xd1OPQRSTUVWXYZ\xc1\xc9\xcd\xd3\xda\xdc-";

void CheckText(const char* text) {
  const size_t length = std::strlen(text);
  SLFuzzCheck(length <= 30);
  for (size_t i = 0; i < length; ++i) SLFuzzCheck(std::memchr(kFilter, text[i], sizeof kFilter - 1) != nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SLRegisterAppClasses();
  CSL_GS_GuiManager manager;
  if (!manager.Init()) return 0;
  CSL_GS_GuiWindow* dialog = manager.CreateWindow(CSL_GS_GuiTopLevelWindow::GetClassRecord(), "Guardar", 0, 0, 340,
                                                  115, 0x20000019, 0, 1004, nullptr);
  auto* edit = static_cast<CSL_GS_GuiEdit*>(manager.CreateWindow(CMyGameNewProject_NameEditCtl::GetClassRecord(), "", 20,
                                                                 35, 300, 20, 0xA2000000, 0, 102, dialog));
  SLFuzzCheck(dialog && edit);
  edit->SetMaxLength(30);
  SLFuzzProgram input{data, size};
  while (input.at < input.size) {
    const unsigned op = input.Take();
    if (op == 0xFF) {
      // A text set at once: up to 63 bytes of the input.
      std::string text;
      for (unsigned n = input.Take() % 64; n > 0 && input.at < input.size; --n) text.push_back(char(input.Take()));
      edit->SetText(text.c_str());
    } else if (op == 0xFE) {
      edit->OnChar(input.Take() | input.Take() << 8);
    } else {
      edit->OnChar(op);
    }
    CheckText(edit->GetText());
  }
  manager.DestroyWindow(dialog);
  return 0;
}
