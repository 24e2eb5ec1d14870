// A minute of 44.1 kHz stereo layer II at 192 kbit/s decoded by our decoder (in one call,
// in 0.1 s pieces, and by 1,000 random 2,205-frame reads against the same reads in order)
// beside libmpg123 (its generic decoder and its default one) and libavcodec's mp2float.
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
#include "media/mpeg/SLMpegAudioDecoder.h"
#include "storage/SLMemoryStorage.h"

namespace {

constexpr u32 kPiece = 4410;
constexpr u32 kRandomCount = 2205;
constexpr int kRandomReads = 1000;

struct Fixture {
  std::string stream;
  std::vector<u64> randomFirsts, orderedFirsts;
  Fixture() {
    const std::string path = "/tmp/mpeg_decode_bench_" + std::to_string(getpid()) + ".mp2";
    const std::string command = "ffmpeg -v error -y -f lavfi -i 'sine=f=440:d=60' -f lavfi -i 'anoisesrc=d=60:a=0.2' "
                                "-filter_complex '[0][1]amerge=inputs=2' -ar 44100 -ac 2 -c:a mp2 -b:a 192k '" + path + "'";
    if (std::system(command.c_str()) != 0) std::fprintf(stderr, "could not write the file\n");
    std::ifstream in(path, std::ios::binary);
    stream.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    std::remove(path.c_str());
    std::mt19937_64 random(7);
    const u64 total = u64(stream.size() / 626) * 1152;
    for (int i = 0; i < kRandomReads; ++i) randomFirsts.push_back(random() % (total - kRandomCount));
    for (int i = 0; i < kRandomReads; ++i) orderedFirsts.push_back(u64(i) * kRandomCount);
  }
};

Fixture& Get() {
  static Fixture fixture;
  return fixture;
}

struct Ours {
  CSLMemoryStorage storage;
  SLInternals::CMXMP3_DecoderHelper decoder;
  Ours() {
    storage.Write(Get().stream.data(), Get().stream.size());
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
  Ours ours;
  const u32 total = u32(ours.decoder.GetTotalSamples());
  for (auto _ : state) benchmark::DoNotOptimize(ours.Read(0, total));
}

void BM_OursPieces(benchmark::State& state) {
  Ours ours;
  const u64 total = ours.decoder.GetTotalSamples();
  for (auto _ : state)
    for (u64 first = 0; first < total; first += kPiece) benchmark::DoNotOptimize(ours.Read(first, kPiece));
}

void BM_OursRandomReads(benchmark::State& state) {
  Ours ours;
  for (auto _ : state)
    for (u64 first : Get().randomFirsts) benchmark::DoNotOptimize(ours.Read(first, kRandomCount));
}

void BM_OursOrderedReads(benchmark::State& state) {
  Ours ours;
  for (auto _ : state)
    for (u64 first : Get().orderedFirsts) benchmark::DoNotOptimize(ours.Read(first, kRandomCount));
}

// libmpg123 over the whole stream in memory, `decoder` null for its default choice.
u64 Mpg123Whole(const char* decoder) {
  int error = 0;
  mpg123_handle* handle = mpg123_new(decoder, &error);
  mpg123_param(handle, MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0.0);
  mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
  mpg123_open_feed(handle);
  static std::vector<unsigned char> out(1 << 16);
  size_t done = 0;
  u64 sum = 0;
  const std::string& stream = Get().stream;
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
  for (auto _ : state) benchmark::DoNotOptimize(Mpg123Whole("generic"));
}

void BM_Mpg123Default(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(Mpg123Whole(nullptr));
}

void BM_AvcodecMp2Float(benchmark::State& state) {
  const AVCodec* codec = avcodec_find_decoder_by_name("mp2float");
  const std::string& stream = Get().stream;
  // The frames' offsets, from their headers (every frame of the file is 626 or 627 bytes).
  std::vector<std::pair<size_t, size_t>> frames;
  for (size_t at = 0; at + 4 <= stream.size();) {
    const size_t length = 626 + ((u8(stream[at + 2]) >> 1) & 1);
    frames.push_back({at, std::min(length, stream.size() - at)});
    at += length;
  }
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

BENCHMARK(BM_OursWhole)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OursPieces)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mpg123Generic)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mpg123Default)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AvcodecMp2Float)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OursRandomReads)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OursOrderedReads)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  mpg123_init();
  Get();  // the file is written before anything is timed
  SLBenchRatioReporter reporter({{"BM_OursWhole", "BM_Mpg123Generic"},
                                 {"BM_OursPieces", "BM_Mpg123Generic"},
                                 {"BM_OursWhole", "BM_Mpg123Default"},
                                 {"BM_OursWhole", "BM_AvcodecMp2Float"},
                                 {"BM_OursRandomReads", "BM_OursOrderedReads"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
