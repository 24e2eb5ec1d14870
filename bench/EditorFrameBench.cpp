// One editor frame on the software device: a background with a foreground, 20 characters
// and 20 objects at the scales their places give them (half of them mirrored), the hover
// and selection outlines, the eight frame pieces, both outlined counters, the toolbar and
// the pointer. Beside it SDL2's software renderer draws the same pictures into the same
// rectangles in the same run: the sprites with SDL_RenderCopyEx (scaled, half flipped,
// blended), the outlines as stretched one-pixel textures with a colour mod, each counter
// letter as a glyph-sized copy five times over, the frame pieces and every toolbar
// control at its size. A second pair adds the scene menu opened from the current scene's
// thumbnail (made by the editor's own menu code) with its "Borrar audio" submenu open over
// five effect sounds; the peer draws each menu as a nine-piece panel, each entry's letters
// as glyph copies, the separators, the highlighted entry's panel and the submenu arrow.
// Runs on the sample content (bench/BenchContent.h).
#include <SDL.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/services/AppClasses.h"
#include "app/services/AppServices.h"
#include "app/services/CMyGuiManager.h"
#include "app/services/CommonResources.h"
#include "app/editor/EditorMenus.h"
#include "app/editor/EditorScreen.h"
#include "app/editor/EditorState.h"
#include "bench/BenchContent.h"
#include "bench/BenchRatio.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "gui/SLGuiMenuPopup.h"
#include "gui/SLGuiWindow.h"
#include "platform/kernel32/Modules.h"
#include "tests/support/MovieCatalog.h"
#include "tests/support/ScriptedInput.h"

namespace {

u32 BackgroundPixel(u32 x, u32 y) { return 0xFF000000u | (x * 255 / 663) << 16 | (y * 255 / 371) << 8 | 0x40; }
u32 ForegroundPixel(u32 x, u32 y) { return y >= 330 ? 0xC0000000u | (x & 0xFF) << 8 | 0x30 : 0; }
u32 SpritePixel(u32 x, u32 y) { return x < 4 || x >= 56 ? 0 : u32(96 + y) << 24 | (x * 4) << 16 | (y * 2) << 8 | 0x80; }
u32 BoxPixel(u32 x, u32 y) { return 0xFF000000u | (x * 5) << 16 | (y * 5) << 8 | 0x90; }

struct Blit {
  u32 texture;  // 0 background, 1 sprite, 2 box, 3 foreground, 4 white pixel, 5 glyph, 6 plain picture
  SDL_Rect to;
  bool flip;
  u32 colour;  // colour mod (0xAABBGGRR) for pixels and glyphs
};

struct World {
  World() {
    const std::string folder = SLBenchContentFolder("EditorFrameBench");
    program = folder + "/Zarandulvortequimbaplastelo";
    if (folder.empty() || !std::filesystem::exists(folder + "/contentgen.stamp")) return;
    SLRegisterAppClasses();
    SLPlatformSetProgramFileName(program.c_str());
    App_Init();
    CommonUi_Load();
    EditorScreen_Load();
    CSL_GS_Gfx_DirectX* gfx = App_Services().gfx;
    SL_GS_Image* background = MovieCatalog::Picture(gfx, 664, 372, 0, 0, BackgroundPixel);
    SL_GS_Image* foreground = MovieCatalog::Picture(gfx, 664, 372, 0, 0, ForegroundPixel);
    SL_GS_Image* sprite = MovieCatalog::Picture(gfx, 60, 90, 30, 90, SpritePixel);
    SL_GS_Image* box = MovieCatalog::Picture(gfx, 50, 30, 25, 30, BoxPixel);
    const i32 scene0 = MovieCatalog::AddBackground(gfx, "calle", [](i32, i32 y) { return u8(1 + y * 254 / 371); },
                                                   background, foreground);
    MovieCatalog::ActionSpec stand;
    for (u32 d = 0; d < kDirectionCount; ++d) stand.frames[d] = {sprite};
    const i32 who = MovieCatalog::AddCharacter("paseante", false, {{"Normal", 0}}, {stand});
    const i32 what = MovieCatalog::AddObject("caja", -1, {{"Quieta", {box}}});
    Movie* movie = Editor_Movie();
    for (int s = 0; s < 2; ++s) Movie_AppendScene(movie)->background = scene0;
    Scene* scene = Movie_SceneAt(movie, 0);
    scene->length = 3661;
    for (u32 i = 0; i < 20; ++i) {
      CharacterInstance* c = CharacterInstance_Create(scene, who);
      c->x = 30 + i32(i * 31), c->y = 120 + i32(i * 37 % 250);
      ObjectInstance* o = ObjectInstance_Create(scene, what);
      o->x = 40 + i32(i * 29), o->y = 110 + i32(i * 53 % 260);
    }
    // Effect sounds playing at the frame shown: the scene menu lists them under "Borrar audio".
    for (const char* name : {"trueno", "p\xe1jaros", "campana", "lluvia fuerte", "*C:\\Sonidos\\aplausos.wav"}) {
      SoundItem* sound = SoundItem_Append(scene);
      sound->fileName = name;
      sound->kind = kSoundEffect;
      sound->startFrame = 1000, sound->endFrame = 2500;
    }
    Movie_SelectScene(movie, 0);
    Scene_RenderAtFrame(scene, 1830, kModeEvaluate);
    EditorState& state = Editor_State();
    CharacterInstance* hovered = Scene_CharacterAt(scene, 3);
    ObjectInstance* chosen = Scene_ObjectAt(scene, 7);
    state.hover = EditorSelection{kHitCharacter, 3, 0, 0, hovered, 0, 0, 0};
    state.selection = EditorSelection{kHitObject, 7, 0, 0, chosen, 0, 0, 0};
    ready = true;

    // The peer's work, in drawing order.
    blits.push_back({0, {kStageX, kStageY, 664, 372}, false, 0xFFFFFFFF});
    const DrawItem* items = static_cast<const DrawItem*>(scene->drawList.data);
    u32 n = 0;
    for (u32 i = scene->drawList.count; i-- > 0; ++n) {
      const ElementResults* e = items[i].kind == kDrawCharacter
                                    ? static_cast<const ElementResults*>(static_cast<CharacterInstance*>(items[i].element))
                                    : static_cast<const ElementResults*>(static_cast<ObjectInstance*>(items[i].element));
      blits.push_back({items[i].kind == kDrawCharacter ? 1u : 2u,
                       {kStageX + e->left, kStageY + e->top, e->width, e->height}, n % 2 == 1, 0xFFFFFFFF});
    }
    blits.push_back({3, {kStageX, kStageY, 664, 372}, false, 0xFFFFFFFF});
    for (const ElementResults* e : {static_cast<const ElementResults*>(hovered), static_cast<const ElementResults*>(chosen)}) {
      const i32 l = kStageX + e->left, t = kStageY + e->top, r = l + e->width, b = t + e->height;
      const SDL_Rect lines[4] = {{l, t, r - l, 1}, {l, b, r - l, 1}, {l, t, 1, b - t}, {r, t, 1, b - t}};
      for (const SDL_Rect& line : lines) blits.push_back({4, line, false, 0xFF00C000});
    }
    SL_GS_ImageInfo info{};
    for (SL_GS_Image* piece : state.images.frame)
      if (gfx->GetImageInfo(piece, &info)) blits.push_back({6, {0, 0, i32(info.width), i32(info.height)}, false, 0xFFFFFFFF});
    // "1 / 2" and "0:00:30.50 / 0:01:01.01", five passes each, a 9 x 15 glyph per letter.
    for (const char* text : {"1 / 2", "0:00:30.50 / 0:01:01.01"})
      for (int pass = 0; pass < 5; ++pass)
        for (const char* c = text; *c; ++c)
          blits.push_back({5, {500 + i32(c - text) * 9, 481, 9, 15}, false, pass < 4 ? 0xC8000000 : 0xC800FFFF});
    CMyGuiManager& gui = App_GuiManager();
    for (CSL_GS_GuiWindow* w = gui.GetFirstChild(nullptr); w; w = gui.GetNextSibling(w))
      if (w->IsVisibleInTree()) {
        const SLGuiRect& r = w->GetWindowRect();
        blits.push_back({6, {r.x, r.y, r.width, r.height}, false, 0xFFFFFFFF});
      }
    blits.push_back({6, {400, 300, 32, 32}, false, 0xFFFFFFFF});  // the pointer

    // The menu frame: the same pictures with the menus drawn over them, before the pointer.
    menuBlits.assign(blits.begin(), blits.end() - 1);
    if (!OpenMenus()) return;
    for (CSL_GS_GuiWindow* window : Editor_State().popups.windows)
      if (window && window->IsVisibleInTree()) AddMenuBlits(static_cast<CSL_GS_GuiMenuPopup*>(window));
    menuBlits.push_back(blits.back());
    CloseMenus();
    menuReady = true;
  }

  // The scene menu as the thumbnail's click opens it, its "Borrar audio" entry highlighted
  // and the submenu open beside it, as the pointer resting on the entry leaves them.
  bool OpenMenus() {
    savedStageMode = Editor_State().stageMode;
    // The menu opens at the pointer: on the thumbnail for as long as the menu is made.
    CMyGuiManager& gui = App_GuiManager();
    CSL_GS_BaseMouseInput* mouse = gui.GetMouse();
    CScriptedMouse onThumbnail("");
    onThumbnail.SetPosition(587, 550);
    gui.SetMouse(&onThumbnail);
    gui.Update(false);
    EditorScreen_ShowSceneMenu();
    gui.SetMouse(mouse);
    auto* menu = static_cast<CSL_GS_GuiMenuPopup*>(Editor_State().popups.windows[0]);
    if (!menu) return false;
    for (u32 i = 0; i < menu->GetItemCount(); ++i)
      if (menu->GetItemId(i) == kMenuSceneSounds) {
        menu->SetHighlightedItem(i32(i));
        return gui.OpenMenuPopup(menu->GetItemSubmenu(i));
      }
    return false;
  }
  void CloseMenus() {
    EditorMenus_Close();
    Editor_State().stageMode = savedStageMode;
  }

  void AddPanel(const SLGuiRect& r) {
    // Corners of 4 x 4, the edges between them and the middle.
    const i32 c = 4, w = r.width - 2 * c, h = r.height - 2 * c;
    const SDL_Rect pieces[9] = {{r.x, r.y, c, c},         {r.x + c, r.y, w, c},         {r.x + c + w, r.y, c, c},
                                {r.x, r.y + c, c, h},     {r.x + c, r.y + c, w, h},     {r.x + c + w, r.y + c, c, h},
                                {r.x, r.y + c + h, c, c}, {r.x + c, r.y + c + h, w, c}, {r.x + c + w, r.y + c + h, c, c}};
    for (const SDL_Rect& piece : pieces) menuBlits.push_back({6, piece, false, 0xFFFFFFFF});
  }
  void AddMenuBlits(CSL_GS_GuiMenuPopup* menu) {
    SLGuiRect screen{};
    if (!menu->GetClientRectR(&screen)) return;
    SLGuiRect onScreen{};
    menu->GetScreenRectR(&onScreen);
    screen.x = onScreen.x, screen.y = onScreen.y;
    AddPanel(screen);
    for (u32 i = 0; i < menu->GetItemCount(); ++i) {
      SLGuiRect r{};
      if (!menu->GetItemRect(false, i, &r)) continue;
      r.x += screen.x, r.y += screen.y;
      const char* text = menu->GetItemText(i);
      if (menu->GetItemId(i) == 0 && !*text) {
        menuBlits.push_back({6, {r.x, r.y, r.width, r.height}, false, 0xFFFFFFFF});
        continue;
      }
      if (menu->GetHighlightedItem() == i32(i)) AddPanel(r);
      for (const char* c = text; *c; ++c)
        menuBlits.push_back({5, {r.x + 3 + i32(c - text) * 7, r.y + 2, 9, 15}, false, 0xFF000000});
      if (menu->GetItemSubmenu(i)) menuBlits.push_back({5, {r.x + r.width - 12, r.y + 2, 9, 15}, false, 0xFF000000});
    }
  }

  std::string program;
  bool ready = false, menuReady = false;
  u32 savedStageMode = 0;
  std::vector<Blit> blits, menuBlits;
};

World& TheWorld() {
  static World& world = *new World;  // never destroyed: the framework's singletons go first
  return world;
}

void DrawFrames(benchmark::State& state) {
  for (auto _ : state) {
    EditorScreen_DrawScene();
    EditorScreen_DrawOverlay();
  }
  state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void EditorFrame(benchmark::State& state) {
  if (!TheWorld().ready) return state.SkipWithError("no sample content (build-bench/content, or SL_CONTENT_DIR)");
  DrawFrames(state);
}

void EditorMenuFrame(benchmark::State& state) {
  World& world = TheWorld();
  if (!world.menuReady) return state.SkipWithError("no sample content, or the scene menu did not open");
  if (!world.OpenMenus()) return state.SkipWithError("the scene menu did not open");
  DrawFrames(state);
  world.CloseMenus();
}

std::vector<u32> Pixels(u32 w, u32 h, u32 (*pixel)(u32, u32)) {
  std::vector<u32> out(size_t(w) * h);
  for (u32 y = 0; y < h; ++y)
    for (u32 x = 0; x < w; ++x) out[size_t(y) * w + x] = pixel(x, y);
  return out;
}

void DrawWithSdl(benchmark::State& state, const std::vector<Blit>& blits) {
  SDL_Surface* target = SDL_CreateRGBSurfaceWithFormat(0, 800, 600, 32, SDL_PIXELFORMAT_RGB888);
  SDL_Renderer* renderer = SDL_CreateSoftwareRenderer(target);
  struct Source {
    u32 w, h;
    u32 (*pixel)(u32, u32);
    SDL_BlendMode blend;
  } sources[7] = {{664, 372, BackgroundPixel, SDL_BLENDMODE_NONE},
                  {60, 90, SpritePixel, SDL_BLENDMODE_BLEND},
                  {50, 30, BoxPixel, SDL_BLENDMODE_BLEND},
                  {664, 372, ForegroundPixel, SDL_BLENDMODE_BLEND},
                  {1, 1, [](u32, u32) { return 0xFFFFFFFFu; }, SDL_BLENDMODE_BLEND},
                  {9, 15, [](u32 x, u32 y) { return (x + y) % 3 ? 0xFFFFFFFFu : 0u; }, SDL_BLENDMODE_BLEND},
                  {128, 128, [](u32 x, u32 y) { return 0xFF000000u | x << 9 | y; }, SDL_BLENDMODE_BLEND}};
  SDL_Texture* textures[7];
  for (u32 t = 0; t < 7; ++t) {
    const std::vector<u32> pixels = Pixels(sources[t].w, sources[t].h, sources[t].pixel);
    textures[t] = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STATIC, i32(sources[t].w),
                                    i32(sources[t].h));
    SDL_UpdateTexture(textures[t], nullptr, pixels.data(), i32(sources[t].w * 4));
    SDL_SetTextureBlendMode(textures[t], sources[t].blend);
  }
  for (auto _ : state) {
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
    for (const Blit& b : blits) {
      SDL_Texture* texture = textures[b.texture];
      if (b.texture == 4 || b.texture == 5) {
        SDL_SetTextureColorMod(texture, Uint8(b.colour), Uint8(b.colour >> 8), Uint8(b.colour >> 16));
        SDL_SetTextureAlphaMod(texture, Uint8(b.colour >> 24));
      }
      SDL_RenderCopyEx(renderer, texture, nullptr, &b.to, 0.0, nullptr, b.flip ? SDL_FLIP_HORIZONTAL : SDL_FLIP_NONE);
    }
    SDL_RenderFlush(renderer);
  }
  state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
  for (SDL_Texture* t : textures) SDL_DestroyTexture(t);
  SDL_DestroyRenderer(renderer);
  SDL_FreeSurface(target);
}

void Sdl(benchmark::State& state) {
  if (!TheWorld().ready) return state.SkipWithError("no sample content");
  DrawWithSdl(state, TheWorld().blits);
}

void SdlMenu(benchmark::State& state) {
  if (!TheWorld().menuReady) return state.SkipWithError("no sample content");
  DrawWithSdl(state, TheWorld().menuBlits);
}

BENCHMARK(EditorFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(Sdl)->Unit(benchmark::kMicrosecond);
BENCHMARK(EditorMenuFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(SdlMenu)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  setenv("SDL_VIDEODRIVER", "dummy", 0);
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  benchmark::Initialize(&argc, argv);
  SLBenchRatioReporter reporter(std::vector<std::pair<std::string, std::string>>{{"EditorFrame", "Sdl"}, {"EditorMenuFrame", "SdlMenu"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  // The program's services go down in their own order before the exit handlers run.
  if (TheWorld().ready) {
    EditorScreen_Free();
    MovieCatalog::Free();
    CommonUi_Free();
    App_Shutdown();
  }
  return 0;
}
