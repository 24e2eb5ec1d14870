// MXV pictures: 300 frames of 640x480 block-delta video (a moving gradient with a moving
// square; key frames every 8, change maps between) decoded by the reader, against the floor
// of zlib's inflate of the same streams plus a memcpy of their blocks; codec 2 (LZW)
// against the same floor; and the Theora colour conversion against libswscale's YUV420P to
// BGR24 on the same planes. Prints the times and their ratios.
#include <benchmark/benchmark.h>
#include <zlib.h>

extern "C" {
#include <libswscale/swscale.h>
}

#include <cstring>

#include "bench/BenchRatio.h"
#include "bench/MxvBenchFiles.h"
#include "media/SLMxvInternal.h"

namespace {

using SLMxvBench::Bytes;
constexpr uint32_t kWidth = 640, kHeight = 480, kFrames = 300;

Bytes Picture(uint32_t frame) {
  Bytes bgr(size_t(kWidth) * kHeight * 3);
  for (uint32_t y = 0; y < kHeight; ++y)
    for (uint32_t x = 0; x < kWidth; ++x) {
      uint8_t* p = &bgr[(size_t(y) * kWidth + x) * 3];
      const bool square = x - frame * 2 < 96 && y - frame < 96;
      p[0] = square ? 255 : uint8_t(x + frame / 4);
      p[1] = square ? 40 : uint8_t(y);
      p[2] = square ? 40 : uint8_t((x ^ y) >> 2);
    }
  return bgr;
}

Bytes& Movie(uint32_t codec) {
  static std::map<uint32_t, Bytes> movies;
  Bytes& movie = movies[codec];
  if (movie.empty())
    movie = SLMxvBench::MakeMovie([codec](slmxv::MxvWriter* writer, const char* path, std::string* error) {
      slmxv::VideoSettings video;
      video.codec = codec;
      video.width = kWidth;
      video.height = kHeight;
      if (!writer->Create(path, 2, &video, nullptr, error)) return false;
      for (uint32_t f = 0; f < kFrames; ++f)
        if (!writer->AddFrame(Picture(f).data(), error)) return false;
      return true;
    });
  return movie;
}

void ReadAll(benchmark::State& state, uint32_t codec) {
  CSLVideoAudioReaderMXV* reader = SLMxvBench::OpenReader(Movie(codec));
  reader->StartStream(0);
  for (auto _ : state)
    for (uint32_t f = 0; f < kFrames; ++f) {
      const void* picture = nullptr;
      if (!reader->GetVideoFrame(0, f, &picture, nullptr)) state.SkipWithError("decode failed");
      benchmark::DoNotOptimize(picture);
    }
  reader->Release();
}

void MxvDeflate(benchmark::State& state) { ReadAll(state, 1); }
void MxvLzw(benchmark::State& state) { ReadAll(state, 2); }

// The floor: each stored frame inflated by zlib, then its blocks copied in one go.
void ZlibInflateAndCopy(benchmark::State& state) {
  const Bytes& file = Movie(1);
  auto chunks = SLMxvBench::Chunks(file);
  const size_t table = chunks["VTBL"].first;
  Bytes work(size_t(kWidth) * kHeight * 3 + 4096), picture(work.size());
  for (auto _ : state)
    for (uint32_t f = 0; f < kFrames; ++f) {
      const size_t offset = size_t(SLLoadLE64(&file[table + 28 * f])), size = size_t(SLLoadLE64(&file[table + 28 * f + 8]));
      if (size == 0) continue;
      uLongf produced = work.size();
      uncompress(work.data(), &produced, &file[offset], size);
      std::memcpy(picture.data(), work.data(), produced);
      benchmark::DoNotOptimize(picture.data());
    }
}

struct Planes {
  Bytes y, u, v;
  Planes() : y(size_t(kWidth) * kHeight), u(y.size() / 4), v(y.size() / 4) {
    for (size_t i = 0; i < y.size(); ++i) y[i] = uint8_t(16 + (i * 7 + i / kWidth) % 220);
    for (size_t i = 0; i < u.size(); ++i) u[i] = uint8_t(16 + (i * 3) % 224), v[i] = uint8_t(240 - (i * 5) % 224);
  }
};

void TheoraConversion(benchmark::State& state) {
  static const Planes planes;
  SLInternals::SLMxvColourTables tables;
  SLInternals::SLMxvBuildColourTables(&tables);
  Bytes out(size_t(kWidth) * kHeight * 3);
  for (auto _ : state) {
    SLInternals::SLMxvConvertYuv420(tables, planes.y.data(), kWidth, planes.u.data(), planes.v.data(), kWidth / 2,
                                    kWidth, kHeight, out.data(), kWidth * 3);
    benchmark::DoNotOptimize(out.data());
  }
}

void SwscaleConversion(benchmark::State& state) {
  static const Planes planes;
  SwsContext* context = sws_getContext(kWidth, kHeight, AV_PIX_FMT_YUV420P, kWidth, kHeight, AV_PIX_FMT_BGR24,
                                       SWS_BILINEAR, nullptr, nullptr, nullptr);
  Bytes out(size_t(kWidth) * kHeight * 3);
  const uint8_t* source[3] = {planes.y.data(), planes.u.data(), planes.v.data()};
  const int sourceStrides[3] = {int(kWidth), int(kWidth / 2), int(kWidth / 2)};
  uint8_t* target[1] = {out.data()};
  const int targetStride[1] = {int(kWidth * 3)};
  for (auto _ : state) {
    sws_scale(context, source, sourceStrides, 0, kHeight, target, targetStride);
    benchmark::DoNotOptimize(out.data());
  }
  sws_freeContext(context);
}

BENCHMARK(MxvDeflate)->Unit(benchmark::kMillisecond);
BENCHMARK(MxvLzw)->Unit(benchmark::kMillisecond);
BENCHMARK(ZlibInflateAndCopy)->Unit(benchmark::kMillisecond);
BENCHMARK(TheoraConversion)->Unit(benchmark::kMicrosecond);
BENCHMARK(SwscaleConversion)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  SLBenchRatioReporter reporter({{"MxvDeflate", "ZlibInflateAndCopy"},
                                 {"MxvLzw", "ZlibInflateAndCopy"},
                                 {"TheoraConversion", "SwscaleConversion"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
