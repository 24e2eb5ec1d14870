// A minute of 44.1 kHz stereo (layer II at 192 kbit/s, layer III at 128 kbit/s and at
// lame's VBR quality 2) decoded by our decoder (in one call, in 0.1 s pieces, and by
// 1,000 random 2,205-frame reads against the same reads in order) beside libmpg123 (its
// generic decoder and its default one) and libavcodec's mp2float / mp3float. The
// argument picks the file: 0 layer II, 1 layer III CBR, 2 layer III VBR.
#include <benchmark/benchmark.h>
#include <mpg123.h>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "bench/BenchRatio.h"
#include "foundation/SLByteOrder.h"
#include "media/mpeg/SLMpegAudioDecoder.h"
#include "storage/SLMemoryStorage.h"

namespace {

constexpr u32 kPiece = 4410;
constexpr u32 kRandomCount = 2205;
constexpr int kRandomReads = 1000;

struct Fixture {
  std::string stream;
  std::vector<std::pair<size_t, size_t>> frames;  // offset and length of every frame
  std::vector<u64> randomFirsts, orderedFirsts;
  explicit Fixture(int kind) {
    const std::string path = "/tmp/mpeg_decode_bench_" + std::to_string(getpid()) + (kind ? ".mp3" : ".mp2");
    static const char* const kEncoders[] = {"-c:a mp2 -b:a 192k", "-c:a libmp3lame -b:a 128k", "-c:a libmp3lame -q:a 2"};
    const std::string command = "ffmpeg -v error -y -f lavfi -i 'sine=f=440:d=60' -f lavfi -i 'anoisesrc=d=60:a=0.2' "
                                "-filter_complex '[0][1]amerge=inputs=2' -ar 44100 -ac 2 " +
                                std::string(kEncoders[kind]) + " '" + path + "'";
    if (std::system(command.c_str()) != 0) std::fprintf(stderr, "could not write the file\n");
    std::ifstream in(path, std::ios::binary);
    stream.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    std::remove(path.c_str());
    // Frames by their headers, from the first one after the ID3 tag.
    size_t at = stream.compare(0, 3, "ID3") == 0 ? 10 + ((u8(stream[6]) << 21) | (u8(stream[7]) << 14) |
                                                         (u8(stream[8]) << 7) | u8(stream[9]))
                                                  : 0;
    SLInternals::SLMpegFrameHeader header;
    while (at + 4 <= stream.size()) {
      const u32 word = SLLoadBE32(reinterpret_cast<const u8*>(stream.data()) + at);
      if ((word >> 20) != 0xFFF || !SLInternals::SLMpegParseHeader(word, &header)) {
        ++at;
        continue;
      }
      const size_t length = header.frameDataSize + 4;
      frames.push_back({at, std::min(length, stream.size() - at)});
      at += length;
    }
    std::mt19937_64 random(7);
    const u64 total = u64(frames.size() - 1) * 1152;
    for (int i = 0; i < kRandomReads; ++i) randomFirsts.push_back(random() % (total - kRandomCount));
    for (int i = 0; i < kRandomReads; ++i) orderedFirsts.push_back(u64(i) * kRandomCount);
  }
};

Fixture& Get(int kind) {
  static Fixture fixtures[] = {Fixture(0), Fixture(1), Fixture(2)};
  return fixtures[kind];
}

struct Ours {
  CSLMemoryStorage storage;
  SLInternals::CMXMP3_DecoderHelper decoder;
  explicit Ours(int kind) {
    storage.Write(Get(kind).stream.data(), Get(kind).stream.size());
    storage.Seek(0, SL_SEEK_BEGIN);
    if (!decoder.Open(&storage, 1, 0) || !decoder.Start()) std::fprintf(stderr, "open failed\n");
  }
  u64 Read(u64 first, u32 count) {
    const i16* samples = nullptr;
    u32 got = 0;
    decoder.DecodeFrame(first, count, &samples, &got);
    return got ? u64(samples[0]) + got : 0;
  }
};

void BM_OursWhole(benchmark::State& state) {
  Ours ours(int(state.range(0)));
  const u32 total = u32(ours.decoder.GetTotalSamples());
  for (auto _ : state) benchmark::DoNotOptimize(ours.Read(0, total));
}

void BM_OursPieces(benchmark::State& state) {
  Ours ours(int(state.range(0)));
  const u64 total = ours.decoder.GetTotalSamples();
  for (auto _ : state)
    for (u64 first = 0; first < total; first += kPiece) benchmark::DoNotOptimize(ours.Read(first, kPiece));
}

void BM_OursRandomReads(benchmark::State& state) {
  Ours ours(int(state.range(0)));
  for (auto _ : state)
    for (u64 first : Get(int(state.range(0))).randomFirsts) benchmark::DoNotOptimize(ours.Read(first, kRandomCount));
}

void BM_OursOrderedReads(benchmark::State& state) {
  Ours ours(int(state.range(0)));
  for (auto _ : state)
    for (u64 first : Get(int(state.range(0))).orderedFirsts) benchmark::DoNotOptimize(ours.Read(first, kRandomCount));
}

// libmpg123 over the whole stream in memory, `decoder` null for its default choice.
u64 Mpg123Whole(const char* decoder, int kind) {
  int error = 0;
  mpg123_handle* handle = mpg123_new(decoder, &error);
  mpg123_param(handle, MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0.0);
  mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
  mpg123_open_feed(handle);
  static std::vector<unsigned char> out(1 << 16);
  size_t done = 0;
  u64 sum = 0;
  const std::string& stream = Get(kind).stream;
  int result = mpg123_decode(handle, reinterpret_cast<const unsigned char*>(stream.data()), stream.size(), out.data(),
                             out.size(), &done);
  while (result != MPG123_ERR && result != MPG123_NEED_MORE) {
    sum += done;
    result = mpg123_decode(handle, nullptr, 0, out.data(), out.size(), &done);
  }
  mpg123_delete(handle);
  return sum + done;
}

void BM_Mpg123Generic(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(Mpg123Whole("generic", int(state.range(0))));
}

void BM_Mpg123Default(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(Mpg123Whole(nullptr, int(state.range(0))));
}

void BM_AvcodecFloat(benchmark::State& state) {
  const int kind = int(state.range(0));
  const AVCodec* codec = avcodec_find_decoder_by_name(kind ? "mp3float" : "mp2float");
  const std::string& stream = Get(kind).stream;
  const auto& frames = Get(kind).frames;
  for (auto _ : state) {
    AVCodecContext* context = avcodec_alloc_context3(codec);
    avcodec_open2(context, codec, nullptr);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    u64 sum = 0;
    for (const auto& [offset, length] : frames) {
      packet->data = reinterpret_cast<uint8_t*>(const_cast<char*>(stream.data() + offset));
      packet->size = int(length);
      if (avcodec_send_packet(context, packet) < 0) continue;
      while (avcodec_receive_frame(context, frame) == 0) sum += u64(frame->nb_samples);
    }
    benchmark::DoNotOptimize(sum);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&context);
  }
}

BENCHMARK(BM_OursWhole)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OursPieces)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mpg123Generic)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mpg123Default)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AvcodecFloat)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OursRandomReads)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OursOrderedReads)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  mpg123_init();
  for (int kind = 0; kind < 3; ++kind) Get(kind);  // the files are written before anything is timed
  std::vector<std::pair<std::string, std::string>> pairs;
  for (const char* kind : {"/0", "/1", "/2"}) {
    const std::string k = kind;
    pairs.insert(pairs.end(), {{"BM_OursWhole" + k, "BM_Mpg123Generic" + k},
                               {"BM_OursPieces" + k, "BM_Mpg123Generic" + k},
                               {"BM_OursWhole" + k, "BM_Mpg123Default" + k},
                               {"BM_OursWhole" + k, "BM_AvcodecFloat" + k},
                               {"BM_OursRandomReads" + k, "BM_OursOrderedReads" + k}});
  }
  SLBenchRatioReporter reporter(pairs);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
