// Writes MXV movies, the framework's own container (the system itself only reads them):
// versions 1 and 2; video as 8x8 block-delta pictures compressed per frame with the
// framework's deflate (codec 1, zlib-wrapped) or LZW (codec 2) codec, or as Theora
// (codec 3, libtheoraenc); sound as PCM (codec 1) or Vorbis (codec 2, libvorbisenc).
//
// Layout written: magic, "FHDR", "VPAL" (8 bits), "VHDR" (Theora), "AHDR" (Vorbis),
// "DATA" with the frames and the one-second sound blocks interleaved in time order, then
// "VTBL" and "ATBL"; the header's counts and DATA's size are filled in by Finish.
//
// Block-delta pictures: a frame at a multiple of the key interval stores every block
// (mode 0, key flag); another stores only the blocks that changed behind a change map
// (mode 1) when that is fewer, and an unchanged picture becomes a size-0 frame that
// repeats the previous one. 8-bit pictures use the fixed palette of Palette().
//
// Vorbis blocks: packet k yields the sample frames [g(k-1), g(k)). Block 0 holds the
// packets from the first up to the first whose output reaches the block's end; block b > 0
// starts again with the last-but-one packet of block b-1, its head granule moved back by
// the overlap that re-fed packet yields (see the reader), and ends the same way. Every
// other packet's head carries g(k-1), the first sample it yields.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace slmxv {

struct TheoraEncoder;
struct VorbisEncoder;

struct VideoSettings {
  uint32_t codec = 1;  // 1 deflate, 2 LZW, 3 Theora
  uint32_t width = 0, height = 0;
  uint32_t bitsPerPixel = 24;  // 8 (fixed palette), 16 (5-6-5) or 24; Theora is read as 24
  uint32_t framesPerSecond = 15;
  uint32_t keyInterval = 8;  // every this many frames a key frame (1: all of them)
  bool repeats = true;       // an unchanged picture is stored as a size-0 frame
  bool changeMaps = true;    // other frames store only their changed blocks
  int theoraQuality = 48;    // 0..63
};

struct AudioSettings {
  uint32_t codec = 1;  // 1 PCM, 2 Vorbis
  uint32_t samplesPerSecond = 22050;  // 11,025, 22,050 or 44,100
  uint32_t bitsPerSample = 16;        // 8 (unsigned) or 16: the samples given and read back
  uint32_t channels = 1;              // 1 or 2
  float vorbisQuality = 0.4f;         // -0.1 .. 1.0
};

// What Finish wrote, for reports and tests.
struct WriteSummary {
  uint64_t frames = 0, keyFrames = 0, repeatFrames = 0, mappedFrames = 0;
  uint64_t audioFrames = 0, audioBlocks = 0, vorbisPackets = 0;
  uint64_t fileBytes = 0;
};

class MxvWriter {
 public:
  MxvWriter();
  ~MxvWriter();
  MxvWriter(const MxvWriter&) = delete;
  MxvWriter& operator=(const MxvWriter&) = delete;

  // Starts the file (once per writer); `video` or `audio` may be null (not both). False with a message for
  // settings the format cannot hold.
  bool Create(const std::string& path, uint32_t version, const VideoSettings* video, const AudioSettings* audio,
              std::string* error);
  // The whole sound, interleaved in the declared format; once, before Finish.
  bool SetAudio(const void* samples, uint64_t frames, std::string* error);
  // One picture: width x height pixels of blue, green, red, top row first.
  bool AddFrame(const uint8_t* bgr, std::string* error);
  bool Finish(std::string* error);
  const WriteSummary& Summary() const { return m_summary; }

  // The 256 colours (red, green, blue) of 8-bit movies: 3 bits red, 3 green, 2 blue.
  static const uint8_t* Palette();
  // A BGR picture in a stored pixel layout, rows top-down, width x bits / 8 bytes each.
  static std::vector<uint8_t> ConvertPicture(const uint8_t* bgr, uint32_t width, uint32_t height, uint32_t bits);


 private:
  bool Fail(std::string* error, const std::string& message);
  bool Put(const void* data, size_t size);
  bool PutChunkHead(const char* tag, uint64_t size);
  bool PutPacketHead(uint32_t length, uint64_t granule, uint64_t number);
  uint64_t Position();
  bool WriteBlocksUpTo(uint64_t block);
  bool WriteHeaderChunk(const char* tag, const std::vector<std::vector<uint8_t>>& packets);
  bool WriteBlockDelta(const uint8_t* bgr, bool key, std::string* error);
  bool WriteTheora(const uint8_t* bgr, std::string* error);
  void Abandon();

  FILE* m_file = nullptr;
  std::string m_temporary;  // where the movie is written until Finish renames it
  std::string m_path;
  uint32_t m_version = 2;
  bool m_hasVideo = false, m_hasAudio = false;
  VideoSettings m_video;
  AudioSettings m_audio;
  uint64_t m_headerPayload = 0;  // where FHDR's payload starts
  uint64_t m_dataPayload = 0;    // where DATA's payload starts
  struct FrameEntry {
    uint64_t offset, size;
    uint32_t flags;
  };
  struct BlockEntry {
    uint64_t offset, size;
  };
  std::vector<FrameEntry> m_frames;
  std::vector<BlockEntry> m_blocks;
  std::vector<uint8_t> m_previous;  // the last picture in its stored layout (block-delta)
  std::vector<uint8_t> m_lastBgr;   // the last picture given (Theora repeats)
  // The sound, ready to write: per block its bytes (PCM) or packets with heads.
  std::vector<std::vector<uint8_t>> m_blockPayloads;
  uint64_t m_audioFrames = 0;
  bool m_audioSet = false;
  uint64_t m_blocksWritten = 0;
  TheoraEncoder* m_theora = nullptr;
  VorbisEncoder* m_vorbis = nullptr;
  WriteSummary m_summary;
};

}  // namespace slmxv
