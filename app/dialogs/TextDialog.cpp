#include "app/dialogs/TextDialog.h"

#include "app/services/AppGlobals.h"
#include "app/services/AppServices.h"
#include "app/services/CMyGuiManager.h"
#include "app/services/CommonResources.h"
#include "app/services/ModalStack.h"
#include "app/dialogs/MsgBox.h"
#include "app/services/AppStyles.h"
#include "app/services/FatalCodes.h"
#include "foundation/SLObject.h"
#include "foundation/SLString.h"
#include "gui/SLGuiButton.h"
#include "gui/SLGuiLabel.h"

SL_IMPLEMENT_CLASS_CREATABLE(CMyGameAddEditTextDialog, CSL_GS_GuiTopLevelWindow)
SL_IMPLEMENT_CLASS_CREATABLE(CMyGameAddEditText_TextEditCtl, CSL_GS_GuiEdit)

namespace {

constexpr u32 kDialogId = 1005, kEditId = 201;
constexpr i32 kWindowFatal = -1701;

CSL_GS_GuiWindow* Create(const SLClassRecord* record, const char* text, i32 x, i32 y, i32 w, i32 h, u32 style, u32 id,
                         CSL_GS_GuiWindow* parent) {
  return App_CreateWindowOrFatal(record, text, x, y, w, h, style, id, parent, kWindowFatal);
}

void NothingToDo(u32, std::uintptr_t) {}

}  // namespace

void AddEditTextDialog_Show(u32 noTextButton, TextDialogDone onDone) {
  ModalStack_Begin(0);
  CSL_GS_GuiManager& manager = App_GuiManager();
  auto* dialog = static_cast<CMyGameAddEditTextDialog*>(Create(CMyGameAddEditTextDialog::GetClassRecord(),
                                                               "Ingresa el texto", 0, 0, 100, 100, APP_STYLE_DIALOG,
                                                               kDialogId, nullptr));
  Create(CSL_GS_GuiLabel::GetClassRecord(), "&Ingresa el texto a mostrar:", 20, 5, 420, 20, APP_STYLE_LABEL, 101, dialog)
      ->SetTextFormat(0);
  // Tab stop, multi-line, word wrap.
  CSL_GS_GuiWindow* edit =
      Create(CMyGameAddEditText_TextEditCtl::GetClassRecord(), "", 10, 30, 440, 150, APP_STYLE_TEXT_EDIT, kEditId, dialog);
  Create(CSL_GS_GuiButton::GetClassRecord(), "&Aceptar", 270, 185, 80, 30, APP_STYLE_TAB_BUTTON, 1, dialog);
  Create(CSL_GS_GuiButton::GetClassRecord(), noTextButton ? "&Sin texto" : "&Cancelar", 370, 185, 80, 30, APP_STYLE_TAB_BUTTON,
         2, dialog);
  manager.SetFocus(edit);
  dialog->onDone = onDone;
  dialog->SetClientSize(460, 220);
  const SLGuiRect& rect = dialog->GetWindowRect();
  dialog->Move((664 - rect.width) / 2 + 108, (372 - rect.height) / 2 + 148);
}

bool CMyGameAddEditTextDialog::OnCommand(CSL_GS_GuiWindow* source, u32 id) {
  // Destroying the window inside the handler must not free it before the handler returns.
  TSLObjPtr<CMyGameAddEditTextDialog> self(this);
  if (id == 1) {
    CSL_GS_GuiWindow* edit = GetManager()->FindChildById(this, kEditId);
    CSLStringAnsi text;
    if (!text.Assign(edit ? edit->GetText() : "")) App_Fatal(APP_FATAL_TYPED_TEXT, "Insuficiente memoria");
    if (text.IsEmpty()) {
      MsgBox_ShowWithCallback(0, 1, NothingToDo, 0, "Debes ingresar el texto a mostrar.", "Textos", 1006,
                              AppCommonPictures[APP_PICTURE_INFORMATION], nullptr);
      return SLSucceed(true);
    }
    const TextDialogDone done = onDone;
    GetManager()->DestroyWindow(this);
    ModalStack_End();
    if (done) done(text.CStr());
    return SLSucceed(true);
  }
  if (id == 2) {
    const TextDialogDone done = onDone;
    GetManager()->DestroyWindow(this);
    ModalStack_End();
    if (done) done(nullptr);
    return SLSucceed(true);
  }
  return CSL_GS_GuiWindow::OnCommand(source, id);
}

void CMyGameAddEditTextDialog::OnClose() { OnCommand(this, 2); }
