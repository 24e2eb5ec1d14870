// The GIF reader beside giflib's DGifSlurp on the same bytes: an 800x600 animation of 60
// frames written by gifsicle. giflib only decodes each frame's rectangle; our read also
// composes every frame onto the full screen, so the first-frame read is printed too.
#include <benchmark/benchmark.h>
#include <gif_lib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench/BenchRatio.h"
#include "image/ImageClasses.h"
#include "image/readers/SLImageReaderGIF.h"
#include "storage/SLMemoryStorage.h"

namespace {

std::string Run(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  char buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  pclose(pipe);
  return out;
}

const std::string& Animation() {
  static const std::string bytes = [] {
    char folder[] = "/tmp/gifbenchXXXXXX";
    if (!mkdtemp(folder)) return std::string();
    const std::string dir = folder;
    Run("cd " + dir + " && convert rose: -resize 800x600! -colors 256 base.gif && for i in $(seq 10 69); do "
        "convert base.gif -roll +$((i*13))+$((i*7)) f$i.gif; done && gifsicle --no-warnings -O1 --colors 256 "
        "f*.gif > anim.gif");
    std::string gif = Run("cat " + dir + "/anim.gif");
    Run("rm -rf " + dir);
    return gif;
  }();
  return bytes;
}

struct MemoryInput {
  const std::string* bytes;
  size_t at;
};

int ReadMemory(GifFileType* file, GifByteType* out, int count) {
  auto* input = static_cast<MemoryInput*>(file->UserData);
  const size_t n = std::min(size_t(count), input->bytes->size() - input->at);
  std::memcpy(out, input->bytes->data() + input->at, n);
  input->at += n;
  return int(n);
}

void ReadOurs(benchmark::State& state, u32 flags) {
  SLRegisterImageClasses();
  const std::string& gif = Animation();
  CSLImageReaderGIF reader;
  for (auto _ : state) {
    CSLMemoryStorage storage;
    storage.AttachBuffer(const_cast<char*>(gif.data()), u32(gif.size()), false);
    CSLImageArray images;
    if (!reader.Read(&images, &storage, flags)) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(images.GetCount());
  }
}

void GifOurs(benchmark::State& state) { ReadOurs(state, 0); }
void GifOursFirstFrame(benchmark::State& state) { ReadOurs(state, SL_IMAGE_READ_FIRST_ONLY); }

void GifGiflib(benchmark::State& state) {
  const std::string& gif = Animation();
  for (auto _ : state) {
    MemoryInput input{&gif, 0};
    int error = 0;
    GifFileType* file = DGifOpen(&input, ReadMemory, &error);
    if (!file || DGifSlurp(file) != GIF_OK) state.SkipWithError("giflib failed");
    benchmark::DoNotOptimize(file ? file->ImageCount : 0);
    if (file) DGifCloseFile(file, &error);
  }
}

BENCHMARK(GifOurs)->Unit(benchmark::kMillisecond);
BENCHMARK(GifOursFirstFrame)->Unit(benchmark::kMillisecond);
BENCHMARK(GifGiflib)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  SLBenchRatioReporter reporter(std::vector<std::pair<std::string, std::string>>{{"GifOurs", "GifGiflib"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  return 0;
}
