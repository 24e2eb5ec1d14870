// The editor's command table beyond its toolbar: each command row, with and without the
// scene or selection it needs, opens its box (title, window id, style) or its dialog, or
// does nothing; starting an action follows the character's last action and its state.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "adventure/movie/Movie.h"
#include "adventure/movie/MovieList.h"
#include "app/services/AppServices.h"
#include "app/services/CMyGuiManager.h"
#include "app/editor/EditorCallbacks.h"
#include "app/editor/EditorCommands.h"
#include "app/editor/EditorMenus.h"
#include "app/editor/EditorState.h"
#include "app/services/ModalStack.h"
#include "app/dialogs/MsgBox.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "tests/support/AppHarness.h"
#include "tests/support/MovieCatalog.h"

namespace {

// What the dialog seams were asked for.
struct Asked {
  std::string what;  // "audio 25", "text 0", "action 1", "name"
} g_asked;

void FakeAudio(void (*)(const char*, u32), u32 flags) { g_asked.what = "audio " + std::to_string(flags); }
void FakeText(u32 noText, void (*)(const char*)) { g_asked.what = "text " + std::to_string(noText); }
void FakeAction(CharacterInstance*, i32 preset) { g_asked.what = "action " + std::to_string(preset); }
void FakeName() { g_asked.what = "name"; }

class EditorCommands : public AppScreenTest {
 protected:
  void SetUp() override {
    AppScreenTest::SetUp();
    m_saved = EditorDialogs_Get();
    EditorDialogs dialogs = m_saved;
    dialogs.chooseAudio = &FakeAudio;
    dialogs.enterText = &FakeText;
    dialogs.chooseAction = &FakeAction;
    dialogs.askProjectName = &FakeName;
    EditorDialogs_Set(dialogs);
    auto* gfx = static_cast<CSL_GS_BaseGfx*>(App_Services().gfx);
    SL_GS_Image* body = MovieCatalog::Solid(gfx, 20, 40, 10, 39, 0xFF808080);
    MovieCatalog::ActionSpec still;
    still.frames[0] = {body};
    m_character = MovieCatalog::AddCharacter("Sofia", false, {{"normal", 0}, {"mudo", 0}}, {still, still});
    CharacterRecord* record = CharacterCatalog_GetAt(u32(m_character));
    record->states[0]->talkAction = 1;
    record->actions[1]->dialogue = 3;
    g_asked = {};
  }
  void TearDown() override {
    CloseBoxes();
    EditorMenus_Close();
    Editor_State().selection = EditorSelection{};
    Movie_Clear(Movie_Get());
    MovieCatalog::Free();
    EditorDialogs_Set(m_saved);
    AppScreenTest::TearDown();
  }

  // The open message box: "title|id|style", or "" without one.
  static std::string OpenBox() {
    CSL_GS_GuiManager& m = App_GuiManager();
    for (CSL_GS_GuiWindow* w = m.GetFirstChild(nullptr); w; w = m.GetNextSibling(w))
      if (w->IsKindOf(CMyMsgBoxDialog::GetClassRecord())) {
        auto* box = static_cast<CMyMsgBoxDialog*>(w);
        return std::string(box->GetText()) + "|" + std::to_string(box->GetId()) + "|" +
               std::to_string(box->GetBoxStyle());
      }
    return "";
  }
  static void CloseBoxes() {
    CSL_GS_GuiManager& m = App_GuiManager();
    for (bool found = true; found;) {
      found = false;
      for (CSL_GS_GuiWindow* w = m.GetFirstChild(nullptr); w; w = m.GetNextSibling(w))
        if (w->IsKindOf(CMyMsgBoxDialog::GetClassRecord())) {
          w->OnClose();
          found = true;
          break;
        }
    }
    AppHarness::DrainQueue();
    while (ModalStack_GetDepth()) ModalStack_End();
  }

  Scene* AddScene() {
    Scene* scene = Movie_AppendScene(Movie_Get());
    scene->length = 300;
    return scene;
  }
  CharacterInstance* AddCharacter(Scene* scene) {
    CharacterInstance* c = CharacterInstance_New();
    c->character = m_character;
    c->scene = scene;
    c->lastPlacedAction = -1;
    List_Append(&scene->characters, &c->link);
    return c;
  }
  static void Select(u32 kind, void* element) {
    Editor_State().selection = EditorSelection{};
    Editor_State().selection.kind = kind;
    Editor_State().selection.element = element;
  }
  // Runs a command and tells what it opened: a box, a dialog, or "".
  static std::string Run(u32 id) {
    g_asked = {};
    i32 result = 0;
    const bool taken = EditorCommands_OnEvent(APP_EVENT_COMMAND, id, &result);
    std::string box = OpenBox();
    CloseBoxes();
    if (!box.empty()) return box;
    if (!g_asked.what.empty()) return g_asked.what;
    return taken ? "" : "(not taken)";
  }

  EditorDialogs m_saved{};
  i32 m_character = -1;
};

TEST_F(EditorCommands, RowsOpenTheirBoxOrDialogOnlyWithWhatTheyNeed) {
  // Without scenes only the information box of "InsFX" and the movie commands answer.
  EXPECT_EQ(Run(kIdInsFX), "M\xfasica de fondo|1014|1");
  EXPECT_EQ(Run(kCmdSceneStopMusic), "");
  EXPECT_EQ(Run(kCmdCharacterDelete), "");
  EXPECT_EQ(Run(kIdMenuGuardar), "");
  EXPECT_EQ(Run(999), "(not taken)");

  Scene* scene = AddScene();
  CharacterInstance* sofia = AddCharacter(scene);
  TextItem* text = TextItem_Append(scene);
  const struct Row {
    u32 id;
    u32 selectKind;  // 0: nothing selected
    const char* expected;
  } rows[] = {
      {kIdInsFX, 0, "audio 25"},
      {kIdMenuGuardar, 0, "name"},
      {kCmdSceneMusic, 0, "audio 16"},
      {kCmdSceneStopMusic, 0, "M\xfasica de fondo|1023|3"},
      {kCmdSceneAddFloatingText, 0, "text 0"},
      {kCmdSceneAddEffect, 0, "audio 9"},
      {101001 + 998, 0, "Borrar audio|1022|3"},
      {101001 + 999, 0, "(not taken)"},  // past the entries a menu can hold
      {kCmdCharacterDelete, 0, ""},
      {kCmdCharacterDelete, kHitCharacter, "Borrar personaje|1016|3"},
      {kCmdCharacterDeleteAction, kHitCharacter, "Borrar acci\xf3n|1019|3"},
      {111001, kHitCharacter, "Borrar texto|1021|3"},
      {112001, kHitCharacter, "Borrar audio|1022|3"},
      {kCmdCharacterAddText, kHitCharacter, "text 0"},
      {kCmdCharacterAddSound, kHitCharacter, "audio 15"},
      {111001, kHitObject, ""},  // a character's entry with an object selected
      {kCmdObjectDelete, kHitCharacter, ""},
      {kCmdTextDelete, kHitText, "Borrar texto|1018|3"},
      {kCmdTextDelete, kHitCharacter, ""},
  };
  for (const Row& row : rows) {
    if (row.selectKind == kHitCharacter) Select(kHitCharacter, sofia);
    if (row.selectKind == kHitText) Select(kHitText, text);
    if (row.selectKind == kHitObject) Select(kHitObject, nullptr);
    if (row.selectKind == 0) Select(0, nullptr);
    EXPECT_EQ(Run(row.id), row.expected) << row.id;
  }
}

TEST_F(EditorCommands, StartingAnActionFollowsTheLastActionAndTheState) {
  Scene* scene = AddScene();
  CharacterInstance* sofia = AddCharacter(scene);
  Select(kHitCharacter, sofia);
  const struct Row {
    u32 id;
    i32 last;
    const char* expected;
    u32 pending;
  } rows[] = {
      {kCmdCharacterNewAction, -1, "action -1", kCmdCharacterNewAction},
      {kCmdCharacterRepeatAction, -1, "", kCmdCharacterRepeatAction},  // never placed: nothing
      {kCmdCharacterRepeatAction, 0, "action 0", kCmdCharacterRepeatAction},
      {kCmdCharacterRepeatAction, -2, "action 1", kCmdCharacterSpokenDialogue},  // asks for audio again
      {kCmdCharacterRepeatAction, -3, "action 1", kCmdCharacterWrittenDialogue},
      {kCmdCharacterWrittenDialogue, -1, "action 1", kCmdCharacterWrittenDialogue},
  };
  for (const Row& row : rows) {
    sofia->lastPlacedAction = row.last;
    EXPECT_EQ(Run(row.id), row.expected) << row.id << " " << row.last;
    EXPECT_EQ(Editor_State().placement.pendingCommand, row.pending) << row.id << " " << row.last;
  }
  // In a state without a talk action a dialogue offers nothing.
  CharacterCatalog_GetAt(u32(m_character))->states[0]->talkAction = -1;
  EXPECT_EQ(Run(kCmdCharacterSpokenDialogue), "");
  // Actions that run after the current frame are announced first.
  CharacterCatalog_GetAt(u32(m_character))->states[0]->talkAction = 1;
  CharacterActionEntry* entry = CharacterActionEntry_Append(sofia);
  entry->startFrame = 50, entry->endFrame = 80;
  scene->currentFrame = 10;
  EXPECT_EQ(Run(kCmdCharacterNewAction), "Acciones|1015|3");
  scene->currentFrame = 80;
  EXPECT_EQ(Run(kCmdCharacterNewAction), "action -1");
}

TEST_F(EditorCommands, LeavingAModifiedMovieAsksFirst) {
  i32 result = 0;
  EXPECT_FALSE(EditorCommands_OnEvent(APP_EVENT_CLOSE_REQUEST, 0, &result));  // nothing to lose
  EXPECT_EQ(Run(APP_CLOSE_BUTTON_ID), "(not taken)");
  AddScene();
  Movie_Get()->modified = 1;
  EXPECT_TRUE(EditorCommands_OnEvent(APP_EVENT_CLOSE_REQUEST, 0, &result));
  EXPECT_EQ(OpenBox(), "Salir...|1001|4");
  CloseBoxes();
  EXPECT_EQ(Run(APP_CLOSE_BUTTON_ID), "Salir...|1002|4");
  EXPECT_EQ(Run(kIdMenuNuevo), "Nueva pel\xed" "cula|1015|3");
  EXPECT_EQ(result, 0);
}

}  // namespace
