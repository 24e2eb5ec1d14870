// The movie file writer: 600 pictures of 664 x 372 (40 s at 15 per second) and 40 s of
// 22,050 Hz stereo sound through WmvWriter, beside the ffmpeg program encoding the same
// raw pictures and sound with the same encoders (wmv2, wmav2) into the same container.
// Both encode the same work, so the ratio is the cost of the wrapper: pictures copied
// into samples, flipped and converted, sound resampled. Real-time factor = 40 s / time.
#include <sys/resource.h>
#include <unistd.h>

#include <cstdint>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "app/media/WmvWriter.h"
#include "bench/BenchRatio.h"

namespace {

double g_peerCpuMs = 0;  // ffmpeg's processor time per run
double g_oursCpuMs = 0;

constexpr u32 kWidth = 664, kHeight = 372, kPictures = 600, kRate = 22050, kSeconds = 40;

struct Inputs {
  std::vector<std::vector<uint8_t>> pictures;  // bottom-up BGR rows, as the export gives them
  std::vector<int16_t> sound;
  std::string dir;
  Inputs() {
    char pattern[] = "/tmp/wmvbenchXXXXXX";
    dir = mkdtemp(pattern) ? pattern : "/tmp";
    const u32 row = WmvWriter_RowBytes(kWidth);
    std::FILE* raw = std::fopen((dir + "/pictures.bgr").c_str(), "wb");
    for (u32 i = 0; i < kPictures; ++i) {
      std::vector<uint8_t> picture(std::size_t(row) * kHeight);
      for (u32 y = 0; y < kHeight; ++y)
        for (u32 x = 0; x < kWidth; ++x) {
          uint8_t* p = &picture[std::size_t(y) * row + x * 3];
          p[0] = uint8_t(x + i * 3), p[1] = uint8_t(y * 2 + i), p[2] = uint8_t((x ^ y) + i * 5);
        }
      // ffmpeg reads top-down rows without padding (664 x 3 is a multiple of 4).
      for (u32 y = kHeight; y-- > 0;) std::fwrite(&picture[std::size_t(y) * row], 1, kWidth * 3, raw);
      pictures.push_back(std::move(picture));
    }
    std::fclose(raw);
    sound.resize(std::size_t(kRate) * kSeconds * 2);
    for (std::size_t i = 0; i < sound.size(); ++i) sound[i] = int16_t((i * 37) % 20000 - 10000);
    std::FILE* pcm = std::fopen((dir + "/sound.pcm").c_str(), "wb");
    std::fwrite(sound.data(), 2, sound.size(), pcm);
    std::fclose(pcm);
  }
};
Inputs& TheInputs() {
  static Inputs inputs;
  return inputs;
}

void BM_WmvWriter(benchmark::State& state) {
  Inputs& in = TheInputs();
  const WmvWriterSettings settings = {kWidth, kHeight, 15, 0, 100.0, kRate, 2, 16, 0};
  std::clock_t cpu = std::clock();
  for (auto _ : state) {
    WmvWriter writer;
    WmvWriter_Init(&writer);
    if (WmvWriter_Open(&writer, (in.dir + "/ours.wmv").c_str(), &settings) != 0) state.SkipWithError("open");
    for (u32 s = 0; s < kSeconds; ++s) {
      WmvWriter_WriteAudioSamples(&writer, &in.sound[std::size_t(s) * kRate * 2], kRate);
      for (u32 p = 0; p < 15; ++p) WmvWriter_WriteVideoFrame(&writer, in.pictures[s * 15 + p].data());
    }
    if (WmvWriter_Finish(&writer) != 0) state.SkipWithError("finish");
    WmvWriter_Destroy(&writer);
  }
  g_oursCpuMs = double(std::clock() - cpu) * 1e3 / CLOCKS_PER_SEC / double(state.iterations());
}

void BM_FfmpegProgram(benchmark::State& state) {
  Inputs& in = TheInputs();
  const std::string command = "ffmpeg -v error -y -f rawvideo -pix_fmt bgr24 -s 664x372 -r 15 -i " + in.dir +
                              "/pictures.bgr -f s16le -ar 22050 -ac 2 -i " + in.dir +
                              "/sound.pcm -c:v wmv2 -b:v 1482045 -g 60 -c:a wmav2 -ar 44100 -b:a 160016 " +
                              "-threads 1 -fflags +bitexact " + in.dir + "/peer.wmv";
  // The program's processor time is its own: read from the children's usage, so that the
  // two can be compared on a busy machine too.
  double childSeconds = 0;
  for (auto _ : state) {
    rusage before{}, after{};
    getrusage(RUSAGE_CHILDREN, &before);
    if (std::system(command.c_str()) != 0) state.SkipWithError("ffmpeg");
    getrusage(RUSAGE_CHILDREN, &after);
    auto seconds = [](const rusage& u) {
      return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
    };
    childSeconds += seconds(after) - seconds(before);
  }
  g_peerCpuMs = childSeconds * 1e3 / double(state.iterations());
}

}  // namespace

BENCHMARK(BM_WmvWriter)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_FfmpegProgram)->Unit(benchmark::kMillisecond)->Iterations(3);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  TheInputs();
  SLBenchRatioReporter reporter(std::vector<std::pair<std::string, std::string>>{{"BM_WmvWriter", "BM_FfmpegProgram"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const double ours = reporter.GetTime("BM_WmvWriter");
  if (ours > 0) std::printf("real-time factor of WmvWriter: %.1fx\n", kSeconds * 1e3 / ours);
  if (g_peerCpuMs > 0)
    std::printf("processor time: WmvWriter %.0f ms / ffmpeg %.0f ms = %.3f\n", g_oursCpuMs, g_peerCpuMs,
                g_oursCpuMs / g_peerCpuMs);
  std::system(("rm -rf " + TheInputs().dir).c_str());
  return 0;
}
