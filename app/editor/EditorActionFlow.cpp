// Placing an action, as the editor runs it: the dialogs in turn (the action, then the
// text, then the audio, as the command and the action's dialogue ask), the walk grid and
// the stage's reference mode, and the write into the current scene under one undo point.
//
// A placement that is abandoned (a required text or audio not given, Escape or a click
// off the stage while pointing) changes nothing.
#include "adventure/catalog/CharacterCatalog.h"
#include "adventure/catalog/SceneCatalog.h"
#include "app/services/AppGlobals.h"
#include "app/services/CMyGuiManager.h"
#include "app/editor/EditorAction.h"
#include "app/editor/EditorCallbacks.h"
#include "app/editor/EditorScreen.h"
#include "app/editor/EditorState.h"
#include "app/editor/EditorTimeline.h"
#include "gamesystem/SLPathFinder2D.h"
#include "gamesystem/directx/SLKeyboardInput.h"
#include "gamesystem/directx/SLMouseInput.h"
#include "gui/SLGuiManager.h"
#include "gui/SLGuiWindow.h"

namespace {
constexpr u32 kAudioChooserVoices = 14;  // men, women and recordings
constexpr u32 kDialogueAudio = 1, kDialogueText = 2;

EditorDialogs g_dialogs{};

ActionPlacementState& Placement() { return Editor_State().placement; }

CharacterInstance* SelectedCharacter() {
  const EditorSelection& selection = Editor_State().selection;
  return Editor_CurrentScene() && selection.kind == kHitCharacter ? static_cast<CharacterInstance*>(selection.element)
                                                                   : nullptr;
}

// The placement as the write and the reference step see it; false when the character or
// the action went away meanwhile.
bool Context(ActionPlacementContext* context) {
  ActionPlacementState& placement = Placement();
  CharacterInstance* who = SelectedCharacter();
  if (!who || !placement.character || !placement.action) return false;
  i32 index = -1;
  for (u32 i = 0; i < placement.character->actions.GetCount(); ++i)
    if (placement.character->actions[i] == placement.action) index = i32(i);
  if (index < 0) return false;
  *context = {Editor_CurrentScene(), who, placement.character, u32(index), placement.pathFinder};
  return true;
}

void OpenAudioChooser() {
  if (g_dialogs.chooseAudio) g_dialogs.chooseAudio(EditorAction_OnAudioChosen, kAudioChooserVoices);
}

bool Pressed(u32 button) {
  CSL_GS_BaseMouseInput* mouse = App_GuiManager().GetMouse();
  return mouse && mouse->IsButtonDown(button) && mouse->HasButtonChanged(button);
}
bool EscapePressed() {
  CSL_GS_BaseKeyboardInput* keyboard = App_GuiManager().GetKeyboard();
  return keyboard && keyboard->IsKeyDown(SL_GUI_KEY_ESCAPE) && keyboard->HasKeyChanged(SL_GUI_KEY_ESCAPE);
}
}  // namespace

void EditorDialogs_Set(const EditorDialogs& dialogs) { g_dialogs = dialogs; }
const EditorDialogs& EditorDialogs_Get() { return g_dialogs; }

void EditorAction_OnConfirmAdd(u32 answer, std::uintptr_t preset) {
  CharacterInstance* who = SelectedCharacter();
  if (answer != 3 || !who || !g_dialogs.chooseAction) return;
  g_dialogs.chooseAction(who, i32(preset));
}

void EditorAction_OnChosen(CharacterAction* action, u32) {
  ActionPlacementState& placement = Placement();
  CharacterInstance* who = SelectedCharacter();
  if (!who || !action) return;
  placement.character = who->character >= 0 ? CharacterCatalog_GetAt(u32(who->character)) : nullptr;
  placement.action = action;
  placement.audioName.Assign("");
  placement.dialogueText.Assign("");
  if (action->dialogue == 0) return EditorAction_Prepare();
  if (placement.pendingCommand == kPlaceSpokenDialogue && (action->dialogue & kDialogueAudio)) return OpenAudioChooser();
  // Unless a written dialogue was asked for, the text may be left out.
  if (g_dialogs.enterText)
    g_dialogs.enterText(placement.pendingCommand != kPlaceWrittenDialogue ? 1 : 0, EditorAction_OnTextEntered);
}

void EditorAction_OnTextEntered(const char* text) {
  ActionPlacementState& placement = Placement();
  if (!placement.action) return;
  const u32 dialogue = placement.action->dialogue;
  const char* kept = EditorAction_TrimDialogue(text);
  if (!text && dialogue == kDialogueText && placement.pendingCommand == kPlaceWrittenDialogue) return;
  if (!placement.dialogueText.Assign(kept ? kept : "")) App_Fatal(kFatalDialogueText, "Insuficiente memoria");
  if ((dialogue & kDialogueAudio) && placement.pendingCommand != kPlaceWrittenDialogue &&
      placement.pendingCommand != kPlaceSpokenDialogue)
    return OpenAudioChooser();
  EditorAction_Prepare();
}

void EditorAction_OnAudioChosen(const char* name, u32) {
  ActionPlacementState& placement = Placement();
  if (!placement.action) return;
  if (!name && placement.action->dialogue == kDialogueAudio && placement.pendingCommand == kPlaceSpokenDialogue) return;
  if (!placement.audioName.Assign(name ? name : "")) App_Fatal(kFatalAudioName, "Insuficiente memoria");
  if (!placement.dialogueText.IsEmpty() || !placement.audioName.IsEmpty()) EditorAction_Prepare();
}

void EditorAction_Prepare() {
  ActionPlacementState& placement = Placement();
  ActionPlacementContext context{};
  if (!Context(&context)) return;
  if (placement.action->references.GetCount() == 0) return EditorAction_Place();
  if (!placement.pathFinder) {
    placement.pathFinder = new CSL_GS_PathFinder2D();
    if (!placement.pathFinder) App_Fatal(kFatalWalkGrid, "Insuficiente memoria");
    context.pathFinder = placement.pathFinder;
  }
  if (!EditorAction_BuildWalkGrid(placement.pathFinder, context.scene, context.who))
    App_Fatal(kFatalWalkGrid, "Insuficiente memoria");
  Editor_SetReferenceInput(EditorAction_ReferenceTick);
  Editor_State().stageMode = kStageReference;
}

void EditorAction_ReferenceTick() {
  EditorState& state = Editor_State();
  ActionPlacementState& placement = state.placement;
  if (EscapePressed()) {
    state.stageMode = kStageSelect;
    return;
  }
  ActionPlacementContext context{};
  if (!Context(&context)) {
    state.stageMode = kStageSelect;
    return;
  }
  CSL_GS_BaseMouseInput* mouse = App_GuiManager().GetMouse();
  if (!mouse) return;
  const i32 x = mouse->GetX() - kStageX, y = mouse->GetY() - kStageY;
  const bool onStage = x >= 0 && y >= 0 && x < i32(kStageWidth) && y < i32(kStageHeight);
  const bool click = Pressed(1);
  if (!onStage) {
    state.hover = EditorSelection{};
    if (click) state.stageMode = kStageSelect;
    return;
  }
  const u32 kinds = EditorAction_ReferenceKinds(placement.action, placement.character->floating != 0);
  Stage_HitTest(Editor_Movie(), x, y, kinds, &state.hover);
  // The path is looked for only when the button goes down on something; between clicks
  // the pointer shows what a reference could be.
  bool pathPassed = true;
  if (click && state.hover.kind != 0) {
    // Until a path is found the target is the point itself (a floating character flies
    // there whatever lies between).
    placement.targetX = state.hover.kind == kHitSupportPoint ? state.hover.supportX : x;
    placement.targetY = state.hover.kind == kHitSupportPoint ? state.hover.supportY : y;
    pathPassed = EditorAction_PathTest(context, state.hover, &placement.targetX, &placement.targetY) >= 0;
  }
  const i32 accepted = EditorAction_AcceptReference(context, state.hover, pathPassed);
  if (accepted < 0) state.hover = EditorSelection{};
  if (!click || state.hover.kind == 0) return;
  state.stageMode = kStageInactive;
  placement.reference = placement.action->references[u32(accepted)];
  placement.referenceHit = state.hover;
  EditorAction_Place();
}

void EditorAction_Place() {
  ActionPlacementState& placement = Placement();
  ActionPlacementContext context{};
  if (!Context(&context)) return;
  Editor_TakeUndoPoint();
  ActionPlacementWrite write{};
  write.context = context;
  write.frame = context.scene->currentFrame;
  write.pendingCommand = placement.pendingCommand;
  write.dialogueText = placement.dialogueText.CStr();
  write.audioName = placement.audioName.CStr();
  const bool hasReferences = placement.action->references.GetCount() != 0;
  write.reference = hasReferences ? placement.reference : nullptr;
  write.referenceHit = hasReferences ? placement.referenceHit : EditorSelection{};
  write.targetX = placement.targetX, write.targetY = placement.targetY;
  const u32 end = EditorAction_Write(write);
  if (context.scene->length < end) context.scene->length = end;
  EditorTimeline_Refresh();
  EditorPlayback_Start(end, 1, 0);
}
