// The editor's answers on the running program's devices: deleting actions, characters,
// state changes, objects, texts and sounds; adding texts and sounds (lengths from real
// WAV and MP3 files made by sox and lame); stopping and replacing the background music;
// duplicating a scene; and placing "Abrir o encender" on the sample park's lamp, which
// walks Sofía round the pond and lights the lamp, undone again by one undo.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "adventure/AdventureDevices.h"
#include "adventure/catalog/CharacterCatalog.h"
#include "adventure/catalog/ObjectCatalog.h"
#include "adventure/catalog/SceneCatalog.h"
#include "app/services/AppEvents.h"
#include "app/services/AppServices.h"
#include "app/services/CMyGuiManager.h"
#include "app/editor/EditorAction.h"
#include "app/dialogs/TextDialog.h"
#include "app/editor/EditorCallbacks.h"
#include "app/editor/EditorCommands.h"
#include "app/editor/EditorMenus.h"
#include "app/editor/EditorScreen.h"
#include "app/editor/EditorState.h"
#include "app/services/AppGlobals.h"
#include "gamesystem/SLMainWindow.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "platform/user32/User32.h"
#include "tests/support/AppHarness.h"
#include "tests/support/MovieCatalog.h"
#include "tests/support/ScriptedInput.h"
#include "tests/support/TempDir.h"

namespace {

u32 UndoPoints() {
  u32 n = 0;
  while (n < kUndoSlots && Editor_Movie()->undo[n].savedScene != -1) ++n;
  return n;
}

class EditorAnswers : public AppScreenTest {
 protected:
  void SetUp() override {
    AppScreenTest::SetUp();
    Movie_Clear(Editor_Movie());
    Editor_ClearSelection();
    Editor_State().playback = EditorPlaybackState{};
    m_scene = Movie_AppendScene(Editor_Movie());
    CSL_GS_BaseGfx* gfx = App_Services().gfx;
    m_scene->background = MovieCatalog::AddBackground(gfx, "fondo", [](i32, i32 y) { return u8(1 + y * 254 / 371); });
    MovieCatalog::ActionSpec pose;
    for (u32 d = 0; d < kDirectionCount; ++d) pose.frames[d].push_back(MovieCatalog::Solid(gfx, 20, 40, 10, 40, 0xFF336699));
    pose.duration = 1000;
    m_who = MovieCatalog::AddCharacter("ana", false, {{"Normal", 0}}, {pose});
    m_box = MovieCatalog::AddObject("caja", -1.0, {{"Normal", {MovieCatalog::Solid(gfx, 30, 30, 15, 30, 0xFF996633)}, 1000, 1},
                                                   {"Rota", {MovieCatalog::Solid(gfx, 30, 30, 15, 30, 0xFF663399)}, 1000, 1}},
                                    {{15, 5}});
    m_scene->length = 400;
  }
  void TearDown() override {
    Editor_State().playback = EditorPlaybackState{};
    Editor_ClearSelection();
    Movie_Clear(Editor_Movie());
    MovieCatalog::Free();
    AppScreenTest::TearDown();
  }
  CharacterInstance* Character(i32 x, i32 y) {
    CharacterInstance* c = CharacterInstance_New();
    c->scene = m_scene, c->character = m_who, c->endFrame = 0xFFFFFFFF, c->x = x, c->y = y;
    List_Append(&m_scene->characters, &c->link);
    return c;
  }
  ObjectInstance* Object(i32 x, i32 y) {
    ObjectInstance* o = ObjectInstance_New();
    o->scene = m_scene, o->object = m_box, o->x = x, o->y = y;
    List_Append(&m_scene->objects, &o->link);
    return o;
  }
  void Select(u32 kind, void* element) {
    m_scene->currentFrame = m_frame;
    Scene_RenderAtFrame(m_scene, m_frame, kModeSilent);
    Editor_State().selection = EditorSelection{kind, 0, 0, 0, element, 0, 0, 0};
  }
  TextItem* Text(void* to, u32 attachKind, u32 start, u32 end) {
    TextItem* t = TextItem_Append(m_scene);
    t->attachedTo = to, t->attachKind = attachKind, t->startFrame = start, t->endFrame = end;
    return t;
  }
  SoundItem* Sound(void* to, u32 kind, u32 start, u32 end) {
    SoundItem* s = SoundItem_Append(m_scene);
    s->attachedTo = to, s->kind = kind, s->startFrame = start, s->endFrame = end, s->speed = 1.0;
    return s;
  }
  static std::vector<std::pair<u32, u32>> Frames(const MovieLink* list, u32 which) {
    std::vector<std::pair<u32, u32>> out;
    if (which == 0)
      for (const CharacterActionEntry* e : ListRange<CharacterActionEntry>(list)) out.push_back({e->startFrame, e->endFrame});
    if (which == 1)
      for (const TextItem* e : ListRange<TextItem>(list)) out.push_back({e->startFrame, e->endFrame});
    if (which == 2)
      for (const SoundItem* e : ListRange<SoundItem>(list)) out.push_back({e->startFrame, e->endFrame});
    return out;
  }
  // A sine of `seconds` at 22,050 Hz, as WAV or (through lame) MP3.
  std::string MakeSound(const std::string& name, const char* seconds, const char* lameOptions = nullptr) {
    const std::string wav = m_dir.Host(name + ".wav");
    const std::string sox = "sox -q -n -r 22050 -c 1 -b 16 '" + wav + "' synth " + seconds + " sine 440";
    EXPECT_EQ(std::system(sox.c_str()), 0);
    if (!lameOptions) return wav;
    const std::string mp3 = m_dir.Host(name + ".mp3");
    const std::string lame = std::string("lame --quiet ") + lameOptions + " '" + wav + "' '" + mp3 + "'";
    EXPECT_EQ(std::system(lame.c_str()), 0);
    return mp3;
  }

  Scene* m_scene = nullptr;
  i32 m_who = -1, m_box = -1;
  u32 m_frame = 200;
  TempDir m_dir;
};

TEST_F(EditorAnswers, SoundLengthsFollowTheFileAndTheSpeed) {
  SoundItem* sound = Sound(nullptr, kSoundEffect, 0, 0);
  struct Row {
    std::string file;
    double speed;
    u32 low, high;  // an MP3 carries the encoder's padding unless its Info header says otherwise
  } rows[] = {
      {"*" + MakeSound("wav", "1.5"), 1.0, 90, 90},
      {"*" + MakeSound("wav", "1.5"), 2.0, 45, 45},
      {"*" + MakeSound("cbr", "1.5", "--cbr -b 64"), 1.0, 90, 96},
      {"*" + MakeSound("vbr", "1.5", "-V 4"), 1.0, 90, 96},
      {"*" + m_dir.Host("missing.wav"), 1.0, 0, 0},
      {"*" + m_dir.Host(""), 1.0, 0, 0},  // a folder is no sound
      {"no existe.wav", 1.0, 0, 0},
  };
  for (const Row& row : rows) {
    sound->fileName = row.file.c_str();
    sound->speed = row.speed;
    const u32 length = ActionSound_Load(sound);
    EXPECT_GE(length, row.low) << row.file << " " << row.speed;
    EXPECT_LE(length, row.high) << row.file << " " << row.speed;
  }
}

TEST_F(EditorAnswers, DeletingAnActionKeepsWhatCameBeforeTheFrame) {
  struct Row {
    u32 frame;
    std::vector<std::pair<u32, u32>> actions, texts;
  } rows[] = {
      {200, {{0, 100}, {100, 200}}, {{100, 200}}},  // inside the second action
      {100, {{0, 100}}, {}},                         // at its first frame the whole action goes
  };
  for (const Row& row : rows) {
    CharacterInstance* ana = Character(100, 300);
    CharacterActionEntry* first = CharacterActionEntry_Append(ana);
    first->startFrame = 0, first->endFrame = 100;
    CharacterActionEntry* second = CharacterActionEntry_Append(ana);
    second->startFrame = 100, second->endFrame = 300;
    Text(ana, kTextSpokenByCharacter, 100, 300);
    m_frame = row.frame;
    Select(kHitCharacter, ana);
    const u32 undo = UndoPoints();
    EditorAction_OnConfirmDelete(4, 0);  // "&No"
    EXPECT_EQ(List_Count(&ana->actions), 2u);
    EditorAction_OnConfirmDelete(3, 0);
    EXPECT_EQ(UndoPoints(), undo + 1);
    EXPECT_EQ(Frames(&ana->actions, 0), row.actions) << row.frame;
    EXPECT_EQ(Frames(&m_scene->texts, 1), row.texts) << row.frame;
    Scene_FreeContents(m_scene);
  }
}

TEST_F(EditorAnswers, DeletingACharacterTakesItsWordsAtEveryFrame) {
  CharacterInstance* ana = Character(100, 300);
  CharacterInstance* other = Character(300, 300);
  Text(ana, kTextSpokenByCharacter, 0, 50);
  Text(ana, kTextSpokenByCharacter, 300, 350);
  Text(other, kTextSpokenByCharacter, 0, 50);
  Sound(ana, kSoundSpoken, 10, 20);
  Sound(nullptr, kSoundEffect, 10, 20);
  Select(kHitCharacter, ana);
  Editor_State().hover = Editor_State().selection;
  EditorCharacter_OnConfirmDelete(3, 0);
  EXPECT_EQ(Scene_CharacterCount(m_scene), 1u);
  ASSERT_EQ(Scene_TextCount(m_scene), 1u);
  EXPECT_EQ(Scene_TextAt(m_scene, 0)->attachedTo, other);
  ASSERT_EQ(Scene_SoundCount(m_scene), 1u);
  EXPECT_EQ(Scene_SoundAt(m_scene, 0)->kind, kSoundEffect);
  EXPECT_EQ(Editor_State().hover.kind, 0u);
  EXPECT_EQ(Editor_State().selection.kind, 0u);
}

TEST_F(EditorAnswers, AnswersCheckWhatTheyActOnAgain) {
  CharacterInstance* ana = Character(100, 300);
  ObjectInstance* box = Object(300, 300);
  Text(ana, kTextSpokenByCharacter, 0, 50);
  Select(kHitObject, box);  // the selection changed kind since the box was opened
  const u32 undo = UndoPoints();
  EditorAction_OnConfirmDelete(3, 0);
  EditorCharacter_OnConfirmDelete(3, 0);
  EditorText_OnConfirmDelete(3, kUserCharacterText + 0);
  EditorText_OnConfirmDelete(3, kUserObjectText + 0);  // the text is not the box's
  EditorAudio_OnConfirmDelete(3, kUserSceneEffect + 7);  // no such sound
  EXPECT_EQ(UndoPoints(), undo);
  EXPECT_EQ(Scene_CharacterCount(m_scene), 1u);
  EXPECT_EQ(Scene_TextCount(m_scene), 1u);
  Select(kHitCharacter, ana);
  EditorText_OnConfirmDelete(3, kUserCharacterText + 0);
  EXPECT_EQ(Scene_TextCount(m_scene), 0u);
  EXPECT_EQ(UndoPoints(), undo + 1);
}

TEST_F(EditorAnswers, DeletingStateChangesCutsTheObjectsWordsWhereTheyBegan) {
  ObjectInstance* box = Object(300, 300);
  ObjectStateEntry* early = ObjectStateEntry_Append(box);
  early->state = 1, early->startFrame = 0, early->endFrame = 100;
  ObjectStateEntry* late = ObjectStateEntry_Append(box);
  late->state = 1, late->startFrame = 150, late->endFrame = 260;
  Text(box, kTextAttachedToObject, 120, 300);
  Sound(box, kSoundObject, 160, 300);
  Select(kHitObject, box);
  EditorStateChange_OnConfirmDelete(3, 0);
  ASSERT_EQ(List_Count(&box->states), 1u);
  EXPECT_EQ(early->endFrame, 100u);
  EXPECT_EQ(Frames(&m_scene->texts, 1), (std::vector<std::pair<u32, u32>>{{120, 150}}));
  EXPECT_TRUE(List_IsEmpty(&m_scene->sounds));
}

TEST_F(EditorAnswers, DeletingAnObjectSetsDownWhatRestsOnIt) {
  ObjectInstance* table = Object(300, 300);
  ObjectInstance* cup = Object(300, 280);
  cup->carrier = table, cup->supportPoint = 0;
  Text(table, kTextAttachedToObject, 0, 100);
  Select(kHitObject, table);
  EditorObject_OnConfirmDelete(3, 0);
  ASSERT_EQ(Scene_ObjectCount(m_scene), 1u);
  EXPECT_EQ(cup->carrier, nullptr);
  EXPECT_EQ(Scene_TextCount(m_scene), 0u);
}

TEST_F(EditorAnswers, TextsLastBySizeAndTakeTheirBalloons) {
  CharacterInstance* ana = Character(100, 300);
  struct Row {
    const char* typed;
    u32 kind;
    u32 frames;  // 0: nothing is added
  } rows[] = {
      {"a", kAddToScene, 60}, {"\n  nueve car", kAddToScene, 120}, {"Hola", kAddToCharacter, 82},
      {" \t\n", kAddToScene, 0}, {nullptr, kAddToScene, 0},
  };
  for (const Row& row : rows) {
    Select(kHitCharacter, ana);
    const u32 texts = Scene_TextCount(m_scene), undo = UndoPoints();
    if (row.kind == kAddToCharacter) EditorText_OnEnteredForCharacter(row.typed);
    else EditorText_OnEnteredForScene(row.typed);
    Editor_State().playback = EditorPlaybackState{};
    if (row.frames == 0) {
      EXPECT_EQ(Scene_TextCount(m_scene), texts);
      EXPECT_EQ(UndoPoints(), undo);
      continue;
    }
    const TextItem* text = Scene_TextAt(m_scene, texts);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(UndoPoints(), undo + 1);
    EXPECT_EQ(text->startFrame, m_frame);
    EXPECT_EQ(text->endFrame - text->startFrame, row.frames) << row.typed;
    EXPECT_GE(m_scene->length, text->endFrame);
    if (row.kind == kAddToCharacter) {
      EXPECT_EQ(text->attachKind, kTextSpokenByCharacter);
      EXPECT_EQ(text->attachedTo, ana);
      EXPECT_EQ(text->balloon.width, 300u);
      EXPECT_EQ(text->variant, 1u);
    } else {
      EXPECT_EQ(text->attachKind, 0u);
      EXPECT_EQ(text->balloon.width, 500u);
      EXPECT_EQ(text->balloon.style, 17u);
      EXPECT_EQ(text->x + text->balloon.boxWidth / 2, 332);
      EXPECT_EQ(text->y + text->balloon.boxHeight / 2, 186);
      EXPECT_STREQ(text->balloon.text, row.typed[0] == '\n' ? "nueve car" : row.typed);
    }
  }
}

// "Agregar texto flotante" and "&Aceptar": the new text's box stands whole on the stage,
// centred on it, for a short text, one that fills the balloon's 500 pixels over several
// lines and one word too long to wrap; a floating text already placed stays where it is.
TEST_F(EditorAnswers, ANewFloatingTextStandsWholeInTheMiddleOfTheStage) {
  const EditorDialogs saved = EditorDialogs_Get();
  EditorDialogs dialogs = saved;
  dialogs.enterText = &AddEditTextDialog_Show;
  EditorDialogs_Set(dialogs);
  TextItem* placed = Text(nullptr, 0, 0, 400);
  placed->x = 332, placed->y = 186;
  const std::string longWord(44, 'm');
  const char* typed[] = {
      "Hola",
      "Los ping\xfcinos y cocodrilos del parque fueron juntos a tomar un helado de frutilla al lado\r\nde la "
      "fuente grande, y despu\xe9s todos cantaron una canci\xf3n muy larga.",
      longWord.c_str(),
  };
  i32 widest = 0;
  for (const char* text : typed) {
    Select(0, nullptr);
    i32 result = 0;
    ASSERT_TRUE(EditorCommands_OnEvent(APP_EVENT_COMMAND, kCmdSceneAddFloatingText, &result));
    CSL_GS_GuiWindow* dialog = TopLevelWithId(1005);
    ASSERT_NE(dialog, nullptr);
    App_GuiManager().FindChildById(dialog, 201)->SetText(text);
    dialog->OnCommand(App_GuiManager().FindChildById(dialog, 1), 1);
    Editor_State().playback = EditorPlaybackState{};
    ASSERT_EQ(TopLevelWithId(1005), nullptr);
    const TextItem* added = Scene_TextAt(m_scene, Scene_TextCount(m_scene) - 1);
    const i32 w = added->balloon.boxWidth, h = added->balloon.boxHeight;
    widest = std::max(widest, w);
    EXPECT_GT(w, 31) << text;
    EXPECT_GE(added->x, 0) << text;
    EXPECT_GE(added->y, 0) << text;
    EXPECT_LE(added->x + w, 664) << text << " " << w;
    EXPECT_LE(added->y + h, 372) << text << " " << h;
    EXPECT_LE(std::abs(2 * added->x + w - 664), 1) << text;
    EXPECT_LE(std::abs(2 * added->y + h - 372), 1) << text;
  }
  EXPECT_GE(widest, 500);
  EXPECT_EQ(placed->x, 332);
  EXPECT_EQ(placed->y, 186);
  EditorDialogs_Set(saved);
}

TEST_F(EditorAnswers, NewMusicReplacesTheOldFromTheCurrentFrame) {
  const std::string music = "*" + MakeSound("musica", "3");
  Character(100, 300)->endFrame = 400;  // the scene runs to 400: music started before then stays
  SoundItem* old = Sound(nullptr, kSoundMusic, 0, 0xFFFFFFFF);
  old->fileName = music.c_str();
  Select(0, nullptr);
  EditorAudio_OnConfirmStopMusic(4, 0);  // "&No" leaves it playing
  EXPECT_EQ(old->endFrame, 0xFFFFFFFFu);
  EditorAudio_OnChosenForScene(music.c_str(), kAudioTypeMusic);
  ASSERT_EQ(Scene_SoundCount(m_scene), 2u);
  EXPECT_EQ(old->endFrame, 200u);
  const SoundItem* added = Scene_SoundAt(m_scene, 1);
  EXPECT_EQ(added->kind, kSoundMusic);
  EXPECT_EQ(added->startFrame, 200u);
  EXPECT_EQ(added->endFrame, 0xFFFFFFFFu);
  m_frame = 300;
  Select(0, nullptr);
  EditorAudio_OnConfirmStopMusic(3, 0);
  EXPECT_EQ(added->endFrame, 300u);

  // An effect that does not open is dropped again; one that does plays its length.
  const u32 sounds = Scene_SoundCount(m_scene);
  EditorAudio_OnChosenForScene("no existe.wav", 0);
  EXPECT_EQ(Scene_SoundCount(m_scene), sounds);
  EditorAudio_OnChosenForScene(("*" + MakeSound("efecto", "1.5")).c_str(), 0);
  ASSERT_EQ(Scene_SoundCount(m_scene), sounds + 1);
  EXPECT_EQ(Scene_SoundAt(m_scene, sounds)->endFrame, 390u);
  Editor_State().playback = EditorPlaybackState{};
}

TEST_F(EditorAnswers, ADuplicatedSceneStandsStillWhereTheOriginalStarts) {
  CharacterInstance* ana = Character(120, 300);
  ana->firstFrame = 10;
  CharacterActionEntry_Append(ana)->endFrame = 50;
  ObjectInstance* table = Object(300, 300);
  ObjectInstance* cup = Object(310, 290);
  cup->carrier = table, cup->supportPoint = 0;
  ObjectStateEntry_Append(table)->endFrame = 30;
  Text(nullptr, 0, 0, 10);
  Sound(nullptr, kSoundEffect, 0, 10);
  Movie_AppendScene(Editor_Movie());  // a scene after: the copy goes between
  Select(kHitCharacter, ana);
  const u32 undo = UndoPoints();
  EditorScene_Duplicate();
  Movie* movie = Editor_Movie();
  ASSERT_EQ(Movie_SceneCount(movie), 3u);
  EXPECT_EQ(movie->currentScene, 1u);
  EXPECT_EQ(UndoPoints(), undo);
  Scene* copy = Movie_SceneAt(movie, 1);
  EXPECT_EQ(copy->background, m_scene->background);
  ASSERT_EQ(Scene_CharacterCount(copy), 1u);
  const CharacterInstance* twin = Scene_CharacterAt(copy, 0);
  EXPECT_EQ(twin->x, 120);
  EXPECT_EQ(twin->firstFrame, 10u);
  EXPECT_TRUE(List_IsEmpty(&twin->actions));
  ASSERT_EQ(Scene_ObjectCount(copy), 2u);
  EXPECT_EQ(Scene_ObjectAt(copy, 1)->carrier, Scene_ObjectAt(copy, 0));
  EXPECT_TRUE(List_IsEmpty(&Scene_ObjectAt(copy, 0)->states));
  EXPECT_EQ(Scene_TextCount(copy) + Scene_SoundCount(copy), 0u);
  EXPECT_EQ(Editor_State().selection.kind, 0u);
}

TEST_F(EditorAnswers, LeavingAsksToSaveOrLeaves) {
  u32 asked = 0;
  static u32* counter;
  counter = &asked;
  EditorDialogs dialogs = EditorDialogs_Get();
  EditorDialogs saved = dialogs;
  dialogs.askProjectName = [] { ++*counter; };
  EditorDialogs_Set(dialogs);
  EditorScreen_OnConfirmSaveBeforeMenu(3, 0);
  EditorScreen_OnConfirmSaveBeforeExit(3, 0);
  EXPECT_EQ(asked, 2u);
  EditorScreen_OnConfirmSaveBeforeMenu(2, 0);
  EXPECT_EQ(Editor_State().leaveEditor, 0u);
  EditorScreen_OnConfirmSaveBeforeMenu(4, 0);
  EXPECT_EQ(Editor_State().leaveEditor, 1u);
  Editor_State().leaveEditor = 0;
  EXPECT_FALSE(App_IsQuitRequested());
  EditorScreen_OnConfirmSaveBeforeExit(4, 0);
  EXPECT_TRUE(App_IsQuitRequested());
  EditorDialogs_Set(saved);
  EditorScreen_OnConfirmNewMovie(3, 0);
  EXPECT_EQ(Movie_SceneCount(Editor_Movie()), 0u);
}

// A request to end (SIGTERM, Ctrl-C) with the movie modified asks whether to save it; an
// answer that keeps the program running ("Cancelar", or "Si" and its save dialog) answers
// the request, so the next one asks again rather than ending the program with the movie
// unsaved. So does any box that disables the close button for one that came while it was
// open. "No" leaves, as before.
TEST_F(EditorAnswers, AnAnswerThatStaysMakesTheNextRequestToEndAskAgain) {
  CSL_GS_MainWindow& window = App_MainWindow();
  // True when the request reached the program as a close request to ask about, false when
  // it ended the message pump.
  auto requestToEnd = [&] {
    PostMessageA(window.GetHandle(), WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP);
    return !window.ProcessMessages(false) && window.TakeCloseRequest();
  };
  Editor_Movie()->modified = 1;
  // The request comes first and opens the question about saving, or comes while the
  // question of starting a new movie is open and is held out by it.
  struct Row {
    const char* name;
    u32 event, command, boxId, answer;
  } rows[] = {{"Cancelar", APP_EVENT_CLOSE_REQUEST, 0, 1001, 2},
              {"Si", APP_EVENT_CLOSE_REQUEST, 0, 1001, 3},
              {"another question", APP_EVENT_COMMAND, kIdMenuNuevo, 1015, 4}};
  i32 result = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const bool asks = row.event == APP_EVENT_CLOSE_REQUEST;
    if (asks) {
      ASSERT_TRUE(requestToEnd());
    }
    ASSERT_TRUE(EditorCommands_OnEvent(row.event, row.command, &result));
    if (!asks) {
      ASSERT_TRUE(requestToEnd());
    }
    CSL_GS_GuiWindow* box = TopLevelWithId(row.boxId);
    ASSERT_NE(box, nullptr);
    box->OnCommand(box, row.answer);
    AppHarness::DrainQueue();  // the answer's own work is not this test's
    ASSERT_TRUE(requestToEnd());
    window.DiscardCloseRequests();
  }
  // "No" to saving leaves.
  ASSERT_TRUE(requestToEnd());
  ASSERT_TRUE(EditorCommands_OnEvent(APP_EVENT_CLOSE_REQUEST, 0, &result));
  TopLevelWithId(1001)->OnCommand(TopLevelWithId(1001), 4);
  AppEvent answer;
  ASSERT_TRUE(AppEventQueue_Take(&answer));
  AppEvent_RunDeferredCall(reinterpret_cast<DeferredCall*>(answer.data));
  EXPECT_TRUE(App_IsQuitRequested());
  Editor_Movie()->modified = 0;
}

TEST_F(EditorAnswers, AVoiceThatDoesNotOpenIsDroppedAndThePlacementGoesOn) {
  CharacterRecord* record = CharacterCatalog_GetAt(u32(m_who));
  record->actions[0]->duration = 500, record->actions[0]->repeat = 1;  // 30 frames
  const std::string voice = "*" + MakeSound("voz", "1.5");
  struct Row {
    std::string audio;
    u32 end;
    u32 sounds;
  } rows[] = {{"no existe.wav", 200 + 78, 0}, {voice, 200 + 90, 1}};
  for (const Row& row : rows) {
    CharacterInstance* ana = Character(100, 300);
    Select(kHitCharacter, ana);
    ActionPlacementWrite w{};
    w.context = {m_scene, ana, record, 0, nullptr};
    w.frame = 200;
    w.dialogueText = "Hola";  // (4 + 9) x 6 = 78, at least as long as the voice
    w.audioName = row.audio.c_str();
    EXPECT_EQ(EditorAction_Write(w), row.end) << row.audio;
    ASSERT_EQ(Scene_SoundCount(m_scene), row.sounds);
    if (row.sounds) {
      EXPECT_EQ(Scene_SoundAt(m_scene, 0)->startFrame, 200u);
      EXPECT_EQ(Scene_SoundAt(m_scene, 0)->endFrame, 290u);
      EXPECT_EQ(Scene_SoundAt(m_scene, 0)->attachedTo, ana);
    }
    EXPECT_EQ(Scene_TextAt(m_scene, 0)->endFrame, row.end);
    Scene_FreeContents(m_scene);
  }
}

// The dialogs a placement asks in turn, by the command that started it and the action's
// dialogue bits, and when it gives up. The dialogs are stand-ins that note what was asked.
std::string g_asked;
void (*g_textDone)(const char*) = nullptr;
void (*g_audioDone)(const char*, u32) = nullptr;

TEST_F(EditorAnswers, PlacementAsksForTheDialogueTheCommandAndActionWant) {
  const EditorDialogs saved = EditorDialogs_Get();
  EditorDialogs_Set({[](CharacterInstance*, i32 preset) { g_asked += "action" + std::to_string(preset) + " "; },
                     [](u32 noText, void (*done)(const char*)) {
                       g_asked += noText ? "text? " : "text! ";
                       g_textDone = done;
                     },
                     [](void (*done)(const char*, u32), u32 flags) {
                       g_asked += "audio" + std::to_string(flags) + " ";
                       g_audioDone = done;
                     },
                     nullptr});
  struct Row {
    u32 command, dialogue;
    const char* text;   // the text dialog's answer ("-": null)
    const char* audio;  // the audio chooser's answer ("-": null)
    std::string asked;
    bool placed;
    const char* kept;
  } rows[] = {
      {110001, 0, "", "", "", true, ""},
      {110001, 2, "  Hola", "", "text? ", true, "  Hola"},
      {110003, 2, "-", "", "text! ", false, ""},
      {110001, 3, "Hi", "-", "text? audio14 ", true, "Hi"},
      {110004, 1, "", "-", "audio14 ", false, ""},
      {110001, 1, "-", "-", "text? audio14 ", false, ""},
      {110004, 3, "", "no existe.wav", "audio14 ", true, ""},
  };
  CharacterRecord* record = CharacterCatalog_GetAt(u32(m_who));
  for (const Row& row : rows) {
    CharacterInstance* ana = Character(100, 300);
    Select(kHitCharacter, ana);
    g_asked.clear(), g_textDone = nullptr, g_audioDone = nullptr;
    Editor_State().placement.pendingCommand = row.command;
    record->actions[0]->dialogue = row.dialogue;
    const u32 undo = UndoPoints();
    EditorAction_OnConfirmAdd(3, 0);
    EditorAction_OnChosen(record->actions[0], 0);
    if (g_textDone) g_textDone(std::string(row.text) == "-" ? nullptr : row.text);
    if (g_audioDone) g_audioDone(std::string(row.audio) == "-" ? nullptr : row.audio, 0);
    EXPECT_EQ(g_asked, "action0 " + row.asked) << row.command << " " << row.dialogue;
    EXPECT_EQ(UndoPoints(), undo + (row.placed ? 1 : 0)) << row.command << " " << row.dialogue;
    if (row.placed) {
      EXPECT_STREQ(Editor_State().placement.dialogueText.CStr(), row.kept);
    }
    Editor_State().playback = EditorPlaybackState{};
    Scene_FreeContents(m_scene);
  }
  record->actions[0]->dialogue = 0;
  EditorDialogs_Set(saved);
}

// Everything a child could see change in a scene, written out.
std::string Snapshot(const Scene* scene) {
  std::string out = "bg " + std::to_string(scene->background) + " len " + std::to_string(scene->length) + "\n";
  auto path = [&](const SLArrayHeader& header) {
    for (u32 i = 0; i < header.count; ++i) {
      const KeyPoint& p = KeyPointArray_Data(&header)[i];
      out += " (" + std::to_string(p.x) + "," + std::to_string(p.y) + "," + std::to_string(p.lengthToNext) + ")";
    }
  };
  for (const CharacterInstance* c : ListRange<CharacterInstance>(&scene->characters)) {
    out += "char " + std::to_string(c->character) + " " + std::to_string(c->x) + "," + std::to_string(c->y) + " " +
           std::to_string(c->lastPlacedAction) + "\n";
    for (const CharacterActionEntry* e : ListRange<CharacterActionEntry>(&c->actions)) {
      out += "  act " + std::to_string(e->action) + " [" + std::to_string(e->startFrame) + "," +
             std::to_string(e->endFrame) + ") dir " + std::to_string(e->direction) + std::to_string(e->keepDirection);
      path(e->path);
      out += "\n";
    }
  }
  for (const ObjectInstance* o : ListRange<ObjectInstance>(&scene->objects)) {
    out += "obj " + std::to_string(o->object) + " " + std::to_string(o->x) + "," + std::to_string(o->y) + "\n";
    for (const ObjectStateEntry* e : ListRange<ObjectStateEntry>(&o->states))
      out += "  state " + std::to_string(e->state) + " [" + std::to_string(e->startFrame) + "," +
             std::to_string(e->endFrame) + ")\n";
  }
  for (const TextItem* t : ListRange<TextItem>(&scene->texts))
    out += "text [" + std::to_string(t->startFrame) + "," + std::to_string(t->endFrame) + ")\n";
  for (const SoundItem* s : ListRange<SoundItem>(&scene->sounds))
    out += "sound [" + std::to_string(s->startFrame) + "," + std::to_string(s->endFrame) + ")\n";
  return out;
}

std::string WinPath(std::string path) {
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

TEST_F(EditorAnswers, OpeningTheParksLampWalksSofiaRoundThePondAndLightsIt) {
  MovieCatalog::Free();
  const std::string gfx = AppHarness::ContentDir() + "/Gfx/";
  ASSERT_TRUE(SceneCatalog_LoadItem(WinPath(gfx + "Fondos/Parque.DAT").c_str(), nullptr));
  CharacterRecord* sofia = CharacterCatalog_LoadItem(WinPath(gfx + "Personajes/Sofia.DAT").c_str(), nullptr, nullptr, 0, 100);
  ASSERT_TRUE(sofia);
  ObjectRecord* lampRecord = ObjectCatalog_LoadItem(WinPath(gfx + "Objetos/Lampara.DAT").c_str(), nullptr);
  ASSERT_TRUE(lampRecord);
  m_scene->background = 0, m_who = 0, m_box = 0;
  m_scene->length = 0;
  CharacterInstance* girl = Character(430, 345);  // below the pond
  ObjectInstance* lamp = Object(430, 190);         // above it
  m_frame = 0;
  Select(kHitCharacter, girl);
  u32 action = 0;
  while (action < sofia->actions.GetCount() && std::string(sofia->actions[action]->name.CStr()) != "Abrir o encender")
    ++action;
  ASSERT_LT(action, sofia->actions.GetCount());

  ActionPlacementState& placement = Editor_State().placement;
  placement.pendingCommand = 110001;
  EditorAction_OnChosen(sofia->actions[action], 0);
  ASSERT_EQ(Editor_State().stageMode, u32(kStageReference));
  Editor_State().stageMode = kStageSelect;

  // The child points at the lamp (the first stage point on it that hits it) and clicks.
  EditorSelection hover{};
  const u32 kinds = EditorAction_ReferenceKinds(sofia->actions[action], false);
  for (i32 y = lamp->top; y < lamp->top + lamp->height && hover.kind != kHitObject; ++y)
    for (i32 x = lamp->left; x < lamp->left + lamp->width && hover.kind != kHitObject; ++x)
      Stage_HitTest(Editor_Movie(), x, y, kinds, &hover);
  ASSERT_EQ(hover.kind, kHitObject);
  const std::string point = std::to_string(hover.x + 108) + "," + std::to_string(hover.y + 148);
  CScriptedMouse mouse("tick 1: mouse 5,5; button 1 down\ntick 2: button 1 up\ntick 3: mouse " + point +
                       "\ntick 4: button 1 down");
  CSL_GS_GuiManager& gui = App_GuiManager();
  CSL_GS_BaseMouseInput* realMouse = gui.GetMouse();
  ASSERT_TRUE(gui.SetMouse(&mouse));
  const std::string before = Snapshot(m_scene);
  const u32 undo = UndoPoints();
  u32 modes[4] = {};
  u32 hovered[4] = {};
  for (u32 tick = 1; tick <= 4; ++tick) {
    Editor_State().stageMode = kStageReference;
    mouse.Advance(tick);
    EditorAction_ReferenceTick();
    modes[tick - 1] = Editor_State().stageMode;
    hovered[tick - 1] = Editor_State().hover.kind;
  }
  gui.SetMouse(realMouse);
  // A click off the stage leaves the reference mode; over the lamp the hover shows it; a
  // click there places the action.
  EXPECT_EQ(modes[0], u32(kStageSelect));
  EXPECT_EQ(hovered[2], kHitObject);
  EXPECT_EQ(modes[3], u32(kStageInactive));
  EXPECT_EQ(Editor_State().placement.referenceHit.element, lamp);
  EXPECT_EQ(UndoPoints(), undo + 1);

  ASSERT_EQ(List_Count(&girl->actions), 2u);
  const CharacterActionEntry* walk = static_cast<CharacterActionEntry*>(girl->actions.next->self);
  const CharacterActionEntry* perform = static_cast<CharacterActionEntry*>(girl->actions.prev->self);
  EXPECT_EQ(walk->action, u32(sofia->states[u32(CharacterRecord_FindState(sofia, "Parada"))]->walkAction));
  ASSERT_GT(walk->path.count, 2u);
  for (u32 i = 0; i < walk->path.count; ++i) {
    const KeyPoint& p = KeyPointArray_Data(&walk->path)[i];
    const double ex = (p.x - 430) / 78.0, ey = (p.y - 252) / 30.0;
    EXPECT_GT(ex * ex + ey * ey, 1.0) << "point " << i << " in the pond";
  }
  EXPECT_EQ(perform->action, action);
  EXPECT_EQ(perform->startFrame, walk->endFrame);
  EXPECT_EQ(perform->endFrame - perform->startFrame, 48u);  // 800 ms
  const u32 lit = ObjectInstance_StateAtFrame(lamp, perform->endFrame);
  EXPECT_STREQ(lampRecord->states[lit]->name.CStr(), "Encendida");
  EXPECT_STREQ(lampRecord->states[ObjectInstance_StateAtFrame(lamp, perform->endFrame - 1)]->name.CStr(), "Apagada");
  EXPECT_GE(Editor_CurrentScene()->length, perform->endFrame);
  Editor_State().playback = EditorPlaybackState{};

  u32 more = 0;
  Movie_Undo(Editor_Movie(), &more);
  EXPECT_EQ(Snapshot(Editor_CurrentScene()), before);
}

}  // namespace
