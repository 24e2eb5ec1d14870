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
// Exit status: 0 written, 1 an input unreadable or the writing failed, 2 a usage error.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "media/SLVideoAudioReaderWAV.h"
#include "tools/common/ToolSupport.h"
#include "tools/mxvwrite/MxvWriter.h"

namespace {

const sltool::CommandLine kCommandLine(
    "mxvwrite",
    "usage: mxvwrite [--version 1|2] [--video FRAMES --size WxH [--fps N] [--codec zip|lzw|theora] [--bits 8|16|24] "
    "[--key N] [--quality 0-63] [--no-repeats] [--no-maps]] [--audio IN.wav [--audio-codec pcm|vorbis] "
    "[--audio-bits 8|16] [--vorbis-quality Q]] OUTPUT.MXV");

int Usage(const std::string& message) { return kCommandLine.UsageError(message); }

// A whole decimal number (or 0x... hexadecimal) into `value`; false for anything else.
bool Number(const char* text, uint32_t* value) {
  char* end = nullptr;
  errno = 0;
  const unsigned long long parsed = std::strtoull(text, &end, 0);
  if (!*text || *text == '-' || errno || *end || parsed > 0xFFFFFFFFull) return false;
  *value = uint32_t(parsed);
  return true;
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

int Run(int argc, char** argv) {
  uint32_t version = 2, audioBits = 0;
  slmxv::VideoSettings video;
  slmxv::AudioSettings audio;
  std::string framesPath, wavPath, output;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    uint32_t value = 0;
    auto number = [&](uint32_t* out) { return Number(argv[++i], out); };
    if (arg == "--version" && hasValue) {
      if (!number(&version) || (version != 1 && version != 2)) return Usage("--version must be 1 or 2");
    } else if (arg == "--video" && hasValue) {
      framesPath = argv[++i];
    } else if (arg == "--size" && hasValue) {
      char tail = 0;
      if (std::sscanf(argv[++i], "%ux%u%c", &video.width, &video.height, &tail) != 2) return Usage("bad --size");
    } else if (arg == "--fps" && hasValue) {
      if (!number(&video.framesPerSecond)) return Usage("bad --fps");
    } else if (arg == "--codec" && hasValue) {
      const std::string codec = argv[++i];
      video.codec = codec == "zip" ? 1 : codec == "lzw" ? 2 : codec == "theora" ? 3 : 0;
      if (!video.codec) return Usage("--codec must be zip, lzw or theora");
    } else if (arg == "--bits" && hasValue) {
      if (!number(&video.bitsPerPixel)) return Usage("bad --bits");
    } else if (arg == "--key" && hasValue) {
      if (!number(&video.keyInterval)) return Usage("bad --key");
    } else if (arg == "--quality" && hasValue) {
      if (!number(&value) || value > 63) return Usage("--quality must be 0 to 63");
      video.theoraQuality = int(value);
    } else if (arg == "--no-repeats") {
      video.repeats = false;
    } else if (arg == "--no-maps") {
      video.changeMaps = false;
    } else if (arg == "--audio" && hasValue) {
      wavPath = argv[++i];
    } else if (arg == "--audio-codec" && hasValue) {
      const std::string codec = argv[++i];
      audio.codec = codec == "pcm" ? 1 : codec == "vorbis" ? 2 : 0;
      if (!audio.codec) return Usage("--audio-codec must be pcm or vorbis");
    } else if (arg == "--audio-bits" && hasValue) {
      if (!number(&audioBits) || (audioBits != 8 && audioBits != 16)) return Usage("--audio-bits must be 8 or 16");
    } else if (arg == "--vorbis-quality" && hasValue) {
      char* end = nullptr;
      audio.vorbisQuality = std::strtof(argv[++i], &end);
      if (*end || !(audio.vorbisQuality >= -0.1f && audio.vorbisQuality <= 1.0f))
        return Usage("--vorbis-quality must be -0.1 to 1");
    } else if (!arg.empty() && arg[0] != '-' && output.empty()) {
      output = arg;
    } else {
      return Usage("unknown argument " + arg);
    }
  }
  if (output.empty() || (framesPath.empty() && wavPath.empty())) return Usage("nothing to write");
  if (!framesPath.empty() && (video.width == 0 || video.height == 0)) return Usage("--video needs --size");

  std::string error;
  if (!sltool::CanWriteBeside(output, &error)) return kCommandLine.Failure(error);
  std::vector<uint8_t> pictures, samples;
  uint64_t audioFrames = 0;
  if (!framesPath.empty()) {
    std::error_code code;
    if (!std::filesystem::is_regular_file(framesPath, code))
      return kCommandLine.Failure("the pictures are not a readable file", framesPath);
    std::ifstream in(framesPath, std::ios::binary);
    if (!in) return kCommandLine.Failure("cannot read the pictures (" + sltool::SystemError() + ")", framesPath);
    pictures.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) return kCommandLine.Failure("cannot read the pictures (" + sltool::SystemError() + ")", framesPath);
    const uint64_t pictureBytes = uint64_t(video.width) * video.height * 3;
    if (pictures.empty() || pictures.size() % pictureBytes != 0)
      return kCommandLine.Failure("the file does not hold whole " + std::to_string(video.width) + "x" +
                                      std::to_string(video.height) + " pictures",
                                  framesPath);
  }
  if (!wavPath.empty() && !ReadWav(wavPath.c_str(), &audio, audioBits, &samples, &audioFrames))
    return kCommandLine.Failure("cannot read an 8- or 16-bit PCM WAV", wavPath, SLGetLastError(false));

  slmxv::MxvWriter writer;
  bool ok = writer.Create(output, version, framesPath.empty() ? nullptr : &video, wavPath.empty() ? nullptr : &audio,
                          &error);
  if (ok && !wavPath.empty()) ok = writer.SetAudio(samples.data(), audioFrames, &error);
  const size_t pictureBytes = size_t(video.width) * video.height * 3;
  for (size_t at = 0; ok && at < pictures.size(); at += pictureBytes) ok = writer.AddFrame(&pictures[at], &error);
  if (ok) ok = writer.Finish(&error);
  if (!ok) return kCommandLine.Failure(error);
  const slmxv::WriteSummary& s = writer.Summary();
  std::printf("%s: version %u, %llu frames (%llu key, %llu repeated, %llu with change maps), %llu sample frames in "
              "%llu blocks, %llu bytes\n",
              output.c_str(), version, (unsigned long long)s.frames, (unsigned long long)s.keyFrames,
              (unsigned long long)s.repeatFrames, (unsigned long long)s.mappedFrames,
              (unsigned long long)s.audioFrames, (unsigned long long)s.audioBlocks, (unsigned long long)s.fileBytes);
  return sltool::kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  if (kCommandLine.WantsHelp(argc, argv)) return sltool::kExitOk;
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    return kCommandLine.Failure(std::string("cannot make the movie: ") + e.what());
  }
}
