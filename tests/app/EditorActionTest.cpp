// Placing an action on a character, over scenes and catalogue records built in the test:
// the walk grid (a pond in the middle of the floor, characters and objects on it), the
// approach offsets, the dialogue's trimming and lengths, the walk and performing
// entries, forced facings, and the chain of state changes of the object aimed at. A
// property test places random actions on random scenes.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "app/editor/EditorAction.h"
#include "app/editor/EditorActionEdits.h"
#include "gamesystem/SLPathFinder2D.h"
#include "tests/support/MovieFixtures.h"

namespace {

TEST(DialogueTrim, KeepsBlanksBeforeTheFirstWordOnly) {
  struct Row {
    const char* typed;
    const char* kept;  // null: nothing kept
  } rows[] = {
      {"hola", "hola"},           {"   hola", "   hola"},  {"\n  hola", "  hola"},   {"  \n  \t", nullptr},
      {"", nullptr},              {"\x01\x02 x", " x"},    {"  \n hola", " hola"},   {"\t\xe1rbol", "\xe1rbol"},
      {" \x1f  y z ", "  y z "},  {"     ", nullptr},
  };
  for (const Row& row : rows) {
    const char* kept = EditorAction_TrimDialogue(row.typed);
    if (!row.kept) EXPECT_EQ(kept, nullptr) << row.typed;
    else EXPECT_STREQ(kept, row.kept) << row.typed;
  }
}

TEST(ApproachOffsets, ScaledTruncatedAndTakenFromTheNearestDirection) {
  struct Row {
    u32 offsetDirection;
    i32 dx, dy;
    u32 arriving;
    double scale;
    i32 x, y;
  } rows[] = {
      {7, -20, 0, 7, 0.5, 310, 200},  // 300 - trunc(-20 x 0.5)
      {7, 15, 0, 7, 0.45, 294, 200},  // trunc(6.75) = 6
      {7, -15, 0, 7, 0.45, 306, 200},
      {7, 0, 0, 7, 0.5, 300, 200},    // no offsets anywhere: the target stays
      {2, 10, 10, 0, 1.0, 290, 190},  // 0 has none: its alternatives 1, 2, ... give 2's
      {0, 10, 4, 4, 1.0, 290, 196},   // 4's alternatives reach 0 only at their sixth place
  };
  for (const Row& row : rows) {
    ActionReference reference{};
    reference.dx[row.offsetDirection] = row.dx, reference.dy[row.offsetDirection] = row.dy;
    i32 x = 300, y = 200;
    EditorAction_ApproachTarget(&reference, row.arriving, row.scale, &x, &y);
    EXPECT_EQ(x, row.x) << row.offsetDirection << " " << row.arriving;
    EXPECT_EQ(y, row.y) << row.offsetDirection << " " << row.arriving;
  }
}

// A 664 x 372 floor (alpha rising from 1 at the top to 255 at the bottom) with a pond of
// transparent pixels in the middle.
u8 ParkAlpha(i32 x, i32 y) {
  const i32 dx = x - 332, dy = y - 250;
  if (dx * dx / 4 + dy * dy < 40 * 40) return 0;
  return u8(1 + y * 254 / 371);
}

class Placement : public OneSceneMovieTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(OneSceneMovieTest::SetUp());
    m_scene->background = MovieCatalog::AddBackground(&m_gfx, "parque", ParkAlpha);
    m_scene->length = 0;
    m_finder = new CSL_GS_PathFinder2D();
  }
  void TearDown() override {
    m_finder->Release();
    OneSceneMovieTest::TearDown();
  }

  MovieCatalog::ActionSpec Frames(u32 duration, u32 repeat) {
    MovieCatalog::ActionSpec spec;
    SL_GS_Image* picture = MovieCatalog::Solid(&m_gfx, 20, 40, 10, 40, 0xFF102030);
    for (u32 d = 0; d < kDirectionCount; ++d) spec.frames[d].push_back(picture);
    spec.duration = duration, spec.repeat = repeat;
    return spec;
  }
  // "sofia": 0 stand, 1 walk, 2 open (1500 ms x 2, aimed at an object), 3 wave (no
  // reference), 4 go (the walk itself, to a point), 5 look (a point, no approach).
  i32 AddSofia(bool floating = false) {
    const i32 index = MovieCatalog::AddCharacter(
        "sofia", floating, {{"Normal", 0}},
        {Frames(1000, kRepeatEndless), Frames(1000, kRepeatEndless), Frames(1500, 2), Frames(500, 1),
         Frames(1000, kRepeatEndless), Frames(800, 1)});
    m_sofia = CharacterCatalog_GetAt(u32(index));
    m_sofia->itemClass = "Nina";
    m_sofia->states[0]->walkAction = 1;
    Reference(2, kReferenceObject, true);
    Reference(4, kReferenceStage, true);
    m_sofia->actions[4]->isWalk = 1;
    Reference(5, kReferenceStage, false);
    return index;
  }
  ActionReference* Reference(u32 action, u32 kind, bool approach) {
    ActionReference* reference = CatalogAppendNew(&m_sofia->actions[action]->references, [](ActionReference* r) {
      new (r) ActionReference;
      r->kind = 0, r->approach = 0, r->exitFlag = 0;
      for (u32 d = 0; d < kDirectionCount; ++d) r->dx[d] = r->dy[d] = 0;
    });
    reference->kind = kind, reference->approach = approach;
    return reference;
  }
  // "farola": states Apagada (1000 ms), Encendida (500 ms x 1, then Brillante),
  // Brillante (1000 ms x 2, nothing after).
  i32 AddLamp() {
    SL_GS_Image* picture = MovieCatalog::Solid(&m_gfx, 10, 60, 5, 60, 0xFF808080);
    const i32 index = MovieCatalog::AddObject("farola", -1.0, {{"Apagada", {picture}, 1000, 1},
                                                               {"Encendida", {picture}, 500, 1},
                                                               {"Brillante", {picture}, 1000, 2}});
    m_lamp = ObjectCatalog_GetAt(u32(index));
    m_lamp->states[1]->nextState = "brillante";
    return index;
  }
  void Effect(u32 action, const char* object, const char* required, const char* next) {
    ActionStateEffect* effect = CatalogAppendNew(&m_sofia->actions[action]->stateEffects, [](ActionStateEffect* e) {
      new (e) ActionStateEffect;
      e->exitFlag = 0;
    });
    effect->objectName = object, effect->requiredState = required, effect->newState = next;
  }

  CharacterInstance* Place(i32 character, i32 x, i32 y) {
    CharacterInstance* c = CharacterInstance_New();
    c->scene = m_scene, c->character = character, c->endFrame = 0xFFFFFFFF, c->x = x, c->y = y;
    List_Append(&m_scene->characters, &c->link);
    CharacterInstance_EvaluateAndDraw(c, 0, kModeEvaluate);
    return c;
  }
  ObjectInstance* PlaceObject(i32 object, i32 x, i32 y) {
    ObjectInstance* o = ObjectInstance_New();
    o->scene = m_scene, o->object = object, o->x = x, o->y = y;
    List_Append(&m_scene->objects, &o->link);
    ObjectInstance_EvaluateAndDraw(o, 0, kModeEvaluate);
    return o;
  }
  ActionPlacementWrite Write(CharacterInstance* who, u32 action, u32 frame) {
    ActionPlacementWrite w{};
    w.context = {m_scene, who, m_sofia, action, m_finder};
    w.frame = frame;
    w.dialogueText = "", w.audioName = "";
    CharacterAction* record = m_sofia->actions[action];
    if (record->references.GetCount()) w.reference = record->references[0];
    return w;
  }
  // Aims at a point: the path test for it, as the stage does on a click.
  ActionPlacementWrite AimAtPoint(CharacterInstance* who, u32 action, u32 frame, i32 x, i32 y) {
    ActionPlacementWrite w = Write(who, action, frame);
    EXPECT_TRUE(EditorAction_BuildWalkGrid(m_finder, m_scene, who));
    EditorSelection hover{kHitBackground, -1, x, y, nullptr, 0, 0, 0};
    EXPECT_EQ(EditorAction_PathTest(w.context, hover, &w.targetX, &w.targetY), 0);
    w.referenceHit = hover;
    return w;
  }
  ActionPlacementWrite AimAtObject(CharacterInstance* who, u32 action, u32 frame, ObjectInstance* object) {
    ActionPlacementWrite w = Write(who, action, frame);
    EXPECT_TRUE(EditorAction_BuildWalkGrid(m_finder, m_scene, who));
    EditorSelection hover{kHitObject, 0, object->posX, object->posY, object, 0, 0, 0};
    EXPECT_EQ(EditorAction_PathTest(w.context, hover, &w.targetX, &w.targetY), 0);
    w.referenceHit = hover;
    return w;
  }
  bool Blocked(u32 cellX, u32 cellY) {
    SLErrorKeeper keep;
    return !(m_finder->SetEnd(cellX, cellY) && m_finder->FindPath());
  }
  static std::vector<std::pair<u32, u32>> Spans(const CharacterInstance* c) {
    std::vector<std::pair<u32, u32>> spans;
    for (const CharacterActionEntry* e : ListRange<CharacterActionEntry>(&c->actions))
      spans.push_back({e->startFrame, e->endFrame});
    return spans;
  }

  CSL_GS_PathFinder2D* m_finder = nullptr;
  CharacterRecord* m_sofia = nullptr;
  ObjectRecord* m_lamp = nullptr;
};

TEST_F(Placement, WalkGridBlocksThePondTheFeetOfOthersAndObjects) {
  const i32 sofia = AddSofia();
  CharacterInstance* walker = Place(sofia, 100, 300);
  ASSERT_TRUE(EditorAction_BuildWalkGrid(m_finder, m_scene, walker));
  EXPECT_TRUE(Blocked(166, 125));   // the pond's middle
  EXPECT_FALSE(Blocked(166, 160));  // floor below the pond
  EXPECT_FALSE(Blocked(50, 100));

  // Another character drawn at full size (20 x 40 from (390, 170), feet at (400, 200))
  // blocks the rows from its feet to its last row, four picture columns in from each side.
  CharacterInstance* other = Place(sofia, 400, 200);
  other->image = MovieCatalog::Solid(&m_gfx, 20, 40, 10, 30, 0xFF000000);
  other->left = 390, other->top = 170, other->width = 20, other->height = 40, other->posY = 200;
  ASSERT_TRUE(EditorAction_BuildWalkGrid(m_finder, m_scene, walker));
  EXPECT_TRUE(Blocked(200, 100));   // pixel row 200, column 400
  EXPECT_TRUE(Blocked(200, 104));   // row 209, its last
  EXPECT_FALSE(Blocked(200, 105));  // row 210 lies below its picture
  EXPECT_FALSE(Blocked(200, 99));   // above its feet
  EXPECT_FALSE(Blocked(196, 102));  // columns 390-393 are its margin
  EXPECT_TRUE(Blocked(197, 102));
  EXPECT_TRUE(Blocked(202, 102));
  EXPECT_FALSE(Blocked(203, 102));
}

TEST_F(Placement, AnObjectsLastRowIsItsBottomAndAZeroHighObjectBlocksNothing) {
  AddSofia();
  const i32 lamp = AddLamp();
  CharacterInstance* walker = Place(0, 100, 300);
  ObjectInstance* post = PlaceObject(lamp, 500, 100);  // drawn rows 40..99 at scale < 1
  post->top = 90, post->height = 10, post->posY = 90, post->left = 500, post->width = 10;
  ASSERT_TRUE(EditorAction_BuildWalkGrid(m_finder, m_scene, walker));
  EXPECT_TRUE(Blocked(252, 45));   // rows 90-91
  EXPECT_TRUE(Blocked(252, 49));   // rows 98-99: its last drawn row
  EXPECT_FALSE(Blocked(252, 50));  // row 100 is below it
  post->height = 0;
  ASSERT_TRUE(EditorAction_BuildWalkGrid(m_finder, m_scene, walker));
  EXPECT_FALSE(Blocked(252, 45));
  post->height = 10, post->width = 0;
  ASSERT_TRUE(EditorAction_BuildWalkGrid(m_finder, m_scene, walker));
  EXPECT_FALSE(Blocked(252, 45));
}

TEST_F(Placement, WalkLengthsComeFromTheSegments) {
  // A floating character walks straight from P to T: the segment's truncated length.
  const i32 sofia = AddSofia(true);
  struct Row {
    i32 dx, dy, length;
    u32 frames;
  } rows[] = {{3, 4, 5, 3}, {1, 1, 1, 1}, {2, 2, 2, 1}, {150, 200, 250, 150}, {0, 0, 0, 1}};
  for (const Row& row : rows) {
    CharacterInstance* who = Place(sofia, 200, 200);
    ActionPlacementWrite w = Write(who, 4, 10);
    w.targetX = 200 + row.dx, w.targetY = 200 + row.dy;
    w.referenceHit = {kHitStage, -1, w.targetX, w.targetY, nullptr, 0, 0, 0};
    EXPECT_EQ(EditorAction_Write(w), 10 + row.frames) << row.dx << "," << row.dy;
    ASSERT_EQ(List_Count(&who->actions), 1u);  // the walk carries the action itself
    const CharacterActionEntry* walk = static_cast<CharacterActionEntry*>(who->actions.next->self);
    EXPECT_EQ(walk->pathLength, row.length);
    EXPECT_EQ(walk->pathFrames, row.frames);
    EXPECT_EQ(walk->action, 4u);
  }
}

TEST_F(Placement, AStandingCharacterWalksAroundThePondThenPerforms) {
  const i32 sofia = AddSofia();
  const i32 lamp = AddLamp();
  CharacterInstance* who = Place(sofia, 332, 320);
  ObjectInstance* post = PlaceObject(lamp, 332, 180);
  ActionPlacementWrite w = AimAtObject(who, 2, 100, post);
  const u32 end = EditorAction_Write(w);
  ASSERT_EQ(List_Count(&who->actions), 2u);
  const CharacterActionEntry* walk = static_cast<CharacterActionEntry*>(who->actions.next->self);
  const CharacterActionEntry* perform = static_cast<CharacterActionEntry*>(who->actions.prev->self);
  EXPECT_EQ(walk->action, 1u);
  EXPECT_EQ(walk->startFrame, 100u);
  ASSERT_GT(walk->path.count, 2u);  // straight up would cross the pond
  const KeyPoint* points = KeyPointArray_Data(&walk->path);
  for (u32 i = 0; i < walk->path.count; ++i) EXPECT_GT(ParkAlpha(points[i].x, points[i].y), 0) << i;
  EXPECT_EQ(walk->pathFrames, u32(walk->pathLength) * 60 / 100);
  EXPECT_EQ(perform->startFrame, walk->endFrame);
  EXPECT_EQ(perform->endFrame - perform->startFrame, 180u);  // 1500 ms x 2
  EXPECT_EQ(end, perform->endFrame);
  EXPECT_EQ(KeyPointArray_Data(&perform->path)[0].x, w.targetX);
}

TEST_F(Placement, DurationsRepeatsAndDialogueLengths) {
  const i32 sofia = AddSofia();
  struct Row {
    u32 duration, repeat;
    const char* text;
    u32 frames;
  } rows[] = {
      {1500, 2, "", 180},   {1500, kRepeatEndless, "", 90}, {1500, 0, "", 90},
      {500, 1, "Hola amigos", 120},  // (11 + 9) x 60 / 10
      {2500, 1, "Hola amigos", 150}, {500, 1, "a", 60},
  };
  for (const Row& row : rows) {
    m_sofia->actions[3]->duration = row.duration, m_sofia->actions[3]->repeat = row.repeat;
    CharacterInstance* who = Place(sofia, 100, 300);
    ActionPlacementWrite w = Write(who, 3, 40);
    w.dialogueText = row.text;
    EXPECT_EQ(EditorAction_Write(w), 40 + row.frames) << row.duration << " " << row.text;
    if (row.text[0]) {
      const TextItem* text = Scene_TextAt(m_scene, Scene_TextCount(m_scene) - 1);
      EXPECT_EQ(text->startFrame, 40u);
      EXPECT_EQ(text->endFrame, 40 + row.frames);
      EXPECT_EQ(text->attachedTo, who);
      EXPECT_EQ(text->attachKind, kTextSpokenByCharacter);
    }
  }
}

TEST_F(Placement, WithoutAWalkActionTheCharacterPerformsWhereItStands) {
  const i32 sofia = AddSofia();
  const i32 lamp = AddLamp();
  m_sofia->states[0]->walkAction = -1;
  CharacterInstance* who = Place(sofia, 100, 300);
  ObjectInstance* post = PlaceObject(lamp, 500, 300);
  ActionPlacementWrite w = AimAtObject(who, 2, 0, post);
  EXPECT_EQ(EditorAction_Write(w), 180u);
  ASSERT_EQ(List_Count(&who->actions), 1u);
  const CharacterActionEntry* perform = static_cast<CharacterActionEntry*>(who->actions.next->self);
  EXPECT_EQ(KeyPointArray_Data(&perform->path)[0].x, 100);
  EXPECT_EQ(perform->direction, 7u);  // facing the lamp
}

TEST_F(Placement, AWalkActionWithoutReferencesStillShowsItsDialogue) {
  const i32 sofia = AddSofia();
  m_sofia->actions[3]->isWalk = 1;
  CharacterInstance* who = Place(sofia, 100, 300);
  ActionPlacementWrite w = Write(who, 3, 30);
  w.dialogueText = "Vamos";
  const u32 end = EditorAction_Write(w);
  EXPECT_TRUE(List_IsEmpty(&who->actions));
  const TextItem* text = Scene_TextAt(m_scene, 0);
  EXPECT_EQ(text->startFrame, 30u);
  EXPECT_EQ(text->endFrame, 30u + 84);  // (5 + 9) x 6
  EXPECT_EQ(end, text->endFrame);
}

TEST_F(Placement, ForcedFacingsCarryOverUnlessReleased) {
  const i32 sofia = AddSofia();
  struct Row {
    u32 walkReleases, actionReleases;
    u32 walkDirection, walkKeep, performDirection, performKeep;
  } rows[] = {
      {0, 0, 6, 1, 6, 1},
      {1, 0, 7, 0, 0, 0},  // the walk drops the forced facing; the action faces its point
      {0, 1, 6, 1, 0, 0},
  };
  for (const Row& row : rows) {
    CharacterInstance* who = Place(sofia, 100, 300);
    CharacterActionEntry* earlier = CharacterActionEntry_Append(who);
    earlier->action = 3, earlier->startFrame = 0, earlier->endFrame = 10, earlier->direction = 6,
    earlier->keepDirection = 1;
    m_sofia->actions[1]->releasesForcedDirection = row.walkReleases;
    m_sofia->actions[2]->releasesForcedDirection = row.actionReleases;
    // A point reference with approach, to the right on the floor, the action looks down.
    m_sofia->actions[2]->references[0]->kind = kReferenceStage;
    ActionPlacementWrite w = AimAtPoint(who, 2, 20, 200, 330);
    w.referenceHit.y = 360;
    EditorAction_Write(w);
    ASSERT_EQ(List_Count(&who->actions), 3u);
    const CharacterActionEntry* walk = static_cast<CharacterActionEntry*>(who->actions.next->next->self);
    const CharacterActionEntry* perform = static_cast<CharacterActionEntry*>(who->actions.prev->self);
    EXPECT_EQ(walk->direction, row.walkDirection) << row.walkReleases << row.actionReleases;
    EXPECT_EQ(walk->keepDirection, row.walkKeep);
    EXPECT_EQ(perform->direction, row.performDirection) << row.walkReleases << row.actionReleases;
    EXPECT_EQ(perform->keepDirection, row.performKeep);
  }
}

TEST_F(Placement, StateChainsRunFromTheEndOfTheAction) {
  const i32 sofia = AddSofia();
  const i32 lamp = AddLamp();
  m_sofia->states[0]->walkAction = -1;
  Effect(2, "Farola", "apagada", "Encendida");
  m_sofia->actions[2]->duration = 1000, m_sofia->actions[2]->repeat = 1;
  CharacterInstance* who = Place(sofia, 100, 300);
  ObjectInstance* post = PlaceObject(lamp, 150, 300);
  m_lamp->states[1]->duration = 500, m_lamp->states[1]->repeat = 1;
  m_lamp->states[2]->duration = 1000, m_lamp->states[2]->repeat = 2;
  ActionPlacementWrite w = AimAtObject(who, 2, 40, post);
  EXPECT_EQ(EditorAction_Write(w), 250u);  // e = 100, then [100, 130) and [130, 250)
  std::vector<std::vector<u32>> chain;
  for (const ObjectStateEntry* e : ListRange<ObjectStateEntry>(&post->states))
    chain.push_back({e->state, e->startFrame, e->endFrame, e->pathFrames});
  EXPECT_EQ(chain, (std::vector<std::vector<u32>>{{1, 100, 130, 30}, {2, 130, 250, 120}}));
}

TEST_F(Placement, ARuleNeedsTheStateTheObjectIsInWhenTheActionEnds) {
  const i32 sofia = AddSofia();
  const i32 lamp = AddLamp();
  m_sofia->states[0]->walkAction = -1;
  Effect(2, "farola", "Apagada", "Encendida");
  CharacterInstance* who = Place(sofia, 100, 300);
  ObjectInstance* post = PlaceObject(lamp, 150, 300);
  // Apagada at 0, Brillante from 60: at f = 0 the rule's state holds, at e = 180 it does not.
  ObjectStateEntry* later = ObjectStateEntry_Append(post);
  later->state = 2, later->startFrame = 60, later->endFrame = 180;
  ActionPlacementWrite w = AimAtObject(who, 2, 0, post);
  EXPECT_EQ(EditorAction_Write(w), 180u);
  EXPECT_EQ(List_Count(&post->states), 1u);
  EXPECT_EQ(later->endFrame, 180u);
}

TEST_F(Placement, AStateCycleStopsBeforeRepeatingAState) {
  const i32 sofia = AddSofia();
  const i32 lamp = AddLamp();
  m_sofia->states[0]->walkAction = -1;
  m_lamp->states[2]->nextState = "Encendida";  // Encendida -> Brillante -> Encendida ...
  Effect(2, "farola", "Apagada", "Encendida");
  CharacterInstance* who = Place(sofia, 100, 300);
  ObjectInstance* post = PlaceObject(lamp, 150, 300);
  ActionPlacementWrite w = AimAtObject(who, 2, 0, post);
  EXPECT_EQ(EditorAction_Write(w), 180u + 30 + 120);
  EXPECT_EQ(List_Count(&post->states), 2u);
}

TEST_F(Placement, ASupportPointForcesTheFacingForTheCharactersClass) {
  const i32 sofia = AddSofia();
  SL_GS_Image* picture = MovieCatalog::Solid(&m_gfx, 40, 20, 20, 20, 0xFF808080);
  const i32 bench = MovieCatalog::AddObject("banco", -1.0, {{"Normal", {picture}, 1000, 1}}, {{20, 5}});
  ObjectCatalog_GetAt(u32(bench))->supportPoints[0]->characterClasses = "Nino, 128, \"nina\", 9";
  m_sofia->actions[2]->references[0]->kind = kReferenceSupportPoint;
  m_sofia->actions[2]->references[0]->approach = 0;
  CharacterInstance* who = Place(sofia, 100, 300);
  ObjectInstance* seat = PlaceObject(bench, 300, 300);
  ActionPlacementWrite w = Write(who, 2, 0);
  const EditorSelection hover{kHitSupportPoint, 0, 300, 290, seat, 0, 300, 290};
  ASSERT_EQ(EditorAction_AcceptReference(w.context, hover, false), 0);
  w.referenceHit = hover;
  EditorAction_Write(w);
  const CharacterActionEntry* perform = static_cast<CharacterActionEntry*>(who->actions.prev->self);
  EXPECT_EQ(perform->direction, 0u);  // mask 9: front before back
  EXPECT_EQ(perform->keepDirection, 1u);
  m_sofia->actions[2]->releasesForcedDirection = 1;
  EditorAction_Write(w);
  perform = static_cast<CharacterActionEntry*>(who->actions.prev->self);
  EXPECT_EQ(perform->keepDirection, 0u);
  EXPECT_EQ(perform->direction, 7u);  // towards the bench
}

TEST_F(Placement, ReferencesAcceptWhatTheyNameAndNeverTheCharacterItself) {
  const i32 sofia = AddSofia();
  const i32 lamp = AddLamp();
  CharacterInstance* who = Place(sofia, 100, 300);
  CharacterInstance* friendOf = Place(sofia, 200, 300);
  ObjectInstance* post = PlaceObject(lamp, 400, 300);
  Reference(3, kReferenceCharacter, false);
  Reference(3, kReferenceObject, false)->referenceClass = "Pruebas";
  ActionPlacementContext context{m_scene, who, m_sofia, 3, m_finder};
  EXPECT_EQ(EditorAction_ReferenceKinds(m_sofia->actions[3], false), kHitCharacter | kHitObject);
  EXPECT_EQ(EditorAction_ReferenceKinds(m_sofia->actions[4], false), kHitBackground);
  EXPECT_EQ(EditorAction_ReferenceKinds(m_sofia->actions[4], true), kHitStage);
  EXPECT_EQ(EditorAction_AcceptReference(context, {kHitCharacter, 1, 0, 0, friendOf, 0, 0, 0}, false), 0);
  EXPECT_EQ(EditorAction_AcceptReference(context, {kHitCharacter, 0, 0, 0, who, 0, 0, 0}, false), -1);
  EXPECT_EQ(EditorAction_AcceptReference(context, {kHitObject, 0, 0, 0, post, 0, 0, 0}, false), 1);
  m_sofia->actions[3]->references[1]->referenceClass = "TODOS, -Pruebas";
  EXPECT_EQ(EditorAction_AcceptReference(context, {kHitObject, 0, 0, 0, post, 0, 0, 0}, false), -1);
  // A walk that is needed must have found its path.
  context.actionIndex = 2;
  EXPECT_EQ(EditorAction_AcceptReference(context, {kHitObject, 0, 0, 0, post, 0, 0, 0}, false), -1);
  EXPECT_EQ(EditorAction_AcceptReference(context, {kHitObject, 0, 0, 0, post, 0, 0, 0}, true), 0);
}

TEST_F(Placement, RandomPlacementsKeepEveryEntryInOrder) {
  std::mt19937 random(51);
  const i32 sofia = AddSofia();
  const i32 lamp = AddLamp();
  Effect(2, "farola", "Apagada", "Encendida");
  Effect(2, "farola", "Brillante", "Apagada");
  m_lamp->states[2]->nextState = "Encendida";
  for (u32 round = 0; round < 200; ++round) {
    for (u32 a = 0; a < m_sofia->actions.GetCount(); ++a) {
      CharacterAction* action = m_sofia->actions[a];
      action->duration = random() % 5000;
      const u32 repeats[] = {0, 1, 2, 7, kRepeatEndless};
      action->repeat = repeats[random() % 5];
      action->releasesForcedDirection = random() % 2;
    }
    m_sofia->states[0]->walkAction = random() % 3 == 0 ? -1 : 1;
    m_sofia->floating = random() % 4 == 0;
    CharacterInstance* who = Place(sofia, 20 + i32(random() % 620), 260 + i32(random() % 100));
    ObjectInstance* post = PlaceObject(lamp, 20 + i32(random() % 620), 300 + i32(random() % 60));
    u32 length = 0;
    for (u32 step = 0; step < 4; ++step) {
      const u32 action = 2 + random() % 4;
      const u32 frame = random() % 400;
      ActionPlacementWrite w = Write(who, action, frame);
      w.dialogueText = random() % 2 ? "Un texto de prueba" : "";
      ASSERT_TRUE(EditorAction_BuildWalkGrid(m_finder, m_scene, who));
      EditorSelection hover{};
      if (m_sofia->actions[action]->references.GetCount() == 0) {
      } else if (m_sofia->actions[action]->references[0]->kind == kReferenceObject) {
        hover = {kHitObject, 0, post->posX, post->posY, post, 0, 0, 0};
      } else {
        hover = {m_sofia->floating ? kHitStage : kHitBackground, -1, i32(random() % 664), 200 + i32(random() % 172),
                 nullptr, 0, 0, 0};
      }
      if (hover.kind) {
        if (EditorAction_PathTest(w.context, hover, &w.targetX, &w.targetY) < 0) w.targetX = hover.x, w.targetY = hover.y;
        w.referenceHit = hover;
      }
      const u32 end = EditorAction_Write(w);
      for (const CharacterActionEntry* e : ListRange<CharacterActionEntry>(&who->actions)) {
        EXPECT_LE(e->startFrame, e->endFrame);
        EXPECT_LE(e->endFrame, std::max(end, frame));  // the character was cut at the frame
      }
      // The scene grows to each placement's end: that covers everything placed so far.
      length = std::max({length, end, frame});
      for (const TextItem* t : ListRange<TextItem>(&m_scene->texts)) {
        EXPECT_LE(t->startFrame, t->endFrame);
        EXPECT_LE(t->endFrame, length);
      }
      for (const ObjectStateEntry* e : ListRange<ObjectStateEntry>(&post->states)) {
        EXPECT_LE(e->startFrame, e->endFrame);
        EXPECT_LE(e->endFrame, length);
      }
      EXPECT_LE(List_Count(&post->states), 8u);
      CharacterInstance_EvaluateAndDraw(who, frame, kModeEvaluate);
    }
    Scene_FreeContents(m_scene);
  }
}

}  // namespace
