// The pickers of the editor: modal dialogs centred on the stage with a grid of item
// buttons (pictures and names of the catalogue's backgrounds, objects or characters), a
// scroll bar for more rows and "&Cancelar". Choosing an item closes the dialog and adds
// it to the movie with an undo point. Also the question before deleting the current scene.
#pragma once

#include "gui/SLGuiTopLevelWindow.h"

class CMyGameChooseEscenaDialog : public CSL_GS_GuiTopLevelWindow {
  SL_DECLARE_CLASS(CMyGameChooseEscenaDialog)
 public:
  bool OnCommand(CSL_GS_GuiWindow* source, u32 id) override;
  void OnClose() override;
  // Scrolling shows other rows of backgrounds.
  bool OnVScroll(CSL_GS_GuiWindow* source, u32 code, i32 newPosition, i32 oldPosition) override;
};

class CMyGameChooseObjetoDialog : public CSL_GS_GuiTopLevelWindow {
  SL_DECLARE_CLASS(CMyGameChooseObjetoDialog)
 public:
  bool OnCommand(CSL_GS_GuiWindow* source, u32 id) override;
  void OnClose() override;
  // Timer 1 animates the pictures (and follows the scroll bar).
  void OnTimer(u32 id) override;
};

class CMyGameChoosePersonajeDialog : public CSL_GS_GuiTopLevelWindow {
  SL_DECLARE_CLASS(CMyGameChoosePersonajeDialog)
 public:
  bool OnCommand(CSL_GS_GuiWindow* source, u32 id) override;
  void OnClose() override;
  void OnTimer(u32 id) override;
};

// Open a picker as a new modal level.
void ChooseEscenaDialog_Show();
void ChooseObjetoDialog_Show();
void ChoosePersonajeDialog_Show();
// Asks whether to delete the current scene; "&Si" deletes it with an undo point.
void ChooseEscenaDialog_AskDeleteScene();
void ChooseEscenaDialog_OnDeleteAnswer(u32 answer, std::uintptr_t argument);

// What the pickers add: a scene with that background (made current), or a placed object
// or character in the current scene (then shown from its current frame).
void Movie_AddScene(i32 backgroundIndex);
void Movie_AddObject(i32 objectIndex);
void Movie_AddCharacter(i32 characterIndex);

// The size a preview picture of w x h takes on an item button (90 x 60 at most).
void Picker_PreviewSize(i32 w, i32 h, i32* outW, i32* outH);
