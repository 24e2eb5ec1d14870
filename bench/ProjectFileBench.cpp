// Saving and loading a large movie (20 scenes of 20 characters with 50 actions each,
// about 1.4 MB on disk) as a project file, beside the least any saver or loader of the
// same bytes must do: one write(2) of them plus zlib's crc32, and one read(2) plus crc32.
// Files go to /dev/shm when it is there, so the disk's own speed stays out of the ratio.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "adventure/AdventureDevices.h"
#include "adventure/movie/Movie.h"
#include "app/project/ProjectFile.h"
#include "bench/BenchRatio.h"
#include "platform/kernel32/Modules.h"
#include "tests/support/MemoryGfxDevice.h"
#include "tests/support/SampleCatalog.h"

namespace {

struct World {
  World() {
    gfx.Init(nullptr, nullptr, nullptr);
    AdventureDevices_Set(&gfx, nullptr, nullptr);
    sample_catalog::Build(&gfx);
    char pattern[] = "/dev/shm/slprojectbenchXXXXXX";
    char fallback[] = "/tmp/slprojectbenchXXXXXX";
    const char* made = mkdtemp(pattern);
    if (!made) made = mkdtemp(fallback);
    folder = made ? made : "/tmp";
    std::system(("mkdir -p '" + folder + "/Aventuras Guardadas'").c_str());
    SLPlatformSetProgramFileName((folder + "/programa").c_str());
    path = folder + "/Aventuras Guardadas/grande.ZQTR";

    Movie* movie = Movie_Get();
    for (u32 s = 0; s < 20; ++s) {
      Scene* scene = Movie_AppendScene(movie);
      scene->background = 0, scene->length = 6000;
      for (u32 c = 0; c < 20; ++c) {
        CharacterInstance* character = CharacterInstance_New();
        character->scene = scene, character->character = i32(c % 2), character->x = 100 + i32(c) * 20;
        character->y = 300, character->endFrame = 0xFFFFFFFF;
        List_Append(&scene->characters, &character->link);
        for (u32 a = 0; a < 50; ++a) {
          CharacterActionEntry* entry = CharacterActionEntry_Append(character);
          entry->startFrame = a * 100, entry->endFrame = a * 100 + 90, entry->action = a % 7;
          entry->direction = a % 8;
          KeyPointArray_SetSize(&entry->path, 2);
          KeyPointArray_Data(&entry->path)[0] = {i32(a), 300, 50};
          KeyPointArray_Data(&entry->path)[1] = {i32(a) + 50, 300, 0};
          entry->pathLength = 50, entry->pathFrames = 30;
        }
      }
    }
    ProjectFile_WriteMovie(movie, path.c_str());
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  ~World() { std::system(("rm -rf '" + folder + "'").c_str()); }
  CMemoryGfxDevice gfx;
  std::string folder, path, bytes;
};

// Torn down by main, while the framework is still up: a static's destructor would run
// after the framework's own thread data is gone.
World* g_world = nullptr;

World& TheWorld() {
  if (!g_world) g_world = new World;
  return *g_world;
}

void SaveProject(benchmark::State& state) {
  World& world = TheWorld();
  for (auto _ : state) benchmark::DoNotOptimize(ProjectFile_WriteMovie(Movie_Get(), world.path.c_str()));
  state.SetBytesProcessed(i64(state.iterations()) * i64(world.bytes.size()));
}

void WriteAndCrc(benchmark::State& state) {
  World& world = TheWorld();
  const std::string peer = world.folder + "/peer.bin";
  for (auto _ : state) {
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(world.bytes.data()), uInt(world.bytes.size() - 4));
    const int fd = open(peer.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    benchmark::DoNotOptimize(write(fd, world.bytes.data(), world.bytes.size()));
    close(fd);
    benchmark::DoNotOptimize(crc);
  }
  state.SetBytesProcessed(i64(state.iterations()) * i64(world.bytes.size()));
}

void LoadProject(benchmark::State& state) {
  World& world = TheWorld();
  for (auto _ : state) benchmark::DoNotOptimize(ProjectFile_Load("grande"));
  state.SetBytesProcessed(i64(state.iterations()) * i64(world.bytes.size()));
}

void ReadAndCrc(benchmark::State& state) {
  World& world = TheWorld();
  std::string buffer(world.bytes.size(), '\0');
  for (auto _ : state) {
    const int fd = open(world.path.c_str(), O_RDONLY);
    benchmark::DoNotOptimize(read(fd, buffer.data(), buffer.size()));
    close(fd);
    benchmark::DoNotOptimize(crc32(0, reinterpret_cast<const Bytef*>(buffer.data()), uInt(buffer.size() - 4)));
  }
  state.SetBytesProcessed(i64(state.iterations()) * i64(world.bytes.size()));
}

BENCHMARK(SaveProject)->Unit(benchmark::kMicrosecond);
BENCHMARK(WriteAndCrc)->Unit(benchmark::kMicrosecond);
BENCHMARK(LoadProject)->Unit(benchmark::kMicrosecond);
BENCHMARK(ReadAndCrc)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  SLBenchRatioReporter reporter({{"SaveProject", "WriteAndCrc"}, {"LoadProject", "ReadAndCrc"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  delete g_world;
  return 0;
}
