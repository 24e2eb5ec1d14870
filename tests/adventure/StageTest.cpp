// The stage: the depth order of the draw list (equal keys, texts against carried and
// floating objects, carriers before what they carry), drawing back to front between the
// background and the foreground, and hit testing front-most first, on hit masks that
// survive the release of the source pictures.
#include <gtest/gtest.h>

#include "adventure/movie/SceneRender.h"
#include "tests/support/MovieFixtures.h"

namespace {

class Stage : public ::testing::Test {
 protected:
  void SetUp() override {
    SLTestRegisterClasses();
    ASSERT_TRUE(m_gfx.Init(nullptr, nullptr, nullptr));
    AdventureDevices_Set(&m_gfx, nullptr, nullptr);
    Movie_Init(&m_movie);
    m_scene = Movie_AppendScene(&m_movie);
    m_scene->length = 100;
  }
  void TearDown() override {
    Movie_Clear(&m_movie);
    MovieCatalog::Free();
    AdventureDevices_Set(nullptr, nullptr, nullptr);
  }
  CharacterInstance* Place(i32 character, i32 x, i32 y) {
    CharacterInstance* c = CharacterInstance_New();
    c->scene = m_scene, c->character = character, c->endFrame = 0xFFFFFFFF, c->x = x, c->y = y;
    List_Append(&m_scene->characters, &c->link);
    return c;
  }
  ObjectInstance* PlaceObject(i32 object, i32 x, i32 y) {
    ObjectInstance* o = ObjectInstance_New();
    o->scene = m_scene, o->object = object, o->x = x, o->y = y;
    List_Append(&m_scene->objects, &o->link);
    return o;
  }
  std::vector<DrawItem> Items() const {
    const DrawItem* items = static_cast<const DrawItem*>(m_scene->drawList.data);
    return {items, items + m_scene->drawList.count};
  }
  i32 PositionOf(const void* element) const {
    const std::vector<DrawItem> items = Items();
    for (size_t i = 0; i < items.size(); ++i)
      if (items[i].element == element) return i32(i);
    return -1;
  }

  CDrawLogGfx m_gfx;
  Movie m_movie;
  Scene* m_scene = nullptr;
};

TEST(DrawOrder, LargerKeysFirstAndCharactersOverObjectsOnEqualKeys) {
  struct Row {
    DrawItem a, b;
    i32 order;
  } rows[] = {{{1, 0, nullptr, 500}, {2, 0, nullptr, 400}, -1}, {{2, 0, nullptr, 400}, {1, 0, nullptr, 500}, 1},
              {{1, 0, nullptr, 7}, {2, 0, nullptr, 7}, -1},     {{2, 0, nullptr, 7}, {1, 0, nullptr, 7}, 1},
              {{2, 0, nullptr, 7}, {3, 0, nullptr, 7}, 1},      {{3, 0, nullptr, 7}, {2, 0, nullptr, 7}, -1},
              {{3, 0, nullptr, 7}, {1, 0, nullptr, 7}, -1},     {{1, 0, nullptr, 7}, {3, 0, nullptr, 7}, 0},
              {{1, 0, nullptr, 7}, {1, 1, nullptr, 7}, 0},      {{0x80000000, 0, nullptr, 0xFFFFFFFF}, {1, 0, nullptr, 1}, -1}};
  for (const Row& row : rows) EXPECT_EQ(Scene_CompareDrawItems(&row.a, &row.b), row.order);
}

TEST_F(Stage, TextsCarriedAndFloatingObjectsTakeTheirPlaces) {
  const i32 full = MovieCatalog::AddBackground(&m_gfx, "a_lleno", [](i32, i32) { return u8(255); });
  SL_GS_Image* box = MovieCatalog::Solid(&m_gfx, 40, 20, 20, 20, 0xFF0000FF);
  const i32 crate = MovieCatalog::AddObject("b_caja", -1, {{"Normal", {box}}}, {{5, 2}});
  const i32 cloud = MovieCatalog::AddObject("c_nube", 100, {{"Normal", {box}}});
  const i32 who = MovieCatalog::AddCharacter("d_ana", false, {{"Normal", 0}}, {{}});
  m_scene->background = full;
  ObjectInstance* carried = PlaceObject(crate, 0, 0);  // before its carrier in the list
  ObjectInstance* carrier = PlaceObject(crate, 200, 300);
  ObjectInstance* floating = PlaceObject(cloud, 300, 100);
  carried->carrier = carrier;
  CharacterInstance* ana = Place(who, 200, 300);  // same depth as the carrier
  std::vector<TextItem*> texts;
  for (u32 i = 0; i < 100; ++i) {
    TextItem* text = TextItem_Append(m_scene);
    text->startFrame = 0, text->endFrame = 100;
    texts.push_back(text);
  }
  Scene_RenderAtFrame(m_scene, 7, kModeEvaluate);
  EXPECT_EQ(m_scene->currentFrame, 7u);
  ASSERT_EQ(m_scene->drawList.count, 104u);
  EXPECT_EQ(Items()[u32(PositionOf(carried))].key, 100099u);
  EXPECT_EQ(Items()[u32(PositionOf(floating))].key, 100499u);
  EXPECT_EQ(Items()[u32(PositionOf(carrier))].key, 100000u);
  // Front first: the floating object, texts 99 and 98 (key 100099 equal to the carried
  // object's: a text leads), the carried object, texts 97..0, then the character before
  // the carrier it shares a key with.
  EXPECT_EQ(PositionOf(floating), 0);
  EXPECT_EQ(PositionOf(texts[99]), 1);
  EXPECT_EQ(PositionOf(texts[98]), 2);
  EXPECT_EQ(PositionOf(carried), 3);
  EXPECT_EQ(PositionOf(texts[97]), 4);
  EXPECT_EQ(PositionOf(texts[0]), 101);
  EXPECT_EQ(PositionOf(ana), 102);
  EXPECT_EQ(PositionOf(carrier), 103);
  for (const DrawItem& item : Items())
    EXPECT_EQ(item.index, u32(item.kind == kDrawCharacter ? List_IndexOf(&m_scene->characters, item.element)
                              : item.kind == kDrawObject  ? List_IndexOf(&m_scene->objects, item.element)
                                                          : List_IndexOf(&m_scene->texts, item.element)));
}

TEST_F(Stage, DrawsBackToFrontBetweenBackgroundAndForeground) {
  SL_GS_Image* back = MovieCatalog::Solid(&m_gfx, 664, 372, 0, 0, 0xFF202020);
  SL_GS_Image* front = MovieCatalog::Solid(&m_gfx, 664, 372, 0, 0, 0x00000000);
  const i32 rising = MovieCatalog::AddBackground(&m_gfx, "a_cuesta", [](i32, i32 y) { return u8(y * 255 / 371); },
                                                 back, front);
  SL_GS_Image* box = MovieCatalog::Solid(&m_gfx, 40, 20, 20, 20, 0xFF0000FF);
  const i32 crate = MovieCatalog::AddObject("b_caja", -1, {{"Normal", {box}}});
  m_scene->background = rising;
  ObjectInstance* near = PlaceObject(crate, 100, 350);
  ObjectInstance* far = PlaceObject(crate, 100, 50);
  TextItem* text = TextItem_Append(m_scene);
  text->startFrame = 0, text->endFrame = 100, text->x = 10, text->y = 20;
  SL_GS_Image* picture = MovieCatalog::Solid(&m_gfx, 128, 128, 0, 0, 0xFFFFFFFF);
  Balloon_SetPicture(picture);
  Balloon_Layout(&text->balloon);
  Scene_RenderAtFrame(m_scene, 0, kModeEvaluate);
  m_gfx.draws.clear();
  Stage_Draw(&m_movie, 108, 148);
  Balloon_SetPicture(nullptr);
  const std::vector<CDrawLogGfx::Draw>& d = m_gfx.draws;
  ASSERT_GE(d.size(), 5u);
  EXPECT_EQ(d.front().image, back);
  EXPECT_EQ(std::tie(d.front().x, d.front().y), std::make_tuple(108, 148));
  EXPECT_EQ(d[1].image, box);  // the far object first
  EXPECT_EQ(std::tie(d[1].x, d[1].y), std::make_tuple(208, 198));
  EXPECT_EQ(d[1].options.flags, SL_GS_DRAW_SCALE);
  EXPECT_EQ(d[1].options.scaleX, far->scale);
  EXPECT_EQ(d[1].options.scaleY, far->scale);
  EXPECT_EQ(d[2].image, box);
  EXPECT_EQ(d[2].options.scaleX, near->scale);
  EXPECT_LT(far->scale, near->scale);
  for (size_t i = 3; i + 1 < d.size(); ++i) {
    EXPECT_EQ(d[i].image, picture);  // the balloon's pieces, over the elements
    EXPECT_GE(d[i].x, 118);
  }
  EXPECT_EQ(d.back().image, front);
  EXPECT_EQ(d.back().options.flags, 0u);
  // A scene whose background names no record draws no layers.
  m_scene->background = 9;
  m_gfx.draws.clear();
  Stage_Draw(&m_movie, 0, 0);
  for (const CDrawLogGfx::Draw& draw : m_gfx.draws) EXPECT_TRUE(draw.image != back && draw.image != front);
}

TEST_F(Stage, HitsFrontMostFirstThroughTransparentPixels) {
  const i32 walkable = MovieCatalog::AddBackground(&m_gfx, "a_suelo", [](i32, i32 y) { return u8(y >= 200 ? 255 : 0); });
  // A character whose left half is transparent, an object behind it, opaque except its
  // top-left corner, with a support point at (30, 4).
  SL_GS_Image* half = MovieCatalog::Picture(&m_gfx, 20, 40, 10, 40, [](u32 x, u32) { return x < 10 ? 0x00FFFFFFu : 0xFF00FF00u; });
  SL_GS_Image* box = MovieCatalog::Picture(&m_gfx, 40, 20, 20, 20, [](u32 x, u32 y) { return x < 5 && y < 5 ? 0x10FFFFFFu : 0xFF0000FFu; });
  const i32 crate = MovieCatalog::AddObject("b_caja", -1, {{"Normal", {box}}}, {{30, 4}});
  MovieCatalog::ActionSpec stand;
  stand.frames[0] = {half};
  const i32 who = MovieCatalog::AddCharacter("c_ana", false, {{"Normal", 0}}, {stand});
  m_scene->background = walkable;
  CharacterInstance* ana = Place(who, 300, 330);   // rectangle 290..309 x 290..329
  ObjectInstance* crateBehind = PlaceObject(crate, 300, 300);  // 280..319 x 280..299, drawn behind
  TextItem* text = TextItem_Append(m_scene);
  text->startFrame = 0, text->endFrame = 100, text->x = 500, text->y = 250;
  Balloon_Layout(&text->balloon);  // 31 x 14
  Scene_RenderAtFrame(m_scene, 0, kModeEvaluate);
  ASSERT_EQ(ana->scale, 1.0);
  ASSERT_EQ(crateBehind->scale, 1.0);
  struct Row {
    i32 x, y;
    u32 mask, result, kind;
    const void* element;
  } rows[] = {
      {305, 300, 0x3F, 1, kHitCharacter, ana},           // the character's opaque half
      {295, 295, 0x3F & ~8u, 1, kHitObject, crateBehind}, // its transparent half falls through
      {275, 281, 0x3F & ~8u, 1, kHitBackground, nullptr}, // outside every rectangle, on the floor
      {281, 281, 0x3F & ~8u, 1, kHitBackground, nullptr}, // the object's transparent corner
      {311, 283, 0x3F, 8, kHitSupportPoint, crateBehind}, // outside the character, near the point
      {295, 295, kHitCharacter, 0, 0, nullptr},
      {510, 255, 0x3F, 16, kHitText, text},
      {510, 255, 0x3F & ~16u, 1, kHitBackground, nullptr},
      {100, 100, 0x3F, 1, kHitStage, nullptr},            // the mask is transparent up there
      {100, 100, 0x1F, 0, 0, nullptr},
      {-1, 100, 0x3F, 0, 0, nullptr},
      {664, 100, 0x3F, 0, 0, nullptr},
  };
  for (int pass = 0; pass < 2; ++pass) {
    for (const Row& row : rows) {
      EditorSelection hit;
      EXPECT_EQ(Stage_HitTest(&m_movie, row.x, row.y, row.mask, &hit), row.result) << row.x << "," << row.y;
      EXPECT_EQ(hit.kind, row.kind) << row.x << "," << row.y;
      EXPECT_EQ(hit.element, row.element) << row.x << "," << row.y;
      EXPECT_EQ(hit.index, row.element ? 0 : -1) << row.x << "," << row.y;
    }
    // The loader releases the source pictures: transparent parts must still let clicks through.
    ASSERT_TRUE(m_gfx.ReleaseImageSourcesOfGroup(1));
  }
  EditorSelection hit;
  ASSERT_EQ(Stage_HitTest(&m_movie, 311, 283, kHitSupportPoint, &hit), 8u);
  EXPECT_EQ(std::tie(hit.supportIndex, hit.supportX, hit.supportY), std::make_tuple(0u, 310, 284));
}

}  // namespace
