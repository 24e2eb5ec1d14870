// The editor screen on the sample catalogue (loaded once through the loading screen):
// the toolbar as the child sees it, the undo button, the pickers with their paging and
// additions, the scene commands and the question before deleting a scene.
#include <gtest/gtest.h>

#include <string>

#include "adventure/catalog/CharacterCatalog.h"
#include "adventure/catalog/ObjectCatalog.h"
#include "adventure/catalog/SceneCatalog.h"
#include "app/services/AppServices.h"
#include "app/services/CMyGuiManager.h"
#include "app/editor/EditorMenus.h"
#include "app/editor/EditorScreen.h"
#include "app/editor/EditorState.h"
#include "app/screens/LoadingScreen.h"
#include "app/services/ModalStack.h"
#include "app/dialogs/MsgBox.h"
#include "app/editor/PickerButtons.h"
#include "app/dialogs/Pickers.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "gui/SLGuiButton.h"
#include "gui/SLGuiScrollBar.h"
#include "gui/SLGuiSlider.h"
#include "platform/kernel32/Modules.h"
#include "tests/app/LoadingFixtures.h"
#include "tests/support/AppHarness.h"

namespace {

class EditorScreen : public AppScreenTest {
 protected:
  static void SetUpTestSuite() {
    AppScreenTest::SetUpTestSuite();
    // The fixture set: 7 backgrounds, 13 objects and 9 characters.
    SLPlatformSetProgramFileName(LoadingFixtures::ProgramIn(LoadingFixtures::Dir()).c_str());
    s_loaded = LoadingScreen_Run();
    SLPlatformSetProgramFileName(AppHarness::ProgramPath().c_str());
  }
  static void TearDownTestSuite() {
    SceneCatalog_Free();
    ObjectCatalog_Free();
    CharacterCatalog_Free();
    AppScreenTest::TearDownTestSuite();
  }
  void SetUp() override {
    AppScreenTest::SetUp();
    ASSERT_EQ(s_loaded, 1);
    EditorScreen_Load();
  }
  void TearDown() override {
    EditorScreen_Free();
    AppScreenTest::TearDown();
  }
  static void Send(u32 id) { EditorScreen_OnEvent(APP_EVENT_COMMAND, id, &Editor_State().result); }
  // Runs the deferred calls and commands queued so far (a box's answer arrives this way).
  static void RunQueue() {
    AppEvent event;
    while (AppEventQueue_Take(&event)) EditorScreen_OnEvent(event.type, event.data, &Editor_State().result);
  }
  static CSL_GS_GuiWindow* Child(CSL_GS_GuiWindow* parent, u32 id) {
    return App_GuiManager().FindChildById(parent, id);
  }
  static CSL_GS_GuiScrollBarBase* Bar(CSL_GS_GuiWindow* dialog) {
    return static_cast<CSL_GS_GuiScrollBarBase*>(Child(dialog, 1001));
  }
  static u32 SceneCount() { return Movie_SceneCount(Editor_Movie()); }

  static inline i32 s_loaded = 0;
};

u32 CatalogCount(CatalogList& list) {
  u32 n = 0;
  while (CatalogList_GetAt(&list, n)) ++n;
  return n;
}

TEST_F(EditorScreen, EveryToolbarControlIsInPlaceWithItsPicturesAndTooltip) {
  struct Row {
    u32 id;
    i32 x, y, width, height;  // 0: the size of the normal picture
    bool visible, enabled;
    const char* tooltip;
  } rows[] = {
      {101, 33, 160, 0, 0, true, true, "Agrega una nueva escena"},
      {102, 33, 222, 0, 0, true, true, "Agrega un nuevo personaje"},
      {103, 33, 284, 0, 0, true, true, "Agrega un nuevo objeto"},
      {104, 33, 346, 0, 0, true, true, "Agrega una canci\xf3n o sonido"},
      {156, 510, 538, 43, 24, true, true, "Ir a la escena anterior"},
      {155, 507, 529, 0, 0, true, true, "Ir a la escena anterior"},
      {158, 566, 538, 43, 24, true, true, "Ver opciones de la escena actual"},
      {157, 563, 529, 0, 0, true, true, "Ver opciones de la escena actual"},
      {160, 622, 538, 43, 24, true, true, "Ir a la siguiente escena"},
      {159, 619, 529, 0, 0, true, true, "Ir a la siguiente escena"},
      {151, 473, 537, 0, 0, true, true, "Ir a la escena anterior"},
      {152, 663, 537, 0, 0, true, true, "Ir a la siguiente escena"},
      {153, 573, 573, 0, 0, true, true, "Mover la escena antes que la previa"},
      {154, 592, 573, 0, 0, true, true, "Mover la escena atr\xe1s de la siguiente"},
      {201, 26, 538, 0, 0, true, true, "Seleccionar el elemento anterior"},
      {202, 68, 538, 0, 0, true, true, "Seleccionar el siguiente elemento"},
      {203, 40, 453, 39, 61, true, true, "Ver opciones del elemento seleccionado"},
      {251, 714, 524, 0, 0, true, true, "Previsualizar la pel\xed" "cula"},
      {252, 123, 536, 0, 0, true, true, "Previsualizar la escena actual"},
      {253, 123, 536, 0, 0, false, true, "Detener previsualizaci\xf3n"},
      {254, 162, 540, 0, 0, true, true, "Ir al cuadro anterior"},
      {255, 413, 540, 0, 0, true, true, "Ir al siguiente cuadro"},
      {256, 200, 521, 207, 60, true, true, "Moverse a trav\xe9s de los cuadros de la escena actual"},
      {301, 123, 123, 0, 0, true, true, "Comenzar una nueva pel\xed" "cula"},
      {302, 153, 123, 0, 0, true, true, "Cargar una pel\xed" "cula guardada"},
      {303, 183, 123, 0, 0, true, true, "Guardar la pel\xed" "cula actual"},
      {304, 217, 123, 0, 0, true, true, "Exportar la pel\xed" "cula actual"},
      {305, 244, 123, 0, 0, true, false, "Deshacer el \xfaltimo cambio efectuado"},
      {306, 274, 123, 0, 0, true, true, "Ver la pel\xed" "cula en el cine"},
      {307, 375, 123, 0, 0, true, true, "Ayuda del programa"},
  };
  for (const Row& row : rows) {
    CSL_GS_GuiWindow* control = TopLevelWithId(row.id);
    ASSERT_NE(control, nullptr) << row.id;
    const SLGuiRect& rect = control->GetWindowRect();
    EXPECT_EQ(rect.x, row.x) << row.id;
    EXPECT_EQ(rect.y, row.y) << row.id;
    if (row.width) {
      EXPECT_EQ(rect.width, row.width) << row.id;
      EXPECT_EQ(rect.height, row.height) << row.id;
    } else {
      // Sized to its normal picture.
      ASSERT_TRUE(control->IsKindOf(CSL_GS_GuiButton::GetClassRecord()));
      EXPECT_GT(rect.width, 0) << row.id;
      EXPECT_GT(rect.height, 0) << row.id;
    }
    EXPECT_EQ(control->IsVisibleInTree(), row.visible) << row.id;
    EXPECT_EQ(control->IsEnabled(), row.enabled) << row.id;
    EXPECT_STREQ(EditorScreen_TooltipText(row.id), row.tooltip) << row.id;
  }
  EXPECT_TRUE(TopLevelWithId(156)->IsKindOf(CMyMiniItemPreviewButton::GetClassRecord()));
  EXPECT_TRUE(TopLevelWithId(256)->IsKindOf(CSL_GS_GuiHSlider::GetClassRecord()));
  EXPECT_EQ(EditorScreen_TooltipText(401), nullptr);
}

TEST_F(EditorScreen, TheBackgroundPickerPagesByRowsAndAddsTheChosenScene) {
  ASSERT_EQ(CatalogCount(SceneCatalog), 7u);
  Send(kIdInsEscena);
  CSL_GS_GuiWindow* dialog = TopLevelWithId(1008);
  ASSERT_NE(dialog, nullptr);
  EXPECT_STREQ(dialog->GetText(), "Elije un escenario");
  EXPECT_EQ(ModalStack_GetDepth(), 1u);
  EXPECT_EQ(Bar(dialog)->GetRange(), 1u);
  EXPECT_STREQ(Child(dialog, 101)->GetText(), SceneCatalog_GetAt(0)->name.CStr());
  ASSERT_TRUE(Bar(dialog)->SetPosition(1));
  dialog->OnVScroll(Bar(dialog), 5, 1, 0);
  for (u32 slot = 0; slot < 6; ++slot) {
    CSL_GS_GuiWindow* button = Child(dialog, 101 + slot);
    if (slot < 4) {
      EXPECT_TRUE(button->IsVisibleInTree()) << slot;
      EXPECT_STREQ(button->GetText(), SceneCatalog_GetAt(3 + slot)->name.CStr()) << slot;
    } else {
      EXPECT_FALSE(button->IsVisibleInTree()) << slot;
    }
  }
  dialog->OnCommand(dialog, 101);
  EXPECT_EQ(TopLevelWithId(1008), nullptr);
  EXPECT_EQ(ModalStack_GetDepth(), 0u);
  ASSERT_EQ(SceneCount(), 1u);
  EXPECT_EQ(Editor_CurrentScene()->background, 3);
  EXPECT_TRUE(TopLevelWithId(kIdMenuDeshacer)->IsEnabled());
  // Undo takes the scene back and, with nothing left to undo, disables the button again.
  Send(kIdMenuDeshacer);
  EXPECT_EQ(SceneCount(), 0u);
  EXPECT_FALSE(TopLevelWithId(kIdMenuDeshacer)->IsEnabled());
}

TEST_F(EditorScreen, ObjectAndCharacterPickersNeedASceneAndAddToIt) {
  Send(kIdInsObjeto);
  CSL_GS_GuiWindow* box = TopLevelWithId(1014);
  ASSERT_NE(box, nullptr);  // "Antes de colocar un objeto debes crear una escena."
  box->OnClose();
  RunQueue();
  EXPECT_EQ(ModalStack_GetDepth(), 0u);
  EXPECT_EQ(TopLevelWithId(1010), nullptr);

  Movie_AddScene(0);
  ASSERT_EQ(CatalogCount(ObjectCatalog), 13u);
  Send(kIdInsObjeto);
  CSL_GS_GuiWindow* objects = TopLevelWithId(1010);
  ASSERT_NE(objects, nullptr);
  EXPECT_EQ(Bar(objects)->GetRange(), 1u);  // 13 objects: one more row than the twelve shown
  objects->OnTimer(1);
  objects->OnCommand(objects, 102);
  ASSERT_EQ(Scene_ObjectCount(Editor_CurrentScene()), 1u);
  EXPECT_EQ(Scene_ObjectAt(Editor_CurrentScene(), 0)->object, 1);

  ASSERT_EQ(CatalogCount(CharacterCatalog), 9u);
  Send(kIdInsPersonaje);
  CSL_GS_GuiWindow* characters = TopLevelWithId(1011);
  ASSERT_NE(characters, nullptr);
  EXPECT_EQ(Bar(characters)->GetRange(), 1u);
  ASSERT_TRUE(Bar(characters)->SetPosition(1));
  characters->OnTimer(1);
  for (u32 slot = 0; slot < 8; ++slot) {
    CSL_GS_GuiWindow* button = Child(characters, 101 + slot);
    EXPECT_EQ(button->IsVisibleInTree(), slot < 5) << slot;
    if (slot < 5) {
      EXPECT_STREQ(button->GetText(), CharacterCatalog_GetAt(4 + slot)->name.CStr()) << slot;
    }
  }
  characters->OnClose();  // "&Cancelar": nothing is added
  EXPECT_EQ(Scene_CharacterCount(Editor_CurrentScene()), 0u);
  EXPECT_EQ(ModalStack_GetDepth(), 0u);
  Send(kIdInsPersonaje);
  characters = TopLevelWithId(1011);
  characters->OnCommand(characters, 108);  // the eighth character, on the first page
  ASSERT_EQ(Scene_CharacterCount(Editor_CurrentScene()), 1u);
  EXPECT_EQ(Scene_CharacterAt(Editor_CurrentScene(), 0)->character, 7);
}

TEST(EditorPickers, PreviewPicturesFitNinetyBySixty) {
  struct Row {
    i32 w, h, fitW, fitH;
  } rows[] = {{80, 50, 80, 50}, {180, 60, 90, 30}, {45, 120, 22, 60}, {90, 60, 90, 60}, {91, 10, 90, 9}, {0, 0, 0, 0}};
  for (const Row& row : rows) {
    i32 w = -1, h = -1;
    Picker_PreviewSize(row.w, row.h, &w, &h);
    EXPECT_EQ(w, row.fitW) << row.w << "x" << row.h;
    EXPECT_EQ(h, row.fitH) << row.w << "x" << row.h;
  }
}

TEST_F(EditorScreen, TheCurrentSceneIsDeletedOnYesOnly) {
  for (i32 background : {0, 1, 2}) Movie_AddScene(background);
  Movie_SelectScene(Editor_Movie(), 1);
  ChooseEscenaDialog_AskDeleteScene();
  CSL_GS_GuiWindow* box = TopLevelWithId(1009);
  ASSERT_NE(box, nullptr);
  EXPECT_STREQ(box->GetText(), "Elimar escena");
  box->OnCommand(box, MSGBOX_NO);
  RunQueue();
  EXPECT_EQ(SceneCount(), 3u);
  ChooseEscenaDialog_AskDeleteScene();
  AppHarness::AnswerYes(0, 1009);
  RunQueue();
  ASSERT_EQ(SceneCount(), 2u);
  EXPECT_EQ(Editor_Movie()->currentScene, 0u);  // the scene before the deleted one
  EXPECT_EQ(Movie_SceneAt(Editor_Movie(), 1)->background, 2);
  // The first scene's predecessor is scene 0; the last scene leaves an empty movie.
  ChooseEscenaDialog_OnDeleteAnswer(MSGBOX_YES, 0);
  ChooseEscenaDialog_OnDeleteAnswer(MSGBOX_YES, 0);
  EXPECT_EQ(SceneCount(), 0u);
  EXPECT_EQ(Editor_Movie()->currentScene, 0u);
  EXPECT_EQ(ModalStack_GetDepth(), 0u);
}

TEST_F(EditorScreen, SceneButtonsMoveBetweenScenesAndReorderThem) {
  for (i32 background : {0, 1, 2}) Movie_AddScene(background);
  Movie* movie = Editor_Movie();
  auto order = [movie] {
    std::string text;
    for (u32 i = 0; i < Movie_SceneCount(movie); ++i) text += char('0' + Movie_SceneAt(movie, i)->background);
    return text + "@" + char('0' + movie->currentScene);
  };
  EXPECT_EQ(order(), "012@2");
  Send(kIdManEscIrSig);  // already the last
  EXPECT_EQ(order(), "012@2");
  Send(kIdManEscFotog1a);
  EXPECT_EQ(order(), "012@1");
  Send(kIdManEscMovAnt);
  EXPECT_EQ(order(), "102@0");
  Send(kIdManEscMovAnt);  // already the first
  EXPECT_EQ(order(), "102@0");
  Send(kIdManEscMovSig);
  Send(kIdManEscMovSig);
  EXPECT_EQ(order(), "021@2");
  Send(kIdManEscIrAnt);
  Send(kIdManEscFotog1b);
  EXPECT_EQ(order(), "021@0");
  // The editor's seam is watched on its way to the real menu.
  static u32 s_opens;
  s_opens = 0;
  Editor_SetSceneMenu([] {
    ++s_opens;
    EditorScreen_ShowSceneMenu();
  });
  Send(kIdManEscFotog2a);
  EXPECT_EQ(s_opens, 1u);
  EditorMenus_Close();
  EditorMenus_Install();
}

}  // namespace
