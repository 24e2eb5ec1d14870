// mxvwrite: makes an MXV movie from raw pictures and a WAV file.
//   mxvwrite [options] OUTPUT.MXV
//   --version 1|2            container version (2)
//   --video FRAMES --size WxH [--fps N] [--codec zip|lzw|theora] [--bits 8|16|24]
//           [--key N] [--quality 0-63] [--no-repeats] [--no-maps]
//       FRAMES holds width x height x 3 bytes per picture, blue-green-red, top row first
//       (what "ffmpeg -f rawvideo -pix_fmt bgr24" writes); --key is the key-frame interval.
//   --audio IN.wav [--audio-codec pcm|vorbis] [--audio-bits 8|16] [--vorbis-quality Q]
//       the WAV's rate (11,025, 22,050 or 44,100 Hz) and channels (1 or 2) are kept; its
//       samples are converted to --audio-bits (the WAV's own by default).
// Exit codes: 0 written, 1 usage, 2 input unreadable, 3 writing failed.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "media/SLVideoAudioReaderWAV.h"
#include "tools/mxvwriter/MxvWriter.h"

namespace {

int Usage(const char* message) {
  std::fprintf(stderr, "mxvwrite: %s\nusage: mxvwrite [--version 1|2] [--video FRAMES --size WxH [--fps N] "
                       "[--codec zip|lzw|theora] [--bits 8|16|24] [--key N] [--quality Q] [--no-repeats] "
                       "[--no-maps]] [--audio IN.wav [--audio-codec pcm|vorbis] [--audio-bits 8|16] "
                       "[--vorbis-quality Q]] OUTPUT.MXV\n", message);
  return 1;
}

// The WAV's samples converted to `bits` (0: as stored).
bool ReadWav(const char* path, slmxv::AudioSettings* audio, uint32_t bits, std::vector<uint8_t>* samples,
             uint64_t* frames) {
  CSLVideoAudioReaderWAV reader;
  SLAudioFormat format;
  if (!reader.OpenFile(path, 0) || !reader.GetAudioFormat(0, &format) || !reader.GetAudioLength(0, frames) ||
      !reader.StartStream(0))
    return false;
  if (format.bitsPerSample != 8 && format.bitsPerSample != 16) return false;
  audio->samplesPerSecond = format.samplesPerSecond;
  audio->channels = format.channels;
  audio->bitsPerSample = bits ? bits : format.bitsPerSample;
  const uint64_t count = *frames * format.channels;
  samples->resize(count * (audio->bitsPerSample / 8));
  uint64_t out = 0;
  for (uint64_t first = 0; first < *frames;) {
    const void* data = nullptr;
    u32 got = 0;
    if (!reader.ReadAudio(0, first, 65536, &data, &got) || got == 0) return false;
    const auto* in = static_cast<const uint8_t*>(data);
    for (uint64_t i = 0; i < uint64_t(got) * format.channels; ++i, ++out) {
      // Through 16 bits: 8-bit samples are unsigned, 16-bit ones signed little-endian.
      const int value = format.bitsPerSample == 8 ? (int(in[i]) - 128) * 256 : int16_t(in[2 * i] | in[2 * i + 1] << 8);
      if (audio->bitsPerSample == 8) {
        (*samples)[out] = uint8_t((value >> 8) + 128);
      } else {
        (*samples)[2 * out] = uint8_t(value);
        (*samples)[2 * out + 1] = uint8_t(value >> 8);
      }
    }
    first += got;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  uint32_t version = 2, audioBits = 0;
  slmxv::VideoSettings video;
  slmxv::AudioSettings audio;
  std::string framesPath, wavPath, output;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    auto number = [&] { return uint32_t(std::strtoul(argv[++i], nullptr, 0)); };
    if (arg == "--version" && hasValue) {
      version = number();
    } else if (arg == "--video" && hasValue) {
      framesPath = argv[++i];
    } else if (arg == "--size" && hasValue) {
      if (std::sscanf(argv[++i], "%ux%u", &video.width, &video.height) != 2) return Usage("bad --size");
    } else if (arg == "--fps" && hasValue) {
      video.framesPerSecond = number();
    } else if (arg == "--codec" && hasValue) {
      const std::string codec = argv[++i];
      video.codec = codec == "zip" ? 1 : codec == "lzw" ? 2 : codec == "theora" ? 3 : uint32_t(std::atoi(codec.c_str()));
    } else if (arg == "--bits" && hasValue) {
      video.bitsPerPixel = number();
    } else if (arg == "--key" && hasValue) {
      video.keyInterval = number();
    } else if (arg == "--quality" && hasValue) {
      video.theoraQuality = int(number());
    } else if (arg == "--no-repeats") {
      video.repeats = false;
    } else if (arg == "--no-maps") {
      video.changeMaps = false;
    } else if (arg == "--audio" && hasValue) {
      wavPath = argv[++i];
    } else if (arg == "--audio-codec" && hasValue) {
      const std::string codec = argv[++i];
      audio.codec = codec == "pcm" ? 1 : codec == "vorbis" ? 2 : uint32_t(std::atoi(codec.c_str()));
    } else if (arg == "--audio-bits" && hasValue) {
      audioBits = number();
    } else if (arg == "--vorbis-quality" && hasValue) {
      audio.vorbisQuality = float(std::atof(argv[++i]));
    } else if (arg[0] != '-' && output.empty()) {
      output = arg;
    } else {
      return Usage(("unknown argument " + arg).c_str());
    }
  }
  if (output.empty() || (framesPath.empty() && wavPath.empty())) return Usage("nothing to write");
  if (!framesPath.empty() && (video.width == 0 || video.height == 0)) return Usage("--video needs --size");

  std::vector<uint8_t> pictures, samples;
  uint64_t audioFrames = 0;
  if (!framesPath.empty()) {
    std::ifstream in(framesPath, std::ios::binary);
    pictures.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    const size_t pictureBytes = size_t(video.width) * video.height * 3;
    if (!in.good() && !in.eof()) return std::fprintf(stderr, "mxvwrite: cannot read %s\n", framesPath.c_str()), 2;
    if (pictures.empty() || pictures.size() % pictureBytes != 0)
      return std::fprintf(stderr, "mxvwrite: %s does not hold whole %ux%u pictures\n", framesPath.c_str(),
                          video.width, video.height), 2;
  }
  if (!wavPath.empty() && !ReadWav(wavPath.c_str(), &audio, audioBits, &samples, &audioFrames))
    return std::fprintf(stderr, "mxvwrite: cannot read the 8- or 16-bit PCM WAV %s\n", wavPath.c_str()), 2;

  slmxv::MxvWriter writer;
  std::string error;
  bool ok = writer.Create(output, version, framesPath.empty() ? nullptr : &video, wavPath.empty() ? nullptr : &audio,
                          &error);
  if (ok && !wavPath.empty()) ok = writer.SetAudio(samples.data(), audioFrames, &error);
  const size_t pictureBytes = size_t(video.width) * video.height * 3;
  for (size_t at = 0; ok && at < pictures.size(); at += pictureBytes) ok = writer.AddFrame(&pictures[at], &error);
  if (ok) ok = writer.Finish(&error);
  if (!ok) return std::fprintf(stderr, "mxvwrite: %s\n", error.c_str()), 3;
  const slmxv::WriteSummary& s = writer.Summary();
  std::printf("%s: version %u, %llu frames (%llu key, %llu repeated, %llu with change maps), %llu sample frames in "
              "%llu blocks, %llu bytes\n",
              output.c_str(), version, (unsigned long long)s.frames, (unsigned long long)s.keyFrames,
              (unsigned long long)s.repeatFrames, (unsigned long long)s.mappedFrames,
              (unsigned long long)s.audioFrames, (unsigned long long)s.audioBlocks, (unsigned long long)s.fileBytes);
  return 0;
}
