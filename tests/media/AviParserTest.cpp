// The AVI parser against ffmpeg: files that ffmpeg writes with six video and six audio codecs
// are indexed to exactly the packets ffprobe lists; their rewrites (OpenDML in two RIFF parts,
// idx1 absolute and relative, no index, junk, "rec " lists, odd chunks) give the same chunks;
// damaged indexes are refused quickly.
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "media/avi/AviParser.h"
#include "storage/SLFileStorage.h"
#include "storage/SLMemoryStorage.h"
#include "tests/support/TestSupport.h"
#include "tools/common/AviIndexSummary.h"

namespace {

struct Packet {
  u32 stream;
  u64 position;
  u32 size;
  bool key;
  double time;  // seconds; negative when ffprobe gives none
};

std::string Run(const std::string& command) {
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, got);
    pclose(pipe);
  }
  return out;
}

std::vector<Packet> Probe(const std::string& path) {
  std::vector<Packet> packets;
  std::string csv = Run("ffprobe -v error -show_packets -show_entries packet=stream_index,pts_time,size,pos,flags "
                        "-of csv=p=0 '" + path + "'");
  size_t start = 0;
  while (start < csv.size()) {
    size_t end = csv.find('\n', start);
    std::string line = csv.substr(start, end - start);
    start = end == std::string::npos ? csv.size() : end + 1;
    unsigned stream = 0, size = 0;
    unsigned long long position = 0;
    char time[32] = {0}, flags[8] = {0};
    if (sscanf(line.c_str(), "%u,%31[^,],%u,%llu,%7s", &stream, time, &size, &position, flags) != 5) continue;
    packets.push_back({stream, position, size, flags[0] == 'K', time[0] == 'N' ? -1.0 : atof(time)});
  }
  return packets;
}

struct Codecs {
  const char* name;
  const char* arguments;
  bool intraVideo;  // the parser takes every frame as a key frame without an index
};

const Codecs kCodecs[] = {
    {"raw_s16", "-c:v rawvideo -pix_fmt bgr24 -c:a pcm_s16le", true},
    {"cram_u8", "-c:v msvideo1 -c:a pcm_u8", false},
    {"cvid_ima", "-c:v cinepak -c:a adpcm_ima_wav", false},
    {"hfyu_mp2", "-c:v huffyuv -c:a mp2", true},
    {"mjpg_mp3cbr", "-c:v mjpeg -c:a libmp3lame -b:a 64k", true},
    {"mp4v_mp3vbr", "-c:v mpeg4 -g 12 -c:a libmp3lame -q:a 4", false},
};

const char* const kIndexedVariants[] = {"idx1rel", "idx1abs", "opendml2", "opendml3", "oddnopad", "info", "rate0"};
const char* const kScannedVariants[] = {"noindex", "junk", "rec", "avixnoindex"};

// One open file: the parser over a file storage.
struct OpenAvi {
  CSLFileStorage file;
  AviParser parser;
  bool ok = false;
  explicit OpenAvi(const std::string& path) {
    ok = file.OpenA(path.c_str(), SL_STORAGE_READ) && parser.Open(&file, 0);
  }
};

u32 PayloadCrc(AviParser& parser, u32 stream, u64 entry) {
  u32 size = 0;
  EXPECT_TRUE(parser.ReadEntry(stream, entry, nullptr, &size));
  std::vector<u8> payload(size);
  EXPECT_TRUE(parser.ReadEntry(stream, entry, payload.data(), &size)) << std::hex << SLGetLastError();
  return u32(crc32(0, payload.data(), uInt(payload.size())));
}

// The ffmpeg files and their rewrites are made once per build tree and version of the
// rewriter (ctest runs every test in a process of its own), into a folder that appears whole.
class AviFiles : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    SLTestRegisterClasses();
    if (std::system("command -v ffmpeg >/dev/null && command -v ffprobe >/dev/null") != 0) return;
    std::string script = std::string(SL_SOURCE_DIR) + "/tools/fixtures/make_avi_variants.py";
    std::ifstream in(script, std::ios::binary);
    std::string recipe(std::istreambuf_iterator<char>(in), {});
    for (const Codecs& codecs : kCodecs) recipe += codecs.arguments;
    std::string root =
        std::string(SL_BINARY_DIR) + "/tests/avi_fixtures_" + std::to_string(std::hash<std::string>()(recipe));
    if (!std::filesystem::exists(root)) {
      std::string work = root + ".part" + std::to_string(getpid());
      std::filesystem::create_directories(work);
      for (const Codecs& codecs : kCodecs) {
        std::string source = work + "/" + codecs.name + ".avi";
        std::string command =
            "ffmpeg -hide_banner -loglevel error -y -f lavfi -i testsrc=size=64x48:rate=12:duration=3 "
            "-f lavfi -i sine=frequency=440:sample_rate=22050:duration=3 " + std::string(codecs.arguments) + " '" +
            source + "' && python3 " + script + " '" + source + "' '" + work + "/" + codecs.name + "'";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
      }
      std::error_code error;
      std::filesystem::rename(work, root, error);  // another test process may have won
      if (error) std::filesystem::remove_all(work);
    }
    s_root = root;
  }
  void SetUp() override {
    if (s_root.empty()) GTEST_SKIP() << "ffmpeg not installed";
  }
  static std::string Source(const Codecs& codecs) { return s_root + "/" + codecs.name + ".avi"; }
  static std::string Variant(const Codecs& codecs, const char* variant) {
    return s_root + "/" + codecs.name + "/" + variant + ".avi";
  }

  // Each stream's entries against ffprobe's packets of the same file, in order. Empty chunks
  // (frames the encoder dropped) are not packets.
  static void ExpectPackets(AviParser& parser, const std::string& path, bool compareKeys) {
    std::vector<Packet> packets = Probe(path);
    ASSERT_FALSE(packets.empty()) << path;
    std::map<u32, std::vector<Packet>> byStream;
    for (const Packet& packet : packets) byStream[packet.stream].push_back(packet);
    ASSERT_EQ(parser.GetStreamCount(), byStream.size()) << path;
    for (auto& [stream, list] : byStream) {
      AviStreamInfo* info = parser.GetStream(stream);
      std::vector<AviIndexEntry> entries;
      for (u64 e = 0; e < info->entryCount; ++e)
        if (info->entries[e].Size() != 0) entries.push_back(info->entries[e]);
      ASSERT_EQ(entries.size(), list.size()) << path << " stream " << stream;
      for (size_t i = 0; i < list.size(); ++i) {
        const AviIndexEntry& entry = entries[i];
        SCOPED_TRACE(path + " stream " + std::to_string(stream) + " entry " + std::to_string(i));
        EXPECT_TRUE(list[i].position == entry.offset || list[i].position == entry.offset + 8) << entry.offset;
        EXPECT_EQ(list[i].size, entry.Size());
        if (compareKeys) {
          EXPECT_EQ(list[i].key, entry.IsKey());
        }
      }
    }
  }

  static std::string s_root;
};
std::string AviFiles::s_root;

TEST_F(AviFiles, EntriesAreFfprobesPackets) {
  for (const Codecs& codecs : kCodecs) {
    for (const char* variant : {"", "idx1abs", "opendml2", "opendml3", "oddnopad", "noindex", "junk"}) {
      std::string path = *variant ? Variant(codecs, variant) : Source(codecs);
      OpenAvi avi(path);
      ASSERT_TRUE(avi.ok) << path << std::hex << " " << SLGetLastError();
      // Without an index the key frames are the parser's own guess, not the codec's; ffprobe
      // reads no field index (3 longs per entry) and then calls every frame a key frame.
      ExpectPackets(avi.parser, path, !avi.parser.IsIndexRebuilt() && std::string(variant) != "opendml3");
    }
  }
}

TEST_F(AviFiles, RewrittenFilesGiveTheSameChunks) {
  for (const Codecs& codecs : kCodecs) {
    OpenAvi source(Source(codecs));
    ASSERT_TRUE(source.ok);
    EXPECT_FALSE(source.parser.IsIndexRebuilt());
    auto check = [&](const char* variant, bool scanned) {
      std::string path = Variant(codecs, variant);
      SCOPED_TRACE(path);
      OpenAvi avi(path);
      ASSERT_TRUE(avi.ok) << std::hex << SLGetLastError();
      EXPECT_EQ(avi.parser.IsIndexRebuilt(), scanned);
      ASSERT_EQ(avi.parser.GetStreamCount(), source.parser.GetStreamCount());
      for (u32 s = 0; s < source.parser.GetStreamCount(); ++s) {
        AviStreamInfo* want = source.parser.GetStream(s);
        AviStreamInfo* got = avi.parser.GetStream(s);
        ASSERT_EQ(got->entryCount, want->entryCount) << "stream " << s;
        EXPECT_EQ(got->totalBytes, want->totalBytes);
        EXPECT_EQ(got->length, want->length);
        bool video = got->header.type == AviFourCC("vids");
        bool seenData = false;
        for (u64 e = 0; e < got->entryCount; ++e) {
          ASSERT_EQ(got->entries[e].Size(), want->entries[e].Size()) << "entry " << e;
          ASSERT_EQ(PayloadCrc(avi.parser, s, e), PayloadCrc(source.parser, s, e)) << "entry " << e;
          // Rebuilt indexes mark every frame of an intra-only codec, else a stream's first
          // non-empty chunk.
          bool key = scanned ? got->entries[e].Size() != 0 && (!seenData || (video && codecs.intraVideo))
                             : want->entries[e].IsKey();
          EXPECT_EQ(got->entries[e].IsKey(), key) << "entry " << e;
          seenData = seenData || got->entries[e].Size() != 0;
        }
      }
    };
    for (const char* variant : kIndexedVariants) check(variant, false);
    for (const char* variant : kScannedVariants) check(variant, true);
  }
}

TEST_F(AviFiles, OpenDmlIndexesReachIntoTheExtensionPart) {
  std::string path = Variant(kCodecs[0], "opendml2");
  std::ifstream in(path, std::ios::binary);
  u64 avix = std::string(std::istreambuf_iterator<char>(in), {}).find("AVIX");
  ASSERT_NE(avix, std::string::npos);
  OpenAvi avi(path);
  ASSERT_TRUE(avi.ok);
  for (u32 s = 0; s < 2; ++s) {
    AviStreamInfo* info = avi.parser.GetStream(s);
    ASSERT_GT(info->entryCount, 1u);
    EXPECT_LT(info->entries[0].offset, avix);
    EXPECT_GT(info->entries[info->entryCount - 1].offset, avix);
  }
  // The dump tool's summary names where the index came from.
  char* text = nullptr;
  size_t length = 0;
  FILE* out = open_memstream(&text, &length);
  EXPECT_EQ(PrintAviIndexSummary(path.c_str(), out), 0u);
  fclose(out);
  EXPECT_NE(std::string(text, length).find("index (OpenDML): 36 entries"), std::string::npos) << text;
  free(text);
}

TEST_F(AviFiles, StreamHeadersAreFinished) {
  // MPEG audio whose chunks are smaller than the format's block is timed by its chunks;
  // MP3 (tag 0x55) becomes a byte stream, MP2 keeps its block.
  for (const Codecs& codecs : {kCodecs[3], kCodecs[4], kCodecs[5]}) {
    SCOPED_TRACE(codecs.name);
    OpenAvi avi(Source(codecs));
    ASSERT_TRUE(avi.ok);
    AviStreamInfo* audio = avi.parser.GetStream(1);
    EXPECT_TRUE(audio->variableBitRate);
    bool mp3 = audio->FormatTag() == 0x55;
    EXPECT_EQ(audio->BlockAlign(), mp3 ? 1u : audio->savedBlockAlign);
    EXPECT_EQ(audio->sampleSize, audio->BlockAlign());
    EXPECT_EQ(audio->length, audio->totalBytes / audio->sampleSize);
    EXPECT_GT(audio->savedBlockAlign, 1u);
  }
  OpenAvi pcm(Source(kCodecs[0]));
  ASSERT_TRUE(pcm.ok);
  EXPECT_FALSE(pcm.parser.GetStream(1)->variableBitRate);
  EXPECT_EQ(pcm.parser.GetStream(1)->sampleSize, 2u);  // 16-bit mono
  EXPECT_EQ(pcm.parser.GetStream(1)->length, 3u * 22050);

  // Rate and scale 0 everywhere, and no frame time in the main header: 15 frames per second.
  OpenAvi rate0(Variant(kCodecs[0], "rate0"));
  ASSERT_TRUE(rate0.ok);
  EXPECT_EQ(rate0.parser.GetStream(0)->header.rate, 15u);
  EXPECT_EQ(rate0.parser.GetStream(0)->header.scale, 1u);
  // Audio falls back to its format's bytes per second and block.
  EXPECT_EQ(rate0.parser.GetStream(1)->header.rate, 22050u * 2);
  EXPECT_EQ(rate0.parser.GetStream(1)->header.scale, 2u * 1);
}

TEST_F(AviFiles, FileTextsAreKept) {
  OpenAvi avi(Variant(kCodecs[1], "info"));
  ASSERT_TRUE(avi.ok);
  const char* name = avi.parser.GetInfoText(AviFourCC("INAM"));
  ASSERT_NE(name, nullptr);
  EXPECT_EQ(strlen(name), 4096u);
  EXPECT_EQ(std::string(name, 3), "ABC");
  EXPECT_STREQ(avi.parser.GetInfoText(AviFourCC("ICMT")), "comentario");
  EXPECT_EQ(avi.parser.GetInfoText(AviFourCC("IART")), nullptr);  // outside an INFO list
  EXPECT_EQ(avi.parser.GetInfoText(AviFourCC("IXYZ")), nullptr);  // not a text tag
  EXPECT_STREQ(avi.parser.GetSegmentText(), "segmento");
  EXPECT_EQ(avi.parser.GetCodePage(), 1252u);
  EXPECT_EQ(avi.parser.GetCountryCode(), 34u);
  EXPECT_EQ(avi.parser.GetLanguage(), 0x0Au);
  EXPECT_EQ(avi.parser.GetDialect(), 3u);
}

// The stream's bytes as its chunks hold them, read chunk by chunk.
std::vector<u8> StreamBytes(AviParser& parser, u32 stream) {
  std::vector<u8> bytes;
  AviStreamInfo* info = parser.GetStream(stream);
  for (u64 e = 0; e < info->entryCount; ++e) {
    u32 size = 0;
    parser.ReadEntry(stream, e, nullptr, &size);
    size_t at = bytes.size();
    bytes.resize(at + size);
    EXPECT_TRUE(parser.ReadEntry(stream, e, bytes.data() + at, &size));
  }
  return bytes;
}

TEST_F(AviFiles, ReadSamplesCutsToWholeFramesAndSamples) {
  for (const Codecs& codecs : kCodecs) {
    SCOPED_TRACE(codecs.name);
    OpenAvi avi(Source(codecs));
    ASSERT_TRUE(avi.ok);
    AviParser& parser = avi.parser;
    // Frames: a buffer smaller than the chunk learns its size; a larger one takes whole chunks.
    AviStreamInfo* video = parser.GetStream(0);
    u64 bytes = 0;
    u32 samples = 0;
    std::vector<u8> buffer(1 << 20);
    u64 f = 1;  // three frames that are not empty (encoders drop frames as empty chunks)
    while (!video->entries[f].Size() || !video->entries[f + 1].Size() || !video->entries[f + 2].Size()) ++f;
    u32 first = video->entries[f].Size();
    EXPECT_FALSE(parser.ReadSamples(0, f, 3, buffer.data(), first - 1, &bytes, &samples));
    EXPECT_EQ(SLGetLastError(), SL_E_BUFFER_TOO_SMALL);
    EXPECT_EQ(bytes, first);
    EXPECT_EQ(samples, 1u);
    u32 two = first + video->entries[f + 1].Size();
    ASSERT_TRUE(parser.ReadSamples(0, f, 3, buffer.data(), two + video->entries[f + 2].Size() - 1, &bytes, &samples));
    EXPECT_EQ(bytes, two);
    EXPECT_EQ(samples, 2u);
    u32 size = 0;
    ASSERT_TRUE(parser.ReadEntry(0, f + 1, nullptr, &size));
    std::vector<u8> second(size);
    ASSERT_TRUE(parser.ReadEntry(0, f + 1, second.data(), &size));
    EXPECT_EQ(0, memcmp(buffer.data() + first, second.data(), size));
    ASSERT_TRUE(parser.ReadSamples(0, f, 3, nullptr, 0, &bytes, &samples));
    EXPECT_EQ(bytes, two + video->entries[f + 2].Size());

    // Samples: sequential and random reads see the stream's bytes, cut to whole blocks.
    AviStreamInfo* audio = parser.GetStream(1);
    std::vector<u8> all = StreamBytes(parser, 1);
    u32 block = audio->sampleSize;
    EXPECT_FALSE(parser.ReadSamples(1, 0, 10, buffer.data(), block - 1, &bytes, &samples));
    EXPECT_EQ(SLGetLastError(), SL_E_BUFFER_TOO_SMALL);
    EXPECT_EQ(bytes, 10u * block);
    u64 position = 0;
    for (u32 step : {1u, 7u, 300u, 1u, 4096u, 13u}) {
      if (position >= audio->length) break;
      u32 room = step * block + block / 2;  // half a block too much: cut away
      ASSERT_TRUE(parser.ReadSamples(1, position, step, buffer.data(), room, &bytes, &samples));
      u64 expected = std::min<u64>(step, audio->length - position);
      EXPECT_EQ(samples, expected);
      ASSERT_EQ(bytes, expected * block);
      EXPECT_EQ(0, memcmp(buffer.data(), all.data() + position * block, bytes)) << position;
      position += samples;
    }
    for (u64 at : {audio->length - 1, u64(0), audio->length / 2}) {
      ASSERT_TRUE(parser.ReadSamples(1, at, 3, buffer.data(), 3 * block, &bytes, &samples));
      EXPECT_EQ(0, memcmp(buffer.data(), all.data() + at * block, bytes)) << at;
    }
    EXPECT_FALSE(parser.ReadSamples(1, audio->length, 1, buffer.data(), block, &bytes, &samples));
    EXPECT_EQ(SLGetLastError(), SL_E_MEDIA_FRAME_RANGE);

    // Bytes: across chunk borders, up to the end and no further.
    u64 got = 0;
    ASSERT_TRUE(parser.ReadBytes(1, all.size() - 5, buffer.data(), 100, &got));
    EXPECT_EQ(got, 5u);
    ASSERT_TRUE(parser.ReadBytes(1, 3, buffer.data(), all.size(), &got));
    EXPECT_EQ(got, all.size() - 3);
    EXPECT_EQ(0, memcmp(buffer.data(), all.data() + 3, got));
    EXPECT_FALSE(parser.ReadBytes(1, all.size(), buffer.data(), 1, &got));
    EXPECT_EQ(SLGetLastError(), SL_E_STORAGE_EOF);
  }
}

TEST_F(AviFiles, ChunkTimesAreFfprobesPacketTimes) {
  // PCM and ADPCM: the time of each chunk's first sample is the packet's time, and the chunk
  // found at that time is the packet's chunk.
  for (const Codecs& codecs : {kCodecs[0], kCodecs[1], kCodecs[2]}) {
    SCOPED_TRACE(codecs.name);
    OpenAvi avi(Source(codecs));
    ASSERT_TRUE(avi.ok);
    std::vector<Packet> packets;
    for (const Packet& packet : Probe(Source(codecs)))
      if (packet.stream == 1) packets.push_back(packet);
    AviStreamInfo* audio = avi.parser.GetStream(1);
    ASSERT_EQ(packets.size(), audio->entryCount);
    for (u64 e = 0; e < audio->entryCount; ++e) {
      u64 first = 0, microseconds = 0, entry = 0, entryMicroseconds = 0;
      ASSERT_TRUE(avi.parser.GetFirstSampleOfEntry(1, e, &first));
      ASSERT_TRUE(avi.parser.GetTimeOfSample(1, first, &microseconds));
      EXPECT_NEAR(double(microseconds), packets[e].time * 1e6, 1.0) << "entry " << e;
      ASSERT_TRUE(avi.parser.GetChunkAtTime(1, microseconds + 1, &entry, &entryMicroseconds));
      EXPECT_EQ(entry, e);
      EXPECT_EQ(entryMicroseconds, microseconds);
      ASSERT_TRUE(avi.parser.GetEntryOfSample(1, first, &entry));
      EXPECT_EQ(entry, e);
    }
    u64 entry = 0, start = 0;
    EXPECT_FALSE(avi.parser.GetChunkAtTime(1, 10'000'000, &entry, &start));
    EXPECT_EQ(SLGetLastError(), SL_E_INVALID_ARG);
  }
}

TEST_F(AviFiles, KeyFramesAreFfprobesKeys) {
  OpenAvi avi(Source(kCodecs[5]));  // mpeg4: key frames where ffprobe says
  ASSERT_TRUE(avi.ok);
  std::vector<Packet> packets = Probe(Source(kCodecs[5]));
  AviStreamInfo* video = avi.parser.GetStream(0);
  u64 lastKey = 0, packet = 0, keys = 0;
  for (u64 frame = 0; frame < video->entryCount; ++frame) {
    bool key = false;
    if (video->entries[frame].Size() != 0) {
      while (packets[packet].stream != 0) ++packet;
      key = packets[packet++].key;
    }
    if (key) lastKey = frame, ++keys;
    u64 previous = frame;
    ASSERT_TRUE(avi.parser.GetPreviousKeyFrame(0, &previous));
    EXPECT_EQ(previous, lastKey);
    EXPECT_EQ(avi.parser.IsKeyFrame(0, frame), key);
  }
  EXPECT_GT(keys, 2u);
  EXPECT_FALSE(avi.parser.IsKeyFrame(0, video->entryCount));
  EXPECT_EQ(SLGetLastError(), SL_E_MEDIA_FRAME_RANGE);
  EXPECT_FALSE(avi.parser.IsKeyFrame(2, 0));
  EXPECT_EQ(SLGetLastError(), SL_E_MEDIA_NO_STREAM);
}

// Damaged files: each fails with its code, quickly, and leaves the parser empty.
TEST_F(AviFiles, DamagedIndexesAreRefused) {
  struct Case {
    const char* variant;
    u32 code;
  } const cases[] = {
      {"bad_selfsuper", SL_E_MALFORMED},    // an index of indexes naming itself
      {"bad_multiplied", SL_E_MALFORMED},   // every super entry naming one index
      {"bad_overlapping", SL_E_MALFORMED},  // more entries than the file has room for
      {"bad_strf4g", SL_E_MALFORMED},       // a format claiming 4 GiB
      {"bad_listbeyond", SL_E_MALFORMED},   // a stream list past the end of the file
  };
  for (const Codecs& codecs : kCodecs) {
    for (const Case& c : cases) {
      std::string path = Variant(codecs, c.variant);
      CSLFileStorage file;
      ASSERT_TRUE(file.OpenA(path.c_str(), SL_STORAGE_READ));
      AviParser parser;
      EXPECT_FALSE(parser.Open(&file, 0)) << path;
      EXPECT_EQ(SLGetLastError(), c.code) << path;
      EXPECT_EQ(parser.GetStreamCount(), 0u);
      EXPECT_EQ(SLGetLastError(), SL_E_NOT_INITIALISED);
    }
  }
}

// Small hand-made files for what ffmpeg never writes.
std::string Chunk(const std::string& id, const std::string& payload) {
  std::string out = id;
  u32 size = u32(payload.size());
  out.append(reinterpret_cast<const char*>(&size), 4);
  out += payload;
  if (size & 1) out += '\0';
  return out;
}
std::string List(const std::string& type, const std::string& body) { return Chunk("LIST", type + body); }
std::string Riff(const std::string& body) { return Chunk("RIFF", "AVI " + body); }
std::string Strl(const std::string& type) {
  std::string strh = type + std::string(52, '\0');
  return List("strl", Chunk("strh", strh));
}

TEST(AviParserShapes, StructureAndBoundaries) {
  SLTestRegisterClasses();
  const std::string movi = List("movi", Chunk("00dc", "abc") + Chunk("00dc", "defg"));
  std::string manyTexts;
  for (int i = 0; i < 150000; ++i) manyTexts += Chunk("ICMT", "");
  struct Case {
    const char* what;
    std::string bytes;
    u32 code;           // 0: opens
    u64 entries;        // of stream 0 when it opens
  } const cases[] = {
      {"not RIFF", "RIFX" + Riff(movi).substr(4), SL_E_MALFORMED, 0},
      {"not AVI", Chunk("RIFF", "WAVE" + movi), SL_E_MALFORMED, 0},
      {"shorter than its header", "RIFF", SL_E_MALFORMED, 0},
      {"no movie data", Riff(List("hdrl", Strl("vids"))), SL_E_MALFORMED, 0},
      {"scanned with odd chunk and pad", Riff(List("hdrl", Strl("vids")) + movi), 0, 2},
      {"movie list of unknown size", Riff(List("hdrl", Strl("vids"))).append("LIST\0\0\0\0movi", 12) +
                                         Chunk("00dc", "x") + Chunk("00dc", "y"), 0, 2},
      {"stray bytes before a chunk", Riff(List("hdrl", Strl("vids")) +
                                          List("movi", std::string("\x01\x02\x03\x04\x05\x06\x07\x08\x09", 9) +
                                                           Chunk("00dc", "abc"))), 0, 1},
      {"list shorter than its type", Riff(List("hdrl", Strl("vids")) + std::string("LIST\x02\0\0\0strl", 12) + movi),
       SL_E_MALFORMED, 0},
      {"150,000 INFO texts", Riff(List("hdrl", Strl("vids")) + List("INFO", manyTexts) + movi), 0, 2},
      {"stream chunk past its list",
       Riff(List("hdrl", List("strl", Chunk("strh", std::string(56, 'v')).substr(0, 40))) + movi),
       SL_E_MALFORMED, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string bytes = c.bytes;
    auto* memory = new CSLMemoryStorage();
    memory->AttachBuffer(bytes.data(), u32(bytes.size()), false);
    AviParser parser;
    auto start = std::chrono::steady_clock::now();
    bool opened = parser.Open(memory, 0);
    EXPECT_EQ(SLGetLastError(), c.code);
    // Not a speed goal: a walk that is quadratic in the texts takes minutes here, a linear
    // one milliseconds; the bound only tells the two apart, with room for a loaded machine.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    EXPECT_EQ(opened, c.code == 0);
    if (opened) {
      EXPECT_EQ(parser.GetStream(0)->entryCount, c.entries);
    }
    parser.Reset();
    memory->Release();
  }
}

// A shift by 64 would mark stream 0 (x86 takes the count modulo 64).
TEST(AviParserShapes, StreamsFromSixtyFourOnAreNeverMarked) {
  SLTestRegisterClasses();
  std::string lists;
  for (int i = 0; i < 66; ++i) lists += Strl("auds");
  std::string bytes = Riff(List("hdrl", lists) + List("movi", Chunk("41wb", "ab")));
  auto* memory = new CSLMemoryStorage();
  memory->AttachBuffer(bytes.data(), u32(bytes.size()), false);
  AviParser parser;
  ASSERT_TRUE(parser.Open(memory, 0));
  ASSERT_EQ(parser.GetStreamCount(), 66u);
  AviStreamInfo* audio = parser.GetStream(0x41);  // "41wb" is stream 65
  EXPECT_EQ(audio->entryCount, 1u);
  // Audio without a format: its values read as 0, so 15 per second and samples of one byte.
  EXPECT_EQ(audio->header.rate, 15u);
  EXPECT_EQ(audio->header.scale, 1u);
  EXPECT_EQ(audio->sampleSize, 1u);
  EXPECT_TRUE(parser.StartStream(64));
  EXPECT_TRUE(parser.StartStream(65));
  EXPECT_FALSE(parser.IsStreamStarted(64) || parser.IsStreamStarted(0) || parser.IsStreamStarted(1));
  EXPECT_TRUE(parser.StartStream(63));
  EXPECT_TRUE(parser.IsStreamStarted(63));
  parser.Reset();
  memory->Release();
}

}  // namespace
