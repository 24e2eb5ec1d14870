// The AVI reader's decoding through the system's stand-ins beside libavcodec called directly
// on the same chunks: MJPG 640x480 pictures (our reader and msvfw32 against libavcodec and
// libswscale into BGR24), and IMA ADPCM read in 0.1 s ReadAudio calls, each repositioning
// the converter, against one continuous decode of the stream.
#include <benchmark/benchmark.h>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/BenchRatio.h"
#include "media/MediaClasses.h"
#include "media/avi/AviParser.h"
#include "media/avi/SLVideoAudioReaderAVI.h"
#include "storage/SLFileStorage.h"

namespace {

struct Fixture {
  std::filesystem::path dir;
  CSLVideoAudioReaderAVI video, audio;
  u64 frames = 0, samples = 0;
  u32 rate = 0;
  std::vector<std::vector<u8>> pictureChunks, soundChunks;
  int blockAlign = 0, channels = 0;

  Fixture() {
    SLRegisterMediaClasses();
    dir = std::filesystem::temp_directory_path() / ("avi_decode_bench_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string v = (dir / "mjpg.avi").string(), a = (dir / "ima.avi").string();
    const std::string make =
        "ffmpeg -v error -y -f lavfi -i testsrc=size=640x480:rate=15:duration=4 -c:v mjpeg -q:v 4 " + v +
        " && ffmpeg -v error -y -f lavfi -i anoisesrc=d=20:a=0.3 -ac 2 -ar 22050 -c:a adpcm_ima_wav " + a;
    if (std::system(make.c_str()) != 0) std::fprintf(stderr, "could not write the files\n");
    if (!video.OpenFile(v.c_str(), 0) || !video.StartStream(0) || !video.GetVideoFrameCount(0, &frames))
      std::fprintf(stderr, "video: %x\n", SLGetLastError());
    SLAudioFormat format;
    if (!audio.OpenFile(a.c_str(), 0) || !audio.StartStream(0) || !audio.GetAudioLength(0, &samples) ||
        !audio.GetAudioFormat(0, &format))
      std::fprintf(stderr, "audio: %x\n", SLGetLastError());
    rate = format.samplesPerSecond;
    channels = int(format.channels);
    Chunks(v, 0, &pictureChunks);
    Chunks(a, 0, &soundChunks);
  }
  ~Fixture() { std::filesystem::remove_all(dir); }

  void Chunks(const std::string& path, u32 stream, std::vector<std::vector<u8>>* out) {
    CSLFileStorage file;
    AviParser parser;
    if (!file.OpenA(path.c_str(), SL_STORAGE_READ) || !parser.Open(&file, 0)) return;
    AviStreamInfo* info = parser.GetStream(stream);
    blockAlign = stream == 0 && info->BlockAlign() ? info->BlockAlign() : blockAlign;
    for (u64 e = 0; e < info->entryCount; ++e) {
      u32 size = 0;
      parser.ReadEntry(stream, e, nullptr, &size);
      std::vector<u8> chunk(size + AV_INPUT_BUFFER_PADDING_SIZE);
      parser.ReadEntry(stream, e, chunk.data(), &size);
      chunk.resize(size);
      out->push_back(std::move(chunk));
    }
  }
};

Fixture& Get() {
  static Fixture fixture;
  return fixture;
}

AVCodecContext* OpenDecoder(AVCodecID id, int block, int channelCount, int sampleRate) {
  const AVCodec* codec = avcodec_find_decoder(id);
  AVCodecContext* c = avcodec_alloc_context3(codec);
  c->thread_count = 1;
  c->block_align = block;
  c->sample_rate = sampleRate;
  if (channelCount) av_channel_layout_default(&c->ch_layout, channelCount);
  c->bits_per_coded_sample = id == AV_CODEC_ID_ADPCM_IMA_WAV ? 4 : 24;
  avcodec_open2(c, codec, nullptr);
  return c;
}

void BM_ReaderMjpeg(benchmark::State& state) {
  Fixture& f = Get();
  for (auto _ : state)
    for (u64 frame = 0; frame < f.frames; ++frame) {
      const void* picture = nullptr;
      if (!f.video.GetVideoFrame(0, frame, &picture, nullptr)) std::abort();
      benchmark::DoNotOptimize(picture);
    }
}

void BM_LibavcodecMjpeg(benchmark::State& state) {
  Fixture& f = Get();
  AVCodecContext* c = OpenDecoder(AV_CODEC_ID_MJPEG, 0, 0, 0);
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  SwsContext* scaler = nullptr;
  u8* planes[4];
  int strides[4];
  av_image_alloc(planes, strides, 640, 480, AV_PIX_FMT_BGR24, 64);
  for (auto _ : state)
    for (std::vector<u8>& chunk : f.pictureChunks) {
      packet->data = chunk.data();
      packet->size = int(chunk.size());
      avcodec_send_packet(c, packet);
      while (avcodec_receive_frame(c, frame) == 0) {
        scaler = sws_getCachedContext(scaler, frame->width, frame->height, AVPixelFormat(frame->format), 640, 480,
                                      AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr, nullptr, nullptr);
        sws_scale(scaler, frame->data, frame->linesize, 0, frame->height, planes, strides);
        av_frame_unref(frame);
      }
    }
  av_freep(&planes[0]);
  sws_freeContext(scaler);
  av_frame_free(&frame);
  av_packet_free(&packet);
  avcodec_free_context(&c);
}

void BM_ReaderAdpcmTenthSeconds(benchmark::State& state) {
  Fixture& f = Get();
  const u32 tenth = f.rate / 10;
  for (auto _ : state)
    for (u64 first = 0; first < f.samples; first += tenth) {
      const void* samples = nullptr;
      u32 got = 0;
      if (!f.audio.ReadAudio(0, first, tenth, &samples, &got)) std::abort();
      benchmark::DoNotOptimize(samples);
    }
}

void BM_LibavcodecAdpcmContinuous(benchmark::State& state) {
  Fixture& f = Get();
  AVCodecContext* c = OpenDecoder(AV_CODEC_ID_ADPCM_IMA_WAV, f.blockAlign, f.channels, int(f.rate));
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  SwrContext* resampler = nullptr;
  swr_alloc_set_opts2(&resampler, &c->ch_layout, AV_SAMPLE_FMT_S16, int(f.rate), &c->ch_layout, c->sample_fmt,
                      int(f.rate), 0, nullptr);
  swr_init(resampler);
  std::vector<u8> out(1 << 20);
  for (auto _ : state)
    for (std::vector<u8>& chunk : f.soundChunks) {
      packet->data = chunk.data();
      packet->size = int(chunk.size());
      avcodec_send_packet(c, packet);
      while (avcodec_receive_frame(c, frame) == 0) {
        u8* target = out.data();
        swr_convert(resampler, &target, frame->nb_samples, const_cast<const u8**>(frame->extended_data),
                    frame->nb_samples);
        av_frame_unref(frame);
      }
    }
  swr_free(&resampler);
  av_frame_free(&frame);
  av_packet_free(&packet);
  avcodec_free_context(&c);
}

BENCHMARK(BM_ReaderMjpeg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibavcodecMjpeg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReaderAdpcmTenthSeconds)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibavcodecAdpcmContinuous)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Get();  // the files are written before anything is timed
  SLBenchRatioReporter reporter({{"BM_ReaderMjpeg", "BM_LibavcodecMjpeg"},
                                 {"BM_ReaderAdpcmTenthSeconds", "BM_LibavcodecAdpcmContinuous"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
