// The movie document: movie time to scene time, scene selection and the timeline slider,
// key-point arrays, deep copies of scenes (with carriers, attachments and sound players
// opened on the same files), random start positions and release.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "adventure/movie/Movie.h"
#include "adventure/movie/MovieHooks.h"
#include "adventure/movie/SceneRender.h"
#include "foundation/SLLibrary.h"
#include "media/SLMoviePlayer.h"
#include "tests/support/GuiTestWindow.h"
#include "tests/support/MovieFixtures.h"

namespace {

class MovieDocument : public MovieDevicesTest {
 protected:
  void TearDown() override {
    Movie_Clear(&m_movie);
    MovieCatalog::Free();
    MovieTimeline_Set({nullptr, nullptr, nullptr});
    AdventureDevices_Set(nullptr, nullptr, nullptr);
  }
  Scene* AddScene(u32 length) {
    Scene* scene = Movie_AppendScene(&m_movie);
    scene->length = length;
    return scene;
  }
  TempDir m_dir;
};

TEST_F(MovieDocument, MovieTimeMapsToSceneTime) {
  i32 scene = 7;
  u32 local = 7;
  EXPECT_EQ(Movie_FindSceneForFrame(&m_movie, 0, &scene, &local), 1u);
  EXPECT_EQ(scene, -1);
  for (u32 length : {100u, 0u, 50u, 30u}) AddScene(length);
  struct Row {
    u32 frame, pastEnd;
    i32 scene;
    u32 local;
  } rows[] = {{0, 0, 0, 0},   {99, 0, 0, 99},  {100, 0, 2, 0},  {149, 0, 2, 49},  // the empty scene is skipped
              {150, 0, 3, 0}, {179, 0, 3, 29}, {180, 1, 3, 30}, {100000, 1, 3, 30}};
  for (const Row& row : rows) {
    EXPECT_EQ(Movie_FindSceneForFrame(&m_movie, row.frame, &scene, &local), row.pastEnd) << row.frame;
    EXPECT_EQ(scene, row.scene) << row.frame;
    EXPECT_EQ(local, row.local) << row.frame;
  }
}

std::string g_sliderLog;
bool LogRange(CSL_GS_GuiWindow*, u32 range) { return g_sliderLog += "range " + std::to_string(range) + " ", true; }
bool LogPosition(CSL_GS_GuiWindow*, u32 position) {
  return g_sliderLog += "pos " + std::to_string(position) + " ", true;
}

TEST_F(MovieDocument, SelectionClampsAndTheTimelineFollowsTheScene) {
  Movie_SelectScene(&m_movie, 5);
  EXPECT_EQ(m_movie.currentScene, 0u);
  AddScene(100)->currentFrame = 40;
  AddScene(250)->currentFrame = 17;
  // Without a GUI manager nothing is set and nothing is rendered.
  Movie_SelectScene(&m_movie, 9);
  EXPECT_EQ(m_movie.currentScene, 1u);
  EXPECT_EQ(Movie_SceneAt(&m_movie, 1)->drawList.data, nullptr);

  CSL_GS_GuiManager manager;
  ASSERT_TRUE(manager.Init());
  MovieTimeline_Set({&manager, &LogRange, &LogPosition});
  g_sliderLog.clear();
  Movie_SelectScene(&m_movie, 0);
  EXPECT_EQ(g_sliderLog, "");  // no window 256 yet
  CTestGuiWindow::s_nextName = "slider";
  ASSERT_NE(manager.CreateWindow(CTestGuiWindow::GetClassRecord(), "", 0, 0, 10, 10, SL_GUI_WS_VISIBLE, 0,
                                 kTimelineSliderId, nullptr),
            nullptr);
  Movie_SelectScene(&m_movie, 7);
  EXPECT_EQ(m_movie.currentScene, 1u);
  // The range, the scene's frame, then the render in silent mode sets the position again.
  EXPECT_EQ(g_sliderLog, "range 250 pos 17 pos 17 ");
  EXPECT_EQ(Movie_SceneAt(&m_movie, 1)->currentFrame, 17u);
  Movie_Clear(&m_movie);
  g_sliderLog.clear();
  Movie_SelectScene(&m_movie, 3);
  EXPECT_EQ(g_sliderLog, "range 0 ");
  MovieTimeline_Set({nullptr, nullptr, nullptr});
  manager.Shutdown();
}

TEST(KeyPoints, GrowInSteps32ZeroFilledAndRefuseOverflowingCounts) {
  SLArrayHeader path{};
  ASSERT_TRUE(KeyPointArray_SetSize(&path, 3));
  EXPECT_EQ(path.capacity, 32u);
  KeyPointArray_Data(&path)[2] = {7, 8, 9};
  ASSERT_TRUE(KeyPointArray_SetSize(&path, 33));
  EXPECT_EQ(path.capacity, 64u);
  EXPECT_EQ(KeyPointArray_Data(&path)[2].lengthToNext, 9);
  for (u32 i = 3; i < 64; ++i) EXPECT_EQ(KeyPointArray_Data(&path)[i].x | KeyPointArray_Data(&path)[i].y, 0) << i;
  const void* before = path.data;
  // 0x15555556 x 12 bytes wraps 32 bits: refused before anything is allocated.
  for (u32 count : {0x15555556u, 0xFFFFFFF0u, 0xFFFFFFFFu}) {
    SL_EXPECT_FAIL(KeyPointArray_SetSize(&path, count), SL_E_OUT_OF_MEMORY);
    EXPECT_EQ(path.data, before);
    EXPECT_EQ(path.count, 33u);
  }
  KeyPointArray_Free(&path);
  EXPECT_EQ(path.data, nullptr);
  EXPECT_EQ(path.count + path.capacity, 0u);
}

// Field-by-field equality of two scenes, with pointers compared by position.
void ExpectSameScene(const Scene* a, const Scene* b) {
  EXPECT_EQ(a->background, b->background);
  EXPECT_EQ(a->currentFrame, b->currentFrame);
  EXPECT_EQ(a->length, b->length);
  ASSERT_EQ(Scene_CharacterCount(a), Scene_CharacterCount(b));
  for (u32 i = 0; i < Scene_CharacterCount(a); ++i) {
    const CharacterInstance *x = Scene_CharacterAt(a, i), *y = Scene_CharacterAt(b, i);
    EXPECT_EQ(y->scene, b);
    EXPECT_EQ(x->character, y->character);
    EXPECT_EQ(x->firstFrame, y->firstFrame);
    EXPECT_EQ(x->endFrame, y->endFrame);
    EXPECT_EQ(x->x, y->x);
    EXPECT_EQ(x->y, y->y);
    ASSERT_EQ(List_Count(&x->actions), List_Count(&y->actions));
    for (u32 k = 0; k < List_Count(&x->actions); ++k) {
      auto* e = static_cast<CharacterActionEntry*>(List_At(&x->actions, k));
      auto* f = static_cast<CharacterActionEntry*>(List_At(&y->actions, k));
      EXPECT_EQ(f->owner, y);
      EXPECT_EQ(std::tie(e->startFrame, e->endFrame, e->pathLength, e->pathFrames, e->direction, e->keepDirection,
                         e->action),
                std::tie(f->startFrame, f->endFrame, f->pathLength, f->pathFrames, f->direction, f->keepDirection,
                         f->action));
      ASSERT_EQ(e->path.count, f->path.count);
      EXPECT_NE(e->path.data, f->path.data);
      EXPECT_EQ(0, memcmp(e->path.data, f->path.data, e->path.count * sizeof(KeyPoint)));
    }
  }
  ASSERT_EQ(Scene_ObjectCount(a), Scene_ObjectCount(b));
  for (u32 i = 0; i < Scene_ObjectCount(a); ++i) {
    const ObjectInstance *x = Scene_ObjectAt(a, i), *y = Scene_ObjectAt(b, i);
    EXPECT_EQ(std::tie(x->object, x->x, x->y, x->supportPoint), std::tie(y->object, y->x, y->y, y->supportPoint));
    EXPECT_EQ(x->carrier ? List_IndexOf(&a->objects, x->carrier) : -1,
              y->carrier ? List_IndexOf(&b->objects, y->carrier) : -1);
    if (y->carrier) {
      EXPECT_EQ(y->carrier->scene, b);
    }
    ASSERT_EQ(List_Count(&x->states), List_Count(&y->states));
    for (u32 k = 0; k < List_Count(&x->states); ++k) {
      auto* e = static_cast<ObjectStateEntry*>(List_At(&x->states, k));
      auto* f = static_cast<ObjectStateEntry*>(List_At(&y->states, k));
      EXPECT_EQ(std::tie(e->state, e->startFrame, e->endFrame, e->pathLength, e->pathFrames, e->path.count),
                std::tie(f->state, f->startFrame, f->endFrame, f->pathLength, f->pathFrames, f->path.count));
    }
  }
  ASSERT_EQ(Scene_TextCount(a), Scene_TextCount(b));
  for (u32 i = 0; i < Scene_TextCount(a); ++i) {
    const TextItem *x = Scene_TextAt(a, i), *y = Scene_TextAt(b, i);
    EXPECT_EQ(std::tie(x->variant, x->startFrame, x->endFrame, x->x, x->y, x->attachKind),
              std::tie(y->variant, y->startFrame, y->endFrame, y->x, y->y, y->attachKind));
    EXPECT_STREQ(x->balloon.text, y->balloon.text);
    EXPECT_EQ(x->balloon.font, y->balloon.font);
    const MovieLink* listA = x->attachKind == kTextSpokenByCharacter ? &a->characters : &a->objects;
    const MovieLink* listB = x->attachKind == kTextSpokenByCharacter ? &b->characters : &b->objects;
    EXPECT_EQ(x->attachedTo ? List_IndexOf(listA, x->attachedTo) : -1,
              y->attachedTo ? List_IndexOf(listB, y->attachedTo) : -1);
  }
  ASSERT_EQ(Scene_SoundCount(a), Scene_SoundCount(b));
  for (u32 i = 0; i < Scene_SoundCount(a); ++i) {
    SoundItem *x = Scene_SoundAt(a, i), *y = Scene_SoundAt(b, i);
    EXPECT_STREQ(x->fileName.CStr(), y->fileName.CStr());
    EXPECT_EQ(std::tie(x->startFrame, x->endFrame, x->speed, x->kind),
              std::tie(y->startFrame, y->endFrame, y->speed, y->kind));
    EXPECT_NE(x->player, y->player);
    const MovieLink* listA = x->kind == kSoundSpoken ? &a->characters : &a->objects;
    const MovieLink* listB = x->kind == kSoundSpoken ? &b->characters : &b->objects;
    EXPECT_EQ(x->attachedTo ? List_IndexOf(listA, x->attachedTo) : -1,
              y->attachedTo ? List_IndexOf(listB, y->attachedTo) : -1);
  }
}

// The program folder of the test program, where "Sfx" names are looked for.
std::string ProgramFolder() {
  char path[1024];
  const u32 length = SLGetModuleFileNameA(nullptr, path, sizeof path);
  std::string text(path, length);
  return text.substr(0, text.find_last_of("/\\") + 1);
}

TEST_F(MovieDocument, CloneIsDeepEqualAndPointsIntoItself) {
  const std::string wav = m_dir.Host("voz.wav"), fifo = m_dir.Host("tubo");
  ASSERT_EQ(std::system(("sox -n -r 22050 -b 16 -c 1 '" + wav + "' synth 0.2 sine 440").c_str()), 0);
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string sfxFolder = ProgramFolder() + "Sfx";
  const std::string sfxName = "movie_clone_" + std::to_string(getpid()) + ".wav";
  mkdir(sfxFolder.c_str(), 0755);
  ASSERT_EQ(std::system(("cp '" + wav + "' '" + sfxFolder + "/" + sfxName + "'").c_str()), 0);
  SL_GS_Font* font = MovieTestMonoFont(&m_gfx, m_dir);
  ASSERT_NE(font, nullptr);

  for (u32 s = 0; s < 3; ++s) {
    Scene* scene = AddScene(600 + s);
    scene->background = -1;
    scene->currentFrame = 12 + s;
    for (u32 c = 0; c < 2; ++c) {
      CharacterInstance* character = CharacterInstance_New();
      character->scene = scene;
      character->character = i32(c + s);
      character->firstFrame = 5 * c, character->endFrame = 500 + c;
      character->x = 100 + i32(c), character->y = 200 + i32(s);
      character->lastPlacedAction = 4;
      character->visible = 1, character->scale = 0.7;  // results are not copied
      List_Append(&scene->characters, &character->link);
      CharacterActionEntry* entry = CharacterActionEntry_Append(character);
      entry->startFrame = 10, entry->endFrame = 70, entry->direction = 6, entry->keepDirection = 1, entry->action = 2;
      ASSERT_TRUE(KeyPointArray_SetSize(&entry->path, 3));
      for (u32 k = 0; k < 3; ++k) KeyPointArray_Data(&entry->path)[k] = {i32(k * 10), i32(k * 20 + s), 22};
      entry->pathLength = 44, entry->pathFrames = 50;
    }
    for (u32 o = 0; o < 3; ++o) {
      ObjectInstance* object = ObjectInstance_New();
      object->scene = scene;
      object->object = i32(o);
      object->x = 300 + i32(o), object->y = 100;
      List_Append(&scene->objects, &object->link);
      ObjectStateEntry* entry = ObjectStateEntry_Append(object);
      entry->state = o, entry->startFrame = 3, entry->endFrame = 9;
    }
    // Object 0 rests on object 2, which comes later in the list.
    Scene_ObjectAt(scene, 0)->carrier = Scene_ObjectAt(scene, 2);
    Scene_ObjectAt(scene, 0)->supportPoint = 1;
    struct TextSpec {
      u32 kind, index, style, width, variant;
    } texts[] = {{kTextSpokenByCharacter, 1, 3, 250, 0}, {kTextAttachedToObject, 2, 12, 300, 1}, {0, 0, 0, 80, 0}};
    for (const TextSpec& t : texts) {
      TextItem* text = TextItem_Append(scene);
      text->balloon.style = t.style, text->balloon.width = t.width, text->balloon.font = font;
      Balloon_SetText(&text->balloon, "Hola a todos");
      Balloon_Layout(&text->balloon);
      text->variant = t.variant, text->startFrame = 1, text->endFrame = 90, text->x = 40, text->y = 50;
      text->attachKind = t.kind;
      text->attachedTo = t.kind == kTextSpokenByCharacter ? static_cast<void*>(Scene_CharacterAt(scene, t.index))
                         : t.kind == kTextAttachedToObject ? static_cast<void*>(Scene_ObjectAt(scene, t.index))
                                                           : nullptr;
    }
    const std::string names[] = {"*" + wav, sfxName, "*" + m_dir.Host("borrado.wav"), "*" + fifo};
    u32 kind = 0;
    for (const std::string& name : names) {
      SoundItem* item = SoundItem_Append(scene);
      ASSERT_TRUE(SoundItem_AttachDevices(item));
      item->fileName = name.c_str();
      item->startFrame = 2, item->endFrame = 80, item->speed = 1.5, item->kind = kind;
      item->attachedTo = kind == kSoundSpoken ? static_cast<void*>(Scene_CharacterAt(scene, 0))
                         : kind == kSoundObject ? static_cast<void*>(Scene_ObjectAt(scene, 1))
                                                : nullptr;
      kind = (kind + 1) % 4;
    }
  }
  for (u32 s = 0; s < 3; ++s) {
    SCOPED_TRACE(s);
    const Scene* source = Movie_SceneAt(&m_movie, s);
    Scene* copy = Scene_Clone(source);
    EXPECT_EQ(SLGetLastError(), SL_OK);
    ExpectSameScene(source, copy);
    for (u32 c = 0; c < 2; ++c) {
      EXPECT_EQ(Scene_CharacterAt(copy, c)->lastPlacedAction, -1);
      EXPECT_EQ(Scene_CharacterAt(copy, c)->visible, 0u);
      EXPECT_EQ(Scene_CharacterAt(copy, c)->scale, 0.0);
    }
    EXPECT_EQ(Scene_ObjectAt(copy, 0)->carrier, Scene_ObjectAt(copy, 2));
    // Style 0 and width 80 come out corrected and laid out.
    const Balloon& floating = Scene_TextAt(copy, 2)->balloon;
    EXPECT_EQ(floating.style, 1u);
    EXPECT_EQ(floating.width, 100u);
    EXPECT_EQ(floating.lines.GetCount(), 2u);  // "Hola a" and "todos" at 50 pixels
    EXPECT_EQ(Scene_TextAt(copy, 1)->balloon.style, 12u);
    // The "*" and "Sfx" items open their files; the deleted one and the FIFO stay silent
    // but keep their names.
    SLAudioFormat format{};
    for (u32 i = 0; i < 4; ++i) {
      EXPECT_EQ(Scene_SoundAt(copy, i)->player->GetAudioFormat(&format), i < 2) << i;
      if (i < 2) {
        EXPECT_EQ(format.samplesPerSecond, 22050u);
      }
    }
    Scene_Free(copy, 0);
  }
  std::remove((sfxFolder + "/" + sfxName).c_str());
}

TEST_F(MovieDocument, NewElementsStartOnAnOpaquePartOfTheMask) {
  const i32 onePixel = MovieCatalog::AddBackground(&m_gfx, "a_pixel", [](i32 x, i32 y) { return u8(x == 400 && y == 300 ? 9 : 0); });
  const i32 outside = MovieCatalog::AddBackground(&m_gfx, "b_borde", [](i32 x, i32 y) { return u8(x < 50 && y > 360 ? 200 : 0); });
  const i32 empty = MovieCatalog::AddBackground(&m_gfx, "c_vacio", [](i32, i32) { return u8(0); });
  const i32 walker = MovieCatalog::AddCharacter("andarin", false, {{"Normal", 0}}, {{}});
  const i32 flyer = MovieCatalog::AddCharacter("volador", true, {{"Normal", 0}}, {{}});
  const i32 floor = MovieCatalog::AddObject("mesa", -1, {{"Normal", {}}});
  struct Row {
    i32 background;
    i32 x, y;  // -1: anywhere in the start range
  } rows[] = {{onePixel, 400, 300}, {outside, 0, 361}, {empty, 331, 185}, {-1, 331, 185}, {97, 331, 185}};
  for (const Row& row : rows) {
    Scene* scene = AddScene(10);
    scene->background = row.background;
    for (u32 i = 0; i < 1000; ++i) {
      const bool object = i % 2 == 1;
      i32 x, y;
      if (object) {
        ObjectInstance* instance = ObjectInstance_Create(scene, floor);
        x = instance->x, y = instance->y;
      } else {
        CharacterInstance* instance = CharacterInstance_Create(scene, walker);
        EXPECT_EQ(instance->endFrame, 0xFFFFFFFFu);
        EXPECT_EQ(instance->lastPlacedAction, -1);
        x = instance->x, y = instance->y;
      }
      ASSERT_EQ(x, row.x) << row.background << " " << i;
      ASSERT_EQ(y, row.y) << row.background << " " << i;
    }
    EXPECT_EQ(Scene_CharacterCount(scene) + Scene_ObjectCount(scene), 1000u);
    // A floating character takes any point of the start range.
    CharacterInstance* flying = CharacterInstance_Create(scene, flyer);
    EXPECT_TRUE(flying->x >= 50 && flying->x < 614 && flying->y >= 20 && flying->y < 352);
  }
}

TEST_F(MovieDocument, ClearFreesEverythingAndEndsThePlayers) {
  const std::string wav = m_dir.Host("musica.wav");
  ASSERT_EQ(std::system(("sox -n -r 22050 -b 16 -c 2 '" + wav + "' synth 2 sine 300").c_str()), 0);
  Scene* scene = AddScene(600);
  SoundItem* item = SoundItem_Append(scene);
  ASSERT_TRUE(SoundItem_AttachDevices(item));
  item->fileName = ("*" + wav).c_str();
  ASSERT_TRUE(SoundItem_OpenFile(item));
  item->startFrame = 0, item->endFrame = 600, item->kind = kSoundMusic;
  Scene_RenderAtFrame(scene, 30, kModeSeek);
  EXPECT_TRUE(item->player->IsPlaying());
  m_movie.name = static_cast<char*>(SLAlloc(8));
  strcpy(m_movie.name, "peli");
  m_movie.modified = 1;
  m_movie.currentScene = 0;
  Movie_PushUndo(&m_movie);
  Movie_Clear(&m_movie);
  EXPECT_EQ(m_movie.name, nullptr);
  EXPECT_EQ(m_movie.modified, 0u);
  EXPECT_TRUE(List_IsEmpty(&m_movie.scenes));
  for (const UndoSlot& slot : m_movie.undo) {
    EXPECT_EQ(slot.savedScene, -1);
    EXPECT_TRUE(List_IsEmpty(&slot.scenes));
  }
}

}  // namespace
