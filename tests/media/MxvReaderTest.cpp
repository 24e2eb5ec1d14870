// The MXV reader against the MXV writer (tools/mxvwrite) on ffmpeg testsrc pictures and
// sox sound, libvorbis as the peer of every Vorbis sample, and writer-made files patched
// into the damaged cases.
#include <gtest/gtest.h>
#include <vorbis/codec.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "foundation/SLByteOrder.h"
#include "media/MediaClasses.h"
#include "media/SLMxvInternal.h"
#include "media/SLVideoAudioReaderMXV.h"
#include "tests/support/TempDir.h"
#include "tools/mxvwrite/MxvWriter.h"
#include "zlib.h"

namespace {

using Bytes = std::vector<uint8_t>;

u32 Code(bool result) { return result ? SL_OK : SLGetLastError(); }

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

// ffmpeg test pictures (BGR, top-down); frame 5 repeats frame 4 so that a repeat frame appears.
Bytes Pictures(const TempDir& dir, u32 width, u32 height, u32 count, const std::string& source = "testsrc", const std::string& options = "") {
  const std::string path = dir.Host("pictures.bgr");
  const std::string command = "ffmpeg -v error -y -f lavfi -i " + source + "=size=" + std::to_string(width) + "x" +
                              std::to_string(height) + ":rate=10" + options + " -frames:v " + std::to_string(count) +
                              " -f rawvideo -pix_fmt bgr24 " + path;
  EXPECT_EQ(std::system(command.c_str()), 0);
  Bytes bytes = ReadFile(path);
  const size_t size = size_t(width) * height * 3;
  EXPECT_EQ(bytes.size(), size * count);
  std::memcpy(&bytes[5 * size], &bytes[4 * size], size);
  return bytes;
}

// sox white noise as raw little-endian samples.
Bytes Noise(const TempDir& dir, const slmxv::AudioSettings& audio, double seconds) {
  const std::string path = dir.Host("noise.raw");
  char command[256];
  std::snprintf(command, sizeof command, "sox -V1 -R -n -r %u -c %u -b %u -e %s -t raw %s synth %g whitenoise vol 0.6",
                audio.samplesPerSecond, audio.channels, audio.bitsPerSample,
                audio.bitsPerSample == 8 ? "unsigned-integer" : "signed-integer", path.c_str(), seconds);
  EXPECT_EQ(std::system(command), 0);
  return ReadFile(path);
}

struct Movie {
  u32 version = 2;
  const slmxv::VideoSettings* video = nullptr;
  const Bytes* pictures = nullptr;
  const slmxv::AudioSettings* audio = nullptr;
  const Bytes* samples = nullptr;
};

slmxv::WriteSummary WriteMovie(const std::string& path, const Movie& movie) {
  slmxv::MxvWriter writer;
  std::string error;
  EXPECT_TRUE(writer.Create(path, movie.version, movie.video, movie.audio, &error)) << error;
  if (movie.audio) {
    const u32 align = movie.audio->bitsPerSample / 8 * movie.audio->channels;
    EXPECT_TRUE(writer.SetAudio(movie.samples->data(), movie.samples->size() / align, &error)) << error;
  }
  if (movie.video) {
    const size_t size = size_t(movie.video->width) * movie.video->height * 3;
    for (size_t at = 0; at < movie.pictures->size(); at += size)
      EXPECT_TRUE(writer.AddFrame(&(*movie.pictures)[at], &error)) << error;
  }
  EXPECT_TRUE(writer.Finish(&error)) << error;
  return writer.Summary();
}

// The chunks of a file: tag -> {payload offset, payload size}.
std::map<std::string, std::pair<size_t, size_t>> Chunks(const Bytes& file) {
  const bool v1 = file[0] == 'A';
  std::map<std::string, std::pair<size_t, size_t>> chunks;
  for (size_t at = v1 ? 13 : 14; at + (v1 ? 8 : 12) <= file.size();) {
    const size_t size = v1 ? SLLoadLE32(&file[at + 4]) : size_t(SLLoadLE64(&file[at + 4]));
    const size_t payload = at + (v1 ? 8 : 12);
    chunks[std::string(reinterpret_cast<const char*>(&file[at]), 4)] = {payload, size};
    at = payload + size;
  }
  return chunks;
}

// The rows of a picture handed out, top row first, without padding.
Bytes PictureRows(const void* picture, u32 width, u32 height, u32 bits) {
  const u8* bytes = static_cast<const u8*>(picture);
  const u32 stride = (width * bits + 31) / 32 * 4, header = 40 + (bits == 8 ? 1024 : bits == 16 ? 12 : 0);
  Bytes rows;
  for (u32 r = 0; r < height; ++r) {
    const u8* row = bytes + header + size_t(height - 1 - r) * stride;
    rows.insert(rows.end(), row, row + width * bits / 8);
  }
  return rows;
}

class MxvFiles : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { SLRegisterMediaClasses(); }
  TempDir dir;
};

TEST_F(MxvFiles, BlockDeltaPicturesReadBackExactly) {
  struct Size {
    u32 width, height;
  } sizes[] = {{21, 13}, {100, 75}};
  const u32 frames = 20;
  int file = 0;
  for (const Size& size : sizes) {
    const Bytes pictures = Pictures(dir, size.width, size.height, frames);
    const size_t pictureBytes = size_t(size.width) * size.height * 3;
    for (u32 version : {1u, 2u})
      for (u32 codec : {1u, 2u})
        for (u32 bits : {8u, 16u, 24u}) {
          SCOPED_TRACE(testing::Message() << size.width << "x" << size.height << " v" << version << " codec " << codec
                                          << " bits " << bits);
          const slmxv::VideoSettings video{
              .codec = codec, .width = size.width, .height = size.height, .bitsPerPixel = bits};
          const std::string path = dir.Host("movie" + std::to_string(file++) + ".mxv");
          const slmxv::WriteSummary summary = WriteMovie(path, {version, &video, &pictures});
          EXPECT_EQ(summary.repeatFrames, 1u);
          EXPECT_EQ(summary.keyFrames, 3u);
          CSLVideoAudioReaderMXV reader;
          ASSERT_TRUE(reader.OpenFile(path.c_str(), 0));
          SLVideoFormat format;
          ASSERT_TRUE(reader.GetVideoFormat(0, &format));
          EXPECT_EQ(format.bitsPerPixel, bits);
          ASSERT_TRUE(reader.StartStream(0));
          // In order, then out of order (backward jumps decode from the key frame).
          std::mt19937 rng(file);
          for (u32 step = 0; step < 2 * frames; ++step) {
            const u32 frame = step < frames ? step : rng() % frames;
            const void* picture = nullptr;
            u32 pictureSize = 0;
            ASSERT_TRUE(reader.GetVideoFrame(0, frame, &picture, &pictureSize)) << frame;
            EXPECT_EQ(pictureSize, 40 + (bits == 8 ? 1024 : bits == 16 ? 12 : 0) + format.imageBytes);
            const Bytes expected =
                slmxv::MxvWriter::ConvertPicture(&pictures[frame * pictureBytes], size.width, size.height, bits);
            ASSERT_EQ(PictureRows(picture, size.width, size.height, bits), expected) << frame;
            if (bits == 8) {
              const u8* quad = static_cast<const u8*>(picture) + 40 + 4 * 0x6D;
              const u8* colour = slmxv::MxvWriter::Palette() + 3 * 0x6D;
              EXPECT_EQ(std::vector<u8>(quad, quad + 4), (std::vector<u8>{colour[2], colour[1], colour[0], 0}));
            }
          }
        }
  }
}

TEST_F(MxvFiles, FramesDecodeFromTheNearestKeyFrame) {
  const Bytes pictures = Pictures(dir, 100, 75, 16);
  const slmxv::VideoSettings video{.width = 100, .height = 75};
  const std::string path = dir.Host("keys.MXV");
  WriteMovie(path, {2, &video, &pictures});
  CSLVideoAudioReaderMXV reader;
  ASSERT_TRUE(reader.OpenFile(path.c_str(), 0) && reader.StartStream(0));
  EXPECT_TRUE(reader.IsKeyFrame(0, 8));
  EXPECT_EQ(Code(reader.IsKeyFrame(0, 9)), SL_OK);
  EXPECT_EQ(Code(reader.IsKeyFrame(0, 16)), SL_E_MEDIA_FRAME_RANGE);
  const void* picture = nullptr;
  struct Step {
    u64 frame, decodes;
  } steps[] = {{10, 3}, {11, 1}, {9, 2}, {9, 0}, {4, 5}, {5, 1}};
  for (const Step& step : steps) {
    const u64 before = reader.GetDecodedFrameCount();
    ASSERT_TRUE(reader.GetVideoFrame(0, step.frame, &picture, nullptr));
    EXPECT_EQ(reader.GetDecodedFrameCount() - before, step.decodes) << step.frame;
  }
  // Frame 5 is the size-0 repeat of frame 4.
  EXPECT_EQ(PictureRows(picture, 100, 75, 24), slmxv::MxvWriter::ConvertPicture(&pictures[4 * 100 * 75 * 3], 100, 75, 24));
  EXPECT_EQ(Code(reader.GetVideoFrame(0, 16, &picture, nullptr)), SL_E_INVALID_ARG);
}

// PSNR over every colour sample of two pictures of the same layout.
double Psnr(const Bytes& a, const Bytes& b) {
  double squares = 0;
  for (size_t i = 0; i < a.size(); ++i) squares += double(a[i] - b[i]) * (a[i] - b[i]);
  return squares == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 * a.size() / squares);
}

TEST_F(MxvFiles, TheoraPicturesComeOutAs24BitsCloseToTheSource) {
  for (u32 version : {1u, 2u})
    for (auto [width, height] : {std::pair<u32, u32>{21, 13}, {100, 75}}) {
      SCOPED_TRACE(testing::Message() << width << "x" << height << " v" << version);
      // Smooth colour fields: 4:2:0 sampling of testsrc's saturated one-pixel edges would cost
      // some 19 dB by itself, whatever the decoder does. Every colour and end point is given:
      // ffmpeg's gradients draws them at random on each run otherwise, seed or not.
      const std::string field = ":n=2:c0=0x2060c0:c1=0xe0a040:x0=0:y0=0:x1=" + std::to_string(width - 1) +
                                ":y1=" + std::to_string(height - 1) + ":speed=0.05";
      const Bytes pictures = Pictures(dir, width, height, 12, "gradients", field);
      // 16 bits asked for, read as 24 all the same.
      const slmxv::VideoSettings video{
          .codec = 3, .width = width, .height = height, .bitsPerPixel = 16, .theoraQuality = 63};
      const std::string path = dir.Host("theora.mxv");
      WriteMovie(path, {version, &video, &pictures});
      CSLVideoAudioReaderMXV reader;
      SLVideoFormat format;
      ASSERT_TRUE(reader.OpenFile(path.c_str(), 0) && reader.GetVideoFormat(0, &format) && reader.StartStream(0));
      EXPECT_EQ(format.bitsPerPixel, 24u);
      for (u32 frame : {0u, 1u, 2u, 7u, 11u, 3u}) {
        const void* picture = nullptr;
        ASSERT_TRUE(reader.GetVideoFrame(0, frame, &picture, nullptr));
        const Bytes source(pictures.begin() + frame * width * height * 3,
                           pictures.begin() + (frame + 1) * width * height * 3);
        EXPECT_GT(Psnr(PictureRows(picture, width, height, 24), source), 30.0) << frame;
      }
    }
}

// The vector conversion against the table lookups it stands in for, over every Y, Cb, Cr:
// each 2 x 2 block has one chroma pair (Cb = column, Cr = row group) and four of the luma
// values, 64 blocks per pair.
TEST(MxvColour, VectorConversionEqualsTheTables) {
  const u32 width = 2 * (256 + 16), height = 2 * 256 * 64, chromaWidth = width / 2;
  Bytes y(size_t(width) * height), u(size_t(chromaWidth) * height / 2), v(u.size());
  for (u32 row = 0; row < height / 2; ++row)
    for (u32 column = 0; column < chromaWidth; ++column) {
      u[size_t(row) * chromaWidth + column] = u8(column);
      v[size_t(row) * chromaWidth + column] = u8(row / 64);
      for (u32 i = 0; i < 4; ++i) y[size_t(2 * row + i / 2) * width + 2 * column + i % 2] = u8(4 * (row % 64) + i);
    }
  SLInternals::SLMxvColourTables tables;
  SLInternals::SLMxvBuildColourTables(&tables);
  Bytes vector(size_t(width) * height * 3), reference(vector.size());
  SLInternals::SLMxvConvertYuv420(tables, y.data(), width, u.data(), v.data(), chromaWidth, width, height,
                                  vector.data(), width * 3, true);
  SLInternals::SLMxvConvertYuv420(tables, y.data(), width, u.data(), v.data(), chromaWidth, width, height,
                                  reference.data(), width * 3, false);
  EXPECT_TRUE(vector == reference);
}

// The Vorbis packets of a file in stream order (each once, by its packet number), decoded
// continuously by libvorbis with the reader's conversion.
Bytes ContinuousVorbis(const Bytes& file, u32 bits) {
  auto chunks = Chunks(file);
  const bool v1 = file[0] == 'A';
  const u32 lengthBytes = v1 ? 4 : 8, headBytes = v1 ? 12 : 24;
  vorbis_info info;
  vorbis_comment comment;
  vorbis_info_init(&info);
  vorbis_comment_init(&comment);
  size_t at = chunks["AHDR"].first;
  for (int i = 0; i < 3; ++i) {
    const size_t length = SLLoadLE32(&file[at]);
    ogg_packet packet{const_cast<u8*>(&file[at + lengthBytes]), long(length), i == 0, 0, 0, 0};
    EXPECT_EQ(vorbis_synthesis_headerin(&info, &comment, &packet), 0);
    at += lengthBytes + length;
  }
  vorbis_dsp_state dsp;
  vorbis_block block;
  vorbis_synthesis_init(&dsp, &info);
  vorbis_block_init(&dsp, &block);
  std::map<u64, std::pair<size_t, size_t>> packets;  // number -> {offset, length}
  const auto [table, tableSize] = chunks["ATBL"];
  const size_t base = v1 ? chunks["DATA"].first : 0, entry = v1 ? 8 : 16;
  for (size_t e = 0; e < tableSize / entry; ++e) {
    const u8* field = &file[table + e * entry];
    const size_t offset = base + (v1 ? SLLoadLE32(field) : SLLoadLE64(field));
    const size_t size = v1 ? SLLoadLE32(field + 4) : SLLoadLE64(field + 8);
    for (size_t p = offset; p < offset + size;) {
      const size_t length = SLLoadLE32(&file[p]);
      packets.emplace(v1 ? SLLoadLE32(&file[p + 8]) : SLLoadLE64(&file[p + 16]), std::pair(p + headBytes, length));
      p += headBytes + length;
    }
  }
  Bytes out;
  for (const auto& [number, where] : packets) {
    ogg_packet packet{const_cast<u8*>(&file[where.first]), long(where.second), 0, 0, -1, ogg_int64_t(number)};
    if (vorbis_synthesis(&block, &packet) == 0) vorbis_synthesis_blockin(&dsp, &block);
    float** pcm;
    for (int n; (n = vorbis_synthesis_pcmout(&dsp, &pcm)) > 0; vorbis_synthesis_read(&dsp, n))
      for (int i = 0; i < n; ++i)
        for (int c = 0; c < info.channels; ++c) {
          const double v = std::clamp(double(pcm[c][i]) * (bits == 8 ? 127.0 : 32767.0), -32767.0, 32767.0);
          if (bits == 8) {
            out.push_back(u8(128 + std::clamp(int(v), -127, 127)));
          } else {
            out.push_back(u8(int16_t(v)));
            out.push_back(u8(int16_t(v) >> 8));
          }
        }
  }
  vorbis_block_clear(&block);
  vorbis_dsp_clear(&dsp);
  vorbis_comment_clear(&comment);
  vorbis_info_clear(&info);
  return out;
}

TEST_F(MxvFiles, SoundReadsBackExactly) {
  struct Case {
    u32 version, codec, rate, bits, channels;
    double seconds;
  } cases[] = {
      {1, 1, 11025, 8, 1, 2.3}, {2, 1, 44100, 16, 2, 2.7}, {2, 1, 22050, 16, 1, 1.0},
      {1, 2, 22050, 16, 2, 3.4}, {2, 2, 44100, 16, 1, 100000 / 44100.0}, {2, 2, 11025, 8, 2, 2.5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "v" << c.version << " codec " << c.codec << " " << c.rate << " Hz " << c.bits
                                    << " bits " << c.channels << " ch");
    const slmxv::AudioSettings audio{
        .codec = c.codec, .samplesPerSecond = c.rate, .bitsPerSample = c.bits, .channels = c.channels};
    const Bytes samples = Noise(dir, audio, c.seconds);
    const u32 align = c.bits / 8 * c.channels;
    const u64 length = samples.size() / align;
    const std::string path = dir.Host("sound.mxv");
    const slmxv::WriteSummary summary = WriteMovie(path, {c.version, nullptr, nullptr, &audio, &samples});
    EXPECT_EQ(summary.audioBlocks, (length + c.rate - 1) / c.rate);
    const Bytes reference = c.codec == 1 ? samples : ContinuousVorbis(ReadFile(path), c.bits);
    ASSERT_GE(reference.size(), length * align);
    CSLVideoAudioReaderMXV reader;
    u32 streams = 0, type = 0;
    u64 readLength = 0;
    ASSERT_TRUE(reader.OpenFile(path.c_str(), 0) && reader.GetStreamCount(&streams) &&
                reader.GetStreamType(0, &type) && reader.GetAudioLength(0, &readLength) && reader.StartStream(0));
    EXPECT_EQ(streams, 1u);
    EXPECT_EQ(type, u32(SL_STREAM_AUDIO));
    EXPECT_EQ(readLength, length);
    // From the start in 2,205-frame pieces, as playback reads.
    Bytes read;
    for (u64 first = 0;; first += 2205) {
      const void* data = nullptr;
      u32 got = 0;
      ASSERT_TRUE(reader.ReadAudio(0, first, 2205, &data, &got));
      if (got == 0) break;
      read.insert(read.end(), static_cast<const u8*>(data), static_cast<const u8*>(data) + got * align);
    }
    ASSERT_EQ(read.size(), length * align);
    EXPECT_TRUE(read == Bytes(reference.begin(), reference.begin() + read.size()));
    if (length == 100000) {
      const void* data = nullptr;
      u32 got = 0;
      EXPECT_TRUE(reader.ReadAudio(0, 88200, 20000, &data, &got));
      EXPECT_EQ(got, 11800u);
    }
    if (c.codec != 1) continue;
    std::mt19937 rng(c.rate);
    for (int trial = 0; trial < 200; ++trial) {
      const u64 first = rng() % (length + 10);
      const u32 count = rng() % 60000;
      const void* data = nullptr;
      u32 got = 0;
      ASSERT_TRUE(reader.ReadAudio(0, first, count, &data, &got));
      ASSERT_EQ(got, first >= length ? 0 : std::min<u64>(count, length - first));
      ASSERT_EQ(std::memcmp(data, &samples[first * align], size_t(got) * align), 0) << first;
    }
  }
}

// A zlib stream of `bytes`, as a block-delta frame is stored.
Bytes Zlib(const Bytes& bytes) {
  uLongf size = compressBound(bytes.size());
  Bytes out(size);
  EXPECT_EQ(compress(out.data(), &size, bytes.data(), bytes.size()), Z_OK);
  out.resize(size);
  return out;
}

constexpr u8 kTheoraIdent[] = {0x80, 't', 'h', 'e', 'o', 'r', 'a'};

// Writer-made files patched into damaged ones: each fails with its code at Open or at the
// step that meets the damage, and a failed picture keeps the last good one.
TEST_F(MxvFiles, DamagedFilesFailWithTheirCodes) {
  const Bytes pictures = Pictures(dir, 21, 13, 6);
  slmxv::VideoSettings zip{.width = 21, .height = 13};
  const slmxv::VideoSettings theora{.codec = 3, .width = 21, .height = 13};
  const slmxv::AudioSettings mono{.codec = 2}, pcm;
  const Bytes monoSamples = Noise(dir, mono, 1.5), pcmSamples = Noise(dir, pcm, 1.5);
  WriteMovie(dir.Host("zip.mxv"), {2, &zip, &pictures, &mono, &monoSamples});
  WriteMovie(dir.Host("theora.mxv"), {2, &theora, &pictures});
  zip.bitsPerPixel = 8;
  WriteMovie(dir.Host("old.mxv"), {1, &zip, &pictures, &pcm, &pcmSamples});
  using Patch = std::function<void(Bytes&, std::map<std::string, std::pair<size_t, size_t>>&)>;
  // The size field of a chunk's head (version 2: u64; version 1: u32).
  auto sizeField = [](Bytes& f, auto& c, const char* tag) { return &f[c[tag].first - (f[0] == 'A' ? 4 : 8)]; };
  enum Step { kOpen, kStartVideo, kStartAudio, kFrame, kAudio };
  struct Case {
    const char* name;
    const char* base;
    Patch patch;
    Step step;
    u32 code;
  } cases[] = {
      {"first byte X", "zip", [](Bytes& f, auto&) { f[0] = 0x58; }, kOpen, SL_E_MALFORMED},
      {"version 3", "zip", [](Bytes& f, auto&) { f[10] = 3; }, kOpen, SL_E_UNSUPPORTED_VARIANT},
      {"magic", "old", [](Bytes& f, auto&) { f[9] = 'W'; }, kOpen, SL_E_NULL_DATA},
      {"FHDR size", "zip", [&](Bytes& f, auto& c) { *sizeField(f, c, "FHDR") = 45; }, kOpen, SL_E_MALFORMED},
      {"VTBL size", "zip", [&](Bytes& f, auto& c) { *sizeField(f, c, "VTBL") -= 28; }, kOpen, SL_E_MALFORMED},
      {"ATBL size", "old", [&](Bytes& f, auto& c) { *sizeField(f, c, "ATBL") -= 8; }, kOpen, SL_E_MALFORMED},
      {"VPAL size", "old", [&](Bytes& f, auto& c) { *sizeField(f, c, "VPAL") = 1; }, kOpen, SL_E_MALFORMED},
      {"chunk size near 2^64", "zip",
       [&](Bytes& f, auto& c) { SLStoreLE64(sizeField(f, c, "DATA"), ~u64(0) - 11); }, kOpen, SL_E_MALFORMED},
      {"frame past the end", "zip", [](Bytes& f, auto& c) { SLStoreLE64(&f[c["VTBL"].first + 28], f.size() - 1); },
       kOpen, SL_E_MALFORMED},
      {"block past the end", "old", [](Bytes& f, auto& c) { SLStoreLE32(&f[c["ATBL"].first + 4], 0x7FFFFFFF); },
       kOpen, SL_E_MALFORMED},
      {"width 17000", "zip", [](Bytes& f, auto& c) { SLStoreLE16(&f[c["FHDR"].first + 8], 17000); }, kOpen,
       SL_E_MEDIA_VIDEO_FORMAT},
      {"rate 8000", "old", [](Bytes& f, auto& c) { SLStoreLE16(&f[c["FHDR"].first + 20], 8000); }, kOpen,
       SL_E_AUDIO_FORMAT},
      {"Theora frame smaller than the header", "theora",
       [](Bytes& f, auto& c) { SLStoreLE16(&f[c["FHDR"].first + 8], 40); }, kStartVideo, SL_E_MEDIA_VIDEO_FORMAT},
      {"audio length near 2^64", "zip", [](Bytes& f, auto& c) { SLStoreLE64(&f[c["FHDR"].first + 20], ~u64(0)); },
       kOpen, SL_E_OUT_OF_MEMORY},
      {"Theora frame far larger than the header", "theora",
       [](Bytes& f, auto&) {
         // The identification packet's frame size in macroblocks: 100 x 100.
         const size_t ident = std::search(f.begin(), f.end(), kTheoraIdent, kTheoraIdent + 7) - f.begin();
         SLStoreBE32(&f[ident + 10], 0x00640064);
       },
       kStartVideo, SL_E_MEDIA_VIDEO_FORMAT},
      {"stereo header over mono Vorbis", "zip", [](Bytes& f, auto& c) { f[c["FHDR"].first + 34] = 2; }, kStartAudio,
       SL_E_AUDIO_FORMAT},
      {"long Theora packet", "theora",
       [](Bytes& f, auto& c) {
         const size_t frame = SLLoadLE64(&f[c["VTBL"].first + 28]), size = SLLoadLE64(&f[c["VTBL"].first + 36]);
         SLStoreLE32(&f[frame], u32(size - 23));
       },
       kFrame, SL_E_MALFORMED},
      {"mode 2", "zip", [](Bytes& f, auto& c) { f = Bytes(); (void)c; }, kFrame, SL_E_MALFORMED},
      {"truncated frame", "zip", [](Bytes& f, auto& c) { f = Bytes(); (void)c; }, kFrame, SL_E_MALFORMED},
      {"PCM block size", "old", [](Bytes& f, auto& c) { SLStoreLE32(&f[c["ATBL"].first + 4], 10); }, kAudio,
       SL_E_MALFORMED},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes file = ReadFile(dir.Host(std::string(c.base) + ".mxv"));
    auto chunks = Chunks(file);
    c.patch(file, chunks);
    if (file.empty()) {
      // Frame 1 replaced by a shorter zlib stream: mode 2, or mode 0 with too few blocks.
      file = ReadFile(dir.Host("zip.mxv"));
      const Bytes frame = Zlib(c.name[0] == 'm' ? Bytes(400, 2) : Bytes(1 + 3 * 192, 0));
      const size_t entry = chunks["VTBL"].first + 28;
      ASSERT_LE(frame.size(), SLLoadLE64(&file[entry + 8]));
      std::memcpy(&file[SLLoadLE64(&file[entry])], frame.data(), frame.size());
      SLStoreLE64(&file[entry + 8], frame.size());
    }
    WriteFile(dir.Host("damaged.mxv"), file);
    CSLVideoAudioReaderMXV reader;
    const u32 openCode = Code(reader.OpenFile(dir.Host("damaged.mxv").c_str(), 0));
    EXPECT_EQ(openCode, c.step == kOpen ? c.code : SL_OK);
    if (c.step == kOpen) continue;
    if (c.step == kStartVideo || c.step == kStartAudio) {
      EXPECT_EQ(Code(reader.StartStream(c.step == kStartVideo ? 0 : 1)), c.code);
      continue;
    }
    const void* data = nullptr;
    u32 got = 0;
    if (c.step == kAudio) {
      ASSERT_TRUE(reader.StartStream(1));
      EXPECT_EQ(Code(reader.ReadAudio(1, 100, 10, &data, &got)), c.code);
      continue;
    }
    ASSERT_TRUE(reader.StartStream(0) && reader.GetVideoFrame(0, 0, &data, nullptr));
    const Bytes first = PictureRows(data, 21, 13, 24);
    EXPECT_EQ(Code(reader.GetVideoFrame(0, 1, &data, nullptr)), c.code);
    const u64 decoded = reader.GetDecodedFrameCount();
    ASSERT_TRUE(reader.GetVideoFrame(0, 0, &data, nullptr));
    EXPECT_EQ(reader.GetDecodedFrameCount(), decoded);
    EXPECT_EQ(PictureRows(data, 21, 13, 24), first);
  }
}

TEST_F(MxvFiles, StreamsFollowTheCallingRules) {
  const Bytes pictures = Pictures(dir, 21, 13, 6);
  const slmxv::VideoSettings video{.width = 21, .height = 13};
  slmxv::AudioSettings audio;
  const Bytes samples = Noise(dir, audio, 0.5);
  WriteMovie(dir.Host("both.mxv"), {1, &video, &pictures, &audio, &samples});
  EXPECT_EQ(CSLBaseVideoAudioReader::FindReaderClassByExtension("C:\\Sfx\\Cargando.MXV"),
            CSLVideoAudioReaderMXV::GetClassRecord());
  CSLVideoAudioReaderMXV reader;
  const Bytes head = ReadFile(dir.Host("both.mxv"));
  EXPECT_TRUE(reader.CheckSignature(head.data(), 13));
  EXPECT_FALSE(reader.CheckSignature("MXV File.", 9));
  EXPECT_EQ(Code(reader.CheckSignature("MXV", 3)), SL_E_INVALID_ARG);
  const void* data = nullptr;
  u32 got = 0, type = 0, streams = 0;
  u64 size = 9;
  EXPECT_EQ(Code(reader.GetStreamCount(&streams)), SL_E_STORAGE_NOT_OPEN);
  ASSERT_TRUE(reader.OpenFile(dir.Host("both.mxv").c_str(), 0) && reader.GetStreamCount(&streams));
  EXPECT_EQ(streams, 2u);
  EXPECT_TRUE(reader.GetStreamType(1, &type) && type == SL_STREAM_AUDIO);
  EXPECT_EQ(Code(reader.GetStreamType(2, &type)), SL_E_MEDIA_NO_STREAM);
  EXPECT_EQ(type, u32(SL_STREAM_UNKNOWN));
  EXPECT_EQ(Code(reader.GetVideoFrame(0, 0, &data, nullptr)), SL_E_NOT_STARTED);
  EXPECT_EQ(Code(reader.ReadAudio(0, 0, 1, &data, &got)), SL_E_MEDIA_NOT_AUDIO);
  EXPECT_EQ(Code(reader.ReadRawFrame(1, 0, nullptr, &size)), SL_E_MEDIA_NOT_VIDEO);
  EXPECT_TRUE(reader.ReadRawFrame(0, 0, nullptr, &size));
  EXPECT_EQ(size, 0u);
  ASSERT_TRUE(reader.StartStream(0) && reader.StartStream(1));
  EXPECT_EQ(Code(reader.StartStream(1)), SL_E_ALREADY_STARTED);
  ASSERT_TRUE(reader.ReadAudio(1, 0, 100, &data, &got));
  const Bytes before(static_cast<const u8*>(data), static_cast<const u8*>(data) + 200);
  ASSERT_TRUE(reader.StopStream(1));
  EXPECT_EQ(Code(reader.StopStream(1)), SL_E_NOT_STARTED);
  ASSERT_TRUE(reader.StartStream(1) && reader.ReadAudio(1, 0, 100, &data, &got));
  EXPECT_EQ(Bytes(static_cast<const u8*>(data), static_cast<const u8*>(data) + 200), before);
  EXPECT_TRUE(reader.ReadAudio(1, 11024, 1000, &data, &got) && got == 1);
  EXPECT_TRUE(reader.ReadAudio(1, 11025, 1000, &data, &got) && got == 0);
}

// mediadump over an MXV: its pictures as BMP files (read back by ImageMagick) and its sound
// as a WAV file, both equal to what the writer was given.
TEST_F(MxvFiles, MediaDumpWritesPicturesAndSound) {
  const Bytes pictures = Pictures(dir, 21, 13, 6);
  const slmxv::VideoSettings video{.codec = 2, .width = 21, .height = 13};
  slmxv::AudioSettings audio;
  const Bytes samples = Noise(dir, audio, 0.7);
  WriteMovie(dir.Host("dump.MXV"), {2, &video, &pictures, &audio, &samples});
  const std::string command = std::string(SL_BINARY_DIR) + "/tools/mediadump " + dir.Host("dump.MXV") + " --audio " +
                              dir.Host("dump.wav") + " --frames " + dir.Host() + " >/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  const Bytes wav = ReadFile(dir.Host("dump.wav"));
  ASSERT_EQ(wav.size(), 44 + samples.size());
  EXPECT_TRUE(Bytes(wav.begin() + 44, wav.end()) == samples);
  for (u32 frame = 0; frame < 6; ++frame) {
    const std::string bmp = dir.Host("frame0000" + std::to_string(frame) + ".bmp");
    ASSERT_EQ(std::system(("convert " + bmp + " -depth 8 bgr:" + dir.Host("frame.bgr")).c_str()), 0);
    EXPECT_TRUE(ReadFile(dir.Host("frame.bgr")) ==
                Bytes(pictures.begin() + frame * 21 * 13 * 3, pictures.begin() + (frame + 1) * 21 * 13 * 3))
        << frame;
  }
}

// A Vorbis block whose packets end before its frames do (the table cut short) ends in
// silence, not in the samples of the block decoded before it.
TEST_F(MxvFiles, VorbisBlockTheTableCannotFillEndsInSilence) {
  const slmxv::AudioSettings audio{.codec = 2};
  const Bytes samples = Noise(dir, audio, 1.9);
  WriteMovie(dir.Host("cut.mxv"), {2, nullptr, nullptr, &audio, &samples});
  Bytes file = ReadFile(dir.Host("cut.mxv"));
  auto chunks = Chunks(file);
  const size_t entry = chunks["ATBL"].first + 16, block = SLLoadLE64(&file[entry]);
  size_t kept = 0;
  for (int packet = 0; packet < 4; ++packet) kept += 24 + SLLoadLE32(&file[block + kept]);
  SLStoreLE64(&file[entry + 8], kept);
  WriteFile(dir.Host("cut.mxv"), file);
  CSLVideoAudioReaderMXV reader;
  const void* data = nullptr;
  u32 got = 0;
  ASSERT_TRUE(reader.OpenFile(dir.Host("cut.mxv").c_str(), 0) && reader.StartStream(0));
  ASSERT_TRUE(reader.ReadAudio(0, 0, 22050, &data, &got) && got == 22050);
  const u32 rest = u32(samples.size() / 2 - 22050);
  ASSERT_TRUE(reader.ReadAudio(0, 22050, rest, &data, &got) && got == rest);
  const auto* sound = static_cast<const i16*>(data);
  EXPECT_NE(std::count(sound, sound + 1000, 0), 1000);
  EXPECT_EQ(std::count(sound + 8000, sound + rest, 0), rest - 8000);
}

}  // namespace
