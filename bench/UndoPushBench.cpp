// Undo points of a 20-scene movie with 30 sound items whose files open: the time of one
// push (a deep copy of every scene, the oldest of eight points dropped once the ring is
// full) and the threads the process has per push, beside one undo (which opens the
// restored players). No goal: it shows what an edit costs and that pushes start no
// threads.
#include <benchmark/benchmark.h>

#include <fstream>
#include <string>
#include <vector>

#include "adventure/AdventureDevices.h"
#include "adventure/movie/SceneRender.h"
#include "bench/BenchRatio.h"
#include "tests/support/MemoryGfxDevice.h"
#include "tests/support/RecordingSfx.h"
#include "tools/common/WavHeader.h"

namespace {

u32 ThreadCount() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("Threads:", 0) == 0) return u32(std::stoul(line.substr(8)));
  return 0;
}

struct World {
  World() {
    gfx.Init(nullptr, nullptr, nullptr);
    AdventureDevices_Set(&gfx, &sfx, nullptr);
    // A tenth of a second of 22,050 Hz mono silence for every item.
    u8 header[44];
    const SLAudioFormat format{1, 1, 16, 22050, 44100, 2};
    SLToolWavHeader(header, format, 36 + 4410, 4410);
    std::ofstream(wav, std::ios::binary).write(reinterpret_cast<const char*>(header), 44).write(std::string(4410, '\0').data(), 4410);
    Movie_Init(&movie);
    for (u32 s = 0; s < 20; ++s) {
      Scene* scene = Movie_AppendScene(&movie);
      scene->length = 1200;
      for (u32 i = 0; i < 12; ++i) {
        CharacterInstance* c = CharacterInstance_New();
        c->scene = scene, c->character = -1, c->x = 100 + i32(i), c->y = 200, c->endFrame = 0xFFFFFFFF;
        List_Append(&scene->characters, &c->link);
        for (u32 a = 0; a < 3; ++a) {
          CharacterActionEntry* e = CharacterActionEntry_Append(c);
          e->startFrame = a * 100, e->endFrame = a * 100 + 90;
          KeyPointArray_SetSize(&e->path, 6);
        }
      }
      for (u32 i = 0; i < 12; ++i) {
        ObjectInstance* o = ObjectInstance_New();
        o->scene = scene, o->object = -1, o->x = 300, o->y = 100 + i32(i);
        List_Append(&scene->objects, &o->link);
      }
      for (u32 i = 0; i < 6; ++i) Balloon_SetText(&TextItem_Append(scene)->balloon, "Un texto de globo de prueba");
    }
    for (u32 i = 0; i < 30; ++i) {
      SoundItem* item = SoundItem_Append(Movie_SceneAt(&movie, i % 20));
      SoundItem_AttachDevices(item);
      item->fileName = ("*" + wav).c_str();
      SoundItem_OpenFile(item);
    }
  }
  ~World() {
    Movie_Clear(&movie);
    std::remove(wav.c_str());
  }
  std::string wav = "/tmp/undopushbench.wav";
  CMemoryGfxDevice gfx;
  CRecordingSfx sfx;
  Movie movie;
};

void Push(benchmark::State& state) {
  World world;
  const u32 before = ThreadCount();
  u64 pushes = 0;
  for (auto _ : state) {
    Movie_PushUndo(&world.movie);
    ++pushes;
  }
  state.counters["threads_per_push"] = pushes ? double(ThreadCount() - before) / double(pushes) : 0.0;
}

void PushAndUndo(benchmark::State& state) {
  World world;
  const u32 before = ThreadCount();
  u32 more = 0;
  for (auto _ : state) {
    Movie_PushUndo(&world.movie);
    Movie_Undo(&world.movie, &more);
  }
  state.counters["threads_after"] = double(ThreadCount()) - double(before);
}

BENCHMARK(Push)->Unit(benchmark::kMicrosecond);
BENCHMARK(PushAndUndo)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  SLBenchRatioReporter reporter(std::vector<std::pair<std::string, std::string>>{{"PushAndUndo", "Push"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
