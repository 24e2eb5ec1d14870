// The JPEG reader on a 1600x1200 photo carrying an EXIF block, beside libjpeg-turbo's own
// decode as djpeg runs it (header, start, scan lines into one buffer) on the same bytes;
// and the EXIF block's Load beside libexif's exif_data_load_data. Prints both ratios.
#include <benchmark/benchmark.h>
#include <libexif/exif-data.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/BenchRatio.h"
#include "foundation/SLMemory.h"
#include "image/ImageClasses.h"
#include "image/readers/SLImageReaderJPG.h"
#include "storage/SLMemoryStorage.h"
#include "tests/image/ExifBlocks.h"
// After the framework's headers: jpeglib.h defines TRUE and FALSE as macros, which the
// framework's own constants of those names must not meet. It needs FILE declared first.
#include <jpeglib.h>

namespace {

using exif_test::Entry;

// A camera-like EXIF block: resolution and description in IFD0, exposure data in the Exif
// directory, a thumbnail directory.
const std::string& ExifBlock() {
  static const std::string block = [] {
    exif_test::Tiff tiff(false);
    const u32 first = tiff.Directory({Entry::Ascii(0x10F, "Camara"), Entry::Ascii(0x110, "Modelo 7"),
                                      Entry::Short(0x112, 1), Entry::Rational(0x11A, 300, 1),
                                      Entry::Rational(0x11B, 300, 1), Entry::Short(0x128, 2),
                                      Entry::Ascii(0x132, "2024:02:29 13:05:09"), Entry::Pointer(0x8769, 0)});
    const u32 exif = tiff.Directory({Entry::Rational(0x829A, 1, 250), Entry::Rational(0x829D, 28, 10),
                                     Entry::Short(0x8827, 200), Entry::Bytes(0x9000, 7, "0220"),
                                     Entry::Ascii(0x9003, "2024:02:29 13:05:09"), Entry::SRational(0x9204, 0, 1),
                                     Entry::Short(0x9209, 16), Entry::Rational(0x920A, 35, 1),
                                     Entry::Bytes(0x9286, 7, std::string("ASCII\0\0\0hola", 12)),
                                     Entry::Bytes(0x927C, 7, std::string(2000, 'm')), Entry::Short(0xA001, 1),
                                     Entry::Long(0xA002, 1600), Entry::Long(0xA003, 1200)});
    // The Exif pointer is the last entry of IFD0.
    const u32 field = first + 2 + 12 * 7 + 8;
    for (int b = 0; b < 4; ++b) tiff.Bytes()[field + b] = char(exif >> (8 * b));
    tiff.SetNext(first, tiff.Directory({Entry::Short(0x103, 6), Entry::Rational(0x11A, 72, 1),
                                        Entry::Rational(0x11B, 72, 1), Entry::Short(0x128, 2)}));
    return tiff.Block();
  }();
  return block;
}

// The photo as a JPEG by ImageMagick and cjpeg, with the EXIF block after its APP0.
const std::string& Jpeg() {
  static const std::string jpeg = [] {
    std::string data;
    FILE* pipe = popen("convert rose: -resize 1600x1200! ppm:- | cjpeg -quality 90", "r");
    if (!pipe) return data;
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) data.append(buffer, n);
    pclose(pipe);
    if (data.size() < 20) return std::string();
    const size_t app0 = 4 + (u8(data[4]) << 8 | u8(data[5]));
    const size_t length = ExifBlock().size() + 2;
    return data.substr(0, app0) + "\xFF\xE1" + char(length >> 8) + char(length & 255) + ExifBlock() +
           data.substr(app0);
  }();
  return jpeg;
}

// Each decode gets a fresh buffer for its pixels, as each read gets a fresh image: from
// malloc as djpeg has it, or from the framework allocator as the image has it, so that
// the allocators' handling of large blocks shows apart from the decoding.
template <bool frameworkBuffer>
void Libjpeg(benchmark::State& state) {
  for (auto _ : state) {
    jpeg_decompress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(Jpeg().data()), Jpeg().size());
    jpeg_read_header(&info, TRUE);
    jpeg_start_decompress(&info);
    const size_t rowBytes = size_t(info.output_width) * info.output_components;
    const size_t bytes = rowBytes * info.output_height;
    u8* pixels = static_cast<u8*>(frameworkBuffer ? SLAlloc(u32(bytes)) : malloc(bytes));
    while (info.output_scanline < info.output_height) {
      JSAMPROW row = pixels + rowBytes * info.output_scanline;
      jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    benchmark::DoNotOptimize(pixels);
    if (frameworkBuffer) SLFree(pixels);
    else free(pixels);
  }
}

void Own(benchmark::State& state) {
  CSLImageReaderJPG reader;
  CSLMemoryStorage storage;
  storage.AttachBuffer(const_cast<char*>(Jpeg().data()), u32(Jpeg().size()), false);
  for (auto _ : state) {
    CSLImageArray images;
    storage.Seek(0, SL_SEEK_BEGIN);
    if (!reader.Read(&images, &storage, 0)) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(images[0]->GetPixels());
  }
}

void LibexifLoad(benchmark::State& state) {
  for (auto _ : state) {
    ExifData* data = exif_data_new();
    exif_data_load_data(data, reinterpret_cast<const unsigned char*>(ExifBlock().data()),
                        unsigned(ExifBlock().size()));
    benchmark::DoNotOptimize(data);
    exif_data_unref(data);
  }
}

void OwnExifLoad(benchmark::State& state) {
  CSLImageExifData exif;
  for (auto _ : state) {
    if (!exif.Load(reinterpret_cast<const u8*>(ExifBlock().data()), u32(ExifBlock().size()), 3))
      state.SkipWithError("load failed");
    benchmark::DoNotOptimize(exif.GetEntryCount(0));
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
  benchmark::RegisterBenchmark("Libjpeg", Libjpeg<false>)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("LibjpegFrameworkBuffer", Libjpeg<true>)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("Own", Own)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("LibexifLoad", LibexifLoad)->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("OwnExifLoad", OwnExifLoad)->Unit(benchmark::kMicrosecond);
  SLBenchRatioReporter reporter(
      {{"Own", "Libjpeg"}, {"Own", "LibjpegFrameworkBuffer"}, {"OwnExifLoad", "LibexifLoad"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
