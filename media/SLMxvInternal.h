// The state an open MXV reader keeps, shared by its container, video and audio parts.
#pragma once

#include <theora/theora.h>
#include <vorbis/codec.h>

#include "foundation/SLTypes.h"
#include "storage/SLBaseStorage.h"
#include "storage/SLCompress.h"

namespace SLInternals {

inline constexpr u64 kMxvNone = ~u64(0);
inline constexpr u32 kMxvNoStream = ~u32(0);
// Pictures wider or taller than this are refused: no movie of the system comes near it,
// and it keeps every picture and work buffer far below 32-bit sizes.
inline constexpr u32 kMxvMaxSide = 16384;

enum : u32 {
  kMxvVideoZip = 1,
  kMxvVideoLzw = 2,
  kMxvVideoTheora = 3,
  kMxvAudioPcm = 1,
  kMxvAudioVorbis = 2,
};

struct SLMxvFrame {
  u64 offset;  // absolute
  u64 size;    // 0: the frame repeats the previous picture
  u32 flags;   // bit 0: key frame
};

struct SLMxvBlock {
  u64 offset;  // absolute
  u64 size;
};

// The packet head in front of every Theora frame and Vorbis packet.
struct SLMxvPacketHead {
  u64 length;
  u64 granule;
  u64 number;
};

// Reads the packet head at data[0, available): false when the head or its packet does not
// fit. `*headSize` gets the head's own size.
bool SLMxvReadPacketHead(u32 version, const u8* data, u64 available, SLMxvPacketHead* head, u32* headSize);

// Theora's Y'CbCr (studio range, BT.601) to RGB in 16.16 fixed point, built once per
// stream: each table entry is its factor times (i - 16) or (i - 128), truncated toward zero.
struct SLMxvColourTables {
  i32 luma[256], blueFromU[256], greenFromU[256], greenFromV[256], redFromV[256];
};
void SLMxvBuildColourTables(SLMxvColourTables* tables);
// Converts the top-left width x height of 4:2:0 planes into 24-bit BGR rows written
// bottom-up: picture row r goes to pixels + (height - 1 - r) * stride. `vectorised` false
// keeps to the table lookups (the reference the vector path is held to).
void SLMxvConvertYuv420(const SLMxvColourTables& tables, const u8* y, i64 yStride, const u8* u, const u8* v,
                        i64 uvStride, u32 width, u32 height, u8* pixels, u32 stride, bool vectorised = true);

// Reads `size` bytes at `offset`; a short read without a code from the storage ends the
// data early (0x80020036).
bool SLMxvReadAt(CSLBaseStorage* storage, u64 offset, void* buffer, u64 size);

}  // namespace SLInternals

struct SLMxvState {
  u32 version;
  u64 fileSize;
  u32 openFlags;  // kept; they change nothing
  // File header.
  u64 frameCount;
  u32 width, height, bitsPerPixel, framesPerSecond, videoCodec;
  u64 audioLength;
  u32 samplesPerSecond, bitsPerSample, channels, audioCodec;
  u8 palette[768];
  SLInternals::SLMxvFrame* frames;
  SLInternals::SLMxvBlock* blocks;
  u64 blockCount;
  u64 decodedFrames;  // pictures decoded since Open

  // Video stream, from StartStream to StopStream.
  u32 videoStream;
  bool videoStarted;
  u64 lastFrame;  // kMxvNone: nothing decoded
  u8* frameBuffer;  // one stored frame
  u8* picture;      // the bitmap handed out
  u32 pictureSize;
  u8* pixels;       // its rows, bottom row first
  u32 stride;
  CSLBaseCompress* decompressor;
  u32 paddedWidth, paddedHeight;
  u32 mapBytes;
  u8* work;  // one decompressed block-delta frame
  u32 workSize;
  bool theoraReady;     // info and comment initialised
  bool theoraDecoding;  // decoder initialised
  theora_info theoraInfo;
  theora_comment theoraComment;
  theora_state theoraDecoder;
  SLInternals::SLMxvColourTables colourTables;

  // Audio stream.
  u32 audioStream;
  bool audioStarted;
  u8* blockBuffer;  // one stored block
  u32 blockAlign;
  u8* decodedBlock;  // one decoded block (samples-per-second frames)
  bool vorbisReady;  // info and comment initialised
  bool vorbisDecoding;
  bool vorbisBlockReady;
  vorbis_info vorbisInfo;
  vorbis_comment vorbisComment;
  vorbis_dsp_state vorbisDsp;
  vorbis_block vorbisBlock;
  u64 cachedBlock;  // kMxvNone: none
  u8* output;       // handed to ReadAudio's callers
  u32 outputCapacity;
};
