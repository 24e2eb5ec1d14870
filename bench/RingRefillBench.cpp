// One refill of the movie player's sound ring: the reader's ReadAudio of a tenth of a
// second and its copy into a locked block of a streaming sound, as the player thread does
// on every block the voice leaves. Per reader (WAV, MXV with PCM, MXV with Vorbis, MP3, AVI
// with IMA ADPCM through the platform's converter; the last two made by the ffmpeg command), each
// iteration refills the next block of a 12-second sound; the counters give the median and
// the 99th percentile of a refill as a fraction of the 100 ms the block lasts (goal: below 0.1).
// After the table, each reader's 99th percentile over its repetitions is printed as a ratio
// to the block's 100 ms, in the shape of the other programs' ratios:
//   Refill/<reader>/p99 / block_100ms = 0.012  [0.010 .. 0.015] x3
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "bench/BenchRatio.h"
#include "media/MediaClasses.h"
#include "media/SLVideoAudioReaderMXV.h"
#include "media/SLVideoAudioReaderWAV.h"
#include "media/avi/SLVideoAudioReaderAVI.h"
#include "media/mpeg/SLVideoAudioReaderMP3.h"
#include "storage/SLFileStorage.h"
#include "tests/support/MoviePlayerFakes.h"

namespace {

constexpr u32 kRate = 22050, kBlock = kRate / 10, kSeconds = 12;

// Writes the 12-second mono 16-bit sound of one kind into `path`.
bool WriteSound(int kind, const std::string& path) {
  if (kind == 0) return SLTestWriteWav(path, 16, 1, kRate, u64(kRate) * kSeconds), true;
  if (kind >= 3) {
    const std::string wav = path + ".wav";
    SLTestWriteWav(wav, 16, 1, kRate, u64(kRate) * kSeconds);
    const std::string encode = kind == 3 ? " -c:a libmp3lame -b:a 64k -f mp3 '" + path + "'"
                                         : " -f lavfi -i color=c=blue:s=64x48:r=10 -shortest -c:v mjpeg -c:a adpcm_ima_wav '" +
                                               path + "'";
    return std::system(("ffmpeg -loglevel error -y -i '" + wav + "'" + encode).c_str()) == 0;
  }
  slmxv::MxvWriter writer;
  slmxv::AudioSettings audio;
  audio.codec = kind == 1 ? 1 : 2;
  std::vector<int16_t> samples(size_t(kRate) * kSeconds);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = int16_t(8000 * ((i / 50) % 2 ? 1 : -1) + i % 977);
  std::string error;
  return writer.Create(path, 2, nullptr, &audio, &error) && writer.SetAudio(samples.data(), samples.size(), &error) &&
         writer.Finish(&error);
}

void Refill(benchmark::State& state) {
  const int kind = int(state.range(0));
  char folder[] = "/tmp/slringbenchXXXXXX";
  if (!mkdtemp(folder)) return state.SkipWithError("no temporary folder");
  static const char* const kNames[] = {"/sound.wav", "/sound.mxv", "/sound.mxv", "/sound.mp3", "/sound.avi"};
  const std::string path = std::string(folder) + kNames[kind];
  SLRegisterMediaClasses();
  CFakeSfx sfx;
  CSLBaseVideoAudioReader* reader = nullptr;
  if (kind == 0)
    reader = new CSLVideoAudioReaderWAV;
  else if (kind <= 2)
    reader = new CSLVideoAudioReaderMXV;
  else if (kind == 3)
    reader = new CSLVideoAudioReaderMP3;
  else
    reader = new CSLVideoAudioReaderAVI;
  const u32 stream = kind == 4 ? 1 : 0;  // the AVI's sound follows its picture stream
  SLAudioFormat format{};
  SL_GS_SoundRecord* ring = nullptr;
  if (!WriteSound(kind, path) || !reader->OpenFile(path.c_str(), 0) || !reader->GetAudioFormat(stream, &format) ||
      !reader->StartStream(stream) || !(ring = sfx.CreateSound(50 * kBlock, &format, 1))) {
    state.SkipWithError("the sound did not open");
    reader->Release();
    return;
  }
  std::vector<double> seconds;
  u64 block = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const void* samples = nullptr;
    u32 got = 0;
    void *first = nullptr, *second = nullptr;
    u32 firstFrames = 0, secondFrames = 0;
    const u64 position = block * kBlock % (u64(kRate) * kSeconds);
    reader->ReadAudio(stream, position, kBlock, &samples, &got);
    sfx.Lock(&first, &firstFrames, &second, &secondFrames, ring, u32(block % 50 * kBlock), kBlock);
    std::memcpy(first, samples, size_t(got) * format.blockAlign);
    std::memset(static_cast<u8*>(first) + size_t(got) * format.blockAlign, 0, size_t(kBlock - got) * format.blockAlign);
    sfx.Unlock(ring);
    seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    ++block;
  }
  std::sort(seconds.begin(), seconds.end());
  state.counters["median_of_block"] = seconds[seconds.size() / 2] / 0.1;
  state.counters["p99_of_block"] = seconds[seconds.size() * 99 / 100] / 0.1;
  reader->Release();
  std::system(("rm -rf '" + std::string(folder) + "'").c_str());
}

BENCHMARK(Refill)->ArgName("wav0_mxvpcm1_vorbis2_mp3_3_avi4")->Arg(0)->Arg(1)->Arg(2)->Arg(3)->Arg(4);

// Keeps each reader's 99th percentile from every run the table shows (not from the runs
// that only find the iteration count).
class PercentileReporter : public benchmark::ConsoleReporter {
 public:
  static constexpr int kReaders = 5;
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      const auto p99 = run.counters.find("p99_of_block");
      const std::string name = run.benchmark_name();
      const size_t colon = name.rfind(':');
      const int kind = colon == std::string::npos ? -1 : std::atoi(name.c_str() + colon + 1);
      if (p99 != run.counters.end() && kind >= 0 && kind < kReaders) m_p99[kind].push_back(p99->second.value);
    }
  }
  // Each reader's 99th percentile as a ratio to the block's 100 ms ("none" for a reader
  // whose sound did not open).
  void Finalize() override {
    ConsoleReporter::Finalize();
    static const char* const kNames[kReaders] = {"wav", "mxv_pcm", "mxv_vorbis", "mp3", "avi_adpcm"};
    for (int kind = 0; kind < kReaders; ++kind) {
      const std::vector<double>& p99 = m_p99[kind];
      SLBenchRatio ratio;
      if (!p99.empty()) {
        ratio.valid = true;
        ratio.median = SLBenchMedian(p99);
        ratio.low = *std::min_element(p99.begin(), p99.end());
        ratio.high = *std::max_element(p99.begin(), p99.end());
        ratio.rounds = p99.size() > 1 ? p99.size() : 0;
      }
      SLBenchPrintRatio(std::string("Refill/") + kNames[kind] + "/p99", "block_100ms", ratio);
    }
  }

 private:
  std::vector<double> m_p99[kReaders];
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  PercentileReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
