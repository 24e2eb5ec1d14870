// Reduction of an 800x600 photo to 256 colours, with and without error diffusion, beside
// libjpeg's two-pass quantizer on the same pixels. libjpeg only quantizes while decoding,
// so its quantizer's time is a quantizing decode minus a plain decode of the same JPEG,
// both measured in this run. Prints the ratio of ours to libjpeg's quantizer.
#include <benchmark/benchmark.h>
#include <stdio.h>
// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/BenchRatio.h"
#include "image/ImageClasses.h"
#include "image/SLImage.h"

namespace {

// The photo as a JPEG, made by ImageMagick and cjpeg.
const std::string& Jpeg() {
  static const std::string jpeg = [] {
    std::string data;
    FILE* pipe = popen("convert rose: -resize 800x600! ppm:- | cjpeg -quality 95", "r");
    if (!pipe) return data;
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) data.append(buffer, n);
    pclose(pipe);
    return data;
  }();
  return jpeg;
}

// Decodes the JPEG, quantizing to 256 colours when asked; returns the output rows.
std::vector<u8> Decode(bool quantize, bool dither, u32* width, u32* height) {
  jpeg_decompress_struct info;
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(Jpeg().data()), Jpeg().size());
  jpeg_read_header(&info, TRUE);
  if (quantize) {
    info.quantize_colors = TRUE;
    info.desired_number_of_colors = 256;
    info.two_pass_quantize = TRUE;
    info.dither_mode = dither ? JDITHER_FS : JDITHER_NONE;
  }
  jpeg_start_decompress(&info);
  const size_t rowBytes = size_t(info.output_width) * info.output_components;
  std::vector<u8> pixels(rowBytes * info.output_height);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = pixels.data() + rowBytes * info.output_scanline;
    jpeg_read_scanlines(&info, &row, 1);
  }
  *width = info.output_width;
  *height = info.output_height;
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return pixels;
}

void LibjpegPlainDecode(benchmark::State& state) {
  u32 width, height;
  for (auto _ : state) benchmark::DoNotOptimize(Decode(false, false, &width, &height));
}

void LibjpegQuantizingDecode(benchmark::State& state, bool dither) {
  u32 width, height;
  for (auto _ : state) benchmark::DoNotOptimize(Decode(true, dither, &width, &height));
}

void Own(benchmark::State& state, bool dither) {
  u32 width, height;
  const std::vector<u8> rgb = Decode(false, false, &width, &height);
  CSLImage photo, image;
  photo.Create(2, width, height, false);
  for (u32 y = 0; y < height; ++y) memcpy(photo.GetPixelAddress(0, y), &rgb[size_t(y) * width * 3], width * 3);
  for (auto _ : state) {
    state.PauseTiming();
    photo.CopyTo(&image);
    state.ResumeTiming();
    image.ConvertFormat(1, dither ? 0x100 : 0);
  }
}

// Ours beside libjpeg's quantizer alone: per round, the quantizing decode less the plain
// decode of the same round (so that the rounds pair as the other programs' do), printed as
// "Own/<kind> / LibjpegQuantizer/<kind>".
void PrintRatios(const SLBenchRatioReporter& reporter) {
  const std::vector<double> plain = reporter.Times("LibjpegPlainDecode");
  for (const char* kind : {"NoDither", "Dither"}) {
    const std::vector<double> quantizing = reporter.Times(std::string("LibjpegQuantizingDecode/") + kind);
    std::vector<double> quantizer;
    if (quantizing.size() == plain.size()) {
      for (size_t i = 0; i < plain.size(); ++i) quantizer.push_back(quantizing[i] - plain[i]);
    } else {
      quantizer.push_back(SLBenchMedian(quantizing) - SLBenchMedian(plain));
    }
    SLBenchPrintRatio(std::string("Own/") + kind, std::string("LibjpegQuantizer/") + kind,
                      reporter.Times(std::string("Own/") + kind), quantizer);
  }
}

}  // namespace

int main(int argc, char** argv) {
  SLRegisterImageClasses();
  benchmark::Initialize(&argc, argv);
  if (Jpeg().empty()) {
    std::fprintf(stderr, "needs ImageMagick's convert and cjpeg to make the photo\n");
    return 1;
  }
  benchmark::RegisterBenchmark("LibjpegPlainDecode", LibjpegPlainDecode)->Unit(benchmark::kMillisecond);
  for (bool dither : {false, true}) {
    const std::string kind = dither ? "/Dither" : "/NoDither";
    benchmark::RegisterBenchmark(("LibjpegQuantizingDecode" + kind).c_str(), LibjpegQuantizingDecode, dither)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("Own" + kind).c_str(), Own, dither)->Unit(benchmark::kMillisecond);
  }
  SLBenchRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  PrintRatios(reporter);
  benchmark::Shutdown();
  return 0;
}
