// "Elije una acción": the actions a placed character offers in the state it is in at the
// scene's current frame, as animated buttons, four to a row and two rows at a time. The
// choice goes to the continuation the editor installed; an action the editor already
// knows is checked against the offer and handed on without showing anything.
#pragma once

#include "foundation/SLArray.h"
#include "gui/SLGuiTopLevelWindow.h"

struct CharacterAction;
struct CharacterInstance;
struct CharacterRecord;

using ActionChosenFunction = void (*)(CharacterAction* action, u32 user);

class CMyGameChoosePersonajeAccionDialog : public CSL_GS_GuiTopLevelWindow {
  SL_DECLARE_CLASS(CMyGameChoosePersonajeAccionDialog)
 public:
  CMyGameChoosePersonajeAccionDialog() = default;
  ~CMyGameChoosePersonajeAccionDialog() override;
  // 101-108 choose the action of that button, 2 cancels.
  bool OnCommand(CSL_GS_GuiWindow* source, u32 id) override;
  void OnClose() override;
  // Timer 1 (every 10 ms) animates the buttons from the bar's position on.
  void OnTimer(u32 id) override;

  ActionChosenFunction onChosen = nullptr;
  u32 user = 0;
  CharacterRecord* character = nullptr;
  TSLPtrArray<CharacterAction> actions;  // the offered actions, in catalogue order (not owned)
};

// Where the chosen action goes: the editor's action placement installs its continuation.
void ChoosePersonajeAccionDialog_SetContinuation(ActionChosenFunction onChosen);
// Opens the dialog for a placed character of the current scene; `preselected` (-1: none)
// names an action index that is handed on at once when it is offered.
void ChoosePersonajeAccionDialog_Show(CharacterInstance* placed, i32 preselected);
