// The start-up dialog, the project chooser and the action dialog, shown in the program
// started on the dummy drivers and driven through their commands, keys and timers; their
// answers are read back from the application's event queue.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "adventure/catalog/CharacterCatalog.h"
#include "adventure/movie/Movie.h"
#include "app/dialogs/ActionDialog.h"
#include "app/services/AppServices.h"
#include "app/services/CMyGuiManager.h"
#include "app/services/ModalStack.h"
#include "app/dialogs/MsgBox.h"
#include "app/dialogs/ProjectDialogs.h"
#include "app/project/ProjectFile.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "foundation/SLWideText.h"
#include "gui/SLGuiEdit.h"
#include "gui/SLGuiScrollBar.h"
#include "platform/kernel32/Modules.h"
#include "tests/support/AppHarness.h"
#include "tests/support/CatalogScreenTest.h"
#include "tests/support/SampleCatalog.h"
#include "tests/support/ScreenGolden.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

std::vector<AppEvent> TakeEvents() {
  std::vector<AppEvent> events;
  AppEvent event;
  while (AppEventQueue_Take(&event)) events.push_back(event);
  return events;
}

CSL_GS_GuiWindow* Child(CSL_GS_GuiWindow* dialog, u32 id) { return App_GuiManager().FindChildById(dialog, id); }

// The program with the sample set loaded and a scratch program folder whose "Aventuras
// Guardadas" each test fills.
class ProjectDialogs : public CatalogScreenTest {
 protected:
  void SetUp() override {
    CatalogScreenTest::SetUp();
    m_dir = std::make_unique<TempDir>();
    fs::create_directories(m_dir->Host("Aventuras Guardadas"));
    SLPlatformSetProgramFileName(m_dir->Host("Zarandulvortequimbaplastelo").c_str());
  }
  void TearDown() override {
    AppHarness::DrainQueue();
    SLPlatformSetProgramFileName(AppHarness::ProgramPath().c_str());
    m_dir.reset();
    CatalogScreenTest::TearDown();
  }
  // Copies of the sample movie under the given (UTF-8) names.
  void AddProjects(const std::vector<std::string>& names) {
    const std::string sample = AppHarness::ContentDir() + "/Aventuras Guardadas/Paseo en el parque.ZQTR";
    for (const std::string& name : names) fs::copy_file(sample, m_dir->Host("Aventuras Guardadas/" + name + ".ZQTR"));
  }
  std::unique_ptr<TempDir> m_dir;
};

TEST_F(ProjectDialogs, StartUpAnswersWithThePressedButtonAndCloses) {
  for (u32 id : {101u, 102u, 103u, 104u, 2u}) {
    SCOPED_TRACE(id);
    ASSERT_TRUE(StartUpDialog_Show());
    CSL_GS_GuiWindow* dialog = TopLevelWithId(1003);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(ModalStack_GetDepth(), 1u);
    for (u32 button : {101u, 102u, 103u, 104u, 2u}) EXPECT_NE(Child(dialog, button), nullptr);
    EXPECT_FALSE(dialog->OnCommand(dialog, 7));  // not one of its buttons: the dialog stays
    if (id == 2)
      dialog->OnClose();
    else
      dialog->OnCommand(Child(dialog, id), id);
    EXPECT_EQ(TopLevelWithId(1003), nullptr);
    EXPECT_EQ(ModalStack_GetDepth(), 0u);
    const std::vector<AppEvent> events = TakeEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].type, u32(APP_EVENT_STARTUP_ANSWER));
    EXPECT_EQ(events[0].data, id);
  }
}

// The start-up dialog as the GUI draws it: its four buttons with their pictures and
// captions, each caption whole inside its button, against a golden crop (every channel
// within 2 but for at most 0.2 % of the pixels). Remade after a deliberate change with
//   SL_WRITE_GOLDEN=1 build/tests/test_app_ProjectDialogsTest --gtest_filter=ProjectDialogs.StartUpMatchesItsGolden
TEST_F(ProjectDialogs, StartUpMatchesItsGolden) {
  ASSERT_TRUE(StartUpDialog_Show());
  CSL_GS_GuiWindow* dialog = TopLevelWithId(1003);
  ASSERT_NE(dialog, nullptr);
  SLGuiRect first{}, last{};
  ASSERT_TRUE(Child(dialog, 101)->GetScreenRectR(&first));
  ASSERT_TRUE(Child(dialog, 104)->GetScreenRectR(&last));
  const i32 width = last.x + last.width - first.x, height = last.y + last.height - first.y;
  const std::string crop = AppHarness::GuiCrop(0xFF402010, first.x, first.y, width, height);
  dialog->OnClose();
  TakeEvents();
  EXPECT_TRUE(SLTestMatchesGolden(crop, width, height, SL_SOURCE_DIR "/tests/app/golden/startup_dialog.png"));
}

// An empty folder, six projects and seven: the bar, "&Aceptar" and the focus as the user
// finds them; files that are not projects never appear.
TEST_F(ProjectDialogs, ChooserListsOnlyProjectsAndSizesItsBar) {
  m_dir->Write("Aventuras Guardadas/ajeno.ZQTR", "no es un proyecto");
  fs::create_directories(m_dir->Host("Aventuras Guardadas/carpeta.ZQTR"));
  const struct {
    u32 projects;
    u32 range;
    bool barEnabled;
  } rows[] = {{0, 0, false}, {6, 0, false}, {7, 1, true}};
  u32 made = 0;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.projects);
    for (; made < row.projects; ++made) AddProjects({"p" + std::to_string(made)});
    ChooseProjectFileDialog_Show(2);
    auto* dialog = static_cast<CMyGameChooseProjectFileDialog*>(TopLevelWithId(1025));
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->fileCount, row.projects);
    auto* bar = static_cast<CSL_GS_GuiScrollBarBase*>(Child(dialog, 1001));
    EXPECT_EQ(bar->GetRange(), row.range);
    EXPECT_EQ(bar->IsEnabled(), row.barEnabled);
    EXPECT_FALSE(Child(dialog, 1)->IsEnabled());
    EXPECT_EQ(App_GuiManager().GetFocusWindow(), Child(dialog, row.projects ? 101 : 2));
    // "&Aceptar" before a row is chosen does nothing.
    dialog->OnCommand(Child(dialog, 1), 1);
    EXPECT_EQ(TopLevelWithId(1025), dialog);
    dialog->OnClose();
    EXPECT_EQ(TopLevelWithId(1025), nullptr);
    EXPECT_EQ(ModalStack_GetDepth(), 0u);
    const std::vector<AppEvent> events = TakeEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].type, u32(APP_EVENT_PROJECT_CANCELLED));
    EXPECT_EQ(events[0].data, 2u);
  }
}

// After the bar moves, each row shows, and loads, the project at its place in the list.
TEST_F(ProjectDialogs, AfterScrollingARowLoadsTheProjectItShows) {
  AddProjects({"uno", "dos", "tres", "cuatro", "cinco", "seis", "siete", "Adi\xC3\xB3s"});
  ChooseProjectFileDialog_Show(3);
  auto* dialog = static_cast<CMyGameChooseProjectFileDialog*>(TopLevelWithId(1025));
  ASSERT_NE(dialog, nullptr);
  ASSERT_EQ(dialog->fileCount, 8u);
  auto* bar = static_cast<CSL_GS_GuiScrollBarBase*>(Child(dialog, 1001));
  ASSERT_EQ(bar->GetRange(), 2u);
  bar->OnKeyDown(SL_GUI_KEY_DOWN);
  bar->OnKeyUp(SL_GUI_KEY_DOWN);
  bar->OnKeyDown(SL_GUI_KEY_DOWN);
  bar->OnKeyUp(SL_GUI_KEY_DOWN);
  ASSERT_EQ(bar->GetPosition(), 2u);
  for (u32 i = 0; i < 6; ++i) EXPECT_STREQ(Child(dialog, 101 + i)->GetText(), dialog->files[2 + i]);
  // The last row, whatever the folder's order put there.
  const std::string shown = Child(dialog, 106)->GetText();
  dialog->OnCommand(Child(dialog, 106), 106);
  EXPECT_EQ(dialog->selected, 7u);
  EXPECT_TRUE(Child(dialog, 1)->IsEnabled());
  // The selection frame blinks on the chosen row while it is in view.
  CSL_GS_GuiWindow* frame = Child(dialog, 1002);
  const bool before = frame->IsVisibleInTree();
  dialog->OnTimer(1);
  EXPECT_NE(frame->IsVisibleInTree(), before);
  dialog->OnCommand(Child(dialog, 1), 1);
  EXPECT_EQ(TopLevelWithId(1025), nullptr);
  EXPECT_STREQ(Movie_Get()->name, shown.c_str());
  const std::vector<AppEvent> events = TakeEvents();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].type, u32(APP_EVENT_PROJECT_LOADED));
  EXPECT_EQ(events[0].data, 3u);
}

TEST_F(ProjectDialogs, ANameWithAnAccentIsListedAndLoadsAndADamagedProjectFails) {
  AddProjects({"Adi\xC3\xB3s"});
  std::string damaged = m_dir->Read("Aventuras Guardadas/Adi\xC3\xB3s.ZQTR");
  damaged[100] = char(damaged[100] ^ 1);
  m_dir->Write("Aventuras Guardadas/roto.ZQTR", damaged);
  for (const char* name : {"Adi\xF3s", "roto"}) {
    SCOPED_TRACE(name);
    ChooseProjectFileDialog_Show(4);
    auto* dialog = static_cast<CMyGameChooseProjectFileDialog*>(TopLevelWithId(1025));
    ASSERT_NE(dialog, nullptr);
    ASSERT_EQ(dialog->fileCount, 2u);
    const u32 row = std::string(dialog->files[0]) == name ? 101 : 102;
    EXPECT_STREQ(Child(dialog, row)->GetText(), name);
    dialog->OnCommand(Child(dialog, row), row);
    dialog->OnCommand(Child(dialog, 1), 1);
    const std::vector<AppEvent> events = TakeEvents();
    ASSERT_EQ(events.size(), 1u);
    const bool good = std::string(name) != "roto";
    EXPECT_EQ(events[0].type, u32(good ? APP_EVENT_PROJECT_LOADED : APP_EVENT_PROJECT_LOAD_FAILED));
    EXPECT_EQ(events[0].data, 4u);
    EXPECT_EQ(Movie_SceneCount(Movie_Get()), good ? 2u : 0u);
  }
}

// --- The action dialog -------------------------------------------------------------------

CharacterAction* g_chosen = nullptr;
u32 g_chosenCalls = 0;
void RecordChoice(CharacterAction* action, u32) {
  g_chosen = action;
  ++g_chosenCalls;
}

// A character of its own: actions 0-8 offered in every state, 9 hidden, 10 only while
// seated, 11 only while standing ("parada" in another letter case), 12 faces right only.
class ActionDialog : public ProjectDialogs {
 protected:
  void SetUp() override {
    ProjectDialogs::SetUp();
    g_chosen = nullptr, g_chosenCalls = 0;
    ChoosePersonajeAccionDialog_SetContinuation(RecordChoice);
    CSL_GS_BaseGfx* gfx = App_Services().gfx;
    auto* record = static_cast<CharacterRecord*>(SLAlloc(sizeof(CharacterRecord)));
    CharacterRecord_Construct(record);
    record->name = "Zoe", record->itemClass = "Prueba", record->initialState = "Parada";
    for (const char* stateName : {"Parada", "Sentada"}) {
      CharacterState* state = CatalogAppendNew(&record->states, [](CharacterState* s) {
        new (s) CharacterState;
        s->defaultAction = 0, s->walkAction = s->talkAction = -1, s->exitFlag = 0;
      });
      state->name = stateName;
    }
    for (u32 a = 0; a < 13; ++a) {
      CharacterAction* action = CatalogAppendNew(&record->actions, CharacterAction_Construct);
      action->name = ("accion " + std::to_string(a)).c_str();
      action->visible = a != 9;
      if (a == 10) action->availableInState = "Sentada";
      if (a == 11) action->availableInState = "parada";
      // The last one faces right only, in a picture larger than a button's preview.
      action->frames[a == 12 ? 7 : 0].Add(sample_catalog::Picture(gfx, a == 12 ? 150 : 20, a == 12 ? 100 : 30));
      action->sequence.Add(0);
      action->duration = 100;
    }
    const char* fields[] = {"Zoe", "Prueba", "Parada"};
    ItemId_Compute(&record->id, fields, 3);
    ASSERT_TRUE(CatalogList_Insert(&CharacterCatalog, record));
    m_record = record;
    Movie_Clear(Movie_Get());
    m_scene = Movie_AppendScene(Movie_Get());
    m_scene->length = 600, m_scene->currentFrame = 100;
    m_placed = CharacterInstance_New();
    m_placed->scene = m_scene, m_placed->character = CharacterCatalog_FindById(record->id);
    m_placed->firstFrame = 50, m_placed->endFrame = 0xFFFFFFFF;
    List_Append(&m_scene->characters, &m_placed->link);
  }
  void TearDown() override {
    Movie_Clear(Movie_Get());
    CSL_GS_GuiWindow* leftover = TopLevelWithId(1012);
    if (leftover) leftover->OnClose();
    // The record leaves the catalogue so that the sample set's indexes stay as they were.
    for (CatalogLink* link = CharacterCatalog.head.next; link != &CharacterCatalog.head; link = link->next)
      if (reinterpret_cast<CatalogEntry*>(reinterpret_cast<u8*>(link) - offsetof(CatalogEntry, link)) == m_record) {
        link->prev->next = link->next, link->next->prev = link->prev;
        CharacterRecord_Destruct(m_record);
        SLFree(m_record);
        break;
      }
    ProjectDialogs::TearDown();
  }
  CharacterRecord* m_record = nullptr;
  Scene* m_scene = nullptr;
  CharacterInstance* m_placed = nullptr;
};

TEST_F(ActionDialog, OffersVisibleActionsOfTheCurrentStateFourToARow) {
  ChoosePersonajeAccionDialog_Show(m_placed, -1);
  auto* dialog = static_cast<CMyGameChoosePersonajeAccionDialog*>(TopLevelWithId(1012));
  ASSERT_NE(dialog, nullptr);
  // 0-8, 11 (standing, letter case aside) and 12: eleven offered.
  ASSERT_EQ(dialog->actions.GetCount(), 11u);
  EXPECT_EQ(dialog->actions[9], CatalogRecord_GetListEntryAt(m_record, 11));
  auto* bar = static_cast<CSL_GS_GuiScrollBarBase*>(Child(dialog, 1001));
  EXPECT_EQ(bar->GetRange(), 1u);
  bar->SetPosition(1);
  dialog->OnTimer(1);
  EXPECT_STREQ(Child(dialog, 101)->GetText(), "accion 4");
  for (u32 id = 101; id <= 108; ++id) EXPECT_EQ(Child(dialog, id)->IsVisibleInTree(), id <= 107) << id;
  dialog->OnCommand(Child(dialog, 102), 102);
  EXPECT_EQ(TopLevelWithId(1012), nullptr);
  EXPECT_EQ(ModalStack_GetDepth(), 0u);
  EXPECT_EQ(g_chosen, CatalogRecord_GetListEntryAt(m_record, 5));
}

TEST_F(ActionDialog, APreselectedActionIsHandedOnOnlyWhenOffered) {
  const struct {
    u32 frame;
    i32 preset;
    bool chosen;
  } rows[] = {{100, 3, true}, {100, 9, false}, {100, 10, false}, {100, 11, true}, {10, 11, false}, {10, 3, true}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.preset);
    g_chosen = nullptr;
    m_scene->currentFrame = row.frame;
    ChoosePersonajeAccionDialog_Show(m_placed, row.preset);
    EXPECT_EQ(TopLevelWithId(1012), nullptr);
    EXPECT_EQ(ModalStack_GetDepth(), 0u);
    EXPECT_EQ(g_chosen, row.chosen ? CatalogRecord_GetListEntryAt(m_record, u32(row.preset)) : nullptr);
  }
  // Cancel hands nothing on.
  g_chosenCalls = 0;
  ChoosePersonajeAccionDialog_Show(m_placed, -1);
  TopLevelWithId(1012)->OnClose();
  EXPECT_EQ(g_chosenCalls, 0u);
  EXPECT_EQ(ModalStack_GetDepth(), 0u);
}

TEST_F(ActionDialog, WithoutActionsAMessageSaysSoAndItsAnswerClosesTheDialog) {
  for (u32 a = 0; a < 13; ++a) CatalogRecord_GetListEntryAt(m_record, a)->visible = 0;
  ChoosePersonajeAccionDialog_Show(m_placed, -1);
  ASSERT_NE(TopLevelWithId(1012), nullptr);
  CSL_GS_GuiWindow* box = TopLevelWithId(1013);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(ModalStack_GetDepth(), 2u);
  box->OnCommand(box, MSGBOX_NO);
  AppEvent answer;
  ASSERT_TRUE(AppEventQueue_Take(&answer));
  ASSERT_EQ(answer.type, u32(APP_EVENT_DEFERRED_CALL));
  AppEvent_RunDeferredCall(reinterpret_cast<DeferredCall*>(answer.data));
  EXPECT_EQ(TopLevelWithId(1012), nullptr);
  EXPECT_EQ(ModalStack_GetDepth(), 0u);
  EXPECT_EQ(g_chosenCalls, 0u);
}

}  // namespace

// --- The project-name dialog -------------------------------------------------------------

namespace {

CSL_GS_GuiWindow* ShowNameDialog(const char* movieName) {
  Movie* movie = Movie_Get();
  SLFree(movie->name);
  movie->name = movieName ? SLDuplicateText(movieName, SLTextLength(movieName)) : nullptr;
  AskProjectNameDialog_Show();
  return AppHarness::TopLevelWithId(1004);
}

// Answers the open box `id` with its only button and runs the answer's completion.
void AnswerBox(u32 id) {
  CSL_GS_GuiWindow* box = AppHarness::TopLevelWithId(id);
  ASSERT_NE(box, nullptr);
  box->OnCommand(box, MSGBOX_ACCEPT);
  AppEvent answer;
  while (AppEventQueue_Take(&answer))
    if (answer.type == APP_EVENT_DEFERRED_CALL) AppEvent_RunDeferredCall(reinterpret_cast<DeferredCall*>(answer.data));
}

}  // namespace

// What a child may type: letters, Spanish accents, digits, "-" and spaces; anything else
// is dropped, set text is cleaned, and 30 characters is the most.
TEST_F(ProjectDialogs, NameEditKeepsOnlyNameCharactersUpToThirty) {
  CSL_GS_GuiWindow* dialog = ShowNameDialog("Mi_pel\xed" "cula!");
  ASSERT_NE(dialog, nullptr);
  auto* edit = static_cast<CSL_GS_GuiEdit*>(Child(dialog, 102));
  EXPECT_STREQ(edit->GetText(), "Mipel\xed" "cula");
  EXPECT_EQ(App_GuiManager().GetFocusWindow(), edit);
  edit->SetText("");
  for (u32 c : {u32('a'), u32(' '), u32('!'), 0xE7u, 0xF1u, u32('-'), u32('_'), 0xD1u, 0x2000u, u32('7')})
    edit->OnChar(c);
  EXPECT_STREQ(edit->GetText(), "a \xf1-\xd1" "7");
  edit->OnChar(8);  // backspace still works
  EXPECT_STREQ(edit->GetText(), "a \xf1-\xd1");
  edit->SetText("");
  for (int i = 0; i < 35; ++i) edit->OnChar('x');
  EXPECT_EQ(std::string(edit->GetText()), std::string(30, 'x'));
  dialog->OnClose();
  EXPECT_EQ(AppHarness::TopLevelWithId(1004), nullptr);
  EXPECT_EQ(ModalStack_GetDepth(), 0u);
}

TEST_F(ProjectDialogs, NameDialogRefusesAnEmptyNameAndSavesAGivenOne) {
  CSL_GS_GuiWindow* dialog = ShowNameDialog(nullptr);
  ASSERT_NE(dialog, nullptr);
  CSL_GS_GuiWindow* edit = Child(dialog, 102);
  EXPECT_STREQ(edit->GetText(), "");
  dialog->OnCommand(Child(dialog, 1), 1);
  EXPECT_EQ(AppHarness::TopLevelWithId(1004), dialog);
  CSL_GS_GuiWindow* box = AppHarness::TopLevelWithId(1026);
  ASSERT_NE(box, nullptr);
  EXPECT_STREQ(App_GuiManager().FindChildById(box, MSGBOX_FIRST_LINE_ID)->GetText(),
               "Debes ingresar el nombre de la pel\xed" "cula");
  App_GuiManager().SetFocus(Child(dialog, 2));
  AnswerBox(1026);
  EXPECT_EQ(App_GuiManager().GetFocusWindow(), edit);

  edit->SetText("Nueva aventura");
  dialog->OnCommand(Child(dialog, 1), 1);
  EXPECT_EQ(AppHarness::TopLevelWithId(1004), nullptr);
  EXPECT_TRUE(fs::exists(m_dir->Host("Aventuras Guardadas/Nueva aventura.ZQTR")));
  EXPECT_STREQ(Movie_Get()->name, "Nueva aventura");
  AnswerBox(1026);  // "La película ha sido guardada satisfactoriamente."
  EXPECT_EQ(ModalStack_GetDepth(), 0u);

  ShowNameDialog("Otra")->OnCommand(nullptr, 2);
  EXPECT_FALSE(fs::exists(m_dir->Host("Aventuras Guardadas/Otra.ZQTR")));
  EXPECT_EQ(ModalStack_GetDepth(), 0u);
}

// The movie's name stands selected in the name dialog: what the child types replaces it
// whole and is what the saved file is called; End or a click keeps the name for changing.
TEST_F(ProjectDialogs, ATypedNameReplacesThePrefilledOneAndEndOrAClickKeepsIt) {
  const char typed[] = "Sof\xed" "a y el \xf1" "and\xfa" " cantar\xed" "n";
  CSL_GS_GuiWindow* dialog = ShowNameDialog("Paseo en el parque");
  ASSERT_NE(dialog, nullptr);
  auto* edit = static_cast<CSL_GS_GuiEdit*>(Child(dialog, 102));
  ASSERT_EQ(App_GuiManager().GetFocusWindow(), edit);
  EXPECT_EQ(std::min(edit->GetAnchor(), edit->GetSelectionEnd()), 0u);
  EXPECT_EQ(std::max(edit->GetAnchor(), edit->GetSelectionEnd()), 18u);
  for (const char* c = typed; *c; ++c) App_GuiManager().GetFocusWindow()->OnChar(u8(*c));
  EXPECT_STREQ(edit->GetText(), typed);
  dialog->OnCommand(Child(dialog, 1), 1);
  EXPECT_EQ(AppHarness::TopLevelWithId(1004), nullptr);
  EXPECT_TRUE(fs::exists(m_dir->Host("Aventuras Guardadas/Sof\u00eda y el \u00f1and\u00fa cantar\u00edn.ZQTR")));
  EXPECT_FALSE(fs::exists(m_dir->Host("Aventuras Guardadas/Paseo en el parque.ZQTR")));
  AnswerBox(1026);  // "La película ha sido guardada satisfactoriamente."

  dialog = ShowNameDialog("Paseo");
  edit = static_cast<CSL_GS_GuiEdit*>(Child(dialog, 102));
  edit->OnKeyDown(SL_GUI_KEY_END);
  edit->OnChar('s');
  EXPECT_STREQ(edit->GetText(), "Paseos");
  dialog->OnCommand(nullptr, 2);

  dialog = ShowNameDialog("Paseo");
  edit = static_cast<CSL_GS_GuiEdit*>(Child(dialog, 102));
  edit->OnLButtonDown(0, 2, 5);
  edit->OnLButtonUp(0, 2, 5);
  edit->OnChar('X');
  EXPECT_STREQ(edit->GetText(), "XPaseo");
  dialog->OnCommand(nullptr, 2);
  EXPECT_EQ(ModalStack_GetDepth(), 0u);
}

// --- Saving under the name of another movie ----------------------------------------------

namespace {

// Answers the open box `id` with `answer` and runs the answer's completion.
void AnswerBoxWith(u32 id, u32 answer) {
  CSL_GS_GuiWindow* box = AppHarness::TopLevelWithId(id);
  ASSERT_NE(box, nullptr);
  if (answer == 0) box->OnClose();
  else box->OnCommand(box, answer);
  AppEvent event;
  while (AppEventQueue_Take(&event))
    if (event.type == APP_EVENT_DEFERRED_CALL) AppEvent_RunDeferredCall(reinterpret_cast<DeferredCall*>(event.data));
}

// The open box 1026's first line and style, "" without one.
std::string BoxLine() {
  auto* box = static_cast<CMyMsgBoxDialog*>(AppHarness::TopLevelWithId(1026));
  if (!box) return "";
  return std::string(App_GuiManager().FindChildById(box, MSGBOX_FIRST_LINE_ID)->GetText()) + "|" +
         std::to_string(box->GetBoxStyle());
}

const char kReplaceLine[] = "Ya existe una pel\xed" "cula con ese nombre.|3";
const char kSavedLine[] = "La pel\xed" "cula ha sido guardada satisfactoriamente.|1";

}  // namespace

// A brother's movie of the typed name (in any letter case) is replaced only after "&Si";
// "&No" or closing the question writes nothing, keeps the movie's name and leaves the
// dialog with the typed name. The movie's own file is saved over without a question, and
// a cleared movie has no file of its own.
TEST_F(ProjectDialogs, SavingOverAnotherMovieAsksFirst) {
  AddProjects({"Paseo en el parque"});
  Movie empty;
  Movie_Init(&empty);
  ASSERT_EQ(ProjectFile_WriteMovie(&empty, m_dir->Win("Aventuras Guardadas/Hermano.ZQTR").c_str()), SL_OK);
  const std::string ours = m_dir->Read("Aventuras Guardadas/Paseo en el parque.ZQTR");
  const std::string brothers = m_dir->Read("Aventuras Guardadas/Hermano.ZQTR");
  ASSERT_NE(ours, brothers);
  ASSERT_EQ(ProjectFile_Load("Paseo en el parque"), 1u);
  const auto folder = [&] {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(m_dir->Host("Aventuras Guardadas")))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  };
  const std::vector<std::string> before = folder();

  for (const char* typed : {"Hermano", "hERMANO"}) {
    AskProjectNameDialog_Show();
    CSL_GS_GuiWindow* dialog = AppHarness::TopLevelWithId(1004);
    ASSERT_NE(dialog, nullptr);
    CSL_GS_GuiWindow* edit = Child(dialog, 102);
    edit->SetText(typed);
    dialog->OnCommand(Child(dialog, 1), 1);
    EXPECT_EQ(BoxLine(), kReplaceLine) << typed;
    EXPECT_NE(App_GuiManager().FindChildById(AppHarness::TopLevelWithId(1026), MSGBOX_ICON_ID), nullptr);
    EXPECT_EQ(ModalStack_GetDepth(), 2u);
    AnswerBoxWith(1026, typed[0] == 'H' ? u32(MSGBOX_NO) : 0u);
    EXPECT_EQ(AppHarness::TopLevelWithId(1004), dialog);
    EXPECT_STREQ(edit->GetText(), typed);
    EXPECT_EQ(App_GuiManager().GetFocusWindow(), edit);
    EXPECT_EQ(ModalStack_GetDepth(), 1u);
    EXPECT_STREQ(Movie_Get()->name, "Paseo en el parque");
    EXPECT_EQ(m_dir->Read("Aventuras Guardadas/Hermano.ZQTR"), brothers);
    EXPECT_EQ(m_dir->Read("Aventuras Guardadas/Paseo en el parque.ZQTR"), ours);
    EXPECT_EQ(folder(), before);
    dialog->OnCommand(Child(dialog, 2), 2);
  }

  // Its own name, in another letter case too, saves straight away.
  AskProjectNameDialog_Show();
  CSL_GS_GuiWindow* dialog = AppHarness::TopLevelWithId(1004);
  Child(dialog, 102)->SetText("paseo EN EL Parque");
  dialog->OnCommand(Child(dialog, 1), 1);
  EXPECT_EQ(AppHarness::TopLevelWithId(1004), nullptr);
  EXPECT_EQ(BoxLine(), kSavedLine);
  AnswerBox(1026);
  EXPECT_EQ(folder(), before);
  const std::string saved = m_dir->Read("Aventuras Guardadas/Paseo en el parque.ZQTR");

  // "&Si" replaces the brother's movie with this one.
  AskProjectNameDialog_Show();
  dialog = AppHarness::TopLevelWithId(1004);
  Child(dialog, 102)->SetText("Hermano");
  dialog->OnCommand(Child(dialog, 1), 1);
  AnswerBoxWith(1026, MSGBOX_YES);
  EXPECT_EQ(AppHarness::TopLevelWithId(1004), nullptr);
  EXPECT_EQ(BoxLine(), kSavedLine);
  AnswerBox(1026);
  EXPECT_EQ(m_dir->Read("Aventuras Guardadas/Hermano.ZQTR"), saved);
  EXPECT_STREQ(Movie_Get()->name, "Hermano");

  // A new movie has no file of its own yet: every existing name is another movie's.
  Movie_Clear(Movie_Get());
  AskProjectNameDialog_Show();
  dialog = AppHarness::TopLevelWithId(1004);
  Child(dialog, 102)->SetText("Hermano");
  dialog->OnCommand(Child(dialog, 1), 1);
  EXPECT_EQ(BoxLine(), kReplaceLine);
  AnswerBoxWith(1026, MSGBOX_NO);
  EXPECT_EQ(m_dir->Read("Aventuras Guardadas/Hermano.ZQTR"), saved);
  EXPECT_EQ(Movie_Get()->name, nullptr);
  dialog->OnCommand(Child(dialog, 2), 2);
  EXPECT_EQ(ModalStack_GetDepth(), 0u);
}
