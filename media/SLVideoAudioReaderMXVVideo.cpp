// MXV pictures: the walk from the nearest key frame, block-delta frames and Theora frames
// with their conversion to 24-bit BGR.
#include <bit>

#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "media/SLMxvInternal.h"
#include "media/SLVideoAudioReaderMXV.h"

using namespace SLInternals;

namespace {

// Deflate and LZW input goes to the decompressor in pieces of this size.
constexpr u32 kFeedPiece = 8192;

}  // namespace

bool CSLVideoAudioReaderMXV::GetVideoFrame(u32 stream, u64 frame, const void** picture, u32* size) {
  if (size) *size = 0;
  if (!picture) return SLFail(SL_E_NULL_OUTPUT, false);
  *picture = nullptr;
  if (!CheckStream(stream, SL_STREAM_VIDEO)) return false;
  SLMxvState* s = m_state;
  if (!s->videoStarted) return SLFail(SL_E_NOT_STARTED, false);
  if (frame >= s->frameCount) return SLFail(SL_E_INVALID_ARG, false);
  if (frame != s->lastFrame) {
    u64 start = frame;
    while (start > 0 && !(s->frames[start].flags & 1)) --start;
    // Going on from the picture in hand is cheaper than starting over at the key frame.
    if (s->lastFrame != kMxvNone && s->lastFrame < frame && start <= s->lastFrame) start = s->lastFrame + 1;
    for (u64 f = start; f <= frame; ++f)
      if (!DecodeFrame(f)) return false;
  }
  *picture = s->picture;
  if (size) *size = s->pictureSize;
  return SLSucceed(true);
}

bool CSLVideoAudioReaderMXV::DecodeFrame(u64 frame) {
  SLMxvState* s = m_state;
  const SLMxvFrame& entry = s->frames[frame];
  ++s->decodedFrames;
  if (entry.size != 0) {
    // Open saw every frame inside the file and StartStream sized the buffer for the largest.
    if (!SLMxvReadAt(m_source, entry.offset, s->frameBuffer, entry.size)) return false;
    const bool decoded = s->videoCodec == kMxvVideoTheora ? DecodeTheora(s->frameBuffer, u32(entry.size))
                                                          : DecodeBlockDelta(s->frameBuffer, u32(entry.size));
    if (!decoded) return false;
  }
  s->lastFrame = frame;
  return true;
}

// A block-delta frame after decompression: u8 mode (0 every block stored, 1 a change map
// follows), the map (one bit per block, low bit first), then the stored blocks of 8 x 8
// pixels in the picture's own layout, rows from the top. Blocks cover the picture rounded
// up to 16 pixels; rows of blocks starting below the picture are not stored, blocks
// starting right of it are stored but show nothing. The whole frame is checked before
// anything is painted, so a short or malformed one keeps the last good picture.
bool CSLVideoAudioReaderMXV::DecodeBlockDelta(const u8* data, u32 size) {
  SLMxvState* s = m_state;
  CSLBaseCompress* codec = s->decompressor;
  if (!codec->BeginDecompress()) return false;
  u32 filled = 0;
  bool overflow = false;
  auto drain = [&] {
    const u32 waiting = codec->GetDecompressedSize();
    const u32 take = waiting < s->workSize - filled ? waiting : s->workSize - filled;
    if (take) codec->ReadDecompressed(s->work + filled, take);
    filled += take;
    // More than the largest frame: the rest cannot belong to the picture.
    overflow = waiting > take;
  };
  for (u32 position = 0; position < size && !overflow; position += kFeedPiece) {
    const u32 piece = size - position < kFeedPiece ? size - position : kFeedPiece;
    if (!codec->Decompress(data + position, piece, nullptr)) {
      codec->EndDecompress();
      return SLFail(SL_E_MALFORMED, false);
    }
    drain();
  }
  const bool ended = codec->EndDecompress();
  if (!overflow) {
    if (!ended) return SLFail(SL_E_MALFORMED, false);
    drain();
  }

  if (filled < 1 || s->work[0] > 1) return SLFail(SL_E_MALFORMED, false);
  const bool mapped = s->work[0] == 1;
  const u32 columns = s->paddedWidth / 8;
  const u32 visible = (s->height + 7) / 8 * columns;  // blocks of the rows that start inside
  const u8* map = s->work + 1;
  u64 stored = visible;
  if (mapped) {
    stored = 0;
    for (u32 i = 0; i < visible / 8; ++i) stored += std::popcount(map[i]);
    if (visible % 8) stored += std::popcount(u32(map[visible / 8] & ((1u << (visible % 8)) - 1)));
  }
  const u32 pixelBytes = s->bitsPerPixel / 8;
  const u32 blockBytes = 64 * pixelBytes;
  const u64 needed = 1 + (mapped ? s->mapBytes : 0) + stored * blockBytes;
  if (filled < needed) return SLFail(SL_E_MALFORMED, false);

  const u8* source = s->work + 1 + (mapped ? s->mapBytes : 0);
  for (u32 i = 0; i < visible; ++i) {
    if (mapped && !((map[i / 8] >> (i % 8)) & 1)) continue;
    const u32 x = i % columns * 8, y = i / columns * 8;
    if (x < s->width) {
      const u32 copyWidth = (s->width - x < 8 ? s->width - x : 8) * pixelBytes;
      const u32 rows = s->height - y < 8 ? s->height - y : 8;
      for (u32 r = 0; r < rows; ++r)
        SLMemCopy(s->pixels + u64(s->height - 1 - (y + r)) * s->stride + x * pixelBytes, source + r * 8 * pixelBytes,
                  copyWidth);
    }
    source += blockBytes;
  }
  return true;
}

// One Theora packet behind its head; the decoded planes must cover the header's picture,
// which sits at their top left.
bool CSLVideoAudioReaderMXV::DecodeTheora(const u8* data, u32 size) {
  SLMxvState* s = m_state;
  SLMxvPacketHead head;
  u32 headSize = 0;
  if (!SLMxvReadPacketHead(s->version, data, size, &head, &headSize)) return SLFail(SL_E_MALFORMED, false);
  ogg_packet packet{};
  packet.packet = const_cast<u8*>(data + headSize);
  packet.bytes = long(head.length);
  packet.granulepos = ogg_int64_t(head.granule);
  packet.packetno = ogg_int64_t(head.number);
  if (theora_decode_packetin(&s->theoraDecoder, &packet) != 0) return SLFail(SL_E_OUT_OF_MEMORY, false);
  yuv_buffer yuv{};
  if (theora_decode_YUVout(&s->theoraDecoder, &yuv) != 0) return SLFail(SL_E_MALFORMED, false);
  const i64 width = s->width, height = s->height;
  const i64 chromaWidth = (width + 1) / 2, chromaHeight = (height + 1) / 2;
  auto covers = [](const u8* plane, i64 planeWidth, i64 planeHeight, i64 stride, i64 w, i64 h) {
    return plane && planeWidth >= w && planeHeight >= h && (stride >= w || -stride >= w);
  };
  if (!covers(yuv.y, yuv.y_width, yuv.y_height, yuv.y_stride, width, height) ||
      !covers(yuv.u, yuv.uv_width, yuv.uv_height, yuv.uv_stride, chromaWidth, chromaHeight) ||
      !covers(yuv.v, yuv.uv_width, yuv.uv_height, yuv.uv_stride, chromaWidth, chromaHeight))
    return SLFail(SL_E_MALFORMED, false);
  SLMxvConvertYuv420(s->colourTables, yuv.y, yuv.y_stride, yuv.u, yuv.v, yuv.uv_stride, s->width, s->height,
                     s->pixels, s->stride);
  return true;
}
