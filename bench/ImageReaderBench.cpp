// The TGA, BMP and PSD readers beside a peer reading the same bytes: a 664x372 32-bit RLE
// stage foreground (a photo over a transparent sky) and an 800x600 RGBA PackBits PSD beside
// stb_image's stbi_load_from_memory, and an 800x600 24-bit screenshot beside SDL's
// SDL_LoadBMP_RW, which gives the same pixels as ours (the stored B, G, R rows, top row
// first; checked before anything is timed). stb_image also turns every BMP pixel to R, G,
// B, work ours leaves to whoever needs it, so it stays beside ours without a goal. Our readers read through a fragment
// storage over a memory storage, as pictures inside a data pack are read. Prints the
// ratio of our time to the peer's for each.
#include <SDL.h>
#include <benchmark/benchmark.h>
#include <stb_image.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/BenchRatio.h"
#include "image/ImageClasses.h"
#include "image/readers/SLImageReaderBMP.h"
#include "image/readers/SLImageReaderPSD.h"
#include "image/readers/SLImageReaderTGA.h"
#include "image/writers/SLImageWriterBMP.h"
#include "image/writers/SLImageWriterTGA.h"
#include "storage/SLFragmentStorage.h"
#include "storage/SLMemoryStorage.h"

namespace {

// ImageMagick's rose photo at the given size, as R, G, B rows.
std::string Photo(u32 width, u32 height) {
  std::string rgb;
  const std::string command = "convert rose: -resize " + std::to_string(width) + "x" + std::to_string(height) +
                              "! -depth 8 rgb:-";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return rgb;
  char buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) rgb.append(buffer, n);
  pclose(pipe);
  rgb.resize(size_t(width) * height * 3);
  return rgb;
}

// A format-5 image of the photo; `alpha` gives each pixel's alpha from its position.
template <class Alpha>
void MakeImage(CSLImage* image, u32 width, u32 height, Alpha alpha) {
  const std::string rgb = Photo(width, height);
  image->Create(5, width, height, false);
  for (u32 y = 0; y < height; ++y)
    for (u32 x = 0; x < width; ++x) {
      const u8* in = reinterpret_cast<const u8*>(rgb.data()) + (size_t(y) * width + x) * 3;
      u8* out = image->GetPixelAddress(x, y);
      const u8 a = alpha(x, y);
      out[0] = a ? in[2] : 0, out[1] = a ? in[1] : 0, out[2] = a ? in[0] : 0, out[3] = a;
    }
}

std::string Written(CSLBaseImageWriter& writer, CSLImage* image) {
  CSLImageArray images;
  images.Add(image);
  CSLMemoryStorage storage;
  writer.Write(&images, &storage);
  u64 size = 0;
  storage.GetSize(&size);
  std::string bytes(size, '\0');
  storage.Seek(0, SL_SEEK_BEGIN);
  storage.Read(bytes.data(), size);
  return bytes;
}

// PackBits of one row, as image editors write it.
void PackRow(const u8* row, u32 width, std::string* out) {
  for (u32 x = 0; x < width;) {
    u32 run = 1;
    while (x + run < width && run < 128 && row[x + run] == row[x]) ++run;
    if (run >= 3) {
      *out += char(257 - run), *out += char(row[x]);
      x += run;
      continue;
    }
    u32 start = x;
    while (x < width && x - start < 128 && !(x + 2 < width && row[x] == row[x + 1] && row[x] == row[x + 2])) ++x;
    *out += char(x - start - 1);
    out->append(reinterpret_cast<const char*>(row + start), x - start);
  }
}

std::string PackedPsd(const CSLImage& image) {
  const u32 w = image.GetWidth(), h = image.GetHeight();
  auto be = [](u32 v, int bytes) {
    std::string s;
    for (int i = bytes - 1; i >= 0; --i) s += char(v >> (8 * i));
    return s;
  };
  std::string psd = "8BPS" + be(1, 2) + std::string(6, '\0') + be(4, 2) + be(h, 4) + be(w, 4) + be(8, 2) + be(3, 2);
  psd += be(0, 4) + be(0, 4) + be(0, 4) + be(1, 2);
  std::string counts, planes;
  std::vector<u8> row(w);
  for (u32 c = 0; c < 4; ++c)
    for (u32 y = 0; y < h; ++y) {
      const u8* pixels = image.GetPixelAddress(0, y);
      for (u32 x = 0; x < w; ++x) row[x] = pixels[x * 4 + (c == 3 ? 3 : 2 - c)];
      const size_t before = planes.size();
      PackRow(row.data(), w, &planes);
      counts += be(u32(planes.size() - before), 2);
    }
  return psd + counts + planes;
}

struct Files {
  std::string tga, bmp, psd;
  Files() {
    SLRegisterImageClasses();
    CSLImage stage, screen, layer;
    // The stage foreground: the lower third painted, the sky transparent.
    MakeImage(&stage, 664, 372, [](u32, u32 y) { return u8(y > 248 ? 255 : 0); });
    CSLImageWriterTGA tgaWriter;
    tgaWriter.m_rle = 1;
    tga = Written(tgaWriter, &stage);
    MakeImage(&screen, 800, 600, [](u32, u32) { return u8(255); });
    screen.ConvertFormat(3);
    CSLImageWriterBMP bmpWriter;
    bmp = Written(bmpWriter, &screen);
    MakeImage(&layer, 800, 600, [](u32 x, u32 y) { return u8(x < 100 || y < 80 ? 0 : 255); });
    psd = PackedPsd(layer);
  }
};

const Files& TheFiles() {
  static const Files files;
  return files;
}

template <class Reader>
void Ours(benchmark::State& state, const std::string& bytes) {
  CSLMemoryStorage memory;
  memory.AttachBuffer(const_cast<char*>(bytes.data()), u32(bytes.size()), false);
  CSLFragmentStorage fragment;
  fragment.AttachContainer(&memory);
  fragment.SetWindow(0, bytes.size());
  Reader reader;
  CSLImageArray images;
  for (auto _ : state) {
    fragment.Seek(0, SL_SEEK_BEGIN);
    if (!reader.Read(&images, &fragment, 0)) {
      state.SkipWithError("read failed");
      break;
    }
    benchmark::DoNotOptimize(images[0]->GetPixels());
  }
  fragment.AttachContainer(nullptr);
}

void Stb(benchmark::State& state, const std::string& bytes) {
  for (auto _ : state) {
    int w = 0, h = 0, n = 0;
    stbi_uc* pixels = stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(bytes.data()), int(bytes.size()), &w, &h,
                                            &n, 0);
    if (!pixels) state.SkipWithError("stb_image failed");
    benchmark::DoNotOptimize(pixels);
    stbi_image_free(pixels);
  }
}

SDL_Surface* LoadWithSdl(const std::string& bytes) {
  return SDL_LoadBMP_RW(SDL_RWFromConstMem(bytes.data(), int(bytes.size())), 1);
}

void Sdl(benchmark::State& state, const std::string& bytes) {
  for (auto _ : state) {
    SDL_Surface* surface = LoadWithSdl(bytes);
    if (!surface) {
      state.SkipWithError("SDL_LoadBMP_RW failed");
      break;
    }
    benchmark::DoNotOptimize(surface->pixels);
    SDL_FreeSurface(surface);
  }
}

// Whether our reader and SDL's give the BMP the same size, channel order and rows: the
// BMP pair compares like with like only then.
bool BmpOutputsEqual() {
  const std::string& bytes = TheFiles().bmp;
  CSLMemoryStorage memory;
  memory.AttachBuffer(const_cast<char*>(bytes.data()), u32(bytes.size()), false);
  CSLImageReaderBMP reader;
  CSLImageArray images;
  const bool read = reader.Read(&images, &memory, 0);
  SDL_Surface* surface = LoadWithSdl(bytes);
  bool equal = read && surface && images[0]->GetFormat() == SL_IMAGE_FORMAT_BGR &&
               surface->format->format == SDL_PIXELFORMAT_BGR24 && u32(surface->w) == images[0]->GetWidth() &&
               u32(surface->h) == images[0]->GetHeight();
  for (u32 y = 0; equal && y < images[0]->GetHeight(); ++y)
    equal = std::memcmp(images[0]->GetPixelAddress(0, y), static_cast<const u8*>(surface->pixels) + size_t(y) * surface->pitch,
                        size_t(surface->w) * 3) == 0;
  SDL_FreeSurface(surface);
  return equal;
}

void TgaOurs(benchmark::State& s) { Ours<CSLImageReaderTGA>(s, TheFiles().tga); }
void TgaStb(benchmark::State& s) { Stb(s, TheFiles().tga); }
void BmpOurs(benchmark::State& s) { Ours<CSLImageReaderBMP>(s, TheFiles().bmp); }
void BmpStb(benchmark::State& s) { Stb(s, TheFiles().bmp); }
void BmpSdl(benchmark::State& s) { Sdl(s, TheFiles().bmp); }
void PsdOurs(benchmark::State& s) { Ours<CSLImageReaderPSD>(s, TheFiles().psd); }
void PsdStb(benchmark::State& s) { Stb(s, TheFiles().psd); }

BENCHMARK(TgaOurs);
BENCHMARK(TgaStb);
BENCHMARK(BmpOurs);
BENCHMARK(BmpStb);
BENCHMARK(BmpSdl);
BENCHMARK(PsdOurs);
BENCHMARK(PsdStb);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (!BmpOutputsEqual()) {
    std::fprintf(stderr, "ImageReaderBench: our BMP reader and SDL's give different pixels\n");
    return 1;
  }
  SLBenchRatioReporter reporter(
      {{"TgaOurs", "TgaStb"}, {"BmpOurs", "BmpSdl"}, {"BmpOurs", "BmpStb"}, {"PsdOurs", "PsdStb"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
