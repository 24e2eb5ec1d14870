// The editor's stage on a catalogue built in memory: the nearest opaque point against a
// brute-force search, class lists, key frames and scene length, then the stage input
// driven tick by tick with a scripted mouse (selecting, the element menu, dragging onto
// the floor and onto support points), stepping the selection, preview playback, the
// time display and the tooltip's timing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <string>

#include "adventure/movie/MovieHooks.h"
#include "adventure/movie/SceneRender.h"
#include "app/services/AppServices.h"
#include "app/services/CMyGuiManager.h"
#include "app/editor/EditorScreen.h"
#include "app/editor/EditorMenus.h"
#include "app/editor/EditorState.h"
#include "app/services/ModalStack.h"
#include "app/editor/ClassList.h"
#include "app/editor/EditorTimeline.h"
#include "app/editor/StageMaskSearch.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "gamesystem/directx/SLKeyboardInput.h"
#include "gamesystem/directx/SLMouseInput.h"
#include "gui/SLGuiMenuPopup.h"
#include "gui/SLGuiWindow.h"
#include "tests/support/AppHarness.h"
#include "tests/support/MovieCatalog.h"
#include "tests/support/ScriptedInput.h"
#include "tests/support/TempDir.h"
#include "tests/support/ScreenGolden.h"
#include "tests/support/TestSupport.h"

namespace {

// --- Nearest opaque point ----------------------------------------------------------------

// A background record of its own (built and torn down by the catalogue's functions, in
// raw memory as the catalogue keeps its records).
struct MaskRecord {
  MaskRecord() : record(*reinterpret_cast<SceneRecord*>(storage)) {
    SceneRecord_Construct(&record);
    record.mask.Create(SL_IMAGE_FORMAT_ALPHA, kStageWidth, kStageHeight, false);
    for (u32 y = 0; y < kStageHeight; ++y)
      for (u32 x = 0; x < kStageWidth; ++x) *record.mask.GetPixelAddress(x, y) = 0;
  }
  ~MaskRecord() { SceneRecord_Destruct(&record); }
  u8& At(i32 x, i32 y) { return *record.mask.GetPixelAddress(u32(x), u32(y)); }
  alignas(SceneRecord) unsigned char storage[sizeof(SceneRecord)];
  SceneRecord& record;
};

// The search as the user sees it: the point itself, then down the column, up the column,
// right along the row and left along it, every point off the stage skipped.
u32 ReferenceSearch(MaskRecord& m, i32* x, i32* y) {
  auto alpha = [&m](i32 px, i32 py) -> u32 {
    return px >= 0 && py >= 0 && px < i32(kStageWidth) && py < i32(kStageHeight) ? m.At(px, py) : 0;
  };
  if (u32 a = alpha(*x, *y)) return a;
  for (i32 r = *y + 1; r < 1000; ++r)
    if (u32 a = alpha(*x, r)) return *y = r, a;
  for (i32 r = *y - 1; r > -1000; --r)
    if (u32 a = alpha(*x, r)) return *y = r, a;
  for (i32 c = *x + 1; c < 1000; ++c)
    if (u32 a = alpha(c, *y)) return *x = c, a;
  for (i32 c = *x - 1; c > -1000; --c)
    if (u32 a = alpha(c, *y)) return *x = c, a;
  return 0xFFFFFFFFu;
}

TEST(EditorStageHelpers, NearestOpaquePointMatchesABruteForceSearch) {
  std::mt19937 random(4711);
  MaskRecord m;
  for (int round = 0; round < 60; ++round) {
    for (u32 y = 0; y < kStageHeight; ++y)
      for (u32 x = 0; x < kStageWidth; ++x) m.At(i32(x), i32(y)) = 0;
    // Sparse masks (some empty) make every branch of the search matter.
    const int dots = round % 6 == 0 ? 0 : int(random() % 400);
    for (int i = 0; i < dots; ++i) m.At(i32(random() % kStageWidth), i32(random() % kStageHeight)) = u8(1 + random() % 255);
    for (int probe = 0; probe < 200; ++probe) {
      const i32 x = i32(random() % 740) - 40, y = i32(random() % 450) - 40;
      i32 ex = x, ey = y, gx = x, gy = y;
      const u32 expected = ReferenceSearch(m, &ex, &ey);
      const u32 got = Stage_FindNearestOpaquePoint(&m.record, &gx, &gy);
      ASSERT_EQ(got, expected) << x << "," << y;
      ASSERT_EQ(gx, ex);
      ASSERT_EQ(gy, ey);
    }
  }
}

TEST(EditorStageHelpers, NearestOpaquePointPrefersBelowAndLeavesAHopelessPointAlone) {
  MaskRecord m;
  m.At(100, 50) = 7;   // above
  m.At(100, 300) = 9;  // below: found first
  i32 x = 100, y = 120;
  EXPECT_EQ(Stage_FindNearestOpaquePoint(&m.record, &x, &y), 9u);
  EXPECT_EQ(y, 300);
  x = 200, y = 120;  // nothing on row 120 or column 200
  EXPECT_EQ(Stage_FindNearestOpaquePoint(&m.record, &x, &y), 0xFFFFFFFFu);
  EXPECT_EQ(x, 200);
  EXPECT_EQ(y, 120);
}

TEST(EditorStageHelpers, ClassListsMatchExcludeAndCut) {
  const std::string longToken(2000, 'a'), cutName(1023, 'a');
  struct Row {
    std::string list, name;
    u32 step, expected, value;
  } rows[] = {
      {"TODOS, -Mesa", "Silla", 1, 1, 0},
      {"TODOS, -Mesa", "mesa", 1, 0, 0},
      {"-Mesa, TODAS", "Silla", 1, 2, 0},
      {"-Mesa, TODAS", "MESA", 1, 0, 0},
      {"Silla", "Silla", 1, 1, 0},
      {"Silla", "Mesa", 1, 0, 0},
      {" 'Mesa grande' ,\t\"Silla\"", "mesa grande", 1, 1, 0},
      {"Silla,,Mesa", "Mesa", 1, 0, 0},  // an empty token ends the list
      {"", "Mesa", 1, 0, 0},
      {"Silla, 3, Mesa, 12", "Mesa", 2, 3, 12},
      {"Silla, 3, Mesa, 12", "3", 2, 0, 0},  // values are not names with step 2
      {"Silla, 3, -Mesa, 12", "Mesa", 2, 0, 0},
      {"Perro, 200", "perro", 2, 1, 200},
      {longToken + ",Silla", cutName, 1, 1, 0},  // tokens are cut at 1023 characters
      {"\xc1rbol", "\xc1rbol", 1, 1, 0},
  };
  for (const Row& row : rows) {
    u32 value = 99;
    EXPECT_EQ(ClassList_Match(row.list.c_str(), row.name.c_str(), row.step, &value), row.expected) << row.list;
    if (row.step == 2) {
      EXPECT_EQ(value, row.value) << row.list;
    }
  }
}

// --- The editor on an in-memory catalogue ------------------------------------------------

// The floor: an opaque block x 300..399, y 200..299 (alpha 255); the rest is transparent.
u8 FloorAlpha(i32 x, i32 y) { return x >= 300 && x < 400 && y >= 200 && y < 300 ? 255 : 0; }

class EditorStage : public AppScreenTest {
 protected:
  static void SetUpTestSuite() {
    AppScreenTest::SetUpTestSuite();
    CSL_GS_Gfx_DirectX* gfx = App_Services().gfx;
    s_background = MovieCatalog::AddBackground(gfx, "Fondo", &FloorAlpha);
    SL_GS_Image* body = MovieCatalog::Solid(gfx, 20, 40, 10, 39, 0xFF2040C0);
    MovieCatalog::ActionSpec stand;
    stand.frames[0] = {body};
    MovieCatalog::AddCharacter("Andante", false, {{"Normal", 0}}, {stand});
    MovieCatalog::AddCharacter("Volador", true, {{"Normal", 0}}, {stand});
    SL_GS_Image* box = MovieCatalog::Solid(gfx, 40, 20, 20, 19, 0xFF30A030);
    MovieCatalog::AddObject("Mesa", -1, {{"Quieta", {box}}}, {{10, 5}});
    MovieCatalog::AddObject("Taza", -1, {{"Quieta", {box}}});
    ObjectCatalog_GetAt(u32(Index(ObjectCatalog, "Mesa")))->supportPoints[0]->objectClasses = "TODOS";
  }
  static void TearDownTestSuite() {
    MovieCatalog::Free();
    AppScreenTest::TearDownTestSuite();
  }
  void SetUp() override {
    AppScreenTest::SetUp();
    EditorScreen_Load();
    Scene* scene = Movie_AppendScene(Editor_Movie());
    scene->background = s_background;
    Movie_SelectScene(Editor_Movie(), 0);
  }
  void TearDown() override {
    // The devices go back before the scripted ones die: the manager listens to its devices.
    App_GuiManager().SetMouse(App_Services().mouse);
    App_GuiManager().SetKeyboard(App_Services().keyboard);
    m_mice.clear();
    EditorScreen_Free();
    AppScreenTest::TearDown();
  }
  // A scripted mouse that lives until the test's end, installed on the GUI manager.
  CScriptedMouse& Mouse(const std::string& script) {
    m_mice.push_back(std::make_unique<CScriptedMouse>(script));
    App_GuiManager().SetMouse(m_mice.back().get());
    return *m_mice.back();
  }
  static i32 Index(CatalogList& list, const char* name) {
    for (u32 i = 0;; ++i) {
      CatalogEntry* entry = CatalogList_GetAt(&list, i);
      if (!entry) return -1;
      const char* entryName = &list == &CharacterCatalog ? static_cast<CharacterRecord*>(entry)->name.CStr()
                              : &list == &ObjectCatalog  ? static_cast<ObjectRecord*>(entry)->name.CStr()
                                                         : static_cast<SceneRecord*>(entry)->name.CStr();
      if (std::string(entryName) == name) return i32(i);
    }
  }
  static Scene* Current() { return Editor_CurrentScene(); }
  static CharacterInstance* AddCharacter(const char* name, i32 x, i32 y) {
    CharacterInstance* c = CharacterInstance_Create(Current(), Index(CharacterCatalog, name));
    c->x = x, c->y = y;
    return c;
  }
  static ObjectInstance* AddObject(const char* name, i32 x, i32 y) {
    ObjectInstance* o = ObjectInstance_Create(Current(), Index(ObjectCatalog, name));
    o->x = x, o->y = y;
    return o;
  }
  static void Render() { Editor_RenderCurrent(Editor_CurrentFrame(), kModeSilent); }

  // Plays a mouse script on the stage input, one tick per line number from 1 to `ticks`.
  static void Play(CScriptedMouse& mouse, u32 ticks) {
    for (u32 t = 1; t <= ticks; ++t) {
      mouse.Advance(t);
      EditorScreen_StageInput();
    }
  }
  static std::string At(i32 stageX, i32 stageY) {
    return "mouse " + std::to_string(stageX + kStageX) + "," + std::to_string(stageY + kStageY);
  }

  static inline i32 s_background;
  std::vector<std::unique_ptr<CScriptedMouse>> m_mice;
};

TEST_F(EditorStage, AReleaseWithoutMovingOpensTheMenuAndOneAfterMovingDoesNot) {
  CharacterInstance* c = AddCharacter("Andante", 350, 250);
  CharacterActionEntry* action = CharacterActionEntry_Append(c);  // with an action it cannot be dragged
  action->startFrame = 0, action->endFrame = 100;
  Render();
  // The editor's seam is watched on its way to the real menu.
  static u32 s_opens, s_fromStage;
  s_opens = 0, s_fromStage = 0;
  Editor_SetItemMenu([](u32 fromStage) {
    ++s_opens, s_fromStage = fromStage;
    EditorScreen_ShowItemMenu(fromStage ? kItemMenuFromStage : kItemMenuFromButton);
  });
  CScriptedMouse& click = Mouse("tick 1: " + At(350, 245) + "; button 1 down\ntick 2: button 1 up\n");
  Play(click, 3);
  EXPECT_EQ(Editor_State().selection.element, c);
  EXPECT_EQ(s_opens, 1u);
  EXPECT_EQ(s_fromStage, 1u);
  // The menu that opened rests the stage until it closes.
  EditorMenus_Close();

  CScriptedMouse& wiggle = Mouse("tick 1: " + At(350, 245) + "; button 1 down\ntick 2: " + At(360, 245) + "\ntick 3: " +
                        At(350, 245) + "\ntick 4: button 1 up\n");
  Play(wiggle, 5);
  EXPECT_EQ(s_opens, 1u);
  EditorMenus_Install();
  EXPECT_EQ(Editor_State().stageMode, u32(kStageSelect));
  EXPECT_EQ(c->x, 350);  // an element with an action stays where it is
  EXPECT_FALSE(Editor_Control(kIdMenuDeshacer)->IsEnabled());
}

// As the editor's tick runs them, the stage and then the GUI: the release that opens an
// element's menu reaches the menu's first tick with the pointer beside the menu, which
// ends at it, and leaves it open; the pointer rests on none of its entries.
TEST_F(EditorStage, TheElementMenuOpenedByAReleaseStaysOpenBesideThePointer) {
  CharacterInstance* c = AddCharacter("Andante", 350, 250);
  Render();
  Editor_State().selection = EditorSelection{kHitCharacter, 0, 0, 0, c, 0, 0, 0};
  CScriptedMouse& click = Mouse("tick 1: " + At(350, 245) + "; button 1 down\ntick 2: button 1 up\ntick 3: " +
                                At(350, 245) + "\n");
  for (u32 t = 1; t <= 3; ++t) {
    click.Advance(t);
    EditorScreen_StageInput();
    ASSERT_TRUE(App_GuiManager().Update(false));
  }
  auto* menu = static_cast<CSL_GS_GuiMenuPopup*>(Editor_State().popups.windows[0]);
  ASSERT_NE(menu, nullptr);
  EXPECT_TRUE(menu->IsVisibleInTree());
  const SLGuiRect& r = menu->GetWindowRect();
  EXPECT_EQ(r.x + r.width, 350 + kStageX);
  EXPECT_EQ(r.y + r.height, 245 + kStageY);
  EXPECT_EQ(menu->GetHighlightedItem(), -1);
  EditorMenus_Close();
}

TEST_F(EditorStage, TheStageRestsWhileADialogIsOpenAndHoldsADragOnlyWithTheButton) {
  CharacterInstance* c = AddCharacter("Volador", 350, 250);
  Render();
  CScriptedMouse& mouse = Mouse("tick 1: " + At(350, 245) + "; button 1 down\ntick 2: " + At(360, 245) +
                                "\ntick 3: " + At(370, 245) + "\ntick 4: " + At(380, 245) + "\n");
  ModalStack_Begin(0);
  Play(mouse, 2);
  EXPECT_EQ(Editor_State().stageMode, u32(kStageInactive));
  EXPECT_EQ(Editor_State().selection.kind, 0u);  // no click reaches the stage
  ModalStack_End();
  mouse.Advance(3);
  EditorScreen_StageInput();  // back to selecting; the held button starts no drag of nothing
  EXPECT_EQ(Editor_State().stageMode, u32(kStageSelect));
  EXPECT_EQ(c->x, 350);
}

TEST_F(EditorStage, ElementsThatMayNotBeDraggedStay) {
  ObjectInstance* o = AddObject("Taza", 350, 250);
  ObjectStateEntry* change = ObjectStateEntry_Append(o);
  change->startFrame = 10, change->endFrame = 20;
  TextItem* text = TextItem_Append(Current());
  text->startFrame = 0, text->endFrame = 100, text->x = 20, text->y = 20;
  text->attachKind = kTextAttachedToObject, text->attachedTo = o;
  Render();
  const i32 textX = text->x, textY = text->y;  // an attached text sits by its element
  for (void* element : {static_cast<void*>(o), static_cast<void*>(text)}) {
    Editor_State().selection = EditorSelection{element == o ? kHitObject : kHitText, 0, 0, 0, element, 0, 0, 0};
    Editor_State().hover = Editor_State().selection;
    // Pressing elsewhere on the stage would select something else: hold the press off it.
    Editor_State().pressMoved = 1;
    CScriptedMouse& hold = Mouse("tick 1: " + At(600, 30) + "; button 1 down\ntick 2: " + At(620, 40) + "\n");
    hold.Advance(1);
    EditorScreen_StageInput();
    Editor_State().selection = EditorSelection{element == o ? kHitObject : kHitText, 0, 0, 0, element, 0, 0, 0};
    hold.Advance(2);
    EditorScreen_StageInput();
    EXPECT_EQ(Editor_State().stageMode, u32(kStageSelect));
  }
  EXPECT_EQ(o->x, 350);
  EXPECT_EQ(text->x, textX);
  EXPECT_EQ(text->y, textY);
}

TEST_F(EditorStage, AStandingCharacterLandsOnTheFloorOrStays) {
  CharacterInstance* c = AddCharacter("Andante", 350, 250);
  Render();
  // Press on it, move a little (the drag starts), then drag 100 pixels up: the floor's
  // top edge below the pointer takes it. Then far left, where neither the row nor the
  // column has floor: it stays.
  CScriptedMouse& drag = Mouse("tick 1: " + At(350, 245) + "; button 1 down\ntick 2: " + At(352, 245) + "\ntick 3: " +
                      At(352, 145) + "\ntick 4: " + At(52, 145) + "\ntick 5: button 1 up\n");
  Play(drag, 3);
  EXPECT_EQ(Editor_State().stageMode, u32(kStageDrag));
  EXPECT_TRUE(Editor_Control(kIdMenuDeshacer)->IsEnabled());  // the drag took an undo point
  EXPECT_EQ(c->x, 350);
  EXPECT_EQ(c->y, 200);  // (350, 150) is transparent: the floor below starts at 200
  drag.Advance(4);
  EditorScreen_StageInput();
  EXPECT_EQ(c->x, 350);
  EXPECT_EQ(c->y, 200);
  drag.Advance(5);
  EditorScreen_StageInput();
  EXPECT_EQ(Editor_State().stageMode, u32(kStageSelect));
}

TEST_F(EditorStage, DragsAreClampedToTheStageAndFloatingCharactersGoAnywhere) {
  CharacterInstance* c = AddCharacter("Volador", 350, 250);
  Render();
  CScriptedMouse& drag = Mouse("tick 1: " + At(350, 245) + "; button 1 down\ntick 2: " + At(351, 245) +
                      "\ntick 3: mouse 2000,-50\ntick 4: " + At(100, 60) + "\n");
  Play(drag, 3);
  EXPECT_EQ(c->x, i32(kStageWidth) - 1);
  EXPECT_EQ(c->y, 0);
  drag.Advance(4);
  EditorScreen_StageInput();
  EXPECT_EQ(c->x, 100 - 1);  // the offset of the press stays: it was taken one pixel to the right
  EXPECT_EQ(c->y, 60 + 5);
}

TEST_F(EditorStage, AnObjectSnapsOntoASupportPointAndIsSetDownAwayFromIt) {
  ObjectInstance* table = AddObject("Mesa", 320, 290);
  ObjectInstance* cup = AddObject("Taza", 380, 290);
  Render();
  const i32 supportX = i32(10 * table->scale) + table->left, supportY = i32(5 * table->scale) + table->top;
  CScriptedMouse& drag = Mouse("tick 1: " + At(380, 285) + "; button 1 down\ntick 2: " + At(381, 285) + "\ntick 3: " +
                      At(supportX + 9, supportY + 10) + "\ntick 4: " + At(supportX + 10, supportY + 10) +
                      "\ntick 5: " + At(390, 280) + "\n");
  Play(drag, 3);
  ASSERT_EQ(Editor_State().selection.element, cup);
  EXPECT_EQ(cup->carrier, table);  // 9² + 10² = 181 < 200
  EXPECT_EQ(cup->supportPoint, 0u);
  drag.Advance(4);
  EditorScreen_StageInput();
  EXPECT_EQ(cup->carrier, nullptr);  // 10² + 10² = 200 is too far
  drag.Advance(5);
  EditorScreen_StageInput();
  EXPECT_EQ(cup->carrier, nullptr);
  EXPECT_EQ(cup->x, 390);  // set down: the offset is gone, it follows the pointer on the floor
  EXPECT_EQ(cup->y, 280);
}

TEST_F(EditorStage, AnObjectNeverSnapsOntoOneThatRestsOnIt) {
  ObjectInstance* below = AddObject("Mesa", 320, 290);
  ObjectInstance* above = AddObject("Mesa", 360, 290);
  above->carrier = below, above->supportPoint = 0;
  Render();
  ASSERT_EQ(above->left, i32(10 * below->scale) + below->left - 20);  // hung from its carrier's point
  const i32 pointX = i32(10 * above->scale) + above->left, pointY = i32(5 * above->scale) + above->top;
  // Press on the part of the lower table that the upper one leaves free, then drag it
  // next to the upper table's own support point.
  CScriptedMouse& drag = Mouse("tick 1: " + At(335, 287) + "; button 1 down\ntick 2: " + At(336, 287) +
                               "\ntick 3: " + At(pointX + 1, pointY + 1) + "\n");
  Play(drag, 3);
  ASSERT_EQ(Editor_State().selection.element, below);
  EXPECT_EQ(below->carrier, nullptr);
  EXPECT_EQ(above->carrier, below);
}

TEST_F(EditorStage, SteppingRunsThroughShownCharactersThenObjects) {
  CharacterInstance* a = AddCharacter("Andante", 310, 210);
  CharacterInstance* hidden = AddCharacter("Andante", 320, 220);
  hidden->firstFrame = 50;  // not shown at frame 0
  ObjectInstance* x = AddObject("Taza", 330, 230);
  ObjectInstance* y = AddObject("Taza", 340, 240);
  Render();
  EditorState& state = Editor_State();
  state.selection = EditorSelection{kHitObject, 1, 0, 0, y, 0, 0, 0};
  EditorSelection_Step(true);
  EXPECT_EQ(state.selection.element, a);  // after the last object comes the first character
  EXPECT_EQ(state.selection.x, a->posX);
  EditorSelection_Step(true);
  EXPECT_EQ(state.selection.element, x);  // the hidden character is skipped
  EditorSelection_Step(false);
  EXPECT_EQ(state.selection.element, a);
  state.selection = EditorSelection{};
  EditorSelection_Step(false);  // from the first character backwards: the last object
  EXPECT_EQ(state.selection.element, y);
  // Nothing shown at this frame: one turn of the ring, then nothing is selected.
  for (ElementResults* e : {static_cast<ElementResults*>(a), static_cast<ElementResults*>(hidden),
                            static_cast<ElementResults*>(x), static_cast<ElementResults*>(y)})
    e->visible = 0;
  EditorSelection_Step(true);
  EXPECT_EQ(state.selection.kind, 0u);
}

// A character on stage until `end`: the scene's length follows it.
CharacterInstance* Until(Scene* scene, i32 index, u32 end) {
  CharacterInstance* c = CharacterInstance_Create(scene, index);
  c->x = 350, c->y = 250, c->endFrame = end;
  return c;
}

TEST_F(EditorStage, KeyFramesFollowTheSelectedCharactersActions) {
  CharacterInstance* c = Until(Current(), Index(CharacterCatalog, "Andante"), 400);
  CharacterActionEntry* first = CharacterActionEntry_Append(c);
  first->startFrame = 0, first->endFrame = 120;
  CharacterActionEntry* second = CharacterActionEntry_Append(c);
  second->startFrame = 120, second->endFrame = 300;
  EditorTimeline_Refresh();
  ASSERT_EQ(Current()->length, 400u);
  Editor_State().selection = EditorSelection{kHitCharacter, 0, 0, 0, c, 0, 0, 0};
  EXPECT_EQ(EditorTimeline_FindKeyFrame(130, 1), 300u);
  EXPECT_EQ(EditorTimeline_FindKeyFrame(300, 1), 400u);
  EXPECT_EQ(EditorTimeline_FindKeyFrame(400, 1), 400u);
  EXPECT_EQ(EditorTimeline_FindKeyFrame(130, -1), 120u);
  EXPECT_EQ(EditorTimeline_FindKeyFrame(0, -1), 0u);
  EXPECT_EQ(EditorTimeline_FindKeyFrame(200, 0), 120u);  // 80 away, nearer than 0 and 400
  EXPECT_EQ(EditorTimeline_FindKeyFrame(390, 0), 400u);
  // The slider event moves to the key frame and renders there.
  auto* slider = Editor_Control(kIdRepSlider);
  MovieTimeline_SetPosition(200);
  EditorScreen_OnEvent(APP_EVENT_SLIDER, reinterpret_cast<std::uintptr_t>(slider), &Editor_State().result);
  EXPECT_EQ(Current()->currentFrame, 120u);
  // Without a selected character the buttons step by one and the slider stays.
  Editor_State().selection = EditorSelection{};
  EXPECT_EQ(EditorTimeline_FindKeyFrame(130, 1), 131u);
  EXPECT_EQ(EditorTimeline_FindKeyFrame(130, -1), 129u);
  EXPECT_EQ(EditorTimeline_FindKeyFrame(201, 0), 201u);
  EditorScreen_OnEvent(APP_EVENT_COMMAND, kIdRepNext, &Editor_State().result);
  EXPECT_EQ(Current()->currentFrame, 121u);
}

TEST_F(EditorStage, BackgroundMusicAloneGivesLengthZeroAndLaterMusicGoes) {
  SoundItem* early = SoundItem_Append(Current());
  early->kind = kSoundMusic, early->startFrame = 0, early->endFrame = 500;
  SoundItem* late = SoundItem_Append(Current());
  late->kind = kSoundMusic, late->startFrame = 10, late->endFrame = 500;
  EditorTimeline_Refresh();
  EXPECT_EQ(Current()->length, 0u);
  ASSERT_EQ(Scene_SoundCount(Current()), 1u);
  EXPECT_EQ(Scene_SoundAt(Current(), 0), early);
}

TEST_F(EditorStage, PlaybackStopsAtItsFrameOrGoesOnIntoTheNextScene) {
  const i32 walker = Index(CharacterCatalog, "Andante");
  Until(Current(), walker, 100);
  EditorTimeline_Refresh();
  Scene* second = Movie_AppendScene(Editor_Movie());
  second->background = s_background;
  Until(second, walker, 30);
  second->length = 30;
  EditorState& state = Editor_State();
  CScriptedMouse& still = Mouse("tick 1: mouse 5,5\n");
  still.Advance(1);

  Editor_RenderCurrent(100, kModeSilent);  // the last frame: nothing to play
  EditorPlayback_Start(0xFFFFFFFFu, 0, 0);
  EXPECT_FALSE(state.playback.playing);
  EditorPlayback_Start(0xFFFFFFFFu, 0, 1);  // the whole movie goes on at the next scene
  EXPECT_TRUE(state.playback.playing);
  EXPECT_EQ(Editor_Movie()->currentScene, 1u);
  EXPECT_EQ(Current()->currentFrame, 0u);
  EXPECT_TRUE(Editor_Control(kIdRepPause)->IsVisibleInTree());
  EXPECT_FALSE(Editor_Control(kIdRepPlay)->IsVisibleInTree());
  EditorPlayback_Stop();

  // Reaching the stop frame shows it; with jumpToStop an interruption shows it too.
  Editor_RenderCurrent(0, kModeSilent);
  EditorPlayback_Start(5, 0, 0);
  for (int t = 0; t < 10; ++t) EditorPlayback_Tick();
  EXPECT_FALSE(state.playback.playing);
  EXPECT_EQ(Current()->currentFrame, 5u);
  EXPECT_TRUE(Editor_Control(kIdRepPlay)->IsVisibleInTree());

  Editor_RenderCurrent(0, kModeSilent);
  EditorPlayback_Start(20, 1, 0);
  EditorPlayback_Tick();
  EditorPlayback_Tick();
  // A click on the pause button is the button's; a click elsewhere interrupts.
  const SLGuiRect& pause = Editor_Control(kIdRepPause)->GetWindowRect();
  CScriptedMouse& clicks = Mouse("tick 1: mouse " + std::to_string(pause.x + pause.width / 2) + "," +
                        std::to_string(pause.y + pause.height / 2) +
                        "; button 1 down\ntick 2: button 1 up\ntick 3: mouse 5,5; button 1 down\n");
  clicks.Advance(1);
  EditorPlayback_Tick();
  EXPECT_TRUE(state.playback.playing);
  EXPECT_EQ(Current()->currentFrame, 3u);
  clicks.Advance(2);
  clicks.Advance(3);
  EditorPlayback_Tick();
  EXPECT_FALSE(state.playback.playing);
  EXPECT_EQ(Current()->currentFrame, 20u);
}

TEST(EditorTime, FramesReadAsHoursMinutesSecondsAndHundredths) {
  struct Row {
    u32 frame, length;
    const char* text;
  } rows[] = {
      {3661, 0, "0:01:01.01 / 0:00:00.00"},
      {59, 60, "0:00:00.98 / 0:00:01.00"},
      {216000, 216000 * 10 + 3599, "1:00:00.00 / 10:00:59.98"},
      {0xFFFFFFFFu, 1, "19884:06:28.25 / 0:00:00.01"},
  };
  for (const Row& row : rows) {
    char text[96];
    EditorScreen_FormatTime(row.frame, row.length, text, sizeof text);
    EXPECT_STREQ(text, row.text);
  }
}

TEST_F(EditorStage, TheTooltipWaitsAPollAndSixtyTicksAndIsGoneThreeHundredTwentyLater) {
  EditorTooltip& tooltip = Editor_State().tooltip;
  const SLGuiRect& button = Editor_Control(kIdInsEscena)->GetWindowRect();
  const i32 mx = button.x + button.width / 2, my = button.y + button.height / 2;
  CScriptedMouse& rest = Mouse("tick 1: mouse " + std::to_string(mx) + "," + std::to_string(my) + "\n");
  rest.Advance(1);
  u32 shownAt = 0, goneAt = 0;
  for (u32 tick = 1; tick <= 500 && !goneAt; ++tick) {
    EditorScreen_UpdateToolbarTooltips();
    if (tooltip.state == 2 && !shownAt) shownAt = tick;
    if (shownAt && tooltip.state == 0) goneAt = tick;
    if (tick == 11) {
      EXPECT_EQ(tooltip.state, 1u);
      EXPECT_STREQ(tooltip.balloon.text, "Agrega una nueva escena");
      EXPECT_EQ(tooltip.x, mx + 10);
      EXPECT_EQ(tooltip.y, my + 29);
    }
  }
  EXPECT_EQ(shownAt, 11u + 60u);
  EXPECT_EQ(goneAt, 11u + 60u + 320u);
}

// The scene menu as the GUI draws it, measured in the pixels it changes: opened from the
// middle thumbnail it ends at the pointer, up and to the left; near the corners of the
// stage and of the screen it stays on the screen and off the pointer, so the first
// release chooses nothing and the tooltip under the pointer covers none of it.
TEST_F(EditorStage, TheSceneMenuOpensUpAndLeftOfThePointerAndOffIt) {
  CSL_GS_Gfx_DirectX* gfx = App_Services().gfx;
  auto capture = [gfx] {
    TSLObjPtr<CSLImage> screen;
    screen.Attach(new CSLImage());
    EXPECT_TRUE(gfx->Clear(0xFF402010, false, false));
    App_GuiManager().Draw();
    EXPECT_TRUE(gfx->EndFrame());
    EXPECT_TRUE(gfx->CaptureScreen(screen.Get()));
    return screen;
  };
  TSLObjPtr<CSLImage> before = capture();
  const struct {
    i32 x, y;
  } points[] = {{587, 550}, {kStageX + 4, kStageY + 4}, {795, kStageY + 4}, {kStageX + 4, 595}, {795, 595}, {4, 4}};
  for (const auto& point : points) {
    CScriptedMouse& at = Mouse("tick 1: mouse " + std::to_string(point.x) + "," + std::to_string(point.y) + "\n");
    at.Advance(1);
    ASSERT_TRUE(App_GuiManager().Update(false));
    EditorScreen_ShowSceneMenu();
    TSLObjPtr<CSLImage> after = capture();
    EditorMenus_Close();
    // The rectangle of the pixels the menu changed.
    i32 left = 800, top = 600, right = -1, bottom = -1;
    for (i32 y = 0; y < 600; ++y)
      for (i32 x = 0; x < 800; ++x)
        if (std::memcmp(before->GetPixelAddress(u32(x), u32(y)), after->GetPixelAddress(u32(x), u32(y)), 3) != 0)
          left = std::min(left, x), top = std::min(top, y), right = std::max(right, x), bottom = std::max(bottom, y);
    const std::string where = std::to_string(point.x) + "," + std::to_string(point.y);
    ASSERT_GE(right, left) << where << ": no menu drawn";
    EXPECT_GT(right - left, 100) << where;
    EXPECT_GT(bottom - top, 100) << where;
    EXPECT_FALSE(point.x >= left && point.x <= right && point.y >= top && point.y <= bottom) << where;
    if (point.x == 587) {
      EXPECT_EQ(right, point.x - 1);
      EXPECT_EQ(bottom, point.y - 1);
    }
  }
}

// The counters and the selection's outline as drawn on the device: the scene counter and
// the time, each over its four dark passes, match a golden crop (every channel within 2
// but for at most 0.2 % of the pixels); the outline's four sides carry the selection's
// pulse colour, no red and equal green and blue. Remade after a deliberate change with
//   SL_WRITE_GOLDEN=1 build/tests/test_app_EditorStageTest --gtest_filter=EditorStage.CountersAndOutlinesDraw
TEST_F(EditorStage, CountersAndOutlinesDraw) {
  constexpr i32 kX = 600, kY = 476, kWidth = 164, kHeight = 40;
  Scene* first = Current();
  first->length = 3661;
  Movie_AppendScene(Editor_Movie())->background = s_background;
  CharacterInstance* c = AddCharacter("Andante", 350, 250);
  Editor_RenderCurrent(1830, kModeSilent);
  Editor_State().selection = EditorSelection{kHitCharacter, 0, 0, 0, c, 0, 0, 0};
  Editor_State().hover = Editor_State().selection;
  CSL_GS_Gfx_DirectX* gfx = App_Services().gfx;
  EditorScreen_DrawScene();
  EditorScreen_DrawOverlay();
  ASSERT_TRUE(gfx->EndFrame());
  TSLObjPtr<CSLImage> screen;
  screen.Attach(new CSLImage());
  ASSERT_TRUE(gfx->CaptureScreen(screen.Get()));

  const i32 left = c->left + kStageX, top = c->top + kStageY;
  const i32 right = left + c->width, bottom = top + c->height;
  for (auto [x, y] : {std::pair{(left + right) / 2, top}, std::pair{(left + right) / 2, bottom},
                      std::pair{left, (top + bottom) / 2}, std::pair{right, (top + bottom) / 2}}) {
    const u8* p = screen->GetPixelAddress(u32(x), u32(y));  // B, G, R
    EXPECT_EQ(p[2], 0) << x << "," << y;
    EXPECT_NEAR(p[1], p[0], 2) << x << "," << y;
  }

  EXPECT_TRUE(SLTestMatchesGolden(SLTestScreenCrop(*screen.Get(), kX, kY, kWidth, kHeight), kWidth, kHeight,
                                  SL_SOURCE_DIR "/tests/app/golden/editor_counters.png"));
}

}  // namespace
