// One second of the export soundtrack: 60 Scene_MixAudioForFrame calls as the video export
// makes them (each frame's share of 22,050 frames plus 220) over ten element sounds of
// mixed rates and channel counts, beside libswresample doing the same work per source and
// frame (PCM to doubles, the mapping to stereo, the rate change, the sum) and beside
// libsamplerate's SRC_LINEAR for the rate change on samples already converted.
extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}
#include <benchmark/benchmark.h>
#include <samplerate.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "adventure/AdventureDevices.h"
#include "adventure/movie/ExportMix.h"
#include "adventure/movie/SceneRender.h"
#include "bench/BenchRatio.h"
#include "tests/support/MemoryGfxDevice.h"
#include "tests/support/MovieCatalog.h"
#include "tests/support/RecordingSfx.h"

namespace {

struct Source {
  u32 rate, channels, bits;
};
constexpr Source kSources[10] = {{11025, 1, 8},  {22050, 2, 16}, {44100, 2, 16}, {44100, 1, 16}, {32000, 2, 16},
                                 {48000, 2, 16}, {22050, 1, 8},  {16000, 1, 16}, {11025, 2, 16}, {8000, 1, 8}};

u32 Window(u32 k) { return (k + 1) * 22050 / 60 - k * 22050 / 60 + 220; }

struct World {
  World() {
    gfx.Init(nullptr, nullptr, nullptr);
    AdventureDevices_Set(&gfx, &sfx, nullptr);
    SL_GS_Image* frame = MovieCatalog::Solid(&gfx, 4, 4, 2, 4, 0xFF00FF00);
    Movie_Init(&movie);
    scene = Movie_AppendScene(&movie);
    scene->length = 600;
    for (u32 s = 0; s < 10; ++s) {
      const Source& source = kSources[s];
      const u32 align = source.channels * source.bits / 8, frames = source.rate * 10;
      const SLAudioFormat format{1, source.channels, source.bits, source.rate, source.rate * align, align};
      SL_GS_SoundRecord* sound = sfx.CreateSound(frames, &format, 3);
      std::vector<u8>& pcm = samples.emplace_back(size_t(frames) * align);
      for (u32 i = 0; i < frames; ++i)
        for (u32 c = 0; c < source.channels; ++c) {
          const double v = 0.3 * std::sin(2 * std::numbers::pi * (200 + 50 * s + c) * i / source.rate);
          u8* at = sound->samples + size_t(i) * align + c * source.bits / 8;
          if (source.bits == 8) *at = u8(128 + std::lround(v * 127));
          else {
            const i16 value = i16(std::lround(v * 32767));
            at[0] = u8(value), at[1] = u8(u16(value) >> 8);
          }
        }
      std::copy(sound->samples, sound->samples + pcm.size(), pcm.begin());
      MovieCatalog::ActionSpec action;
      action.frames[0] = {frame};
      action.sound = sound, action.soundLoops = 1;
      const i32 who = MovieCatalog::AddCharacter(("c" + std::to_string(s)).c_str(), false, {{"Normal", 0}}, {action});
      CharacterInstance* c = CharacterInstance_New();
      c->scene = scene, c->character = who, c->endFrame = 0xFFFFFFFF, c->x = 100 + i32(s) * 40, c->y = 200;
      List_Append(&scene->characters, &c->link);
      CharacterActionEntry* e = CharacterActionEntry_Append(c);
      e->startFrame = 0, e->endFrame = 600;
    }
  }
  CMemoryGfxDevice gfx;
  CRecordingSfx sfx;
  Movie movie;
  Scene* scene;
  std::vector<std::vector<u8>> samples;
};

World& TheWorld() {
  static World& world = *new World;  // never destroyed: the framework's singletons go first
  return world;
}

void Mix(benchmark::State& state) {
  World& world = TheWorld();
  CMovieExportMixer mixer;
  std::vector<i16> second((22050 + 220) * 2);
  u32 base = 0;
  for (auto _ : state) {
    for (u32 k = 0; k < 60; ++k)
      Scene_MixAudioForFrame(&mixer, world.scene, base + k, &second[size_t(k * 22050 / 60) * 2], Window(k));
    base = (base + 60) % 480;
    benchmark::DoNotOptimize(second.data());
  }
}

// The same per frame with libswresample: each source's window of two movie frames of
// sound converted to stereo doubles at 22,050 Hz, and the sum written as 16 bits.
void Swresample(benchmark::State& state) {
  World& world = TheWorld();
  std::vector<SwrContext*> contexts;
  for (const Source& s : kSources) {
    SwrContext* swr = nullptr;
    AVChannelLayout in, out = AV_CHANNEL_LAYOUT_STEREO;
    av_channel_layout_default(&in, int(s.channels));
    swr_alloc_set_opts2(&swr, &out, AV_SAMPLE_FMT_DBL, 22050, &in, s.bits == 8 ? AV_SAMPLE_FMT_U8 : AV_SAMPLE_FMT_S16,
                        int(s.rate), 0, nullptr);
    av_opt_set_int(swr, "filter_size", 1, 0);  // the nearest to linear interpolation it offers
    av_opt_set_int(swr, "linear_interp", 1, 0);
    swr_init(swr);
    contexts.push_back(swr);
  }
  std::vector<double> mix(22050 * 2), converted(30000 * 2);
  std::vector<i16> second((22050 + 220) * 2);
  u32 base = 0;
  for (auto _ : state) {
    for (u32 k = 0; k < 60; ++k) {
      const u32 n = Window(k), f = base + k;
      std::fill(mix.begin(), mix.begin() + n * 2, 0.0);
      for (u32 s = 0; s < 10; ++s) {
        const Source& source = kSources[s];
        const u32 align = source.channels * source.bits / 8, length = source.rate * 10;
        const u32 from = u32(u64(f) * source.rate / 60 % length), count = source.rate * n / 22050 + 220;
        const u8* in = world.samples[s].data() + size_t(std::min(from, length - count)) * align;
        u8* outPlanes[] = {reinterpret_cast<u8*>(converted.data())};
        const int got = swr_convert(contexts[s], outPlanes, 30000, &in, int(count));
        for (int i = 0; i < std::min<int>(got, int(n)) * 2; ++i) mix[size_t(i)] += converted[size_t(i)];
      }
      i16* out = &second[size_t(k * 22050 / 60) * 2];
      for (u32 i = 0; i < n * 2; ++i) out[i] = i16(std::clamp(mix[i], -1.0, 1.0) * 32767.0);
    }
    base = (base + 60) % 480;
    benchmark::DoNotOptimize(second.data());
  }
  for (SwrContext* swr : contexts) swr_free(&swr);
}

// libsamplerate's linear converter on the same windows, already as stereo floats: the rate
// change alone.
void SamplerateLinear(benchmark::State& state) {
  std::vector<std::vector<float>> stereo;
  for (const Source& s : kSources) {
    std::vector<float>& v = stereo.emplace_back(size_t(s.rate) * 2 * 2);
    for (size_t i = 0; i < v.size(); ++i) v[i] = float(0.3 * std::sin(double(i) * 0.01));
  }
  std::vector<float> out(30000 * 2);
  std::vector<double> mix(22050 * 2);
  for (auto _ : state) {
    for (u32 k = 0; k < 60; ++k) {
      const u32 n = Window(k);
      std::fill(mix.begin(), mix.begin() + n * 2, 0.0);
      for (u32 s = 0; s < 10; ++s) {
        SRC_DATA data{};
        data.data_in = stereo[s].data();
        data.input_frames = long(kSources[s].rate * n / 22050 + 220);
        data.data_out = out.data();
        data.output_frames = 30000;
        data.src_ratio = 22050.0 / kSources[s].rate;
        data.end_of_input = 1;
        src_simple(&data, SRC_LINEAR, 2);
        for (long i = 0; i < std::min<long>(data.output_frames_gen, n) * 2; ++i) mix[size_t(i)] += out[size_t(i)];
      }
    }
    benchmark::DoNotOptimize(mix.data());
  }
}

BENCHMARK(Mix)->Unit(benchmark::kMillisecond);
BENCHMARK(Swresample)->Unit(benchmark::kMillisecond);
BENCHMARK(SamplerateLinear)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  SLBenchRatioReporter reporter(
      std::vector<std::pair<std::string, std::string>>{{"Mix", "Swresample"}, {"Mix", "SamplerateLinear"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
