// MXV sound: one-second blocks, PCM read as stored, Vorbis decoded by libvorbis.
//
// Vorbis blocks. Packet k of the stream, decoded after packet k - 1, yields the sample
// frames [g(k - 1), g(k)) (the first packet yields none). The decoder lives from
// StartStream to StopStream and is never reset between blocks. A block's payload starts
// with the packet before the last one of the previous block's packets, fed again so that
// its successor decodes exactly; the head granule of that first packet is where its output
// starts, moved back by the overlap the re-fed packet yields, so that dropping
// (first sample of the block - head granule) frames lands on the block's first sample.
// Reading on from the previous block is therefore exact; the first block read after a
// jump comes out shifted by at most that overlap. Packets reach libvorbis with granule -1
// and no flags, so libvorbis itself never trims anything.
#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "media/SLMxvInternal.h"
#include "media/SLVideoAudioReaderMXV.h"

using namespace SLInternals;

namespace {

// Packets in a row that yield nothing before the stream counts as broken.
constexpr u32 kMaxIdlePackets = 64;

// v * scale truncated toward zero and clamped to +-scale; NaN (corrupt data) gives 0.
// Written without branches so that the loops below vectorise.
inline i32 ScaleSample(float value, double scale) {
  double scaled = double(value) * scale;
  scaled = scaled == scaled ? scaled : 0.0;
  scaled = scaled < scale ? scaled : scale;
  scaled = scaled > -scale ? scaled : -scale;
  return i32(scaled);
}

template <u32 kChannels, class Sample>
void StoreChannels(float* const* pcm, u32 first, u32 count, double scale, i32 bias, Sample* out) {
  for (u32 c = 0; c < kChannels; ++c) {
    const float* in = pcm[c] + first;
    for (u32 i = 0; i < count; ++i) out[i * kChannels + c] = Sample(bias + ScaleSample(in[i], scale));
  }
}

// Stores frames [first, first + count) of libvorbis's planar output as interleaved PCM:
// 16 bits signed (x 32,767), 8 bits unsigned (128 + v x 127, so 1..255 as the 16-bit
// range is symmetric too).
void StoreSamples(float* const* pcm, u32 channels, u32 bits, u32 first, u32 count, u8* out) {
  auto* wide = reinterpret_cast<i16*>(out);
  if (bits == 16 && channels == 2) StoreChannels<2>(pcm, first, count, 32767.0, 0, wide);
  if (bits == 16 && channels == 1) StoreChannels<1>(pcm, first, count, 32767.0, 0, wide);
  if (bits == 8 && channels == 2) StoreChannels<2>(pcm, first, count, 127.0, 128, out);
  if (bits == 8 && channels == 1) StoreChannels<1>(pcm, first, count, 127.0, 128, out);
}

}  // namespace

bool CSLVideoAudioReaderMXV::ReadAudio(u32 stream, u64 first, u32 count, const void** samples, u32* got) {
  if (!samples) return SLFail(SL_E_NULL_OUTPUT, false);
  if (!got) return SLFail(SL_E_MEDIA_NULL_COUNT, false);
  *samples = nullptr;
  *got = 0;
  if (!CheckStream(stream, SL_STREAM_AUDIO)) return false;
  SLMxvState* s = m_state;
  if (!s->audioStarted) return SLFail(SL_E_NOT_STARTED, false);
  count = ClipAudioRange(first, count, s->audioLength);
  u64 bytes = 0;
  if (!SLCheckedMul(count, s->blockAlign, &bytes) || !SLFitsU32(bytes)) return SLFail(SL_E_OUT_OF_MEMORY, false);
  if (bytes > s->outputCapacity) {
    SLFree(s->output);
    s->outputCapacity = 0;
    s->output = static_cast<u8*>(SLAlloc(u32(bytes)));
    if (!s->output) return SLFail(SL_E_OUT_OF_MEMORY, false);
    s->outputCapacity = u32(bytes);
  }
  const u32 rate = s->samplesPerSecond;
  u64 block = first / rate;
  u64 offset = first % rate;
  u32 done = 0;
  while (done < count && block < s->blockCount) {
    if (block != s->cachedBlock && !DecodeAudioBlock(block)) return false;
    const u64 available = rate - offset;
    const u32 take = available < count - done ? u32(available) : count - done;
    SLMemCopy(s->output + u64(done) * s->blockAlign, s->decodedBlock + offset * s->blockAlign,
              u64(take) * s->blockAlign);
    done += take;
    offset = 0;
    ++block;
  }
  *samples = s->output;
  *got = done;
  return SLSucceed(true);
}

bool CSLVideoAudioReaderMXV::ReadBlockPayload(u64 block) {
  const SLMxvBlock& entry = m_state->blocks[block];
  u8* target = m_state->audioCodec == kMxvAudioPcm ? m_state->decodedBlock : m_state->blockBuffer;
  // Open saw the block inside the file; StartStream sized the buffers.
  return SLMxvReadAt(m_source, entry.offset, target, entry.size);
}

bool CSLVideoAudioReaderMXV::DecodeAudioBlock(u64 block) {
  SLMxvState* s = m_state;
  s->cachedBlock = kMxvNone;
  if (s->audioCodec == kMxvAudioVorbis) {
    if (!DecodeVorbisBlock(block)) return false;
  } else {
    const u64 frames = block + 1 < s->blockCount ? s->samplesPerSecond : s->audioLength - block * s->samplesPerSecond;
    // Checked before the read: the decoded block holds one second and no more.
    if (s->blocks[block].size != frames * s->blockAlign) return SLFail(SL_E_MALFORMED, false);
    if (!ReadBlockPayload(block)) return false;
  }
  s->cachedBlock = block;
  return true;
}

bool CSLVideoAudioReaderMXV::DecodeVorbisBlock(u64 block) {
  SLMxvState* s = m_state;
  const u64 firstSample = block * s->samplesPerSecond;
  const u32 target = u32(block + 1 < s->blockCount ? s->samplesPerSecond : s->audioLength - firstSample);
  u32 filled = 0, idle = 0;
  u64 drop = 0;
  bool dropKnown = false;
  // Leaves nothing decoded behind, whatever happened: the next block starts clean.
  auto discardRest = SLMakeScopeGuard([s] {
    float** pcm = nullptr;
    int n;
    while ((n = vorbis_synthesis_pcmout(&s->vorbisDsp, &pcm)) > 0) vorbis_synthesis_read(&s->vorbisDsp, n);
  });
  // A block whose packets end early goes on with the next block's payload.
  for (u64 payload = block; filled < target && payload < s->blockCount; ++payload) {
    if (!ReadBlockPayload(payload)) return false;
    const u64 size = s->blocks[payload].size;
    for (u64 position = 0; filled < target && position < size;) {
      SLMxvPacketHead head;
      u32 headSize = 0;
      if (!SLMxvReadPacketHead(s->version, s->blockBuffer + position, size - position, &head, &headSize))
        return SLFail(SL_E_MALFORMED, false);
      ogg_packet packet{};
      packet.packet = s->blockBuffer + position + headSize;
      packet.bytes = long(head.length);
      packet.granulepos = -1;
      packet.packetno = ogg_int64_t(head.number);
      position += headSize + head.length;
      if (!dropKnown) {
        drop = head.granule <= firstSample ? firstSample - head.granule : 0;
        dropKnown = true;
      }
      const int result = vorbis_synthesis(&s->vorbisBlock, &packet);
      if (result < 0) return SLFail(SL_E_DECODE, false);
      if (result == 0 && vorbis_synthesis_blockin(&s->vorbisDsp, &s->vorbisBlock) != 0)
        return SLFail(SL_E_DECODE, false);
      float** pcm = nullptr;
      bool yielded = false;
      for (int n; (n = vorbis_synthesis_pcmout(&s->vorbisDsp, &pcm)) > 0;) {
        yielded = true;
        const u32 skip = drop < u64(n) ? u32(drop) : u32(n);
        drop -= skip;
        const u32 take = n - skip < target - filled ? n - skip : target - filled;
        StoreSamples(pcm, s->channels, s->bitsPerSample, skip, take, s->decodedBlock + u64(filled) * s->blockAlign);
        filled += take;
        vorbis_synthesis_read(&s->vorbisDsp, n);
      }
      idle = yielded ? 0 : idle + 1;
      if (idle >= kMaxIdlePackets) return SLFail(SL_E_DECODE, false);
    }
  }
  // The table ended first: the rest of the block is silence, not an older block's sound.
  if (filled < target)
    SLMemSet(s->decodedBlock + u64(filled) * s->blockAlign, s->bitsPerSample == 8 ? 0x80 : 0,
             u64(target - filled) * s->blockAlign);
  return true;
}
