#include "app/dialogs/Pickers.h"

#include "adventure/catalog/CharacterCatalog.h"
#include "adventure/catalog/ObjectCatalog.h"
#include "adventure/catalog/SceneCatalog.h"
#include "app/services/AppGlobals.h"
#include "app/services/AppServices.h"
#include "app/services/CMyGuiManager.h"
#include "app/services/CommonResources.h"
#include "app/editor/EditorScreen.h"
#include "app/editor/EditorState.h"
#include "app/services/ModalStack.h"
#include "app/dialogs/MsgBox.h"
#include "app/editor/PickerButtons.h"
#include "app/dialogs/ThinLetterButton.h"
#include "app/services/AppStyles.h"
#include "app/services/FatalCodes.h"
#include "foundation/SLError.h"
#include "gamesystem/SLFrameTime.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "gui/SLGuiButton.h"
#include "gui/SLGuiScrollBar.h"

SL_IMPLEMENT_CLASS_CREATABLE(CMyGameChooseEscenaDialog, CSL_GS_GuiTopLevelWindow)
SL_IMPLEMENT_CLASS_CREATABLE(CMyGameChooseObjetoDialog, CSL_GS_GuiTopLevelWindow)
SL_IMPLEMENT_CLASS_CREATABLE(CMyGameChoosePersonajeDialog, CSL_GS_GuiTopLevelWindow)

namespace {

enum PickerKind : u32 { kPickBackground, kPickObject, kPickCharacter };

struct PickerLayout {
  const char* title;
  u32 dialogId;
  u32 columns, rows;
  i32 stepX, buttonWidth;  // buttons at (column * stepX + 5, row * 105 + 5), 100 high
  i32 scrollX, scrollHeight;
  i32 cancelX, cancelY;
  i32 clientWidth, clientHeight;
  bool animated;  // timer 1 every 10 ms refills the buttons
  i32 fatalCode;
};

const PickerLayout kLayouts[3] = {
    {"Elije un escenario", 1008, 3, 2, 155, 150, 475, 205, 415, 215, 500, 250, false, -1301},
    {"Elije un objeto", 1010, 4, 3, 125, 120, 510, 310, 450, 320, 535, 355, true, -1401},
    {"Elije un personaje", 1011, 4, 2, 125, 120, 505, 205, 445, 215, 530, 250, true, -1501},
};

constexpr u32 kFirstItemId = 101, kScrollBarId = 1001, kCancelId = 2;

u32 ItemCount(PickerKind kind) {
  const CatalogList& list = kind == kPickBackground ? SceneCatalog : kind == kPickObject ? ObjectCatalog : CharacterCatalog;
  return list.head.next ? list.head.Count() : 0;  // a list never filled has null links
}

u32 ScrollPosition(CSL_GS_GuiWindow* dialog) {
  SLErrorKeeper keep;
  CSL_GS_GuiWindow* bar = App_GuiManager().FindChildById(dialog, kScrollBarId);
  return bar ? static_cast<CSL_GS_GuiScrollBarBase*>(bar)->GetPosition() : 0;
}

// A loop position in an animation of `duration` ms, from the system clock.
u32 PreviewTime(u32 duration) { return duration ? SL_GS_GetTimeMs() % duration : 0; }

// The picture entry `t` ms into a pass of the playing order.
SL_GS_Image* SequenceFrame(const ItemFrameArray& frames, const TSLArray<u32>& sequence, u32 duration, u32 t) {
  const u32 entries = sequence.GetCount();
  if (entries == 0) return nullptr;
  const u32 entry = duration ? u32(u64(t) * entries / duration) : 0;
  const u32 frame = sequence[entry < entries ? entry : entries - 1];
  return frame < frames.GetCount() ? frames[frame] : nullptr;
}

// The picture of an item and, for animations, the size of its first sequence entry.
SL_GS_Image* ItemPicture(PickerKind kind, u32 index, const char** name, SL_GS_Image** sizeFrom) {
  *sizeFrom = nullptr;
  if (kind == kPickBackground) {
    SceneRecord* record = SceneCatalog_GetAt(index);
    if (!record) return nullptr;
    *name = record->name.CStr();
    return record->background;
  }
  if (kind == kPickObject) {
    ObjectRecord* record = ObjectCatalog_GetAt(index);
    if (!record) return nullptr;
    *name = record->name.CStr();
    const i32 stateIndex = ObjectRecord_FindState(record, record->initialState.CStr());
    const ObjectState* state = stateIndex >= 0 && u32(stateIndex) < record->states.GetCount()
                                   ? record->states[u32(stateIndex)]
                                   : nullptr;
    if (!state) return nullptr;
    if (state->sequence.GetCount() > 0 && state->sequence[0] < state->frames.GetCount())
      *sizeFrom = state->frames[state->sequence[0]];
    return SequenceFrame(state->frames, state->sequence, state->duration, PreviewTime(state->duration));
  }
  CharacterRecord* record = CharacterCatalog_GetAt(index);
  if (!record) return nullptr;
  *name = record->name.CStr();
  const i32 stateIndex = CharacterRecord_FindState(record, record->initialState.CStr());
  const CharacterState* state = stateIndex >= 0 ? CharacterRecord_GetStateAt(record, u32(stateIndex)) : nullptr;
  if (!state) return nullptr;
  const i32 actionIndex = state->walkAction >= 0 ? state->walkAction : state->defaultAction;
  const CharacterAction* action = actionIndex >= 0 ? CatalogRecord_GetListEntryAt(record, u32(actionIndex)) : nullptr;
  if (!action) return nullptr;
  const u32 direction = CharacterAction_PickDirection(action, 0);
  if (direction >= kDirectionCount) return nullptr;
  const ItemFrameArray& frames = action->frames[direction];
  if (action->sequence.GetCount() > 0 && action->sequence[0] < frames.GetCount())
    *sizeFrom = frames[action->sequence[0]];
  SL_GS_Image* image = CharacterAction_FrameAt(action, direction, PreviewTime(action->duration), false);
  return image == ActionFrameOver() ? nullptr : image;
}

void FillButtons(CSL_GS_GuiWindow* dialog, PickerKind kind) {
  SLErrorKeeper keep;
  const PickerLayout& layout = kLayouts[kind];
  CMyGuiManager& gui = App_GuiManager();
  const u32 slots = layout.columns * layout.rows;
  const u64 first = u64(layout.columns) * ScrollPosition(dialog);
  const u32 count = ItemCount(kind);
  for (u32 slot = 0; slot < slots; ++slot) {
    auto* button = static_cast<CSL_GS_GuiButton*>(gui.FindChildById(dialog, kFirstItemId + slot));
    if (!button) continue;
    const u64 index = first + slot;
    if (index >= count) {
      button->Show(false);
      continue;
    }
    const char* name = "";
    SL_GS_Image* sizeFrom = nullptr;
    SL_GS_Image* picture = ItemPicture(kind, u32(index), &name, &sizeFrom);
    button->Show(true);
    button->SetText(name);
    SL_GS_DrawImageOptions options{};
    if (kind == kPickBackground) {
      ItemDraw_SetTargetSize(&options, 107, 60);
    } else {
      i32 w, h, fitW, fitH;
      ItemDraw_ImageSize(sizeFrom ? sizeFrom : picture, &w, &h);
      Picker_PreviewSize(w, h, &fitW, &fitH);
      if (fitW != w || fitH != h) ItemDraw_SetTargetSize(&options, fitW, fitH);
      // Hung from its top-left corner, whatever the picture's own hot spot.
      options.flags |= SL_GS_DRAW_ANCHOR;
      options.anchorX = options.anchorY = 0;
    }
    button->SetNormalImage(picture, &options);
  }
}

template <class Dialog>
void ShowPicker(PickerKind kind) {
  const PickerLayout& layout = kLayouts[kind];
  CMyGuiManager& gui = App_GuiManager();
  ModalStack_Begin(1);
  auto fail = [&layout] { App_Fatal(layout.fatalCode, "Insuficiente memoria"); };
  CSL_GS_GuiWindow* dialog = gui.CreateWindow(Dialog::GetClassRecord(), layout.title, 0, 0, 100, 100, APP_STYLE_DIALOG,
                                              AppSkin, layout.dialogId, nullptr);
  if (!dialog) fail();
  if (layout.animated && !gui.SetTimer(dialog, 1, 10)) fail();
  for (u32 slot = 0; slot < layout.columns * layout.rows; ++slot) {
    const i32 x = i32(slot % layout.columns) * layout.stepX + 5, y = i32(slot / layout.columns) * 105 + 5;
    CSL_GS_GuiWindow* button = gui.CreateWindow(CMyThinLetterButton::GetClassRecord(), "", x, y, layout.buttonWidth,
                                                100, APP_STYLE_TAB_BUTTON, AppSkin, kFirstItemId + slot, dialog);
    if (!button || !button->SetTextFormat(6) || !static_cast<CSL_GS_GuiButton*>(button)->SetImageAlignment(2)) fail();
  }
  auto* bar = static_cast<CSL_GS_GuiScrollBarBase*>(gui.CreateWindow(CSL_GS_GuiVScrollBar::GetClassRecord(), "",
                                                                     layout.scrollX, 5, 20, layout.scrollHeight,
                                                                     APP_STYLE_TAB_CHILD, AppSkin, kScrollBarId, dialog));
  if (!bar) fail();
  const u32 count = ItemCount(kind), visible = layout.columns * layout.rows;
  if (count > visible) {
    const u32 itemRows = (count - 1) / layout.columns + 1;
    if (!bar->SetRange(itemRows - layout.rows)) fail();
  } else {
    bar->Enable(false);
  }
  if (!gui.CreateWindow(CSL_GS_GuiButton::GetClassRecord(), "&Cancelar", layout.cancelX, layout.cancelY, 80, 30,
                        APP_STYLE_TAB_BUTTON, AppSkin, kCancelId, dialog))
    fail();
  FillButtons(dialog, kind);
  if (!dialog->SetClientSize(layout.clientWidth, layout.clientHeight)) fail();
  const SLGuiRect& outer = dialog->GetWindowRect();
  dialog->Move((i32(kStageWidth) - outer.width) / 2 + kStageX, (i32(kStageHeight) - outer.height) / 2 + kStageY);
  gui.SetFocus(gui.GetFirstTabStop(dialog));
  SLSetLastError(SL_OK);
}

// Choosing: the dialog goes and its modal level ends before the item is added.
bool PickerCommand(CSL_GS_GuiWindow* dialog, PickerKind kind, CSL_GS_GuiWindow* source, u32 id) {
  const PickerLayout& layout = kLayouts[kind];
  const u32 slots = layout.columns * layout.rows;
  if (id >= kFirstItemId && id < kFirstItemId + slots) {
    const u64 index = u64(id - kFirstItemId) + u64(layout.columns) * ScrollPosition(dialog);
    App_GuiManager().DestroyWindow(dialog);
    ModalStack_End();
    if (index < ItemCount(kind)) {
      if (kind == kPickBackground)
        Movie_AddScene(i32(index));
      else if (kind == kPickObject)
        Movie_AddObject(i32(index));
      else
        Movie_AddCharacter(i32(index));
    }
    return SLSucceed(true);
  }
  if (id == kCancelId) {
    App_GuiManager().DestroyWindow(dialog);
    ModalStack_End();
    return SLSucceed(true);
  }
  return dialog->CSL_GS_GuiWindow::OnCommand(source, id);
}

void DeleteCurrentScene() {
  Movie* movie = Editor_Movie();
  Scene* scene = Editor_CurrentScene();
  if (!scene) return;
  Editor_TakeUndoPoint();
  Editor_ClearSelection();
  const u32 index = movie->currentScene;
  List_Remove(&scene->link);
  Scene_Free(scene, 0);
  Movie_SelectScene(movie, index > 0 ? index - 1 : 0);
  EditorSelection_Clear();
}

}  // namespace

void Picker_PreviewSize(i32 w, i32 h, i32* outW, i32* outH) { ItemDraw_FitSize(w, h, 90, 60, true, outW, outH); }

bool CMyGameChooseEscenaDialog::OnCommand(CSL_GS_GuiWindow* source, u32 id) {
  return PickerCommand(this, kPickBackground, source, id);
}
void CMyGameChooseEscenaDialog::OnClose() { OnCommand(this, kCancelId); }
bool CMyGameChooseEscenaDialog::OnVScroll(CSL_GS_GuiWindow* source, u32 code, i32 newPosition, i32 oldPosition) {
  const bool result = CSL_GS_GuiWindow::OnVScroll(source, code, newPosition, oldPosition);
  FillButtons(this, kPickBackground);
  return result;
}

bool CMyGameChooseObjetoDialog::OnCommand(CSL_GS_GuiWindow* source, u32 id) {
  return PickerCommand(this, kPickObject, source, id);
}
void CMyGameChooseObjetoDialog::OnClose() { OnCommand(this, kCancelId); }
void CMyGameChooseObjetoDialog::OnTimer(u32 id) {
  if (id == 1) FillButtons(this, kPickObject);
}

bool CMyGameChoosePersonajeDialog::OnCommand(CSL_GS_GuiWindow* source, u32 id) {
  return PickerCommand(this, kPickCharacter, source, id);
}
void CMyGameChoosePersonajeDialog::OnClose() { OnCommand(this, kCancelId); }
void CMyGameChoosePersonajeDialog::OnTimer(u32 id) {
  if (id == 1) FillButtons(this, kPickCharacter);
}

void ChooseEscenaDialog_Show() { ShowPicker<CMyGameChooseEscenaDialog>(kPickBackground); }
void ChooseObjetoDialog_Show() { ShowPicker<CMyGameChooseObjetoDialog>(kPickObject); }
void ChoosePersonajeDialog_Show() { ShowPicker<CMyGameChoosePersonajeDialog>(kPickCharacter); }

void ChooseEscenaDialog_OnDeleteAnswer(u32 answer, std::uintptr_t) {
  if (answer == MSGBOX_YES) DeleteCurrentScene();
}

void ChooseEscenaDialog_AskDeleteScene() {
  MsgBox_ShowWithCallback(1, 3, &ChooseEscenaDialog_OnDeleteAnswer, 0,
                          "\xbf" "Est\xe1s segura de eliminar la escena actual?\n\nNOTA: Ten en cuenta que todas las "
                          "acciones realizadas en la misma ser\xe1n eliminadas tambi\xe9n.",
                          "Elimar escena", 1009, AppCommonPictures[APP_PICTURE_QUESTION], nullptr);
}

void Movie_AddScene(i32 backgroundIndex) {
  Movie* movie = Editor_Movie();
  Editor_TakeUndoPoint();
  Editor_ClearSelection();
  Scene* scene = Movie_AppendScene(movie);
  if (!scene) App_Fatal(APP_FATAL_FIRST_SCENE, "Insuficiente memoria");
  scene->background = backgroundIndex;
  Movie_SelectScene(movie, Movie_SceneCount(movie) - 1);
  EditorSelection_Clear();
}

namespace {
template <class Create>
void AddElement(Create create, i32 fatalCode) {
  Scene* scene = Editor_CurrentScene();
  if (!scene) return;
  Editor_TakeUndoPoint();
  if (!create(scene)) App_Fatal(fatalCode, "Insuficiente memoria");
  Editor_RenderCurrent(scene->currentFrame, kModeSilent);
  EditorPlayback_Start(scene->currentFrame, 0, 0);
}
}  // namespace

void Movie_AddObject(i32 objectIndex) {
  AddElement([objectIndex](Scene* scene) { return ObjectInstance_Create(scene, objectIndex) != nullptr; }, -1402);
}

void Movie_AddCharacter(i32 characterIndex) {
  AddElement([characterIndex](Scene* scene) { return CharacterInstance_Create(scene, characterIndex) != nullptr; },
             -1502);
}
