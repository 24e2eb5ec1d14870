#include "platform/msvfw32/Vfw.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

#include <atomic>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <new>
#include <set>

#include "platform/modules.h"
#include "platform/msacm32/Acm.h"

namespace {

constexpr int kMaxSide = 16384;
constexpr DWORD MakeTag(char a, char b, char c, char d) {
  return DWORD(std::uint8_t(a)) | DWORD(std::uint8_t(b)) << 8 | DWORD(std::uint8_t(c)) << 16 |
         DWORD(std::uint8_t(d)) << 24;
}
constexpr DWORD kTypeVideo = MakeTag('V', 'I', 'D', 'C');

std::atomic<unsigned long long> g_decodedPictures{0};

DWORD UpperTag(DWORD tag) {
  DWORD out = 0;
  for (int i = 0; i < 4; ++i) {
    std::uint8_t c = std::uint8_t(tag >> (8 * i));
    if (c >= 'a' && c <= 'z') c = std::uint8_t(c - 'a' + 'A');
    out |= DWORD(c) << (8 * i);
  }
  return out;
}

DWORD LowerTag(DWORD tag) {
  DWORD out = 0;
  for (int i = 0; i < 4; ++i) {
    std::uint8_t c = std::uint8_t(tag >> (8 * i));
    if (c >= 'A' && c <= 'Z') c = std::uint8_t(c - 'A' + 'a');
    out |= DWORD(c) << (8 * i);
  }
  return out;
}

bool IsRawTag(DWORD tag) {
  const DWORD upper = UpperTag(tag);
  return tag == 0 || upper == MakeTag('D', 'I', 'B', ' ') || upper == MakeTag('R', 'A', 'W', ' ');
}

// The decoder the RIFF tables name for a FOURCC, in any case; AV_CODEC_ID_NONE when the
// codec library has none.
AVCodecID CodecForTag(DWORD tag) {
  const AVCodecTag* const tables[] = {avformat_get_riff_video_tags(), nullptr};
  for (DWORD candidate : {tag, UpperTag(tag), LowerTag(tag)}) {
    const AVCodecID id = av_codec_get_id(tables, candidate);
    if (id != AV_CODEC_ID_NONE && avcodec_find_decoder(id)) return id;
  }
  return AV_CODEC_ID_NONE;
}

std::size_t Stride(int width, unsigned bits) { return (std::size_t(width) * bits + 31) / 32 * 4; }

bool UsableOutputBits(unsigned bits) { return bits == 8 || bits == 16 || bits == 24 || bits == 32; }

struct Decompressor {
  bool raw = false;  // uncompressed DIBs copied through
  AVCodecID codecId = AV_CODEC_ID_NONE;
  AVCodecContext* codec = nullptr;
  AVPacket* packet = nullptr;
  AVFrame* frame = nullptr;
  SwsContext* scaler = nullptr;
  int scalerKey = -1;
  bool begun = false;
  bool paletteSent = false;
  int width = 0, height = 0;
  bool inputTopDown = false;
  unsigned inputBits = 0, outputBits = 0;
  std::uint32_t inputPalette[256] = {};
  unsigned inputColours = 0;
  std::uint32_t palette[256] = {};  // the last picture's, B G R 0 in memory
  // Converted pictures land here first, top-down with the aligned rows the converter's
  // vector code writes whole, and are then copied bottom-up into the output.
  std::uint8_t* scratch[4] = {};
  int scratchStride[4] = {};

  ~Decompressor() { End(); }
  void End() {
    sws_freeContext(scaler);
    scaler = nullptr;
    scalerKey = -1;
    av_freep(&scratch[0]);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
    begun = false;
  }
};

std::mutex g_lock;
std::set<Decompressor*>& Live() {
  static std::set<Decompressor*>* live = new std::set<Decompressor*>;  // never destroyed
  return *live;
}

Decompressor* Find(HIC handle) {
  std::lock_guard<std::mutex> guard(g_lock);
  auto found = Live().find(static_cast<Decompressor*>(handle));
  return found == Live().end() ? nullptr : *found;
}

bool UsableInput(const BITMAPINFOHEADER* in) {
  return in && in->biSize >= sizeof(BITMAPINFOHEADER) && in->biWidth > 0 && in->biWidth <= kMaxSide &&
         in->biHeight != 0 && in->biHeight >= -kMaxSide && in->biHeight <= kMaxSide;
}

int AbsHeight(const BITMAPINFOHEADER* h) { return h->biHeight < 0 ? -h->biHeight : h->biHeight; }

LRESULT Query(Decompressor* d, const BITMAPINFOHEADER* in, const BITMAPINFOHEADER* out) {
  if (!UsableInput(in)) return ICERR_BADFORMAT;
  if (d->raw) {
    if (!IsRawTag(in->biCompression) || !UsableOutputBits(in->biBitCount)) return ICERR_BADFORMAT;
  } else if (CodecForTag(in->biCompression) != d->codecId) {
    return ICERR_BADFORMAT;
  }
  if (out && (out->biSize < sizeof(BITMAPINFOHEADER) || out->biCompression != 0 || !UsableOutputBits(out->biBitCount) ||
              out->biWidth != in->biWidth || AbsHeight(out) != AbsHeight(in)))
    return ICERR_BADFORMAT;
  return ICERR_OK;
}

// The input's colour table: biClrUsed entries (all 256 when 0) after its header.
void TakeInputPalette(Decompressor* d, const BITMAPINFOHEADER* in) {
  d->inputColours = 0;
  if (in->biBitCount > 8) return;
  unsigned colours = in->biClrUsed ? in->biClrUsed : 1u << in->biBitCount;
  if (colours > 256) colours = 256;
  std::memcpy(d->inputPalette, reinterpret_cast<const std::uint8_t*>(in) + in->biSize, colours * 4);
  d->inputColours = colours;
  std::memcpy(d->palette, d->inputPalette, colours * 4);
}

LRESULT Begin(Decompressor* d, const BITMAPINFOHEADER* in, const BITMAPINFOHEADER* out) {
  if (!out || Query(d, in, out) != ICERR_OK) return ICERR_BADFORMAT;
  d->End();
  d->width = in->biWidth;
  d->height = AbsHeight(in);
  d->inputTopDown = in->biHeight < 0;
  d->inputBits = in->biBitCount;
  d->outputBits = out->biBitCount;
  d->paletteSent = false;
  std::memset(d->palette, 0, sizeof d->palette);
  TakeInputPalette(d, in);
  if (d->raw) {
    if (d->inputBits != d->outputBits) return ICERR_BADFORMAT;
    d->begun = true;
    return ICERR_OK;
  }
  const AVCodec* decoder = avcodec_find_decoder(d->codecId);
  d->codec = decoder ? avcodec_alloc_context3(decoder) : nullptr;
  d->packet = av_packet_alloc();
  d->frame = av_frame_alloc();
  if (!d->codec || !d->packet || !d->frame) return ICERR_MEMORY;
  AVCodecContext* c = d->codec;
  c->width = d->width;
  c->height = d->height;
  c->bits_per_coded_sample = in->biBitCount;
  c->codec_tag = in->biCompression;
  c->thread_count = 1;
  const unsigned extra = in->biSize - sizeof(BITMAPINFOHEADER);
  if (extra) {
    c->extradata = static_cast<std::uint8_t*>(av_mallocz(std::size_t(extra) + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!c->extradata) return ICERR_MEMORY;
    std::memcpy(c->extradata, reinterpret_cast<const std::uint8_t*>(in) + sizeof(BITMAPINFOHEADER), extra);
    c->extradata_size = int(extra);
  }
  if (avcodec_open2(c, decoder, nullptr) < 0) return ICERR_BADFORMAT;
  d->begun = true;
  return ICERR_OK;
}

bool SameFormat(const Decompressor* d, const BITMAPINFOHEADER* in, const BITMAPINFOHEADER* out) {
  return in && out && in->biWidth == d->width && AbsHeight(in) == d->height && out->biWidth == d->width &&
         AbsHeight(out) == d->height && out->biBitCount == d->outputBits;
}

LRESULT CopyRaw(Decompressor* d, const BITMAPINFOHEADER* in, const std::uint8_t* data, std::uint8_t* out) {
  const std::size_t stride = Stride(d->width, d->outputBits);
  if (in->biSizeImage < stride * std::size_t(d->height)) return ICERR_BADSIZE;
  for (int row = 0; row < d->height; ++row) {
    const int source = d->inputTopDown ? d->height - 1 - row : row;
    std::memcpy(out + stride * std::size_t(row), data + stride * std::size_t(source), stride);
  }
  return ICERR_OK;
}

AVPixelFormat OutputFormat(unsigned bits) {
  switch (bits) {
    case 16: return AV_PIX_FMT_RGB555LE;
    case 24: return AV_PIX_FMT_BGR24;
    case 32: return AV_PIX_FMT_BGR0;
    default: return AV_PIX_FMT_NONE;
  }
}

// Writes the decoded frame bottom-up into the output picture.
LRESULT WritePicture(Decompressor* d, std::uint8_t* out) {
  AVFrame* f = d->frame;
  if (f->width != d->width || f->height != d->height) return ICERR_BADFORMAT;
  const std::size_t stride = Stride(d->width, d->outputBits);
  std::uint8_t* lastRow = out + stride * std::size_t(d->height - 1);
  if (d->outputBits == 8) {
    if (f->format != AV_PIX_FMT_PAL8 && f->format != AV_PIX_FMT_GRAY8) return ICERR_BADFORMAT;
    for (int row = 0; row < d->height; ++row)
      std::memcpy(lastRow - stride * std::size_t(row), f->data[0] + std::ptrdiff_t(f->linesize[0]) * row,
                  std::size_t(d->width));
    for (unsigned i = 0; i < 256; ++i)
      d->palette[i] = f->format == AV_PIX_FMT_PAL8 ? reinterpret_cast<const std::uint32_t*>(f->data[1])[i] & 0xFFFFFFu
                                                   : i * 0x010101u;
    return ICERR_OK;
  }
  // JPEG's full-range YUV formats are the plain ones with the range said separately.
  AVPixelFormat source = AVPixelFormat(f->format);
  bool fullRange = f->color_range == AVCOL_RANGE_JPEG;
  switch (source) {
    case AV_PIX_FMT_YUVJ420P: source = AV_PIX_FMT_YUV420P, fullRange = true; break;
    case AV_PIX_FMT_YUVJ422P: source = AV_PIX_FMT_YUV422P, fullRange = true; break;
    case AV_PIX_FMT_YUVJ444P: source = AV_PIX_FMT_YUV444P, fullRange = true; break;
    case AV_PIX_FMT_YUVJ440P: source = AV_PIX_FMT_YUV440P, fullRange = true; break;
    case AV_PIX_FMT_YUVJ411P: source = AV_PIX_FMT_YUV411P, fullRange = true; break;
    default: break;
  }
  // The converter is set up once per source format: setting its ranges again costs a
  // table rebuild per picture.
  const int scalerKey = int(source) * 2 + (fullRange ? 1 : 0);
  if (!d->scaler || d->scalerKey != scalerKey) {
    sws_freeContext(d->scaler);
    d->scaler = sws_getContext(d->width, d->height, source, d->width, d->height, OutputFormat(d->outputBits),
                               SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (!d->scaler) return ICERR_BADFORMAT;
    const int* coefficients = sws_getCoefficients(SWS_CS_DEFAULT);
    sws_setColorspaceDetails(d->scaler, coefficients, fullRange ? 1 : 0, coefficients, 1, 0, 1 << 16, 1 << 16);
    d->scalerKey = scalerKey;
  }
  if (!d->scratch[0] &&
      av_image_alloc(d->scratch, d->scratchStride, d->width, d->height, OutputFormat(d->outputBits), 64) < 0)
    return ICERR_MEMORY;
  if (sws_scale(d->scaler, f->data, f->linesize, 0, d->height, d->scratch, d->scratchStride) != d->height)
    return ICERR_INTERNAL;
  const std::size_t rowBytes = std::size_t(d->width) * (d->outputBits / 8);
  for (int row = 0; row < d->height; ++row)
    std::memcpy(lastRow - stride * std::size_t(row), d->scratch[0] + std::ptrdiff_t(d->scratchStride[0]) * row,
                rowBytes);
  return ICERR_OK;
}

LRESULT Decompress(Decompressor* d, const BITMAPINFOHEADER* in, const void* data, const BITMAPINFOHEADER* out,
                   void* picture) {
  if (!d->begun) return ICERR_ERROR;
  if (!SameFormat(d, in, out)) return ICERR_BADFORMAT;
  if (!picture || (in->biSizeImage && !data)) return ICERR_BADPARAM;
  g_decodedPictures.fetch_add(1, std::memory_order_relaxed);
  const std::uint8_t* bytes = static_cast<const std::uint8_t*>(data);
  std::uint8_t* target = static_cast<std::uint8_t*>(picture);
  if (d->raw) return CopyRaw(d, in, bytes, target);
  if (in->biSizeImage == 0) return ICERR_OK;  // nothing changed
  av_packet_unref(d->packet);
  if (av_new_packet(d->packet, int(in->biSizeImage & 0x7FFFFFFF)) < 0) return ICERR_MEMORY;
  std::memcpy(d->packet->data, bytes, d->packet->size);
  if (!d->paletteSent && d->inputColours) {
    std::uint8_t* side = av_packet_new_side_data(d->packet, AV_PKT_DATA_PALETTE, AVPALETTE_SIZE);
    if (!side) return ICERR_MEMORY;
    std::memset(side, 0, AVPALETTE_SIZE);
    for (unsigned i = 0; i < d->inputColours; ++i) {
      const std::uint32_t colour = d->inputPalette[i] | 0xFF000000u;
      std::memcpy(side + 4 * i, &colour, 4);
    }
  }
  d->paletteSent = true;
  const int sent = avcodec_send_packet(d->codec, d->packet);
  if (sent < 0 && sent != AVERROR(EAGAIN)) return ICERR_BADFORMAT;
  LRESULT result = ICERR_OK;
  // A decoder that holds pictures back leaves the previous one in place.
  for (;;) {
    const int got = avcodec_receive_frame(d->codec, d->frame);
    if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) break;
    if (got < 0) return ICERR_BADFORMAT;
    result = WritePicture(d, target);
    av_frame_unref(d->frame);
    if (result != ICERR_OK) break;
  }
  return result;
}

LRESULT GetPalette(Decompressor* d, BITMAPINFOHEADER* out) {
  if (!d->begun || !out) return ICERR_BADPARAM;
  std::uint8_t* table = reinterpret_cast<std::uint8_t*>(out) + sizeof(BITMAPINFOHEADER);
  std::memcpy(table, d->palette, sizeof d->palette);
  return 256;
}

Decompressor* Create(DWORD handler) {
  const bool raw = IsRawTag(handler);
  const AVCodecID id = raw ? AV_CODEC_ID_NONE : CodecForTag(handler);
  if (!raw && id == AV_CODEC_ID_NONE) return nullptr;
  Decompressor* d = new (std::nothrow) Decompressor;
  if (!d) return nullptr;
  d->raw = raw;
  d->codecId = id;
  std::lock_guard<std::mutex> guard(g_lock);
  try {
    Live().insert(d);
  } catch (const std::bad_alloc&) {
    delete d;
    return nullptr;
  }
  return d;
}

LRESULT Dispatch(Decompressor* d, UINT message, DWORD_PTR param1, DWORD_PTR param2) {
  switch (message) {
    case ICM_DECOMPRESS_QUERY:
      return Query(d, reinterpret_cast<const BITMAPINFOHEADER*>(param1),
                   reinterpret_cast<const BITMAPINFOHEADER*>(param2));
    case ICM_DECOMPRESS_BEGIN:
      return Begin(d, reinterpret_cast<const BITMAPINFOHEADER*>(param1),
                   reinterpret_cast<const BITMAPINFOHEADER*>(param2));
    case ICM_DECOMPRESS: {
      const ICDECOMPRESS* block = reinterpret_cast<const ICDECOMPRESS*>(param1);
      if (!block || param2 != sizeof(ICDECOMPRESS)) return ICERR_BADSIZE;
      return Decompress(d, block->lpbiInput, block->lpInput, block->lpbiOutput, block->lpOutput);
    }
    case ICM_DECOMPRESSEX_BEGIN:
    case ICM_DECOMPRESSEX_QUERY:
    case ICM_DECOMPRESSEX: {
      const ICDECOMPRESSEX* block = reinterpret_cast<const ICDECOMPRESSEX*>(param1);
      if (!block || param2 != sizeof(ICDECOMPRESSEX)) return ICERR_BADSIZE;
      const BITMAPINFOHEADER* in = block->lpbiSrc;
      if (!UsableInput(in) || !block->lpbiDst) return ICERR_BADFORMAT;
      // Only whole pictures: no cropping or stretching.
      if (block->xSrc || block->ySrc || block->xDst || block->yDst || block->dxSrc != in->biWidth ||
          block->dySrc != AbsHeight(in) || block->dxDst != in->biWidth || block->dyDst != AbsHeight(in))
        return ICERR_BADPARAM;
      if (message == ICM_DECOMPRESSEX_QUERY) return Query(d, in, block->lpbiDst);
      if (message == ICM_DECOMPRESSEX_BEGIN) return Begin(d, in, block->lpbiDst);
      return Decompress(d, in, block->lpSrc, block->lpbiDst, block->lpDst);
    }
    case ICM_DECOMPRESS_GET_PALETTE:
      return GetPalette(d, reinterpret_cast<BITMAPINFOHEADER*>(param2));
    case ICM_DECOMPRESS_END:
    case ICM_DECOMPRESSEX_END:
      d->End();
      return ICERR_OK;
    default:
      return ICERR_UNSUPPORTED;
  }
}

}  // namespace

HIC ICOpen(DWORD fccType, DWORD fccHandler, UINT mode) {
  SLPlatformQuietCodecs();
  if (UpperTag(fccType) != kTypeVideo || mode != ICMODE_DECOMPRESS) return nullptr;
  return Create(fccHandler);
}

LRESULT ICClose(HIC decompressor) {
  Decompressor* d = nullptr;
  {
    std::lock_guard<std::mutex> guard(g_lock);
    auto found = Live().find(static_cast<Decompressor*>(decompressor));
    if (found == Live().end()) return ICERR_BADPARAM;
    d = *found;
    Live().erase(found);
  }
  delete d;
  return ICERR_OK;
}

HIC ICLocate(DWORD fccType, DWORD fccHandler, BITMAPINFOHEADER* input, BITMAPINFOHEADER* output, WORD flags) {
  SLPlatformQuietCodecs();
  if (UpperTag(fccType) != kTypeVideo || !input || flags != ICMODE_DECOMPRESS) return nullptr;
  for (DWORD handler : {fccHandler, input->biCompression}) {
    HIC found = Create(handler);
    if (!found) continue;
    if (Dispatch(static_cast<Decompressor*>(found), ICM_DECOMPRESS_QUERY, reinterpret_cast<DWORD_PTR>(input),
                 reinterpret_cast<DWORD_PTR>(output)) == ICERR_OK)
      return found;
    ICClose(found);
  }
  return nullptr;
}

LRESULT ICSendMessage(HIC decompressor, UINT message, DWORD_PTR param1, DWORD_PTR param2) {
  Decompressor* d = Find(decompressor);
  if (!d) return ICERR_BADPARAM;
  try {
    return Dispatch(d, message, param1, param2);
  } catch (const std::bad_alloc&) {
    return ICERR_MEMORY;
  }
}

DWORD ICDecompress(HIC decompressor, DWORD flags, BITMAPINFOHEADER* inputFormat, LPVOID input,
                   BITMAPINFOHEADER* outputFormat, LPVOID output) {
  ICDECOMPRESS block = {flags, inputFormat, input, outputFormat, output, 0};
  return DWORD(ICSendMessage(decompressor, ICM_DECOMPRESS, reinterpret_cast<DWORD_PTR>(&block), sizeof block));
}

unsigned long long SLPlatformDecodedPictureCount() { return g_decodedPictures.load(std::memory_order_relaxed); }

namespace {
const SLPlatformExport kVfwExports[] = {
    SL_EXPORT(ICOpen), SL_EXPORT(ICClose), SL_EXPORT(ICLocate), SL_EXPORT(ICSendMessage), SL_EXPORT(ICDecompress),
};
}  // namespace

const SLPlatformExportGroup g_msvfw32Decompress = SLMakeExportGroup(kVfwExports);
