// The dialogs with which the editor asks what to do with a movie project: the start-up
// dialog ("¿Qué deseas hacer?": new, open, view, export), the chooser listing the saved
// projects in "Aventuras Guardadas", and the name dialog that saves the movie. Each is
// modal without blocking: its show function opens a modal level and returns; the answer
// comes back to the editor as an application event (start-up: {11, pressed id}; chooser:
// {13, mode} loaded, {14, mode} load failed, {15, mode} cancelled) or, for the name
// dialog, as the save itself.
#pragma once

#include <cstdint>

#include "foundation/SLArray.h"
#include "foundation/SLString.h"
#include "gui/SLGuiEdit.h"
#include "gui/SLGuiTopLevelWindow.h"

class CSL_GS_GuiWindow;

class CMyGameStartUpDialog : public CSL_GS_GuiTopLevelWindow {
  SL_DECLARE_CLASS(CMyGameStartUpDialog)
 public:
  CMyGameStartUpDialog() = default;
  ~CMyGameStartUpDialog() override = default;
  // 101 new, 102 open, 103 view, 104 export, 2 cancel: posts {11, id} and closes.
  bool OnCommand(CSL_GS_GuiWindow* source, u32 id) override;
  void OnClose() override;
};

class CMyGameChooseProjectFileDialog : public CSL_GS_GuiTopLevelWindow {
  SL_DECLARE_CLASS(CMyGameChooseProjectFileDialog)
 public:
  CMyGameChooseProjectFileDialog() = default;
  ~CMyGameChooseProjectFileDialog() override;
  bool OnCommand(CSL_GS_GuiWindow* source, u32 id) override;
  void OnClose() override;
  // Timer 1 blinks the selection frame while the chosen row is in view.
  void OnTimer(u32 id) override;
  // The list's bar moved: the rows show the names from the new position on.
  bool OnVScroll(CSL_GS_GuiWindow* source, u32 code, i32 newPosition, i32 oldPosition) override;

  // Project names (8-bit, no folder, no extension), owned, in the order the folder listed them.
  TSLPtrArray<char> files;
  u32 fileCount = 0;
  u32 selected = 0xFFFFFFFF;  // index into files, -1 when none
  u32 mode = 0;               // 1 or 2 open, 3 view, 4 export
};

// "Guardar película": the name under which the movie is saved.
class CMyGameAskProjectNameDialog : public CSL_GS_GuiTopLevelWindow {
  SL_DECLARE_CLASS(CMyGameAskProjectNameDialog)
 public:
  CMyGameAskProjectNameDialog() = default;
  ~CMyGameAskProjectNameDialog() override = default;
  // 1 saves under the typed name (an empty one is refused with a message), 2 cancels.
  bool OnCommand(CSL_GS_GuiWindow* source, u32 id) override;
  void OnClose() override;
};

// The name edit: a file name a child can type on any system, so only digits, Spanish
// letters and "-" are taken; a space is let through while typing and kept in the text.
// Typed characters outside the list are dropped, and any text set or pasted is cleaned.
class CMyGameNewProject_NameEditCtl : public CSL_GS_GuiEdit {
  SL_DECLARE_CLASS(CMyGameNewProject_NameEditCtl)
 public:
  CMyGameNewProject_NameEditCtl() = default;
  ~CMyGameNewProject_NameEditCtl() override = default;
  void OnChar(u32 character) override;
  void OnTextChanged(CSLStringAnsi* text) override;
};
// The two halves of the name edit's filter, for the other name edits of the program: a
// typed character the edit takes (control keys and the space included), and the text
// cleaned of every byte outside the allowed list and the space.
bool ProjectName_AcceptsTyped(u32 character);
void ProjectName_CleanText(CSLStringAnsi* text);

// Opens the start-up dialog; the result of centring it.
bool StartUpDialog_Show();
// Opens the chooser for mode 1 or 2 (open), 3 (view) or 4 (export).
void ChooseProjectFileDialog_Show(u32 mode);
// Shows in the six rows the names from the bar's position on, and the selection frame on
// the chosen row when it is among them; acts only for the list's bar (id 1001).
void ChooseProjectFileDialog_FillList(CSL_GS_GuiWindow* scrollBar);
// Opens the name dialog, preset with the movie's name; "&Aceptar" saves.
void AskProjectNameDialog_Show();
// Completion of the message about an empty name: the focus goes back into the edit.
void AskProjectNameDialog_FocusNameEdit(u32 answer, std::uintptr_t dialog);
// Completion of the question before another movie of the typed name is replaced: "&Si"
// saves over it and closes the dialog; any other answer writes nothing and leaves the
// dialog with the typed name.
void AskProjectNameDialog_OnReplaceAnswer(u32 answer, std::uintptr_t dialog);

// The editor's side of the project flow. Handles the start-up answer (11), the chooser's
// results for opening (13 modes 1-2, 14, 15) and the commands 302 "MenuAbrir" and 303
// "MenuGuardar"; false for every other event, which the caller handles.
bool EditorProject_OnEvent(u32 type, std::uintptr_t data, i32* result);
// The box answers: "Abrir película" (3 opens the chooser from the editor) and the load
// error (the start-up dialog again for projects chosen from it, modes 2-4).
void EditorScreen_OnConfirmOpenMovie(u32 answer, std::uintptr_t user);
void EditorScreen_OnLoadErrorClosed(u32 answer, std::uintptr_t mode);
// Makes the start-up dialog the one the editor shows when it starts.
void EditorProject_Install();
