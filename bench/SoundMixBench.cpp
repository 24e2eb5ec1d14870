// The sound mixer beside SDL's own path for the same work: 32 voices (11,025, 22,050 and
// 44,100 Hz sources, mono and stereo, played at speeds 0.5 to 2.0 with their own volume
// and pan) mixed into 22,050 Hz stereo, 1,024 frames per run, as one callback of the
// device. SDL's path gives each voice an SDL_AudioStream converting it to the output
// rate and mixes the streams with SDL_MixAudioFormat (which has volume but no pan).
#include <SDL.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <vector>

#include "bench/BenchRatio.h"
#include "platform/dsound/Mixer.h"
#include "platform/kernel32/Modules.h"

namespace {

constexpr int kVoices = 32, kOutRate = 22050, kFrames = 1024;

struct Voice {
  int rate, channels;
  double speed;
  int volumePercent, pan;
  std::vector<std::int16_t> samples;  // two seconds
};

std::vector<Voice> MakeVoices() {
  const int rates[] = {11025, 22050, 44100};
  std::vector<Voice> voices;
  for (int i = 0; i < kVoices; ++i) {
    Voice v{rates[i % 3], 1 + (i / 3) % 2, 0.5 + 1.5 * i / (kVoices - 1), 40 + (i * 7) % 61, (i * 37) % 201 - 100, {}};
    const int frames = 2 * v.rate;
    v.samples.resize(std::size_t(frames) * v.channels);
    for (int f = 0; f < frames; ++f)
      for (int c = 0; c < v.channels; ++c)
        v.samples[std::size_t(f) * v.channels + c] =
            std::int16_t(6000 * std::sin(2 * std::numbers::pi * (220 + 40 * i + 30 * c) * f / v.rate));
    voices.push_back(std::move(v));
  }
  return voices;
}

// Our mixer through the "dsound.dll" interfaces: one looping secondary buffer per voice.
void Ours(benchmark::State& state) {
  const std::vector<Voice> voices = MakeVoices();
  SLPlatformSoundSetManualPull(true);
  HMODULE module = LoadLibraryA("dsound.dll");
  auto create = reinterpret_cast<SLDirectSoundCreate8Fn>(GetProcAddress(module, "DirectSoundCreate8"));
  IDirectSound8* sound = nullptr;
  if (!create || create(&DSDEVID_DefaultPlayback, &sound, nullptr) != DS_OK) {
    state.SkipWithError("no sound output");
    return;
  }
  std::vector<IDirectSoundBuffer8*> buffers;
  for (const Voice& v : voices) {
    const WORD align = WORD(2 * v.channels);
    WAVEFORMATEX format{WAVE_FORMAT_PCM, WORD(v.channels), DWORD(v.rate), DWORD(v.rate) * align, align, 16, 0};
    DSBUFFERDESC desc{sizeof(DSBUFFERDESC), 0x101E2, DWORD(v.samples.size() * 2), 0, &format, {}};
    IDirectSoundBuffer8* buffer = nullptr;
    sound->CreateSoundBuffer(&desc, &buffer, nullptr);
    void* region = nullptr;
    DWORD bytes = 0;
    buffer->Lock(0, desc.dwBufferBytes, &region, &bytes, nullptr, nullptr, 0);
    std::memcpy(region, v.samples.data(), bytes);
    buffer->Unlock(region, bytes, nullptr, 0);
    buffer->SetFrequency(DWORD(v.rate * v.speed));
    buffer->SetVolume(v.volumePercent == 100 ? 0 : -LONG(10000 - 5000 * std::log10(double(v.volumePercent))));
    buffer->SetPan(v.pan * 100);
    buffer->Play(0, 0, DSBPLAY_LOOPING);
    buffers.push_back(buffer);
  }
  std::vector<std::int16_t> mix(kFrames * 2);
  for (auto _ : state) {
    SLPlatformSoundPull(mix.data(), mix.size() * 2);
    benchmark::DoNotOptimize(mix.data());
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * kFrames);
  for (IDirectSoundBuffer8* buffer : buffers) buffer->Release();
  sound->Release();
  SLPlatformSoundSetManualPull(false);
}

void Sdl(benchmark::State& state) {
  const std::vector<Voice> voices = MakeVoices();
  struct Stream {
    SDL_AudioStream* stream;
    std::size_t at;  // next source frame to feed
  };
  std::vector<Stream> streams;
  for (const Voice& v : voices)
    streams.push_back({SDL_NewAudioStream(AUDIO_S16SYS, Uint8(v.channels), int(v.rate * v.speed), AUDIO_S16SYS, 2,
                                          kOutRate),
                       0});
  std::vector<std::int16_t> mix(kFrames * 2), voiceOut(kFrames * 2);
  const int outBytes = kFrames * 4;
  for (auto _ : state) {
    std::memset(mix.data(), 0, std::size_t(outBytes));
    for (std::size_t i = 0; i < voices.size(); ++i) {
      const Voice& v = voices[i];
      Stream& s = streams[i];
      const std::size_t length = v.samples.size() / v.channels;
      while (SDL_AudioStreamAvailable(s.stream) < outBytes) {
        const std::size_t frames = std::min<std::size_t>(512, length - s.at);
        SDL_AudioStreamPut(s.stream, v.samples.data() + s.at * v.channels, int(frames * v.channels * 2));
        s.at = (s.at + frames) % length;
      }
      SDL_AudioStreamGet(s.stream, voiceOut.data(), outBytes);
      SDL_MixAudioFormat(reinterpret_cast<Uint8*>(mix.data()), reinterpret_cast<const Uint8*>(voiceOut.data()),
                         AUDIO_S16SYS, Uint32(outBytes), v.volumePercent * SDL_MIX_MAXVOLUME / 100);
    }
    benchmark::DoNotOptimize(mix.data());
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * kFrames);
  for (Stream& s : streams) SDL_FreeAudioStream(s.stream);
}

BENCHMARK(Ours)->MinTime(1.0);
BENCHMARK(Sdl)->MinTime(1.0);

}  // namespace

int main(int argc, char** argv) {
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  benchmark::Initialize(&argc, argv);
  SLBenchRatioReporter reporter(std::vector<std::pair<std::string, std::string>>{{"Ours", "Sdl"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
