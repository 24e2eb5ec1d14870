// MXV Vorbis sound: 30 s of 44,100 Hz stereo read by the reader in one-second blocks (each
// block re-feeds two packets of the one before), against a plain libvorbis decode of the
// same packets converted to the same 16-bit samples. Prints the times and their ratio.
#include <benchmark/benchmark.h>
#include <vorbis/codec.h>

#include <cmath>

#include "bench/BenchRatio.h"
#include "bench/MxvBenchFiles.h"

namespace {

using SLMxvBench::Bytes;
constexpr uint32_t kRate = 44100, kSeconds = 30;

Bytes& Movie() {
  static Bytes movie = SLMxvBench::MakeMovie([](slmxv::MxvWriter* writer, const char* path, std::string* error) {
    slmxv::AudioSettings audio;
    audio.codec = 2;
    audio.samplesPerSecond = kRate;
    audio.channels = 2;
    std::vector<int16_t> samples(size_t(kRate) * kSeconds * 2);
    uint32_t noise = 1;
    for (size_t i = 0; i < samples.size(); ++i) {
      noise = noise * 1664525u + 1013904223u;
      samples[i] = int16_t(8000 * std::sin(double(i / 2) * (i % 2 ? 0.031 : 0.047)) + int32_t(noise >> 20) - 2048);
    }
    return writer->Create(path, 2, nullptr, &audio, error) && writer->SetAudio(samples.data(), kRate * kSeconds, error);
  });
  return movie;
}

void MxvVorbisBlocks(benchmark::State& state) {
  CSLVideoAudioReaderMXV* reader = SLMxvBench::OpenReader(Movie());
  for (auto _ : state) {
    reader->StartStream(0);
    for (uint32_t second = 0; second < kSeconds; ++second) {
      const void* samples = nullptr;
      uint32_t got = 0;
      if (!reader->ReadAudio(0, uint64_t(second) * kRate, kRate, &samples, &got)) state.SkipWithError("read failed");
      benchmark::DoNotOptimize(samples);
    }
    reader->StopStream(0);
  }
  reader->Release();
}

void LibvorbisDecode(benchmark::State& state) {
  const Bytes& file = Movie();
  auto chunks = SLMxvBench::Chunks(file);
  // The header packets, then every packet once, in stream order.
  std::vector<std::pair<size_t, size_t>> headers, packets;
  for (size_t at = chunks["AHDR"].first; headers.size() < 3;) {
    const size_t length = size_t(SLLoadLE64(&file[at]));
    headers.emplace_back(at + 8, length);
    at += 8 + length;
  }
  std::map<uint64_t, std::pair<size_t, size_t>> unique;
  const auto [table, tableSize] = chunks["ATBL"];
  for (size_t e = 0; e < tableSize / 16; ++e) {
    const size_t offset = size_t(SLLoadLE64(&file[table + 16 * e])), size = size_t(SLLoadLE64(&file[table + 16 * e + 8]));
    for (size_t p = offset; p < offset + size;) {
      const size_t length = SLLoadLE32(&file[p]);
      unique.emplace(SLLoadLE64(&file[p + 16]), std::pair(p + 24, length));
      p += 24 + length;
    }
  }
  for (const auto& [number, where] : unique) packets.push_back(where);
  std::vector<int16_t> out(size_t(kRate) * 2);
  for (auto _ : state) {
    vorbis_info info;
    vorbis_comment comment;
    vorbis_info_init(&info);
    vorbis_comment_init(&comment);
    for (size_t i = 0; i < 3; ++i) {
      ogg_packet packet{const_cast<uint8_t*>(&file[headers[i].first]), long(headers[i].second), i == 0, 0, 0, 0};
      vorbis_synthesis_headerin(&info, &comment, &packet);
    }
    vorbis_dsp_state dsp;
    vorbis_block block;
    vorbis_synthesis_init(&dsp, &info);
    vorbis_block_init(&dsp, &block);
    for (const auto& [offset, length] : packets) {
      ogg_packet packet{const_cast<uint8_t*>(&file[offset]), long(length), 0, 0, -1, 0};
      if (vorbis_synthesis(&block, &packet) == 0) vorbis_synthesis_blockin(&dsp, &block);
      float** pcm;
      for (int n; (n = vorbis_synthesis_pcmout(&dsp, &pcm)) > 0; vorbis_synthesis_read(&dsp, n)) {
        const int frames = std::min(n, int(kRate));
        for (int i = 0; i < frames; ++i)
          for (int c = 0; c < 2; ++c)
            out[2 * i + c] = int16_t(std::clamp(double(pcm[c][i]) * 32767.0, -32767.0, 32767.0));
        benchmark::DoNotOptimize(out.data());
      }
    }
    vorbis_block_clear(&block);
    vorbis_dsp_clear(&dsp);
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
  }
}

BENCHMARK(MxvVorbisBlocks)->Unit(benchmark::kMillisecond);
BENCHMARK(LibvorbisDecode)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  SLBenchRatioReporter reporter(std::vector<std::pair<std::string, std::string>>{{"MxvVorbisBlocks", "LibvorbisDecode"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
