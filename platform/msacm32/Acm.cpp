#include "platform/msacm32/Acm.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include <cstdint>
#include <cstring>
#include <mutex>
#include <new>
#include <set>
#include <vector>

#include "platform/modules.h"

namespace {

// Source packets hold whole blocks, as many as fit here (always at least one).
constexpr std::size_t kPacketBytes = 4096;
constexpr unsigned kMaxChannels = 32;
constexpr unsigned kMaxRate = 1u << 20;

std::uint16_t Load16(const std::uint8_t* p) { return std::uint16_t(p[0] | p[1] << 8); }

// The published sub-format GUID tail shared by every tag-based extensible format.
constexpr std::uint8_t kSubFormatTail[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                                             0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

struct AcmStream {
  AVCodecContext* codec = nullptr;
  SwrContext* resampler = nullptr;  // built for the decoded sample format on first use
  int resamplerInput = -1;          // the AVSampleFormat it was built for
  AVPacket* packet = nullptr;
  AVFrame* frame = nullptr;
  unsigned channels = 0;
  unsigned rate = 0;
  unsigned sourceBlock = 1;
  unsigned destBlock = 0;
  AVSampleFormat destFormat = AV_SAMPLE_FMT_NONE;
  std::vector<std::uint8_t> converted;  // one frame's output
  std::vector<std::uint8_t> carry;      // decoded bytes the destination had no room for
  std::size_t carryStart = 0;
  std::size_t outputPerBlock = 0;       // the most output bytes one source block gave

  ~AcmStream() {
    swr_free(&resampler);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
  }
};

std::mutex g_streamLock;
std::set<AcmStream*>& LiveStreams() {
  static std::set<AcmStream*>* live = new std::set<AcmStream*>;  // never destroyed
  return *live;
}

AcmStream* FindStream(HACMSTREAM handle) {
  std::lock_guard<std::mutex> guard(g_streamLock);
  auto found = LiveStreams().find(static_cast<AcmStream*>(handle));
  return found == LiveStreams().end() ? nullptr : *found;
}

// The decoder for a WAVEFORMATEX source; `extra`/`extraSize` receive the codec's setup bytes.
AVCodecID SourceCodec(const std::uint8_t* format, unsigned* codecTag, const std::uint8_t** extra,
                      unsigned* extraSize) {
  unsigned tag = Load16(format);
  const unsigned bits = Load16(format + 14);
  *extra = format + 18;
  *extraSize = tag == WAVE_FORMAT_PCM ? 0 : Load16(format + 16);
  if (tag == 0xFFFE) {
    if (*extraSize < 22 || std::memcmp(format + 28, kSubFormatTail, sizeof kSubFormatTail) != 0)
      return AV_CODEC_ID_NONE;
    tag = Load16(format + 24);
    *extra += 22;
    *extraSize -= 22;
  }
  *codecTag = tag;
  if (tag == WAVE_FORMAT_PCM) {
    switch (bits) {
      case 8: return AV_CODEC_ID_PCM_U8;
      case 16: return AV_CODEC_ID_PCM_S16LE;
      case 24: return AV_CODEC_ID_PCM_S24LE;
      case 32: return AV_CODEC_ID_PCM_S32LE;
      case 64: return AV_CODEC_ID_PCM_S64LE;
      default: return AV_CODEC_ID_NONE;
    }
  }
  if (tag == 3) return bits == 32 ? AV_CODEC_ID_PCM_F32LE : bits == 64 ? AV_CODEC_ID_PCM_F64LE : AV_CODEC_ID_NONE;
  const AVCodecTag* const tables[] = {avformat_get_riff_audio_tags(), nullptr};
  return av_codec_get_id(tables, tag);
}

AVSampleFormat DestinationFormat(const WAVEFORMATEX* destination) {
  switch (destination->wBitsPerSample) {
    case 8: return AV_SAMPLE_FMT_U8;
    case 16: return AV_SAMPLE_FMT_S16;
    case 32: return AV_SAMPLE_FMT_S32;
    case 64: return AV_SAMPLE_FMT_S64;
    default: return AV_SAMPLE_FMT_NONE;
  }
}

MMRESULT OpenStream(AcmStream* s, const WAVEFORMATEX* source, const WAVEFORMATEX* destination) {
  const std::uint8_t* format = reinterpret_cast<const std::uint8_t*>(source);
  unsigned tag = 0, extraSize = 0;
  const std::uint8_t* extra = nullptr;
  const AVCodecID id = SourceCodec(format, &tag, &extra, &extraSize);
  s->channels = source->nChannels;
  s->rate = source->nSamplesPerSec;
  s->destFormat = DestinationFormat(destination);
  if (id == AV_CODEC_ID_NONE || s->channels == 0 || s->channels > kMaxChannels || s->rate == 0 ||
      s->rate > kMaxRate || destination->wFormatTag != WAVE_FORMAT_PCM || destination->nChannels != s->channels ||
      destination->nSamplesPerSec != s->rate || s->destFormat == AV_SAMPLE_FMT_NONE ||
      destination->nBlockAlign != destination->wBitsPerSample / 8 * s->channels)
    return ACMERR_NOTPOSSIBLE;
  s->destBlock = destination->nBlockAlign;
  s->sourceBlock = source->nBlockAlign ? source->nBlockAlign : 1;
  const AVCodec* decoder = avcodec_find_decoder(id);
  if (!decoder) return ACMERR_NOTPOSSIBLE;
  s->codec = avcodec_alloc_context3(decoder);
  s->packet = av_packet_alloc();
  s->frame = av_frame_alloc();
  if (!s->codec || !s->packet || !s->frame) return MMSYSERR_NOMEM;
  AVCodecContext* c = s->codec;
  c->sample_rate = int(s->rate);
  av_channel_layout_default(&c->ch_layout, int(s->channels));
  c->block_align = source->nBlockAlign;
  c->bits_per_coded_sample = source->wBitsPerSample;
  c->bit_rate = std::int64_t(source->nAvgBytesPerSec) * 8;
  c->codec_tag = tag;
  c->thread_count = 1;
  if (extraSize) {
    c->extradata = static_cast<std::uint8_t*>(av_mallocz(extraSize + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!c->extradata) return MMSYSERR_NOMEM;
    std::memcpy(c->extradata, extra, extraSize);
    c->extradata_size = int(extraSize);
  }
  const int opened = avcodec_open2(c, decoder, nullptr);
  if (opened == AVERROR(ENOMEM)) return MMSYSERR_NOMEM;
  return opened < 0 ? ACMERR_NOTPOSSIBLE : MMSYSERR_NOERROR;
}

// Converts the decoded frame into interleaved destination samples in s->converted.
bool ConvertFrame(AcmStream* s) {
  AVFrame* f = s->frame;
  if (f->ch_layout.nb_channels != int(s->channels) || f->nb_samples <= 0) return false;
  if (!s->resampler || s->resamplerInput != f->format) {
    swr_free(&s->resampler);
    AVChannelLayout layout;
    av_channel_layout_default(&layout, int(s->channels));
    if (swr_alloc_set_opts2(&s->resampler, &layout, s->destFormat, int(s->rate), &layout,
                            AVSampleFormat(f->format), int(s->rate), 0, nullptr) < 0 ||
        swr_init(s->resampler) < 0) {
      swr_free(&s->resampler);
      return false;
    }
    s->resamplerInput = f->format;
  }
  s->converted.resize(std::size_t(f->nb_samples) * s->destBlock);
  std::uint8_t* out = s->converted.data();
  const int done = swr_convert(s->resampler, &out, f->nb_samples,
                               const_cast<const std::uint8_t**>(f->extended_data), f->nb_samples);
  if (done < 0) return false;
  s->converted.resize(std::size_t(done) * s->destBlock);
  return true;
}

// Sends one packet of whole blocks and appends what it decodes to the destination, the
// overflow to the carry-over. `written` counts destination bytes.
bool DecodePacket(AcmStream* s, const std::uint8_t* data, std::size_t size, std::uint8_t* destination,
                  std::size_t room, std::size_t* written, std::size_t* produced) {
  av_packet_unref(s->packet);
  if (av_new_packet(s->packet, int(size)) < 0) return false;
  std::memcpy(s->packet->data, data, size);
  int sent = avcodec_send_packet(s->codec, s->packet);
  if (sent < 0 && sent != AVERROR(EAGAIN)) return false;
  for (;;) {
    const int got = avcodec_receive_frame(s->codec, s->frame);
    if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) break;
    if (got < 0 || !ConvertFrame(s)) return false;
    av_frame_unref(s->frame);
    const std::size_t bytes = s->converted.size();
    *produced += bytes;
    const std::size_t fits = bytes < room - *written ? bytes : room - *written;
    std::memcpy(destination + *written, s->converted.data(), fits);
    *written += fits;
    s->carry.insert(s->carry.end(), s->converted.begin() + std::ptrdiff_t(fits), s->converted.end());
  }
  return true;
}

MMRESULT Convert(AcmStream* s, ACMSTREAMHEADER* header, DWORD flags) {
  if (flags & ACM_STREAMCONVERTF_START) {
    avcodec_flush_buffers(s->codec);
    s->carry.clear();
    s->carryStart = 0;
  }
  const std::size_t room = header->cbDstLength / s->destBlock * s->destBlock;
  std::size_t written = 0;
  if (s->carryStart < s->carry.size()) {
    std::size_t take = s->carry.size() - s->carryStart;
    if (take > room) take = room;
    std::memcpy(header->pbDst, s->carry.data() + s->carryStart, take);
    written = take;
    s->carryStart += take;
    if (s->carryStart == s->carry.size()) {
      s->carry.clear();
      s->carryStart = 0;
    }
  }
  const std::size_t block = s->sourceBlock;
  const std::size_t available = header->cbSrcLength;
  std::size_t used = 0;
  MMRESULT result = MMSYSERR_NOERROR;
  // Blocks go in while the decoded bytes are expected to fit; once anything is carried over
  // the destination is full.
  while (s->carry.empty() && available - used >= block && written < room) {
    std::size_t blocks = (available - used) / block;
    const std::size_t packetBlocks = block >= kPacketBytes ? 1 : kPacketBytes / block;
    if (blocks > packetBlocks) blocks = packetBlocks;
    if (s->outputPerBlock) {
      const std::size_t fit = (room - written) / s->outputPerBlock;
      if (fit == 0 && written) break;
      if (blocks > fit) blocks = fit ? fit : 1;
    }
    std::size_t produced = 0;
    if (!DecodePacket(s, header->pbSrc + used, blocks * block, header->pbDst, room, &written, &produced)) {
      result = ACMERR_NOTPOSSIBLE;
      break;
    }
    used += blocks * block;
    const std::size_t perBlock = (produced + blocks - 1) / blocks;
    if (perBlock > s->outputPerBlock) s->outputPerBlock = perBlock;
  }
  header->cbSrcLengthUsed = DWORD(used);
  header->cbDstLengthUsed = DWORD(written);
  header->fdwStatus |= ACMSTREAMHEADER_STATUSF_DONE;
  return result;
}

}  // namespace

MMRESULT acmStreamOpen(HACMSTREAM* stream, HACMDRIVER, const WAVEFORMATEX* source, const WAVEFORMATEX* destination,
                       void* filter, DWORD_PTR, DWORD_PTR, DWORD flags) {
  if (!stream || !source || !destination) return MMSYSERR_INVALPARAM;
  *stream = nullptr;
  if (filter) return ACMERR_NOTPOSSIBLE;
  if (flags & ~ACM_STREAMOPENF_NONREALTIME) return MMSYSERR_INVALFLAG;
  SLPlatformQuietCodecs();
  AcmStream* s = new (std::nothrow) AcmStream;
  if (!s) return MMSYSERR_NOMEM;
  MMRESULT result = MMSYSERR_NOMEM;
  try {
    result = OpenStream(s, source, destination);
    if (result == MMSYSERR_NOERROR) {
      std::lock_guard<std::mutex> guard(g_streamLock);
      LiveStreams().insert(s);
    }
  } catch (const std::bad_alloc&) {
    result = MMSYSERR_NOMEM;
  }
  if (result != MMSYSERR_NOERROR) {
    delete s;
    return result;
  }
  *stream = s;
  return MMSYSERR_NOERROR;
}

MMRESULT acmStreamClose(HACMSTREAM stream, DWORD) {
  AcmStream* s = nullptr;
  {
    std::lock_guard<std::mutex> guard(g_streamLock);
    auto found = LiveStreams().find(static_cast<AcmStream*>(stream));
    if (found == LiveStreams().end()) return MMSYSERR_INVALHANDLE;
    s = *found;
    LiveStreams().erase(found);
  }
  delete s;
  return MMSYSERR_NOERROR;
}

// A prepared header remembers its lengths; it must carry them again when unprepared.
MMRESULT acmStreamPrepareHeader(HACMSTREAM stream, ACMSTREAMHEADER* header, DWORD) {
  if (!FindStream(stream)) return MMSYSERR_INVALHANDLE;
  if (!header || header->cbStruct != sizeof(ACMSTREAMHEADER) || !header->pbSrc || !header->pbDst)
    return MMSYSERR_INVALPARAM;
  header->dwReservedDriver[0] = header->cbSrcLength;
  header->dwReservedDriver[1] = header->cbDstLength;
  header->fdwStatus = ACMSTREAMHEADER_STATUSF_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT acmStreamUnprepareHeader(HACMSTREAM stream, ACMSTREAMHEADER* header, DWORD) {
  if (!FindStream(stream)) return MMSYSERR_INVALHANDLE;
  if (!header || header->cbStruct != sizeof(ACMSTREAMHEADER)) return MMSYSERR_INVALPARAM;
  if (!(header->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED)) return ACMERR_UNPREPARED;
  if (header->cbSrcLength != header->dwReservedDriver[0] || header->cbDstLength != header->dwReservedDriver[1])
    return MMSYSERR_INVALPARAM;
  header->fdwStatus &= ~(ACMSTREAMHEADER_STATUSF_PREPARED | ACMSTREAMHEADER_STATUSF_DONE);
  return MMSYSERR_NOERROR;
}

MMRESULT acmStreamConvert(HACMSTREAM stream, ACMSTREAMHEADER* header, DWORD flags) {
  AcmStream* s = FindStream(stream);
  if (!s) return MMSYSERR_INVALHANDLE;
  if (!header || header->cbStruct != sizeof(ACMSTREAMHEADER)) return MMSYSERR_INVALPARAM;
  if (!(header->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED)) return ACMERR_UNPREPARED;
  if (flags & ~(ACM_STREAMCONVERTF_BLOCKALIGN | ACM_STREAMCONVERTF_START | ACM_STREAMCONVERTF_END))
    return MMSYSERR_INVALFLAG;
  // Prepared lengths are the most the buffers hold.
  if (header->cbSrcLength > header->dwReservedDriver[0] || header->cbDstLength > header->dwReservedDriver[1])
    return MMSYSERR_INVALPARAM;
  try {
    return Convert(s, header, flags);
  } catch (const std::bad_alloc&) {
    return MMSYSERR_NOMEM;
  }
}

void SLPlatformQuietCodecs() {
  static std::once_flag once;
  std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

MMRESULT acmFormatSuggest(HACMDRIVER, const WAVEFORMATEX*, WAVEFORMATEX*, DWORD, DWORD) { return ACMERR_NOTPOSSIBLE; }

namespace {
const SLPlatformExport kAcmExports[] = {
    SL_EXPORT(acmStreamOpen),          SL_EXPORT(acmStreamClose),   SL_EXPORT(acmStreamPrepareHeader),
    SL_EXPORT(acmStreamUnprepareHeader), SL_EXPORT(acmStreamConvert), SL_EXPORT(acmFormatSuggest),
};
}  // namespace

const SLPlatformExportGroup g_msacm32Streams = SLMakeExportGroup(kAcmExports);
