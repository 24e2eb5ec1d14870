// The undo ring: eight deep copies of the movie's scenes, the oldest dropped first; undo
// restores the newest, clears the editor's hit records through its hook, keeps the movie
// modified and selects the restored scene.
#include <gtest/gtest.h>

#include "adventure/movie/MovieHooks.h"
#include "adventure/movie/SceneRender.h"
#include "media/SLMoviePlayer.h"
#include "tests/support/MovieFixtures.h"

namespace {

int g_selectionClears = 0;
void CountClear() { ++g_selectionClears; }

class Undo : public MovieDevicesTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(MovieDevicesTest::SetUp());
    Movie_SetSelectionClearHook(&CountClear);
    g_selectionClears = 0;
  }
  void TearDown() override {
    Movie_Clear(&m_movie);
    Movie_SetSelectionClearHook(nullptr);
    AdventureDevices_Set(nullptr, nullptr, nullptr);
  }
  // The movie as text: every scene's length and its elements' fields.
  std::string State() {
    std::string text = "cur" + std::to_string(m_movie.currentScene);
    for (const Scene* scene : ListRange<Scene>(&m_movie.scenes)) {
      text += " [" + std::to_string(scene->length) + " bg" + std::to_string(scene->background);
      for (const CharacterInstance* c : ListRange<CharacterInstance>(&scene->characters)) {
        text += " c" + std::to_string(c->character) + "@" + std::to_string(c->x) + "," + std::to_string(c->y);
        for (const CharacterActionEntry* e : ListRange<CharacterActionEntry>(&c->actions))
          text += " a" + std::to_string(e->action) + ":" + std::to_string(e->startFrame) + "-" +
                  std::to_string(e->endFrame) + "p" + std::to_string(e->path.count);
      }
      for (const ObjectInstance* o : ListRange<ObjectInstance>(&scene->objects))
        text += " o" + std::to_string(o->object) + (o->carrier ? "^" + std::to_string(List_IndexOf(&scene->objects, o->carrier)) : "");
      for (const TextItem* t : ListRange<TextItem>(&scene->texts))
        text += " t'" + std::string(t->balloon.text ? t->balloon.text : "") + "'";
      for (SoundItem* s : ListRange<SoundItem>(&scene->sounds)) text += " s'" + std::string(s->fileName.CStr()) + "'";
      text += "]";
    }
    return text;
  }
  // One edit of the movie, as the editor makes them: push first, then change.
  void Edit(u32 step) {
    Movie_PushUndo(&m_movie);
    Scene* scene = Movie_SceneAt(&m_movie, step % 2);
    if (!scene) scene = Movie_AppendScene(&m_movie), scene->length = 100 + step;
    CharacterInstance* c = CharacterInstance_New();
    c->scene = scene, c->character = i32(step), c->x = i32(step), c->y = 2 * i32(step), c->endFrame = 0xFFFFFFFF;
    List_Append(&scene->characters, &c->link);
    CharacterActionEntry* e = CharacterActionEntry_Append(c);
    e->startFrame = step, e->endFrame = step + 10;
    KeyPointArray_SetSize(&e->path, step);
    ObjectInstance* o = ObjectInstance_New();
    o->scene = scene;
    List_Append(&scene->objects, &o->link);
    if (Scene_ObjectCount(scene) > 1) o->carrier = Scene_ObjectAt(scene, 0);
    TextItem* t = TextItem_Append(scene);
    Balloon_SetText(&t->balloon, ("paso " + std::to_string(step)).c_str());
    SoundItem* s = SoundItem_Append(scene);
    SoundItem_AttachDevices(s);
    s->fileName = ("falta" + std::to_string(step) + ".wav").c_str();
    SoundItem_OpenFile(s);
    m_movie.currentScene = step % 2;
  }

};

TEST_F(Undo, KeepsTheNewestEightStatesAndRestoresEachExactly) {
  std::vector<std::string> states;
  for (u32 step = 0; step < 9; ++step) {
    states.push_back(State());
    Edit(step);
  }
  EXPECT_EQ(m_movie.modified, 1u);
  u32 more = 7;
  for (u32 k = 0; k < 8; ++k) {
    Movie_Undo(&m_movie, &more);
    EXPECT_EQ(State(), states[8 - k]) << k;
    EXPECT_EQ(more, k < 7 ? 1u : 0u) << k;
    EXPECT_EQ(m_movie.modified, 1u);
  }
  // The ninth undo finds the ring empty: the oldest state was dropped.
  const std::string before = State();
  Movie_Undo(&m_movie, &more);
  EXPECT_EQ(more, 0u);
  EXPECT_EQ(State(), before);
  EXPECT_EQ(g_selectionClears, 9);
  // Undo never clears modified, even back at the saved state.
  m_movie.modified = 0;
  Edit(20);
  Movie_Undo(&m_movie, &more);
  EXPECT_EQ(m_movie.modified, 1u);
}

TEST_F(Undo, TwoUndosReportMoreThenNoneAndTheSceneIsClamped) {
  Scene* scene = Movie_AppendScene(&m_movie);
  scene->length = 50;
  Movie_AppendScene(&m_movie)->length = 60;
  TempDir dir;
  const std::string wav = dir.Host("voz.wav");
  ASSERT_EQ(std::system(("sox -n -r 11025 -b 16 -c 1 '" + wav + "' synth 0.1 sine 440").c_str()), 0);
  SoundItem* item = SoundItem_Append(scene);
  item->fileName = ("*" + wav).c_str();
  SoundItem_OpenPlayer(item);
  m_movie.currentScene = 5;  // out of range when pushed
  Movie_PushUndo(&m_movie);
  // The undo point's copy keeps its player closed until it is restored.
  SLAudioFormat format{};
  EXPECT_FALSE(Scene_SoundAt(static_cast<Scene*>(List_At(&m_movie.undo[0].scenes, 0)), 0)->player->GetAudioFormat(&format));
  m_movie.currentScene = 0;
  Movie_PushUndo(&m_movie);
  u32 more = 0;
  Movie_Undo(&m_movie, &more);
  EXPECT_EQ(more, 1u);
  EXPECT_EQ(m_movie.currentScene, 0u);
  Movie_Undo(&m_movie, &more);
  EXPECT_EQ(more, 0u);
  EXPECT_EQ(m_movie.currentScene, 1u);  // clamped to the restored count
  EXPECT_EQ(Movie_SceneCount(&m_movie), 2u);
  ASSERT_TRUE(Scene_SoundAt(Movie_SceneAt(&m_movie, 0), 0)->player->GetAudioFormat(&format));
  EXPECT_EQ(format.samplesPerSecond, 11025u);
}

}  // namespace
