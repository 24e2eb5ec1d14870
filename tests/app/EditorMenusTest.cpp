// The editor's context menus, built from scenes made in the test: each menu is read back
// as one line of "id:text" entries ("-" for a separator, submenus in brackets), so that
// a table of scenes and selections states what each menu must offer.
#include <gtest/gtest.h>

#include <string>

#include "adventure/movie/Movie.h"
#include "adventure/movie/MovieList.h"
#include "app/services/AppServices.h"
#include "app/services/CMyGuiManager.h"
#include "app/editor/EditorMenus.h"
#include "app/editor/EditorState.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "gui/SLGuiMenuPopup.h"
#include "tests/support/AppHarness.h"
#include "tests/support/MovieCatalog.h"

namespace {

std::string Describe(CSL_GS_GuiMenuPopup* menu) {
  std::string out;
  for (u32 i = 0; i < menu->GetItemCount(); ++i) {
    if (!out.empty()) out += "|";
    const u32 id = menu->GetItemId(i);
    if (id == 0 && !*menu->GetItemText(i)) {
      out += "-";
      continue;
    }
    out += std::to_string(id) + ":" + menu->GetItemText(i);
    if (CSL_GS_GuiMenuPopup* sub = menu->GetItemSubmenu(i)) out += "[" + Describe(sub) + "]";
  }
  return out;
}

std::string OpenMenu() {
  auto* menu = static_cast<CSL_GS_GuiMenuPopup*>(Editor_State().popups.windows[0]);
  return menu ? Describe(menu) : "(none)";
}

class EditorMenus : public AppScreenTest {
 protected:
  void SetUp() override {
    AppScreenTest::SetUp();
    CSL_GS_BaseGfx* gfx = static_cast<CSL_GS_BaseGfx*>(App_Services().gfx);
    SL_GS_Image* body = MovieCatalog::Solid(gfx, 20, 40, 10, 39, 0xFF808080);
    MovieCatalog::ActionSpec still, talk;
    still.frames[0] = {body};
    talk.frames[0] = {body};
    m_character = MovieCatalog::AddCharacter("Sofia", false, {{"normal", 0}, {"sentada", 0}}, {still, talk, still});
    CharacterRecord* record = CharacterCatalog_GetAt(u32(m_character));
    record->states[0]->talkAction = 1;
    record->actions[0]->visible = 1;
    record->actions[1]->visible = 1;
    record->actions[1]->dialogue = 3;
    record->actions[2]->visible = 1;
    record->actions[2]->availableInState = "SENTADA";
    MovieCatalog::ObjectStateSpec closed;
    closed.name = "cerrada";
    closed.frames = {body};
    m_object = MovieCatalog::AddObject("Puerta", -1.0, {closed}, {});
  }
  void TearDown() override {
    EditorMenus_Close();
    Editor_State().selection = EditorSelection{};
    Movie_Clear(Movie_Get());
    MovieCatalog::Free();
    AppScreenTest::TearDown();
  }

  Scene* AddScene(u32 length = 300) {
    Scene* scene = Movie_AppendScene(Movie_Get());
    scene->length = length;
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
  ObjectInstance* AddObject(Scene* scene) {
    ObjectInstance* o = ObjectInstance_New();
    o->object = m_object;
    o->scene = scene;
    List_Append(&scene->objects, &o->link);
    return o;
  }
  static TextItem* AddText(Scene* scene, const char* text, u32 attachKind, void* to, u32 start, u32 end) {
    TextItem* t = TextItem_Append(scene);
    if (text) Balloon_SetText(&t->balloon, text);
    t->attachKind = attachKind;
    t->attachedTo = to;
    t->startFrame = start, t->endFrame = end;
    return t;
  }
  static SoundItem* AddSound(Scene* scene, const char* file, u32 kind, void* to, u32 start, u32 end) {
    SoundItem* s = SoundItem_Append(scene);
    s->fileName = file;
    s->kind = kind;
    s->attachedTo = to;
    s->startFrame = start, s->endFrame = end;
    return s;
  }
  static void Select(u32 kind, void* element) {
    Editor_State().selection = EditorSelection{};
    Editor_State().selection.kind = kind;
    Editor_State().selection.element = element;
  }

  i32 m_character = -1;
  i32 m_object = -1;
};

const char kAdvancedScene[] = "-|102000:Opciones avanzadas[102001:Agregar texto flotante|-|102002:Agregar efecto de sonido]";

TEST_F(EditorMenus, SceneMenuFollowsMusicScenePositionAndEffectsAtTheFrame) {
  EditorScreen_ShowSceneMenu();
  EXPECT_EQ(OpenMenu(), "(none)");  // no scenes, no menu
  Scene* first = AddScene();
  AddSound(first, "Musica\\cancion.mp3", kSoundMusic, nullptr, 100, 200);
  AddSound(first, "*C:\\Sonidos\\puerta que cruje.WAV", kSoundEffect, nullptr, 0, 50);
  AddSound(first, "otro.wav", kSoundEffect, nullptr, 60, 90);
  struct Row {
    u32 scenes, current, frame;
    const char* expected;
  } rows[] = {
      {1, 0, 10,
       "100001:Agregar m\xfasica de fondo|-|101000:Borrar audio[101002:puerta que cruje]|-|100005:Duplicar escena|-|"
       "100006:Eliminar escena"},
      {1, 0, 150,
       "100001:Cambiar m\xfasica de fondo|100002:Detener m\xfasica de fondo|-|100005:Duplicar escena|-|100006:Eliminar escena"},
      {2, 0, 200,
       "100001:Agregar m\xfasica de fondo|-|100004:Colocar luego de la siguiente escena|-|100005:Duplicar escena|-|"
       "100006:Eliminar escena"},
      {3, 1, 70,
       "100001:Agregar m\xfasica de fondo|-|100003:Colocar antes de la escena anterior|100004:Colocar luego de la "
       "siguiente escena|-|101000:Borrar audio[101004:otro]|-|100005:Duplicar escena|-|100006:Eliminar escena"},
      {3, 2, 70,
       "100001:Agregar m\xfasica de fondo|-|100003:Colocar antes de la escena anterior|-|100005:Duplicar escena|-|"
       "100006:Eliminar escena"},
  };
  for (const Row& row : rows) {
    while (Movie_SceneCount(Movie_Get()) < row.scenes) {
      Scene* added = AddScene();
      if (Movie_SceneCount(Movie_Get()) == 2) {  // the middle scene of three
        AddSound(added, "a.wav", kSoundMusic, nullptr, 0, 10);
        AddSound(added, "b.wav", kSoundEffect, nullptr, 0, 10);
        AddSound(added, "c.wav", kSoundSpoken, nullptr, 0, 300);
        AddSound(added, "otro.wav", kSoundEffect, nullptr, 60, 90);
      }
    }
    Movie_Get()->currentScene = row.current;
    Scene* scene = Movie_SceneAt(Movie_Get(), row.current);
    scene->currentFrame = row.frame;
    EditorScreen_ShowSceneMenu();
    EXPECT_EQ(OpenMenu(), std::string(row.expected) + "|" + kAdvancedScene) << row.scenes << " " << row.current;
    EXPECT_EQ(Editor_State().stageMode, u32(kStageInactive));
  }
}

TEST_F(EditorMenus, CharacterMenuOffersWhatTheCharacterCanDoAtTheFrame) {
  Scene* scene = AddScene();
  CharacterInstance* other = AddCharacter(scene);
  CharacterInstance* sofia = AddCharacter(scene);
  // Texts before hers in the list: floating, and attached to the other character.
  AddText(scene, "flotante", 0, nullptr, 0, 300);
  AddText(scene, "del otro", kTextSpokenByCharacter, other, 0, 300);
  AddText(scene, "   Hola amigos\ncomo estan", kTextSpokenByCharacter, sofia, 0, 300);
  AddText(scene, "Un texto muy largo que pasa de los treinta y ocho caracteres", kTextSpokenByCharacter, sofia, 0, 300);
  AddText(scene, nullptr, kTextSpokenByCharacter, sofia, 0, 300);
  AddText(scene, "ya no", kTextSpokenByCharacter, sofia, 0, 5);
  AddSound(scene, "*/home/ana/voz.wav", kSoundSpoken, sofia, 0, 300);
  AddSound(scene, "", kSoundSpoken, sofia, 0, 300);
  scene->currentFrame = 10;
  Select(kHitCharacter, sofia);

  const std::string texts =
      "111000:Borrar texto[111003:Hola amigos|111004:Un texto muy largo que pasa de los tre...|111005:(sin texto)]"
      "|112000:Borrar audio[112001:voz|112002:(sin nombre)]";
  const std::string talk = "-|110003:Agregar di\xe1logo escrito|110004:Agregar di\xe1logo hablado|-|";
  EditorScreen_ShowItemMenu(kItemMenuFromStage);
  EXPECT_EQ(OpenMenu(), "110001:Agregar nueva acci\xf3n|" + talk + texts + "|-|110007:Borrar personaje");
  EditorScreen_ShowItemMenu(kItemMenuFromButton);
  EXPECT_EQ(OpenMenu(), "110001:Agregar nueva acci\xf3n|-|110005:Mover|" + talk + texts +
                            "|-|110007:Borrar personaje|-|113000:Opciones avanzadas[113001:Agregar texto asociado|-|"
                            "113002:Agregar audio asociado]");

  // A running action hides "Mover" and offers its deletion; the last placed action is
  // offered again only when it is visible and available in the state at the frame.
  CharacterActionEntry* entry = CharacterActionEntry_Append(sofia);
  entry->startFrame = 5, entry->endFrame = 20, entry->action = 0;
  struct Repeat {
    i32 last;
    u32 visible;
    bool offered;
  } repeats[] = {{-1, 1, false}, {0, 1, true}, {0, 0, false}, {-2, 1, true}, {-3, 1, true}, {2, 1, false}};
  CharacterRecord* record = CharacterCatalog_GetAt(u32(m_character));
  for (const Repeat& r : repeats) {
    sofia->lastPlacedAction = r.last;
    record->actions[0]->visible = record->actions[1]->visible = r.visible;
    EditorScreen_ShowItemMenu(kItemMenuFromButton);
    const std::string menu = OpenMenu();
    EXPECT_EQ(menu.find("110002:Repetir \xfaltima acci\xf3n") != std::string::npos, r.offered) << r.last << " " << menu;
    EXPECT_EQ(menu.find("110005"), std::string::npos);
    EXPECT_NE(menu.find("-|110006:Borrar acci\xf3n actual|-|111000"), std::string::npos) << menu;
  }
  // Before the character enters, nothing runs and it has no state.
  sofia->firstFrame = 50;
  EditorScreen_ShowItemMenu(kItemMenuFromStage);
  EXPECT_EQ(OpenMenu().find("110006"), std::string::npos);
  EXPECT_EQ(OpenMenu().find("110003"), std::string::npos);
}

TEST_F(EditorMenus, ObjectAndTextMenus) {
  Scene* scene = AddScene();
  ObjectInstance* door = AddObject(scene);
  AddText(scene, "chirrido", kTextAttachedToObject, door, 0, 300);
  AddSound(scene, "puerta.wav", kSoundObject, door, 0, 300);
  scene->currentFrame = 10;
  Select(kHitObject, door);
  EditorScreen_ShowItemMenu(kItemMenuFromStage);
  EXPECT_EQ(OpenMenu(),
            "121000:Borrar texto[121001:chirrido]|122000:Borrar audio[122001:puerta]|-|120003:Borrar objeto");
  ObjectStateEntry* change = ObjectStateEntry_Append(door);
  change->startFrame = 0, change->endFrame = 20;
  EditorScreen_ShowItemMenu(kItemMenuFromButton);
  EXPECT_EQ(OpenMenu(),
            "120002:Borrar cambio de estado actual|-|121000:Borrar texto[121001:chirrido]|122000:Borrar audio["
            "122001:puerta]|-|120003:Borrar objeto|123000:Opciones avanzadas[-|123001:Agregar texto asociado|-|"
            "123002:Agregar audio asociado]");
  TextItem* floating = AddText(scene, "hola", 0, nullptr, 0, 300);
  Select(kHitText, floating);
  EditorScreen_ShowItemMenu(kItemMenuFromStage);
  EXPECT_EQ(OpenMenu(), "130001:Borrar texto");
  Select(kHitBackground, nullptr);
  EditorMenus_Close();
  EditorScreen_ShowItemMenu(kItemMenuFromStage);
  EXPECT_EQ(OpenMenu(), "(none)");
}

// A project may hold more sounds than the entry ids have room for: only indexes up to
// 998 get entries, so no id reaches another entry's.
TEST_F(EditorMenus, ListsStopBeforeTheIdsOfOtherEntries) {
  Scene* scene = AddScene();
  for (u32 i = 0; i < 1001; ++i) AddSound(scene, "fx.wav", kSoundEffect, nullptr, 0, 300);
  scene->currentFrame = 1;
  EditorScreen_ShowSceneMenu();
  auto* menu = static_cast<CSL_GS_GuiMenuPopup*>(Editor_State().popups.windows[0]);
  ASSERT_NE(menu, nullptr);
  CSL_GS_GuiMenuPopup* sounds = nullptr;
  for (u32 i = 0; i < menu->GetItemCount(); ++i)
    if (menu->GetItemId(i) == kMenuSceneSounds) sounds = menu->GetItemSubmenu(i);
  ASSERT_NE(sounds, nullptr);
  ASSERT_EQ(sounds->GetItemCount(), 999u);
  EXPECT_EQ(sounds->GetItemId(998), 101999u);
}

}  // namespace
