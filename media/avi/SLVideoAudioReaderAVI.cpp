#include "media/avi/SLVideoAudioReaderAVI.h"

#include <cmath>

#include "foundation/SLByteOrder.h"
#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "media/avi/AviParser.h"
#include "media/avi/AviStreamDecoder.h"

SL_IMPLEMENT_CLASS_CREATABLE(CSLVideoAudioReaderAVI, CSLBaseVideoAudioReader)

namespace {

// Sides above this many pixels make a video format unusable: the pictures would not fit
// the framework's 32-bit buffer sizes.
constexpr u32 kMaxVideoSide = 16384;

const u8* VideoFormatBlock(const AviStreamInfo* info) {
  return info->format && info->formatSize >= 40 ? info->format : nullptr;
}

}  // namespace

CSLVideoAudioReaderAVI::CSLVideoAudioReaderAVI() : m_parser(nullptr) {}

CSLVideoAudioReaderAVI::~CSLVideoAudioReaderAVI() {
  SLErrorKeeper keep;
  Close();
}

bool CSLVideoAudioReaderAVI::Close() {
  if (m_parser) {
    while (AviStreamDecoder* d = m_parser->GetStartedStreams()) {
      const u32 before = d->stream;
      StopStream(before);
      // A record StopStream could not remove would loop forever; unlink it by force.
      if (m_parser->GetStartedStreams() == d) m_parser->SetStartedStreams(d->next), SLFree(d);
    }
    delete m_parser;
    m_parser = nullptr;
  }
  ReleaseSource();
  return SLSucceed(true);
}

bool CSLVideoAudioReaderAVI::Open(CSLBaseStorage* storage, u32 flags) {
  TSLObjPtr<CSLBaseStorage> keepAlive(storage);
  Close();
  if (!storage) return SLFail(SL_E_NULL_DATA, false);
  HoldSource(storage);
  m_parser = new AviParser();
  if (!m_parser) {
    SLErrorKeeper keep;
    Close();
    return SLFail(SL_E_OUT_OF_MEMORY, false);
  }
  if (!m_parser->Open(storage, flags)) {
    SLErrorKeeper keep;
    Close();
    return false;
  }
  return SLSucceed(true);
}

bool CSLVideoAudioReaderAVI::GetStreamCount(u32* count) {
  if (!count) return SLFail(SL_E_NULL_OUTPUT, false);
  *count = 0;
  if (!m_parser) return SLFail(SL_E_STORAGE_NOT_OPEN, false);
  *count = m_parser->GetStreamCount();
  return SLSucceed(true);
}

bool CSLVideoAudioReaderAVI::GetStreamType(u32 stream, u32* type) {
  if (!type) return SLFail(SL_E_NULL_OUTPUT, false);
  *type = SL_STREAM_UNKNOWN;
  if (!m_parser) return SLFail(SL_E_STORAGE_NOT_OPEN, false);
  AviStreamInfo* info = m_parser->GetStream(stream);
  if (!info) return SLFail(SL_E_MEDIA_NO_STREAM, false);
  const u32 kind = info->header.type;
  *type = kind == AviFourCC("vids") ? 1 : kind == AviFourCC("auds") ? 2 : kind == AviFourCC("txts") ? 3 : 4;
  return SLSucceed(true);
}

// The stream record of a stream of the given type ("vids" or "auds"), else the failure.
static AviStreamInfo* TypedStream(AviParser* parser, u32 stream, u32 type, u32 wrongTypeCode) {
  if (!parser) return SLFail(SL_E_STORAGE_NOT_OPEN, static_cast<AviStreamInfo*>(nullptr));
  AviStreamInfo* info = parser->GetStream(stream);
  if (!info) return SLFail(SL_E_MEDIA_NO_STREAM, static_cast<AviStreamInfo*>(nullptr));
  if (info->header.type != type) return SLFail(wrongTypeCode, static_cast<AviStreamInfo*>(nullptr));
  return info;
}

bool CSLVideoAudioReaderAVI::GetVideoFormat(u32 stream, SLVideoFormat* out) {
  if (!out) return SLFail(SL_E_NULL_OUTPUT, false);
  *out = SLVideoFormat{};
  AviStreamInfo* info = TypedStream(m_parser, stream, AviFourCC("vids"), SL_E_MEDIA_NOT_VIDEO);
  if (!info) return false;
  const u8* bih = VideoFormatBlock(info);
  if (!bih) return SLFail(SL_E_BAD_FORMAT, false);
  const i32 width = i32(SLLoadLE32(bih + 4));
  const i64 height = std::llabs(i64(i32(SLLoadLE32(bih + 8))));
  if (width < 0 || u32(width) > kMaxVideoSide || height > kMaxVideoSide)
    return SLFail(SL_E_MEDIA_VIDEO_FORMAT, false);
  u32 bits = SLLoadLE16(bih + 14);
  bits = bits == 0 ? 8 : (bits + 7) / 8 * 8;
  out->width = u32(width);
  out->height = u32(height);
  out->bitsPerPixel = bits;
  out->compression = SLLoadLE32(bih + 16);
  const u64 stride = (u64(bits) * out->width + 31) / 8 / 4 * 4;
  const u64 bytes = stride * out->height;
  if (!SLFitsU32(bytes)) return SLFail(SL_E_MEDIA_VIDEO_FORMAT, false);
  out->imageBytes = u32(bytes);
  return SLSucceed(true);
}

bool CSLVideoAudioReaderAVI::GetVideoFrameRate(u32 stream, double* framesPerSecond) {
  if (!framesPerSecond) return SLFail(SL_E_NULL_OUTPUT, false);
  *framesPerSecond = 0.0;
  AviStreamInfo* info = TypedStream(m_parser, stream, AviFourCC("vids"), SL_E_MEDIA_NOT_VIDEO);
  if (!info) return false;
  const double rate = double(info->header.rate);
  const u32 scale = info->header.scale;
  double value = scale ? rate / double(scale) : rate;
  const double whole = std::floor(value + 0.5);
  if (std::fabs(value - whole) < 0.001) value = whole;
  *framesPerSecond = value;
  return SLSucceed(true);
}

bool CSLVideoAudioReaderAVI::IsKeyFrame(u32 stream, u64 frame) {
  if (stream == ~u32(0)) return SLFail(SL_E_MEDIA_NO_STREAM, false);
  AviStreamInfo* info = TypedStream(m_parser, stream, AviFourCC("vids"), SL_E_MEDIA_NOT_VIDEO);
  if (!info) return false;
  if (frame >= info->entryCount) return SLFail(SL_E_MEDIA_FRAME_RANGE, false);
  return m_parser->IsKeyFrame(stream, frame);
}

bool CSLVideoAudioReaderAVI::GetVideoFrameCount(u32 stream, u64* frames) {
  if (!frames) return SLFail(SL_E_NULL_OUTPUT, false);
  *frames = 0;
  AviStreamInfo* info = TypedStream(m_parser, stream, AviFourCC("vids"), SL_E_MEDIA_NOT_VIDEO);
  if (!info) return false;
  *frames = info->entryCount;
  return SLSucceed(true);
}

bool CSLVideoAudioReaderAVI::ReadRawFrame(u32 stream, u64 frame, void* buffer, u64* size) {
  if (!size) return SLFail(SL_E_NULL_OUTPUT, false);
  *size = 0;
  if (!m_parser) return SLFail(SL_E_STORAGE_NOT_OPEN, false);
  AviStreamInfo* info = m_parser->GetStream(stream);
  if (!info) return SLFail(SL_E_MEDIA_NO_STREAM, false);
  if (frame >= info->entryCount) return SLFail(SL_E_INVALID_ARG, false);
  u32 chunkSize = 0;
  if (!m_parser->ReadEntry(stream, frame, nullptr, &chunkSize)) return false;
  *size = chunkSize;
  if (buffer && !m_parser->ReadEntry(stream, frame, buffer, &chunkSize)) return false;
  return SLSucceed(true);
}

AviStreamDecoder* CSLVideoAudioReaderAVI::FindDecoder(u32 stream) const {
  for (AviStreamDecoder* d = m_parser ? m_parser->GetStartedStreams() : nullptr; d; d = d->next)
    if (d->stream == stream) return d;
  return nullptr;
}

AviStreamDecoder* CSLVideoAudioReaderAVI::StartedDecoder(u32 stream, u32 kind) {
  if (!m_parser) return SLFail(SL_E_STORAGE_NOT_OPEN, static_cast<AviStreamDecoder*>(nullptr));
  if (stream >= m_parser->GetStreamCount()) return SLFail(SL_E_MEDIA_NO_STREAM, static_cast<AviStreamDecoder*>(nullptr));
  AviStreamDecoder* d = FindDecoder(stream);
  if (!d) return SLFail(SL_E_NOT_STARTED, static_cast<AviStreamDecoder*>(nullptr));
  if (d->kind != kind)
    return SLFail(kind == kAviKindVideo ? SL_E_MEDIA_NOT_VIDEO : SL_E_MEDIA_NOT_AUDIO,
                  static_cast<AviStreamDecoder*>(nullptr));
  return d;
}

bool CSLVideoAudioReaderAVI::StartStream(u32 stream) {
  if (!m_parser) return SLFail(SL_E_STORAGE_NOT_OPEN, false);
  AviStreamInfo* info = m_parser->GetStream(stream);
  if (!info) return SLFail(SL_E_MEDIA_NO_STREAM, false);
  if (FindDecoder(stream)) return SLFail(SL_E_ALREADY_STARTED, false);
  const bool video = info->header.type == AviFourCC("vids");
  const bool audio = info->header.type == AviFourCC("auds");
  if ((!video && !audio) || !info->format) return SLFail(SL_E_NO_DECODABLE_DATA, false);
  auto* d = static_cast<AviStreamDecoder*>(SLAllocZeroed(sizeof(AviStreamDecoder)));
  if (!d) return SLFail(SL_E_OUT_OF_MEMORY, false);
  d->info = info;
  d->stream = stream;
  d->kind = video ? kAviKindVideo : kAviKindAudio;
  d->lastFrame = ~u64(0);
  AviStreamDecoder** link = nullptr;
  for (AviStreamDecoder* first = m_parser->GetStartedStreams(); first; first = first->next)
    if (!first->next) link = &first->next;
  if (link)
    *link = d;
  else
    m_parser->SetStartedStreams(d);
  const bool started = m_parser->StartStream(stream) && (video ? StartVideo(d) : StartAudio(d));
  if (!started) {
    SLErrorKeeper keep;
    StopStream(stream);
    return false;
  }
  return SLSucceed(true);
}

bool CSLVideoAudioReaderAVI::StopStream(u32 stream) {
  if (!m_parser) return SLFail(SL_E_STORAGE_NOT_OPEN, false);
  AviStreamDecoder* d = FindDecoder(stream);
  if (!d) return SLFail(SL_E_NOT_STARTED, false);
  m_parser->StopStream(stream);
  if (d->kind == kAviKindVideo)
    StopVideo(d);
  else
    StopAudio(d);
  AviStreamDecoder* first = m_parser->GetStartedStreams();
  if (first == d) {
    m_parser->SetStartedStreams(d->next);
  } else {
    for (AviStreamDecoder* p = first; p; p = p->next)
      if (p->next == d) {
        p->next = d->next;
        break;
      }
  }
  SLFree(d);
  return SLSucceed(true);
}

u32 CSLVideoAudioReaderAVI::GetSignatureSize() { return SLSucceed(12u); }

bool CSLVideoAudioReaderAVI::CheckSignature(const void* header, u32 size) {
  if (!header || size < 12) return SLFail(SL_E_INVALID_ARG, false);
  const u8* bytes = static_cast<const u8*>(header);
  return SLSucceed(SLLoadLE32(bytes) == AviFourCC("RIFF") && SLLoadLE32(bytes + 8) == AviFourCC("AVI "));
}

const char* CSLVideoAudioReaderAVI::GetExtensionA(u32 index) {
  return index == 0 ? SLSucceed("AVI") : SLFail(SL_E_INDEX, static_cast<const char*>(nullptr));
}

const SLWChar* CSLVideoAudioReaderAVI::GetExtensionW(u32 index) {
  return index == 0 ? SLSucceed(u"AVI") : SLFail(SL_E_INDEX, static_cast<const SLWChar*>(nullptr));
}

HMODULE CSLVideoAudioReaderAVI::LoadCodecModule(const char*) { return SLSucceed(static_cast<HMODULE>(nullptr)); }
