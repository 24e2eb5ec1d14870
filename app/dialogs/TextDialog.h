// "Ingresa el texto": the text of a speech balloon or a floating text, typed in a
// multi-line, word-wrapping edit. "&Aceptar" hands the typed text to the caller's
// completion (refusing an empty one with a message); the second button, "&Cancelar" or
// "&Sin texto", hands it null.
#pragma once

#include "gui/SLGuiEdit.h"
#include "gui/SLGuiTopLevelWindow.h"

using TextDialogDone = void (*)(const char* text);

class CMyGameAddEditTextDialog : public CSL_GS_GuiTopLevelWindow {
  SL_DECLARE_CLASS(CMyGameAddEditTextDialog)
 public:
  CMyGameAddEditTextDialog() = default;
  ~CMyGameAddEditTextDialog() override = default;
  bool OnCommand(CSL_GS_GuiWindow* source, u32 id) override;
  void OnClose() override;

  TextDialogDone onDone = nullptr;
};

// The dialog's edit: every character is allowed.
class CMyGameAddEditText_TextEditCtl : public CSL_GS_GuiEdit {
  SL_DECLARE_CLASS(CMyGameAddEditText_TextEditCtl)
 public:
  CMyGameAddEditText_TextEditCtl() = default;
  ~CMyGameAddEditText_TextEditCtl() override = default;
};

// Opens the dialog with an empty edit; `noTextButton` makes the second button read
// "&Sin texto". `onDone` gets the text (valid only during the call) or null.
void AddEditTextDialog_Show(u32 noTextButton, TextDialogDone onDone);
