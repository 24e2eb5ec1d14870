// The PNG reader on 1600x1200 pictures (colour, colour with alpha, interlaced) beside
// libpng's png_read_image with the same transformations on the same bytes. Prints the ratios.
#include <benchmark/benchmark.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/BenchRatio.h"
#include "foundation/SLMemory.h"
#include "image/ImageClasses.h"
#include "image/readers/SLImageReaderPNG.h"
#include "storage/SLMemoryStorage.h"

namespace {

const char* const kKinds[] = {"PNG24", "PNG32", "Interlaced"};

const std::string& Png(int kind) {
  static std::string files[3];
  std::string& data = files[kind];
  if (!data.empty()) return data;
  const std::string command = std::string("convert rose: -resize 1600x1200! ") +
                              (kind == 1 ? "-alpha set -channel A -fx 'i/w' +channel PNG32:-"
                               : kind == 2 ? "-interlace PNG PNG24:-"
                                           : "PNG24:-");
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return data;
  char buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) data.append(buffer, n);
  pclose(pipe);
  return data;
}

struct Cursor {
  const std::string* bytes;
  size_t at;
};

void ReadFromMemory(png_structp png, png_bytep out, size_t length) {
  Cursor* cursor = static_cast<Cursor*>(png_get_io_ptr(png));
  if (cursor->bytes->size() - cursor->at < length) png_error(png, "short");
  memcpy(out, cursor->bytes->data() + cursor->at, length);
  cursor->at += length;
}

// Each decode gets a fresh pixel buffer, as each read gets a fresh image: from malloc, or
// from the framework allocator as the image has it, so that the allocators' handling of
// large blocks shows apart from the decoding.
template <bool frameworkBuffer>
void Libpng(benchmark::State& state, int kind) {
  std::vector<png_bytep> rows;
  for (auto _ : state) {
    Cursor cursor{&Png(kind), 0};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    // Decoding these pictures never fails; the jump target is libpng's requirement.
    if (setjmp(png_jmpbuf(png))) {
      state.SkipWithError("libpng failed");
      png_destroy_read_struct(&png, &info, nullptr);
      break;
    }
    png_set_read_fn(png, &cursor, ReadFromMemory);
    png_read_info(png, info);
    png_set_bgr(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const size_t rowBytes = png_get_rowbytes(png, info), height = png_get_image_height(png, info);
    u8* pixels = static_cast<u8*>(frameworkBuffer ? SLAlloc(u32(rowBytes * height)) : malloc(rowBytes * height));
    rows.resize(height);
    for (size_t y = 0; y < height; ++y) rows[y] = pixels + y * rowBytes;
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    benchmark::DoNotOptimize(pixels);
    if (frameworkBuffer) SLFree(pixels);
    else free(pixels);
  }
}

void Own(benchmark::State& state, int kind) {
  CSLImageReaderPNG reader;
  CSLMemoryStorage storage;
  storage.AttachBuffer(const_cast<char*>(Png(kind).data()), u32(Png(kind).size()), false);
  for (auto _ : state) {
    CSLImageArray images;
    storage.Seek(0, SL_SEEK_BEGIN);
    if (!reader.Read(&images, &storage, 0)) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(images[0]->GetPixels());
  }
}

}  // namespace

int main(int argc, char** argv) {
  SLRegisterImageClasses();
  benchmark::Initialize(&argc, argv);
  std::vector<std::pair<std::string, std::string>> pairs;
  for (int kind = 0; kind < 3; ++kind) {
    if (Png(kind).empty()) {
      std::fprintf(stderr, "needs ImageMagick's convert to make the pictures\n");
      return 1;
    }
    const std::string suffix = std::string("/") + kKinds[kind];
    benchmark::RegisterBenchmark(("Libpng" + suffix).c_str(), Libpng<false>, kind)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("LibpngFrameworkBuffer" + suffix).c_str(), Libpng<true>, kind)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("Own" + suffix).c_str(), Own, kind)->Unit(benchmark::kMillisecond);
    pairs.emplace_back("Own" + suffix, "Libpng" + suffix);
    pairs.emplace_back("Own" + suffix, "LibpngFrameworkBuffer" + suffix);
  }
  SLBenchRatioReporter reporter(pairs);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
