// Evaluation at a frame: paths and facings from movement, forced facings across actions,
// animation timing, depth scales from the mask and from floating depths, carried objects,
// balloon placement, states at a frame, element sounds in every mode (with the voice
// numbers, 64-bit sample positions and ends of sounds that stored movies rely on), and
// values out of range read as defaults.
#include <gtest/gtest.h>

#include <map>

#include "adventure/movie/SceneRender.h"
#include "tests/support/MovieFixtures.h"

namespace {

TEST(Movement, FacingFromADelta) {
  struct Row {
    i32 dx, dy;
    u32 facing;
  } rows[] = {{10, 10, 2}, {3, 10, 0}, {20, 10, 7}, {-20, 5, 6}, {-5, -20, 3}, {0, 0, 0},
              {-10, 10, 1}, {10, -10, 5}, {-10, -10, 4}, {13, 10, 2}, {14, 10, 7}, {0, -1, 3}};
  for (const Row& row : rows) EXPECT_EQ(Direction_FromDelta(row.dx, row.dy), row.facing) << row.dx << "," << row.dy;
}

TEST(Movement, PositionAlongAPath) {
  SLArrayHeader path{};
  ASSERT_TRUE(KeyPointArray_SetSize(&path, 3));
  KeyPoint* p = KeyPointArray_Data(&path);
  p[0] = {0, 0, 100}, p[1] = {100, 0, 50}, p[2] = {100, 50, 0};
  struct Row {
    i32 length;
    u32 frames, t;
    i32 x, y;
  } rows[] = {{150, 30, 0, 0, 0},    {150, 30, 10, 50, 0},   {150, 30, 20, 100, 0}, {150, 30, 25, 100, 25},
              {150, 30, 30, 100, 50}, {150, 30, 999, 100, 50}, {0, 30, 10, 0, 0},     {150, 0, 0, 100, 50},
              {150, 7, 3, 64, 0}};  // trunc(3 / 7 x 150) = 64
  for (const Row& row : rows) {
    const PathPoint at = Path_PositionAtFrame(&path, row.length, row.frames, row.t);
    EXPECT_EQ(at.x, row.x) << row.length << " " << row.frames << " " << row.t;
    EXPECT_EQ(at.y, row.y) << row.length << " " << row.frames << " " << row.t;
  }
  ASSERT_TRUE(KeyPointArray_SetSize(&path, 1));
  EXPECT_EQ(Path_PositionAtFrame(&path, 150, 30, 10).x, 0);
  KeyPointArray_Free(&path);
}

class Evaluation : public OneSceneMovieTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(OneSceneMovieTest::SetUp());
    m_scene->length = 1000;
  }
  // An action with two frames in every direction (20 x 40, feet at (10, 40)); the name
  // of each picture is kept for the test to read back.
  MovieCatalog::ActionSpec Action(const std::string& name, u32 duration = 1000, u32 repeat = kRepeatEndless) {
    MovieCatalog::ActionSpec spec;
    for (u32 d = 0; d < kDirectionCount; ++d)
      for (u32 k = 0; k < 4; ++k) {
        SL_GS_Image* image = MovieCatalog::Solid(&m_gfx, 20, 40, 10, 40, 0xFF000000 | (d << 8) | k);
        m_names[image] = name + std::to_string(d) + "." + std::to_string(k);
        spec.frames[d].push_back(image);
      }
    spec.duration = duration, spec.repeat = repeat;
    return spec;
  }
  std::string Shown(const ElementResults* e) { return e->visible ? m_names[e->image] : "hidden"; }
  CharacterInstance* Place(i32 character, i32 x, i32 y) {
    CharacterInstance* c = CharacterInstance_New();
    c->scene = m_scene, c->character = character, c->endFrame = 0xFFFFFFFF, c->x = x, c->y = y;
    List_Append(&m_scene->characters, &c->link);
    return c;
  }
  CharacterActionEntry* Act(CharacterInstance* c, u32 action, u32 start, u32 end, u32 direction, u32 keep) {
    CharacterActionEntry* e = CharacterActionEntry_Append(c);
    e->action = action, e->startFrame = start, e->endFrame = end, e->direction = direction, e->keepDirection = keep;
    return e;
  }
  ObjectInstance* PlaceObject(i32 object, i32 x, i32 y) {
    ObjectInstance* o = ObjectInstance_New();
    o->scene = m_scene, o->object = object, o->x = x, o->y = y;
    List_Append(&m_scene->objects, &o->link);
    return o;
  }

  std::map<SL_GS_Image*, std::string> m_names;
};

TEST_F(Evaluation, ForcedFacingsRuleGapsAndLaterActions) {
  const i32 who = MovieCatalog::AddCharacter("ana", true, {{"Normal", 0}}, {Action("idle"), Action("A"), Action("B")});
  struct Case {
    u32 keepA, keepB;
    std::vector<std::pair<u32, std::string>> facing;  // frame, action and direction shown
  } cases[] = {
      {1, 0, {{5, "idle0"}, {10, "A6"}, {19, "A6"}, {25, "idle6"}, {30, "B6"}, {38, "B6"}, {39, "B7"}, {45, "idle0"}}},
      {0, 0, {{5, "idle0"}, {10, "A6"}, {25, "idle0"}, {30, "B7"}, {39, "B7"}, {45, "idle0"}}},
      // Before the first action it faces 0 even when that action forces; in the gap
      // before a forced later action it already faces that action's direction.
      {0, 1, {{5, "idle0"}, {25, "idle7"}, {30, "B7"}, {45, "idle7"}}},
  };
  for (const Case& c : cases) {
    CharacterInstance* ana = Place(who, 300, 200);
    Act(ana, 1, 10, 20, 6, c.keepA);
    Act(ana, 2, 30, 40, 7, c.keepB);
    for (const auto& [frame, expected] : c.facing) {
      CharacterInstance_EvaluateAndDraw(ana, frame, kModeEvaluate);
      const std::string shown = Shown(ana);
      EXPECT_EQ(shown.substr(0, shown.find('.')), expected) << c.keepA << c.keepB << " at " << frame;
    }
    Scene_FreeContents(m_scene);
  }
  // The first action forced as well: before it the character still faces 0.
  CharacterInstance* ana = Place(who, 300, 200);
  Act(ana, 1, 10, 20, 6, 1);
  CharacterInstance_EvaluateAndDraw(ana, 5, kModeEvaluate);
  EXPECT_EQ(Shown(ana).substr(0, 5), "idle0");
}

TEST_F(Evaluation, AnimationTimingScalesAndRectangles) {
  // The mask rises row by row: alpha = y * 255 / 371.
  const i32 rising = MovieCatalog::AddBackground(&m_gfx, "cuesta", [](i32, i32 y) { return u8(y * 255 / 371); });
  m_scene->background = rising;
  const i32 twice = MovieCatalog::AddCharacter("b_dos", false, {{"Normal", 0}}, {Action("r", 1000, 2)});
  const i32 always = MovieCatalog::AddCharacter("c_siempre", true, {{"Normal", 0}}, {Action("e", 1000)});
  CharacterInstance* limited = Place(twice, 100, 371);
  CharacterInstance* endless = Place(always, 100, 0);
  // 3500 ms is frame 210: the limited animation holds its last picture, the endless one
  // is at phase 500 of 1000 (third of four pictures).
  CharacterInstance_EvaluateAndDraw(limited, 210, kModeEvaluate);
  CharacterInstance_EvaluateAndDraw(endless, 210, kModeEvaluate);
  EXPECT_EQ(Shown(limited), "r0.3");
  EXPECT_EQ(Shown(endless), "e0.2");
  EXPECT_EQ(limited->scale, 1.0);
  EXPECT_EQ(endless->scale, 0.87);  // floating: alpha 200 whatever the mask
  EXPECT_EQ(std::tie(limited->left, limited->top, limited->width, limited->height),
            std::make_tuple(90, 331, 20, 40));
  const struct {
    i32 y;
    double scale;
    i32 left, width;
  } floor[] = {{0, 0.4, 96, 8}, {-5, 0.4, 96, 8}, {185, (127 * 120 / 255 + 80) / 200.0, 94, 13}, {400, 0.4, 96, 8}};
  CharacterInstance* walker = Place(twice, 100, 0);
  for (const auto& row : floor) {
    walker->y = row.y;
    CharacterInstance_EvaluateAndDraw(walker, 0, kModeEvaluate);
    EXPECT_DOUBLE_EQ(walker->scale, row.scale) << row.y;
    EXPECT_EQ(walker->left, row.left) << row.y;
    EXPECT_EQ(walker->width, row.width) << row.y;
  }
  // Visibility follows [firstFrame, endFrame).
  walker->firstFrame = 10, walker->endFrame = 20;
  for (u32 f : {9u, 10u, 19u, 20u}) {
    CharacterInstance_EvaluateAndDraw(walker, f, kModeEvaluate);
    EXPECT_EQ(walker->visible, f >= 10 && f < 20 ? 1u : 0u) << f;
  }
}

TEST_F(Evaluation, ObjectsFloatRestOnCarriersAndBalloonsFaceTheirSpeaker) {
  // Depth range 1..255 on this background.
  const i32 deep = MovieCatalog::AddBackground(&m_gfx, "fondo", [](i32 x, i32) { return u8(x < 300 ? 255 : 1); });
  SL_GS_Image* box = MovieCatalog::Solid(&m_gfx, 40, 20, 20, 20, 0xFF0000FF);
  const i32 crate = MovieCatalog::AddObject("a_caja", -1, {{"Normal", {box}}}, {{5, 2}, {30, 4}});
  const i32 balloonLow = MovieCatalog::AddObject("b_globo0", 0, {{"Normal", {box}}});
  const i32 balloonHigh = MovieCatalog::AddObject("c_globo100", 100, {{"Normal", {box}}});
  const i32 who = MovieCatalog::AddCharacter("d_ana", false, {{"Normal", 0}}, {Action("idle")});
  m_scene->background = deep;
  ObjectInstance* carried = PlaceObject(crate, 0, 0);
  ObjectInstance* carrier = PlaceObject(crate, 100, 300);
  ObjectInstance* low = PlaceObject(balloonLow, 500, 100);
  ObjectInstance* high = PlaceObject(balloonHigh, 500, 100);
  carried->carrier = carrier, carried->supportPoint = 1;
  Scene_RenderAtFrame(m_scene, 0, kModeEvaluate);  // the carrier first, though it comes later
  EXPECT_EQ(carrier->scale, 1.0);
  EXPECT_EQ(std::tie(carried->posX, carried->posY), std::make_tuple(80 + 30, 280 + 4));
  EXPECT_DOUBLE_EQ(carried->scale, 1.001);
  EXPECT_EQ(low->scale, (79 - i32(1 / -2.55 * 1.22)) / 200.0);
  EXPECT_DOUBLE_EQ(high->scale, 1.005);
  m_scene->background = -1;  // no background: floating depth 0, mask alpha 0
  Scene_RenderAtFrame(m_scene, 0, kModeEvaluate);
  EXPECT_DOUBLE_EQ(low->scale, 0.395);
  EXPECT_DOUBLE_EQ(carrier->scale, 0.4);
  // A support point past the carrier's list reads as no carrier.
  carried->supportPoint = 7;
  Scene_RenderAtFrame(m_scene, 0, kModeEvaluate);
  EXPECT_EQ(std::tie(carried->posX, carried->posY), std::make_tuple(0, 0));

  m_scene->background = deep;
  CharacterInstance* ana = Place(who, 331, 200);
  TextItem* text = TextItem_Append(m_scene);
  text->startFrame = 0, text->endFrame = 50, text->attachKind = kTextSpokenByCharacter, text->attachedTo = ana;
  Balloon_Layout(&text->balloon);
  struct Row {
    i32 x, y;
    u32 variant, style;
  } rows[] = {{331, 200, 0, 3}, {332, 200, 0, 1}, {331, 200, 1, 11}, {400, 20, 0, 5}, {100, 20, 1, 15}};
  for (const Row& row : rows) {
    ana->x = row.x, ana->y = row.y, text->variant = row.variant;
    Scene_RenderAtFrame(m_scene, 5, kModeEvaluate);
    EXPECT_EQ(text->balloon.style, row.style) << row.x << "," << row.y;
    EXPECT_EQ(text->shown, 1u);
    const bool below = row.style % 8 >= 5 || row.style % 8 == 0;
    EXPECT_EQ(text->x + Balloon_TailX(&text->balloon), ana->left + ana->width / 2);
    EXPECT_EQ(text->y + Balloon_TailY(&text->balloon), below ? ana->top + ana->height : ana->top);
  }
  ana->endFrame = 3;  // the speaker gone: the balloon is hidden off stage
  Scene_RenderAtFrame(m_scene, 5, kModeEvaluate);
  EXPECT_EQ(std::tie(text->shown, text->x, text->y), std::make_tuple(0u, 0, -1000));
  Scene_RenderAtFrame(m_scene, 50, kModeEvaluate);
  EXPECT_EQ(text->shown, 0u);
}

TEST_F(Evaluation, StatesFollowTheEntries) {
  MovieCatalog::ActionSpec sit = Action("sit");
  sit.nextState = "Sentado";
  const i32 who = MovieCatalog::AddCharacter("ana", false, {{"Normal", 0}, {"Sentado", 2}},
                                             {Action("idle"), sit, Action("seated")});
  CharacterInstance* ana = Place(who, 300, 200);
  ana->firstFrame = 5;
  Act(ana, 1, 10, 20, 0, 0);
  const std::pair<u32, i32> expected[] = {{4, -1}, {5, 0}, {18, 0}, {19, 1}, {40, 1}};
  for (auto [frame, state] : expected) EXPECT_EQ(CharacterInstance_StateAtFrame(ana, frame), state) << frame;
  CharacterInstance_EvaluateAndDraw(ana, 19, kModeEvaluate);
  EXPECT_EQ(Shown(ana).substr(0, 7), "seated0");  // on the action's last frame it takes the next state

  SL_GS_Image* img = MovieCatalog::Solid(&m_gfx, 4, 4, 0, 0, 0xFF00FF00);
  const i32 door = MovieCatalog::AddObject("puerta", -1, {{"Cerrada", {img}}, {"Abierta", {img}}, {"Rota", {img}}});
  ObjectInstance* o = PlaceObject(door, 10, 10);
  ObjectStateEntry* open = ObjectStateEntry_Append(o);
  open->state = 1, open->startFrame = 10, open->endFrame = 20;
  ObjectStateEntry* broken = ObjectStateEntry_Append(o);
  broken->state = 2, broken->startFrame = 30, broken->endFrame = 31;
  const std::pair<u32, u32> states[] = {{9, 0}, {10, 1}, {25, 1}, {30, 2}, {99, 2}};
  for (auto [frame, state] : states) {
    EXPECT_EQ(ObjectInstance_StateAtFrame(o, frame), state) << frame;
    ObjectInstance_EvaluateAndDraw(o, frame, kModeEvaluate);
    EXPECT_EQ(o->currentState, state) << frame;
  }
}

TEST_F(Evaluation, SoundsStartAndStopOnlyTheirOwnVoice) {
  SL_GS_SoundRecord* shout = m_sfx.MakeSound(22050, 22050);    // one second
  SL_GS_SoundRecord* hum = m_sfx.MakeSound(44101, 44100);      // looping, just over a second
  MovieCatalog::ActionSpec speak = Action("speak");
  speak.sound = shout;
  MovieCatalog::ActionSpec loop = Action("loop");
  loop.sound = hum, loop.soundLoops = 1;
  const i32 who = MovieCatalog::AddCharacter("ana", false, {{"Normal", 0}}, {Action("idle"), speak, loop});
  CharacterInstance* first = Place(who, 300, 200);
  CharacterInstance* second = Place(who, 200, 200);
  Act(first, 1, 10, 20, 0, 0);
  Act(second, 1, 12, 200, 0, 0);
  m_sfx.TakeLog();
  // Playback: each copy starts on its segment's first frame and stops its own voice on
  // its last frame, leaving the other's sound alone.
  for (u32 f = 0; f <= 20; ++f) Scene_RenderAtFrame(m_scene, f, kModePlayback);
  EXPECT_EQ(m_sfx.TakeLog(), "play S1 v1 loop0 @0\nplay S1 v2 loop0 @0\nstop S1 v1\n");
  // Evaluation only: nothing.
  for (u32 f = 0; f <= 30; ++f) Scene_RenderAtFrame(m_scene, f, kModeEvaluate);
  EXPECT_EQ(m_sfx.TakeLog(), "");
  // Silent: every voice still held is stopped.
  Scene_RenderAtFrame(m_scene, 30, kModeSilent);
  EXPECT_EQ(m_sfx.TakeLog(), "stop S1 v2\n");
  // Seek: ((f - start) x 1000 / 60) x rate / 1000; a non-looping sound past its end stays
  // silent instead of wrapping.
  Scene_RenderAtFrame(m_scene, 40, kModeSeek);  // second: 28 frames = 466 ms = 10275 samples
  EXPECT_EQ(m_sfx.TakeLog(), "play S1 v3 loop0 @10275\n");
  Scene_RenderAtFrame(m_scene, 90, kModeSeek);  // 78 frames = 1300 ms: past the one-second sound
  EXPECT_EQ(m_sfx.TakeLog(), "stop S1 v3\n");
  Scene_FreeContents(m_scene);

  // A looping sound 30 minutes into its segment starts at the right sample (64-bit steps).
  CharacterInstance* long_ = Place(who, 300, 200);
  Act(long_, 2, 0, 200000, 0, 0);
  Scene_RenderAtFrame(m_scene, 108000, kModeSeek);
  const u64 samples = u64(108000) * 1000 / 60 * 44100 / 1000;
  EXPECT_EQ(m_sfx.TakeLog(), "play S2 v1 loop1 @" + std::to_string(samples % 44101) + "\n");
  // Freeing the element stops its looping sound, except at exit when the device is gone.
  Scene_FreeContents(m_scene);
  EXPECT_EQ(m_sfx.TakeLog(), "stop S2 v1\n");
  long_ = Place(who, 300, 200);
  Act(long_, 2, 0, 200000, 0, 0);
  Scene_RenderAtFrame(m_scene, 0, kModeSeek);
  m_sfx.TakeLog();
  m_scene->shuttingDown = 1;
  Scene_FreeContents(m_scene);
  EXPECT_EQ(m_sfx.TakeLog(), "");
  m_scene->shuttingDown = 0;
}

TEST_F(Evaluation, ValuesOutOfRangeReadAsDefaults) {
  const i32 who = MovieCatalog::AddCharacter("a_ana", false, {{"Normal", 0}}, {Action("idle"), Action("walk")});
  SL_GS_Image* img = MovieCatalog::Solid(&m_gfx, 4, 4, 0, 0, 0xFF00FF00);
  const i32 crate = MovieCatalog::AddObject("b_caja", -1, {{"Normal", {img}}}, {{1, 1}});
  CharacterInstance* ana = Place(who, 300, 200);
  CharacterActionEntry* bad = Act(ana, 99, 0, 100, 200, 1);  // no action 99, no direction 200, empty path
  bad->pathLength = 50, bad->pathFrames = 10;
  ObjectInstance* a = PlaceObject(crate, 10, 10);
  ObjectInstance* b = PlaceObject(crate, 20, 20);
  a->carrier = b, b->carrier = a;  // a cycle: both stay unevaluated
  ObjectInstance* c = PlaceObject(crate, 30, 30);
  ObjectStateEntry* e = ObjectStateEntry_Append(c);
  e->state = 77, e->startFrame = 0, e->endFrame = 10;
  PlaceObject(55, 1, 1);  // an object index past the catalogue
  for (u32 mode : {kModeSilent, kModeEvaluate, kModeSeek, kModePlayback})
    for (u32 f : {0u, 5u, 99u, 100u, 5000u}) Scene_RenderAtFrame(m_scene, f, mode);
  EXPECT_EQ(std::tie(ana->posX, ana->posY), std::make_tuple(300, 200));
  EXPECT_EQ(Shown(ana).substr(0, 5), "idle0");
  EXPECT_EQ(a->visible + b->visible, 0u);
  EXPECT_EQ(c->currentState, 0u);
  EXPECT_EQ(m_scene->drawList.count, 5u);
}

}  // namespace
