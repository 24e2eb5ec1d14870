// One picture of the export without its pacing: VideoExport_RenderFrame on a busy scene
// (a 664 x 372 background and foreground, 30 characters) evaluated, drawn into the back
// buffer of the software device, copied out, turned into a bottom-up 24-bit bitmap and
// encoded by the movie file writer. Beside it the floor: Stage_Draw of the same scene and
// a memcpy of the same pixels out of the locked back buffer. Frames that are not whole
// seconds are taken, so no sound is mixed; the ratio is what the export adds to drawing
// (mostly the video encoder).
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>
#include <string>

#include "adventure/AdventureDevices.h"
#include "adventure/movie/SceneRender.h"
#include "app/dialogs/ExportDialog.h"
#include "bench/BenchRatio.h"
#include "foundation/SLStr.h"
#include "gamesystem/GameSystemClasses.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "platform/user32/User32.h"
#include "tests/support/MovieCatalog.h"

namespace {

u32 BackgroundPixel(u32 x, u32 y) { return 0xFF000000u | (x * 255 / 663) << 16 | (y * 255 / 371) << 8 | 0x40; }
u32 ForegroundPixel(u32 x, u32 y) { return y >= 330 ? 0xC0000000u | (x & 0xFF) << 8 | 0x30 : 0; }
u32 SpritePixel(u32 x, u32 y) { return x < 4 || x >= 56 ? 0 : u32(96 + y) << 24 | (x * 4) << 16 | (y * 2) << 8 | 0x80; }

struct World {
  World() {
    SLRegisterGameSystemClasses();
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = [](HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcA(w, m, wp, lp); };
    wc.lpszClassName = "slexportstepbench";
    RegisterClassExA(&wc);
    HWND window = CreateWindowExA(0, "slexportstepbench", "exportar", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 320,
                                  240, nullptr, nullptr, nullptr, nullptr);
    const SL_GS_DisplayMode mode{0xFFFF, 800, 600, 32, 1, 0, 0};
    ready = device.Init(nullptr, window, &mode);
    if (!ready) return;
    AdventureDevices_Set(&device, nullptr, nullptr);
    SL_GS_Image* background = MovieCatalog::Picture(&device, 664, 372, 0, 0, BackgroundPixel);
    SL_GS_Image* foreground = MovieCatalog::Picture(&device, 664, 372, 0, 0, ForegroundPixel);
    SL_GS_Image* sprite = MovieCatalog::Picture(&device, 60, 90, 30, 90, SpritePixel);
    Movie* movie = Movie_Get();
    movie->name = SLStrDupA("bench", false);
    Scene* scene = Movie_AppendScene(movie);
    scene->length = 100000;
    scene->background = MovieCatalog::AddBackground(
        &device, "calle", [](i32, i32 y) { return u8(1 + y * 254 / 371); }, background, foreground);
    MovieCatalog::ActionSpec stand;
    for (u32 d = 0; d < kDirectionCount; ++d) stand.frames[d] = {sprite};
    const i32 who = MovieCatalog::AddCharacter("paseante", false, {{"Normal", 0}}, {stand});
    for (u32 i = 0; i < 30; ++i) {
      CharacterInstance* c = CharacterInstance_New();
      c->scene = scene, c->character = who, c->endFrame = 0xFFFFFFFF;
      c->x = 30 + i32(i * 21), c->y = 120 + i32(i * 37 % 250);
      List_Append(&scene->characters, &c->link);
    }
    Scene_RenderAtFrame(scene, 1, kModeEvaluate);
    dialog = new CMyExportVideoDialog;
    dialog->totalFrames = scene->length;
    path = "/tmp/slexportstepbench.wmv";
    ready = WmvWriter_Open(&dialog->writer, path.c_str(), &kExportWriterSettings) == 0;
  }
  bool ready = false;
  CSL_GS_Gfx_DirectX device;
  CMyExportVideoDialog* dialog = nullptr;
  std::string path;
};

World& TheWorld() {
  static World& world = *new World;  // never destroyed: the framework's singletons go first
  return world;
}

void RenderFrame(benchmark::State& state) {
  World& world = TheWorld();
  if (!world.ready) return state.SkipWithError("no device or writer");
  u32 frame = 1;
  for (auto _ : state) {
    world.dialog->currentFrame = frame;
    if (VideoExport_RenderFrame(world.dialog) < 0) return state.SkipWithError("render failed");
    frame += 4;
    if (frame % 60 == 0) frame += 4;  // the pictures only: no second of sound
  }
}

void DrawAndCopy(benchmark::State& state) {
  World& world = TheWorld();
  if (!world.ready) return state.SkipWithError("no device");
  static u8 copy[664 * 372 * 4];
  for (auto _ : state) {
    Stage_Draw(Movie_Get(), 0, 0);
    SL_GS_SurfaceAccess* access = world.device.LockBackBuffer(false);
    if (!access) return state.SkipWithError("no lock");
    for (u32 y = 0; y < 372; ++y) std::memcpy(copy + y * 664 * 4, access->pixels + std::size_t(y) * access->pitch, 664 * 4);
    world.device.UnlockBackBuffer();
    benchmark::DoNotOptimize(copy);
  }
}

}  // namespace

BENCHMARK(RenderFrame)->Unit(benchmark::kMillisecond);
BENCHMARK(DrawAndCopy)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  SLBenchRatioReporter reporter(std::vector<std::pair<std::string, std::string>>{{"RenderFrame", "DrawAndCopy"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::remove(TheWorld().path.c_str());
  return 0;
}
