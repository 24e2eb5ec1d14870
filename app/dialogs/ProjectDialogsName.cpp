// The project-name dialog and its filtered name edit.
#include <cstring>

#include "adventure/movie/Movie.h"
#include "app/services/AppGlobals.h"
#include "app/services/AppServices.h"
#include "app/services/CMyGuiManager.h"
#include "app/services/CommonResources.h"
#include "app/services/ModalStack.h"
#include "app/dialogs/MsgBox.h"
#include "app/dialogs/ProjectDialogs.h"
#include "app/project/ProjectFile.h"
#include "app/services/AppStyles.h"
#include "gui/SLGuiButton.h"
#include "gui/SLGuiLabel.h"

SL_IMPLEMENT_CLASS_CREATABLE(CMyGameAskProjectNameDialog, CSL_GS_GuiTopLevelWindow)
SL_IMPLEMENT_CLASS_CREATABLE(CMyGameNewProject_NameEditCtl, CSL_GS_GuiEdit)

namespace {

constexpr u32 kDialogId = 1004, kEditId = 102, kMaxNameLength = 30;
constexpr i32 kNameFatal = -1201;

// The letters a project name may hold, in Windows-1252 (compared as unsigned bytes: "ñ"
// is 0xF1). The text filter takes the space as well.
constexpr char kAllowed[] =
    "0123456789abcdefghijklmn\xf1opqrstuvwxyz\xe1\xe9\xed\xf3\xfa\xfc"
    "ABCDEFGHIJKLMN\xd1OPQRSTUVWXYZ\xc1\xc9\xcd\xd3\xda\xdc-";

bool InList(u32 character, bool withSpace) {
  if (character == 0 || character > 0xFF) return false;
  if (withSpace && character == ' ') return true;
  return std::memchr(kAllowed, int(character), sizeof kAllowed - 1) != nullptr;
}

CSL_GS_GuiWindow* Create(const SLClassRecord* record, const char* text, i32 x, i32 y, i32 w, i32 h, u32 style, u32 id,
                         CSL_GS_GuiWindow* parent) {
  return App_CreateWindowOrFatal(record, text, x, y, w, h, style, id, parent, kNameFatal);
}

}  // namespace

bool ProjectName_AcceptsTyped(u32 character) { return character <= 32 || InList(character, false); }

void ProjectName_CleanText(CSLStringAnsi* text) {
  char* buffer = text ? text->GetBufferTerminated() : nullptr;
  if (!buffer) return;
  char* out = buffer;
  for (const char* in = buffer; *in; ++in)
    if (InList(u8(*in), true)) *out++ = *in;
  *out = 0;
  text->GetLength(true);
}

void CMyGameNewProject_NameEditCtl::OnChar(u32 character) {
  if (!ProjectName_AcceptsTyped(character)) return;
  CSL_GS_GuiEdit::OnChar(character);
}

void CMyGameNewProject_NameEditCtl::OnTextChanged(CSLStringAnsi* text) {
  ProjectName_CleanText(text);
  CSL_GS_GuiEdit::OnTextChanged(text);
}

void AskProjectNameDialog_Show() {
  ModalStack_Begin(0);
  CSL_GS_GuiManager& manager = App_GuiManager();
  CSL_GS_GuiWindow* dialog = Create(CMyGameAskProjectNameDialog::GetClassRecord(), "Guardar pel\xed" "cula", 0, 0, 100,
                                    100, APP_STYLE_DIALOG, kDialogId, nullptr);
  Create(CSL_GS_GuiLabel::GetClassRecord(), "Ingrese el nombre de la pel\xed" "cula:", 20, 20, 300, 10, APP_STYLE_LABEL, 101,
         dialog)
      ->SetTextFormat(0);
  auto* edit = static_cast<CSL_GS_GuiEdit*>(
      Create(CMyGameNewProject_NameEditCtl::GetClassRecord(), "", 20, 35, 300, 20, APP_STYLE_TAB_CHILD, kEditId, dialog));
  manager.SetFocus(edit);
  if (const char* name = Movie_Get()->name) edit->SetText(name);
  edit->SetMaxLength(kMaxNameLength);
  // The movie's name stands selected: typing a new one replaces it whole, End or a click
  // keeps it for changing.
  edit->SetSelection(0, kMaxNameLength);
  Create(CSL_GS_GuiButton::GetClassRecord(), "&Aceptar", 150, 75, 80, 30, APP_STYLE_TAB_BUTTON, 1, dialog);
  Create(CSL_GS_GuiButton::GetClassRecord(), "&Cancelar", 240, 75, 80, 30, APP_STYLE_TAB_BUTTON, 2, dialog);
  dialog->SetClientSize(340, 115);
  dialog->CenterOnWindow(nullptr);
}

namespace {
// The name dialog a box's completion was given, when it is still open: the completion runs
// a tick after the box closed, so only a live dialog is touched.
CMyGameAskProjectNameDialog* LiveDialog(std::uintptr_t dialog) {
  CSL_GS_GuiManager& manager = App_GuiManager();
  for (CSL_GS_GuiWindow* w = manager.GetFirstChild(nullptr); w; w = manager.GetNextSibling(w))
    if (reinterpret_cast<std::uintptr_t>(w) == dialog && w->GetId() == kDialogId &&
        w->IsKindOf(CMyGameAskProjectNameDialog::GetClassRecord()))
      return static_cast<CMyGameAskProjectNameDialog*>(w);
  return nullptr;
}

const char* TypedName(CSL_GS_GuiWindow* dialog) {
  CSL_GS_GuiWindow* edit = dialog->GetManager()->FindChildById(dialog, kEditId);
  return edit ? edit->GetText() : "";
}

// Closes the dialog and saves the movie under the typed name.
void SaveAsTyped(CSL_GS_GuiWindow* dialog) {
  char name[256];
  std::strncpy(name, TypedName(dialog), sizeof name - 1);
  name[sizeof name - 1] = 0;
  dialog->GetManager()->DestroyWindow(dialog);
  // `dialog` may be gone from here on.
  ModalStack_End();
  ProjectFile_Save(name);
}
}  // namespace

void AskProjectNameDialog_FocusNameEdit(u32, std::uintptr_t dialog) {
  if (CSL_GS_GuiWindow* live = LiveDialog(dialog)) App_GuiManager().SetFocus(App_GuiManager().FindChildById(live, kEditId));
}

void AskProjectNameDialog_OnReplaceAnswer(u32 answer, std::uintptr_t dialog) {
  CSL_GS_GuiWindow* live = LiveDialog(dialog);
  if (!live) return;
  // "&No" or the box's close button: nothing is written and the name stays typed for
  // changing.
  if (answer != MSGBOX_YES) return AskProjectNameDialog_FocusNameEdit(answer, dialog);
  SaveAsTyped(live);
}

bool CMyGameAskProjectNameDialog::OnCommand(CSL_GS_GuiWindow*, u32 id) {
  if (id == 1) {
    const char* typed = TypedName(this);
    if (!*typed) {
      MsgBox_ShowWithCallback(0, 1, AskProjectNameDialog_FocusNameEdit, reinterpret_cast<std::uintptr_t>(this),
                              "Debes ingresar el nombre de la pel\xed" "cula", "Guardar pel\xed" "cula", 1026,
                              AppCommonPictures[APP_PICTURE_ERROR], nullptr);
      return SLSucceed(true);
    }
    // Another movie of that name (a brother's, a sample) is replaced only when the child
    // says so; the dialog waits under the question with the name as typed.
    if (ProjectFile_WouldReplaceAnother(typed)) {
      MsgBox_ShowWithCallback(0, 3, AskProjectNameDialog_OnReplaceAnswer, reinterpret_cast<std::uintptr_t>(this),
                              "Ya existe una pel\xed" "cula con ese nombre.\n\n\xbf" "Deseas reemplazarla?",
                              "Guardar pel\xed" "cula", 1026, AppCommonPictures[APP_PICTURE_QUESTION], nullptr);
      return SLSucceed(true);
    }
    SaveAsTyped(this);
    return SLSucceed(true);
  }
  if (id == 2) {
    GetManager()->DestroyWindow(this);
    ModalStack_End();
    return SLSucceed(true);
  }
  return SLSucceed(false);
}

void CMyGameAskProjectNameDialog::OnClose() { OnCommand(this, 2); }
