// The MXIMG reader on a zlib-coded picture beside zlib's own `uncompress` of the same
// pixel rows: an 800 x 600 32-bit picture (gradients with noise, as painted interface
// pictures are), so the ratio is the reader's cost over the inflate it cannot avoid.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

#include "bench/BenchRatio.h"
#include "image/ImageClasses.h"
#include "image/readers/SLImageReaderMXIMG.h"
#include "storage/SLMemoryStorage.h"
#include "tools/mximgwrite/MximgWriter.h"

namespace {

constexpr u32 kWidth = 800;
constexpr u32 kHeight = 600;

struct Fixture {
  std::string file;                // the MXIMG file, zlib rows
  std::vector<u8> rows;            // the same pixels as plain rows
  std::vector<Bytef> compressed;   // the rows through compress2 at zlib's default level
};

const Fixture& GetFixture() {
  static const Fixture fixture = [] {
    SLRegisterImageClasses();
    Fixture made;
    CSLImage picture;
    picture.Create(5, kWidth, kHeight, false);
    std::mt19937 random(7);
    for (u32 y = 0; y < kHeight; ++y)
      for (u32 x = 0; x < kWidth; ++x) {
        u8* p = picture.GetPixelAddress(x, y);
        const u32 noise = random() & 7;
        p[0] = u8(x * 255 / kWidth + noise);
        p[1] = u8((x / 40 + y / 30) % 2 ? 190 : 60);
        p[2] = u8(y * 255 / kHeight);
        p[3] = 255;
      }
    mximg::WriteOptions options;
    options.depth = 32;
    options.encoding = mximg::kZlib;
    std::string error;
    if (!mximg::Write(picture, options, &made.file, &error)) std::abort();
    made.rows.resize(size_t(kWidth) * kHeight * 4);
    for (u32 y = 0; y < kHeight; ++y)
      std::memcpy(made.rows.data() + size_t(y) * kWidth * 4, picture.GetPixelAddress(0, y), kWidth * 4);
    uLongf size = compressBound(uLong(made.rows.size()));
    made.compressed.resize(size);
    if (compress2(made.compressed.data(), &size, made.rows.data(), uLong(made.rows.size()), Z_DEFAULT_COMPRESSION) !=
        Z_OK)
      std::abort();
    made.compressed.resize(size);
    return made;
  }();
  return fixture;
}

void MximgOurs(benchmark::State& state) {
  const Fixture& fixture = GetFixture();
  CSLImageReaderMXIMG reader;
  for (auto _ : state) {
    CSLMemoryStorage storage;
    storage.AttachBuffer(const_cast<char*>(fixture.file.data()), u32(fixture.file.size()), false);
    CSLImageArray images;
    if (!reader.Read(&images, &storage, 0)) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(images.GetCount());
  }
  state.SetBytesProcessed(i64(state.iterations()) * i64(fixture.rows.size()));
}

void MximgUncompress(benchmark::State& state) {
  const Fixture& fixture = GetFixture();
  std::vector<Bytef> out(fixture.rows.size());
  for (auto _ : state) {
    uLongf size = uLongf(out.size());
    if (uncompress(out.data(), &size, fixture.compressed.data(), uLong(fixture.compressed.size())) != Z_OK)
      state.SkipWithError("uncompress failed");
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(i64(state.iterations()) * i64(fixture.rows.size()));
}

BENCHMARK(MximgOurs)->Unit(benchmark::kMillisecond);
BENCHMARK(MximgUncompress)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  SLBenchRatioReporter reporter(std::vector<std::pair<std::string, std::string>>{{"MximgOurs", "MximgUncompress"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  return 0;
}
